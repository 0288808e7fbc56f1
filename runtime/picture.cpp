#include "runtime/picture.h"

#include <cstring>

#include <functional>
#include <unordered_map>

#include <limits>

#include "runtime/text.h"

namespace rt {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    for (char c : s) {
        if (!isDigit(c)) return false;
    }
    return true;
}

// A positive decimal number without a leading zero, at most maxDigits long.
std::optional<int> smallNumber(std::string_view s, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits || s[0] == '0' || !allDigits(s)) return std::nullopt;
    int v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

// Writes the decimal digits of v so that they end at end; their start.
// Unsigned, so that the smallest int64's magnitude has digits too.
char* digitsBefore(char* end, std::uint64_t v) {
    do {
        *--end = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

std::string digitsOf(std::uint64_t v) {
    char buf[20];
    char* end = buf + sizeof buf;
    return std::string(digitsBefore(end, v), end);
}

std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// The decimal digits of v written at out; their end.
char* writeDigits(char* out, std::uint64_t v) {
    std::size_t n = 1;
    for (std::uint64_t rest = v / 10; rest != 0; rest /= 10) ++n;
    digitsBefore(out + n, v);
    return out + n;
}

// A whole number with its sign, written at out (room for 21 bytes); its end.
char* writeInteger(char* out, std::int64_t v) {
    if (v < 0) *out++ = '-';
    return writeDigits(out, magnitude(v));
}

std::string plainInteger(std::int64_t v) {
    char buf[21];
    return std::string(buf, writeInteger(buf, v));
}

// The value of a run of digits when it has at most maxDigits significant
// digits (leading zeros do not count).
std::optional<std::uint64_t> digitValue(std::string_view s, std::size_t maxDigits) {
    std::size_t first = s.find_first_not_of('0');
    std::size_t significant = first == std::string_view::npos ? 0 : s.size() - first;
    if (significant > maxDigits) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) v = v * 10 + static_cast<std::uint64_t>(c - '0');
    return v;
}

std::string amountText(const Picture& p, bool negative, std::uint64_t whole, unsigned cents) {
    std::string digits = digitsOf(whole);
    std::string out = negative ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && p.grouping != 0 && (digits.size() - i) % 3 == 0) out += p.grouping;
        out += digits[i];
    }
    out += p.decimalPoint;
    out += static_cast<char>('0' + cents / 10);
    out += static_cast<char>('0' + cents % 10);
    return out;
}

// The integer part of an amount as typed: plain digits, or digits grouped by
// threes with the picture's grouping character. Grouping that is present must
// be right, so "1.5" is never read as 15 where "." groups thousands.
std::optional<std::string> ungroup(const Picture& p, std::string_view s) {
    if (p.grouping == 0 || s.find(p.grouping) == std::string_view::npos) {
        if (!allDigits(s)) return std::nullopt;
        return std::string(s);
    }
    std::string digits;
    std::size_t start = 0;
    bool first = true;
    while (true) {
        std::size_t end = s.find(p.grouping, start);
        std::string_view group =
            s.substr(start, end == std::string_view::npos ? s.npos : end - start);
        if (!allDigits(group) || group.empty() || (first ? group.size() > 3 : group.size() != 3)) {
            return std::nullopt;
        }
        digits += group;
        first = false;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return digits;
}

// The year a two-digit year stands for: the one that puts the date within
// 80 years before and 20 years after today. The window runs from today's day
// and month 80 years back (inclusive) to the same day 20 years ahead
// (exclusive), so exactly one century fits.
int windowYear(int yy, int month, int day) {
    CivilDate now = civilDate(today()).value_or(CivilDate{2000, 1, 1});
    const int lowYear = now.year - 80;
    int year = lowYear - lowYear % 100 + yy;
    const bool beforeLow =
        year < lowYear ||
        (year == lowYear && (month < now.month || (month == now.month && day < now.day)));
    if (beforeLow) year += 100;
    return year;
}

}  // namespace

std::optional<Picture> Picture::parse(std::string_view picture) {
    Picture p;
    p.source = std::string(picture);
    if (picture == "@n1B") {
        p.kind = Kind::Number;
        p.width = 1;
        p.blankWhenZero = true;
        return p;
    }
    if (picture == "@d6.") {
        p.kind = Kind::Date;
        p.width = 10;  // dd.mm.yyyy
        return p;
    }
    if (picture.starts_with("@n_")) {
        // Up to 18 positions: every such number fits a 64-bit integer.
        auto w = smallNumber(picture.substr(3), 2);
        if (!w || *w > 18) return std::nullopt;
        p.kind = Kind::Number;
        p.width = *w;
        return p;
    }
    if (picture.starts_with("@s")) {
        auto w = smallNumber(picture.substr(2), 5);
        if (!w) return std::nullopt;
        p.kind = Kind::Text;
        p.width = *w;
        return p;
    }
    if (picture.starts_with("@n-")) {
        std::string_view rest = picture.substr(3);
        std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos) return std::nullopt;
        auto w = smallNumber(rest.substr(0, dot), 2);
        std::string_view tail = rest.substr(dot + 1);
        // The narrowest amount is "0,00"; DECIMAL(11,2) with its minus and
        // grouping needs no more than 15 positions, 20 leaves room.
        if (!w || *w < 4 || *w > 20) return std::nullopt;
        p.kind = Kind::Amount;
        p.width = *w;
        p.decimals = 2;
        p.leadingMinus = true;
        if (tail == "`2") {
            p.grouping = '.';
            p.decimalPoint = ',';
        } else if (tail == "2") {
            p.grouping = ',';
            p.decimalPoint = '.';
        } else {
            return std::nullopt;
        }
        return p;
    }
    return std::nullopt;
}

const std::optional<Picture>& Picture::cached(std::string_view picture) {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view v) const {
            return std::hash<std::string_view>{}(v);
        }
    };
    thread_local std::unordered_map<std::string, std::optional<Picture>, Hash, std::equal_to<>>
        parsed;
    auto it = parsed.find(picture);
    if (it == parsed.end()) it = parsed.emplace(std::string(picture), parse(picture)).first;
    return it->second;
}

char* writeNumber(char* out, const Picture& p, std::int64_t value) {
    if (p.kind == Picture::Kind::Number) {
        if (p.blankWhenZero && value == 0) return out;
        // A value wider than the picture, or negative, is shown whole:
        // cutting it would show another number.
        return writeInteger(out, value);
    }
    if (p.kind == Picture::Kind::Date) {
        if (value < std::numeric_limits<DayNumber>::min() ||
            value > std::numeric_limits<DayNumber>::max())
            return out;
        std::optional<CivilDate> c = civilDate(static_cast<DayNumber>(value));
        if (!c) return out;  // 0 and anything out of range is no date
        *out++ = static_cast<char>('0' + c->day / 10);
        *out++ = static_cast<char>('0' + c->day % 10);
        *out++ = '.';
        *out++ = static_cast<char>('0' + c->month / 10);
        *out++ = static_cast<char>('0' + c->month % 10);
        *out++ = '.';
        return writeDigits(out, static_cast<std::uint64_t>(c->year));
    }
    return out;
}

std::string formatInteger(const Picture& p, std::int64_t value) {
    switch (p.kind) {
        case Picture::Kind::Number:
        case Picture::Kind::Date: {
            char buf[NumberRoom];
            return std::string(buf, writeNumber(buf, p, value));
        }
        case Picture::Kind::Text:
            return formatText(p, plainInteger(value));
        case Picture::Kind::Amount:
            return amountText(p, value < 0, magnitude(value), 0);
    }
    return "";
}

std::string formatMoney(const Picture& p, Money value) {
    if (p.kind != Picture::Kind::Amount) {
        // Elsewhere an amount shows its whole part, rounded half away from zero.
        std::int64_t whole = value.cents / 100;
        std::int64_t rest = value.cents % 100;
        if (rest >= 50) ++whole;
        if (rest <= -50) --whole;
        return formatInteger(p, whole);
    }
    const std::uint64_t m = magnitude(value.cents);
    return amountText(p, value.cents < 0, m / 100, static_cast<unsigned>(m % 100));
}

std::string formatDate(const Picture& p, DayNumber value) {
    return formatInteger(p, value);
}

std::string overflowMark(const Picture& p) {
    return std::string(static_cast<std::size_t>(std::max(p.width, 1)), '#');
}

std::string formatText(const Picture& p, std::string_view value) {
    return std::string(textShown(p, value));
}

std::optional<std::int64_t> parseInteger(const Picture& p, std::string_view text) {
    std::string_view t = trim(text);
    switch (p.kind) {
        case Picture::Kind::Number: {
            // Codes: digits only; a minus sign is refused.
            if (t.empty()) return 0;
            if (!allDigits(t)) return std::nullopt;
            auto v = digitValue(t, static_cast<std::size_t>(p.width));
            if (!v) return std::nullopt;
            return static_cast<std::int64_t>(*v);
        }
        case Picture::Kind::Text: {
            // A number typed into a text entry: as many characters as it holds.
            if (t.empty()) return 0;
            if (t.size() > static_cast<std::size_t>(p.width)) return std::nullopt;
            const bool negative = t[0] == '-';
            std::string_view digits = negative ? t.substr(1) : t;
            if (digits.empty() || !allDigits(digits)) return std::nullopt;
            auto v = digitValue(digits, 18);
            if (!v) return std::nullopt;
            return negative ? -static_cast<std::int64_t>(*v) : static_cast<std::int64_t>(*v);
        }
        case Picture::Kind::Date: {
            auto d = parseDate(p, text);
            if (!d) return std::nullopt;
            return *d;
        }
        case Picture::Kind::Amount: {
            auto m = parseMoney(p, text);
            if (!m || m->cents % 100 != 0) return std::nullopt;
            return m->cents / 100;
        }
    }
    return std::nullopt;
}

std::optional<Money> parseMoney(const Picture& p, std::string_view text) {
    if (p.kind != Picture::Kind::Amount) {
        auto v = parseInteger(p, text);
        if (!v || magnitude(*v) > static_cast<std::uint64_t>(MaxDecimal11_2Cents / 100)) {
            return std::nullopt;
        }
        return Money{*v * 100};
    }
    std::string_view t = trim(text);
    if (t.empty()) return Money{0};
    const bool negative = t[0] == '-';
    if (negative) t.remove_prefix(1);
    std::string_view intPart = t;
    std::string_view fracPart;
    std::size_t point = t.find(p.decimalPoint);
    if (point != std::string_view::npos) {
        intPart = t.substr(0, point);
        fracPart = t.substr(point + 1);
        // More than two decimals are refused rather than rounded away.
        if (fracPart.size() > 2 || !allDigits(fracPart)) return std::nullopt;
        if (intPart.empty() && fracPart.empty()) return std::nullopt;
    } else if (intPart.empty()) {
        return std::nullopt;  // a lone minus
    }
    std::optional<std::string> digits = ungroup(p, intPart);
    if (!digits) return std::nullopt;
    // DECIMAL(11,2) has 9 digits before the point; 15 keeps the sum exact
    // and lets the range check below give the answer.
    std::optional<std::uint64_t> whole = digitValue(*digits, 15);
    if (!whole) return std::nullopt;
    std::uint64_t cents = *whole * 100;
    if (!fracPart.empty()) {
        cents += static_cast<std::uint64_t>(fracPart[0] - '0') * 10;
        if (fracPart.size() == 2) cents += static_cast<std::uint64_t>(fracPart[1] - '0');
    }
    Money m{negative ? -static_cast<std::int64_t>(cents) : static_cast<std::int64_t>(cents)};
    // What the field cannot store, or the entry cannot show, is refused.
    if (!fitsDecimal11_2(m)) return std::nullopt;
    if (formatMoney(p, m).size() > static_cast<std::size_t>(p.width)) return std::nullopt;
    return m;
}

std::optional<DayNumber> parseDate(const Picture& p, std::string_view text) {
    if (p.kind != Picture::Kind::Date) {
        auto v = parseInteger(p, text);
        if (!v || *v < std::numeric_limits<DayNumber>::min() ||
            *v > std::numeric_limits<DayNumber>::max()) {
            return std::nullopt;
        }
        return static_cast<DayNumber>(*v);
    }
    std::string_view t = trim(text);
    if (t.empty()) return DayNumber{0};  // an empty entry is no date
    std::size_t dot1 = t.find('.');
    if (dot1 == std::string_view::npos) return std::nullopt;
    std::size_t dot2 = t.find('.', dot1 + 1);
    if (dot2 == std::string_view::npos) return std::nullopt;
    std::string_view d = t.substr(0, dot1);
    std::string_view m = t.substr(dot1 + 1, dot2 - dot1 - 1);
    std::string_view y = t.substr(dot2 + 1);
    if (d.empty() || d.size() > 2 || m.empty() || m.size() > 2 ||
        (y.size() != 2 && y.size() != 4) || !allDigits(d) || !allDigits(m) || !allDigits(y)) {
        return std::nullopt;
    }
    auto number = [](std::string_view s) {
        int v = 0;
        for (char c : s) v = v * 10 + (c - '0');
        return v;
    };
    const int day = number(d);
    const int month = number(m);
    int year = number(y);
    if (y.size() == 2) year = windowYear(year, month, day);
    return dayNumber(year, month, day);
}

std::optional<std::string> parseText(const Picture& p, std::string_view text) {
    switch (p.kind) {
        case Picture::Kind::Text: {
            // Trailing blanks are padding and do not count; leading ones are kept.
            std::string_view t = trimRight(text);
            if (t.size() > static_cast<std::size_t>(p.width)) return std::nullopt;
            return std::string(t);
        }
        case Picture::Kind::Number:
            if (!parseInteger(p, text)) return std::nullopt;
            break;
        case Picture::Kind::Date:
            if (!parseDate(p, text)) return std::nullopt;
            break;
        case Picture::Kind::Amount:
            if (!parseMoney(p, text)) return std::nullopt;
            break;
    }
    return std::string(trim(text));
}

}  // namespace rt
