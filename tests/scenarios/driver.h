#pragma once
// How the scenario runner reaches the program: what the user sees (the open
// windows, dialogs, the status bar) and how input gets in. The headless
// driver talks to the window layer directly; the Qt driver goes through the
// real widgets on the GUI thread.
#include <memory>
#include <string>
#include <vector>

#include "runtime/window/window.h"

// Thrown by a driver for input it has no way to send: the line fails.
struct Unsendable {
    std::string what;
};

class Driver {
  public:
    virtual ~Driver() = default;
    // The backend the program is to draw on.
    virtual rt::Backend* backend() = 0;
    // The open windows as the user sees them, oldest first.
    virtual std::vector<rt::ViewPtr> windows() = 0;
    virtual std::vector<rt::OpenDialog> dialogs() = 0;
    virtual std::string status(int zone) = 0;
    virtual void input(int window, rt::Input in) = 0;
    virtual void answer(int dialog, rt::DialogAnswer a) = 0;
    // The message box's close box, or Esc pressed in it: no button pressed.
    virtual void closeDialog(int dialog, bool esc) = 0;
    // Enter pressed in the message box: its default button.
    virtual void pressEnter(int dialog) = 0;
    // The program has handled everything and the display has drawn it.
    virtual bool idle(int timeoutMs) = 0;
    // Empty when the window is the active one wherever that shows (the
    // window layer's, the display's, on top, with the keyboard focus);
    // otherwise what was seen instead.
    virtual std::string notActive(int window) = 0;
    // Empty when the open dialog has the keyboard wherever that shows;
    // otherwise what has it instead.
    virtual std::string dialogNotActive(int) { return {}; }
};

std::unique_ptr<Driver> makeHeadlessDriver();
#ifdef CLANOVI_WITH_QT
// Runs fn on a thread of its own while the calling (main) thread runs the Qt
// event loop; returns fn's result.
// xtest: keys and clicks through the X server (XTest), on the xcb platform.
int runWithQtDriver(int argc, char** argv, bool xtest, int (*fn)(Driver&, void*), void* arg);
#endif
