// What a list window waits for, over the clubs (small rows) and the members
// (full-width rows of about 20 KB): the first page of 30 rows in the code
// order and in a name order, a position in the middle of the name order, the
// next page from there, and a keyed fetch. Each figure is measured through
// the file layer and the storage ("ours") and as one prepared statement on a
// raw connection returning the same rows ("raw").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/dictionary/files.h"
#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"
#include "runtime/file/file.h"

namespace fs = std::filesystem;

namespace {

constexpr int PageRows = 30;

// One database of the fixtures, made once and kept under the build tree.
struct Fixture {
    const char* dir;
    int members;
    int clubs;
};

std::string fixtureDir(const Fixture& f) {
    return std::string(CLANOVI_BENCH_DATA) + "/" + f.dir;
}

bool makeFixture(const Fixture& f) {
    return bench::makeDatabase(fixtureDir(f), f.members, f.clubs);
}

// A raw connection with the baseline statements.
class Raw : public bench::RawConnection {
  public:
    using RawConnection::RawConnection;
    // Steps every row, copying each column's value out as a reader must.
    int run(sqlite3_stmt* s) {
        int rows = 0;
        while (api_.step(s) == SQLITE_ROW) {
            int n = api_.column_count(s);
            for (int i = 0; i < n; ++i) {
                if (api_.column_type(s, i) == SQLITE_TEXT) {
                    const auto* t = api_.column_text(s, i);
                    int len = api_.column_bytes(s, i);
                    std::memcpy(buffer_, t, static_cast<std::size_t>(std::min(len, 8192)));
                } else {
                    values_[i % 64] = api_.column_int64(s, i);
                }
            }
            ++rows;
        }
        return rows;
    }

  private:
    char buffer_[8192];
    std::int64_t values_[64];
};

// One file at one size: our structure and views, and the raw baseline.
struct Case {
    std::string file;  // "PLAND", "CLANOVI"
    int size;
    const rt::FileDef* def;
    std::vector<char> record;
    std::unique_ptr<rt::FileStructure> structure;
    std::unique_ptr<rt::View> byCode, byName;
    std::unique_ptr<Raw> raw;
    int nameKey;
    int nameField, codeField;
    std::vector<const char*> listColumns;
    std::string middleName;  // the name in the middle of the name order
    std::string cols;        // the list's columns, as the view reads them
    std::int32_t fetchAt = 1;
};

std::vector<std::unique_ptr<Case>> cases;

void setText(Case& c, int field, const std::string& bytes) {
    const rt::FieldDef& f = c.def->fields[static_cast<std::size_t>(field)];
    char* p = c.record.data() + f.offset;
    std::memset(p, ' ', f.size);
    std::memcpy(p, bytes.data(), std::min(bytes.size(), f.size));
}

void fail(const char* what, const rt::FileStatus& st) {
    std::cerr << what << ": " << st.code << " " << st.fileError << "\n";
    std::exit(2);
}

std::unique_ptr<Case> makeCase(const std::string& file, int size, const Fixture& fx) {
    auto c = std::make_unique<Case>();
    c->file = file;
    c->size = size;
    bool clubs = file == "PLAND";
    c->def = clubs ? &PLAND_Def : &CLANOVI_Def;
    c->record.assign(c->def->recordSize, 0);
    c->nameKey = c->def->keyIndex(clubs ? "KeyP1_NPD" : "KeyM1_PRE");
    c->nameField = c->def->fieldIndex(clubs ? "P1_NPD" : "M1_PRE");
    c->codeField = c->def->fieldIndex(clubs ? "P1_SIP" : "M1_SIF");
    c->listColumns = clubs ? std::vector<const char*>{"P1_SIP", "P1_NPD", "P1_SJD", "P1_TEL"}
                           : std::vector<const char*>{"M1_SPS", "M1_SIP", "M1_SIF",
                                                      "M1_PRE", "M1_IME", "M1_IOC"};
    // The columns in field order: what the view reads.
    std::vector<int> idx;
    for (const char* col : c->listColumns) idx.push_back(c->def->fieldIndex(col));
    std::sort(idx.begin(), idx.end());
    for (std::size_t i = 0; i < idx.size(); ++i) {
        if (i) c->cols += ",";
        c->cols += c->def->fields[static_cast<std::size_t>(idx[i])].column;
    }

    fs::path old = fs::current_path();
    fs::current_path(fixtureDir(fx));
    c->structure = std::make_unique<rt::FileStructure>(*c->def, c->record.data());
    if (c->structure->open() != 0) fail("open", c->structure->status());
    c->byCode = std::make_unique<rt::View>(*c->structure);
    c->byName = std::make_unique<rt::View>(*c->structure);
    for (const char* col : c->listColumns) {
        c->byCode->project(*c->structure, col);
        c->byName->project(*c->structure, col);
    }
    c->byCode->setOrder(c->def->primaryKey());
    c->byName->setOrder(c->nameKey);
    if (c->byCode->open() != 0) fail("view", c->byCode->status());
    if (c->byName->open() != 0) fail("view", c->byName->status());
    c->raw = std::make_unique<Raw>((fs::current_path() / "Clanovi.sqlite").string());
    fs::current_path(old);

    std::int64_t rows = 0;
    c->structure->count(rows);
    if (rows != size) {
        std::cerr << file << " holds " << rows << " rows, not " << size << "\n";
        std::exit(2);
    }
    // The middle of the name order.
    std::string name = c->def->fields[static_cast<std::size_t>(c->nameField)].column;
    std::string code = c->def->fields[static_cast<std::size_t>(c->codeField)].column;
    sqlite3_stmt* s =
        c->raw->stmt("SELECT " + name + " FROM " + file + " ORDER BY " + name +
                     " COLLATE NOCASE, " + code + " LIMIT 1 OFFSET " + std::to_string(size / 2));
    if (c->raw->api().step(s) == SQLITE_ROW)
        c->middleName.assign(reinterpret_cast<const char*>(c->raw->api().column_text(s, 0)),
                             static_cast<std::size_t>(c->raw->api().column_bytes(s, 0)));
    c->raw->api().reset(s);
    return c;
}

// --- the figures, ours and raw

void oursFirstPage(benchmark::State& state, Case* c, bool byName) {
    rt::View& v = byName ? *c->byName : *c->byCode;
    for (auto _ : state) {
        v.set(rt::SetFrom::Start);
        int n = 0;
        if (v.page(PageRows, true, {}, &n) != 0 || n != PageRows) fail("page", v.status());
    }
}

void rawFirstPage(benchmark::State& state, Case* c, bool byName) {
    std::string name = c->def->fields[static_cast<std::size_t>(c->nameField)].column;
    std::string code = c->def->fields[static_cast<std::size_t>(c->codeField)].column;
    std::string order = byName ? name + " COLLATE NOCASE, " + code : code;
    sqlite3_stmt* s = c->raw->stmt("SELECT " + c->cols + " FROM " + c->file + " ORDER BY " + order +
                                   " LIMIT " + std::to_string(PageRows));
    for (auto _ : state) {
        if (c->raw->run(s) != PageRows) std::exit(3);
        c->raw->api().reset(s);
    }
}

void oursLocate(benchmark::State& state, Case* c) {
    for (auto _ : state) {
        setText(*c, c->nameField, c->middleName);
        c->byName->set(rt::SetFrom::Buffer);
        int n = 0;
        if (c->byName->page(PageRows, true, {}, &n) != 0 || n != PageRows)
            fail("locate", c->byName->status());
    }
}

std::string rawLocateSql(Case* c) {
    std::string name = c->def->fields[static_cast<std::size_t>(c->nameField)].column;
    std::string code = c->def->fields[static_cast<std::size_t>(c->codeField)].column;
    return "SELECT " + c->cols + " FROM " + c->file + " WHERE " + name +
           " >= ? COLLATE NOCASE ORDER BY " + name + " COLLATE NOCASE, " + code + " LIMIT " +
           std::to_string(PageRows);
}

void rawLocate(benchmark::State& state, Case* c) {
    sqlite3_stmt* s = c->raw->stmt(rawLocateSql(c));
    for (auto _ : state) {
        c->raw->api().bind_text(s, 1, c->middleName.data(), static_cast<int>(c->middleName.size()),
                                SQLITE_STATIC);
        if (c->raw->run(s) != PageRows) std::exit(3);
        c->raw->api().reset(s);
    }
}

// The pages from the middle to the end are walked once before the clock
// runs (ours and raw alike): the figure is the steady cost of a page, not
// the first read of the table from the disk.
void oursNextPage(benchmark::State& state, Case* c) {
    setText(*c, c->nameField, c->middleName);
    c->byName->set(rt::SetFrom::Buffer);
    for (int n = PageRows; n == PageRows;) c->byName->page(PageRows, true, {}, &n);
    setText(*c, c->nameField, c->middleName);
    c->byName->set(rt::SetFrom::Buffer);
    for (auto _ : state) {
        int n = 0;
        if (c->byName->page(PageRows, true, {}, &n) != 0) fail("next page", c->byName->status());
        if (n < PageRows) {  // the end: back to the middle
            setText(*c, c->nameField, c->middleName);
            c->byName->set(rt::SetFrom::Buffer);
        }
    }
}

void rawNextPage(benchmark::State& state, Case* c) {
    std::string name = c->def->fields[static_cast<std::size_t>(c->nameField)].column;
    std::string code = c->def->fields[static_cast<std::size_t>(c->codeField)].column;
    sqlite3_stmt* next =
        c->raw->stmt("SELECT " + c->cols + " FROM " + c->file + " WHERE (" + name + ", " + code +
                     ") > (? COLLATE NOCASE, ?) ORDER BY " + name + " COLLATE NOCASE, " + code +
                     " LIMIT " + std::to_string(PageRows));
    sqlite3_stmt* locate = c->raw->stmt(rawLocateSql(c));
    // The column positions of the name and the code in the list's columns.
    int nameCol = -1, codeCol = -1;
    for (int i = 0; i < c->raw->api().column_count(next); ++i) {
        if (name == c->raw->api().column_name(next, i)) nameCol = i;
        if (code == c->raw->api().column_name(next, i)) codeCol = i;
    }
    const auto& api = c->raw->api();
    std::string lastName;
    std::int64_t lastCode = 0;
    auto read = [&](sqlite3_stmt* s) {
        int rows = 0;
        while (api.step(s) == SQLITE_ROW) {
            lastName.assign(reinterpret_cast<const char*>(api.column_text(s, nameCol)),
                            static_cast<std::size_t>(api.column_bytes(s, nameCol)));
            lastCode = api.column_int64(s, codeCol);
            for (int i = 0; i < api.column_count(s); ++i)
                benchmark::DoNotOptimize(api.column_text(s, i));
            ++rows;
        }
        api.reset(s);
        return rows;
    };
    api.bind_text(locate, 1, c->middleName.data(), static_cast<int>(c->middleName.size()),
                  SQLITE_STATIC);
    read(locate);
    auto nextPage = [&] {
        api.bind_text(next, 1, lastName.data(), static_cast<int>(lastName.size()),
                      SQLITE_TRANSIENT);
        api.bind_int64(next, 2, lastCode);
        return read(next);
    };
    while (nextPage() == PageRows) {
    }
    api.bind_text(locate, 1, c->middleName.data(), static_cast<int>(c->middleName.size()),
                  SQLITE_STATIC);
    read(locate);
    for (auto _ : state) {
        api.bind_text(next, 1, lastName.data(), static_cast<int>(lastName.size()),
                      SQLITE_TRANSIENT);
        api.bind_int64(next, 2, lastCode);
        if (read(next) < PageRows) {
            api.bind_text(locate, 1, c->middleName.data(), static_cast<int>(c->middleName.size()),
                          SQLITE_STATIC);
            read(locate);
        }
    }
}

std::int32_t nextCode(Case* c) {
    c->fetchAt =
        static_cast<std::int32_t>((static_cast<std::int64_t>(c->fetchAt) * 7919 + 13) % c->size) +
        1;
    return c->fetchAt;
}

void oursFetch(benchmark::State& state, Case* c) {
    int pk = c->def->primaryKey();
    const rt::FieldDef& f = c->def->fields[static_cast<std::size_t>(c->codeField)];
    for (auto _ : state) {
        std::int32_t code = nextCode(c);
        std::memcpy(c->record.data() + f.offset, &code, sizeof code);
        if (c->structure->get(pk) != 0) fail("fetch", c->structure->status());
    }
}

void rawFetch(benchmark::State& state, Case* c) {
    std::string code = c->def->fields[static_cast<std::size_t>(c->codeField)].column;
    std::string all;
    for (std::size_t i = 0; i < c->def->fields.size(); ++i) {
        if (i) all += ",";
        all += c->def->fields[i].column;
    }
    sqlite3_stmt* s =
        c->raw->stmt("SELECT " + all + " FROM " + c->file + " WHERE " + code + " = ?");
    for (auto _ : state) {
        c->raw->api().bind_int(s, 1, nextCode(c));
        if (c->raw->run(s) != 1) std::exit(3);
        c->raw->api().reset(s);
    }
}

// Keeps each run's time per iteration, in µs, by name.
const char* const Figures[] = {"first_page_code_order", "first_page_name_order",
                               "position_middle_name_order", "next_page_name_order", "keyed_fetch"};

void registerCase(Case* c) {
    std::string base = c->file + "_";
    std::string size = "_" + std::to_string(c->size);
    auto reg = [&](const std::string& fig, auto ours, auto raw) {
        benchmark::RegisterBenchmark((base + fig + size + "/ours").c_str(), ours)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((base + fig + size + "/raw").c_str(), raw)
            ->Unit(benchmark::kMicrosecond);
    };
    reg(
        Figures[0], [c](benchmark::State& s) { oursFirstPage(s, c, false); },
        [c](benchmark::State& s) { rawFirstPage(s, c, false); });
    reg(
        Figures[1], [c](benchmark::State& s) { oursFirstPage(s, c, true); },
        [c](benchmark::State& s) { rawFirstPage(s, c, true); });
    reg(
        Figures[2], [c](benchmark::State& s) { oursLocate(s, c); },
        [c](benchmark::State& s) { rawLocate(s, c); });
    reg(
        Figures[3], [c](benchmark::State& s) { oursNextPage(s, c); },
        [c](benchmark::State& s) { rawNextPage(s, c); });
    reg(
        Figures[4], [c](benchmark::State& s) { oursFetch(s, c); },
        [c](benchmark::State& s) { rawFetch(s, c); });
}

}  // namespace

int main(int argc, char** argv) {
    if (!bench::sqliteLoaded()) return 2;
    storage::install();
    const Fixture small{"small", 1000, 1000};
    const Fixture manyClubs{"clubs-100000", 1000, 100000};
    const Fixture manyMembers{"members-20000", 20000, 120};
    for (const Fixture* f : {&small, &manyClubs, &manyMembers})
        if (!makeFixture(*f)) {
            std::cerr << "could not make the fixture " << f->dir << "\n";
            return 2;
        }
    cases.push_back(makeCase("PLAND", 1000, small));
    cases.push_back(makeCase("PLAND", 100000, manyClubs));
    cases.push_back(makeCase("CLANOVI", 1000, small));
    cases.push_back(makeCase("CLANOVI", 20000, manyMembers));
    for (auto& c : cases) registerCase(c.get());

    bench::runRegistered(argc, argv);

    std::printf("\n");
    for (auto& c : cases)
        for (const char* fig : Figures) {
            std::string name = c->file + "_" + fig + "_" + std::to_string(c->size);
            bench::printRatio(name, name + "/ours", name + "/raw");
        }
    const std::pair<const char*, std::pair<int, int>> sizes[] = {{"PLAND", {1000, 100000}},
                                                                 {"CLANOVI", {1000, 20000}}};
    for (auto& [file, sz] : sizes)
        for (const char* fig : Figures) {
            std::string name = std::string(file) + "_" + fig;
            bench::printGrowth(name, name + "_" + std::to_string(sz.first) + "/ours",
                               name + "_" + std::to_string(sz.second) + "/ours");
        }
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
