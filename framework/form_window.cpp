#include "framework/form_window.h"

#include "framework/globals.h"
#include "framework/window_kit.h"

FormWindowProcedure::FormWindowProcedure(std::string procedure, FormFile file,
                                         const FormControls& ids, rt::Window& w,
                                         EnterByTabClass& ebt, ToolbarClass& tb,
                                         WindowResizeClass& rs)
    : WindowProcedure(std::move(procedure), w, ebt, &tb, &rs), file_(file), ids_(ids) {
    AddFiles({file_.relate});
}

std::uint8_t FormWindowProcedure::Run() {
    const std::uint8_t r = WindowProcedure::Run();
    return OriginalRequest == ::Request::View ? ::Response::Cancelled : r;
}

void FormWindowProcedure::Ask() {
    const char* title = Request == ::Request::Insert   ? Title.insert
                        : Request == ::Request::Change ? Title.change
                        : Request == ::Request::View   ? Title.view
                                                       : "";
    if (title && *title) Win->setTitle(kit::WindowText(title));
    WindowProcedure::Ask();
}

Level FormWindowProcedure::TakeAccepted() {
    const Level l = WindowProcedure::TakeAccepted();
    if (Win->field() == ids_.ok) {
        Update();
        if (OriginalRequest == ::Request::View) Win->post(rt::Event::CloseWindow);
    }
    return l;
}

Level FormWindowProcedure::Kill() {
    // However the window ended, an insert that did not complete leaves no
    // reserved row behind.
    if (OriginalRequest == ::Request::Insert && Response != ::Response::Completed && Primary &&
        Primary->Me && Primary->Me->Reserved())
        Primary->CancelAutoInc();
    return WindowProcedure::Kill();
}

void FormWindowProcedure::RegisterButtons() {
    AddUpdateFile(*file_.access);
    HistoryKey = rt::key::CtrlH;
    AddHistoryFile(file_.file, file_.history);
    for (const FormControls::HistoryField& h : ids_.history) AddHistoryField(h.control, h.field);
    AddItem(ids_.cancel, ::Response::Cancelled);
}

Level FormWindowProcedure::AfterFilesOpened() {
    Primary = file_.relate;
    if (Request == ::Request::View) {
        InsertAction = ChangeAction = DeleteAction = FormAction::None;
        CancelAction = FormAction::Leave;
        OkControl = 0;
        return Level::Benign;
    }
    ChangeAction = FormAction::Default;
    CancelAction = FormAction::Default;
    OkControl = ids_.ok;
    return PrimeUpdate() == Level::Benign ? Level::Benign : Level::Notify;
}

void FormWindowProcedure::AfterRestore() {
    if (Request == ::Request::View)
        for (const FormControls::HistoryField& h : ids_.history)
            Win->control(h.control).readOnly = true;
}
