// The window layer driven as a user would: entries and their pictures, focus
// moves, timers from the manual clock, dialogs, nested windows and the
// frame's close.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "runtime/clock.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"

using namespace windowtest;
using rt::Event;

namespace {

struct Seen {
    Event ev;
    int control;
    friend bool operator==(const Seen&, const Seen&) = default;
};

std::ostream& operator<<(std::ostream& o, const Seen& s) {
    return o << "(event " << static_cast<int>(s.ev) << ", control " << s.control << ")";
}

// What the window's thread saw, read by the test once the program is idle.
class Log {
  public:
    void add(Event e, int c) {
        std::lock_guard g(m_);
        seen_.push_back({e, c});
    }
    std::vector<Seen> take(std::initializer_list<Event> kinds) {
        std::lock_guard g(m_);
        std::vector<Seen> r;
        for (const auto& s : seen_)
            for (Event k : kinds)
                if (s.ev == k) r.push_back(s);
        seen_.clear();
        return r;
    }

  private:
    std::mutex m_;
    std::vector<Seen> seen_;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
    }
    void TearDown() override {
        rt::joinAllThreads();
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }
    // Runs a window on a procedure thread: build fills it, handle sees each
    // event after it is logged.
    void run(std::string title, std::function<void(rt::Window&)> build,
             std::function<void(rt::Window&)> handle = {}) {
        rt::startProcedure([this, title, build, handle] {
            rt::WindowDesc d;
            d.title = title;
            d.at = {0, 0, 200, 100};
            rt::Window w(d);
            build(w);
            w.open();
            while (w.accept()) {
                log_.add(w.event(), w.field());
                if (handle) handle(w);
            }
        });
        auto v = waitWindow(title);
        ASSERT_TRUE(v) << "window " << title << " did not open";
        id_ = v->id;
    }
    void closeWindow() {
        send(id_, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
    }

    windowtest::NullBackend backend_;
    Log log_;
    int id_ = 0;
};

TEST_F(WindowTest, EntriesTakeWhatThePictureAcceptsAndRefuseTheRest) {
    struct Case {
        const char* picture;
        std::string typed;
        bool accepted;
        const char* shownAfter;
    };
    // A refused text beeps, shows the old value again and keeps the focus.
    // Control characters (typed or pasted) are refused as a character the
    // code page cannot hold is.
    const Case cases[] = {
        {"@n_3", "12", true, "12"},
        {"@n_3", "abc", false, "7"},
        {"@s5", "Šuma", true, "Šuma"},
        {"@s5", "Ωmega", false, "old"},  // no Windows-1250 byte for Ω
        {"@s5", "a\tb", false, "old"},
        {"@s5", "a\x1b", false, "old"},
        {"@s5", std::string("a\0b", 3), false, "old"},
        {"@s5", "a\x7f", false, "old"},
        {"@s5", "a\nb", false, "old"},  // a one-line entry takes no line break
        {"@s5", "a\rb", false, "old"},
        {"@n_3", "1\t", false, "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.picture) + " " + testing::PrintToString(c.typed));
        std::int32_t number = 7;
        char text[5];
        rt::assignFixed(text, sizeof text, "old");
        const bool isText = c.picture[1] == 's';
        run("Entry", [&](rt::Window& w) {
            w.add(entry("?E1", isText ? rt::bindText(text, sizeof text) : rt::bind(number),
                        c.picture));
            w.add(button("?B", "B"));
        });
        click(id_, 1);
        log_.take({});
        const auto beeps = rt::beeps();
        type(id_, 1, c.typed);
        key(id_, rt::key::Tab);
        auto v = now(id_);
        EXPECT_EQ(textOf(v, 1), c.shownAfter);
        if (c.accepted) {
            EXPECT_EQ(log_.take({Event::Accepted, Event::Rejected, Event::Selected}),
                      (std::vector<Seen>{{Event::Accepted, 1}, {Event::Selected, 2}}));
            EXPECT_EQ(focusOf(v), 2);
            EXPECT_EQ(rt::beeps(), beeps);
        } else {
            EXPECT_EQ(log_.take({Event::Accepted, Event::Rejected, Event::Selected}),
                      (std::vector<Seen>{{Event::Rejected, 1}}));
            EXPECT_EQ(focusOf(v), 1);
            EXPECT_EQ(rt::beeps(), beeps + 1);
        }
        closeWindow();
        if (!isText) {
            EXPECT_EQ(number, c.accepted ? std::atoi(c.typed.c_str()) : 7);
        }
    }
}

// Typing past a text entry's width, or pasting a text too long for it, is
// refused with a beep and the entry keeps what it holds, never cut unseen:
// a field wider than its picture keeps its whole value.
TEST_F(WindowTest, TypingOrPastingPastTheWidthIsRefusedWithABeep) {
    char text[5];
    rt::assignFixed(text, sizeof text, "old");
    char wide[30];
    rt::assignFixed(wide, sizeof wide, "A name longer than fifteen chars");
    run("Width", [&](rt::Window& w) {
        w.add(entry("?E1", rt::bindText(text, sizeof text), "@s5"));
        w.add(entry("?E2", rt::bindText(wide, sizeof wide), "@s15"));
        w.add(button("?B", "B"));
    });
    click(id_, 1);
    auto beeps = rt::beeps();
    type(id_, 1, "abcdefgh");  // a paste
    EXPECT_EQ(rt::beeps(), beeps + 1);
    EXPECT_EQ(textOf(now(id_), 1), "old");
    key(id_, rt::key::End);
    for (int k : {'a', 'b'}) key(id_, k);
    EXPECT_EQ(rt::beeps(), beeps + 1);
    key(id_, 'c');  // the sixth character
    EXPECT_EQ(rt::beeps(), beeps + 2);
    auto v = now(id_);
    EXPECT_EQ(textOf(v, 1), "oldab");
    EXPECT_EQ(v->controls[0].caret, 5);
    key(id_, rt::key::Tab);
    EXPECT_EQ(focusOf(now(id_)), 2);
    EXPECT_EQ(std::string(text, sizeof text), "oldab");

    key(id_, rt::key::End);
    beeps = rt::beeps();
    key(id_, 'x');
    EXPECT_EQ(rt::beeps(), beeps + 1);
    EXPECT_EQ(textOf(now(id_), 2), "A name longer t");
    key(id_, rt::key::Tab);
    EXPECT_EQ(focusOf(now(id_)), 3);
    closeWindow();
    EXPECT_EQ(std::string(wide, sizeof wide), "A name longer than fifteen cha");
}

// A multi-line text box takes line breaks, stored as CR LF and shown as
// line breaks; any other control character is refused there as well.
TEST_F(WindowTest, TextBoxTakesLineBreaksAsCrLfAndRefusesOtherControls) {
    struct Case {
        std::string typed;
        bool accepted;
        std::string stored;  // the field afterwards
        std::string shownAfter;
    };
    const Case cases[] = {
        {"one\ntwo", true, "one\r\ntwo", "one\ntwo"},
        {"one\r\ntwo\n", true, "one\r\ntwo\r\n", "one\ntwo\n"},
        {"one\ttwo", false, "a\r\nb", "a\nb"},
        {"one\ntwo\x7f", false, "a\r\nb", "a\nb"},
        {std::string("x\0", 2), false, "a\r\nb", "a\nb"},
        // what the field cannot hold is refused, never cut: eleven characters
        // with a line break are twelve stored, but ten and a line break and a
        // letter would be thirteen
        {"0123456789\n", true, "0123456789\r\n", "0123456789\n"},
        {"0123456789\nx", false, "a\r\nb", "a\nb"},
        {"0123456789abc", false, "a\r\nb", "a\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.typed));
        char note[12];
        rt::assignFixed(note, sizeof note, "a\r\nb");
        run("Note", [&](rt::Window& w) {
            rt::Control t;
            t.kind = rt::ControlKind::Text;
            t.name = "?NOTE";
            t.value = rt::bindText(note, sizeof note);
            w.add(t);
            w.add(button("?B", "B"));
        });
        EXPECT_EQ(textOf(now(id_), 1), "a\nb");  // a stored CR LF is one line break
        click(id_, 1);
        const auto beeps = rt::beeps();
        type(id_, 1, c.typed);
        key(id_, rt::key::Tab);
        auto v = now(id_);
        EXPECT_EQ(textOf(v, 1), c.shownAfter);
        EXPECT_EQ(focusOf(v), c.accepted ? 2 : 1);
        EXPECT_EQ(rt::beeps(), beeps + (c.accepted ? 0 : 1));
        closeWindow();
        EXPECT_EQ(std::string(rt::trimRight(std::string_view(note, sizeof note))), c.stored);
    }
}

// A code wider than its picture is shown whole and survives any pass over
// the entry that did not edit it.
TEST_F(WindowTest, UneditedEntryWritesNothingBack) {
    std::int32_t code = 100;
    char name[30];
    rt::assignFixed(name, sizeof name, "A name longer than fifteen chars");
    run(
        "Wide",
        [&](rt::Window& w) {
            w.add(entry("?CODE", rt::bind(code), "@n_2"));
            w.add(entry("?NAME", rt::bindText(name, sizeof name), "@s15"));
            w.add(button("?OK", "OK"));
        },
        [](rt::Window& w) {
            if (w.event() == Event::Accepted && w.field() == 3) w.acceptAll();
        });
    auto v = now(id_);
    EXPECT_EQ(textOf(v, 1), "100");
    click(id_, 1);
    key(id_, rt::key::Tab);
    key(id_, rt::key::Tab);
    click(id_, 3);
    EXPECT_EQ(log_.take({Event::Completed}), (std::vector<Seen>{{Event::Completed, 0}}));
    closeWindow();
    EXPECT_EQ(code, 100);
    EXPECT_EQ(std::string(name, sizeof name), "A name longer than fifteen cha");
}

// An accepted handler that puts the focus back on its own control cancels
// the move the Tab asked for: the next control gets no selected event.
TEST_F(WindowTest, HandlerThatRefocusesCancelsThePendingMove) {
    for (bool refocus : {false, true}) {
        SCOPED_TRACE(refocus ? "refocus" : "plain");
        std::int32_t a = 0, b = 0;
        run(
            "Move",
            [&](rt::Window& w) {
                w.add(entry("?A", rt::bind(a), "@n_3"));
                w.add(entry("?B", rt::bind(b), "@n_3"));
            },
            [refocus](rt::Window& w) {
                if (refocus && w.event() == Event::Accepted && w.field() == 1) w.select(1);
            });
        click(id_, 1);
        log_.take({});
        type(id_, 1, "5");
        key(id_, rt::key::Tab);
        EXPECT_EQ(focusOf(now(id_)), refocus ? 1 : 2);
        const auto seen = log_.take({Event::Accepted, Event::Selected});
        if (refocus)
            EXPECT_EQ(seen, (std::vector<Seen>{{Event::Accepted, 1}, {Event::Selected, 1}}));
        else
            EXPECT_EQ(seen, (std::vector<Seen>{{Event::Accepted, 1}, {Event::Selected, 2}}));
        closeWindow();
        EXPECT_EQ(a, 5);
    }
}

TEST_F(WindowTest, TimerFiresOnlyWhenTheClockReachesIt) {
    run("Timer", [](rt::Window& w) { w.setTimer(100); });
    rt::advanceClock(999);
    idle();
    EXPECT_TRUE(log_.take({Event::Timer}).empty());
    rt::advanceClock(1);
    idle();
    EXPECT_EQ(log_.take({Event::Timer}).size(), 1u);
    // A long jump brings one timer event, not a burst.
    rt::advanceClock(10000);
    idle();
    EXPECT_EQ(log_.take({Event::Timer}).size(), 1u);
    closeWindow();
}

TEST_F(WindowTest, MessageBoxWaitsForItsAnswerAndTheThreadCountsAsIdle) {
    std::atomic<int> answer{0};
    rt::startProcedure([&] {
        rt::MessageRequest m;
        m.title = "Confirm Delete";
        m.text = "Sure?";
        m.buttons = rt::ButtonYes | rt::ButtonNo;
        m.defaultButton = rt::ButtonYes;
        answer = rt::showMessage(m);
    });
    idle();
    auto open = rt::openDialogs();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].request.message.title, "Confirm Delete");
    EXPECT_EQ(answer.load(), 0);
    rt::answerDialog(open[0].id, rt::DialogAnswer{rt::ButtonNo});
    rt::joinAllThreads();
    EXPECT_EQ(answer.load(), rt::ButtonNo);
}

// The close box (or Esc) of a message box is reported raw; the window layer
// answers it with the box's safe button, whatever button the report carries.
TEST_F(WindowTest, ClosingAMessageBoxAnswersItsSafeButton) {
    struct Case {
        unsigned buttons;
        rt::Button defaultButton;
        rt::Button expected;
    };
    const Case cases[] = {
        {rt::ButtonYes | rt::ButtonNo, rt::ButtonYes, rt::ButtonNo},
        {rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel, rt::ButtonYes, rt::ButtonCancel},
        {rt::ButtonOk | rt::ButtonCancel, rt::ButtonOk, rt::ButtonCancel},
        {rt::ButtonOk, rt::ButtonOk, rt::ButtonOk},
    };
    for (const Case& c : cases) {
        std::atomic<int> answer{0};
        rt::startProcedure([&] {
            rt::MessageRequest m;
            m.title = "Box";
            m.buttons = c.buttons;
            m.defaultButton = c.defaultButton;
            answer = rt::showMessage(m);
        });
        idle();
        auto open = rt::openDialogs();
        ASSERT_EQ(open.size(), 1u);
        rt::DialogAnswer a;
        a.button = c.defaultButton;  // a backend that picked the default
        a.closeBox = true;
        rt::answerDialog(open[0].id, a);
        rt::joinAllThreads();
        EXPECT_EQ(answer.load(), c.expected) << "buttons " << c.buttons;
    }
}

// An exception that escapes a procedure thread or the program body while a
// display is set ends the process through the fatal path: the box, OK, the
// clean-ups, then a non-zero status.
TEST_F(WindowTest, AnEscapedExceptionEndsTheProcessThroughTheFatalPath) {
    static std::atomic<int> cleanups{0};
    static std::once_flag once;
    std::call_once(once, [] { rt::addFatalCleanup([] { ++cleanups; }); });
    std::vector<int> exits;
    std::mutex exitsLock;
    rt::setFatalExitHook([&](int status) {
        std::lock_guard g(exitsLock);
        exits.push_back(status);
    });
    // Answers the box once it is open; false when none opened.
    auto answerTheBox = [](const char* expectedText) {
        for (int i = 0; i < 500; ++i) {
            for (const auto& d : rt::openDialogs()) {
                EXPECT_EQ(d.request.message.title, "Program Error");
                EXPECT_NE(d.request.message.text.find(expectedText), std::string::npos)
                    << d.request.message.text;
                EXPECT_EQ(d.request.message.buttons, rt::ButtonOk);
                rt::answerDialog(d.id, rt::DialogAnswer{rt::ButtonOk});
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };

    const int before = cleanups.load();
    rt::startProcedure([] { throw std::runtime_error("procedure broke"); });
    EXPECT_TRUE(answerTheBox("procedure broke"));
    rt::joinAllThreads();
    EXPECT_EQ(exits, std::vector<int>{rt::EscapeExitStatus});
    EXPECT_EQ(cleanups.load(), before + 1);

    std::thread answerer([&] { EXPECT_TRUE(answerTheBox("body broke")); });
    EXPECT_FALSE(rt::runProcess([] { throw std::runtime_error("body broke"); }));
    answerer.join();
    EXPECT_EQ(exits, (std::vector<int>{rt::EscapeExitStatus, rt::EscapeExitStatus}));

    // The windows closing down (a thread waiting on them ends) is no error.
    rt::startThread([] { throw rt::ShutDown{}; });
    idle();
    EXPECT_TRUE(rt::openDialogs().empty());
    for (const auto& d : rt::openDialogs()) rt::answerDialog(d.id, rt::DialogAnswer{rt::ButtonOk});
    rt::joinAllThreads();
    EXPECT_EQ(exits.size(), 2u);
    rt::setFatalExitHook({});
}

// The real end of such a process: its exit status is not 0.
TEST_F(WindowTest, AProcessWhoseProcedureThrowsExitsWithANonZeroStatus) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::thread answerer([] {
            for (;;) {
                for (const auto& d : rt::openDialogs())
                    rt::answerDialog(d.id, rt::DialogAnswer{rt::ButtonOk});
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        answerer.detach();
        rt::runProcess([] {
            rt::startProcedure([] { throw std::bad_alloc(); });
            rt::joinAllThreads();
        });
        std::_Exit(0);  // the run came back: the exception ended nothing
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), rt::EscapeExitStatus);
}

// Shutting the windows down ends a thread that waits on a box; nothing hangs.
TEST_F(WindowTest, ShutDownEndsAThreadWaitingOnABox) {
    std::atomic<bool> returned{false};
    rt::startProcedure([&] {
        rt::MessageRequest m;
        m.title = "T";
        rt::showMessage(m);
        returned = true;  // never reached: the wait throws
    });
    idle();
    ASSERT_EQ(rt::openDialogs().size(), 1u);
    rt::shutDownWindows();
    rt::joinAllThreads();
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(rt::openDialogs().empty());
}

// While a window runs a nested window on its thread it takes no input;
// afterwards it works again.
TEST_F(WindowTest, NestedWindowDisablesItsCaller) {
    std::atomic<int> innerId{0};
    run(
        "Outer", [](rt::Window& w) { w.add(button("?Call", "Call")); },
        [&](rt::Window& w) {
            if (w.event() == Event::Accepted && w.field() == 1) {
                rt::WindowDesc d;
                d.title = "Inner";
                rt::Window inner(d);
                inner.add(button("?X", "X"));
                inner.open();
                innerId = inner.id();
                while (inner.accept()) {
                }
            }
        });
    click(id_, 1);
    ASSERT_TRUE(waitWindow("Inner"));
    EXPECT_FALSE(now(id_)->enabled);
    log_.take({});
    click(id_, 1);  // lost: the outer window is disabled
    send(innerId, rt::Input{rt::Input::Kind::Close});
    EXPECT_TRUE(now(id_)->enabled);
    EXPECT_TRUE(log_.take({Event::Accepted}).empty());
    const int first = innerId;
    click(id_, 1);
    EXPECT_EQ(log_.take({Event::Accepted}), (std::vector<Seen>{{Event::Accepted, 1}}));
    ASSERT_TRUE(waitWindow("Inner"));
    EXPECT_NE(innerId.load(), first);
    send(innerId, rt::Input{rt::Input::Kind::Close});
    closeWindow();
}

// Closing the frame first sends its children the close-down event; a child
// that refuses keeps the frame open.
TEST_F(WindowTest, FrameClosesAfterItsChildren) {
    for (bool refuse : {true, false}) {
        SCOPED_TRACE(refuse ? "child refuses" : "child closes");
        std::atomic<bool> frameOpen{true};
        rt::startProcedure([&] {
            rt::WindowDesc d;
            d.kind = rt::WindowKind::Frame;
            d.title = "Frame";
            rt::Window f(d);
            f.open();
            while (f.accept()) {
            }
            frameOpen = false;
        });
        ASSERT_TRUE(waitWindow("Frame"));
        run(
            "Child", [](rt::Window&) {},
            [refuse](rt::Window& w) {
                if (refuse && w.event() == Event::CloseDown) w.cycle();
            });
        send(rt::frameWindow(), rt::Input{rt::Input::Kind::Close});
        EXPECT_EQ(log_.take({Event::CloseDown}), (std::vector<Seen>{{Event::CloseDown, 0}}));
        EXPECT_EQ(frameOpen.load(), refuse);
        if (refuse) {
            EXPECT_TRUE(waitWindow("Child"));
            send(id_, rt::Input{rt::Input::Kind::Close});
            EXPECT_TRUE(frameOpen.load());
            send(rt::frameWindow(), rt::Input{rt::Input::Kind::Close});
        }
        rt::joinAllThreads();
        EXPECT_FALSE(frameOpen.load());
    }
}

// The focused control's message goes to the frame's first status zone.
TEST_F(WindowTest, FocusedControlsMessageShowsInTheStatusBar) {
    std::int32_t a = 0, b = 0;
    run("Msg", [&](rt::Window& w) {
        rt::Control e1 = entry("?A", rt::bind(a), "@n_3");
        e1.msg = "\x8aifra PS";  // Windows-1250
        w.add(e1);
        rt::Control e2 = entry("?B", rt::bind(b), "@n_3");
        e2.msg = "Naziv";
        w.add(e2);
    });
    click(id_, 1);
    EXPECT_EQ(rt::statusText(1), "Šifra PS");
    key(id_, rt::key::Tab);
    EXPECT_EQ(rt::statusText(1), "Naziv");
    closeWindow();
}

// A double click on a list row highlights that row before the alerted key
// is reported, so the handler acts on the row the user pointed at.
TEST_F(WindowTest, DoubleClickOnAListRowHighlightsItFirst) {
    std::atomic<int> highlightAtAlert{-1};
    run(
        "List",
        [](rt::Window& w) {
            rt::Control l;
            l.kind = rt::ControlKind::List;
            l.name = "?Browse:1";
            l.columns = {rt::Column{"Naziv", 50}};
            l.rowCount = [] { return 3; };
            l.row = [](int r) { return rt::ListRow({"row " + std::to_string(r)}); };
            l.highlight = 1;
            const int id = w.add(l);
            w.alert(id, rt::key::MouseLeft2);
        },
        [&](rt::Window& w) {
            if (w.event() == Event::AlertKey && w.keyCode() == rt::key::MouseLeft2)
                highlightAtAlert = w.control(1).highlight;
        });
    rt::Input dbl{rt::Input::Kind::DoubleClick, 1};
    dbl.row = 2;
    send(id_, dbl);
    EXPECT_EQ(highlightAtAlert.load(), 2);
    EXPECT_EQ(log_.take({Event::NewSelection, Event::AlertKey}),
              (std::vector<Seen>{{Event::NewSelection, 1}, {Event::AlertKey, 1}}));
    auto v = now(id_);
    ASSERT_TRUE(v->controls[0].list());
    EXPECT_EQ(v->controls[0].list()->highlight, 2);
    EXPECT_EQ(v->controls[0].list()->rows.at(1).at(0), "row 2");
    closeWindow();
}

// A list that keeps a rows version is asked for its rows only when the
// version moved on: a redraw with the same version shows the rows its last
// view had, even when row() would give others now.
TEST_F(WindowTest, AListsRowsAreAskedForOnlyWhenItsVersionMoves) {
    std::atomic<int> version{1}, base{0}, asked{0};
    run(
        "List",
        [&](rt::Window& w) {
            rt::Control l;
            l.kind = rt::ControlKind::List;
            l.name = "?Browse:1";
            l.columns = {rt::Column{"Naziv", 50}};
            l.rowCount = [] { return 2; };
            l.row = [&](int r) {
                ++asked;
                return rt::ListRow({std::to_string(base + r)});
            };
            l.rowsVersion = [&] { return static_cast<std::uint64_t>(version.load()); };
            l.highlight = 1;
            w.add(l);
            w.alert((rt::key::F1 + 1));
            w.alert((rt::key::F1 + 2));
        },
        [&](rt::Window& w) {
            if (w.event() != Event::AlertKey) return;
            base += 10;  // the rows change; F3 says so, F2 does not
            if (w.keyCode() == (rt::key::F1 + 2)) ++version;
            w.changed();
        });
    auto cells = [this] {
        auto v = now(id_);
        const rt::ListPayload* l = v->controls[0].list();
        std::vector<std::string> out;
        for (const auto& r : l->rows) out.emplace_back(r.at(0));
        return out;
    };
    EXPECT_EQ(cells(), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(asked.load(), 2);
    key(id_, (rt::key::F1 + 1));
    EXPECT_EQ(cells(), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(asked.load(), 2);
    key(id_, (rt::key::F1 + 2));
    EXPECT_EQ(cells(), (std::vector<std::string>{"21", "22"}));
    EXPECT_EQ(asked.load(), 4);
    closeWindow();
}

// A list's column group reaches the display converted, as its header does,
// and makes the header two lines high.
TEST_F(WindowTest, AColumnGroupReachesTheViewInUtf8) {
    run("List", [](rt::Window& w) {
        rt::Control l;
        l.kind = rt::ControlKind::List;
        l.name = "?Browse:1";
        l.columns = {rt::Column{"PD", 20},
                     rt::Column{"\x9a"
                                "ifra",
                                30},
                     rt::Column{"Naziv", 50}};
        l.columns[1].group = l.columns[2].group = "Aktivnosti \x8a";
        l.rowCount = [] { return 0; };
        w.add(l);
    });
    auto v = now(id_);
    ASSERT_TRUE(v->controls[0].list());
    const rt::ColumnList& columns = v->controls[0].list()->columns;
    EXPECT_EQ(columns[0].group, "");
    EXPECT_EQ(columns[1].header, "šifra");
    EXPECT_EQ(columns[1].group, "Aktivnosti Š");
    EXPECT_EQ(columns[2].group, "Aktivnosti Š");
    EXPECT_EQ(rt::headerLines(columns.items()), 2);
    std::vector<rt::Column> plain = {rt::Column{"PD", 20}, rt::Column{"", 30}};
    EXPECT_EQ(rt::headerLines(plain), 1);
    plain[0].header.clear();
    EXPECT_EQ(rt::headerLines(plain), 0);
    closeWindow();
}

TEST(WindowKeys, NamesOfTheScenarioFiles) {
    struct Case {
        const char* name;
        int code;
    };
    const Case cases[] = {{"Enter", rt::key::Enter},         {"Shift+Tab", rt::key::ShiftTab},
                          {"ctrl+h", rt::key::CtrlH},        {"F1", rt::key::F1},
                          {"F12", rt::key::F1 + 11},         {"a", 'a'},
                          {"Ctrl+Enter", rt::key::CtrlEnter}};
    for (const auto& c : cases) {
        EXPECT_EQ(rt::keyFromName(c.name), c.code) << c.name;
        EXPECT_EQ(rt::keyFromName(rt::keyName(c.code)), c.code) << c.name;
    }
    EXPECT_FALSE(rt::keyFromName("F13"));
    EXPECT_FALSE(rt::keyFromName("Hyper"));
}

}  // namespace

// A redraw makes anew only what changed: a bound value that changed, a
// control under a group that was disabled, the button that took the focus.
// A control nothing touched is the very view shown before.
TEST_F(WindowTest, RedrawRemakesWhatChangedAndSharesTheRest) {
    static std::atomic<std::int32_t> count{0};
    count = 0;
    enum { Group = 1, Inside, Count, Go, Label };
    run(
        "Redraw",
        [](rt::Window& w) {
            rt::Control g;
            g.kind = rt::ControlKind::Group;
            g.name = "?Group";
            w.add(g);
            rt::Control inside = button("?Inside", "Unutra");
            inside.parent = Group;
            w.add(inside);
            rt::Control shown;
            shown.kind = rt::ControlKind::String;
            shown.name = "?Count";
            shown.value = rt::bindAtomic(count);
            w.add(shown);
            w.add(button("?Go", "Dalje"));
            rt::Control label;
            label.kind = rt::ControlKind::Prompt;
            label.name = "?Label";
            label.text = "Broj:";
            w.add(label);
        },
        [](rt::Window& w) {
            if (w.event() == Event::Accepted && w.field() == Go) {
                ++count;
                w.control(Group).disabled = true;
            }
        });
    const rt::ViewPtr before = now(id_);
    ASSERT_TRUE(before->controls.at(Inside - 1).enabled);
    click(id_, Go);
    const rt::ViewPtr after = now(id_);
    EXPECT_EQ(textOf(after, Count), "1");
    EXPECT_FALSE(after->controls.at(Inside - 1).enabled);
    EXPECT_TRUE(after->controls.at(Go - 1).focused);
    EXPECT_EQ(after->controls.shared(Label - 1), before->controls.shared(Label - 1));
    EXPECT_NE(after->controls.shared(Count - 1), before->controls.shared(Count - 1));
    closeWindow();
}

// The same for the kinds whose view carries a part of its own: an untouched
// sheet, tab and list are the views shown before; a list whose highlight
// moved is made anew with it, and the sheet beside it is still shared.
TEST_F(WindowTest, RedrawSharesAnUntouchedListAndSheet) {
    static std::atomic<bool> move{false};
    move = false;
    enum { Sheet = 1, Tab, List, Go };
    run(
        "RedrawList",
        [](rt::Window& w) {
            rt::Control sheet;
            sheet.kind = rt::ControlKind::Sheet;
            sheet.name = "?Sheet";
            w.add(sheet);
            rt::Control tab;
            tab.kind = rt::ControlKind::Tab;
            tab.name = "?Tab";
            tab.text = "Prvi";
            tab.parent = Sheet;
            w.add(tab);
            rt::Control l;
            l.kind = rt::ControlKind::List;
            l.name = "?Browse:1";
            l.parent = Tab;
            l.columns = {rt::Column{"Naziv", 50}};
            l.rowCount = [] { return 3; };
            l.row = [](int r) { return rt::ListRow({"row " + std::to_string(r)}); };
            l.highlight = 1;
            w.add(l);
            rt::Control go = button("?Go", "Dalje");
            go.parent = Tab;
            w.add(go);
        },
        [](rt::Window& w) {
            if (w.event() == Event::Accepted && w.field() == Go && move) w.setHighlight(List, 2);
        });
    const rt::ViewPtr first = now(id_);
    ASSERT_TRUE(first->controls.at(Sheet - 1).sheet());
    EXPECT_EQ(first->controls.at(Sheet - 1).sheet()->selectedTab, Tab);
    click(id_, Go);
    const rt::ViewPtr second = now(id_);
    ASSERT_TRUE(second->controls.at(Go - 1).focused);
    for (int c : {Sheet, Tab, List})
        EXPECT_EQ(second->controls.shared(c - 1), first->controls.shared(c - 1)) << c;
    move = true;
    click(id_, Go);
    const rt::ViewPtr third = now(id_);
    ASSERT_TRUE(third->controls.at(List - 1).list());
    EXPECT_EQ(third->controls.at(List - 1).list()->highlight, 2);
    EXPECT_NE(third->controls.shared(List - 1), second->controls.shared(List - 1));
    EXPECT_EQ(third->controls.shared(Sheet - 1), second->controls.shared(Sheet - 1));
    // The columns are converted once and shared by the remade view.
    EXPECT_EQ(&third->controls.at(List - 1).list()->columns.items(),
              &second->controls.at(List - 1).list()->columns.items());
    closeWindow();
}

// The focus events the entry windows build on. Each step of the table is one
// user action; the log holds the events the window's thread saw, in order,
// with the control a selected event's focus left, and a mark where the
// handler that moved the focus returned.
TEST_F(WindowTest, FocusInComesAfterTheHandlerAndAfterTheLeftControlsAcceptedEvent) {
    enum class Act { None, SelectThird, SelectSelf, Nested, Box };
    struct Step {
        const char* what;
        Act onAccepted;  // what the handler of the first entry's accepted event does
        Act onSelected;  // what the handler of the second entry's selected event does
        // (event, control, from) in order; Event::None marks a handler's return
        std::vector<std::array<int, 3>> expected;
        int focus;
    };
    const int Ret = static_cast<int>(Event::None), Acc = static_cast<int>(Event::Accepted),
              Sel = static_cast<int>(Event::Selected), Gain = static_cast<int>(Event::GainFocus);
    const Step steps[] = {
        {"plain Tab", Act::None, Act::None, {{Acc, 1, 0}, {Sel, 2, 1}}, 2},
        {"handler moves on",
         Act::SelectThird,
         Act::None,
         {{Acc, 1, 0}, {Ret, 1, 0}, {Sel, 3, 1}},
         3},
        {"handler keeps it",
         Act::SelectSelf,
         Act::None,
         {{Acc, 1, 0}, {Ret, 1, 0}, {Sel, 1, 1}},
         1},
        // The select window of a lookup: its whole run belongs to the
        // accepted event; closing it gives the caller its activation back,
        // which is no focus move.
        {"nested window",
         Act::Nested,
         Act::None,
         {{Acc, 1, 0}, {Ret, 1, 0}, {Sel, 2, 1}, {Gain, 0, 0}},
         2},
        // A box shown where the focus arrives, then a move: the answer moves
        // nothing by itself.
        {"box on arrival",
         Act::None,
         Act::Box,
         {{Acc, 1, 0}, {Sel, 2, 1}, {Ret, 2, 0}, {Sel, 3, 2}},
         3},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        std::int32_t a = 0, b = 0, c = 0;
        std::mutex m;
        std::vector<std::array<int, 3>> seen;
        auto note = [&](int e, int control, int from) {
            std::lock_guard g(m);
            seen.push_back({e, control, from});
        };
        std::atomic<int> inner{0};
        run(
            "Focus",
            [&](rt::Window& w) {
                w.add(entry("?A", rt::bind(a), "@n_3"));
                w.add(entry("?B", rt::bind(b), "@n_3"));
                w.add(entry("?C", rt::bind(c), "@n_3"));
            },
            [&, s](rt::Window& w) {
                const Event e = w.event();
                if (e == Event::OpenWindow) {
                    w.select(1);
                    return;
                }
                if (e != Event::Accepted && e != Event::Selected && e != Event::GainFocus) return;
                note(static_cast<int>(e), w.field(), w.selectedFrom());
                const Act act = e == Event::Accepted && w.field() == 1   ? s.onAccepted
                                : e == Event::Selected && w.field() == 2 ? s.onSelected
                                                                         : Act::None;
                switch (act) {
                    case Act::None:
                        return;
                    case Act::SelectThird:
                        w.select(3);
                        break;
                    case Act::SelectSelf:
                        w.select(1);
                        break;
                    case Act::Nested: {
                        rt::WindowDesc d;
                        d.title = "Inner";
                        rt::Window in(d);
                        in.add(button("?X", "X"));
                        in.open();
                        inner = in.id();
                        while (in.accept()) {
                        }
                        break;
                    }
                    case Act::Box: {
                        rt::MessageRequest box;
                        box.text = "Stop";
                        rt::showMessage(box);
                        w.select(3);
                        break;
                    }
                }
                note(Ret, w.field(), 0);
            });
        {
            std::lock_guard g(m);
            // The first focus is a selected event with no control left.
            ASSERT_EQ(seen, (std::vector<std::array<int, 3>>{{Sel, 1, 0}}));
            seen.clear();
        }
        send(id_, rt::Input{rt::Input::Kind::Text, 1, 0, 0, "5"});
        key(id_, rt::key::Tab);
        if (s.onAccepted == Act::Nested) {
            ASSERT_TRUE(waitWindow("Inner"));
            send(inner, rt::Input{rt::Input::Kind::Close});
        }
        if (s.onSelected == Act::Box) {
            auto open = rt::openDialogs();
            ASSERT_EQ(open.size(), 1u);
            rt::answerDialog(open[0].id, rt::DialogAnswer{rt::ButtonOk});
            idle();
        }
        EXPECT_EQ(focusOf(now(id_)), s.focus);
        {
            std::lock_guard g(m);
            EXPECT_EQ(seen, s.expected);
            seen.clear();
        }
        // The window losing and regaining activation moves no focus.
        const int focusWindow = id_;
        run("Other", [](rt::Window& w) { w.add(button("?X", "X")); });
        send(id_, rt::Input{rt::Input::Kind::Close});
        send(focusWindow, rt::Input{rt::Input::Kind::Activate});
        {
            std::lock_guard g(m);
            EXPECT_EQ(seen, (std::vector<std::array<int, 3>>{{Gain, 0, 0}}));
            seen.clear();
        }
        id_ = focusWindow;
        closeWindow();
    }
}

// A click into an entry, a key that moves the focus on, and a second click
// there quick enough to make a double click: the second still brings the
// focus back. A button double-clicked is pressed once, by its first click.
TEST_F(WindowTest, DoubleClickIntoAnEntryThatLostTheFocusTakesIt) {
    std::int32_t a = 0, b = 0;
    run("Twice", [&](rt::Window& w) {
        w.add(entry("?A", rt::bind(a), "@n_3"));
        w.add(entry("?B", rt::bind(b), "@n_3"));
        w.add(button("?Go", "Go"));
    });
    send(id_, rt::Input{rt::Input::Kind::Focus, 1});
    key(id_, rt::key::Tab);
    EXPECT_EQ(focusOf(now(id_)), 2);
    log_.take({});
    send(id_, rt::Input{rt::Input::Kind::DoubleClick, 1});
    EXPECT_EQ(focusOf(now(id_)), 1);
    EXPECT_EQ(log_.take({Event::Selected}), (std::vector<Seen>{{Event::Selected, 1}}));
    // The entry that has the focus: a double click changes nothing.
    send(id_, rt::Input{rt::Input::Kind::DoubleClick, 1});
    EXPECT_TRUE(log_.take({Event::Selected}).empty());
    click(id_, 3);
    send(id_, rt::Input{rt::Input::Kind::DoubleClick, 3});
    EXPECT_EQ(log_.take({Event::Accepted}), (std::vector<Seen>{{Event::Accepted, 3}}));
    closeWindow();
}

// An option box is one Tab stop, at its chosen radio (the first that can
// take the focus while none is chosen); the arrow keys go round the radios
// that can take it and choose the one they reach.
TEST_F(WindowTest, AnOptionBoxIsOneTabStopAndTheArrowKeysChoose) {
    namespace k = rt::key;
    struct Case {
        std::int32_t value;
        int disabled;  // a radio that cannot take the focus (0: none)
        int tabTo;     // where Tab from the entry before the box lands
        int arrow;     // a key pressed there
        int arrowTo;   // where it goes; its value is chosen
    };
    // Controls: 1 entry, 2 the box, 3 to 5 its radios (values 1 to 3), 6 entry.
    const Case cases[] = {
        {0, 0, 3, k::Down, 4}, {2, 0, 4, k::Up, 3},   {3, 0, 5, k::Right, 3},
        {0, 3, 4, k::Left, 5}, {1, 4, 3, k::Down, 5}, {1, 0, 3, k::Up, 5},
    };
    for (const Case& c : cases) {
        std::int32_t before = 0, value = c.value, after = 0;
        run("Option", [&](rt::Window& w) {
            w.add(entry("?A", rt::bind(before), "@n_3"));
            rt::Control box;
            box.kind = rt::ControlKind::Option;
            box.name = "?O";
            box.value = rt::bind(value);
            const int id = w.add(box);
            for (int r = 1; r <= 3; ++r) {
                rt::Control radio;
                radio.kind = rt::ControlKind::Radio;
                radio.name = "?O:" + std::to_string(r);
                radio.parent = id;
                radio.radioValue = std::to_string(r);
                radio.disabled = c.disabled == id + r;
                w.add(radio);
            }
            w.add(entry("?B", rt::bind(after), "@n_3"));
        });
        const std::string at = "value " + std::to_string(c.value) + ", radio " +
                               std::to_string(c.disabled) + " disabled";
        click(id_, 1);
        key(id_, k::Tab);
        EXPECT_EQ(focusOf(now(id_)), c.tabTo) << at;
        key(id_, c.arrow);
        EXPECT_EQ(focusOf(now(id_)), c.arrowTo) << at;
        EXPECT_EQ(value, c.arrowTo - 2) << at;
        // Leaving and coming back take one press each, to the radio chosen now.
        key(id_, k::Tab);
        EXPECT_EQ(focusOf(now(id_)), 6) << at;
        key(id_, k::ShiftTab);
        EXPECT_EQ(focusOf(now(id_)), c.arrowTo) << at;
        closeWindow();
    }
}
