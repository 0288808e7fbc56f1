// Which child window is active, as the window layer alone decides it: a new
// window, the pointer on a window, never a key; the status bar follows the
// active window; input that changes nothing draws nothing anew.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"

using namespace windowtest;
using rt::Event;

namespace {

// Counts the views each window was shown, as a display that redraws would.
struct CountingBackend : rt::Backend {
    void show(rt::ViewPtr v) override {
        std::lock_guard g(m);
        ++shown[v->id];
    }
    void closed(int) override {}
    void dialog(int, const rt::DialogRequest&) override {}
    void dialogClosed(int) override {}
    void beep() override {}
    void status(int, const std::string&) override {}
    int views(int window) {
        std::lock_guard g(m);
        return shown[window];
    }
    std::mutex m;
    std::map<int, int> shown;
};

class ActiveWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
    }
    void TearDown() override {
        for (int id : {a_, b_, frame_})
            if (id && rt::view(id)) rt::input(id, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }
    // A window on a thread of its own with two entries, whose messages are
    // "<title> 1" and "<title> 2"; it counts its lose-focus events.
    int open(const std::string& title, rt::WindowKind kind = rt::WindowKind::Child) {
        rt::startProcedure([this, title, kind] {
            rt::WindowDesc d;
            d.kind = kind;
            d.title = title;
            d.at = {10, 10, 200, 100};
            d.positioned = true;
            d.resizable = true;
            rt::Window w(d);
            std::int32_t x = 0, y = 0;
            if (kind == rt::WindowKind::Frame) {
                rt::Control menu;
                menu.kind = rt::ControlKind::Menu;
                menu.text = "Servis";
                w.add(menu);
                rt::Control item;
                item.kind = rt::ControlKind::Item;
                item.text = "Izlaz";
                item.msg = "Exit this application";
                item.parent = 1;
                w.add(item);
            } else {
                rt::Control e1 = entry("?X", rt::bind(x), "@n_3");
                e1.msg = title + " 1";
                w.add(e1);
                rt::Control e2 = entry("?Y", rt::bind(y), "@n_3");
                e2.msg = title + " 2";
                w.add(e2);
            }
            w.open();
            if (kind == rt::WindowKind::Child) w.select(1);
            while (w.accept())
                if (w.event() == Event::LoseFocus) ++lost_;
        });
        auto v = waitWindow(title);
        EXPECT_TRUE(v) << title << " did not open";
        return v ? v->id : 0;
    }

    CountingBackend backend_;
    std::atomic<int> lost_{0};
    int a_ = 0, b_ = 0, frame_ = 0;
};

TEST_F(ActiveWindowTest, NewWindowAndPointerActivateKeysDoNot) {
    a_ = open("A");
    EXPECT_EQ(rt::activeWindow(), a_);
    b_ = open("B");
    EXPECT_EQ(rt::activeWindow(), b_) << "a new window is the active one";
    EXPECT_EQ(lost_.load(), 1);
    EXPECT_FALSE(now(a_)->active);
    EXPECT_TRUE(now(b_)->active);

    // A key that reaches A while B is active (the display lagging behind)
    // is A's to handle, but B stays active.
    key(a_, rt::key::Tab);
    EXPECT_EQ(rt::activeWindow(), b_);
    EXPECT_EQ(focusOf(now(a_)), 2);

    // A press on A's frame, or a click on its surface, makes A active, and
    // the views say so.
    send(a_, rt::Input{rt::Input::Kind::Activate});
    EXPECT_EQ(rt::activeWindow(), a_);
    EXPECT_TRUE(now(a_)->active);
    EXPECT_FALSE(now(b_)->active);
    click(b_, 0);
    EXPECT_EQ(rt::activeWindow(), b_);
    EXPECT_EQ(lost_.load(), 3);

    // Closing the active window gives it back to the one active before.
    send(b_, rt::Input{rt::Input::Kind::Close});
    b_ = 0;
    EXPECT_EQ(rt::activeWindow(), a_);
    EXPECT_TRUE(now(a_)->active);
}

TEST_F(ActiveWindowTest, StatusBarShowsTheActiveWindowsMessage) {
    frame_ = open("Frame", rt::WindowKind::Frame);
    a_ = open("A");
    EXPECT_EQ(rt::statusText(1), "A 1");
    b_ = open("B");
    EXPECT_EQ(rt::statusText(1), "B 1");
    // A window that is not active moves its focus: the bar keeps B's.
    key(a_, rt::key::Tab);
    EXPECT_EQ(rt::statusText(1), "B 1");
    click(a_, 0);
    EXPECT_EQ(rt::statusText(1), "A 2");
    // A menu's help while it is open, the active window's message after.
    send(frame_, rt::Input{rt::Input::Kind::MenuHover, 2});
    EXPECT_EQ(rt::statusText(1), "Exit this application");
    send(frame_, rt::Input{rt::Input::Kind::MenuHover, 0});
    EXPECT_EQ(rt::statusText(1), "A 2");
    send(a_, rt::Input{rt::Input::Kind::Close});
    a_ = 0;
    EXPECT_EQ(rt::statusText(1), "B 1");
    send(b_, rt::Input{rt::Input::Kind::Close});
    b_ = 0;
    EXPECT_EQ(rt::statusText(1), "") << "no window left to speak of";
}

// A display reports the placement and activation it was told to show; the
// window must not answer that with a new view, or the two redraw each other
// for ever.
TEST_F(ActiveWindowTest, InputThatChangesNothingDrawsNothing) {
    a_ = open("A");
    b_ = open("B");
    idle();
    const rt::ViewPtr v = rt::view(b_);
    const int before = backend_.views(b_);
    rt::Input same{rt::Input::Kind::Placement};
    same.at = v->at;
    same.maximized = v->maximized;
    same.minimized = v->minimized;
    send(b_, same);
    send(b_, rt::Input{rt::Input::Kind::Activate});
    EXPECT_EQ(backend_.views(b_), before);
    EXPECT_EQ(rt::view(b_)->serial, v->serial);

    rt::Input moved = same;
    moved.at.x += 5;
    send(b_, moved);
    EXPECT_GT(backend_.views(b_), before);
    EXPECT_EQ(rt::view(b_)->at.x, v->at.x + 5);
}

}  // namespace

// Ctrl+F6 goes round the children in the order they opened (Ctrl+Shift+F6
// back); a window waiting on its message box is one of them, a window
// waiting on another it opened on its thread is not: that one stands in its
// place.
TEST_F(ActiveWindowTest, CtrlF6GoesRoundTheWindowsThatTakeInput) {
    // A asks a question on F2; B opens a window of its own on its thread on F3.
    auto procedure = [](const std::string& title) {
        return [title] {
            rt::WindowDesc d;
            d.title = title;
            d.at = {10, 10, 200, 100};
            rt::Window w(d);
            std::int32_t x = 0;
            w.add(entry("?X", rt::bind(x), "@n_3"));
            w.alert(rt::key::F1 + 1);
            w.alert(rt::key::F1 + 2);
            w.open();
            while (w.accept()) {
                if (w.event() != Event::AlertKey) continue;
                if (w.keyCode() == rt::key::F1 + 1) {
                    rt::MessageRequest m;
                    m.text = "?";
                    m.buttons = rt::ButtonYes | rt::ButtonNo;
                    rt::showMessage(m);
                } else if (w.keyCode() == rt::key::F1 + 2) {
                    rt::WindowDesc n;
                    n.title = title + " inner";
                    n.at = {20, 20, 100, 50};
                    rt::Window inner(n);
                    inner.open();
                    while (inner.accept()) {
                    }
                }
            }
        };
    };
    rt::startProcedure(procedure("A"));
    a_ = waitWindow("A")->id;
    rt::startProcedure(procedure("B"));
    b_ = waitWindow("B")->id;
    const int c = open("C");
    key(c, rt::key::CtrlF6);
    EXPECT_EQ(rt::activeWindow(), a_) << "round the end";
    key(a_, rt::key::CtrlShiftF6);
    EXPECT_EQ(rt::activeWindow(), c);
    key(c, rt::key::CtrlShiftF6);
    EXPECT_EQ(rt::activeWindow(), b_);
    EXPECT_TRUE(now(b_)->active);
    EXPECT_FALSE(now(c)->active);

    // A waits on its box: still in the round, the box has its keys.
    click(a_, 0);
    key(a_, rt::key::F1 + 1);
    ASSERT_EQ(rt::openDialogs().size(), 1u);
    click(c, 0);
    key(c, rt::key::CtrlF6);
    EXPECT_EQ(rt::activeWindow(), a_);
    key(a_, rt::key::CtrlF6);  // a window in its dialog takes no keys
    EXPECT_EQ(rt::activeWindow(), a_);
    rt::answerDialog(rt::openDialogs().at(0).id, rt::DialogAnswer{});
    idle();

    // B waits on its inner window, which stands in its place.
    click(b_, 0);
    key(b_, rt::key::F1 + 2);
    const int inner = waitWindow("B inner")->id;
    EXPECT_EQ(rt::activeWindow(), inner);
    key(inner, rt::key::CtrlF6);
    EXPECT_EQ(rt::activeWindow(), c);
    key(c, rt::key::CtrlShiftF6);
    EXPECT_EQ(rt::activeWindow(), inner);
    key(inner, rt::key::CtrlShiftF6);
    EXPECT_EQ(rt::activeWindow(), a_);
    key(a_, rt::key::CtrlF6);
    EXPECT_EQ(rt::activeWindow(), inner);
    send(inner, rt::Input{rt::Input::Kind::Close});
    EXPECT_EQ(rt::activeWindow(), b_) << "the window that opened it";
    send(c, rt::Input{rt::Input::Kind::Close});
}
