#pragma once

#include <cstddef>
#include <cstdint>

namespace mw {

// Calendar fields of a tick count (100 ns since 1 January 1601), without any time zone.
struct CivilTime {
    int64_t year;
    int month;  // 1..12
    int day;    // 1..31
    int hour;
    int minute;
    int second;
    int millisecond;
    int weekday;  // 0 is Sunday
    int yearDay;  // 0 is 1 January
};

CivilTime TicksToCivil(int64_t ticks);

// "<locale date> <locale time> SS.ms" written within capacity; "" when there is no buffer.
const char* TimeToText(int64_t ticks, char* buffer, std::size_t capacity);

}  // namespace mw
