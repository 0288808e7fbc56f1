// Small helpers the window layer's .cpp files share. Not part of the
// window layer's interface.
#pragma once

#include <cstddef>
#include <optional>
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
// A text box's line breaks in its edit text: LF for a stored CR LF (or a
// lone CR another program stored).
std::string editLines(std::string_view stored);
void popUtf8(std::string& s);
std::string encodeUtf8(int cp);

// What the user typed into a control (its edit text), as Windows-1250 bytes
// for its picture; nullopt when it is refused: not valid UTF-8, a character
// the code page cannot hold, or a control character (below 0x20, and 0x7F),
// typed or pasted. A multi-line text box takes line breaks, stored as CR LF.
std::optional<std::string> typedText(const Control& c);

// The edit text (UTF-8) of a control that shows cp1250: a text box shows a
// stored CR LF as one line break.
std::string editText(const Control& c, std::string_view cp1250);

// Installs (on) or removes the fatal path for an exception that escapes the
// program body or a procedure thread (escape.cpp).
void installEscapeHandler(bool on);

// A control's picture (nullptr when it has none or one this system does not know).
const Picture* pictureOf(const Control& c);

}  // namespace rt::detail
