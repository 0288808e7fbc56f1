#pragma once
// The window manager every window procedure runs on, and the components it
// drives (lists, the resizer, the tool bar).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/error.h"
#include "framework/ini.h"
#include "runtime/window/window.h"

class FileManager;
class RelationManager;
namespace rt {
class FileStructure;
}

// ===== form side: what a form does with each request (window_manager_form.cpp)
namespace FormAction {
constexpr std::uint8_t Leave = 0;    // CancelAction: leave without asking
constexpr std::uint8_t None = 1;     // the request does nothing (view mode)
constexpr std::uint8_t Default = 2;  // store (or delete) and close; leaving asks first
}  // namespace FormAction
// ===== end of form side

// Something registered with a window manager with AddItem: it sees the
// window's events and takes part in resets.
class WindowComponent {
  public:
    virtual ~WindowComponent() = default;
    virtual void Kill() {}
    // Bring the record buffers and the display up to date (force: re-read).
    virtual void Reset(bool /*force*/) {}
    // True when the component wants the window reset after an event.
    virtual bool ResetRequired() { return false; }
    // True when it handled the current event.
    virtual bool TakeEvent() { return false; }
    // Copy what it shows into the record buffers.
    virtual void Update() {}
    virtual void SetAlerts() {}
};

class WindowManager {
  public:
    WindowManager() = default;
    virtual ~WindowManager() = default;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    std::uint8_t Request = 0;
    std::uint8_t OriginalRequest = 0;
    std::uint8_t Response = 0;
    int FirstField = 0;
    int OkControl = 0;
    int HistoryKey = 0;  // the alert key that restores a field (0: none)
    std::int32_t* VCRRequest = nullptr;
    ErrorClass* Errors = nullptr;
    bool Opened = false;
    bool FilesOpened = false;
    int ForcedReset = 0;
    bool Dead = false;  // ended by Kill

    virtual Level Init();
    virtual Level Kill();
    virtual void Ask();
    // Init; Ask when Init gave the benign level; Kill. The response, or
    // cancelled when none was set.
    virtual std::uint8_t Run();
    // The hook through which a window calls another procedure; inherited it
    // calls nothing and says cancelled.
    virtual std::uint8_t Run(int number, std::uint8_t request);

    virtual Level TakeEvent();
    virtual Level TakeWindowEvent();
    virtual Level TakeAccepted();
    virtual Level TakeRejected();
    virtual Level TakeSelected();
    virtual Level TakeNewSelection();
    virtual Level TakeCompleted();
    virtual Level TakeCloseEvent();
    virtual Level TakeFieldEvent();
    virtual void Reset(bool force = false);
    virtual void Update();
    virtual void SetAlerts();
    // The history key in a control (forms: the form side below).
    virtual void RestoreField(int control);

    void AddItem(WindowComponent& component);
    // A button that sets Response and closes the window when pressed.
    void AddItem(int control, std::uint8_t response);
    void Open(rt::Window& window);

    rt::Window* Win = nullptr;
    bool InAcceptAllPass() const { return Win && Win->inAcceptAllPass(); }

    // ===== form side (update forms; defined in window_manager_form.cpp) =====
    // A window becomes a form with AddUpdateFile. Its OkControl starts the
    // accept-all pass; the completed event stores the record (insert over the
    // reserved row, or a change of the changed columns); leaving asks
    // "Changes will be lost!" when the buffer differs from Saved and removes
    // an insert's reserved row; the delete request deletes in PrimeUpdate
    // without opening the window.
    std::uint8_t InsertAction = FormAction::Default;
    std::uint8_t ChangeAction = FormAction::Default;
    std::uint8_t DeleteAction = FormAction::Default;
    std::uint8_t CancelAction = FormAction::Default;
    RelationManager* Primary = nullptr;  // the relation object of the updated file
    std::vector<char> Saved;             // the record buffer as primed

    // The access object of the file the form updates.
    void AddUpdateFile(FileManager& file);
    // A record buffer and its history record (same layout); the fields added
    // next with AddHistoryField belong to it.
    void AddHistoryFile(rt::FileStructure& file, void* history);
    // The history key in control restores field (1-based) of the last
    // history file added.
    void AddHistoryField(int control, int field);
    // Insert: PrimeFields, the outcome cancelled until a store succeeds.
    // Delete: asks and deletes; returns Fatal (the window is not opened).
    // Insert and change: Saved taken. Benign otherwise.
    Level PrimeUpdate();
    // Field defaults of a new record; setting Response to cancelled here
    // stops the insert.
    virtual void PrimeFields() {}
    // True when the primary record buffer differs from Saved.
    bool ChangedSinceSaved() const;
    bool IsForm() const { return updateFile_ != nullptr; }

  protected:
    // Called by the inherited handlers when IsForm().
    Level TakeFormAccepted(int control);
    Level TakeFormCompleted();
    Level TakeFormCloseEvent();

  private:
    ErrorClass& formErrors();
    FileManager* updateFile_ = nullptr;
    struct HistoryFile {
        rt::FileStructure* file;
        void* history;
    };
    struct HistoryField {
        int control;
        std::size_t file;  // index into historyFiles_
        int field;         // 1-based
    };
    std::vector<HistoryFile> historyFiles_;
    std::vector<HistoryField> historyFields_;
    // ===== end of form side =====

  protected:
    std::vector<WindowComponent*> components_;
    std::vector<std::pair<int, std::uint8_t>> buttons_;
};

// Restores and stores a window's state, position and size in the INI file
// under the procedure's name.
void FetchWindowState(INIClass& ini, const std::string& procedure, rt::Window& window);
bool UpdateWindowState(INIClass& ini, const std::string& procedure, const rt::Window& window);
