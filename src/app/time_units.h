#pragma once

#include <QString>
#include <cstdint>

namespace mw {

// A time bar field as a number: the leading C floating-point number, 0 when there is none.
double FieldNumber(const QString& text);
// A field value as clock ticks: truncated toward zero (out-of-range values are clamped).
int64_t FieldToTicks(double value);
// Ticks of 100 ns as seconds; past 73,000 days only whole milliseconds are kept.
double TicksToSeconds(int64_t ticks);
int64_t SecondsToTicks(double seconds);

}  // namespace mw
