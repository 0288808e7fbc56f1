#pragma once
// The statements the storage issues, built from the file descriptors alone.
#include <string>
#include <vector>

#include "runtime/file/driver.h"
#include "runtime/file/file.h"

namespace storage {

// "INTEGER", "TINYINT", "CHAR(25)", "NUMBER(11,2)".
std::string columnType(const rt::FieldDef& field);
// "CLA:KeyM1_PRE" -> "CLA_KEYM1_PRE".
std::string indexName(const rt::KeyDef& key);
std::string createTableSql(const rt::FileDef& def);
std::string createIndexSql(const rt::FileDef& def, const rt::KeyDef& key);
// The CREATE TABLE statement, then one CREATE INDEX per non-primary key in
// key order.
std::vector<std::string> schemaSql(const rt::FileDef& def);

// A column term in a statement: the column (with its alias), and whether its
// comparisons and order carry COLLATE NOCASE.
struct OrderTerm {
    int file = 0;  // 0 the primary, then the joins (views)
    int field = 0;
    bool noCase = false;
};

// Whether the primary key is one INTEGER column: then it is the table's row
// number, in whose order every index holds the rows of equal keys.
bool rowNumberIsPrimaryKey(const rt::FileDef& def);

// The columns a key orders by: its own, then the primary key's that it
// lacks (the tie-breaker). A secondary case-insensitive key's terms carry
// COLLATE NOCASE; the primary key's use the column's own collation.
std::vector<OrderTerm> orderTerms(const rt::FileDef& def, int key);

// The parts of an ordered read: the bound condition (without WHERE) and
// the ORDER BY list; the bound's values are those of its terms, returned in
// boundTerms. The bound leaves out the first `skip` terms (fields that the
// caller knows every row shares with the bound record).
//
// SQLite seeks by a row value only over the index's own columns, not into
// the row number an index carries after them: (A, ID) > (?, ?) over a key
// on A with the INTEGER primary key ID breaking ties would seek to the run
// of equal A and step through it to the position. Such a bound is split in
// two reads of one statement (orderedSelect): the rest of the run
// (A = ? AND ID > ?, condition) and what follows it (A > ?, pastRun, over
// all of boundTerms but the last).
struct OrderSql {
    std::string condition;
    std::string pastRun;  // empty: the bound is the one condition
    std::string orderBy;
    std::string orderByKey;  // the key's own terms alone (ties left unordered)
    std::vector<OrderTerm> boundTerms;
    // The bound's values each read binds, in its order: 1 or 2 reads.
    std::vector<std::size_t> readTerms() const {
        if (pastRun.empty()) return {boundTerms.size()};
        return {boundTerms.size(), boundTerms.size() - 1};
    }
};
OrderSql orderSql(const rt::FileDef& def, const rt::ScanRequest& request, const std::string& alias,
                  std::size_t skip = 0);

// The ordered read "selectFrom WHERE where AND bound ORDER BY orderBy LIMIT ?"
// (where may be empty). With a pastRun condition it is the two reads in one
// UNION ALL ordered by orderBy, whose terms are therefore columns that
// selectFrom selects. Each read binds the caller's values of where, then
// its bound's values (readTerms); the limit follows them, once.
std::string orderedSelect(const std::string& selectFrom, const std::string& where,
                          const OrderSql& order, const std::string& orderBy);

// The column list "A,B,C" (with "alias." when given).
std::string columnList(const rt::FileDef& def, const std::string& alias = {});

}  // namespace storage
