// Small helpers the window layer's .cpp files share. Not part of the
// window layer's interface.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/window/window.h"

namespace rt::detail {

// Lower case over Windows-1250, for names compared without case.
std::string lower(std::string_view s);

// The controls whose value the user edits as text.
bool hasValueEdit(ControlKind k);

// The controls the accept-all pass accepts.
bool passKind(ControlKind k);

std::size_t utf8Length(std::string_view s);
// The byte where character chars of s begins (s.size() past its end).
std::size_t utf8Offset(std::string_view s, std::size_t chars);
// A text box's line breaks: LF in its edit text, CR LF as stored.
std::string editLines(std::string_view stored);
std::string storedLines(std::string_view edit);
std::string utf8Prefix(std::string_view s, std::size_t chars);
void popUtf8(std::string& s);
std::string encodeUtf8(int cp);

// A control's picture (nullptr when it has none or one this system does not know).
const Picture* pictureOf(const Control& c);

}  // namespace rt::detail
