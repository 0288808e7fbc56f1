#pragma once
// The code lists a code entry is looked up in. What a window declares of a
// lookup is its own (the entry, its button, the variable it edits, the hook
// number, the name beside it); the code key and the code field belong to
// the list and are written here once.
#include "core/dictionary/files.h"
#include "framework/lookup.h"

// lookup with the code key of list and the list's code field in the calling
// thread's record buffer (so it is called on the window's thread, where the
// window is built). list is one of the files looked up by code: PLANSA,
// PLAND, TURPOS, CLANOVI, STUPEM, BRAST, NACION, NACUC, KATEG, PODPOS; any
// other throws std::invalid_argument.
Lookup LookupIn(FileId list, Lookup lookup = {});
