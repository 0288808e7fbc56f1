// The frame's menu starts each item's procedure on a thread of its own with
// the stack size of the menu table; hidden items start nothing.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "core/frame/main_frame.h"
#include "core/frame/procedures.h"
#include "framework/globals.h"
#include "runtime/clock.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

using namespace windowtest;

namespace {

struct Start {
    std::string procedure;
    rt::ThreadNumber thread;
    std::size_t stack;
};

class FrameMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rt::useManualClock(2024, 1, 15);
        rt::setBackend(&backend_);
        INIMgr().Init(".\\Sutrik.INI", 0, 0);
        for (const MenuRow& r : MainMenu()) {
            if (!r.procedure) continue;
            const std::string name = r.procedure;
            RegisterProcedure(name, [this, name] {
                std::lock_guard g(m_);
                const rt::ThreadNumber t = rt::currentThread();
                starts_.push_back({name, t, rt::requestedStack(t)});
            });
        }
        rt::startProcedure(Main);
        ASSERT_TRUE(waitWindow("Evidencija članova PD - Sutrik v-1.0"));
        frame_ = rt::frameWindow();
    }
    void TearDown() override {
        send(frame_, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        ClearProcedures();
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
    }
    int item(const char* label) {
        const auto want = rt::fromUtf8(label).value();
        auto v = now(frame_);
        for (const auto& c : v->controls)
            if (rt::fromUtf8(c.name).value_or("") == want) return c.id;
        ADD_FAILURE() << "no menu item " << label;
        return 0;
    }
    testsupport::TempDir dir_;
    windowtest::NullBackend backend_;
    std::mutex m_;
    std::vector<Start> starts_;
    int frame_ = 0;
};

TEST_F(FrameMenuTest, EachItemStartsItsProcedureWithItsStack) {
    for (const MenuRow& r : MainMenu()) {
        if (r.kind != MenuRow::Kind::Item || !r.procedure || r.hidden) continue;
        SCOPED_TRACE(r.procedure);
        {
            std::lock_guard g(m_);
            starts_.clear();
        }
        send(frame_, rt::Input{rt::Input::Kind::Menu, item(r.label)});
        std::vector<Start> s;
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard g(m_);
                s = starts_;
            }
            if (!s.empty()) break;
            idle();
        }
        ASSERT_EQ(s.size(), 1u);
        EXPECT_EQ(s[0].procedure, r.procedure);
        EXPECT_NE(s[0].thread, rt::currentThread());
        EXPECT_EQ(s[0].stack, r.stack);
    }
    // the stack sizes the menu asks for
    std::map<std::string, std::size_t> stacks;
    for (const MenuRow& r : MainMenu())
        if (r.procedure) stacks[r.procedure] = r.stack;
    EXPECT_EQ(stacks["BrowseCLANOVI"], 50000u);
    EXPECT_EQ(stacks["BrowseNACION"], 50000u);
    EXPECT_EQ(stacks["BrowseBRAST"], 50000u);
    EXPECT_EQ(stacks["BrowseTURPOS"], 50000u);
    EXPECT_EQ(stacks["BrowsePLANSA"], 25000u);
    EXPECT_EQ(stacks["UpitANGAZOV"], 25000u);
}

TEST_F(FrameMenuTest, SameItemTwiceStartsTwoThreads) {
    const int plansa = item("?PODACIPLANINARSKISAVEZI");
    send(frame_, rt::Input{rt::Input::Kind::Menu, plansa});
    send(frame_, rt::Input{rt::Input::Kind::Menu, plansa});
    std::vector<Start> s;
    for (int i = 0; i < 500 && s.size() < 2; ++i) {
        idle();
        std::lock_guard g(m_);
        s = starts_;
    }
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].procedure, "BrowsePLANSA");
    EXPECT_EQ(s[1].procedure, "BrowsePLANSA");
    EXPECT_NE(s[0].thread, s[1].thread);
}

TEST_F(FrameMenuTest, HiddenItemsStartNothing) {
    send(frame_, rt::Input{rt::Input::Kind::Menu, item("?ANGAZOVANJEEVIDENCIJAPOSLOVA")});
    send(frame_, rt::Input{rt::Input::Kind::Menu, item("?ANGAZOVANJEIVJESTAJIOPOSLOVIMA")});
    idle();
    std::lock_guard g(m_);
    EXPECT_TRUE(starts_.empty());
}

}  // namespace
