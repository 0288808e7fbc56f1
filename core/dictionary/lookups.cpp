#include "core/dictionary/lookups.h"

#include <stdexcept>

#include "core/dictionary/records.h"
#include "core/frame/procedures.h"

namespace {

// A code list: its code key and code field in the calling thread's buffer,
// and the name its select window is registered under.
struct CodeList {
    rt::KeyRef key;
    std::int32_t* code;
    const char* select;
};

CodeList ListOf(FileId list) {
    switch (list) {
        case FileId::PLANSA:
            return {PLANSA.KeySP1_SPS, &PLA1.SP1_SPS, "SelectPLANSA"};
        case FileId::PLAND:
            return {PLAND.KeyP1_SIP, &PLA.P1_SIP, "SelectPLAND"};
        case FileId::TURPOS:
            return {TURPOS.KeyT1_SIA, &TUR.T1_SIA, "SelectTURPOS"};
        case FileId::CLANOVI:
            return {CLANOVI.KeyM1_SIF, &CLA.M1_SIF, "SelectCLANOVI"};
        case FileId::STUPEM:
            return {STUPEM.KeyK1_KVA, &STU.STU_KVA, "SelectSTUPEM"};
        case FileId::BRAST:
            return {BRAST.KeyB1_SIB, &BRA.B1_SIB, "SelectBRAST"};
        case FileId::NACION:
            return {NACION.KeyN1_SIN, &NAC.N1_SIN, "SelectNACION"};
        case FileId::NACUC:
            return {NACUC.KeyK1_SNU, &NA1.NA1_SNU, "SelectNACUC"};
        case FileId::KATEG:
            return {KATEG.KeyK1_SIK, &KAT.K1_SIK, "SelectKATEG"};
        case FileId::PODPOS:
            return {PODPOS.KeyPD1_SIU, &POD.PD1_SIU, "SelectPODPOS"};
        default:
            break;
    }
    throw std::invalid_argument("a file not looked up by code");
}

}  // namespace

Lookup LookupIn(FileId list, Lookup lookup) {
    const CodeList l = ListOf(list);
    lookup.Key = l.key;
    lookup.Code = l.code;
    return lookup;
}

void AddLookupIn(LookupClass& lookups, FileId list, Lookup lookup) {
    const CodeList l = ListOf(list);
    lookup.Key = l.key;
    lookup.Code = l.code;
    lookup.Number = 0;
    for (const Lookup& earlier : lookups.Lookups())
        if (earlier.Key.file == l.key.file && earlier.Key.index == l.key.index)
            lookup.Number = earlier.Number;
    if (!lookup.Number) lookup.Number = lookups.AddProcedure(FindProcedure(l.select));
    lookups.Add(std::move(lookup));
}
