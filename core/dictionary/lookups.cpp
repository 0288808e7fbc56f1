#include "core/dictionary/lookups.h"

#include <stdexcept>

#include "core/dictionary/records.h"

Lookup LookupIn(FileId list, Lookup lookup) {
    const auto by = [&lookup](rt::KeyRef key, std::int32_t& code) {
        lookup.Key = key;
        lookup.Code = &code;
        return lookup;
    };
    switch (list) {
        case FileId::PLANSA:
            return by(PLANSA.KeySP1_SPS, PLA1.SP1_SPS);
        case FileId::PLAND:
            return by(PLAND.KeyP1_SIP, PLA.P1_SIP);
        case FileId::TURPOS:
            return by(TURPOS.KeyT1_SIA, TUR.T1_SIA);
        case FileId::CLANOVI:
            return by(CLANOVI.KeyM1_SIF, CLA.M1_SIF);
        case FileId::STUPEM:
            return by(STUPEM.KeyK1_KVA, STU.STU_KVA);
        case FileId::BRAST:
            return by(BRAST.KeyB1_SIB, BRA.B1_SIB);
        case FileId::NACION:
            return by(NACION.KeyN1_SIN, NAC.N1_SIN);
        case FileId::NACUC:
            return by(NACUC.KeyK1_SNU, NA1.NA1_SNU);
        case FileId::KATEG:
            return by(KATEG.KeyK1_SIK, KAT.K1_SIK);
        case FileId::PODPOS:
            return by(PODPOS.KeyPD1_SIU, POD.PD1_SIU);
        default:
            break;
    }
    throw std::invalid_argument("a file not looked up by code");
}
