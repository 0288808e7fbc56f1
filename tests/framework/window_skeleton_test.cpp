// The window procedure skeleton: Init, Ask and Kill with the request values,
// files, INI state and the Enter-as-Tab table, driven as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "framework/globals.h"
#include "framework/window_procedure.h"
#include "runtime/clock.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

using namespace windowtest;
using rt::ControlKind;
using rt::Event;

namespace {

class SkeletonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
        INIMgr().Init(".\\Sutrik.INI", 0, 0);
    }
    void TearDown() override {
        rt::joinAllThreads();
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }
    testsupport::TempDir dir_;
    windowtest::NullBackend backend_;
};

rt::WindowDesc desc(const char* title, bool resizable = false) {
    rt::WindowDesc d;
    d.title = title;
    d.at = {10, 20, 200, 100};
    d.positioned = true;
    d.resizable = resizable;
    return d;
}

// A procedure of the skeleton whose inherited Init can be made to fail, and
// whose files are counted.
class Probe : public WindowProcedure {
  public:
    Probe(rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb, bool failBase)
        : WindowProcedure("ProbeProc", w, ebt, &tb), failBase_(failBase) {
        AddFile([this] { ++opened; }, [this] { ++closed; });
    }
    int opened = 0, closed = 0;
    int okButton = 0;

  protected:
    Level InitBase() override {
        const Level l = WindowProcedure::InitBase();
        return failBase_ ? Level::Fatal : l;
    }
    void RegisterButtons() override {
        if (okButton) AddItem(okButton, ::Response::Completed);
    }

  private:
    bool failBase_;
};

struct Outcome {
    std::atomic<int> response{-1}, opened{0}, closed{0};
    std::atomic<bool> namesEmpty{false};
};

void runProbe(Outcome& out, bool failBase, bool withOk) {
    rt::startProcedure([&out, failBase, withOk] {
        EnterByTabClass ebt;
        rt::Window w(desc("Probe"));
        const int ok = w.add(button("?OK", "OK"));
        ToolbarClass tb;
        Probe p(w, ebt, tb, failBase);
        if (withOk) p.okButton = ok;
        GlobalResponse = p.Run();
        out.response = GlobalResponse;
        out.opened = p.opened;
        out.closed = p.closed;
        out.namesEmpty = GlobalErrors().ProcedureNames().empty();
    });
}

TEST_F(SkeletonTest, InitThatStopsAtTheInheritedStepLeavesNothingBehind) {
    Outcome out;
    runProbe(out, true, false);
    rt::joinAllThreads();
    EXPECT_EQ(out.response, ::Response::Cancelled);
    EXPECT_EQ(out.opened, 0);
    EXPECT_EQ(out.closed, 0);
    EXPECT_TRUE(out.namesEmpty);  // the name pushed in Init is popped again
    EXPECT_FALSE(INIMgr().TryFetch("ProbeProc", "Maximize"));
    EXPECT_TRUE(rt::views().empty());
}

TEST_F(SkeletonTest, ClosedWindowReturnsCancelledUnlessARegisteredButtonEndedIt) {
    struct Case {
        bool withOk;
        bool pressOk;
        int response;
    };
    for (const Case c :
         {Case{false, false, ::Response::Cancelled}, Case{true, false, ::Response::Cancelled},
          Case{true, true, ::Response::Completed}}) {
        SCOPED_TRACE(testing::Message() << c.withOk << c.pressOk);
        Outcome out;
        runProbe(out, false, c.withOk);
        auto v = waitWindow("Probe");
        ASSERT_TRUE(v);
        if (c.pressOk)
            click(v->id, 1);
        else
            send(v->id, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        EXPECT_EQ(out.response, c.response);
        EXPECT_EQ(out.opened, 1);
        EXPECT_EQ(out.closed, 1);
        // the window's state is stored on the way out
        EXPECT_EQ(INIMgr().TryFetch("ProbeProc", "Maximize").value_or("-"), "No");
        EXPECT_EQ(INIMgr().TryFetch("ProbeProc", "XPos").value_or("-"), "10");
        EXPECT_FALSE(INIMgr().TryFetch("ProbeProc", "Width"));  // not resizable
    }
}

TEST_F(SkeletonTest, StoredStateIsAppliedWhenTheWindowOpens) {
    struct Case {
        const char* maximize;
        bool resizable;
        bool maximized;
        rt::Rect at;
    };
    const Case cases[] = {
        {"No", true, false, {30, 40, 250, 150}},
        {"No", false, false, {30, 40, 200, 100}},  // size only for a resizable window
        {"Yes", true, true, {30, 40, 250, 150}},
        {"Perhaps", true, false, {10, 20, 200, 100}},  // nothing applied
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.maximize) + (c.resizable ? " resizable" : ""));
        INIMgr().Update("StateProc", "Maximize", c.maximize);
        INIMgr().Update("StateProc", "XPos", "30");
        INIMgr().Update("StateProc", "YPos", "40");
        INIMgr().Update("StateProc", "Width", "250");
        INIMgr().Update("StateProc", "Height", "150");
        const bool resizable = c.resizable;
        rt::startProcedure([resizable] {
            EnterByTabClass ebt;
            rt::Window w(desc("State", resizable));
            ToolbarClass tb;
            WindowProcedure p("StateProc", w, ebt, &tb);
            GlobalResponse = p.Run();
        });
        auto v = waitWindow("State");
        ASSERT_TRUE(v);
        EXPECT_EQ(v->maximized, c.maximized);
        EXPECT_EQ(v->at, c.at);
        send(v->id, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        // stored back: a maximized window keeps no position or size
        EXPECT_EQ(INIMgr().TryFetch("StateProc", "Maximize").value_or("-"),
                  c.maximized ? "Yes" : "No");
        EXPECT_EQ(INIMgr().TryFetch("StateProc", "XPos").has_value(), !c.maximized);
    }
}

// A list calls its form on the same thread with a request: the form reads
// it in Init and leaves GlobalRequest 0; the list reads the form's outcome.
TEST_F(SkeletonTest, CalledProcedureSeesTheCallersRequest) {
    std::atomic<int> formRequest{-1}, globalAfterInit{-1}, outcome{-1}, listRequest{-1};
    class Form : public WindowProcedure {
      public:
        Form(rt::Window& w, EnterByTabClass& e, ToolbarClass& t, std::atomic<int>& req,
             std::atomic<int>& global)
            : WindowProcedure("FormProc", w, e, &t), req_(req), global_(global) {}
        Level Init() override {
            const Level l = WindowProcedure::Init();
            req_ = Request;
            global_ = GlobalRequest;
            window_.post(rt::Event::CloseWindow);
            return l;
        }
        std::atomic<int>& req_;
        std::atomic<int>& global_;
    };
    class List : public WindowProcedure {
      public:
        using WindowProcedure::WindowProcedure;
        std::function<void()> form;
        Level TakeAccepted() override {
            if (Win->field() == 1) {
                GlobalRequest = ::Request::Change;
                form();
                outcome_ = GlobalResponse;
            }
            return WindowProcedure::TakeAccepted();
        }
        int outcome_ = -1;
    };
    rt::startProcedure([&] {
        GlobalRequest = ::Request::Select;  // the list itself is asked to select
        EnterByTabClass ebt;
        rt::Window w(desc("List"));
        w.add(button("?Change", "Promjena"));
        ToolbarClass tb;
        List list("ListProc", w, ebt, &tb);
        list.form = [&] {
            EnterByTabClass e2;
            rt::Window fw(desc("Form"));
            ToolbarClass t2;
            Form f(fw, e2, t2, formRequest, globalAfterInit);
            GlobalResponse = f.Run();
        };
        GlobalResponse = list.Run();
        listRequest = list.Request;
        outcome = list.outcome_;
    });
    auto v = waitWindow("List");
    ASSERT_TRUE(v);
    click(v->id, 1);
    send(v->id, rt::Input{rt::Input::Kind::Close});
    rt::joinAllThreads();
    EXPECT_EQ(listRequest, ::Request::Select);
    EXPECT_EQ(formRequest, ::Request::Change);
    EXPECT_EQ(globalAfterInit, 0);
    EXPECT_EQ(outcome, ::Response::Cancelled);
}

// Enter acts as Tab, per kind of control.
TEST_F(SkeletonTest, EnterAndArrowsMoveTheFocusAsTheTableSays) {
    enum Expect { Next, Previous, Stay, NewLine, Press };
    struct Case {
        ControlKind kind;
        int key;
        Expect expect;
    };
    namespace k = rt::key;
    const Case cases[] = {
        {ControlKind::Entry, k::Enter, Next},        {ControlKind::Entry, k::Down, Next},
        {ControlKind::Entry, k::Up, Previous},       {ControlKind::Entry, k::Tab, Next},
        {ControlKind::Entry, k::ShiftTab, Previous}, {ControlKind::Entry, k::Right, Stay},
        {ControlKind::Check, k::Enter, Next},        {ControlKind::Check, k::Down, Next},
        {ControlKind::Check, k::Right, Next},        {ControlKind::Check, k::Up, Previous},
        {ControlKind::Check, k::Left, Previous},     {ControlKind::List, k::Enter, Next},
        {ControlKind::List, k::Right, Next},         {ControlKind::List, k::Left, Previous},
        {ControlKind::Button, k::Down, Next},        {ControlKind::Button, k::Right, Next},
        {ControlKind::Button, k::Up, Previous},      {ControlKind::Button, k::Left, Previous},
        {ControlKind::Button, k::Enter, Press},      {ControlKind::Text, k::Enter, NewLine},
        {ControlKind::Text, k::ShiftEnter, NewLine}, {ControlKind::Text, k::Down, Stay},
        {ControlKind::Spin, k::Enter, Next},         {ControlKind::Combo, k::Enter, Next},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << static_cast<int>(c.kind) << " key " << rt::keyName(c.key));
        std::atomic<int> pressed{0};
        std::int32_t a = 0, b = 0;
        std::string text = "x";
        const ControlKind kind = c.kind;
        rt::startProcedure([&, kind] {
            EnterByTabClass ebt;
            rt::Window w(desc("Keys"));
            w.add(entry("?Before", rt::bind(a), "@n_3"));
            rt::Control mid;
            mid.kind = kind;
            mid.name = "?Mid";
            mid.text = "Mid";
            if (kind == ControlKind::Text) mid.value = rt::bindString(text);
            if (kind == ControlKind::Check) mid.value = rt::bind(b);
            w.add(mid);
            w.add(entry("?After", rt::bind(b), "@n_3"));
            ToolbarClass tb;
            struct P : WindowProcedure {
                using WindowProcedure::WindowProcedure;
                std::atomic<int>* pressed = nullptr;
                Level TakeAccepted() override {
                    if (Win->field() == 2) ++*pressed;
                    return WindowProcedure::TakeAccepted();
                }
            } p("KeysProc", w, ebt, &tb);
            p.pressed = &pressed;
            GlobalResponse = p.Run();
        });
        auto v = waitWindow("Keys");
        ASSERT_TRUE(v);
        send(v->id, rt::Input{rt::Input::Kind::Focus, 2});
        ASSERT_EQ(focusOf(now(v->id)), 2);
        // Clicked into at its start: the new line goes after the text.
        if (kind == ControlKind::Text) key(v->id, k::End);
        key(v->id, c.key);
        auto after = now(v->id);
        const int want = c.expect == Next ? 3 : c.expect == Previous ? 1 : 2;
        EXPECT_EQ(focusOf(after), want);
        if (c.expect == NewLine) {
            EXPECT_EQ(textOf(after, 2), "x\n");
        }
        EXPECT_EQ(pressed.load(), c.expect == Press ? 1 : 0);
        send(v->id, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
    }
}

// The accept-all pass: every control accepted in tab order, then the
// completed event; a handler that moves the focus ends it at once.
TEST_F(SkeletonTest, HandlerThatMovesTheFocusEndsTheAcceptAllPass) {
    for (bool moveFocus : {false, true}) {
        SCOPED_TRACE(moveFocus ? "handler moves the focus" : "plain pass");
        std::mutex m;
        std::vector<std::pair<Event, int>> seen;
        std::atomic<int> response{-1};
        rt::startProcedure([&, moveFocus] {
            std::int32_t a = 1, b = 2, c = 3;
            EnterByTabClass ebt;
            rt::Window w(desc("Pass"));
            w.add(entry("?A", rt::bind(a), "@n_3"));
            w.add(entry("?B", rt::bind(b), "@n_3"));
            w.add(entry("?C", rt::bind(c), "@n_3"));
            w.add(button("?OK", "OK"));
            ToolbarClass tb;
            struct P : WindowProcedure {
                using WindowProcedure::WindowProcedure;
                std::function<void(Event, int)> note;
                bool move = false;
                Level TakeAccepted() override {
                    note(Event::Accepted, Win->field());
                    if (Win->field() == 4) Win->acceptAll();
                    if (move && Win->field() == 2) Win->select(1);
                    return WindowProcedure::TakeAccepted();
                }
                Level TakeCompleted() override {
                    note(Event::Completed, 0);
                    return WindowProcedure::TakeCompleted();
                }
            } p("PassProc", w, ebt, &tb);
            p.move = moveFocus;
            p.note = [&](Event e, int f) {
                std::lock_guard g(m);
                seen.emplace_back(e, f);
            };
            GlobalResponse = p.Run();
            response = GlobalResponse;
        });
        auto v = waitWindow("Pass");
        ASSERT_TRUE(v);
        click(v->id, 4);
        if (moveFocus) {
            EXPECT_EQ(focusOf(now(v->id)), 1);
            send(v->id, rt::Input{rt::Input::Kind::Close});
        }
        rt::joinAllThreads();
        std::lock_guard g(m);
        using S = std::vector<std::pair<Event, int>>;
        if (moveFocus) {
            EXPECT_EQ(seen, (S{{Event::Accepted, 4}, {Event::Accepted, 1}, {Event::Accepted, 2}}));
            EXPECT_EQ(response, ::Response::Cancelled);
        } else {
            EXPECT_EQ(seen, (S{{Event::Accepted, 4},
                               {Event::Accepted, 1},
                               {Event::Accepted, 2},
                               {Event::Accepted, 3},
                               {Event::Completed, 0}}));
            EXPECT_EQ(response, ::Response::Completed);
        }
    }
}

// A lookup's select window opened by an accepted handler during the pass,
// and closed after a choice, lets the pass go on to its completed event.
TEST_F(SkeletonTest, NestedWindowInsideThePassLetsItContinue) {
    std::mutex m;
    std::vector<std::pair<Event, int>> seen;
    rt::startProcedure([&] {
        std::int32_t a = 1, b = 2;
        EnterByTabClass ebt;
        rt::Window w(desc("Form"));
        w.add(entry("?A", rt::bind(a), "@n_3"));
        w.add(entry("?B", rt::bind(b), "@n_3"));
        w.add(button("?OK", "OK"));
        ToolbarClass tb;
        struct P : WindowProcedure {
            using WindowProcedure::WindowProcedure;
            std::function<void(Event, int)> note;
            Level TakeAccepted() override {
                note(Event::Accepted, Win->field());
                if (Win->field() == 3) Win->acceptAll();
                if (Win->field() == 1 && InAcceptAllPass()) {
                    // the select window: its own first field takes the focus
                    EnterByTabClass e2;
                    rt::Window sel(desc("Select"));
                    sel.add(button("?Select", "Izbor"));
                    ToolbarClass t2;
                    struct First : WindowProcedure {
                        using WindowProcedure::WindowProcedure;
                        int ChooseFirstField() override { return 1; }
                        void RegisterButtons() override { AddItem(1, ::Response::Completed); }
                    } s2("SelectProc", sel, e2, &t2);
                    GlobalResponse = s2.Run();
                }
                return WindowProcedure::TakeAccepted();
            }
            Level TakeCompleted() override {
                note(Event::Completed, 0);
                return WindowProcedure::TakeCompleted();
            }
        } p("FormProc", w, ebt, &tb);
        p.note = [&](Event e, int f) {
            std::lock_guard g(m);
            seen.emplace_back(e, f);
        };
        GlobalResponse = p.Run();
    });
    auto v = waitWindow("Form");
    ASSERT_TRUE(v);
    click(v->id, 3);
    auto sel = waitWindow("Select");
    ASSERT_TRUE(sel);
    click(sel->id, 1);  // the choice
    rt::joinAllThreads();
    std::lock_guard g(m);
    using S = std::vector<std::pair<Event, int>>;
    EXPECT_EQ(seen, (S{{Event::Accepted, 3},
                       {Event::Accepted, 1},
                       {Event::Accepted, 2},
                       {Event::Completed, 0}}));
}

TEST(WindowResize, DesignedSizeIsTheLeastAndControlsFollowTheEdges) {
    rt::WindowDesc d = desc("R", true);
    rt::Window w(d);
    rt::Control list;
    list.kind = ControlKind::List;
    list.at = {8, 30, 180, 50};
    const int l = w.add(list);
    rt::Control b = button("?Close", "Izlaz");
    b.at = {150, 85, 45, 14};
    const int bt = w.add(b);
    rt::Control e = entry("?E", rt::Binding{}, "@s5");
    e.at = {8, 8, 40, 10};
    const int en = w.add(e);
    WindowResizeClass r;
    r.Init(w, 2, true, false);
    r.SetParentDefaults();
    EXPECT_EQ(w.minSize().w, 200);
    EXPECT_EQ(w.minSize().h, 100);
    w.setPosition(0, 0, 300, 160);
    r.Resize();
    EXPECT_EQ(w.control(l).at, (rt::Rect{8, 30, 280, 110}));
    EXPECT_EQ(w.control(bt).at, (rt::Rect{250, 145, 45, 14}));
    EXPECT_EQ(w.control(en).at, (rt::Rect{8, 8, 40, 10}));
    w.setPosition(0, 0, 50, 50);  // never below the designed size
    EXPECT_EQ(w.rect().w, 200);
    EXPECT_EQ(w.rect().h, 100);
}

}  // namespace
