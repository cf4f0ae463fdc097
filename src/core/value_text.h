#pragma once

#include <cstddef>
#include <cstdint>

#include "core/member_value.h"

namespace mw {

// Text shown for a member's value. Returns `buffer` (filled, NUL-terminated and never longer
// than capacity - 1) or a constant text; type 7, 8 and 12 return the member's own text.
const char* ValueToText(const MemberValue& value, char* buffer, std::size_t capacity);

// Stores the value read from `text` (null reads as "") into the member. False when the type is
// not stored here or nothing could be stored.
bool TextToValue(const MemberValue& value, const char* text);

// Order-free comparison for the browser: 0 when equal, otherwise -1 or 1.
int CompareValues(const MemberValue& a, const MemberValue& b);

// The text's integer value: leading blanks, optional sign, decimal digits; 0 when there are
// none; clamped to the result type's range.
int32_t IntegerValue(const char* text);
int64_t Integer64Value(const char* text);

// Formatting and parsing of Python members, installed by the Python layer. Without them
// types 10 and 11 show "" and text is not stored into type 11.
using PythonValueTextFn = const char* (*)(const MemberValue& value, char* buffer,
                                          std::size_t capacity);
using PythonTextToValueFn = bool (*)(const MemberValue& value, const char* text);
void SetPythonValueText(PythonValueTextFn fn);
void SetPythonTextToValue(PythonTextToValueFn fn);

}  // namespace mw
