#pragma once

#include <cstddef>

#include "core/member_value.h"

namespace mw {

// The Python object of a member: type 10 the storage itself, type 11 the stored reference
// (may be null); otherwise null. No reference is added.
PyObject* MemberPython(const MemberValue& value);

// The string form of a Python member within capacity, "" for an empty reference, or
// "An unrepresentable Python object" when the object cannot say what it is.
const char* PythonValueText(const MemberValue& value, char* buffer, std::size_t capacity);

// Type 11 takes a new Python string made from the text. Type 10 is the owner's own embedded
// object and cannot be replaced from text: nothing is stored and the pending error says so.
bool PythonTextToValue(const MemberValue& value, const char* text);

}  // namespace mw
