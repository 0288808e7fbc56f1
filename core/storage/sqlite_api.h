#pragma once
// The SQLite library, loaded at run time. Only the types and constants of
// <sqlite3.h> are used at compile time; every call goes through the entry
// points looked up by name when the library is loaded.
#include <sqlite3.h>

#include <string>

namespace storage {

// The library the storage loads.
inline constexpr const char* LibraryName = "libsqlite3.so.0";

// The storage's own codes for a library that cannot be used (negated, as the
// file error codes of result codes are).
inline constexpr int LibraryNotLoaded = -80;   // the library could not be loaded
inline constexpr int EntryPointMissing = -81;  // an entry point is missing
inline constexpr int NoOwner = -82;            // a file without owner

struct SqliteApi {
    decltype(&::sqlite3_open_v2) open_v2 = nullptr;
    decltype(&::sqlite3_close) close = nullptr;
    decltype(&::sqlite3_prepare_v2) prepare_v2 = nullptr;
    decltype(&::sqlite3_bind_int) bind_int = nullptr;
    decltype(&::sqlite3_bind_int64) bind_int64 = nullptr;
    decltype(&::sqlite3_bind_double) bind_double = nullptr;
    decltype(&::sqlite3_bind_text) bind_text = nullptr;
    decltype(&::sqlite3_bind_null) bind_null = nullptr;
    decltype(&::sqlite3_step) step = nullptr;
    decltype(&::sqlite3_column_count) column_count = nullptr;
    decltype(&::sqlite3_column_name) column_name = nullptr;
    decltype(&::sqlite3_column_type) column_type = nullptr;
    decltype(&::sqlite3_column_int64) column_int64 = nullptr;
    decltype(&::sqlite3_column_double) column_double = nullptr;
    decltype(&::sqlite3_column_text) column_text = nullptr;
    decltype(&::sqlite3_column_bytes) column_bytes = nullptr;
    decltype(&::sqlite3_column_value) column_value = nullptr;
    decltype(&::sqlite3_value_text) value_text = nullptr;
    decltype(&::sqlite3_value_bytes) value_bytes = nullptr;
    decltype(&::sqlite3_reset) reset = nullptr;
    decltype(&::sqlite3_clear_bindings) clear_bindings = nullptr;
    decltype(&::sqlite3_finalize) finalize = nullptr;
    decltype(&::sqlite3_exec) exec = nullptr;
    decltype(&::sqlite3_changes) changes = nullptr;
    decltype(&::sqlite3_errcode) errcode = nullptr;
    decltype(&::sqlite3_errmsg) errmsg = nullptr;
    decltype(&::sqlite3_db_readonly) db_readonly = nullptr;
    decltype(&::sqlite3_get_autocommit) get_autocommit = nullptr;
    decltype(&::sqlite3_stmt_busy) stmt_busy = nullptr;
};

// The outcome of loading a library: code 0 and the entry points, or the
// storage's code (-80, -81) and its text.
struct LoadResult {
    int code = 0;
    std::string text;
    const SqliteApi* api = nullptr;
};

// The process's library, loaded on first use (once; a failure stays).
const LoadResult& sqlite();

// Loads the named library apart from the process's one (tests of the
// failure texts); the handle stays open for the rest of the process.
LoadResult loadLibrary(const std::string& name);

// The description sqlite3.h gives beside a primary result code
// ("The database file is locked" for SQLITE_BUSY).
const char* resultText(int resultCode);

}  // namespace storage
