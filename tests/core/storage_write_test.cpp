// What the storage writes and reads back: encodings, changed columns only,
// the row found by its key as read, writes that reach no row, duplicates.
#include <mutex>

#include "storage_fixture.h"

using namespace storagetest;

namespace {

struct Statement {
    std::string sql;
    std::vector<std::string> values;
};

// Collects the statements the storage issues while alive.
class Trace {
  public:
    Trace() {
        storage::setTrace([this](const std::string& sql, const std::vector<std::string>& values) {
            std::lock_guard<std::mutex> g(lock_);
            all_.push_back({sql, values});
        });
    }
    ~Trace() { storage::setTrace({}); }
    std::vector<Statement> writes() {
        std::lock_guard<std::mutex> g(lock_);
        std::vector<Statement> out;
        for (auto& s : all_)
            if (s.sql.rfind("SELECT", 0) != 0) out.push_back(s);
        return out;
    }
    void clear() {
        std::lock_guard<std::mutex> g(lock_);
        all_.clear();
    }

  private:
    std::mutex lock_;
    std::vector<Statement> all_;
};

}  // namespace

TEST_F(StorageTest, ValuesRoundTripInTheirStoredEncodings) {
    Member m;
    rt::FileStructure members(memberDef(), &m);
    ASSERT_EQ(openOrCreate(members), 0);
    // "Šašić" in Windows-1250: Š 0x8A, š 0x9A, ć 0xE6 (not valid UTF-8).
    const std::string surname =
        "\x8A"
        "a\x9A"
        "i\xE6";
    m.M1_SIF = 1;
    m.M1_PRE = surname;
    m.M1_STC = 2;
    ASSERT_EQ(members.add(), 0);

    Ledger l;
    rt::FileStructure ledger(ledgerDef(), &l);
    ASSERT_EQ(openOrCreate(ledger), 0);
    l.CL_SPS = 1;
    l.CL_SIF = 9;
    l.CL_DUG = rt::Money{1234};
    l.CL_POD = rt::Money{-5};
    ASSERT_EQ(ledger.add(), 0);

    RawDb raw(databasePath());
    // All 25 bytes, unconverted, blank padded.
    std::string blanks;
    for (int i = 0; i < 20; ++i) blanks += "20";
    EXPECT_EQ(raw.scalar("SELECT hex(M1_PRE) FROM CLANOVI"), "8A619A69E6" + blanks);
    EXPECT_EQ(raw.scalar("SELECT length(CAST(M1_NAP AS BLOB)) FROM CLANOVI"), "5000");
    EXPECT_EQ(raw.scalar("SELECT typeof(CL_DUG) || ' ' || CL_DUG FROM CLANAR"), "real 12.34");
    EXPECT_EQ(raw.scalar("SELECT CL_POD FROM CLANAR"), "-0.05");
    EXPECT_EQ(raw.scalar("SELECT typeof(M1_STC) || ' ' || M1_STC FROM CLANOVI"), "integer 2");
    // No column of a written row is NULL: every insert binds every column.
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM CLANOVI WHERE M1_SPS IS NULL OR M1_SIP IS NULL OR "
                         "M1_IME IS NULL OR M1_NAP IS NULL OR M1_STC IS NULL"),
              "0");
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM CLANAR WHERE CL_DOK IS NULL OR CL_DAD IS NULL OR "
                         "CL_SIK IS NULL OR CL_RED IS NULL"),
              "0");

    m = Member{};
    m.M1_SIF = 1;
    ASSERT_EQ(members.get(1), 0);
    EXPECT_EQ(m.M1_PRE.view(), surname + std::string(20, ' '));
    EXPECT_EQ(m.M1_STC, 2);
    l = Ledger{};
    l.CL_SPS = 1;
    l.CL_SIF = 9;
    ASSERT_EQ(ledger.get(0), 0);
    EXPECT_EQ(l.CL_DUG.cents, 1234);
    EXPECT_EQ(l.CL_POD.cents, -5);
}

TEST_F(StorageTest, ValuesWrittenByAnotherProgramReadBackPaddedAndNullAsEmpty) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    {
        RawDb raw(databasePath());
        ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD, P1_TEL) VALUES (3, 'PD Bor', NULL)"),
                  SQLITE_OK);
        // Longer than the field: cut to its width.
        ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD, P1_DAR) VALUES (4, '" +
                           std::string(60, 'x') + "', 75000)"),
                  SQLITE_OK);
    }
    c.P1_SIP = 3;
    c.P1_DAR = 99;
    c.P1_TEL = "old";
    ASSERT_EQ(clubs.get(0), 0);
    EXPECT_EQ(c.P1_NPD.view(), "PD Bor" + std::string(44, ' '));
    EXPECT_TRUE(c.P1_TEL.blank());
    EXPECT_EQ(c.P1_DAR, 0);
    c.P1_SIP = 4;
    ASSERT_EQ(clubs.get(0), 0);
    EXPECT_EQ(c.P1_NPD.view(), std::string(50, 'x'));
    EXPECT_EQ(c.P1_DAR, 75000);
}

TEST_F(StorageTest, PutWritesOnlyChangedColumnsByTheKeyAsRead) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);
    c.P1_SIP = 5;
    c.P1_NPD = "PD Velebit";
    c.P1_TEL = "01 111";
    ASSERT_EQ(clubs.add(), 0);

    Trace trace;
    c = Club{};
    c.P1_SIP = 5;
    ASSERT_EQ(clubs.get(0), 0);
    c.P1_TEL = "01 222";
    ASSERT_EQ(clubs.put(), 0);
    auto writes = trace.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].sql, "UPDATE PLAND SET P1_TEL = ? WHERE P1_SIP = ?");
    EXPECT_EQ(writes[0].values,
              (std::vector<std::string>{"'01 222" + std::string(24, ' ') + "'", "5"}));

    // Nothing changed: nothing is issued, and that is a success.
    trace.clear();
    EXPECT_EQ(clubs.put(), 0);
    EXPECT_TRUE(trace.writes().empty());

    // A changed primary-key field moves the row: found by the code as read.
    c.P1_SIP = 6;
    c.P1_NPD = "PD Velebit Zagreb";
    ASSERT_EQ(clubs.put(), 0);
    writes = trace.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].sql, "UPDATE PLAND SET P1_SIP = ?, P1_NPD = ? WHERE P1_SIP = ?");
    EXPECT_EQ(writes[0].values.back(), "5");
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT group_concat(P1_SIP) FROM PLAND"), "6");
    EXPECT_EQ(raw.scalar("SELECT trim(P1_TEL) FROM PLAND"), "01 222");

    // The row as read follows the put: a second change is found by 6.
    c.P1_FAX = "fax";
    ASSERT_EQ(clubs.put(), 0);
    EXPECT_EQ(raw.scalar("SELECT trim(P1_FAX) FROM PLAND WHERE P1_SIP = 6"), "fax");
}

TEST_F(StorageTest, WritesThatReachNoRowFail) {
    Club c;
    rt::FileStructure clubs(clubDef(), &c);
    ASSERT_EQ(openOrCreate(clubs), 0);

    // Nothing read yet: a put or delete has no row to go by.
    c.P1_SIP = 1;
    EXPECT_EQ(clubs.put(), rt::FileErr::RecordNotAvailable);
    EXPECT_EQ(clubs.remove(), rt::FileErr::RecordNotAvailable);

    ASSERT_EQ(clubs.add(), 0);
    c.P1_SIP = 2;
    ASSERT_EQ(clubs.add(), 0);
    ASSERT_EQ(clubs.get(0), 0);
    {
        RawDb raw(databasePath());  // another station deletes it meanwhile
        ASSERT_EQ(raw.exec("DELETE FROM PLAND WHERE P1_SIP = 2"), SQLITE_OK);
    }
    c.P1_NPD = "changed";
    EXPECT_EQ(clubs.put(), rt::FileErr::RecordNotAvailable);
    EXPECT_EQ(clubs.remove(), rt::FileErr::RecordNotAvailable);
    c.P1_SIP = 1;
    ASSERT_EQ(clubs.get(0), 0);
    ASSERT_EQ(clubs.remove(), 0);
    // Deleted: the row as read is gone with it.
    EXPECT_EQ(clubs.remove(), rt::FileErr::RecordNotAvailable);
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM PLAND"), "0");
}

TEST_F(StorageTest, SecondLedgerLineWithTheSameKeyIsADuplicate) {
    Ledger l;
    rt::FileStructure ledger(ledgerDef(), &l);
    ASSERT_EQ(openOrCreate(ledger), 0);
    l.CL_SPS = 1;
    l.CL_SIP = 2;
    l.CL_SIF = 3;
    l.CL_DAD = 80000;
    l.CL_RED = 1;
    l.CL_DUG = rt::Money{10000};
    ASSERT_EQ(ledger.add(), 0);
    l.CL_DUG = rt::Money{500};  // another amount, the same five key values
    EXPECT_EQ(ledger.add(), rt::FileErr::DuplicateKey);
    EXPECT_EQ(ledger.status().fileErrorCode, -SQLITE_CONSTRAINT);
    EXPECT_EQ(ledger.status().fileError, "Abort due to constraint violation");
    // Any one key part different is another line.
    l.CL_RED = 2;
    EXPECT_EQ(ledger.add(), 0);
    l.CL_RED = 1;
    l.CL_DAD = 80001;
    EXPECT_EQ(ledger.add(), 0);
    RawDb raw(databasePath());
    // NUMBER(11,2) has numeric affinity: a whole amount is kept as an integer.
    EXPECT_EQ(raw.scalar("SELECT group_concat(CL_DUG, ' ') FROM CLANAR"), "100 5 5");
}

TEST_F(StorageTest, KeyedFetchMissLeavesTheBufferAsItWas) {
    Member m;
    rt::FileStructure members(memberDef(), &m);
    ASSERT_EQ(openOrCreate(members), 0);
    m.M1_SPS = 1;
    m.M1_SIP = 1;
    m.M1_SIF = 10;
    m.M1_PRE = "Horvat";
    ASSERT_EQ(members.add(), 0);
    m.M1_SIF = 11;
    m.M1_PRE = "horvat";
    ASSERT_EQ(members.add(), 0);

    m = Member{};
    m.M1_SIF = 12;
    m.M1_IME = "kept";
    EXPECT_EQ(members.get(1), rt::FileErr::RecordNotAvailable);
    EXPECT_EQ(m.M1_IME, "kept");
    EXPECT_EQ(m.M1_SIF, 12);

    // A name key finds without regard to case: the first by member code.
    m.M1_PRE = "HORVAT";
    ASSERT_EQ(members.get(2), 0);
    EXPECT_EQ(m.M1_SIF, 10);
    // A compound key.
    m = Member{};
    m.M1_SPS = 1;
    m.M1_SIP = 1;
    m.M1_SIF = 11;
    ASSERT_EQ(members.get(0), 0);
    EXPECT_EQ(m.M1_PRE, "horvat");
}
