#include "members/photo_path.h"

#include "runtime/text.h"

namespace members {

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(rt::upperCp1250(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string StoredPhotoPath(std::string_view picked, std::string_view currentDirectory) {
    const std::string stored(rt::trimRight(picked.substr(0, PhotoPathWidth)));
    const std::size_t slash = stored.rfind('/');
    // An unknown current directory (empty) is none the path can lie in.
    if (slash == std::string::npos || rt::trimRight(currentDirectory).empty()) return stored;
    const std::string directory = Upper(std::string_view(stored).substr(0, slash));
    if (rt::trimRight(directory) != rt::trimRight(currentDirectory)) return stored;
    return Upper(std::string_view(stored).substr(slash + 1));
}

}  // namespace members
