#pragma once
// The SQLite storage: carries the file layer's operations (runtime/file) to
// the one database file named by each file's owner.
#include <functional>
#include <string>
#include <vector>

#include "runtime/file/file.h"

namespace storage {

// The page cache of each connection, in KiB.
inline constexpr int CacheKiB = 65536;
// Connections are opened without SQLite's own mutex (SQLITE_OPEN_NOMUTEX):
// every use of one runs under the storage's lock for it.
inline constexpr int NoMutexFlag = 0x00008000;

// Installs the SQLite storage as the file layer's driver and registers the
// fatal clean-up that closes the connections, and the process component that
// closes the idle ones when a process run ends. Idempotent; call before the
// first file is opened (and before rt::runProcess).
void install();

// Closes every connection, idle ones included (an open transaction of the
// calling thread is rolled back first). The fatal clean-up; files still open
// afterwards fail with 90 until they are opened again.
void closeAllConnections();

// Closes the connections no open file uses (the end of a process run).
void closeIdleConnections();

// The connections open files use now (tests).
int openConnections();
// The connections kept open for the next file to open after the last file
// on them closed (tests).
int idleConnections();

// Every statement the storage issues, with its bound values rendered as text
// (tests: which columns a change writes, the WHERE of a put). Empty: off.
using TraceFn = std::function<void(const std::string& sql, const std::vector<std::string>& values)>;
void setTrace(TraceFn trace);

// Runs one statement on the storage's live connection for that database and
// access mode (a pragma in a test: max_page_count). 2 when there is none.
int execOnConnection(const std::string& database, rt::OpenMode mode, const std::string& sql,
                     rt::FileStatus& status);

}  // namespace storage
