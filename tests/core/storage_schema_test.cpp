// Creating and opening tables: the statements, the column check, what an
// existing table or a foreign file does to an open.
#include <fstream>

#include "core/storage/sql.h"
#include "storage_fixture.h"

using namespace storagetest;

namespace {

std::vector<std::string> masterSql(RawDb& raw) {
    std::vector<std::string> out;
    for (auto& row :
         raw.query("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid"))
        out.push_back(row[0]);
    return out;
}

}  // namespace

TEST(StorageSql, StatementsFollowTheDescriptorsExactly) {
    EXPECT_EQ(storage::schemaSql(clubDef()),
              (std::vector<std::string>{
                  "CREATE TABLE PLAND (P1_SIP INTEGER,P1_NPD CHAR(50),P1_ADR CHAR(50),P1_SJD "
                  "CHAR(30),P1_BRG CHAR(20),P1_DAR INTEGER,P1_TEL CHAR(30),P1_FAX CHAR(30),P1_WEB "
                  "CHAR(30),P1_EML CHAR(30), PRIMARY KEY(P1_SIP ))",
                  "CREATE INDEX PLA_KEYP1_NPD ON PLAND (P1_NPD COLLATE NOCASE )"}));
    EXPECT_EQ(storage::schemaSql(ledgerDef()),
              (std::vector<std::string>{
                  "CREATE TABLE CLANAR (CL_SPS INTEGER,CL_SIP INTEGER,CL_SIF INTEGER,CL_RED "
                  "INTEGER,CL_SIK INTEGER,CL_DOK CHAR(25),CL_DAD INTEGER,CL_DUG "
                  "NUMBER(11,2),CL_POD NUMBER(11,2), PRIMARY KEY(CL_SPS ,CL_SIP ,CL_SIF ,CL_DAD "
                  ",CL_RED ))",
                  "CREATE INDEX CLA1_KEYCL_SIP ON CLANAR (CL_SIP COLLATE NOCASE )",
                  "CREATE INDEX CLA1_KEYCL_SIF ON CLANAR (CL_SIF COLLATE NOCASE )",
                  "CREATE INDEX CLA1_KEYCL_SIK ON CLANAR (CL_SIK COLLATE NOCASE )"}));
    // A byte, a compound secondary key, the primary key not first.
    EXPECT_EQ(
        storage::schemaSql(memberDef()),
        (std::vector<std::string>{
            "CREATE TABLE CLANOVI (M1_SPS INTEGER,M1_SIP INTEGER,M1_SIF INTEGER,M1_PRE "
            "CHAR(25),M1_IME CHAR(20),M1_STC TINYINT,M1_NAP CHAR(5000), PRIMARY KEY(M1_SIF ))",
            "CREATE INDEX CLA_KEYM1_UKUPNO ON CLANOVI (M1_SPS COLLATE NOCASE ,M1_SIP COLLATE "
            "NOCASE ,M1_SIF COLLATE NOCASE )",
            "CREATE INDEX CLA_KEYM1_PRE ON CLANOVI (M1_PRE COLLATE NOCASE )"}));
}

TEST_F(StorageTest, FirstUseCreatesTheDatabaseTableAndIndexes) {
    Club rec;
    rt::FileStructure f(clubDef(), &rec);
    ASSERT_FALSE(std::filesystem::exists(databasePath()));
    // A missing database file is "File Not Found": the framework creates.
    EXPECT_EQ(f.open(), rt::FileErr::NoFile);
    EXPECT_FALSE(std::filesystem::exists(databasePath()));
    ASSERT_EQ(f.create(), 0) << f.status().fileError;
    ASSERT_EQ(f.open(), 0) << f.status().fileError;

    // The second table of the same database: "no such table" is File Not Found.
    Ledger lrec;
    rt::FileStructure ledger(ledgerDef(), &lrec);
    EXPECT_EQ(ledger.open(), rt::FileErr::NoFile);
    ASSERT_EQ(ledger.create(), 0);
    ASSERT_EQ(ledger.open(), 0);

    RawDb raw(databasePath());
    std::vector<std::string> expected = storage::schemaSql(clubDef());
    for (auto& s : storage::schemaSql(ledgerDef())) expected.push_back(s);
    EXPECT_EQ(masterSql(raw), expected);
}

TEST_F(StorageTest, ExistingTableIsUsedAsItIs) {
    {
        RawDb raw(databasePath());
        ASSERT_EQ(raw.exec(storage::createTableSql(clubDef())), SQLITE_OK);
        ASSERT_EQ(raw.exec("INSERT INTO PLAND (P1_SIP, P1_NPD) VALUES (7, 'Kept')"), SQLITE_OK);
    }
    Club rec;
    rt::FileStructure f(clubDef(), &rec);
    // Made meanwhile by someone else: create succeeds and touches nothing.
    EXPECT_EQ(f.create(), 0) << f.status().fileError;
    ASSERT_EQ(f.open(), 0);
    rec.P1_SIP = 7;
    ASSERT_EQ(f.get(0), 0);
    EXPECT_EQ(rec.P1_NPD, "Kept");
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM sqlite_master"), "1");
}

TEST_F(StorageTest, MissingColumnIsInvalidRecordDeclarationExtraColumnIsIgnored) {
    {
        RawDb raw(databasePath());
        // The members' table without its note column.
        ASSERT_EQ(raw.exec("CREATE TABLE CLANOVI (M1_SPS INTEGER,M1_SIP INTEGER,M1_SIF "
                           "INTEGER,M1_PRE CHAR(25),M1_IME CHAR(20),M1_STC TINYINT, PRIMARY "
                           "KEY(M1_SIF ))"),
                  SQLITE_OK);
        ASSERT_EQ(raw.exec("INSERT INTO CLANOVI VALUES (1,1,5,'A','B',1)"), SQLITE_OK);
    }
    Member rec;
    rt::FileStructure f(memberDef(), &rec);
    EXPECT_EQ(f.open(), rt::FileErr::BadRecordDeclaration);
    EXPECT_NE(f.status().fileError.find("CLA:M1_NAP"), std::string::npos) << f.status().fileError;
    EXPECT_FALSE(f.isOpen());

    // With the column added, and one the file does not know, it opens and works.
    {
        RawDb raw(databasePath());
        ASSERT_EQ(raw.exec("ALTER TABLE CLANOVI ADD COLUMN M1_NAP CHAR(5000)"), SQLITE_OK);
        ASSERT_EQ(raw.exec("ALTER TABLE CLANOVI ADD COLUMN EXTRA_COL INTEGER"), SQLITE_OK);
    }
    ASSERT_EQ(f.open(), 0) << f.status().fileError;
    rec.M1_SIF = 5;
    ASSERT_EQ(f.get(1), 0);
    EXPECT_EQ(rec.M1_PRE, "A");
    rec.M1_SIF = 6;
    rec.M1_NAP = "note";
    EXPECT_EQ(f.add(), 0) << f.status().fileError;
    rec.M1_IME = "C";
    EXPECT_EQ(f.put(), 0) << f.status().fileError;
    RawDb raw(databasePath());
    EXPECT_EQ(raw.scalar("SELECT COUNT(*) FROM CLANOVI WHERE EXTRA_COL IS NULL"), "2");
}

TEST_F(StorageTest, FileThatIsNotADatabaseFailsWithTheDatabaseText) {
    {
        std::ofstream out(databasePath(), std::ios::binary);
        out << std::string(4096, 'x');
    }
    Club rec;
    rt::FileStructure f(clubDef(), &rec);
    EXPECT_EQ(f.open(), rt::FileErr::FileSystemError);
    EXPECT_EQ(f.status().fileErrorCode, -SQLITE_NOTADB);
    EXPECT_EQ(f.status().fileError, "File opened that is not a database file");
    // Nothing was written over it.
    EXPECT_EQ(testsupport::readFile(databasePath()), std::string(4096, 'x'));
    std::filesystem::remove(databasePath());  // so the tear-down does not check it
}

TEST(StorageLibrary, LoadFailuresNameTheLibraryAndTheEntryPoint) {
    storage::LoadResult missing = storage::loadLibrary("libno-such-library.so.0");
    EXPECT_EQ(missing.code, -80);
    EXPECT_EQ(missing.api, nullptr);
    EXPECT_EQ(missing.text.rfind("Could not load libno-such-library.so.0: ", 0), 0u)
        << missing.text;

    storage::LoadResult wrong = storage::loadLibrary("libm.so.6");
    EXPECT_EQ(wrong.code, -81);
    EXPECT_EQ(wrong.text, "Could not find the procedure sqlite3_open_v2 in libm.so.6");

    EXPECT_EQ(storage::sqlite().code, 0);
    EXPECT_STREQ(storage::LibraryName, "libsqlite3.so.0");
}

namespace {
std::string noOwnerName() {
    return "   ";
}
}  // namespace

TEST_F(StorageTest, FileWithoutOwnerFails) {
    rt::FileDef def = clubDef();
    def.owner = nullptr;
    Club rec;
    rt::FileStructure f(def, &rec);
    EXPECT_EQ(f.open(), rt::FileErr::FileSystemError);
    EXPECT_EQ(f.status().fileErrorCode, -82);
    EXPECT_EQ(f.status().fileError, "No OWNER attribute specified");
    def.owner = &noOwnerName;
    EXPECT_EQ(f.create(), rt::FileErr::FileSystemError);
    EXPECT_EQ(f.status().fileErrorCode, -82);
}

TEST(StorageErrors, ResultTextsAreTheLibrarysDescriptions) {
    struct Case {
        int rc;
        const char* text;
    } cases[] = {
        {SQLITE_BUSY, "The database file is locked"},
        {SQLITE_READONLY, "Attempt to write a readonly database"},
        {SQLITE_CONSTRAINT, "Abort due to constraint violation"},
        {SQLITE_CORRUPT, "The database disk image is malformed"},
        {SQLITE_FULL, "Insertion failed because database is full"},
        {SQLITE_IOERR | (3 << 8), "Some kind of disk I/O error occurred"},  // extended code
    };
    for (const Case& c : cases) EXPECT_STREQ(storage::resultText(c.rc), c.text) << c.rc;
}

namespace {
std::string unreachableName() {
    return "/no-such-directory-here/Clanovi.sqlite";
}
}  // namespace

TEST_F(StorageTest, DatabaseThatCannotBeMadeFailsTheCreateWithTheLibrarysText) {
    rt::FileDef def = clubDef();
    def.owner = &unreachableName;
    Club rec;
    rt::FileStructure f(def, &rec);
    EXPECT_EQ(f.open(), rt::FileErr::NoFile);  // missing: the framework creates
    EXPECT_EQ(f.create(), rt::FileErr::FileSystemError);
    EXPECT_EQ(f.status().fileErrorCode, -SQLITE_CANTOPEN);
    EXPECT_EQ(f.status().fileError, "Unable to open the database file");
}
