#include "framework/enter_by_tab.h"

#include <initializer_list>

using rt::ControlKind;
namespace key = rt::key;

EnterByTabClass::Move EnterByTabClass::Effect(ControlKind kind, int k) {
    if (k == key::Tab) return Move::Next;
    if (k == key::ShiftTab) return Move::Previous;
    switch (kind) {
        case ControlKind::Entry:
            if (k == key::Enter || k == key::Down) return Move::Next;
            if (k == key::Up) return Move::Previous;
            break;
        case ControlKind::Spin:
        case ControlKind::Combo:
        case ControlKind::DropCombo:
        case ControlKind::Radio:
            if (k == key::Enter) return Move::Next;
            break;
        case ControlKind::List:
        case ControlKind::DropList:
            if (k == key::Enter || k == key::Right) return Move::Next;
            if (k == key::Left) return Move::Previous;
            break;
        case ControlKind::Check:
            if (k == key::Enter || k == key::Down || k == key::Right) return Move::Next;
            if (k == key::Up || k == key::Left) return Move::Previous;
            break;
        case ControlKind::Button:
            if (k == key::Down || k == key::Right) return Move::Next;
            if (k == key::Up || k == key::Left) return Move::Previous;
            break;
        case ControlKind::Text:
            if (k == key::Enter) return Move::NewLine;
            break;
        default:
            break;
    }
    return Move::None;
}

void EnterByTabClass::Init(rt::Window& window, bool flag) {
    window_ = &window;
    flag_ = flag;
    static const std::initializer_list<int> keys = {key::Tab,  key::ShiftTab, key::Enter, key::Up,
                                                    key::Down, key::Left,     key::Right};
    for (int c = 1; c <= window.controlCount(); ++c) {
        const ControlKind kind = window.control(c).kind;
        bool any = false;
        for (int k : keys) {
            if (k == key::Tab || k == key::ShiftTab) continue;
            if (Effect(kind, k) != Move::None) {
                window.alert(c, k);
                any = true;
            }
        }
        // Tab and Shift+Tab on every control that can take the focus.
        if (rt::takesFocus(kind)) any = true;
        if (any) {
            window.alert(c, key::Tab);
            window.alert(c, key::ShiftTab);
        }
    }
}

bool EnterByTabClass::TakeEvent() {
    if (!window_ || window_->closed() || window_->event() != rt::Event::AlertKey) return false;
    const int c = window_->field();
    if (c <= 0 || c > window_->controlCount() || c != window_->focus()) return false;
    const int k = window_->keyCode();
    if (!window_->control(c).alerts.count(k)) return false;
    switch (Effect(window_->control(c).kind, k)) {
        case Move::Next:
            window_->navigate(1);
            return true;
        case Move::Previous:
            window_->navigate(-1);
            return true;
        case Move::NewLine:
            window_->insertText("\n");
            return true;
        case Move::None:
            break;
    }
    return false;
}
