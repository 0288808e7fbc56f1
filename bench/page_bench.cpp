// Member pages as a page down meets them, through the file layer and the
// storage ("ours") beside the raw statements that return the same rows:
//
// - cold: at 20 000 and 100 000 members (tables of 420 MB and 2.1 GB, far
//   beyond the page cache) the next page after a club's first page in the
//   club order, with the database file's pages dropped from the system's
//   cache (posix_fadvise DONTNEED) after the first page was read, on a new
//   connection each time; the raw side as well, and the raw side again
//   with memory-mapped reads (PRAGMA mmap_size);
//
//     bench CLANOVI_page_down_cold_<members> ours=<µs> raw=<µs> ratio=<r> raw_mmap=<µs>
//
// - deep: a fixture of 5 000 members in one club, 4 000 of them with one
//   surname: the page after a member at a depth in the run of equal
//   surnames (and of the equal club), up to one that crosses the run's
//   end, cache-warm; raw is the page written as the rest of the run, then
//   what follows it; rowvalue the same page as one row-value bound
//   ((M1_PRE, M1_SIF) > (?, ?)), which seeks the run's start.
//
//     bench CLANOVI_page_down_<order>_deep_<depth> ours=<µs> raw=<µs> ratio=<r> rowvalue=<µs>
//     growth CLANOVI_page_down_<order>_deep ours=<deepest/shallowest> rowvalue=<...>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench/window_bench.h"
#include "core/dictionary/files.h"
#include "core/storage/sql.h"
#include "core/storage/storage.h"
#include "runtime/file/file.h"

namespace fs = std::filesystem;
using bench::Clock;

namespace {

constexpr int PageRows = 30;
constexpr int ColdSamples = 9;
constexpr int DeepSamples = 41;

void dropCache(const fs::path& db) {
    const int fd = open(db.c_str(), O_RDONLY);
    if (fd < 0) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

void fail(const char* what, const rt::FileStatus& st) {
    std::cerr << what << ": " << st.code << " " << st.fileError << "\n";
    std::exit(2);
}

// The member file and a view over it in one order, every field projected
// (as the member list reads them) or the list's own few.
struct Ours {
    Ours(const char* key, bool allFields) : record(CLANOVI_Def.recordSize, 0) {
        file = std::make_unique<rt::FileStructure>(CLANOVI_Def, record.data());
        if (file->open() != 0) {
            std::cerr << "cannot open CLANOVI\n";
            std::exit(2);
        }
        view = std::make_unique<rt::View>(*file);
        for (const rt::FieldDef& f : CLANOVI_Def.fields)
            if (allFields || f.column == std::string("M1_SIP") ||
                f.column == std::string("M1_PRE") || f.column == std::string("M1_SIF") ||
                f.column == std::string("M1_IME"))
                view->project(*file, f.label);
        view->setOrder(CLANOVI_Def.keyIndex(key));
        if (view->open() != 0) fail("view", view->status());
    }
    ~Ours() {
        view->close();
        file->close();
    }
    void setLong(const char* column, std::int64_t v) {
        const rt::FieldDef& f =
            CLANOVI_Def.fields[static_cast<std::size_t>(CLANOVI_Def.fieldIndex(column))];
        const auto x = static_cast<std::int32_t>(v);
        std::memcpy(record.data() + f.offset, &x, sizeof x);
    }
    void setText(const char* column, const std::string& bytes) {
        const rt::FieldDef& f =
            CLANOVI_Def.fields[static_cast<std::size_t>(CLANOVI_Def.fieldIndex(column))];
        std::memset(record.data() + f.offset, ' ', f.size);
        std::memcpy(record.data() + f.offset, bytes.data(), std::min(bytes.size(), f.size));
    }
    int page() {
        int n = 0;
        if (view->page(PageRows, true, {}, &n) != 0) fail("page", view->status());
        return n;
    }
    std::vector<char> record;
    std::unique_ptr<rt::FileStructure> file;
    std::unique_ptr<rt::View> view;
};

// A raw connection; each statement's rows stepped, every column touched.
class Raw : public bench::Raw {
  public:
    explicit Raw(const std::string& db, bool mmap = false) : bench::Raw(db) {
        if (mmap) runAll("PRAGMA mmap_size = 4294967296");
    }
    void runAll(const std::string& sql) {
        sqlite3_stmt* s = stmt(sql);
        while (api_.step(s) == SQLITE_ROW) {
        }
        api_.reset(s);
    }
    // sql with key (text or integer as stored), then code, then the limit.
    int page(const std::string& sql, const std::string* key, const std::int64_t* code, int limit,
             std::string* lastKey, std::int64_t* lastCode, int keyColumn, int codeColumn) {
        sqlite3_stmt* s = stmt(sql);
        int at = 1;
        if (key)
            api_.bind_text(s, at++, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
        if (code) api_.bind_int64(s, at++, *code);
        api_.bind_int(s, at, limit);
        return run(s, lastKey, lastCode, keyColumn, codeColumn);
    }
};

std::string allColumns() {
    return storage::columnList(CLANOVI_Def);
}

// --- cold

void cold(int size) {
    const fs::path dir = fs::path(CLANOVI_BENCH_DATA) / ("members-" + std::to_string(size));
    if (!bench::makeDatabase(dir, size, 120)) std::exit(2);
    const fs::path db = dir / "Clanovi.sqlite";
    fs::current_path(dir);
    const std::string cols = "SELECT " + allColumns() + " FROM CLANOVI ";
    const std::string by = "ORDER BY M1_SIP COLLATE NOCASE, M1_SIF LIMIT ?";
    const std::string first = cols + "WHERE M1_SIP >= ? COLLATE NOCASE " + by;
    const std::string inRun = cols + "WHERE M1_SIP = ? COLLATE NOCASE AND M1_SIF > ? " + by;
    const std::string pastRun = cols + "WHERE M1_SIP > ? COLLATE NOCASE " + by;
    const int sip = CLANOVI_Def.fieldIndex("M1_SIP"), sif = CLANOVI_Def.fieldIndex("M1_SIF");
    auto rawSide = [&](int club, bool mmap) {
        Raw raw(db.string(), mmap);
        std::string key = std::to_string(club), lastKey;
        std::int64_t lastCode = 0;
        raw.page(first, &key, nullptr, PageRows, &lastKey, &lastCode, sip, sif);
        dropCache(db);
        const auto t0 = Clock::now();
        int n = raw.page(inRun, &lastKey, &lastCode, PageRows, &lastKey, &lastCode, sip, sif);
        if (n < PageRows)
            n += raw.page(pastRun, &key, nullptr, PageRows - n, &lastKey, &lastCode, sip, sif);
        return bench::microsSince(t0);
    };
    std::vector<double> ours, raws, mapped;
    for (int i = 0; i < ColdSamples; ++i) {
        const int club = 1 + (i * 13) % 120;
        storage::closeAllConnections();
        {
            Ours o("KeyM1_SIP", true);
            o.setLong("M1_SIP", club);
            if (o.view->set(rt::SetFrom::Buffer) != 0) fail("set", o.view->status());
            o.page();
            dropCache(db);
            const auto t0 = Clock::now();
            o.page();
            ours.push_back(bench::microsSince(t0));
        }
        storage::closeAllConnections();
        raws.push_back(rawSide(club, false));
        mapped.push_back(rawSide(club, true));
    }
    const double o = bench::median(ours), r = bench::median(raws);
    std::printf("bench CLANOVI_page_down_cold_%d ours=%.2f raw=%.2f ratio=%.2f raw_mmap=%.2f\n",
                size, o, r, o / r, bench::median(mapped));
    std::fflush(stdout);
}

// --- deep

void deep() {
    const fs::path dir = fs::path(CLANOVI_BENCH_DATA) / "deep-5000";
    const bool existed = fs::exists(dir / "Clanovi.sqlite");
    if (!bench::makeDatabase(dir, 5000, 1)) std::exit(2);
    const fs::path db = dir / "Clanovi.sqlite";
    if (!existed) {
        Raw raw(db.string());
        raw.runAll(
            "UPDATE CLANOVI SET M1_SIP = 1, M1_PRE = (SELECT M1_PRE FROM CLANOVI ORDER BY "
            "M1_SIF LIMIT 1) WHERE M1_SIF % 5 <> 0");
        raw.runAll("UPDATE CLANOVI SET M1_SIP = 1");
    }
    fs::current_path(dir);
    storage::closeAllConnections();
    Raw raw(db.string());
    const std::string cols = "SELECT M1_SIP,M1_SIF,M1_PRE,M1_IME FROM CLANOVI ";
    struct Order {
        const char* figure;
        const char* key;
        const char* column;
        int keyColumn;
    } orders[] = {{"surname", "KeyM1_PRE", "M1_PRE", 2}, {"club", "KeyM1_SIP", "M1_SIP", 0}};
    for (const Order& ord : orders) {
        const std::string col = ord.column;
        const std::string by = "ORDER BY " + col + " COLLATE NOCASE, M1_SIF LIMIT ?";
        const std::string inRun =
            cols + "WHERE " + col + " = ? COLLATE NOCASE AND M1_SIF > ? " + by;
        const std::string pastRun = cols + "WHERE " + col + " > ? COLLATE NOCASE " + by;
        const std::string rowValue =
            cols + "WHERE (" + col + ", M1_SIF) > (? COLLATE NOCASE, ?) " + by;
        // The run: the key value most members share, its members by code.
        sqlite3_stmt* s = raw.stmt("SELECT " + col + ", COUNT(*) FROM CLANOVI GROUP BY " + col +
                                   " COLLATE NOCASE ORDER BY 2 DESC LIMIT 1");
        raw.api().step(s);
        const std::string key(reinterpret_cast<const char*>(raw.api().column_text(s, 0)),
                              static_cast<std::size_t>(raw.api().column_bytes(s, 0)));
        const int runLength = static_cast<int>(raw.api().column_int64(s, 1));
        raw.api().reset(s);
        std::vector<std::int64_t> codes;
        sqlite3_stmt* c = raw.stmt("SELECT M1_SIF FROM CLANOVI WHERE " + col +
                                   " = ? COLLATE NOCASE ORDER BY M1_SIF");
        raw.api().bind_text(c, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        while (raw.api().step(c) == SQLITE_ROW) codes.push_back(raw.api().column_int64(c, 0));
        raw.api().reset(c);
        Ours o(ord.key, false);
        std::vector<int> depths = {0, runLength / 4, runLength / 2, runLength - 100,
                                   runLength - PageRows / 2};
        double shallow[2] = {0, 0}, deepest[2] = {0, 0};
        for (int d : depths) {
            std::vector<double> ours, raws, rows;
            for (int i = 0; i < DeepSamples + 5; ++i) {
                const std::int64_t code = codes[static_cast<std::size_t>(d)];
                if (col == "M1_PRE")
                    o.setText("M1_PRE", key);
                else
                    o.setLong("M1_SIP", std::stoll(key));
                o.setLong("M1_SIF", code);
                if (o.view->setBeside(o.record.data()) != 0) fail("beside", o.view->status());
                auto t0 = Clock::now();
                o.page();
                const double us = bench::microsSince(t0);
                std::string lastKey;
                std::int64_t lastCode = code;
                t0 = Clock::now();
                int n = raw.page(inRun, &key, &lastCode, PageRows, &lastKey, &lastCode,
                                 ord.keyColumn, 1);
                if (n < PageRows)
                    raw.page(pastRun, &key, nullptr, PageRows - n, &lastKey, &lastCode,
                             ord.keyColumn, 1);
                const double r = bench::microsSince(t0);
                std::int64_t at = code;
                t0 = Clock::now();
                raw.page(rowValue, &key, &at, PageRows, &lastKey, &lastCode, ord.keyColumn, 1);
                const double rv = bench::microsSince(t0);
                if (i >= 5) {
                    ours.push_back(us);
                    raws.push_back(r);
                    rows.push_back(rv);
                }
            }
            const double mo = bench::median(ours), mr = bench::median(raws),
                         mv = bench::median(rows);
            std::printf(
                "bench CLANOVI_page_down_%s_deep_%d ours=%.2f raw=%.2f ratio=%.2f "
                "rowvalue=%.2f\n",
                ord.figure, d, mo, mr, mo / mr, mv);
            if (d == depths.front()) shallow[0] = mo, shallow[1] = mv;
            if (d == depths[depths.size() - 2]) deepest[0] = mo, deepest[1] = mv;
        }
        std::printf("growth CLANOVI_page_down_%s_deep ours=%.2f rowvalue=%.2f run=%d\n", ord.figure,
                    deepest[0] / shallow[0], deepest[1] / shallow[1], runLength);
        std::fflush(stdout);
    }
}

}  // namespace

int main() {
    if (!bench::sqliteLoaded()) return 2;
    storage::install();
    const fs::path home = fs::current_path();
    deep();
    for (int size : {20000, 100000}) cold(size);
    storage::closeAllConnections();
    fs::current_path(home);
    return 0;
}
