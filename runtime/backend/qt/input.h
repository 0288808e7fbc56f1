// Raw input from the widgets, translated for the window layer.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <map>

#include "runtime/window/view.h"

class QKeyEvent;
class QMenuBar;

namespace rt {

// Keys as the window layer names them; 0 for a key Qt handles itself.
int coreKey(const QKeyEvent* e, bool editing);

// Reports input from the widgets of one window to the window layer.
class InputFilter : public QObject {
  public:
    struct Target {
        int window = 0;
        int control = 0;  // 0: the window's surface
        ControlKind kind = ControlKind::String;
    };
    std::map<QObject*, Target> targets;
    // Called after a press is reported: the window layer may have made
    // another window active.
    std::function<void()> pressed;

    bool eventFilter(QObject* obj, QEvent* ev) override;

  private:
    static int rowAt(QObject* obj, QPoint p);
};

// The keys the frame deals with before any widget sees them, watching the
// whole application (installed after the frame's area, which would take
// Ctrl+Tab to switch windows): Alt pressed and let go alone, and F10, open
// the menu bar; Ctrl+Tab and Ctrl+Shift+Tab go to the control they were
// typed in, as any key does.
class FrameKeys : public QObject {
  public:
    FrameKeys(InputFilter* controls, QMenuBar* menuBar, QObject* parent)
        : QObject(parent), controls_(controls), menuBar_(menuBar) {}
    bool eventFilter(QObject* obj, QEvent* ev) override;

  private:
    bool handleKey(QObject* obj, QKeyEvent* ke, Qt::KeyboardModifiers mods);
    void openMenuBar();
    InputFilter* controls_;
    QMenuBar* menuBar_;
    bool altAlone_ = false;
};

}  // namespace rt
