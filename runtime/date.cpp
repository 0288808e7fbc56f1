#include "runtime/date.h"

#include "runtime/clock.h"

namespace rt {
namespace {

// Days from 1 March of year 0 based eras of 400 years (146097 days), so leap
// days fall at the end of each computed year. Pure arithmetic: no libc time
// functions, no time zone, any year of the proleptic Gregorian calendar.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);             // [0, 399]
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;            // [0, 146096]
    return era * 146097 + static_cast<std::int64_t>(doe);
}

constexpr CivilDate civilFromDays(std::int64_t z) {
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Day 0 of the day numbers.
constexpr std::int64_t kEpoch = daysFromCivil(1800, 12, 28);

static_assert(daysFromCivil(1801, 1, 1) - kEpoch == FirstDay);
static_assert(daysFromCivil(2000, 1, 1) - kEpoch == 72687);
static_assert(daysFromCivil(9999, 12, 31) - kEpoch == LastDay);

constexpr bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int daysInMonth(int y, int m) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

bool isDate(DayNumber d) {
    return d >= FirstDay && d <= LastDay;
}

std::optional<DayNumber> dayNumber(int year, int month, int day) {
    if (year < 1801 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month)) {
        return std::nullopt;
    }
    return static_cast<DayNumber>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch);
}

std::optional<CivilDate> civilDate(DayNumber d) {
    if (!isDate(d)) return std::nullopt;
    return civilFromDays(kEpoch + d);
}

int dayOf(DayNumber d) {
    auto c = civilDate(d);
    return c ? c->day : 0;
}

int monthOf(DayNumber d) {
    auto c = civilDate(d);
    return c ? c->month : 0;
}

int yearOf(DayNumber d) {
    auto c = civilDate(d);
    return c ? c->year : 0;
}

DayNumber today() {
    WallTime now = wallNow();
    return dayNumber(now.year, now.month, now.day).value_or(0);
}

}  // namespace rt
