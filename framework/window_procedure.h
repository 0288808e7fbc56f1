#pragma once
// The skeleton every window procedure follows: the procedure name pushed on
// the error reporter, the request taken from GlobalRequest, the files opened
// through their relation objects, the window opened and its state restored
// from the INI file, the resizer, Enter acting as Tab; and in Kill the same
// undone in reverse. A procedure derives its ThisWindow from this class and
// adds its own steps through the hooks, at the points the hooks name.
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "framework/enter_by_tab.h"
#include "framework/globals.h"
#include "framework/toolbar.h"
#include "framework/window_manager.h"
#include "framework/window_resize.h"

class RelationManager;

class WindowProcedure : public WindowManager {
  public:
    WindowProcedure(std::string procedureName, rt::Window& window, EnterByTabClass& enterByTab,
                    ToolbarClass* toolbar = nullptr, WindowResizeClass* resizer = nullptr);

    // A file the procedure uses: opened in Init, in the order added, and
    // closed in Kill in the same order.
    void AddFile(std::function<void()> open, std::function<void()> close);
    // Files opened and closed through their relation objects (the calling
    // thread's Relate::X, so the window's own), as AddFile adds them.
    void AddFiles(std::initializer_list<std::reference_wrapper<RelationManager*>> relates);

    Level Init() override;
    Level Kill() override;
    Level TakeEvent() override;

    const std::string& ProcedureName() const { return name_; }

  protected:
    // The inherited Init, first of all; a level other than benign ends Init
    // there.
    virtual Level InitBase() { return WindowManager::Init(); }
    // The control that gets the focus when the window has opened.
    virtual int ChooseFirstField() { return FirstField; }
    // The buttons that end the window with a response (OK, Cancel).
    virtual void RegisterButtons() {}
    // After the files are open, before the window opens (a form primes its
    // record here); a level other than benign ends Init there, unopened.
    virtual Level AfterFilesOpened() { return Level::Benign; }
    // Between the state restored from the INI file and the alert keys.
    virtual void AfterRestore() {}
    // Whether Init clears GlobalRequest and GlobalResponse (not in reports).
    bool clearsRequest_ = true;

    rt::Window& window_;
    EnterByTabClass& enterByTab_;
    ToolbarClass* toolbar_;
    WindowResizeClass* resizer_;

  private:
    std::string name_;
    struct File {
        std::function<void()> open, close;
    };
    std::vector<File> files_;
};

// Runs a window procedure the way every one runs: its Enter-as-Tab manager,
// the window built from desc, its controls added by build (which returns
// their numbers), the tool bar and the resizer, then ThisWindow made from
// args, the numbers, the window and the three managers; its response goes to
// GlobalResponse. The objects end in the reverse order.
template <class ThisWindowClass, class Build, class... Args>
void RunWindow(const rt::WindowDesc& desc, Build build, Args&&... args) {
    EnterByTabClass EnterByTabManager;
    rt::Window QuickWindow(desc);
    const auto ids = build(QuickWindow);
    ToolbarClass Toolbar;
    WindowResizeClass Resizer;
    ThisWindowClass ThisWindow(std::forward<Args>(args)..., ids, QuickWindow, EnterByTabManager,
                               Toolbar, Resizer);
    GlobalResponse = ThisWindow.Run();
}
