#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "runtime/clock.h"
#include "runtime/money.h"
#include "runtime/picture.h"

namespace {

using rt::DayNumber;
using rt::Money;
using rt::Picture;

Picture pic(std::string_view source) {
    std::optional<Picture> p = Picture::parse(source);
    if (!p) ADD_FAILURE() << "unknown picture " << source;
    return p.value_or(Picture{});
}

DayNumber day(int y, int m, int d) {
    return *rt::dayNumber(y, m, d);
}

class WithManualClock : public ::testing::Test {
  protected:
    void SetUp() override { rt::useManualClock(2025, 6, 15); }
    void TearDown() override { rt::useSystemClock(); }
};

TEST(Picture, KnownPictures) {
    using K = Picture::Kind;
    struct Case {
        const char* source;
        K kind;
        int width;
        bool blankWhenZero;
        char grouping;
        char decimalPoint;
    } cases[] = {
        {"@n_2", K::Number, 2, false, 0, '.'},        {"@n_3", K::Number, 3, false, 0, '.'},
        {"@n_4", K::Number, 4, false, 0, '.'},        {"@n_6", K::Number, 6, false, 0, '.'},
        {"@n_8", K::Number, 8, false, 0, '.'},        {"@n1B", K::Number, 1, true, 0, '.'},
        {"@s15", K::Text, 15, false, 0, '.'},         {"@s255", K::Text, 255, false, 0, '.'},
        {"@s5000", K::Text, 5000, false, 0, '.'},     {"@d6.", K::Date, 10, false, 0, '.'},
        {"@n-14.`2", K::Amount, 14, false, '.', ','}, {"@n-15.`2", K::Amount, 15, false, '.', ','},
        {"@n-13.`2", K::Amount, 13, false, '.', ','}, {"@n-14.2", K::Amount, 14, false, ',', '.'},
        {"@n-15.2", K::Amount, 15, false, ',', '.'},
    };
    for (const Case& c : cases) {
        std::optional<Picture> p = Picture::parse(c.source);
        ASSERT_TRUE(p) << c.source;
        EXPECT_EQ(p->kind, c.kind) << c.source;
        EXPECT_EQ(p->width, c.width) << c.source;
        EXPECT_EQ(p->blankWhenZero, c.blankWhenZero) << c.source;
        EXPECT_EQ(p->source, c.source);
        if (c.kind == K::Amount) {
            EXPECT_EQ(p->decimals, 2) << c.source;
            EXPECT_TRUE(p->leadingMinus) << c.source;
            EXPECT_EQ(p->grouping, c.grouping) << c.source;
            EXPECT_EQ(p->decimalPoint, c.decimalPoint) << c.source;
        }
    }
}

TEST(Picture, UnknownPicturesAreRefused) {
    for (const char* s :
         {"",       "@",      "@n",    "@n_",   "@n_0",   "@n_02",   "@n_2x",    "@n_99",
          "@N_2",   " @n_2",  "@s",    "@s0",   "@s05",   "@s-5",    "@s5 ",     "@S20",
          "@d6",    "@d5.",   "@d6.x", "@n-14", "@n-14.", "@n-14.3", "@n-14.`3", "@n-14.`",
          "@n14.2", "@n-3.2", "@n-.2", "@x",    "n_2"}) {
        EXPECT_EQ(Picture::parse(s), std::nullopt) << '"' << s << '"';
    }
}

TEST(Picture, WholeNumbersFormatWhole) {
    struct Case {
        const char* picture;
        std::int64_t value;
        const char* shown;
    } cases[] = {
        {"@n_2", 0, "0"},
        {"@n_2", 7, "7"},
        {"@n_2", 99, "99"},
        {"@n_2", 100, "100"},  // wider than the picture: shown whole, never cut
        {"@n_2", -5, "-5"},    // a negative code shows its minus
        {"@n_3", 123, "123"},
        {"@n_6", 4711, "4711"},
        {"@n_8", 99999999, "99999999"},
        {"@n_8", 2147483647, "2147483647"},
        {"@n_4", -2147483648LL, "-2147483648"},
        {"@n_2", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {"@n1B", 0, ""},
        {"@n1B", 1, "1"},
        {"@n1B", 9, "9"},
        {"@n1B", 12, "12"},
        {"@n1B", -3, "-3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::formatInteger(pic(c.picture), c.value), c.shown)
            << c.picture << " " << c.value;
    }
}

TEST(Picture, WholeNumbersParse) {
    struct Case {
        const char* picture;
        const char* typed;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"@n_2", "", 0},
        {"@n_2", "   ", 0},
        {"@n_2", "0", 0},
        {"@n_2", "7", 7},
        {"@n_2", " 42 ", 42},
        {"@n_2", "99", 99},
        {"@n_2", "05", 5},
        {"@n_2", "007", 7},  // leading zeros are no positions of the value
        {"@n_2", "100", std::nullopt},
        {"@n_2", "-5", std::nullopt},  // codes take no sign
        {"@n_2", "-0", std::nullopt},
        {"@n_2", "+5", std::nullopt},
        {"@n_2", "4 2", std::nullopt},
        {"@n_2", "1a", std::nullopt},
        {"@n_2", "1.0", std::nullopt},
        {"@n_2", "1,0", std::nullopt},
        {"@n_2", "\xB9", std::nullopt},
        {"@n_3", "999", 999},
        {"@n_3", "1000", std::nullopt},
        {"@n_4", "9999", 9999},
        {"@n_6", "123456", 123456},
        {"@n_6", "1234567", std::nullopt},
        {"@n_8", "99999999", 99999999},
        {"@n_8", "100000000", std::nullopt},
        {"@n_8", "99999999999999999999999", std::nullopt},
        {"@n1B", "", 0},
        {"@n1B", "0", 0},
        {"@n1B", "5", 5},
        {"@n1B", "12", std::nullopt},
        {"@n1B", "-1", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::parseInteger(pic(c.picture), c.typed), c.value)
            << c.picture << " \"" << c.typed << '"';
    }
}

TEST(Picture, WholeNumbersRoundTrip) {
    for (const char* source : {"@n_2", "@n_3", "@n_4", "@n_6", "@n_8"}) {
        Picture p = pic(source);
        const std::int64_t limit = static_cast<std::int64_t>(std::pow(10, p.width));
        for (std::int64_t v : {std::int64_t{0}, std::int64_t{1}, limit / 10, limit / 10 + 1,
                               limit / 2 + 7, limit - 1}) {
            EXPECT_EQ(rt::parseInteger(p, rt::formatInteger(p, v)), v) << source << " " << v;
        }
        // What is shown whole because it is too wide is refused when typed back.
        EXPECT_EQ(rt::parseInteger(p, rt::formatInteger(p, limit)), std::nullopt) << source;
    }
    Picture b = pic("@n1B");
    for (std::int64_t v = 0; v <= 9; ++v)
        EXPECT_EQ(rt::parseInteger(b, rt::formatInteger(b, v)), v);
}

TEST(Picture, TextsCutForDisplayAndRefuseLongerInput) {
    Picture p = pic("@s5");
    struct Shown {
        std::string_view value, shown;
    } shown[] = {
        {"", ""},
        {"Ana", "Ana"},
        {"Ana     ", "Ana"},  // padding is not shown
        {"  Ana", "  Ana"},
        {"Marija", "Marij"},
        {"\x8A\x9A\xC6\xE6\xC8\xE8\xD0", "\x8A\x9A\xC6\xE6\xC8"},  // one byte per character
        {"Ana M     ", "Ana M"},
        {"Ana  Marija", "Ana"},
    };
    for (const Shown& c : shown) {
        EXPECT_EQ(rt::formatText(p, c.value), c.shown) << '"' << c.value << '"';
    }
    struct Typed {
        std::string_view typed;
        std::optional<std::string> value;
    } typed[] = {
        {"", ""},
        {"Ana", "Ana"},
        {"Marij", "Marij"},
        {"Marija", std::nullopt},
        {"Ana        ", "Ana"},  // trailing blanks do not count
        {"  Ana", "  Ana"},      // leading ones do
        {"   Ana", std::nullopt},
        {"\x8A\x9A\xC6\xE6\xC8", "\x8A\x9A\xC6\xE6\xC8"},
        {"\x8A\x9A\xC6\xE6\xC8\xE8", std::nullopt},
    };
    for (const Typed& c : typed) {
        EXPECT_EQ(rt::parseText(p, c.typed), c.value) << '"' << c.typed << '"';
    }
    // A 30-byte field behind "@s15" is shown cut; the field itself is untouched.
    const std::string field = "Planinarsko drustvo Bjelasnica";
    EXPECT_EQ(rt::formatText(pic("@s15"), field), "Planinarsko dru");
    EXPECT_EQ(field.size(), 30u);
}

TEST(Picture, DatesShowAsDayMonthYear) {
    Picture p = pic("@d6.");
    struct Case {
        DayNumber value;
        const char* shown;
    } cases[] = {
        {4, "01.01.1801"},
        {72687, "01.01.2000"},
        {day(2024, 2, 29), "29.02.2024"},
        {day(2025, 12, 9), "09.12.2025"},
        {day(1999, 10, 31), "31.10.1999"},
        {rt::LastDay, "31.12.9999"},
        {0, ""},
        {3, ""},
        {-1, ""},
        {rt::LastDay + 1, ""},
        {std::numeric_limits<DayNumber>::max(), ""},
        {std::numeric_limits<DayNumber>::min(), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(rt::formatDate(p, c.value), c.shown) << c.value;
}

TEST_F(WithManualClock, DatesParse) {
    Picture p = pic("@d6.");
    struct Case {
        const char* typed;
        std::optional<DayNumber> value;
    } cases[] = {
        {"", 0},
        {"   ", 0},
        {"1.1.2000", 72687},
        {"01.01.2000", 72687},
        {"1.01.2000", 72687},
        {" 5.3.2021 ", day(2021, 3, 5)},
        {"1.1.1801", 4},
        {"31.12.9999", rt::LastDay},
        {"29.2.2000", day(2000, 2, 29)},
        {"29.2.1900", std::nullopt},
        {"29.2.2023", std::nullopt},
        {"31.2.2020", std::nullopt},
        {"31.4.2020", std::nullopt},
        {"0.1.2020", std::nullopt},
        {"1.0.2020", std::nullopt},
        {"1.13.2020", std::nullopt},
        {"32.1.2020", std::nullopt},
        {"31.12.1800", std::nullopt},
        {"1.1.0000", std::nullopt},
        {"001.1.2020", std::nullopt},
        {"1.001.2020", std::nullopt},
        {"1.1.202", std::nullopt},
        {"1.1.20201", std::nullopt},
        {"1.1.2", std::nullopt},
        {"1.1", std::nullopt},
        {"1.1.", std::nullopt},
        {"1.1.2020.", std::nullopt},
        {"1..2020", std::nullopt},
        {".1.2020", std::nullopt},
        {"1/1/2020", std::nullopt},
        {"1-1-2020", std::nullopt},
        {"2020-01-01", std::nullopt},
        {"1. 1.2020", std::nullopt},
        {"-1.1.2020", std::nullopt},
        {"+1.1.2020", std::nullopt},
        {"a.b.cccc", std::nullopt},
        {"0", std::nullopt},
        {"72687", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::parseDate(p, c.typed), c.value) << '"' << c.typed << '"';
    }
}

// Today is 15 June 2025: a two-digit year lands between 15 June 1945
// (inclusive) and 15 June 2045 (exclusive).
TEST_F(WithManualClock, TwoDigitYearsFallWithin80YearsBackAnd20Ahead) {
    Picture p = pic("@d6.");
    struct Case {
        const char* typed;
        int year;
    } cases[] = {
        {"1.1.00", 2000},  {"1.1.25", 2025},  {"31.12.25", 2025}, {"1.1.44", 2044},
        {"14.6.45", 2045}, {"15.6.45", 1945}, {"16.6.45", 1945},  {"1.1.46", 1946},
        {"1.1.99", 1999},  {"29.2.00", 2000}, {"5.3.07", 2007},   {"31.12.44", 2044},
    };
    for (const Case& c : cases) {
        std::optional<DayNumber> d = rt::parseDate(p, c.typed);
        ASSERT_TRUE(d) << c.typed;
        EXPECT_EQ(rt::yearOf(*d), c.year) << c.typed;
    }
    EXPECT_EQ(rt::parseDate(p, "29.2.01"), std::nullopt);
    EXPECT_EQ(rt::parseDate(p, "1.1.5"), std::nullopt);

    // The window moves with the clock: in 2090, "00" is 2100, which has no 29 February.
    rt::useManualClock(2090, 1, 1);
    EXPECT_EQ(rt::parseDate(p, "1.3.00"), day(2100, 3, 1));
    EXPECT_EQ(rt::parseDate(p, "29.2.00"), std::nullopt);
    EXPECT_EQ(rt::parseDate(p, "1.1.10"), day(2010, 1, 1));
    EXPECT_EQ(rt::parseDate(p, "31.12.09"), day(2109, 12, 31));
    // Early in the range the window may reach before the first day.
    rt::useManualClock(1801, 1, 1);
    EXPECT_EQ(rt::parseDate(p, "1.1.10"), day(1810, 1, 1));
    EXPECT_EQ(rt::parseDate(p, "1.1.50"), std::nullopt);  // 1750
}

TEST(Picture, DatesRoundTrip) {
    Picture p = pic("@d6.");
    for (DayNumber d = rt::FirstDay; d <= rt::LastDay; d += 997) {
        ASSERT_EQ(rt::parseDate(p, rt::formatDate(p, d)), d) << rt::formatDate(p, d);
    }
    EXPECT_EQ(rt::parseDate(p, rt::formatDate(p, rt::LastDay)), rt::LastDay);
    EXPECT_EQ(rt::parseDate(p, rt::formatDate(p, 0)), 0);
}

TEST(Picture, AmountsFormat) {
    struct Case {
        const char* picture;
        std::int64_t cents;
        const char* shown;
    } cases[] = {
        {"@n-14.`2", 123456750, "1.234.567,50"},
        {"@n-14.`2", -1234, "-12,34"},
        {"@n-14.`2", 0, "0,00"},
        {"@n-14.`2", 5, "0,05"},
        {"@n-14.`2", -5, "-0,05"},
        {"@n-14.`2", 99, "0,99"},
        {"@n-14.`2", 100, "1,00"},
        {"@n-14.`2", 99999, "999,99"},
        {"@n-14.`2", 100000, "1.000,00"},
        {"@n-14.`2", -100000, "-1.000,00"},
        {"@n-14.`2", 1234567890, "12.345.678,90"},
        {"@n-14.`2", rt::MaxDecimal11_2Cents, "999.999.999,99"},
        {"@n-14.`2", -rt::MaxDecimal11_2Cents, "-999.999.999,99"},  // wider: shown whole
        {"@n-13.`2", 2500, "25,00"},
        {"@n-15.`2", -123456789012, "-1.234.567.890,12"},
        {"@n-14.2", 123456750, "1,234,567.50"},
        {"@n-14.2", -1234, "-12.34"},
        {"@n-14.2", 0, "0.00"},
        {"@n-15.2", 100000, "1,000.00"},
        {"@n-14.`2", std::numeric_limits<std::int64_t>::min(), "-92.233.720.368.547.758,08"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::formatMoney(pic(c.picture), Money{c.cents}), c.shown)
            << c.picture << " " << c.cents;
    }
}

TEST(Picture, AmountsParse) {
    struct Case {
        const char* picture;
        const char* typed;
        std::optional<std::int64_t> cents;
    } cases[] = {
        {"@n-14.`2", "", 0},
        {"@n-14.`2", "  ", 0},
        {"@n-14.`2", "0", 0},
        {"@n-14.`2", "-0", 0},
        {"@n-14.`2", "12", 1200},
        {"@n-14.`2", "1234567,5", 123456750},
        {"@n-14.`2", "1.234.567,50", 123456750},
        {"@n-14.`2", "1234.567,50", std::nullopt},  // grouping, where given, must be right
        {"@n-14.`2", "1.234567,50", std::nullopt},
        {"@n-14.`2", "1.234", 123400},
        {"@n-14.`2", "1.5", std::nullopt},  // not one and a half: "." groups thousands here
        {"@n-14.`2", "12.34", std::nullopt},
        {"@n-14.`2", "1.2.3", std::nullopt},
        {"@n-14.`2", ".123", std::nullopt},
        {"@n-14.`2", "123.", std::nullopt},
        {"@n-14.`2", "-12,34", -1234},
        {"@n-14.`2", " -12,34 ", -1234},
        {"@n-14.`2", ",5", 50},
        {"@n-14.`2", "-,05", -5},
        {"@n-14.`2", "5,", 500},
        {"@n-14.`2", "0,01", 1},
        {"@n-14.`2", "007,10", 710},
        {"@n-14.`2", "12,345", std::nullopt},  // more than two decimals: refused, not rounded
        {"@n-14.`2", "12,340", std::nullopt},
        {"@n-14.`2", ",", std::nullopt},
        {"@n-14.`2", "-", std::nullopt},
        {"@n-14.`2", "--5", std::nullopt},
        {"@n-14.`2", "+5", std::nullopt},
        {"@n-14.`2", "5-", std::nullopt},
        {"@n-14.`2", "- 5", std::nullopt},
        {"@n-14.`2", "1 000,00", std::nullopt},
        {"@n-14.`2", "1,2,3", std::nullopt},
        {"@n-14.`2", "12,3a", std::nullopt},
        {"@n-14.`2", "abc", std::nullopt},
        {"@n-14.`2", "1e5", std::nullopt},
        {"@n-14.`2", "999.999.999,99", rt::MaxDecimal11_2Cents},
        {"@n-14.`2", "999999999,99", rt::MaxDecimal11_2Cents},
        {"@n-14.`2", "1.000.000.000,00", std::nullopt},  // beyond DECIMAL(11,2)
        {"@n-14.`2", "99999999999999999999", std::nullopt},
        {"@n-14.`2", "-999.999.999,99", std::nullopt},  // 15 positions in a 14-wide picture
        {"@n-15.`2", "-999.999.999,99", -rt::MaxDecimal11_2Cents},
        {"@n-14.`2", "-99.999.999,99", -9999999999},
        {"@n-13.`2", "99.999.999,99", 9999999999},
        {"@n-13.`2", "100.000.000,00", std::nullopt},
        {"@n-13.`2", "-99.999.999,99", std::nullopt},
        {"@n-13.`2", "-9.999.999,99", -999999999},
        {"@n-14.2", "1,234,567.50", 123456750},
        {"@n-14.2", "1234567.5", 123456750},
        {"@n-14.2", "-12.34", -1234},
        {"@n-14.2", "12,34", std::nullopt},
        {"@n-14.2", "1,5", std::nullopt},
        {"@n-14.2", "1.234.567,50", std::nullopt},
        {"@n-15.2", "-999,999,999.99", -rt::MaxDecimal11_2Cents},
    };
    for (const Case& c : cases) {
        std::optional<Money> m = rt::parseMoney(pic(c.picture), c.typed);
        std::optional<std::int64_t> cents;
        if (m) cents = m->cents;
        EXPECT_EQ(cents, c.cents) << c.picture << " \"" << c.typed << '"';
    }
}

TEST(Picture, AmountsRoundTrip) {
    const std::int64_t values[] = {0,          1,          -1,         99,          100,
                                   -100,       123456,     -123456,    100000000,   999999999,
                                   -999999999, 1000000000, 9999999999, -9999999999, 99999999999};
    for (const char* source : {"@n-13.`2", "@n-14.`2", "@n-15.`2", "@n-14.2", "@n-15.2"}) {
        Picture p = pic(source);
        for (std::int64_t cents : values) {
            const std::string shown = rt::formatMoney(p, Money{cents});
            std::optional<Money> back = rt::parseMoney(p, shown);
            if (shown.size() <= static_cast<std::size_t>(p.width)) {
                ASSERT_TRUE(back) << source << " " << shown;
                EXPECT_EQ(back->cents, cents) << source << " " << shown;
            } else {
                EXPECT_EQ(back, std::nullopt) << source << " " << shown;
            }
        }
    }
}

TEST(Picture, ValuesOfAnotherKind) {
    // A number in a text entry: as many characters as the picture holds.
    Picture s5 = pic("@s5");
    EXPECT_EQ(rt::formatInteger(s5, 1234567), "12345");
    EXPECT_EQ(rt::parseInteger(s5, "42"), 42);
    EXPECT_EQ(rt::parseInteger(s5, "-42"), -42);
    EXPECT_EQ(rt::parseInteger(s5, ""), 0);
    EXPECT_EQ(rt::parseInteger(s5, "123456"), std::nullopt);
    EXPECT_EQ(rt::parseInteger(s5, "4a"), std::nullopt);
    EXPECT_EQ(rt::parseInteger(s5, "-"), std::nullopt);
    // A date held as an integer.
    Picture d = pic("@d6.");
    EXPECT_EQ(rt::formatInteger(d, 72687), "01.01.2000");
    EXPECT_EQ(rt::formatInteger(d, 1LL << 40), "");
    EXPECT_EQ(rt::parseInteger(d, "1.1.2000"), 72687);
    // A whole number in an amount picture, and an amount in a whole-number one.
    Picture a = pic("@n-14.`2");
    EXPECT_EQ(rt::formatInteger(a, 1500), "1.500,00");
    EXPECT_EQ(rt::parseInteger(a, "1.500"), 1500);
    EXPECT_EQ(rt::parseInteger(a, "1,5"), std::nullopt);
    Picture n3 = pic("@n_3");
    EXPECT_EQ(rt::formatMoney(n3, Money{12349}), "123");
    EXPECT_EQ(rt::formatMoney(n3, Money{12350}), "124");
    EXPECT_EQ(rt::formatMoney(n3, Money{-12350}), "-124");
    EXPECT_EQ(rt::parseMoney(n3, "25"), Money{2500});
    EXPECT_EQ(rt::parseMoney(n3, "2,5"), std::nullopt);
    EXPECT_EQ(rt::parseText(n3, " 12 "), "12");
    EXPECT_EQ(rt::parseText(n3, "x"), std::nullopt);
    EXPECT_EQ(rt::formatText(n3, "abc  "), "abc");
}

TEST(Money, FromDoubleRoundsToTheNearestHundredth) {
    struct Case {
        double stored;
        std::int64_t cents;
    } cases[] = {
        {0.0, 0},
        {12.34, 1234},
        {-12.34, -1234},
        {0.1 + 0.2, 30},
        {1234567.5, 123456750},
        {25.0, 2500},
        {5.0, 500},
        {0.004, 0},
        {0.006, 1},
        {-0.006, -1},
        {999999999.99, 99999999999},
        {-999999999.99, -99999999999},
    };
    for (const Case& c : cases) EXPECT_EQ(Money::fromDouble(c.stored).cents, c.cents) << c.stored;

    // What a column stored as an integer hands back reads the same way.
    EXPECT_EQ(Money::fromDouble(static_cast<double>(std::int64_t{1234567})).cents, 123456700);

    // Every amount survives the trip through a double.
    for (std::int64_t cents = -rt::MaxDecimal11_2Cents; cents <= rt::MaxDecimal11_2Cents;
         cents += 9876543) {
        ASSERT_EQ(Money::fromDouble(Money{cents}.toDouble()).cents, cents);
    }
    EXPECT_EQ(Money::fromDouble(Money{rt::MaxDecimal11_2Cents}.toDouble()).cents,
              rt::MaxDecimal11_2Cents);

    // Garbage never yields a storable amount by accident.
    EXPECT_EQ(Money::fromDouble(std::nan("")).cents, 0);
    EXPECT_FALSE(rt::fitsDecimal11_2(Money::fromDouble(1e300)));
    EXPECT_FALSE(rt::fitsDecimal11_2(Money::fromDouble(-1e300)));
    EXPECT_FALSE(rt::fitsDecimal11_2(Money::fromDouble(std::numeric_limits<double>::infinity())));
    EXPECT_FALSE(rt::fitsDecimal11_2(Money::fromDouble(1e10)));
    EXPECT_TRUE(rt::fitsDecimal11_2(Money::fromDouble(999999999.99)));
}

TEST(Money, ArithmeticIsExact) {
    Money sum;
    for (int i = 0; i < 1000; ++i) sum += Money::fromDouble(0.1);
    EXPECT_EQ(sum.cents, 10000);
    sum -= Money{5};
    EXPECT_EQ(sum, Money{9995});
    EXPECT_LT(Money{-1}, Money{0});
    EXPECT_EQ((Money{250} + Money{-300}).cents, -50);
    EXPECT_EQ((Money{250} - Money{300}).toDouble(), -0.5);

    // An amount at the limit (a stored 1e300) keeps its sign through sums
    // and differences instead of wrapping to the other one.
    const Money top = Money::fromDouble(1e300), bottom = Money::fromDouble(-1e300);
    EXPECT_EQ(top.cents, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(bottom.cents, -std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(top + Money{1}, top);
    EXPECT_EQ(top - bottom, top);
    EXPECT_EQ(bottom - top, bottom);
    EXPECT_EQ(bottom + Money{-1}, bottom);
    Money total = top;
    total += top;
    EXPECT_EQ(total, top);
    total = bottom;
    total -= Money{7};
    EXPECT_EQ(total, bottom);
}

}  // namespace
