#include "framework/window_resize.h"

#include <algorithm>

void WindowResizeClass::Init(rt::Window& window, int strategy, bool setMinimum, bool) {
    window_ = &window;
    strategy_ = strategy;
    designed_ = window.desc().at;
    if (designed_.w == 0) designed_ = window.rect();
    original_.clear();
    for (int c = 1; c <= window.controlCount(); ++c) original_.push_back(window.control(c).at);
    follow_.assign(original_.size(), Follow::Stay);
    if (setMinimum) window.setMinSize(designed_.w, designed_.h);
}

// Lists, sheets and text boxes take the growth; what lies in the right or
// lower part of the designed window (the buttons beside and under a list)
// moves with the edge it is nearer.
void WindowResizeClass::SetParentDefaults() {
    if (!window_) return;
    for (int c = 1; c <= window_->controlCount(); ++c) {
        const rt::Control& k = window_->control(c);
        const rt::Rect& r = original_[c - 1];
        Follow f = Follow::Stay;
        switch (k.kind) {
            case rt::ControlKind::List:
            case rt::ControlKind::Sheet:
            case rt::ControlKind::Text:
                f = Follow::Stretch;
                break;
            case rt::ControlKind::Tab:
            case rt::ControlKind::Menu:
            case rt::ControlKind::Item:
            case rt::ControlKind::Separator:
                f = Follow::Stay;
                break;
            default: {
                const bool right = r.x * 2 > designed_.w;
                const bool low = r.y * 2 > designed_.h;
                if (k.kind == rt::ControlKind::Line && r.w * 2 > designed_.w)
                    f = low ? Follow::MoveDown : Follow::StretchWidth;
                else if (right && low)
                    f = Follow::Move;
                else if (low)
                    f = Follow::MoveDown;
                else if (right)
                    f = Follow::MoveRight;
                break;
            }
        }
        follow_[c - 1] = f;
    }
}

void WindowResizeClass::Resize() {
    if (!window_) return;
    const rt::Rect now = window_->present();
    const int dw = std::max(0, now.w - designed_.w);
    const int dh = std::max(0, now.h - designed_.h);
    for (int c = 1; c <= window_->controlCount() && c <= static_cast<int>(original_.size()); ++c) {
        rt::Rect r = original_[c - 1];
        switch (follow_[c - 1]) {
            case Follow::Stay:
                break;
            case Follow::Move:
                r.x += dw;
                r.y += dh;
                break;
            case Follow::MoveDown:
                r.y += dh;
                break;
            case Follow::MoveRight:
                r.x += dw;
                break;
            case Follow::Stretch:
                r.w += dw;
                r.h += dh;
                break;
            case Follow::StretchWidth:
                r.w += dw;
                break;
            case Follow::StretchHeight:
                r.h += dh;
                break;
        }
        window_->control(c).at = r;
    }
    window_->changed();
}

bool WindowResizeClass::TakeEvent() {
    if (window_ && window_->event() == rt::Event::Sized) {
        Resize();
        return false;  // others may want to know too
    }
    return false;
}
