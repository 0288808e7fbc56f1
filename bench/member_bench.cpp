// What the user of the member list BrowseCLANOVI waits for, headless, over
// 1 000 and 20 000 members (full-width rows of about 20 KB, 40 surnames that
// many members share): opening the list (from where the menu item starts the
// procedure, the new thread included, to the first page at the display), a
// locate in the surname order (Enter in the surname entry to the located page
// shown) and a page down in the club order the list opens on and in the
// surname order (the key to the next page shown). Each beside the raw
// statement that returns the same page (the thirty columns and the three
// joined names and codes), run once on a connection of its own each time a
// page of ours reaches the display, on that same thread (window_bench.h).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/window_bench.h"
#include "core/dictionary/dictionary.h"
#include "core/startup/program.h"
#include "core/storage/storage.h"
#include "framework/globals.h"
#include "members/browse_clanovi.h"
#include "runtime/text.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::Display;
using bench::Samples;

namespace {

Display display;

// What the list's view reads: the thirty member fields, then the joined
// names and codes.
const char* const Select =
    "SELECT M1_SPS, M1_SIP, M1_SIF, M1_PRE, M1_IME, M1_IOC, M1_BLK, M1_JMB, M1_DRO, M1_ADR, "
    "M1_MST, M1_KVA, M1_ZAN, M1_SIB, M1_SIN, M1_STC, M1_CDA, M1_DCA, M1_EVB, M1_SNU, M1_CLP, "
    "M1_PRZ, M1_NIZ, M1_SIK, M1_SIU, M1_FTE, M1_FMO, M1_EML, M1_PUS, M1_NAP, N1_NAC, N1_SIN, "
    "B1_BRS, B1_SIB, STU_NAS, STU_KVA FROM CLANOVI LEFT JOIN NACION ON N1_SIN = M1_SIN "
    "LEFT JOIN BRAST ON B1_SIB = M1_SIB LEFT JOIN STUPEM ON STU_KVA = M1_KVA ";

// The two orders: by club (the first tab) and by surname, the member code
// breaking ties. The next page is written as it reads least: the rest of
// the run of equal keys (the key and the code, the whole of the index's
// entry sought), then, when that ran short, what follows the run.
struct Order {
    const char* by;       // ORDER BY
    const char* inRun;    // the rest of the run after a row (key value, code)
    const char* pastRun;  // what follows the run (key value), then LIMIT ?
    int keyColumn;        // the key's column in the statement
};
const Order Orders[2] = {
    {"ORDER BY M1_SIP COLLATE NOCASE, M1_SIF", "WHERE M1_SIP = ? COLLATE NOCASE AND M1_SIF > ? ",
     "WHERE M1_SIP > ? COLLATE NOCASE ", 1},
    {"ORDER BY M1_PRE COLLATE NOCASE, M1_SIF", "WHERE M1_PRE = ? COLLATE NOCASE AND M1_SIF > ? ",
     "WHERE M1_PRE > ? COLLATE NOCASE ", 3},
};

struct Case : bench::WindowCase {
    int pageRows = 0;
    int list = 0, surnameTab = 0, clubTab = 0, surnameEntry = 0;
    std::string names[2];  // two surnames to locate, Windows-1250 as stored
    // The raw page-down walk, per order: the last row's key and code.
    std::string lastKey[2];
    std::int64_t lastCode[2] = {0, 0};
    bool walking[2] = {false, false};
};

std::string limit(const Case* c) {
    return " LIMIT " + std::to_string(c->pageRows);
}

// --- the raw statements, each run once, its time in µs
double rawFirstPage(Case* c) {
    sqlite3_stmt* s = c->raw->stmt(Select + std::string(Orders[0].by) + limit(c));
    const auto t0 = Clock::now();
    if (c->raw->run(s) != c->pageRows) std::exit(3);
    return bench::microsSince(t0);
}

double rawLocate(Case* c, int n) {
    sqlite3_stmt* s = c->raw->stmt(Select + std::string("WHERE M1_PRE >= ? COLLATE NOCASE ") +
                                   Orders[1].by + limit(c));
    const auto t0 = Clock::now();
    c->raw->api().bind_text(s, 1, c->names[n].data(), static_cast<int>(c->names[n].size()),
                            SQLITE_STATIC);
    if (c->raw->run(s) != c->pageRows) std::exit(3);
    return bench::microsSince(t0);
}

double rawNextPage(Case* c, int o) {
    const Order& order = Orders[o];
    sqlite3_stmt* first = c->raw->stmt(Select + std::string(order.by) + limit(c));
    sqlite3_stmt* next = c->raw->stmt(Select + std::string(order.inRun) + order.by + limit(c));
    sqlite3_stmt* past = c->raw->stmt(Select + std::string(order.pastRun) + order.by + " LIMIT ?");
    if (!c->walking[o]) {
        c->raw->run(first, &c->lastKey[o], &c->lastCode[o], order.keyColumn, 2);
        c->walking[o] = true;
    }
    const auto& api = c->raw->api();
    const auto t0 = Clock::now();
    const std::string key = c->lastKey[o];
    auto bindKey = [&](sqlite3_stmt* s) {
        if (o == 0)
            api.bind_int64(s, 1, std::stoll(key));
        else
            api.bind_text(s, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    };
    bindKey(next);
    api.bind_int64(next, 2, c->lastCode[o]);
    int rows = c->raw->run(next, &c->lastKey[o], &c->lastCode[o], order.keyColumn, 2);
    if (rows < c->pageRows) {
        bindKey(past);
        api.bind_int(past, 2, c->pageRows - rows);
        rows += c->raw->run(past, &c->lastKey[o], &c->lastCode[o], order.keyColumn, 2);
    }
    const double us = bench::microsSince(t0);
    if (rows < c->pageRows) c->walking[o] = false;  // the end: the top again
    return us;
}

std::vector<std::unique_ptr<Case>> cases;

// Starts BrowseCLANOVI as the menu does; the time from the start of the
// procedure to its first page at the display.
double openWindow(Case* c) {
    const auto [v, seconds] = bench::startWindow(
        display, *c,
        [](const rt::WindowView& v) {
            const rt::ListPayload* l = bench::listOf(v);
            return l && !l->rows.empty();
        },
        [] { BrowseCLANOVI(); }, 50000);
    c->pageRows = static_cast<int>(bench::listOf(*v)->rows.size());
    for (const auto& k : v->controls) {
        if (k.kind == rt::ControlKind::List) c->list = k.id;
        if (k.name == "?CLA:M1_PRE") c->surnameEntry = k.id;
        if (k.kind == rt::ControlKind::Tab && k.text == "Prezime") c->surnameTab = k.id;
        if (k.kind == rt::ControlKind::Tab && k.text == "Šifra PD") c->clubTab = k.id;
    }
    rt::waitIdle(10000);
    return seconds;
}

bench::WindowCases<Case> windows(display, openWindow);

// The floor under any opening (window_bench.h): the raw first page alone.
void oursOpenFloor(benchmark::State& state, Case* c, Samples& into) {
    windows.timeOpeningFloor(state, c, into, [c] { return rawFirstPage(c); });
}

void chooseTab(Case* c, int order) {
    rt::input(c->window, rt::Input{rt::Input::Kind::TabChosen, order ? c->surnameTab : c->clubTab});
    rt::waitIdle(10000);
}

// --- ours
void oursOpen(benchmark::State& state, Case* c, Samples& into) {
    windows.timeOpening(state, c, into, [c] { return c->pageRows ? rawFirstPage(c) : 0.0; });
}

// Types the n-th surname; Enter until the located page is shown.
double locateOnce(Case* c, int n) {
    bench::typeInto(c->window, c->surnameEntry, bench::trimmed(c->names[n]));
    const std::string want = bench::trimmed(rt::toUtf8(c->names[n]));
    // The first member of that surname, on the first line.
    return bench::timed(
        display, c->window,
        [want](const rt::WindowView& v) {
            const rt::ListPayload* l = bench::listOf(v);
            return l && l->highlight == 1 && bench::highlighted(v, 3) == want;
        },
        bench::keyInput(rt::key::Enter));
}

void oursLocate(benchmark::State& state, Case* c, Samples& into) {
    windows.ensureOpen(c);
    chooseTab(c, 1);
    int i = 0, n = 0;
    double raw = 0;
    display.pair([c, &n, &raw] { raw = rawLocate(c, n); });
    for (const auto warm = Clock::now() + bench::WarmUp; Clock::now() < warm;)
        locateOnce(c, n = i++ % 2);
    i = 0;
    for (auto _ : state) {
        n = i++ % 2;
        bench::sample(state, into, locateOnce(c, n), raw);
    }
    display.pair(nullptr);
}

double pageDownOnce(Case* c) {
    const std::string before = bench::firstRow(*display.last()) + "|" +
                               std::string(bench::listOf(*display.last())->rows[0][2]);
    return bench::timed(
        display, c->window,
        [before](const rt::WindowView& v) {
            const rt::ListPayload* l = bench::listOf(v);
            return l && !l->rows.empty() &&
                   bench::firstRow(v) + "|" + std::string(l->rows[0][2]) != before;
        },
        bench::keyInput(rt::key::PageDown));
}

void top(Case* c) {
    rt::input(c->window, bench::keyInput(rt::key::Home));
    rt::waitIdle(10000);
}

void oursPageDown(benchmark::State& state, Case* c, int order, Samples& into) {
    windows.ensureOpen(c);
    chooseTab(c, order);
    rt::input(c->window, rt::Input{rt::Input::Kind::Focus, c->list});
    auto fromTop = [c, order] {
        top(c);
        c->walking[order] = false;
    };
    double raw = 0;
    display.pair([c, order, &raw] { raw = rawNextPage(c, order); });
    // Within the 1 000 members of the smaller table.
    fromTop();
    const auto warm = Clock::now() + bench::WarmUp;
    for (int pages = 1; Clock::now() < warm; ++pages) {
        if (pages % 40 == 0)
            fromTop();
        else
            pageDownOnce(c);
    }
    fromTop();
    for (auto _ : state) bench::sample(state, into, pageDownOnce(c), raw);
    display.pair(nullptr);
}

void rawLoop(benchmark::State& state, Case* c, const std::function<double(int)>& run) {
    windows.ensureOpen(c);
    c->walking[0] = c->walking[1] = false;
    int i = 0;
    for (auto _ : state) state.SetIterationTime(run(i++) / 1e6);
}

const char* const Figures[] = {"open_list", "open_floor", "locate_surname_order",
                               "page_down_club_order", "page_down_surname_order"};

void registerCase(Case* c) {
    const std::string size = "_" + std::to_string(c->size);
    auto reg = [&](const char* fig, int iterations, auto ours, std::function<double(int)> raw) {
        bench::registerPaired(std::string("CLANOVI_") + fig + size, iterations, ours,
                              [c, raw](benchmark::State& s) { rawLoop(s, c, raw); });
    };
    reg(
        Figures[0], 20, [c](benchmark::State& s, Samples& i) { oursOpen(s, c, i); },
        [c](int) { return rawFirstPage(c); });
    reg(
        "open_floor", 20, [c](benchmark::State& s, Samples& i) { oursOpenFloor(s, c, i); },
        [c](int) { return rawFirstPage(c); });
    reg(
        "locate_surname_order", 40, [c](benchmark::State& s, Samples& i) { oursLocate(s, c, i); },
        [c](int n) { return rawLocate(c, n % 2); });
    // Page downs from the top: fewer than the 1 000 members hold.
    reg(
        "page_down_club_order", 20,
        [c](benchmark::State& s, Samples& i) { oursPageDown(s, c, 0, i); },
        [c](int) { return rawNextPage(c, 0); });
    reg(
        "page_down_surname_order", 20,
        [c](benchmark::State& s, Samples& i) { oursPageDown(s, c, 1, i); },
        [c](int) { return rawNextPage(c, 1); });
}

std::unique_ptr<Case> makeCase(const std::string& dir, int size) {
    auto c = bench::newCase<Case>(dir, size);
    // Two surnames to locate: the one in the middle of the order and the one
    // a quarter in.
    for (int i = 0; i < 2; ++i)
        c->names[i] = c->raw->textAt(
            "SELECT M1_PRE FROM CLANOVI ORDER BY M1_PRE COLLATE NOCASE, M1_SIF LIMIT 1 OFFSET ?",
            i ? size / 4 : size / 2);
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    if (int status = 0; bench::runsAsParent(argc, argv, args, status)) return status;
    if (!bench::sqliteLoaded()) return 2;
    // The fixtures the storage benchmark reads as well.
    const std::string small = std::string(CLANOVI_BENCH_DATA) + "/small";
    const std::string large = std::string(CLANOVI_BENCH_DATA) + "/members-20000";
    if (!bench::makeDatabase(small, 1000, 1000) || !bench::makeDatabase(large, 20000, 120)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    bench::runWindowBenchmarks(
        argc, argv, "member-bench", display,
        [&] {
            cases.push_back(makeCase(small, 1000));
            cases.push_back(makeCase(large, 20000));
            for (auto& c : cases) registerCase(c.get());
        },
        [] { windows.closeCurrent(); });

    std::printf("\n");
    bench::printPairedFigures("CLANOVI_", Figures, {1000, 20000});
    bench::printFiguresGrowth("CLANOVI_", Figures, 1000, 20000);
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
