// The rows: values bound from a record and decoded into one (a file's
// record, a view's row; the encodings the database file keeps, which other
// programs read and write too), the reads of a file by key, and add, put and
// delete. Apart because these statements name one table and its record
// alone; a view's joined, filtered reads are view_statements.cpp, which
// decodes its rows with what is here.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/storage/internal.h"

namespace storage::detail {

using rt::FileErr::FileSystemError;
using rt::FileErr::RecordNotAvailable;

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

namespace {

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

}  // namespace

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

namespace {

// Every column of a row of def into record; the range error of the first
// column that does not fit.
int decodeRecord(const SqliteApi& api, sqlite3_stmt* s, const rt::FileDef& def, char* record,
                 rt::FileStatus& st) {
    for (std::size_t i = 0; i < def.fields.size(); ++i)
        if (!decodeField(api, s, static_cast<int>(i), def.fields[i], record))
            return rangeError(api, s, static_cast<int>(i), def.label, def.fields[i], st);
    return 0;
}

}  // namespace

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

// A row of a view's statement into the buffers: the columns in the
// order of the view's read fields, file by file.
int decodeView(const SqliteApi& api, const ViewStatement& vs, sqlite3_stmt* s,
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

std::string whereByPrimary(const rt::FileDef& def, const std::string& prefix) {
    std::string s = " WHERE ";
    const auto& kf = def.keys[static_cast<std::size_t>(def.primaryKey())].fields;
    for (std::size_t i = 0; i < kf.size(); ++i) {
        if (i) s += " AND ";
        s += prefix + def.fields[static_cast<std::size_t>(kf[i])].column + " = ?";
    }
    return s;
}

void bindPrimary(const rt::FileDef& def, sqlite3_stmt* s, int at, const char* record,
                 std::vector<std::string>* trace) {
    for (int f : def.keys[static_cast<std::size_t>(def.primaryKey())].fields)
        bindField(s, at++, def.fields[static_cast<std::size_t>(f)], record, trace);
}

// ---------------------------------------------------------------------------
// Reads by key, add, put, delete

int SqliteHandle::fetch(const rt::FileDef& def, int key, const void* keyRecord, void* target,
                        rt::FileStatus& st) {
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

int SqliteHandle::scan(const rt::FileDef& def, const rt::ScanRequest& r,
                       const std::function<void()>& onRow, int& rows, rt::FileStatus& st) {
    rows = 0;
    OrderSql o = orderSql(def, r, {});
    const std::string sql =
        orderedSelect("SELECT " + columnList(def) + " FROM " + def.label, {}, o, o.orderBy);
    auto g = lock();
    sqlite3_stmt* s = nullptr;
    if (int rc = prepare(sql, s, st)) return rc;
    Exec ex(s, sql);
    bindBound(s, def, o.boundTerms, o.readTerms(), r, r.limit, ex.trace(), [](int&) { return 0; });
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

int SqliteHandle::insert(const rt::FileDef& def, const void* record, rt::FileStatus& st) {
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

int SqliteHandle::update(const rt::FileDef& def, const void* asRead, const void* record,
                         rt::FileStatus& st) {
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

int SqliteHandle::remove(const rt::FileDef& def, const void* asRead, rt::FileStatus& st) {
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

int SqliteHandle::count(const rt::FileDef& def, std::int64_t& rows, rt::FileStatus& st) {
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

}  // namespace storage::detail
