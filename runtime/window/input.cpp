#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "runtime/window/hub.h"
#include "runtime/window/internal.h"
#include "runtime/window/window.h"

namespace rt {

using namespace detail;

// ---------------------------------------------------------------------------
// Input

std::uint64_t nextInputSeq() {
    static std::atomic<std::uint64_t> next{0};
    return ++next;
}

// The hub has made the window active already where the input does (rt::input).
// Input that changes nothing shown (a placement the window already has, an
// activation it already shows, a menu hover) draws nothing anew: a display
// that reports what it was told to show must not start a round of redraws.
void Window::handleInput(const Input& in) {
    // A display holding its own change waits for a view that has taken it,
    // even when the change alters nothing here.
    if (in.seq > inputsTaken_) {
        inputsTaken_ = in.seq;
        dirty_ = true;
    }
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
            setEdit(k, in.text, in.caret, in.anchor);
            break;
        }
        case Input::Kind::Caret: {
            if (in.control <= 0 || in.control > controlCount()) break;
            Control& k = control(in.control);
            if (!hasValueEdit(k.kind)) break;
            const int len = static_cast<int>(utf8Length(k.edit));
            k.caret = in.caret < 0 ? len : std::min(in.caret, len);
            k.anchor = in.anchor < 0 ? k.caret : std::min(in.anchor, len);
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
                    // The entry being left takes what was typed into it, as
                    // when the focus leaves it; a value its picture refuses
                    // keeps the focus there and the tab as it was.
                    if (focus_ && hasValueEdit(control(focus_).kind) && control(focus_).edited) {
                        if (!acceptControl(focus_, false)) break;
                        queue({Event::Accepted, focus_, 0, false});
                    }
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
                (!in.maximized && !in.minimized && (in.at.w != at_.w || in.at.h != at_.h)) ||
                (in.maximized && in.at.w > 0 && in.at.h > 0 &&
                 (in.at.w != maximizedSize_.w || in.at.h != maximizedSize_.h));
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
            // What a maximized window's display gives it lays its controls out.
            if (in.maximized && in.at.w > 0 && in.at.h > 0)
                maximizedSize_ = {0, 0, in.at.w, in.at.h};
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
            // Clicked at its start (a display reports where its caret went).
            if (focusable(in.control, false) && hasValueEdit(control(in.control).kind))
                control(in.control).caret = control(in.control).anchor = 0;
            if (focusable(in.control, false)) navigateTo(in.control, false);
            break;
        case Input::Kind::Scroll: {
            // The list's scroll bar takes no focus (its window became the
            // active one in input()); the list's owner scrolls.
            const int c = in.control;
            if (c <= 0 || c > controlCount()) break;
            const Control& k = control(c);
            if (k.kind != ControlKind::List || k.disabled || !visibleInTree(c)) break;
            using By = Input::ScrollBy;
            switch (in.scroll) {
                case By::LineUp:
                    queue({Event::LineScroll, c, -1, false});
                    break;
                case By::LineDown:
                    queue({Event::LineScroll, c, 1, false});
                    break;
                case By::PageUp:
                    queue({Event::PageUp, c, 0, false});
                    break;
                case By::PageDown:
                    queue({Event::PageDown, c, 0, false});
                    break;
                case By::Thumb:
                    queue({Event::ThumbDrag, c, std::clamp(in.amount, 0, 100), false});
                    break;
                case By::Wheel:
                    if (in.amount) queue({Event::LineScroll, c, in.amount * WheelRows, false});
                    break;
            }
            break;
        }
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
    if (k == key::MouseLeft2) {
        // The second press of a double click on an entry that lost the focus
        // since the first (a key moved it on) still takes the focus, as a
        // click does; a button is not pressed twice.
        if (hasValueEdit(ctl.kind) && focus_ != c && focusable(c, false)) navigateTo(c, false);
        return;
    }
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
        case key::CtrlTab:
        case key::CtrlPageDown:
            stepTab(1);
            return;
        case key::CtrlShiftTab:
        case key::CtrlPageUp:
            stepTab(-1);
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
    if (hasValueEdit(kind)) {
        editKey(*c, k);
        return;
    }
    if (kind == ControlKind::Radio && c->parent && control(c->parent).kind == ControlKind::Option) {
        switch (k) {
            case key::Up:
            case key::Left:
                stepRadio(f, -1);
                return;
            case key::Down:
            case key::Right:
                stepRadio(f, 1);
                return;
            default:
                break;
        }
    }
    if (k == ' ' &&
        (kind == ControlKind::Button || kind == ControlKind::Check || kind == ControlKind::Radio))
        pressButton(f);
}

}  // namespace rt
