// Sums of money over a view: exact to the hundredth however the amounts'
// doubles add up, over the rows the filter passes with the bound values as
// they are when the statement is issued, 0 when none passes, beyond what a
// packed decimal of 11 digits holds, and refused for a field that is no
// amount.
#include "storage_fixture.h"

using namespace storagetest;

TEST_F(StorageTest, ViewSumsAreExactHundredthsOfTheRowsThatPass) {
    Ledger l;
    rt::FileStructure ledger(ledgerDef(), &l);
    ASSERT_EQ(openOrCreate(ledger), 0);
    // 1 000 lines of 0,10 and 0,07 in club 1: doubles that do not add up to
    // 100 and 70 when summed as doubles; three of 999.999.999,99 in club 2.
    ASSERT_EQ(ledger.begin(), 0);
    for (int i = 1; i <= 1000; ++i) {
        l = Ledger{};
        l.CL_SPS = 1;
        l.CL_SIP = 1;
        l.CL_RED = i;
        l.CL_DAD = 100 + i % 10;
        l.CL_DUG = rt::Money{10};
        l.CL_POD = rt::Money{7};
        ASSERT_EQ(ledger.add(), 0);
    }
    for (int i = 1; i <= 3; ++i) {
        l = Ledger{};
        l.CL_SPS = 1;
        l.CL_SIP = 2;
        l.CL_RED = i;
        l.CL_DAD = 100;
        l.CL_DUG = rt::Money{rt::MaxDecimal11_2Cents};
        ASSERT_EQ(ledger.add(), 0);
    }
    ASSERT_EQ(ledger.commit(), 0);

    std::atomic<std::int32_t> sip{1}, from{0}, to{200};
    rt::bind("G1:W1_SIP", &sip);
    rt::bind("G1:W1_DAOD", &from);
    rt::bind("G1:W1_DADO", &to);
    rt::View v(ledger);
    v.setFilter(
        "CLA1:CL_SIP = G1:W1_SIP AND CLA1:CL_DAD => G1:W1_DAOD AND CLA1:CL_DAD <= G1:W1_DADO");
    ASSERT_EQ(v.open(), 0) << v.status().fileError;
    const std::vector<int> money{7, 8};
    std::vector<rt::Money> sums;
    ASSERT_EQ(v.sum(money, sums), 0) << v.status().fileError;
    ASSERT_EQ(sums.size(), 2u);
    EXPECT_EQ(sums[0].cents, 10000);
    EXPECT_EQ(sums[1].cents, 7000);
    // The period as the values stand now: days 100 and 101 only.
    to = 101;
    ASSERT_EQ(v.sum(money, sums), 0);
    EXPECT_EQ(sums[0].cents, 200 * 10);
    // Past the widest stored amount, still exact.
    sip = 2;
    to = 200;
    ASSERT_EQ(v.sum(money, sums), 0);
    EXPECT_EQ(sums[0].cents, 3 * rt::MaxDecimal11_2Cents);
    EXPECT_EQ(sums[1].cents, 0);
    // Nothing passes: 0, not an error.
    sip = 9;
    ASSERT_EQ(v.sum(money, sums), 0);
    EXPECT_EQ(sums[0].cents, 0);
    EXPECT_EQ(sums[1].cents, 0);
    // A code is no amount.
    EXPECT_EQ(v.sum({0}, sums), rt::FileErr::FileSystemError);
    v.close();
    rt::unbindAll();
}
