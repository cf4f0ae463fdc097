#include "app/time_units.h"

#include <cmath>
#include <limits>

#include "core/value_text.h"

namespace mw {

double FieldNumber(const QString& text) {
    // the same leading-number reading as a double member typed into the grid
    double value = 0;
    VnMemberDescriptor d{"field", kVnDouble, 0, 8, nullptr, nullptr, 0, nullptr, {}};
    TextToValue({&d, &value}, text.toUtf8().constData());
    return std::isfinite(value) ? value : 0.0;
}

int64_t FieldToTicks(double value) {
    if (!(value > -9.2e18)) return value != value ? 0 : std::numeric_limits<int64_t>::min();
    if (value >= 9.2e18) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(value);
}

double TicksToSeconds(int64_t ticks) {
    int64_t whole = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (ticks > 63072000000000000LL) return static_cast<double>(whole) + (rest / 10000) * 0.001;
    return static_cast<double>(whole) + static_cast<double>(rest) * 0.0000001;
}

int64_t SecondsToTicks(double seconds) {
    if (!std::isfinite(seconds)) return 0;
    if (std::fabs(seconds) > 9.2e11) return FieldToTicks(seconds > 0 ? 9.2e18 : -9.3e18);
    double whole = 0;
    double fraction = std::modf(seconds, &whole);
    return static_cast<int64_t>(fraction * 10000000.0) + FieldToTicks(whole) * 10000000;
}

}  // namespace mw
