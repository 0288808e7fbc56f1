// What the user of a code-list window waits for, headless, over the clubs'
// list BrowsePLAND with 1 000 and 100 000 clubs: opening the window (from
// the start of the procedure to the first page handed to the display), a
// locator jump (Enter in the locator entry to the located page shown) and a
// page down (the key to the next page shown), in the code order and in the
// name order. Each beside a raw-SQLite baseline: the one statement that
// returns the same page on a connection of its own.
//
// Timings are taken where the display receives the page, not where this
// thread wakes up, so they hold the window layer, the browse and the
// storage, and nothing of the benchmark's own waiting.
//
// Each time a page of ours is timed, the raw statement of the same figure
// runs once at that moment on that same thread (the display's hook runs on
// the window's thread), and that is its baseline. So both sides of a ratio
// meet the same processor, the same caches and the same moment: this
// machine's speed for memory-bound work changes by half between stretches of
// time and between threads, far beyond the differences measured here. The
// same statements also run alone in a tight loop (the "raw_loop" figures),
// where their data and code never leave the processor's nearest caches.
//
// The "_browse" figures time the same locate and page down one layer down:
// a browse set up as the list window sets it up, on a procedure thread of
// its own, called directly, from the call until its queue holds the page.
// Beside the same raw statements (again once per call, on that thread),
// they show what the browse and the storage cost without the window layer's
// trip from the input to the display.
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
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/window_bench.h"
#include "codelists/procedures.h"
#include "codelists/tables.h"
#include "core/dictionary/dictionary.h"
#include "core/dictionary/files.h"
#include "core/startup/program.h"
#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"
#include "framework/browse.h"
#include "framework/globals.h"
#include "framework/locator.h"
#include "framework/relation_manager.h"
#include "framework/step.h"
#include "framework/window_manager.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The browse-level harness's window: never drawn, so the display ignores it.
const char* const HarnessTitle = "codelist-bench browse harness";

using bench::Display;
using bench::firstRow;
using bench::highlighted;
using bench::listOf;
using bench::median;
using bench::Raw;
using bench::sample;
using bench::Samples;
using bench::trimmed;
using bench::WarmUp;

Display display(HarnessTitle);

// Every column of the list, in declaration order (code first, name second).
const char* const Columns = "P1_SIP,P1_NPD,P1_ADR,P1_SJD,P1_BRG,P1_DAR,P1_TEL,P1_FAX,P1_WEB,P1_EML";

// --- one database and the list window open on it.
struct Case : bench::WindowCase {
    int pageRows = 0;  // rows the list shows
    int list = 0, codeEntry = 0, nameEntry = 0, nameTab = 0, codeTab = 0;
    std::string names[2];  // two names to locate, Windows-1250 as stored
    // The raw page-down walk, per order (code, name): the last row read.
    std::string lastName[2];
    std::int64_t lastCode[2] = {0, 0};
    bool walking[2] = {false, false};
};

// --- the raw statements of the figures, each run once, its time in µs.
// The first page in the code order.
double rawFirstPage(Case* c) {
    sqlite3_stmt* s =
        c->raw->stmt(std::string("SELECT ") + Columns + " FROM PLAND ORDER BY P1_SIP LIMIT " +
                     std::to_string(c->pageRows));
    const auto t0 = Clock::now();
    if (c->raw->run(s) != c->pageRows) std::exit(3);
    return bench::microsSince(t0);
}

// The page from the n-th value the locate figures locate (the same values).
double rawLocate(Case* c, bool byName, int n) {
    const std::string order = byName ? "P1_NPD COLLATE NOCASE, P1_SIP" : "P1_SIP";
    const std::string where = byName ? "P1_NPD >= ? COLLATE NOCASE" : "P1_SIP >= ?";
    sqlite3_stmt* s = c->raw->stmt(std::string("SELECT ") + Columns + " FROM PLAND WHERE " + where +
                                   " ORDER BY " + order + " LIMIT " + std::to_string(c->pageRows));
    const auto& api = c->raw->api();
    const auto t0 = Clock::now();
    if (byName)
        api.bind_text(s, 1, c->names[n].data(), static_cast<int>(c->names[n].size()),
                      SQLITE_STATIC);
    else
        api.bind_int(s, 1, n ? 250 : 500);
    if (c->raw->run(s) != c->pageRows) std::exit(3);
    return bench::microsSince(t0);
}

// The next page of the raw walk in the order (from the top after the end).
double rawNextPage(Case* c, bool byName) {
    const int o = byName ? 1 : 0;
    const std::string cols = std::string("SELECT ") + Columns + " FROM PLAND ";
    const std::string limit = " LIMIT " + std::to_string(c->pageRows);
    sqlite3_stmt* first = c->raw->stmt(
        cols + "ORDER BY " + (byName ? "P1_NPD COLLATE NOCASE, P1_SIP" : "P1_SIP") + limit);
    sqlite3_stmt* next = c->raw->stmt(
        byName ? cols +
                     "WHERE (P1_NPD, P1_SIP) > (? COLLATE NOCASE, ?) ORDER BY P1_NPD COLLATE "
                     "NOCASE, P1_SIP" +
                     limit
               : cols + "WHERE P1_SIP > ? ORDER BY P1_SIP" + limit);
    if (!c->walking[o]) {
        c->raw->run(first, &c->lastName[o], &c->lastCode[o]);
        c->walking[o] = true;
    }
    const auto& api = c->raw->api();
    const auto t0 = Clock::now();
    if (byName) {
        api.bind_text(next, 1, c->lastName[o].data(), static_cast<int>(c->lastName[o].size()),
                      SQLITE_TRANSIENT);
        api.bind_int64(next, 2, c->lastCode[o]);
    } else {
        api.bind_int64(next, 1, c->lastCode[o]);
    }
    const int rows = c->raw->run(next, &c->lastName[o], &c->lastCode[o]);
    const double us = bench::microsSince(t0);
    if (rows < c->pageRows) c->walking[o] = false;  // the end: the top again
    return us;
}

std::map<std::string, Samples>& samples = bench::samples();

std::vector<std::unique_ptr<Case>> cases;

// Starts BrowsePLAND as the frame's menu item does; the time from the start
// of the procedure to its first page at the display.
double openWindow(Case* c) {
    const auto [v, seconds] = bench::startWindow(
        display, *c,
        [](const rt::WindowView& v) {
            const rt::ListPayload* l = listOf(v);
            return l && !l->rows.empty();
        },
        [] { BrowsePLAND(); }, 50000);
    c->pageRows = static_cast<int>(listOf(*v)->rows.size());
    int entries = 0, tabs = 0;
    for (const auto& k : v->controls) {
        if (k.kind == rt::ControlKind::List) c->list = k.id;
        if (k.kind == rt::ControlKind::Entry) (entries++ == 0 ? c->codeEntry : c->nameEntry) = k.id;
        if (k.kind == rt::ControlKind::Tab) (tabs++ == 0 ? c->codeTab : c->nameTab) = k.id;
    }
    rt::waitIdle(10000);
    return seconds;
}

bench::WindowCases<Case> windows(display, openWindow);

void send(Case* c, rt::Input in) {
    rt::input(c->window, std::move(in));
}

// Input, then the time until the armed view arrives.
double timed(Case* c, Display::Test test, rt::Input in) {
    return bench::timed(display, c->window, std::move(test), std::move(in));
}

void chooseTab(Case* c, bool byName) {
    send(c, rt::Input{rt::Input::Kind::TabChosen, byName ? c->nameTab : c->codeTab});
    rt::waitIdle(10000);
}

// Types text into a locator entry; Enter is what the benchmark times.
void typeInto(Case* c, int entry, const std::string& cp1250) {
    bench::typeInto(c->window, entry, cp1250);
}

rt::Input key(int k) {
    return bench::keyInput(k);
}

// --- ours
void oursOpen(benchmark::State& state, Case* c, Samples& into) {
    // pageRows is known from the first opening on: the pairing starts there.
    windows.timeOpening(state, c, into, [c] { return c->pageRows ? rawFirstPage(c) : 0.0; });
}

// Types the n-th value into the locator entry; Enter until the located page
// is shown.
double locateOnce(Case* c, bool byName, int n) {
    std::string want;
    if (byName) {
        typeInto(c, c->nameEntry, trimmed(c->names[n]));
        want = trimmed(rt::toUtf8(c->names[n]));
    } else {
        want = std::to_string(n ? 250 : 500);  // the code entry holds three digits
        typeInto(c, c->codeEntry, want);
    }
    const int column = byName ? 1 : 0;
    return timed(
        c, [want, column](const rt::WindowView& v) { return highlighted(v, column) == want; },
        key(rt::key::Enter));
}

void oursLocate(benchmark::State& state, Case* c, bool byName, Samples& into) {
    windows.ensureOpen(c);
    chooseTab(c, byName);
    int i = 0;
    int n = 0;
    double raw = 0;
    display.pair([c, byName, &n, &raw] { raw = rawLocate(c, byName, n); });
    // The raw statement warms up beside ours, as it is timed beside it.
    for (const auto warm = Clock::now() + WarmUp; Clock::now() < warm;)
        locateOnce(c, byName, n = i++ % 2);
    i = 0;
    for (auto _ : state) {
        n = i++ % 2;
        sample(state, into, locateOnce(c, byName, n), raw);
    }
    display.pair(nullptr);
}

// PageDown until the next page is shown.
double pageDownOnce(Case* c) {
    const std::string before = firstRow(*display.last());
    return timed(
        c, [before](const rt::WindowView& v) { return firstRow(v) != before; },
        key(rt::key::PageDown));
}

void top(Case* c) {
    send(c, key(rt::key::Home));
    rt::waitIdle(10000);
}

void oursPageDown(benchmark::State& state, Case* c, bool byName, Samples& into) {
    windows.ensureOpen(c);
    chooseTab(c, byName);
    send(c, rt::Input{rt::Input::Kind::Focus, c->list});
    // Both walks from the top, ours and the raw one beside it: the same pages.
    auto fromTop = [c, byName] {
        top(c);
        c->walking[byName ? 1 : 0] = false;
    };
    double raw = 0;
    display.pair([c, byName, &raw] { raw = rawNextPage(c, byName); });
    // The warm-up pages within the smaller table's 1 000 rows.
    fromTop();
    const auto warm = Clock::now() + WarmUp;
    for (int pages = 1; Clock::now() < warm; ++pages) {
        if (pages % 40 == 0)
            fromTop();
        else
            pageDownOnce(c);
    }
    fromTop();
    for (auto _ : state) sample(state, into, pageDownOnce(c), raw);
    display.pair(nullptr);
}

// The window layer's own share: a focus change, which reads nothing, from
// the input to the redrawn window at the display.
void oursRoundTrip(benchmark::State& state, Case* c) {
    windows.ensureOpen(c);
    chooseTab(c, false);
    int i = 0;
    for (auto _ : state) {
        const int target = i++ % 2 ? c->list : c->codeEntry;
        state.SetIterationTime(timed(
            c,
            [target](const rt::WindowView& v) {
                for (const auto& k : v.controls)
                    if (k.id == target) return k.focused;
                return false;
            },
            rt::Input{rt::Input::Kind::Focus, target}));
    }
}

// --- browse level: the clubs' browse as the list window sets it up (its
// orders, locators, step, queue fields and page height), in a window that is
// never run, on a procedure thread of its own.
class BenchLocator : public EntryLocatorClass {
  public:
    using LocatorClass::Locate;
};

struct Harness {
    explicit Harness(const codelists::CodeTable& t) : win(description(t)), view(file) {
        rt::Control l;
        l.kind = rt::ControlKind::List;
        l.at = t.list.list;
        for (const codelists::ColumnLayout& c : t.list.columns) {
            rt::Column col;
            col.header = c.header;
            col.width = c.width;
            col.picture = c.picture;
            l.columns.push_back(col);
        }
        list = win.add(l);
        manager.Win = &win;
        win.open();
        browse.Init(list, queue.ViewPosition, view, queue, *relateOf(FileId::PLAND), manager);
        browse.RetainRow = false;
        const codelists::SortTab& code = t.list.tabs.at(0);
        const codelists::SortTab& name = t.list.tabs.at(1);
        step.Init(StepOption::Alpha);
        browse.AddSortOrder(code.step ? &step : nullptr, file.key(code.key));
        browse.AddLocator(codeLocator);
        codeLocator.Init(0, file.field(code.field), true, browse);
        browse.AddSortOrder(nullptr, file.key(name.key));
        browse.AddLocator(nameLocator);
        nameLocator.Init(0, file.field(name.field), true, browse);
        for (int i = 0; i < static_cast<int>(file.def().fields.size()); ++i)
            browse.AddField(file.field(i));
    }
    ~Harness() { browse.Kill(); }
    static rt::WindowDesc description(const codelists::CodeTable& t) {
        rt::WindowDesc d;
        d.kind = rt::WindowKind::Child;
        d.title = HarnessTitle;
        d.at = {0, 0, t.list.width, t.list.height};
        return d;
    }
    // The page down as the list's key makes it: the event, then the browse.
    void pageDown() {
        win.post(rt::Event::PageDown, list);
        win.accept();
        browse.TakeEvent();
    }

    rt::FileStructure& file = fileStructure(FileId::PLAND);
    rt::Window win;
    WindowManager manager;
    rt::View view;
    BrowseQueue queue;
    StepLongClass step;
    BenchLocator codeLocator, nameLocator;
    BrowseClass browse;
    int list = 0;
};

// Runs body with a fresh harness on a procedure thread and waits for it.
void onHarness(Case* c, const std::function<void(Harness&)>& body) {
    windows.ensureOpen(c);  // the list window tells the page height the harness must fill
    rt::waitIdle(10000);
    std::promise<void> done;
    rt::startProcedure(
        [&] {
            RelationManager* relate = relateOf(FileId::PLAND);
            relate->Open();
            {
                Harness h(codelists::CodeTableOf(FileId::PLAND));
                body(h);
            }
            relate->Close();
            done.set_value();
        },
        50000);
    done.get_future().wait();
}

void browseLocate(benchmark::State& state, Case* c, bool byName, Samples& into) {
    onHarness(c, [&](Harness& h) {
        h.browse.SetSort(byName ? 2 : 1, true);
        BenchLocator& locator = byName ? h.nameLocator : h.codeLocator;
        int i = 0;
        for (auto _ : state) {
            const int n = i++ % 2;
            const std::string value = byName ? trimmed(c->names[n]) : std::to_string(n ? 250 : 500);
            const auto t0 = Clock::now();
            locator.Locate(value);
            const auto t1 = Clock::now();
            sample(state, into, std::chrono::duration<double>(t1 - t0).count(),
                   rawLocate(c, byName, n));
            if (h.queue.Records() != c->pageRows) {
                std::cerr << "the located page is short\n";
                std::exit(3);
            }
        }
    });
}

void browsePageDown(benchmark::State& state, Case* c, bool byName, Samples& into) {
    onHarness(c, [&](Harness& h) {
        h.browse.SetSort(byName ? 2 : 1, true);
        h.browse.ScrollTop();
        c->walking[byName ? 1 : 0] = false;
        for (auto _ : state) {
            const rt::Position first = h.queue.Get(1).ViewPosition;
            const auto t0 = Clock::now();
            h.pageDown();
            const auto t1 = Clock::now();
            sample(state, into, std::chrono::duration<double>(t1 - t0).count(),
                   rawNextPage(c, byName));
            if (h.queue.Get(1).ViewPosition == first) {
                h.browse.ScrollTop();  // the end: the top again
                c->walking[byName ? 1 : 0] = false;
            }
        }
    });
}

// --- raw, alone in a tight loop (a page-down walk from the top, as ours)
void rawLoop(benchmark::State& state, Case* c, const std::function<double(int)>& run) {
    windows.ensureOpen(c);
    c->walking[0] = c->walking[1] = false;
    int i = 0;
    for (auto _ : state) state.SetIterationTime(run(i++) / 1e6);
}

const char* const Figures[] = {"open_list", "locate_code_order", "page_down_code_order",
                               "locate_name_order", "page_down_name_order"};
// The browse-level figures: each is figure + "_browse", beside figure's raw baseline.
const char* const BrowseFigures[] = {"locate_code_order", "page_down_code_order",
                                     "locate_name_order", "page_down_name_order"};

void registerCase(Case* c) {
    const std::string size = "_" + std::to_string(c->size);
    // ours (with its paired raw run) and the raw statement alone in a loop.
    auto reg = [&](const char* fig, int iterations, auto ours, std::function<double(int)> raw) {
        bench::registerPaired(std::string("PLAND_") + fig + size, iterations, ours,
                              [c, raw](benchmark::State& s) { rawLoop(s, c, raw); });
    };
    // Page downs from the top: fewer than the 1 000 rows hold.
    reg(
        Figures[0], 20, [c](benchmark::State& s, Samples& i) { oursOpen(s, c, i); },
        [c](int) { return rawFirstPage(c); });
    reg(
        Figures[1], 40, [c](benchmark::State& s, Samples& i) { oursLocate(s, c, false, i); },
        [c](int n) { return rawLocate(c, false, n % 2); });
    reg(
        Figures[2], 20, [c](benchmark::State& s, Samples& i) { oursPageDown(s, c, false, i); },
        [c](int) { return rawNextPage(c, false); });
    reg(
        Figures[3], 40, [c](benchmark::State& s, Samples& i) { oursLocate(s, c, true, i); },
        [c](int n) { return rawLocate(c, true, n % 2); });
    reg(
        Figures[4], 20, [c](benchmark::State& s, Samples& i) { oursPageDown(s, c, true, i); },
        [c](int) { return rawNextPage(c, true); });
    auto browse = [&](const char* fig, int iterations, auto ours) {
        Samples* into = &samples[std::string("PLAND_") + fig + "_browse" + size];
        bench::registerTimed(std::string("PLAND_") + fig + "_browse" + size + "/ours", iterations,
                             [ours, into](benchmark::State& s) { ours(s, *into); });
    };
    browse(BrowseFigures[0], 40,
           [c](benchmark::State& s, Samples& i) { browseLocate(s, c, false, i); });
    browse(BrowseFigures[1], 20,
           [c](benchmark::State& s, Samples& i) { browsePageDown(s, c, false, i); });
    browse(BrowseFigures[2], 40,
           [c](benchmark::State& s, Samples& i) { browseLocate(s, c, true, i); });
    browse(BrowseFigures[3], 20,
           [c](benchmark::State& s, Samples& i) { browsePageDown(s, c, true, i); });
    bench::registerTimed("PLAND_window_round_trip" + size + "/ours", 40,
                         [c](benchmark::State& s) { oursRoundTrip(s, c); });
}

bool makeFixture(const std::string& dir, int clubs) {
    return bench::makeDatabase(dir, 1000, clubs);
}

std::unique_ptr<Case> makeCase(const std::string& dir, int size) {
    auto c = bench::newCase<Case>(dir, size);
    // Two names to locate: the middle one and the one a quarter in.
    for (int i = 0; i < 2; ++i)
        c->names[i] = c->raw->textAt(
            "SELECT P1_NPD FROM PLAND ORDER BY P1_NPD COLLATE NOCASE, P1_SIP LIMIT 1 OFFSET ?",
            i ? size / 4 : size / 2);
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    if (int status = 0; bench::runsAsParent(argc, argv, args, status)) return status;
    if (!bench::sqliteLoaded()) return 2;
    const std::string small = std::string(CLANOVI_BENCH_DATA) + "/small";
    const std::string large = std::string(CLANOVI_BENCH_DATA) + "/clubs-100000";
    if (!makeFixture(small, 1000) || !makeFixture(large, 100000)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    bench::runWindowBenchmarks(
        argc, argv, "codelist-bench", display,
        [&] {
            cases.push_back(makeCase(small, 1000));
            cases.push_back(makeCase(large, 100000));
            for (auto& c : cases) registerCase(c.get());
        },
        [] { windows.closeCurrent(); });

    std::printf("\n");
    const auto print = bench::printPaired;
    bench::printPairedFigures("PLAND_", Figures, {1000, 100000});
    for (auto& c : cases)
        for (const char* fig : BrowseFigures) {
            const std::string size = "_" + std::to_string(c->size);
            print(std::string("PLAND_") + fig + "_browse" + size,
                  std::string("PLAND_") + fig + size + "/raw_loop");
        }
    for (auto& c : cases) {
        const std::string name = "PLAND_window_round_trip_" + std::to_string(c->size) + "/ours";
        if (auto o = bench::micros().find(name); o != bench::micros().end())
            std::printf("bench %s ours=%.2f (the window layer alone: input to display)\n",
                        name.substr(0, name.size() - 5).c_str(), o->second);
    }
    const auto growth = bench::printSampleGrowth;
    bench::printFiguresGrowth("PLAND_", Figures, 1000, 100000);
    for (const char* fig : BrowseFigures) {
        const std::string name = std::string("PLAND_") + fig + "_browse";
        growth(name, name + "_1000", name + "_100000");
    }
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
