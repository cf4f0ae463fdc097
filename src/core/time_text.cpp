#include "core/time_text.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/value_text.h"
#include "vorn/os.h"

namespace mw {

namespace {

constexpr int64_t kTicksPerMillisecond = kVnTicksPerSecond / 1000;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDays1601To1970 = 134774;

// Floor division by a positive divisor: the remainder is never negative.
void FloorDivide(int64_t a, int64_t b, int64_t* quotient, int64_t* remainder) {
    int64_t q = a / b;
    int64_t r = a % b;
    if (r < 0) {
        r += b;
        --q;
    }
    *quotient = q;
    *remainder = r;
}

bool IsLeapYear(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

// Appends the whole characters of `text` that fit after `used` bytes, keeping the terminator.
std::size_t Append(char* buffer, std::size_t capacity, std::size_t used, const char* text) {
    const std::size_t n = Utf8Fit(text, std::strlen(text), capacity - used - 1);
    std::memcpy(buffer + used, text, n);
    buffer[used + n] = 0;
    return used + n;
}

std::size_t DateText(char* buffer, std::size_t capacity, const std::tm& tm) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"  // the locale's own short date is what is wanted
    return std::strftime(buffer, capacity, "%x", &tm);
#pragma GCC diagnostic pop
}

}  // namespace

CivilTime TicksToCivil(int64_t ticks) {
    int64_t seconds, subTicks, days, secondOfDay;
    FloorDivide(ticks, kVnTicksPerSecond, &seconds, &subTicks);
    FloorDivide(seconds, kSecondsPerDay, &days, &secondOfDay);
    days -= kDays1601To1970;

    // Days since 1970 to a proleptic Gregorian date, counted in 400-year eras from 1 March.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;

    CivilTime c{};
    c.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    c.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    c.year = yearOfEra + era * 400 + (c.month <= 2 ? 1 : 0);

    static const int kDaysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    c.yearDay = kDaysBeforeMonth[c.month - 1] + c.day - 1 + (c.month > 2 && IsLeapYear(c.year));
    int64_t week, weekday;
    FloorDivide(days + 4, 7, &week, &weekday);  // 1 January 1970 was a Thursday
    c.weekday = static_cast<int>(weekday);

    c.hour = static_cast<int>(secondOfDay / 3600);
    c.minute = static_cast<int>(secondOfDay / 60 % 60);
    c.second = static_cast<int>(secondOfDay % 60);
    c.millisecond = static_cast<int>(subTicks / kTicksPerMillisecond);
    return c;
}

const char* TimeToText(int64_t ticks, char* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return "";
    const CivilTime c = TicksToCivil(ticks);
    std::tm tm{};
    tm.tm_year = static_cast<int>(c.year - 1900);  // ticks span years -27627..30828
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_wday = c.weekday;
    tm.tm_yday = c.yearDay;

    std::size_t used = DateText(buffer, capacity, tm);  // 0 when it fails: an empty date
    buffer[used] = 0;
    used = Append(buffer, capacity, used, " ");
    const std::size_t timeLength = std::strftime(buffer + used, capacity - used, "%X", &tm);
    used = timeLength ? used + timeLength : Append(buffer, capacity, used, "[error]");

    char tail[32];
    std::snprintf(tail, sizeof tail, " %.2d.%.2d", c.second, c.millisecond);
    Append(buffer, capacity, used, tail);
    return buffer;
}

}  // namespace mw
