// The form side of the window manager: priming by request, the OK road
// (accept-all pass, then the store), leaving, the delete road and the history
// key.
#include <algorithm>
#include <cstring>

#include "framework/file_manager.h"
#include "framework/globals.h"
#include "framework/relation_manager.h"
#include "framework/window_manager.h"
#include "runtime/file/file.h"

namespace {

rt::FileStructure* fileOf(const RelationManager* primary) {
    return primary && primary->Me ? primary->Me->File : nullptr;
}

std::vector<char> snapshot(const rt::FileStructure& f) {
    const char* p = static_cast<const char*>(f.record());
    return std::vector<char>(p, p + f.def().recordSize);
}

}  // namespace

ErrorClass& WindowManager::formErrors() {
    return Errors ? *Errors : GlobalErrors();
}

void WindowManager::AddUpdateFile(FileManager& file) {
    updateFile_ = &file;
}

void WindowManager::AddHistoryFile(rt::FileStructure& file, void* history) {
    historyFiles_.push_back({&file, history});
}

void WindowManager::AddHistoryField(int control, int field) {
    if (historyFiles_.empty()) return;
    historyFields_.push_back({control, historyFiles_.size() - 1, field});
}

bool WindowManager::ChangedSinceSaved() const {
    const rt::FileStructure* f = fileOf(Primary);
    if (!f) return false;
    if (Saved.size() != f->def().recordSize) return true;
    // Field by field: the padding between fields is no part of the record.
    const char* now = static_cast<const char*>(f->record());
    for (const rt::FieldDef& d : f->def().fields)
        if (std::memcmp(now + d.offset, Saved.data() + d.offset, rt::memorySize(d)) != 0)
            return true;
    return false;
}

Level WindowManager::PrimeUpdate() {
    rt::FileStructure* f = fileOf(Primary);
    if (!f) return Level::Benign;
    switch (Request) {
        case ::Request::Insert:
            if (InsertAction == FormAction::None) return Level::Benign;
            PrimeFields();
            if (Response == ::Response::Cancelled) {
                // The form refused the insert: the row the list reserved for
                // it must not stay behind.
                Primary->CancelAutoInc();
                return Level::Fatal;
            }
            Response = ::Response::Cancelled;
            break;
        case ::Request::Change:
            if (ChangeAction == FormAction::None) return Level::Benign;
            break;
        case ::Request::Delete:
            if (DeleteAction == FormAction::None) return Level::Benign;
            Response = Primary->Delete(true) == Level::Benign ? ::Response::Completed
                                                              : ::Response::Cancelled;
            return Level::Fatal;
        default:
            return Level::Benign;
    }
    Saved = snapshot(*f);
    return Level::Benign;
}

Level WindowManager::TakeFormAccepted(int control) {
    if (OkControl && control == OkControl && Win && !InAcceptAllPass()) Win->acceptAll();
    return Level::Benign;
}

Level WindowManager::TakeFormCompleted() {
    // The history copy is taken before the store, so a failed store still
    // leaves what was typed for the next Ctrl+H.
    for (const HistoryFile& h : historyFiles_)
        std::memcpy(h.history, h.file->record(), h.file->def().recordSize);
    if (!Primary || !Win) return Level::Benign;
    Level stored = Level::Benign;
    switch (Request) {
        case ::Request::Insert:
            if (InsertAction == FormAction::None) break;
            stored = Primary->Insert();
            break;
        case ::Request::Change:
            if (ChangeAction == FormAction::None) break;
            // An unchanged form writes nothing and still completes.
            if (!ChangedSinceSaved()) break;
            stored = Primary->Update(true);
            if (stored == Level::Cancel) {
                // No at "Record Update Error": leave as "Izlaz" does, with its
                // question when something was changed.
                Response = ::Response::Cancelled;
                Win->post(rt::Event::CloseWindow);
                return Level::Notify;
            }
            break;
        default:
            break;
    }
    if (stored != Level::Benign) {
        Win->select(FirstField);
        return Level::Notify;
    }
    if (Request == ::Request::Insert || Request == ::Request::Change) {
        Response = ::Response::Completed;
        Win->post(rt::Event::CloseWindow);
    }
    return Level::Benign;
}

Level WindowManager::TakeFormCloseEvent() {
    if (Response == ::Response::Completed) return Level::Benign;
    if (CancelAction == FormAction::Leave) return Level::Benign;
    const bool editing = Request == ::Request::Insert || Request == ::Request::Change;
    if (!editing) return Level::Benign;
    // What is typed into the focused entry counts, even when the window is
    // closed without leaving the entry first.
    if (Win) Win->update();
    if (ChangedSinceSaved() && formErrors().Throw(Msg::ConfirmCancel) != Level::Benign) {
        if (Win) Win->select(FirstField);
        return Level::Notify;
    }
    if (Request == ::Request::Insert && Primary) {
        // Removed by the code reserved at priming, whatever the code entry
        // holds by now.
        if (Primary->CancelAutoInc() != Level::Benign) {
            if (Win) Win->select(FirstField);
            return Level::Notify;
        }
    }
    return Level::Benign;
}

void WindowManager::RestoreField(int control) {
    // The focus of an option box is on one of its radios: the box's history
    // is theirs.
    if (Win && control > 0 && control <= Win->controlCount() &&
        Win->control(control).kind == rt::ControlKind::Radio && Win->control(control).parent) {
        const int box = Win->control(control).parent;
        const bool own =
            std::any_of(historyFields_.begin(), historyFields_.end(),
                        [control](const HistoryField& h) { return h.control == control; });
        if (!own) control = box;
    }
    for (const HistoryField& h : historyFields_) {
        if (h.control != control) continue;
        const HistoryFile& hf = historyFiles_[h.file];
        const auto& fields = hf.file->def().fields;
        if (h.field < 1 || h.field > static_cast<int>(fields.size())) return;
        const rt::FieldDef& d = fields[static_cast<std::size_t>(h.field - 1)];
        std::memcpy(static_cast<char*>(hf.file->record()) + d.offset,
                    static_cast<const char*>(hf.history) + d.offset, rt::memorySize(d));
        if (Win) Win->display(control);
        return;
    }
}
