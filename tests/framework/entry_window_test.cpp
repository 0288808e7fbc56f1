// The next running number of the entry windows, over the real SQLite storage:
// the last line of the club in key order, read in one bounded statement
// through a buffer of its own.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/storage_fixture.h"
#include "framework/entry_window.h"
#include "framework/file_manager.h"
#include "framework/globals.h"

namespace {

using storagetest::Ledger;

class LastInKeyOrderTest : public storagetest::StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        GlobalErrors().Init(&GlobalErrorStatus);
        access.Buffer = &buffer;
        access.FileNameValue = "CLANAR";
        access.File = &ledger;
        access.Init();
        access.Init(ledger, GlobalErrors());
    }
    void TearDown() override {
        access.Kill();
        StorageTest::TearDown();
    }
    void store(std::int32_t sps, std::int32_t sip, std::int32_t sif, std::int32_t dad,
               std::int32_t red) {
        Ledger l;
        l.CL_SPS = sps;
        l.CL_SIP = sip;
        l.CL_SIF = sif;
        l.CL_DAD = dad;
        l.CL_RED = red;
        l.CL_DOK = "D";
        Ledger keep = buffer;
        buffer = l;
        ASSERT_EQ(ledger.add(), 0);
        buffer = keep;
    }

    Ledger buffer;  // the record buffer the window's entries edit
    rt::FileStructure ledger{storagetest::ledgerDef(), &buffer};
    FileManager access;
};

TEST_F(LastInKeyOrderTest, TheClubsLastLineInKeyOrder) {
    const rt::FileDef& def = storagetest::ledgerDef();
    LastInKeyOrder next(access, def.keyIndex("CLA1:KeyCL_UKP"), 2, def.fieldIndex("CLA1:CL_RED"));
    // No table yet: the window's own access object creates it; no line.
    EXPECT_EQ(next.Read({1, 3}), std::nullopt);
    // Member 5 with 1 and 7, member 9 with 3: member 9's line is the last in
    // key order; the clubs beside it (same club in another federation, the
    // clubs before and after) are not read.
    store(1, 3, 5, 100, 1);
    store(1, 3, 5, 100, 7);
    store(1, 3, 9, 50, 3);
    store(1, 2, 99, 900, 40);
    store(1, 4, 1, 1, 50);
    store(2, 3, 99, 900, 60);
    struct Case {
        std::int64_t sps, sip;
        std::optional<std::int32_t> last;
    };
    const Case cases[] = {{1, 3, 3}, {1, 2, 40}, {1, 4, 50}, {2, 3, 60}, {1, 5, std::nullopt},
                          {3, 3, std::nullopt}};
    buffer.CL_SIF = 12;
    buffer.CL_DOK = "typed";
    std::vector<std::string> statements;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
        statements.push_back(sql);
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sps) + "/" + std::to_string(c.sip));
        statements.clear();
        EXPECT_EQ(next.Read({c.sps, c.sip}), c.last);
        ASSERT_EQ(statements.size(), 1u);
        storagetest::RawDb raw(storagetest::databasePath());
        EXPECT_EQ(storagetest::unboundedBecause(raw, statements[0]), "") << statements[0];
    }
    storage::setTrace({});
    // The entries' buffer is never read into.
    EXPECT_EQ(buffer.CL_SIF, 12);
    EXPECT_EQ(std::string(buffer.CL_DOK.bytes.data(), 5), "typed");
    // A line written since is found at once.
    store(1, 3, 10, 1, 2);
    EXPECT_EQ(next.Read({1, 3}), 2);
}

}  // namespace
