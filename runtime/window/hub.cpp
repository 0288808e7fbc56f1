#include "runtime/window/hub.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "runtime/clock.h"
#include "runtime/text.h"
#include "runtime/window/internal.h"

namespace rt {

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

void Hub::cycleLocked(int from, int step) {
    std::vector<std::pair<int, int>> places;  // the thread's first window, the innermost
    for (const auto& [id, e] : windows) {
        if (e.kind != WindowKind::Child || !(id == from || (e.view && isTop(*e.loop, id))))
            continue;
        int place = id;
        for (const Window* w : e.loop->stack)
            if (w->desc_.kind == WindowKind::Child) {
                place = std::min(place, w->id_);
                break;
            }
        places.emplace_back(place, id);
    }
    std::sort(places.begin(), places.end());
    std::vector<int> ring;
    for (const auto& p : places) ring.push_back(p.second);
    const int at = active && std::count(ring.begin(), ring.end(), active) ? active : from;
    const auto i = std::find(ring.begin(), ring.end(), at) - ring.begin();
    const auto n = static_cast<std::ptrdiff_t>(ring.size());
    if (n < 2) return;
    const int next = ring[static_cast<std::size_t>(((i + step) % n + n) % n)];
    if (next == active) return;
    const int old = active;
    activateLocked(next);
    // Both draw anew: which one shows itself active changed.
    if (old) inputLocked(old, Input{Input::Kind::Activate});
    inputLocked(next, Input{Input::Kind::Activate});
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
    detail::installEscapeHandler(b != nullptr);
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

// The keys that go to the frame's next (+1) or previous (-1) child window:
// Ctrl+F6 and Ctrl+Shift+F6, and Ctrl+Tab and Ctrl+Shift+Tab in a window
// without a sheet to choose tabs on. 0 for any other key.
static int windowStep(int k, const ViewPtr& view) {
    if (k == key::CtrlF6) return 1;
    if (k == key::CtrlShiftF6) return -1;
    if (k != key::CtrlTab && k != key::CtrlShiftTab) return 0;
    if (!view) return 0;
    for (const ControlView& c : view->controls)
        if (c.kind == ControlKind::Sheet && c.visible && c.enabled) return 0;
    return k == key::CtrlTab ? 1 : -1;
}

void input(int window, Input in) {
    Hub& h = hub();
    Item item;
    item.window = window;
    item.isInput = true;
    item.in = std::move(in);
    std::atomic<std::uint32_t>* sleeper = nullptr;
    {
        std::lock_guard g(h.m);
        auto it = h.windows.find(window);
        if (it == h.windows.end()) return;
        Loop& l = *it->second.loop;
        if (!Hub::isTop(l, window) || l.inDialog) return;  // disabled: input is lost
        if (item.in.kind == Input::Kind::Key && it->second.kind == WindowKind::Child) {
            if (const int step = windowStep(item.in.key, it->second.view)) {
                h.cycleLocked(window, step);
                return;
            }
        }
        // The pointer on a child makes it the active one at once, so the
        // display can show it so before its thread has looked at the input.
        if (it->second.kind == WindowKind::Child) {
            switch (item.in.kind) {
                case Input::Kind::Click:
                case Input::Kind::DoubleClick:
                case Input::Kind::RightClick:
                case Input::Kind::Activate:
                case Input::Kind::Focus:
                case Input::Kind::Scroll:
                    h.activateLocked(window);
                    break;
                default:
                    break;
            }
        }
        l.items.push_back(std::move(item));
        l.waiting = false;
        if (l.post()) sleeper = &l.posted;
    }
    // A key meets a sleeping thread most often: woken with the lock free, it
    // need not wait for this thread to let it go.
    if (sleeper) Loop::wakeSleeper(*sleeper);
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

// What closing a message box by its close box (or Esc) answers: a question
// its safe button, so a close never deletes or throws typed values away; a
// notice its OK.
static Button closeBoxAnswer(const MessageRequest& m) {
    if (m.buttons & ButtonCancel) return ButtonCancel;
    if (m.buttons & ButtonNo) return ButtonNo;
    if (m.buttons & ButtonOk) return ButtonOk;
    return m.defaultButton;
}

void answerDialog(int dialog, DialogAnswer answer) {
    Hub& h = hub();
    std::promise<DialogAnswer> p;
    Backend* b;
    {
        std::lock_guard g(h.m);
        auto it = h.dialogs.find(dialog);
        if (it == h.dialogs.end()) return;
        // A backend reports the close box raw; the button it carries means nothing.
        if (answer.closeBox && it->second.request.kind == DialogRequest::Kind::Message)
            answer.button = closeBoxAnswer(it->second.request.message);
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
    // The current directory is put back afterwards, whatever the dialog did
    // with it: relative paths the program keeps stay as they were.
    std::error_code ec;
    const std::filesystem::path before = std::filesystem::current_path(ec);
    DialogAnswer a;
    try {
        a = askDialog(std::move(r));
    } catch (...) {
        if (!ec) std::filesystem::current_path(before, ec);
        throw;
    }
    if (!ec) {
        std::error_code now;
        if (std::filesystem::current_path(now) != before || now)
            std::filesystem::current_path(before, ec);
    }
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
    std::lock_guard g(h.m);
    h.statusLocked(zone, text);
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

bool frameClosing() {
    Hub& h = hub();
    std::lock_guard g(h.m);
    return h.frameClosing;
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
