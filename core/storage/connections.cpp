// The connections: one per database and access mode, shared by every thread
// and kept idle for the next open; opening and retiring them, the waits on a
// busy database, transactions (which hold a connection for one thread from
// BEGIN to its end), and each connection's cache of prepared statements.
// Apart from the rows and views because this decides who may use a
// connection and when, whatever the statements read.
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "core/storage/internal.h"
#include "core/storage/storage.h"
#include "runtime/held_files.h"

namespace storage {

namespace detail {

using rt::FileErr::FileSystemError;
using rt::FileErr::NoAccess;
using rt::FileErr::NoFile;

namespace {

// Statements of a connection by their text, at most this many; more
// finalizes every one not in the middle of its rows and starts again.
constexpr std::size_t MaxStatements = 128;
// Connections no file uses any more, kept for the next open (the next
// window's thread); beyond this many the oldest is closed.
constexpr std::size_t MaxIdle = 4;

}  // namespace

Connection::~Connection() {
    if (!path.empty()) rt::releaseFile(path);
    if (!db) return;
    const SqliteApi& api = *sqlite().api;
    for (auto& [sql, st] : statements) api.finalize(st);
    api.close(db);
}

void Connection::finalizeStatements(bool keepBusy) {
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

namespace {

std::mutex listLock;
// Every live connection; one that only this list holds is idle. Never
// destroyed: connections close through closeAllConnections and at the end of
// the process run, not in static destruction, whose order against the
// library's own is not defined.
std::vector<std::shared_ptr<Connection>>& connections =
    *new std::vector<std::shared_ptr<Connection>>;

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

}  // namespace

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

// Runs a statement without rows, failing at once on a busy database.
int execPlain(Connection& c, const std::string& sql, rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    if (auto t = currentTrace()) (*t)(sql, {});
    int rc = api.exec(c.db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return setStatus(st, 0, 0, {});
    return mapResult(rc, api.errmsg(c.db), st);
}

// ---------------------------------------------------------------------------
// The handle's hold on its connection

SqliteHandle::~SqliteHandle() {
    rt::FileStatus st;
    close(st);
}

int SqliteHandle::close(rt::FileStatus& st) {
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

int SqliteHandle::begin(std::chrono::milliseconds timeout, rt::FileStatus& st) {
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

// Whether statements may run: the handle open, its connection alive.
int SqliteHandle::usable(rt::FileStatus& st) {
    if (!conn_) return setStatus(st, FileSystemError, 0, "The file is not open");
    if (conn_->dead)
        return setStatus(st, FileSystemError, -SQLITE_MISUSE, resultText(SQLITE_MISUSE));
    return 0;
}

// The connection's statement for sql, prepared on first use (under the
// connection's lock). Prepared with _v2, so a statement outlives a change
// of the schema: SQLite prepares it again when it next runs.
int SqliteHandle::prepare(const std::string& sql, sqlite3_stmt*& out, rt::FileStatus& st) {
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
int SqliteHandle::failed(int rc, rt::FileStatus& st) {
    int r = mapResult(rc, sqlite().api->errmsg(conn_->db), st);
    if (conn_->ownedByMe() && sqlite().api->get_autocommit(conn_->db)) releaseTransaction();
    return r;
}

void SqliteHandle::releaseTransaction() {
    if (!conn_->ownedByMe()) return;
    conn_->owner.store(std::thread::id{});
    conn_->txnHandle = nullptr;
    conn_->lock.unlock();
}

int SqliteHandle::endTransaction(const char* sql, rt::FileStatus& st) {
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

}  // namespace detail

using namespace detail;

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
