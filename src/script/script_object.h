#pragma once

#include <QString>

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

// A method's doc text as scripts read it in `__doc__`: without the signature block
// ("Name(args)\n--\n\n") that CPython reads the call's signature from; "" when it has none.
const char* MethodDocText(const VnMethodDef& method);

class IShell;

// Raises the RuntimeError of a call that needs the main window after it has gone; answers null.
PyObject* RaiseToolClosing();

// In a batch run nobody answers a dialog: writes `question` and "(batch: no answer)" to the
// output and answers true, so the caller answers as closing the dialog would.
bool NoAnswerInBatch(const IShell& shell, const QString& question);
