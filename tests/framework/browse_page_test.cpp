// Moving past the loaded page continues from the key values the queue holds
// for the page's edge row: one statement per move, and a continuation that
// does not depend on that row still being there.
#include <cstdio>

#include "tests/framework/browse_fixture.h"

namespace browsetest {
namespace {

using rt::key::Down;
using rt::key::PageDown;
using rt::key::PageUp;
using rt::key::Up;

class BrowsePageTest : public BrowseTest {
  protected:
    // Counts the SELECTs on the club file from now on.
    void countStatements() {
        storage::setTrace([this](const std::string& sql, const std::vector<std::string>&) {
            if (sql.rfind("SELECT", 0) == 0 && sql.find("FROM PLAND") != std::string::npos)
                ++selects_;
        });
    }
    std::atomic<int> selects_{0};
};

// Every move beyond the page is one statement; moves within it read nothing.
TEST_F(BrowsePageTest, EachMovePastThePageIsOneStatement) {
    addClubs(range(1, 23));
    ASSERT_TRUE(start(Options{}));
    ASSERT_EQ(codes(), (std::vector<int>{1, 2, 3, 4, 5}));
    countStatements();
    struct Step {
        int key;
        std::vector<int> page;
        int highlighted;
        int statements;
    };
    const Step steps[] = {
        {PageDown, {6, 7, 8, 9, 10}, 6, 1},  {PageDown, {11, 12, 13, 14, 15}, 11, 1},
        {Up, {10, 11, 12, 13, 14}, 10, 1},  // one row before the page
        {Down, {10, 11, 12, 13, 14}, 11, 0}, {Down, {10, 11, 12, 13, 14}, 12, 0},
        {Down, {10, 11, 12, 13, 14}, 13, 0}, {Down, {10, 11, 12, 13, 14}, 14, 0},
        {Down, {11, 12, 13, 14, 15}, 15, 1},  // one row after the page
        {PageUp, {6, 7, 8, 9, 10}, 10, 1},   {PageUp, {1, 2, 3, 4, 5}, 5, 1},
        {PageUp, {1, 2, 3, 4, 5}, 1, 1},  // nothing before the first page
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(rt::keyName(s.key) + " to " + std::to_string(s.highlighted));
        const int before = selects_;
        press(s.key);
        EXPECT_EQ(codes(), s.page);
        EXPECT_EQ(highlighted(), s.highlighted);
        EXPECT_EQ(selects_ - before, s.statements);
    }
    storage::setTrace({});
    close();
}

// A locate in an order without a thumb step (the names) reads its page and
// nothing before it: the fixed thumb knows the order's first row from the
// last read from the start. The thumb stands at the top only on that row.
TEST_F(BrowsePageTest, ALocateWithTheFixedThumbIsOneStatement) {
    addClubs(range(1, 23), [](int c) { return "Klub " + std::string(1, char('A' + c)); });
    ASSERT_TRUE(start(Options{}));
    auto thumb = [&] { return now(win_)->controls.at(List - 1).list()->thumb; };
    chooseTab(TabName);
    press(rt::key::Home);
    countStatements();
    struct Case {
        const char* typed;
        int found, thumb, statements;
    } cases[] = {{"klub k", 10, 50, 1}, {"Klub B", 1, 0, 1}, {"klub m", 12, 50, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const int before = selects_;
        send(win_, rt::Input{rt::Input::Kind::Focus, NameEntry});
        rt::Input text{rt::Input::Kind::Text, NameEntry};
        text.text = c.typed;
        send(win_, text);
        press(rt::key::Enter);
        EXPECT_EQ(highlighted(), c.found);
        EXPECT_EQ(thumb(), c.thumb);
        EXPECT_EQ(selects_ - before, c.statements);
    }
    storage::setTrace({});
    close();
}

// Another station deletes the page's edge rows and stores new ones: the next
// page starts right after where the page ended, and shows the new rows.
TEST_F(BrowsePageTest, PagingContinuesPastEdgeRowsDeletedMeanwhile) {
    std::vector<int> odd;
    for (int c = 1; c <= 29; c += 2) odd.push_back(c);
    addClubs(odd);
    ASSERT_TRUE(start(Options{}));
    ASSERT_EQ(codes(), (std::vector<int>{1, 3, 5, 7, 9}));
    removeClub(9);  // the last row of the page
    addClubs({4, 10});
    press(PageDown);
    EXPECT_EQ(codes(), (std::vector<int>{10, 11, 13, 15, 17}));
    EXPECT_EQ(highlighted(), 10);
    removeClub(10);  // now the first row
    press(PageUp);
    EXPECT_EQ(codes(), (std::vector<int>{1, 3, 4, 5, 7}));
    EXPECT_EQ(highlighted(), 1);
    for (int i = 0; i < 4; ++i) press(Down);
    ASSERT_EQ(highlighted(), 7);
    // One row past the edge, the edge row gone as well.
    removeClub(7);
    press(Down);
    EXPECT_EQ(codes(), (std::vector<int>{3, 4, 5, 7, 11}));
    EXPECT_EQ(highlighted(), 11);
    close();
}

}  // namespace
}  // namespace browsetest
