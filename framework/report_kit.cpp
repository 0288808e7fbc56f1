#include "framework/report_kit.h"

#include <utility>

#include "framework/window_kit.h"

namespace reportkit {

namespace rr = rt::report;

rt::Font Arial(int size, bool bold) {
    rt::Font f{"Arial", size};
    f.bold = bold;
    f.charset = 238;
    return f;
}

rr::Control Text(const char* utf8, int x, int y) {
    rr::Control c;
    c.kind = rr::Control::Kind::String;
    c.text = kit::WindowText(utf8);
    c.x = x;
    c.y = y;
    return c;
}

rr::Control Field(const char* name, rr::Source value, const char* picture, int x, int y, int w,
                  rt::Align align) {
    rr::Control c;
    c.kind = rr::Control::Kind::Field;
    c.name = name;
    c.value = std::move(value);
    c.picture = picture;
    c.x = x;
    c.y = y;
    c.w = w;
    c.align = align;
    return c;
}

rr::Control Rule(int x, int y, int length) {
    rr::Control c;
    c.kind = rr::Control::Kind::Line;
    c.x = x;
    c.y = y;
    c.w = length;
    return c;
}

}  // namespace reportkit
