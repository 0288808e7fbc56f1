#pragma once
// The clubs' document counters: the list, started from the menu "Brojači"
// on a thread of its own, and its form, which the list calls on its thread
// with the request in GlobalRequest.
#include "core/dictionary/records.h"

void BrowseDOKUM();
void UpdateDOKAN();

// The form's history record on this thread.
namespace History {
extern thread_local DOKAN_Record DOK;
}  // namespace History
