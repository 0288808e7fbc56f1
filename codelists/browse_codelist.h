#pragma once
// The list window of a code table: one procedure for the nine, built from
// the table's row (tables.h).
#include "codelists/tables.h"

namespace codelists {

// Runs the list of table on the calling thread (the menu starts it on a
// thread of its own); the response goes to GlobalResponse.
void BrowseCodeList(const CodeTable& table);

}  // namespace codelists
