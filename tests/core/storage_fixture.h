#pragma once
// Small files for the storage tests, a raw connection to look at what the
// storage wrote, and a fixture that gives each test a fresh directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"
#include "runtime/file/driver.h"
#include "runtime/file/file.h"
#include "support/temp_dir.h"

namespace storagetest {

// The database of the files below (an absolute path in the test's directory).
inline std::string& databasePath() {
    static std::string path;
    return path;
}
inline std::string owner() {
    return databasePath();
}

// A club code list (the layout of the clubs file).
struct Club {
    std::int32_t P1_SIP = 0;
    rt::Text<50> P1_NPD;
    rt::Text<50> P1_ADR;
    rt::Text<30> P1_SJD;
    rt::Text<20> P1_BRG;
    std::int32_t P1_DAR = 0;
    rt::Text<30> P1_TEL;
    rt::Text<30> P1_FAX;
    rt::Text<30> P1_WEB;
    rt::Text<30> P1_EML;
};

inline const rt::FileDef& clubDef() {
    static const rt::FileDef def{
        "PLAND",
        "PLA",
        &owner,
        true,
        {RT_FIELD(Club, P1_SIP, "PLA:P1_SIP", "@n_3"), RT_FIELD(Club, P1_NPD, "PLA:P1_NPD", "@s50"),
         RT_FIELD(Club, P1_ADR, "PLA:P1_ADR", "@s50"), RT_FIELD(Club, P1_SJD, "PLA:P1_SJD", "@s30"),
         RT_FIELD(Club, P1_BRG, "PLA:P1_BRG", "@s20"), RT_FIELD(Club, P1_DAR, "PLA:P1_DAR", "@d6."),
         RT_FIELD(Club, P1_TEL, "PLA:P1_TEL", "@s30"), RT_FIELD(Club, P1_FAX, "PLA:P1_FAX", "@s30"),
         RT_FIELD(Club, P1_WEB, "PLA:P1_WEB", "@s30"),
         RT_FIELD(Club, P1_EML, "PLA:P1_EML", "@s30")},
        {{"PLA:KeyP1_SIP", "KeyP1_SIP", {0}, true, true, true, true, true},
         {"PLA:KeyP1_NPD", "KeyP1_NPD", {1}, false, false, true, true, false}},
        sizeof(Club)};
    return def;
}

// Fee-ledger lines: a primary key of five columns, money.
struct Ledger {
    std::int32_t CL_SPS = 0;
    std::int32_t CL_SIP = 0;
    std::int32_t CL_SIF = 0;
    std::int32_t CL_RED = 0;
    std::int32_t CL_SIK = 0;
    rt::Text<25> CL_DOK;
    std::int32_t CL_DAD = 0;
    rt::Money CL_DUG;
    rt::Money CL_POD;
};

inline const rt::FileDef& ledgerDef() {
    static const rt::FileDef def{
        "CLANAR",
        "CLA1",
        &owner,
        true,
        {RT_FIELD(Ledger, CL_SPS, "CLA1:CL_SPS", "@n_2"),
         RT_FIELD(Ledger, CL_SIP, "CLA1:CL_SIP", "@n_3"),
         RT_FIELD(Ledger, CL_SIF, "CLA1:CL_SIF", "@n_6"),
         RT_FIELD(Ledger, CL_RED, "CLA1:CL_RED", "@n_8"),
         RT_FIELD(Ledger, CL_SIK, "CLA1:CL_SIK", "@n_2"),
         RT_FIELD(Ledger, CL_DOK, "CLA1:CL_DOK", "@s25"),
         RT_FIELD(Ledger, CL_DAD, "CLA1:CL_DAD", "@d6."),
         RT_FIELD(Ledger, CL_DUG, "CLA1:CL_DUG", "@n-14.`2"),
         RT_FIELD(Ledger, CL_POD, "CLA1:CL_POD", "@n-15.`2")},
        {{"CLA1:KeyCL_UKP", "KeyCL_UKP", {0, 1, 2, 6, 3}, true, true, true, true, false},
         {"CLA1:KeyCL_SIP", "KeyCL_SIP", {1}, false, false, true, true, false},
         {"CLA1:KeyCL_SIF", "KeyCL_SIF", {2}, false, false, true, true, false},
         {"CLA1:KeyCL_SIK", "KeyCL_SIK", {4}, false, false, true, true, false}},
        sizeof(Ledger)};
    return def;
}

// Membership categories (joined to the ledger by its category).
struct Category {
    std::int32_t K1_SIK = 0;
    rt::Text<60> K1_NAZ;
    rt::Money K1_ICL;
};

inline const rt::FileDef& categoryDef() {
    static const rt::FileDef def{
        "KATEG",
        "KAT",
        &owner,
        true,
        {RT_FIELD(Category, K1_SIK, "KAT:K1_SIK", "@n_2"),
         RT_FIELD(Category, K1_NAZ, "KAT:K1_NAZ", "@s60"),
         RT_FIELD(Category, K1_ICL, "KAT:K1_ICL", "@n-14.`2")},
        {{"KAT:KeyK1_SIK", "KeyK1_SIK", {0}, true, true, true, true, true}},
        sizeof(Category)};
    return def;
}

// Members, cut down to what the tests need: the primary key is not the
// first key, a byte, a long text.
struct Member {
    std::int32_t M1_SPS = 0;
    std::int32_t M1_SIP = 0;
    std::int32_t M1_SIF = 0;
    rt::Text<25> M1_PRE;
    rt::Text<20> M1_IME;
    std::uint8_t M1_STC = 0;
    rt::Text<5000> M1_NAP;
};

inline const rt::FileDef& memberDef() {
    static const rt::FileDef def{
        "CLANOVI",
        "CLA",
        &owner,
        true,
        {RT_FIELD(Member, M1_SPS, "CLA:M1_SPS", "@n_2"),
         RT_FIELD(Member, M1_SIP, "CLA:M1_SIP", "@n_3"),
         RT_FIELD(Member, M1_SIF, "CLA:M1_SIF", "@n_6"),
         RT_FIELD(Member, M1_PRE, "CLA:M1_PRE", "@s25"),
         RT_FIELD(Member, M1_IME, "CLA:M1_IME", "@s20"), RT_FIELD(Member, M1_STC, "CLA:M1_STC", ""),
         RT_FIELD(Member, M1_NAP, "CLA:M1_NAP", "")},
        {{"CLA:KeyM1_UKUPNO", "KeyM1_UKUPNO", {0, 1, 2}, false, false, true, true, false},
         {"CLA:KeyM1_SIF", "KeyM1_SIF", {2}, true, true, true, true, true},
         {"CLA:KeyM1_PRE", "KeyM1_PRE", {3}, false, false, true, true, false}},
        sizeof(Member)};
    return def;
}

// A raw connection, beside the storage's own.
class RawDb {
  public:
    explicit RawDb(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
        : api_(*storage::sqlite().api) {
        rc_ = api_.open_v2(path.c_str(), &db_, flags, nullptr);
    }
    ~RawDb() {
        if (db_) api_.close(db_);
    }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    int openResult() const { return rc_; }
    int exec(const std::string& sql) {
        return api_.exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    // Every row, each column as its text ("NULL" for null).
    std::vector<std::vector<std::string>> query(const std::string& sql) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* s = nullptr;
        if (api_.prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << "cannot prepare " << sql << ": " << api_.errmsg(db_);
            return rows;
        }
        while (api_.step(s) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < api_.column_count(s); ++i) {
                if (api_.column_type(s, i) == SQLITE_NULL) {
                    row.push_back("NULL");
                } else {
                    const auto* t = api_.column_text(s, i);
                    row.emplace_back(reinterpret_cast<const char*>(t),
                                     static_cast<std::size_t>(api_.column_bytes(s, i)));
                }
            }
            rows.push_back(std::move(row));
        }
        api_.finalize(s);
        return rows;
    }
    std::string scalar(const std::string& sql) {
        auto rows = query(sql);
        return rows.empty() || rows[0].empty() ? std::string("<none>") : rows[0][0];
    }
    std::string errmsg() { return api_.errmsg(db_); }

  private:
    const storage::SqliteApi& api_;
    sqlite3* db_ = nullptr;
    int rc_ = 0;
};

// A child process holding a connection of its own to the database, in a
// state set by its statements, until told to let go.
class OtherProcess {
  public:
    OtherProcess(const std::string& path, std::vector<std::string> statements) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            close(up[0]);
            close(down[1]);
            char ok = 1;
            {
                RawDb raw(path);
                for (auto& s : statements)
                    if (raw.exec(s) != SQLITE_OK) ok = 0;
                // Keep a read open if asked: step a statement and leave it.
                if (write(up[1], &ok, 1) != 1) _exit(2);
                char c;
                if (read(down[0], &c, 1) < 0) _exit(3);
            }
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        up_ = up[0];
        down_ = down[1];
        char ok = 0;
        if (read(up_, &ok, 1) != 1) ok = 0;
        ready_ = ok == 1;
    }
    ~OtherProcess() { release(); }
    bool ready() const { return ready_; }
    void release() {
        if (pid_ <= 0) return;
        char c = 0;
        if (write(down_, &c, 1) != 1) kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(up_);
        close(down_);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int up_ = -1, down_ = -1;
    bool ready_ = false;
};

// Why a statement would grow with the table: a sort, an OFFSET, no row limit,
// or a walk of the view's own table (t0) that does not start at an end of
// the order. A joined table must be searched by its key. "" when it is
// bounded.
inline std::string unboundedBecause(RawDb& raw, const std::string& sql) {
    if (sql.find("OFFSET") != std::string::npos) return "OFFSET";
    const bool limited = sql.find("LIMIT") != std::string::npos;
    std::string plan, primary;
    for (auto& row : raw.query("EXPLAIN QUERY PLAN " + sql)) {
        const std::string& line = row.back();
        plan += line + "; ";
        const bool joined = line.find(" t1") != std::string::npos ||
                            line.find(" t2") != std::string::npos ||
                            line.find(" t3") != std::string::npos;
        if (joined && line.rfind("SEARCH", 0) != 0) return "scans a joined table: " + plan;
        if (!joined) primary += line + "; ";
    }
    if (plan.find("TEMP B-TREE") != std::string::npos) return "sorts: " + plan;
    if (primary.find("SEARCH") == std::string::npos) {
        // Walking the index (or the rows in code order) is bounded only from
        // an end of the order with a row limit; a read from a position seeks.
        if (!limited) return "no limit: " + plan;
        if (sql.find('>') != std::string::npos || sql.find('<') != std::string::npos)
            return "walks to a position: " + plan;
    }
    return {};
}

// Each test in a fresh directory, with the storage installed.
class StorageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        databasePath() = (dir_.path() / "Clanovi.sqlite").string();
    }
    void TearDown() override {
        storage::setTrace({});
        if (std::filesystem::exists(databasePath())) {
            RawDb raw(databasePath(), SQLITE_OPEN_READONLY);
            if (raw.openResult() == SQLITE_OK) {
                EXPECT_EQ(raw.scalar("PRAGMA integrity_check"), "ok");
            }
        }
    }

    // Opens the file, creating its table when missing (as the framework does).
    static int openOrCreate(rt::FileStructure& f) {
        int rc = f.open();
        if (rc == rt::FileErr::NoFile) {
            rc = f.create();
            if (rc == 0) rc = f.open();
        }
        return rc;
    }

    testsupport::TempDir dir_;
};

}  // namespace storagetest
