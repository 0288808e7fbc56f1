#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "runtime/clock.h"
#include "runtime/date.h"

namespace {

using rt::CivilDate;
using rt::DayNumber;

// Every test that sets the manual clock leaves the system clock behind.
class ManualClock : public ::testing::Test {
  protected:
    void TearDown() override { rt::useSystemClock(); }
};

TEST(Date, KnownDayNumbers) {
    struct Case {
        int y, m, d;
        DayNumber n;
    } cases[] = {
        {1801, 1, 1, 4},      {1801, 1, 2, 5},     {1801, 12, 31, 368},
        {1802, 1, 1, 369},    {1970, 1, 1, 61730}, {2000, 1, 1, 72687},
        {2000, 2, 29, 72746}, {2000, 3, 1, 72747}, {9999, 12, 31, 2994626},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rt::dayNumber(c.y, c.m, c.d), c.n) << c.d << '.' << c.m << '.' << c.y;
        EXPECT_EQ(rt::civilDate(c.n), (CivilDate{c.y, c.m, c.d})) << c.n;
        EXPECT_EQ(rt::dayOf(c.n), c.d);
        EXPECT_EQ(rt::monthOf(c.n), c.m);
        EXPECT_EQ(rt::yearOf(c.n), c.y);
    }
}

// Walks the whole range a day at a time against a plain calendar.
TEST(Date, EveryDayFollowsThePreviousOne) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    CivilDate expect{1801, 1, 1};
    for (DayNumber n = rt::FirstDay; n <= rt::LastDay; ++n) {
        std::optional<CivilDate> c = rt::civilDate(n);
        ASSERT_TRUE(c) << n;
        ASSERT_EQ(*c, expect) << n;
        ASSERT_EQ(rt::dayNumber(c->year, c->month, c->day), n);
        const int length =
            expect.month == 2 && leap(expect.year) ? 29 : monthDays[expect.month - 1];
        if (++expect.day > length) {
            expect.day = 1;
            if (++expect.month > 12) {
                expect.month = 1;
                ++expect.year;
            }
        }
    }
    EXPECT_EQ(expect, (CivilDate{10000, 1, 1}));
}

TEST(Date, OutsideTheRangeIsNoDate) {
    for (DayNumber n : {0, 1, 3, -1, -72687, rt::LastDay + 1, 2994627, INT32_MAX, INT32_MIN}) {
        EXPECT_FALSE(rt::isDate(n)) << n;
        EXPECT_EQ(rt::civilDate(n), std::nullopt) << n;
        EXPECT_EQ(rt::dayOf(n), 0) << n;
        EXPECT_EQ(rt::monthOf(n), 0) << n;
        EXPECT_EQ(rt::yearOf(n), 0) << n;
    }
    EXPECT_TRUE(rt::isDate(4));
    EXPECT_TRUE(rt::isDate(2994626));
}

TEST(Date, DaysThatDoNotExistAreRefused) {
    struct Case {
        int y, m, d;
    } refused[] = {
        {1900, 2, 29}, {2100, 2, 29}, {2023, 2, 29},  {2020, 2, 30},  {2020, 2, 31}, {2021, 4, 31},
        {2021, 6, 31}, {2021, 9, 31}, {2021, 11, 31}, {2021, 1, 32},  {2021, 0, 1},  {2021, 13, 1},
        {2021, 1, 0},  {2021, -1, 1}, {1800, 12, 31}, {1800, 12, 28}, {10000, 1, 1}, {0, 1, 1},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(rt::dayNumber(c.y, c.m, c.d), std::nullopt) << c.d << '.' << c.m << '.' << c.y;
    }
    EXPECT_TRUE(rt::dayNumber(2000, 2, 29));
    EXPECT_TRUE(rt::dayNumber(2024, 2, 29));
    EXPECT_TRUE(rt::dayNumber(1600 + 400, 12, 31));
}

TEST_F(ManualClock, StandsStillUntilAdvanced) {
    rt::useManualClock(2024, 2, 28);
    EXPECT_TRUE(rt::manualClock());
    EXPECT_EQ(rt::nowMs(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rt::nowMs(), 0);
    EXPECT_EQ(rt::today(), *rt::dayNumber(2024, 2, 28));
    rt::WallTime w = rt::wallNow();
    EXPECT_EQ((std::vector<int>{w.year, w.month, w.day, w.hour, w.minute, w.second}),
              (std::vector<int>{2024, 2, 28, 0, 0, 0}));

    rt::advanceClock(10 * 3600 * 1000 + 5 * 60 * 1000 + 7 * 1000 + 999);
    w = rt::wallNow();
    EXPECT_EQ((std::vector<int>{w.year, w.month, w.day, w.hour, w.minute, w.second}),
              (std::vector<int>{2024, 2, 28, 10, 5, 7}));

    // Past midnight into the leap day, then into March.
    rt::advanceClock(14 * 3600 * 1000);
    EXPECT_EQ(rt::today(), *rt::dayNumber(2024, 2, 29));
    rt::advanceClock(24 * 3600 * 1000);
    EXPECT_EQ(rt::today(), *rt::dayNumber(2024, 3, 1));
    EXPECT_EQ(rt::nowMs(), 48LL * 3600 * 1000 + 5 * 60 * 1000 + 7 * 1000 + 999);

    // Time never runs backwards.
    const std::int64_t before = rt::nowMs();
    rt::advanceClock(-1000);
    EXPECT_EQ(rt::nowMs(), before);

    // Setting it again starts over at the new date.
    rt::useManualClock(1999, 12, 31);
    EXPECT_EQ(rt::nowMs(), 0);
    EXPECT_EQ(rt::today(), 72686);
    EXPECT_THROW(rt::useManualClock(2023, 2, 29), std::invalid_argument);
}

TEST_F(ManualClock, SystemClockRunsAndIgnoresAdvance) {
    rt::useSystemClock();
    EXPECT_FALSE(rt::manualClock());
    int calls = 0;
    int id = rt::addClockListener([&](std::int64_t) { ++calls; });
    const std::int64_t a = rt::nowMs();
    rt::advanceClock(1000000);
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    const std::int64_t b = rt::nowMs();
    EXPECT_GE(b - a, 10);
    EXPECT_LT(b - a, 1000000);
    EXPECT_EQ(calls, 0);
    rt::removeClockListener(id);
    rt::WallTime w = rt::wallNow();
    EXPECT_GE(w.year, 2020);
    EXPECT_TRUE(rt::dayNumber(w.year, w.month, w.day));
    EXPECT_EQ(rt::today(), *rt::dayNumber(w.year, w.month, w.day));
}

TEST_F(ManualClock, ListenersHearEachAdvanceAfterTheTimeMoved) {
    rt::useManualClock(2025, 6, 15);
    std::vector<std::int64_t> heard;
    std::vector<std::int64_t> readInside;
    int id = rt::addClockListener([&](std::int64_t now) {
        heard.push_back(now);
        readInside.push_back(rt::nowMs());  // reading the clock inside a listener is allowed
    });
    int calls2 = 0;
    int id2 = 0;
    id2 = rt::addClockListener([&](std::int64_t) {
        if (++calls2 == 2) rt::removeClockListener(id2);  // a listener may remove itself
    });
    rt::advanceClock(100);
    rt::advanceClock(0);
    rt::advanceClock(10000);
    rt::advanceClock(5);
    EXPECT_EQ(heard, (std::vector<std::int64_t>{100, 100, 10100, 10105}));
    EXPECT_EQ(readInside, heard);
    EXPECT_EQ(calls2, 2);

    rt::removeClockListener(id);
    rt::removeClockListener(id);  // twice is harmless
    rt::advanceClock(1);
    EXPECT_EQ(heard.size(), 4u);
}

TEST_F(ManualClock, ListenerMayAdvanceAndAddListeners) {
    rt::useManualClock(2025, 6, 15);
    std::vector<int> ids;
    int inner = 0;
    bool nested = false;
    ids.push_back(rt::addClockListener([&](std::int64_t now) {
        if (now == 1000 && !nested) {
            nested = true;
            ids.push_back(rt::addClockListener([&](std::int64_t) { ++inner; }));
            rt::advanceClock(1);  // re-entering the clock does not deadlock
        }
    }));
    rt::advanceClock(1000);
    EXPECT_EQ(rt::nowMs(), 1001);
    EXPECT_EQ(inner, 1);  // the nested advance reached the new listener
    rt::advanceClock(1);
    EXPECT_EQ(inner, 2);
    for (int id : ids) rt::removeClockListener(id);
}

TEST_F(ManualClock, AdvancesFromManyThreads) {
    rt::useManualClock(2025, 6, 15);
    std::mutex m;
    std::set<std::int64_t> heard;
    int id = rt::addClockListener([&](std::int64_t now) {
        std::lock_guard lock(m);
        heard.insert(now);
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                rt::advanceClock(3);
                (void)rt::nowMs();
                (void)rt::wallNow();
            }
        });
    }
    for (auto& th : threads) th.join();
    rt::removeClockListener(id);
    EXPECT_EQ(rt::nowMs(), 8 * 500 * 3);
    // Each advance told its own new time: none lost, none told twice.
    ASSERT_EQ(heard.size(), 8u * 500);
    EXPECT_EQ(*heard.begin(), 3);
    EXPECT_EQ(*heard.rbegin(), 8 * 500 * 3);
}

// After removeClockListener returns the listener is done for good, so its
// owner may be destroyed even while other threads keep advancing.
TEST_F(ManualClock, RemovedListenerIsNeverCalledAgain) {
    rt::useManualClock(2025, 6, 15);
    std::atomic<bool> stop{false};
    std::vector<std::thread> advancers;
    for (int t = 0; t < 4; ++t) {
        advancers.emplace_back([&] {
            while (!stop.load()) rt::advanceClock(1);
        });
    }
    for (int round = 0; round < 200; ++round) {
        auto gone = std::make_shared<std::atomic<bool>>(false);
        auto lateCalls = std::make_shared<std::atomic<int>>(0);
        int id = rt::addClockListener([gone, lateCalls](std::int64_t) {
            if (gone->load()) lateCalls->fetch_add(1);
            std::this_thread::yield();
        });
        std::this_thread::yield();
        rt::removeClockListener(id);
        gone->store(true);
        std::this_thread::yield();
        EXPECT_EQ(lateCalls->load(), 0) << "round " << round;
    }
    stop.store(true);
    for (auto& th : advancers) th.join();
}

}  // namespace
