// The selecting browse: opened with the select request it starts at the
// caller's code, hands the chosen row back in the record buffer, and puts
// the caller's buffer back exactly when nothing was chosen.
#include <cstring>

#include "tests/framework/browse_fixture.h"

namespace browsetest {
namespace {

class SelectTest : public BrowseTest {
  protected:
    // The caller's buffer: a club code and fields the list never shows.
    Options caller(int code) {
        Options o;
        o.before = [code] {
            PLA.P1_SIP = code;
            PLA.P1_NPD = "Upisani naziv";
            PLA.P1_EML = "pozivalac@example.org";
            PLA.P1_DAR = 72687;
        };
        o.after = [this](std::uint8_t) {
            std::lock_guard g(m_);
            after_.assign(reinterpret_cast<const char*>(&PLA),
                          reinterpret_cast<const char*>(&PLA) + sizeof PLA);
        };
        return o;
    }
    // Every field's bytes of a record image (padding between fields is not
    // part of the record).
    static std::vector<char> fieldBytes(const char* record) {
        std::vector<char> out;
        for (const rt::FieldDef& f : PLAND_Def.fields)
            out.insert(out.end(), record + f.offset, record + f.offset + rt::memorySize(f));
        return out;
    }
    // The buffer as the caller left it, on a fresh record.
    static std::vector<char> callerBuffer(int code) {
        PLAND_Record r;
        r.P1_SIP = code;
        r.P1_NPD = "Upisani naziv";
        r.P1_EML = "pozivalac@example.org";
        r.P1_DAR = 72687;
        return fieldBytes(reinterpret_cast<const char*>(&r));
    }
    PLAND_Record afterRecord() {
        std::lock_guard g(m_);
        PLAND_Record r;
        EXPECT_EQ(after_.size(), sizeof r);
        if (after_.size() == sizeof r) std::memcpy(&r, after_.data(), sizeof r);
        return r;
    }
    std::vector<char> afterBytes() {
        std::lock_guard g(m_);
        if (after_.size() != sizeof(PLAND_Record)) return after_;
        return fieldBytes(after_.data());
    }

    std::mutex m_;
    std::vector<char> after_;
};

// Clubs 5 and 9 (and more after them), code 7 asked for: the list opens on
// 9, on top of its page; closing without a choice restores the buffer byte
// for byte, whatever the list read and wherever it moved.
TEST_F(SelectTest, ClosingWithoutAChoicePutsTheBufferBackExactly) {
    addClubs({1, 5, 9, 10, 11, 12, 13, 14, 15});
    for (const bool viaButton : {false, true}) {
        SCOPED_TRACE(viaButton ? "Zatvori" : "the close box");
        ASSERT_TRUE(start(caller(7), ::Request::Select));
        EXPECT_EQ(highlighted(), 9);
        EXPECT_EQ(codes(), (std::vector<int>{9, 10, 11, 12, 13}));
        EXPECT_FALSE(hiddenOf(Select));
        EXPECT_TRUE(enabledOf(Select));
        EXPECT_TRUE(now(win_)->controls.at(Select - 1).isDefault);
        press(rt::key::PageDown);
        press(rt::key::Home);
        chooseTab(TabName);
        press(rt::key::Down);
        if (viaButton)
            click(win_, Close);
        else
            send(win_, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        EXPECT_EQ(response_.load(), ::Response::Cancelled);
        EXPECT_EQ(afterBytes(), callerBuffer(7));
    }
}

// "Izbor", a double-click or the menu's "&Select" hand a row back: the
// clicked one for the mouse; its listed fields, in either order; the
// e-mail, not listed, stays the caller's.
TEST_F(SelectTest, ChosenRowTravelsBackInTheBuffer) {
    addClubs({5, 9, 12}, [](int c) { return c == 12 ? "Alpinist" : "Klub " + std::to_string(c); });
    struct Case {
        const char* how;
        int row;  // the row clicked (double-click, menu)
        int chosen;
        const char* name;
    };
    for (const Case c : {Case{"Izbor", 0, 9, "Klub 9"}, Case{"double-click", 3, 12, "Alpinist"},
                         Case{"menu", 1, 5, "Klub 5"}, Case{"name order", 0, 12, "Alpinist"}}) {
        SCOPED_TRACE(c.how);
        ASSERT_TRUE(start(caller(7), ::Request::Select));
        ASSERT_EQ(codes(), (std::vector<int>{5, 9, 12}));  // too few after 9: filled above
        ASSERT_EQ(highlighted(), 9);
        const std::string how = c.how;
        if (how == "name order") {
            chooseTab(TabName);
            press(rt::key::Home);  // "Alpinist" first
            ASSERT_EQ(highlighted(), 12);
            click(win_, Select);
        } else if (how == "double-click") {
            send(win_, rt::Input{rt::Input::Kind::DoubleClick, List, c.row});
        } else if (how == "menu") {
            send(win_, rt::Input{rt::Input::Kind::RightClick, List, c.row});
            auto d = dialogs();
            ASSERT_EQ(d.size(), 1u);
            EXPECT_EQ(d[0].request.items, (std::vector<std::string>{"&Select"}));
            answer(d[0], rt::DialogAnswer{rt::ButtonOk, {}, 1});
        } else {
            click(win_, Select);
        }
        rt::joinAllThreads();
        EXPECT_EQ(response_.load(), ::Response::Completed);
        const PLAND_Record r = afterRecord();
        EXPECT_EQ(r.P1_SIP, c.chosen);
        EXPECT_EQ(r.P1_NPD.str(), c.name);
        EXPECT_EQ(r.P1_DAR, 0);  // listed: the chosen row's (none stored)
        EXPECT_EQ(r.P1_EML.str(), "pozivalac@example.org");  // not listed: untouched
    }
}

// The keys of a list with a form do nothing in a selecting list; an empty
// table gives a disabled "Izbor" and nothing to choose.
TEST_F(SelectTest, SelectingListOffersOnlyTheChoice) {
    ASSERT_TRUE(start(caller(3), ::Request::Select));
    EXPECT_TRUE(codes().empty());
    EXPECT_FALSE(enabledOf(Select));
    send(win_, rt::Input{rt::Input::Kind::DoubleClick, List, 1});
    press(rt::key::Enter);  // moves on; chooses nothing
    EXPECT_TRUE(dialogs().empty());
    close();
    EXPECT_EQ(response_.load(), ::Response::Cancelled);
    EXPECT_EQ(afterBytes(), callerBuffer(3));

    addClubs({2, 4});
    std::atomic<int> forms{0};
    Options o = caller(50);  // after the last code: the last row
    o.form = [&](int, std::uint8_t) {
        ++forms;
        return ::Response::Cancelled;
    };
    ASSERT_TRUE(start(o, ::Request::Select));
    EXPECT_EQ(highlighted(), 4);
    for (int k : {rt::key::Insert, rt::key::Delete, rt::key::CtrlEnter, rt::key::ShiftEnter})
        press(k);
    EXPECT_EQ(forms.load(), 0);
    EXPECT_TRUE(dialogs().empty());
    close();
    EXPECT_EQ(afterBytes(), callerBuffer(50));
}

// Opened without the select request the select control stays hidden and
// disabled, and the buffer is not put back.
TEST_F(SelectTest, WithoutTheSelectRequestTheSelectControlIsHidden) {
    addClubs({1, 2});
    ASSERT_TRUE(start(caller(2)));
    EXPECT_TRUE(hiddenOf(Select));
    EXPECT_FALSE(enabledOf(Select));
    EXPECT_EQ(highlighted(), 1);  // from the first row, whatever the buffer held
    close();
    EXPECT_EQ(afterRecord().P1_SIP, 1);  // the buffer follows the highlight
}

}  // namespace
}  // namespace browsetest
