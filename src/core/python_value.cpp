#include "core/python_value.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/value_text.h"
#include "vorn/os.h"
#include "vorn/py_ref.h"

namespace mw {

PyObject* MemberPython(const MemberValue& value) {
    if (!value.desc || !value.value) return nullptr;
    if (value.desc->type == kVnPython) return static_cast<PyObject*>(value.value);
    if (value.desc->type == kVnPythonRef) return *static_cast<PyObject**>(value.value);
    return nullptr;
}

const char* PythonValueText(const MemberValue& value, char* buffer, std::size_t capacity) {
    PyObject* object = MemberPython(value);
    if (!object || !Py_IsInitialized()) return "";
    PyRef text = PyRef::Steal(PyObject_Str(object));
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return "An unrepresentable Python object";
    }
    return CopyText(buffer, capacity, utf8);
}

bool PythonTextToValue(const MemberValue& value, const char* text) {
    if (!value.desc || !value.value || !Py_IsInitialized()) return false;
    if (value.desc->type == kVnPython) {
        VnOS->SetError(-1, nullptr,
                       "The member \"%s\" embeds its Python object; text cannot replace it",
                       value.desc->name);
        return false;
    }
    if (value.desc->type != kVnPythonRef) return false;
    const char* t = text ? text : "";
    // bytes that are not UTF-8 are kept as escapes rather than lost
    PyObject* made =
        PyUnicode_DecodeUTF8(t, static_cast<Py_ssize_t>(std::strlen(t)), "surrogateescape");
    if (!made) {
        PyErr_Clear();
        return false;
    }
    // the old value is dropped only after the new one is in place: dropping it may run code
    PyRef old = PyRef::Steal(std::exchange(*static_cast<PyObject**>(value.value), made));
    return true;
}

}  // namespace mw
