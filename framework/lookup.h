#pragma once
// Lookups: a code entry of a window tied to a code table. Accepting the entry
// reads the table by its code key; a code with no row opens the table's
// select window, whose choice is copied into the entry; the "..." button
// beside the entry opens the select window at once. A window declares its
// lookups as data (LookupClass::Add) and its select procedures in hook
// order (AddProcedure); LookupWindow<Base> wires them into the window's Run
// hook, TakeAccepted and Reset.
//
// Everything here runs on the window's own thread: the code fields, record
// buffers and access objects named by a lookup are that thread's.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "framework/error.h"
#include "framework/window_manager.h"
#include "runtime/file/file.h"

class FileManager;

// The variable an entry edits: a field of a record, a local or a
// process-wide report selection value. Read and written as a 32-bit code.
class CodeVariable {
  public:
    CodeVariable() = default;
    CodeVariable(std::int32_t& v)  // NOLINT(google-explicit-constructor): reads as data
        : get_([&v] { return v; }), set_([&v](std::int32_t x) { v = x; }) {}
    CodeVariable(std::atomic<std::int32_t>& v)  // NOLINT(google-explicit-constructor)
        : get_([&v] { return v.load(); }), set_([&v](std::int32_t x) { v.store(x); }) {}
    CodeVariable(std::function<std::int32_t()> get, std::function<void(std::int32_t)> set)
        : get_(std::move(get)), set_(std::move(set)) {}

    std::int32_t get() const { return get_ ? get_() : 0; }
    void set(std::int32_t v) const {
        if (set_) set_(v);
    }
    explicit operator bool() const { return static_cast<bool>(get_); }

  private:
    std::function<std::int32_t()> get_;
    std::function<void(std::int32_t)> set_;
};

// One lookup of a window.
struct Lookup {
    int Entry = 0;                 // the code entry
    int Button = 0;                // its "..." button (0: none)
    CodeVariable Value;            // the variable the entry edits
    rt::KeyRef Key;                // the looked-up file's code key (its file is the looked-up file)
    std::int32_t* Code = nullptr;  // that file's code field in the thread's record buffer
    int Number = 0;                // the hook number of its select window (shared by entries
                                   // that open the same one)
    bool Required = false;         // a 0 is looked up too
    int NameControl = 0;           // the string showing the looked-up name (0: none)
};

// What a reset of the window does with the looked-up rows.
enum class LookupReset {
    // Names show the record buffers as the last lookup left them.
    ReadNothing,
    // Every reset reads each looked-up row again from the entry's code (a
    // miss clears that record buffer, so its name goes blank), except while
    // the window accepts all its controls. The forms with lookups.
    ReadEveryRow,
};

class LookupClass {
  public:
    // The select procedures in hook order; returns the number of the one added.
    int AddProcedure(std::function<void()> procedure);
    // A lookup; its position in the list is also its place in the reset's reads.
    void Add(Lookup lookup);
    // Reads the looked-up rows on a reset in this order of lookups (indexes
    // from 0 into the list added) instead of the order added.
    void SetResetOrder(std::vector<int> order) { resetOrder_ = std::move(order); }
    LookupReset ResetKind = LookupReset::ReadNothing;

    const std::vector<Lookup>& Lookups() const { return lookups_; }
    int Procedures() const { return static_cast<int>(procedures_.size()); }

    // The window's hook Run(number, request) after the inherited one: nothing
    // for a window asked to view; otherwise the number-th select procedure
    // with GlobalRequest = request. Returns GlobalResponse as it left it
    // (cancelled when nothing was called).
    std::uint8_t Call(const WindowManager& window, int number, std::uint8_t request);

    // An accepted control of the window (its entries and buttons). Handled is
    // false for a control that is no lookup's; otherwise the level to return
    // (Notify when a cancelled choice put the focus back on the entry).
    struct Outcome {
        bool handled = false;
        Level level = Level::Benign;
    };
    Outcome TakeAccepted(WindowManager& window, int control);

    // The entry's lookup: the accepted road. Returns the level to return.
    Level AcceptEntry(WindowManager& window, const Lookup& lookup);
    // The "..." road.
    Level PressButton(WindowManager& window, const Lookup& lookup);

    // The reads a reset does before the inherited one (ReadEveryRow only; a
    // window in its accept-all pass reads nothing).
    void ReadRows(const WindowManager& window);
    // Reads every looked-up row from its entry's code, whatever ResetKind
    // says (a miss clears that record buffer): a window opening on a row
    // shows the names of that row's own codes.
    void ReadAllRows();

  private:
    static FileManager* Access(const Lookup& lookup);
    // The notice of a form's OK stopped by this lookup: its code has no row
    // and no row was chosen.
    static void SayNotSaved(WindowManager& window, const Lookup& lookup, std::int32_t value,
                            FileManager* access);
    std::vector<std::function<void()>> procedures_;
    std::vector<Lookup> lookups_;
    std::vector<int> resetOrder_;
};

// A window with lookups: Base is its window procedure class. The hook, the
// accepted handler and the reset follow the lookups declared in Lookups.
template <class Base>
class LookupWindow : public Base {
  public:
    using Base::Base;
    LookupClass Lookups;

    using Base::Run;
    std::uint8_t Run(int number, std::uint8_t request) override {
        Base::Run(number, request);  // opens nothing; its answer is not used
        return Lookups.Call(*this, number, request);
    }

    Level TakeAccepted() override {
        const Level inherited = Base::TakeAccepted();
        if (inherited != Level::Benign || !this->Win) return inherited;
        const LookupClass::Outcome o = Lookups.TakeAccepted(*this, this->Win->field());
        return o.handled ? o.level : Level::Benign;
    }

    void Reset(bool force = false) override {
        if (Lookups.ResetKind == LookupReset::ReadEveryRow) {
            // A forced reset asked for during the accept-all pass is kept for
            // the next reset that runs.
            if (force) ++this->ForcedReset;
            if (this->InAcceptAllPass()) return;
            Lookups.ReadRows(*this);
        }
        Base::Reset(force);
    }
};
