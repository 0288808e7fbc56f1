// The dictionary's per-thread objects over the real storage: building and
// ending them per thread, keys and relations as the files declare them, and
// the access objects' roads (priming, changes, deletions, opens) on the
// database file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "framework/globals.h"
#include "runtime/dialogs.h"
#include "runtime/threads.h"
#include "support/temp_dir.h"

namespace {

using storagetest::RawDb;
using V = std::vector<std::string>;

class DictionaryTest : public ::testing::Test {
  protected:
    struct Shown {
        std::string title, text;
    };
    std::vector<Shown> shown;
    std::deque<rt::Button> answers;
    std::vector<int> exits;

    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        GlobalErrors().Init(&GlobalErrorStatus);
        rt::setMessageHandler([this](const rt::MessageRequest& r) {
            shown.push_back({r.title, r.text});
            // Unscripted questions are answered No, so a retry loop that
            // never ends shows up as a failure rather than a hang.
            if (answers.empty() || shown.size() > 50)
                return (r.buttons & rt::ButtonNo) ? rt::ButtonNo : r.defaultButton;
            const rt::Button b = answers.front();
            answers.pop_front();
            return b;
        });
        rt::setFatalExitHook([this](int status) { exits.push_back(status); });
        DctInit();
    }
    void TearDown() override {
        DctKill();
        storage::setTrace({});
        storage::closeAllConnections();
        rt::setMessageHandler({});
        rt::setFatalExitHook({});
        if (std::filesystem::exists("Clanovi.sqlite")) {
            RawDb raw("Clanovi.sqlite", SQLITE_OPEN_READONLY);
            EXPECT_EQ(raw.scalar("PRAGMA integrity_check"), "ok");
        }
    }
    V titles() const {
        V out;
        for (const auto& s : shown) out.push_back(s.title);
        return out;
    }
    static V tables() {
        RawDb raw("Clanovi.sqlite", SQLITE_OPEN_READONLY);
        V out;
        for (auto& r :
             raw.query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"))
            out.push_back(r[0]);
        return out;
    }

    testsupport::TempDir dir_;
};

// --- the objects of a thread

TEST_F(DictionaryTest, DctInitBindsEveryFileToItsThreadsBufferAndStructure) {
    for (int i = 0; i < FileCount; ++i) {
        const auto id = static_cast<FileId>(i);
        FileManager* access = accessOf(id);
        RelationManager* relate = relateOf(id);
        ASSERT_NE(access, nullptr);
        ASSERT_NE(relate, nullptr);
        EXPECT_EQ(relate->Me, access);
        EXPECT_EQ(access->File, &fileStructure(id));
        EXPECT_EQ(access->Buffer, fileStructure(id).record());
        EXPECT_EQ(access->FileNameValue, fileDef(id).label);
        EXPECT_TRUE(relate->UseLogout);
        EXPECT_EQ(relate->LogoutTimeout, 2);
        EXPECT_TRUE(access->LazyOpen);
        EXPECT_FALSE(access->Initialized);  // keys come with the first use
        EXPECT_TRUE(access->Keys().empty());
        EXPECT_FALSE(relate->RelationsAdded());
    }
    EXPECT_EQ(Access::CLANOVI->Buffer, &CLA);
    EXPECT_EQ(Access::PLANSA->Buffer, &PLA1);
    EXPECT_EQ(Access::PLAND->Buffer, &PLA);
    EXPECT_EQ(Access::CLANAR->Buffer, &CLA1);

    // Initialised in the dictionary's order, the reverse of the declaration order.
    V order;
    for (FileManager* m : FileManager::ThreadManagers()) order.push_back(m->FileNameValue);
    EXPECT_EQ(order,
              (V{"PLAND", "CLANAR", "DOKAN", "NACION", "CLANOVI", "ZVANJA", "NACUC", "PODPOS",
                 "STUPEM", "PLANSA", "BRAST", "ANGAZOV", "POHNAG", "TURPOS", "KATEG", "DATAZUR"}));

    FileManager* before = Access::CLANOVI;
    DctInit();  // a second call on the same thread changes nothing
    EXPECT_EQ(Access::CLANOVI, before);

    DctKill();
    EXPECT_TRUE(FileManager::ThreadManagers().empty());
    for (int i = 0; i < FileCount; ++i) {
        EXPECT_EQ(accessOf(static_cast<FileId>(i)), nullptr);
        EXPECT_EQ(relateOf(static_cast<FileId>(i)), nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists("Clanovi.sqlite"));  // nothing was opened
}

TEST(DictionaryThreads, EachThreadBuildsItsOwnObjectsAndBuffersAndEndsThem) {
    testsupport::TempDir dir;
    rt::clearComponents();
    installFrameworkComponents();
    installDictionaryComponents();
    FileManager* mine = nullptr;
    FileManager* theirs = nullptr;
    FileManager* theirsAtEnd = reinterpret_cast<FileManager*>(1);
    bool builtBeforeBody = true;
    std::string theirSurname = "unset";
    std::int32_t theirCode = -1;
    rt::runProcess([&] {
        // Thread 1: the program body builds the objects itself.
        builtBeforeBody = Access::CLANOVI != nullptr;
        DctInit();
        mine = Access::CLANOVI;
        CLA.M1_PRE = "Hodžić";
        CLA.M1_SIF = 12;
        rt::startThread([&] {
            // Built by the thread start, before the procedure runs.
            theirs = Access::CLANOVI;
            theirSurname = std::string(CLA.M1_PRE.view());
            theirCode = CLA.M1_SIF;
        });
        rt::joinAllThreads();
        theirsAtEnd = Access::CLANOVI;  // thread 1's own, untouched by the other's end
    });
    EXPECT_FALSE(builtBeforeBody);
    ASSERT_NE(mine, nullptr);
    ASSERT_NE(theirs, nullptr);
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(theirSurname, std::string(25, ' '));
    EXPECT_EQ(theirCode, 0);
    EXPECT_EQ(theirsAtEnd, mine);
    EXPECT_EQ(Access::CLANOVI, nullptr);  // thread 1's DctKill ran at process end
    EXPECT_EQ(Relate::CLANOVI, nullptr);
    rt::clearComponents();
}

TEST(DictionaryThreads, TwoThreadsNumberingTheSameFileNeverShareACode) {
    testsupport::TempDir dir;
    ASSERT_EQ(storage::sqlite().code, 0);
    storage::install();
    rt::clearComponents();
    installFrameworkComponents();
    rt::installFileComponents();
    installDictionaryComponents();
    std::atomic<int> failures{0};
    // Three collisions in a row ask "Auto Increment Error": try again.
    rt::setMessageHandler([&](const rt::MessageRequest& r) {
        return (r.buttons & rt::ButtonYes) ? rt::ButtonYes : r.defaultButton;
    });
    constexpr int Each = 25;
    rt::runProcess([&] {
        DctInit();
        for (int t = 0; t < 2; ++t) {
            rt::startThread([&] {
                if (Relate::PLAND->Open() != Level::Benign) {
                    ++failures;
                    return;
                }
                for (int i = 0; i < Each; ++i) {
                    if (Access::PLAND->PrimeRecord() != Level::Benign) ++failures;
                    PLA.P1_NPD = "Klub";
                    if (Relate::PLAND->Insert() != Level::Benign) ++failures;
                }
                Relate::PLAND->Close();
            });
        }
        rt::joinAllThreads();
    });
    rt::clearComponents();
    rt::setMessageHandler({});
    storage::closeAllConnections();
    EXPECT_EQ(failures, 0);
    RawDb raw("Clanovi.sqlite", SQLITE_OPEN_READONLY);
    EXPECT_EQ(
        raw.scalar("SELECT count(DISTINCT P1_SIP) || ' ' || min(P1_SIP) || ' ' || max(P1_SIP) "
                   "FROM PLAND WHERE trim(P1_NPD) = 'Klub'"),
        "50 1 50");
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM PLAND"), "50");
    EXPECT_EQ(raw.scalar("PRAGMA integrity_check"), "ok");
}

TEST_F(DictionaryTest, KeysAreRegisteredOnceOnTheFirstUse) {
    ASSERT_EQ(Access::KATEG->UseFile(), 0);
    ASSERT_EQ(Access::KATEG->Keys().size(), 1u);
    EXPECT_EQ(Access::KATEG->Keys()[0].description, "KAT:KeyK1_SIK");
    EXPECT_TRUE(Access::KATEG->Keys()[0].autoInc);
    EXPECT_EQ(Access::KATEG->Create, 1);
    EXPECT_EQ(Access::KATEG->LockRecover, 10);

    for (int i = 0; i < 3; ++i) ASSERT_EQ(Access::CLANAR->UseFile(), 0);
    V clanar;
    for (const auto& k : Access::CLANAR->Keys()) {
        clanar.push_back(k.description);
        EXPECT_FALSE(k.autoInc);
    }
    EXPECT_EQ(clanar, (V{"CLA1:KeyCL_UKP", "CLA1:KeyCL_SIP", "CLA1:KeyCL_SIF", "CLA1:KeyCL_SIK"}));

    // Members: fourteen keys; the fourth, the primary key, numbers new members.
    ASSERT_EQ(Access::CLANOVI->UseFile(UseType::Initialize), 0);
    const auto& keys = Access::CLANOVI->Keys();
    ASSERT_EQ(keys.size(), 14u);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i].autoInc, i == 3) << i;
    EXPECT_EQ(keys[3].description, "CLA:KeyM1_SIF");
    EXPECT_EQ(keys[3].key.index, CLANOVI.KeyM1_SIF.index);
}

TEST_F(DictionaryTest, RelationListsFollowTheDictionary) {
    // Related file and side of each entry, in the order the entries are added.
    const std::vector<std::pair<FileId, V>> expected = {
        {FileId::DATAZUR, {"CLANOVI one"}},
        {FileId::KATEG, {"CLANAR one", "CLANOVI one"}},
        {FileId::TURPOS, {"ANGAZOV one"}},
        {FileId::ANGAZOV, {"TURPOS parent", "PLAND parent", "CLANOVI parent", "PLANSA parent"}},
        {FileId::BRAST, {"CLANOVI one"}},
        {FileId::PLANSA, {"CLANOVI one", "CLANAR one", "ANGAZOV one"}},
        {FileId::STUPEM, {"CLANOVI one"}},
        {FileId::PODPOS, {"CLANOVI one"}},
        {FileId::NACUC, {"CLANOVI one"}},
        {FileId::CLANOVI,
         {"PLANSA parent", "NACUC parent", "KATEG parent", "STUPEM parent", "CLANAR one",
          "PODPOS parent", "ANGAZOV one", "PLAND parent", "BRAST parent", "NACION parent",
          "DATAZUR parent"}},
        {FileId::NACION, {"CLANOVI one"}},
        {FileId::CLANAR, {"KATEG parent", "PLANSA parent", "PLAND parent", "CLANOVI parent"}},
        {FileId::PLAND, {"CLANAR one", "ANGAZOV one", "CLANOVI one"}},
        {FileId::POHNAG, {}},
        {FileId::ZVANJA, {}},
        {FileId::DOKAN, {}},
    };
    for (const auto& [id, entries] : expected) {
        RelationManager* r = relateOf(id);
        ASSERT_EQ(r->Open(), Level::Benign) << fileDef(id).label;
        V got;
        for (const auto& e : r->Relations()) {
            got.push_back(e.related->Me->FileNameValue + (e.oneSide ? " one" : " parent"));
            EXPECT_EQ(e.updateRule, RI::None);
            EXPECT_EQ(e.deleteRule, RI::None);
            EXPECT_EQ(e.oneSide, !e.links.empty());
        }
        EXPECT_EQ(got, entries) << fileDef(id).label;
        ASSERT_EQ(r->Close(), Level::Benign);
    }
    // A one-side entry carries its key and its linking fields in order.
    const auto& toMembers = Relate::DATAZUR->Relations()[0];
    EXPECT_EQ(toMembers.key.file, &CLANOVI);
    EXPECT_EQ(toMembers.key.index, CLANOVI.KeyM1_UKUPNO.index);
    ASSERT_EQ(toMembers.links.size(), 2u);
    EXPECT_STREQ(DATAZUR.def().fields[toMembers.links[1].first.index].label, "DAT:DAN_SIP");
    EXPECT_STREQ(CLANOVI.def().fields[toMembers.links[1].second.index].label, "CLA:M1_SIP");
    // Everything opened above is closed again.
    for (int i = 0; i < FileCount; ++i) EXPECT_EQ(accessOf(static_cast<FileId>(i))->OpenCount(), 0);
}

// --- on the database

TEST_F(DictionaryTest, OpeningMembersCreatesOnlyTheirTableUntilARelatedFileIsUsed) {
    ASSERT_EQ(Relate::CLANOVI->Open(), Level::Benign);
    EXPECT_EQ(tables(), V{"CLANOVI"});
    EXPECT_EQ(Access::NACION->OpenCount(), 1);
    EXPECT_FALSE(Access::NACION->OpenInDatabase());

    NAC.N1_SIN = 3;
    EXPECT_EQ(Access::NACION->TryFetch(NACION.KeyN1_SIN), Level::Notify);  // empty, but there
    EXPECT_EQ(tables(), (V{"CLANOVI", "NACION"}));
    ASSERT_EQ(Relate::CLANOVI->Close(), Level::Benign);
    EXPECT_FALSE(Access::NACION->OpenInDatabase());
    EXPECT_FALSE(Access::CLANOVI->OpenInDatabase());
    EXPECT_TRUE(shown.empty());
}

TEST_F(DictionaryTest, AMemberIsPrimedWithFederationAndClubOneAndTheNextCode) {
    ASSERT_EQ(Relate::CLANOVI->Open(), Level::Benign);
    CLA.M1_PRE = "Leftover";
    CLA.M1_SPS = 4;
    ASSERT_EQ(Access::CLANOVI->PrimeRecord(), Level::Benign);
    EXPECT_EQ(CLA.M1_SPS, 1);
    EXPECT_EQ(CLA.M1_SIP, 1);
    EXPECT_EQ(CLA.M1_SIF, 1);
    EXPECT_TRUE(CLA.M1_PRE.blank());

    RawDb raw("Clanovi.sqlite");
    ASSERT_EQ(raw.exec("INSERT INTO CLANOVI (M1_SIF) VALUES (7)"), SQLITE_OK);
    ASSERT_EQ(Access::CLANOVI->PrimeRecord(), Level::Benign);
    EXPECT_EQ(CLA.M1_SIF, 8);
    // The reserved rows are in the table at once, with the defaults.
    EXPECT_EQ(
        raw.query("SELECT M1_SIF, M1_SPS, M1_SIP FROM CLANOVI WHERE M1_SPS = 1 ORDER BY M1_SIF"),
        (std::vector<V>{{"1", "1", "1"}, {"8", "1", "1"}}));

    // Leaving the form removes the reservation, whatever the code entry says.
    CLA.M1_SIF = 99;
    ASSERT_EQ(Relate::CLANOVI->CancelAutoInc(), Level::Benign);
    EXPECT_EQ(
        raw.scalar("SELECT group_concat(M1_SIF) FROM (SELECT M1_SIF FROM CLANOVI ORDER BY 1)"),
        "1,7");
    ASSERT_EQ(Relate::CLANOVI->Close(), Level::Benign);
}

TEST_F(DictionaryTest, AutoNumberingStopsAtTheLargestCode) {
    ASSERT_EQ(Relate::PLAND->Open(), Level::Benign);
    RawDb raw("Clanovi.sqlite");
    ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD) VALUES (2147483647, 'Zadnji')"),
              SQLITE_OK);
    answers = {rt::ButtonNo};
    EXPECT_NE(Access::PLAND->PrimeRecord(), Level::Benign);
    ASSERT_EQ(titles(), V{"Auto Increment Error"});
    EXPECT_NE(shown[0].text.find("Key: PLA:KeyP1_SIP"), std::string::npos) << shown[0].text;
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM PLAND"), "1");
    EXPECT_EQ(raw.scalar("SELECT min(P1_SIP) FROM PLAND"), "2147483647");
    ASSERT_EQ(Relate::PLAND->Close(), Level::Benign);
}

TEST_F(DictionaryTest, AChangeWritesOnlyTheChangedColumnsAndMovesARenumberedRow) {
    ASSERT_EQ(Relate::PLAND->Open(), Level::Benign);
    RawDb raw("Clanovi.sqlite");
    ASSERT_EQ(raw.exec("INSERT INTO PLAND VALUES (5, 'Bjelašnica', 'Adresa', 'Sarajevo', '1', 0, "
                       "'033', '', '', '')"),
              SQLITE_OK);
    PLA.P1_SIP = 5;
    ASSERT_EQ(Access::PLAND->Fetch(PLAND.KeyP1_SIP), Level::Benign);
    // Another station changes the address meanwhile; a change of the phone
    // alone must not write it back.
    ASSERT_EQ(raw.exec("UPDATE PLAND SET P1_ADR = 'Nova' WHERE P1_SIP = 5"), SQLITE_OK);
    std::vector<std::string> statements;
    storage::setTrace([&](const std::string& sql, const std::vector<std::string>&) {
        if (sql.rfind("UPDATE", 0) == 0) statements.push_back(sql);
    });
    PLA.P1_TEL = "033 111";
    ASSERT_EQ(Relate::PLAND->Update(), Level::Benign);
    ASSERT_EQ(statements.size(), 1u);
    EXPECT_NE(statements[0].find("P1_TEL"), std::string::npos) << statements[0];
    EXPECT_EQ(statements[0].find("P1_ADR"), std::string::npos) << statements[0];
    EXPECT_EQ(raw.query("SELECT trim(P1_ADR), trim(P1_TEL) FROM PLAND"),
              (std::vector<V>{{"Nova", "033 111"}}));

    PLA.P1_SIP = 40;  // a new code moves the row
    ASSERT_EQ(Relate::PLAND->Update(), Level::Benign);
    EXPECT_EQ(raw.query("SELECT P1_SIP, trim(P1_TEL) FROM PLAND"),
              (std::vector<V>{{"40", "033 111"}}));
    EXPECT_TRUE(shown.empty());
    ASSERT_EQ(Relate::PLAND->Close(), Level::Benign);
}

TEST_F(DictionaryTest, AChangeOrDeletionThatReachesNoRowFails) {
    ASSERT_EQ(Relate::PLAND->Open(), Level::Benign);
    RawDb raw("Clanovi.sqlite");
    ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD) VALUES (5, 'Treskavica')"), SQLITE_OK);
    PLA.P1_SIP = 5;
    ASSERT_EQ(Access::PLAND->Fetch(PLAND.KeyP1_SIP), Level::Benign);
    ASSERT_EQ(raw.exec("DELETE FROM PLAND"), SQLITE_OK);  // another station

    PLA.P1_NPD = "Promijenjen";
    answers = {rt::ButtonOk, rt::ButtonNo};
    EXPECT_EQ(Relate::PLAND->Update(), Level::Cancel);
    EXPECT_EQ(titles(), (V{"Record was not updated", "Record Update Error"}));

    shown.clear();
    answers = {rt::ButtonYes, rt::ButtonOk, rt::ButtonNo};
    EXPECT_EQ(Relate::PLAND->Delete(), Level::Notify);
    EXPECT_EQ(titles(), (V{"Confirm Delete", "Record was not deleted", "Record Delete Error"}));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM PLAND"), "0");  // nothing came back
    ASSERT_EQ(Relate::PLAND->Close(), Level::Benign);
}

TEST_F(DictionaryTest, AMissingColumnEndsTheProgramWithInvalidFileAnExtraOneIsFine) {
    {
        RawDb raw("Clanovi.sqlite");
        // DOKAN with an extra column, CLANOVI without M1_NAP.
        ASSERT_EQ(raw.exec("CREATE TABLE DOKAN (D1_SIP INTEGER, D1_BRJ INTEGER, EXTRA TEXT, "
                           "PRIMARY KEY(D1_SIP))"),
                  SQLITE_OK);
        std::string columns;
        for (const auto& f : CLANOVI_Def.fields)
            if (std::string(f.column) != "M1_NAP")
                columns += std::string(columns.empty() ? "" : ",") + f.column;
        ASSERT_EQ(raw.exec("CREATE TABLE CLANOVI (" + columns + ", PRIMARY KEY(M1_SIF))"),
                  SQLITE_OK);
    }
    ASSERT_EQ(Relate::DOKAN->Open(), Level::Benign);
    EXPECT_TRUE(shown.empty());
    ASSERT_EQ(Relate::DOKAN->Close(), Level::Benign);

    EXPECT_EQ(Relate::CLANOVI->Open(), Level::Fatal);
    ASSERT_EQ(titles(), V{"Invalid File"});
    EXPECT_NE(shown[0].text.find("CLANOVI has an invalid File structure."), std::string::npos);
    EXPECT_NE(shown[0].text.find("47"), std::string::npos) << shown[0].text;
    EXPECT_NE(shown[0].text.find("M1_NAP"), std::string::npos) << shown[0].text;
    EXPECT_EQ(exits, std::vector<int>{FatalExitStatus});
    EXPECT_EQ(Access::CLANOVI->OpenCount(), 0);
}

TEST_F(DictionaryTest, AFileThatIsNotADatabaseIsAFatalFileAccessError) {
    testsupport::writeFile("Clanovi.sqlite", std::string(4096, 'x'));
    EXPECT_EQ(Relate::BRAST->Open(), Level::Fatal);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().title, "File Access Error");
    EXPECT_EQ(exits, std::vector<int>{FatalExitStatus});
    EXPECT_EQ(testsupport::readFile("Clanovi.sqlite"), std::string(4096, 'x'));  // left alone
    std::filesystem::remove("Clanovi.sqlite");  // so the integrity check skips it
}

TEST_F(DictionaryTest, ADuplicateLedgerLineIsRefused) {
    ASSERT_EQ(Relate::CLANAR->Open(), Level::Benign);
    CLA1.CL_SPS = 1;
    CLA1.CL_SIP = 2;
    CLA1.CL_SIF = 3;
    CLA1.CL_DAD = 80000;
    CLA1.CL_RED = 1;
    CLA1.CL_DUG = rt::Money{1234};
    ASSERT_EQ(Relate::CLANAR->Insert(), Level::Benign);
    CLA1.CL_DUG = rt::Money{999};
    EXPECT_EQ(Relate::CLANAR->Insert(), Level::Notify);
    ASSERT_EQ(titles(), V{"Duplicate Key Error"});
    EXPECT_EQ(shown[0].text,
              "Adding this record creates a duplicate entry for the key: CLA1:KeyCL_UKP");
    RawDb raw("Clanovi.sqlite", SQLITE_OPEN_READONLY);
    EXPECT_EQ(raw.query("SELECT CL_DUG FROM CLANAR"), (std::vector<V>{{"12.34"}}));
    ASSERT_EQ(Relate::CLANAR->Close(), Level::Benign);
}

}  // namespace
