#pragma once
// Money: exact hundredths in memory. Stored as a double, rounded to two places
// on the way back.
#include <compare>
#include <cstdint>

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
        if (__builtin_add_overflow(a.cents, b.cents, &r)) return limit(b.cents > 0);
        return clamped(r);
    }
    friend Money operator-(Money a, Money b) {
        std::int64_t r;
        if (__builtin_sub_overflow(a.cents, b.cents, &r)) return limit(b.cents < 0);
        return clamped(r);
    }
    Money& operator+=(Money b) { return *this = *this + b; }
    Money& operator-=(Money b) { return *this = *this - b; }
    friend auto operator<=>(const Money&, const Money&) = default;
    // At the limit a count can hold: a value that did not fit (a stored 1e300,
    // a sum beyond 64 bits), never an exact amount.
    bool saturated() const { return cents == Limit || cents == -Limit; }
    static constexpr std::int64_t Limit = 9223372036854775807LL;

  private:
    static Money limit(bool positive) { return {positive ? Limit : -Limit}; }
    // The limits are symmetric: the lowest count stands for -max.
    static Money clamped(std::int64_t r) { return r == -Limit - 1 ? limit(false) : Money{r}; }
};

// A saldo, debit less credit, that stays saturated when either side is: the
// difference of an amount no count could hold is no number either (two
// stored 1e300 leave no saldo of 0).
inline Money saldo(Money debit, Money credit) {
    if (debit.saturated()) return debit;
    if (credit.saturated()) return Money{-credit.cents};
    return debit - credit;
}

// The range of a packed decimal of 11 digits with 2 decimals: +-999999999.99.
constexpr std::int64_t MaxDecimal11_2Cents = 99999999999LL;
inline bool fitsDecimal11_2(Money m) {
    return m.cents <= MaxDecimal11_2Cents && m.cents >= -MaxDecimal11_2Cents;
}

}  // namespace rt
