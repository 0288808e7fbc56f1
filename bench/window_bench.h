#pragma once
// What the benchmarks of list windows share: a display that notes when the
// page a figure waits for arrives (and runs the figure's raw statement at
// that moment, on the window's thread), timed input to a window, the raw
// connection that steps a statement's rows, the cases of a benchmark with
// the window open on one fixture at a time and its opening timed, the paired
// samples of each figure with their medians, the "bench" and "growth" lines,
// and the run of the program in processes of its own with the medians over
// them.
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
#include <future>
#include <initializer_list>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "core/startup/program.h"
#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"
#include "framework/globals.h"
#include "framework/ini.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// The display: records when a view that satisfies an armed test first
// arrives. Views of windows titled ignoredTitle (a harness that is never
// drawn) are not looked at.
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
        for (std::size_t i = 0; i < armed_.size(); ++i) {
            Armed& a = armed_[i];
            if (a.hit || !a.test(*v)) continue;
            a.hit = t;
            if (i == 0 && paired_) paired_();  // the baseline, on this thread, now
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
        std::vector<Test> tests;
        tests.push_back(std::move(t));
        armAll(std::move(tests));
    }
    // Several tests at once: wait(i) is when test i was first met.
    void armAll(std::vector<Test> tests) {
        std::lock_guard g(m_);
        armed_.clear();
        for (Test& t : tests) armed_.push_back({std::move(t), std::nullopt});
    }
    // Runs on the window's thread each time the first armed test is met.
    void pair(std::function<void()> f) {
        std::lock_guard g(m_);
        paired_ = std::move(f);
    }
    // The time the view that met armed test i arrived.
    Clock::time_point wait(std::size_t i = 0) {
        std::unique_lock g(m_);
        if (!cv_.wait_for(g, std::chrono::seconds(30), [&] { return armed_[i].hit.has_value(); })) {
            std::cerr << "the view did not come within 30 s\n";
            std::exit(3);
        }
        return *armed_[i].hit;
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
    struct Armed {
        Test test;
        std::optional<Clock::time_point> hit;
    };
    std::string ignored_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Armed> armed_;
    std::function<void()> paired_;
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
    // The first column of the row at offset of the statement sql (offset is
    // its one parameter), as stored; empty when there is no such row.
    std::string textAt(const std::string& sql, int offset) {
        sqlite3_stmt* s = stmt(sql);
        api_.bind_int(s, 1, offset);
        std::string text;
        if (api_.step(s) == SQLITE_ROW)
            text.assign(reinterpret_cast<const char*>(api_.column_text(s, 0)),
                        static_cast<std::size_t>(api_.column_bytes(s, 0)));
        api_.reset(s);
        return text;
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

// Registers the benchmark name, run iterations times, which times each
// iteration itself (SetIterationTime); reported in µs.
template <class F>
void registerTimed(const std::string& name, int iterations, F f) {
    benchmark::RegisterBenchmark(name.c_str(), std::move(f))
        ->UseManualTime()
        ->Iterations(iterations)
        ->Unit(benchmark::kMicrosecond);
}

// A figure's two benchmarks: name/ours (ours, given the figure's paired
// samples) and name/raw_loop (its raw statement alone in a loop, ten times
// the iterations).
template <class Ours, class Loop>
void registerPaired(const std::string& name, int iterations, Ours ours, Loop rawLoop) {
    Samples* into = &samples()[name];
    registerTimed(name + "/ours", iterations,
                  [ours, into](benchmark::State& s) { ours(s, *into); });
    registerTimed(name + "/raw_loop", iterations * 10, std::move(rawLoop));
}

// Longer than a window thread looks for work before it sleeps.
constexpr auto AsleepAfter = std::chrono::milliseconds(3);

// A window just opened (a new thread, a new connection, memory touched for
// the first time) runs slower for a while on this kind of machine: each
// figure first repeats its step untimed for WarmUp, as a user's list would
// have been used.
constexpr auto WarmUp = std::chrono::milliseconds(150);

// Input to window, then the time until the armed view arrives.
// The floor under any reply to a key: raw (a raw page) run on a thread of
// its own that has slept as a window's thread sleeps between keys, timed
// from the moment it is woken to the page read, paired with raw run again
// at once on that thread. It is what waking a thread and reading on its
// cold caches cost: no window's thread answers a key faster. raw reads the
// same page each time it is called; ready, on the calling thread, makes
// sure it can.
inline void timeWakeFloor(benchmark::State& state, Samples& into,
                          const std::function<double()>& raw, const std::function<void()>& ready) {
    std::mutex m;
    std::condition_variable cv;
    bool go = false, stop = false, read = false;
    double first = 0, again = 0;
    Clock::time_point t0;
    std::thread reader([&] {
        std::unique_lock g(m);
        for (;;) {
            cv.wait(g, [&] { return go || stop; });
            if (stop) return;
            go = false;
            raw();
            first = microsSince(t0);
            again = raw();
            read = true;
            cv.notify_all();
        }
    });
    for (auto _ : state) {
        ready();
        std::this_thread::sleep_for(AsleepAfter);
        {
            std::lock_guard g(m);
            read = false;
            go = true;
            t0 = Clock::now();
        }
        cv.notify_all();
        std::unique_lock g(m);
        cv.wait(g, [&] { return read; });
        sample(state, into, first / 1e6, again);
    }
    {
        std::lock_guard g(m);
        stop = true;
    }
    cv.notify_all();
    reader.join();
}

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
    std::printf("growth %s %.2f\n", name.c_str(),
                median(hi->second.ours) / median(lo->second.ours));
}

// --- the window a figure waits for, over one fixture database at a time

// What every case of a window's benchmark holds: the fixture's directory and
// size, the raw connection over it, and the window open on it. A benchmark's
// own case adds what it takes from the window's first view.
struct WindowCase {
    std::string dir;
    int size = 0;
    std::unique_ptr<Raw> raw;
    int window = 0;        // the open window (0: none)
    int closedBefore = 0;  // the display's count of closed windows when it opened
};

// A case over the fixture in dir (size: what its figures' names carry), its
// raw connection open.
template <class Case>
std::unique_ptr<Case> newCase(const std::string& dir, int size) {
    auto c = std::make_unique<Case>();
    c->dir = dir;
    c->size = size;
    c->raw = std::make_unique<Raw>((std::filesystem::path(dir) / "Clanovi.sqlite").string());
    return c;
}

// Starts procedure on a thread of its own as the frame's menu does and waits
// for the first view that passes shown: that view and the seconds from the
// start, the new thread and its stack included. The view's window is c's.
inline std::pair<rt::ViewPtr, double> startWindow(Display& display, WindowCase& c,
                                                  Display::Test shown,
                                                  std::function<void()> procedure,
                                                  std::size_t stack) {
    display.arm(std::move(shown));
    c.closedBefore = display.closedCount();
    const auto t0 = Clock::now();
    rt::startProcedure(std::move(procedure), stack);
    const auto t1 = display.wait();
    rt::ViewPtr v = display.last();
    c.window = v->id;
    return {v, std::chrono::duration<double>(t1 - t0).count()};
}

// The cases of a window's benchmark, one at a time: the current directory is
// the current case's, and moving to another case closes its window and every
// connection (connections are per database name). open opens c's window,
// takes what the benchmark needs from its first view and returns the seconds
// until that view was shown.
template <class Case>
class WindowCases {
  public:
    WindowCases(Display& display, std::function<double(Case*)> open)
        : display_(display), open_(std::move(open)) {}

    Case* current() const { return current_; }

    void close(Case* c) {
        rt::input(c->window, rt::Input{rt::Input::Kind::Close});
        display_.waitClosed(c->closedBefore + 1);
        rt::joinAllThreads();
        c->window = 0;
    }
    void closeCurrent() {
        if (current_ && current_->window) close(current_);
    }
    void enter(Case* c) {
        if (current_ == c) return;
        closeCurrent();
        storage::closeAllConnections();
        std::filesystem::current_path(c->dir);
        current_ = c;
    }
    void ensureOpen(Case* c) {
        enter(c);
        if (!c->window) open_(c);
    }

    // The floor under any opening of c's window: raw (its raw first pages)
    // run on a thread started as a window procedure is, timed from the
    // start to the pages read, paired with raw run again at once on that
    // thread. It is what starting a thread and reading on its cold caches
    // cost; no window opened on a new thread comes in under it. raw must
    // be able to run (an opening of ours timed before it told the pages'
    // heights).
    void timeOpeningFloor(benchmark::State& state, Case* c, Samples& into,
                          const std::function<double()>& raw) {
        enter(c);
        closeCurrent();
        for (auto _ : state) {
            std::promise<std::pair<double, double>> done;
            const auto t0 = Clock::now();
            rt::startProcedure([&] {
                raw();
                const double first = microsSince(t0);
                done.set_value({first, raw()});
            });
            const auto [first, again] = done.get_future().get();
            rt::joinAllThreads();
            sample(state, into, first / 1e6, again);
            std::this_thread::sleep_for(AsleepAfter);
        }
    }

    // Opening c's window, timed, closed after each opening. Each opening is
    // paired with raw, run on the window's thread as the view arrives; raw
    // says 0 while it cannot run yet (before the first opening told the
    // page's height), and those openings are timed alone.
    void timeOpening(benchmark::State& state, Case* c, Samples& into, std::function<double()> raw) {
        enter(c);
        if (c->window) close(c);
        double paired = 0;
        display_.pair([&raw, &paired] {
            if (const double us = raw(); us > 0) paired = us;
        });
        for (auto _ : state) {
            const double t = open_(c);
            if (paired > 0)
                sample(state, into, t, paired);
            else
                state.SetIterationTime(t);
            close(c);
        }
        display_.pair(nullptr);
    }

  private:
    Display& display_;
    std::function<double(Case*)> open_;
    Case* current_ = nullptr;
};

// "bench" lines of the paired figures PREFIX FIGURE _SIZE of every size,
// each beside its raw statement alone in a loop (NAME/raw_loop).
inline void printPairedFigures(const std::string& prefix, std::span<const char* const> figures,
                               std::initializer_list<int> sizes) {
    for (int size : sizes)
        for (const char* fig : figures) {
            const std::string name = prefix + fig + "_" + std::to_string(size);
            printPaired(name, name + "/raw_loop");
        }
}

// "growth" lines of the same figures from the small size to the large one.
inline void printFiguresGrowth(const std::string& prefix, std::span<const char* const> figures,
                               int small, int large) {
    for (const char* fig : figures) {
        const std::string name = prefix + fig;
        printSampleGrowth(name, name + "_" + std::to_string(small),
                          name + "_" + std::to_string(large));
    }
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

// Runs the registered benchmarks inside the program's process, the display
// set: the components installed, the error reporter and a Sutrik.INI of a
// scratch directory of its own (not beside the fixtures), then
// registerCases, the benchmarks, and closeOpen to end what is still open;
// every thread joined and every connection closed afterwards.
inline void runWindowBenchmarks(int argc, char** argv, const std::string& name, Display& display,
                                const std::function<void()>& registerCases,
                                const std::function<void()>& closeOpen) {
    namespace fs = std::filesystem;
    const fs::path scratch = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const fs::path home = fs::current_path();
    installComponents();
    rt::setBackend(&display);
    rt::runProcess([&] {
        GlobalErrors().Init(&GlobalErrorStatus);
        INIMgr().Init((scratch / "Sutrik.INI").string(), 0, 0);
        registerCases();
        runRegistered(argc, argv);
        closeOpen();
        rt::joinAllThreads();
        storage::closeAllConnections();
        INIMgr().Kill();
    });
    rt::setBackend(nullptr);
    fs::current_path(home);
    fs::remove_all(scratch);
}

}  // namespace bench
