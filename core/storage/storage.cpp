// The driver the file layer calls (install, open with its column check,
// create) and what every piece of the storage reports through: SQLite's
// results mapped to file errors, and the trace. The connections, rows, view
// statements and ties are each a file of their own (internal.h lists them).
#include "core/storage/storage.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <set>

#include "core/storage/internal.h"
#include "core/storage/sql.h"
#include "core/storage/sqlite_api.h"
#include "framework/error.h"
#include "runtime/dialogs.h"
#include "runtime/file/driver.h"
#include "runtime/text.h"
#include "runtime/threads.h"

namespace storage {

namespace detail {

using rt::FileErr::BadRecordDeclaration;
using rt::FileErr::DuplicateKey;
using rt::FileErr::FileSystemError;
using rt::FileErr::NoAccess;
using rt::FileErr::NoFile;
using rt::FileErr::NoMemory;

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool startsWith(const char* s, const char* prefix) {
    return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// ---------------------------------------------------------------------------
// Trace (tests)

namespace {
std::mutex traceLock;
std::shared_ptr<TraceFn> traceFn;
std::atomic<bool> tracing{false};
}  // namespace

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

int mapResult(int rc, const char* message, rt::FileStatus& st, bool opening) {
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
// The driver

namespace {

std::string databaseName(const rt::FileDef& def) {
    if (!def.owner) return {};
    return std::string(rt::trimRight(def.owner()));
}

std::mutex marksLock;
std::set<std::string> checkedFiles;  // connection key + "|" + table: checked this process

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
        return whileBusy(
            st, [&] { return createOnce(def, name, again, st); }, again);
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

}  // namespace detail

void install() {
    static std::once_flag once;
    std::call_once(once, [] {
        rt::addFatalCleanup([] { closeAllConnections(); });
        // The connections kept for the next open close when the process run
        // ends, as they did when the last file let go.
        rt::registerComponent(rt::Scope::ProcessWide, rt::stage::ProcessObjects, "storage", {},
                              [] { closeIdleConnections(); });
    });
    rt::setStorageDriver(std::make_shared<detail::SqliteDriver>());
}

void setTrace(TraceFn trace) {
    using namespace detail;
    std::lock_guard<std::mutex> g(traceLock);
    traceFn = trace ? std::make_shared<TraceFn>(std::move(trace)) : nullptr;
    tracing.store(traceFn != nullptr);
}

}  // namespace storage
