#include "core/value_text.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/python_value.h"
#include "core/time_text.h"
#include "vorn/os.h"
#include "vorn/ranges.h"
#include "vorn/ref.h"

namespace mw {

namespace {

constexpr const char* kUnknownType = "unknown type?!?";

// Member storage need not be aligned for its type, so it is read and written bytewise.
template <class T>
T Load(const void* storage) {
    T v;
    std::memcpy(&v, storage, sizeof v);
    return v;
}

template <class T>
void Store(void* storage, T v) {
    std::memcpy(storage, &v, sizeof v);
}

// Copies the whole characters of the text that fit with its terminator; returns buffer.
const char* CopyOut(char* buffer, std::size_t capacity, const char* text, std::size_t length) {
    if (!buffer || capacity == 0) return "";
    const std::size_t n = Utf8Fit(text, length, capacity - 1);
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
    return buffer;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <class Int>
Int ParseInteger(const char* text) {
    if (!text) return 0;
    while (IsBlank(*text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // Accumulated as a negative number, whose range reaches the type's minimum.
    const Int limit = negative ? std::numeric_limits<Int>::min() : -std::numeric_limits<Int>::max();
    Int value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const int digit = *text - '0';
        if (value < (limit + digit) / 10) return negative ? limit : -limit;
        value = value * 10 - digit;
    }
    return negative ? value : -value;
}

// The "C" locale, so that a decimal point is read as "." whatever the user's locale says.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

double ParseDouble(const char* text) {
    locale_t c = CLocale();
    return c ? strtod_l(text, nullptr, c) : 0.0;
}

float ParseFloat(const char* text) {
    locale_t c = CLocale();
    return c ? strtof_l(text, nullptr, c) : 0.0f;
}

const char* NumberText(double v, char* buffer, std::size_t capacity) {
    char text[400];  // the widest double in fixed notation takes 309 digits before the point
    auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 4);
    if (ec != std::errc()) return CopyOut(buffer, capacity, "", 0);
    return CopyOut(buffer, capacity, text, static_cast<std::size_t>(end - text));
}

int CompareObjects(IRoot* a, IRoot* b) {
    if (!a && !b) return 0;
    if (!a || !b) return -1;
    // Interface pointers of one object differ; its IRoot answer is its identity.
    VnRef<IRoot> ia = VnQuery<IRoot>(a, 1);
    VnRef<IRoot> ib = VnQuery<IRoot>(b, 1);
    return ia && ia.get() == ib.get() ? 0 : -1;
}

int CompareTexts(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const auto* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (; *x && *x == *y; ++x, ++y) {
    }
    if (*x == *y) return 0;
    return *x < *y ? -1 : 1;
}

bool StoreString(void* storage, int32_t size, const char* text) {
    if (size <= 0) return false;
    // The text may be the member's own storage, so the copy must allow overlap.
    char* dst = static_cast<char*>(storage);
    const std::size_t room = static_cast<std::size_t>(size) - 1;
    const std::size_t n = Utf8Fit(text, strnlen(text, room + 1), room);
    std::memmove(dst, text, n);
    std::memset(dst + n, 0, static_cast<std::size_t>(size) - n);
    dst[size - 1] = 0;
    return true;
}

bool StoreAllocated(void* storage, const char* text) {
    // Copied before the old text is freed, so the text may be the member's own.
    std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(VnOS->Alloc(length + 1));
    if (!copy) return false;
    std::memcpy(copy, text, length + 1);
    char* old = Load<char*>(storage);
    Store(storage, copy);
    VnOS->Free(old);
    return true;
}

// The text after leading blanks is consumed up to `end`; only blanks may follow.
bool OnlyBlanksFrom(const char* end) {
    while (IsBlank(*end)) ++end;
    return *end == 0;
}

bool CheckInteger(const char* text, int64_t low, int64_t high, std::string* why) {
    int64_t v = 0;
    if (!ReadWholeNumber(text, &v, why)) return false;
    if (v < low || v > high) {
        *why = std::string(text) + " is outside " + std::to_string(low) + " to " +
               std::to_string(high);
        return false;
    }
    return true;
}

bool CheckReal(const char* text, bool single, std::string* why) {
    double v = 0;
    if (!ReadRealNumber(text, &v, why)) return false;
    if (single && std::fabs(v) > std::numeric_limits<float>::max()) {
        *why = std::string(text) + " is too large for this member";
        return false;
    }
    return true;
}

// Whether the number `text` reads as may be stored in the member: its range and its choices.
bool CheckAllowed(const MemberDescriptor* d, const char* text, std::string* why) {
    int64_t whole = 0;
    double real = 0;
    char reason[160] = "";
    bool ok = true;
    if (d->type == kVnLong && ReadWholeNumber(text, &whole, nullptr)) {
        const auto v = static_cast<int32_t>(whole);
        ok = VnCheckMemberValue(d, &v, reason, sizeof reason);
    } else if (d->type == kVnFloat && ReadRealNumber(text, &real, nullptr)) {
        const auto v = static_cast<float>(real);
        ok = VnCheckMemberValue(d, &v, reason, sizeof reason);
    } else if (d->type == kVnDouble && ReadRealNumber(text, &real, nullptr)) {
        ok = VnCheckMemberValue(d, &real, reason, sizeof reason);
    }
    if (!ok) *why = reason;
    return ok;
}

}  // namespace

bool MemberRange(const MemberDescriptor* d, double* minimum, double* maximum, double* step) {
    VnMemberRange range{};
    if (!d || !VnGetMemberRange(d, &range)) return false;
    if (minimum) *minimum = range.minimum;
    if (maximum) *maximum = range.maximum;
    if (step) *step = range.step;
    return true;
}

std::size_t Utf8Fit(const char* text, std::size_t length, std::size_t room) {
    if (length <= room) return length;
    // a character has at most three continuation bytes; past that the bytes are no UTF-8 anyway
    std::size_t n = room;
    while (n > 0 && room - n < 3 && IsContinuationByte(text[n])) --n;
    return IsContinuationByte(text[n]) ? room : n;
}

const char* CopyText(char* buffer, std::size_t capacity, const char* text) {
    return CopyOut(buffer, capacity, text ? text : "", text ? std::strlen(text) : 0);
}

bool ReadWholeNumber(const char* text, int64_t* out, std::string* why) {
    if (!text) text = "";
    const char* p = text;
    while (IsBlank(*p)) ++p;
    const char* digits = (*p == '-' || *p == '+') ? p + 1 : p;
    const char* end = digits;
    while (*end >= '0' && *end <= '9') ++end;
    if (end == digits || !OnlyBlanksFrom(end)) {
        if (why) *why = "\"" + std::string(text) + "\" is not a whole number";
        return false;
    }
    const int64_t v = ParseInteger<int64_t>(text);
    if (end - digits > 18 && (v == INT64_MAX || v == INT64_MIN)) {
        if (why) *why = std::string(text) + " is too large";
        return false;
    }
    *out = v;
    return true;
}

bool ReadRealNumber(const char* text, double* out, std::string* why) {
    if (!text) text = "";
    locale_t c = CLocale();
    char* end = nullptr;
    const double v = c ? strtod_l(text, &end, c) : 0.0;
    if (!end || end == text || !OnlyBlanksFrom(end)) {
        if (why) *why = "\"" + std::string(text) + "\" is not a number";
        return false;
    }
    if (!std::isfinite(v)) {
        if (why) *why = std::string(text) + " is not a finite number";
        return false;
    }
    *out = v;
    return true;
}

bool CheckTypedText(const MemberValue& value, const char* text, std::string* why) {
    if (!value.desc) return false;
    if (!text) text = "";
    std::string reason;
    bool ok = true;
    switch (value.desc->type) {
        case kVnLong:
        case kVnBool:
            ok = CheckInteger(text, INT32_MIN, INT32_MAX, &reason);
            break;
        case kVnTime:
            ok = *text == 0 || CheckInteger(text, INT64_MIN + 1, INT64_MAX - 1, &reason);
            break;
        case kVnFloat:
        case kVnDouble:
            ok = CheckReal(text, value.desc->type == kVnFloat, &reason);
            break;
        case kVnString:
            if (value.desc->size > 0 && std::strlen(text) >= std::size_t(value.desc->size)) {
                reason = "the text is " + std::to_string(std::strlen(text)) +
                         " bytes, but the member holds at most " +
                         std::to_string(value.desc->size - 1);
                ok = false;
            }
            break;
        default:
            break;
    }
    if (ok) ok = CheckAllowed(value.desc, text, &reason);
    if (!ok && why) *why = reason;
    return ok;
}

int32_t IntegerValue(const char* text) { return ParseInteger<int32_t>(text); }

int64_t Integer64Value(const char* text) { return ParseInteger<int64_t>(text); }

const char* ValueToText(const MemberValue& value, char* buffer, std::size_t capacity) {
    if (!value.desc) return kUnknownType;
    const uint32_t type = value.desc->type;
    if (type == kVnObject) return "IRoot object";
    if (type == kVnObjectRef) return "IRoot* object";
    if (type < kVnLong || type > kVnROTReference) return kUnknownType;
    if (!value.value) return "";

    switch (type) {
        case kVnLong: {
            char text[16];
            auto [end, ec] = std::to_chars(text, text + sizeof text, Load<int32_t>(value.value));
            (void)ec;  // an int32 always fits
            return CopyOut(buffer, capacity, text, static_cast<std::size_t>(end - text));
        }
        case kVnFloat:
            return NumberText(Load<float>(value.value), buffer, capacity);
        case kVnDouble:
            return NumberText(Load<double>(value.value), buffer, capacity);
        case kVnBool:
            return Load<unsigned char>(value.value) ? "1" : "0";
        case kVnString:
        case kVnVornString:
        case kVnROTReference: {
            const char* text = MemberTextPointer(value);
            return text ? text : "";
        }
        case kVnTime:
            return TimeToText(Load<int64_t>(value.value), buffer, capacity);
        default:  // kVnPython, kVnPythonRef
            return PythonValueText(value, buffer, capacity);
    }
}

bool TextToValue(const MemberValue& value, const char* text) {
    if (!value.desc || !value.value) return false;
    if (!text) text = "";
    void* storage = value.value;
    switch (value.desc->type) {
        case kVnLong:
            Store(storage, IntegerValue(text));
            return true;
        case kVnFloat:
            Store(storage, ParseFloat(text));
            return true;
        case kVnDouble:
            Store(storage, ParseDouble(text));
            return true;
        case kVnBool:
            Store<unsigned char>(storage, IntegerValue(text) != 0 ? 1 : 0);
            return true;
        case kVnString:
            return StoreString(storage, value.desc->size, text);
        case kVnVornString:
        case kVnROTReference:
            return StoreAllocated(storage, text);
        case kVnTime:
            if (*text == 0) {
                const VnClock* clock = VnOS->GetClock();
                if (!clock) return false;
                Store(storage, clock->currentTime);
            } else {
                Store(storage, Integer64Value(text));
            }
            return true;
        case kVnPython:
        case kVnPythonRef:
            return PythonTextToValue(value, text);
        default:  // embedded objects and references are not made from text
            return false;
    }
}

int CompareValues(const MemberValue& a, const MemberValue& b) {
    if (!a.desc || !b.desc) return -1;
    const bool aObject = IsObjectMember(a);
    const bool aText = IsTextMember(a);
    if ((aObject && !IsObjectMember(b)) || (aText && !IsTextMember(b))) return -1;
    if (aObject) return CompareObjects(MemberObject(a), MemberObject(b));
    if (aText) return CompareTexts(MemberTextPointer(a), MemberTextPointer(b));
    if (a.desc->type != b.desc->type) return -1;
    if (!a.value || !b.value) return a.value == b.value ? 0 : -1;
    const std::size_t size = a.desc->size > 0 ? static_cast<std::size_t>(a.desc->size) : 0;
    const int r = std::memcmp(a.value, b.value, size);
    return (r > 0) - (r < 0);
}

}  // namespace mw
