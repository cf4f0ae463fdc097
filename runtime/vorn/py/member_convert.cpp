#include "member_convert.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "../member_ranges.h"
#include "../runtime.h"
#include "python_side.h"
#include "vorn/py_ref.h"

namespace vorn {

namespace {

PyObject* gVornError = nullptr;

constexpr Py_ssize_t kLastTextLength = 256;  // longer texts are made afresh on every read

PyObject* TextOrNone(const char* text) {
    if (!text) Py_RETURN_NONE;
    return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace");
}

PyObject* MemberError(PyObject* type, const VnMemberDescriptor* m, const char* what) {
    PyErr_Format(type, "member '%s' %s", m->name, what);
    return nullptr;
}

// A text as UTF-8 without embedded NULs, which runtime texts cannot carry.
const char* PlainText(const VnMemberDescriptor* m, PyObject* value, Py_ssize_t* length) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "member '%s' takes a str, not %s", m->name,
                     Py_TYPE(value)->tp_name);
        return nullptr;
    }
    const char* text;
    if (PyUnicode_IS_COMPACT_ASCII(value)) {  // its characters are its UTF-8 already
        text = static_cast<const char*>(PyUnicode_DATA(value));
        *length = PyUnicode_GET_LENGTH(value);
    } else {
        text = PyUnicode_AsUTF8AndSize(value, length);
    }
    if (text && std::memchr(text, 0, static_cast<size_t>(*length))) {
        PyErr_Format(PyExc_ValueError, "member '%s' cannot hold a NUL character", m->name);
        return nullptr;
    }
    return text;
}

// Stores `v` when the member's range and choices allow it, else raises ValueError.
template <class T>
bool StoreChecked(const VnMemberDescriptor* m, void* storage, T v) {
    // most members have neither a range nor choices: nothing to check
    if (!m->extra && !MayHaveRange(m)) {
        *static_cast<T*>(storage) = v;
        return true;
    }
    std::string why;
    if (!CheckMemberValue(m, &v, &why)) {
        PyErr_SetString(PyExc_ValueError, why.c_str());
        return false;
    }
    *static_cast<T*>(storage) = v;
    return true;
}

bool SetLong(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    if (!PyLong_Check(value)) {
        MemberError(PyExc_TypeError, m, "takes an int");
        return false;
    }
    long long v = PyLong_AsLongLong(value);
    if (v == -1 && PyErr_Occurred()) return false;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
        MemberError(PyExc_OverflowError, m, "holds a 32-bit int");
        return false;
    }
    return StoreChecked(m, storage, static_cast<int32_t>(v));
}

bool ReadDouble(const VnMemberDescriptor* m, PyObject* value, double* out) {
    if (PyFloat_CheckExact(value)) {  // the common case: read as it is, nothing can fail
        *out = PyFloat_AS_DOUBLE(value);
        return true;
    }
    if (!PyFloat_Check(value) && !PyLong_Check(value)) {
        MemberError(PyExc_TypeError, m, "takes a float");
        return false;
    }
    *out = PyFloat_AsDouble(value);
    return !(*out == -1.0 && PyErr_Occurred());
}

bool SetObjectRef(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    IRoot* object = nullptr;
    if (value != Py_None) {
        object = ThePythonSide().Unwrap(value);
        if (!object) {
            MemberError(PyExc_TypeError, m, "takes a vorn.Object or None");
            return false;
        }
        if (m->iid) {
            void* iface = nullptr;
            if (!object->QueryInterface(*m->iid, &iface, 1)) {
                PyErr_Format(PyExc_TypeError, "member '%s' takes objects with interface %.30s",
                             m->name, m->iid->name);
                return false;
            }
            static_cast<IRoot*>(iface)->Release();
        }
        object->AddRef();
    }
    IRoot*& slot = *static_cast<IRoot**>(storage);
    IRoot* old = slot;
    slot = object;
    if (old) old->Release();
    return true;
}

bool SetRuntimeText(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    char*& slot = *static_cast<char**>(storage);
    Allocator& heap = TheRuntime().Heap();
    if (value == Py_None) {
        heap.Free(slot);
        slot = nullptr;
        return true;
    }
    Py_ssize_t length = 0;
    const char* text = PlainText(m, value, &length);
    if (!text) return false;
    // the text's own block is written over when the new text fits in it
    char* copy = heap.Replace(slot, text, static_cast<size_t>(length));
    if (!copy) {
        PyErr_NoMemory();
        return false;
    }
    slot = copy;
    return true;
}

bool SetInlineText(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    Py_ssize_t length = 0;
    const char* text = PlainText(m, value, &length);
    if (!text) return false;
    if (m->size <= 0 || length > m->size - 1) {
        PyErr_Format(PyExc_ValueError, "member '%s' holds at most %d bytes of text", m->name,
                     m->size > 0 ? m->size - 1 : 0);
        return false;
    }
    std::memcpy(storage, text, static_cast<size_t>(length));
    static_cast<char*>(storage)[length] = 0;
    return true;
}

}  // namespace

PyObject* MemberToPython(const VnMemberDescriptor* m, void* storage) {
    switch (m->type) {
        case kVnLong:
            return PyLong_FromLong(*static_cast<int32_t*>(storage));
        case kVnFloat:
            return PyFloat_FromDouble(*static_cast<float*>(storage));
        case kVnDouble:
            return PyFloat_FromDouble(*static_cast<double*>(storage));
        case kVnBool:
            return PyBool_FromLong(*static_cast<unsigned char*>(storage) != 0);
        case kVnObject:
            return ThePythonSide().Wrap(static_cast<IRoot*>(storage));
        case kVnObjectRef:
            return ThePythonSide().Wrap(*static_cast<IRoot**>(storage));
        case kVnString:
            return TextOrNone(static_cast<char*>(storage));
        case kVnVornString:
        case kVnROTReference:
            return TextOrNone(*static_cast<char**>(storage));
        case kVnTime:
            return PyLong_FromLongLong(*static_cast<int64_t*>(storage));
        case kVnPython:
            return Py_NewRef(static_cast<PyObject*>(storage));
        case kVnPythonRef: {
            PyObject* o = *static_cast<PyObject**>(storage);
            return Py_NewRef(o ? o : Py_None);
        }
        default:
            return MemberError(PyExc_TypeError, m, "has a type code Python cannot read");
    }
}

PyObject* MemberToPython(const VnMemberDescriptor* m, void* storage, LastText* last) {
    const char* text = nullptr;
    switch (m->type) {
        case kVnString:
            text = static_cast<char*>(storage);
            break;
        case kVnVornString:
        case kVnROTReference:
            text = *static_cast<char**>(storage);
            break;
        default:
            return MemberToPython(m, storage);
    }
    if (!text) Py_RETURN_NONE;
    if (last->text && last->storage == storage) {
        // the text may have been changed in place: only the same bytes give the same str
        const char* kept = PyUnicode_AsUTF8(last->text);
        if (kept && std::strcmp(kept, text) == 0) return Py_NewRef(last->text);
        PyErr_Clear();
    }
    PyObject* made = TextOrNone(text);
    if (made && PyUnicode_GET_LENGTH(made) <= kLastTextLength) {
        Py_XSETREF(last->text, Py_NewRef(made));
        last->storage = storage;
    }
    return made;
}

bool PythonToMember(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    switch (m->type) {
        case kVnLong:
            return SetLong(m, storage, value);
        case kVnFloat: {
            double v = 0;
            if (!ReadDouble(m, value, &v)) return false;
            if (!FitsFloat(v)) {
                MemberError(PyExc_OverflowError, m, "holds a 32-bit float");
                return false;
            }
            return StoreChecked(m, storage, static_cast<float>(v));
        }
        case kVnDouble: {
            double v = 0;
            return ReadDouble(m, value, &v) && StoreChecked(m, storage, v);
        }
        case kVnBool:
            if (!PyBool_Check(value) && !PyLong_Check(value)) {
                MemberError(PyExc_TypeError, m, "takes a bool");
                return false;
            } else {
                int truth = PyObject_IsTrue(value);
                if (truth < 0) return false;
                *static_cast<unsigned char*>(storage) = static_cast<unsigned char>(truth);
                return true;
            }
        case kVnObjectRef:
            return SetObjectRef(m, storage, value);
        case kVnString:
            return SetInlineText(m, storage, value);
        case kVnVornString:
        case kVnROTReference:
            return SetRuntimeText(m, storage, value);
        case kVnTime:
            if (!PyLong_Check(value)) {
                MemberError(PyExc_TypeError, m, "takes an int of 100 ns ticks");
                return false;
            } else {
                long long v = PyLong_AsLongLong(value);
                if (v == -1 && PyErr_Occurred()) return false;
                *static_cast<int64_t*>(storage) = v;
                return true;
            }
        case kVnPythonRef: {
            PyObject*& slot = *static_cast<PyObject**>(storage);
            PyObject* old = slot;
            slot = value == Py_None ? nullptr : Py_NewRef(value);
            Py_XDECREF(old);
            return true;
        }
        case kVnObject:
        case kVnPython:
            MemberError(PyExc_TypeError, m, "is embedded in its owner and cannot be replaced");
            return false;
        default:
            MemberError(PyExc_TypeError, m, "has a type code Python cannot write");
            return false;
    }
}

// Plain RuntimeError once the type is let go, for code run by the interpreter's teardown.
PyObject* VornErrorType() { return gVornError ? gVornError : PyExc_RuntimeError; }

bool InitVornErrorType() {
    if (!gVornError) gVornError = PyErr_NewException("vorn.error", PyExc_RuntimeError, nullptr);
    return gVornError != nullptr;
}

void ClearVornErrorType() { Py_CLEAR(gVornError); }

PyObject* RaisePendingError(const char* fallback) {
    Runtime& rt = TheRuntime();
    std::string text = rt.Errors().Text();
    int code = rt.Errors().Code();
    if (text.empty()) text = fallback ? fallback : "the runtime call failed";
    rt.Errors().Clear();
    // a text that is not UTF-8 must not turn into a decoding error of its own
    PyRef message = PyRef::Steal(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!message) return nullptr;
    PyRef error = PyRef::Steal(PyObject_CallOneArg(VornErrorType(), message.get()));
    if (!error) return nullptr;
    PyRef number = PyRef::Steal(PyLong_FromLong(code));
    PyObject_SetAttrString(error.get(), "code", number.get());
    PyErr_SetObject(VornErrorType(), error.get());
    return nullptr;
}

}  // namespace vorn
