#include "runtime/money.h"

#include <cmath>
#include <limits>

namespace rt {

Money Money::fromDouble(double d) {
    // A column of NUMERIC affinity may hand back an integer; as a double it
    // rounds the same way. What no 64-bit count can hold saturates, so a
    // range check (fitsDecimal11_2) still sees it as too large; NaN is 0.
    if (std::isnan(d)) return {0};
    const double scaled = d * 100.0;
    constexpr double kLimit = 9.2e18;  // below 2^63, exactly representable
    if (scaled >= kLimit) return {std::numeric_limits<std::int64_t>::max()};
    if (scaled <= -kLimit) return {-std::numeric_limits<std::int64_t>::max()};
    return {static_cast<std::int64_t>(std::llround(scaled))};
}

}  // namespace rt
