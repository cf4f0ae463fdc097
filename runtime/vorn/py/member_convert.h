#pragma once

#include <Python.h>

#include "vorn/iroot.h"

namespace vorn {

// A member's value as a Python object (a new reference), by the member's type code.
PyObject* MemberToPython(const VnMemberDescriptor* member, void* storage);

// The str last made from one text member of an object, handed out again while the member
// still holds that text instead of a new str on every read. Only short texts are kept.
struct LastText {
    const void* storage = nullptr;
    PyObject* text = nullptr;  // one reference, or null
};
// MemberToPython, going through `last` for text members.
PyObject* MemberToPython(const VnMemberDescriptor* member, void* storage, LastText* last);

// Stores a Python value into a member, checking its type and range. False with a Python
// error (TypeError, ValueError, OverflowError) set; the member is unchanged then.
bool PythonToMember(const VnMemberDescriptor* member, void* storage, PyObject* value);

// Raises vorn.error with the runtime's pending error text (and clears it).
PyObject* RaisePendingError(const char* fallback);

// The runtime's own error type, vorn.error.
PyObject* VornErrorType();
bool InitVornErrorType();
void ClearVornErrorType();

}  // namespace vorn
