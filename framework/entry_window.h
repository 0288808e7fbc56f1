#pragma once
// Entry windows: a window with no OK button in which Enter moves the focus
// like Tab and the work is done when the focus arrives in a control. The
// last field of a line is a small write field: when the focus arrives there
// the line is checked and written, and the focus goes back to the start of
// the next line.
//
// What counts as arriving is a focus move from another control of the
// window: Tab, Shift+Tab, Enter, a click, or the procedure moving the focus
// itself. The window layer raises such a move's selected event after the
// handler that made it has returned, and after the accepted event of the
// control left (with its lookup and any select window). A lookup that puts
// the focus back on its own entry drops the move. The window's first focus,
// the window regaining activation and the return from a message box or a
// select window are no moves: they run no checks and write nothing.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/lookup.h"
#include "framework/window_procedure.h"
#include "runtime/file/file.h"

class FileManager;

class EntryWindowProcedure : public LookupWindow<WindowProcedure> {
  public:
    EntryWindowProcedure(std::string procedureName, rt::Window& window, EnterByTabClass& enterByTab,
                         ToolbarClass* toolbar = nullptr);

    // The focus arrived in a control (a move from another control of the
    // window, the focus still there): BeforeSelected, the inherited
    // handling, AfterSelected. Any other selected event goes to the
    // inherited handling alone.
    Level TakeSelected() override;

    // True when the current event is a selected event of a focus that moved
    // here from another control and is still there.
    bool FocusArrived() const;

    // One check of a line: when holds() is false, message is shown and the
    // focus goes to focus.
    struct Check {
        std::function<bool()> holds;
        const char* message;  // UTF-8
        int focus;
    };
    // Runs the checks in order; the first that fails is refused (its
    // message, then its focus move) and the rest are not run. True when all
    // of them hold.
    bool Passes(const std::vector<const Check*>& checks);

    // The window's own notice: the text alone (UTF-8), no caption, one OK
    // button; the focus goes to focus once it is answered (0: stays).
    void Refuse(std::string_view message, int focus);

    // Adds the thread's record buffer of access as a new row. A refusal
    // shows the error reporter's notice ("Duplicate Key Error" for a key
    // already stored, "Record Insert Error" for any other failure) and says
    // false; the buffer is left as it was.
    static bool AddLine(FileManager& access);

  protected:
    virtual void BeforeSelected(int /*control*/) {}
    virtual void AfterSelected(int /*control*/) {}
};

// Says why a read failed ("Record Retrieval Error", naming file) and gives
// true; gives false, saying nothing, for a status that is no failure.
bool ReportRetrievalFailure(const rt::FileStatus& failure, const char* file);

// The running number after n: n + 1, never past the largest 32-bit number
// (a line there is refused as a duplicate, never written under a wrapped,
// negative number).
std::int32_t NumberAfter(std::int64_t n);

// The last row, in the order of a key, among the rows whose first key fields
// hold the values given: the way an entry window finds the running number
// its next line takes. One indexed statement (the key's order backwards,
// one row), read through a file structure and record buffer of its own, so
// the record buffer the window's entries edit is never touched.
class LastInKeyOrder {
  public:
    // The file of access, its key key (an index of the file's keys); the
    // first prefix fields of the key are given to Read, and the 32-bit
    // field (0-based) is what it reads. Made on the window's thread.
    LastInKeyOrder(FileManager& access, int key, int prefix, int field);
    // The same over file, a structure of this thread that is open when Read
    // runs (a run inside its own transaction: the statement sees its lines).
    LastInKeyOrder(rt::FileStructure& file, int key, int prefix, int field);
    ~LastInKeyOrder();
    LastInKeyOrder(const LastInKeyOrder&) = delete;
    LastInKeyOrder& operator=(const LastInKeyOrder&) = delete;

    // The field of that last row; nullopt when there is no such row or it
    // cannot be read.
    std::optional<std::int32_t> Read(const std::vector<std::int64_t>& values);
    // The number after that row's field (NumberAfter); after none when there
    // is no such row (or it cannot be read: see Failure).
    std::int32_t Next(const std::vector<std::int64_t>& values, std::int64_t none);
    // Why the last Read gave nullopt when it was not for want of a row
    // (code 0 after a read that succeeded or found no row).
    const rt::FileStatus& Failure() const { return failure_; }

  private:
    rt::FileStructure& source_;
    FileManager* access_;  // opens the file first (null: source_ is open)
    int field_;
    std::vector<char> record_;
    std::unique_ptr<rt::FileStructure> file_;
    std::unique_ptr<rt::View> view_;
    std::vector<std::int64_t> values_;
    rt::FileStatus failure_;
};
