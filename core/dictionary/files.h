#pragma once
// The sixteen files: their descriptions (fields in declaration order with
// types, widths and pictures; keys in declaration order), each thread's file
// structure with its keys by name (CLANOVI.KeyM1_PRE), and the process-wide
// values the dictionary owns.
#include <array>
#include <atomic>
#include <cstdint>

#include "core/dictionary/records.h"
#include "runtime/file/file.h"
#include "runtime/text.h"

// The database every file names: "Clanovi.sqlite" in the current directory.
// Nothing changes it.
namespace GLO {
extern rt::Text<20> NAZIVBAZE;
}

// The report selection values: process-wide, 0 at start, never reset.
namespace G1 {
extern std::atomic<std::int32_t> W1_SPS;
extern std::atomic<std::int32_t> W1_SIP;
extern std::atomic<std::int32_t> W1_SIF;
extern std::atomic<std::int32_t> W1_SIFOD;
extern std::atomic<std::int32_t> W1_SIFDO;
extern std::atomic<std::int32_t> W1_DAOD;
extern std::atomic<std::int32_t> W1_DADO;
}  // namespace G1

// The files in declaration order.
enum class FileId : int {
    DATAZUR,
    KATEG,
    TURPOS,
    POHNAG,
    ANGAZOV,
    BRAST,
    PLANSA,
    STUPEM,
    PODPOS,
    NACUC,
    ZVANJA,
    CLANOVI,
    NACION,
    DOKAN,
    CLANAR,
    PLAND,
};
constexpr int FileCount = 16;

// The order in which the dictionary builds, initialises and ends the
// per-thread objects: the reverse of the declaration order.
constexpr std::array<FileId, FileCount> DictionaryOrder{
    FileId::PLAND,   FileId::CLANAR, FileId::DOKAN, FileId::NACION,
    FileId::CLANOVI, FileId::ZVANJA, FileId::NACUC, FileId::PODPOS,
    FileId::STUPEM,  FileId::PLANSA, FileId::BRAST, FileId::ANGAZOV,
    FileId::POHNAG,  FileId::TURPOS, FileId::KATEG, FileId::DATAZUR,
};

extern const rt::FileDef DATAZUR_Def;
extern const rt::FileDef KATEG_Def;
extern const rt::FileDef TURPOS_Def;
extern const rt::FileDef POHNAG_Def;
extern const rt::FileDef ANGAZOV_Def;
extern const rt::FileDef BRAST_Def;
extern const rt::FileDef PLANSA_Def;
extern const rt::FileDef STUPEM_Def;
extern const rt::FileDef PODPOS_Def;
extern const rt::FileDef NACUC_Def;
extern const rt::FileDef ZVANJA_Def;
extern const rt::FileDef CLANOVI_Def;
extern const rt::FileDef NACION_Def;
extern const rt::FileDef DOKAN_Def;
extern const rt::FileDef CLANAR_Def;
extern const rt::FileDef PLAND_Def;

// The description of a file by id.
const rt::FileDef& fileDef(FileId id);

// --- each thread's file structures, with their keys by name

struct DATAZUR_File : rt::FileStructure {
    DATAZUR_File() : rt::FileStructure(DATAZUR_Def, &DAT) {}
    rt::KeyRef KeySPSSIP = key(0);
    rt::KeyRef KeySPS = key(1);
    rt::KeyRef KeySIP = key(2);
};

struct KATEG_File : rt::FileStructure {
    KATEG_File() : rt::FileStructure(KATEG_Def, &KAT) {}
    rt::KeyRef KeyK1_SIK = key(0);
};

struct TURPOS_File : rt::FileStructure {
    TURPOS_File() : rt::FileStructure(TURPOS_Def, &TUR) {}
    rt::KeyRef KeyT1_SIA = key(0);
};

struct POHNAG_File : rt::FileStructure {
    POHNAG_File() : rt::FileStructure(POHNAG_Def, &POH) {}
    rt::KeyRef KeyPO1_SIH = key(0);
};

struct ANGAZOV_File : rt::FileStructure {
    ANGAZOV_File() : rt::FileStructure(ANGAZOV_Def, &ANG) {}
    rt::KeyRef KeySPSBRRED = key(0);
    rt::KeyRef KeySIPSIFDAT = key(1);
    rt::KeyRef KeySIFSIPDAT = key(2);
    rt::KeyRef KeyA1_SIA = key(3);
    rt::KeyRef KeyA1_SIF = key(4);
};

struct BRAST_File : rt::FileStructure {
    BRAST_File() : rt::FileStructure(BRAST_Def, &BRA) {}
    rt::KeyRef KeyB1_SIB = key(0);
};

struct PLANSA_File : rt::FileStructure {
    PLANSA_File() : rt::FileStructure(PLANSA_Def, &PLA1) {}
    rt::KeyRef KeySP1_SPS = key(0);
    rt::KeyRef KeySP1_NPS = key(1);
};

struct STUPEM_File : rt::FileStructure {
    STUPEM_File() : rt::FileStructure(STUPEM_Def, &STU) {}
    rt::KeyRef KeyK1_KVA = key(0);
};

struct PODPOS_File : rt::FileStructure {
    PODPOS_File() : rt::FileStructure(PODPOS_Def, &POD) {}
    rt::KeyRef KeyPD1_SIU = key(0);
    rt::KeyRef KeyPD1_NAP = key(1);
};

struct NACUC_File : rt::FileStructure {
    NACUC_File() : rt::FileStructure(NACUC_Def, &NA1) {}
    rt::KeyRef KeyK1_SNU = key(0);
};

struct ZVANJA_File : rt::FileStructure {
    ZVANJA_File() : rt::FileStructure(ZVANJA_Def, &ZVA) {}
    rt::KeyRef KeyZ1_SIZ = key(0);
};

struct CLANOVI_File : rt::FileStructure {
    CLANOVI_File() : rt::FileStructure(CLANOVI_Def, &CLA) {}
    rt::KeyRef KeyM1_UKUPNO = key(0);
    rt::KeyRef KeyM1_SPS = key(1);
    rt::KeyRef KeyM1_SIP = key(2);
    rt::KeyRef KeyM1_SIF = key(3);  // the primary key
    rt::KeyRef KeyM1_SNU = key(4);
    rt::KeyRef KeyM1_PRE = key(5);
    rt::KeyRef KeyM1_IME = key(6);
    rt::KeyRef KeyM1_IOC = key(7);
    rt::KeyRef KeyM1_JMB = key(8);
    rt::KeyRef KeyM1_SIU = key(9);
    rt::KeyRef KeyM1_SIB = key(10);
    rt::KeyRef KeyM1_SIN = key(11);
    rt::KeyRef KeyM1_SIK = key(12);
    rt::KeyRef KeyM1_KVA = key(13);
};

struct NACION_File : rt::FileStructure {
    NACION_File() : rt::FileStructure(NACION_Def, &NAC) {}
    rt::KeyRef KeyN1_SIN = key(0);
};

struct DOKAN_File : rt::FileStructure {
    DOKAN_File() : rt::FileStructure(DOKAN_Def, &DOK) {}
    rt::KeyRef KeyD1_SIP = key(0);
};

struct CLANAR_File : rt::FileStructure {
    CLANAR_File() : rt::FileStructure(CLANAR_Def, &CLA1) {}
    rt::KeyRef KeyCL_UKP = key(0);
    rt::KeyRef KeyCL_SIP = key(1);
    rt::KeyRef KeyCL_SIF = key(2);
    rt::KeyRef KeyCL_SIK = key(3);
};

struct PLAND_File : rt::FileStructure {
    PLAND_File() : rt::FileStructure(PLAND_Def, &PLA) {}
    rt::KeyRef KeyP1_SIP = key(0);
    rt::KeyRef KeyP1_NPD = key(1);
};

extern thread_local DATAZUR_File DATAZUR;
extern thread_local KATEG_File KATEG;
extern thread_local TURPOS_File TURPOS;
extern thread_local POHNAG_File POHNAG;
extern thread_local ANGAZOV_File ANGAZOV;
extern thread_local BRAST_File BRAST;
extern thread_local PLANSA_File PLANSA;
extern thread_local STUPEM_File STUPEM;
extern thread_local PODPOS_File PODPOS;
extern thread_local NACUC_File NACUC;
extern thread_local ZVANJA_File ZVANJA;
extern thread_local CLANOVI_File CLANOVI;
extern thread_local NACION_File NACION;
extern thread_local DOKAN_File DOKAN;
extern thread_local CLANAR_File CLANAR;
extern thread_local PLAND_File PLAND;

// The calling thread's file structure by id.
rt::FileStructure& fileStructure(FileId id);
