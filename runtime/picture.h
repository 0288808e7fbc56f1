#pragma once
// Pictures: how entries and list columns show and accept a value.
//
//   "@n_2" "@n_3" "@n_4" "@n_6" "@n_8"  whole number of that many positions
//   "@n1B"                              one digit, blank when 0
//   "@s<n>"                             text of n characters
//   "@d6."                              day number as dd.mm.yyyy
//   "@n-14.`2" "@n-15.`2" "@n-13.`2"    amount: leading minus, "." grouping, "," decimals
//   "@n-14.2" "@n-15.2"                 amount: "," grouping, "." decimals
//
// Formatting and parsing work on Windows-1250 text (numbers are ASCII).
// Formatting never pads (the control aligns) and never cuts a number: a
// value wider than its picture, or a negative code, is shown whole. Texts
// are cut to the picture's width and shown without their trailing blanks.
// Dates outside FirstDay..LastDay (0 among them) show blank; zero amounts
// show "0,00" / "0.00".
//
// Parsing trims blanks around the input; empty input is 0 (no date, no
// amount). Whole numbers take digits only (no sign), at most width of them
// not counting leading zeros. Dates take d.m.yyyy with one or two digits for
// day and month and two or four for the year; a two-digit year falls from
// today's day 80 years back up to (not including) the same day 20 years
// ahead. Amounts take an optional leading minus, grouping separators that
// are either absent or right (groups of three), and at most two decimals;
// more decimals, a value beyond DECIMAL(11,2) or one whose display would not
// fit the width are refused. Texts take at most width characters, trailing
// blanks not counted.
//
// Each function also takes a picture of another kind: a number in an "@s"
// entry is up to width characters with an optional minus, a date held as an
// integer goes through "@d6.", an amount in a whole-number picture shows its
// whole part rounded half away from zero.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/text.h"

#include "runtime/date.h"
#include "runtime/money.h"

namespace rt {

struct Picture {
    enum class Kind { Number, Text, Date, Amount };
    Kind kind = Kind::Text;
    int width = 0;     // positions (Number, Amount) or characters (Text)
    int decimals = 0;  // Amount: places after the decimal separator
    bool blankWhenZero = false;
    bool leadingMinus = false;
    char grouping = 0;  // Amount: '.' or ','; 0 for none
    char decimalPoint = '.';
    std::string source;  // the picture as written

    // nullopt for a picture this system does not know.
    static std::optional<Picture> parse(std::string_view picture);
    // The same, parsed once per thread: every redraw formats every cell.
    static const std::optional<Picture>& cached(std::string_view picture);
};

// A value a picture shows: whole numbers and dates as integers, amounts in
// hundredths, texts as bytes.
std::string formatInteger(const Picture& p, std::int64_t value);
// The same for a Number or a Date picture (whose text is plain ASCII),
// written at out, which has room for NumberRoom bytes; the end of what was
// written. Every list cell of a code or a date comes here.
inline constexpr std::size_t NumberRoom = 24;
char* writeNumber(char* out, const Picture& p, std::int64_t value);
std::string formatMoney(const Picture& p, Money value);
// What a number shows in place of a value its picture cannot hold (one too
// wide, a saturated amount): "#" over the picture's width.
std::string overflowMark(const Picture& p);
std::string formatDate(const Picture& p, DayNumber value);
std::string formatText(const Picture& p, std::string_view value);
// The part of value that formatText shows, without copying it.
inline std::string_view textShown(const Picture& p, std::string_view value) {
    if (p.kind != Picture::Kind::Text) return trimRight(value);
    // Windows-1250 has one byte per character, so cutting bytes cuts characters.
    return trimRight(
        std::string_view(value.data(), std::min(value.size(), static_cast<std::size_t>(p.width))));
}

// Parsing what the user typed; nullopt when the picture refuses it.
std::optional<std::int64_t> parseInteger(const Picture& p, std::string_view text);
std::optional<Money> parseMoney(const Picture& p, std::string_view text);
std::optional<DayNumber> parseDate(const Picture& p, std::string_view text);
std::optional<std::string> parseText(const Picture& p, std::string_view text);

}  // namespace rt
