// Thumb steps: the thumb's place for a key value between the order's
// lowest and highest value, numeric and by the leading letters; and the
// thumb a list shows as the highlight moves.
#include "framework/step.h"
#include "tests/framework/browse_fixture.h"

namespace browsetest {
namespace {

rt::Value n(std::int64_t v) {
    return rt::Value{v};
}
rt::Value t(const char* s) {
    return rt::Value{std::string(s)};
}

TEST(StepLong, ThumbIsProportionalToTheCodeBetweenTheLimits) {
    struct Case {
        std::int64_t low, high, value;
        bool descending;
        int percent;
    };
    const Case cases[] = {
        {1, 101, 1, false, 0},
        {1, 101, 51, false, 50},
        {1, 101, 101, false, 100},
        {1, 101, 500, false, 100},
        {1, 101, -7, false, 0},  // outside: held at the ends
        {1, 101, 26, true, 75},
        {5, 5, 5, false, 0},  // one value: the top
        {0, 2147483647, 2147483647, false, 100},
        {-2147483648LL, 2147483647, 0, false, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low << ".." << c.high << " at " << c.value);
        StepLongClass s;
        s.Init(StepOption::Alpha | (c.descending ? StepOption::Descending : 0));
        s.SetLimit(n(c.high), n(c.low));  // either way round
        EXPECT_EQ(s.GetPercentile(n(c.value)), c.percent);
    }
}

TEST(StepString, LeadingLettersPlaceTheThumbInTheKeysOrder) {
    StepStringClass s;
    s.Init(StepOption::Alpha, StepStringClass::Runtime);
    // The table: the code page's upper-case letters in byte order.
    const std::string& l = s.Letters();
    EXPECT_EQ(l.substr(0, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    for (int c : {0x8a, 0x8e, 0xc8, 0xc6, 0xd0})  // Š Ž Č Ć Đ
        EXPECT_NE(l.find(static_cast<char>(c)), std::string::npos) << int(c);
    for (int c :
         {int('a'), int('z'), 0x9a, 0x9e, 0xe8, int('1'), int(' ')})  // no lower case, digits
        EXPECT_EQ(l.find(static_cast<char>(c)), std::string::npos) << int(c);

    // Case does not matter; order follows the letters; more letters refine.
    EXPECT_EQ(s.Weigh("kozara"), s.Weigh("KOZARA"));
    EXPECT_EQ(s.Weigh("\x9a"
                      "ar"),
              s.Weigh("\x8a"
                      "AR"));  // šar, ŠAR
    const char* ordered[] = {"",
                             "A",
                             "AB",
                             "ABC",
                             "B",
                             "BJELASICA",
                             "KOZARA",
                             "Z",
                             "\x8a"
                             "AR"};
    for (std::size_t i = 1; i < std::size(ordered); ++i)
        EXPECT_LT(s.Weigh(ordered[i - 1]), s.Weigh(ordered[i])) << ordered[i];

    s.SetLimit(t("Alpinist"), t("Zelengora"));
    EXPECT_EQ(s.GetPercentile(t("Alpinist")), 0);
    EXPECT_EQ(s.GetPercentile(t("zelengora")), 100);
    const int m = s.GetPercentile(t("Maglic"));
    EXPECT_GT(m, 35);
    EXPECT_LT(m, 65);
    EXPECT_EQ(s.GetPercentile(t("Aaaa")), 0);  // before the first: the top
}

// A dragged thumb asks for the value at its place: the value whose place
// is that one, or just before it, in both kinds and both directions.
TEST(Step, ValueAtAPlaceLiesThere) {
    StepLongClass up, down;
    up.Init(StepOption::Alpha);
    down.Init(StepOption::Alpha | StepOption::Descending);
    StepStringClass text;
    text.Init(StepOption::Alpha, StepStringClass::Runtime);
    for (StepClass* s : {static_cast<StepClass*>(&up), static_cast<StepClass*>(&down)})
        s->SetLimit(n(1), n(40));
    text.SetLimit(t("Alpinist"), t("Zelengora"));
    EXPECT_EQ(std::get<std::int64_t>(up.GetValue(0)), 1);
    EXPECT_EQ(std::get<std::int64_t>(up.GetValue(100)), 40);
    EXPECT_EQ(std::get<std::int64_t>(up.GetValue(50)), 20);
    EXPECT_EQ(std::get<std::int64_t>(down.GetValue(0)), 40);
    EXPECT_EQ(std::get<std::int64_t>(down.GetValue(100)), 1);
    for (int p = 0; p <= 100; p += 5) {
        SCOPED_TRACE(p);
        for (StepClass* s : {static_cast<StepClass*>(&up), static_cast<StepClass*>(&down),
                             static_cast<StepClass*>(&text)}) {
            const int back = s->GetPercentile(s->GetValue(p));
            EXPECT_LE(std::abs(back - p), 3);
        }
    }
    EXPECT_EQ(std::get<std::string>(text.GetValue(0)), "ALP");
}

// The list shows its thumb: proportional to the code in the code order, the
// fixed thumb (top, middle, bottom) in the name order, which has no step.
TEST_F(BrowseTest, ListShowsTheThumbOfItsOrder) {
    addClubs(range(1, 21));
    ASSERT_TRUE(start(Options{}));
    auto thumb = [&] { return now(win_)->controls.at(List - 1).list()->thumb; };
    EXPECT_EQ(thumb(), 0);
    press(rt::key::PageDown);
    press(rt::key::PageDown);  // 11..15, the first line highlighted
    ASSERT_EQ(highlighted(), 11);
    EXPECT_EQ(thumb(), 50);  // (11 - 1) / (21 - 1)
    press(rt::key::Down);
    EXPECT_EQ(thumb(), 55);
    press(rt::key::End);
    EXPECT_EQ(thumb(), 100);
    chooseTab(TabName);
    press(rt::key::Home);
    EXPECT_EQ(thumb(), 0);
    press(rt::key::PageDown);
    EXPECT_EQ(thumb(), 50);
    press(rt::key::End);
    EXPECT_EQ(thumb(), 100);
    close();
}

}  // namespace
}  // namespace browsetest
