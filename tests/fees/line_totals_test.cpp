// The fee lists' totals: the charges and payments of exactly the lines the
// filter passes, exact to the hundredth, the saldo saturated with them; a
// read that fails says why and leaves the totals as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "fees/line_totals.h"
#include "framework/globals.h"
#include "tests/support/temp_dir.h"

namespace {

using storagetest::RawDb;

class LineTotalsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        int rc = ledger().open();
        if (rc == rt::FileErr::NoFile && (rc = ledger().create()) == 0) rc = ledger().open();
        ASSERT_EQ(rc, 0) << ledger().status().fileError;
        rt::bind("T:SIP", &club_);
        // Club 3: 0.10 + 0.20 charged (inexact as doubles), 0.35 paid;
        // club 4 a line beyond any 64-bit count of hundredths.
        ASSERT_EQ(RawDb("Clanovi.sqlite")
                      .exec("INSERT INTO CLANAR VALUES (1, 3, 17, 1, 1, 'D-1', 81462, 0.1, 0), "
                            "(1, 3, 17, 2, 1, 'D-2', 81463, 0.2, 0), "
                            "(1, 3, 18, 1, 1, 'D-3', 81464, 0, 0.35), "
                            "(1, 4, 20, 1, 1, 'D-4', 81464, 1e300, 2.0)"),
                  0);
    }
    void TearDown() override {
        rt::unbindAll();
        ledger().close();
        storage::closeAllConnections();
        rt::setStorageDriver(nullptr);
    }
    static rt::FileStructure& ledger() { return fileStructure(FileId::CLANAR); }

    testsupport::TempDir dir_;
    std::int32_t club_ = 0;
};

TEST_F(LineTotalsTest, SumsExactlyTheLinesTheFilterPasses) {
    struct Case {
        const char* what;
        std::int32_t club;
        const char* filter;
        std::int64_t charged, paid, saldo;  // hundredths
        bool saturated;
    };
    const Case cases[] = {
        {"a club", 3, "CLA1:CL_SIP = T:SIP", 30, 35, -5, false},
        {"one member of it", 3, "CLA1:CL_SIP = T:SIP AND CLA1:CL_SIF = 17", 30, 0, 30, false},
        {"no line", 5, "CLA1:CL_SIP = T:SIP", 0, 0, 0, false},
        {"beyond a 64-bit count", 4, "CLA1:CL_SIP = T:SIP", 0, 200, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        club_ = c.club;
        fees::LineTotals t;
        const rt::FileStatus status = fees::SumLines(ledger(), c.filter, t);
        ASSERT_TRUE(status.ok()) << status.fileError;
        EXPECT_EQ(t.charged.saturated(), c.saturated);
        EXPECT_EQ(t.saldo.saturated(), c.saturated);
        if (!c.saturated) {
            EXPECT_EQ(t.charged.cents, c.charged);
            EXPECT_EQ(t.saldo.cents, c.saldo);
        }
        EXPECT_EQ(t.paid.cents, c.paid);
    }
}

TEST_F(LineTotalsTest, AReadThatFailsSaysWhyAndLeavesTheTotals) {
    const fees::LineTotals before{rt::Money{100}, rt::Money{30}, rt::Money{70}};
    auto unchanged = [&](const fees::LineTotals& t) {
        EXPECT_EQ(t.charged.cents, before.charged.cents);
        EXPECT_EQ(t.paid.cents, before.paid.cents);
        EXPECT_EQ(t.saldo.cents, before.saldo.cents);
    };
    club_ = 3;
    {
        storagetest::OtherProcess other("Clanovi.sqlite", {"BEGIN EXCLUSIVE"});
        ASSERT_TRUE(other.ready());
        fees::LineTotals t = before;
        const rt::FileStatus status = fees::SumLines(ledger(), "CLA1:CL_SIP = T:SIP", t);
        EXPECT_EQ(status.code, rt::FileErr::FileSystemError);
        EXPECT_EQ(status.fileError, "The database file is locked");
        unchanged(t);
    }
    // A filter the view cannot open.
    fees::LineTotals t = before;
    const rt::FileStatus status = fees::SumLines(ledger(), "CLA1:CL_SIP = T:NONE", t);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.fileError.find("T:NONE"), std::string::npos) << status.fileError;
    unchanged(t);
}

}  // namespace
