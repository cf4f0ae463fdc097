#pragma once

#include <Python.h>

#include "vorn/iroot.h"

namespace vorn {

// A member's value as a Python object (a new reference), by the member's type code.
PyObject* MemberToPython(const VnMemberDescriptor* member, void* storage);

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
