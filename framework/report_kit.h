#pragma once
// Builders of a report's description, as window_kit.h's are of a window's
// controls: each control at its place in its band (1/1000 inch), the texts
// written in UTF-8 and held in Windows-1250.
#include "runtime/report/report.h"

namespace reportkit {

// Arial of size points, bold or not, in the East European character set.
rt::Font Arial(int size, bool bold = false);

// A string with no name: the text at (x, y).
rt::report::Control Text(const char* utf8, int x, int y);

// A field: value printed with picture, w wide (0: as wide as it prints) and
// aligned in that width.
rt::report::Control Field(const char* name, rt::report::Source value, const char* picture, int x,
                          int y, int w = 0, rt::Align align = rt::Align::Left);

// A horizontal rule with no name, length long.
rt::report::Control Rule(int x, int y, int length);

}  // namespace reportkit
