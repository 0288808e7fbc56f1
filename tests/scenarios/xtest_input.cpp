#include "tests/scenarios/xtest_input.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "runtime/window/keys.h"

struct XTestInput::Impl {
    Display* d = nullptr;
    std::map<KeySym, KeyCode> spare;  // characters given a key code of their own
    int minCode = 8, maxCode = 255;
};

std::unique_ptr<XTestInput> XTestInput::open(std::string& why) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        why = "no X display to send input to (DISPLAY)";
        return nullptr;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &event, &error, &major, &minor)) {
        XCloseDisplay(d);
        why = "the X server has no XTest extension";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->d = d;
    XDisplayKeycodes(d, &impl->minCode, &impl->maxCode);
    std::unique_ptr<XTestInput> x(new XTestInput(std::move(impl)));
    x->marker_ = XInternAtom(d, "_CLANOVI_SCENARIO_MARK", False);
    return x;
}

XTestInput::XTestInput(std::unique_ptr<Impl> impl) : p_(std::move(impl)) {}

XTestInput::~XTestInput() {
    if (!p_->d) return;
    // The spare key codes go back to typing nothing.
    for (const auto& [sym, code] : p_->spare) {
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(p_->d, code, 1, &none, 1);
    }
    XCloseDisplay(p_->d);
}

void XTestInput::move(int x, int y) {
    XTestFakeMotionEvent(p_->d, -1, x, y, CurrentTime);
    XFlush(p_->d);
}

void XTestInput::click(int x, int y, int button) {
    // As a hand does it: the pointer comes to rest, the button goes down and
    // comes up a tenth of a second later. A window manager that catches the
    // press to raise the window first hands it on only then; a release sent
    // while it holds the press can make the program lose the click.
    move(x, y);
    XSync(p_->d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    XTestFakeButtonEvent(p_->d, static_cast<unsigned>(button), True, CurrentTime);
    XSync(p_->d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    XTestFakeButtonEvent(p_->d, static_cast<unsigned>(button), False, CurrentTime);
    XFlush(p_->d);
}

namespace {

struct Named {
    KeySym sym;
    bool shift, ctrl;
};

bool named(int k, Named& out) {
    namespace key = rt::key;
    switch (k) {
        case key::Tab:
            out = {XK_Tab, false, false};
            return true;
        case key::ShiftTab:
            out = {XK_Tab, true, false};
            return true;
        case key::Enter:
            out = {XK_Return, false, false};
            return true;
        case key::ShiftEnter:
            out = {XK_Return, true, false};
            return true;
        case key::CtrlEnter:
            out = {XK_Return, false, true};
            return true;
        case key::Up:
            out = {XK_Up, false, false};
            return true;
        case key::Down:
            out = {XK_Down, false, false};
            return true;
        case key::Left:
            out = {XK_Left, false, false};
            return true;
        case key::Right:
            out = {XK_Right, false, false};
            return true;
        case key::PageUp:
            out = {XK_Page_Up, false, false};
            return true;
        case key::PageDown:
            out = {XK_Page_Down, false, false};
            return true;
        case key::Home:
            out = {XK_Home, false, false};
            return true;
        case key::End:
            out = {XK_End, false, false};
            return true;
        case key::Insert:
            out = {XK_Insert, false, false};
            return true;
        case key::Delete:
            out = {XK_Delete, false, false};
            return true;
        case key::Esc:
            out = {XK_Escape, false, false};
            return true;
        case key::CtrlH:
            out = {XK_h, false, true};
            return true;
        case key::Backspace:
            out = {XK_BackSpace, false, false};
            return true;
        case key::AppsKey:
            out = {XK_Menu, false, false};
            return true;
        case key::CtrlTab:
            out = {XK_Tab, false, true};
            return true;
        case key::CtrlShiftTab:
            out = {XK_Tab, true, true};
            return true;
        case key::CtrlPageDown:
            out = {XK_Page_Down, false, true};
            return true;
        case key::CtrlPageUp:
            out = {XK_Page_Up, false, true};
            return true;
        case key::CtrlF6:
            out = {XK_F6, false, true};
            return true;
        case key::CtrlShiftF6:
            out = {XK_F6, true, true};
            return true;
        default:
            break;
    }
    if (k >= key::F1 && k < key::F1 + 12) {
        out = {static_cast<KeySym>(XK_F1 + (k - key::F1)), false, false};
        return true;
    }
    return false;
}

}  // namespace

int XTestInput::key(int k) {
    Display* d = p_->d;
    Named n{};
    if (!named(k, n)) {
        if (!rt::key::printable(k)) return 0;
        // Latin-1 characters are their own key symbols; the rest are
        // Unicode key symbols.
        n.sym = (k < 0x100) ? static_cast<KeySym>(k) : static_cast<KeySym>(0x01000000 | k);
    }
    KeyCode code = XKeysymToKeycode(d, n.sym);
    bool shift = n.shift;
    if (code) {
        if (XkbKeycodeToKeysym(d, code, 0, 0) != n.sym) {
            if (XkbKeycodeToKeysym(d, code, 0, 1) == n.sym)
                shift = true;
            else
                code = 0;  // on another level or group: not reachable plainly
        }
    }
    if (!code) {
        auto it = p_->spare.find(n.sym);
        if (it != p_->spare.end()) {
            code = it->second;
        } else {
            // A key code that types nothing now types this character.
            for (int c = p_->maxCode; c >= p_->minCode && !code; --c) {
                int per = 0;
                KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(c), 1, &per);
                bool empty = true;
                for (int i = 0; i < per; ++i)
                    if (syms[i] != NoSymbol) empty = false;
                XFree(syms);
                bool taken = false;
                for (const auto& [s, used] : p_->spare)
                    if (used == c) taken = true;
                if (empty && !taken) code = static_cast<KeyCode>(c);
            }
            if (!code) return 0;
            KeySym both[2] = {n.sym, n.sym};
            XChangeKeyboardMapping(d, code, 2, both, 1);
            XSync(d, False);
            p_->spare[n.sym] = code;
        }
    }
    const KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
    const KeyCode ctrlCode = XKeysymToKeycode(d, XK_Control_L);
    if (shift) XTestFakeKeyEvent(d, shiftCode, True, CurrentTime);
    if (n.ctrl) XTestFakeKeyEvent(d, ctrlCode, True, CurrentTime);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    if (n.ctrl) XTestFakeKeyEvent(d, ctrlCode, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(d, shiftCode, False, CurrentTime);
    XFlush(d);
    return 1 + (shift ? 1 : 0) + (n.ctrl ? 1 : 0);
}

void XTestInput::sync() {
    XSync(p_->d, False);
}

void XTestInput::mark(unsigned long window, long value) {
    XChangeProperty(p_->d, window, marker_, XA_INTEGER, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XFlush(p_->d);
}

unsigned long XTestInput::focus() {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(p_->d, &w, &revert);
    return w;
}

std::string XTestInput::windowName(unsigned long window) {
    Display* d = p_->d;
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(d, window, netName, 0, 1024, False, utf8, &type, &format, &items, &after,
                           &data) == Success &&
        data && type == utf8 && format == 8)
        name.assign(reinterpret_cast<const char*>(data), items);
    if (data) XFree(data);
    if (type == utf8) return name;
    char* plain = nullptr;
    if (XFetchName(d, static_cast<Window>(window), &plain) && plain) name = plain;
    if (plain) XFree(plain);
    return name;
}
