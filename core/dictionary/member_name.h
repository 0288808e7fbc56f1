#pragma once
// A member's full name as every window and report shows it.
#include <string>

#include "core/dictionary/records.h"

// Surname, father's name and given name, each without its trailing blanks,
// joined by ", "; an empty part keeps its separators ("Kovač, , Ana"), so
// a line whose member has no row shows ", , ". Windows-1250, as stored, and
// not cut: the field it goes into cuts it to its width.
std::string FullName(const CLANOVI_Record& member);
// The same into out, whose storage is reused (a report's line costs no
// allocation).
void FullName(const CLANOVI_Record& member, std::string& out);
