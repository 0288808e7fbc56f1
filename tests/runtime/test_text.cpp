#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "runtime/text.h"

namespace {

using rt::fromUtf8;
using rt::toUtf8;

std::string byte(int b) {
    return std::string(1, static_cast<char>(b));
}

constexpr int kUndefined[] = {0x81, 0x83, 0x88, 0x90, 0x98};

bool undefinedByte(int b) {
    for (int u : kUndefined) {
        if (u == b) return true;
    }
    return false;
}

TEST(Text, KnownCharactersConvertBothWays) {
    struct Case {
        int cp1250;
        const char* utf8;
    } cases[] = {
        {'A', "A"},  {0x9A, "š"}, {0x8A, "Š"},      {0xE6, "ć"}, {0xC6, "Ć"},
        {0xE8, "č"}, {0xC8, "Č"}, {0x9E, "ž"},      {0x8E, "Ž"}, {0xF0, "đ"},
        {0xD0, "Đ"}, {0x80, "€"}, {0xA0, "\u00A0"}, {0xFF, "˙"},
    };
    for (const Case& c : cases) {
        const std::string utf8 = c.utf8;
        EXPECT_EQ(toUtf8(byte(c.cp1250)), utf8) << "byte " << c.cp1250;
        // A string given away takes the path that hands plain ASCII back as it is.
        EXPECT_EQ(toUtf8("ab" + byte(c.cp1250)), "ab" + utf8) << "byte " << c.cp1250;
        EXPECT_EQ(fromUtf8(utf8), byte(c.cp1250)) << "byte " << c.cp1250;
    }
    // An embedded NUL is a character like any other.
    EXPECT_EQ(toUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(fromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(toUtf8("\x8A\x9A \xC6\xE6 \xC8\xE8 \xD0\xF0 \x8E\x9E"), "Šš Ćć Čč Đđ Žž");
    EXPECT_EQ(fromUtf8("Evidencija članova PD"), "Evidencija \xE8lanova PD");
    // A letter beyond ASCII is found wherever it stands in a text of any
    // length (the texts are looked at a word at a time), also when the text
    // is written in place.
    for (std::size_t n = 1; n <= 20; ++n)
        for (std::size_t at = 0; at < n; ++at) {
            std::string text(n, 'a');
            text[at] = '\x9A';
            std::string want(n + 1, 'a');
            want.replace(at, 2, "š");
            EXPECT_EQ(toUtf8(text), want) << n << " " << at;
            std::string room(rt::writeRoom(n), '\0');
            const char* end = rt::writeUtf8(room.data(), text);
            EXPECT_EQ(std::string_view(room.data(), end - room.data()), want) << n << " " << at;
            const std::string ascii(n, 'b');
            end = rt::writeUtf8(room.data(), ascii);
            EXPECT_EQ(std::string_view(room.data(), end - room.data()), ascii) << n;
        }
}

TEST(Text, EveryDefinedByteRoundTrips) {
    std::string all;
    std::set<std::string> seen;
    for (int b = 0; b < 256; ++b) {
        if (undefinedByte(b)) continue;
        all += byte(b);
        std::string u = toUtf8(byte(b));
        EXPECT_NE(u, "\uFFFD") << "byte " << b;
        EXPECT_TRUE(seen.insert(u).second) << "two bytes give the same character: " << b;
        EXPECT_EQ(fromUtf8(u), byte(b)) << "byte " << b;
    }
    EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

TEST(Text, UndefinedBytesShowAsReplacementCharacter) {
    for (int b : kUndefined) {
        EXPECT_EQ(toUtf8(byte(b)), "\uFFFD") << "byte " << b;
        // Nothing around it is lost or shifted.
        EXPECT_EQ(toUtf8("a" + byte(b) + "\x9A"), "a\uFFFDš") << "byte " << b;
    }
    EXPECT_EQ(toUtf8("\x81\x83\x88\x90\x98"), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    // The replacement character itself is no Windows-1250 character.
    EXPECT_EQ(fromUtf8("a\uFFFD"), std::nullopt);
}

TEST(Text, RefusesWhatWindows1250CannotHoldAndInvalidUtf8) {
    const std::string cases[] = {
        "ı",             // U+0131, dotless i
        "中",            // CJK
        "\U0001F600",    // outside the BMP
        "\xC2\x81",      // U+0081: the code point behind an undefined byte
        "Ana ı",         // a refusal anywhere refuses the whole text
        "\xC3",          // cut off in the middle of a character
        "\xC0\xAF",      // overlong encoding
        "\xED\xA0\x80",  // surrogate
        "a\xFF"
        "b",     // not UTF-8 at all
        "\x9A",  // a Windows-1250 byte passed as if it were UTF-8
    };
    for (const std::string& s : cases) EXPECT_EQ(fromUtf8(s), std::nullopt) << s;
    EXPECT_EQ(fromUtf8(""), "");
    EXPECT_EQ(toUtf8(""), "");
}

TEST(Text, ConvertsOnManyThreadsAtOnce) {
    const std::string cp = "\x8A\x9A\xC6\xE6\xC8\xE8\xD0\xF0\x8E\x9E \x81 abc";
    const std::string utf = "ŠšĆćČčĐđŽž \uFFFD abc";
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (toUtf8(cp) != utf) ++failures[t];
                if (fromUtf8("čćžšđ") != "\xE8\xE6\x9E\x9A\xF0") ++failures[t];
                if (fromUtf8("ı") != std::nullopt) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST(Text, CaseOverTheWholeCodePage) {
    // The letters written out in UTF-8, so the check does not lean on the
    // tables it tests; iconv gives their bytes.
    const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZŠŚŤŽŹŁĄŞŻĽŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎĐŃŇÓÔŐÖŘŮÚŰÜÝŢ";
    const std::string lower = "abcdefghijklmnopqrstuvwxyzšśťžźłąşżľŕáâăäĺćçčéęëěíîďđńňóôőöřůúűüýţ";
    std::optional<std::string> up = fromUtf8(upper);
    std::optional<std::string> low = fromUtf8(lower);
    ASSERT_TRUE(up && low);
    ASSERT_EQ(up->size(), low->size());
    std::set<unsigned char> letters;
    for (std::size_t i = 0; i < up->size(); ++i) {
        const auto u = static_cast<unsigned char>((*up)[i]);
        const auto l = static_cast<unsigned char>((*low)[i]);
        EXPECT_EQ(rt::upperCp1250(l), u) << "lower byte " << int(l);
        EXPECT_EQ(rt::lowerCp1250(u), l) << "upper byte " << int(u);
        EXPECT_EQ(rt::upperCp1250(u), u) << int(u);
        EXPECT_EQ(rt::lowerCp1250(l), l) << int(l);
        letters.insert(u);
        letters.insert(l);
    }
    // Everything else (digits, signs, ß, µ, × and ÷ among them) stays itself.
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<unsigned char>(b);
        if (letters.count(c)) continue;
        EXPECT_EQ(rt::upperCp1250(c), c) << "byte " << b;
        EXPECT_EQ(rt::lowerCp1250(c), c) << "byte " << b;
    }
}

TEST(Text, TrimAndPaddedComparison) {
    struct Case {
        std::string_view in, right, both;
    } cases[] = {
        {"", "", ""},
        {"   ", "", ""},
        {"Ana", "Ana", "Ana"},
        {"  Ana  ", "  Ana", "Ana"},
        {"Ana Marija   ", "Ana Marija", "Ana Marija"},
        {"\tAna\t", "\tAna\t", "\tAna\t"},  // only blanks are padding
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::trimRight(c.in), c.right) << '"' << c.in << '"';
        EXPECT_EQ(rt::trim(c.in), c.both) << '"' << c.in << '"';
    }
    // Fields of every width up to 40, their text ending at every byte (the
    // padding is skipped a word at a time), a blank inside the text kept.
    for (std::size_t width = 1; width <= 40; ++width)
        for (std::size_t n = 0; n <= width; ++n) {
            std::string text(n, 'x');
            if (n > 2) text[n / 2] = ' ';
            std::string field = text + std::string(width - n, ' ');
            EXPECT_EQ(rt::trimRight(field), text) << width << " " << n;
        }
    EXPECT_TRUE(rt::equalPadded("Ana", "Ana     "));
    EXPECT_TRUE(rt::equalPadded("", "    "));
    EXPECT_FALSE(rt::equalPadded("Ana", " Ana"));
    EXPECT_FALSE(rt::equalPadded("Ana", "Anb"));
    EXPECT_FALSE(rt::equalPadded("Ana", "Ana."));
}

TEST(Text, FixedWidthFieldsCutAndPad) {
    char field[6];
    rt::assignFixed(field, 5, "abcdefgh");
    EXPECT_EQ(std::string_view(field, 5), "abcde");
    field[5] = '#';
    rt::assignFixed(field, 5, "ab");
    EXPECT_EQ(std::string_view(field, 6), "ab   #");  // never writes past the width
    rt::assignFixed(field, 5, "");
    EXPECT_EQ(std::string_view(field, 5), "     ");
    // A view of the field itself is a valid source.
    rt::assignFixed(field, 5, "xyz");
    rt::assignFixed(field, 5, std::string_view(field + 1, 2));
    EXPECT_EQ(std::string_view(field, 5), "yz   ");

    rt::Text<5> t;
    EXPECT_TRUE(t.blank());
    EXPECT_EQ(t.view(), "     ");
    t = "\x8A\x9A\xC6\xE6\xC8\xE8";  // six characters, one byte each
    EXPECT_EQ(t.view(), "\x8A\x9A\xC6\xE6\xC8");
    t = "Ivo";
    EXPECT_EQ(t.view(), "Ivo  ");
    EXPECT_EQ(t.str(), "Ivo");
    EXPECT_TRUE(t == "Ivo");
    EXPECT_TRUE(t == "Ivo    ");
    EXPECT_FALSE(t == "Iv");
    EXPECT_TRUE(t == rt::Text<5>("Ivo "));
    EXPECT_FALSE(t == rt::Text<5>("Iva"));
    t.clear();
    EXPECT_TRUE(t.blank());
}

}  // namespace
