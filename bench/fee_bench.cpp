// The charging run over one club among 120 (the fixture tool's members-20000
// and members-100000, as it writes them: about five in six members
// permanent): our run (fees::ChargeClub: the club's members read through
// the file layer's view, one keyed read of the category per member, one add
// per line, one transaction) beside the one raw transaction that inserts the
// same lines (INSERT ... SELECT with the category's fee joined, the club
// compared as the key's NOCASE index compares, so it reads the club's
// members by that index). After each run the lines it wrote are deleted
// again, untimed, so every run meets the same ledger. The figures are per
// charged member, so a run that read more than its club would grow with
// the table.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "fees/charge.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t Club = 7;
constexpr std::int32_t Date = 90000;
constexpr const char* Document = "BENCH";

struct Case {
    int size = 0;
    fs::path dir;
    std::int32_t run = 0;
    int charged = 0;  // the club's permanent members
};
std::vector<std::unique_ptr<Case>> cases;

class Raw : public bench::RawConnection {
  public:
    using RawConnection::RawConnection;
    void exec(const std::string& sql) {
        sqlite3_stmt* s = stmt(sql);
        api_.reset(s);
        if (api_.step(s) != SQLITE_DONE) {
            std::cerr << "cannot run " << sql << "\n";
            std::exit(2);
        }
    }
    // The run's lines in one statement, in one transaction.
    void charge(std::int32_t run) {
        exec("BEGIN");
        const std::string insert =
            "INSERT INTO CLANAR (CL_SPS, CL_SIP, CL_SIF, CL_RED, CL_SIK, CL_DOK, CL_DAD, CL_DUG, "
            "CL_POD) SELECT M1_SPS, M1_SIP, M1_SIF, ?1, M1_SIK, ?2, ?3, COALESCE(K1_ICL, 0), 0 "
            "FROM CLANOVI LEFT JOIN KATEG ON K1_SIK = M1_SIK WHERE M1_SIP = ?4 COLLATE NOCASE "
            "AND M1_STC = 1";
        sqlite3_stmt* s = stmt(insert);
        api_.reset(s);
        api_.bind_int(s, 1, run);
        api_.bind_text(s, 2, Document, -1, SQLITE_STATIC);
        api_.bind_int(s, 3, Date);
        api_.bind_int(s, 4, Club);
        if (api_.step(s) != SQLITE_DONE) {
            std::cerr << "the raw run failed\n";
            std::exit(2);
        }
        exec("COMMIT");
    }
    void clean() { exec("DELETE FROM CLANAR WHERE CL_DAD = 90000"); }

    int count(const std::string& sql) {
        sqlite3_stmt* s = stmt(sql);
        api_.reset(s);
        const int n = api_.step(s) == SQLITE_ROW ? static_cast<int>(api_.column_int64(s, 0)) : -1;
        api_.reset(s);
        return n;
    }
};

// The fixture (shared with the other benchmarks over members-N) and the
// number of the club's members a run charges.
bool makeFixture(Case& c) {
    c.dir = fs::path(CLANOVI_BENCH_DATA) / ("members-" + std::to_string(c.size));
    if (!bench::makeDatabase(c.dir, c.size, 120)) return false;
    Raw raw((c.dir / "Clanovi.sqlite").string());
    raw.clean();
    c.charged = raw.count("SELECT COUNT(*) FROM CLANOVI WHERE M1_SIP = " + std::to_string(Club) +
                          " COLLATE NOCASE AND M1_STC = 1");
    return c.charged > 0;
}

void openFiles(const Case& c) {
    storage::closeAllConnections();
    fs::current_path(c.dir);
    for (FileId id : {FileId::CLANOVI, FileId::KATEG, FileId::CLANAR})
        if (fileStructure(id).open() != 0) {
            std::cerr << "cannot open the files in " << c.dir << "\n";
            std::exit(2);
        }
}

void closeFiles() {
    for (FileId id : {FileId::CLANOVI, FileId::KATEG, FileId::CLANAR}) fileStructure(id).close();
    storage::closeAllConnections();
}

void Ours(benchmark::State& state, Case* c) {
    openFiles(*c);
    Raw cleaner((c->dir / "Clanovi.sqlite").string());
    cleaner.clean();
    for (auto _ : state) {
        const fees::ChargeOutcome o = fees::ChargeClub(Club, Document, Date, ++c->run);
        if (o.error != 0 || o.stored != c->charged)
            state.SkipWithError("the run did not store all");
        state.PauseTiming();
        cleaner.clean();
        state.ResumeTiming();
    }
    closeFiles();
}

void RawRun(benchmark::State& state, Case* c) {
    Raw raw((c->dir / "Clanovi.sqlite").string());
    raw.clean();
    for (auto _ : state) {
        raw.charge(++c->run);
        state.PauseTiming();
        raw.clean();
        state.ResumeTiming();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!bench::sqliteLoaded()) return 2;
    storage::install();
    for (int size : {20000, 100000}) {
        auto c = std::make_unique<Case>();
        c->size = size;
        if (!makeFixture(*c)) {
            std::cerr << "could not make the fixture of " << size << " members\n";
            return 2;
        }
        cases.push_back(std::move(c));
    }
    for (auto& c : cases) {
        const std::string name = "fee_charge_run_" + std::to_string(c->size);
        benchmark::RegisterBenchmark((name + "/ours").c_str(), Ours, c.get())
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(10);
        benchmark::RegisterBenchmark((name + "/raw").c_str(), RawRun, c.get())
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(10);
    }
    bench::runRegistered(argc, argv);

    std::printf("\n");
    // Per charged member, in µs.
    auto& m = bench::micros();
    for (auto& c : cases) {
        const std::string name = "fee_charge_run_" + std::to_string(c->size);
        for (const char* side : {"/ours", "/raw"}) {
            auto it = m.find(name + side);
            if (it != m.end()) m[name + "_per_member" + side] = it->second / c->charged;
        }
        std::printf("charge %d members=%d club=%d charged=%d\n", c->size, c->size, Club,
                    c->charged);
        bench::printRatio(name, name + "/ours", name + "/raw");
        bench::printRatio(name + "_per_member", name + "_per_member/ours",
                          name + "_per_member/raw");
    }
    bench::printGrowth("fee_charge_run_per_member_ours", "fee_charge_run_20000_per_member/ours",
                       "fee_charge_run_100000_per_member/ours");
    bench::printGrowth("fee_charge_run_per_member_raw", "fee_charge_run_20000_per_member/raw",
                       "fee_charge_run_100000_per_member/raw");
    return 0;
}
