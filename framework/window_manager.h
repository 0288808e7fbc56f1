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
    virtual void RestoreField(int /*control*/) {}

    void AddItem(WindowComponent& component);
    // A button that sets Response and closes the window when pressed.
    void AddItem(int control, std::uint8_t response);
    void Open(rt::Window& window);

    rt::Window* Win = nullptr;
    bool InAcceptAllPass() const { return Win && Win->inAcceptAllPass(); }

  protected:
    std::vector<WindowComponent*> components_;
    std::vector<std::pair<int, std::uint8_t>> buttons_;
};

// Restores and stores a window's state, position and size in the INI file
// under the procedure's name.
void FetchWindowState(INIClass& ini, const std::string& procedure, rt::Window& window);
bool UpdateWindowState(INIClass& ini, const std::string& procedure, const rt::Window& window);
