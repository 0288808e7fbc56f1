#include "core/dictionary/files.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

rt::Text<20> GLO::NAZIVBAZE{"Clanovi.sqlite"};

std::atomic<std::int32_t> G1::W1_SPS{0};
std::atomic<std::int32_t> G1::W1_SIP{0};
std::atomic<std::int32_t> G1::W1_SIF{0};
std::atomic<std::int32_t> G1::W1_SIFOD{0};
std::atomic<std::int32_t> G1::W1_SIFDO{0};
std::atomic<std::int32_t> G1::W1_DAOD{0};
std::atomic<std::int32_t> G1::W1_DADO{0};

namespace {

// Key attributes as the dictionary writes them.
enum KeyAttr : unsigned {
    Primary = 1,     // the row's identity; unique
    Dup = 2,         // duplicates allowed
    Optional = 4,    // declared; changes nothing in storage
    NoCase = 8,      // text components order without regard to letter case
    AutoNumber = 16  // numbers new records
};

struct KeySpec {
    const char* label;  // "CLA:KeyM1_PRE"
    std::vector<const char*> columns;
    unsigned attrs;
};

// Every file lives in the database GLO:NAZIVBAZE names.
std::string ownerName() {
    return GLO::NAZIVBAZE.str();
}

rt::FileDef makeDef(const char* label, const char* prefix, std::vector<rt::FieldDef> fields,
                    std::vector<KeySpec> keys, std::size_t recordSize) {
    rt::FileDef def;
    def.label = label;
    def.prefix = prefix;
    def.owner = &ownerName;
    def.create = true;
    def.fields = std::move(fields);
    def.recordSize = recordSize;
    for (const KeySpec& k : keys) {
        rt::KeyDef key;
        key.label = k.label;
        key.name = std::strchr(k.label, ':') + 1;
        for (const char* column : k.columns) {
            const int index = def.fieldIndex(column);
            if (index < 0) throw std::logic_error(std::string("no field ") + column);
            key.fields.push_back(index);
        }
        key.primary = (k.attrs & Primary) != 0;
        key.unique = key.primary;
        key.noCase = (k.attrs & NoCase) != 0;
        key.optional = (k.attrs & Optional) != 0;
        key.autoNumber = (k.attrs & AutoNumber) != 0;
        def.keys.push_back(std::move(key));
    }
    return def;
}

}  // namespace

// The sixteen files in declaration order. Pictures are those of the files'
// own windows; the long texts are edited in multi-line boxes and the status
// as a choice, so they carry none.

const rt::FileDef DATAZUR_Def =
    makeDef("DATAZUR", "DAT",
            {
                RT_FIELD(DATAZUR_Record, DAN_SPS, "DAT:DAN_SPS", "@n_2"),
                RT_FIELD(DATAZUR_Record, DAN_SIP, "DAT:DAN_SIP", "@n_3"),
                RT_FIELD(DATAZUR_Record, DAN_DAD, "DAT:DAN_DAD", "@d6."),
            },
            {
                {"DAT:KeySPSSIP", {"DAN_SPS", "DAN_SIP"}, Primary | NoCase},
                {"DAT:KeySPS", {"DAN_SPS"}, Dup | NoCase},
                {"DAT:KeySIP", {"DAN_SIP"}, Dup | NoCase},
            },
            sizeof(DATAZUR_Record));

const rt::FileDef KATEG_Def =
    makeDef("KATEG", "KAT",
            {
                RT_FIELD(KATEG_Record, K1_SIK, "KAT:K1_SIK", "@n_2"),
                RT_FIELD(KATEG_Record, K1_NAZ, "KAT:K1_NAZ", "@s60"),
                RT_FIELD(KATEG_Record, K1_ICL, "KAT:K1_ICL", "@n-14.`2"),
            },
            {
                {"KAT:KeyK1_SIK", {"K1_SIK"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(KATEG_Record));

const rt::FileDef TURPOS_Def =
    makeDef("TURPOS", "TUR",
            {
                RT_FIELD(TURPOS_Record, T1_SIA, "TUR:T1_SIA", "@n_6"),
                RT_FIELD(TURPOS_Record, T1_NAP, "TUR:T1_NAP", ""),
            },
            {
                {"TUR:KeyT1_SIA", {"T1_SIA"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(TURPOS_Record));

const rt::FileDef POHNAG_Def =
    makeDef("POHNAG", "POH",
            {
                RT_FIELD(POHNAG_Record, PO1_SIH, "POH:PO1_SIH", "@n_3"),
                RT_FIELD(POHNAG_Record, PO1_NAH, "POH:PO1_NAH", ""),
            },
            {
                {"POH:KeyPO1_SIH", {"PO1_SIH"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(POHNAG_Record));

const rt::FileDef ANGAZOV_Def =
    makeDef("ANGAZOV", "ANG",
            {
                RT_FIELD(ANGAZOV_Record, A1_SPS, "ANG:A1_SPS", "@n_2"),
                RT_FIELD(ANGAZOV_Record, A1_SIP, "ANG:A1_SIP", "@n_3"),
                RT_FIELD(ANGAZOV_Record, A1_BRJ, "ANG:A1_BRJ", "@n_8"),
                RT_FIELD(ANGAZOV_Record, A1_RED, "ANG:A1_RED", "@n_8"),
                RT_FIELD(ANGAZOV_Record, A1_SIA, "ANG:A1_SIA", "@n_6"),
                RT_FIELD(ANGAZOV_Record, A1_SIF, "ANG:A1_SIF", "@n_6"),
                RT_FIELD(ANGAZOV_Record, A1_DAT, "ANG:A1_DAT", "@d6."),
            },
            {
                {"ANG:KeySPSBRRED", {"A1_SPS", "A1_SIP", "A1_BRJ", "A1_RED"}, Primary | NoCase},
                {"ANG:KeySIPSIFDAT",
                 {"A1_SPS", "A1_SIP", "A1_SIF", "A1_SIA", "A1_DAT"},
                 Dup | Optional | NoCase},
                {"ANG:KeySIFSIPDAT",
                 {"A1_SPS", "A1_SIP", "A1_BRJ", "A1_SIF", "A1_SIA", "A1_DAT"},
                 Dup | Optional | NoCase},
                {"ANG:KeyA1_SIA", {"A1_SIA"}, Dup | Optional | NoCase},
                {"ANG:KeyA1_SIF", {"A1_SIF"}, Dup | Optional | NoCase},
            },
            sizeof(ANGAZOV_Record));

const rt::FileDef BRAST_Def =
    makeDef("BRAST", "BRA",
            {
                RT_FIELD(BRAST_Record, B1_SIB, "BRA:B1_SIB", "@n_2"),
                RT_FIELD(BRAST_Record, B1_BRS, "BRA:B1_BRS", "@s20"),
            },
            {
                {"BRA:KeyB1_SIB", {"B1_SIB"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(BRAST_Record));

const rt::FileDef PLANSA_Def =
    makeDef("PLANSA", "PLA1",
            {
                RT_FIELD(PLANSA_Record, SP1_SPS, "PLA1:SP1_SPS", "@n_2"),
                RT_FIELD(PLANSA_Record, SP1_NPS, "PLA1:SP1_NPS", "@s50"),
                RT_FIELD(PLANSA_Record, SP1_ADR, "PLA1:SP1_ADR", "@s50"),
                RT_FIELD(PLANSA_Record, SP1_SJD, "PLA1:SP1_SJD", "@s30"),
                RT_FIELD(PLANSA_Record, SP1_BRG, "PLA1:SP1_BRG", "@s20"),
                RT_FIELD(PLANSA_Record, SP1_DAR, "PLA1:SP1_DAR", "@d6."),
                RT_FIELD(PLANSA_Record, SP1_TEL, "PLA1:SP1_TEL", "@s30"),
                RT_FIELD(PLANSA_Record, SP1_FAX, "PLA1:SP1_FAX", "@s30"),
                RT_FIELD(PLANSA_Record, SP1_WEB, "PLA1:SP1_WEB", "@s30"),
                RT_FIELD(PLANSA_Record, SP1_EML, "PLA1:SP1_EML", "@s30"),
            },
            {
                {"PLA1:KeySP1_SPS", {"SP1_SPS"}, Primary | Optional | NoCase | AutoNumber},
                {"PLA1:KeySP1_NPS", {"SP1_NPS"}, Dup | Optional | NoCase},
            },
            sizeof(PLANSA_Record));

const rt::FileDef STUPEM_Def =
    makeDef("STUPEM", "STU",
            {
                RT_FIELD(STUPEM_Record, STU_KVA, "STU:STU_KVA", "@n_2"),
                RT_FIELD(STUPEM_Record, STU_NAS, "STU:STU_NAS", "@s15"),
            },
            {
                {"STU:KeyK1_KVA", {"STU_KVA"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(STUPEM_Record));

const rt::FileDef PODPOS_Def =
    makeDef("PODPOS", "POD",
            {
                RT_FIELD(PODPOS_Record, PD1_SIU, "POD:PD1_SIU", "@n_3"),
                RT_FIELD(PODPOS_Record, PD1_NAP, "POD:PD1_NAP", "@s30"),
                RT_FIELD(PODPOS_Record, PD1_SJP, "POD:PD1_SJP", "@s25"),
            },
            {
                {"POD:KeyPD1_SIU", {"PD1_SIU"}, Primary | Optional | NoCase | AutoNumber},
                {"POD:KeyPD1_NAP", {"PD1_NAP"}, Dup | Optional | NoCase},
            },
            sizeof(PODPOS_Record));

const rt::FileDef NACUC_Def =
    makeDef("NACUC", "NA1",
            {
                RT_FIELD(NACUC_Record, NA1_SNU, "NA1:NA1_SNU", "@n_2"),
                RT_FIELD(NACUC_Record, NA1_NAZ, "NA1:NA1_NAZ", "@s60"),
            },
            {
                {"NA1:KeyK1_SNU", {"NA1_SNU"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(NACUC_Record));

const rt::FileDef ZVANJA_Def =
    makeDef("ZVANJA", "ZVA",
            {
                RT_FIELD(ZVANJA_Record, Z1_SIZ, "ZVA:Z1_SIZ", "@n_2"),
                RT_FIELD(ZVANJA_Record, Z1_NAZ, "ZVA:Z1_NAZ", "@s30"),
            },
            {
                {"ZVA:KeyZ1_SIZ", {"Z1_SIZ"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(ZVANJA_Record));

const rt::FileDef CLANOVI_Def =
    makeDef("CLANOVI", "CLA",
            {
                RT_FIELD(CLANOVI_Record, M1_SPS, "CLA:M1_SPS", "@n_2"),
                RT_FIELD(CLANOVI_Record, M1_SIP, "CLA:M1_SIP", "@n_3"),
                RT_FIELD(CLANOVI_Record, M1_SIF, "CLA:M1_SIF", "@n_6"),
                RT_FIELD(CLANOVI_Record, M1_PRE, "CLA:M1_PRE", "@s25"),
                RT_FIELD(CLANOVI_Record, M1_IME, "CLA:M1_IME", "@s20"),
                RT_FIELD(CLANOVI_Record, M1_IOC, "CLA:M1_IOC", "@s20"),
                RT_FIELD(CLANOVI_Record, M1_BLK, "CLA:M1_BLK", "@s20"),
                RT_FIELD(CLANOVI_Record, M1_JMB, "CLA:M1_JMB", "@s15"),
                RT_FIELD(CLANOVI_Record, M1_DRO, "CLA:M1_DRO", "@d6."),
                RT_FIELD(CLANOVI_Record, M1_ADR, "CLA:M1_ADR", "@s50"),
                RT_FIELD(CLANOVI_Record, M1_MST, "CLA:M1_MST", "@s30"),
                RT_FIELD(CLANOVI_Record, M1_KVA, "CLA:M1_KVA", "@n_2"),
                RT_FIELD(CLANOVI_Record, M1_ZAN, "CLA:M1_ZAN", "@s50"),
                RT_FIELD(CLANOVI_Record, M1_SIB, "CLA:M1_SIB", "@n_2"),
                RT_FIELD(CLANOVI_Record, M1_SIN, "CLA:M1_SIN", "@n_2"),
                RT_FIELD(CLANOVI_Record, M1_STC, "CLA:M1_STC", ""),
                RT_FIELD(CLANOVI_Record, M1_CDA, "CLA:M1_CDA", "@d6."),
                RT_FIELD(CLANOVI_Record, M1_DCA, "CLA:M1_DCA", "@d6."),
                RT_FIELD(CLANOVI_Record, M1_EVB, "CLA:M1_EVB", "@s10"),
                RT_FIELD(CLANOVI_Record, M1_SNU, "CLA:M1_SNU", "@n_2"),
                RT_FIELD(CLANOVI_Record, M1_CLP, "CLA:M1_CLP", ""),
                RT_FIELD(CLANOVI_Record, M1_PRZ, "CLA:M1_PRZ", ""),
                RT_FIELD(CLANOVI_Record, M1_NIZ, "CLA:M1_NIZ", ""),
                RT_FIELD(CLANOVI_Record, M1_SIK, "CLA:M1_SIK", "@n_2"),
                RT_FIELD(CLANOVI_Record, M1_SIU, "CLA:M1_SIU", "@n_3"),
                RT_FIELD(CLANOVI_Record, M1_FTE, "CLA:M1_FTE", "@s20"),
                RT_FIELD(CLANOVI_Record, M1_FMO, "CLA:M1_FMO", "@s20"),
                RT_FIELD(CLANOVI_Record, M1_EML, "CLA:M1_EML", "@s30"),
                RT_FIELD(CLANOVI_Record, M1_PUS, "CLA:M1_PUS", "@s60"),
                RT_FIELD(CLANOVI_Record, M1_NAP, "CLA:M1_NAP", ""),
            },
            {
                {"CLA:KeyM1_UKUPNO", {"M1_SPS", "M1_SIP", "M1_SIF"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SPS", {"M1_SPS"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SIP", {"M1_SIP"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SIF", {"M1_SIF"}, Primary | Optional | NoCase | AutoNumber},
                {"CLA:KeyM1_SNU", {"M1_SNU"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_PRE", {"M1_PRE"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_IME", {"M1_IME"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_IOC", {"M1_IOC"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_JMB", {"M1_JMB"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SIU", {"M1_SIU"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SIB", {"M1_SIB"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SIN", {"M1_SIN"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_SIK", {"M1_SIK"}, Dup | Optional | NoCase},
                {"CLA:KeyM1_KVA", {"M1_KVA"}, Dup | Optional | NoCase},
            },
            sizeof(CLANOVI_Record));

const rt::FileDef NACION_Def =
    makeDef("NACION", "NAC",
            {
                RT_FIELD(NACION_Record, N1_SIN, "NAC:N1_SIN", "@n_2"),
                RT_FIELD(NACION_Record, N1_NAC, "NAC:N1_NAC", "@s20"),
            },
            {
                {"NAC:KeyN1_SIN", {"N1_SIN"}, Primary | Optional | NoCase | AutoNumber},
            },
            sizeof(NACION_Record));

const rt::FileDef DOKAN_Def =
    makeDef("DOKAN", "DOK",
            {
                RT_FIELD(DOKAN_Record, D1_SIP, "DOK:D1_SIP", "@n_3"),
                RT_FIELD(DOKAN_Record, D1_BRJ, "DOK:D1_BRJ", "@n_8"),
            },
            {
                {"DOK:KeyD1_SIP", {"D1_SIP"}, Primary | Optional | NoCase},
            },
            sizeof(DOKAN_Record));

const rt::FileDef CLANAR_Def =
    makeDef("CLANAR", "CLA1",
            {
                RT_FIELD(CLANAR_Record, CL_SPS, "CLA1:CL_SPS", "@n_2"),
                RT_FIELD(CLANAR_Record, CL_SIP, "CLA1:CL_SIP", "@n_3"),
                RT_FIELD(CLANAR_Record, CL_SIF, "CLA1:CL_SIF", "@n_6"),
                RT_FIELD(CLANAR_Record, CL_RED, "CLA1:CL_RED", "@n_8"),
                RT_FIELD(CLANAR_Record, CL_SIK, "CLA1:CL_SIK", "@n_2"),
                RT_FIELD(CLANAR_Record, CL_DOK, "CLA1:CL_DOK", "@s25"),
                RT_FIELD(CLANAR_Record, CL_DAD, "CLA1:CL_DAD", "@d6."),
                RT_FIELD(CLANAR_Record, CL_DUG, "CLA1:CL_DUG", "@n-14.`2"),
                RT_FIELD(CLANAR_Record, CL_POD, "CLA1:CL_POD", "@n-15.`2"),
            },
            {
                {"CLA1:KeyCL_UKP",
                 {"CL_SPS", "CL_SIP", "CL_SIF", "CL_DAD", "CL_RED"},
                 Primary | Optional | NoCase},
                {"CLA1:KeyCL_SIP", {"CL_SIP"}, Dup | Optional | NoCase},
                {"CLA1:KeyCL_SIF", {"CL_SIF"}, Dup | Optional | NoCase},
                {"CLA1:KeyCL_SIK", {"CL_SIK"}, Dup | Optional | NoCase},
            },
            sizeof(CLANAR_Record));

const rt::FileDef PLAND_Def =
    makeDef("PLAND", "PLA",
            {
                RT_FIELD(PLAND_Record, P1_SIP, "PLA:P1_SIP", "@n_3"),
                RT_FIELD(PLAND_Record, P1_NPD, "PLA:P1_NPD", "@s50"),
                RT_FIELD(PLAND_Record, P1_ADR, "PLA:P1_ADR", "@s50"),
                RT_FIELD(PLAND_Record, P1_SJD, "PLA:P1_SJD", "@s30"),
                RT_FIELD(PLAND_Record, P1_BRG, "PLA:P1_BRG", "@s20"),
                RT_FIELD(PLAND_Record, P1_DAR, "PLA:P1_DAR", "@d6."),
                RT_FIELD(PLAND_Record, P1_TEL, "PLA:P1_TEL", "@s30"),
                RT_FIELD(PLAND_Record, P1_FAX, "PLA:P1_FAX", "@s30"),
                RT_FIELD(PLAND_Record, P1_WEB, "PLA:P1_WEB", "@s30"),
                RT_FIELD(PLAND_Record, P1_EML, "PLA:P1_EML", "@s30"),
            },
            {
                {"PLA:KeyP1_SIP", {"P1_SIP"}, Primary | Optional | NoCase | AutoNumber},
                {"PLA:KeyP1_NPD", {"P1_NPD"}, Dup | Optional | NoCase},
            },
            sizeof(PLAND_Record));

const rt::FileDef& fileDef(FileId id) {
    static const rt::FileDef* const defs[FileCount] = {
        &DATAZUR_Def, &KATEG_Def,  &TURPOS_Def, &POHNAG_Def, &ANGAZOV_Def, &BRAST_Def,
        &PLANSA_Def,  &STUPEM_Def, &PODPOS_Def, &NACUC_Def,  &ZVANJA_Def,  &CLANOVI_Def,
        &NACION_Def,  &DOKAN_Def,  &CLANAR_Def, &PLAND_Def,
    };
    return *defs[static_cast<int>(id)];
}

// Each thread's record buffers (cleared when the thread starts) and file
// structures (closed).
thread_local DATAZUR_Record DAT;
thread_local KATEG_Record KAT;
thread_local TURPOS_Record TUR;
thread_local POHNAG_Record POH;
thread_local ANGAZOV_Record ANG;
thread_local BRAST_Record BRA;
thread_local PLANSA_Record PLA1;
thread_local STUPEM_Record STU;
thread_local PODPOS_Record POD;
thread_local NACUC_Record NA1;
thread_local ZVANJA_Record ZVA;
thread_local CLANOVI_Record CLA;
thread_local NACION_Record NAC;
thread_local DOKAN_Record DOK;
thread_local CLANAR_Record CLA1;
thread_local PLAND_Record PLA;

thread_local DATAZUR_File DATAZUR;
thread_local KATEG_File KATEG;
thread_local TURPOS_File TURPOS;
thread_local POHNAG_File POHNAG;
thread_local ANGAZOV_File ANGAZOV;
thread_local BRAST_File BRAST;
thread_local PLANSA_File PLANSA;
thread_local STUPEM_File STUPEM;
thread_local PODPOS_File PODPOS;
thread_local NACUC_File NACUC;
thread_local ZVANJA_File ZVANJA;
thread_local CLANOVI_File CLANOVI;
thread_local NACION_File NACION;
thread_local DOKAN_File DOKAN;
thread_local CLANAR_File CLANAR;
thread_local PLAND_File PLAND;

rt::FileStructure& fileStructure(FileId id) {
    switch (id) {
        case FileId::DATAZUR:
            return DATAZUR;
        case FileId::KATEG:
            return KATEG;
        case FileId::TURPOS:
            return TURPOS;
        case FileId::POHNAG:
            return POHNAG;
        case FileId::ANGAZOV:
            return ANGAZOV;
        case FileId::BRAST:
            return BRAST;
        case FileId::PLANSA:
            return PLANSA;
        case FileId::STUPEM:
            return STUPEM;
        case FileId::PODPOS:
            return PODPOS;
        case FileId::NACUC:
            return NACUC;
        case FileId::ZVANJA:
            return ZVANJA;
        case FileId::CLANOVI:
            return CLANOVI;
        case FileId::NACION:
            return NACION;
        case FileId::DOKAN:
            return DOKAN;
        case FileId::CLANAR:
            return CLANAR;
        case FileId::PLAND:
            return PLAND;
    }
    throw std::logic_error("no such file");
}
