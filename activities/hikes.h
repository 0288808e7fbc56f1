#pragma once
// The hikes windows and their work-action variants: the list of activity
// lines beside the clubs' document counters and the members, started from
// the menu "Aktivnosti " on a thread of its own, and its form, which the
// list calls on its thread with the request in GlobalRequest.
#include "core/dictionary/records.h"

void BrowseANGAZOV();
void UpdateANGAZOV();
// The work-action variants (the menu keeps their item hidden).
void BrowseANGAZOV1();
void UpdateANGAZOV1();

// Each form's history record on this thread.
namespace History {
extern thread_local ANGAZOV_Record ANG;
extern thread_local ANGAZOV_Record ANG1;
}  // namespace History
