#pragma once

// Qt's "slots" keyword is a member name in Python's headers: hidden while they are read, so
// programs may include this after Qt.
#pragma push_macro("slots")
#undef slots
#include <Python.h>
#pragma pop_macro("slots")

#include <utility>

// Owns one Python reference: dropped on destruction, shared on copy.
class PyRef {
public:
    PyRef() = default;
    // Takes over a new reference (what most C API calls return).
    static PyRef Steal(PyObject* o) {
        PyRef r;
        r.mObj = o;
        return r;
    }
    // Shares a borrowed reference.
    static PyRef Borrow(PyObject* o) {
        Py_XINCREF(o);
        return Steal(o);
    }
    PyRef(const PyRef& o) : mObj(o.mObj) { Py_XINCREF(mObj); }
    PyRef(PyRef&& o) noexcept : mObj(std::exchange(o.mObj, nullptr)) {}
    PyRef& operator=(PyRef o) noexcept {
        std::swap(mObj, o.mObj);
        return *this;
    }
    ~PyRef() { Py_XDECREF(mObj); }

    PyObject* get() const { return mObj; }
    // Gives up ownership: the caller now owns the reference.
    PyObject* release() { return std::exchange(mObj, nullptr); }
    void reset() { Py_CLEAR(mObj); }
    explicit operator bool() const { return mObj != nullptr; }

private:
    PyObject* mObj = nullptr;
};
