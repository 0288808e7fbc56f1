#pragma once
// The member form, called by the member list on its thread with the request
// (insert, change, delete) in GlobalRequest; the outcome goes to
// GlobalResponse.
#include <string>
#include <string_view>

#include "core/dictionary/records.h"

void UpdateCLANOVI();

// The photo path the form keeps for the path it stored (Windows-1250,
// trailing blanks ignored): the bare file name in upper case when the
// directory part (before the last "/"), in upper case, is the current
// directory itself (currentDirectory, Windows-1250; trailing blanks
// ignored in the comparison, letter case counting); otherwise the path
// unchanged. So in "/CLUB" the path "/CLUB/foto1.jpg" becomes "FOTO1.JPG",
// in "/home/club" "/home/club/foto1.jpg" stays, and a file in the root
// directory ("/foto.jpg") always keeps its full path.
std::string KeptPhotoPath(std::string_view path, std::string_view currentDirectory);

// The form's history record on this thread: the member buffer at the last
// OK that passed the form's checks (cleared on the thread's first use).
namespace History {
extern thread_local CLANOVI_Record CLA;
}  // namespace History
