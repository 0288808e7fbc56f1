#include "runtime/threads.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Recorder {
    std::mutex lock;
    std::vector<std::string> events;
    void add(std::string e) {
        std::lock_guard g(lock);
        events.push_back(std::move(e));
    }
};

class ThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override { rt::clearComponents(); }
    void TearDown() override { rt::clearComponents(); }
};

std::string tag(const char* what) {
    return std::string(what) + "@" + std::to_string(rt::currentThread());
}

TEST_F(ThreadsTest, HooksRunInTheFixedOrderAroundProcessAndThreads) {
    Recorder rec;
    using rt::Scope;
    // Registered out of order on purpose: the stage decides.
    rt::registerComponent(Scope::PerThread, rt::stage::Views, "views", nullptr,
                          [&] { rec.add(tag("views-closed")); });
    rt::registerComponent(
        Scope::PerThread, rt::stage::Dictionary, "dict", [&] { rec.add(tag("dictionary-built")); },
        [&] { rec.add(tag("dictionary-destroyed")); });
    rt::registerComponent(
        Scope::ProcessWide, rt::stage::IniManager, "ini", [&] { rec.add(tag("ini-built")); },
        [&] { rec.add(tag("ini-destroyed")); });
    rt::registerComponent(
        Scope::PerThread, rt::stage::ErrorStatus, "status", [&] { rec.add(tag("status-built")); },
        [&] { rec.add(tag("status-destroyed")); });
    rt::registerComponent(
        Scope::ProcessWide, rt::stage::ErrorReporter, "errors",
        [&] { rec.add(tag("errors-built")); }, [&] { rec.add(tag("errors-destroyed")); });
    rt::registerComponent(
        Scope::PerThread, rt::stage::FileStructures, "files", [&] { rec.add(tag("files-set-up")); },
        [&] { rec.add(tag("files-destroyed")); });

    rt::ThreadNumber n = 0;
    rt::runProcess([&] {
        rec.add(tag("body"));
        n = rt::startThread([&] { rec.add(tag("procedure")); }, 25000);
    });
    ASSERT_GT(n, 1);
    const std::string t = "@" + std::to_string(n);

    const std::vector<std::string> expected = {
        "files-set-up@1",         "errors-built@1",      "ini-built@1",
        "status-built@1",         "dictionary-built@1",  "body@1",
        "files-set-up" + t,       "status-built" + t,    "dictionary-built" + t,
        "procedure" + t,          "views-closed" + t,    "dictionary-destroyed" + t,
        "status-destroyed" + t,   "files-destroyed" + t, "views-closed@1",
        "dictionary-destroyed@1", "status-destroyed@1",  "files-destroyed@1",
        "ini-destroyed@1",        "errors-destroyed@1"};
    EXPECT_EQ(rec.events, expected);
}

TEST_F(ThreadsTest, RequestedStackIsKeptAndHonouredAsAMinimum) {
    std::size_t actual = 0;
    rt::ThreadNumber n = 0;
    rt::runProcess([&] {
        n = rt::startThread(
            [&] {
                pthread_attr_t attr;
                pthread_getattr_np(pthread_self(), &attr);
                pthread_attr_getstacksize(&attr, &actual);
                pthread_attr_destroy(&attr);
            },
            50000);
    });
    EXPECT_EQ(rt::requestedStack(n), 50000u);
    EXPECT_GE(actual, rt::MinimumRealStack);
    EXPECT_EQ(rt::requestedStack(1), rt::DefaultStack);
}

TEST_F(ThreadsTest, ProcessEndWaitsForThreadsStartedByThreads) {
    std::mutex m;
    std::vector<rt::ThreadNumber> seen;
    rt::runProcess([&] {
        rt::startThread([&] {
            rt::startThread([&] {
                std::lock_guard g(m);
                seen.push_back(rt::currentThread());
            });
            std::lock_guard g(m);
            seen.push_back(rt::currentThread());
        });
    });
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(rt::runningThreads(), 0);
    EXPECT_EQ(rt::currentThread(), 0);  // outside a process run
}

TEST_F(ThreadsTest, ABodyThatThrowsIsReportedAsAFailureAndTheProcessStillEnds) {
    Recorder rec;
    rt::registerComponent(rt::Scope::ProcessWide, rt::stage::IniManager, "ini", nullptr,
                          [&] { rec.add("ini-destroyed"); });
    EXPECT_TRUE(rt::runProcess([] {}));
    EXPECT_FALSE(rt::runProcess([] { throw std::bad_alloc(); }));
    EXPECT_EQ(rec.events, (std::vector<std::string>{"ini-destroyed", "ini-destroyed"}));
}

// The process's mapped memory in KiB (VmSize in /proc/self/status).
long mappedKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return -1;
}

// A program runs all day and opens a window, and so a thread, many times: a
// thread that has ended must give its stack back long before the process
// ends, not pile up until then.
TEST_F(ThreadsTest, EndedThreadsGiveTheirStacksBackWhileTheProcessRuns) {
    long grown = 0;
    rt::runProcess([&] {
        std::atomic<int> done{0};
        auto oneAfterAnother = [&](int n) {
            for (int i = 0; i < n; ++i) {
                const int want = done + 1;
                rt::startThread([&] { ++done; }, 25000);
                while (done < want) std::this_thread::yield();
                while (rt::runningThreads() > 0) std::this_thread::yield();
            }
        };
        oneAfterAnother(8);
        const long before = mappedKiB();
        oneAfterAnother(64);
        grown = mappedKiB() - before;
    });
    // Each thread's stack is at least 1 MiB; 64 kept would be 64 MiB.
    EXPECT_LT(grown, 16 * 1024) << "KiB mapped after 64 threads ended";
}

}  // namespace
