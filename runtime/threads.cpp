#include "runtime/threads.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace rt {
namespace {

struct Component {
    Scope scope;
    int stage;
    std::string name;
    std::function<void()> start;
    std::function<void()> end;
};

struct ThreadInfo {
    std::size_t requested = DefaultStack;
    pthread_t handle{};
    bool joinable = false;
    bool running = false;
};

struct Registry {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Component> components;  // kept sorted by stage, stable
    std::map<ThreadNumber, ThreadInfo> threads;
    ThreadNumber next = 2;  // 1 is the program body
    int running = 0;
    std::vector<ThreadNumber> ended;  // ended, not joined yet
};

Registry& registry() {
    static Registry r;
    return r;
}

thread_local ThreadNumber tlsNumber = 0;

std::vector<Component> snapshot() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    return r.components;
}

void runStarts(const std::vector<Component>& cs, bool perThread, int from, int to) {
    for (const auto& c : cs) {
        if ((c.scope == Scope::PerThread) != perThread) continue;
        if (c.stage < from || c.stage >= to) continue;
        if (c.start) c.start();
    }
}

void runEnds(const std::vector<Component>& cs, bool perThread) {
    for (auto it = cs.rbegin(); it != cs.rend(); ++it) {
        if ((it->scope == Scope::PerThread) != perThread) continue;
        if (it->end) it->end();
    }
}

std::mutex escapeLock;
EscapeHandler escapeHandler;

// Called inside a catch block: reports the exception being handled.
std::string reportEscaped(const char* where) {
    std::string what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    std::fprintf(stderr, "%s: unhandled exception: %s\n", where, what.c_str());
    return what;
}

// The same, then the escape handler (the process's fatal path) if one is set.
void escaped(const char* where) {
    const std::string what = reportEscaped(where);
    EscapeHandler h;
    {
        std::lock_guard g(escapeLock);
        h = escapeHandler;
    }
    if (!h) return;
    try {
        h(where, what);
    } catch (...) {
        reportEscaped("escape handler");
    }
}

struct Start {
    ThreadNumber number;
    std::function<void()> procedure;
};

void* threadMain(void* arg) {
    std::unique_ptr<Start> start(static_cast<Start*>(arg));
    tlsNumber = start->number;
    const auto cs = snapshot();
    try {
        runStarts(cs, true, 0, 1 << 30);
        start->procedure();
    } catch (...) {
        escaped("procedure thread");
    }
    try {
        runEnds(cs, true);
    } catch (...) {
        reportEscaped("thread end");
    }
    auto& r = registry();
    {
        std::lock_guard g(r.lock);
        r.threads[start->number].running = false;
        r.ended.push_back(start->number);
        --r.running;
    }
    r.changed.notify_all();
    return nullptr;
}

// Joins the threads that have ended, without waiting (under r.lock): the
// program starts a thread for every window it opens all day, and a thread
// not joined keeps its stack and thread-local state until the process
// ends. One still on its way out (its thread-local destructors may wait for
// locks the caller holds) is left for the next time.
void joinEnded(Registry& r) {
    std::size_t kept = 0;
    for (ThreadNumber n : r.ended) {
        ThreadInfo& t = r.threads[n];
        if (!t.joinable) continue;  // joined by joinAllThreads meanwhile
        if (pthread_tryjoin_np(t.handle, nullptr) == 0)
            t.joinable = false;
        else
            r.ended[kept++] = n;
    }
    r.ended.resize(kept);
}

}  // namespace

void registerComponent(Scope scope, int stage, std::string name, std::function<void()> start,
                       std::function<void()> end) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    Component c{scope, stage, std::move(name), std::move(start), std::move(end)};
    auto pos = std::upper_bound(r.components.begin(), r.components.end(), stage,
                                [](int s, const Component& x) { return s < x.stage; });
    r.components.insert(pos, std::move(c));
}

void clearComponents() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.components.clear();
}

void setEscapeHandler(EscapeHandler handler) {
    std::lock_guard g(escapeLock);
    escapeHandler = std::move(handler);
}

bool runProcess(const std::function<void()>& body) {
    tlsNumber = 1;
    {
        auto& r = registry();
        std::lock_guard g(r.lock);
        r.threads[1] = ThreadInfo{DefaultStack, {}, false, true};
    }
    const auto cs = snapshot();
    // Process start: the main thread's file structures, the process-wide
    // objects, then the rest of the main thread's per-thread state.
    runStarts(cs, true, 0, stage::ProcessObjects);
    runStarts(cs, false, 0, 1 << 30);
    runStarts(cs, true, stage::ProcessObjects, 1 << 30);
    bool ended = true;
    try {
        body();
    } catch (...) {
        ended = false;
        escaped("program body");
    }
    joinAllThreads();
    // Process end: the thread-end steps of the main thread, then the
    // process-wide objects in reverse order of their making.
    runEnds(cs, true);
    runEnds(cs, false);
    {
        auto& r = registry();
        std::lock_guard g(r.lock);
        r.threads[1].running = false;
    }
    tlsNumber = 0;
    return ended;
}

ThreadNumber startThread(std::function<void()> procedure, std::size_t requested) {
    auto& r = registry();
    ThreadNumber number;
    {
        std::lock_guard g(r.lock);
        joinEnded(r);
        number = r.next++;
        r.threads[number] = ThreadInfo{requested, {}, false, true};
        ++r.running;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    std::size_t stack = std::max(requested, MinimumRealStack);
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) stack = (stack + page - 1) / page * page;
    pthread_attr_setstacksize(&attr, stack);
    auto* start = new Start{number, std::move(procedure)};
    pthread_t handle;
    const int rc = pthread_create(&handle, &attr, &threadMain, start);
    pthread_attr_destroy(&attr);
    std::lock_guard g(r.lock);
    if (rc != 0) {
        delete start;
        r.threads.erase(number);
        --r.running;
        r.changed.notify_all();
        return 0;
    }
    r.threads[number].handle = handle;
    r.threads[number].joinable = true;
    return number;
}

ThreadNumber currentThread() {
    return tlsNumber;
}

std::size_t requestedStack(ThreadNumber thread) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.threads.find(thread);
    return it == r.threads.end() ? 0 : it->second.requested;
}

void joinAllThreads() {
    auto& r = registry();
    for (;;) {
        pthread_t handle{};
        {
            std::unique_lock g(r.lock);
            // A thread may start further threads until it ends, so wait for
            // quiet before joining the last ones.
            r.changed.wait(g, [&] {
                for (auto& [n, t] : r.threads)
                    if (t.joinable && !t.running) return true;
                return r.running == 0;
            });
            bool found = false;
            for (auto& [n, t] : r.threads) {
                if (t.joinable && !t.running) {
                    handle = t.handle;
                    t.joinable = false;
                    found = true;
                    break;
                }
            }
            if (!found) {
                if (r.running == 0) return;
                continue;
            }
        }
        pthread_join(handle, nullptr);
    }
}

int runningThreads() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    return r.running;
}

}  // namespace rt
