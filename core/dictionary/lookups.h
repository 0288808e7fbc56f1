#pragma once
// The code lists a code entry is looked up in. What a window declares of a
// lookup is its own (the entry, its button, the variable it edits, the name
// beside it); the code key, the code field and the select window belong to
// the list and are written here once.
#include "core/dictionary/files.h"
#include "framework/lookup.h"

// lookup with the code key of list and the list's code field in the calling
// thread's record buffer (so it is called on the window's thread, where the
// window is built). list is one of the files looked up by code: PLANSA,
// PLAND, TURPOS, CLANOVI, STUPEM, BRAST, NACION, NACUC, KATEG, PODPOS; any
// other throws std::invalid_argument.
Lookup LookupIn(FileId list, Lookup lookup = {});

// Adds LookupIn(list, lookup) to a window's lookups with the list's select
// window (SelectPLAND for PLAND, ..., found by name) as the one its code
// opens. The first lookup of a list adds that select procedure; a later one
// of the same list (the other end of a code range) opens the same one, under
// the same hook number. The number the window gave is not used.
void AddLookupIn(LookupClass& lookups, FileId list, Lookup lookup);
