#pragma once

#include <QString>

#include "core/member_value.h"
#include "shell/images.h"
#include "vorn/py_ref.h"

// The rules the tree and the grid share: containers become tree nodes and scalars grid rows,
// icons by class, and how registered objects are named.
namespace browser {

// Images of the shared list the tree uses.
constexpr int kImagePlainObject = mw::images::kPlainObject;
constexpr int kImageList = mw::images::kList;
constexpr int kImageDesktop = mw::images::kDesktop;

// A Python value is a container unless it is callable, a string or bytes, a type, a number,
// None or a capsule; a missing value (null) counts as one.
bool IsContainer(PyObject* value);
// A member is a container when it holds (or is) a runtime object that is not a colour, vector
// or rotation value, when it is an empty object pointer, or when it is a Python member holding
// a container. Every other member is a scalar.
bool IsContainer(const mw::MemberValue& value);

// The runtime object a Python object wraps, or null (no reference added).
IRoot* Unwrapped(PyObject* object);
// The object's moniker when it is registered ("kx:/dev"), else empty.
QString MonikerText(IRoot* object);
// The image of a node showing `object` (null: a plain Python value).
int ObjectImage(IRoot* object);
// The text of the object's member "name", or empty.
QString NameOf(IRoot* object);
// The Python text of `object` (str), or "<failure>" when it cannot give one.
QString PythonText(PyObject* object);

// Calls fn(key, value) for each item of a dictionary, in the order of its keys (borrowed
// references); stops early when fn answers false.
template <class Fn>
void ForEachItem(PyObject* dict, Fn&& fn) {
    PyRef keys = PyRef::Steal(PyObject_CallMethod(dict, "keys", nullptr));
    PyRef values = PyRef::Steal(PyObject_CallMethod(dict, "values", nullptr));
    PyRef keyList = PyRef::Steal(keys ? PySequence_List(keys.get()) : nullptr);
    PyRef valueList = PyRef::Steal(values ? PySequence_List(values.get()) : nullptr);
    if (!keyList || !valueList) {
        PyErr_Clear();
        return;
    }
    const Py_ssize_t n = std::min(PyList_GET_SIZE(keyList.get()), PyList_GET_SIZE(valueList.get()));
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!fn(PyList_GET_ITEM(keyList.get(), i), PyList_GET_ITEM(valueList.get(), i))) return;
}

// The dictionary whose items a module or dictionary shows, or null for other objects.
PyObject* ItemsOf(PyObject* object);
// Whether the object's items are shown by position (a list or a tuple).
bool IsSequence(PyObject* object);

}  // namespace browser
