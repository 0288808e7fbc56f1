#pragma once
// An in-memory storage driver for the file managers' tests: tables of record
// images, ordered scans, transactions with a real roll-back, a log of the
// statements that reached it, and faults scripted per operation.
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/file/driver.h"
#include "runtime/file/file.h"
#include "runtime/money.h"

namespace fake {

inline std::size_t memSize(const rt::FieldDef& f) {
    return f.type == rt::FieldType::Decimal ? sizeof(rt::Money) : f.size;
}

// <0, 0, >0 like memcmp, over one field of two record images.
inline int compareField(const rt::FieldDef& f, const char* a, const char* b, bool noCase) {
    a += f.offset;
    b += f.offset;
    switch (f.type) {
        case rt::FieldType::Long: {
            std::int32_t x, y;
            std::memcpy(&x, a, 4);
            std::memcpy(&y, b, 4);
            return x < y ? -1 : x > y;
        }
        case rt::FieldType::Byte: {
            const auto x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
            return x < y ? -1 : x > y;
        }
        case rt::FieldType::Decimal: {
            rt::Money x, y;
            std::memcpy(&x, a, sizeof x);
            std::memcpy(&y, b, sizeof y);
            return x < y ? -1 : y < x;
        }
        case rt::FieldType::String:
            for (std::size_t i = 0; i < f.size; ++i) {
                int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
                if (noCase && x >= 'a' && x <= 'z') x -= 32;
                if (noCase && y >= 'a' && y <= 'z') y -= 32;
                if (x != y) return x < y ? -1 : 1;
            }
            return 0;
    }
    return 0;
}

inline int compareKey(const rt::FileDef& def, int key, const char* a, const char* b) {
    const rt::KeyDef& k = def.keys[static_cast<std::size_t>(key)];
    for (int i : k.fields)
        if (int c = compareField(def.fields[static_cast<std::size_t>(i)], a, b, k.noCase)) return c;
    return 0;
}

using Row = std::vector<char>;

struct Table {
    bool exists = true;
    std::vector<Row> rows;
};

// One statement that reached the storage.
struct Statement {
    std::string file;
    std::string verb;                  // BEGIN COMMIT ROLLBACK INSERT UPDATE DELETE OPEN CREATE
    std::vector<std::string> columns;  // UPDATE: the columns written
};

class Storage : public rt::StorageDriver, public std::enable_shared_from_this<Storage> {
  public:
    std::mutex lock;
    std::map<std::string, Table> tables;
    std::vector<Statement> log;
    // Scripted results, per file label, taken one per call (0 = go on).
    std::map<std::string, std::deque<int>> openResults, createResults, insertResults, beginResults,
        commitResults, scanResults;
    // Runs before an insert reaches the table (a race with another station).
    std::function<void(const std::string& file, const Row& row)> beforeInsert;
    std::map<std::string, rt::OpenMode> openedMode;

    Table& table(const std::string& label) { return tables[label]; }
    void missing(const std::string& label) { tables[label].exists = false; }

    // The rows of a file, in primary-key order.
    std::vector<Row> rowsOf(const rt::FileDef& def) {
        std::lock_guard g(lock);
        auto rows = tables[def.label].rows;
        const int pk = def.primaryKey();
        std::sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
            return compareKey(def, pk, a.data(), b.data()) < 0;
        });
        return rows;
    }
    std::vector<std::string> verbs(const std::string& file) {
        std::lock_guard g(lock);
        std::vector<std::string> out;
        for (const auto& s : log)
            if (s.file == file) out.push_back(s.verb);
        return out;
    }

    static int take(std::map<std::string, std::deque<int>>& m, const std::string& label) {
        auto it = m.find(label);
        if (it == m.end() || it->second.empty()) return 0;
        const int r = it->second.front();
        it->second.pop_front();
        return r;
    }
    static int failWith(rt::FileStatus& st, int code, int fileCode = 0, std::string text = {}) {
        st.code = code;
        st.fileErrorCode = fileCode;
        st.fileError = std::move(text);
        if (code == rt::FileErr::FileSystemError && st.fileError.empty()) {
            st.fileErrorCode = -5;
            st.fileError = "The database file is locked";
        }
        return code;
    }
    static int ok(rt::FileStatus& st) {
        st = rt::FileStatus{};
        return 0;
    }

    int open(const rt::FileDef& def, rt::OpenMode mode, std::unique_ptr<rt::StorageHandle>& handle,
             rt::FileStatus& st) override;
    int create(const rt::FileDef& def, rt::FileStatus& st) override {
        std::lock_guard g(lock);
        log.push_back({def.label, "CREATE", {}});
        if (int r = take(createResults, def.label)) return failWith(st, r, -13, "Disk full");
        tables[def.label].exists = true;
        return ok(st);
    }
};

class Handle : public rt::StorageHandle {
  public:
    Handle(std::shared_ptr<Storage> s, std::string label, rt::OpenMode mode)
        : s_(std::move(s)), label_(std::move(label)), mode_(mode) {}

    int close(rt::FileStatus& st) override { return Storage::ok(st); }

    int fetch(const rt::FileDef& def, int key, const void* keyRecord, void* target,
              rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        for (const Row& r : rows())
            if (compareKey(def, key, r.data(), static_cast<const char*>(keyRecord)) == 0) {
                std::memcpy(target, r.data(), def.recordSize);
                return Storage::ok(st);
            }
        return Storage::failWith(st, rt::FileErr::RecordNotAvailable);
    }

    int scan(const rt::FileDef& def, const rt::ScanRequest& q, const std::function<void()>& onRow,
             int& n, rt::FileStatus& st) override {
        std::vector<Row> sorted;
        {
            std::lock_guard g(s_->lock);
            if (int r = Storage::take(s_->scanResults, label_)) return Storage::failWith(st, r);
            sorted = rows();
        }
        const int pk = def.primaryKey();
        auto order = [&](const char* a, const char* b) {
            int c = compareKey(def, q.key, a, b);
            return c ? c : compareKey(def, pk, a, b);
        };
        std::sort(sorted.begin(), sorted.end(),
                  [&](const Row& a, const Row& b) { return order(a.data(), b.data()) < 0; });
        if (!q.forward) std::reverse(sorted.begin(), sorted.end());
        n = 0;
        const char* bound = static_cast<const char*>(q.boundRecord);
        for (const Row& r : sorted) {
            if (q.bound != rt::Bound::None) {
                int c = q.boundWithPrimary ? order(r.data(), bound)
                                           : compareKey(def, q.key, r.data(), bound);
                if (!q.forward) c = -c;
                if (c < 0 || (c == 0 && q.bound == rt::Bound::Exclusive)) continue;
            }
            std::memcpy(q.targets[0], r.data(), def.recordSize);
            ++n;
            onRow();
            if (n >= q.limit) break;
        }
        return Storage::ok(st);
    }

    int insert(const rt::FileDef& def, const void* record, rt::FileStatus& st) override {
        Row row(static_cast<const char*>(record),
                static_cast<const char*>(record) + def.recordSize);
        if (s_->beforeInsert) s_->beforeInsert(label_, row);
        std::lock_guard g(s_->lock);
        s_->log.push_back({label_, "INSERT", {}});
        if (mode_ == rt::OpenMode::ReadOnly) return readOnly(st);
        if (int r = Storage::take(s_->insertResults, label_)) return Storage::failWith(st, r);
        if (find(def, row.data()) >= 0)
            return Storage::failWith(st, rt::FileErr::DuplicateKey, -19,
                                     "Abort due to constraint violation");
        rows().push_back(std::move(row));
        return Storage::ok(st);
    }

    int update(const rt::FileDef& def, const void* asRead, const void* record,
               rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        Statement s{label_, "UPDATE", {}};
        const char* a = static_cast<const char*>(asRead);
        const char* b = static_cast<const char*>(record);
        for (const auto& f : def.fields)
            if (std::memcmp(a + f.offset, b + f.offset, memSize(f)) != 0)
                s.columns.push_back(f.column);
        if (s.columns.empty()) return Storage::ok(st);
        s_->log.push_back(s);
        if (mode_ == rt::OpenMode::ReadOnly) return readOnly(st);
        const int at = find(def, a);
        if (at < 0) return Storage::failWith(st, rt::FileErr::RecordNotAvailable);
        const int other = find(def, b);
        if (other >= 0 && other != at)
            return Storage::failWith(st, rt::FileErr::DuplicateKey, -19,
                                     "Abort due to constraint violation");
        Row& row = rows()[static_cast<std::size_t>(at)];
        for (const auto& f : def.fields)
            if (std::memcmp(a + f.offset, b + f.offset, memSize(f)) != 0)
                std::memcpy(row.data() + f.offset, b + f.offset, memSize(f));
        return Storage::ok(st);
    }

    int remove(const rt::FileDef& def, const void* asRead, rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        s_->log.push_back({label_, "DELETE", {}});
        if (mode_ == rt::OpenMode::ReadOnly) return readOnly(st);
        const int at = find(def, static_cast<const char*>(asRead));
        if (at < 0) return Storage::failWith(st, rt::FileErr::RecordNotAvailable);
        rows().erase(rows().begin() + at);
        return Storage::ok(st);
    }

    int begin(std::chrono::milliseconds, rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        s_->log.push_back({label_, "BEGIN", {}});
        if (int r = Storage::take(s_->beginResults, label_)) return Storage::failWith(st, r);
        snapshot_ = s_->tables;
        return Storage::ok(st);
    }
    int commit(rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        s_->log.push_back({label_, "COMMIT", {}});
        if (int r = Storage::take(s_->commitResults, label_)) return Storage::failWith(st, r);
        return Storage::ok(st);
    }
    int rollback(rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        s_->log.push_back({label_, "ROLLBACK", {}});
        s_->tables = snapshot_;
        return Storage::ok(st);
    }
    int count(const rt::FileDef&, std::int64_t& n, rt::FileStatus& st) override {
        std::lock_guard g(s_->lock);
        n = static_cast<std::int64_t>(rows().size());
        return Storage::ok(st);
    }
    int viewScan(const rt::View&, const rt::ScanRequest&, const std::function<void()>&, int&,
                 rt::FileStatus& st) override {
        return Storage::failWith(st, rt::FileErr::FileSystemError);
    }
    int viewReget(const rt::View&, const void*, const std::vector<void*>&,
                  rt::FileStatus& st) override {
        return Storage::failWith(st, rt::FileErr::FileSystemError);
    }
    int viewCount(const rt::View&, std::int64_t&, rt::FileStatus& st) override {
        return Storage::failWith(st, rt::FileErr::FileSystemError);
    }
    int viewExtreme(const rt::View&, int, bool, rt::Value&, rt::FileStatus& st) override {
        return Storage::failWith(st, rt::FileErr::FileSystemError);
    }

  private:
    static int readOnly(rt::FileStatus& st) {
        return Storage::failWith(st, rt::FileErr::FileSystemError, -8,
                                 "Attempt to write a readonly database");
    }
    std::vector<Row>& rows() { return s_->tables[label_].rows; }
    int find(const rt::FileDef& def, const char* record) {
        const int pk = def.primaryKey();
        auto& rs = rows();
        for (std::size_t i = 0; i < rs.size(); ++i)
            if (compareKey(def, pk, rs[i].data(), record) == 0) return static_cast<int>(i);
        return -1;
    }
    std::shared_ptr<Storage> s_;
    std::string label_;
    rt::OpenMode mode_;
    std::map<std::string, Table> snapshot_;
};

inline int Storage::open(const rt::FileDef& def, rt::OpenMode mode,
                         std::unique_ptr<rt::StorageHandle>& handle, rt::FileStatus& st) {
    std::lock_guard g(lock);
    log.push_back({def.label, "OPEN", {}});
    if (int r = take(openResults, def.label))
        return failWith(st, r, -14, "unable to open database file");
    if (!tables[def.label].exists)
        return failWith(st, rt::FileErr::NoFile, -1, std::string("no such table: ") + def.label);
    openedMode[def.label] = mode;
    handle = std::make_unique<Handle>(shared_from_this(), def.label, mode);
    return ok(st);
}

}  // namespace fake
