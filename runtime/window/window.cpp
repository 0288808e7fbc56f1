#include "runtime/window/window.h"

#include <algorithm>
#include <mutex>

#include "runtime/clock.h"
#include "runtime/window/hub.h"
#include "runtime/window/internal.h"

namespace rt {

using namespace detail;

// ---------------------------------------------------------------------------
// Window: building and attributes

Window::Window(WindowDesc desc) : desc_(std::move(desc)) {
    at_ = desc_.at;
    maximized_ = desc_.maximized;
    if (desc_.resizable) minSize_ = Rect{0, 0, 0, 0};
}

Window::~Window() {
    if (opened_ && !closed_) close();
}

int Window::add(Control c) {
    controls_.push_back(std::move(c));
    dirty_ = true;
    return static_cast<int>(controls_.size());
}

Control& Window::control(int id) {
    return controls_.at(static_cast<std::size_t>(id - 1));
}
const Control& Window::control(int id) const {
    return controls_.at(static_cast<std::size_t>(id - 1));
}

int Window::find(std::string_view name) const {
    const std::string want = lower(name);
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (!controls_[i].name.empty() && lower(controls_[i].name) == want)
            return static_cast<int>(i + 1);
    return 0;
}

void Window::setTitle(std::string cp1250) {
    desc_.title = std::move(cp1250);
    dirty_ = true;
}

void Window::hide(int c, bool hidden) {
    control(c).hidden = hidden;
    if (hidden && focus_ == c) focus_ = 0;
    dirty_ = true;
}

void Window::enable(int c, bool enabled) {
    control(c).disabled = !enabled;
    if (!enabled && focus_ == c) focus_ = 0;
    dirty_ = true;
}

void Window::setDefault(int c) {
    for (auto& k : controls_) k.isDefault = false;
    if (c) control(c).isDefault = true;
    dirty_ = true;
}

void Window::setHighlight(int list, int row) {
    control(list).highlight = row;
    dirty_ = true;
}

void Window::chooseTab(int tab) {
    Control& t = control(tab);
    if (t.parent) control(t.parent).selectedTab = tab;
    dirty_ = true;
}

void Window::clearAlerts() {
    windowAlerts_.clear();
    for (auto& c : controls_) c.alerts.clear();
}

bool Window::alerted(int c, int k) const {
    if (windowAlerts_.count(k)) return true;
    return c > 0 && c <= controlCount() && control(c).alerts.count(k);
}

void Window::setTimer(int cs) {
    timerCs_ = cs;
    if (!opened_ || closed_) return;
    Hub& h = hub();
    const std::int64_t now = nowMs();
    std::lock_guard g(h.m);
    auto it = h.windows.find(id_);
    if (it == h.windows.end()) return;
    it->second.period = cs > 0 ? static_cast<std::int64_t>(cs) * 10 : 0;
    it->second.due = now + it->second.period;
}

Window::Placement Window::placement() const {
    Placement p;
    p.maximized = maximized_;
    p.minimized = minimized_;
    p.resizable = desc_.resizable;
    p.x = at_.x;
    p.y = at_.y;
    p.width = at_.w;
    p.height = at_.h;
    return p;
}

void Window::setPosition(std::optional<int> x, std::optional<int> y, std::optional<int> w,
                         std::optional<int> hgt) {
    if (x) at_.x = *x;
    if (y) at_.y = *y;
    if (w) at_.w = std::max(*w, minSize_.w);
    if (hgt) at_.h = std::max(*hgt, minSize_.h);
    ++placed_;
    dirty_ = true;
}

void Window::setMaximized(bool m) {
    maximized_ = m;
    if (m) minimized_ = false;
    ++placed_;
    dirty_ = true;
}

Rect Window::present() const {
    if (!maximized_ || minimized_) return {0, 0, at_.w, at_.h};
    Rect r = maximizedSize_;
    if (r.w <= 0 || r.h <= 0) r = clientArea();
    return {0, 0, std::max(r.w, minSize_.w), std::max(r.h, minSize_.h)};
}

void Window::setMinSize(int w, int h) {
    minSize_.w = w;
    minSize_.h = h;
    dirty_ = true;
}

void Window::centre() {
    const Rect area = clientArea();
    at_.x = std::max(0, (area.w - at_.w) / 2);
    at_.y = std::max(0, (area.h - at_.h) / 2);
}

int Window::popup(const std::vector<std::string>& itemsCp1250) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::Popup;
    r.window = id_;
    for (const auto& i : itemsCp1250) r.items.push_back(toUtf8(i));
    return askDialog(std::move(r)).item;
}

}  // namespace rt
