// The next running number of a document: the highest stored in that
// document plus one, whatever other documents, clubs and federations hold;
// a document without lines continues from the number given; one statement
// served by the primary key, the record buffer untouched.
#include <gtest/gtest.h>

#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "activities/running_number.h"
#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "framework/globals.h"
#include "runtime/threads.h"
#include "support/temp_dir.h"

namespace {

using storagetest::RawDb;

TEST(RunningNumber, TheDocumentsHighestPlusOne) {
    testsupport::TempDir dir;
    ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
    storage::install();
    rt::clearComponents();
    installFrameworkComponents();
    rt::installFileComponents();
    installDictionaryComponents();
    std::mutex m;
    std::vector<std::string> statements;
    struct Case {
        std::int32_t federation, club, document, none, want;
    };
    const std::vector<Case> cases = {
        {1, 5, 17, 0, 8},   // 1, 7 and 3 stored: 7 is the highest
        {1, 5, 17, 40, 8},  // what the window held does not count when lines exist
        {1, 5, 18, 4, 5},   // no lines: the number given, plus one
        {1, 5, 19, 0, 1},   //
        {1, 6, 17, 0, 3},   // another club's document 17
        {2, 5, 17, 0, 1},   // another federation's
        {1, 5, 20, 0, std::numeric_limits<std::int32_t>::max()},  // never past the largest
        {1, 5, 21, std::numeric_limits<std::int32_t>::max(),
         std::numeric_limits<std::int32_t>::max()},
    };
    std::vector<std::int32_t> got;
    ANGAZOV_Record before{}, after{};
    rt::runProcess([&] {
        DctInit();
        rt::startThread([&] {
            Relate::ANGAZOV->Open();
            ASSERT_EQ(Access::ANGAZOV->UseFile(), 0);
            {
                RawDb raw("Clanovi.sqlite");
                ASSERT_EQ(raw.exec("INSERT INTO ANGAZOV VALUES (1, 5, 17, 1, 11, 100, 0), "
                                   "(1, 5, 17, 7, 11, 101, 0), (1, 5, 17, 3, 11, 102, 0), "
                                   "(1, 5, 16, 9, 11, 100, 0), (1, 6, 17, 2, 11, 100, 0), "
                                   "(1, 5, 20, 2147483647, 11, 100, 0)"),
                          0)
                    << raw.errmsg();
            }
            ANG.A1_SIF = 555;
            ANG.A1_RED = 66;
            before = ANG;
            storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
                std::lock_guard g(m);
                statements.push_back(sql);
            });
            activities::RunningNumbers numbers(*Access::ANGAZOV);
            for (const Case& c : cases)
                got.push_back(numbers.Next(c.federation, c.club, c.document, c.none));
            storage::setTrace({});
            after = ANG;
            Relate::ANGAZOV->Close();
        });
        rt::joinAllThreads();
    });
    rt::clearComponents();
    storage::closeAllConnections();
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(got[i], cases[i].want) << "case " << i;
    EXPECT_EQ(after.A1_SIF, before.A1_SIF);
    EXPECT_EQ(after.A1_RED, before.A1_RED);
    // One statement each, served by an index, with no sort of its own.
    std::vector<std::string> reads;
    for (const std::string& s : statements)
        if (s.rfind("SELECT", 0) == 0) reads.push_back(s);
    ASSERT_EQ(reads.size(), cases.size());
    RawDb raw("Clanovi.sqlite", SQLITE_OPEN_READONLY);
    std::string plan;
    for (auto& row : raw.query("EXPLAIN QUERY PLAN " + reads[0])) plan += row.back() + "; ";
    EXPECT_NE(plan.find("USING"), std::string::npos) << reads[0] << "\n" << plan;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << reads[0] << "\n" << plan;
    EXPECT_EQ(plan.find("SCAN t0 "), std::string::npos) << reads[0] << "\n" << plan;
}

}  // namespace
