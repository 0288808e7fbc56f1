// A member's full name: surname, father's name and given name without their
// trailing blanks, every separator written, nothing cut.
#include <gtest/gtest.h>

#include <string>

#include "core/dictionary/member_name.h"

namespace {

TEST(MemberName, SurnameFathersNameGivenName) {
    struct Case {
        const char* surname;
        const char* father;
        const char* given;
        std::string want;
    };
    const std::string wide25(25, 'W'), wide20(20, 'M');
    const Case cases[] = {
        {"Horvat", "Marko", "Ivan", "Horvat, Marko, Ivan"},
        {"Kovač", "", "Ana", "Kovač, , Ana"},  // an empty part keeps its separators
        {"", "", "", ", , "},                  // a member with no row
        {"Van Der Berg", " Jan", "Ana Marija",
         "Van Der Berg,  Jan, Ana Marija"},  // inner blanks stay
        {wide25.c_str(), wide20.c_str(), wide20.c_str(), wide25 + ", " + wide20 + ", " + wide20},
        {"\212ari\346", "\310edo", "\216eljko",
         "\212ari\346, \310edo, \216eljko"},  // Šarić, Čedo, Željko
    };
    std::string out = "what the buffer held before";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        CLANOVI_Record m;
        m.M1_PRE = c.surname;
        m.M1_IOC = c.father;
        m.M1_IME = c.given;
        EXPECT_EQ(FullName(m), c.want);
        FullName(m, out);
        EXPECT_EQ(out, c.want);
    }
}

}  // namespace
