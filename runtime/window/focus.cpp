#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/text.h"
#include "runtime/window/hub.h"
#include "runtime/window/internal.h"
#include "runtime/window/window.h"

namespace rt {

using namespace detail;

// ---------------------------------------------------------------------------
// Focus

bool Window::visibleInTree(int c) const {
    int p = c;
    int guard = 0;
    while (p > 0 && guard++ < 64) {
        const Control& k = control(p);
        if (k.hidden) return false;
        if (k.kind == ControlKind::Tab && k.parent) {
            if (control(k.parent).selectedTab != p) return false;
        }
        p = k.parent;
    }
    return true;
}

bool takesFocus(ControlKind kind) {
    switch (kind) {
        case ControlKind::Entry:
        case ControlKind::Text:
        case ControlKind::Button:
        case ControlKind::Check:
        case ControlKind::Radio:
        case ControlKind::List:
        case ControlKind::DropList:
        case ControlKind::Combo:
        case ControlKind::DropCombo:
        case ControlKind::Spin:
            return true;
        default:
            return false;
    }
}

bool Window::focusable(int c, bool byTab) const {
    if (c <= 0 || c > controlCount()) return false;
    const Control& k = control(c);
    if (!takesFocus(k.kind)) return false;
    if (k.disabled || !visibleInTree(c)) return false;
    for (int p = k.parent, guard = 0; p > 0 && guard < 64; p = control(p).parent, ++guard)
        if (control(p).disabled) return false;
    if (byTab && k.kind == ControlKind::Radio && k.parent &&
        control(k.parent).kind == ControlKind::Option)
        return tabRadio(k.parent) == c;  // an option box is one Tab stop
    return !(byTab && k.skip);
}

bool Window::radioChosen(int radio) const {
    const Control& r = control(radio);
    if (r.kind != ControlKind::Radio || !r.parent || !control(r.parent).value) return false;
    return trim(control(r.parent).value.show(nullptr)) == trim(r.radioValue);
}

int Window::tabRadio(int box) const {
    int first = 0;
    for (int c = 1; c <= controlCount(); ++c) {
        const Control& k = control(c);
        if (k.kind != ControlKind::Radio || k.parent != box || k.skip || !focusable(c, false))
            continue;
        if (radioChosen(c)) return c;
        if (!first) first = c;
    }
    return first;
}

void Window::stepRadio(int radio, int direction) {
    const int box = control(radio).parent;
    std::vector<int> radios;
    for (int c = 1; c <= controlCount(); ++c)
        if (control(c).kind == ControlKind::Radio && control(c).parent == box &&
            focusable(c, false))
            radios.push_back(c);
    const auto at = std::find(radios.begin(), radios.end(), radio);
    if (at == radios.end()) return;
    const int n = static_cast<int>(radios.size());
    const int i = static_cast<int>(at - radios.begin());
    navigateTo(radios[static_cast<std::size_t>(((i + direction) % n + n) % n)], true);
}

int Window::nextFocusable(int from, int direction) const {
    const int n = controlCount();
    if (n == 0) return 0;
    int c = from;
    for (int i = 0; i < n; ++i) {
        if (direction >= 0)
            c = c >= n ? 1 : c + 1;
        else
            c = c <= 1 ? n : c - 1;
        if (c == from) break;
        if (focusable(c, true)) return c;
    }
    return 0;
}

void Window::moveFocus(int target, bool byKey) {
    if (target <= 0) return;
    Control& k = control(target);
    if (k.kind == ControlKind::Prompt) {
        target = nextFocusable(target, 1);
        if (!target) return;
    }
    if (Control& t = control(target); byKey && hasValueEdit(t.kind)) {
        t.anchor = 0;
        t.caret = static_cast<int>(utf8Length(t.edit));
    }
    const int from = focus_;
    focus_ = target;
    dirty_ = true;
    // The status bar shows it while this window is the active one.
    std::string message = toUtf8(control(target).msg);
    {
        Hub& h = hub();
        std::lock_guard g(h.m);
        auto it = h.windows.find(id_);
        if (it != h.windows.end()) {
            it->second.message = std::move(message);
            if (h.active == id_) h.statusLocked(1, it->second.message);
        }
    }
    queue({Event::Selected, target, 0, false, from});
}

void Window::select(int c) {
    ++selects_;
    // A control on a tab that is not shown brings its tab (and the tabs
    // around it) to the front first, so the focus can go there.
    if (c > 0 && c <= controlCount() && !control(c).hidden) {
        for (int p = control(c).parent, guard = 0; p > 0 && guard < 64;
             p = control(p).parent, ++guard) {
            const Control& k = control(p);
            if (k.kind == ControlKind::Tab && k.parent && control(k.parent).selectedTab != p) {
                chooseTab(p);
                queue({Event::NewSelection, k.parent, 0, false});  // as a chosen tab reports
            }
        }
    }
    if (c > 0 && c <= controlCount() && control(c).kind == ControlKind::Prompt)
        c = nextFocusable(c, 1);
    if (c <= 0 || c > controlCount()) return;
    if (control(c).kind == ControlKind::Tab) {
        chooseTab(c);
        c = nextFocusable(c, 1);
        if (!c) return;
    }
    if (!focusable(c, false)) return;  // a menu, a panel: nothing takes the focus
    moveFocus(c);
}

// Takes what the user typed into an entry. False when the picture refuses
// it: the beep, the old value shown again, the focus kept there and the
// rejected event.
bool Window::acceptControl(int c, bool) {
    Control& k = control(c);
    if (!hasValueEdit(k.kind) || !k.edited) return true;
    bool ok = false;
    if (auto cp = typedText(k)) {
        if (k.value) {
            ok = k.value.take(pictureOf(k), *cp);
        } else {
            k.text = *cp;
            ok = true;
        }
    }
    if (!ok) {
        beep();
        display(c);
        focus_ = c;
        queue({Event::Rejected, c, 0, false});
        return false;
    }
    display(c);
    return true;
}

void Window::navigate(int direction) {
    const int from = focus_;
    if (from && hasValueEdit(control(from).kind) && control(from).edited) {
        if (!acceptControl(from, false)) return;
        queue({Event::Accepted, from, 0, true});
        move_ = PendingMove{true, direction, from, 0, false, selects_};
        return;
    }
    const int target = nextFocusable(from, direction);
    if (target && target != from) moveFocus(target, true);
}

void Window::stepTab(int direction) {
    int sheet = 0;
    for (int p = focus_, guard = 0; p > 0 && guard < 64 && !sheet; p = control(p).parent, ++guard)
        if (control(p).kind == ControlKind::Sheet) sheet = p;
    for (int c = 1; c <= controlCount() && !sheet; ++c)
        if (control(c).kind == ControlKind::Sheet && visibleInTree(c) && !control(c).disabled)
            sheet = c;
    if (!sheet) return;
    std::vector<int> tabs;
    for (int c = 1; c <= controlCount(); ++c)
        if (control(c).kind == ControlKind::Tab && control(c).parent == sheet &&
            !control(c).hidden && !control(c).disabled)
            tabs.push_back(c);
    if (tabs.size() < 2) return;
    const auto at = std::find(tabs.begin(), tabs.end(), control(sheet).selectedTab);
    const int i = at == tabs.end() ? 0 : static_cast<int>(at - tabs.begin());
    const int n = static_cast<int>(tabs.size());
    handleInput(Input{Input::Kind::TabChosen,
                      tabs[static_cast<std::size_t>(((i + direction) % n + n) % n)]});
}

void Window::pressButton(int c) {
    Control& k = control(c);
    if (k.disabled || !visibleInTree(c)) return;
    switch (k.kind) {
        case ControlKind::Check:
            if (k.value) {
                const bool on = std::string(trim(k.value.show(nullptr))) == k.trueValue;
                k.value.take(nullptr, on ? k.falseValue : k.trueValue);
            }
            break;
        case ControlKind::Radio:
            if (k.parent && control(k.parent).value) {
                control(k.parent).value.take(nullptr, k.radioValue);
                dirty_ = true;
                queue({Event::Accepted, k.parent, 0, false});
                return;
            }
            break;
        default:
            break;
    }
    dirty_ = true;
    queue({Event::Accepted, c, 0, false});
}

void Window::insertText(std::string_view utf8) {
    if (!focus_) return;
    Control& k = control(focus_);
    if (!hasValueEdit(k.kind) || k.readOnly) return;
    const std::size_t from =
        utf8Offset(k.edit, static_cast<std::size_t>(std::min(k.caret, k.anchor)));
    const std::size_t to =
        utf8Offset(k.edit, static_cast<std::size_t>(std::max(k.caret, k.anchor)));
    const int at =
        static_cast<int>(utf8Length(std::string_view(k.edit).substr(0, from)) + utf8Length(utf8));
    setEdit(k, k.edit.substr(0, from) + std::string(utf8) + k.edit.substr(to), at, at);
}

// ---------------------------------------------------------------------------
// Editing: the caret and the selection are the window's, so every display
// shows them alike.

void Window::setEdit(Control& k, std::string text, int caret, int anchor) {
    // An edit that takes the text past its picture's width (a key typed at
    // the end, a paste too long) is refused whole, with a beep: the entry
    // keeps what it holds (nothing is cut unseen), and a display that
    // changed its box itself is drawn back.
    if (const Picture* pic = pictureOf(k); pic && pic->kind == Picture::Kind::Text &&
                                           pic->width > 0 &&
                                           utf8Length(text) > std::size_t(pic->width)) {
        beep();
        dirty_ = true;
        return;
    }
    const int len = static_cast<int>(utf8Length(text));
    k.edit = std::move(text);
    k.edited = true;
    k.caret = caret < 0 ? len : std::min(caret, len);
    k.anchor = anchor < 0 ? k.caret : std::min(anchor, len);
    dirty_ = true;
}

bool Window::editKey(Control& c, int k) {
    const std::string& t = c.edit;
    const int len = static_cast<int>(utf8Length(t));
    const int lo = std::min(c.caret, c.anchor), hi = std::max(c.caret, c.anchor);
    auto at = [&](int chars) {
        return utf8Offset(t, static_cast<std::size_t>(std::max(chars, 0)));
    };
    auto replace = [&](int from, int to, std::string_view with) {
        if (c.readOnly) return;
        const int caret = from + static_cast<int>(utf8Length(with));
        setEdit(c, t.substr(0, at(from)) + std::string(with) + t.substr(at(to)), caret, caret);
    };
    auto moveTo = [&](int caret) {
        c.caret = c.anchor = std::clamp(caret, 0, len);
        dirty_ = true;
    };
    // A text box's lines: where the caret's line starts and ends (characters).
    auto lineStart = [&](int caret) {
        const std::size_t b = at(caret);
        const std::size_t nl = b == 0 ? std::string::npos : t.rfind('\n', b - 1);
        return nl == std::string::npos ? 0 : static_cast<int>(utf8Length(t.substr(0, nl + 1)));
    };
    auto lineEnd = [&](int caret) {
        const std::size_t nl = t.find('\n', at(caret));
        return nl == std::string::npos ? len : static_cast<int>(utf8Length(t.substr(0, nl)));
    };
    const bool lines = c.kind == ControlKind::Text;
    if (key::printable(k)) {
        replace(lo, hi, encodeUtf8(k));
        return true;
    }
    switch (k) {
        case key::Backspace:
            if (lo < hi)
                replace(lo, hi, "");
            else if (c.caret > 0)
                replace(c.caret - 1, c.caret, "");
            return true;
        case key::Delete:
            if (lo < hi)
                replace(lo, hi, "");
            else if (c.caret < len)
                replace(c.caret, c.caret + 1, "");
            return true;
        case key::Left:
            moveTo(lo < hi ? lo : c.caret - 1);
            return true;
        case key::Right:
            moveTo(lo < hi ? hi : c.caret + 1);
            return true;
        case key::Home:
            moveTo(lines ? lineStart(c.caret) : 0);
            return true;
        case key::End:
            moveTo(lines ? lineEnd(c.caret) : len);
            return true;
        case key::Up:
        case key::Down: {
            if (!lines) return false;
            const int start = lineStart(c.caret), column = c.caret - start;
            if (k == key::Up) {
                if (start == 0) return true;
                const int prev = lineStart(start - 1);
                moveTo(prev + std::min(column, start - 1 - prev));
            } else {
                const int end = lineEnd(c.caret);
                if (end >= len) return true;
                const int next = end + 1;
                moveTo(next + std::min(column, lineEnd(next) - next));
            }
            return true;
        }
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------
// The accept-all pass

void Window::acceptAll() {
    pass_ = Pass{true, 1, selects_};
    dirty_ = true;
}

bool Window::stepPass() {
    if (selects_ != pass_.selects) {
        pass_.active = false;  // a handler moved the focus: the pass ends there
        return false;
    }
    for (int c = pass_.next; c <= controlCount(); ++c) {
        const Control& k = control(c);
        if (!passKind(k.kind) || k.disabled || k.hidden) continue;
        pass_.next = c + 1;
        if (!acceptControl(c, true)) {
            pass_.active = false;
            return false;
        }
        queue({Event::Accepted, c, 0, false});
        return true;
    }
    pass_.active = false;
    queue({Event::Completed, 0, 0, false});
    return true;
}

}  // namespace rt
