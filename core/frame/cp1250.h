#pragma once
// The window texts of the frame are written here in UTF-8 and held, like
// every text of the program, in Windows-1250.
#include <string>
#include <string_view>

#include "runtime/text.h"

inline std::string Cp1250(std::string_view utf8) {
    auto t = rt::fromUtf8(utf8);
    return t ? *t : std::string(utf8);
}
