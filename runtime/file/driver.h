#pragma once
// The storage driver: what carries the file layer's operations to a
// database. The program installs one (the SQLite storage of core/storage);
// without one every open fails with 90.
//
// Every call fills the FileStatus it is given and returns its code. Reads
// decode rows into the record images named by the request, never elsewhere.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/file/file.h"

namespace rt {

enum class Bound {
    None,       // from the first (last) row
    Inclusive,  // rows >= the bound (<= backwards)
    Exclusive,  // rows >  the bound (<  backwards)
};

// An ordered read over the rows of a file or of a view.
struct ScanRequest {
    int key = -1;  // the order key (of the file, or of the view's primary)
    bool forward = true;
    Bound bound = Bound::None;
    // A record image of the (primary) file holding the bound's values.
    const void* boundRecord = nullptr;
    // The bound compares the key's fields followed by the primary key's
    // (continuing after a row); otherwise the key's fields alone (a set).
    bool boundWithPrimary = false;
    int limit = 1;
    // Only the last row handed on must hold the primary key's fields that a
    // view reads for its position alone (View::readOnFromLastRowOnly): the
    // driver may leave them as they were in the rows before it.
    bool lastRowPosition = false;
    // Where each row is decoded: a file read has one image; a view has one
    // per file (0 the primary, then the joins).
    std::vector<void*> targets;
};

class StorageHandle {
  public:
    virtual ~StorageHandle() = default;

    virtual int close(FileStatus& st) = 0;
    // The row whose key fields equal those of keyRecord, decoded into target.
    virtual int fetch(const FileDef& def, int key, const void* keyRecord, void* target,
                      FileStatus& st) = 0;
    // Rows in key order (primary key breaking ties); onRow after each.
    virtual int scan(const FileDef& def, const ScanRequest& request,
                     const std::function<void()>& onRow, int& rows, FileStatus& st) = 0;
    virtual int insert(const FileDef& def, const void* record, FileStatus& st) = 0;
    // Writes the columns of record that differ from asRead, by asRead's
    // primary key; 33 when no row was reached. Nothing changed: nothing issued.
    virtual int update(const FileDef& def, const void* asRead, const void* record,
                       FileStatus& st) = 0;
    virtual int remove(const FileDef& def, const void* asRead, FileStatus& st) = 0;
    virtual int begin(std::chrono::milliseconds timeout, FileStatus& st) = 0;
    virtual int commit(FileStatus& st) = 0;
    virtual int rollback(FileStatus& st) = 0;
    virtual int count(const FileDef& def, std::int64_t& rows, FileStatus& st) = 0;

    // Views, served by the handle of the view's primary file.
    virtual int viewScan(const View& view, const ScanRequest& request,
                         const std::function<void()>& onRow, int& rows, FileStatus& st) = 0;
    // The row whose primary key equals pkRecord's, into targets.
    virtual int viewReget(const View& view, const void* pkRecord, const std::vector<void*>& targets,
                          FileStatus& st) = 0;
    virtual int viewCount(const View& view, std::int64_t& rows, FileStatus& st) = 0;
    virtual int viewExtreme(const View& view, int field, bool max, Value& value,
                            FileStatus& st) = 0;
    // The exact sums of money fields of the primary over the rows that pass,
    // one per field (0 when none pass). A driver without it fails the call.
    virtual int viewSum(const View& view, const std::vector<int>& fields, std::vector<Money>& sums,
                        FileStatus& st);
};

class StorageDriver {
  public:
    virtual ~StorageDriver() = default;
    virtual int open(const FileDef& def, OpenMode mode, std::unique_ptr<StorageHandle>& handle,
                     FileStatus& st) = 0;
    virtual int create(const FileDef& def, FileStatus& st) = 0;
};

// Process-wide; installed before any file is opened.
void setStorageDriver(std::shared_ptr<StorageDriver> driver);
std::shared_ptr<StorageDriver> storageDriver();

}  // namespace rt
