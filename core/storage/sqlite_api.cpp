#include "core/storage/sqlite_api.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>

namespace storage {

namespace {

template <class F>
bool lookUp(void* lib, const char* name, F& slot, LoadResult& out, const std::string& libName) {
    void* p = dlsym(lib, name);
    if (!p) {
        out.code = EntryPointMissing;
        out.text = std::string("Could not find the procedure ") + name + " in " + libName;
        return false;
    }
    slot = reinterpret_cast<F>(p);
    return true;
}

LoadResult load(const std::string& name) {
    LoadResult out;
    void* lib = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        out.code = LibraryNotLoaded;
        out.text = "Could not load " + name + ": " + (why ? why : "unknown reason");
        return out;
    }
    auto api = std::make_unique<SqliteApi>();
#define LOOK(field, symbol) \
    if (!lookUp(lib, symbol, api->field, out, name)) return out;
    LOOK(open_v2, "sqlite3_open_v2")
    LOOK(close, "sqlite3_close")
    LOOK(prepare_v2, "sqlite3_prepare_v2")
    LOOK(bind_int, "sqlite3_bind_int")
    LOOK(bind_int64, "sqlite3_bind_int64")
    LOOK(bind_double, "sqlite3_bind_double")
    LOOK(bind_text, "sqlite3_bind_text")
    LOOK(bind_null, "sqlite3_bind_null")
    LOOK(step, "sqlite3_step")
    LOOK(column_count, "sqlite3_column_count")
    LOOK(column_name, "sqlite3_column_name")
    LOOK(column_type, "sqlite3_column_type")
    LOOK(column_int64, "sqlite3_column_int64")
    LOOK(column_double, "sqlite3_column_double")
    LOOK(column_text, "sqlite3_column_text")
    LOOK(column_bytes, "sqlite3_column_bytes")
    LOOK(column_value, "sqlite3_column_value")
    LOOK(value_text, "sqlite3_value_text")
    LOOK(value_bytes, "sqlite3_value_bytes")
    LOOK(reset, "sqlite3_reset")
    LOOK(clear_bindings, "sqlite3_clear_bindings")
    LOOK(finalize, "sqlite3_finalize")
    LOOK(exec, "sqlite3_exec")
    LOOK(changes, "sqlite3_changes")
    LOOK(errcode, "sqlite3_errcode")
    LOOK(errmsg, "sqlite3_errmsg")
    LOOK(db_readonly, "sqlite3_db_readonly")
    LOOK(get_autocommit, "sqlite3_get_autocommit")
    LOOK(stmt_busy, "sqlite3_stmt_busy")
#undef LOOK
    // The library stays loaded for the life of the process: connections and
    // statements may outlive any one user.
    out.api = api.release();
    return out;
}

}  // namespace

const LoadResult& sqlite() {
    static const LoadResult result = load(LibraryName);
    return result;
}

LoadResult loadLibrary(const std::string& name) {
    return load(name);
}

const char* resultText(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
            return "Successful result";
        case SQLITE_ERROR:
            return "Generic error";
        case SQLITE_INTERNAL:
            return "Internal logic error in SQLite";
        case SQLITE_PERM:
            return "Access permission denied";
        case SQLITE_ABORT:
            return "Callback routine requested an abort";
        case SQLITE_BUSY:
            return "The database file is locked";
        case SQLITE_LOCKED:
            return "A table in the database is locked";
        case SQLITE_NOMEM:
            return "A malloc() failed";
        case SQLITE_READONLY:
            return "Attempt to write a readonly database";
        case SQLITE_INTERRUPT:
            return "Operation terminated by sqlite3_interrupt()";
        case SQLITE_IOERR:
            return "Some kind of disk I/O error occurred";
        case SQLITE_CORRUPT:
            return "The database disk image is malformed";
        case SQLITE_NOTFOUND:
            return "Unknown opcode in sqlite3_file_control()";
        case SQLITE_FULL:
            return "Insertion failed because database is full";
        case SQLITE_CANTOPEN:
            return "Unable to open the database file";
        case SQLITE_PROTOCOL:
            return "Database lock protocol error";
        case SQLITE_EMPTY:
            return "Internal use only";
        case SQLITE_SCHEMA:
            return "The database schema changed";
        case SQLITE_TOOBIG:
            return "String or BLOB exceeds size limit";
        case SQLITE_CONSTRAINT:
            return "Abort due to constraint violation";
        case SQLITE_MISMATCH:
            return "Data type mismatch";
        case SQLITE_MISUSE:
            return "Library used incorrectly";
        case SQLITE_NOLFS:
            return "Uses OS features not supported on host";
        case SQLITE_AUTH:
            return "Authorization denied";
        case SQLITE_FORMAT:
            return "Not used";
        case SQLITE_RANGE:
            return "2nd parameter to sqlite3_bind out of range";
        case SQLITE_NOTADB:
            return "File opened that is not a database file";
        case SQLITE_NOTICE:
            return "Notifications from sqlite3_log()";
        case SQLITE_WARNING:
            return "Warnings from sqlite3_log()";
        case SQLITE_ROW:
            return "sqlite3_step() has another row ready";
        case SQLITE_DONE:
            return "sqlite3_step() has finished executing";
        default:
            return "Unknown error";
    }
}

}  // namespace storage
