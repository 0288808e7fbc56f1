#pragma once
// What the storage's pieces share; private to core/storage. The pieces:
//   storage.cpp          the driver (install, open with its column check,
//                        create) and what every piece reports through: the
//                        result codes mapped to file errors, the trace;
//   connections.cpp      the connections (the pool, opening, retiring, busy
//                        waits, transactions, the statement cache);
//   rows.cpp             values bound and decoded, keyed reads, add, put,
//                        delete;
//   view_statements.cpp  a view's statements (its SQL, paging, count,
//                        extreme, sum);
//   ties.cpp             runs of equal keys put in primary-key order where
//                        the key's index does not hold them so.
// Every one of them works on the handle declared here (SqliteHandle), one per
// thread and file, on a connection shared by every handle on the database.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

#include "core/storage/sql.h"
#include "core/storage/sqlite_api.h"
#include "core/storage/storage.h"
#include "runtime/file/driver.h"

namespace storage::detail {

using Clock = std::chrono::steady_clock;

constexpr auto BusyStep = std::chrono::milliseconds(30);
// How long opening a file (and creating a missing table) waits for a busy
// database: its failure ends the program, so a momentary lock must not.
constexpr auto OpenWait = std::chrono::milliseconds(2000);

std::string upper(std::string s);
bool startsWith(const char* s, const char* prefix);

// ---------------------------------------------------------------------------
// Results and the trace (storage.cpp)

// The trace setTrace installed; null while none is.
std::shared_ptr<TraceFn> currentTrace();

int setStatus(rt::FileStatus& st, int code, int fileErrorCode, std::string text);
// The library could not be loaded: its code and text.
int libraryFailure(rt::FileStatus& st);
// The storage's number for an SQLite result, with the database's own text.
// A database file that cannot be opened is "File Not Found" only when a
// file is being opened; a write that cannot open its journal, or a create
// that cannot make the file, is a file system error with the library's text.
int mapResult(int rc, const char* message, rt::FileStatus& st, bool opening = false);

// ---------------------------------------------------------------------------
// Connections (connections.cpp)

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

    ~Connection();
    bool ownedByMe() const { return owner.load() == std::this_thread::get_id(); }

    // Finalizes the cached statements; with keepBusy, those in the middle
    // of their rows (a caller further up this thread's stack) stay.
    void finalizeStatements(bool keepBusy);
};

// The shared connection for (name, mode); opened when there is none. With
// allowCreate the read-write connection may create the database file. A
// connection that files still use is shared as it is; an idle one is used
// again when it still serves, else closed and opened afresh.
int connectionFor(const std::string& name, rt::OpenMode mode, bool allowCreate,
                  std::shared_ptr<Connection>& out, rt::FileStatus& st);

// Runs a transaction statement, retrying while the database is busy.
int execTransactionStatement(Connection& c, const char* sql, std::chrono::milliseconds timeout,
                             rt::FileStatus& st);

// Runs a statement without rows, failing at once on a busy database.
int execPlain(Connection& c, const std::string& sql, rt::FileStatus& st);

inline bool busy(const rt::FileStatus& st) {
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

// ---------------------------------------------------------------------------
// View statements (view_statements.cpp)

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
    std::vector<const char*> tables;                        // per file, its table
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

// ---------------------------------------------------------------------------
// Values (rows.cpp)

void bindField(sqlite3_stmt* s, int at, const rt::FieldDef& f, const char* record,
               std::vector<std::string>* trace);
void bindValue(sqlite3_stmt* s, int at, const rt::FieldDef& f, const rt::Value& v,
               std::vector<std::string>* trace);

// A column into its field of record: false for an integer beyond the
// field's range (the read then fails with rangeError).
bool decodeField(const SqliteApi& api, sqlite3_stmt* s, int col, const rt::FieldDef& f,
                 char* record);
int rangeError(const SqliteApi& api, sqlite3_stmt* s, int col, const char* table,
               const rt::FieldDef& f, rt::FileStatus& st);
// A single value (MIN, MAX, a keyed value), integers whole.
rt::Value decodeValue(sqlite3_stmt* s, int col, const rt::FieldDef& f);
// A row of a view's statement into the buffers: the columns in the order of
// the view's read fields, file by file.
int decodeView(const SqliteApi& api, const ViewStatement& vs, sqlite3_stmt* s,
               const std::vector<void*>& targets, rt::FileStatus& st);

// " WHERE A = ? AND B = ?" over the primary key's columns (with prefix).
std::string whereByPrimary(const rt::FileDef& def, const std::string& prefix = {});
// The primary key's fields of record, bound from at on.
void bindPrimary(const rt::FileDef& def, sqlite3_stmt* s, int at, const char* record,
                 std::vector<std::string>* trace);

// The values of an ordered read (orderedSelect): for each of its reads
// the caller's (bindWhere) and that many of the bound's terms; then the
// limit.
template <class BindWhere>
int bindBound(sqlite3_stmt* s, const rt::FileDef& def, const std::vector<OrderTerm>& terms,
              const std::vector<std::size_t>& readTerms, const rt::ScanRequest& r, int limit,
              std::vector<std::string>* trace, BindWhere bindWhere) {
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

// ---------------------------------------------------------------------------
// Ties (ties.cpp)

// Whether an ordered read by key must sort the runs of equal keys itself:
// the key leaves out some of the primary key's fields, and the primary key
// is not the row number that every index holds equal keys in order of.
bool tiesNeedSorting(const rt::FileDef& def, int key);
// Only the last row's position wanted (ViewRequest::lean): the primary's
// fields beyond the order key that the view does not project, which the
// statement then leaves out (into e.leftOut).
void leaveOutTieFields(const rt::View& v, const std::vector<OrderTerm>& terms, std::size_t keyTerms,
                       ViewStatement& e);
// The columns the sort compares (e.keyColumns, e.tieColumns, e.tieFields)
// and, with fields left out, where the row's number is and the statement
// that reads them by it.
void setUpTieColumns(const rt::View& v, const std::vector<OrderTerm>& terms, std::size_t keyTerms,
                     ViewStatement& e);

// One value of a row as SQLite orders it.
struct SortValue {
    int type = SQLITE_NULL;
    std::int64_t i = 0;
    double d = 0;
    std::string t;
};

// A row held back until its run of equal keys is complete.
struct HeldRow {
    std::vector<std::vector<char>> images;  // per file
    std::vector<void*> targets;             // into images
    std::vector<SortValue> key, tie;
    std::int64_t rowid = 0;  // with fields left out: the row's number
};

// ---------------------------------------------------------------------------
// The per-thread, per-file handle

class SqliteHandle final : public rt::StorageHandle {
  public:
    explicit SqliteHandle(std::shared_ptr<Connection> c) : conn_(std::move(c)) {}
    ~SqliteHandle() override;

    // connections.cpp
    int close(rt::FileStatus& st) override;
    int begin(std::chrono::milliseconds timeout, rt::FileStatus& st) override;
    int commit(rt::FileStatus& st) override { return endTransaction("COMMIT", st); }
    int rollback(rt::FileStatus& st) override { return endTransaction("ROLLBACK", st); }

    // rows.cpp
    int fetch(const rt::FileDef& def, int key, const void* keyRecord, void* target,
              rt::FileStatus& st) override;
    int scan(const rt::FileDef& def, const rt::ScanRequest& r, const std::function<void()>& onRow,
             int& rows, rt::FileStatus& st) override;
    int insert(const rt::FileDef& def, const void* record, rt::FileStatus& st) override;
    int update(const rt::FileDef& def, const void* asRead, const void* record,
               rt::FileStatus& st) override;
    int remove(const rt::FileDef& def, const void* asRead, rt::FileStatus& st) override;
    int count(const rt::FileDef& def, std::int64_t& rows, rt::FileStatus& st) override;

    // view_statements.cpp
    int viewScan(const rt::View& v, const rt::ScanRequest& r, const std::function<void()>& onRow,
                 int& rows, rt::FileStatus& st) override;
    int viewReget(const rt::View& v, const void* pkRecord, const std::vector<void*>& targets,
                  rt::FileStatus& st) override;
    int viewCount(const rt::View& v, std::int64_t& rows, rt::FileStatus& st) override;
    int viewExtreme(const rt::View& v, int field, bool max, rt::Value& value,
                    rt::FileStatus& st) override;
    int viewSum(const rt::View& v, const std::vector<int>& fields, std::vector<rt::Money>& sums,
                rt::FileStatus& st) override;

  private:
    // connections.cpp
    std::unique_lock<std::recursive_mutex> lock() {
        return std::unique_lock<std::recursive_mutex>(conn_->lock);
    }
    // Whether statements may run: the handle open, its connection alive.
    int usable(rt::FileStatus& st);
    // The connection's statement for sql, prepared on first use (under the
    // connection's lock). Prepared with _v2, so a statement outlives a change
    // of the schema: SQLite prepares it again when it next runs.
    int prepare(const std::string& sql, sqlite3_stmt*& out, rt::FileStatus& st);
    // Maps a failed result; a transaction that SQLite ended by itself on the
    // failure is released, so it does not hold the connection any longer.
    int failed(int rc, rt::FileStatus& st);
    void releaseTransaction();
    int endTransaction(const char* sql, rt::FileStatus& st);

    // view_statements.cpp
    // The first step of sql, a statement over the view's filter, with the
    // filter's values bound (under the lock): take reads the row from the
    // statement and the step's result, and gives the call's result.
    template <class Take>
    int filteredStep(const rt::View& v, const std::string& sql, rt::FileStatus& st, Take take);
    // The statement of a view's request, found by the view's shape number
    // and the request's shape; on a miss build makes the text (and the
    // bound's terms), and it is prepared through the statement cache.
    template <class Build>
    int viewStatement(const rt::View& v, const ViewRequest& request, Build build,
                      const ViewStatement*& out, rt::FileStatus& st);
    // The views' statements point into the connection's cache: dropped when
    // it finalized some since.
    void dropStaleViews();

    // ties.cpp
    // The tie fields of a row read by its number (see leftOut): into tie and
    // the primary's image.
    int readTies(const ViewStatement& vs, std::int64_t rowid, char* image,
                 std::vector<SortValue>& tie, rt::FileStatus& st);
    // The rows of a statement ordered by the key alone, each run of equal
    // keys sorted by the primary key (descending when reading backward),
    // up to the request's limit.
    int tieOrder(const ViewStatement& vs, sqlite3_stmt* s, Exec& ex, const rt::ScanRequest& r,
                 const std::function<void()>& onRow, int& rows, rt::FileStatus& st);

    std::shared_ptr<Connection> conn_;
    // The views' statements by shape (a few per list: each direction, each
    // kind of bound, the re-read). Each points into the connection's cache
    // and is dropped whenever that one finalizes some (its generation moves).
    std::deque<ViewStatement> views_;
    std::uint64_t viewsGeneration_ = 0;
    // Leaving fields out failed on this file (no row numbers): never again.
    bool leanRefused_ = false;
    // tieOrder's buffers, kept from read to read.
    std::vector<HeldRow> held_;  // the run so far, from its second row on
    HeldRow waiting_;            // its key, tie and number (its fields are in the buffers)
    std::vector<SortValue> rowKey_;
};

}  // namespace storage::detail
