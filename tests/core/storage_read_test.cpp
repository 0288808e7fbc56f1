// Ordered reads by key and views: orders, positions, joins, projections,
// filters with bound variables, pages, and the plans SQLite picks for them.
#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>

#include "storage_fixture.h"

using namespace storagetest;

namespace {

// Captures the SQL of the statements issued while alive.
class SqlLog {
  public:
    SqlLog() {
        storage::setTrace([this](const std::string& sql, const std::vector<std::string>&) {
            std::lock_guard<std::mutex> g(lock_);
            sql_.push_back(sql);
        });
    }
    ~SqlLog() { storage::setTrace({}); }
    std::string last() {
        std::lock_guard<std::mutex> g(lock_);
        return sql_.empty() ? std::string() : sql_.back();
    }
    std::size_t size() {
        std::lock_guard<std::mutex> g(lock_);
        return sql_.size();
    }

  private:
    std::mutex lock_;
    std::vector<std::string> sql_;
};

std::string plan(RawDb& raw, const std::string& sql) {
    std::string out;
    for (auto& row : raw.query("EXPLAIN QUERY PLAN " + sql)) out += row.back() + "; ";
    return out;
}

// SQLite's NOCASE: ASCII letters folded, every other byte as it is.
bool lessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto fx = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(x)));
        auto fy = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(y)));
        return fx < fy;
    });
}

class ReadTest : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        ASSERT_EQ(openOrCreate(members), 0);
        // Surnames in mixed case, many alike, so ties need the member code.
        const char* names[] = {"horvat", "Horvat", "KOVAČ", "babić", "Babić",    "Marić",
                               "novak",  "Novak",  "Zorić", "zec",   "[bracket", "_under"};
        for (int i = 1; i <= 240; ++i) {
            m = Member{};
            m.M1_SPS = 1 + i % 2;
            m.M1_SIP = 1 + i % 5;
            m.M1_SIF = i * 3 % 241;  // codes not in insertion order
            m.M1_PRE = names[i % 12];
            ASSERT_EQ(members.add(), 0);
            expected.emplace_back(std::string(m.M1_PRE.view()), m.M1_SIF);
            federationOf[m.M1_SIF] = m.M1_SPS;
        }
        std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) {
            if (lessNoCase(a.first, b.first)) return true;
            if (lessNoCase(b.first, a.first)) return false;
            return a.second < b.second;
        });
    }
    Member m;
    rt::FileStructure members{memberDef(), &m};
    std::vector<std::pair<std::string, std::int32_t>> expected;  // in name order
    std::map<std::int32_t, std::int32_t> federationOf;           // code -> M1_SPS
};

}  // namespace

TEST_F(ReadTest, KeyOrderWithPrimaryKeyTiesBothWays) {
    ASSERT_EQ(members.set(2, rt::SetFrom::Start), 0);
    std::vector<std::int32_t> got;
    while (members.next() == 0) got.push_back(m.M1_SIF);
    EXPECT_EQ(members.status().code, rt::FileErr::RecordNotAvailable);
    EXPECT_EQ(members.next(), rt::FileErr::RecordNotAvailable);  // and stays there
    std::vector<std::int32_t> want;
    for (auto& e : expected) want.push_back(e.second);
    EXPECT_EQ(got, want);

    ASSERT_EQ(members.set(2, rt::SetFrom::End), 0);
    got.clear();
    while (members.previous() == 0) got.push_back(m.M1_SIF);
    std::reverse(want.begin(), want.end());
    EXPECT_EQ(got, want);

    // Nothing lies before the start or after the end.
    ASSERT_EQ(members.set(2, rt::SetFrom::Start), 0);
    EXPECT_EQ(members.previous(), rt::FileErr::RecordNotAvailable);
    ASSERT_EQ(members.set(2, rt::SetFrom::End), 0);
    EXPECT_EQ(members.next(), rt::FileErr::RecordNotAvailable);
}

TEST_F(ReadTest, SetFromTheBufferAndTurningBack) {
    // >= "MARIĆ" without regard to case: the first Marić by member code.
    m.M1_PRE = "MARI\xC8";  // Č: NOCASE does not fold it, so it sorts after ć
    ASSERT_EQ(members.set(2, rt::SetFrom::Buffer), 0);
    ASSERT_EQ(members.next(), 0);
    auto firstAfter = std::find_if(expected.begin(), expected.end(), [](auto& e) {
        return !lessNoCase(e.first, std::string("MARI\xC8") + std::string(20, ' '));
    });
    ASSERT_NE(firstAfter, expected.end());
    EXPECT_EQ(m.M1_SIF, firstAfter->second);
    ASSERT_EQ(members.next(), 0);
    EXPECT_EQ(m.M1_SIF, (firstAfter + 1)->second);
    // Back from there: the row before the last one read.
    ASSERT_EQ(members.previous(), 0);
    EXPECT_EQ(m.M1_SIF, firstAfter->second);
    ASSERT_EQ(members.previous(), 0);
    EXPECT_EQ(m.M1_SIF, (firstAfter - 1)->second);

    // previous() after a set from the buffer: the last row <= the value.
    m.M1_PRE = "novak";
    ASSERT_EQ(members.set(2, rt::SetFrom::Buffer), 0);
    ASSERT_EQ(members.previous(), 0);
    auto lastNovak = std::find_if(expected.rbegin(), expected.rend(), [](auto& e) {
        return rt::trimRight(e.first) == "novak" || rt::trimRight(e.first) == "Novak";
    });
    EXPECT_EQ(m.M1_SIF, lastNovak->second);

    // The highest key: what auto-numbering reads.
    ASSERT_EQ(members.last(1), 0);
    EXPECT_EQ(m.M1_SIF, 240);
    ASSERT_EQ(members.first(1), 0);
    std::int64_t rows = 0;
    ASSERT_EQ(members.count(rows), 0);
    EXPECT_EQ(rows, 240);
}

TEST_F(ReadTest, ReadsSeeRowsThePreviousWritesChanged) {
    ASSERT_EQ(members.set(1, rt::SetFrom::Start), 0);
    ASSERT_EQ(members.next(), 0);
    ASSERT_EQ(members.next(), 0);
    ASSERT_EQ(m.M1_SIF, 2);
    // Delete the row after the current one through a second structure.
    Member other;
    rt::FileStructure second(memberDef(), &other);
    ASSERT_EQ(second.open(), 0);
    other.M1_SIF = 4;
    ASSERT_EQ(second.get(1), 0);
    ASSERT_EQ(second.remove(), 0);
    // Our own delete of the next row is seen at once.
    m.M1_SIF = 3;
    ASSERT_EQ(members.get(1), 0);
    ASSERT_EQ(members.remove(), 0);
    m.M1_SIF = 2;
    ASSERT_EQ(members.get(1), 0);
    ASSERT_EQ(members.set(1, rt::SetFrom::Buffer), 0);
    ASSERT_EQ(members.next(), 0);
    ASSERT_EQ(m.M1_SIF, 2);
    ASSERT_EQ(members.next(), 0);
    EXPECT_EQ(m.M1_SIF, 5);
}

TEST_F(StorageTest, ViewJoinsProjectsAndFiltersByBoundVariablesAtEachStatement) {
    Ledger l;
    Category k;
    rt::FileStructure ledger(ledgerDef(), &l);
    rt::FileStructure cats(categoryDef(), &k);
    ASSERT_EQ(openOrCreate(ledger), 0);
    ASSERT_EQ(openOrCreate(cats), 0);
    k.K1_SIK = 1;
    k.K1_NAZ = "Seniori";
    k.K1_ICL = rt::Money{2000};
    ASSERT_EQ(cats.add(), 0);
    // Lines of clubs 1..3 of federation 1 and club 2 of federation 2, over days.
    int red = 0;
    for (int sps = 1; sps <= 2; ++sps)
        for (int sip = 1; sip <= 3; ++sip)
            for (int day = 100; day <= 110; ++day) {
                l = Ledger{};
                l.CL_SPS = sps;
                l.CL_SIP = sip;
                l.CL_SIF = 7;
                l.CL_RED = ++red;
                l.CL_DAD = day;
                l.CL_SIK = day % 2 ? 1 : 99;  // 99: no such category
                l.CL_DOK = std::string("D").append(std::to_string(red));
                l.CL_DUG = rt::Money{day};
                ASSERT_EQ(ledger.add(), 0);
            }

    std::int32_t wSps = 1, wSip = 2, wFrom = 103, wTo = 106;
    rt::bind("G1:W1_SPS", &wSps);
    rt::bind("G1:W1_SIP", &wSip);
    std::atomic<std::int32_t> wDaod{wFrom};
    rt::bind("G1:W1_DAOD", &wDaod);
    rt::bind("G1:W1_DADO", &wTo);

    rt::View v(ledger);
    v.join(cats, 0, {ledger.field(4)});
    v.project(ledger, "CLA1:CL_DAD");
    v.project(ledger, "CLA1:CL_DUG");
    v.project(cats, "KAT:K1_NAZ");
    // Written as the reports write it, doubled blanks included.
    v.setFilter(
        "CLA1:CL_SPS = G1:W1_SPS  AND  CLA1:CL_SIP = G1:W1_SIP AND CLA1:CL_DAD => "
        "G1:W1_DAOD AND CLA1:CL_DAD <= G1:W1_DADO");
    ASSERT_EQ(v.open(), 0) << v.status().fileError;

    auto readAll = [&] {
        std::vector<std::string> rows;
        EXPECT_EQ(v.set(rt::SetFrom::Start), 0);
        while (v.next() == 0)
            rows.push_back(std::to_string(l.CL_SPS) + "/" + std::to_string(l.CL_SIP) + " " +
                           std::to_string(l.CL_DAD) + " " + std::to_string(l.CL_DUG.cents) + " " +
                           k.K1_NAZ.str() + " " + l.CL_DOK.str());
        EXPECT_EQ(v.status().code, rt::FileErr::RecordNotAvailable);
        return rows;
    };
    l.CL_DOK = "kept";  // not projected: no read changes it
    k.K1_NAZ = "stale";
    EXPECT_EQ(readAll(),
              (std::vector<std::string>{"1/2 103 103 Seniori kept", "1/2 104 104  kept",
                                        "1/2 105 105 Seniori kept", "1/2 106 106  kept"}));
    // The variables count as they are when the statement is issued.
    wSps = 2;
    wSip = 3;
    wDaod = 110;
    wTo = 120;
    EXPECT_EQ(readAll(), (std::vector<std::string>{"2/3 110 110  kept"}));
    std::int64_t n = 0;
    ASSERT_EQ(v.count(n), 0);
    EXPECT_EQ(n, 1);

    // A range limit on top of the filter.
    wDaod = 100;
    v.addRange(ledger.field(6), rt::Compare::LessEqual,
               [] { return rt::Value{std::int64_t{101}}; });
    EXPECT_EQ(readAll(),
              (std::vector<std::string>{"2/3 100 100  kept", "2/3 101 101 Seniori kept"}));
    rt::Value lo, hi;
    ASSERT_EQ(v.min(6, lo), 0);
    ASSERT_EQ(v.max(6, hi), 0);
    EXPECT_EQ(std::get<std::int64_t>(lo), 100);
    EXPECT_EQ(std::get<std::int64_t>(hi), 101);
    v.close();
    rt::unbindAll();

    // What the filter cannot name fails the open, with the reason.
    rt::View bad(ledger);
    bad.setFilter("CLA1:CL_XXX = 1");
    EXPECT_EQ(bad.open(), rt::FileErr::FileSystemError);
    EXPECT_NE(bad.status().fileError.find("CLA1:CL_XXX"), std::string::npos);
    bad.setFilter("CLA1:CL_SPS = G1:W1_NOBODY");
    EXPECT_EQ(bad.open(), rt::FileErr::FileSystemError);
    EXPECT_NE(bad.status().fileError.find("G1:W1_NOBODY"), std::string::npos);
    bad.setFilter("(CLA1:CL_SPS = 2 AND CLA1:CL_SIK = 1)");
    ASSERT_EQ(bad.open(), 0);
    ASSERT_EQ(bad.count(n), 0);
    EXPECT_EQ(n, 15);
}

TEST_F(ReadTest, ViewPagesPositionsAndReReads) {
    rt::View v(members);
    v.project(members, "CLA:M1_PRE");
    v.setOrder(2);
    ASSERT_EQ(v.open(), 0);
    m.M1_NAP = "untouched";

    std::vector<std::int32_t> got;
    ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
    int n = 0;
    ASSERT_EQ(v.page(
                  30, true, [&] { got.push_back(m.M1_SIF); }, &n),
              0);
    EXPECT_EQ(n, 30);
    ASSERT_EQ(v.page(
                  30, true, [&] { got.push_back(m.M1_SIF); }, &n),
              0);
    ASSERT_EQ(got.size(), 60u);
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i].second) << i;
    EXPECT_EQ(m.M1_NAP, "untouched");

    // A page back from there: the rows before the last one read, descending.
    std::vector<std::int32_t> back;
    ASSERT_EQ(v.page(
                  5, false, [&] { back.push_back(m.M1_SIF); }, &n),
              0);
    EXPECT_EQ(back, (std::vector<std::int32_t>{expected[58].second, expected[57].second,
                                               expected[56].second, expected[55].second,
                                               expected[54].second}));

    // Positioned at a row by its position: it comes first; before it, its predecessor.
    m.M1_SIF = expected[100].second;
    rt::Position pos = members.position();
    ASSERT_EQ(v.setAt(pos), 0);
    ASSERT_EQ(v.next(), 0);
    EXPECT_EQ(m.M1_SIF, expected[100].second);
    EXPECT_EQ(v.position(), pos);
    ASSERT_EQ(v.setAt(pos), 0);
    ASSERT_EQ(v.previous(), 0);
    EXPECT_EQ(m.M1_SIF, expected[99].second);

    // The last page, and past it.
    ASSERT_EQ(v.set(rt::SetFrom::End), 0);
    back.clear();
    ASSERT_EQ(v.page(
                  30, false, [&] { back.push_back(m.M1_SIF); }, &n),
              0);
    EXPECT_EQ(back.front(), expected.back().second);
    ASSERT_EQ(v.set(rt::SetFrom::End), 0);
    ASSERT_EQ(v.page(
                  30, true, [] {}, &n),
              0);
    EXPECT_EQ(n, 0);

    // A re-read of a row that went away fails.
    m.M1_SIF = expected[3].second;
    rt::Position gone = members.position();
    ASSERT_EQ(members.get(1), 0);
    ASSERT_EQ(members.remove(), 0);
    EXPECT_EQ(v.reget(gone), rt::FileErr::RecordNotAvailable);
    m.M1_SIF = expected[4].second;
    ASSERT_EQ(v.reget(members.position()), 0);
    EXPECT_EQ(m.M1_PRE.view(), expected[4].first);
}

TEST_F(ReadTest, PlansUseTheKeysIndexesWithoutSortingOrScanning) {
    Ledger l;
    rt::FileStructure ledger(ledgerDef(), &l);
    ASSERT_EQ(openOrCreate(ledger), 0);
    RawDb raw(databasePath());
    SqlLog log;

    rt::View byName(members);
    byName.project(members, "CLA:M1_PRE");
    byName.setOrder(2);
    ASSERT_EQ(byName.open(), 0);
    struct Shape {
        const char* what;
        std::function<void()> issue;
        const char* index;
    } shapes[] = {
        {"first page by name",
         [&] {
             byName.set(rt::SetFrom::Start);
             byName.page(30, true, {});
         },
         "CLA_KEYM1_PRE"},
        {"next page by name", [&] { byName.page(30, true, {}); }, "CLA_KEYM1_PRE"},
        {"page back by name", [&] { byName.page(30, false, {}); }, "CLA_KEYM1_PRE"},
        {"locate by name",
         [&] {
             m.M1_PRE = "M";
             byName.set(rt::SetFrom::Buffer);
             byName.page(30, true, {});
         },
         "CLA_KEYM1_PRE"},
        {"file read by name",
         [&] {
             members.set(2, rt::SetFrom::Buffer);
             members.next();
         },
         "CLA_KEYM1_PRE"},
        {"compound key",
         [&] {
             m.M1_SPS = 1;
             m.M1_SIP = 2;
             members.set(0, rt::SetFrom::Buffer);
             members.next();
         },
         "CLA_KEYM1_UKUPNO"},
        {"fetch by name", [&] { members.get(2); }, "CLA_KEYM1_PRE"},
        {"ledger by member",
         [&] {
             ledger.set(2, rt::SetFrom::Buffer);
             ledger.next();
         },
         "CLA1_KEYCL_SIF"},
    };
    for (auto& s : shapes) {
        std::size_t before = log.size();
        s.issue();
        ASSERT_GT(log.size(), before) << s.what;
        std::string p = plan(raw, log.last());
        EXPECT_TRUE(p.find(std::string("USING INDEX ") + s.index) != std::string::npos ||
                    p.find(std::string("USING COVERING INDEX ") + s.index) != std::string::npos)
            << s.what << ": " << log.last() << "\n"
            << p;
        // A scan is only ever an index walk that the LIMIT stops.
        EXPECT_EQ(p.find("SCAN t0;"), std::string::npos) << s.what << ": " << p;
        EXPECT_EQ(p.find("SCAN CLANOVI;"), std::string::npos) << s.what << ": " << p;
        // Lines of one member tie on the member: those few are sorted.
        if (std::string(s.what) != "ledger by member") {
            EXPECT_EQ(p.find("TEMP B-TREE"), std::string::npos) << s.what << ": " << p;
        }
    }

    // A joined code list is looked up by its key, row by row.
    Club club;
    rt::FileStructure clubs(clubDef(), &club);
    ASSERT_EQ(openOrCreate(clubs), 0);
    rt::View joined(members);
    joined.join(clubs, 0, {members.field(1)});
    joined.project(members, "CLA:M1_PRE");
    joined.project(clubs, "PLA:P1_NPD");
    joined.setOrder(2);
    ASSERT_EQ(joined.open(), 0);
    joined.set(rt::SetFrom::Start);
    joined.page(30, true, {});
    std::string jp = plan(raw, log.last());
    EXPECT_NE(jp.find("SCAN t0 USING INDEX CLA_KEYM1_PRE"), std::string::npos) << jp;
    EXPECT_NE(jp.find("SEARCH t1 USING INTEGER PRIMARY KEY (rowid=?)"), std::string::npos) << jp;
    EXPECT_EQ(jp.find("TEMP B-TREE"), std::string::npos) << jp;

    // The fee list: a club's lines in a date range, in ledger key order, by
    // the primary key's index.
    std::int32_t sps = 1, sip = 2, from = 1, to = 9;
    rt::bind("S", &sps);
    rt::bind("P", &sip);
    rt::bind("F", &from);
    rt::bind("T", &to);
    rt::View fees(ledger);
    fees.setFilter("CLA1:CL_SPS = S AND CLA1:CL_SIP = P AND CLA1:CL_DAD => F AND CLA1:CL_DAD <= T");
    ASSERT_EQ(fees.open(), 0);
    fees.set(rt::SetFrom::Start);
    fees.page(30, true, {});
    std::string p = plan(raw, log.last());
    EXPECT_NE(p.find("USING INDEX sqlite_autoindex_CLANAR_1 (CL_SPS=? AND CL_SIP=?)"),
              std::string::npos)
        << log.last() << "\n"
        << p;
    EXPECT_EQ(p.find("TEMP B-TREE"), std::string::npos) << p;
    rt::unbindAll();
}

TEST_F(ReadTest, PagesContinueAfterTheRowsAsReadWhateverOnRowDoes) {
    rt::View v(members);
    v.project(members, "CLA:M1_PRE");
    v.setOrder(2);
    ASSERT_EQ(v.open(), 0);
    auto positionOf = [&](std::int32_t code) {
        Member keep = m;
        m.M1_SIF = code;
        rt::Position p = members.position();
        m = keep;
        return p;
    };
    std::vector<std::int32_t> got;
    // The row's position is there while onRow runs; what onRow then does to
    // the buffer (a list may reuse it) does not move where the next page starts.
    auto onRow = [&] {
        got.push_back(m.M1_SIF);
        EXPECT_EQ(v.position(), members.position()) << m.M1_SIF;
        m.M1_PRE = "zzz";
        m.M1_SIF = 0;
    };
    ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
    int n = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(v.page(7, true, onRow, &n), 0);
        EXPECT_EQ(n, 7);
    }
    std::vector<std::int32_t> want;
    for (std::size_t i = 0; i < 21; ++i) want.push_back(expected[i].second);
    EXPECT_EQ(got, want);
    EXPECT_EQ(v.position(), positionOf(expected[20].second));

    got.clear();
    ASSERT_EQ(v.page(4, false, onRow, &n), 0);
    EXPECT_EQ(got, (std::vector<std::int32_t>{expected[19].second, expected[18].second,
                                              expected[17].second, expected[16].second}));
    EXPECT_EQ(v.position(), positionOf(expected[16].second));
    // One row at a time from there goes on the same way.
    ASSERT_EQ(v.next(), 0);
    EXPECT_EQ(m.M1_SIF, expected[17].second);
}

// What open() works out from the fields, joins, filter and order is not
// changed under an open view: changing one closes the view, reads fail until
// it is opened again, and then follow the new shape. (A new order on an open
// view used to page on with key fields it never read: rows were skipped.)
TEST_F(ReadTest, ChangingWhatOpenWorksOutClosesTheView) {
    Member other;
    rt::FileStructure second(memberDef(), &other);
    std::vector<std::int32_t> byName, federationOne;
    for (std::size_t i = 0; i < 15; ++i) byName.push_back(expected[i].second);
    for (int code = 1; federationOne.size() < 15; ++code)
        if (federationOf.at(code) == 1) federationOne.push_back(code);
    struct Change {
        const char* what;
        std::function<void(rt::View&)> change;
        std::vector<std::int32_t> rows;  // the first 15 after the change
        std::function<void()> perRow;    // more to check on each row
    } changes[] = {
        {"order", [](rt::View& v) { v.setOrder(2); }, byName, [] {}},
        {"filter", [](rt::View& v) { v.setFilter("CLA:M1_SPS = 1"); }, federationOne, [] {}},
        {"projection",
         [&](rt::View& v) { v.project(members, "CLA:M1_PRE"); },
         {},
         [&] {
             EXPECT_NE(m.M1_PRE, "unread");
             m.M1_PRE = "unread";
         }},
        {"join",
         [&](rt::View& v) { v.join(second, 1, {members.field(2)}); },
         {},
         [&] { EXPECT_EQ(other.M1_SIF, m.M1_SIF); }},
    };
    for (const Change& c : changes) {
        rt::View v(members);
        v.project(members, "CLA:M1_IME");
        ASSERT_EQ(v.open(), 0) << c.what;
        ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
        ASSERT_EQ(v.page(5, true, {}), 0);
        c.change(v);
        EXPECT_FALSE(v.isOpen()) << c.what;
        EXPECT_EQ(v.page(5, true, {}), rt::FileErr::FileSystemError) << c.what;
        ASSERT_EQ(v.open(), 0) << c.what << ": " << v.status().fileError;
        m.M1_PRE = "unread";
        other.M1_SIF = -1;
        std::vector<std::int32_t> got;
        ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
        for (int page = 0; page < 3; ++page)
            ASSERT_EQ(v.page(5, true,
                             [&] {
                                 got.push_back(m.M1_SIF);
                                 c.perRow();
                             }),
                      0)
                << c.what;
        if (c.rows.empty()) {
            EXPECT_EQ(
                got, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}))
                << c.what;
        } else {
            EXPECT_EQ(got, c.rows) << c.what;
        }
    }
}

// The statement a view reads with belongs to its shape: a view reopened
// with another filter or order, a range added to or cleared from an open
// view, two views of one file asking alike, and a view made where another
// one was, each read with statements of their own.
TEST_F(ReadTest, EachViewShapeReadsWithItsOwnStatement) {
    using Pass = std::function<bool(std::int32_t)>;
    const Pass all = [](std::int32_t) { return true; };
    auto federation = [&](std::int32_t sps) -> Pass {
        return [this, sps](std::int32_t code) { return federationOf.at(code) == sps; };
    };
    // The first rows that pass, in name or in code order.
    auto firstRows = [&](bool byName, const Pass& pass) {
        std::vector<std::int32_t> out;
        for (std::size_t i = 0; i < 240 && out.size() < 6; ++i) {
            std::int32_t code = byName ? expected[i].second : static_cast<std::int32_t>(i + 1);
            if (pass(code)) out.push_back(code);
        }
        return out;
    };

    rt::View a(members), b(members);
    a.project(members, "CLA:M1_PRE");
    a.setOrder(2);
    b.project(members, "CLA:M1_IME");
    b.setOrder(2);
    b.setFilter("CLA:M1_SPS = 2");
    ASSERT_EQ(a.open(), 0);
    ASSERT_EQ(b.open(), 0);
    std::optional<rt::View> c;  // made again in the same place
    auto remakeC = [&](const char* filter) {
        c.reset();
        c.emplace(members);
        c->project(members, "CLA:M1_PRE");
        c->setOrder(2);
        c->setFilter(filter);
        ASSERT_EQ(c->open(), 0);
    };

    SqlLog log;
    struct Step {
        const char* what;
        std::function<void()> change;
        std::function<rt::View&()> view;
        bool byName;
        Pass pass;
        const char* sqlHas;
        const char* sqlLacks;  // nullptr: nothing to miss
    } steps[] = {
        {"a by name", [] {}, [&]() -> rt::View& { return a; }, true, all,
         "ORDER BY t0.M1_PRE COLLATE NOCASE", "WHERE"},
        {"b, same file and request", [] {}, [&]() -> rt::View& { return b; }, true, federation(2),
         "t0.M1_SPS = ?", nullptr},
        {"a again", [] {}, [&]() -> rt::View& { return a; }, true, all, "t0.M1_PRE", "M1_SPS"},
        {"a reopened with a filter",
         [&] {
             a.close();
             a.setFilter("CLA:M1_SPS = 1");
             ASSERT_EQ(a.open(), 0);
         },
         [&]() -> rt::View& { return a; }, true, federation(1), "t0.M1_SPS = ?", "M1_IME"},
        {"a reopened in code order",
         [&] {
             a.close();
             a.setOrder(1);
             ASSERT_EQ(a.open(), 0);
         },
         [&]() -> rt::View& { return a; }, false, federation(1), "ORDER BY t0.M1_SIF",
         "ORDER BY t0.M1_PRE"},
        {"a range added to the open view",
         [&] {
             a.addRange(members.field(2), rt::Compare::LessEqual,
                        [] { return rt::Value{std::int64_t{30}}; });
         },
         [&]() -> rt::View& { return a; }, false,
         [this](std::int32_t code) { return code <= 30 && federationOf.at(code) == 1; },
         "t0.M1_SIF <= ?", nullptr},
        {"the range cleared", [&] { a.clearRanges(); }, [&]() -> rt::View& { return a; }, false,
         federation(1), "t0.M1_SPS = ?", "<= ?"},
        {"c made", [&] { remakeC(""); }, [&]() -> rt::View& { return *c; }, true, all,
         "ORDER BY t0.M1_PRE", "WHERE"},
        {"c made again in its place, filtered", [&] { remakeC("CLA:M1_SPS = 2"); },
         [&]() -> rt::View& { return *c; }, true, federation(2), "t0.M1_SPS = ?", nullptr},
        {"b after all that", [] {}, [&]() -> rt::View& { return b; }, true, federation(2),
         "t0.M1_IME", nullptr},
    };
    for (const Step& s : steps) {
        s.change();
        rt::View& v = s.view();
        std::vector<std::int32_t> got;
        ASSERT_EQ(v.set(rt::SetFrom::Start), 0) << s.what;
        ASSERT_EQ(v.page(6, true, [&] { got.push_back(m.M1_SIF); }), 0)
            << s.what << ": " << v.status().fileError;
        EXPECT_EQ(got, firstRows(s.byName, s.pass)) << s.what;
        EXPECT_NE(log.last().find(s.sqlHas), std::string::npos) << s.what << ": " << log.last();
        if (s.sqlLacks) {
            EXPECT_EQ(log.last().find(s.sqlLacks), std::string::npos)
                << s.what << ": " << log.last();
        }
    }

    // The re-reads differ by what each view reads: a leaves the first name
    // alone, b reads it (blank in every row).
    m.M1_SIF = expected[10].second;
    rt::Position pos = members.position();
    m.M1_IME = "kept";
    ASSERT_EQ(a.reget(pos), 0);
    EXPECT_EQ(m.M1_IME, "kept");
    EXPECT_EQ(log.last().find("M1_IME"), std::string::npos) << log.last();
    ASSERT_EQ(b.reget(pos), 0);
    EXPECT_TRUE(m.M1_IME.blank());
    EXPECT_EQ(m.M1_PRE.view(), expected[10].first);
    EXPECT_NE(log.last().find("t0.M1_IME"), std::string::npos) << log.last();
}

// A handle finalises its statements all at once when it holds 128; a view
// then prepares its statement again instead of running one already gone.
TEST_F(StorageTest, ViewsReadOnAfterTheStatementCacheIsEmptied) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    for (int code = 1; code <= 3; ++code) {
        c = Club{};
        c.P1_SIP = code;
        c.P1_NPD = "club " + std::to_string(code);
        ASSERT_EQ(clubs.add(), 0);
    }
    rt::View v(clubs);
    v.project(clubs, "PLA:P1_NPD");
    v.project(clubs, "PLA:P1_TEL");
    v.setOrder(1);
    ASSERT_EQ(v.open(), 0);
    SqlLog log;
    auto rows = [&] {
        std::vector<std::string> got;
        EXPECT_EQ(v.set(rt::SetFrom::Start), 0);
        EXPECT_EQ(v.page(10, true, [&] { got.push_back(c.P1_NPD.str() + "|" + c.P1_TEL.str()); }),
                  0)
            << v.status().fileError;
        EXPECT_NE(log.last().find("FROM PLAND t0"), std::string::npos) << log.last();
        return got;
    };
    EXPECT_EQ(rows(), (std::vector<std::string>{"club 1|", "club 2|", "club 3|"}));

    // Club 1 written 140 times, each time another set of its columns: each
    // write is an UPDATE of its own, more than the cache holds.
    c.P1_SIP = 1;
    ASSERT_EQ(clubs.get(0), 0);
    for (int set = 1; set <= 140; ++set) {
        const std::string text = std::string("s").append(std::to_string(set));
        if (set & 1) c.P1_NPD = text;
        if (set & 2) c.P1_ADR = text;
        if (set & 4) c.P1_SJD = text;
        if (set & 8) c.P1_BRG = text;
        if (set & 16) c.P1_DAR = set;
        if (set & 32) c.P1_TEL = text;
        if (set & 64) c.P1_FAX = text;
        if (set & 128) c.P1_WEB = text;
        ASSERT_EQ(clubs.put(), 0) << set << ": " << clubs.status().fileError;
    }
    ASSERT_EQ(c.P1_NPD, "s139");
    ASSERT_EQ(c.P1_TEL, "s127");
    EXPECT_EQ(rows(), (std::vector<std::string>{"club 2|", "club 3|", "s139|s127"}));
    c.P1_SIP = 1;
    rt::Position first = clubs.position();
    c = Club{};
    ASSERT_EQ(v.reget(first), 0) << v.status().fileError;
    EXPECT_EQ(c.P1_NPD, "s139");
    EXPECT_EQ(c.P1_TEL, "s127");
}

// What another program left NULL reads as zero or blanks, whichever way the
// row is read, over whatever the buffer held.
TEST_F(StorageTest, EveryReadTakesNullAsZeroOrBlanks) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    {
        RawDb raw(databasePath());
        ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD, P1_TEL, P1_DAR) VALUES (3, "
                           "'PD Bor', NULL, NULL)"),
                  SQLITE_OK);
    }
    rt::View v(clubs);  // every field
    ASSERT_EQ(v.open(), 0);
    struct Read {
        const char* what;
        std::function<int()> read;
    } reads[] = {
        {"keyed fetch", [&] { return clubs.get(0); }},
        {"ordered read",
         [&] {
             EXPECT_EQ(clubs.set(0, rt::SetFrom::Buffer), 0);
             return clubs.next();
         }},
        {"view page",
         [&] {
             EXPECT_EQ(v.set(rt::SetFrom::Start), 0);
             int n = 0;
             int rc = v.page(5, true, {}, &n);
             EXPECT_EQ(n, 1);
             return rc;
         }},
        {"view re-read", [&] { return v.reget(clubs.position()); }},
    };
    for (const Read& r : reads) {
        c.P1_SIP = 3;
        c.P1_ADR = "old";
        c.P1_TEL = "old";
        c.P1_DAR = 99;
        ASSERT_EQ(r.read(), 0) << r.what;
        EXPECT_EQ(c.P1_SIP, 3) << r.what;
        EXPECT_EQ(c.P1_NPD.view(), "PD Bor" + std::string(44, ' ')) << r.what;
        EXPECT_TRUE(c.P1_ADR.blank()) << r.what;
        EXPECT_TRUE(c.P1_TEL.blank()) << r.what;
        EXPECT_EQ(c.P1_DAR, 0) << r.what;
    }
}

namespace {

// A value another program stored beyond its field's range is never wrapped
// into the buffer: every read that meets it fails, naming table and column.
TEST_F(ReadTest, AValueBeyondItsFieldsRangeFailsTheReadThatMeetsIt) {
    struct Case {
        const char* what;
        const char* sql;
        const char* error;
    };
    const Case cases[] = {
        {"a code past 32 bits", "M1_SIF = 4294967296",
         "CLANOVI.M1_SIF holds 4294967296, outside the range of its field"},
        {"a code below 32 bits", "M1_SIF = -2147483649",
         "CLANOVI.M1_SIF holds -2147483649, outside the range of its field"},
        {"a status past a byte", "M1_STC = 256",
         "CLANOVI.M1_STC holds 256, outside the range of its field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            RawDb raw("Clanovi.sqlite");
            // Member 3 back as it was, then given the case's value.
            ASSERT_EQ(
                raw.exec(
                    "UPDATE CLANOVI SET M1_SIF = 3, M1_STC = 0 WHERE M1_SIF NOT BETWEEN 0 AND 1000 "
                    "OR M1_STC > 255"),
                0);
            ASSERT_EQ(raw.exec("UPDATE CLANOVI SET " + std::string(c.sql) + " WHERE M1_SIF = 3"),
                      0);
        }
        // An ordered read over every row.
        ASSERT_EQ(members.set(1, rt::SetFrom::Start), 0);
        // A wrapped code breaks the walk by key position: it would never end.
        int rc = 0;
        for (int rows = 0; rc == 0 && rows <= 1000; ++rows) rc = members.next();
        EXPECT_EQ(rc, rt::FileErr::FileSystemError);
        EXPECT_EQ(members.status().fileError, c.error);
        // The highest code, as priming reads it.
        if (std::string(c.what) == "a code past 32 bits") {
            EXPECT_EQ(members.last(1), rt::FileErr::FileSystemError);
            EXPECT_EQ(members.status().fileError, c.error);
        }
        // A view's page.
        rt::View v(members);
        v.project(members, "CLA:M1_SIF");
        v.project(members, "CLA:M1_STC");
        v.setOrder(1);
        ASSERT_EQ(v.open(), 0);
        ASSERT_EQ(v.set(rt::SetFrom::Start), 0);
        int n = 0;
        EXPECT_EQ(v.page(
                      300, true, [] {}, &n),
                  rt::FileErr::FileSystemError);
        EXPECT_EQ(v.status().fileError, c.error);
    }
}

}  // namespace
