#pragma once

#include <Python.h>

#include "vorn/iroot.h"

namespace vorn {

// The type vorn.Object: a Python view of one runtime object.
bool InitWrapperType();
void ClearWrapperType();
PyTypeObject* WrapperTypeObject();
// A new wrapper holding a reference to `identity` (the object's IRoot).
PyObject* NewWrapper(IRoot* identity);
// The object behind a wrapper (borrowed), or null for anything else.
IRoot* WrappedObject(PyObject* object);
// ([method names], [script attribute names]), both sorted.
PyObject* SplitNames(IRoot* object);

}  // namespace vorn
