#pragma once
// Money: exact hundredths in memory. Stored as a double, rounded to two places
// on the way back.
#include <cstdint>
#include <compare>

namespace rt {

struct Money {
    std::int64_t cents = 0;

    static Money fromDouble(double d);  // rounded to the nearest hundredth
    double toDouble() const { return static_cast<double>(cents) / 100.0; }

    // Sums and differences saturate as fromDouble does, so an amount that
    // already stands at the limit (read from a stored 1e300) never wraps to
    // the other sign.
    friend Money operator+(Money a, Money b) {
        std::int64_t r;
        if (__builtin_add_overflow(a.cents, b.cents, &r)) return saturated(b.cents > 0);
        return clamped(r);
    }
    friend Money operator-(Money a, Money b) {
        std::int64_t r;
        if (__builtin_sub_overflow(a.cents, b.cents, &r)) return saturated(b.cents < 0);
        return clamped(r);
    }
    Money& operator+=(Money b) { return *this = *this + b; }
    Money& operator-=(Money b) { return *this = *this - b; }
    friend auto operator<=>(const Money&, const Money&) = default;

  private:
    static Money saturated(bool positive) {
        constexpr std::int64_t kMax = 9223372036854775807LL;
        return {positive ? kMax : -kMax};
    }
    // The limits are symmetric: the lowest count stands for -max.
    static Money clamped(std::int64_t r) {
        return r == -9223372036854775807LL - 1 ? saturated(false) : Money{r};
    }
};

// The range of a packed decimal of 11 digits with 2 decimals: +-999999999.99.
constexpr std::int64_t MaxDecimal11_2Cents = 99999999999LL;
inline bool fitsDecimal11_2(Money m) {
    return m.cents <= MaxDecimal11_2Cents && m.cents >= -MaxDecimal11_2Cents;
}

}  // namespace rt
