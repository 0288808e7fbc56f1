#include "core/dictionary/member_name.h"

void FullName(const CLANOVI_Record& member, std::string& out) {
    out.assign(member.M1_PRE.trimmed());
    out += ", ";
    out += member.M1_IOC.trimmed();
    out += ", ";
    out += member.M1_IME.trimmed();
}

std::string FullName(const CLANOVI_Record& member) {
    std::string name;
    FullName(member, name);
    return name;
}
