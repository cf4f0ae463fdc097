#pragma once

#include <cstddef>
#include <cstdint>

#include "core/member_value.h"

namespace mw {

// The value's display text: `buffer` filled within capacity, a constant, or the member's text.
const char* ValueToText(const MemberValue& value, char* buffer, std::size_t capacity);

// Stores the value read from `text` (null reads as ""); false when nothing was stored.
bool TextToValue(const MemberValue& value, const char* text);

// 0 when the values are equal, else -1 (or 1 when a's text sorts after b's).
int CompareValues(const MemberValue& a, const MemberValue& b);

// Leading blanks, optional sign, decimal digits; 0 without digits, clamped to the type's range.
int32_t IntegerValue(const char* text);
int64_t Integer64Value(const char* text);

}  // namespace mw
