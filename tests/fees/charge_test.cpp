// The charging run's writes: every line of a run or none, whatever stops it
// (another process holding the database, the process killed in the middle),
// lines already stored skipped and counted, amounts exact to the hundredth.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "fees/charge.h"
#include "framework/globals.h"
#include "tests/support/temp_dir.h"

namespace {

using storagetest::OtherProcess;
using storagetest::RawDb;

class ChargeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        GlobalErrors().Init(&GlobalErrorStatus);
        for (FileId id : {FileId::CLANOVI, FileId::KATEG, FileId::CLANAR}) {
            rt::FileStructure& f = fileStructure(id);
            int rc = f.open();
            if (rc == rt::FileErr::NoFile && (rc = f.create()) == 0) rc = f.open();
            ASSERT_EQ(rc, 0) << f.status().fileError;
        }
        RawDb raw("Clanovi.sqlite");
        ASSERT_EQ(raw.exec("INSERT INTO KATEG VALUES (1, printf('%-60s', 'Redovni'), 12.35), "
                           "(2, printf('%-60s', 'Penzioner'), 0.1)"),
                  0);
    }
    void TearDown() override {
        closeFiles();
        rt::setStorageDriver(nullptr);
    }
    static void closeFiles() {
        for (FileId id : {FileId::CLANOVI, FileId::KATEG, FileId::CLANAR})
            fileStructure(id).close();
        storage::closeAllConnections();
    }
    static void openFiles() {
        for (FileId id : {FileId::CLANOVI, FileId::KATEG, FileId::CLANAR})
            ASSERT_EQ(fileStructure(id).open(), 0);
    }

    // Members 1..n of club 7, federation 1 + i % 2, category 1 (every tenth
    // 2), all permanent but those named occasional; the rows full width.
    static void addMembers(int n, const char* occasional = "0") {
        RawDb raw("Clanovi.sqlite");
        ASSERT_EQ(raw.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < " +
                           std::to_string(n) +
                           ") INSERT INTO CLANOVI SELECT 1 + i % 2, 7, i, printf('%-25s', "
                           "'Prezime ' || i), printf('%-20s', 'Ime'), printf('%-20s', ''), "
                           "printf('%-20s', ''), printf('%-15s', ''), 0, printf('%-50s', ''), "
                           "printf('%-30s', ''), 0, printf('%-50s', ''), 0, 0, "
                           "CASE WHEN i IN (" +
                           std::string(occasional) +
                           ") THEN 2 ELSE 1 END, "
                           "0, 0, printf('%-10s', ''), 0, printf('%-5000s', 'Ranije'), "
                           "printf('%-5000s', ''), printf('%-5000s', ''), "
                           "CASE WHEN i % 10 = 0 THEN 2 ELSE 1 END, 0, printf('%-20s', ''), "
                           "printf('%-20s', ''), printf('%-30s', ''), printf('%-60s', ''), "
                           "printf('%-5000s', 'Napomena') FROM n"),
                  0)
            << raw.errmsg();
    }
    static std::string scalar(const std::string& sql) {
        RawDb raw("Clanovi.sqlite");
        return raw.scalar(sql);
    }

    testsupport::TempDir dir_;
};

TEST_F(ChargeTest, ChargesEveryPermanentMemberItsCategoryFeeExactly) {
    addMembers(10000, "3, 4");
    const fees::ChargeOutcome o = fees::ChargeClub(7, "ZAD-1", 81467, 1);
    ASSERT_EQ(o.error, 0) << o.status.fileError;
    EXPECT_EQ(o.stored, 9998);
    EXPECT_EQ(o.skipped, 0);
    // 9 000 at 12,35 (members 3 and 4 are not charged) and 1 000 at 0,10.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CLANAR WHERE CL_DUG = 12.35 AND CL_SIK = 1"), "8998");
    EXPECT_EQ(scalar("SELECT SUM(CAST(ROUND(CL_DUG * 100) AS INTEGER)) FROM CLANAR"),
              std::to_string(8998 * 1235 + 1000 * 10));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CLANAR WHERE CL_SIF IN (3, 4)"), "0");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CLANAR WHERE CL_SPS = 1 + CL_SIF % 2 AND CL_SIP = 7 "
                     "AND CL_RED = 1 AND trim(CL_DOK) = 'ZAD-1' AND CL_DAD = 81467 AND CL_POD = 0"),
              "9998");
}

// A member charged on the run's document and date already is not charged
// again, whatever the running number of that line; a member whose run key
// is held by a line of another document that day (a payment) is charged
// under his next free running number on that date. Every statement the run
// reads with is bounded by an index.
TEST_F(ChargeTest, ChargedMembersSkippedOtherDocumentsLinesMakeRoom) {
    addMembers(5);
    RawDb raw("Clanovi.sqlite");
    auto line = [](int sps, int sif, std::int64_t red, const char* doc, int dad) {
        return "(" + std::to_string(sps) + ", 7, " + std::to_string(sif) + ", " +
               std::to_string(red) + ", 1, printf('%-25s', '" + doc + "'), " + std::to_string(dad) +
               ", 99.0, 0)";
    };
    // Member 1 holds this run's document under number 5; member 2 two
    // payments that day, number 1 among them; member 4 a line under number
    // 1 on another date; members 3 and 5 nothing.
    ASSERT_EQ(raw.exec("INSERT INTO CLANAR VALUES " + line(2, 1, 5, "NEW", 81467) + ", " +
                       line(1, 2, 1, "UPL", 81467) + ", " + line(1, 2, 3, "UPL", 81467) + ", " +
                       line(1, 4, 1, "NEW", 81000)),
              0);
    std::set<std::string> statements;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
        if (sql.rfind("SELECT", 0) == 0) statements.insert(sql);
    });
    const fees::ChargeOutcome o = fees::ChargeClub(7, "NEW", 81467, 1);
    storage::setTrace({});
    EXPECT_EQ(statements.size(), 4u);  // members, category, this document's line, next number
    ASSERT_EQ(o.error, 0) << o.status.fileError;
    EXPECT_EQ(o.stored, 4);
    EXPECT_EQ(o.skipped, 1);
    EXPECT_EQ(raw.scalar("SELECT group_concat(CL_SIF || ':' || CL_RED || trim(CL_DOK), ' ') FROM "
                         "(SELECT * FROM CLANAR WHERE CL_DAD = 81467 ORDER BY CL_SIF, CL_RED)"),
              "1:5NEW 2:1UPL 2:3UPL 2:4NEW 3:1NEW 4:1NEW 5:1NEW");
    for (const std::string& sql : statements)
        EXPECT_EQ(storagetest::unboundedBecause(raw, sql), "") << sql;

    // The same document and date again, as the next press of the window and
    // as the first of a new window: nobody is charged twice.
    for (std::int32_t run : {2, 1}) {
        SCOPED_TRACE(run);
        const fees::ChargeOutcome again = fees::ChargeClub(7, "NEW", 81467, run);
        ASSERT_EQ(again.error, 0) << again.status.fileError;
        EXPECT_EQ(again.stored, 0);
        EXPECT_EQ(again.skipped, 5);
    }
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM CLANAR"), "8");

    // A member whose numbers that day reach the largest one has no free
    // number left: the run fails whole, nothing wraps.
    ASSERT_EQ(raw.exec("INSERT INTO CLANAR VALUES " + line(2, 3, 1, "UPL", 81500) + ", " +
                       line(2, 3, 2147483647, "UPL", 81500)),
              0);
    const fees::ChargeOutcome top = fees::ChargeClub(7, "TOP", 81500, 1);
    EXPECT_EQ(top.error, rt::FileErr::DuplicateKey);
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM CLANAR WHERE trim(CL_DOK) = 'TOP'"), "0");
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM CLANAR WHERE CL_RED <= 0"), "0");
}

TEST_F(ChargeTest, AnotherProcessHoldingTheDatabaseLeavesNoLineOfTheRun) {
    addMembers(200);
    for (const char* lock : {"BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
        SCOPED_TRACE(lock);
        {
            OtherProcess other("Clanovi.sqlite", {lock});
            ASSERT_TRUE(other.ready());
            const fees::ChargeOutcome o = fees::ChargeClub(7, "ZAD", 81467, 1);
            EXPECT_NE(o.error, 0);
            EXPECT_EQ(o.stored, 0);
            EXPECT_NE(o.status.fileError.find("locked"), std::string::npos) << o.status.fileError;
        }
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM CLANAR"), "0");
    }
    // Let go, the same run stores everything.
    const fees::ChargeOutcome o = fees::ChargeClub(7, "ZAD", 81467, 1);
    EXPECT_EQ(o.error, 0) << o.status.fileError;
    EXPECT_EQ(o.stored, 200);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CLANAR"), "200");
}

// Another process that locks the database the moment it sees a line of the
// run: it never sees one before the run has stored them all.
TEST_F(ChargeTest, AnotherProcessLockingOnTheRunsFirstLineFindsTheWholeRunOrNothing) {
    constexpr int Members = 3000;
    addMembers(Members);
    closeFiles();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        RawDb raw("Clanovi.sqlite");
        if (write(ready[1], "y", 1) != 1) _exit(2);
        for (int i = 0; i < 50000; ++i, usleep(200)) {
            const std::string n = raw.scalar("SELECT COUNT(*) FROM CLANAR");
            if (n != "<none>" && n != "0") {
                raw.exec("BEGIN IMMEDIATE");
                usleep(500000);
                _exit(0);
            }
        }
        _exit(3);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    openFiles();
    const fees::ChargeOutcome o = fees::ChargeClub(7, "ZAD", 81467, 1);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string stored = scalar("SELECT COUNT(*) FROM CLANAR");
    if (o.error == 0) {
        EXPECT_EQ(o.stored, Members);
        EXPECT_EQ(stored, std::to_string(Members));
    } else {
        EXPECT_EQ(o.stored, 0);
        EXPECT_EQ(stored, "0");
    }
}

TEST_F(ChargeTest, RunKilledInTheMiddleLeavesAllOfItsLinesOrNone) {
    constexpr int Members = 3000;
    addMembers(Members);
    // No connection may cross the fork.
    closeFiles();
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(acks[0]);
        openFiles();
        // A document of its own for each run: a run of the same document
        // and date charges nobody twice.
        for (std::int32_t run = 1;; ++run) {
            const fees::ChargeOutcome o =
                fees::ChargeClub(7, "ZAD-" + std::to_string(run), 81467, run);
            if (o.error != 0 || o.stored != Members) _exit(4);
            if (write(acks[1], &run, sizeof run) != sizeof run) _exit(5);
        }
    }
    close(acks[1]);
    std::int32_t last = 0, n = 0;
    while (last < 3 && read(acks[0], &n, sizeof n) == sizeof n) last = n;
    // Somewhere inside the next run.
    usleep(20000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run stopped by itself: " << WEXITSTATUS(status);
    while (read(acks[0], &n, sizeof n) == sizeof n) last = n;
    close(acks[0]);
    ASSERT_GE(last, 3);

    EXPECT_EQ(scalar("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM (SELECT CL_RED FROM CLANAR GROUP BY CL_RED HAVING "
                     "COUNT(*) <> " +
                     std::to_string(Members) + ")"),
              "0");
    const int runs = std::stoi(scalar("SELECT COUNT(DISTINCT CL_RED) FROM CLANAR"));
    EXPECT_GE(runs, last);
    EXPECT_LE(runs, last + 1);
}

}  // namespace
