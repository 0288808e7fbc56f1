#include "core/storage/sql.h"

#include <algorithm>
#include <cctype>

namespace storage {

std::string columnType(const rt::FieldDef& f) {
    switch (f.type) {
        case rt::FieldType::Long:
            return "INTEGER";
        case rt::FieldType::Byte:
            return "TINYINT";
        case rt::FieldType::String:
            return "CHAR(" + std::to_string(f.size) + ")";
        case rt::FieldType::Decimal:
            // The digits follow from the packed size: two per byte, less the sign.
            return "NUMBER(" + std::to_string(f.size * 2 - 1) + "," + std::to_string(f.places) +
                   ")";
    }
    return "";
}

std::string indexName(const rt::KeyDef& key) {
    std::string s = key.label;
    for (char& c : s) {
        if (c == ':')
            c = '_';
        else
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string createTableSql(const rt::FileDef& def) {
    std::string s = "CREATE TABLE ";
    s += def.label;
    s += " (";
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        if (i) s += ",";
        s += def.fields[i].column;
        s += " ";
        s += columnType(def.fields[i]);
    }
    int pk = def.primaryKey();
    if (pk >= 0) {
        s += ", PRIMARY KEY(";
        const auto& kf = def.keys[static_cast<std::size_t>(pk)].fields;
        for (std::size_t i = 0; i < kf.size(); ++i) {
            if (i) s += ",";
            s += def.fields[static_cast<std::size_t>(kf[i])].column;
            s += " ";
        }
        s += ")";
    }
    s += ")";
    return s;
}

std::string createIndexSql(const rt::FileDef& def, const rt::KeyDef& key) {
    std::string s = "CREATE";
    if (key.unique) s += " UNIQUE";
    s += " INDEX ";
    s += indexName(key);
    s += " ON ";
    s += def.label;
    s += " (";
    for (std::size_t i = 0; i < key.fields.size(); ++i) {
        if (i) s += ",";
        s += def.fields[static_cast<std::size_t>(key.fields[i])].column;
        s += key.noCase ? " COLLATE NOCASE " : " ";
    }
    s += ")";
    return s;
}

std::vector<std::string> schemaSql(const rt::FileDef& def) {
    std::vector<std::string> out{createTableSql(def)};
    for (const rt::KeyDef& k : def.keys)
        if (!k.primary) out.push_back(createIndexSql(def, k));
    return out;
}

bool rowNumberIsPrimaryKey(const rt::FileDef& def) {
    const int pk = def.primaryKey();
    if (pk < 0) return false;
    const auto& fields = def.keys[static_cast<std::size_t>(pk)].fields;
    return fields.size() == 1 &&
           def.fields[static_cast<std::size_t>(fields[0])].type == rt::FieldType::Long;
}

std::vector<OrderTerm> orderTerms(const rt::FileDef& def, int key) {
    std::vector<OrderTerm> terms;
    const rt::KeyDef& k = def.keys[static_cast<std::size_t>(key)];
    for (int f : k.fields) terms.push_back({0, f, !k.primary && k.noCase});
    int pk = def.primaryKey();
    if (pk >= 0 && pk != key) {
        for (int f : def.keys[static_cast<std::size_t>(pk)].fields) {
            bool present = std::any_of(terms.begin(), terms.end(),
                                       [&](const OrderTerm& t) { return t.field == f; });
            if (!present) terms.push_back({0, f, false});
        }
    }
    return terms;
}

std::string columnList(const rt::FileDef& def, const std::string& alias) {
    std::string s;
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
        if (i) s += ",";
        if (!alias.empty()) s += alias + ".";
        s += def.fields[i].column;
    }
    return s;
}

OrderSql orderSql(const rt::FileDef& def, const rt::ScanRequest& r, const std::string& alias,
                  std::size_t skip) {
    OrderSql out;
    std::vector<OrderTerm> terms = orderTerms(def, r.key);
    std::string prefix = alias.empty() ? "" : alias + ".";
    const std::size_t keyTerms = def.keys[static_cast<std::size_t>(r.key)].fields.size();
    for (std::size_t i = 0; i < terms.size(); ++i) {
        if (i) out.orderBy += ", ";
        out.orderBy += prefix + def.fields[static_cast<std::size_t>(terms[i].field)].column;
        if (terms[i].noCase) out.orderBy += " COLLATE NOCASE";
        if (!r.forward) out.orderBy += " DESC";
        if (i + 1 == keyTerms) out.orderByKey = out.orderBy;
    }
    if (r.bound == rt::Bound::None) return out;
    std::size_t n =
        r.boundWithPrimary ? terms.size() : def.keys[static_cast<std::size_t>(r.key)].fields.size();
    if (skip >= n) skip = 0;
    out.boundTerms.assign(terms.begin() + static_cast<std::ptrdiff_t>(skip),
                          terms.begin() + static_cast<std::ptrdiff_t>(n));
    const char* op = r.forward ? (r.bound == rt::Bound::Inclusive ? ">=" : ">")
                               : (r.bound == rt::Bound::Inclusive ? "<=" : "<");
    // The COLLATE goes on the value side: the column stays bare, so the
    // index over it serves the range.
    auto column = [&](std::size_t i) {
        return prefix + def.fields[static_cast<std::size_t>(terms[i].field)].column;
    };
    auto value = [&](std::size_t i) { return terms[i].noCase ? "? COLLATE NOCASE" : "?"; };
    auto compare = [&](std::size_t end, const std::string& with) {
        std::string cols, vals;
        for (std::size_t i = skip; i < end; ++i) {
            cols += (i > skip ? ", " : "") + column(i);
            vals += std::string(i > skip ? ", " : "") + value(i);
        }
        if (end - skip == 1) return cols + " " + with + " " + vals;
        return "(" + cols + ") " + with + " (" + vals + ")";
    };
    const bool lastIsRowNumber =
        n - skip >= 2 && rowNumberIsPrimaryKey(def) &&
        terms[n - 1].field == def.keys[static_cast<std::size_t>(def.primaryKey())].fields[0];
    if (!lastIsRowNumber) {
        out.condition = compare(n, op);
        return out;
    }
    for (std::size_t i = skip; i + 1 < n; ++i)
        out.condition += column(i) + " = " + value(i) + " AND ";
    out.condition += column(n - 1) + " " + op + " " + value(n - 1);
    out.pastRun = compare(n - 1, r.forward ? ">" : "<");
    return out;
}

std::string orderedSelect(const std::string& selectFrom, const std::string& where,
                          const OrderSql& o, const std::string& orderBy) {
    auto read = [&](const std::string& bound) {
        std::string w = where;
        if (!bound.empty()) w += (w.empty() ? "" : " AND ") + bound;
        return selectFrom + (w.empty() ? "" : " WHERE " + w);
    };
    const std::string tail = " ORDER BY " + orderBy + " LIMIT ?";
    if (o.pastRun.empty()) return read(o.condition) + tail;
    // The compound's ORDER BY merges the two reads: each walks its index in
    // the order with the limit, and their rows go out as they are. (Each
    // read as a subquery with its own ORDER BY and LIMIT is a co-routine
    // whose every column is copied on, every text to the heap: a page of
    // thirty rows cost half as much again as one read.) Once the run's
    // rest fills the page, what follows it is sought once, for its first
    // row, and read no further.
    return read(o.condition) + " UNION ALL " + read(o.pastRun) + tail;
}

}  // namespace storage
