// The schema of the sixteen files of the dictionary: the statements, one for
// one, that the system issues and that other programs rely on.
#include "core/dictionary/files.h"
#include "core/storage/sql.h"
#include "storage_fixture.h"

using namespace storagetest;

namespace {

// Every table in declaration order, each followed by its indexes in key order.
const std::vector<std::string> Listing = {
    "CREATE TABLE DATAZUR (DAN_SPS INTEGER,DAN_SIP INTEGER,DAN_DAD INTEGER, PRIMARY KEY(DAN_SPS "
    ",DAN_SIP ))",
    "CREATE INDEX DAT_KEYSPS ON DATAZUR (DAN_SPS COLLATE NOCASE )",
    "CREATE INDEX DAT_KEYSIP ON DATAZUR (DAN_SIP COLLATE NOCASE )",
    "CREATE TABLE KATEG (K1_SIK INTEGER,K1_NAZ CHAR(60),K1_ICL NUMBER(11,2), PRIMARY KEY(K1_SIK ))",
    "CREATE TABLE TURPOS (T1_SIA INTEGER,T1_NAP CHAR(5000), PRIMARY KEY(T1_SIA ))",
    "CREATE TABLE POHNAG (PO1_SIH INTEGER,PO1_NAH CHAR(5000), PRIMARY KEY(PO1_SIH ))",
    "CREATE TABLE ANGAZOV (A1_SPS INTEGER,A1_SIP INTEGER,A1_BRJ INTEGER,A1_RED INTEGER,A1_SIA "
    "INTEGER,A1_SIF INTEGER,A1_DAT INTEGER, PRIMARY KEY(A1_SPS ,A1_SIP ,A1_BRJ ,A1_RED ))",
    "CREATE INDEX ANG_KEYSIPSIFDAT ON ANGAZOV (A1_SPS COLLATE NOCASE ,A1_SIP COLLATE NOCASE "
    ",A1_SIF COLLATE NOCASE ,A1_SIA COLLATE NOCASE ,A1_DAT COLLATE NOCASE )",
    "CREATE INDEX ANG_KEYSIFSIPDAT ON ANGAZOV (A1_SPS COLLATE NOCASE ,A1_SIP COLLATE NOCASE "
    ",A1_BRJ COLLATE NOCASE ,A1_SIF COLLATE NOCASE ,A1_SIA COLLATE NOCASE ,A1_DAT COLLATE NOCASE )",
    "CREATE INDEX ANG_KEYA1_SIA ON ANGAZOV (A1_SIA COLLATE NOCASE )",
    "CREATE INDEX ANG_KEYA1_SIF ON ANGAZOV (A1_SIF COLLATE NOCASE )",
    "CREATE TABLE BRAST (B1_SIB INTEGER,B1_BRS CHAR(20), PRIMARY KEY(B1_SIB ))",
    "CREATE TABLE PLANSA (SP1_SPS INTEGER,SP1_NPS CHAR(50),SP1_ADR CHAR(50),SP1_SJD "
    "CHAR(30),SP1_BRG CHAR(20),SP1_DAR INTEGER,SP1_TEL CHAR(30),SP1_FAX CHAR(30),SP1_WEB "
    "CHAR(30),SP1_EML CHAR(30), PRIMARY KEY(SP1_SPS ))",
    "CREATE INDEX PLA1_KEYSP1_NPS ON PLANSA (SP1_NPS COLLATE NOCASE )",
    "CREATE TABLE STUPEM (STU_KVA INTEGER,STU_NAS CHAR(30), PRIMARY KEY(STU_KVA ))",
    "CREATE TABLE PODPOS (PD1_SIU INTEGER,PD1_NAP CHAR(30),PD1_SJP CHAR(25), PRIMARY KEY(PD1_SIU "
    "))",
    "CREATE INDEX POD_KEYPD1_NAP ON PODPOS (PD1_NAP COLLATE NOCASE )",
    "CREATE TABLE NACUC (NA1_SNU INTEGER,NA1_NAZ CHAR(60), PRIMARY KEY(NA1_SNU ))",
    "CREATE TABLE ZVANJA (Z1_SIZ INTEGER,Z1_NAZ CHAR(30), PRIMARY KEY(Z1_SIZ ))",
    "CREATE TABLE CLANOVI (M1_SPS INTEGER,M1_SIP INTEGER,M1_SIF INTEGER,M1_PRE CHAR(25),M1_IME "
    "CHAR(20),M1_IOC CHAR(20),M1_BLK CHAR(20),M1_JMB CHAR(15),M1_DRO INTEGER,M1_ADR "
    "CHAR(50),M1_MST CHAR(30),M1_KVA INTEGER,M1_ZAN CHAR(50),M1_SIB INTEGER,M1_SIN INTEGER,M1_STC "
    "TINYINT,M1_CDA INTEGER,M1_DCA INTEGER,M1_EVB CHAR(10),M1_SNU INTEGER,M1_CLP CHAR(5000),M1_PRZ "
    "CHAR(5000),M1_NIZ CHAR(5000),M1_SIK INTEGER,M1_SIU INTEGER,M1_FTE CHAR(20),M1_FMO "
    "CHAR(20),M1_EML CHAR(30),M1_PUS CHAR(60),M1_NAP CHAR(5000), PRIMARY KEY(M1_SIF ))",
    "CREATE INDEX CLA_KEYM1_UKUPNO ON CLANOVI (M1_SPS COLLATE NOCASE ,M1_SIP COLLATE NOCASE "
    ",M1_SIF COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SPS ON CLANOVI (M1_SPS COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SIP ON CLANOVI (M1_SIP COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SNU ON CLANOVI (M1_SNU COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_PRE ON CLANOVI (M1_PRE COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_IME ON CLANOVI (M1_IME COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_IOC ON CLANOVI (M1_IOC COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_JMB ON CLANOVI (M1_JMB COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SIU ON CLANOVI (M1_SIU COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SIB ON CLANOVI (M1_SIB COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SIN ON CLANOVI (M1_SIN COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_SIK ON CLANOVI (M1_SIK COLLATE NOCASE )",
    "CREATE INDEX CLA_KEYM1_KVA ON CLANOVI (M1_KVA COLLATE NOCASE )",
    "CREATE TABLE NACION (N1_SIN INTEGER,N1_NAC CHAR(20), PRIMARY KEY(N1_SIN ))",
    "CREATE TABLE DOKAN (D1_SIP INTEGER,D1_BRJ INTEGER, PRIMARY KEY(D1_SIP ))",
    "CREATE TABLE CLANAR (CL_SPS INTEGER,CL_SIP INTEGER,CL_SIF INTEGER,CL_RED INTEGER,CL_SIK "
    "INTEGER,CL_DOK CHAR(25),CL_DAD INTEGER,CL_DUG NUMBER(11,2),CL_POD NUMBER(11,2), PRIMARY "
    "KEY(CL_SPS ,CL_SIP ,CL_SIF ,CL_DAD ,CL_RED ))",
    "CREATE INDEX CLA1_KEYCL_SIP ON CLANAR (CL_SIP COLLATE NOCASE )",
    "CREATE INDEX CLA1_KEYCL_SIF ON CLANAR (CL_SIF COLLATE NOCASE )",
    "CREATE INDEX CLA1_KEYCL_SIK ON CLANAR (CL_SIK COLLATE NOCASE )",
    "CREATE TABLE PLAND (P1_SIP INTEGER,P1_NPD CHAR(50),P1_ADR CHAR(50),P1_SJD CHAR(30),P1_BRG "
    "CHAR(20),P1_DAR INTEGER,P1_TEL CHAR(30),P1_FAX CHAR(30),P1_WEB CHAR(30),P1_EML CHAR(30), "
    "PRIMARY KEY(P1_SIP ))",
    "CREATE INDEX PLA_KEYP1_NPD ON PLAND (P1_NPD COLLATE NOCASE )"};

std::vector<std::string> without(std::vector<std::string> all,
                                 const std::vector<std::string>& tables) {
    std::vector<std::string> out;
    for (auto& s : all) {
        bool skip = false;
        for (auto& t : tables)
            if (s.rfind("CREATE TABLE " + t + " ", 0) == 0 ||
                s.find(" ON " + t + " ") != std::string::npos)
                skip = true;
        if (!skip) out.push_back(s);
    }
    return out;
}

}  // namespace

TEST(StorageDictionary, StatementsOfTheSixteenFilesReadExactlyAsListed) {
    std::vector<std::string> all;
    for (int i = 0; i < FileCount; ++i)
        for (auto& s : storage::schemaSql(fileDef(static_cast<FileId>(i)))) all.push_back(s);
    ASSERT_EQ(all.size(), 41u);
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], Listing[i]) << i;
}

TEST_F(StorageTest, DatabaseWrittenByTheSystemHoldsTheListedSchema) {
    // The files as windows first use them; two of them no window ever opens.
    std::vector<std::unique_ptr<rt::FileStructure>> files;
    std::vector<std::vector<char>> records;
    records.reserve(FileCount);
    for (int i = 0; i < FileCount; ++i) {
        const rt::FileDef& def = fileDef(static_cast<FileId>(i));
        if (std::string(def.label) == "ZVANJA" || std::string(def.label) == "POHNAG") continue;
        records.emplace_back(def.recordSize);
        files.push_back(std::make_unique<rt::FileStructure>(def, records.back().data()));
        ASSERT_EQ(openOrCreate(*files.back()), 0)
            << def.label << ": " << files.back()->status().fileError;
    }
    ASSERT_TRUE(std::filesystem::exists(dir_.path() / "Clanovi.sqlite"));
    RawDb raw((dir_.path() / "Clanovi.sqlite").string());
    std::vector<std::string> master;
    for (auto& row :
         raw.query("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid"))
        master.push_back(row[0]);
    EXPECT_EQ(master, without(Listing, {"ZVANJA", "POHNAG"}));
    EXPECT_EQ(
        raw.scalar("SELECT COUNT(*) FROM sqlite_master WHERE tbl_name IN ('ZVANJA', 'POHNAG')"),
        "0");
    EXPECT_EQ(raw.scalar("PRAGMA integrity_check"), "ok");
}
