#include "runtime/window/window.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "runtime/clock.h"
#include "runtime/text.h"

namespace rt {

// ---------------------------------------------------------------------------
// The hub: every open window, every procedure thread's input queue, the open
// dialogs. One mutex guards it all; the display is called with it released.

struct Item {
    int window = 0;
    bool isInput = false;
    Input in;
    Event ev = Event::None;
    int control = 0;
};

struct Loop {
    ThreadNumber thread = 0;
    std::deque<Item> items;
    std::vector<Window*> stack;  // the thread's open windows, innermost last
    std::condition_variable cv;
    // Grows with every item queued and with the shut-down, so a thread that
    // looks for work without the lock sees that something came.
    std::atomic<std::uint64_t> posted{0};
    bool waiting = false;  // blocked for input or in a dialog
    bool inDialog = false;
    void wake() {
        posted.fetch_add(1, std::memory_order_release);
        cv.notify_all();
    }
};

struct Entry {
    Window* window = nullptr;
    Loop* loop = nullptr;
    WindowKind kind = WindowKind::Child;
    ViewPtr view;
    std::int64_t period = 0, due = 0;  // timer, ms
};

struct PendingDialog {
    DialogRequest request;
    std::promise<DialogAnswer> promise;
    Loop* loop = nullptr;
};

struct Hub {
    std::mutex m;
    std::condition_variable idle;
    std::map<int, Entry> windows;
    std::vector<Loop*> loops;
    int nextWindow = 1;
    int nextDialog = 1;
    std::map<int, PendingDialog> dialogs;
    Backend* backend = nullptr;
    bool stopping = false;
    bool bodyRunning = false;
    int frame = 0;
    bool frameClosing = false;
    int active = 0;
    std::vector<int> activeOrder;
    std::vector<std::string> status;  // UTF-8
    int clockListener = 0;
    Rect client{0, 0, 853, 500};
    std::atomic<std::uint64_t> beeps{0};

    Loop* top(int window) {
        auto it = windows.find(window);
        return it == windows.end() ? nullptr : it->second.loop;
    }
    static bool isTop(const Loop& l, int window) {
        return !l.stack.empty() && l.stack.back()->id() == window;
    }
    // Queues an event for a window (deferred while the window is not its
    // thread's innermost one).
    bool postLocked(int window, Event e, int control = 0) {
        auto it = windows.find(window);
        if (it == windows.end()) return false;
        Loop& l = *it->second.loop;
        if (e == Event::Timer) {
            for (const Item& i : l.items)
                if (!i.isInput && i.window == window && i.ev == Event::Timer) return true;
        }
        Item item;
        item.window = window;
        item.ev = e;
        item.control = control;
        l.items.push_back(std::move(item));
        if (isTop(l, window) && !l.inDialog) l.waiting = false;
        l.wake();
        return true;
    }
    void fireTimers(std::int64_t now, Loop* only) {
        for (auto& [id, e] : windows) {
            if (e.period <= 0 || e.due > now) continue;
            if (only && e.loop != only) continue;
            e.due = now + e.period;
            postLocked(id, Event::Timer);
        }
    }
    void activateLocked(int window) {
        if (active == window) return;
        const int old = active;
        active = window;
        activeOrder.erase(std::remove(activeOrder.begin(), activeOrder.end(), window),
                          activeOrder.end());
        activeOrder.push_back(window);
        if (old) postLocked(old, Event::LoseFocus);
    }
    int children() const {
        int n = 0;
        for (const auto& [id, e] : windows)
            if (e.kind == WindowKind::Child) ++n;
        return n;
    }
    bool idleLocked() {
        int waiting = 0;
        for (Loop* l : loops)
            if (l->waiting) ++waiting;
        const int expected = runningThreads() + (bodyRunning ? 1 : 0);
        if (waiting < expected) return false;
        return backend ? backend->drawn() : true;
    }
};

Hub& hub() {
    static Hub* h = new Hub;  // outlives every thread's clean-up
    return *h;
}

struct LoopHolder {
    std::unique_ptr<Loop> loop;
    ~LoopHolder() {
        if (!loop) return;
        Hub& h = hub();
        std::lock_guard g(h.m);
        h.loops.erase(std::remove(h.loops.begin(), h.loops.end(), loop.get()), h.loops.end());
    }
};
thread_local LoopHolder tlsLoop;

Loop& threadLoop() {
    if (!tlsLoop.loop) {
        tlsLoop.loop = std::make_unique<Loop>();
        tlsLoop.loop->thread = currentThread();
        Hub& h = hub();
        std::lock_guard g(h.m);
        h.loops.push_back(tlsLoop.loop.get());
    }
    return *tlsLoop.loop;
}

namespace {

void ensureClockListener() {
    Hub& h = hub();
    {
        std::lock_guard g(h.m);
        if (h.clockListener) return;
        h.clockListener = -1;
    }
    const int id = addClockListener([](std::int64_t now) {
        Hub& hh = hub();
        std::lock_guard g(hh.m);
        hh.fireTimers(now, nullptr);
    });
    std::lock_guard g(h.m);
    h.clockListener = id;
}

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(lowerCp1250(static_cast<unsigned char>(c)));
    return r;
}

bool hasValueEdit(ControlKind k) {
    return k == ControlKind::Entry || k == ControlKind::Text || k == ControlKind::Spin ||
           k == ControlKind::Combo || k == ControlKind::DropCombo;
}

// The controls the accept-all pass accepts.
bool passKind(ControlKind k) {
    return hasValueEdit(k) || k == ControlKind::Check || k == ControlKind::Option ||
           k == ControlKind::DropList;
}

std::size_t utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string utf8Prefix(std::string_view s, std::size_t chars) {
    std::size_t n = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == chars) break;
            ++n;
        }
    }
    return std::string(s.substr(0, i));
}

void popUtf8(std::string& s) {
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s.back());
        s.pop_back();
        if ((c & 0xC0) != 0x80) break;
    }
}

std::string encodeUtf8(int cp) {
    std::string r;
    if (cp < 0x80) {
        r += static_cast<char>(cp);
    } else if (cp < 0x800) {
        r += static_cast<char>(0xC0 | (cp >> 6));
        r += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        r += static_cast<char>(0xE0 | (cp >> 12));
        r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        r += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        r += static_cast<char>(0xF0 | (cp >> 18));
        r += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        r += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Bindings

Binding bindInteger(std::function<std::int64_t()> get, std::function<bool(std::int64_t)> set) {
    Binding b;
    b.show = [get](const Picture* p) -> std::string {
        const std::int64_t v = get();
        if (!p) return std::to_string(v);
        switch (p->kind) {
            case Picture::Kind::Date:
                return formatDate(*p, static_cast<DayNumber>(v));
            case Picture::Kind::Amount:
                return formatMoney(*p, Money{v * 100});
            case Picture::Kind::Text:
                return formatText(*p, std::to_string(v));
            default:
                return formatInteger(*p, v);
        }
    };
    b.take = [set](const Picture* p, std::string_view text) -> bool {
        std::optional<std::int64_t> v;
        if (!p) {
            const std::string t(trim(text));
            if (t.empty()) return set(0);
            char* end = nullptr;
            const long long x = std::strtoll(t.c_str(), &end, 10);
            if (!end || *end) return false;
            v = x;
        } else {
            switch (p->kind) {
                case Picture::Kind::Date: {
                    auto d = parseDate(*p, text);
                    if (d) v = *d;
                    break;
                }
                case Picture::Kind::Amount: {
                    auto m = parseMoney(*p, text);
                    if (m && m->cents % 100 == 0) v = m->cents / 100;
                    break;
                }
                case Picture::Kind::Text: {
                    const std::string t(trim(text));
                    if (t.empty()) {
                        v = 0;
                        break;
                    }
                    char* end = nullptr;
                    const long long x = std::strtoll(t.c_str(), &end, 10);
                    if (end && !*end) v = x;
                    break;
                }
                default:
                    v = parseInteger(*p, text);
            }
        }
        return v && set(*v);
    };
    return b;
}

Binding bindText(char* field, std::size_t width) {
    Binding b;
    b.show = [field, width](const Picture* p) {
        const std::string_view v(field, width);
        return p ? formatText(*p, v) : std::string(trimRight(v));
    };
    b.take = [field, width](const Picture* p, std::string_view text) {
        std::optional<std::string> v = p ? parseText(*p, text) : std::string(text);
        if (!v) return false;
        assignFixed(field, width, *v);
        return true;
    };
    return b;
}

Binding bindString(std::string& s) {
    Binding b;
    b.show = [&s](const Picture* p) { return p ? formatText(*p, s) : s; };
    b.take = [&s](const Picture* p, std::string_view text) {
        std::optional<std::string> v = p ? parseText(*p, text) : std::string(text);
        if (!v) return false;
        s = *v;
        return true;
    };
    return b;
}

Binding bindMoney(Money& m) {
    Binding b;
    b.show = [&m](const Picture* p) {
        return p ? formatMoney(*p, m)
                 : std::to_string(m.cents / 100) + "." + std::to_string(std::abs(m.cents % 100));
    };
    b.take = [&m](const Picture* p, std::string_view text) {
        if (!p) return false;
        auto v = parseMoney(*p, text);
        if (!v) return false;
        m = *v;
        return true;
    };
    return b;
}

Binding bindAtomic(std::atomic<std::int32_t>& v) {
    return bindInteger([&v] { return static_cast<std::int64_t>(v.load()); },
                       [&v](std::int64_t x) {
                           if (x < INT32_MIN || x > INT32_MAX) return false;
                           v.store(static_cast<std::int32_t>(x));
                           return true;
                       });
}

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
    dirty_ = true;
}

void Window::setMaximized(bool m) {
    maximized_ = m;
    if (m) minimized_ = false;
    dirty_ = true;
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

// ---------------------------------------------------------------------------
// Opening and closing

void Window::open() {
    if (opened_) return;
    ensureClockListener();
    Loop& l = threadLoop();
    if (desc_.centred || !desc_.positioned) centre();
    for (auto& c : controls_) {
        if (c.kind == ControlKind::Sheet && c.selectedTab == 0) {
            for (std::size_t i = 0; i < controls_.size(); ++i)
                if (controls_[i].kind == ControlKind::Tab &&
                    controls_[i].parent == static_cast<int>(&c - controls_.data()) + 1) {
                    c.selectedTab = static_cast<int>(i + 1);
                    break;
                }
        }
    }
    Hub& h = hub();
    const std::int64_t openedAt = nowMs();
    {
        std::lock_guard g(h.m);
        id_ = h.nextWindow++;
        Entry e;
        e.window = this;
        e.loop = &l;
        e.kind = desc_.kind;
        if (timerCs_ > 0) {
            e.period = static_cast<std::int64_t>(timerCs_) * 10;
            e.due = openedAt + e.period;
        }
        h.windows[id_] = e;
        if (!l.stack.empty()) l.stack.back()->dirty_ = true;
        l.stack.push_back(this);
        if (desc_.kind == WindowKind::Frame) {
            h.frame = id_;
            h.frameClosing = false;
            h.status.assign(std::max<std::size_t>(desc_.statusWidths.size(), 1), "");
        } else {
            h.activateLocked(id_);
        }
    }
    opened_ = true;
    display(0);
    // the window that opened this one, on the same thread, is disabled now
    if (l.stack.size() > 1) l.stack[l.stack.size() - 2]->publish();
    queue({Event::OpenWindow, 0, 0, false});
}

void Window::close() {
    if (!opened_ || closed_) return;
    closed_ = true;
    pass_.active = false;
    move_.active = false;
    Hub& h = hub();
    Backend* b = nullptr;
    Window* under = nullptr;
    {
        std::lock_guard g(h.m);
        b = h.backend;
        Loop* l = h.top(id_);
        h.windows.erase(id_);
        if (l) {
            l->stack.erase(std::remove(l->stack.begin(), l->stack.end(), this), l->stack.end());
            // Events still queued for it go with it.
            l->items.erase(std::remove_if(l->items.begin(), l->items.end(),
                                          [this](const Item& i) { return i.window == id_; }),
                           l->items.end());
            if (!l->stack.empty()) under = l->stack.back();
        }
        if (h.frame == id_) {
            h.frame = 0;
            h.frameClosing = false;
        }
        h.activeOrder.erase(std::remove(h.activeOrder.begin(), h.activeOrder.end(), id_),
                            h.activeOrder.end());
        if (h.active == id_) {
            h.active = h.activeOrder.empty() ? 0 : h.activeOrder.back();
            if (h.active) h.postLocked(h.active, Event::GainFocus);
        }
        if (h.frameClosing && h.frame && h.children() == 0)
            h.postLocked(h.frame, Event::CloseWindow);
        // Told under the lock, so the display learns of closes in the order
        // they happened (a child's before its frame's).
        if (b) b->closed(id_);
    }
    if (under) {
        under->dirty_ = true;
        under->publish();
    }
}

// ---------------------------------------------------------------------------
// The loop

namespace {

// A control's picture (nullptr when it has none or one this system does not know).
const Picture* pictureOf(const Control& c) {
    if (c.picture.empty()) return nullptr;
    const std::optional<Picture>& p = Picture::cached(c.picture);
    return p ? &*p : nullptr;
}

// How long a thread that has run out of events keeps looking before it
// sleeps. Events come in bursts (a key, then the typed text, then Enter; a
// handler's reply to a notice), and waking a sleeping thread costs the
// scheduler tens of microseconds, more than most events take to handle.
constexpr auto LookBeforeSleep = std::chrono::microseconds(500);

// The first stretch of that look is a plain spin: the next event of a burst
// (the reply to a key) most often comes within it, and a yield costs a call
// into the kernel each time.
constexpr auto SpinBeforeYield = std::chrono::microseconds(20);

void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Returns when posted moves past seen, or after LookBeforeSleep. After the
// first SpinBeforeYield it yields between looks, so a thread that shares the
// processor (the one about to post, perhaps) still runs.
void awaitPost(const std::atomic<std::uint64_t>& posted, std::uint64_t seen) {
    const auto start = std::chrono::steady_clock::now();
    const auto spinUntil = start + SpinBeforeYield;
    const auto until = start + LookBeforeSleep;
    bool yielding = false;
    for (unsigned n = 0;; ++n) {
        if (posted.load(std::memory_order_acquire) != seen) return;
        if (yielding || n % 64 == 0) {  // the clock is read now and then while spinning
            const auto now = std::chrono::steady_clock::now();
            if (now >= until) return;
            yielding = now >= spinUntil;
        }
        if (yielding)
            std::this_thread::yield();
        else
            cpuRelax();
    }
}

}  // namespace

bool Window::accept() {
    if (!opened_) open();
    finish();
    Loop& l = threadLoop();
    Hub& h = hub();
    for (;;) {
        if (closed_) return false;
        if (!pending_.empty()) {
            ev_ = pending_.front();
            pending_.pop_front();
            cycled_ = false;
            dirty_ = true;
            return true;
        }
        if (pass_.active) {
            stepPass();
            continue;
        }
        publish();
        Item item;
        {
            std::unique_lock g(h.m);
            bool looked = false;  // looked for work without sleeping, once per wait
            for (;;) {
                if (h.stopping) throw ShutDown{};
                bool found = false;
                for (auto it = l.items.begin(); it != l.items.end();) {
                    if (it->window == id_) {
                        item = std::move(*it);
                        l.items.erase(it);
                        found = true;
                        break;
                    }
                    // Input for a window of this thread that is not the
                    // innermost one is dropped, as for a disabled window.
                    if (it->isInput) {
                        it = l.items.erase(it);
                        continue;
                    }
                    ++it;
                }
                if (found) break;
                l.waiting = true;
                h.idle.notify_all();
                std::int64_t nextDue = -1;
                if (!manualClock()) {
                    for (auto& [wid, e] : h.windows)
                        if (e.loop == &l && e.period > 0 && (nextDue < 0 || e.due < nextDue))
                            nextDue = e.due;
                }
                if (!looked) {
                    looked = true;
                    const std::uint64_t seen = l.posted.load(std::memory_order_acquire);
                    g.unlock();
                    awaitPost(l.posted, seen);
                    g.lock();
                    continue;  // look at the queue again, whatever came meanwhile
                }
                if (nextDue >= 0) {
                    const std::int64_t wait = std::max<std::int64_t>(0, nextDue - nowMs());
                    l.cv.wait_for(g, std::chrono::milliseconds(wait));
                    h.fireTimers(nowMs(), &l);
                } else {
                    l.cv.wait(g);
                }
            }
            l.waiting = false;
        }
        if (item.isInput)
            handleInput(item.in);
        else
            queue({item.ev, item.control, 0, false});
    }
}

void Window::post(Event e, int c) {
    queue({e, c, 0, false});
}

bool Window::postTo(int window, Event e, int c) {
    Hub& h = hub();
    std::lock_guard g(h.m);
    return h.postLocked(window, e, c);
}

void Window::finish() {
    const Ev e = ev_;
    ev_ = Ev{};
    const bool skipped = cycled_;
    cycled_ = true;
    switch (e.kind) {
        case Event::CloseWindow:
        case Event::CloseDown:
            if (skipped) {
                if (e.kind == Event::CloseDown) {
                    Hub& h = hub();
                    std::lock_guard g(h.m);
                    h.frameClosing = false;  // a child refused: the frame stays
                }
                break;
            }
            if (desc_.kind == WindowKind::Frame) {
                Hub& h = hub();
                std::vector<int> kids;
                {
                    std::lock_guard g(h.m);
                    for (auto& [id, en] : h.windows)
                        if (en.kind == WindowKind::Child) kids.push_back(id);
                    if (!kids.empty()) {
                        h.frameClosing = true;
                        for (int k : kids) h.postLocked(k, Event::CloseDown);
                    }
                }
                if (!kids.empty()) break;
            }
            close();
            break;
        case Event::Accepted:
        case Event::Rejected:
            if (e.navigation && move_.active) {
                const PendingMove m = move_;
                move_.active = false;
                // A handler that moved the focus itself cancels the move.
                if (e.kind == Event::Accepted && selects_ == m.selects) {
                    const int target = m.direction ? nextFocusable(m.from, m.direction) : m.target;
                    if (target) {
                        moveFocus(target);
                        if (m.press) pressButton(target);
                    }
                }
            }
            break;
        default:
            break;
    }
}

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
    return !(byTab && k.skip);
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

void Window::moveFocus(int target) {
    if (target <= 0) return;
    Control& k = control(target);
    if (k.kind == ControlKind::Prompt) {
        target = nextFocusable(target, 1);
        if (!target) return;
    }
    focus_ = target;
    dirty_ = true;
    setStatusText(1, control(target).msg);
    queue({Event::Selected, target, 0, false});
}

void Window::select(int c) {
    ++selects_;
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
    if (auto cp = fromUtf8(k.edit)) {
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
    if (target && target != from) moveFocus(target);
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
    k.edit += utf8;
    k.edited = true;
    dirty_ = true;
}

// ---------------------------------------------------------------------------
// Input

void Window::handleInput(const Input& in) {
    dirty_ = true;
    auto activate = [this] {
        if (desc_.kind != WindowKind::Child) return;
        Hub& h = hub();
        std::lock_guard g(h.m);
        h.activateLocked(id_);
    };
    switch (in.kind) {
        case Input::Kind::Click:
            activate();
            handleClick(in.control, in.row, key::MouseLeft);
            break;
        case Input::Kind::DoubleClick:
            activate();
            handleClick(in.control, in.row, key::MouseLeft2);
            break;
        case Input::Kind::RightClick:
            activate();
            handleClick(in.control, in.row, key::MouseRight);
            break;
        case Input::Kind::Key:
            activate();
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
            if (in.control > 0 && in.control <= controlCount())
                setStatusText(1, control(in.control).msg);
            else
                setStatusText(1, "");
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
            }
            maximized_ = in.maximized;
            minimized_ = in.minimized;
            if (sized) queue({Event::Sized, 0, 0, false});
            if (moved) queue({Event::Moved, 0, 0, false});
            break;
        }
        case Input::Kind::Activate:
            activate();
            break;
        case Input::Kind::Focus:
            activate();
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

// ---------------------------------------------------------------------------
// Display

std::string Window::shown(const Control& c) const {
    if (c.value) return c.value.show(pictureOf(c));
    return c.text;
}

void Window::display(int c) {
    auto one = [this](Control& k) {
        if (hasValueEdit(k.kind)) {
            k.edit = toUtf8(shown(k));
            k.edited = false;
        }
    };
    if (c == 0)
        for (auto& k : controls_) one(k);
    else if (c > 0 && c <= controlCount())
        one(control(c));
    dirty_ = true;
}

void Window::update(int c) {
    auto one = [this](Control& k) {
        if (!hasValueEdit(k.kind) || !k.edited || !k.value) return;
        if (auto cp = fromUtf8(k.edit)) {
            if (k.value.take(pictureOf(k), *cp)) k.edited = false;
        }
    };
    if (c == 0)
        for (auto& k : controls_) one(k);
    else if (c > 0 && c <= controlCount())
        one(control(c));
}

std::vector<ListRow> Window::listRows(const Control& c) const {
    std::vector<ListRow> out;
    const int rows = c.rowCount ? c.rowCount() : 0;
    const std::size_t columns = c.columns.size();
    out.reserve(static_cast<std::size_t>(std::max(rows, 0)));
    for (int r = 1; r <= rows; ++r) {
        ListRow row = c.row ? c.row(r) : ListRow{};
        if (row.size() != columns) {
            // One cell per column: missing cells are empty, extra ones dropped.
            ListRow::Builder b;
            for (std::size_t i = 0; i < columns; ++i) b.add(i < row.size() ? row[i] : "");
            row = b.build();
        }
        out.push_back(std::move(row));
    }
    return out;
}

ViewPtr Window::makeView() const {
    auto v = std::make_shared<WindowView>();
    v->id = id_;
    v->thread = currentThread();
    v->kind = desc_.kind;
    if (titleSource_ != desc_.title) {
        titleSource_ = desc_.title;
        titleShown_ = toUtf8(desc_.title);
    }
    v->title = titleShown_;
    v->at = at_;
    v->minSize = minSize_;
    v->maximized = maximized_;
    v->minimized = minimized_;
    v->resizable = desc_.resizable;
    v->titleBar = desc_.titleBar;
    v->border = desc_.border;
    v->systemMenu = desc_.systemMenu;
    v->grey = desc_.grey;
    v->font = desc_.font;
    v->statusWidths = desc_.statusWidths;
    {
        Hub& h = hub();
        std::lock_guard g(h.m);
        Loop* l = h.top(id_);
        v->enabled = l && Hub::isTop(*l, id_) && !l->inDialog;
        v->active = h.active == id_;
        if (desc_.kind == WindowKind::Frame) v->status = h.status;
    }
    v->serial = serial_;
    shown_.resize(controls_.size());
    v->controls.reserve(controls_.size());
    for (int i = 1; i <= controlCount(); ++i) {
        const Control& c = control(i);
        // What may change without the control itself changing: its place in
        // the tree, the focus, a bound value, a list's rows.
        const bool visible = visibleInTree(i);
        bool enabled = !c.disabled;
        for (int p = c.parent, guard = 0; p > 0 && guard < 64; p = control(p).parent, ++guard)
            if (control(p).disabled) enabled = false;
        const bool focused = focus_ == i;
        // The text shown before conversion (an entry's edit text is UTF-8 already).
        std::string bound;
        const std::string* text = &c.text;
        if (hasValueEdit(c.kind)) {
            text = &c.edit;
        } else if (c.value) {
            bound = c.value.show(pictureOf(c));
            text = &bound;
        }
        bool checked = false;
        if (c.kind == ControlKind::Check && c.value)
            checked = std::string(trim(c.value.show(nullptr))) == c.trueValue;
        if (c.kind == ControlKind::Radio && c.parent && control(c.parent).value)
            checked = std::string(trim(control(c.parent).value.show(nullptr))) ==
                      std::string(trim(c.radioValue));
        std::vector<ListRow> rows;
        if (c.kind == ControlKind::List) rows = listRows(c);

        Shown& m = shown_[static_cast<std::size_t>(i - 1)];
        if (m.view) {
            const ControlView& o = *m.view;
            const bool list =
                c.kind != ControlKind::List || (o.highlight == c.highlight && o.thumb == c.thumb &&
                                                o.rows == rows && m.columns == c.columns);
            if (list && o.kind == c.kind && o.at == c.at && o.parent == c.parent &&
                o.hidden == c.hidden && o.visible == visible && o.enabled == enabled &&
                o.focused == focused && o.isDefault == c.isDefault && o.readOnly == c.readOnly &&
                o.hasFont == c.hasFont && o.font == c.font && o.align == c.align &&
                o.indent == c.indent && o.bevelOuter == c.bevelOuter &&
                o.bevelInner == c.bevelInner && o.bevelStyle == c.bevelStyle && o.fill == c.fill &&
                o.checked == checked && o.selectedTab == c.selectedTab && m.name == c.name &&
                m.text == *text && m.msg == c.msg && m.tip == c.tip) {
                v->controls.push_back(m.view);
                continue;
            }
        }

        // A text that did not change is taken as the last view had it,
        // converted already.
        const ControlView* was = m.view.get();
        auto converted = [was](const std::string& now, const std::string& before,
                               std::string ControlView::*field) {
            return was && before == now ? was->*field : toUtf8(now);
        };
        auto cv = std::make_shared<ControlView>();
        cv->id = i;
        cv->kind = c.kind;
        cv->name = converted(c.name, m.name, &ControlView::name);
        cv->at = c.at;
        cv->parent = c.parent;
        cv->hidden = c.hidden;
        cv->visible = visible;
        cv->enabled = enabled;
        cv->focused = focused;
        cv->isDefault = c.isDefault;
        cv->readOnly = c.readOnly;
        cv->hasFont = c.hasFont;
        cv->font = c.font;
        cv->align = c.align;
        cv->indent = c.indent;
        cv->msg = converted(c.msg, m.msg, &ControlView::msg);
        cv->tip = converted(c.tip, m.tip, &ControlView::tip);
        cv->bevelOuter = c.bevelOuter;
        cv->bevelInner = c.bevelInner;
        cv->bevelStyle = c.bevelStyle;
        cv->fill = c.fill;
        cv->text = hasValueEdit(c.kind) ? *text : converted(*text, m.text, &ControlView::text);
        cv->checked = checked;
        if (c.kind == ControlKind::List) {
            // The columns converted once, and again only when they change.
            if (m.view && m.columns == c.columns) {
                cv->columns = m.view->columns;
            } else {
                std::vector<Column> columns = c.columns;
                for (auto& col : columns) col.header = toUtf8(col.header);
                cv->columns = ColumnList(std::move(columns));
            }
            cv->rows = std::move(rows);
            cv->highlight = c.highlight;
            cv->thumb = c.thumb;
        }
        cv->selectedTab = c.selectedTab;
        m.view = cv;
        m.name = c.name;
        m.text = *text;
        m.msg = c.msg;
        m.tip = c.tip;
        m.columns = c.columns;
        v->controls.push_back(std::move(cv));
    }
    return v;
}

void Window::publish() {
    if (!opened_ || closed_ || !dirty_) return;
    dirty_ = false;
    ++serial_;
    ViewPtr v = makeView();
    Hub& h = hub();
    Backend* b;
    ViewPtr old;  // let go only once the display has the new one
    {
        std::lock_guard g(h.m);
        auto it = h.windows.find(id_);
        if (it == h.windows.end()) return;
        old = std::exchange(it->second.view, v);
        b = h.backend;
    }
    if (b) b->show(v);
}

int Window::popup(const std::vector<std::string>& itemsCp1250) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::Popup;
    r.window = id_;
    for (const auto& i : itemsCp1250) r.items.push_back(toUtf8(i));
    return askDialog(std::move(r)).item;
}

// ---------------------------------------------------------------------------
// Process-wide functions

void setBackend(Backend* b) {
    Hub& h = hub();
    {
        std::lock_guard g(h.m);
        h.backend = b;
        h.stopping = false;
    }
    if (b) {
        setMessageHandler([](const MessageRequest& m) {
            DialogRequest r;
            r.kind = DialogRequest::Kind::Message;
            r.message = m;
            return askDialog(std::move(r)).button;
        });
    } else {
        setMessageHandler({});
    }
    ensureClockListener();
}

Backend* backend() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    return h.backend;
}

ThreadNumber startProcedure(std::function<void()> procedure, std::size_t stack) {
    return startThread(
        [p = std::move(procedure)] {
            try {
                p();
            } catch (const ShutDown&) {
                // the program is closing its windows; the thread just ends
            }
        },
        stack);
}

void input(int window, Input in) {
    Hub& h = hub();
    std::lock_guard g(h.m);
    auto it = h.windows.find(window);
    if (it == h.windows.end()) return;
    Loop& l = *it->second.loop;
    if (!Hub::isTop(l, window) || l.inDialog) return;  // disabled: input is lost
    Item item;
    item.window = window;
    item.isInput = true;
    item.in = std::move(in);
    l.items.push_back(std::move(item));
    l.waiting = false;
    l.wake();
}

DialogAnswer askDialog(DialogRequest request) {
    Loop& l = threadLoop();
    Hub& h = hub();
    request.thread = currentThread();
    int id;
    std::future<DialogAnswer> answer;
    Backend* b;
    Window* top = nullptr;
    {
        std::lock_guard g(h.m);
        if (h.stopping) throw ShutDown{};
        id = h.nextDialog++;
        if (!request.window && !l.stack.empty()) request.window = l.stack.back()->id();
        auto& d = h.dialogs[id];
        d.request = request;
        d.loop = &l;
        answer = d.promise.get_future();
        l.inDialog = true;
        b = h.backend;
        if (!l.stack.empty()) top = l.stack.back();
    }
    if (top) top->refresh();
    if (b) b->dialog(id, request);
    {
        std::lock_guard g(h.m);
        if (h.dialogs.count(id)) l.waiting = true;
        h.idle.notify_all();
    }
    DialogAnswer a;
    try {
        a = answer.get();
    } catch (...) {
        std::lock_guard g(h.m);
        l.inDialog = false;
        l.waiting = false;
        throw;
    }
    {
        std::lock_guard g(h.m);
        l.inDialog = false;
        l.waiting = false;
    }
    if (top && !top->closed()) top->refresh();
    return a;
}

void answerDialog(int dialog, DialogAnswer answer) {
    Hub& h = hub();
    std::promise<DialogAnswer> p;
    Backend* b;
    {
        std::lock_guard g(h.m);
        auto it = h.dialogs.find(dialog);
        if (it == h.dialogs.end()) return;
        it->second.loop->waiting = false;
        p = std::move(it->second.promise);
        h.dialogs.erase(it);
        b = h.backend;
    }
    p.set_value(std::move(answer));
    if (b) b->dialogClosed(dialog);
}

std::vector<OpenDialog> openDialogs() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    std::vector<OpenDialog> r;
    for (auto& [id, d] : h.dialogs) r.push_back({id, d.request});
    return r;
}

std::optional<std::string> fileDialog(const FileDialogRequest& request) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::File;
    r.file = request;
    DialogAnswer a = askDialog(std::move(r));
    if (a.path.empty()) return std::nullopt;
    return a.path;
}

void printSetup() {
    DialogRequest r;
    r.kind = DialogRequest::Kind::PrintSetup;
    r.message.title = "Print Setup";
    askDialog(std::move(r));
}

void beep() {
    Hub& h = hub();
    h.beeps.fetch_add(1);
    Backend* b;
    {
        std::lock_guard g(h.m);
        b = h.backend;
    }
    if (b) b->beep();
}

std::uint64_t beeps() {
    return hub().beeps.load();
}

void setStatusText(int zone, std::string_view cp1250) {
    if (zone < 1) return;
    Hub& h = hub();
    const std::string text = toUtf8(cp1250);
    Backend* b;
    {
        std::lock_guard g(h.m);
        if (h.status.size() < static_cast<std::size_t>(zone)) h.status.resize(zone);
        if (h.status[zone - 1] == text) return;
        h.status[zone - 1] = text;
        b = h.backend;
    }
    if (b) b->status(zone, text);
}

std::string statusText(int zone) {
    Hub& h = hub();
    std::lock_guard g(h.m);
    if (zone < 1 || static_cast<std::size_t>(zone) > h.status.size()) return {};
    return h.status[zone - 1];
}

int activeWindow() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    return h.active;
}

std::vector<ViewPtr> views() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    std::vector<ViewPtr> r;
    for (auto& [id, e] : h.windows)
        if (e.view) r.push_back(e.view);
    return r;
}

ViewPtr view(int window) {
    Hub& h = hub();
    std::lock_guard g(h.m);
    auto it = h.windows.find(window);
    return it == h.windows.end() ? nullptr : it->second.view;
}

int frameWindow() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    return h.frame;
}

void setBodyRunning(bool running) {
    Hub& h = hub();
    std::lock_guard g(h.m);
    h.bodyRunning = running;
    h.idle.notify_all();
}

bool waitIdle(int timeoutMs) {
    Hub& h = hub();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock g(h.m);
    for (;;) {
        if (h.idleLocked()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        // Threads that end do not tell the hub, so look again now and then.
        h.idle.wait_for(g, std::chrono::milliseconds(2));
    }
}

void shutDownWindows() {
    Hub& h = hub();
    std::map<int, PendingDialog> dialogs;
    {
        std::lock_guard g(h.m);
        h.stopping = true;
        dialogs.swap(h.dialogs);
        for (Loop* l : h.loops) {
            l->waiting = false;
            l->wake();
        }
    }
    for (auto& [id, d] : dialogs) d.promise.set_exception(std::make_exception_ptr(ShutDown{}));
}

void resetWindows() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    h.stopping = false;
    h.frameClosing = false;
    h.active = 0;
    h.activeOrder.clear();
    h.status.clear();
}

void setClientArea(Rect r) {
    Hub& h = hub();
    std::lock_guard g(h.m);
    h.client = r;
}

Rect clientArea() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    return h.client;
}

}  // namespace rt
