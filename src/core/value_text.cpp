#include "core/value_text.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cstring>
#include <limits>

#include "core/python_value.h"
#include "core/time_text.h"
#include "vorn/os.h"
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

// Copies as much of the text as fits with its terminator; returns buffer.
const char* CopyOut(char* buffer, std::size_t capacity, const char* text, std::size_t length) {
    if (!buffer || capacity == 0) return "";
    std::size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
    return buffer;
}

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
    std::size_t n = strnlen(text, static_cast<std::size_t>(size));
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

}  // namespace

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
