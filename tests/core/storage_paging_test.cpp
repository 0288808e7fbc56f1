// Views read page after page: every row that passes comes exactly once and
// in key order (the primary key breaking ties), whatever the page size, the
// direction, the filter, the ranges or where a read was positioned; and a
// continuation seeks to where the last page ended without sorting.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <mutex>
#include <regex>
#include <tuple>

#include "storage_fixture.h"

using namespace storagetest;

namespace {

// Lines of a club: the primary key (federation, club, document, line) is
// not part of the order keys, so ties in them are broken by columns their
// index lacks.
struct Line {
    std::int32_t L_SPS = 0;
    std::int32_t L_SIP = 0;
    std::int32_t L_BRJ = 0;
    std::int32_t L_RED = 0;
    std::int32_t L_SIF = 0;
    std::int32_t L_DAT = 0;
    rt::Text<6> L_NAM;
};

const rt::FileDef& lineDef() {
    static const rt::FileDef def{
        "LINIJE",
        "LIN",
        &owner,
        true,
        {RT_FIELD(Line, L_SPS, "LIN:L_SPS", "@n_2"), RT_FIELD(Line, L_SIP, "LIN:L_SIP", "@n_3"),
         RT_FIELD(Line, L_BRJ, "LIN:L_BRJ", "@n_8"), RT_FIELD(Line, L_RED, "LIN:L_RED", "@n_8"),
         RT_FIELD(Line, L_SIF, "LIN:L_SIF", "@n_6"), RT_FIELD(Line, L_DAT, "LIN:L_DAT", "@d6."),
         RT_FIELD(Line, L_NAM, "LIN:L_NAM", "@s6")},
        {{"LIN:KeyPK", "KeyPK", {0, 1, 2, 3}, true, true, true, false, false},
         {"LIN:KeySIF", "KeySIF", {0, 1, 4, 5}, false, false, true, true, false},
         {"LIN:KeyNAM", "KeyNAM", {6, 4}, false, false, true, true, false},
         {"LIN:KeyDAT", "KeyDAT", {5}, false, false, true, true, false}},
        sizeof(Line)};
    return def;
}

enum Key { ByPrimary = 0, BySif = 1, ByName = 2, ByDate = 3 };

int foldCompare(const std::string& a, const std::string& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

class PagingTest : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        ASSERT_EQ(openOrCreate(lines), 0);
        // Written out of key order, so that the table's own row order
        // follows neither the keys nor the primary key.
        const char* names[] = {"ana", "Ana", "ANA", "bob", "Bob", "cid"};
        std::vector<Line> all;
        for (int sps = 1; sps <= 2; ++sps)
            for (int sip = 1; sip <= 3; ++sip)
                for (int brj = 1; brj <= 4; ++brj)
                    for (int red = 1; red <= 10; ++red) {
                        Line x;
                        x.L_SPS = sps;
                        x.L_SIP = sip;
                        x.L_BRJ = brj;
                        x.L_RED = red;
                        x.L_SIF = (brj * 7 + red * 3) % 5 + 1;  // a handful of members
                        x.L_DAT = 100 + (red * 13 + brj) % 4;   // and of days
                        x.L_NAM = names[(brj + red * 5) % 6];
                        all.push_back(x);
                    }
        for (std::size_t i = 0; i < all.size(); ++i) {
            l = all[(i * 97) % all.size()];
            ASSERT_EQ(lines.add(), 0);
            rows.push_back(l);
        }
    }

    static std::int32_t id(const Line& x) {
        return x.L_SPS * 100000 + x.L_SIP * 10000 + x.L_BRJ * 100 + x.L_RED;
    }
    template <class T>
    static int three(const T& x, const T& y) {
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    // -1, 0, 1 as the key's own fields order a and b.
    static int compareKey(const Line& a, const Line& b, int key) {
        int c = 0;
        switch (key) {
            case BySif:
                c = three(std::tuple(a.L_SPS, a.L_SIP, a.L_SIF, a.L_DAT),
                          std::tuple(b.L_SPS, b.L_SIP, b.L_SIF, b.L_DAT));
                break;
            case ByName:
                c = foldCompare(a.L_NAM.str(), b.L_NAM.str());
                if (c == 0) c = three(a.L_SIF, b.L_SIF);
                break;
            case ByDate:
                c = three(a.L_DAT, b.L_DAT);
                break;
            default:
                break;
        }
        return c;
    }
    // The same with the primary key breaking ties.
    static int compare(const Line& a, const Line& b, int key) {
        auto pk = [](const Line& x) { return std::tuple(x.L_SPS, x.L_SIP, x.L_BRJ, x.L_RED); };
        const int c = compareKey(a, b, key);
        return c != 0 ? c : three(pk(a), pk(b));
    }
    // The rows that pass, in key order (descending when backward).
    std::vector<std::int32_t> expect(int key, const std::function<bool(const Line&)>& pass,
                                     bool forward) const {
        std::vector<Line> got;
        for (const Line& x : rows)
            if (pass(x)) got.push_back(x);
        std::sort(got.begin(), got.end(),
                  [&](const Line& a, const Line& b) { return compare(a, b, key) < 0; });
        if (!forward) std::reverse(got.begin(), got.end());
        std::vector<std::int32_t> out;
        for (const Line& x : got) out.push_back(id(x));
        return out;
    }

    Line l;
    rt::FileStructure lines{lineDef(), &l};
    std::vector<Line> rows;
};

// Pages of `size` rows until one comes short; the ids in the order read.
std::vector<std::int32_t> readPages(rt::View& v, Line& l, int size, bool forward) {
    std::vector<std::int32_t> got;
    for (int pages = 0; pages < 1000; ++pages) {
        int n = 0;
        EXPECT_EQ(
            v.page(
                size, forward,
                [&] {
                    got.push_back(l.L_SPS * 100000 + l.L_SIP * 10000 + l.L_BRJ * 100 + l.L_RED);
                },
                &n),
            0)
            << v.status().fileError;
        if (n < size) break;
    }
    return got;
}

// What a view in that order reads besides the primary key's fields: the
// order key's and the name (projected).
std::string keyAndName(const Line& x, int key) {
    std::string s = x.L_NAM.str();
    for (std::int32_t f : key == BySif    ? std::vector{x.L_SPS, x.L_SIP, x.L_SIF, x.L_DAT}
                          : key == ByName ? std::vector{x.L_SIF}
                          : key == ByDate ? std::vector{x.L_DAT}
                                          : std::vector{x.L_SPS, x.L_SIP, x.L_BRJ, x.L_RED})
        s += "/" + std::to_string(f);
    return s;
}

// The same read on from the last row only (rt::View::readOnFromLastRowOnly,
// a report): per row what the view reads besides the position's own fields,
// and the id of each page's last row.
void readPagesOnFromLast(rt::View& v, Line& l, int key, int size, bool forward,
                         std::vector<std::string>& seen, std::vector<std::int32_t>& lastIds) {
    for (int pages = 0; pages < 1000; ++pages) {
        int n = 0;
        EXPECT_EQ(v.page(
                      size, forward, [&] { seen.push_back(keyAndName(l, key)); }, &n),
                  0)
            << v.status().fileError;
        if (n > 0) lastIds.push_back(l.L_SPS * 100000 + l.L_SIP * 10000 + l.L_BRJ * 100 + l.L_RED);
        if (n < size) break;
    }
}

}  // namespace

// Every order, both directions, page sizes that end pages inside runs of
// equal keys, with the filter's equalities before the key's free fields,
// its range on the first free one, a range limit, and none.
TEST_F(PagingTest, PagesNeitherSkipNorRepeatRows) {
    std::int32_t sps = 2, sip = 3, lo = 2, hi = 4;
    std::string name = "ana";
    rt::bind("S", &sps);
    rt::bind("P", &sip);
    rt::bind("LO", &lo);
    rt::bind("HI", &hi);
    rt::bind("N", [&] { return rt::Value{name}; });
    using Pass = std::function<bool(const Line&)>;
    const Pass club = [&](const Line& x) { return x.L_SPS == sps && x.L_SIP == sip; };
    struct Case {
        const char* what;
        int key;
        const char* filter;
        Pass pass;
        bool dayRange = false;  // a range limit: days 101 to 102
    } cases[] = {
        {"the whole file by member", BySif, "", [](const Line&) { return true; }},
        {"a club by member", BySif, "LIN:L_SPS = S AND LIN:L_SIP = P", club},
        {"a club's members in a range", BySif,
         "LIN:L_SPS = S AND LIN:L_SIP = P AND LIN:L_SIF => LO AND LIN:L_SIF <= HI",
         [&](const Line& x) { return club(x) && x.L_SIF >= lo && x.L_SIF <= hi; }},
        {"a federation by member", BySif, "LIN:L_SPS = S",
         [&](const Line& x) { return x.L_SPS == sps; }},
        {"a club by member, days limited", BySif, "LIN:L_SPS = S AND LIN:L_SIP = P",
         [&](const Line& x) { return club(x) && x.L_DAT >= 101 && x.L_DAT <= 102; }, true},
        {"by day, days limited", ByDate, "",
         [](const Line& x) { return x.L_DAT >= 101 && x.L_DAT <= 102; }, true},
        {"a name in any case", ByName, "LIN:L_NAM = N",
         [](const Line& x) { return foldCompare(x.L_NAM.str(), "ana") == 0; }},
        {"by name, a club", ByName, "LIN:L_SPS = S AND LIN:L_SIP = P", club},
        {"by the primary key, a club", ByPrimary, "LIN:L_SPS = S AND LIN:L_SIP = P", club},
    };
    for (const Case& c : cases) {
        rt::View v(lines);
        v.project(lines, "LIN:L_NAM");
        v.setOrder(c.key);
        v.setFilter(c.filter);
        if (c.dayRange) {
            v.addRange(lines.field(5), rt::Compare::GreaterEqual,
                       [] { return rt::Value{std::int64_t{101}}; });
            v.addRange(lines.field(5), rt::Compare::LessEqual,
                       [] { return rt::Value{std::int64_t{102}}; });
        }
        ASSERT_EQ(v.open(), 0) << c.what << ": " << v.status().fileError;
        for (bool forward : {true, false}) {
            const std::vector<std::int32_t> want = expect(c.key, c.pass, forward);
            ASSERT_FALSE(want.empty()) << c.what;
            for (int size : {1, 3, 7, 40}) {
                SCOPED_TRACE(std::string(c.what) + (forward ? ", forward" : ", backward") +
                             ", pages of " + std::to_string(size));
                ASSERT_EQ(v.set(forward ? rt::SetFrom::Start : rt::SetFrom::End), 0);
                EXPECT_EQ(readPages(v, l, size, forward), want);
                // Read on from the last row only, the same rows come, and each
                // page's last row holds its whole position (pages of 1: every
                // row, ties in their order).
                std::vector<std::string> seen, seenWant;
                std::vector<std::int32_t> lastIds, lastWant;
                for (std::size_t k = 0; k < want.size(); ++k) {
                    const Line& x = *std::find_if(rows.begin(), rows.end(),
                                                  [&](const Line& y) { return id(y) == want[k]; });
                    seenWant.push_back(keyAndName(x, c.key));
                    if ((k + 1) % static_cast<std::size_t>(size) == 0 || k + 1 == want.size())
                        lastWant.push_back(want[k]);
                }
                v.readOnFromLastRowOnly(true);
                ASSERT_EQ(v.set(forward ? rt::SetFrom::Start : rt::SetFrom::End), 0);
                readPagesOnFromLast(v, l, c.key, size, forward, seen, lastIds);
                v.readOnFromLastRowOnly(false);
                EXPECT_EQ(seen, seenWant);
                EXPECT_EQ(lastIds, lastWant);
            }
            // Turning back after some pages gives the rows before the last one
            // read, nearest first.
            SCOPED_TRACE(std::string(c.what) + (forward ? ", forward" : ", backward") +
                         ", turning back");
            ASSERT_EQ(v.set(forward ? rt::SetFrom::Start : rt::SetFrom::End), 0);
            std::vector<std::int32_t> got;
            const int first = static_cast<int>(std::min<std::size_t>(want.size(), 8));
            ASSERT_EQ(v.page(first, forward, [&] { got.push_back(id(l)); }), 0);
            got.clear();
            ASSERT_EQ(v.page(first, !forward, [&] { got.push_back(id(l)); }), 0);
            std::vector<std::int32_t> back(want.begin(), want.begin() + (first - 1));
            std::reverse(back.begin(), back.end());
            EXPECT_EQ(got, back);
        }
    }
    rt::unbindAll();
}

// A table without row numbers (WITHOUT ROWID: another program's making) is
// read whole when only the last row's position is wanted: the same rows,
// each page's last row with its whole position.
TEST_F(PagingTest, ATableWithoutRowNumbersIsReadWhole) {
    {
        RawDb raw(databasePath());
        const auto table = raw.query("SELECT sql FROM sqlite_master WHERE name = 'LINIJE'");
        const auto indexes = raw.query(
            "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'LINIJE' "
            "AND sql IS NOT NULL");
        ASSERT_EQ(table.size(), 1u);
        for (const auto& ix : indexes) ASSERT_EQ(raw.exec("DROP INDEX " + ix[0]), SQLITE_OK);
        ASSERT_EQ(raw.exec("ALTER TABLE LINIJE RENAME TO OLD"), SQLITE_OK);
        ASSERT_EQ(raw.exec(table[0][0] + " WITHOUT ROWID"), SQLITE_OK);
        ASSERT_EQ(raw.exec("INSERT INTO LINIJE SELECT * FROM OLD; DROP TABLE OLD"), SQLITE_OK);
        for (const auto& ix : indexes) ASSERT_EQ(raw.exec(ix[1]), SQLITE_OK);
    }
    const std::vector<std::int32_t> want = expect(
        BySif, [](const Line&) { return true; }, true);
    // On the connection open since before the change (the statement fails
    // at its first step), and on a new one (it fails to prepare).
    for (const bool fresh : {false, true}) {
        if (fresh) {
            lines.close();
            storage::closeAllConnections();
            ASSERT_EQ(lines.open(), 0);
        }
        rt::View v(lines);
        v.project(lines, "LIN:L_NAM");
        v.setOrder(BySif);
        v.readOnFromLastRowOnly(true);
        ASSERT_EQ(v.open(), 0) << v.status().fileError;
        for (int size : {1, 7}) {
            SCOPED_TRACE(std::string(fresh ? "a new connection" : "the open connection") +
                         ", pages of " + std::to_string(size));
            std::vector<std::string> seen, seenWant;
            std::vector<std::int32_t> lastIds, lastWant;
            for (std::size_t k = 0; k < want.size(); ++k) {
                const Line& x = *std::find_if(rows.begin(), rows.end(),
                                              [&](const Line& y) { return id(y) == want[k]; });
                seenWant.push_back(keyAndName(x, BySif));
                if ((k + 1) % static_cast<std::size_t>(size) == 0 || k + 1 == want.size())
                    lastWant.push_back(want[k]);
            }
            ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
            readPagesOnFromLast(v, l, BySif, size, true, seen, lastIds);
            EXPECT_EQ(seen, seenWant);
            EXPECT_EQ(lastIds, lastWant);
        }
    }
}

// A read positioned at key values (a locator) starts at the first row at or
// after them (forward) or the last at or before them, also when those values
// lie outside what the filter lets pass, or equal it only without regard to
// case; the pages after it go on from there.
TEST_F(PagingTest, PositionedReadsAndTheirPagesFollowTheKey) {
    std::int32_t sps = 1, sip = 2;
    std::string name = "ana";
    rt::bind("S", &sps);
    rt::bind("P", &sip);
    rt::bind("N", [&] { return rt::Value{name}; });
    struct Case {
        const char* what;
        int key;
        const char* filter;
        Line at;
        std::function<bool(const Line&)> pass;
    } cases[] = {
        {"a member inside the club", BySif, "LIN:L_SPS = S AND LIN:L_SIP = P",
         Line{1, 2, 0, 0, 3, 102, {}}, [](const Line& x) { return x.L_SPS == 1 && x.L_SIP == 2; }},
        {"a club before the filter's", BySif, "LIN:L_SPS = S AND LIN:L_SIP = P",
         Line{1, 1, 0, 0, 4, 100, {}}, [](const Line& x) { return x.L_SPS == 1 && x.L_SIP == 2; }},
        {"a club after the filter's", BySif, "LIN:L_SPS = S AND LIN:L_SIP = P",
         Line{1, 3, 0, 0, 1, 100, {}}, [](const Line& x) { return x.L_SPS == 1 && x.L_SIP == 2; }},
        {"the name in another case", ByName, "LIN:L_NAM = N", Line{0, 0, 0, 0, 3, 0, {"ANA"}},
         [](const Line& x) { return foldCompare(x.L_NAM.str(), "ana") == 0; }},
        {"the name as filtered", ByName, "LIN:L_NAM = N", Line{0, 0, 0, 0, 3, 0, {"ana"}},
         [](const Line& x) { return foldCompare(x.L_NAM.str(), "ana") == 0; }},
    };
    for (const Case& c : cases) {
        rt::View v(lines);
        v.project(lines, "LIN:L_NAM");
        v.setOrder(c.key);
        v.setFilter(c.filter);
        ASSERT_EQ(v.open(), 0) << c.what << ": " << v.status().fileError;
        for (bool forward : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (forward ? ", forward" : ", backward"));
            // The position compares the key's fields only: a row equal to it
            // in the key counts.
            auto pass = [&](const Line& x) {
                const int cmp = compareKey(x, c.at, c.key);
                return c.pass(x) && (forward ? cmp >= 0 : cmp <= 0);
            };
            const std::vector<std::int32_t> want = expect(c.key, pass, forward);
            l = c.at;
            ASSERT_EQ(v.set(rt::SetFrom::Buffer), 0);
            EXPECT_EQ(readPages(v, l, 4, forward), want);
        }
    }
    rt::unbindAll();
}

// The next page of a filtered view seeks in the order key's index to where
// the last one ended, past the filter's equalities, in both directions: the
// filter's own range on the same field does not take its place. (Reading
// from the start of the filter's range every page makes a long report
// quadratic.)
TEST_F(PagingTest, AContinuationSeeksByTheRowValue) {
    std::int32_t sps = 2, sip = 3, lo = 1, hi = 5;
    rt::bind("S", &sps);
    rt::bind("P", &sip);
    rt::bind("LO", &lo);
    rt::bind("HI", &hi);
    std::mutex lock;
    std::vector<std::string> sql;
    storage::setTrace([&](const std::string& s, const std::vector<std::string>&) {
        std::lock_guard<std::mutex> g(lock);
        sql.push_back(s);
    });
    rt::View v(lines);
    v.project(lines, "LIN:L_NAM");
    v.setOrder(BySif);
    v.setFilter("LIN:L_SPS = S AND LIN:L_SIP = P AND LIN:L_SIF => LO AND LIN:L_SIF <= HI");
    ASSERT_EQ(v.open(), 0) << v.status().fileError;
    RawDb raw(databasePath());
    ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
    for (bool forward : {true, false}) {
        ASSERT_EQ(v.page(5, true, {}), 0);
        ASSERT_EQ(v.page(5, forward, {}), 0);
        std::string last;
        {
            std::lock_guard<std::mutex> g(lock);
            ASSERT_FALSE(sql.empty());
            last = sql.back();
        }
        std::string p;
        for (auto& row : raw.query("EXPLAIN QUERY PLAN " + last)) p += row.back() + "; ";
        EXPECT_NE(p.find("USING INDEX LIN_KEYSIF (L_SPS=? AND L_SIP=? AND "), std::string::npos)
            << last << "\n"
            << p;
        EXPECT_NE(p.find(forward ? "(L_SIF,L_DAT)>(?,?)" : "(L_SIF,L_DAT)<(?,?)"),
                  std::string::npos)
            << last << "\n"
            << p;
        // Nothing is sorted: the ties in the key come in the primary key's
        // order all the same (the table above).
        EXPECT_EQ(p.find("TEMP B-TREE"), std::string::npos) << p;
    }
    storage::setTrace({});
    rt::unbindAll();
}

// A count (and an extreme) leaves out the outer joins that can neither drop
// nor repeat a row, and keeps those that can or that the filter compares
// with: it counts what the view's statement gives.
TEST_F(PagingTest, CountsLeaveOutOnlyJoinsThatCannotChangeTheRows) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    for (int code = 1; code <= 2; ++code) {  // club 3 has no row
        c = Club{};
        c.P1_SIP = code;
        c.P1_NPD = code == 1 ? "Prvi" : "Drugi";
        ASSERT_EQ(clubs.add(), 0);
    }
    Line other;
    rt::FileStructure sameDay(lineDef(), &other);  // every line of that day: many rows
    ASSERT_EQ(sameDay.open(), 0);
    std::mutex lock;
    std::string lastSql;
    storage::setTrace([&](const std::string& s, const std::vector<std::string>&) {
        std::lock_guard<std::mutex> g(lock);
        lastSql = s;
    });
    struct Case {
        const char* what;
        bool dayJoin;
        const char* filter;
        const char* countHas;
        const char* countLacks;
        std::int64_t rows;
    } cases[] = {
        {"a club's name, looked up by its code", false, "LIN:L_SPS = 1", nullptr, "PLAND", 120},
        // Club 3 has no row, so no date of foundation to compare.
        {"filtered by the club's date of foundation", false, "LIN:L_SPS = 1 AND PLA:P1_DAR = 0",
         "PLAND", nullptr, 80},
        // Each line of federation 1 once for every line of its day (60 a day).
        {"joined by a key with duplicates", true, "LIN:L_SPS = 1", "LINIJE t2", "PLAND", 120 * 60},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        rt::View v(lines);
        v.join(clubs, 0, {lines.field(1)});
        v.project(clubs, "PLA:P1_NPD");
        if (k.dayJoin) {
            v.join(sameDay, ByDate, {lines.field(5)});
            v.project(sameDay, "LIN:L_RED");
        }
        v.setOrder(BySif);
        v.setFilter(k.filter);
        ASSERT_EQ(v.open(), 0) << v.status().fileError;
        std::int64_t counted = -1;
        ASSERT_EQ(v.count(counted), 0) << v.status().fileError;
        EXPECT_EQ(counted, k.rows);
        std::string sql;
        {
            std::lock_guard<std::mutex> g(lock);
            sql = lastSql;
        }
        if (k.countHas) {
            EXPECT_NE(sql.find(k.countHas), std::string::npos) << sql;
        }
        if (k.countLacks) {
            EXPECT_EQ(sql.find(k.countLacks), std::string::npos) << sql;
        }
        rt::Value low;
        ASSERT_EQ(v.min(5, low), 0);
        EXPECT_EQ(std::get<std::int64_t>(low), 100);
    }
    storage::setTrace({});
}

namespace {

// Members numbered by an INTEGER primary key (the row's number), in long
// runs of equal surnames (in any letter case) and of equal clubs.
struct Climber {
    std::int32_t M_SIF = 0;
    std::int32_t M_SPS = 0;
    rt::Text<6> M_PRE;
};

const rt::FileDef& climberDef() {
    static const rt::FileDef def{
        "MEMBERS",
        "MEM",
        &owner,
        true,
        {RT_FIELD(Climber, M_SIF, "MEM:M_SIF", "@n_6"),
         RT_FIELD(Climber, M_SPS, "MEM:M_SPS", "@n_2"),
         RT_FIELD(Climber, M_PRE, "MEM:M_PRE", "@s6")},
        {{"MEM:KeySIF", "KeySIF", {0}, true, true, true, false, true},
         {"MEM:KeyPRE", "KeyPRE", {2}, false, false, true, false, false},
         {"MEM:KeySPS", "KeySPS", {1}, false, false, true, false, false},
         {"MEM:KeyClub", "KeyClub", {1, 0}, false, false, true, false, false}},
        sizeof(Climber)};
    return def;
}

enum MemberKey { BySurname = 1, ByClub = 2, ByClubAndNumber = 3 };

class RunPagingTest : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        ASSERT_EQ(openOrCreate(members), 0);
        // Written out of number order; most members share one surname.
        const char* names[] = {"ana", "Ana", "ANA", "ana", "ana", "bob", "ana", "Cid"};
        ASSERT_EQ(members.begin(), 0);
        for (int i = 0; i < 300; ++i) {
            m.M_SIF = (i * 7) % 300 + 1;
            m.M_SPS = m.M_SIF % 5 == 0 ? 2 : 1;
            m.M_PRE = names[(m.M_SIF * 3) % 8];
            ASSERT_EQ(members.add(), 0);
            rows.push_back(m);
        }
        ASSERT_EQ(members.commit(), 0);
    }

    // The numbers of the members that pass, in the order's key, numbers
    // breaking ties (descending when backward).
    std::vector<std::int32_t> expect(int key, const std::function<bool(const Climber&)>& pass,
                                     bool forward) const {
        std::vector<Climber> got;
        for (const Climber& x : rows)
            if (pass(x)) got.push_back(x);
        std::sort(got.begin(), got.end(), [&](const Climber& a, const Climber& b) {
            const int c = key == BySurname ? foldCompare(a.M_PRE.str(), b.M_PRE.str())
                                           : (a.M_SPS > b.M_SPS) - (a.M_SPS < b.M_SPS);
            return c != 0 ? c < 0 : a.M_SIF < b.M_SIF;
        });
        if (!forward) std::reverse(got.begin(), got.end());
        std::vector<std::int32_t> out;
        for (const Climber& x : got) out.push_back(x.M_SIF);
        return out;
    }
    std::vector<std::int32_t> pages(rt::View& v, int size, bool forward) {
        std::vector<std::int32_t> got;
        for (int n = size; n == size && got.size() <= rows.size();) {
            EXPECT_EQ(v.page(
                          size, forward, [&] { got.push_back(m.M_SIF); }, &n),
                      0)
                << v.status().fileError;
        }
        return got;
    }

    Climber m;
    rt::FileStructure members{climberDef(), &m};
    std::vector<Climber> rows;
};

}  // namespace

// Pages that start and end deep inside runs of equal keys, whose ties the
// row's number breaks, and across a run's end: every member once, in order,
// both ways, with and without a filter, from an end and from a position
// inside a run.
TEST_F(RunPagingTest, PagesThroughLongRunsOfEqualKeys) {
    std::int32_t club = 1;
    rt::bind("S", &club);
    struct Case {
        const char* what;
        int key;
        const char* filter;
        std::function<bool(const Climber&)> pass;
    } cases[] = {
        {"by surname", BySurname, "", [](const Climber&) { return true; }},
        {"by surname, one club", BySurname, "MEM:M_SPS = S",
         [](const Climber& x) { return x.M_SPS == 1; }},
        {"by club", ByClub, "", [](const Climber&) { return true; }},
        {"by club and number", ByClubAndNumber, "", [](const Climber&) { return true; }},
    };
    for (const Case& c : cases) {
        rt::View v(members);
        v.project(members, "MEM:M_PRE");
        v.setOrder(c.key);
        v.setFilter(c.filter);
        ASSERT_EQ(v.open(), 0) << c.what << ": " << v.status().fileError;
        for (bool forward : {true, false}) {
            const std::vector<std::int32_t> want = expect(c.key, c.pass, forward);
            for (int size : {1, 7, 40}) {
                SCOPED_TRACE(std::string(c.what) + (forward ? ", forward" : ", backward") +
                             ", pages of " + std::to_string(size));
                ASSERT_EQ(v.set(forward ? rt::SetFrom::Start : rt::SetFrom::End), 0);
                EXPECT_EQ(pages(v, size, forward), want);
            }
            // From the middle of the first run: the members at or after it
            // in the key (its own fields only; the number is the club-and-
            // number key's own last field).
            SCOPED_TRACE(std::string(c.what) + (forward ? ", forward" : ", backward") +
                         ", from a position");
            const std::int32_t at = want[want.size() / 4];
            m = *std::find_if(rows.begin(), rows.end(),
                              [&](const Climber& x) { return x.M_SIF == at; });
            const Climber pos = m;
            auto onOrAfter = [&](const Climber& x) {
                int cmp = c.key == BySurname ? foldCompare(x.M_PRE.str(), pos.M_PRE.str())
                                             : (x.M_SPS > pos.M_SPS) - (x.M_SPS < pos.M_SPS);
                if (cmp == 0 && c.key == ByClubAndNumber)
                    cmp = (x.M_SIF > pos.M_SIF) - (x.M_SIF < pos.M_SIF);
                return c.pass(x) && (forward ? cmp >= 0 : cmp <= 0);
            };
            ASSERT_EQ(v.set(rt::SetFrom::Buffer), 0);
            EXPECT_EQ(pages(v, 7, forward), expect(c.key, onOrAfter, forward));
            // As a list goes on from a row it shows: beside the row's key
            // values and number (a page down or up), and at the row itself
            // by its position (the row first going forward, the rows before
            // it going back).
            auto past = [&](bool orAt) {
                return [&, orAt](const Climber& x) {
                    int cmp = c.key == BySurname ? foldCompare(x.M_PRE.str(), pos.M_PRE.str())
                                                 : (x.M_SPS > pos.M_SPS) - (x.M_SPS < pos.M_SPS);
                    if (cmp == 0) cmp = (x.M_SIF > pos.M_SIF) - (x.M_SIF < pos.M_SIF);
                    if (!forward) cmp = -cmp;
                    return c.pass(x) && (cmp > 0 || (orAt && cmp == 0));
                };
            };
            ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
            rt::Position kept;
            for (int n = 40; n == 40 && kept.empty();)
                ASSERT_EQ(v.page(
                              40, true,
                              [&] {
                                  if (m.M_SIF == pos.M_SIF) kept = v.position();
                              },
                              &n),
                          0);
            ASSERT_FALSE(kept.empty());
            for (int size : {1, 7, 40}) {
                SCOPED_TRACE("pages of " + std::to_string(size) + " beside the row");
                ASSERT_EQ(v.setBeside(&pos), 0);
                EXPECT_EQ(pages(v, size, forward), expect(c.key, past(false), forward));
                SCOPED_TRACE("at the row's position");
                ASSERT_EQ(v.setAt(kept), 0);
                EXPECT_EQ(pages(v, size, forward), expect(c.key, past(forward), forward));
            }
        }
    }
    rt::unbindAll();
}

// The file's own reads in key order (next, previous; read ahead in batches)
// go through the same runs: from the start and from a row's key values,
// both ways, every member once, in order.
TEST_F(RunPagingTest, FileReadsThroughLongRunsOfEqualKeys) {
    for (int key : {BySurname, ByClub, ByClubAndNumber}) {
        for (bool forward : {true, false}) {
            SCOPED_TRACE("key " + std::to_string(key) + (forward ? ", forward" : ", backward"));
            const auto all = [](const Climber&) { return true; };
            ASSERT_EQ(members.set(key, forward ? rt::SetFrom::Start : rt::SetFrom::End), 0);
            std::vector<std::int32_t> got;
            while ((forward ? members.next() : members.previous()) == 0) got.push_back(m.M_SIF);
            EXPECT_EQ(got, expect(key, all, forward));
            // From the key values of a member deep in the first run.
            const std::vector<std::int32_t> order = expect(key, all, forward);
            const Climber pos = *std::find_if(rows.begin(), rows.end(), [&](const Climber& x) {
                return x.M_SIF == order[order.size() / 4];
            });
            m = pos;
            ASSERT_EQ(members.set(key), 0);
            got.clear();
            while ((forward ? members.next() : members.previous()) == 0) got.push_back(m.M_SIF);
            const auto onOrAfter = [&](const Climber& x) {
                int cmp = key == BySurname ? foldCompare(x.M_PRE.str(), pos.M_PRE.str())
                                           : (x.M_SPS > pos.M_SPS) - (x.M_SPS < pos.M_SPS);
                if (cmp == 0 && key == ByClubAndNumber)
                    cmp = (x.M_SIF > pos.M_SIF) - (x.M_SIF < pos.M_SIF);
                return forward ? cmp >= 0 : cmp <= 0;
            };
            EXPECT_EQ(got, expect(key, onOrAfter, forward));
        }
    }
}

// A page that goes on inside a run of equal keys seeks to the position by
// the whole key, the row's number included, and after the run by the key:
// the cost of a page does not grow with how deep in the run it starts.
TEST_F(RunPagingTest, AContinuationInsideARunSeeksByTheWholeKey) {
    std::mutex lock;
    std::vector<std::string> sql;
    storage::setTrace([&](const std::string& s, const std::vector<std::string>&) {
        std::lock_guard<std::mutex> g(lock);
        sql.push_back(s);
    });
    RawDb raw(databasePath());
    // The number sought as the row's number, or as a column of an index
    // that holds it.
    struct Case {
        int key;
        const char* inRun;
        const char* pastRun;
    } cases[] = {
        {BySurname, R"(\(M_PRE=\? AND (rowid|M_SIF)%c\?\))", R"(\(M_PRE%c\?\))"},
        {ByClub, R"(\(M_SPS=\? AND (rowid|M_SIF)%c\?\))", R"(\(M_SPS%c\?\))"},
        {ByClubAndNumber, R"(\(M_SPS=\? AND (rowid|M_SIF)%c\?\))", R"(\(M_SPS%c\?\))"},
    };
    for (const Case& c : cases) {
        rt::View v(members);
        v.project(members, "MEM:M_PRE");
        v.setOrder(c.key);
        ASSERT_EQ(v.open(), 0) << v.status().fileError;
        for (bool forward : {true, false}) {
            ASSERT_EQ(v.set(forward ? rt::SetFrom::Start : rt::SetFrom::End), 0);
            ASSERT_EQ(v.page(30, forward, {}), 0);
            ASSERT_EQ(v.page(30, forward, {}), 0);
            std::string last;
            {
                std::lock_guard<std::mutex> g(lock);
                ASSERT_FALSE(sql.empty());
                last = sql.back();
            }
            std::string p;
            for (auto& row : raw.query("EXPLAIN QUERY PLAN " + last)) p += row.back() + "; ";
            char inRun[64], pastRun[64];
            std::snprintf(inRun, sizeof inRun, c.inRun, forward ? '>' : '<');
            std::snprintf(pastRun, sizeof pastRun, c.pastRun, forward ? '>' : '<');
            SCOPED_TRACE(last + "\n" + p);
            EXPECT_TRUE(std::regex_search(p, std::regex(inRun)));
            EXPECT_TRUE(std::regex_search(p, std::regex(pastRun)));
            // Both reads hand their rows on as they are: a subquery's rows
            // are copied, every text to the heap.
            EXPECT_EQ(p.find("CO-ROUTINE"), std::string::npos);
            EXPECT_EQ(storagetest::unboundedBecause(raw, last), "");
        }
    }
    storage::setTrace({});
}
