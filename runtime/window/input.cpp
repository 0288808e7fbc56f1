#include <algorithm>
#include <mutex>
#include <string>

#include "runtime/window/hub.h"
#include "runtime/window/internal.h"
#include "runtime/window/window.h"

namespace rt {

using namespace detail;

// ---------------------------------------------------------------------------
// Input

// The hub has made the window active already where the input does (rt::input).
// Input that changes nothing shown (a placement the window already has, an
// activation it already shows, a menu hover) draws nothing anew: a display
// that reports what it was told to show must not start a round of redraws.
void Window::handleInput(const Input& in) {
    switch (in.kind) {
        case Input::Kind::Placement:
        case Input::Kind::Activate:
        case Input::Kind::MenuHover:
            break;
        default:
            dirty_ = true;
            break;
    }
    switch (in.kind) {
        case Input::Kind::Click:
            handleClick(in.control, in.row, key::MouseLeft);
            break;
        case Input::Kind::DoubleClick:
            handleClick(in.control, in.row, key::MouseLeft2);
            break;
        case Input::Kind::RightClick:
            handleClick(in.control, in.row, key::MouseRight);
            break;
        case Input::Kind::Key:
            handleKey(in.key);
            break;
        case Input::Kind::Text: {
            if (in.control <= 0 || in.control > controlCount()) break;
            Control& k = control(in.control);
            if (!hasValueEdit(k.kind) || k.readOnly || k.disabled) break;
            std::string text = in.text;
            if (const Picture* pic = pictureOf(k); pic && pic->kind == Picture::Kind::Text &&
                                                   pic->width > 0 &&
                                                   utf8Length(text) > std::size_t(pic->width))
                text = utf8Prefix(text, static_cast<std::size_t>(pic->width));
            k.edit = text;
            k.edited = true;
            break;
        }
        case Input::Kind::Menu: {
            const int c = in.control;
            if (c <= 0 || c > controlCount()) break;
            const Control& k = control(c);
            if (k.kind != ControlKind::Item || k.disabled || !visibleInTree(c)) break;
            for (int p = k.parent; p > 0; p = control(p).parent)
                if (control(p).disabled) return;
            if (k.action == Control::Action::Close)
                queue({Event::CloseWindow, 0, 0, false});
            else if (k.action == Control::Action::PrintSetup)
                printSetup();
            else
                queue({Event::Accepted, c, 0, false});
            break;
        }
        case Input::Kind::MenuHover:
            if (in.control > 0 && in.control <= controlCount()) {
                setStatusText(1, control(in.control).msg);
            } else {
                // The menu closed: back to what the active window says.
                Hub& h = hub();
                std::lock_guard g(h.m);
                h.showActiveMessageLocked();
            }
            break;
        case Input::Kind::TabChosen:
            if (in.control > 0 && in.control <= controlCount() &&
                control(in.control).kind == ControlKind::Tab) {
                const int sheet = control(in.control).parent;
                if (sheet && control(sheet).selectedTab != in.control) {
                    chooseTab(in.control);
                    if (focus_ && !focusable(focus_, false)) focus_ = 0;
                    queue({Event::NewSelection, sheet, 0, false});
                }
            }
            break;
        case Input::Kind::Close:
            queue({Event::CloseWindow, 0, 0, false});
            break;
        case Input::Kind::Placement: {
            const bool sized =
                in.maximized != maximized_ || in.minimized != minimized_ ||
                (!in.maximized && !in.minimized && (in.at.w != at_.w || in.at.h != at_.h));
            const bool moved =
                !in.maximized && !in.minimized && (in.at.x != at_.x || in.at.y != at_.y);
            // A maximized or minimized window keeps its normal placement.
            if (!in.maximized && !in.minimized) {
                at_.x = in.at.x;
                at_.y = in.at.y;
                at_.w = std::max(in.at.w, minSize_.w);
                at_.h = std::max(in.at.h, minSize_.h);
                // Smaller than it may be: the display is to show it at its least.
                if (at_.w != in.at.w || at_.h != in.at.h) {
                    ++placed_;
                    dirty_ = true;
                }
            }
            maximized_ = in.maximized;
            minimized_ = in.minimized;
            if (sized) queue({Event::Sized, 0, 0, false});
            if (moved) queue({Event::Moved, 0, 0, false});
            break;
        }
        case Input::Kind::Activate: {
            Hub& h = hub();
            std::lock_guard g(h.m);
            if ((h.active == id_) != activeShown_) dirty_ = true;
            break;
        }
        case Input::Kind::Focus:
            if (focusable(in.control, false)) navigateTo(in.control, false);
            break;
    }
}

void Window::handleClick(int c, int row, int k) {
    // A click of any button on a list row highlights that row first.
    if (c > 0 && c <= controlCount() && row > 0) {
        Control& list = control(c);
        if (list.kind == ControlKind::List && !list.disabled && visibleInTree(c)) {
            const int rows = list.rowCount ? list.rowCount() : 0;
            if (row <= rows && list.highlight != row) {
                list.highlight = row;
                queue({Event::NewSelection, c, 0, false});
            }
        }
    }
    if (c > 0 && c <= controlCount() && control(c).alerts.count(k)) {
        queue({Event::AlertKey, c, k, false});
        return;
    }
    // A key alerted on the window itself concerns the control with the focus.
    if (windowAlerts_.count(k)) {
        queue({Event::AlertKey, focus_, k, false});
        return;
    }
    if (c <= 0 || c > controlCount()) return;
    Control& ctl = control(c);
    if (ctl.disabled || !visibleInTree(c)) return;
    if (k == key::MouseRight) return;
    if (k == key::MouseLeft2) return;
    switch (ctl.kind) {
        case ControlKind::Button:
        case ControlKind::Check:
        case ControlKind::Radio:
            navigateTo(c, true);
            break;
        case ControlKind::Tab:
            handleInput(Input{Input::Kind::TabChosen, c});
            break;
        case ControlKind::Prompt: {
            const int n = nextFocusable(c, 1);
            if (n) navigateTo(n, false);
            break;
        }
        default:
            if (focusable(c, false)) navigateTo(c, false);
            break;
    }
}

void Window::navigateTo(int target, bool press) {
    if (focus_ == target) {
        if (press) pressButton(target);
        return;
    }
    const int from = focus_;
    if (from && hasValueEdit(control(from).kind) && control(from).edited) {
        if (!acceptControl(from, false)) return;
        queue({Event::Accepted, from, 0, true});
        move_ = PendingMove{true, 0, from, target, press, selects_};
        return;
    }
    moveFocus(target);
    if (press) pressButton(target);
}

void Window::handleKey(int k) {
    const int f = focus_;
    if (alerted(f, k)) {
        queue({Event::AlertKey, f, k, false});
        return;
    }
    Control* c = f ? &control(f) : nullptr;
    const ControlKind kind = c ? c->kind : ControlKind::String;
    switch (k) {
        case key::Tab:
            navigate(1);
            return;
        case key::ShiftTab:
            navigate(-1);
            return;
        case key::Esc:
            if (desc_.kind == WindowKind::Child) queue({Event::CloseWindow, 0, 0, false});
            return;
        default:
            break;
    }
    if (!c) return;
    if (k == key::ShiftEnter && kind == ControlKind::Text) {
        insertText("\n");
        return;
    }
    if (k == key::Enter) {
        if (kind == ControlKind::Button || kind == ControlKind::Check) {
            pressButton(f);
            return;
        }
        int def = 0;
        for (int i = 1; i <= controlCount(); ++i)
            if (control(i).isDefault && focusable(i, false)) def = i;
        if (def) {
            navigateTo(def, true);
        } else if (hasValueEdit(kind) && c->edited) {
            if (acceptControl(f, false)) queue({Event::Accepted, f, 0, false});
        }
        return;
    }
    if (kind == ControlKind::List) {
        const int rows = c->rowCount ? c->rowCount() : 0;
        auto moveTo = [&](int row) {
            if (row != c->highlight) {
                c->highlight = row;
                queue({Event::NewSelection, f, 0, false});
            }
        };
        switch (k) {
            case key::Down:
                if (c->highlight < rows)
                    moveTo(c->highlight + 1);
                else
                    queue({Event::ScrollDown, f, 0, false});
                return;
            case key::Up:
                if (c->highlight > 1)
                    moveTo(c->highlight - 1);
                else
                    queue({Event::ScrollUp, f, 0, false});
                return;
            case key::PageDown:
                queue({Event::PageDown, f, 0, false});
                return;
            case key::PageUp:
                queue({Event::PageUp, f, 0, false});
                return;
            case key::Home:
                queue({Event::ScrollTop, f, 0, false});
                return;
            case key::End:
                queue({Event::ScrollBottom, f, 0, false});
                return;
            default:
                return;
        }
    }
    if (hasValueEdit(kind) && !c->readOnly) {
        if (key::printable(k)) {
            std::string text = c->edit + encodeUtf8(k);
            handleInput(Input{Input::Kind::Text, f, 0, 0, text});
        } else if (k == key::Backspace) {
            popUtf8(c->edit);
            c->edited = true;
        }
        return;
    }
    if (k == ' ' && (kind == ControlKind::Button || kind == ControlKind::Check)) pressButton(f);
}

}  // namespace rt
