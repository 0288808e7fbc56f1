#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "runtime/clock.h"
#include "runtime/window/hub.h"
#include "runtime/window/window.h"

namespace rt {

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
            // The window that opened this one on its thread becomes active
            // again, whichever the user had been in before; else the one
            // active before this.
            if (under && under->desc_.kind == WindowKind::Child && h.windows.count(under->id_)) {
                h.activeOrder.erase(
                    std::remove(h.activeOrder.begin(), h.activeOrder.end(), under->id_),
                    h.activeOrder.end());
                h.activeOrder.push_back(under->id_);
            }
            h.active = h.activeOrder.empty() ? 0 : h.activeOrder.back();
            if (h.active) h.postLocked(h.active, Event::GainFocus);
            h.showActiveMessageLocked();
        }
        if (h.frameClosing && h.frame && h.children() == 0)
            h.postLocked(h.frame, Event::CloseWindow);
        // Told under the lock, so the display learns of closes in the order
        // they happened (a child's before its frame's).
        if (b) b->closed(id_);
    }
    forgetPictures(id_);
    if (under) {
        under->dirty_ = true;
        under->publish();
    }
}

// ---------------------------------------------------------------------------
// The loop

namespace {

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
void awaitPost(const std::atomic<std::uint32_t>& posted, std::uint32_t seen) {
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
                // Read under the lock after the queue was looked at: whatever
                // is queued from now on moves it on.
                const std::uint32_t seen = l.posted.load(std::memory_order_acquire);
                if (!looked) {
                    looked = true;
                    g.unlock();
                    awaitPost(l.posted, seen);
                    g.lock();
                    continue;  // look at the queue again, whatever came meanwhile
                }
                const std::int64_t wait =
                    nextDue >= 0 ? std::max<std::int64_t>(0, nextDue - nowMs()) : -1;
                l.sleeping = true;
                g.unlock();
                Loop::sleepOn(l.posted, seen, wait);
                g.lock();
                l.sleeping = false;
                if (nextDue >= 0) h.fireTimers(nowMs(), &l);
            }
            l.waiting = false;
        }
        if (item.picture)
            takePicture(*item.picture);  // shows with the redraw, no event
        else if (item.isInput)
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
                        moveFocus(target, m.direction != 0);
                        if (m.press) pressButton(target);
                    }
                }
            }
            break;
        default:
            break;
    }
}

}  // namespace rt
