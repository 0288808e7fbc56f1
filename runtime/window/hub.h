// The window layer's own: the process-wide registry every window, loop and
// dialog is kept in. Included by the window layer's .cpp files only; nothing
// outside runtime/window may see it.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace rt {

// ---------------------------------------------------------------------------
// The hub: every open window, every procedure thread's input queue, the open
// dialogs. One mutex guards it all; the display is called with it released.

// A picture control's file as read on the layer's picture thread.
struct PictureRead {
    int control = 0;
    std::uint64_t generation = 0;
    std::string file;  // UTF-8; empty when the path names none
    bool loaded = false;
    int width = 0, height = 0;              // the picture's own size
    int pixelsWidth = 0, pixelsHeight = 0;  // the pixels'
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;
};

struct Item {
    int window = 0;
    bool isInput = false;
    Input in;
    Event ev = Event::None;
    int control = 0;
    std::shared_ptr<const PictureRead> picture;  // a picture read (no event)
};

struct Loop {
    ThreadNumber thread = 0;
    std::deque<Item> items;
    std::vector<Window*> stack;  // the thread's open windows, innermost last
    // Grows with every item queued and with the shut-down, so a thread that
    // looks for work without the lock sees that something came. The thread
    // sleeps on it (a futex) with the hub's lock let go: woken, it takes the
    // lock as anyone does, where a condition variable would hand it back
    // marked contended and cost every wake-up one more call into the kernel.
    std::atomic<std::uint32_t> posted{0};
    bool sleeping = false;  // in the futex wait (under the hub's lock)
    bool waiting = false;   // blocked for input or in a dialog
    bool inDialog = false;
    // Something was queued (under the hub's lock): true when the thread
    // sleeps and must be woken, by wakeSleeper, best after the lock is let
    // go, so that the thread woken does not wait for it.
    bool post() {
        posted.fetch_add(1, std::memory_order_release);
        return sleeping;
    }
    void wake() {
        if (post()) wakeSleeper(posted);
    }
    // Wakes the thread sleeping on word (a loop's posted). Safe after the
    // lock is let go even if the loop has ended meanwhile: the kernel only
    // looks the address up among its sleepers, and the futex's users take a
    // wake-up they did not expect as one more look.
    static void wakeSleeper(std::atomic<std::uint32_t>& word) {
        syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX,
                nullptr, nullptr, 0);
    }
    // Sleeps while posted still reads seen, at most timeoutMs (< 0: no limit).
    static void sleepOn(std::atomic<std::uint32_t>& word, std::uint32_t seen,
                        std::int64_t timeoutMs) {
        timespec ts{};
        if (timeoutMs >= 0) {
            ts.tv_sec = static_cast<time_t>(timeoutMs / 1000);
            ts.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
        }
        syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen,
                timeoutMs >= 0 ? &ts : nullptr, nullptr, 0);
    }
};
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

struct Entry {
    Window* window = nullptr;
    Loop* loop = nullptr;
    WindowKind kind = WindowKind::Child;
    ViewPtr view;
    std::int64_t period = 0, due = 0;  // timer, ms
    std::string message;  // UTF-8: the focused control's, for the status bar while active
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
    int picturesReading = 0;  // asked for and not yet queued to their window (or dropped)

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
    // The frame's status zone now shows text. Told to the display under the
    // lock, so what it shows is the last change made.
    void statusLocked(int zone, const std::string& text) {
        if (zone < 1) return;
        if (status.size() < static_cast<std::size_t>(zone)) status.resize(zone);
        if (status[zone - 1] == text) return;
        status[zone - 1] = text;
        if (backend) backend->status(zone, text);
    }
    // The active child's message in the first zone (none: empty).
    void showActiveMessageLocked() {
        auto it = windows.find(active);
        statusLocked(1, it == windows.end() ? std::string() : it->second.message);
    }
    // The window layer alone decides which child is active: a new window,
    // a click or a press on a window's frame; never a key.
    void activateLocked(int window) {
        if (active == window) return;
        const int old = active;
        active = window;
        activeOrder.erase(std::remove(activeOrder.begin(), activeOrder.end(), window),
                          activeOrder.end());
        activeOrder.push_back(window);
        if (old) postLocked(old, Event::LoseFocus);
        showActiveMessageLocked();
    }
    // Input the window layer makes itself (an activation to show), queued
    // as a display's would be.
    void inputLocked(int window, Input in) {
        auto it = windows.find(window);
        if (it == windows.end()) return;
        Loop& l = *it->second.loop;
        Item item;
        item.window = window;
        item.isInput = true;
        item.in = std::move(in);
        l.items.push_back(std::move(item));
        if (isTop(l, window) && !l.inDialog) l.waiting = false;
        l.wake();
    }
    // Ctrl+F6 and the keys acting as it: the next (+1) or previous (-1)
    // child window, in the order they opened, round the ends. A window
    // that opened another on its thread (a form its select window) is
    // passed over: the one it waits on stands in its place. A window that
    // waits on a message box is not: it becomes active and its box has the
    // keys.
    void cycleLocked(int from, int step);
    int children() const {
        int n = 0;
        for (const auto& [id, e] : windows)
            if (e.kind == WindowKind::Child) ++n;
        return n;
    }
    bool idleLocked() {
        if (picturesReading > 0) return false;
        int waiting = 0;
        for (Loop* l : loops)
            if (l->waiting) ++waiting;
        const int expected = runningThreads() + (bodyRunning ? 1 : 0);
        if (waiting < expected) return false;
        return backend ? backend->drawn() : true;
    }
};

Hub& hub();

// The calling thread's loop, made and registered on first use.
Loop& threadLoop();

// Reads a picture control's file on the layer's picture threads and queues
// the result to its window; never blocks. A later request for the same
// control makes an earlier one moot: it is dropped unread, or its result is.
// box: the control's size in dialog units, which a large picture is reduced
// to while it decodes (as far as the formats allow).
void readPicture(int window, int control, std::uint64_t generation, std::string cp1250Path,
                 Rect box);
// A closed window's requests are dropped.
void forgetPictures(int window);

// Starts the runtime clock's listener that fires the windows' timers (once).
void ensureClockListener();

}  // namespace rt
