#include "runtime/threads.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <mutex>
#include <new>
#include <string>
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

std::string tag(const char* what) { return std::string(what) + "@" + std::to_string(rt::currentThread()); }

TEST_F(ThreadsTest, HooksRunInTheFixedOrderAroundProcessAndThreads) {
    Recorder rec;
    using rt::Scope;
    // Registered out of order on purpose: the stage decides.
    rt::registerComponent(Scope::PerThread, rt::stage::Views, "views", nullptr,
                          [&] { rec.add(tag("views-closed")); });
    rt::registerComponent(Scope::PerThread, rt::stage::Dictionary, "dict",
                          [&] { rec.add(tag("dictionary-built")); },
                          [&] { rec.add(tag("dictionary-destroyed")); });
    rt::registerComponent(Scope::ProcessWide, rt::stage::IniManager, "ini",
                          [&] { rec.add(tag("ini-built")); }, [&] { rec.add(tag("ini-destroyed")); });
    rt::registerComponent(Scope::PerThread, rt::stage::ErrorStatus, "status",
                          [&] { rec.add(tag("status-built")); },
                          [&] { rec.add(tag("status-destroyed")); });
    rt::registerComponent(Scope::ProcessWide, rt::stage::ErrorReporter, "errors",
                          [&] { rec.add(tag("errors-built")); },
                          [&] { rec.add(tag("errors-destroyed")); });
    rt::registerComponent(Scope::PerThread, rt::stage::FileStructures, "files",
                          [&] { rec.add(tag("files-set-up")); },
                          [&] { rec.add(tag("files-destroyed")); });

    rt::ThreadNumber n = 0;
    rt::runProcess([&] {
        rec.add(tag("body"));
        n = rt::startThread([&] { rec.add(tag("procedure")); }, 25000);
    });
    ASSERT_GT(n, 1);
    const std::string t = "@" + std::to_string(n);

    const std::vector<std::string> expected = {
        "files-set-up@1", "errors-built@1", "ini-built@1", "status-built@1", "dictionary-built@1",
        "body@1",
        "files-set-up" + t, "status-built" + t, "dictionary-built" + t, "procedure" + t,
        "views-closed" + t, "dictionary-destroyed" + t, "status-destroyed" + t, "files-destroyed" + t,
        "views-closed@1", "dictionary-destroyed@1", "status-destroyed@1", "files-destroyed@1",
        "ini-destroyed@1", "errors-destroyed@1"};
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

}  // namespace
