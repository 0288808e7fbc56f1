// Stepping a club's document counter: the value is stored before the
// message shows it, steps from several threads at once are all kept, and a
// club without a counter row, or a step out of the 32-bit range, stores
// nothing and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "activities/counter_step.h"
#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "framework/globals.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "support/temp_dir.h"

namespace {

using storagetest::RawDb;

class CounterStepTest : public ::testing::Test {
  protected:
    struct Shown {
        std::string title, text, stored;  // stored: the counters as the box opened
    };
    std::mutex m;
    std::vector<Shown> shown;
    bool lookWhenShown = true;

    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        rt::clearComponents();
        installFrameworkComponents();
        rt::installFileComponents();
        installDictionaryComponents();
        // The table as the program creates it.
        onThreads(1, [this](int) { EXPECT_EQ(DOKAN.count(rows_), 0); });
        rt::setMessageHandler([this](const rt::MessageRequest& r) {
            // While another thread steps, its transaction keeps other
            // connections out: what is stored is looked at only when one
            // thread steps.
            std::string now = lookWhenShown ? stored() : "";
            std::lock_guard g(m);
            shown.push_back({r.title, r.text, now});
            return r.defaultButton;
        });
    }
    void TearDown() override {
        rt::clearComponents();
        rt::setMessageHandler({});
        storage::closeAllConnections();
    }

    // Runs body on a procedure thread of a process, with the thread's file
    // objects, DOKAN open.
    void onThreads(int threads, const std::function<void(int)>& body) {
        rt::runProcess([&] {
            DctInit();
            for (int t = 0; t < threads; ++t) {
                rt::startThread([&body, t] {
                    Relate::DOKAN->Open();
                    body(t);
                    Relate::DOKAN->Close();
                });
            }
            rt::joinAllThreads();
        });
    }
    std::string stored() {
        RawDb raw("Clanovi.sqlite", SQLITE_OPEN_READONLY);
        return raw.scalar(
            "SELECT group_concat(D1_SIP || '|' || D1_BRJ, ' ') FROM (SELECT * FROM DOKAN ORDER BY "
            "D1_SIP)");
    }

    testsupport::TempDir dir;
    std::int64_t rows_ = 0;
};

TEST_F(CounterStepTest, TheMessageShowsTheValueAlreadyStored) {
    RawDb("Clanovi.sqlite").exec("INSERT INTO DOKAN VALUES (1, 17), (2, 0)");
    std::vector<bool> ok;
    onThreads(1, [&](int) {
        ok.push_back(activities::StepDocumentCounter(1, 1));
        ok.push_back(activities::StepDocumentCounter(2, -1));
        ok.push_back(activities::StepDocumentCounter(2, -1));
    });
    EXPECT_EQ(ok, (std::vector<bool>{true, true, true}));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "Tekući broj je 18");
    EXPECT_EQ(shown[0].stored, "1|18 2|0");
    EXPECT_EQ(shown[1].text, "Tekući broj je -1");
    EXPECT_EQ(shown[1].stored, "1|18 2|-1");
    EXPECT_EQ(shown[2].text, "Tekući broj je -2");
    EXPECT_EQ(stored(), "1|18 2|-2");
}

TEST_F(CounterStepTest, StepsFromSeveralThreadsAtOnceAreAllKept) {
    RawDb("Clanovi.sqlite").exec("INSERT INTO DOKAN VALUES (1, 0), (2, 100)");
    constexpr int Threads = 4, Each = 25;
    lookWhenShown = false;
    std::atomic<int> failed{0};
    onThreads(Threads, [&](int) {
        for (int i = 0; i < Each; ++i)
            if (!activities::StepDocumentCounter(1, 1)) ++failed;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(stored(), "1|" + std::to_string(Threads * Each) + " 2|100");
    // Each message shows a value of its own: no two steps saw the same one.
    std::vector<std::string> texts;
    for (const Shown& s : shown) texts.push_back(s.text);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
}

TEST_F(CounterStepTest, NothingIsStoredWhenTheStepCannotBeMade) {
    RawDb("Clanovi.sqlite")
        .exec("INSERT INTO DOKAN VALUES (1, 2147483647), (2, -2147483648), (3, 7)");
    struct Case {
        std::int32_t club;
        int delta;
    };
    const std::vector<Case> cases = {{1, 1}, {2, -1}, {4, 1}, {0, -1}};
    std::vector<bool> ok;
    onThreads(1, [&](int) {
        for (const Case& c : cases) ok.push_back(activities::StepDocumentCounter(c.club, c.delta));
    });
    EXPECT_EQ(ok, std::vector<bool>(cases.size(), false));
    ASSERT_EQ(shown.size(), cases.size());
    for (const Shown& s : shown) {
        EXPECT_EQ(s.title, "Record was not updated");
        EXPECT_NE(s.text.find("DOKAN file"), std::string::npos) << s.text;
    }
    EXPECT_NE(shown[2].text.find("Record Not Available (33)"), std::string::npos) << shown[2].text;
    EXPECT_EQ(stored(), "1|2147483647 2|-2147483648 3|7");
}

// Another process still reading when the step is to be stored: COMMIT
// waits its two seconds, then nothing is stored, the buffer keeps the stored
// value and the notice says why; with the reader gone the same step goes
// through.
TEST_F(CounterStepTest, AStepWhoseCommitFailsIsNotStored) {
    RawDb("Clanovi.sqlite").exec("INSERT INTO DOKAN VALUES (1, 17)");
    lookWhenShown = false;
    std::vector<bool> ok;
    std::vector<std::int32_t> buffer;
    auto step = [&](int) {
        ok.push_back(activities::StepDocumentCounter(1, 1));
        buffer.push_back(DOK.D1_BRJ);
    };
    {
        storage::closeAllConnections();  // none may cross the fork
        storagetest::OtherProcess reader("Clanovi.sqlite", {"BEGIN", "SELECT COUNT(*) FROM DOKAN"});
        ASSERT_TRUE(reader.ready());
        onThreads(1, step);
    }
    onThreads(1, step);
    EXPECT_EQ(ok, (std::vector<bool>{false, true}));
    EXPECT_EQ(buffer, (std::vector<std::int32_t>{17, 18}));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Record was not updated");
    EXPECT_NE(shown[0].text.find("locked"), std::string::npos) << shown[0].text;
    EXPECT_EQ(shown[1].text, "Tekući broj je 18");
    EXPECT_EQ(stored(), "1|18");
}

}  // namespace
