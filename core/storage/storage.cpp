#include "core/storage/storage.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

#include "core/storage/sql.h"
#include "core/storage/sqlite_api.h"
#include "framework/error.h"
#include "runtime/dialogs.h"
#include "runtime/held_files.h"
#include "runtime/file/driver.h"
#include "runtime/text.h"
#include "runtime/threads.h"

namespace storage {

namespace {

using Clock = std::chrono::steady_clock;
using rt::FileErr::BadRecordDeclaration;
using rt::FileErr::DuplicateKey;
using rt::FileErr::FileSystemError;
using rt::FileErr::NoAccess;
using rt::FileErr::NoFile;
using rt::FileErr::NoMemory;
using rt::FileErr::RecordNotAvailable;

constexpr auto BusyStep = std::chrono::milliseconds(30);
// How long opening a file (and creating a missing table) waits for a busy
// database: its failure ends the program, so a momentary lock must not.
constexpr auto OpenWait = std::chrono::milliseconds(2000);

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool startsWith(const char* s, const char* prefix) {
    return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// ---------------------------------------------------------------------------
// Trace (tests)

std::mutex traceLock;
std::shared_ptr<TraceFn> traceFn;
std::atomic<bool> tracing{false};

std::shared_ptr<TraceFn> currentTrace() {
    if (!tracing.load(std::memory_order_relaxed)) return nullptr;
    std::lock_guard<std::mutex> g(traceLock);
    return traceFn;
}

// ---------------------------------------------------------------------------
// Status helpers

int setStatus(rt::FileStatus& st, int code, int fileErrorCode, std::string text) {
    st.code = code;
    st.fileErrorCode = fileErrorCode;
    st.fileError = std::move(text);
    return code;
}

int libraryFailure(rt::FileStatus& st) {
    const LoadResult& lib = sqlite();
    return setStatus(st, FileSystemError, lib.code, lib.text);
}

// The storage's number for an SQLite result, with the database's own text.
// A database file that cannot be opened is "File Not Found" only when a
// file is being opened; a write that cannot open its journal, or a create
// that cannot make the file, is a file system error with the library's text.
int mapResult(int rc, const char* message, rt::FileStatus& st, bool opening = false) {
    int primary = rc & 0xff;
    int code = FileSystemError;
    switch (primary) {
        case SQLITE_CANTOPEN:
            if (opening) code = NoFile;
            break;
        case SQLITE_ERROR:
            if (startsWith(message, "no such table")) code = NoFile;
            break;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            code = NoAccess;
            break;
        case SQLITE_NOMEM:
            code = NoMemory;
            break;
        case SQLITE_CONSTRAINT:
            code = DuplicateKey;
            break;
        default:
            break;
    }
    return setStatus(st, code, -primary, resultText(primary));
}

// ---------------------------------------------------------------------------
// Connections

// Statements of a connection by their text, at most this many; more
// finalizes every one not in the middle of its rows and starts again.
constexpr std::size_t MaxStatements = 128;
// Connections no file uses any more, kept for the next open (the next
// window's thread); beyond this many the oldest is closed.
constexpr std::size_t MaxIdle = 4;

struct Connection {
    std::string key;   // the absolute path, upper case
    std::string path;  // the absolute path as given
    rt::OpenMode mode;
    sqlite3* db = nullptr;
    // Held for every statement; held from BEGIN to COMMIT or ROLLBACK by
    // the thread whose transaction it is, so no other thread's statement
    // falls inside it. Recursive: the owner's own statements pass. Nothing
    // touches db or its statements without it (the connection is opened
    // without SQLite's own mutex, and decodeText relies on it too).
    std::recursive_mutex lock;
    std::atomic<std::thread::id> owner{};  // the thread with an open transaction
    std::chrono::milliseconds timeout{2000};
    const void* txnHandle = nullptr;  // the handle whose BEGIN it was (owner's thread only)
    bool dead = false;                // closed by closeAllConnections; guarded by lock

    // What the connection was opened on: the process and the file (device
    // and inode). An idle connection is used again only while they hold.
    pid_t pid = 0;
    dev_t device = 0;
    ino_t inode = 0;

    // The prepared statements of every handle on the connection, by text
    // (under lock). generation counts the times some were finalized, so a
    // handle's shortcuts into the cache know when to let go.
    std::unordered_map<std::string, sqlite3_stmt*> statements;
    std::uint64_t generation = 0;

    ~Connection() {
        if (!path.empty()) rt::releaseFile(path);
        if (!db) return;
        const SqliteApi& api = *sqlite().api;
        for (auto& [sql, st] : statements) api.finalize(st);
        api.close(db);
    }
    bool ownedByMe() const { return owner.load() == std::this_thread::get_id(); }

    // Finalizes the cached statements; with keepBusy, those in the middle
    // of their rows (a caller further up this thread's stack) stay.
    void finalizeStatements(bool keepBusy) {
        const SqliteApi& api = *sqlite().api;
        for (auto it = statements.begin(); it != statements.end();) {
            if (keepBusy && api.stmt_busy(it->second)) {
                ++it;
                continue;
            }
            api.finalize(it->second);
            it = statements.erase(it);
        }
        ++generation;
    }
};

std::mutex listLock;
// Every live connection; one that only this list holds is idle. Never
// destroyed: connections close through closeAllConnections and at the end of
// the process run, not in static destruction, whose order against the
// library's own is not defined.
std::vector<std::shared_ptr<Connection>>& connections = *new std::vector<std::shared_ptr<Connection>>;

std::mutex marksLock;
std::set<std::string> checkedFiles;  // connection key + "|" + table: checked this process

std::filesystem::path absolutePath(const std::string& name) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(name, ec);
    return ec ? std::filesystem::path(name) : p.lexically_normal();
}

std::string connectionKey(const std::string& name) {
    return upper(absolutePath(name).string());
}

// Whether an idle connection may serve a new open as a fresh one would: the
// same process (a connection never crosses a fork), the same file still at
// that path (not removed, nor replaced by another), still writable for a
// read-write one. What another program wrote meanwhile needs no check here:
// SQLite looks at the file's change counter at the start of every read and
// drops stale pages, and reloads a changed schema, preparing the cached
// statements again.
bool stillServes(const Connection& c) {
    if (c.pid != ::getpid()) return false;
    struct stat st;
    if (::stat(c.path.c_str(), &st) != 0 || st.st_dev != c.device || st.st_ino != c.inode)
        return false;
    return c.mode != rt::OpenMode::ReadWrite || ::access(c.path.c_str(), W_OK) == 0;
}

// Closes a connection no handle uses (under listLock). A connection made in
// another process (before a fork) is let go without a word to SQLite: its
// file locks are that process's.
void retire(const std::shared_ptr<Connection>& c) {
    std::unique_lock<std::recursive_mutex> g(c->lock);
    if (c->pid != ::getpid()) {
        c->statements.clear();
        c->db = nullptr;
    } else if (c->db) {
        c->finalizeStatements(false);
        if (sqlite().api->close(c->db) == SQLITE_OK) c->db = nullptr;
    }
    c->dead = true;
}

// Keeps at most MaxIdle idle connections (under listLock), closing the
// oldest beyond them.
void trimIdle() {
    std::size_t idle = 0;
    for (const auto& c : connections)
        if (c.use_count() == 1) ++idle;
    for (auto it = connections.begin(); idle > MaxIdle && it != connections.end();) {
        if (it->use_count() == 1) {
            retire(*it);
            it = connections.erase(it);
            --idle;
        } else {
            ++it;
        }
    }
}

// The shared connection for (name, mode); opened when there is none. With
// allowCreate the read-write connection may create the database file. A
// connection that files still use is shared as it is; an idle one is used
// again when it still serves (stillServes), else closed and opened afresh.
int connectionFor(const std::string& name, rt::OpenMode mode, bool allowCreate,
                  std::shared_ptr<Connection>& out, rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    const std::filesystem::path absolute = absolutePath(name);
    const std::string key = upper(absolute.string());
    std::lock_guard<std::mutex> g(listLock);
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        const auto& c = *it;
        if (c->key != key || c->mode != mode || c->dead) continue;
        if (c.use_count() > 1 || stillServes(*c)) {
            out = c;
            return setStatus(st, 0, 0, {});
        }
        retire(c);
        connections.erase(it);
        break;
    }
    int flags = mode == rt::OpenMode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (allowCreate && mode == rt::OpenMode::ReadWrite) flags |= SQLITE_OPEN_CREATE;
    // Connection::lock already keeps every use of a connection to one thread
    // at a time; SQLite's own mutex around each call would only repeat it,
    // and it costs about a tenth of a page read (several calls per column).
    static_assert(NoMutexFlag == SQLITE_OPEN_NOMUTEX);
    flags |= NoMutexFlag;
    sqlite3* db = nullptr;
    int rc = api.open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        int r = mapResult(rc, db ? api.errmsg(db) : nullptr, st, !allowCreate);
        if (db) api.close(db);
        return r;
    }
    // A file the process may not write opens read-only without a word:
    // refuse it here so the framework can fall back to read-only openly.
    if (mode == rt::OpenMode::ReadWrite && api.db_readonly(db, "main") == 1) {
        api.close(db);
        return setStatus(st, NoAccess, -SQLITE_READONLY, resultText(SQLITE_READONLY));
    }
    // A page cache large enough for the lists' working set (the name index
    // and the rows a user pages through), so paging through a large table
    // costs what it costs in a small one. Pages are taken as they are used.
    // The pragma reads the schema: on a database another process holds it
    // is busy, and that is reported (the open waits and tries again) rather
    // than left with the small default cache.
    std::string cache = "PRAGMA cache_size = -" + std::to_string(CacheKiB);
    rc = api.exec(db, cache.c_str(), nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_BUSY) {
        int r = mapResult(rc, api.errmsg(db), st);
        api.close(db);
        return r;
    }
    auto c = std::make_shared<Connection>();
    c->key = key;
    c->path = absolute.string();
    // From now on no photo or other file a user names may open it (D35).
    rt::holdFile(c->path);
    c->mode = mode;
    c->db = db;
    c->pid = ::getpid();
    struct stat fileStat;
    if (::stat(c->path.c_str(), &fileStat) == 0) {
        c->device = fileStat.st_dev;
        c->inode = fileStat.st_ino;
    }
    connections.push_back(c);
    out = std::move(c);
    trimIdle();
    return setStatus(st, 0, 0, {});
}

// Runs a transaction statement, retrying while the database is busy.
int execTransactionStatement(Connection& c, const char* sql, std::chrono::milliseconds timeout,
                             rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    if (auto t = currentTrace()) (*t)(sql, {});
    auto start = Clock::now();
    for (;;) {
        int rc = api.exec(c.db, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return setStatus(st, 0, 0, {});
        if ((rc & 0xff) != SQLITE_BUSY || Clock::now() - start >= timeout)
            return mapResult(rc, api.errmsg(c.db), st);
        std::this_thread::sleep_for(BusyStep);
    }
}

bool busy(const rt::FileStatus& st) {
    return st.fileErrorCode == -SQLITE_BUSY;
}

// Runs attempt again every 30 ms while it fails on a busy database, until
// the wait of an open is over; then its failure stands. An attempt that
// clears mayRetry fails for good.
template <typename Attempt>
int whileBusy(rt::FileStatus& st, Attempt attempt, const bool& mayRetry = true) {
    const auto end = Clock::now() + OpenWait;
    for (;;) {
        int rc = attempt();
        if (rc == 0 || !busy(st) || !mayRetry || Clock::now() >= end) return rc;
        std::this_thread::sleep_for(BusyStep);
    }
}

// Runs a statement without rows, failing at once on a busy database.
int execPlain(Connection& c, const std::string& sql, rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    if (auto t = currentTrace()) (*t)(sql, {});
    int rc = api.exec(c.db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return setStatus(st, 0, 0, {});
    return mapResult(rc, api.errmsg(c.db), st);
}

// ---------------------------------------------------------------------------
// Values

void bindField(sqlite3_stmt* s, int at, const rt::FieldDef& f, const char* record,
               std::vector<std::string>* trace) {
    const SqliteApi& api = *sqlite().api;
    const char* p = record + f.offset;
    switch (f.type) {
        case rt::FieldType::Long: {
            std::int32_t v;
            std::memcpy(&v, p, sizeof v);
            api.bind_int(s, at, v);
            if (trace) trace->push_back(std::to_string(v));
            break;
        }
        case rt::FieldType::Byte: {
            auto v = static_cast<unsigned char>(*p);
            api.bind_int(s, at, v);
            if (trace) trace->push_back(std::to_string(v));
            break;
        }
        case rt::FieldType::String:
            // All n bytes, trailing blanks included, unconverted.
            api.bind_text(s, at, p, static_cast<int>(f.size), SQLITE_TRANSIENT);
            if (trace) trace->push_back("'" + std::string(p, f.size) + "'");
            break;
        case rt::FieldType::Decimal: {
            rt::Money m;
            std::memcpy(&m, p, sizeof m);
            api.bind_double(s, at, m.toDouble());
            if (trace) trace->push_back(std::to_string(m.toDouble()));
            break;
        }
    }
}

void bindValue(sqlite3_stmt* s, int at, const rt::FieldDef& f, const rt::Value& v,
               std::vector<std::string>* trace) {
    const SqliteApi& api = *sqlite().api;
    if (const auto* n = std::get_if<std::int64_t>(&v)) {
        if (f.type == rt::FieldType::Decimal) {
            api.bind_double(s, at, static_cast<double>(*n) / 100.0);
        } else {
            api.bind_int64(s, at, *n);
        }
        if (trace) trace->push_back(std::to_string(*n));
        return;
    }
    std::string text = std::get<std::string>(v);
    if (f.type == rt::FieldType::String) {
        text.resize(f.size, ' ');  // compared at full width, as stored
    }
    api.bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (trace) trace->push_back("'" + text + "'");
}

// What no 64-bit count of hundredths can hold (1e300 stored by another
// program) saturates with its sign, never wraps to a wrong one.
rt::Money moneyFrom(double d) {
    return rt::Money::fromDouble(d);
}

// The column's text, cut or padded with blanks to size bytes; NULL is all
// blanks. One call on the statement (column_value) and two on the value,
// where column_text and column_bytes would each look the column up. The
// value is SQLite's "unprotected" kind, safe to read only while no other
// thread uses the connection: that holds because every use of a
// connection's statements, from prepare to reset and finalize, runs under
// Connection::lock.
void decodeText(const SqliteApi& api, sqlite3_stmt* s, int col, char* p, std::size_t size) {
    sqlite3_value* v = api.column_value(s, col);
    std::size_t n = 0;
    // The text first, then its length (the length of the text form).
    if (const auto* t = api.value_text(v)) {
        n = std::min(static_cast<std::size_t>(api.value_bytes(v)), size);
        std::memcpy(p, t, n);
    }
    std::memset(p + n, ' ', size - n);
}

// NULL (written by another program) reads as zero or blanks. Every page
// decodes every column of every row, so a column costs as few calls into
// SQLite as it can: SQLite reads a NULL as 0, 0.0 and a null text pointer,
// which are what a NULL stands for here anyway.
//
// An integer another program stored beyond its field's range is never
// wrapped into the field (a code of 4294967296 would read as 0, and
// auto-numbering would prime from a wrong maximum): the decode says false
// and the read fails with rangeError.
bool decodeField(const SqliteApi& api, sqlite3_stmt* s, int col, const rt::FieldDef& f,
                 char* record) {
    char* p = record + f.offset;
    switch (f.type) {
        case rt::FieldType::Long: {
            const std::int64_t w = api.column_int64(s, col);
            if (w < INT32_MIN || w > INT32_MAX) return false;
            const auto v = static_cast<std::int32_t>(w);
            std::memcpy(p, &v, sizeof v);
            break;
        }
        case rt::FieldType::Byte: {
            const std::int64_t w = api.column_int64(s, col);
            if (w < 0 || w > 255) return false;
            *p = static_cast<char>(static_cast<unsigned char>(w));
            break;
        }
        case rt::FieldType::String:
            decodeText(api, s, col, p, f.size);
            break;
        case rt::FieldType::Decimal: {
            rt::Money m = moneyFrom(api.column_double(s, col));
            std::memcpy(p, &m, sizeof m);
            break;
        }
    }
    return true;
}

// The failure of a read that met a value outside its field's range: File
// System Error (the storage could not give the row as the file declares
// it), the text naming the table, the column and the value.
int rangeError(const SqliteApi& api, sqlite3_stmt* s, int col, const char* table,
               const rt::FieldDef& f, rt::FileStatus& st) {
    st.code = FileSystemError;
    st.fileErrorCode = 0;
    st.fileError = std::string(table) + "." + f.column + " holds " +
                   std::to_string(api.column_int64(s, col)) + ", outside the range of its field";
    return st.code;
}

// Every column of a row of def into record; the range error of the first
// column that does not fit.
int decodeRecord(const SqliteApi& api, sqlite3_stmt* s, const rt::FileDef& def, char* record,
                 rt::FileStatus& st) {
    for (std::size_t i = 0; i < def.fields.size(); ++i)
        if (!decodeField(api, s, static_cast<int>(i), def.fields[i], record))
            return rangeError(api, s, static_cast<int>(i), def.label, def.fields[i], st);
    return 0;
}

// A single value (MIN, MAX, a keyed value): integers are given whole, so
// the caller sees a value beyond the field's range as it is.
rt::Value decodeValue(sqlite3_stmt* s, int col, const rt::FieldDef& f) {
    const SqliteApi& api = *sqlite().api;
    if (f.type == rt::FieldType::String) {
        std::string out(f.size, ' ');
        decodeText(api, s, col, out.data(), f.size);
        return out;
    }
    if (f.type == rt::FieldType::Decimal) return moneyFrom(api.column_double(s, col)).cents;
    return static_cast<std::int64_t>(api.column_int64(s, col));
}

// ---------------------------------------------------------------------------
// The per-thread, per-file handle

class SqliteHandle final : public rt::StorageHandle {
  public:
    explicit SqliteHandle(std::shared_ptr<Connection> c) : conn_(std::move(c)) {}
    ~SqliteHandle() override {
        rt::FileStatus st;
        close(st);
    }

    int close(rt::FileStatus& st) override {
        if (!conn_) return setStatus(st, 0, 0, {});
        {
            std::unique_lock<std::recursive_mutex> g(conn_->lock);
            // The statements stay with the connection, for the next handle.
            views_.clear();
            // A transaction this handle began and nobody ended is rolled back:
            // its thread is done with the file.
            if (conn_->ownedByMe() && conn_->txnHandle == this) {
                if (!conn_->dead) execTransactionStatement(*conn_, "ROLLBACK", conn_->timeout, st);
                releaseTransaction();
            }
        }
        conn_.reset();
        return setStatus(st, 0, 0, {});
    }

    int fetch(const rt::FileDef& def, int key, const void* keyRecord, void* target,
              rt::FileStatus& st) override {
        std::string prefix = "SELECT " + columnList(def) + " FROM " + def.label + " WHERE ";
        auto terms = orderTerms(def, key);
        const auto& kf = def.keys[static_cast<std::size_t>(key)].fields;
        std::string where;
        for (std::size_t i = 0; i < kf.size(); ++i) {
            if (i) where += " AND ";
            where += std::string(def.fields[static_cast<std::size_t>(kf[i])].column) + " = ?";
            if (terms[i].noCase) where += " COLLATE NOCASE";
        }
        std::string order;
        for (std::size_t i = 0; i < terms.size(); ++i) {
            if (i) order += ", ";
            order += def.fields[static_cast<std::size_t>(terms[i].field)].column;
            if (terms[i].noCase) order += " COLLATE NOCASE";
        }
        std::string sql = prefix + where + " ORDER BY " + order + " LIMIT 1";
        auto g = lock();
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        int at = 1;
        for (int f : kf)
            bindField(s, at++, def.fields[static_cast<std::size_t>(f)],
                      static_cast<const char*>(keyRecord), ex.trace());
        ex.run();
        int rc = ex.step();
        if (rc == SQLITE_ROW) {
            if (int bad = decodeRecord(*sqlite().api, s, def, static_cast<char*>(target), st))
                return bad;
            return setStatus(st, 0, 0, {});
        }
        if (rc == SQLITE_DONE) return setStatus(st, RecordNotAvailable, 0, {});
        return failed(rc, st);
    }

    int scan(const rt::FileDef& def, const rt::ScanRequest& r, const std::function<void()>& onRow,
             int& rows, rt::FileStatus& st) override {
        rows = 0;
        OrderSql o = orderSql(def, r, {});
        const std::string sql =
            orderedSelect("SELECT " + columnList(def) + " FROM " + def.label, {}, o, o.orderBy);
        auto g = lock();
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        bindBound(s, def, o.boundTerms, o.readTerms(), r, r.limit, ex.trace(),
                  [](int&) { return 0; });
        ex.run();
        char* target = static_cast<char*>(r.targets.at(0));
        const SqliteApi& api = *sqlite().api;
        for (;;) {
            int rc = ex.step();
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) return failed(rc, st);
            if (int bad = decodeRecord(api, s, def, target, st)) return bad;
            ++rows;
            onRow();
        }
        return setStatus(st, 0, 0, {});
    }

    int insert(const rt::FileDef& def, const void* record, rt::FileStatus& st) override {
        std::string sql =
            std::string("INSERT INTO ") + def.label + " (" + columnList(def) + ") VALUES (";
        for (std::size_t i = 0; i < def.fields.size(); ++i) sql += i ? ",?" : "?";
        sql += ")";
        auto g = lock();
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        for (std::size_t i = 0; i < def.fields.size(); ++i)
            bindField(s, static_cast<int>(i + 1), def.fields[i], static_cast<const char*>(record),
                      ex.trace());
        ex.run();
        int rc = ex.step();
        if (rc != SQLITE_DONE) return failed(rc, st);
        return setStatus(st, 0, 0, {});
    }

    int update(const rt::FileDef& def, const void* asRead, const void* record,
               rt::FileStatus& st) override {
        auto* before = static_cast<const char*>(asRead);
        auto* now = static_cast<const char*>(record);
        std::vector<std::size_t> changed;
        for (std::size_t i = 0; i < def.fields.size(); ++i) {
            const rt::FieldDef& f = def.fields[i];
            if (std::memcmp(before + f.offset, now + f.offset, rt::memorySize(f)) != 0)
                changed.push_back(i);
        }
        if (changed.empty()) return setStatus(st, 0, 0, {});
        std::string sql = std::string("UPDATE ") + def.label + " SET ";
        for (std::size_t i = 0; i < changed.size(); ++i) {
            if (i) sql += ", ";
            sql += std::string(def.fields[changed[i]].column) + " = ?";
        }
        sql += whereByPrimary(def);
        auto g = lock();
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        int at = 1;
        for (std::size_t i : changed) bindField(s, at++, def.fields[i], now, ex.trace());
        bindPrimary(def, s, at, before, ex.trace());
        ex.run();
        int rc = ex.step();
        if (rc != SQLITE_DONE) return failed(rc, st);
        // A change that reached no row is a failure, never a success.
        if (sqlite().api->changes(conn_->db) == 0) return setStatus(st, RecordNotAvailable, 0, {});
        return setStatus(st, 0, 0, {});
    }

    int remove(const rt::FileDef& def, const void* asRead, rt::FileStatus& st) override {
        std::string sql = std::string("DELETE FROM ") + def.label + whereByPrimary(def);
        auto g = lock();
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        bindPrimary(def, s, 1, static_cast<const char*>(asRead), ex.trace());
        ex.run();
        int rc = ex.step();
        if (rc != SQLITE_DONE) return failed(rc, st);
        if (sqlite().api->changes(conn_->db) == 0) return setStatus(st, RecordNotAvailable, 0, {});
        return setStatus(st, 0, 0, {});
    }

    int begin(std::chrono::milliseconds timeout, rt::FileStatus& st) override {
        if (!conn_) return setStatus(st, FileSystemError, 0, "The file is not open");
        // A second BEGIN inside the thread's own transaction does nothing.
        if (conn_->ownedByMe()) return setStatus(st, 0, 0, {});
        conn_->lock.lock();  // waits while another thread's transaction is open
        if (conn_->dead) {
            conn_->lock.unlock();
            return setStatus(st, FileSystemError, -SQLITE_MISUSE, resultText(SQLITE_MISUSE));
        }
        int rc = execTransactionStatement(*conn_, "BEGIN", timeout, st);
        if (rc != 0) {
            conn_->lock.unlock();
            return rc;
        }
        conn_->owner.store(std::this_thread::get_id());
        conn_->timeout = timeout;
        conn_->txnHandle = this;
        return rc;
    }

    int commit(rt::FileStatus& st) override { return endTransaction("COMMIT", st); }
    int rollback(rt::FileStatus& st) override { return endTransaction("ROLLBACK", st); }

    int count(const rt::FileDef& def, std::int64_t& rows, rt::FileStatus& st) override {
        std::string sql = std::string("SELECT COUNT(*) FROM ") + def.label;
        auto g = lock();
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        ex.run();
        int rc = ex.step();
        if (rc != SQLITE_ROW) return failed(rc, st);
        rows = sqlite().api->column_int64(s, 0);
        return setStatus(st, 0, 0, {});
    }

    // --- views

    int viewScan(const rt::View& v, const rt::ScanRequest& r, const std::function<void()>& onRow,
                 int& rows, rt::FileStatus& st) override {
        rows = 0;
        const rt::FileDef& pd = v.file(0)->def();
        // A bound that follows the filter's fixed leading key fields is
        // written without them (see seekPrefix), so that SQLite seeks to the
        // position instead of reading from the start of the filter's range.
        auto build = [&](ViewStatement& e) {
            const std::vector<OrderTerm> terms = orderTerms(pd, r.key);
            std::size_t fixed = 0;
            int demote = -1;
            if (e.request.seek) {
                fixed = seekPrefix(v, terms);
                const std::size_t n = r.boundWithPrimary
                                          ? terms.size()
                                          : pd.keys[static_cast<std::size_t>(r.key)].fields.size();
                if (fixed >= n) fixed = 0;  // nothing left to seek by: the whole bound
                else demote = terms[fixed].field;
                for (std::size_t i = 0; i < fixed; ++i) e.fixedFields.push_back(terms[i].field);
            }
            OrderSql o = orderSql(pd, r, "t0", fixed);
            // Ties in the key that its index does not order by the primary
            // key are put in order here (tieOrder), not by SQLite.
            const std::size_t keyTerms = pd.keys[static_cast<std::size_t>(r.key)].fields.size();
            const int pk = pd.primaryKey();
            const auto& pkFields = pd.keys[static_cast<std::size_t>(pk)].fields;
            const bool rowidTies = pkFields.size() == 1 &&
                                   pd.fields[static_cast<std::size_t>(pkFields[0])].type ==
                                       rt::FieldType::Long;
            const bool ties = terms.size() > keyTerms && !rowidTies;
            // Only the last row's position wanted: the primary key's fields
            // beyond the order key that the caller did not project are left
            // out (the index lacks them: reading them reads the table's row
            // for every row); the rows' numbers take their place, and they
            // are read by it where needed (tieOrder).
            if (ties && e.request.lean) {
                const rt::FileStructure* primary = v.file(0);
                auto projected = [&](int field) {
                    return std::any_of(v.projected().begin(), v.projected().end(),
                                       [&](const rt::FieldRef& f) {
                                           return f.file == primary && f.index == field;
                                       });
                };
                const bool projectsPrimary =
                    std::any_of(v.projected().begin(), v.projected().end(),
                                [&](const rt::FieldRef& f) { return f.file == primary; });
                for (std::size_t i = keyTerms; projectsPrimary && i < terms.size(); ++i)
                    if (!projected(terms[i].field)) e.leftOut.push_back(terms[i].field);
            }
            ViewSql q = viewSql(v, demote,
                                r.forward ? rt::Compare::GreaterEqual : rt::Compare::LessEqual,
                                false, &e.leftOut);
            if (ties) {
                std::vector<int> rf;  // the primary's columns as selected
                for (int f : v.readFields()[0])
                    if (std::find(e.leftOut.begin(), e.leftOut.end(), f) == e.leftOut.end())
                        rf.push_back(f);
                for (std::size_t i = 0; i < terms.size(); ++i) {
                    int col = static_cast<int>(
                        std::find(rf.begin(), rf.end(), terms[i].field) - rf.begin());
                    if (i >= keyTerms && !e.leftOut.empty())
                        col = static_cast<int>(i - keyTerms);  // of the row's own read
                    (i < keyTerms ? e.keyColumns : e.tieColumns).push_back({col, terms[i].noCase});
                    if (i >= keyTerms)
                        e.tieFields.push_back(&pd.fields[static_cast<std::size_t>(terms[i].field)]);
                }
            }
            if (!e.leftOut.empty()) {
                int selected = 0;
                for (const auto& rf : v.readFields()) selected += static_cast<int>(rf.size());
                e.rowidColumn = selected - static_cast<int>(e.leftOut.size());
                e.tieSql = "SELECT ";
                for (std::size_t i = 0; i < e.tieFields.size(); ++i)
                    e.tieSql += std::string(i ? "," : "") + e.tieFields[i]->column;
                e.tieSql += std::string(" FROM ") + pd.label + " WHERE rowid = ?";
            }
            // (A bound split at a run of equal keys has the row number last:
            // those ties come in order, so it never meets tieOrder.)
            e.sql = orderedSelect(q.select + q.from, q.where, o,
                                  e.tieColumns.empty() ? o.orderBy : o.orderByKey);
            e.readTerms = o.readTerms();
            e.boundTerms = std::move(o.boundTerms);
        };
        auto g = lock();
        const ViewStatement* vs = nullptr;
        ViewRequest request{false, r.key, r.forward, r.bound, r.boundWithPrimary,
                            r.bound != rt::Bound::None, r.lastRowPosition && !leanRefused_};
        if (int rc = viewStatement(v, request, build, vs, st)) {
            // A table without row numbers (WITHOUT ROWID, another
            // program's) is read whole.
            if (!request.lean || st.fileErrorCode != -SQLITE_ERROR) return rc;
            leanRefused_ = true;
            request.lean = false;
            st = rt::FileStatus{};
            if (int again = viewStatement(v, request, build, vs, st)) return again;
        }
        if (!vs->fixedFields.empty() &&
            !boundFollowsFilter(v, vs->fixedFields, static_cast<const char*>(r.boundRecord))) {
            request.seek = false;
            if (int rc = viewStatement(v, request, build, vs, st)) return rc;
        }
        sqlite3_stmt* s = vs->stmt;
        Exec ex(s, vs->sql);
        const SqliteApi& api = *sqlite().api;
        // Ordering ties here, the statement reads on to the end of the run of
        // equal keys that holds the last row wanted.
        const int limit = vs->tieColumns.empty() ? r.limit : -1;
        if (int rc = bindBound(s, pd, vs->boundTerms, vs->readTerms, r, limit, ex.trace(),
                               [&](int& at) { return bindFilter(v, s, at, ex.trace(), st); }))
            return rc;
        ex.run();
        if (!vs->tieColumns.empty()) {
            const int rc = tieOrder(*vs, s, ex, r, onRow, rows, st);
            // A table without row numbers made since the statement was
            // prepared fails at its first step: read whole rows.
            if (rc != 0 && rows == 0 && request.lean && st.fileErrorCode == -SQLITE_ERROR) {
                leanRefused_ = true;
                st = rt::FileStatus{};
                return viewScan(v, r, onRow, rows, st);
            }
            return rc;
        }
        for (;;) {
            int rc = ex.step();
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) return failed(rc, st);
            if (int bad = decodeView(api, *vs, s, r.targets, st)) return bad;
            ++rows;
            onRow();
        }
        return setStatus(st, 0, 0, {});
    }

    int viewReget(const rt::View& v, const void* pkRecord, const std::vector<void*>& targets,
                  rt::FileStatus& st) override {
        const rt::FileDef& pd = v.file(0)->def();
        auto build = [&](ViewStatement& e) {
            ViewSql q = viewSql(v);
            e.sql = q.select + q.from + whereByPrimary(pd, "t0.") + " LIMIT 1";
        };
        auto g = lock();
        const ViewStatement* vs = nullptr;
        if (int rc = viewStatement(v, {true, -1, true, rt::Bound::None, false}, build, vs, st))
            return rc;
        sqlite3_stmt* s = vs->stmt;
        Exec ex(s, vs->sql);
        bindPrimary(pd, s, 1, static_cast<const char*>(pkRecord), ex.trace());
        ex.run();
        int rc = ex.step();
        if (rc == SQLITE_DONE) return setStatus(st, RecordNotAvailable, 0, {});
        if (rc != SQLITE_ROW) return failed(rc, st);
        if (int bad = decodeView(*sqlite().api, *vs, s, targets, st)) return bad;
        return setStatus(st, 0, 0, {});
    }

    // The first step of sql, a statement over the view's filter, with the
    // filter's values bound (under the lock): take reads the row from the
    // statement and the step's result, and gives the call's result.
    template <class Take>
    int filteredStep(const rt::View& v, const std::string& sql, rt::FileStatus& st, Take take) {
        sqlite3_stmt* s = nullptr;
        if (int rc = prepare(sql, s, st)) return rc;
        Exec ex(s, sql);
        int at = 1;
        if (int rc = bindFilter(v, s, at, ex.trace(), st)) return rc;
        ex.run();
        return take(s, ex.step());
    }

    int viewCount(const rt::View& v, std::int64_t& rows, rt::FileStatus& st) override {
        ViewSql q = viewSql(v, -1, rt::Compare::GreaterEqual, true);
        std::string sql = "SELECT COUNT(*)" + q.from;
        if (!q.where.empty()) sql += " WHERE " + q.where;
        auto g = lock();
        return filteredStep(v, sql, st, [&](sqlite3_stmt* s, int rc) {
            if (rc != SQLITE_ROW) return failed(rc, st);
            rows = sqlite().api->column_int64(s, 0);
            return setStatus(st, 0, 0, {});
        });
    }

    int viewExtreme(const rt::View& v, int field, bool max, rt::Value& value,
                    rt::FileStatus& st) override {
        const rt::FileDef& pd = v.file(0)->def();
        if (field < 0 || field >= static_cast<int>(pd.fields.size()))
            return setStatus(st, FileSystemError, 0, "No such field");
        const rt::FieldDef& f = pd.fields[static_cast<std::size_t>(field)];
        // Ordering by the column and taking one row lets an index serve it.
        bool noCase = collateNoCase(v, 0, field);
        ViewSql q = viewSql(v, -1, rt::Compare::GreaterEqual, true);
        std::string col = std::string("t0.") + f.column;
        std::string sql = "SELECT " + col + q.from;
        std::string where = q.where;
        where += (where.empty() ? "" : " AND ") + col + " IS NOT NULL";
        sql += " WHERE " + where + " ORDER BY " + col + (noCase ? " COLLATE NOCASE" : "") +
               (max ? " DESC" : "") + " LIMIT 1";
        auto g = lock();
        return filteredStep(v, sql, st, [&](sqlite3_stmt* s, int rc) {
            if (rc == SQLITE_DONE) return setStatus(st, RecordNotAvailable, 0, {});
            if (rc != SQLITE_ROW) return failed(rc, st);
            value = decodeValue(s, 0, f);
            return setStatus(st, 0, 0, {});
        });
    }

    // Each amount is rounded to its hundredths before it is added, so the
    // sum is exact whatever the doubles stored. SQLite's integer SUM fails
    // on an overflow (amounts another program stored far beyond the field);
    // then each count is summed again in two parts (the billions of
    // hundredths and the rest), which no ledger can overflow, and put
    // together here, saturating as every money value does. A sum that an
    // amount beyond a 64-bit count of hundredths enters (one that reads as
    // saturated) is saturated too, whatever the other rows bring: +1e300
    // and -1e300 sum to no number, not to 0. No row gives NULL, read as 0.
    static constexpr std::int64_t kSumSplit = 1000000000;

    int viewSum(const rt::View& v, const std::vector<int>& fields, std::vector<rt::Money>& sums,
                rt::FileStatus& st) override {
        const rt::FileDef& pd = v.file(0)->def();
        if (fields.empty()) return setStatus(st, FileSystemError, 0, "No field to sum");
        std::string cols, split;
        for (int field : fields) {
            if (field < 0 || field >= static_cast<int>(pd.fields.size()) ||
                pd.fields[static_cast<std::size_t>(field)].type != rt::FieldType::Decimal)
                return setStatus(st, FileSystemError, 0, "No such money field");
            const std::string& column = pd.fields[static_cast<std::size_t>(field)].column;
            const std::string cents = "CAST(ROUND(t0." + column + " * 100) AS INTEGER)";
            // the rows Money::fromDouble reads as saturated
            const std::string saturated = "MAX(ABS(t0." + column + " * 100) >= 9.2e18)";
            cols += std::string(cols.empty() ? "" : ", ") + "SUM(" + cents + "), " + saturated;
            const std::string by = std::to_string(kSumSplit);
            split += std::string(split.empty() ? "" : ", ") + "SUM(" + cents + " / " + by +
                     "), SUM(" + cents + " % " + by + "), " + saturated;
        }
        ViewSql q = viewSql(v, -1, rt::Compare::GreaterEqual, true);
        const std::string where = q.where.empty() ? "" : " WHERE " + q.where;
        auto g = lock();
        bool overflow = false;
        auto take = [&](bool parts) {
            return [&, parts](sqlite3_stmt* s, int rc) {
                if (rc == SQLITE_ERROR && !parts) {  // the integer overflow
                    overflow = true;
                    return 0;
                }
                if (rc != SQLITE_ROW) return failed(rc, st);
                sums.assign(fields.size(), rt::Money{});
                for (std::size_t i = 0; i < fields.size(); ++i) {
                    const int col = static_cast<int>(i) * (parts ? 3 : 2);
                    if (!parts) {
                        sums[i].cents = sqlite().api->column_int64(s, col);
                    } else {
                        const __int128 high = sqlite().api->column_int64(s, col);
                        const __int128 low = sqlite().api->column_int64(s, col + 1);
                        const __int128 total = high * kSumSplit + low;
                        constexpr __int128 kMax = rt::Money::Limit;
                        sums[i].cents = static_cast<std::int64_t>(std::clamp(total, -kMax, kMax));
                    }
                    if (sqlite().api->column_int64(s, col + (parts ? 2 : 1)) != 0)
                        sums[i].cents = sums[i].cents < 0 ? -rt::Money::Limit : rt::Money::Limit;
                }
                return setStatus(st, 0, 0, {});
            };
        };
        const int rc = filteredStep(v, "SELECT " + cols + q.from + where, st, take(false));
        if (!overflow) return rc;
        return filteredStep(v, "SELECT " + split + q.from + where, st, take(true));
    }

    Connection& connection() { return *conn_; }

  private:
    // One execution of a cached statement: reset and unbound when done, so
    // no read stays open between calls.
    class Exec {
      public:
        Exec(sqlite3_stmt* s, const std::string& sql) : api_(*sqlite().api), s_(s), sql_(sql) {
            trace_ = currentTrace();
        }
        ~Exec() {
            api_.reset(s_);
            api_.clear_bindings(s_);
        }
        std::vector<std::string>* trace() { return trace_ ? &values_ : nullptr; }
        void run() {
            if (trace_) (*trace_)(sql_, values_);
        }
        int step() { return api_.step(s_); }

      private:
        const SqliteApi& api_;
        sqlite3_stmt* s_;
        const std::string& sql_;
        std::shared_ptr<TraceFn> trace_;
        std::vector<std::string> values_;
    };

    struct ViewSql {
        std::string select, from, where;
    };

    // What a view's statement depends on besides the view's shape.
    struct ViewRequest {
        bool reget = false;  // the re-read by primary key; else an ordered read
        int key = -1;
        bool forward = true;
        rt::Bound bound = rt::Bound::None;
        bool boundWithPrimary = false;
        // The bound may leave out the key fields the filter fixes.
        bool seek = false;
        // Only the last row handed on needs the position's own fields
        // (rt::ScanRequest::lastRowPosition).
        bool lean = false;
        bool operator==(const ViewRequest&) const = default;
    };
    struct ViewStatement {
        std::uint64_t shape = 0;  // rt::View::shape()
        ViewRequest request;
        sqlite3_stmt* stmt = nullptr;  // owned by the connection's cache
        std::string sql;               // for the trace
        std::vector<OrderTerm> boundTerms;
        std::vector<std::size_t> readTerms;  // OrderSql::readTerms
        // The leading key fields the bound leaves out: each must hold the
        // filter's value in the bound record, or the whole bound is used.
        std::vector<int> fixedFields;
        std::vector<std::vector<const rt::FieldDef*>> columns;  // per file, in column order
        std::vector<const char*> tables;                         // per file, its table
        // Where the index gives ties in the key in another order than the
        // primary key's (its rows are not numbered by the primary key), the
        // statement orders by the key alone and tieOrder sorts each run of
        // equal keys by these: the key's columns and the primary key's
        // others, each with whether it compares without regard to case.
        struct Column {
            int col = 0;
            bool noCase = false;
        };
        std::vector<Column> keyColumns, tieColumns;
        std::vector<const rt::FieldDef*> tieFields;  // the primary key's fields beyond the key
        // The primary's fields left out of the statement (ViewRequest::lean),
        // the column of the row's number in their place, and the statement
        // that reads the tie fields of a row by that number.
        std::vector<int> leftOut;
        int rowidColumn = -1;
        std::string tieSql;
    };

    // One value of a row as SQLite orders it.
    struct SortValue {
        int type = SQLITE_NULL;
        std::int64_t i = 0;
        double d = 0;
        std::string t;
    };
    static void readSortValue(const SqliteApi& api, sqlite3_stmt* s, int col, SortValue& v) {
        v.type = api.column_type(s, col);
        if (v.type == SQLITE_INTEGER) {
            v.i = api.column_int64(s, col);
        } else if (v.type == SQLITE_FLOAT) {
            v.d = api.column_double(s, col);
        } else if (v.type != SQLITE_NULL) {
            const auto* p = reinterpret_cast<const char*>(api.column_text(s, col));
            v.t.assign(p ? p : "", static_cast<std::size_t>(api.column_bytes(s, col)));
        }
    }
    // SQLite's order of values: NULL, numbers, texts (by the collation), blobs.
    static int compareSortValues(const SortValue& a, const SortValue& b, bool noCase) {
        auto rank = [](int t) {
            return t == SQLITE_NULL                             ? 0
                   : t == SQLITE_INTEGER || t == SQLITE_FLOAT ? 1
                   : t == SQLITE_TEXT                           ? 2
                                                                : 3;
        };
        const int ra = rank(a.type), rb = rank(b.type);
        if (ra != rb) return ra < rb ? -1 : 1;
        if (ra == 0) return 0;
        if (ra == 1) {
            if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER)
                return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
            const double x = a.type == SQLITE_INTEGER ? static_cast<double>(a.i) : a.d;
            const double y = b.type == SQLITE_INTEGER ? static_cast<double>(b.i) : b.d;
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const std::size_t n = std::min(a.t.size(), b.t.size());
        for (std::size_t k = 0; k < n; ++k) {
            int x = static_cast<unsigned char>(a.t[k]), y = static_cast<unsigned char>(b.t[k]);
            if (noCase && ra == 2) {  // NOCASE folds ASCII letters only
                if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
                if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
            }
            if (x != y) return x < y ? -1 : 1;
        }
        return a.t.size() == b.t.size() ? 0 : (a.t.size() < b.t.size() ? -1 : 1);
    }

    // A row held back until its run of equal keys is complete.
    struct HeldRow {
        std::vector<std::vector<char>> images;  // per file
        std::vector<void*> targets;             // into images
        std::vector<SortValue> key, tie;
        std::int64_t rowid = 0;  // with fields left out: the row's number
    };

    // The tie fields of a row read by its number (see leftOut): into tie and
    // the primary's image.
    int readTies(const ViewStatement& vs, std::int64_t rowid, char* image,
                 std::vector<SortValue>& tie, rt::FileStatus& st) {
        const SqliteApi& api = *sqlite().api;
        sqlite3_stmt* q = nullptr;
        if (int rc = prepare(vs.tieSql, q, st)) return rc;
        Exec ex(q, vs.tieSql);
        api.bind_int64(q, 1, rowid);
        if (ex.trace()) ex.trace()->push_back(std::to_string(rowid));
        ex.run();
        const int rc = ex.step();
        if (rc == SQLITE_DONE)  // the read's own snapshot: cannot happen
            return setStatus(st, FileSystemError, 0, "A row read is not in its table");
        if (rc != SQLITE_ROW) return failed(rc, st);
        tie.resize(vs.tieFields.size());
        for (std::size_t c = 0; c < vs.tieFields.size(); ++c) {
            readSortValue(api, q, static_cast<int>(c), tie[c]);
            if (!decodeField(api, q, static_cast<int>(c), *vs.tieFields[c], image))
                return rangeError(api, q, static_cast<int>(c), vs.tables[0], *vs.tieFields[c], st);
        }
        return 0;
    }
    std::vector<HeldRow> held_;  // kept for their buffers
    HeldRow waiting_;            // its key, tie and number (its fields are in the buffers)
    std::vector<SortValue> rowKey_;

    // The rows of a statement ordered by the key alone, each run of equal
    // keys sorted by the primary key (descending when reading backward),
    // up to the request's limit. A run is complete when a row with another
    // key or the end comes; only then is it handed on. A row waits for the
    // next in the buffers themselves, so a key without ties (nearly every
    // row) costs no copy; from its second row on a run is held in held_.
    int tieOrder(const ViewStatement& vs, sqlite3_stmt* s, Exec& ex, const rt::ScanRequest& r,
                 const std::function<void()>& onRow, int& rows, rt::FileStatus& st) {
        const SqliteApi& api = *sqlite().api;
        bool waiting = false;  // a row in the buffers, not handed on yet
        std::size_t used = 0;  // else held_[0, used): the run so far
        std::vector<std::size_t> order;
        // What a held row's image per file needs: up to its last field read.
        std::vector<std::size_t> ends(vs.columns.size(), 0);
        for (std::size_t i = 0; i < vs.columns.size(); ++i)
            for (const rt::FieldDef* f : vs.columns[i])
                ends[i] = std::max(ends[i], f->offset + rt::memorySize(*f));
        const bool lean = !vs.leftOut.empty();
        if (lean)
            for (const rt::FieldDef* f : vs.tieFields)
                ends[0] = std::max(ends[0], f->offset + rt::memorySize(*f));
        auto holding = [&](std::size_t k) -> HeldRow& {
            if (held_.size() <= k) held_.emplace_back();
            HeldRow& h = held_[k];
            if (h.images.size() != vs.columns.size()) {
                h.images.assign(vs.columns.size(), {});
                h.targets.assign(vs.columns.size(), nullptr);
            }
            for (std::size_t i = 0; i < vs.columns.size(); ++i) {
                if (h.images[i].size() < ends[i]) h.images[i].resize(ends[i]);
                h.targets[i] = h.images[i].data();
            }
            return h;
        };
        // A row's fields between the buffers and a held row's images (with
        // withTies the tie fields read by the row's number as well).
        auto copyRow = [&](const std::vector<void*>& to, const std::vector<void*>& from,
                           bool withTies) {
            auto copy = [&](std::size_t i, const rt::FieldDef* f) {
                std::memcpy(static_cast<char*>(to[i]) + f->offset,
                            static_cast<const char*>(from[i]) + f->offset, rt::memorySize(*f));
            };
            for (std::size_t i = 0; i < vs.columns.size(); ++i)
                for (const rt::FieldDef* f : vs.columns[i]) copy(i, f);
            if (withTies)
                for (const rt::FieldDef* f : vs.tieFields) copy(0, f);
        };
        // The last row handed on holds the whole position.
        auto handOnWaiting = [&](bool last) -> int {
            waiting = false;
            if (lean && (last || rows + 1 == r.limit))
                if (int bad = readTies(vs, waiting_.rowid, static_cast<char*>(r.targets[0]),
                                       waiting_.tie, st))
                    return bad;
            ++rows;
            onRow();
            return 0;
        };
        // Hands on the run held_[0, runLength), up to the limit.
        auto emit = [&](std::size_t runLength) -> int {
            if (lean)
                for (std::size_t k = 0; k < runLength; ++k)
                    if (int bad = readTies(vs, held_[k].rowid, held_[k].images[0].data(),
                                           held_[k].tie, st))
                        return bad;
            order.resize(runLength);
            for (std::size_t k = 0; k < runLength; ++k) order[k] = k;
            std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                for (std::size_t c = 0; c < vs.tieColumns.size(); ++c) {
                    const int cmp = compareSortValues(held_[a].tie[c], held_[b].tie[c],
                                                      vs.tieColumns[c].noCase);
                    if (cmp != 0) return r.forward ? cmp < 0 : cmp > 0;
                }
                return false;
            });
            for (std::size_t k : order) {
                if (rows >= r.limit) return 0;
                const HeldRow& h = held_[k];
                copyRow(r.targets, h.targets, lean);
                ++rows;
                onRow();
            }
            return 0;
        };
        // The row's tie values or number (the row's own columns are gone at
        // the next step).
        auto readOwn = [&](HeldRow& h) {
            if (lean) {
                h.rowid = api.column_int64(s, vs.rowidColumn);
            } else {
                h.tie.resize(vs.tieColumns.size());
                for (std::size_t c = 0; c < vs.tieColumns.size(); ++c)
                    readSortValue(api, s, vs.tieColumns[c].col, h.tie[c]);
            }
        };
        while (rows < r.limit) {
            const int rc = ex.step();
            if (rc == SQLITE_DONE) {
                if (waiting) {
                    if (int bad = handOnWaiting(true)) return bad;
                } else if (used > 0) {
                    if (int bad = emit(used)) return bad;
                }
                break;
            }
            if (rc != SQLITE_ROW) return failed(rc, st);
            rowKey_.resize(vs.keyColumns.size());
            for (std::size_t c = 0; c < vs.keyColumns.size(); ++c)
                readSortValue(api, s, vs.keyColumns[c].col, rowKey_[c]);
            const std::vector<SortValue>* runKey =
                waiting ? &waiting_.key : (used > 0 ? &held_[0].key : nullptr);
            bool sameRun = runKey != nullptr;
            for (std::size_t c = 0; sameRun && c < vs.keyColumns.size(); ++c)
                sameRun = compareSortValues((*runKey)[c], rowKey_[c], vs.keyColumns[c].noCase) == 0;
            if (!sameRun) {
                // The run before this row is complete: handed on; this row
                // waits in the buffers.
                if (waiting) {
                    if (int bad = handOnWaiting(false)) return bad;
                } else if (used > 0) {
                    if (int bad = emit(used)) return bad;
                    used = 0;
                }
                if (rows >= r.limit) break;
                if (int bad = decodeView(api, vs, s, r.targets, st)) return bad;
                std::swap(waiting_.key, rowKey_);
                readOwn(waiting_);
                waiting = true;
                continue;
            }
            if (waiting) {
                // A tie: the waiting row moves into held_ first.
                HeldRow& first = holding(0);
                copyRow(first.targets, r.targets, false);
                std::swap(first.key, waiting_.key);
                std::swap(first.tie, waiting_.tie);
                first.rowid = waiting_.rowid;
                waiting = false;
                used = 1;
            }
            HeldRow& h = holding(used);
            if (int bad = decodeView(api, vs, s, h.targets, st)) return bad;
            std::swap(h.key, rowKey_);
            readOwn(h);
            ++used;
        }
        return setStatus(st, 0, 0, {});
    }
    static constexpr std::size_t ViewStatements = 16;

    std::unique_lock<std::recursive_mutex> lock() {
        return std::unique_lock<std::recursive_mutex>(conn_->lock);
    }

    // Whether statements may run: the handle open, its connection alive.
    int usable(rt::FileStatus& st) {
        if (!conn_) return setStatus(st, FileSystemError, 0, "The file is not open");
        if (conn_->dead)
            return setStatus(st, FileSystemError, -SQLITE_MISUSE, resultText(SQLITE_MISUSE));
        return 0;
    }

    // The connection's statement for sql, prepared on first use (under the
    // connection's lock). Prepared with _v2, so a statement outlives a change
    // of the schema: SQLite prepares it again when it next runs.
    int prepare(const std::string& sql, sqlite3_stmt*& out, rt::FileStatus& st) {
        if (int rc = usable(st)) return rc;
        auto& cache = conn_->statements;
        auto it = cache.find(sql);
        if (it != cache.end()) {
            out = it->second;
            return 0;
        }
        const SqliteApi& api = *sqlite().api;
        if (cache.size() >= MaxStatements) conn_->finalizeStatements(true);
        sqlite3_stmt* s = nullptr;
        int rc = api.prepare_v2(conn_->db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
        if (rc != SQLITE_OK) {
            if (s) api.finalize(s);
            return failed(rc, st);
        }
        cache.emplace(sql, s);
        out = s;
        return 0;
    }

    // Maps a failed result; a transaction that SQLite ended by itself on the
    // failure is released, so it does not hold the connection any longer.
    int failed(int rc, rt::FileStatus& st) {
        int r = mapResult(rc, sqlite().api->errmsg(conn_->db), st);
        if (conn_->ownedByMe() && sqlite().api->get_autocommit(conn_->db)) releaseTransaction();
        return r;
    }

    void releaseTransaction() {
        if (!conn_->ownedByMe()) return;
        conn_->owner.store(std::thread::id{});
        conn_->txnHandle = nullptr;
        conn_->lock.unlock();
    }

    int endTransaction(const char* sql, rt::FileStatus& st) {
        if (!conn_) return setStatus(st, FileSystemError, 0, "The file is not open");
        if (!conn_->ownedByMe()) return setStatus(st, FileSystemError, 0, "No transaction is open");
        if (conn_->dead) {
            releaseTransaction();
            return setStatus(st, FileSystemError, -SQLITE_MISUSE, resultText(SQLITE_MISUSE));
        }
        int rc = execTransactionStatement(*conn_, sql, conn_->timeout, st);
        // Still inside the transaction (a COMMIT that stayed busy): keep the
        // connection, so a ROLLBACK can follow without anyone between.
        if (rc == 0 || sqlite().api->get_autocommit(conn_->db)) releaseTransaction();
        return rc;
    }

    static std::string whereByPrimary(const rt::FileDef& def, const std::string& prefix = {}) {
        std::string s = " WHERE ";
        const auto& kf = def.keys[static_cast<std::size_t>(def.primaryKey())].fields;
        for (std::size_t i = 0; i < kf.size(); ++i) {
            if (i) s += " AND ";
            s += prefix + def.fields[static_cast<std::size_t>(kf[i])].column + " = ?";
        }
        return s;
    }

    static void bindPrimary(const rt::FileDef& def, sqlite3_stmt* s, int at, const char* record,
                            std::vector<std::string>* trace) {
        for (int f : def.keys[static_cast<std::size_t>(def.primaryKey())].fields)
            bindField(s, at++, def.fields[static_cast<std::size_t>(f)], record, trace);
    }

    // Whether comparisons of this field carry COLLATE NOCASE: as the view's
    // order key has it when the field is one of its columns; plain for the
    // primary key; NOCASE for a column of a case-insensitive secondary key
    // (so its index serves the comparison).
    static bool collateNoCase(const rt::View& v, int fileIndex, int field) {
        const rt::FileDef& d = v.file(fileIndex)->def();
        if (fileIndex == 0 && v.order() >= 0) {
            const rt::KeyDef& ok = d.keys[static_cast<std::size_t>(v.order())];
            if (std::find(ok.fields.begin(), ok.fields.end(), field) != ok.fields.end())
                return !ok.primary && ok.noCase;
        }
        int pk = d.primaryKey();
        if (pk >= 0) {
            const auto& pf = d.keys[static_cast<std::size_t>(pk)].fields;
            if (std::find(pf.begin(), pf.end(), field) != pf.end()) return false;
        }
        for (const rt::KeyDef& k : d.keys)
            if (!k.primary && k.noCase &&
                std::find(k.fields.begin(), k.fields.end(), field) != k.fields.end())
                return true;
        return false;
    }

    // "t0" the primary, "t1" ... the joins.
    static std::string aliasOf(std::size_t i) {
        std::string s = "t";
        s += std::to_string(i);
        return s;
    }

    // Whether a comparison of the filter or a range is an equality on the
    // primary file's field.
    static bool equalityOn(const rt::View& v, const rt::FieldRef& on, rt::Compare op, int field) {
        return op == rt::Compare::Equal && on.index == field && v.fileIndex(on.file) == 0;
    }

    // How many of the order's leading terms the filter (or a range) holds
    // equal to one value, compared as the order compares them. SQLite seeks
    // by a row value only when it starts at the first index column that no
    // equality fixes: the bound of a continuation must start there.
    static std::size_t seekPrefix(const rt::View& v, const std::vector<OrderTerm>& terms) {
        std::size_t n = 0;
        for (; n < terms.size(); ++n) {
            const int field = terms[n].field;
            if (collateNoCase(v, 0, field) != terms[n].noCase) break;
            bool equal = false;
            for (const rt::View::Term& t : v.terms())
                equal = equal || equalityOn(v, t.field, t.op, field);
            for (const rt::View::Range& r : v.ranges())
                equal = equal || equalityOn(v, r.field, r.op, field);
            if (!equal) break;
        }
        return n;
    }

    // Whether the bound record holds, in each of fields, exactly the value
    // every equality of the filter and ranges on it binds now. Only then do
    // the rows that pass share those fields with the bound, so that leaving
    // them out of the bound changes nothing. A value that may only compare
    // equal (a text in another case, a text for a number) does not count.
    static bool boundFollowsFilter(const rt::View& v, const std::vector<int>& fields,
                                   const char* record) {
        const rt::FileDef& d = v.file(0)->def();
        auto same = [&](int field, const rt::Value& val) {
            const rt::FieldDef& f = d.fields[static_cast<std::size_t>(field)];
            const char* p = record + f.offset;
            if (f.type == rt::FieldType::String) {
                const auto* t = std::get_if<std::string>(&val);
                if (!t) return false;
                std::string text = *t;
                text.resize(f.size, ' ');  // as bindValue binds it
                return std::memcmp(text.data(), p, f.size) == 0;
            }
            const auto* n = std::get_if<std::int64_t>(&val);
            if (!n) return false;
            switch (f.type) {
                case rt::FieldType::Long: {
                    std::int32_t x;
                    std::memcpy(&x, p, sizeof x);
                    return *n == x;
                }
                case rt::FieldType::Byte:
                    return *n == static_cast<unsigned char>(*p);
                case rt::FieldType::Decimal: {
                    rt::Money m;
                    std::memcpy(&m, p, sizeof m);
                    return *n == m.cents;
                }
                default:
                    return false;
            }
        };
        for (int field : fields) {
            for (const rt::View::Term& t : v.terms()) {
                if (!equalityOn(v, t.field, t.op, field)) continue;
                rt::Value val = t.literal;
                if (!t.name.empty() && !rt::boundValue(t.name, val)) return false;
                if (!same(field, val)) return false;
            }
            for (const rt::View::Range& r : v.ranges()) {
                if (!equalityOn(v, r.field, r.op, field)) continue;
                if (!same(field, r.value ? r.value() : rt::Value{std::int64_t{0}})) return false;
            }
        }
        return true;
    }

    // The select list, the joins and the filter. Comparisons op of the
    // primary's field demote are kept out of the index ("+column"): the
    // bound of a continuation starts at that field, and SQLite, given both,
    // would seek by the filter's own limit and read the rows before the
    // position on every page.
    // With rowsOnly (a count, an extreme, a sum: what only the primary's rows
    // that pass decide) the joins that can neither drop nor repeat a row
    // are left out: an outer join on all of a unique key's fields, whose
    // file no comparison and no join that stays needs. SQLite would look
    // each of them up on every row.
    // leaveOut: primary fields not selected; the row's number is then
    // selected last.
    static ViewSql viewSql(const rt::View& v, int demote = -1,
                           rt::Compare demoteOp = rt::Compare::GreaterEqual,
                           bool rowsOnly = false, const std::vector<int>* leaveOut = nullptr) {
        ViewSql q;
        q.select = "SELECT ";
        bool first = true;
        for (std::size_t i = 0; i < v.readFields().size(); ++i) {
            const rt::FileDef& d = v.file(static_cast<int>(i))->def();
            for (int f : v.readFields()[i]) {
                if (i == 0 && leaveOut &&
                    std::find(leaveOut->begin(), leaveOut->end(), f) != leaveOut->end())
                    continue;
                if (!first) q.select += ",";
                first = false;
                q.select += aliasOf(i);
                q.select += ".";
                q.select += d.fields[static_cast<std::size_t>(f)].column;
            }
        }
        if (leaveOut && !leaveOut->empty()) q.select += ",t0.rowid";
        q.from = std::string(" FROM ") + v.file(0)->def().label + " t0";
        std::vector<bool> needed(v.joins().size(), !rowsOnly);
        if (rowsOnly) {
            for (std::size_t j = 0; j < v.joins().size(); ++j) {
                const rt::View::Join& jn = v.joins()[j];
                const rt::KeyDef& jk = jn.file->def().keys[static_cast<std::size_t>(jn.key)];
                needed[j] = !(jk.primary || jk.unique) || jn.linking.size() < jk.fields.size();
                for (const rt::View::Term& t : v.terms())
                    needed[j] = needed[j] || t.field.file == jn.file;
                for (const rt::View::Range& r : v.ranges())
                    needed[j] = needed[j] || r.field.file == jn.file;
            }
            // A join that stays needs the joins its linking fields come from.
            for (std::size_t j = v.joins().size(); j-- > 0;) {
                if (!needed[j]) continue;
                for (const rt::FieldRef& l : v.joins()[j].linking)
                    if (int fi = v.fileIndex(l.file); fi > 0)
                        needed[static_cast<std::size_t>(fi - 1)] = true;
            }
        }
        for (std::size_t j = 0; j < v.joins().size(); ++j) {
            if (!needed[j]) continue;
            const rt::View::Join& jn = v.joins()[j];
            const rt::FileDef& jd = jn.file->def();
            const rt::KeyDef& jk = jd.keys[static_cast<std::size_t>(jn.key)];
            std::string alias = aliasOf(j + 1);
            q.from += std::string(" LEFT OUTER JOIN ") + jd.label + " " + alias + " ON ";
            for (std::size_t i = 0; i < jn.linking.size(); ++i) {
                if (i) q.from += " AND ";
                const rt::FieldRef& l = jn.linking[i];
                int li = v.fileIndex(l.file);
                q.from += alias + "." + jd.fields[static_cast<std::size_t>(jk.fields[i])].column +
                          " = t" + std::to_string(li) + "." +
                          l.file->def().fields[static_cast<std::size_t>(l.index)].column;
                if (!jk.primary && jk.noCase) q.from += " COLLATE NOCASE";
            }
        }
        auto term = [&](const rt::FieldRef& fr, rt::Compare op) {
            int fi = v.fileIndex(fr.file);
            std::string s = fi == 0 && fr.index == demote && op == demoteOp ? "+" : "";
            s += aliasOf(static_cast<std::size_t>(fi)) + "." +
                 fr.file->def().fields[static_cast<std::size_t>(fr.index)].column;
            s += op == rt::Compare::Equal          ? " = ?"
                 : op == rt::Compare::GreaterEqual ? " >= ?"
                                                   : " <= ?";
            if (collateNoCase(v, fi, fr.index)) s += " COLLATE NOCASE";
            return s;
        };
        for (const rt::View::Term& t : v.terms()) {
            if (!q.where.empty()) q.where += " AND ";
            q.where += term(t.field, t.op);
        }
        for (const rt::View::Range& r : v.ranges()) {
            if (!q.where.empty()) q.where += " AND ";
            q.where += term(r.field, r.op);
        }
        return q;
    }

    // Each bound variable contributes the value it has now.
    // The values of an ordered read (orderedSelect): for each of its reads
    // the caller's (bindWhere) and that many of the bound's terms; then the
    // limit.
    template <class BindWhere>
    static int bindBound(sqlite3_stmt* s, const rt::FileDef& def,
                         const std::vector<OrderTerm>& terms,
                         const std::vector<std::size_t>& readTerms, const rt::ScanRequest& r,
                         int limit, std::vector<std::string>* trace, BindWhere bindWhere) {
        const SqliteApi& api = *sqlite().api;
        int at = 1;
        for (std::size_t n : readTerms) {
            if (int rc = bindWhere(at)) return rc;
            for (std::size_t i = 0; i < n; ++i)
                bindField(s, at++, def.fields[static_cast<std::size_t>(terms[i].field)],
                          static_cast<const char*>(r.boundRecord), trace);
        }
        api.bind_int(s, at, limit);
        if (trace) trace->push_back(std::to_string(limit));
        return 0;
    }

    static int bindFilter(const rt::View& v, sqlite3_stmt* s, int& at,
                          std::vector<std::string>* trace, rt::FileStatus& st) {
        for (const rt::View::Term& t : v.terms()) {
            const rt::FieldDef& f =
                t.field.file->def().fields[static_cast<std::size_t>(t.field.index)];
            rt::Value val = t.literal;
            if (!t.name.empty() && !rt::boundValue(t.name, val))
                return setStatus(st, FileSystemError, 0, "Invalid filter: unbound name " + t.name);
            bindValue(s, at++, f, val, trace);
        }
        for (const rt::View::Range& r : v.ranges()) {
            const rt::FieldDef& f =
                r.field.file->def().fields[static_cast<std::size_t>(r.field.index)];
            bindValue(s, at++, f, r.value ? r.value() : rt::Value{std::int64_t{0}}, trace);
        }
        return 0;
    }

    // A row of a view's statement into the buffers: the columns in the
    // order of the view's read fields, file by file.
    static int decodeView(const SqliteApi& api, const ViewStatement& vs, sqlite3_stmt* s,
                          const std::vector<void*>& targets, rt::FileStatus& st) {
        int col = 0;
        for (std::size_t i = 0; i < vs.columns.size(); ++i) {
            if (vs.columns[i].empty()) continue;
            auto* target = static_cast<char*>(targets.at(i));
            for (const rt::FieldDef* f : vs.columns[i]) {
                if (!decodeField(api, s, col, *f, target))
                    return rangeError(api, s, col, vs.tables[i], *f, st);
                ++col;
            }
        }
        return 0;
    }

    // The statement of a view's request, found by the view's shape number
    // and the request's shape; on a miss build makes the text (and the
    // bound's terms), and it is prepared through the statement cache.
    template <class Build>
    int viewStatement(const rt::View& v, const ViewRequest& request, Build build,
                      const ViewStatement*& out, rt::FileStatus& st) {
        if (int rc = usable(st)) return rc;
        dropStaleViews();
        for (const ViewStatement& e : views_)
            if (e.shape == v.shape() && e.request == request) {
                out = &e;
                return 0;
            }
        ViewStatement e;
        e.shape = v.shape();
        e.request = request;
        build(e);
        e.columns.resize(v.readFields().size());
        e.tables.resize(v.readFields().size());
        for (std::size_t i = 0; i < v.readFields().size(); ++i) {
            const rt::FileDef& d = v.file(static_cast<int>(i))->def();
            e.tables[i] = d.label;
            for (int f : v.readFields()[i])
                if (i != 0 || std::find(e.leftOut.begin(), e.leftOut.end(), f) == e.leftOut.end())
                    e.columns[i].push_back(&d.fields[static_cast<std::size_t>(f)]);
        }
        if (int rc = prepare(e.sql, e.stmt, st)) return rc;
        dropStaleViews();  // the prepare may have made room
        if (views_.size() >= ViewStatements) views_.pop_front();
        views_.push_back(std::move(e));
        out = &views_.back();
        return 0;
    }

    // The views' statements point into the connection's cache: dropped when
    // it finalized some since.
    void dropStaleViews() {
        if (viewsGeneration_ == conn_->generation) return;
        views_.clear();
        viewsGeneration_ = conn_->generation;
    }

    std::shared_ptr<Connection> conn_;
    // The views' statements by shape (a few per list: each direction, each
    // kind of bound, the re-read). Each points into the connection's cache
    // and is dropped whenever that one finalizes some (its generation moves).
    std::deque<ViewStatement> views_;
    std::uint64_t viewsGeneration_ = 0;
    // Leaving fields out failed on this file (no row numbers): never again.
    bool leanRefused_ = false;
};

// ---------------------------------------------------------------------------
// The driver

std::string databaseName(const rt::FileDef& def) {
    if (!def.owner) return {};
    return std::string(rt::trimRight(def.owner()));
}

// Every field needs a column of its name; other columns are ignored.
int checkColumns(Connection& c, const rt::FileDef& def, rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    std::string sql = std::string("SELECT * FROM ") + def.label + " WHERE 0 = 1";
    if (auto t = currentTrace()) (*t)(sql, {});
    sqlite3_stmt* s = nullptr;
    int rc = api.prepare_v2(c.db, sql.c_str(), -1, &s, nullptr);
    if (rc != SQLITE_OK) {
        int r = mapResult(rc, api.errmsg(c.db), st, true);
        if (s) api.finalize(s);
        return r;
    }
    // Stepped before the columns are read: a connection that has been open
    // a while may hold the schema as it was, and only the step looks at the
    // file's and prepares the statement again when another program changed
    // the table.
    rc = api.step(s);
    std::set<std::string> columns;
    int n = api.column_count(s);
    for (int i = 0; i < n; ++i) {
        const char* name = api.column_name(s, i);
        if (name) columns.insert(upper(name));
    }
    api.finalize(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) return mapResult(rc, api.errmsg(c.db), st, true);
    for (const rt::FieldDef& f : def.fields)
        if (!columns.count(upper(f.column)))
            return setStatus(st, BadRecordDeclaration, 0,
                             std::string("The field ") + f.label + " has no column " + f.column +
                                 " in " + def.label);
    return setStatus(st, 0, 0, {});
}

class SqliteDriver final : public rt::StorageDriver {
  public:
    // Opening, its column check included, waits for a busy database.
    int open(const rt::FileDef& def, rt::OpenMode mode, std::unique_ptr<rt::StorageHandle>& out,
             rt::FileStatus& st) override {
        if (sqlite().code != 0) return libraryFailure(st);
        std::string name = databaseName(def);
        if (name.empty())
            return setStatus(st, FileSystemError, NoOwner, "No OWNER attribute specified");
        return whileBusy(st, [&] { return openOnce(def, name, mode, out, st); });
    }

    // The table and its indexes, made together; on a busy database the
    // whole transaction is tried again (a statement retried inside it could
    // wait on a process that waits for this one's read lock). Inside a
    // transaction of the caller's a busy database fails at once.
    int create(const rt::FileDef& def, rt::FileStatus& st) override {
        if (sqlite().code != 0) return libraryFailure(st);
        std::string name = databaseName(def);
        if (name.empty())
            return setStatus(st, FileSystemError, NoOwner, "No OWNER attribute specified");
        bool again = true;
        return whileBusy(st, [&] { return createOnce(def, name, again, st); }, again);
    }

  private:
    int openOnce(const rt::FileDef& def, const std::string& name, rt::OpenMode mode,
                 std::unique_ptr<rt::StorageHandle>& out, rt::FileStatus& st) {
        std::shared_ptr<Connection> c;
        if (int rc = connectionFor(name, mode, false, c, st)) return rc;
        std::string mark = c->key + "|" + upper(def.label);
        bool checked;
        {
            std::lock_guard<std::mutex> g(marksLock);
            checked = checkedFiles.count(mark) != 0;
        }
        if (!checked) {
            std::unique_lock<std::recursive_mutex> g(c->lock);
            if (int rc = checkColumns(*c, def, st)) return rc;
            std::lock_guard<std::mutex> m(marksLock);
            checkedFiles.insert(mark);
        }
        out = std::make_unique<SqliteHandle>(std::move(c));
        return setStatus(st, 0, 0, {});
    }

    // again: whether a busy failure may be tried again.
    int createOnce(const rt::FileDef& def, const std::string& name, bool& again,
                   rt::FileStatus& st) {
        std::shared_ptr<Connection> c;
        if (int rc = connectionFor(name, rt::OpenMode::ReadWrite, true, c, st)) return rc;
        const SqliteApi& api = *sqlite().api;
        std::unique_lock<std::recursive_mutex> g(c->lock);
        if (c->dead)
            return setStatus(st, FileSystemError, -SQLITE_MISUSE, resultText(SQLITE_MISUSE));
        // The table and its indexes are made together: a failure leaves no
        // table without its indexes behind.
        bool own = !c->ownedByMe();
        again = own;
        if (own) {
            if (int rc = execTransactionStatement(*c, "BEGIN", c->timeout, st)) return rc;
        }
        auto rollback = [&] {
            if (own) {
                rt::FileStatus ignored;
                execTransactionStatement(*c, "ROLLBACK", c->timeout, ignored);
            }
        };
        std::vector<std::string> statements = schemaSql(def);
        int rc = execPlain(*c, statements[0], st);
        if (rc != 0) {
            bool exists = startsWith(api.errmsg(c->db), "table ") &&
                          std::strstr(api.errmsg(c->db), "already exists");
            rollback();
            // Made meanwhile by another thread or program: used as it is.
            if (exists) return setStatus(st, 0, 0, {});
            return rc;
        }
        std::size_t index = 0;
        for (const rt::KeyDef& k : def.keys) {
            if (k.primary) continue;
            const std::string& sql = statements[++index];
            rc = execPlain(*c, sql, st);
            if (rc != 0 && std::strstr(api.errmsg(c->db), "already exists")) {
                execPlain(*c, "DROP INDEX " + indexName(k), st);
                rc = execPlain(*c, sql, st);
            }
            if (rc != 0) {
                rollback();
                return rc;
            }
        }
        if (own) {
            rc = execTransactionStatement(*c, "COMMIT", c->timeout, st);
            if (rc != 0) {
                rt::FileStatus keep = st;
                rollback();
                st = keep;
                return rc;
            }
        }
        return setStatus(st, 0, 0, {});
    }
};

}  // namespace

void install() {
    static std::once_flag once;
    std::call_once(once, [] {
        rt::addFatalCleanup([] { closeAllConnections(); });
        // The connections kept for the next open close when the process run
        // ends, as they did when the last file let go.
        rt::registerComponent(rt::Scope::ProcessWide, rt::stage::ProcessObjects, "storage", {},
                              [] { closeIdleConnections(); });
    });
    rt::setStorageDriver(std::make_shared<SqliteDriver>());
}

namespace {
// (A plain try_lock loop: the timed lock is not seen by the thread checker.)
bool tryLockFor(std::recursive_mutex& m, std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    while (!m.try_lock()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
}  // namespace

void closeAllConnections() {
    std::vector<std::shared_ptr<Connection>> live;
    {
        std::lock_guard<std::mutex> g(listLock);
        live.swap(connections);
    }
    if (sqlite().code != 0) return;
    const SqliteApi& api = *sqlite().api;
    for (auto& c : live) {
        // A connection another thread keeps in its transaction is left to
        // the process's end: the journal undoes what it did not commit.
        if (!tryLockFor(c->lock, std::chrono::milliseconds(500))) continue;
        if (!c->dead) {
            if (c->pid != ::getpid()) {
                // Made before a fork: the file locks are the other process's.
                c->statements.clear();
                c->db = nullptr;
            } else {
                if (c->ownedByMe()) {
                    api.exec(c->db, "ROLLBACK", nullptr, nullptr, nullptr);
                    c->owner.store(std::thread::id{});
                    c->txnHandle = nullptr;
                    c->lock.unlock();  // the transaction's hold
                }
                // A statement still in the middle of its rows (up this
                // thread's stack) keeps the connection open until the last
                // handle lets go of it.
                c->finalizeStatements(true);
                if (api.close(c->db) == SQLITE_OK) c->db = nullptr;
            }
            c->dead = true;
        }
        c->lock.unlock();
    }
}

void closeIdleConnections() {
    std::lock_guard<std::mutex> g(listLock);
    for (auto it = connections.begin(); it != connections.end();) {
        if (it->use_count() == 1) {
            retire(*it);
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

int openConnections() {
    std::lock_guard<std::mutex> g(listLock);
    int n = 0;
    for (auto& c : connections)
        if (!c->dead && c.use_count() > 1) ++n;
    return n;
}

int idleConnections() {
    std::lock_guard<std::mutex> g(listLock);
    int n = 0;
    for (auto& c : connections)
        if (!c->dead && c.use_count() == 1) ++n;
    return n;
}

void setTrace(TraceFn trace) {
    std::lock_guard<std::mutex> g(traceLock);
    traceFn = trace ? std::make_shared<TraceFn>(std::move(trace)) : nullptr;
    tracing.store(traceFn != nullptr);
}

int execOnConnection(const std::string& database, rt::OpenMode mode, const std::string& sql,
                     rt::FileStatus& st) {
    if (sqlite().code != 0) return libraryFailure(st);
    std::string key = connectionKey(database);
    std::shared_ptr<Connection> c;
    {
        std::lock_guard<std::mutex> g(listLock);
        for (auto& x : connections)
            if (x->key == key && x->mode == mode && !x->dead) c = x;
    }
    if (!c) return setStatus(st, NoFile, 0, "No connection is open");
    std::unique_lock<std::recursive_mutex> g(c->lock);
    return execPlain(*c, sql, st);
}

}  // namespace storage
