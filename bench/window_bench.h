#pragma once
// What the benchmarks of list windows share: a display that notes when the
// page a figure waits for arrives (and runs the figure's raw statement at
// that moment, on the window's thread), timed input to a window, the raw
// connection that steps a statement's rows, the paired samples of each
// figure with their medians, the "bench" and "growth" lines, and the run of
// the program in processes of its own with the medians over them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "core/storage/sqlite_api.h"
#include "runtime/text.h"
#include "runtime/window/window.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// The display: records when a view that satisfies the armed test arrives.
// Views of windows titled ignoredTitle (a harness that is never drawn) are
// not looked at.
class Display : public rt::Backend {
  public:
    using Test = std::function<bool(const rt::WindowView&)>;

    explicit Display(std::string ignoredTitle = {}) : ignored_(std::move(ignoredTitle)) {}

    void show(rt::ViewPtr v) override {
        const auto t = Clock::now();
        std::lock_guard g(m_);
        if (v->kind != rt::WindowKind::Child) return;
        if (!ignored_.empty() && v->title == ignored_) {
            harness_.push_back(v->id);
            return;
        }
        last_ = v;
        if (test_ && !hit_ && test_(*v)) {
            hit_ = t;
            if (paired_) paired_();  // the baseline, on this thread, now
            cv_.notify_all();
        }
    }
    void closed(int id) override {
        std::lock_guard g(m_);
        if (std::find(harness_.begin(), harness_.end(), id) != harness_.end()) return;
        ++closed_;
        cv_.notify_all();
    }
    void dialog(int, const rt::DialogRequest& r) override {
        std::cerr << "unexpected message: " << r.message.title << ": " << r.message.text << "\n";
        std::exit(3);
    }
    void dialogClosed(int) override {}
    void beep() override {}
    void status(int, const std::string&) override {}

    void arm(Test t) {
        std::lock_guard g(m_);
        test_ = std::move(t);
        hit_.reset();
    }
    // Runs on the window's thread each time an armed view arrives.
    void pair(std::function<void()> f) {
        std::lock_guard g(m_);
        paired_ = std::move(f);
    }
    // The time the armed view arrived.
    Clock::time_point wait() {
        std::unique_lock g(m_);
        if (!cv_.wait_for(g, std::chrono::seconds(30), [&] { return hit_.has_value(); })) {
            std::cerr << "the page did not show within 30 s\n";
            std::exit(3);
        }
        test_ = nullptr;
        return *hit_;
    }
    rt::ViewPtr last() {
        std::lock_guard g(m_);
        return last_;
    }
    void waitClosed(int count) {
        std::unique_lock g(m_);
        cv_.wait_for(g, std::chrono::seconds(30), [&] { return closed_ >= count; });
    }
    int closedCount() {
        std::lock_guard g(m_);
        return closed_;
    }

  private:
    std::string ignored_;
    std::mutex m_;
    std::condition_variable cv_;
    Test test_;
    std::function<void()> paired_;
    std::optional<Clock::time_point> hit_;
    rt::ViewPtr last_;
    int closed_ = 0;
    std::vector<int> harness_;  // the ignored windows' ids
};

inline const rt::ListPayload* listOf(const rt::WindowView& v) {
    for (const auto& c : v.controls)
        if (c.kind == rt::ControlKind::List) return c.list();
    return nullptr;
}

inline std::string trimmed(std::string_view s) {
    return std::string(rt::trim(s));
}

// The highlighted row's cell (empty when none).
inline std::string highlighted(const rt::WindowView& v, int column) {
    const rt::ListPayload* l = listOf(v);
    if (!l || l->highlight < 1 || l->highlight > static_cast<int>(l->rows.size())) return {};
    return trimmed(
        l->rows[static_cast<std::size_t>(l->highlight - 1)][static_cast<std::size_t>(column)]);
}

// The first row's first two cells (which tell one page from the next).
inline std::string firstRow(const rt::WindowView& v) {
    const rt::ListPayload* l = listOf(v);
    if (!l || l->rows.empty()) return {};
    return std::string(l->rows[0][0]) + "|" + std::string(l->rows[0][1]);
}

// The raw baseline: a connection of its own with the same page cache.
class Raw : public RawConnection {
  public:
    using RawConnection::RawConnection;
    // Steps through every row, touching each column; resets; the row count.
    // The last row's column codeColumn and (as text) nameColumn when asked.
    int run(sqlite3_stmt* s, std::string* lastName = nullptr, std::int64_t* lastCode = nullptr,
            int nameColumn = 1, int codeColumn = 0) {
        int rows = 0;
        while (api_.step(s) == SQLITE_ROW) {
            for (int i = 0; i < api_.column_count(s); ++i)
                benchmark::DoNotOptimize(api_.column_text(s, i));
            if (lastCode) *lastCode = api_.column_int64(s, codeColumn);
            if (lastName)
                lastName->assign(reinterpret_cast<const char*>(api_.column_text(s, nameColumn)),
                                 static_cast<std::size_t>(api_.column_bytes(s, nameColumn)));
            ++rows;
        }
        api_.reset(s);
        return rows;
    }
};

inline double microsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// The samples of each figure: ours and its paired raw run, in µs.
struct Samples {
    std::vector<double> ours, raw;
};
inline std::map<std::string, Samples>& samples() {
    static std::map<std::string, Samples> s;
    return s;
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Each timed page of ours also counts as one sample with its paired raw run.
inline void sample(benchmark::State& state, Samples& into, double seconds, double raw) {
    state.SetIterationTime(seconds);
    into.ours.push_back(seconds * 1e6);
    into.raw.push_back(raw);
}

// Longer than a window thread looks for work before it sleeps.
constexpr auto AsleepAfter = std::chrono::milliseconds(3);

// A window just opened (a new thread, a new connection, memory touched for
// the first time) runs slower for a while on this kind of machine: each
// figure first repeats its step untimed for WarmUp, as a user's list would
// have been used.
constexpr auto WarmUp = std::chrono::milliseconds(150);

// Input to window, then the time until the armed view arrives.
inline double timed(Display& display, int window, Display::Test test, rt::Input in) {
    rt::waitIdle(10000);
    // A thread out of events keeps looking for the next one for half a
    // millisecond before it sleeps; a key a user types meets it asleep, and
    // so does the timed input.
    std::this_thread::sleep_for(AsleepAfter);
    display.arm(std::move(test));
    const auto t0 = Clock::now();
    rt::input(window, std::move(in));
    const auto t1 = display.wait();
    rt::waitIdle(10000);
    return std::chrono::duration<double>(t1 - t0).count();
}

inline rt::Input keyInput(int k) {
    rt::Input in{rt::Input::Kind::Key};
    in.key = k;
    return in;
}

// Types text (Windows-1250) into an entry of window; what follows is timed.
inline void typeInto(int window, int entry, const std::string& cp1250) {
    rt::input(window, rt::Input{rt::Input::Kind::Focus, entry});
    rt::Input text{rt::Input::Kind::Text, entry};
    text.text = rt::toUtf8(cp1250);
    rt::input(window, text);
    rt::waitIdle(10000);
}

// "bench NAME ours=<µs> raw=<µs> ratio=<ours/raw> pairs_p10=<r> pairs_p90=<r>
// [raw_loop=<µs> ratio_loop=<ours/raw_loop>]": ours and raw are the medians
// of the timed pages and of their paired raw runs; raw_loop the raw
// statement alone in a loop (median of the repetitions, by benchmark name).
inline void printPaired(const std::string& name, const std::string& loop) {
    const auto it = samples().find(name);
    if (it == samples().end() || it->second.ours.empty()) return;
    const double ours = median(it->second.ours), raw = median(it->second.raw);
    std::printf("bench %s ours=%.2f raw=%.2f ratio=%.2f", name.c_str(), ours, raw, ours / raw);
    // The spread of the pairs' own ratios: a tenth of them lie below the
    // first figure, a tenth above the second.
    std::vector<double> ratios;
    for (std::size_t k = 0; k < it->second.ours.size(); ++k)
        ratios.push_back(it->second.ours[k] / it->second.raw[k]);
    std::sort(ratios.begin(), ratios.end());
    const auto at = [&ratios](double q) {
        return ratios[static_cast<std::size_t>(q * static_cast<double>(ratios.size() - 1))];
    };
    std::printf(" pairs_p10=%.2f pairs_p90=%.2f", at(0.1), at(0.9));
    if (auto l = micros().find(loop); l != micros().end())
        std::printf(" raw_loop=%.2f ratio_loop=%.2f", l->second, ours / l->second);
    std::printf("\n");
}

// "growth NAME <large/small>" of the medians of ours.
inline void printSampleGrowth(const std::string& name, const std::string& small,
                              const std::string& large) {
    const auto lo = samples().find(small), hi = samples().find(large);
    if (lo == samples().end() || hi == samples().end() || lo->second.ours.empty() ||
        hi->second.ours.empty())
        return;
    std::printf("growth %s %.2f\n", name.c_str(), median(hi->second.ours) / median(lo->second.ours));
}

// Runs this program again, runs times, each with the same arguments and
// --one-run, and prints for every "bench" or "growth" line the median of each
// figure over the runs, in the same form. Each run is a process of its own:
// on this kind of machine a process's memory can make one side of a figure
// run slower than in the next process, for the whole run.
inline int aggregateRuns(int argc, char** argv, int runs) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);  // popen's shell has its own
    if (ec) return 2;
    std::string command = "'" + self.string() + "'";
    for (int i = 1; i < argc; ++i) command += std::string(" '") + argv[i] + "'";
    command += " --one-run";
    std::map<std::string, std::map<std::string, std::vector<double>>> figures;
    std::vector<std::string> order;  // first seen first
    for (int run = 1; run <= runs; ++run) {
        FILE* child = popen(command.c_str(), "r");
        if (!child) return 2;
        char line[4096];
        while (std::fgets(line, sizeof line, child)) {
            std::istringstream words(line);
            std::string kind, name;
            words >> kind >> name;
            if (kind != "bench" && kind != "growth") continue;
            std::printf("run %d: %s", run, line);
            const std::string key = kind + " " + name;
            if (!figures.count(key)) order.push_back(key);
            std::string w;
            if (kind == "growth") {
                words >> w;
                figures[key]["growth"].push_back(std::atof(w.c_str()));
                continue;
            }
            while (words >> w) {
                const auto eq = w.find('=');
                if (eq == std::string::npos) break;  // the round trip's words
                figures[key][w.substr(0, eq)].push_back(std::atof(w.c_str() + eq + 1));
            }
        }
        if (pclose(child) != 0) return 2;
    }
    std::printf("\nmedians of %d runs:\n", runs);
    for (const std::string& key : order) {
        std::printf("%s", key.c_str());
        for (const char* field : {"ours", "raw", "ratio", "pairs_p10", "pairs_p90", "raw_loop",
                                  "ratio_loop", "growth"}) {
            const auto it = figures[key].find(field);
            if (it == figures[key].end()) continue;
            if (std::string(field) == "growth")
                std::printf(" %.2f", median(it->second));
            else
                std::printf(" %s=%.2f", field, median(it->second));
        }
        std::printf("\n");
    }
    return 0;
}

// Three processes unless asked otherwise (CLANOVI_BENCH_RUNS), then the
// medians: true (with the exit status in status) when this process only ran
// the others. Otherwise --one-run is taken out of the arguments.
inline bool runsAsParent(int& argc, char**& argv, std::vector<char*>& args, int& status) {
    bool one = false;
    for (int i = 1; i < argc; ++i) one |= std::strcmp(argv[i], "--one-run") == 0;
    if (!one) {
        const char* env = std::getenv("CLANOVI_BENCH_RUNS");
        const int runs = env ? std::atoi(env) : 3;
        if (runs > 1) {
            status = aggregateRuns(argc, argv, runs);
            return true;
        }
    }
    // Google Benchmark must not see the flag of our own.
    args.clear();
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--one-run") != 0) args.push_back(argv[i]);
    argc = static_cast<int>(args.size());
    argv = args.data();
    return false;
}

}  // namespace bench
