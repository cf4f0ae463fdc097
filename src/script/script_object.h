#pragma once

#include "vorn/object.h"
#include "vorn/py_ref.h"
#include "vorn/pyos.h"

// A method of a script object: the runtime's call bracket around its body, so a body that fails
// through the runtime raises the runtime's error in the script.
template <PyObject* (*Body)(PyObject* self, PyObject* args)>
PyObject* Bracketed(PyObject* self, PyObject* args) {
    PyThunkEnter();
    return PyThunkLeave(Body(self, args));
}

// Puts a static script object into the module `app` under `name` (its class made known first).
void AddScriptObject(PyObject* module, const char* name, IRoot* object);

// The text of a member descriptor's interface id, "" when it has none.
const char* InterfaceName(const VnIID* iid);

// A new dictionary describing a member: "type", "iid_name", "iid_ver", "description",
// "editflags" (and "name" when `named`); null with a Python error on failure.
PyObject* MemberDictionary(const VnMemberDescriptor* member, bool named);
