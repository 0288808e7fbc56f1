// Every window the program registers opens. Building a window resolves the
// field and key labels its description names (rt::FieldOf, rt::KeyOf), and
// a label the file does not have throws: here it fails the test, naming the
// window and the label, instead of ending the program the first time a user
// opens that window.
//
// Each registered procedure is started as the menu starts one, over an empty
// database, under the program's own frame. Its notices are answered as their
// close box would; a list's "Upis" button opens its form, which is closed
// again; then the window is closed. An exception that escapes a procedure
// thread is recorded with the procedure's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/procedures.h"
#include "core/frame/procedures.h"
#include "core/startup/program.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

namespace {

// A list's "Upis" that the user can press ("?Insert:2", "?INSERT:2").
bool IsInsertButton(const rt::ControlView& c) {
    std::string name = c.name.substr(0, 7);
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return c.kind == rt::ControlKind::Button && name == "?INSERT" && c.visible && c.enabled;
}

class EveryWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
        // After the backend, which installs the fatal path: an escaped
        // exception is recorded here and the program goes on.
        rt::setEscapeHandler([this](const std::string& where, const std::string& what) {
            std::lock_guard g(m_);
            escaped_.push_back(current_ + " (" + where + "): " + what);
        });
        RegisterAllProcedures();
        program_ = std::thread([this] {
            runProgram();
            programDone_ = true;
        });
        for (int i = 0; i < 1000 && !rt::frameWindow(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        frame_ = rt::frameWindow();
    }
    void TearDown() override {
        if (frame_) rt::input(frame_, rt::Input{rt::Input::Kind::Close});
        waitFor(
            [this] {
                answerAll();
                return programDone_.load();
            },
            10000);
        program_.join();
        rt::setEscapeHandler({});
        ClearProcedures();
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }

    // Every open notice or question answered as its close box answers it.
    void answerAll() {
        for (const rt::OpenDialog& d : rt::openDialogs()) {
            rt::DialogAnswer a;
            a.closeBox = true;
            rt::answerDialog(d.id, a);
        }
        rt::waitIdle(5000);
    }

    // The windows other than the frame and those in before, the newest last.
    std::vector<rt::ViewPtr> windows(const std::set<int>& before) const {
        std::vector<rt::ViewPtr> out;
        for (const rt::ViewPtr& v : rt::views())
            if (v->kind != rt::WindowKind::Frame && !before.count(v->id)) out.push_back(v);
        std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a->id < b->id; });
        return out;
    }

    // Polls until holds() or ms have passed; its last answer.
    template <class Holds>
    static bool waitFor(Holds holds, int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            rt::waitIdle(ms);
            if (holds()) return true;
            if (std::chrono::steady_clock::now() > until) return false;
            rt::advanceClock(100);  // timers: the splash, a report's progress
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // Starts name, opens the form of each "Upis" its windows offer, closes
    // everything it opened. False when it would not end.
    bool Walk(const std::string& name) {
        {
            std::lock_guard g(m_);
            current_ = name;
        }
        std::set<int> before;
        for (const rt::ViewPtr& v : rt::views()) before.insert(v->id);
        auto done = std::make_shared<std::atomic<bool>>(false);
        struct Done {
            std::shared_ptr<std::atomic<bool>> flag;
            ~Done() { *flag = true; }
        };
        rt::startProcedure([p = FindProcedure(name), done] {
            Done d{done};
            p();
        });
        std::set<int> pressed;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            // Something to act on: a box, a window, or the procedure's end.
            waitFor([&] { return !rt::openDialogs().empty() || !windows(before).empty() || *done; },
                    5000);
            if (!rt::openDialogs().empty()) {
                answerAll();
                continue;
            }
            const std::vector<rt::ViewPtr> open = windows(before);
            if (open.empty()) {
                if (*done) return true;
                continue;
            }
            // The window that takes input: the newest one not waiting on another.
            rt::ViewPtr top;
            for (const rt::ViewPtr& v : open)
                if (v->enabled) top = v;
            if (!top) continue;
            const int id = top->id;
            auto changed = [&] {
                const auto now = windows(before);
                return !rt::openDialogs().empty() || now.empty() || now.back()->id != id;
            };
            if (pressed.insert(id).second) {
                const auto insert =
                    std::find_if(top->controls.begin(), top->controls.end(), IsInsertButton);
                if (insert != top->controls.end()) {
                    rt::input(id, rt::Input{rt::Input::Kind::Click, insert->id});
                    waitFor(changed, 5000);
                    continue;
                }
            }
            rt::input(id, rt::Input{rt::Input::Kind::Close});
            waitFor(changed, 5000);
        }
        return false;
    }

    testsupport::TempDir dir_;
    windowtest::NullBackend backend_;
    std::thread program_;
    std::atomic<bool> programDone_{false};
    int frame_ = 0;
    std::mutex m_;
    std::string current_;
    std::vector<std::string> escaped_;
};

TEST_F(EveryWindowTest, OpensWithEveryFieldAndKeyItNames) {
    ASSERT_NE(frame_, 0) << "the frame did not open";
    const std::vector<std::string> names = RegisteredProcedures();
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(Walk(name)) << name << " did not end";
    }
    std::lock_guard g(m_);
    EXPECT_TRUE(escaped_.empty()) << ::testing::PrintToString(escaped_);
}

}  // namespace
