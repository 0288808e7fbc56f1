#pragma once
// The update form of a code table: one procedure for the nine, built from
// the table's row (tables.h). Called by the table's list on its thread with
// the request in GlobalRequest; the outcome goes to GlobalResponse.
#include "codelists/tables.h"

namespace codelists {

void UpdateCodeList(const CodeTable& table);

}  // namespace codelists
