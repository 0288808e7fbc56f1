#pragma once
// The record layouts of the sixteen files, field for field in declaration
// order, and each thread's record buffer, named by the file's prefix
// (CLA.M1_PRE is the surname in the calling thread's CLANOVI buffer).
//
// LONG fields (codes, running numbers, day-number dates) are std::int32_t,
// the one BYTE field is std::uint8_t, STRING(n) is rt::Text<n> (Windows-1250
// bytes, blank-padded) and DECIMAL(11,2) is rt::Money. A default-constructed
// record is a cleared one: numbers 0, texts blank.
#include <cstdint>
#include <type_traits>

#include "runtime/money.h"
#include "runtime/text.h"

struct DATAZUR_Record {
    std::int32_t DAN_SPS = 0;
    std::int32_t DAN_SIP = 0;
    std::int32_t DAN_DAD = 0;
};

struct KATEG_Record {
    std::int32_t K1_SIK = 0;
    rt::Text<60> K1_NAZ;
    rt::Money K1_ICL;
};

struct TURPOS_Record {
    std::int32_t T1_SIA = 0;
    rt::Text<5000> T1_NAP;
};

struct POHNAG_Record {
    std::int32_t PO1_SIH = 0;
    rt::Text<5000> PO1_NAH;
};

struct ANGAZOV_Record {
    std::int32_t A1_SPS = 0;
    std::int32_t A1_SIP = 0;
    std::int32_t A1_BRJ = 0;
    std::int32_t A1_RED = 0;
    std::int32_t A1_SIA = 0;
    std::int32_t A1_SIF = 0;
    std::int32_t A1_DAT = 0;
};

struct BRAST_Record {
    std::int32_t B1_SIB = 0;
    rt::Text<20> B1_BRS;
};

struct PLANSA_Record {
    std::int32_t SP1_SPS = 0;
    rt::Text<50> SP1_NPS;
    rt::Text<50> SP1_ADR;
    rt::Text<30> SP1_SJD;
    rt::Text<20> SP1_BRG;
    std::int32_t SP1_DAR = 0;
    rt::Text<30> SP1_TEL;
    rt::Text<30> SP1_FAX;
    rt::Text<30> SP1_WEB;
    rt::Text<30> SP1_EML;
};

struct STUPEM_Record {
    std::int32_t STU_KVA = 0;
    rt::Text<30> STU_NAS;
};

struct PODPOS_Record {
    std::int32_t PD1_SIU = 0;
    rt::Text<30> PD1_NAP;
    rt::Text<25> PD1_SJP;
};

struct NACUC_Record {
    std::int32_t NA1_SNU = 0;
    rt::Text<60> NA1_NAZ;
};

struct ZVANJA_Record {
    std::int32_t Z1_SIZ = 0;
    rt::Text<30> Z1_NAZ;
};

struct CLANOVI_Record {
    std::int32_t M1_SPS = 0;
    std::int32_t M1_SIP = 0;
    std::int32_t M1_SIF = 0;
    rt::Text<25> M1_PRE;
    rt::Text<20> M1_IME;
    rt::Text<20> M1_IOC;
    rt::Text<20> M1_BLK;
    rt::Text<15> M1_JMB;
    std::int32_t M1_DRO = 0;
    rt::Text<50> M1_ADR;
    rt::Text<30> M1_MST;
    std::int32_t M1_KVA = 0;
    rt::Text<50> M1_ZAN;
    std::int32_t M1_SIB = 0;
    std::int32_t M1_SIN = 0;
    std::uint8_t M1_STC = 0;
    std::int32_t M1_CDA = 0;
    std::int32_t M1_DCA = 0;
    rt::Text<10> M1_EVB;
    std::int32_t M1_SNU = 0;
    rt::Text<5000> M1_CLP;
    rt::Text<5000> M1_PRZ;
    rt::Text<5000> M1_NIZ;
    std::int32_t M1_SIK = 0;
    std::int32_t M1_SIU = 0;
    rt::Text<20> M1_FTE;
    rt::Text<20> M1_FMO;
    rt::Text<30> M1_EML;
    rt::Text<60> M1_PUS;
    rt::Text<5000> M1_NAP;
};

struct NACION_Record {
    std::int32_t N1_SIN = 0;
    rt::Text<20> N1_NAC;
};

struct DOKAN_Record {
    std::int32_t D1_SIP = 0;
    std::int32_t D1_BRJ = 0;
};

struct CLANAR_Record {
    std::int32_t CL_SPS = 0;
    std::int32_t CL_SIP = 0;
    std::int32_t CL_SIF = 0;
    std::int32_t CL_RED = 0;
    std::int32_t CL_SIK = 0;
    rt::Text<25> CL_DOK;
    std::int32_t CL_DAD = 0;
    rt::Money CL_DUG;
    rt::Money CL_POD;
};

struct PLAND_Record {
    std::int32_t P1_SIP = 0;
    rt::Text<50> P1_NPD;
    rt::Text<50> P1_ADR;
    rt::Text<30> P1_SJD;
    rt::Text<20> P1_BRG;
    std::int32_t P1_DAR = 0;
    rt::Text<30> P1_TEL;
    rt::Text<30> P1_FAX;
    rt::Text<30> P1_WEB;
    rt::Text<30> P1_EML;
};

// The file layer reaches fields by offset.
static_assert(std::is_standard_layout_v<CLANOVI_Record>);
static_assert(std::is_standard_layout_v<CLANAR_Record>);
static_assert(std::is_standard_layout_v<KATEG_Record>);

// The calling thread's record buffers, by prefix.
extern thread_local DATAZUR_Record DAT;
extern thread_local KATEG_Record KAT;
extern thread_local TURPOS_Record TUR;
extern thread_local POHNAG_Record POH;
extern thread_local ANGAZOV_Record ANG;
extern thread_local BRAST_Record BRA;
extern thread_local PLANSA_Record PLA1;
extern thread_local STUPEM_Record STU;
extern thread_local PODPOS_Record POD;
extern thread_local NACUC_Record NA1;
extern thread_local ZVANJA_Record ZVA;
extern thread_local CLANOVI_Record CLA;
extern thread_local NACION_Record NAC;
extern thread_local DOKAN_Record DOK;
extern thread_local CLANAR_Record CLA1;
extern thread_local PLAND_Record PLA;
