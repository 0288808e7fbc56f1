// The entry windows: which selected events count as the focus arriving, and
// the next running number over the real SQLite storage (the last line of the
// club in key order, read in one bounded statement through a buffer of its
// own).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/storage_fixture.h"
#include "framework/entry_window.h"
#include "framework/file_manager.h"
#include "framework/globals.h"
#include "runtime/clock.h"
#include "runtime/threads.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

namespace {

using storagetest::Ledger;

class LastInKeyOrderTest : public storagetest::StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        GlobalErrors().Init(&GlobalErrorStatus);
        access.Buffer = &buffer;
        access.FileNameValue = "CLANAR";
        access.File = &ledger;
        access.Init();
        access.Init(ledger, GlobalErrors());
    }
    void TearDown() override {
        access.Kill();
        StorageTest::TearDown();
    }
    void store(std::int32_t sps, std::int32_t sip, std::int32_t sif, std::int32_t dad,
               std::int32_t red) {
        Ledger l;
        l.CL_SPS = sps;
        l.CL_SIP = sip;
        l.CL_SIF = sif;
        l.CL_DAD = dad;
        l.CL_RED = red;
        l.CL_DOK = "D";
        Ledger keep = buffer;
        buffer = l;
        ASSERT_EQ(ledger.add(), 0);
        buffer = keep;
    }

    Ledger buffer;  // the record buffer the window's entries edit
    rt::FileStructure ledger{storagetest::ledgerDef(), &buffer};
    FileManager access;
};

TEST_F(LastInKeyOrderTest, TheClubsLastLineInKeyOrder) {
    const rt::FileDef& def = storagetest::ledgerDef();
    LastInKeyOrder next(access, def.keyIndex("CLA1:KeyCL_UKP"), 2, def.fieldIndex("CLA1:CL_RED"));
    // No table yet: the window's own access object creates it; no line.
    EXPECT_EQ(next.Read({1, 3}), std::nullopt);
    // Member 5 with 1 and 7, member 9 with 3: member 9's line is the last in
    // key order; the clubs beside it (same club in another federation, the
    // clubs before and after) are not read.
    store(1, 3, 5, 100, 1);
    store(1, 3, 5, 100, 7);
    store(1, 3, 9, 50, 3);
    store(1, 2, 99, 900, 40);
    store(1, 4, 1, 1, 50);
    store(2, 3, 99, 900, 60);
    struct Case {
        std::int64_t sps, sip;
        std::optional<std::int32_t> last;
    };
    const Case cases[] = {{1, 3, 3},  {1, 2, 40},           {1, 4, 50},
                          {2, 3, 60}, {1, 5, std::nullopt}, {3, 3, std::nullopt}};
    buffer.CL_SIF = 12;
    buffer.CL_DOK = "typed";
    std::vector<std::string> statements;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
        statements.push_back(sql);
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sps) + "/" + std::to_string(c.sip));
        statements.clear();
        EXPECT_EQ(next.Read({c.sps, c.sip}), c.last);
        ASSERT_EQ(statements.size(), 1u);
        storagetest::RawDb raw(storagetest::databasePath());
        EXPECT_EQ(storagetest::unboundedBecause(raw, statements[0]), "") << statements[0];
    }
    storage::setTrace({});
    // The entries' buffer is never read into.
    EXPECT_EQ(buffer.CL_SIF, 12);
    EXPECT_EQ(std::string(buffer.CL_DOK.bytes.data(), 5), "typed");
    // A line written since is found at once.
    store(1, 3, 10, 1, 2);
    EXPECT_EQ(next.Read({1, 3}), 2);
}

// The number the next line takes: one after the club's last line, after
// the number given when the club has none, never past the largest 32-bit
// number; lines that cannot be read give the number after the one given
// and say why.
TEST_F(LastInKeyOrderTest, NextIsOneAfterTheLastLineOrAfterTheNumberGiven) {
    constexpr std::int32_t Largest = std::numeric_limits<std::int32_t>::max();
    const rt::FileDef& def = storagetest::ledgerDef();
    LastInKeyOrder next(access, def.keyIndex("CLA1:KeyCL_UKP"), 2, def.fieldIndex("CLA1:CL_RED"));
    store(1, 3, 5, 100, 7);
    store(1, 4, 5, 100, Largest);
    struct Case {
        const char* what;
        std::int64_t sip, none;
        std::int32_t want;
    };
    const Case cases[] = {
        {"no line", 9, 0, 1},
        {"no line, from the number shown", 9, 41, 42},
        {"no line, from the largest", 9, Largest, Largest},
        {"a line", 3, 41, 8},
        {"a line under the largest", 4, 0, Largest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(next.Next({1, c.sip}, c.none), c.want);
        EXPECT_TRUE(next.Failure().ok()) << next.Failure().fileError;
    }
    {
        storagetest::OtherProcess other(storagetest::databasePath(), {"BEGIN EXCLUSIVE"});
        ASSERT_TRUE(other.ready());
        EXPECT_EQ(next.Next({1, 3}, 41), 42);
        EXPECT_EQ(next.Failure().code, rt::FileErr::FileSystemError);
        EXPECT_EQ(next.Failure().fileError, "The database file is locked");
    }
    EXPECT_EQ(next.Next({1, 3}, 41), 8);
    EXPECT_TRUE(next.Failure().ok());
}

// An entry window of three entries that counts the arrivals in each; its
// first field is the last entry (a write field), the first entry's accepted
// handler keeps the focus there as a lookup does after a cancelled choice,
// and an arrival in the last entry is refused with a notice that sends the
// focus to the second.
class ArrivalProbe : public EntryWindowProcedure {
  public:
    ArrivalProbe(rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                 std::array<std::atomic<int>, 4>& arrivals)
        : EntryWindowProcedure("ArrivalProbe", w, ebt, &tb), arrivals_(arrivals) {}

  protected:
    int ChooseFirstField() override { return 3; }
    void BeforeSelected(int control) override {
        ++arrivals_[static_cast<std::size_t>(control)];
        if (control == 3) Refuse("Stop", 2);
    }
    Level TakeAccepted() override {
        if (Win->field() == 1) Win->select(1);
        return EntryWindowProcedure::TakeAccepted();
    }

  private:
    std::array<std::atomic<int>, 4>& arrivals_;
};

class EntryWindowTest : public ::testing::Test {
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

TEST_F(EntryWindowTest, OnlyAFocusMovedFromAnotherControlArrives) {
    using namespace windowtest;
    std::array<std::atomic<int>, 4> arrivals{};
    std::int32_t a = 0, b = 0, c = 0;
    auto window = [&](const char* title, bool probe) {
        rt::startProcedure([&, title, probe] {
            EnterByTabClass ebt;
            rt::WindowDesc d;
            d.title = title;
            d.at = {0, 0, 200, 100};
            rt::Window w(d);
            w.add(entry("?A", rt::bind(a), "@n_3"));
            w.add(entry("?B", rt::bind(b), "@n_3"));
            w.add(entry("?C", rt::bind(c), "@n_3"));
            ToolbarClass tb;
            if (probe) {
                ArrivalProbe p(w, ebt, tb, arrivals);
                p.Run();
            } else {
                WindowProcedure p("Other", w, ebt, &tb);
                p.Run();
            }
        });
        auto v = waitWindow(title);
        return v ? v->id : 0;
    };
    auto counts = [&] {
        return std::array<int, 3>{arrivals[1].load(), arrivals[2].load(), arrivals[3].load()};
    };
    const int id = window("Probe", true);
    ASSERT_NE(id, 0);
    // The first focus, in the last entry, is no arrival.
    EXPECT_EQ(focusOf(now(id)), 3);
    EXPECT_EQ(counts(), (std::array<int, 3>{0, 0, 0}));
    key(id, rt::key::Tab);  // round to the first entry
    EXPECT_EQ(counts(), (std::array<int, 3>{1, 0, 0}));
    // The accepted handler keeps the focus: no arrival, neither there nor next.
    type(id, 1, "5");
    key(id, rt::key::Tab);
    EXPECT_EQ(focusOf(now(id)), 1);
    EXPECT_EQ(counts(), (std::array<int, 3>{1, 0, 0}));
    // A click into the last entry arrives; the notice's answer moves the
    // focus once, and arrives nowhere else.
    send(id, rt::Input{rt::Input::Kind::Focus, 3});
    auto open = rt::openDialogs();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].request.message.title, "");
    EXPECT_EQ(open[0].request.message.text, "Stop");
    EXPECT_EQ(counts(), (std::array<int, 3>{1, 0, 1}));
    rt::answerDialog(open[0].id, rt::DialogAnswer{rt::ButtonOk});
    idle();
    EXPECT_EQ(focusOf(now(id)), 2);
    EXPECT_EQ(counts(), (std::array<int, 3>{1, 1, 1}));
    // Another window taking the activation and giving it back.
    const int other = window("Other", false);
    ASSERT_NE(other, 0);
    send(other, rt::Input{rt::Input::Kind::Close});
    send(id, rt::Input{rt::Input::Kind::Activate});
    EXPECT_EQ(focusOf(now(id)), 2);
    EXPECT_EQ(counts(), (std::array<int, 3>{1, 1, 1}));
    send(id, rt::Input{rt::Input::Kind::Close});
}

}  // namespace
