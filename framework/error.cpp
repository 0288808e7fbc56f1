#include "framework/error.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

std::string fileErrorName(int errorCode) {
    // clang-format off
    switch (errorCode) {
        case FileError::NoError: return {};
        case FileError::NoFile: return "File Not Found";
        case FileError::NoAccess: return "Access Denied";
        case FileError::NoMemory: return "Insufficient Memory";
        case FileError::RecordNotAvailable: return "Record Not Available";
        case FileError::DuplicateKey: return "Creates Duplicate Key";
        case FileError::BadRecordDeclaration: return "Invalid Record Declaration";
        case FileError::FileSystemError: return "File System Error";
        default: return "Error " + std::to_string(errorCode);
    }
    // clang-format on
}

const std::vector<ErrorEntry>& errorTable() {
    static const std::vector<ErrorEntry> table = {
        {Msg::ConfirmDelete, Severity::Question, "Confirm Delete",
         "Are you sure you want to delete the highlighted record?"},
        {Msg::ConfirmCancel, Severity::Question, "Changes will be lost!",
         "Are you sure you want to cancel?"},
        {Msg::RetryAutoInc, Severity::Question, "Auto Increment Error",
         "Attempts to automatically number this record have failed.|File: %File|Key: "
         "%Key|Error: %ErrorText.|Try Again?"},
        {Msg::RetrySave, Severity::QuestionYesNoCancel, "Record Update Error",
         "An error was experienced changing this record. Do you want to try to save again?"},
        {Msg::RetryDelete, Severity::Question, "Record Delete Error",
         "An error was experienced deleting this record. Do you want to try to delete it "
         "again?"},
        {Msg::DuplicateKey, Severity::Notice, "Duplicate Key Error",
         "Adding this record creates a duplicate entry for the key: %Message"},
        {Msg::AddFailed, Severity::Notice, "Record Insert Error",
         "An error was experienced during the creation of a record.|File: %File|Error: "
         "%ErrorText."},
        {Msg::AbortTransaction, Severity::Notice, "Transaction cancelled",
         "Error: (%ErrorText) attempting to frame the transaction on %File."},
        {Msg::UpdateFailed, Severity::Notice, "Record was not updated",
         "An error (%ErrorText) was experienced when making changes to the %File file."},
        {Msg::DeleteFailed, Severity::Notice, "Record was not deleted",
         "An error (%ErrorText) was experienced when deleting a record from the %File file."},
        {Msg::AccessDenied, Severity::Notice, "Access Denied",
         "Could not get write access to %File so trying read-only."},
        {Msg::RetrievalPrime, Severity::Notice, "Record Retrieval Error",
         "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
         "previous window."},
        {Msg::RecordChanged, Severity::Notice, "Record Retrieval Error",
         "This record was changed or deleted by another station.|Error: (%ErrorText) "
         "attempting to access a record from the %File file."},
        {Msg::ViewOpenFailed, Severity::Notice, "View Open Error",
         "Error: (%ErrorText) attempting to open the view of the %File file."},
        {Msg::NoRecords, Severity::Notice, "No Records",
         "There are no records available to process."},
        {Msg::LookupNotSaved, Severity::Notice, "Record Not Saved",
         "%Field %Message has no record in the %File file.|Choose one from its list or change "
         "the code."},
        {Msg::RetrievalFailed, Severity::Notice, "Record Retrieval Error",
         "Error: (%ErrorText) attempting to access a record from the %File file."},
        {Msg::OpenFailed, Severity::Fatal, "File Access Error",
         "File %File could not be opened.  Error: %ErrorText."},
        {Msg::CreateFailed, Severity::Fatal, "File Creation Error",
         "Error: (%ErrorText) creating %File."},
        {Msg::InvalidFile, Severity::Fatal, "Invalid File",
         "%File has an invalid File structure.|Error: %ErrorCode - %Error|FileError: "
         "%FileErrorCode - %FileError|"},
    };
    return table;
}

const ErrorEntry& errorEntry(Msg id) {
    const auto& t = errorTable();
    auto it = std::find_if(t.begin(), t.end(), [id](const ErrorEntry& e) { return e.id == id; });
    if (it == t.end()) throw std::out_of_range("no such error entry");
    return *it;
}

ErrorClass::ErrorClass() = default;

void ErrorClass::Init(ErrorStatusClass& (*status)()) {
    std::lock_guard g(lock_);
    status_ = status;
}

void ErrorClass::Kill() {
    std::lock_guard g(lock_);
    names_.clear();
}

void ErrorClass::SetProcedureName(const std::string& name) {
    std::lock_guard g(lock_);
    names_.push_back({rt::currentThread(), name});
}

void ErrorClass::SetProcedureName() {
    std::lock_guard g(lock_);
    const auto me = rt::currentThread();
    for (auto it = names_.rbegin(); it != names_.rend(); ++it) {
        if (it->thread == me) {
            names_.erase(std::next(it).base());
            return;
        }
    }
}

std::string ErrorClass::GetProcedureName() const {
    std::lock_guard g(lock_);
    const auto me = rt::currentThread();
    for (auto it = names_.rbegin(); it != names_.rend(); ++it)
        if (it->thread == me) return it->name;
    return {};
}

std::vector<std::string> ErrorClass::ProcedureNames() const {
    std::lock_guard g(lock_);
    const auto me = rt::currentThread();
    std::vector<std::string> out;
    for (const auto& e : names_)
        if (e.thread == me) out.push_back(e.name);
    return out;
}

ErrorStatusClass& ErrorClass::Status() const {
    // A reporter used before Init (a unit test of a lower layer) still keeps
    // each thread's errors apart.
    static thread_local ErrorStatusClass fallback;
    ErrorStatusClass& (*status)() = nullptr;
    {
        std::lock_guard g(lock_);
        status = status_;
    }
    return status ? status() : fallback;
}

void ErrorClass::SetErrors(int errorCode, int fileErrorCode, std::string fileError) {
    auto& s = Status();
    s.errorCode = errorCode;
    s.error = fileErrorName(errorCode);
    s.fileErrorCode = fileErrorCode;
    s.fileError = std::move(fileError);
}

void ErrorClass::ClearErrors() {
    SetErrors(0);
}
void ErrorClass::SetFile(std::string file) {
    Status().file = std::move(file);
}
void ErrorClass::SetField(std::string field) {
    Status().field = std::move(field);
}
void ErrorClass::SetKey(std::string key) {
    Status().key = std::move(key);
}
void ErrorClass::SetMessage(std::string message) {
    Status().message = std::move(message);
}
void ErrorClass::SetCategory(std::string category) {
    Status().category = std::move(category);
}

std::string ErrorClass::ErrorText() const {
    const auto& s = Status();
    if (s.errorCode == FileError::FileSystemError)
        return s.fileError + " (" + std::to_string(s.fileErrorCode) + ")";
    return s.error + " (" + std::to_string(s.errorCode) + ")";
}

std::string ErrorClass::SubsString(Msg id) const {
    const auto& s = Status();
    const std::string_view text = errorEntry(id).message;
    // Longer names first, so "%FileError" is not read as "%File" + "Error".
    const std::array<std::pair<std::string_view, std::string>, 12> subs = {{
        {"%FileErrorCode", std::to_string(s.fileErrorCode)},
        {"%FileError", s.fileError},
        {"%File", s.file},
        {"%ErrorText", ErrorText()},
        {"%ErrorCode", std::to_string(s.errorCode)},
        {"%Error", s.error},
        {"%Field", s.field},
        {"%Key", s.key},
        {"%Message", s.message},
        {"%Procedure", GetProcedureName()},
        {"%Category", s.category},
        {"%Previous", s.previous},
    }};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '%') {
            for (const auto& [name, value] : subs) {
                if (text.substr(i, name.size()) == name) {
                    out += value;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

Level ErrorClass::Throw(Msg id) {
    const ErrorEntry& e = errorEntry(id);
    std::string text = SubsString(id);
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '|', '\n');

    rt::MessageRequest req;
    req.title = e.title;
    switch (e.severity) {
        case Severity::Question:
            req.buttons = rt::ButtonYes | rt::ButtonNo;
            req.defaultButton = rt::ButtonYes;
            req.icon = rt::Icon::Question;
            break;
        case Severity::QuestionYesNoCancel:
            req.buttons = rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel;
            req.defaultButton = rt::ButtonCancel;
            req.icon = rt::Icon::Question;
            break;
        case Severity::Notice:
            req.buttons = rt::ButtonOk;
            req.defaultButton = rt::ButtonOk;
            req.icon = rt::Icon::Exclamation;
            break;
        case Severity::Fatal:
            req.buttons = rt::ButtonOk;
            req.defaultButton = rt::ButtonOk;
            req.icon = rt::Icon::Hand;
            shown += "  Press OK to end this application";
            break;
    }
    req.text = shown;
    {
        std::lock_guard g(lock_);
        lastTitle_ = req.title;
        lastText_ = req.text;
    }
    Status().previous = text;

    const rt::Button answer = rt::showMessage(req);
    switch (e.severity) {
        case Severity::Question:
            return answer == rt::ButtonYes ? Level::Benign : Level::Cancel;
        case Severity::QuestionYesNoCancel:
            if (answer == rt::ButtonYes) return Level::Benign;
            if (answer == rt::ButtonNo) return Level::Cancel;
            return Level::Notify;
        case Severity::Notice:
            return Level::Notify;
        case Severity::Fatal:
            rt::fatalExit(FatalExitStatus);
            return Level::Fatal;
    }
    return Level::Notify;
}

Level ErrorClass::ThrowFile(Msg id, std::string file) {
    SetFile(std::move(file));
    return Throw(id);
}

Level ErrorClass::ThrowMessage(Msg id, std::string message) {
    SetMessage(std::move(message));
    return Throw(id);
}

std::string ErrorClass::LastTitle() const {
    std::lock_guard g(lock_);
    return lastTitle_;
}

std::string ErrorClass::LastText() const {
    std::lock_guard g(lock_);
    return lastText_;
}
