#pragma once

#include <Python.h>

#include <cmath>
#include <limits>

#include "../member_ranges.h"
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

// Whether a 32-bit float holds `v` (infinities and NaN it does).
inline bool FitsFloat(double v) {
    return !std::isfinite(v) || std::fabs(v) <= std::numeric_limits<float>::max();
}

// The common case of a script setting a float member, inline: a plain float the member holds,
// into a member without a range or choices. False when PythonToMember must do it.
inline bool StorePlainFloat(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    if (!PyFloat_CheckExact(value) || m->extra || MayHaveRange(m)) return false;
    const double v = PyFloat_AS_DOUBLE(value);
    if (!FitsFloat(v)) return false;
    *static_cast<float*>(storage) = static_cast<float>(v);
    return true;
}

// Raises vorn.error with the runtime's pending error text (and clears it).
PyObject* RaisePendingError(const char* fallback);

// The runtime's own error type, vorn.error.
PyObject* VornErrorType();
bool InitVornErrorType();
void ClearVornErrorType();

}  // namespace vorn
