#pragma once
// The form of one fee-ledger line, called by the ledger list on its thread
// with the request (insert, change, delete) in GlobalRequest; the outcome
// goes to GlobalResponse.
#include "core/dictionary/records.h"

void UpdateCLANAR();

// The form's history record on this thread.
namespace History {
extern thread_local CLANAR_Record CLA1;
}  // namespace History
