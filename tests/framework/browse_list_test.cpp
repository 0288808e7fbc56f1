// The browse of a list window over the club file: pages, scrolling beyond
// them, the orders by tab, locators, the buttons, keys and menu, and the
// read-again after the form.
#include <cstdio>
#include <cstdlib>

#include "tests/framework/browse_fixture.h"

namespace browsetest {
namespace {

using rt::key::Down;
using rt::key::End;
using rt::key::Home;
using rt::key::PageDown;
using rt::key::PageUp;
using rt::key::Up;

// Pages of five over 23 clubs: moving past the page reads the next rows,
// and the record buffer follows the highlight.
TEST_F(BrowseTest, PagesFollowTheHighlightBeyondTheLoadedPage) {
    addClubs(range(1, 23));
    std::atomic<int> bufferAtChange{-1};
    Options o;
    o.form = [&](int, std::uint8_t) {
        bufferAtChange = PLA.P1_SIP;
        return ::Response::Cancelled;
    };
    ASSERT_TRUE(start(o));
    EXPECT_EQ(codes(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(highlighted(), 1);

    struct Step {
        int key;
        std::vector<int> page;
        int highlighted;
    };
    const Step steps[] = {
        {Down, {1, 2, 3, 4, 5}, 2},
        {Down, {1, 2, 3, 4, 5}, 3},
        {Down, {1, 2, 3, 4, 5}, 4},
        {Down, {1, 2, 3, 4, 5}, 5},
        {Down, {2, 3, 4, 5, 6}, 6},         // one row read past the page
        {PageDown, {7, 8, 9, 10, 11}, 11},  // the same line of the next page
        {Up, {7, 8, 9, 10, 11}, 10},
        {PageUp, {2, 3, 4, 5, 6}, 5},
        {End, {19, 20, 21, 22, 23}, 23},
        {PageDown, {19, 20, 21, 22, 23}, 23},  // nothing after the last page
        {Down, {19, 20, 21, 22, 23}, 23},
        {PageUp, {14, 15, 16, 17, 18}, 18},
        {PageUp, {9, 10, 11, 12, 13}, 13},
        {PageUp, {4, 5, 6, 7, 8}, 8},
        {PageUp, {1, 2, 3, 4, 5}, 5},  // a short page at the start keeps a full list
        {Home, {1, 2, 3, 4, 5}, 1},
        {Up, {1, 2, 3, 4, 5}, 1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(rt::keyName(s.key) + " to " + std::to_string(s.highlighted));
        press(s.key);
        EXPECT_EQ(codes(), s.page);
        EXPECT_EQ(highlighted(), s.highlighted);
    }
    // The buffer holds the highlighted row when a button acts.
    press(PageDown);
    press(Down);
    ASSERT_EQ(highlighted(), 7);
    click(win_, Change);
    EXPECT_EQ(bufferAtChange.load(), 7);
    close();
}

using storagetest::unboundedBecause;

// A page read is one bounded statement served by an index: no scan of the
// table, no sort, no OFFSET, whatever the order; and it asks for no more
// rows than a page (and the one it continues from).
TEST_F(BrowseTest, PageReadsSeekByKeyAndNeverScanTheTable) {
    addClubs(range(1, 3000), [](int c) { return "Klub " + std::to_string(7919 * c % 3001); });
    struct Statement {
        std::string sql;
        std::vector<std::string> values;
    };
    std::mutex m;
    std::vector<Statement> statements;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>& values) {
        std::lock_guard g(m);
        if (sql.rfind("SELECT", 0) == 0) statements.push_back({sql, values});
    });
    auto issued = [&] {
        std::lock_guard g(m);
        return statements.size();
    };
    Options o;
    ASSERT_TRUE(start(o));
    std::size_t most = 0;
    auto act = [&](int k) {
        const std::size_t before = issued();
        press(k);
        most = std::max(most, issued() - before);
    };
    for (int k : {PageDown, PageDown, Down, End, PageUp, Up}) act(k);
    chooseTab(TabName);
    for (int k : {PageDown, Down, End, PageUp, Home}) act(k);
    send(win_, rt::Input{rt::Input::Kind::Key, 0, 0, 'k'});  // into the name locator
    type(win_, NameEntry, "klub 15");
    act(rt::key::Enter);
    close();
    storage::setTrace({});
    EXPECT_LE(most, 4u) << "statements for one move of the user";

    std::vector<Statement> all;
    {
        std::lock_guard g(m);
        all = statements;
    }
    ASSERT_GT(all.size(), 10u);
    storagetest::RawDb raw("Clanovi.sqlite");
    // The check itself tells a sorting read from a seeking one.
    EXPECT_NE(unboundedBecause(raw,
                               "SELECT t0.P1_SIP FROM PLAND t0 WHERE t0.P1_NPD >= ? "
                               "ORDER BY t0.P1_NPD, t0.P1_SIP LIMIT ?"),
              "");
    EXPECT_NE(unboundedBecause(raw, "SELECT t0.P1_SIP FROM PLAND t0 ORDER BY t0.P1_SIP"), "");
    for (const Statement& st : all) {
        if (st.sql.find("FROM PLAND") == std::string::npos) continue;
        SCOPED_TRACE(st.sql);
        if (std::getenv("BROWSE_DUMP")) std::printf("%s\n", st.sql.c_str());
        EXPECT_EQ(unboundedBecause(raw, st.sql), "");
        if (st.sql.find("LIMIT ?") != std::string::npos) {
            ASSERT_FALSE(st.values.empty());
            EXPECT_LE(std::stoi(st.values.back()), 6);  // a page of five and one more
        }
    }
}

// Switching the tab re-sorts the list and keeps the highlighted club; the
// names' order is the name key's.
TEST_F(BrowseTest, TabSwitchReordersAndKeepsTheHighlightedRow) {
    const char* clubNames[] = {"",         "Orlovac", "bjelasica", "Zelengora", "Kozara",
                               "Durmitor", "Prenj",   "Lovćen",    "Jahorina",  "Cvrsnica"};
    addClubs(range(1, 9), [&](int c) { return rt::fromUtf8(clubNames[c]).value(); });
    Options o;
    ASSERT_TRUE(start(o));
    press(Down);
    press(Down);
    press(Down);
    ASSERT_EQ(highlighted(), 4);  // Kozara
    chooseTab(TabName);
    EXPECT_EQ(highlighted(), 4);
    EXPECT_EQ(names().front(), "Kozara");  // the highlighted row on top, rows follow it
    press(Home);
    EXPECT_EQ(names(), (std::vector<std::string>{"bjelasica", "Cvrsnica", "Durmitor", "Jahorina",
                                                 "Kozara"}));
    press(Down);
    ASSERT_EQ(highlighted(), 9);  // Cvrsnica
    chooseTab(TabCode);
    EXPECT_EQ(highlighted(), 9);
    EXPECT_EQ(codes(), (std::vector<int>{5, 6, 7, 8, 9}));  // too few after it: filled above
    close();
}

// With RetainRow on, a re-read keeps the highlighted row on its line of the
// list, as far as the rows around it allow.
TEST_F(BrowseTest, RetainRowKeepsTheHighlightedLine) {
    addClubs(range(1, 9), [](int c) { return std::string(1, static_cast<char>('J' - c)); });
    Options o;
    o.retainRow = true;
    ASSERT_TRUE(start(o));
    for (int i = 0; i < 4; ++i) press(Down);
    ASSERT_EQ(highlighted(), 5);  // named "E", on line 5
    chooseTab(TabName);           // names I (1) ... A (9): E is the fifth
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(highlighted(), 5);
    for (int i = 0; i < 3; ++i) press(Up);
    ASSERT_EQ(highlighted(), 8);  // "B", line 2
    chooseTab(TabCode);
    EXPECT_EQ(codes(), (std::vector<int>{5, 6, 7, 8, 9}));  // too little after 9 for line 2
    EXPECT_EQ(highlighted(), 8);
    press(Up);
    press(Up);
    press(Up);
    ASSERT_EQ(highlighted(), 5);  // line 1
    chooseTab(TabName);           // E: on line 1, the rows after it follow
    EXPECT_EQ(names(), (std::vector<std::string>{"E", "F", "G", "H", "I"}));
    close();
}

// A taller window stretches the list; the page grows to fill it, around the
// same place; a shorter one shows fewer rows.
TEST_F(BrowseTest, ResizedListFillsItsNewHeight) {
    addClubs(range(1, 30));
    ASSERT_TRUE(start(Options{}));
    press(PageDown);
    ASSERT_EQ(codes(), (std::vector<int>{6, 7, 8, 9, 10}));
    auto resize = [&](int h) {
        rt::Input in{rt::Input::Kind::Placement};
        in.at = {0, 0, 442, h};
        send(win_, in);
    };
    resize(229 + 40);  // 40 units taller: four more rows
    EXPECT_EQ(codes(), (std::vector<int>{6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(highlighted(), 6);
    press(PageDown);
    EXPECT_EQ(codes().front(), 15);
    close();
}

// A reset field: a window reset that is not forced reads the list again
// only because the field changed since the last read (here the range's
// bound); the same reset with nothing changed reads nothing.
TEST_F(BrowseTest, ResetFieldChangeMakesAResetReadAgain) {
    addClubs(range(1, 9));
    Options o;
    o.floorRange = true;
    std::mutex m;
    std::size_t selects = 0;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
        std::lock_guard g(m);
        if (sql.rfind("SELECT", 0) == 0) ++selects;
    });
    auto issued = [&] {
        std::lock_guard g(m);
        return selects;
    };
    ASSERT_TRUE(start(o));
    ASSERT_EQ(codes(), (std::vector<int>{1, 2, 3, 4, 5}));
    click(win_, Floor);
    EXPECT_EQ(codes(), (std::vector<int>{5, 6, 7, 8, 9}));
    EXPECT_EQ(highlighted(), 5);  // the old row is outside: the next one that passes
    const std::size_t before = issued();
    click(win_, Floor);  // the same bound: nothing to read
    EXPECT_EQ(issued(), before);
    EXPECT_EQ(codes(), (std::vector<int>{5, 6, 7, 8, 9}));
    close();
}

// Rows are formatted once and shown again as they are, but a column whose
// picture changes shows every row anew, without reading the list again.
TEST_F(BrowseTest, ChangedColumnPictureReformatsTheRowsShown) {
    addClubs(range(1, 5), [](int code) { return "Planinarski klub " + std::to_string(code); });
    Options o;
    o.floorPressed = [](rt::Window& w) { w.control(List).columns[1].picture = "@s11"; };
    std::mutex m;
    std::size_t selects = 0;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
        std::lock_guard g(m);
        if (sql.rfind("SELECT", 0) == 0) ++selects;
    });
    ASSERT_TRUE(start(o));
    press(Down);  // a redraw of the same rows
    EXPECT_EQ(names().front(), "Planinarski klub 1");
    std::size_t before;
    {
        std::lock_guard g(m);
        before = selects;
    }
    click(win_, Floor);
    EXPECT_EQ(names(), std::vector<std::string>(5, "Planinarski"));
    EXPECT_EQ(codes(), (std::vector<int>{1, 2, 3, 4, 5}));
    {
        std::lock_guard g(m);
        EXPECT_EQ(selects, before);
    }
    close();
}

// Entry locators: a key typed in the list goes into the current tab's entry;
// accepting it finds the first row at or after the value, case ignored.
TEST_F(BrowseTest, EntryLocatorFindsTheFirstRowAtOrAfterTheValue) {
    addClubs({1, 3, 5, 9, 11, 12, 14, 20, 25},
             [](int c) { return std::string(c % 2 ? "PLANINAR " : "Gora ") + std::to_string(c); });
    Options o;
    ASSERT_TRUE(start(o));
    // "12" typed in the list fills the code entry; Enter locates.
    send(win_, rt::Input{rt::Input::Kind::Key, 0, 0, '1'});
    EXPECT_EQ(focusOf(now(win_)), CodeEntry);
    EXPECT_EQ(textOf(now(win_), CodeEntry), "1");
    press('2');
    EXPECT_EQ(textOf(now(win_), CodeEntry), "12");
    press(rt::key::Enter);
    EXPECT_EQ(highlighted(), 12);
    EXPECT_EQ(focusOf(now(win_)), List);
    // A missing code: the next higher one.
    press('1');
    press('3');
    press(rt::key::Enter);
    EXPECT_EQ(highlighted(), 14);
    // Past the last code: the last row.
    press('9');
    press('9');
    press(rt::key::Enter);
    EXPECT_EQ(highlighted(), 25);

    chooseTab(TabName);
    struct Case {
        const char* typed;
        int found;
    };
    for (const Case c : {Case{"planinar 2", 25}, Case{"PLANINAR 2", 25}, Case{"gora", 12},
                         Case{"planinar 10", 11}, Case{"g", 12}, Case{"a", 12}}) {
        SCOPED_TRACE(c.typed);
        send(win_, rt::Input{rt::Input::Kind::Key, 0, 0, static_cast<int>(c.typed[0])});
        ASSERT_EQ(focusOf(now(win_)), NameEntry);
        type(win_, NameEntry, c.typed);
        press(rt::key::Enter);
        EXPECT_EQ(highlighted(), c.found);
    }
    close();
}

// A located value that many rows share, near the end of the order: the rows
// before it fill the page above it, as many as the page has room for.
TEST_F(BrowseTest, LocatedDuplicatesNearTheEndFillThePageFromAbove) {
    addClubs({1, 2, 3, 4, 5, 6, 7}, [](int c) { return c <= 4 ? "Alpe" : "Maglic"; });
    Options o;  // five rows a page
    ASSERT_TRUE(start(o));
    chooseTab(TabName);
    send(win_, rt::Input{rt::Input::Kind::Key, 0, 0, 'm'});
    type(win_, NameEntry, "maglic");
    press(rt::key::Enter);
    EXPECT_EQ(codes(), (std::vector<int>{3, 4, 5, 6, 7}));
    EXPECT_EQ(highlighted(), 5);
    close();
}

// Step locators: one row down, then to the first code at or after the
// character when the row's code does not begin with it.
TEST_F(BrowseTest, StepLocatorStepsThroughCodesBeginningWithTheKey) {
    addClubs(range(1, 12));
    Options o;
    o.entryLocators = false;
    o.twoOrders = false;
    o.listHeight = 140;  // every row on one page
    ASSERT_TRUE(start(o));
    for (int i = 0; i < 8; ++i) press(Down);
    ASSERT_EQ(highlighted(), 9);
    struct Step {
        int key;
        int highlighted;
    };
    for (const Step s : {Step{'1', 10}, Step{'1', 11}, Step{'1', 12}, Step{'3', 3}, Step{'3', 3},
                         Step{'9', 9}, Step{'x', 9}, Step{'1', 10}}) {
        SCOPED_TRACE(std::string(1, static_cast<char>(s.key)));
        press(s.key);
        EXPECT_EQ(highlighted(), s.highlighted);
    }
    close();
}

// An empty table: change and delete wait for rows; insert primes the next
// code and the completed form's row is the one row, highlighted.
TEST_F(BrowseTest, EmptyTableEnablesOnlyInsertUntilARowIsStored) {
    std::atomic<int> primed{-1}, requests{0};
    Options o;
    o.form = [&](int number, std::uint8_t request) -> std::uint8_t {
        ++requests;
        EXPECT_EQ(number, 1);
        if (request != ::Request::Insert) return ::Response::Cancelled;
        primed = PLA.P1_SIP;
        PLA.P1_NPD = "Novi klub";
        return Access::PLAND->Insert() == Level::Benign ? ::Response::Completed
                                                        : ::Response::Cancelled;
    };
    ASSERT_TRUE(start(o));
    EXPECT_TRUE(codes().empty());
    EXPECT_TRUE(enabledOf(Insert));
    EXPECT_FALSE(enabledOf(Change));
    EXPECT_FALSE(enabledOf(Delete));
    press(rt::key::Delete);  // disabled: nothing
    press(rt::key::CtrlEnter);
    EXPECT_EQ(requests.load(), 0);
    press(rt::key::Insert);
    EXPECT_EQ(primed.load(), 1);
    EXPECT_EQ(codes(), (std::vector<int>{1}));
    EXPECT_EQ(highlighted(), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"Novi klub"}));
    EXPECT_TRUE(enabledOf(Change));
    EXPECT_TRUE(enabledOf(Delete));
    EXPECT_EQ(focusOf(now(win_)), List);
    close();
}

// The highlighted row deleted by another thread: "Record Retrieval Error",
// no form, and the list read again without it.
TEST_F(BrowseTest, ChangingARowDeletedMeanwhileGivesRecordRetrievalError) {
    addClubs(range(1, 6));
    std::atomic<int> forms{0};
    Options o;
    o.form = [&](int, std::uint8_t) {
        ++forms;
        return ::Response::Cancelled;
    };
    ASSERT_TRUE(start(o));
    press(Down);
    press(Down);
    ASSERT_EQ(highlighted(), 3);
    removeClub(3);
    click(win_, Change);
    auto d = dialogs();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].request.message.title, "Record Retrieval Error");
    EXPECT_EQ(d[0].request.message.text,
              "This record was changed or deleted by another station.\n"
              "Error: (Record Not Available (33)) attempting to access a record from the PLAND "
              "file.");
    answer(d[0], rt::DialogAnswer{rt::ButtonOk});
    EXPECT_EQ(forms.load(), 0);
    EXPECT_EQ(codes(), (std::vector<int>{1, 2, 4, 5, 6}));
    EXPECT_EQ(highlighted(), 4);  // the row after the vanished one
    // The row still there goes to the form with the whole row in the buffer.
    std::atomic<int> email{0};
    opts_.form = [&](int, std::uint8_t request) {
        ++forms;
        email = PLA.P1_EML == std::string_view("klub4@example.org");
        EXPECT_EQ(request, ::Request::Change);
        return ::Response::Cancelled;
    };
    click(win_, Change);
    EXPECT_EQ(forms.load(), 1);
    EXPECT_EQ(email.load(), 1);
    close();
}

// Keys, double-click and the right-click menu press the buttons; with
// EditViaPopup off only the buttons and the double-click remain.
TEST_F(BrowseTest, KeysMouseAndMenuPressTheButtons) {
    addClubs(range(1, 3));
    for (const bool popup : {true, false}) {
        SCOPED_TRACE(popup ? "EditViaPopup on" : "EditViaPopup off");
        std::mutex m;
        std::vector<int> asked;
        Options o;
        o.editViaPopup = popup;
        o.form = [&](int, std::uint8_t request) {
            std::lock_guard g(m);
            asked.push_back(request);
            // A primed insert is removed again, as a form leaving without OK does.
            if (request == ::Request::Insert) Relate::PLAND->CancelAutoInc();
            return ::Response::Cancelled;
        };
        ASSERT_TRUE(start(o));
        press(rt::key::Insert);
        press(rt::key::CtrlEnter);
        press(rt::key::Delete);
        send(win_, rt::Input{rt::Input::Kind::DoubleClick, List, 1});
        send(win_, rt::Input{rt::Input::Kind::RightClick, List, 1});
        auto d = dialogs();
        if (popup) {
            ASSERT_EQ(d.size(), 1u);
            EXPECT_EQ(d[0].request.items,
                      (std::vector<std::string>{"&Insert", "&Change", "&Delete"}));
            answer(d[0], rt::DialogAnswer{rt::ButtonOk, {}, 3});
        } else {
            EXPECT_TRUE(d.empty());
        }
        close();
        std::lock_guard g(m);
        if (popup)
            EXPECT_EQ(asked, (std::vector<int>{1, 2, 3, 2, 3}));
        else
            EXPECT_EQ(asked, (std::vector<int>{2}));
    }
}

// After the form: a completed change highlights the changed row where its
// new key puts it; a completed delete highlights the row after it.
TEST_F(BrowseTest, ListIsReadAgainAfterTheForm) {
    addClubs(range(1, 8));
    Options o;
    o.form = [&](int, std::uint8_t request) -> std::uint8_t {
        if (request == ::Request::Change) {
            PLA.P1_SIP = 40;  // the club's code changed: the row moves
            return Relate::PLAND->Update() == Level::Benign ? ::Response::Completed
                                                            : ::Response::Cancelled;
        }
        if (request == ::Request::Delete)
            return Relate::PLAND->Delete(false) == Level::Benign ? ::Response::Completed
                                                                 : ::Response::Cancelled;
        return ::Response::Cancelled;
    };
    ASSERT_TRUE(start(o));
    press(Down);
    ASSERT_EQ(highlighted(), 2);
    click(win_, Change);
    EXPECT_EQ(highlighted(), 40);
    EXPECT_EQ(codes(), (std::vector<int>{5, 6, 7, 8, 40}));
    press(Home);
    press(Down);
    ASSERT_EQ(highlighted(), 3);
    click(win_, Delete);
    EXPECT_EQ(highlighted(), 4);
    EXPECT_EQ(codes(), (std::vector<int>{4, 5, 6, 7, 8}));
    press(End);
    ASSERT_EQ(highlighted(), 40);
    click(win_, Delete);
    EXPECT_EQ(highlighted(), 8);  // the last row deleted: the one before it
    EXPECT_EQ(codes(), (std::vector<int>{4, 5, 6, 7, 8}));
    close();
}

}  // namespace
}  // namespace browsetest
