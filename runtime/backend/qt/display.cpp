// Whether there is an X display to draw on, asked before Qt starts.
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace rt {

std::optional<std::string> missingDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool xcb = !platform || !*platform || std::strncmp(platform, "xcb", 3) == 0;
    if (!xcb) return std::nullopt;  // offscreen, wayland, ...: Qt's to find
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!platform || !*platform) && wayland && *wayland) return std::nullopt;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return std::string("DISPLAY is not set");
    Display* d = XOpenDisplay(nullptr);
    if (!d) return "the display " + std::string(name) + " cannot be opened";
    XCloseDisplay(d);
    return std::nullopt;
}

}  // namespace rt
