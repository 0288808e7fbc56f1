#include "runtime/clock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "runtime/date.h"

namespace rt {
namespace {

constexpr std::int64_t kMsPerDay = 24LL * 60 * 60 * 1000;

struct Listener {
    std::function<void(std::int64_t)> call;
    int running = 0;  // calls in progress, on any thread
    bool removed = false;
};

// Everything the clock shares between threads, behind one mutex. Listeners
// are called with the mutex released, so a listener may read the clock,
// advance it, or add and remove listeners (itself included).
struct ClockState {
    std::mutex mutex;
    std::condition_variable idle;  // a listener call has ended
    bool manual = false;
    DayNumber manualDay = 0;    // the date the manual clock was set to (midnight)
    std::int64_t manualMs = 0;  // advanced since then
    int nextId = 1;
    std::map<int, std::shared_ptr<Listener>> listeners;
};

ClockState& state() {
    static ClockState s;
    return s;
}

// The listeners this thread is calling right now (innermost last), so that a
// listener removing itself does not wait for its own call to end.
thread_local std::vector<Listener*> tlsCalling;

std::int64_t systemMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::int64_t nowMs() {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    return s.manual ? s.manualMs : systemMs();
}

WallTime wallNow() {
    ClockState& s = state();
    DayNumber day = 0;
    std::int64_t ms = 0;
    {
        std::lock_guard lock(s.mutex);
        if (s.manual) {
            day = s.manualDay;
            ms = s.manualMs;
        }
    }
    if (day == 0) {
        // A report asks for today once a line: the local time is worked out
        // once a second (localtime_r reads the zone rules it loaded once).
        thread_local std::time_t lastSecond = -1;
        thread_local WallTime last{};
        const std::time_t t = std::time(nullptr);
        if (t != lastSecond) {
            std::tm tm{};
            localtime_r(&t, &tm);
            last = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
            lastSecond = t;
        }
        return last;
    }
    CivilDate date =
        civilDate(static_cast<DayNumber>(std::min<std::int64_t>(day + ms / kMsPerDay, LastDay)))
            .value_or(CivilDate{9999, 12, 31});
    const int sec = static_cast<int>(ms % kMsPerDay / 1000);
    return {date.year, date.month, date.day, sec / 3600, sec / 60 % 60, sec % 60};
}

void useManualClock(int year, int month, int day) {
    std::optional<DayNumber> d = dayNumber(year, month, day);
    if (!d) throw std::invalid_argument("manual clock: no such date");
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    s.manual = true;
    s.manualDay = *d;
    s.manualMs = 0;
}

void useSystemClock() {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    s.manual = false;
    s.manualDay = 0;
    s.manualMs = 0;
}

bool manualClock() {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    return s.manual;
}

void advanceClock(std::int64_t ms) {
    ClockState& s = state();
    std::int64_t now = 0;
    std::vector<std::shared_ptr<Listener>> snapshot;
    {
        std::lock_guard lock(s.mutex);
        if (!s.manual || ms < 0) return;  // time never runs backwards
        s.manualMs += ms;
        now = s.manualMs;
        snapshot.reserve(s.listeners.size());
        for (auto& [id, l] : s.listeners) snapshot.push_back(l);
    }
    for (const std::shared_ptr<Listener>& l : snapshot) {
        {
            std::lock_guard lock(s.mutex);
            if (l->removed) continue;
            ++l->running;
        }
        // Ends the call's bookkeeping even when the listener throws.
        struct Done {
            ClockState& s;
            Listener* l;
            ~Done() {
                tlsCalling.pop_back();
                std::lock_guard lock(s.mutex);
                --l->running;
                s.idle.notify_all();
            }
        };
        tlsCalling.push_back(l.get());
        Done done{s, l.get()};
        l->call(now);
    }
}

int addClockListener(std::function<void(std::int64_t nowMs)> listener) {
    ClockState& s = state();
    auto l = std::make_shared<Listener>();
    l->call = std::move(listener);
    std::lock_guard lock(s.mutex);
    int id = s.nextId++;
    s.listeners.emplace(id, std::move(l));
    return id;
}

void removeClockListener(int id) {
    ClockState& s = state();
    std::unique_lock lock(s.mutex);
    auto it = s.listeners.find(id);
    if (it == s.listeners.end()) return;
    std::shared_ptr<Listener> l = std::move(it->second);
    s.listeners.erase(it);
    l->removed = true;
    // Once removed, a listener is never called again and no call of it is
    // still running elsewhere, so its owner may go away. Calls on this very
    // thread (a listener removing itself) cannot be waited for.
    const auto mine = std::count(tlsCalling.begin(), tlsCalling.end(), l.get());
    s.idle.wait(lock, [&] { return l->running == mine; });
}

}  // namespace rt
