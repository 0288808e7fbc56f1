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
    keepApart();
}

namespace {

bool stretches(rt::ControlKind k) {
    return k == rt::ControlKind::List || k == rt::ControlKind::Text;
}

// The tab a control lies on (0: on none), so that controls of two tabs,
// which are never shown together, are not weighed against each other.
int tabOf(const rt::Window& w, int c) {
    for (int p = w.control(c).parent, guard = 0; p > 0 && guard < 64;
         p = w.control(p).parent, ++guard)
        if (w.control(p).kind == rt::ControlKind::Tab) return p;
    return 0;
}

}  // namespace

// Lists and text boxes side by side, or one above the other, would slide
// over one another were each to take the whole growth: one with another to
// its right leaves the width to that one, one with another under it leaves
// the height to that one. A caption right above one stays over it (a list
// or text box never moves), wherever in the window it lies.
void WindowResizeClass::keepApart() {
    const int n = static_cast<int>(original_.size());
    std::vector<int> boxes;  // the lists and text boxes
    std::vector<int> tab(static_cast<std::size_t>(n) + 1, 0);
    for (int c = 1; c <= n; ++c) {
        const rt::ControlKind kind = window_->control(c).kind;
        if (stretches(kind)) boxes.push_back(c);
        if (stretches(kind) || kind == rt::ControlKind::Prompt || kind == rt::ControlKind::String)
            tab[static_cast<std::size_t>(c)] = tabOf(*window_, c);
    }
    if (boxes.empty()) return;
    for (int p = 1; p <= n; ++p) {
        const rt::ControlKind kind = window_->control(p).kind;
        if (kind != rt::ControlKind::Prompt && kind != rt::ControlKind::String) continue;
        const rt::Rect& rp = original_[p - 1];
        for (int s : boxes) {
            if (tab[static_cast<std::size_t>(p)] != tab[static_cast<std::size_t>(s)]) continue;
            const rt::Rect& rs = original_[s - 1];
            const int gap = rs.y - (rp.y + rp.h);
            if (gap >= -1 && gap <= 6 && rp.x < rs.x + rs.w && rs.x < rp.x + rp.w) {
                follow_[p - 1] = Follow::Stay;
                break;
            }
        }
    }
    for (int a : boxes) {
        if (follow_[a - 1] != Follow::Stretch) continue;
        const rt::Rect& ra = original_[a - 1];
        bool right = false, below = false;
        for (int b : boxes) {
            if (b == a || tab[static_cast<std::size_t>(a)] != tab[static_cast<std::size_t>(b)])
                continue;
            const rt::Rect& rb = original_[b - 1];
            const bool rows = rb.y < ra.y + ra.h && ra.y < rb.y + rb.h;
            const bool columns = rb.x < ra.x + ra.w && ra.x < rb.x + rb.w;
            right |= rows && rb.x >= ra.x + ra.w;
            below |= columns && rb.y >= ra.y + ra.h;
        }
        if (right && below)
            follow_[a - 1] = Follow::Stay;
        else if (right)
            follow_[a - 1] = Follow::StretchHeight;
        else if (below)
            follow_[a - 1] = Follow::StretchWidth;
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
