#include "runtime/dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace rt {
namespace {

struct DialogState {
    std::mutex lock;
    MessageHandler handler;
    std::vector<std::function<void()>> cleanups;
    std::function<void(int)> exitHook;
};

DialogState& state() {
    static DialogState s;
    return s;
}

}  // namespace

void setMessageHandler(MessageHandler handler) {
    auto& s = state();
    std::lock_guard g(s.lock);
    s.handler = std::move(handler);
}

Button showMessage(const MessageRequest& request) {
    MessageHandler handler;
    {
        auto& s = state();
        std::lock_guard g(s.lock);
        handler = s.handler;
    }
    if (!handler) return request.defaultButton;
    return handler(request);
}

void addFatalCleanup(std::function<void()> cleanup) {
    auto& s = state();
    std::lock_guard g(s.lock);
    s.cleanups.push_back(std::move(cleanup));
}

void setFatalExitHook(std::function<void(int)> hook) {
    auto& s = state();
    std::lock_guard g(s.lock);
    s.exitHook = std::move(hook);
}

void fatalExit(int status) {
    std::vector<std::function<void()>> cleanups;
    std::function<void(int)> hook;
    {
        auto& s = state();
        std::lock_guard g(s.lock);
        cleanups = s.cleanups;
        hook = s.exitHook;
    }
    for (auto it = cleanups.rbegin(); it != cleanups.rend(); ++it) (*it)();
    if (hook) {
        hook(status);
        return;
    }
    std::fflush(nullptr);
    // Other procedure threads may still be running: end at once rather than
    // run static destructors under them.
    std::_Exit(status);
}

}  // namespace rt
