#pragma once
// The photo path the member form stores for a file picked in its dialog.
#include <cstddef>
#include <string>
#include <string_view>

namespace members {

// The width of the member's photo path (CLA:M1_PUS).
constexpr std::size_t PhotoPathWidth = 60;

// picked: the dialog's answer in Windows-1250 (blank when it was cancelled);
// currentDirectory: the program's current directory, Windows-1250. The path
// is cut to its 60 characters; then, when its directory part (before the
// last "/"), upper-cased, is the current directory as it stands, the bare
// file name alone is kept, upper-cased. So with the current directory
// "/CLUB" the file "/CLUB/foto1.jpg" is stored as "FOTO1.JPG", while in
// "/home/club" (whose upper case is another name) the full path stays.
// An empty current directory matches nothing. Trailing blanks are not part
// of the result.
std::string StoredPhotoPath(std::string_view picked, std::string_view currentDirectory);

}  // namespace members
