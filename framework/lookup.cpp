#include "framework/lookup.h"

#include "framework/entry_window.h"
#include "framework/file_manager.h"
#include "framework/globals.h"
#include "runtime/text.h"
#include "runtime/window/window.h"

int LookupClass::AddProcedure(std::function<void()> procedure) {
    procedures_.push_back(std::move(procedure));
    return static_cast<int>(procedures_.size());
}

void LookupClass::Add(Lookup lookup) {
    lookups_.push_back(std::move(lookup));
}

FileManager* LookupClass::Access(const Lookup& lookup) {
    return lookup.Key.file ? FileManager::ForFile(*lookup.Key.file) : nullptr;
}

std::uint8_t LookupClass::Call(const WindowManager& window, int number, std::uint8_t request) {
    // A window that only shows its record changes nothing through a lookup.
    if (window.Request == Request::View) return Response::Cancelled;
    if (number < 1 || number > Procedures()) return Response::Cancelled;
    const auto& procedure = procedures_[static_cast<std::size_t>(number - 1)];
    if (!procedure) return Response::Cancelled;
    GlobalRequest = request;
    procedure();
    return GlobalResponse;
}

LookupClass::Outcome LookupClass::TakeAccepted(WindowManager& window, int control) {
    if (!control) return {};
    for (const Lookup& l : lookups_) {
        if (l.Entry == control) return {true, AcceptEntry(window, l)};
        if (l.Button && l.Button == control) return {true, PressButton(window, l)};
    }
    return {};
}

// The entry's label for a message: its prompt without the colon, else its
// status-bar message, else its name.
static std::string EntryLabel(const rt::Window& w, int entry) {
    std::string label;
    if (entry > 1 && w.control(entry - 1).kind == rt::ControlKind::Prompt)
        label = w.control(entry - 1).text;
    if (rt::trimRight(label).empty()) label = w.control(entry).msg;
    if (rt::trimRight(label).empty()) label = w.control(entry).name;
    label = std::string(rt::trimRight(label));
    while (!label.empty() && (label.back() == ':' || label.back() == ' ')) label.pop_back();
    const std::size_t amp = label.find('&');
    if (amp != std::string::npos) label.erase(amp, 1);
    return rt::toUtf8(label);
}

void LookupClass::SayNotSaved(WindowManager& window, const Lookup& l, std::int32_t value,
                              FileManager* access) {
    ErrorClass& errors = GlobalErrors();
    errors.SetField(window.Win ? EntryLabel(*window.Win, l.Entry) : std::string());
    errors.SetMessage(std::to_string(value));
    errors.SetFile(access ? access->FileNameValue : std::string());
    errors.Throw(Msg::LookupNotSaved);
}

Level LookupClass::AcceptEntry(WindowManager& window, const Lookup& l) {
    const std::int32_t value = l.Value.get();
    if (value != 0 || l.Required) {
        FileManager* access = Access(l);
        bool found = false;
        if (access && l.Code) {
            *l.Code = value;
            found = access->TryFetch(l.Key) == Level::Benign;
            // A read that failed for another reason than a missing row (the
            // database held by another program) says so; the select window
            // would show an empty or partial list as if the code had no row.
            // The entry keeps what was typed and the focus.
            if (!found && access->File->isOpen() &&
                access->File->status().code != rt::FileErr::RecordNotAvailable &&
                ReportRetrievalFailure(access->File->status(), access->FileNameValue.c_str())) {
                if (window.Win) window.Win->select(l.Entry);
                return Level::Notify;
            }
        }
        if (!found) {
            if (window.Run(l.Number, Request::Select) == Response::Completed) {
                if (l.Code) l.Value.set(*l.Code);
            } else {
                // The entry keeps what was typed; the handling of this
                // event ends here (an accept-all pass too, since the focus
                // moved). A pass stopped this way stores nothing, so the
                // user is told why before the focus goes to the entry
                // (unless the select window went because the program is
                // closing).
                if (window.InAcceptAllPass() && !rt::frameClosing())
                    SayNotSaved(window, l, value, access);
                if (window.Win) window.Win->select(l.Entry);
                return Level::Notify;
            }
        }
    }
    window.Reset();
    return Level::Benign;
}

Level LookupClass::PressButton(WindowManager& window, const Lookup& l) {
    window.Update();
    if (l.Code) *l.Code = l.Value.get();  // 0 opens the list at its first row
    if (window.Run(l.Number, Request::Select) == Response::Completed && l.Code)
        l.Value.set(*l.Code);
    window.Reset(true);
    return Level::Benign;
}

void LookupClass::ReadRows(const WindowManager& window) {
    if (ResetKind != LookupReset::ReadEveryRow || window.InAcceptAllPass()) return;
    ReadAllRows();
}

void LookupClass::ReadAllRows() {
    auto read = [](const Lookup& l) {
        FileManager* access = Access(l);
        if (!access || !l.Code) return;
        *l.Code = l.Value.get();
        access->Fetch(l.Key);  // a miss clears the buffer: the name shows blank
    };
    if (resetOrder_.empty()) {
        for (const Lookup& l : lookups_) read(l);
    } else {
        for (int i : resetOrder_)
            if (i >= 0 && i < static_cast<int>(lookups_.size()))
                read(lookups_[static_cast<std::size_t>(i)]);
    }
}
