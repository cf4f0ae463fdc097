#pragma once

#include <Python.h>

#include <utility>

namespace vorn {

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
    PyObject* release() { return std::exchange(mObj, nullptr); }
    void reset() { Py_CLEAR(mObj); }
    explicit operator bool() const { return mObj != nullptr; }

private:
    PyObject* mObj = nullptr;
};

}  // namespace vorn
