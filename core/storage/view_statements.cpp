// A view's statements: the SELECT with its outer joins, filter and ranges;
// its ordered reads by key position (the pages of a list, a report's
// batches) and the re-read of a row; its count, extreme and sum; and the
// handle's small list of them by the view's shape. Apart from the rows
// because a view's statement is made from the view (its files, joins,
// filter, projection), not from one file's record.
#include <algorithm>
#include <cstring>

#include "core/storage/internal.h"

namespace storage::detail {

using rt::FileErr::FileSystemError;
using rt::FileErr::RecordNotAvailable;

namespace {

// The view statements a handle keeps by shape; the oldest goes.
constexpr std::size_t ViewStatements = 16;

struct ViewSql {
    std::string select, from, where;
};

// Whether comparisons of this field carry COLLATE NOCASE: as the view's
// order key has it when the field is one of its columns; plain for the
// primary key; NOCASE for a column of a case-insensitive secondary key
// (so its index serves the comparison).
bool collateNoCase(const rt::View& v, int fileIndex, int field) {
    const rt::FileDef& d = v.file(fileIndex)->def();
    if (fileIndex == 0 && v.order() >= 0) {
        const rt::KeyDef& ok = d.keys[static_cast<std::size_t>(v.order())];
        if (std::find(ok.fields.begin(), ok.fields.end(), field) != ok.fields.end())
            return !ok.primary && ok.noCase;
    }
    int pk = d.primaryKey();
    if (pk >= 0) {
        const auto& pf = d.keys[static_cast<std::size_t>(pk)].fields;
        if (std::find(pf.begin(), pf.end(), field) != pf.end()) return false;
    }
    for (const rt::KeyDef& k : d.keys)
        if (!k.primary && k.noCase &&
            std::find(k.fields.begin(), k.fields.end(), field) != k.fields.end())
            return true;
    return false;
}

// "t0" the primary, "t1" ... the joins.
std::string aliasOf(std::size_t i) {
    std::string s = "t";
    s += std::to_string(i);
    return s;
}

// Whether a comparison of the filter or a range is an equality on the
// primary file's field.
bool equalityOn(const rt::View& v, const rt::FieldRef& on, rt::Compare op, int field) {
    return op == rt::Compare::Equal && on.index == field && v.fileIndex(on.file) == 0;
}

// How many of the order's leading terms the filter (or a range) holds
// equal to one value, compared as the order compares them. SQLite seeks
// by a row value only when it starts at the first index column that no
// equality fixes: the bound of a continuation must start there.
std::size_t seekPrefix(const rt::View& v, const std::vector<OrderTerm>& terms) {
    std::size_t n = 0;
    for (; n < terms.size(); ++n) {
        const int field = terms[n].field;
        if (collateNoCase(v, 0, field) != terms[n].noCase) break;
        bool equal = false;
        for (const rt::View::Term& t : v.terms())
            equal = equal || equalityOn(v, t.field, t.op, field);
        for (const rt::View::Range& r : v.ranges())
            equal = equal || equalityOn(v, r.field, r.op, field);
        if (!equal) break;
    }
    return n;
}

// Whether the bound record holds, in each of fields, exactly the value
// every equality of the filter and ranges on it binds now. Only then do
// the rows that pass share those fields with the bound, so that leaving
// them out of the bound changes nothing. A value that may only compare
// equal (a text in another case, a text for a number) does not count.
bool boundFollowsFilter(const rt::View& v, const std::vector<int>& fields, const char* record) {
    const rt::FileDef& d = v.file(0)->def();
    auto same = [&](int field, const rt::Value& val) {
        const rt::FieldDef& f = d.fields[static_cast<std::size_t>(field)];
        const char* p = record + f.offset;
        if (f.type == rt::FieldType::String) {
            const auto* t = std::get_if<std::string>(&val);
            if (!t) return false;
            std::string text = *t;
            text.resize(f.size, ' ');  // as bindValue binds it
            return std::memcmp(text.data(), p, f.size) == 0;
        }
        const auto* n = std::get_if<std::int64_t>(&val);
        if (!n) return false;
        switch (f.type) {
            case rt::FieldType::Long: {
                std::int32_t x;
                std::memcpy(&x, p, sizeof x);
                return *n == x;
            }
            case rt::FieldType::Byte:
                return *n == static_cast<unsigned char>(*p);
            case rt::FieldType::Decimal: {
                rt::Money m;
                std::memcpy(&m, p, sizeof m);
                return *n == m.cents;
            }
            default:
                return false;
        }
    };
    for (int field : fields) {
        for (const rt::View::Term& t : v.terms()) {
            if (!equalityOn(v, t.field, t.op, field)) continue;
            rt::Value val = t.literal;
            if (!t.name.empty() && !rt::boundValue(t.name, val)) return false;
            if (!same(field, val)) return false;
        }
        for (const rt::View::Range& r : v.ranges()) {
            if (!equalityOn(v, r.field, r.op, field)) continue;
            if (!same(field, r.value ? r.value() : rt::Value{std::int64_t{0}})) return false;
        }
    }
    return true;
}

// The select list, the joins and the filter. Comparisons op of the
// primary's field demote are kept out of the index ("+column"): the
// bound of a continuation starts at that field, and SQLite, given both,
// would seek by the filter's own limit and read the rows before the
// position on every page.
// With rowsOnly (a count, an extreme, a sum: what only the primary's rows
// that pass decide) the joins that can neither drop nor repeat a row
// are left out: an outer join on all of a unique key's fields, whose
// file no comparison and no join that stays needs. SQLite would look
// each of them up on every row.
// leaveOut: primary fields not selected; the row's number is then
// selected last.
ViewSql viewSql(const rt::View& v, int demote = -1,
                rt::Compare demoteOp = rt::Compare::GreaterEqual, bool rowsOnly = false,
                const std::vector<int>* leaveOut = nullptr) {
    ViewSql q;
    q.select = "SELECT ";
    bool first = true;
    for (std::size_t i = 0; i < v.readFields().size(); ++i) {
        const rt::FileDef& d = v.file(static_cast<int>(i))->def();
        for (int f : v.readFields()[i]) {
            if (i == 0 && leaveOut &&
                std::find(leaveOut->begin(), leaveOut->end(), f) != leaveOut->end())
                continue;
            if (!first) q.select += ",";
            first = false;
            q.select += aliasOf(i);
            q.select += ".";
            q.select += d.fields[static_cast<std::size_t>(f)].column;
        }
    }
    if (leaveOut && !leaveOut->empty()) q.select += ",t0.rowid";
    q.from = std::string(" FROM ") + v.file(0)->def().label + " t0";
    std::vector<bool> needed(v.joins().size(), !rowsOnly);
    if (rowsOnly) {
        for (std::size_t j = 0; j < v.joins().size(); ++j) {
            const rt::View::Join& jn = v.joins()[j];
            const rt::KeyDef& jk = jn.file->def().keys[static_cast<std::size_t>(jn.key)];
            needed[j] = !(jk.primary || jk.unique) || jn.linking.size() < jk.fields.size();
            for (const rt::View::Term& t : v.terms())
                needed[j] = needed[j] || t.field.file == jn.file;
            for (const rt::View::Range& r : v.ranges())
                needed[j] = needed[j] || r.field.file == jn.file;
        }
        // A join that stays needs the joins its linking fields come from.
        for (std::size_t j = v.joins().size(); j-- > 0;) {
            if (!needed[j]) continue;
            for (const rt::FieldRef& l : v.joins()[j].linking)
                if (int fi = v.fileIndex(l.file); fi > 0)
                    needed[static_cast<std::size_t>(fi - 1)] = true;
        }
    }
    for (std::size_t j = 0; j < v.joins().size(); ++j) {
        if (!needed[j]) continue;
        const rt::View::Join& jn = v.joins()[j];
        const rt::FileDef& jd = jn.file->def();
        const rt::KeyDef& jk = jd.keys[static_cast<std::size_t>(jn.key)];
        std::string alias = aliasOf(j + 1);
        q.from += std::string(" LEFT OUTER JOIN ") + jd.label + " " + alias + " ON ";
        for (std::size_t i = 0; i < jn.linking.size(); ++i) {
            if (i) q.from += " AND ";
            const rt::FieldRef& l = jn.linking[i];
            int li = v.fileIndex(l.file);
            q.from += alias + "." + jd.fields[static_cast<std::size_t>(jk.fields[i])].column +
                      " = t" + std::to_string(li) + "." +
                      l.file->def().fields[static_cast<std::size_t>(l.index)].column;
            if (!jk.primary && jk.noCase) q.from += " COLLATE NOCASE";
        }
    }
    auto term = [&](const rt::FieldRef& fr, rt::Compare op) {
        int fi = v.fileIndex(fr.file);
        std::string s = fi == 0 && fr.index == demote && op == demoteOp ? "+" : "";
        s += aliasOf(static_cast<std::size_t>(fi)) + "." +
             fr.file->def().fields[static_cast<std::size_t>(fr.index)].column;
        s += op == rt::Compare::Equal          ? " = ?"
             : op == rt::Compare::GreaterEqual ? " >= ?"
                                               : " <= ?";
        if (collateNoCase(v, fi, fr.index)) s += " COLLATE NOCASE";
        return s;
    };
    for (const rt::View::Term& t : v.terms()) {
        if (!q.where.empty()) q.where += " AND ";
        q.where += term(t.field, t.op);
    }
    for (const rt::View::Range& r : v.ranges()) {
        if (!q.where.empty()) q.where += " AND ";
        q.where += term(r.field, r.op);
    }
    return q;
}

// Each bound variable contributes the value it has now.
int bindFilter(const rt::View& v, sqlite3_stmt* s, int& at, std::vector<std::string>* trace,
               rt::FileStatus& st) {
    for (const rt::View::Term& t : v.terms()) {
        const rt::FieldDef& f = t.field.file->def().fields[static_cast<std::size_t>(t.field.index)];
        rt::Value val = t.literal;
        if (!t.name.empty() && !rt::boundValue(t.name, val))
            return setStatus(st, FileSystemError, 0, "Invalid filter: unbound name " + t.name);
        bindValue(s, at++, f, val, trace);
    }
    for (const rt::View::Range& r : v.ranges()) {
        const rt::FieldDef& f = r.field.file->def().fields[static_cast<std::size_t>(r.field.index)];
        bindValue(s, at++, f, r.value ? r.value() : rt::Value{std::int64_t{0}}, trace);
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// The handle's view statements

template <class Build>
int SqliteHandle::viewStatement(const rt::View& v, const ViewRequest& request, Build build,
                                const ViewStatement*& out, rt::FileStatus& st) {
    if (int rc = usable(st)) return rc;
    dropStaleViews();
    for (const ViewStatement& e : views_)
        if (e.shape == v.shape() && e.request == request) {
            out = &e;
            return 0;
        }
    ViewStatement e;
    e.shape = v.shape();
    e.request = request;
    build(e);
    e.columns.resize(v.readFields().size());
    e.tables.resize(v.readFields().size());
    for (std::size_t i = 0; i < v.readFields().size(); ++i) {
        const rt::FileDef& d = v.file(static_cast<int>(i))->def();
        e.tables[i] = d.label;
        for (int f : v.readFields()[i])
            if (i != 0 || std::find(e.leftOut.begin(), e.leftOut.end(), f) == e.leftOut.end())
                e.columns[i].push_back(&d.fields[static_cast<std::size_t>(f)]);
    }
    if (int rc = prepare(e.sql, e.stmt, st)) return rc;
    dropStaleViews();  // the prepare may have made room
    if (views_.size() >= ViewStatements) views_.pop_front();
    views_.push_back(std::move(e));
    out = &views_.back();
    return 0;
}

void SqliteHandle::dropStaleViews() {
    if (viewsGeneration_ == conn_->generation) return;
    views_.clear();
    viewsGeneration_ = conn_->generation;
}

template <class Take>
int SqliteHandle::filteredStep(const rt::View& v, const std::string& sql, rt::FileStatus& st,
                               Take take) {
    sqlite3_stmt* s = nullptr;
    if (int rc = prepare(sql, s, st)) return rc;
    Exec ex(s, sql);
    int at = 1;
    if (int rc = bindFilter(v, s, at, ex.trace(), st)) return rc;
    ex.run();
    return take(s, ex.step());
}

int SqliteHandle::viewScan(const rt::View& v, const rt::ScanRequest& r,
                           const std::function<void()>& onRow, int& rows, rt::FileStatus& st) {
    rows = 0;
    const rt::FileDef& pd = v.file(0)->def();
    // A bound that follows the filter's fixed leading key fields is
    // written without them (see seekPrefix), so that SQLite seeks to the
    // position instead of reading from the start of the filter's range.
    auto build = [&](ViewStatement& e) {
        const std::vector<OrderTerm> terms = orderTerms(pd, r.key);
        std::size_t fixed = 0;
        int demote = -1;
        if (e.request.seek) {
            fixed = seekPrefix(v, terms);
            const std::size_t n = r.boundWithPrimary
                                      ? terms.size()
                                      : pd.keys[static_cast<std::size_t>(r.key)].fields.size();
            if (fixed >= n)
                fixed = 0;  // nothing left to seek by: the whole bound
            else
                demote = terms[fixed].field;
            for (std::size_t i = 0; i < fixed; ++i) e.fixedFields.push_back(terms[i].field);
        }
        OrderSql o = orderSql(pd, r, "t0", fixed);
        // Ties in the key that its index does not order by the primary
        // key are put in order by the storage (tieOrder), not by SQLite.
        const std::size_t keyTerms = pd.keys[static_cast<std::size_t>(r.key)].fields.size();
        const bool ties = tiesNeedSorting(pd, r.key);
        if (ties && e.request.lean) leaveOutTieFields(v, terms, keyTerms, e);
        ViewSql q =
            viewSql(v, demote, r.forward ? rt::Compare::GreaterEqual : rt::Compare::LessEqual,
                    false, &e.leftOut);
        if (ties) setUpTieColumns(v, terms, keyTerms, e);
        // (A bound split at a run of equal keys has the row number last:
        // those ties come in order, so it never meets tieOrder.)
        e.sql = orderedSelect(q.select + q.from, q.where, o,
                              e.tieColumns.empty() ? o.orderBy : o.orderByKey);
        e.readTerms = o.readTerms();
        e.boundTerms = std::move(o.boundTerms);
    };
    auto g = lock();
    const ViewStatement* vs = nullptr;
    ViewRequest request{false,
                        r.key,
                        r.forward,
                        r.bound,
                        r.boundWithPrimary,
                        r.bound != rt::Bound::None,
                        r.lastRowPosition && !leanRefused_};
    if (int rc = viewStatement(v, request, build, vs, st)) {
        // A table without row numbers (WITHOUT ROWID, another
        // program's) is read whole.
        if (!request.lean || st.fileErrorCode != -SQLITE_ERROR) return rc;
        leanRefused_ = true;
        request.lean = false;
        st = rt::FileStatus{};
        if (int again = viewStatement(v, request, build, vs, st)) return again;
    }
    if (!vs->fixedFields.empty() &&
        !boundFollowsFilter(v, vs->fixedFields, static_cast<const char*>(r.boundRecord))) {
        request.seek = false;
        if (int rc = viewStatement(v, request, build, vs, st)) return rc;
    }
    sqlite3_stmt* s = vs->stmt;
    Exec ex(s, vs->sql);
    const SqliteApi& api = *sqlite().api;
    // Ordering ties here, the statement reads on to the end of the run of
    // equal keys that holds the last row wanted.
    const int limit = vs->tieColumns.empty() ? r.limit : -1;
    if (int rc = bindBound(s, pd, vs->boundTerms, vs->readTerms, r, limit, ex.trace(),
                           [&](int& at) { return bindFilter(v, s, at, ex.trace(), st); }))
        return rc;
    ex.run();
    if (!vs->tieColumns.empty()) {
        const int rc = tieOrder(*vs, s, ex, r, onRow, rows, st);
        // A table without row numbers made since the statement was
        // prepared fails at its first step: read whole rows.
        if (rc != 0 && rows == 0 && request.lean && st.fileErrorCode == -SQLITE_ERROR) {
            leanRefused_ = true;
            st = rt::FileStatus{};
            return viewScan(v, r, onRow, rows, st);
        }
        return rc;
    }
    for (;;) {
        int rc = ex.step();
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return failed(rc, st);
        if (int bad = decodeView(api, *vs, s, r.targets, st)) return bad;
        ++rows;
        onRow();
    }
    return setStatus(st, 0, 0, {});
}

int SqliteHandle::viewReget(const rt::View& v, const void* pkRecord,
                            const std::vector<void*>& targets, rt::FileStatus& st) {
    const rt::FileDef& pd = v.file(0)->def();
    auto build = [&](ViewStatement& e) {
        ViewSql q = viewSql(v);
        e.sql = q.select + q.from + whereByPrimary(pd, "t0.") + " LIMIT 1";
    };
    auto g = lock();
    const ViewStatement* vs = nullptr;
    if (int rc = viewStatement(v, {true, -1, true, rt::Bound::None, false}, build, vs, st))
        return rc;
    sqlite3_stmt* s = vs->stmt;
    Exec ex(s, vs->sql);
    bindPrimary(pd, s, 1, static_cast<const char*>(pkRecord), ex.trace());
    ex.run();
    int rc = ex.step();
    if (rc == SQLITE_DONE) return setStatus(st, RecordNotAvailable, 0, {});
    if (rc != SQLITE_ROW) return failed(rc, st);
    if (int bad = decodeView(*sqlite().api, *vs, s, targets, st)) return bad;
    return setStatus(st, 0, 0, {});
}

int SqliteHandle::viewCount(const rt::View& v, std::int64_t& rows, rt::FileStatus& st) {
    ViewSql q = viewSql(v, -1, rt::Compare::GreaterEqual, true);
    std::string sql = "SELECT COUNT(*)" + q.from;
    if (!q.where.empty()) sql += " WHERE " + q.where;
    auto g = lock();
    return filteredStep(v, sql, st, [&](sqlite3_stmt* s, int rc) {
        if (rc != SQLITE_ROW) return failed(rc, st);
        rows = sqlite().api->column_int64(s, 0);
        return setStatus(st, 0, 0, {});
    });
}

int SqliteHandle::viewExtreme(const rt::View& v, int field, bool max, rt::Value& value,
                              rt::FileStatus& st) {
    const rt::FileDef& pd = v.file(0)->def();
    if (field < 0 || field >= static_cast<int>(pd.fields.size()))
        return setStatus(st, FileSystemError, 0, "No such field");
    const rt::FieldDef& f = pd.fields[static_cast<std::size_t>(field)];
    // Ordering by the column and taking one row lets an index serve it.
    bool noCase = collateNoCase(v, 0, field);
    ViewSql q = viewSql(v, -1, rt::Compare::GreaterEqual, true);
    std::string col = std::string("t0.") + f.column;
    std::string sql = "SELECT " + col + q.from;
    std::string where = q.where;
    where += (where.empty() ? "" : " AND ") + col + " IS NOT NULL";
    sql += " WHERE " + where + " ORDER BY " + col + (noCase ? " COLLATE NOCASE" : "") +
           (max ? " DESC" : "") + " LIMIT 1";
    auto g = lock();
    return filteredStep(v, sql, st, [&](sqlite3_stmt* s, int rc) {
        if (rc == SQLITE_DONE) return setStatus(st, RecordNotAvailable, 0, {});
        if (rc != SQLITE_ROW) return failed(rc, st);
        value = decodeValue(s, 0, f);
        return setStatus(st, 0, 0, {});
    });
}

// Each amount is rounded to its hundredths before it is added, so the
// sum is exact whatever the doubles stored. SQLite's integer SUM fails
// on an overflow (amounts another program stored far beyond the field);
// then each count is summed again in two parts (the billions of
// hundredths and the rest), which no ledger can overflow, and put
// together here, saturating as every money value does. A sum that an
// amount beyond a 64-bit count of hundredths enters (one that reads as
// saturated) is saturated too, whatever the other rows bring: +1e300
// and -1e300 sum to no number, not to 0. No row gives NULL, read as 0.
constexpr std::int64_t kSumSplit = 1000000000;

int SqliteHandle::viewSum(const rt::View& v, const std::vector<int>& fields,
                          std::vector<rt::Money>& sums, rt::FileStatus& st) {
    const rt::FileDef& pd = v.file(0)->def();
    if (fields.empty()) return setStatus(st, FileSystemError, 0, "No field to sum");
    std::string cols, split;
    for (int field : fields) {
        if (field < 0 || field >= static_cast<int>(pd.fields.size()) ||
            pd.fields[static_cast<std::size_t>(field)].type != rt::FieldType::Decimal)
            return setStatus(st, FileSystemError, 0, "No such money field");
        const std::string& column = pd.fields[static_cast<std::size_t>(field)].column;
        const std::string cents = "CAST(ROUND(t0." + column + " * 100) AS INTEGER)";
        // the rows Money::fromDouble reads as saturated
        const std::string saturated = "MAX(ABS(t0." + column + " * 100) >= 9.2e18)";
        cols += std::string(cols.empty() ? "" : ", ") + "SUM(" + cents + "), " + saturated;
        const std::string by = std::to_string(kSumSplit);
        split += std::string(split.empty() ? "" : ", ") + "SUM(" + cents + " / " + by + "), SUM(" +
                 cents + " % " + by + "), " + saturated;
    }
    ViewSql q = viewSql(v, -1, rt::Compare::GreaterEqual, true);
    const std::string where = q.where.empty() ? "" : " WHERE " + q.where;
    auto g = lock();
    bool overflow = false;
    auto take = [&](bool parts) {
        return [&, parts](sqlite3_stmt* s, int rc) {
            if (rc == SQLITE_ERROR && !parts) {  // the integer overflow
                overflow = true;
                return 0;
            }
            if (rc != SQLITE_ROW) return failed(rc, st);
            sums.assign(fields.size(), rt::Money{});
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const int col = static_cast<int>(i) * (parts ? 3 : 2);
                if (!parts) {
                    sums[i].cents = sqlite().api->column_int64(s, col);
                } else {
                    const __int128 high = sqlite().api->column_int64(s, col);
                    const __int128 low = sqlite().api->column_int64(s, col + 1);
                    const __int128 total = high * kSumSplit + low;
                    constexpr __int128 kMax = rt::Money::Limit;
                    sums[i].cents = static_cast<std::int64_t>(std::clamp(total, -kMax, kMax));
                }
                if (sqlite().api->column_int64(s, col + (parts ? 2 : 1)) != 0)
                    sums[i].cents = sums[i].cents < 0 ? -rt::Money::Limit : rt::Money::Limit;
            }
            return setStatus(st, 0, 0, {});
        };
    };
    const int rc = filteredStep(v, "SELECT " + cols + q.from + where, st, take(false));
    if (!overflow) return rc;
    return filteredStep(v, "SELECT " + split + q.from + where, st, take(true));
}

}  // namespace storage::detail
