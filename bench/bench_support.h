#pragma once
// What the benchmarks share: the databases they run on, the raw-SQLite
// connection of the baselines, and the collection and printing of figures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"

namespace bench {

// Whether the storage has its SQLite library; when not, why, on stderr.
inline bool sqliteLoaded() {
    if (storage::sqlite().code == 0) return true;
    std::cerr << storage::sqlite().text << "\n";
    return false;
}

// Makes DIR/Clanovi.sqlite with the fixture tool once; later runs reuse it.
inline bool makeDatabase(const std::filesystem::path& dir, int members, int clubs,
                         int activities = 1) {
    namespace fs = std::filesystem;
    const fs::path db = dir / "Clanovi.sqlite";
    if (fs::exists(db)) return true;
    fs::create_directories(dir);
    const fs::path tmp = dir / "Clanovi.sqlite.part";
    fs::remove(tmp);
    const std::string cmd = std::string("python3 '") + CLANOVI_MAKE_DB + "' '" + tmp.string() +
                            "' --members " + std::to_string(members) + " --clubs " +
                            std::to_string(clubs) + " --years 1 --activities " +
                            std::to_string(activities) + " >&2";
    std::cerr << "making " << db << " ...\n";
    if (std::system(cmd.c_str()) != 0) return false;
    fs::rename(tmp, db);
    return true;
}

// A raw connection with prepared statements kept by their text. It is
// opened as the storage opens its connections (no SQLite mutex) and asks for
// the same page cache, so a baseline differs only in what the file layer
// adds.
class RawConnection {
  public:
    explicit RawConnection(const std::string& path) : api_(*storage::sqlite().api) {
        if (api_.open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | storage::NoMutexFlag,
                         nullptr) != SQLITE_OK) {
            std::cerr << "cannot open " << path << "\n";
            std::exit(2);
        }
        const std::string cache = "PRAGMA cache_size = -" + std::to_string(storage::CacheKiB);
        api_.exec(db_, cache.c_str(), nullptr, nullptr, nullptr);
    }
    ~RawConnection() {
        for (auto& [sql, s] : stmts_) api_.finalize(s);
        api_.close(db_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    sqlite3_stmt* stmt(const std::string& sql) {
        auto it = stmts_.find(sql);
        if (it != stmts_.end()) return it->second;
        sqlite3_stmt* s = nullptr;
        if (api_.prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            std::cerr << "cannot prepare " << sql << ": " << api_.errmsg(db_) << "\n";
            std::exit(2);
        }
        stmts_[sql] = s;
        return s;
    }
    const storage::SqliteApi& api() const { return api_; }

  protected:
    const storage::SqliteApi& api_;

  private:
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> stmts_;
};

// µs per iteration by benchmark name; with repetitions the median stands
// for the figure (it is reported after the single runs).
inline std::map<std::string, double>& micros() {
    static std::map<std::string, double> m;
    return m;
}

class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if ((r.run_type == Run::RT_Iteration && r.iterations > 0) ||
                (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median"))
                micros()[r.run_name.function_name] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Runs the registered benchmarks, three repetitions unless the command line
// asks otherwise: the median is steadier on a busy machine.
inline void runRegistered(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    bool repetitions = false;
    for (char* a : args) repetitions |= std::strncmp(a, "--benchmark_repetitions", 23) == 0;
    static std::string defaultRepetitions = "--benchmark_repetitions=3";
    if (!repetitions) args.push_back(defaultRepetitions.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
}

// "bench NAME ours=<µs> raw=<µs> ratio=<ours/raw>", when both were measured.
inline void printRatio(const std::string& name, const std::string& ours, const std::string& raw) {
    auto o = micros().find(ours), r = micros().find(raw);
    if (o == micros().end() || r == micros().end()) return;
    std::printf("bench %s ours=%.2f raw=%.2f ratio=%.2f\n", name.c_str(), o->second, r->second,
                o->second / r->second);
}

// "growth NAME <large/small>", when both sizes were measured.
inline void printGrowth(const std::string& name, const std::string& small,
                        const std::string& large) {
    auto lo = micros().find(small), hi = micros().find(large);
    if (lo == micros().end() || hi == micros().end()) return;
    std::printf("growth %s %.2f\n", name.c_str(), hi->second / lo->second);
}

}  // namespace bench
