#include "framework/window_procedure.h"

#include "framework/globals.h"
#include "framework/relation_manager.h"

WindowProcedure::WindowProcedure(std::string procedureName, rt::Window& window,
                                 EnterByTabClass& enterByTab, ToolbarClass* toolbar,
                                 WindowResizeClass* resizer)
    : window_(window),
      enterByTab_(enterByTab),
      toolbar_(toolbar),
      resizer_(resizer),
      name_(std::move(procedureName)) {}

void WindowProcedure::AddFile(std::function<void()> open, std::function<void()> close) {
    files_.push_back({std::move(open), std::move(close)});
}

void WindowProcedure::AddFiles(
    std::initializer_list<std::reference_wrapper<RelationManager*>> relates) {
    for (RelationManager*& relate : relates)
        AddFile([&relate] { relate->Open(); }, [&relate] { relate->Close(); });
}

Level WindowProcedure::Init() {
    GlobalErrors().SetProcedureName(name_);
    Request = GlobalRequest;
    const Level base = InitBase();
    if (base != Level::Benign) return base;
    FirstField = ChooseFirstField();
    VCRRequest = &::VCRRequest;
    Errors = &GlobalErrors();
    if (clearsRequest_) {
        GlobalRequest = 0;
        GlobalResponse = 0;
    }
    if (toolbar_) AddItem(*toolbar_);
    RegisterButtons();
    for (auto& f : files_)
        if (f.open) f.open();
    FilesOpened = true;
    if (const Level l = AfterFilesOpened(); l != Level::Benign) return l;
    Open(window_);
    if (resizer_) {
        resizer_->Init(window_, 2, true, false);
        resizer_->SetParentDefaults();
        AddItem(*resizer_);
    }
    FetchWindowState(INIMgr(), name_, window_);
    if (resizer_) resizer_->Resize();
    AfterRestore();
    SetAlerts();
    enterByTab_.Init(window_, false);
    return Level::Benign;
}

Level WindowProcedure::Kill() {
    const Level base = WindowManager::Kill();
    if (base != Level::Benign) return base;
    if (FilesOpened)
        for (auto& f : files_)
            if (f.close) f.close();
    if (Opened) UpdateWindowState(INIMgr(), name_, window_);
    GlobalErrors().SetProcedureName();
    return base;
}

Level WindowProcedure::TakeEvent() {
    if (enterByTab_.TakeEvent()) return Level::Notify;
    return WindowManager::TakeEvent();
}
