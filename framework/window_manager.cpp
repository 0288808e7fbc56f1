#include "framework/window_manager.h"

#include "framework/globals.h"

Level WindowManager::Init() {
    OriginalRequest = Request;
    components_.clear();
    buttons_.clear();
    Dead = false;
    return Level::Benign;
}

Level WindowManager::Kill() {
    if (Dead) return Level::Notify;
    for (WindowComponent* c : components_) c->Kill();
    components_.clear();
    buttons_.clear();
    Dead = true;
    return Level::Benign;
}

void WindowManager::Ask() {
    if (Dead || !Win) return;
    while (Win->accept()) {
        const Level l = TakeEvent();
        if (l == Level::Notify) {
            Win->cycle();
        } else if (l == Level::Fatal) {
            break;
        }
    }
}

std::uint8_t WindowManager::Run() {
    if (Init() == Level::Benign) Ask();
    Kill();
    return Response ? Response : ::Response::Cancelled;
}

std::uint8_t WindowManager::Run(int, std::uint8_t) {
    return ::Response::Cancelled;
}

Level WindowManager::TakeEvent() {
    if (!Win) return Level::Benign;
    Level rv = Level::Benign;
    const int field = Win->field();
    if (!field) {
        rv = TakeWindowEvent();
        if (rv != Level::Benign) return rv;
    }
    switch (Win->event()) {
        case rt::Event::Accepted:
            rv = TakeAccepted();
            break;
        case rt::Event::Rejected:
            rv = TakeRejected();
            break;
        case rt::Event::Selected:
            rv = TakeSelected();
            break;
        case rt::Event::NewSelection:
            rv = TakeNewSelection();
            break;
        case rt::Event::AlertKey:
            if (HistoryKey && Win->keyCode() == HistoryKey && Win->focus())
                RestoreField(Win->focus());
            break;
        default:
            break;
    }
    if (rv != Level::Benign) return rv;
    if (field) rv = TakeFieldEvent();
    if (rv != Level::Benign) return rv;
    // The components see every event, their lists' control events included;
    // the first that handles it ends the round.
    for (WindowComponent* c : components_)
        if (c->TakeEvent()) break;
    for (WindowComponent* c : components_) {
        if (c->ResetRequired()) {
            Reset();
            break;
        }
    }
    return rv;
}

Level WindowManager::TakeWindowEvent() {
    switch (Win->event()) {
        case rt::Event::OpenWindow:
            if (FirstField) Win->select(FirstField);
            break;
        case rt::Event::Completed:
            return TakeCompleted();
        case rt::Event::CloseWindow:
        case rt::Event::CloseDown:
            return TakeCloseEvent();
        default:
            break;
    }
    return Level::Benign;
}

Level WindowManager::TakeAccepted() {
    const int field = Win->field();
    for (const auto& [control, response] : buttons_) {
        if (control == field) {
            Response = response;
            Win->post(rt::Event::CloseWindow);
            break;
        }
    }
    if (IsForm()) return TakeFormAccepted(field);
    return Level::Benign;
}

Level WindowManager::TakeRejected() {
    return Level::Benign;
}
Level WindowManager::TakeSelected() {
    return Level::Benign;
}
Level WindowManager::TakeNewSelection() {
    return Level::Benign;
}

Level WindowManager::TakeCompleted() {
    if (IsForm()) return TakeFormCompleted();
    Response = ::Response::Completed;
    Win->post(rt::Event::CloseWindow);
    return Level::Benign;
}

Level WindowManager::TakeCloseEvent() {
    if (IsForm()) return TakeFormCloseEvent();
    return Level::Benign;
}
Level WindowManager::TakeFieldEvent() {
    return Level::Benign;
}

void WindowManager::Reset(bool force) {
    if (InAcceptAllPass()) return;
    force = force || ForcedReset != 0;
    ForcedReset = 0;
    for (WindowComponent* c : components_) c->Reset(force);
    if (Win) Win->display();
}

void WindowManager::Update() {
    for (WindowComponent* c : components_) c->Update();
}

void WindowManager::SetAlerts() {
    for (WindowComponent* c : components_) c->SetAlerts();
    if (Win && HistoryKey)
        for (int i = 1; i <= Win->controlCount(); ++i) Win->alert(i, HistoryKey);
}

void WindowManager::AddItem(WindowComponent& component) {
    components_.push_back(&component);
}

void WindowManager::AddItem(int control, std::uint8_t response) {
    buttons_.emplace_back(control, response);
}

void WindowManager::Open(rt::Window& window) {
    Win = &window;
    window.open();
    Opened = true;
}

void FetchWindowState(INIClass& ini, const std::string& procedure, rt::Window& window) {
    const WindowPlacementFetch f = ini.FetchWindow(procedure, window.desc().resizable);
    if (!f.apply) return;
    if (!f.maximize && window.maximized()) window.setMaximized(false);
    window.setPosition(f.x, f.y, f.width, f.height);
    if (f.maximize) window.setMaximized(true);
}

bool UpdateWindowState(INIClass& ini, const std::string& procedure, const rt::Window& window) {
    const rt::Window::Placement p = window.placement();
    WindowPlacement w;
    w.maximized = p.maximized;
    w.minimized = p.minimized;
    w.resizable = p.resizable;
    w.x = p.x;
    w.y = p.y;
    w.width = p.width;
    w.height = p.height;
    return ini.UpdateWindow(procedure, w);
}
