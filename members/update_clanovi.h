#pragma once
// The member form, called by the member list on its thread with the request
// (insert, change, delete) in GlobalRequest; the outcome goes to
// GlobalResponse.
#include <string>
#include <string_view>

#include "core/dictionary/records.h"

void UpdateCLANOVI();

// The form's history record on this thread: the member buffer at the last
// OK that passed the form's checks (cleared on the thread's first use).
namespace History {
extern thread_local CLANOVI_Record CLA;
}  // namespace History
