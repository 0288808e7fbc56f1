#pragma once
// The error reporter (GlobalErrors) and the per-thread error status.
//
// Errors are raised by their id; the table gives each a severity, a title
// (the box's caption) and a message with placeholders. The severity decides
// the box: a question (Yes, No), a notice (OK), or a fatal error (OK, then
// the program ends). "|" in a message starts a new line.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/dialogs.h"
#include "runtime/file/errors.h"
#include "runtime/threads.h"

// Levels returned by the framework's operations.
enum class Level : int { Benign = 0, User = 1, Program = 2, Fatal = 3, Cancel = 4, Notify = 5 };

// File error numbers of the storage layer.
namespace FileError = rt::FileErr;

// The name of a file error number ("File Not Found" ...); "" for 0.
std::string fileErrorName(int errorCode);

enum class Msg : int {
    // questions
    ConfirmDelete = 1,
    ConfirmCancel,  // "Changes will be lost!"
    RetryAutoInc,   // "Auto Increment Error"
    RetrySave,      // "Record Update Error" (Yes, No, Cancel)
    RetryDelete,    // "Record Delete Error"
    // notices
    DuplicateKey,      // "Duplicate Key Error"
    AddFailed,         // "Record Insert Error"
    AbortTransaction,  // "Transaction cancelled"
    UpdateFailed,      // "Record was not updated"
    DeleteFailed,      // "Record was not deleted"
    AccessDenied,      // "Access Denied"
    RetrievalPrime,    // "Record Retrieval Error" while priming
    RecordChanged,     // "Record Retrieval Error": changed by another station
    ViewOpenFailed,    // "View Open Error"
    NoRecords,         // "No Records"
    LookupNotSaved,    // "Record Not Saved": a looked-up code with no row stopped OK
    RetrievalFailed,   // "Record Retrieval Error": a keyed read that failed
    // fatal
    OpenFailed,    // "File Access Error"
    CreateFailed,  // "File Creation Error"
    InvalidFile,   // "Invalid File"
};

enum class Severity { Question, QuestionYesNoCancel, Notice, Fatal };

struct ErrorEntry {
    Msg id;
    Severity severity;
    const char* title;
    const char* message;
};

// The whole table, in id order.
const std::vector<ErrorEntry>& errorTable();
const ErrorEntry& errorEntry(Msg id);

// The thread's current error: what the last failed operation left behind,
// and the names the next message quotes.
class ErrorStatusClass {
  public:
    int errorCode = 0;      // a FileError number
    std::string error;      // its name (set with the code)
    int fileErrorCode = 0;  // the storage's own code (negated result code)
    std::string fileError;  // the storage's own text
    std::string file;       // %File
    std::string field;      // %Field
    std::string key;        // %Key
    std::string message;    // %Message
    std::string category;   // %Category
    std::string previous;   // %Previous: the text of the message shown before
    void clear() { *this = ErrorStatusClass{}; }
};

class ErrorClass {
  public:
    ErrorClass();
    ErrorClass(const ErrorClass&) = delete;
    ErrorClass& operator=(const ErrorClass&) = delete;

    // Binds the reporter to the per-thread status: each thread's current
    // error lives in the status object the given reference names on that
    // thread (a thread_local).
    void Init(ErrorStatusClass& (*status)());
    void Kill();

    // Push (with a name) or pop (without) the calling thread's procedure name.
    void SetProcedureName(const std::string& name);
    void SetProcedureName();
    // The calling thread's last pushed name, "" when none.
    std::string GetProcedureName() const;
    // The calling thread's names, oldest first (tests).
    std::vector<std::string> ProcedureNames() const;

    // The current error of the calling thread.
    ErrorStatusClass& Status() const;
    void SetErrors(int errorCode, int fileErrorCode = 0, std::string fileError = {});
    void ClearErrors();
    void SetFile(std::string file);
    void SetField(std::string field);
    void SetKey(std::string key);
    void SetMessage(std::string message);
    void SetCategory(std::string category);

    // "%ErrorText": for a file system error the storage's text followed by its
    // code in parentheses, otherwise the error's name followed by its number.
    std::string ErrorText() const;

    // The message of the entry with every placeholder filled, "|" kept.
    std::string SubsString(Msg id) const;

    // Shows the entry by its severity. Question: Yes gives Benign, No Cancel.
    // Yes/No/Cancel: Yes Benign, No Cancel, Cancel Notify. Notice: Notify.
    // Fatal: after OK the program ends (rt::fatalExit); if the exit hook
    // returns (tests), Fatal.
    Level Throw(Msg id);
    Level ThrowFile(Msg id, std::string file);
    Level ThrowMessage(Msg id, std::string message);

    // The last message shown on any thread (title and text), for tests.
    std::string LastTitle() const;
    std::string LastText() const;

  private:
    struct NameEntry {
        rt::ThreadNumber thread;
        std::string name;
    };
    mutable std::mutex lock_;
    std::vector<NameEntry> names_;
    ErrorStatusClass& (*status_)() = nullptr;
    std::string lastTitle_, lastText_;
};

// Exit status of the program after a fatal error.
constexpr int FatalExitStatus = 3;
