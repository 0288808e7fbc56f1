// What the user of the hikes list BrowseANGAZOV waits for, headless, over
// 1 000 and 100 000 activity lines (the same 1 000 members and 30 clubs):
// opening the list (from where the menu item starts the procedure, the new
// thread included, to the display showing all three lists' first pages) and
// a page down in each of its three lists (the key to the next page shown).
// Each beside the raw statements that return the same pages, run on a
// connection of their own each time a page of ours reaches the display, on
// that same thread (window_bench.h).
#include <benchmark/benchmark.h>
#include <strings.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "activities/hikes.h"
#include "bench/bench_support.h"
#include "bench/window_bench.h"
#include "core/dictionary/dictionary.h"
#include "core/startup/program.h"
#include "core/storage/storage.h"
#include "framework/globals.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::Display;
using bench::Samples;

namespace {

Display display;

// The three lists: their controls, the columns their views read, their
// order and the keyset condition after a row (its order's key values, then
// the primary key's).
struct ListOf {
    const char* control;
    const char* select;
    const char* by;
    const char* after;
    int keys;  // the values the condition binds: the statement's first columns
};
// The activity columns are read key first, so the keyset values are the
// first ones of each row.
const std::array<ListOf, 3> Lists = {{
    {"?BROWSE:1", "SELECT A1_SPS, A1_SIP, A1_SIF, A1_SIA, A1_DAT, A1_BRJ, A1_RED FROM ANGAZOV ",
     "ORDER BY A1_SPS COLLATE NOCASE, A1_SIP COLLATE NOCASE, A1_SIF COLLATE NOCASE, "
     "A1_SIA COLLATE NOCASE, A1_DAT COLLATE NOCASE, A1_BRJ, A1_RED",
     "WHERE (A1_SPS, A1_SIP, A1_SIF, A1_SIA, A1_DAT, A1_BRJ, A1_RED) > (? COLLATE NOCASE, ? "
     "COLLATE NOCASE, ? COLLATE NOCASE, ? COLLATE NOCASE, ? COLLATE NOCASE, ?, ?) ",
     7},
    {"?LIST", "SELECT D1_SIP, D1_BRJ FROM DOKAN ", "ORDER BY D1_SIP", "WHERE D1_SIP > ? ", 1},
    {"?LIST:2", "SELECT M1_SIF, M1_PRE, M1_IME FROM CLANOVI ", "ORDER BY M1_SIF",
     "WHERE M1_SIF > ? ", 1},
}};

struct Case : bench::WindowCase {
    std::array<int, 3> control{}, pageRows{};
    // The raw walk per list: the last row's keyset values.
    std::array<std::vector<std::int64_t>, 3> last;
};

// Control names compare without letter case, as the scenarios name them.
bool named(const rt::ControlView& c, const char* name) {
    return c.kind == rt::ControlKind::List && strcasecmp(c.name.c_str(), name) == 0;
}

const rt::ListPayload* listNamed(const rt::WindowView& v, const char* name) {
    for (const auto& c : v.controls)
        if (named(c, name)) return c.list();
    return nullptr;
}

std::string limit(int rows) {
    return " LIMIT " + std::to_string(rows);
}

// Steps the statement's rows, keeping the last row's keyset values.
int walk(Case* c, int l, sqlite3_stmt* s) {
    const auto& api = c->raw->api();
    int rows = 0;
    std::vector<std::int64_t> keys(
        static_cast<std::size_t>(Lists[static_cast<std::size_t>(l)].keys));
    while (api.step(s) == SQLITE_ROW) {
        for (int i = 0; i < api.column_count(s); ++i)
            benchmark::DoNotOptimize(api.column_text(s, i));
        for (std::size_t k = 0; k < keys.size(); ++k)
            keys[k] = api.column_int64(s, static_cast<int>(k));
        ++rows;
    }
    api.reset(s);
    if (rows) c->last[static_cast<std::size_t>(l)] = keys;
    return rows;
}

double rawFirstPage(Case* c, int l) {
    const ListOf& o = Lists[static_cast<std::size_t>(l)];
    sqlite3_stmt* s = c->raw->stmt(o.select + std::string(o.by) +
                                   limit(c->pageRows[static_cast<std::size_t>(l)]));
    const auto t0 = Clock::now();
    walk(c, l, s);
    return bench::microsSince(t0);
}

double rawOpen(Case* c) {
    return rawFirstPage(c, 0) + rawFirstPage(c, 1) + rawFirstPage(c, 2);
}

double rawNextPage(Case* c, int l) {
    const ListOf& o = Lists[static_cast<std::size_t>(l)];
    const int rows = c->pageRows[static_cast<std::size_t>(l)];
    if (c->last[static_cast<std::size_t>(l)].empty()) rawFirstPage(c, l);
    sqlite3_stmt* s = c->raw->stmt(o.select + std::string(o.after) + o.by + limit(rows));
    const auto t0 = Clock::now();
    const auto& keys = c->last[static_cast<std::size_t>(l)];
    for (std::size_t k = 0; k < keys.size(); ++k)
        c->raw->api().bind_int64(s, static_cast<int>(k + 1), keys[k]);
    const int read = walk(c, l, s);
    const double us = bench::microsSince(t0);
    if (read < rows) c->last[static_cast<std::size_t>(l)].clear();  // the end: the top again
    return us;
}

std::vector<std::unique_ptr<Case>> cases;

// Starts BrowseANGAZOV as the menu does; the time until all three lists
// show their first page.
double openWindow(Case* c) {
    const auto [v, seconds] = bench::startWindow(
        display, *c,
        [](const rt::WindowView& v) {
            for (const ListOf& o : Lists) {
                const rt::ListPayload* l = listNamed(v, o.control);
                if (!l || l->rows.empty()) return false;
            }
            return true;
        },
        [] { BrowseANGAZOV(); }, 25000);
    for (std::size_t l = 0; l < Lists.size(); ++l) {
        c->pageRows[l] = static_cast<int>(listNamed(*v, Lists[l].control)->rows.size());
        for (const auto& k : v->controls)
            if (named(k, Lists[l].control)) c->control[l] = k.id;
    }
    rt::waitIdle(10000);
    return seconds;
}

bench::WindowCases<Case> windows(display, openWindow);

void oursOpen(benchmark::State& state, Case* c, Samples& into) {
    windows.timeOpening(state, c, into, [c] { return c->pageRows[0] ? rawOpen(c) : 0.0; });
}

std::string firstCells(const rt::WindowView& v, const char* control) {
    const rt::ListPayload* l = listNamed(v, control);
    if (!l || l->rows.empty()) return {};
    std::string s;
    for (const auto& cell : l->rows[0]) s += std::string(cell) + "|";
    return s;
}

double pageDownOnce(Case* c, int l) {
    const char* control = Lists[static_cast<std::size_t>(l)].control;
    const std::string before = firstCells(*display.last(), control);
    return bench::timed(
        display, c->window,
        [before, control](const rt::WindowView& v) {
            const std::string now = firstCells(v, control);
            return !now.empty() && now != before;
        },
        bench::keyInput(rt::key::PageDown));
}

void top(Case* c, int l) {
    rt::input(c->window, bench::keyInput(rt::key::Home));
    rt::waitIdle(10000);
    c->last[static_cast<std::size_t>(l)].clear();
}

// Page downs from the top, and back to the top before the list ends: the
// counters' list (30 clubs) holds one page down.
void oursPageDown(benchmark::State& state, Case* c, int l, Samples& into) {
    windows.ensureOpen(c);
    rt::input(c->window,
              rt::Input{rt::Input::Kind::Focus, c->control[static_cast<std::size_t>(l)]});
    rt::waitIdle(10000);
    const int pages = l == 1 ? 1 : 20;
    double raw = 0;
    display.pair([c, l, &raw] { raw = rawNextPage(c, l); });
    top(c, l);
    int done = 0;
    for (const auto warm = Clock::now() + bench::WarmUp; Clock::now() < warm;) {
        if (done++ % pages == 0) top(c, l);
        pageDownOnce(c, l);
    }
    done = 0;
    for (auto _ : state) {
        if (done++ % pages == 0) {
            state.PauseTiming();
            top(c, l);
            state.ResumeTiming();
        }
        bench::sample(state, into, pageDownOnce(c, l), raw);
    }
    display.pair(nullptr);
}

// The floors under the opening and under a page down (window_bench.h):
// the three raw first pages on a new thread; a list's raw next page, the
// same one each time (the second page), on a thread woken from its sleep.
void oursOpenFloor(benchmark::State& state, Case* c, Samples& into) {
    windows.timeOpeningFloor(state, c, into, [c] { return rawOpen(c); });
}

void oursPageFloor(benchmark::State& state, Case* c, int l, Samples& into) {
    // An opening tells the pages' heights; the window is closed again, so
    // that its thread sleeps out of the way.
    windows.ensureOpen(c);
    windows.closeCurrent();
    auto& last = c->last[static_cast<std::size_t>(l)];
    bench::timeWakeFloor(
        state, into,
        [c, l, &last] {
            const auto second = last;
            const double us = rawNextPage(c, l);
            last = second;
            return us;
        },
        [c, l, &last] {
            if (last.empty()) rawFirstPage(c, l);
        });
}

const char* const Figures[] = {"open_list",
                               "open_floor",
                               "page_down_activities",
                               "page_down_counters",
                               "page_down_members",
                               "page_down_floor_activities",
                               "page_down_floor_counters",
                               "page_down_floor_members"};

void registerCase(Case* c) {
    const std::string size = "_" + std::to_string(c->size);
    auto reg = [&](const char* figure, auto ours) {
        const std::string base = std::string("ANGAZOV_") + figure + size;
        Samples* into = &bench::samples()[base];
        bench::registerTimed(base + "/ours", 20,
                             [ours, into](benchmark::State& s) { ours(s, *into); });
    };
    // The opening first: it tells the raw statements the pages' heights.
    reg(Figures[0], [c](benchmark::State& s, Samples& i) { oursOpen(s, c, i); });
    reg(Figures[1], [c](benchmark::State& s, Samples& i) { oursOpenFloor(s, c, i); });
    for (int l = 0; l < 3; ++l) {
        reg(Figures[l + 2], [c, l](benchmark::State& s, Samples& i) { oursPageDown(s, c, l, i); });
        reg(Figures[l + 5], [c, l](benchmark::State& s, Samples& i) { oursPageFloor(s, c, l, i); });
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    if (int status = 0; bench::runsAsParent(argc, argv, args, status)) return status;
    if (!bench::sqliteLoaded()) return 2;
    const std::string small = std::string(CLANOVI_BENCH_DATA) + "/activities-1000";
    const std::string large = std::string(CLANOVI_BENCH_DATA) + "/activities-100000";
    if (!bench::makeDatabase(small, 1000, 30, 1) || !bench::makeDatabase(large, 1000, 30, 100)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    bench::runWindowBenchmarks(
        argc, argv, "hikes-bench", display,
        [&] {
            for (auto [dir, size] : {std::pair{small, 1000}, std::pair{large, 100000}}) {
                auto c = bench::newCase<Case>(dir, size);
                registerCase(c.get());
                cases.push_back(std::move(c));
            }
        },
        [] { windows.closeCurrent(); });

    std::printf("\n");
    bench::printPairedFigures("ANGAZOV_", Figures, {1000, 100000});
    bench::printFiguresGrowth("ANGAZOV_", Figures, 1000, 100000);
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
