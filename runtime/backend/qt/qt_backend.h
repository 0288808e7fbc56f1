#pragma once
// The Qt 6 Widgets display.
//
// Widgets live on the process's main thread only. Procedure threads hand
// their views and dialogs over through a mutex-guarded queue of commands;
// an eventfd watched by a QSocketNotifier wakes the GUI thread (wake-ups
// merge). The GUI thread reports raw input with rt::input(), which never
// blocks, and never waits on a procedure. Dialogs are non-modal widgets: the
// asking thread waits in the window layer, the GUI goes on.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/window/view.h"

class QWidget;
class QAction;
class QLabel;
class QApplication;

namespace rt {

// Dialog base units of a font: pixels per 4 horizontal and 8 vertical units.
struct DialogUnits {
    double baseX = 6, baseY = 12;
    int x(int dlu) const;
    int y(int dlu) const;
    int fromX(int px) const;
    int fromY(int px) const;
};

class QtBackend final : public Backend {
  public:
    // Built on the GUI thread, after the QApplication.
    QtBackend();
    ~QtBackend() override;

    void show(ViewPtr view) override;
    void closed(int window) override;
    void dialog(int id, const DialogRequest& request) override;
    void dialogClosed(int id) override;
    void beep() override;
    void status(int zone, const std::string& text) override;
    bool drawn() override;

    // Runs fn on the GUI thread (any thread may call it).
    void post(std::function<void()> fn);
    // Drops what is queued and refuses what comes; the GUI thread finishes.
    void stop();

    const DialogUnits& units() const;

    // What the printer set-up chose for the prints that follow (GUI thread):
    // the printer's name (empty: the system's default), the paper by its
    // key ("A4"), the orientation.
    struct PrinterChoice {
        std::string printer;
        std::string paper = "A4";
        bool landscape = false;
    };
    const PrinterChoice& printerChoice() const;

    // For the scenario driver, on the GUI thread only: the widgets as they
    // stand.
    struct Probe {
        std::vector<int> windows;            // open, oldest first
        ViewPtr lastView(int window) const;  // what was last applied
        QWidget* top(int window) const;      // the frame or the sub-window
        QWidget* surface(int window) const;  // where a child's controls lie
        QWidget* widget(int window, int control) const;
        QAction* action(int window, int control) const;  // menus and items
        std::vector<int> dialogs;
        QWidget* dialogWidget(int id) const;
        DialogRequest dialogRequest(int id) const;
        QLabel* statusLabel(int zone) const;
        const QtBackend* owner = nullptr;
    };
    Probe probe() const;

    struct State;

  private:
    std::unique_ptr<State> s_;
};

// Runs the program with the Qt display: the GUI on the calling (main)
// thread, body on a thread of its own. Returns body's result.
int runQtProgram(int argc, char** argv, std::function<int()> body);

// The font a window description names, as drawn here (D13).
std::string qtFontFace(const std::string& face);

}  // namespace rt
