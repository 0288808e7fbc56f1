// Runs of equal keys put in the primary key's order. An index holds the rows
// of equal keys in the order of their row numbers, which is the primary
// key's only where that is one INTEGER column (the row number itself). The
// tables whose primary key has several columns (the ledger, the activity
// lines, the dates) have no index that holds a key of theirs followed by the
// primary key's other columns, and the schema is the file's, shared with
// other programs, so none is added. SQLite, told to order by the primary key
// after the key, sorts every row of the page again in its own sorter,
// carrying each joined row through it. So the statement orders by the key
// alone and reads to the end of the run that holds the last row wanted, and
// the runs are sorted here as SQLite compares values. Apart from the view
// statements because this works on the rows SQLite gave, not on the SQL.
#include <algorithm>
#include <cstring>

#include "core/storage/internal.h"

namespace storage::detail {

using rt::FileErr::FileSystemError;

bool tiesNeedSorting(const rt::FileDef& def, int key) {
    const std::size_t keyTerms = def.keys[static_cast<std::size_t>(key)].fields.size();
    return orderTerms(def, key).size() > keyTerms && !rowNumberIsPrimaryKey(def);
}

// The primary key's fields beyond the order key that the caller did not
// project are left out (the index lacks them: reading them reads the
// table's row for every row); the rows' numbers take their place, and they
// are read by it where needed (readTies).
void leaveOutTieFields(const rt::View& v, const std::vector<OrderTerm>& terms, std::size_t keyTerms,
                       ViewStatement& e) {
    const rt::FileStructure* primary = v.file(0);
    auto projected = [&](int field) {
        return std::any_of(v.projected().begin(), v.projected().end(), [&](const rt::FieldRef& f) {
            return f.file == primary && f.index == field;
        });
    };
    const bool projectsPrimary =
        std::any_of(v.projected().begin(), v.projected().end(),
                    [&](const rt::FieldRef& f) { return f.file == primary; });
    for (std::size_t i = keyTerms; projectsPrimary && i < terms.size(); ++i)
        if (!projected(terms[i].field)) e.leftOut.push_back(terms[i].field);
}

void setUpTieColumns(const rt::View& v, const std::vector<OrderTerm>& terms, std::size_t keyTerms,
                     ViewStatement& e) {
    const rt::FileDef& pd = v.file(0)->def();
    std::vector<int> rf;  // the primary's columns as selected
    for (int f : v.readFields()[0])
        if (std::find(e.leftOut.begin(), e.leftOut.end(), f) == e.leftOut.end()) rf.push_back(f);
    for (std::size_t i = 0; i < terms.size(); ++i) {
        int col = static_cast<int>(std::find(rf.begin(), rf.end(), terms[i].field) - rf.begin());
        if (i >= keyTerms && !e.leftOut.empty())
            col = static_cast<int>(i - keyTerms);  // of the row's own read
        (i < keyTerms ? e.keyColumns : e.tieColumns).push_back({col, terms[i].noCase});
        if (i >= keyTerms)
            e.tieFields.push_back(&pd.fields[static_cast<std::size_t>(terms[i].field)]);
    }
    if (!e.leftOut.empty()) {
        int selected = 0;
        for (const auto& fields : v.readFields()) selected += static_cast<int>(fields.size());
        e.rowidColumn = selected - static_cast<int>(e.leftOut.size());
        e.tieSql = "SELECT ";
        for (std::size_t i = 0; i < e.tieFields.size(); ++i)
            e.tieSql += std::string(i ? "," : "") + e.tieFields[i]->column;
        e.tieSql += std::string(" FROM ") + pd.label + " WHERE rowid = ?";
    }
}

namespace {

void readSortValue(const SqliteApi& api, sqlite3_stmt* s, int col, SortValue& v) {
    v.type = api.column_type(s, col);
    if (v.type == SQLITE_INTEGER) {
        v.i = api.column_int64(s, col);
    } else if (v.type == SQLITE_FLOAT) {
        v.d = api.column_double(s, col);
    } else if (v.type != SQLITE_NULL) {
        const auto* p = reinterpret_cast<const char*>(api.column_text(s, col));
        v.t.assign(p ? p : "", static_cast<std::size_t>(api.column_bytes(s, col)));
    }
}

// SQLite's order of values: NULL, numbers, texts (by the collation), blobs.
int compareSortValues(const SortValue& a, const SortValue& b, bool noCase) {
    auto rank = [](int t) {
        return t == SQLITE_NULL                           ? 0
               : t == SQLITE_INTEGER || t == SQLITE_FLOAT ? 1
               : t == SQLITE_TEXT                         ? 2
                                                          : 3;
    };
    const int ra = rank(a.type), rb = rank(b.type);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 1) {
        if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER)
            return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
        const double x = a.type == SQLITE_INTEGER ? static_cast<double>(a.i) : a.d;
        const double y = b.type == SQLITE_INTEGER ? static_cast<double>(b.i) : b.d;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const std::size_t n = std::min(a.t.size(), b.t.size());
    for (std::size_t k = 0; k < n; ++k) {
        int x = static_cast<unsigned char>(a.t[k]), y = static_cast<unsigned char>(b.t[k]);
        if (noCase && ra == 2) {  // NOCASE folds ASCII letters only
            if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
            if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return a.t.size() == b.t.size() ? 0 : (a.t.size() < b.t.size() ? -1 : 1);
}

}  // namespace

int SqliteHandle::readTies(const ViewStatement& vs, std::int64_t rowid, char* image,
                           std::vector<SortValue>& tie, rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    sqlite3_stmt* q = nullptr;
    if (int rc = prepare(vs.tieSql, q, st)) return rc;
    Exec ex(q, vs.tieSql);
    api.bind_int64(q, 1, rowid);
    if (ex.trace()) ex.trace()->push_back(std::to_string(rowid));
    ex.run();
    const int rc = ex.step();
    if (rc == SQLITE_DONE)  // the read's own snapshot: cannot happen
        return setStatus(st, FileSystemError, 0, "A row read is not in its table");
    if (rc != SQLITE_ROW) return failed(rc, st);
    tie.resize(vs.tieFields.size());
    for (std::size_t c = 0; c < vs.tieFields.size(); ++c) {
        readSortValue(api, q, static_cast<int>(c), tie[c]);
        if (!decodeField(api, q, static_cast<int>(c), *vs.tieFields[c], image))
            return rangeError(api, q, static_cast<int>(c), vs.tables[0], *vs.tieFields[c], st);
    }
    return 0;
}

// A run is complete when a row with another key or the end comes; only then
// is it handed on. A row waits for the next in the buffers themselves, so a
// key without ties (nearly every row) costs no copy; from its second row on
// a run is held in held_.
int SqliteHandle::tieOrder(const ViewStatement& vs, sqlite3_stmt* s, Exec& ex,
                           const rt::ScanRequest& r, const std::function<void()>& onRow, int& rows,
                           rt::FileStatus& st) {
    const SqliteApi& api = *sqlite().api;
    bool waiting = false;  // a row in the buffers, not handed on yet
    std::size_t used = 0;  // else held_[0, used): the run so far
    std::vector<std::size_t> order;
    // What a held row's image per file needs: up to its last field read.
    std::vector<std::size_t> ends(vs.columns.size(), 0);
    for (std::size_t i = 0; i < vs.columns.size(); ++i)
        for (const rt::FieldDef* f : vs.columns[i])
            ends[i] = std::max(ends[i], f->offset + rt::memorySize(*f));
    const bool lean = !vs.leftOut.empty();
    if (lean)
        for (const rt::FieldDef* f : vs.tieFields)
            ends[0] = std::max(ends[0], f->offset + rt::memorySize(*f));
    auto holding = [&](std::size_t k) -> HeldRow& {
        if (held_.size() <= k) held_.emplace_back();
        HeldRow& h = held_[k];
        if (h.images.size() != vs.columns.size()) {
            h.images.assign(vs.columns.size(), {});
            h.targets.assign(vs.columns.size(), nullptr);
        }
        for (std::size_t i = 0; i < vs.columns.size(); ++i) {
            if (h.images[i].size() < ends[i]) h.images[i].resize(ends[i]);
            h.targets[i] = h.images[i].data();
        }
        return h;
    };
    // A row's fields between the buffers and a held row's images (with
    // withTies the tie fields read by the row's number as well).
    auto copyRow = [&](const std::vector<void*>& to, const std::vector<void*>& from,
                       bool withTies) {
        auto copy = [&](std::size_t i, const rt::FieldDef* f) {
            std::memcpy(static_cast<char*>(to[i]) + f->offset,
                        static_cast<const char*>(from[i]) + f->offset, rt::memorySize(*f));
        };
        for (std::size_t i = 0; i < vs.columns.size(); ++i)
            for (const rt::FieldDef* f : vs.columns[i]) copy(i, f);
        if (withTies)
            for (const rt::FieldDef* f : vs.tieFields) copy(0, f);
    };
    // The last row handed on holds the whole position.
    auto handOnWaiting = [&](bool last) -> int {
        waiting = false;
        if (lean && (last || rows + 1 == r.limit))
            if (int bad = readTies(vs, waiting_.rowid, static_cast<char*>(r.targets[0]),
                                   waiting_.tie, st))
                return bad;
        ++rows;
        onRow();
        return 0;
    };
    // Hands on the run held_[0, runLength), up to the limit.
    auto emit = [&](std::size_t runLength) -> int {
        if (lean)
            for (std::size_t k = 0; k < runLength; ++k)
                if (int bad =
                        readTies(vs, held_[k].rowid, held_[k].images[0].data(), held_[k].tie, st))
                    return bad;
        order.resize(runLength);
        for (std::size_t k = 0; k < runLength; ++k) order[k] = k;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t c = 0; c < vs.tieColumns.size(); ++c) {
                const int cmp =
                    compareSortValues(held_[a].tie[c], held_[b].tie[c], vs.tieColumns[c].noCase);
                if (cmp != 0) return r.forward ? cmp < 0 : cmp > 0;
            }
            return false;
        });
        for (std::size_t k : order) {
            if (rows >= r.limit) return 0;
            const HeldRow& h = held_[k];
            copyRow(r.targets, h.targets, lean);
            ++rows;
            onRow();
        }
        return 0;
    };
    // The row's tie values or number (the row's own columns are gone at
    // the next step).
    auto readOwn = [&](HeldRow& h) {
        if (lean) {
            h.rowid = api.column_int64(s, vs.rowidColumn);
        } else {
            h.tie.resize(vs.tieColumns.size());
            for (std::size_t c = 0; c < vs.tieColumns.size(); ++c)
                readSortValue(api, s, vs.tieColumns[c].col, h.tie[c]);
        }
    };
    while (rows < r.limit) {
        const int rc = ex.step();
        if (rc == SQLITE_DONE) {
            if (waiting) {
                if (int bad = handOnWaiting(true)) return bad;
            } else if (used > 0) {
                if (int bad = emit(used)) return bad;
            }
            break;
        }
        if (rc != SQLITE_ROW) return failed(rc, st);
        rowKey_.resize(vs.keyColumns.size());
        for (std::size_t c = 0; c < vs.keyColumns.size(); ++c)
            readSortValue(api, s, vs.keyColumns[c].col, rowKey_[c]);
        const std::vector<SortValue>* runKey =
            waiting ? &waiting_.key : (used > 0 ? &held_[0].key : nullptr);
        bool sameRun = runKey != nullptr;
        for (std::size_t c = 0; sameRun && c < vs.keyColumns.size(); ++c)
            sameRun = compareSortValues((*runKey)[c], rowKey_[c], vs.keyColumns[c].noCase) == 0;
        if (!sameRun) {
            // The run before this row is complete: handed on; this row
            // waits in the buffers.
            if (waiting) {
                if (int bad = handOnWaiting(false)) return bad;
            } else if (used > 0) {
                if (int bad = emit(used)) return bad;
                used = 0;
            }
            if (rows >= r.limit) break;
            if (int bad = decodeView(api, vs, s, r.targets, st)) return bad;
            std::swap(waiting_.key, rowKey_);
            readOwn(waiting_);
            waiting = true;
            continue;
        }
        if (waiting) {
            // A tie: the waiting row moves into held_ first.
            HeldRow& first = holding(0);
            copyRow(first.targets, r.targets, false);
            std::swap(first.key, waiting_.key);
            std::swap(first.tie, waiting_.tie);
            first.rowid = waiting_.rowid;
            waiting = false;
            used = 1;
        }
        HeldRow& h = holding(used);
        if (int bad = decodeView(api, vs, s, h.targets, st)) return bad;
        std::swap(h.key, rowKey_);
        readOwn(h);
        ++used;
    }
    return setStatus(st, 0, 0, {});
}

}  // namespace storage::detail
