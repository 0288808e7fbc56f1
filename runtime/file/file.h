#pragma once
// The file layer: records, fields, keys, per-thread file structures and views.
//
// A file is described once, process-wide, by a FileDef (its fields and keys
// with their offsets into the record struct). Each thread has its own record
// buffer (a thread_local record struct) and its own FileStructure bound to
// it: open state, current position and the copy of the row as it was read.
// The operations are carried to the database by the storage driver that the
// program installs (driver.h); the file layer itself knows no SQL.
//
// Every operation returns its result: 0 or a file error number (FileErr
// below). The details of the last failure (the storage's own text and code)
// stay in the structure's status(). Nothing here shows a message.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "runtime/file/errors.h"
#include "runtime/money.h"
#include "runtime/text.h"

namespace rt {

// What the last operation left behind.
struct FileStatus {
    int code = 0;           // a FileErr number
    int fileErrorCode = 0;  // the storage's own code (a negated result code)
    std::string fileError;  // the storage's own text
    bool ok() const { return code == 0; }
};

// ---------------------------------------------------------------------------
// Descriptors

enum class FieldType {
    Long,     // std::int32_t; codes, numbers and DayNumber dates
    Byte,     // std::uint8_t
    String,   // rt::Text<N>: N bytes, Windows-1250, blank padded
    Decimal,  // rt::Money in memory; DECIMAL(digits, places), size bytes packed
};

struct FieldDef {
    const char* label = "";   // with prefix: "CLA:M1_PRE"
    const char* column = "";  // without: "M1_PRE" (the column's name)
    FieldType type = FieldType::Long;
    std::size_t size = 4;      // bytes in memory for Long/Byte/String; packed size for Decimal
    std::size_t offset = 0;    // offsetof the member in the record struct
    const char* picture = "";  // the display picture ("@s25", "@n_6", "@d6." ...)
    int digits = 0;            // Decimal only: 11
    int places = 0;            // Decimal only: 2
};

struct KeyDef {
    const char* label = "";   // the description: "CLA:KeyM1_PRE"
    const char* name = "";    // "KeyM1_PRE"
    std::vector<int> fields;  // indices into FileDef::fields, in key order
    bool primary = false;     // the row's identity (unique)
    bool unique = false;      // no duplicates (implied by primary)
    bool noCase = true;       // text components order without regard to case
    bool optional = false;    // declared; changes nothing in storage
    bool autoNumber = false;  // the key that numbers new records (informative)
};

// The owner of a file: returns the database name (trailing blanks are
// removed by the storage). Read when the file is opened.
using OwnerFn = std::string (*)();

struct FileDef {
    const char* label = "";   // "CLANOVI": also the table name
    const char* prefix = "";  // "CLA"
    OwnerFn owner = nullptr;  // nullptr: "No OWNER attribute specified"
    bool create = true;       // a missing table may be created
    std::vector<FieldDef> fields;
    std::vector<KeyDef> keys;  // in declaration order
    std::size_t recordSize = 0;

    // Index of the primary key, -1 when none.
    int primaryKey() const;
    // Field index by label ("CLA:M1_PRE") or column ("M1_PRE"), case-insensitive; -1.
    int fieldIndex(std::string_view labelOrColumn) const;
    // Key index by label ("CLA:KeyM1_PRE") or name ("KeyM1_PRE"), case-insensitive; -1.
    int keyIndex(std::string_view labelOrName) const;
};

// The bytes a field takes in the record struct (a Decimal is an rt::Money).
inline std::size_t memorySize(const FieldDef& f) {
    return f.type == FieldType::Decimal ? sizeof(Money) : f.size;
}

// The field type of a record member type.
template <class T>
struct FieldTypeOf;
template <>
struct FieldTypeOf<std::int32_t> {
    static constexpr FieldType type = FieldType::Long;
};
template <>
struct FieldTypeOf<std::uint8_t> {
    static constexpr FieldType type = FieldType::Byte;
};
template <std::size_t N>
struct FieldTypeOf<Text<N>> {
    static constexpr FieldType type = FieldType::String;
};
template <>
struct FieldTypeOf<Money> {
    static constexpr FieldType type = FieldType::Decimal;
};

template <class T>
FieldDef makeField(const char* label, const char* column, std::size_t offset, const char* picture) {
    FieldDef f;
    f.label = label;
    f.column = column;
    f.type = FieldTypeOf<T>::type;
    f.offset = offset;
    f.picture = picture;
    if constexpr (FieldTypeOf<T>::type == FieldType::Decimal) {
        f.size = 6;  // DECIMAL(11,2) packed
        f.digits = 11;
        f.places = 2;
    } else {
        f.size = sizeof(T);
    }
    return f;
}

// RT_FIELD(CLANOVI_Record, M1_PRE, "CLA:M1_PRE", "@s25"): the column name is
// the member's name.
#define RT_FIELD(Record, member, label, picture)                                \
    ::rt::makeField<std::remove_cv_t<decltype(Record::member)>>(label, #member, \
                                                                offsetof(Record, member), picture)

// ---------------------------------------------------------------------------
// Per-thread file structures

enum class OpenMode { ReadWrite, ReadOnly };

// Where set() puts the position of a key.
enum class SetFrom {
    Start,   // before the first row in key order (next() reads the first)
    End,     // after the last row (previous() reads the last)
    Buffer,  // at the key's values in the record buffer: next() reads the first row >=
             // them, previous() the last row <= them
};

// The primary-key image of a row: what re-reads it (the browse's position).
using Position = std::string;

class StorageHandle;  // driver.h
struct ScanRequest;   // driver.h
class FileStructure;

// A key of a file, as the code names it (CLANOVI.KeyM1_PRE).
struct KeyRef {
    FileStructure* file = nullptr;
    int index = -1;
};

// A field of a file (for views).
struct FieldRef {
    FileStructure* file = nullptr;
    int index = -1;
};

class FileStructure {
  public:
    // record: the calling thread's record buffer (def.recordSize bytes).
    FileStructure(const FileDef& def, void* record);
    ~FileStructure();  // closes
    FileStructure(const FileStructure&) = delete;
    FileStructure& operator=(const FileStructure&) = delete;

    const FileDef& def() const { return *def_; }
    void* record() { return record_; }
    const void* record() const { return record_; }
    KeyRef key(int index) { return {this, index}; }
    FieldRef field(int index) { return {this, index}; }

    // --- open state
    // 0; 2 no table (or no database file); 5 read-only database or refused;
    // 47 a field without a column; 90 anything else.
    int open(OpenMode mode = OpenMode::ReadWrite);
    // Creates the table and its indexes (a table that exists is used as it is).
    int create();
    int close();
    bool isOpen() const;
    OpenMode mode() const { return mode_; }
    // Storage options ("Recover=10"); accepted and ignored: 0.
    int send(std::string_view option);
    // Accepted, no effect: the storage writes at once.
    int stream() { return 0; }
    int flush() { return 0; }

    // --- record buffer
    void clear();  // codes and dates 0, texts blank, money 0
    // The copy of the row as last read (or added); nullptr when none.
    const void* asRead() const;
    bool hasAsRead() const { return !asRead_.empty(); }
    void setAsRead();    // the buffer becomes the row as read
    void clearAsRead();  // no row as read: a put fails

    // --- keyed and ordered reads (every row read fills the whole buffer and
    // becomes the row as read)
    // The row whose key fields equal the buffer's; 33 when none (the buffer is
    // left as it was).
    int get(int key);
    int get(KeyRef key) { return get(key.index); }
    // Puts the position in key; then next() / previous().
    int set(int key, SetFrom from = SetFrom::Buffer);
    int set(KeyRef key, SetFrom from = SetFrom::Buffer) { return set(key.index, from); }
    // The next (previous) row in the set key's order; 33 past the end.
    int next();
    int previous();
    // Re-reads the row by its position (primary-key image); 33 when gone.
    int reget(const Position& position);
    // The position of the buffer's row (its primary-key fields).
    Position position() const;

    // --- writes
    // Inserts the buffer (every column); 40 on a duplicate primary key. The
    // buffer becomes the row as read.
    int add();
    // Writes the columns that differ from the row as read, finding the row by
    // the primary key as read; 33 when no row as read or no row was reached.
    int put();
    // Deletes the row as read (by its primary key); 33 when no row was reached.
    int remove();

    // --- transactions on the file's connection. While a thread's
    // transaction is open, no other thread's statement runs on that
    // connection (they wait). begin() inside a transaction does nothing.
    int begin(std::chrono::milliseconds timeout = std::chrono::seconds(2));
    int commit();
    int rollback();

    // --- helpers over a key's ordered rows
    // The number of rows (all of them).
    int count(std::int64_t& rows);
    // The lowest / highest row in key order into the buffer (33 when empty);
    // the buffer becomes the row as read.
    int first(int key);
    int last(int key);

    const FileStatus& status() const { return status_; }
    // Sets the status and returns its code (for drivers and tests).
    int fail(int code, int fileErrorCode = 0, std::string fileError = {});
    int succeed();

    // The driver's per-file state (driver.h).
    StorageHandle* handle() { return handle_.get(); }

    // Lazy open (added for the framework's FileManager): a file that counts as
    // open but is not yet open in the database is opened on its first use.
    // Every read, write and transaction call on a structure that is not open
    // calls this hook first when it is set, and so does View::open() for its
    // primary and each joined structure; a non-zero result is the call's
    // result (the call then does nothing else). The hook opens the structure
    // (or shows the open's fatal messages) and returns 0 when it is open.
    std::function<int()> useHook;

  private:
    friend class View;
    struct Cursor;
    int scanInto(ScanRequest& r, std::deque<std::vector<std::vector<char>>>& rows, FileStatus& st);
    const FileDef* def_;
    void* record_;
    OpenMode mode_ = OpenMode::ReadWrite;
    std::unique_ptr<StorageHandle> handle_;
    std::vector<char> asRead_;
    std::unique_ptr<Cursor> cursor_;
    FileStatus status_;
};

// Every file structure of the calling thread (in the order they were made).
std::vector<FileStructure*> threadFileStructures();

// A field or a key of file by its label ("CLA:M1_PRE", "CLA:KeyM1_PRE"; the
// column or key name will do). A label the file does not have throws
// std::out_of_range naming it and the file: a misspelt name in a window's
// description stops the window as it is built, and the test that builds
// every window finds it, instead of an index of -1 reaching a read.
FieldRef FieldOf(FileStructure& file, std::string_view label);
KeyRef KeyOf(FileStructure& file, std::string_view label);

// A transaction on a file's connection that cannot be left open by an early
// return or an exception: begun when made, rolled back when it goes out of
// scope uncommitted. From BEGIN to its end the thread owns the connection
// (FileStructure::begin), so show no message box while one is open: let the
// scope close, or call rollback(), first. One at a time on a connection: a
// second one made inside it begins nothing and would end the first.
class Transaction {
  public:
    // BEGIN on file's connection; COMMIT and ROLLBACK wait up to timeout on
    // a busy database.
    explicit Transaction(FileStructure& file,
                         std::chrono::milliseconds timeout = std::chrono::seconds(2));
    // Rolls back unless committed or rolled back already. Never throws: the
    // roll-back's own failure has nobody to go to (a connection that closes
    // ends its transaction all the same).
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // 0 when BEGIN succeeded; else its error (file.status() says why), and
    // there is nothing to commit or roll back.
    int began() const { return began_; }
    // COMMIT: 0 only when everything is stored. A COMMIT that failed (another
    // process still reading when the wait ran out) leaves the transaction
    // open for the roll-back, file.status() telling why until then. Without
    // an open transaction: BEGIN's error, or 90.
    int commit();
    // ROLLBACK now: 0 or its error; 0 when nothing is open.
    int rollback();

  private:
    FileStructure& file_;
    int began_;
    bool open_;
};

// ---------------------------------------------------------------------------
// Bound variables (per thread): the names a view filter compares with.

using Value = std::variant<std::int64_t, std::string>;  // whole numbers; texts
using ValueSource = std::function<Value()>;

void bind(std::string name, const std::int32_t* variable);
void bind(std::string name, const std::atomic<std::int32_t>* variable);
void bind(std::string name, ValueSource source);
void unbind(const std::string& name);
void unbindAll();
// The variable's value now; false when the name is not bound.
bool boundValue(const std::string& name, Value& value);

// ---------------------------------------------------------------------------
// Views: a primary file, left outer joins, projected fields, a filter, range
// limits and a sort order by key. Each read fills the projected fields of
// the buffers of the view's files; fields not projected keep their values.

enum class Compare { Equal, GreaterEqual, LessEqual };

class View {
  public:
    explicit View(FileStructure& primary);
    ~View();  // closes
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    FileStructure& primary() { return *primary_; }

    // Fields to read. With none projected for a file, all of its fields are read.
    void project(FieldRef field);
    void project(FileStructure& file, std::string_view labelOrColumn);
    // Left outer join of joined on joinKey's leading components equal to the
    // linking fields (fields of the primary or of a file joined earlier).
    void join(FileStructure& joined, int joinKey, std::vector<FieldRef> linking);
    // "CLA1:CL_SPS = G1:W1_SPS AND CLA1:CL_DAD => G1:W1_DAOD": fields of the
    // view's files compared by "=", "=>" or "<=" with bound names (or whole
    // number literals), joined by AND. The variables are read each time a
    // statement is issued. Checked at open (an unknown field or name fails it).
    void setFilter(std::string expression);
    // A range limit: field op value, the value taken when a statement is issued.
    void addRange(FieldRef field, Compare op, ValueSource value);
    void clearRanges();
    // The sort order: a key of the primary file (the primary key breaks ties).
    void setOrder(int key);
    int order() const { return order_; }

    int open();
    int close();
    bool isOpen() const { return open_; }

    // Position for next()/previous(): start, end, or the order key's values
    // in the primary buffer (next() reads the first row >= them).
    int set(SetFrom from = SetFrom::Start);
    // As set(SetFrom::Buffer), the key's values taken from image (a record of
    // the primary) in place of the buffer.
    int setFromRecord(const void* image);
    // Position at a row (by its position): next() reads that row first,
    // previous() the row before it.
    int setAt(const Position& position);
    // Beside a row already read, from the order key's and the primary key's
    // values in image (a primary record as the row was read), without reading
    // it again: next() reads the row after it, previous() the row before it.
    // The row itself need not exist any more.
    int setBeside(const void* image);
    // One row; 33 past the end.
    int next();
    int previous();
    // Reads up to rows rows in one statement from the current position,
    // calling onRow after each has been put into the buffers; the position
    // moves past the last row read. Returns 0 (also when fewer rows came) or
    // an error; rowsRead tells how many.
    int page(int rows, bool forward, const std::function<void()>& onRow, int* rowsRead = nullptr);
    // For a reader that only ever goes on from the last row a page read (a
    // report's process): the primary key's fields the view reads for its
    // position alone (not projected, not in the order key) then hold their
    // values in that last row only; in the rows before it they may keep what
    // the buffer held. Saves the storage reading them for every row where
    // the order key's index lacks them.
    void readOnFromLastRowOnly(bool on) { lastRowPosition_ = on; }
    // Re-reads the row of that position into the buffers (33 when gone).
    int reget(const Position& position);
    // The position of the last row read.
    Position position() const;
    void position(Position& out) const;  // the same into out, its buffer kept

    // Counting rows that pass the filter and ranges.
    int count(std::int64_t& rows);
    // The lowest / highest value of a field of the primary over the rows
    // that pass (33 when none).
    int min(int field, Value& value);
    int max(int field, Value& value);
    // The sums of money fields of the primary over the rows that pass, in
    // one statement, exact to the hundredth (0 when no row passes).
    int sum(const std::vector<int>& fields, std::vector<Money>& sums);

    const FileStatus& status() const { return status_; }

    // What the storage driver reads (driver.h).
    struct Join {
        FileStructure* file;
        int key;
        std::vector<FieldRef> linking;
    };
    struct Range {
        FieldRef field;
        Compare op;
        ValueSource value;
    };
    struct Term {  // one comparison of the filter, resolved at open
        FieldRef field;
        Compare op;
        std::string name;      // the bound name; empty for a literal
        std::int64_t literal;  // when name is empty
    };
    const std::vector<Join>& joins() const { return joins_; }
    const std::vector<FieldRef>& projected() const { return projected_; }
    const std::vector<Term>& terms() const { return terms_; }
    const std::vector<Range>& ranges() const { return ranges_; }
    // After open: the fields read per file (0 the primary, then one per join):
    // the projected ones, plus for the primary its order key and primary key.
    const std::vector<std::vector<int>>& readFields() const { return readFields_; }
    // The view's file of that index (0 the primary); the index of a file (-1).
    FileStructure* file(int index) const;
    int fileIndex(const FileStructure* file) const;
    // A number, unique in the process, for the view's statement shape (its
    // joins, read fields, filter terms, ranges and order). It is taken anew
    // when the view is made, at every open and at every call above that
    // changes the shape, so a driver may keep what it built for a shape under
    // this number.
    std::uint64_t shape() const { return shape_; }

  private:
    struct State;
    int fail(int code, int fileErrorCode = 0, std::string fileError = {});
    // Positions at image's key values: from them on (setFromRecord), or
    // after or before the row with its primary key too (setBeside).
    int setAtValues(const void* image, bool beside);
    void keepLast(const void* primaryRecord);
    void newShape();
    FileStructure* primary_;
    std::vector<Join> joins_;
    std::vector<FieldRef> projected_;
    std::string filter_;
    std::vector<Term> terms_;
    std::vector<Range> ranges_;
    std::vector<std::vector<int>> readFields_;
    int order_ = -1;
    bool open_ = false;
    bool lastRowPosition_ = false;
    std::uint64_t shape_ = 0;
    std::unique_ptr<State> state_;
    FileStatus status_;
};

// ---------------------------------------------------------------------------
// Components: registers the per-thread file structures (stage FileStructures:
// at thread end every structure of the thread is closed) and the views
// (stage Views: at thread end every open view of the thread is closed).
// Called once before rt::runProcess.
void installFileComponents();

}  // namespace rt
