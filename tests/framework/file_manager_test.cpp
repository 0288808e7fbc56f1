// FileManager and RelationManager over an in-memory storage whose faults are
// scripted: auto-numbering, fetches, inserts over a reserved row, changes and
// deletions in transactions, counted opens through relations and the open
// road with its messages.
#include <gtest/gtest.h>

#include <cstddef>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "framework/file_manager.h"
#include "framework/globals.h"
#include "framework/relation_manager.h"
#include "runtime/dialogs.h"
#include "tests/framework/file_manager_fake_storage.h"

namespace {

struct CodeRec {
    std::int32_t SIF = 0;
    rt::Text<10> NAZ;
    rt::Money IZN;
};

struct ItemRec {
    std::int32_t RED = 0;
    std::int32_t SIF = 0;
    rt::Text<5> TXT;
};

rt::KeyDef keyDef(const char* label, std::vector<int> fields, bool primary, bool autoNumber) {
    rt::KeyDef k;
    k.label = label;
    k.name = label;
    k.fields = std::move(fields);
    k.primary = k.unique = primary;
    k.noCase = true;
    k.autoNumber = autoNumber;
    return k;
}

rt::FileDef makeCodes() {
    rt::FileDef d;
    d.label = "CODES";
    d.prefix = "COD";
    d.fields = {RT_FIELD(CodeRec, SIF, "COD:SIF", "@n_3"),
                RT_FIELD(CodeRec, NAZ, "COD:NAZ", "@s10"),
                RT_FIELD(CodeRec, IZN, "COD:IZN", "@n-14.`2")};
    d.keys = {keyDef("COD:KeySIF", {0}, true, true), keyDef("COD:KeyNAZ", {1}, false, false)};
    d.recordSize = sizeof(CodeRec);
    return d;
}

rt::FileDef makeItems(const char* label) {
    rt::FileDef d;
    d.label = label;
    d.prefix = "ITM";
    d.fields = {RT_FIELD(ItemRec, RED, "ITM:RED", "@n_3"),
                RT_FIELD(ItemRec, SIF, "ITM:SIF", "@n_3"),
                RT_FIELD(ItemRec, TXT, "ITM:TXT", "@s5")};
    d.keys = {keyDef("ITM:KeyRED", {0}, true, false), keyDef("ITM:KeySIF", {1}, false, false)};
    d.recordSize = sizeof(ItemRec);
    return d;
}

const rt::FileDef CODES_Def = makeCodes();
const rt::FileDef ITEMS_Def = makeItems("ITEMS");
const rt::FileDef NOTES_Def = makeItems("NOTES");

fake::Row rowOf(const CodeRec& r) {
    const char* p = reinterpret_cast<const char*>(&r);
    return fake::Row(p, p + sizeof r);
}

CodeRec codeOf(const fake::Row& row) {
    CodeRec r;
    std::memcpy(&r, row.data(), sizeof r);
    return r;
}

void setUpManager(FileManager& fm, rt::FileStructure& fs, const char* name) {
    fm.Buffer = fs.record();
    fm.FileNameValue = name;
    fm.File = &fs;
    fm.Init();
    fm.Init(fs, GlobalErrors());
    const auto& keys = fs.def().keys;
    for (std::size_t i = 0; i < keys.size(); ++i)
        fm.AddKey(fs.key(static_cast<int>(i)), keys[i].label, keys[i].autoNumber);
}

class FileManagerTest : public ::testing::Test {
  protected:
    using V = std::vector<std::string>;
    std::shared_ptr<fake::Storage> store = std::make_shared<fake::Storage>();
    CodeRec code;
    ItemRec item, note;
    rt::FileStructure codes{CODES_Def, &code};
    rt::FileStructure items{ITEMS_Def, &item};
    rt::FileStructure notes{NOTES_Def, &note};
    FileManager codesFm, itemsFm, notesFm;
    RelationManager codesRm, itemsRm, notesRm;

    struct Shown {
        std::string title, text;
        std::string lastStatement;  // the last one CODES had when the box showed
    };
    std::vector<Shown> shown;
    std::deque<rt::Button> answers;
    std::vector<int> exits;

    void SetUp() override {
        rt::setStorageDriver(store);
        GlobalErrors().Init(&GlobalErrorStatus);
        rt::setMessageHandler([this](const rt::MessageRequest& r) {
            const V verbs = store->verbs("CODES");
            shown.push_back({r.title, r.text, verbs.empty() ? "" : verbs.back()});
            // Unscripted questions are answered No, so a retry loop that
            // never ends shows up as a failure rather than a hang.
            if (answers.empty() || shown.size() > 50)
                return (r.buttons & rt::ButtonNo) ? rt::ButtonNo : r.defaultButton;
            const rt::Button b = answers.front();
            answers.pop_front();
            return b;
        });
        rt::setFatalExitHook([this](int status) { exits.push_back(status); });
        setUpManager(codesFm, codes, "CODES");
        setUpManager(itemsFm, items, "ITEMS");
        setUpManager(notesFm, notes, "NOTES");
        codesRm.Init(codesFm, true);
        itemsRm.Init(itemsFm, true);
        notesRm.Init(notesFm, true);
    }
    void TearDown() override {
        for (RelationManager* r : {&codesRm, &itemsRm, &notesRm}) r->Kill();
        for (FileManager* f : {&codesFm, &itemsFm, &notesFm}) f->Kill();
        rt::setStorageDriver(nullptr);
        rt::setMessageHandler({});
        rt::setFatalExitHook({});
    }

    void store_(std::int32_t sif, const char* naz) {
        CodeRec r;
        r.SIF = sif;
        r.NAZ = naz;
        store->table("CODES").rows.push_back(rowOf(r));
    }
    // CODES open through its relation object, row 3 stored and fetched.
    void openOnThree() {
        ASSERT_EQ(codesRm.Open(), Level::Benign);
        store_(3, "three");
        code.SIF = 3;
        ASSERT_EQ(codesFm.Fetch(codes.key(0)), Level::Benign);
    }
    std::vector<std::int32_t> storedCodes() {
        std::vector<std::int32_t> out;
        for (const auto& r : store->rowsOf(CODES_Def)) out.push_back(codeOf(r).SIF);
        return out;
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.title);
        return out;
    }
    using C = std::vector<std::int32_t>;
};

// --- auto-numbering

TEST_F(FileManagerTest, PrimingReservesHighestPlusOneAndStoresTheRowAtOnce) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    code.NAZ = "left over";
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(code.SIF, 1);  // an empty table starts at 1
    EXPECT_TRUE(code.NAZ.blank());
    EXPECT_EQ(storedCodes(), C{1});
    EXPECT_TRUE(codesFm.Reserved());

    store_(2, "b");
    store_(7, "g");
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(code.SIF, 8);  // gaps are not reused
    EXPECT_EQ(storedCodes(), (C{1, 2, 7, 8}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(FileManagerTest, PrimingTakesANewCodeWhenAnotherStationStoredItFirst) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store_(4, "d");
    int races = 0;
    store->beforeInsert = [&](const std::string& file, const fake::Row& row) {
        if (file != "CODES" || races++ > 0) return;
        CodeRec theirs = codeOf(row);  // the same code, stored a moment earlier
        theirs.NAZ = "theirs";
        store->table("CODES").rows.push_back(rowOf(theirs));
    };
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(code.SIF, 6);
    EXPECT_EQ(storedCodes(), (C{4, 5, 6}));
    EXPECT_TRUE(shown.empty());  // a failed attempt alone asks nothing
}

TEST_F(FileManagerTest, PrimingAsksAfterEveryThirdFailedAttempt) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    // Yes: three more attempts, of which the fifth succeeds.
    store->insertResults["CODES"] = {90, 90, 90, 90};
    answers = {rt::ButtonYes};
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(titles(), V{"Auto Increment Error"});
    EXPECT_NE(shown[0].text.find("Key: COD:KeySIF"), std::string::npos) << shown[0].text;
    EXPECT_NE(shown[0].text.find("The database file is locked (-5)"), std::string::npos);
    EXPECT_EQ(storedCodes(), C{1});

    // No: the priming fails and nothing more is stored.
    shown.clear();
    store->insertResults["CODES"] = {90, 90, 90};
    answers = {rt::ButtonNo};
    EXPECT_NE(codesFm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(titles(), V{"Auto Increment Error"});
    EXPECT_EQ(storedCodes(), C{1});
    EXPECT_FALSE(codesFm.Reserved());
}

TEST_F(FileManagerTest, PrimingStopsAtTheLargestCodeInsteadOfWrapping) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store_(std::numeric_limits<std::int32_t>::max(), "last");
    answers = {rt::ButtonYes, rt::ButtonNo};  // trying again cannot help
    EXPECT_NE(codesFm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(titles(), (V{"Auto Increment Error", "Auto Increment Error"}));
    EXPECT_EQ(storedCodes(), C{std::numeric_limits<std::int32_t>::max()});
    EXPECT_FALSE(codesFm.Reserved());
}

TEST_F(FileManagerTest, PrimingReportsAFailedReadAndStoresNothing) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store->scanResults["CODES"] = {90};
    EXPECT_NE(codesFm.PrimeRecord(), Level::Benign);
    ASSERT_EQ(titles(), V{"Record Retrieval Error"});
    EXPECT_NE(shown[0].text.find("from the CODES file"), std::string::npos);
    EXPECT_TRUE(storedCodes().empty());
}

// --- fetches

TEST_F(FileManagerTest, TryFetchKeepsTheBufferOnAMissAndFetchClearsIt) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store_(3, "three");
    code.SIF = 3;
    ASSERT_EQ(codesFm.TryFetch(codes.key(0)), Level::Benign);
    EXPECT_EQ(code.NAZ, "three");

    code.SIF = 9;
    EXPECT_NE(codesFm.TryFetch(codes.key(0)), Level::Benign);
    EXPECT_EQ(code.SIF, 9);
    EXPECT_EQ(code.NAZ, "three");

    EXPECT_NE(codesFm.Fetch(codes.key(0)), Level::Benign);
    EXPECT_EQ(code.SIF, 0);
    EXPECT_TRUE(code.NAZ.blank());
    EXPECT_TRUE(shown.empty());  // neither shows anything
}

// --- insert over the reserved row

TEST_F(FileManagerTest, InsertWritesOverTheReservedRowUnderTheCodeTheFormHolds) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store_(1, "one");
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    ASSERT_EQ(code.SIF, 2);
    code.SIF = 40;  // the user typed another code
    code.NAZ = "forty";
    ASSERT_EQ(codesRm.Insert(), Level::Benign);
    EXPECT_EQ(storedCodes(), (C{1, 40}));
    EXPECT_EQ(codeOf(store->rowsOf(CODES_Def)[1]).NAZ, "forty");
    EXPECT_FALSE(codesFm.Reserved());
    // Inserts run without a transaction.
    for (const auto& v : store->verbs("CODES")) EXPECT_NE(v, "BEGIN");
}

TEST_F(FileManagerTest, InsertOfAVanishedReservedRowAddsIt) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    store->table("CODES").rows.clear();  // another station removed it
    code.NAZ = "kept";
    ASSERT_EQ(codesRm.Insert(), Level::Benign);
    ASSERT_EQ(storedCodes(), C{1});
    EXPECT_EQ(codeOf(store->rowsOf(CODES_Def)[0]).NAZ, "kept");
}

TEST_F(FileManagerTest, DuplicateCodeIsReportedAndCancellingRemovesOnlyTheReservedRow) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store_(1, "one");
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    code.SIF = 1;  // another row's code
    code.NAZ = "clash";
    EXPECT_EQ(codesRm.Insert(), Level::Notify);
    ASSERT_EQ(titles(), V{"Duplicate Key Error"});
    EXPECT_EQ(shown[0].text,
              "Adding this record creates a duplicate entry for the key: COD:KeySIF");
    EXPECT_TRUE(codesFm.Reserved());

    // Leaving the form removes the row stored under the reserved code, 2,
    // whatever the code entry holds; row 1 stays as it was.
    ASSERT_EQ(codesRm.CancelAutoInc(), Level::Benign);
    ASSERT_EQ(storedCodes(), C{1});
    EXPECT_EQ(codeOf(store->rowsOf(CODES_Def)[0]).NAZ, "one");
    EXPECT_EQ(store->verbs("CODES").back(), "COMMIT");
    EXPECT_FALSE(codesFm.Reserved());
}

TEST_F(FileManagerTest, InsertFailureOtherThanADuplicateIsARecordInsertError) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    code.SIF = 5;
    store->insertResults["CODES"] = {90};
    EXPECT_EQ(codesRm.Insert(), Level::Notify);
    ASSERT_EQ(titles(), V{"Record Insert Error"});
    EXPECT_NE(shown[0].text.find("File: CODES"), std::string::npos);
    EXPECT_TRUE(storedCodes().empty());
}

TEST_F(FileManagerTest, CancellingAReservedRowThatIsGoneCountsAsDone) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    ASSERT_EQ(codesFm.PrimeRecord(), Level::Benign);
    store->table("CODES").rows.clear();
    EXPECT_EQ(codesRm.CancelAutoInc(), Level::Benign);
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(codesFm.Reserved());
}

// --- changes and deletions

TEST_F(FileManagerTest, UpdateWritesOnlyTheChangedColumnsInATransaction) {
    ASSERT_NO_FATAL_FAILURE(openOnThree());
    code.IZN = rt::Money{1234};
    ASSERT_EQ(codesRm.Update(), Level::Benign);
    const auto& last = store->log[store->log.size() - 2];
    EXPECT_EQ(last.verb, "UPDATE");
    EXPECT_EQ(last.columns, V{"IZN"});
    EXPECT_EQ(store->verbs("CODES").back(), "COMMIT");

    // A changed code moves the row.
    code.SIF = 30;
    ASSERT_EQ(codesRm.Update(), Level::Benign);
    EXPECT_EQ(storedCodes(), C{30});
    EXPECT_EQ(codeOf(store->rowsOf(CODES_Def)[0]).IZN.cents, 1234);
}

TEST_F(FileManagerTest, UpdateThatReachesNoRowFailsAndAsksToTryAgain) {
    ASSERT_NO_FATAL_FAILURE(openOnThree());
    store->table("CODES").rows.clear();  // deleted by another station
    code.NAZ = "changed";

    struct Case {
        rt::Button answer;
        Level result;
    };
    for (const Case c :
         {Case{rt::ButtonNo, Level::Cancel}, Case{rt::ButtonCancel, Level::Notify}}) {
        shown.clear();
        answers = {rt::ButtonOk, c.answer};
        EXPECT_EQ(codesRm.Update(), c.result);
        EXPECT_EQ(titles(), (V{"Record was not updated", "Record Update Error"}));
        EXPECT_NE(shown[0].text.find("Record Not Available (33)"), std::string::npos)
            << shown[0].text;
        EXPECT_EQ(store->verbs("CODES").back(), "ROLLBACK");
        EXPECT_TRUE(storedCodes().empty());  // nothing came back to life
    }
    // Not from a form: the notice only.
    shown.clear();
    EXPECT_EQ(codesRm.Update(false), Level::Notify);
    EXPECT_EQ(titles(), V{"Record was not updated"});
}

TEST_F(FileManagerTest, TransactionThatCannotBeginIsCancelledAndWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(openOnThree());
    code.NAZ = "changed";
    store->beginResults["CODES"] = {90, 90};
    EXPECT_EQ(codesRm.Update(), Level::Notify);
    EXPECT_EQ(codesRm.Delete(false), Level::Notify);
    EXPECT_EQ(titles(), (V{"Transaction cancelled", "Transaction cancelled"}));
    EXPECT_EQ(codeOf(store->rowsOf(CODES_Def)[0]).NAZ, "three");
}

// A COMMIT that fails (another process still reading when the wait ran
// out) is a failure as the write's own is: rolled back before the notice
// says so with the database's text, never taken for stored.
TEST_F(FileManagerTest, CommitThatFailsIsRolledBackAndReported) {
    ASSERT_NO_FATAL_FAILURE(openOnThree());
    code.NAZ = "changed";
    store->commitResults["CODES"] = {90, 90};
    answers = {rt::ButtonOk, rt::ButtonOk, rt::ButtonNo};
    EXPECT_EQ(codesRm.Update(false), Level::Notify);
    EXPECT_EQ(codesRm.Delete(false), Level::Notify);
    ASSERT_EQ(titles(),
              (V{"Record was not updated", "Record was not deleted", "Record Delete Error"}));
    for (const Shown& s : shown) {
        SCOPED_TRACE(s.title);
        EXPECT_EQ(s.lastStatement, "ROLLBACK");
    }
    for (std::size_t i : {0u, 1u})
        EXPECT_NE(shown[i].text.find("The database file is locked"), std::string::npos)
            << shown[i].text;
    ASSERT_EQ(storedCodes(), C{3});
    EXPECT_EQ(codeOf(store->rowsOf(CODES_Def)[0]).NAZ, "three");
}

TEST_F(FileManagerTest, DeleteAsksThenDeletesTheRowByItsPositionInATransaction) {
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    store_(3, "three");
    store_(4, "four");
    code.SIF = 3;
    ASSERT_EQ(codesFm.Fetch(codes.key(0)), Level::Benign);

    answers = {rt::ButtonNo};
    EXPECT_EQ(codesRm.Delete(), Level::Cancel);
    EXPECT_EQ(titles(), V{"Confirm Delete"});
    EXPECT_EQ(storedCodes(), (C{3, 4}));

    shown.clear();
    answers = {rt::ButtonYes};
    ASSERT_EQ(codesRm.Delete(), Level::Benign);
    EXPECT_EQ(titles(), V{"Confirm Delete"});
    EXPECT_EQ(storedCodes(), C{4});
    const auto verbs = store->verbs("CODES");
    EXPECT_EQ(V(verbs.end() - 3, verbs.end()), (V{"BEGIN", "DELETE", "COMMIT"}));
}

TEST_F(FileManagerTest, DeleteOfAVanishedRowFailsAndRetriesOnYes) {
    ASSERT_NO_FATAL_FAILURE(openOnThree());
    store->table("CODES").rows.clear();
    answers = {rt::ButtonOk, rt::ButtonYes, rt::ButtonOk, rt::ButtonNo};
    EXPECT_EQ(codesRm.Delete(false), Level::Notify);
    EXPECT_EQ(titles(), (V{"Record was not deleted", "Record Delete Error",
                           "Record was not deleted", "Record Delete Error"}));
}

// --- counted opens through relations

TEST_F(FileManagerTest, RelatedFilesCountAsOpenAndReachTheDatabaseOnFirstUse) {
    codesRm.AddRelation(itemsRm, RI::None, RI::None, items.key(1));
    codesRm.AddRelationLink(codes.field(0), items.field(1));
    itemsRm.AddRelation(codesRm);
    itemsRm.AddRelation(notesRm);

    ASSERT_EQ(codesRm.Open(), Level::Benign);
    EXPECT_TRUE(codesFm.OpenInDatabase());
    EXPECT_EQ(itemsFm.OpenCount(), 1);
    EXPECT_FALSE(itemsFm.OpenInDatabase());
    // ITEMS' own relations are not known yet, so NOTES is not reached.
    EXPECT_EQ(notesFm.OpenCount(), 0);
    EXPECT_EQ(codesRm.Relations()[0].openCount, 1);

    // Opening ITEMS itself learns its relations; CODES is not counted twice.
    ASSERT_EQ(itemsRm.Open(), Level::Benign);
    EXPECT_EQ(itemsFm.OpenCount(), 2);
    EXPECT_EQ(codesFm.OpenCount(), 2);
    EXPECT_EQ(notesFm.OpenCount(), 1);
    ASSERT_EQ(itemsRm.Close(), Level::Benign);
    EXPECT_EQ(notesFm.OpenCount(), 0);

    // A second open of CODES now reaches NOTES through ITEMS.
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    EXPECT_EQ(notesFm.OpenCount(), 1);
    EXPECT_EQ(itemsFm.OpenCount(), 2);
    ASSERT_EQ(codesRm.Close(), Level::Benign);

    // A direct read of the related file (as the entry windows do) opens it.
    item.SIF = 1;
    EXPECT_EQ(items.get(items.key(1)), rt::FileErr::RecordNotAvailable);  // a miss, but opened
    EXPECT_TRUE(itemsFm.OpenInDatabase());

    ASSERT_EQ(codesRm.Close(), Level::Benign);
    EXPECT_EQ(itemsFm.OpenCount(), 0);
    EXPECT_EQ(codesFm.OpenCount(), 0);
    EXPECT_EQ(notesFm.OpenCount(), 0);
    EXPECT_FALSE(itemsFm.OpenInDatabase());
    EXPECT_FALSE(codesFm.OpenInDatabase());
    EXPECT_EQ(codesRm.Relations()[0].openCount, 0);
}

TEST_F(FileManagerTest, RelationsAreAddedOnceOnFirstNeed) {
    struct Counting : RelationManager {
        int added = 0;
        void DeferedAddRelations() override { ++added; }
    } rm;
    rm.Init(codesFm, true);
    EXPECT_EQ(rm.added, 0);
    ASSERT_EQ(rm.Open(), Level::Benign);
    ASSERT_EQ(rm.Close(), Level::Benign);
    ASSERT_EQ(rm.Open(), Level::Benign);
    ASSERT_EQ(rm.Close(), Level::Benign);
    EXPECT_EQ(rm.added, 1);
    rm.Kill();
}

// --- the open road

TEST_F(FileManagerTest, MissingTableIsCreatedThenOpened) {
    store->missing("CODES");
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    EXPECT_EQ(store->verbs("CODES"), (V{"OPEN", "CREATE", "OPEN"}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(FileManagerTest, RefusedWriteAccessFallsBackToReadOnlyAfterANotice) {
    // Refused once: the retry after "Recover=10" gets through silently.
    store->openResults["CODES"] = {5};
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(store->openedMode["CODES"], rt::OpenMode::ReadWrite);
    ASSERT_EQ(codesRm.Close(), Level::Benign);

    // Refused twice: "Access Denied", then read-only.
    store->openResults["CODES"] = {5, 5};
    ASSERT_EQ(codesRm.Open(), Level::Benign);
    ASSERT_EQ(titles(), V{"Access Denied"});
    EXPECT_EQ(shown[0].text, "Could not get write access to CODES so trying read-only.");
    EXPECT_EQ(store->openedMode["CODES"], rt::OpenMode::ReadOnly);
    EXPECT_EQ(codesFm.OpenMode, rt::OpenMode::ReadOnly);
    EXPECT_TRUE(exits.empty());

    // Read-only: rows read as before, a write fails with a clear message.
    store_(3, "three");
    code.SIF = 3;
    EXPECT_EQ(codesFm.TryFetch(codes.key(0)), Level::Benign);
    EXPECT_EQ(code.NAZ, "three");
    shown.clear();
    code.SIF = 4;
    EXPECT_EQ(codesRm.Insert(), Level::Notify);
    ASSERT_EQ(titles(), V{"Record Insert Error"});
    EXPECT_NE(shown[0].text.find("Attempt to write a readonly database (-8)"), std::string::npos);
    EXPECT_EQ(storedCodes(), C{3});
}

TEST_F(FileManagerTest, OpenFailuresEndTheProgramWithTheirFatalMessage) {
    struct Case {
        std::deque<int> opens;
        std::deque<int> creates;
        const char* title;
    };
    const std::vector<Case> cases = {
        {{47}, {}, "Invalid File"},
        {{90}, {}, "File Access Error"},
        {{5, 5, 5}, {}, "File Access Error"},  // read-only refused as well
        {{2}, {90}, "File Creation Error"},
        {{2, 2}, {}, "File Access Error"},  // still missing after the create
    };
    for (const Case& c : cases) {
        shown.clear();
        exits.clear();
        store->openResults["CODES"] = c.opens;
        store->createResults["CODES"] = c.creates;
        codesFm.OpenMode = rt::OpenMode::ReadWrite;
        EXPECT_EQ(codesRm.Open(), Level::Fatal) << c.title;
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().title, c.title);
        EXPECT_NE(shown.back().text.find("Press OK to end this application"), std::string::npos);
        EXPECT_EQ(exits, std::vector<int>{FatalExitStatus});
        EXPECT_FALSE(codesFm.OpenInDatabase());
        EXPECT_EQ(codesFm.OpenCount(), 0);  // the failed open counted nothing
    }
}

TEST_F(FileManagerTest, SaveAndRestoreBuffer) {
    code.SIF = 5;
    code.NAZ = "saved";
    int id = codesFm.SaveBuffer();
    code.SIF = 6;
    code.NAZ = "changed";
    int other = codesFm.SaveBuffer();
    codesFm.RestoreBuffer(id);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(code.SIF, 5);
    EXPECT_EQ(code.NAZ, "saved");
    codesFm.RestoreBuffer(other, false);  // forgotten, not restored
    EXPECT_EQ(code.SIF, 5);
    codesFm.RestoreBuffer(other);  // already forgotten: nothing happens
    EXPECT_EQ(code.SIF, 5);
}

}  // namespace
