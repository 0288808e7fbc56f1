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

    friend Money operator+(Money a, Money b) { return {a.cents + b.cents}; }
    friend Money operator-(Money a, Money b) { return {a.cents - b.cents}; }
    Money& operator+=(Money b) {
        cents += b.cents;
        return *this;
    }
    Money& operator-=(Money b) {
        cents -= b.cents;
        return *this;
    }
    friend auto operator<=>(const Money&, const Money&) = default;
};

// The range of a packed decimal of 11 digits with 2 decimals: +-999999999.99.
constexpr std::int64_t MaxDecimal11_2Cents = 99999999999LL;
inline bool fitsDecimal11_2(Money m) {
    return m.cents <= MaxDecimal11_2Cents && m.cents >= -MaxDecimal11_2Cents;
}

}  // namespace rt
