#pragma once
// The date of the last data update per federation and club: the list,
// started from the menu "Članovi PD" on a thread of its own, and its form,
// which the list calls on its thread with the request (insert, change,
// delete, view) in GlobalRequest; the outcome goes to GlobalResponse.
#include "core/dictionary/records.h"

void BrowseDATAZUR();
void UpdateDATAZUR();

// The form's history record on this thread.
namespace History {
extern thread_local DATAZUR_Record DAT;
}  // namespace History
