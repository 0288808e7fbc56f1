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
// The "_browse" figures time the same locate and page down one layer down:
// a browse set up as the list window sets it up, on a procedure thread of
// its own, called directly, from the call until its queue holds the page.
// Beside the same raw baselines, they show what the browse and the storage
// cost without the window layer's trip from the input to the display.
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
#include <string>
#include <vector>

#include "bench/bench_support.h"
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

// --- the display: records when a view that satisfies the armed test arrives.
class Display : public rt::Backend {
  public:
    using Test = std::function<bool(const rt::WindowView&)>;

    void show(rt::ViewPtr v) override {
        const auto t = Clock::now();
        std::lock_guard g(m_);
        if (v->kind != rt::WindowKind::Child) return;
        if (v->title == HarnessTitle) {
            harness_.push_back(v->id);
            return;
        }
        last_ = v;
        if (test_ && !hit_ && test_(*v)) {
            hit_ = t;
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
    std::mutex m_;
    std::condition_variable cv_;
    Test test_;
    std::optional<Clock::time_point> hit_;
    rt::ViewPtr last_;
    int closed_ = 0;
    std::vector<int> harness_;  // the harness windows' ids
};

Display display;

const rt::ControlView* listOf(const rt::WindowView& v) {
    for (const auto& c : v.controls)
        if (c.kind == rt::ControlKind::List) return &c;
    return nullptr;
}

std::string trimmed(std::string_view s) {
    return std::string(rt::trim(s));
}

// The highlighted row's cell (empty when none).
std::string highlighted(const rt::WindowView& v, int column) {
    const rt::ControlView* l = listOf(v);
    if (!l || l->highlight < 1 || l->highlight > static_cast<int>(l->rows.size())) return {};
    return trimmed(
        l->rows[static_cast<std::size_t>(l->highlight - 1)][static_cast<std::size_t>(column)]);
}

std::string firstRow(const rt::WindowView& v) {
    const rt::ControlView* l = listOf(v);
    if (!l || l->rows.empty()) return {};
    return std::string(l->rows[0][0]) + "|" + std::string(l->rows[0][1]);
}

// --- the raw baseline: a connection of its own with the same page cache.
class Raw : public bench::RawConnection {
  public:
    using RawConnection::RawConnection;
    // Steps through every row, touching each column; resets; the row count.
    int run(sqlite3_stmt* s, std::string* lastName = nullptr, std::int64_t* lastCode = nullptr) {
        int rows = 0;
        while (api_.step(s) == SQLITE_ROW) {
            for (int i = 0; i < api_.column_count(s); ++i)
                benchmark::DoNotOptimize(api_.column_text(s, i));
            if (lastCode) *lastCode = api_.column_int64(s, 0);
            if (lastName)
                lastName->assign(reinterpret_cast<const char*>(api_.column_text(s, 1)),
                                 static_cast<std::size_t>(api_.column_bytes(s, 1)));
            ++rows;
        }
        api_.reset(s);
        return rows;
    }
};

// Every column of the list, in declaration order (code first, name second).
const char* const Columns = "P1_SIP,P1_NPD,P1_ADR,P1_SJD,P1_BRG,P1_DAR,P1_TEL,P1_FAX,P1_WEB,P1_EML";

// --- one database and the list window open on it.
struct Case {
    std::string dir;
    int size = 0;
    std::unique_ptr<Raw> raw;
    int window = 0;    // the open list (0: none)
    int pageRows = 0;  // rows the list shows
    int list = 0, codeEntry = 0, nameEntry = 0, nameTab = 0, codeTab = 0;
    std::string names[2];  // two names to locate, Windows-1250 as stored
    int closedBefore = 0;
};

std::vector<std::unique_ptr<Case>> cases;
Case* current = nullptr;  // the case whose directory is the current one

void enter(Case* c) {
    if (current == c) return;
    if (current && current->window) {
        rt::input(current->window, rt::Input{rt::Input::Kind::Close});
        display.waitClosed(current->closedBefore + 1);
        rt::joinAllThreads();
        current->window = 0;
    }
    storage::closeAllConnections();  // connections are per database name: a new directory
    fs::current_path(c->dir);
    current = c;
}

// Starts BrowsePLAND on a thread of its own; the time from the start of the
// procedure to its first page at the display.
double openWindow(Case* c) {
    std::atomic<std::int64_t> start{0};
    display.arm([](const rt::WindowView& v) {
        const rt::ControlView* l = listOf(v);
        return l && !l->rows.empty();
    });
    c->closedBefore = display.closedCount();
    rt::startProcedure(
        [&start] {
            start = Clock::now().time_since_epoch().count();
            BrowsePLAND();
        },
        50000);
    const auto shown = display.wait();
    const auto t0 = Clock::time_point(Clock::duration(start.load()));
    rt::ViewPtr v = display.last();
    c->window = v->id;
    c->pageRows = static_cast<int>(listOf(*v)->rows.size());
    int entries = 0, tabs = 0;
    for (const auto& k : v->controls) {
        if (k.kind == rt::ControlKind::List) c->list = k.id;
        if (k.kind == rt::ControlKind::Entry) (entries++ == 0 ? c->codeEntry : c->nameEntry) = k.id;
        if (k.kind == rt::ControlKind::Tab) (tabs++ == 0 ? c->codeTab : c->nameTab) = k.id;
    }
    rt::waitIdle(10000);
    return std::chrono::duration<double>(shown - t0).count();
}

void closeWindow(Case* c) {
    rt::input(c->window, rt::Input{rt::Input::Kind::Close});
    display.waitClosed(c->closedBefore + 1);
    rt::joinAllThreads();
    c->window = 0;
}

void ensureOpen(Case* c) {
    enter(c);
    if (!c->window) openWindow(c);
}

void send(Case* c, rt::Input in) {
    rt::input(c->window, std::move(in));
}

// Input, then the time until the armed view arrives.
double timed(Case* c, Display::Test test, rt::Input in) {
    rt::waitIdle(10000);
    display.arm(std::move(test));
    const auto t0 = Clock::now();
    send(c, std::move(in));
    const auto t1 = display.wait();
    rt::waitIdle(10000);
    return std::chrono::duration<double>(t1 - t0).count();
}

void chooseTab(Case* c, bool byName) {
    send(c, rt::Input{rt::Input::Kind::TabChosen, byName ? c->nameTab : c->codeTab});
    rt::waitIdle(10000);
}

// Types text into a locator entry; Enter is what the benchmark times.
void typeInto(Case* c, int entry, const std::string& cp1250) {
    rt::Input focus{rt::Input::Kind::Focus, entry};
    send(c, focus);
    rt::Input text{rt::Input::Kind::Text, entry};
    text.text = rt::toUtf8(cp1250);
    send(c, text);
    rt::waitIdle(10000);
}

rt::Input key(int k) {
    rt::Input in{rt::Input::Kind::Key};
    in.key = k;
    return in;
}

// --- ours
void oursOpen(benchmark::State& state, Case* c) {
    enter(c);
    if (c->window) closeWindow(c);
    for (auto _ : state) {
        state.SetIterationTime(openWindow(c));
        closeWindow(c);
    }
}

void oursLocate(benchmark::State& state, Case* c, bool byName) {
    ensureOpen(c);
    chooseTab(c, byName);
    int i = 0;
    for (auto _ : state) {
        const int n = i++ % 2;
        std::string want;
        if (byName) {
            typeInto(c, c->nameEntry, trimmed(c->names[n]));
            want = trimmed(rt::toUtf8(c->names[n]));
        } else {
            want = std::to_string(n ? 250 : 500);  // the code entry holds three digits
            typeInto(c, c->codeEntry, want);
        }
        const int column = byName ? 1 : 0;
        state.SetIterationTime(timed(
            c, [want, column](const rt::WindowView& v) { return highlighted(v, column) == want; },
            key(rt::key::Enter)));
    }
}

void oursPageDown(benchmark::State& state, Case* c, bool byName) {
    ensureOpen(c);
    chooseTab(c, byName);
    send(c, rt::Input{rt::Input::Kind::Focus, c->list});
    send(c, key(rt::key::Home));
    rt::waitIdle(10000);
    for (auto _ : state) {
        const std::string before = firstRow(*display.last());
        state.SetIterationTime(timed(
            c, [before](const rt::WindowView& v) { return firstRow(v) != before; },
            key(rt::key::PageDown)));
    }
}

// The window layer's own share: a focus change, which reads nothing, from
// the input to the redrawn window at the display.
void oursRoundTrip(benchmark::State& state, Case* c) {
    ensureOpen(c);
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
    ensureOpen(c);  // the list window tells the page height the harness must fill
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

void browseLocate(benchmark::State& state, Case* c, bool byName) {
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
            state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
            if (h.queue.Records() != c->pageRows) {
                std::cerr << "the located page is short\n";
                std::exit(3);
            }
        }
    });
}

void browsePageDown(benchmark::State& state, Case* c, bool byName) {
    onHarness(c, [&](Harness& h) {
        h.browse.SetSort(byName ? 2 : 1, true);
        h.browse.ScrollTop();
        for (auto _ : state) {
            const rt::Position first = h.queue.Get(1).ViewPosition;
            const auto t0 = Clock::now();
            h.pageDown();
            const auto t1 = Clock::now();
            state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
            if (h.queue.Get(1).ViewPosition == first)
                h.browse.ScrollTop();  // the end: the top again
        }
    });
}

// --- raw
void rawOpen(benchmark::State& state, Case* c) {
    ensureOpen(c);
    sqlite3_stmt* s =
        c->raw->stmt(std::string("SELECT ") + Columns + " FROM PLAND ORDER BY P1_SIP LIMIT " +
                     std::to_string(c->pageRows));
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (c->raw->run(s) != c->pageRows) std::exit(3);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}

void rawLocate(benchmark::State& state, Case* c, bool byName) {
    ensureOpen(c);
    const std::string order = byName ? "P1_NPD COLLATE NOCASE, P1_SIP" : "P1_SIP";
    const std::string where = byName ? "P1_NPD >= ? COLLATE NOCASE" : "P1_SIP >= ?";
    sqlite3_stmt* s = c->raw->stmt(std::string("SELECT ") + Columns + " FROM PLAND WHERE " + where +
                                   " ORDER BY " + order + " LIMIT " + std::to_string(c->pageRows));
    const auto& api = c->raw->api();
    int i = 0;
    for (auto _ : state) {
        const int n = i++ % 2;
        const auto t0 = Clock::now();
        if (byName)
            api.bind_text(s, 1, c->names[n].data(), static_cast<int>(c->names[n].size()),
                          SQLITE_STATIC);
        else
            api.bind_int(s, 1, n ? 250 : 500);
        if (c->raw->run(s) != c->pageRows) std::exit(3);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}

void rawPageDown(benchmark::State& state, Case* c, bool byName) {
    ensureOpen(c);
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
    const auto& api = c->raw->api();
    std::string lastName;
    std::int64_t lastCode = 0;
    c->raw->run(first, &lastName, &lastCode);
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (byName) {
            api.bind_text(next, 1, lastName.data(), static_cast<int>(lastName.size()),
                          SQLITE_TRANSIENT);
            api.bind_int64(next, 2, lastCode);
        } else {
            api.bind_int64(next, 1, lastCode);
        }
        const int rows = c->raw->run(next, &lastName, &lastCode);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (rows < c->pageRows) c->raw->run(first, &lastName, &lastCode);  // the end: the top again
    }
}

const char* const Figures[] = {"open_list", "locate_code_order", "page_down_code_order",
                               "locate_name_order", "page_down_name_order"};
// The browse-level figures: each is figure + "_browse", beside figure's raw baseline.
const char* const BrowseFigures[] = {"locate_code_order", "page_down_code_order",
                                     "locate_name_order", "page_down_name_order"};

void registerCase(Case* c) {
    const std::string size = "_" + std::to_string(c->size);
    auto reg = [&](const char* fig, int iterations, auto ours, auto raw) {
        const std::string base = std::string("PLAND_") + fig + size;
        benchmark::RegisterBenchmark((base + "/ours").c_str(), ours)
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((base + "/raw").c_str(), raw)
            ->UseManualTime()
            ->Iterations(iterations * 10)
            ->Unit(benchmark::kMicrosecond);
    };
    // Page downs from the top: fewer than the 1 000 rows hold.
    reg(
        Figures[0], 20, [c](benchmark::State& s) { oursOpen(s, c); },
        [c](benchmark::State& s) { rawOpen(s, c); });
    reg(
        Figures[1], 40, [c](benchmark::State& s) { oursLocate(s, c, false); },
        [c](benchmark::State& s) { rawLocate(s, c, false); });
    reg(
        Figures[2], 20, [c](benchmark::State& s) { oursPageDown(s, c, false); },
        [c](benchmark::State& s) { rawPageDown(s, c, false); });
    reg(
        Figures[3], 40, [c](benchmark::State& s) { oursLocate(s, c, true); },
        [c](benchmark::State& s) { rawLocate(s, c, true); });
    reg(
        Figures[4], 20, [c](benchmark::State& s) { oursPageDown(s, c, true); },
        [c](benchmark::State& s) { rawPageDown(s, c, true); });
    auto browse = [&](const char* fig, int iterations, auto ours) {
        benchmark::RegisterBenchmark(
            (std::string("PLAND_") + fig + "_browse" + size + "/ours").c_str(), ours)
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMicrosecond);
    };
    browse(BrowseFigures[0], 40, [c](benchmark::State& s) { browseLocate(s, c, false); });
    browse(BrowseFigures[1], 20, [c](benchmark::State& s) { browsePageDown(s, c, false); });
    browse(BrowseFigures[2], 40, [c](benchmark::State& s) { browseLocate(s, c, true); });
    browse(BrowseFigures[3], 20, [c](benchmark::State& s) { browsePageDown(s, c, true); });
    benchmark::RegisterBenchmark(("PLAND_window_round_trip" + size + "/ours").c_str(),
                                 [c](benchmark::State& s) { oursRoundTrip(s, c); })
        ->UseManualTime()
        ->Iterations(40)
        ->Unit(benchmark::kMicrosecond);
}

bool makeFixture(const std::string& dir, int clubs) {
    return bench::makeDatabase(dir, 1000, clubs);
}

std::unique_ptr<Case> makeCase(const std::string& dir, int size) {
    auto c = std::make_unique<Case>();
    c->dir = dir;
    c->size = size;
    c->raw = std::make_unique<Raw>((fs::path(dir) / "Clanovi.sqlite").string());
    // Two names to locate: the middle one and the one a quarter in.
    for (int i = 0; i < 2; ++i) {
        sqlite3_stmt* s = c->raw->stmt(
            "SELECT P1_NPD FROM PLAND ORDER BY P1_NPD COLLATE NOCASE, P1_SIP LIMIT 1 OFFSET ?");
        c->raw->api().bind_int(s, 1, i ? size / 4 : size / 2);
        if (c->raw->api().step(s) == SQLITE_ROW)
            c->names[i].assign(reinterpret_cast<const char*>(c->raw->api().column_text(s, 0)),
                               static_cast<std::size_t>(c->raw->api().column_bytes(s, 0)));
        c->raw->api().reset(s);
    }
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (storage::sqlite().code != 0) {
        std::cerr << storage::sqlite().text << "\n";
        return 2;
    }
    const std::string small = std::string(CLANOVI_BENCH_DATA) + "/small";
    const std::string large = std::string(CLANOVI_BENCH_DATA) + "/clubs-100000";
    if (!makeFixture(small, 1000) || !makeFixture(large, 100000)) {
        std::cerr << "could not make the fixtures\n";
        return 2;
    }
    // The window state goes to a file of its own, not beside the fixtures.
    const fs::path scratch =
        fs::temp_directory_path() / ("codelist-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const fs::path home = fs::current_path();

    installComponents();
    rt::setBackend(&display);
    rt::runProcess([&] {
        GlobalErrors().Init(&GlobalErrorStatus);
        INIMgr().Init((scratch / "Sutrik.INI").string(), 0, 0);
        cases.push_back(makeCase(small, 1000));
        cases.push_back(makeCase(large, 100000));
        for (auto& c : cases) registerCase(c.get());

        bench::runRegistered(argc, argv);
        if (current && current->window) closeWindow(current);
        rt::joinAllThreads();
        storage::closeAllConnections();
        INIMgr().Kill();
    });
    rt::setBackend(nullptr);
    fs::current_path(home);
    fs::remove_all(scratch);

    std::printf("\n");
    for (auto& c : cases)
        for (const char* fig : Figures) {
            const std::string name = std::string("PLAND_") + fig + "_" + std::to_string(c->size);
            bench::printRatio(name, name + "/ours", name + "/raw");
        }
    for (auto& c : cases)
        for (const char* fig : BrowseFigures) {
            const std::string size = "_" + std::to_string(c->size);
            const std::string name = std::string("PLAND_") + fig + "_browse" + size;
            bench::printRatio(name, name + "/ours", std::string("PLAND_") + fig + size + "/raw");
        }
    for (auto& c : cases) {
        const std::string name = "PLAND_window_round_trip_" + std::to_string(c->size) + "/ours";
        if (auto o = bench::micros().find(name); o != bench::micros().end())
            std::printf("bench %s ours=%.2f (the window layer alone: input to display)\n",
                        name.substr(0, name.size() - 5).c_str(), o->second);
    }
    for (const char* fig : Figures) {
        const std::string name = std::string("PLAND_") + fig;
        bench::printGrowth(name, name + "_1000/ours", name + "_100000/ours");
    }
    for (const char* fig : BrowseFigures) {
        const std::string name = std::string("PLAND_") + fig + "_browse";
        bench::printGrowth(name, name + "_1000/ours", name + "_100000/ours");
    }
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
