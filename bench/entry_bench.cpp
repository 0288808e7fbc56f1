// The entry window's next running number: the club's last ledger line in key
// order, read through the file layer and the storage ("ours": one statement
// through a structure and buffer of its own) and as the one prepared
// statement on a raw connection ("raw"), with 100, 10 000 and 100 000 lines
// in the club and as many in each of the two clubs beside it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/dictionary/files.h"
#include "core/dictionary/records.h"
#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"
#include "framework/entry_window.h"
#include "framework/file_manager.h"
#include "framework/globals.h"
#include "runtime/file/file.h"

namespace fs = std::filesystem;

namespace {

const int Sizes[] = {100, 10000, 100000};

const char* RawSql =
    "SELECT CL_RED FROM CLANAR WHERE CL_SPS = ? AND CL_SIP = ? ORDER BY CL_SPS DESC, CL_SIP "
    "DESC, CL_SIF DESC, CL_DAD DESC, CL_RED DESC LIMIT 1";

std::string dirOf(int lines) {
    return std::string(CLANOVI_BENCH_DATA) + "/ledger-" + std::to_string(lines);
}

// The clubs 2, 3 and 4 of federation 1, each with lines lines: members 1 to
// 500 (as many lines each), dates of one year, running numbers from 1.
bool makeLedger(int lines) {
    const fs::path dir = dirOf(lines);
    const fs::path db = dir / "Clanovi.sqlite";
    if (fs::exists(db)) return true;
    fs::create_directories(dir);
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    {
        CLANAR_Record rec;
        rt::FileStructure f(CLANAR_Def, &rec);
        if (f.create() != 0) return false;
    }
    fs::current_path(old);
    bench::RawConnection raw(db.string());
    const auto& api = raw.api();
    sqlite3_stmt* begin = raw.stmt("BEGIN");
    api.step(begin);
    api.reset(begin);
    sqlite3_stmt* ins = raw.stmt(
        "INSERT INTO CLANAR VALUES (1, ?, ?, ?, ?, 'U-1                      ', ?, 12.35, 0)");
    for (int club = 2; club <= 4; ++club)
        for (int i = 0; i < lines; ++i) {
            api.bind_int(ins, 1, club);
            api.bind_int(ins, 2, 1 + i % 500);
            api.bind_int(ins, 3, i + 1);
            api.bind_int(ins, 4, 1 + i % 5);
            api.bind_int(ins, 5, 81000 + (i / 500) % 365);
            if (api.step(ins) != SQLITE_DONE) return false;
            api.reset(ins);
        }
    sqlite3_stmt* commit = raw.stmt("COMMIT");
    return api.step(commit) == SQLITE_DONE;
}

struct Case {
    int lines;
    CLANAR_Record buffer;  // the record the window's entries edit
    std::unique_ptr<rt::FileStructure> ledger;
    std::unique_ptr<FileManager> access;
    std::unique_ptr<LastInKeyOrder> next;
    std::unique_ptr<bench::RawConnection> raw;
};
std::vector<std::unique_ptr<Case>> cases;

[[noreturn]] void fail(const std::string& what) {
    std::cerr << what << "\n";
    std::exit(2);
}

std::unique_ptr<Case> makeCase(int lines) {
    auto c = std::make_unique<Case>();
    c->lines = lines;
    const fs::path old = fs::current_path();
    fs::current_path(dirOf(lines));
    c->ledger = std::make_unique<rt::FileStructure>(CLANAR_Def, &c->buffer);
    c->access = std::make_unique<FileManager>();
    c->access->Buffer = &c->buffer;
    c->access->FileNameValue = "CLANAR";
    c->access->File = c->ledger.get();
    c->access->Init();
    c->access->Init(*c->ledger, GlobalErrors());
    c->next = std::make_unique<LastInKeyOrder>(*c->access, CLANAR_Def.keyIndex("CLA1:KeyCL_UKP"), 2,
                                               CLANAR_Def.fieldIndex("CLA1:CL_RED"));
    // The first read opens the file (relative to the fixture's directory).
    if (!c->next->Read({1, 3})) fail("no running number in the ledger of " + std::to_string(lines));
    c->raw =
        std::make_unique<bench::RawConnection>((fs::current_path() / "Clanovi.sqlite").string());
    fs::current_path(old);
    return c;
}

std::int32_t rawLast(bench::RawConnection& raw) {
    sqlite3_stmt* s = raw.stmt(RawSql);
    const auto& api = raw.api();
    api.bind_int(s, 1, 1);
    api.bind_int(s, 2, 3);
    std::int32_t v = 0;
    if (api.step(s) == SQLITE_ROW) v = static_cast<std::int32_t>(api.column_int64(s, 0));
    api.reset(s);
    return v;
}

void registerCase(Case* c) {
    const std::string name = "next_running_number_" + std::to_string(c->lines);
    benchmark::RegisterBenchmark((name + "/ours").c_str(), [c](benchmark::State& st) {
        for (auto _ : st) benchmark::DoNotOptimize(c->next->Read({1, 3}));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((name + "/raw").c_str(), [c](benchmark::State& st) {
        for (auto _ : st) benchmark::DoNotOptimize(rawLast(*c->raw));
    })->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
    if (!bench::sqliteLoaded()) return 2;
    storage::install();
    GlobalErrors().Init(&GlobalErrorStatus);
    for (int n : Sizes) {
        if (!makeLedger(n)) fail("could not make the ledger of " + std::to_string(n) + " lines");
        cases.push_back(makeCase(n));
        // Ours and raw agree, and ours is one statement.
        Case& c = *cases.back();
        int statements = 0;
        storage::setTrace(
            [&](const std::string&, const std::vector<std::string>&) { ++statements; });
        const auto ours = c.next->Read({1, 3});
        storage::setTrace({});
        if (!ours || *ours != rawLast(*c.raw) || statements != 1)
            fail("the running number of " + std::to_string(n) +
                 " lines differs from raw, or took " + std::to_string(statements) + " statements");
    }
    for (auto& c : cases) registerCase(c.get());

    bench::runRegistered(argc, argv);

    std::printf("\n");
    for (auto& c : cases) {
        const std::string name = "next_running_number_" + std::to_string(c->lines);
        bench::printRatio(name, name + "/ours", name + "/raw");
    }
    bench::printGrowth("next_running_number", "next_running_number_100/ours",
                       "next_running_number_100000/ours");
    bench::printGrowth("next_running_number_raw", "next_running_number_100/raw",
                       "next_running_number_100000/raw");
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
