#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/member_value.h"

namespace mw {

// How many bytes of `text` (`length` long) fit in `room` without splitting a UTF-8 character.
std::size_t Utf8Fit(const char* text, std::size_t length, std::size_t room);
// Copies the whole characters of `text` that fit with the terminator; "" without a buffer.
const char* CopyText(char* buffer, std::size_t capacity, const char* text);

// The value's display text: `buffer` filled within capacity, a constant, or the member's text.
const char* ValueToText(const MemberValue& value, char* buffer, std::size_t capacity);

// Stores the value read from `text` (null reads as ""); false when nothing was stored.
bool TextToValue(const MemberValue& value, const char* text);

// A whole number (blanks around it allowed) that fits 64 bits; false with the reason.
bool ReadWholeNumber(const char* text, int64_t* out, std::string* why);
// A finite number with "." as the decimal point (blanks around it allowed); false with why.
bool ReadRealNumber(const char* text, double* out, std::string* why);

// Whether a person's `text` reads as a value of the member's type without loss: numbers must
// be whole numbers of the type's range (blanks around them allowed) inside the member's own
// range and choices, inline texts must fit.
// False with the reason. TextToValue itself keeps the lenient rules scripts rely on.
bool CheckTypedText(const MemberValue& value, const char* text, std::string* why);

// The member's range (minimum, maximum, spin box step) for a spin box; false when it has none.
bool MemberRange(const MemberDescriptor* d, double* minimum, double* maximum, double* step);

// 0 when the values are equal, else -1 (or 1 when a's text sorts after b's).
int CompareValues(const MemberValue& a, const MemberValue& b);

// Leading blanks, optional sign, decimal digits; 0 without digits, clamped to the type's range.
int32_t IntegerValue(const char* text);
int64_t Integer64Value(const char* text);

}  // namespace mw
