#pragma once
// Dates as day numbers: days since 28 December 1800 in the Gregorian calendar.
// 1 January 1801 is 4, 1 January 2000 is 72687; 0, and anything below 4 or
// above 2994626 (31 December 9999), is no date.
#include <cstdint>
#include <optional>

namespace rt {

using DayNumber = std::int32_t;

constexpr DayNumber FirstDay = 4;       // 1 January 1801
constexpr DayNumber LastDay = 2994626;  // 31 December 9999

struct CivilDate {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

bool isDate(DayNumber d);

// nullopt for a day that does not exist or lies outside 1801..9999.
std::optional<DayNumber> dayNumber(int year, int month, int day);

// The calendar date of a valid day number; nullopt for no date.
std::optional<CivilDate> civilDate(DayNumber d);

int dayOf(DayNumber d);    // 0 for no date
int monthOf(DayNumber d);  // 0 for no date
int yearOf(DayNumber d);   // 0 for no date

// Today, from the runtime's clock (clock.h).
DayNumber today();

}  // namespace rt
