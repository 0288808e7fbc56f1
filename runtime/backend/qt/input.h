// Raw input from the widgets, translated for the window layer.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <map>

#include "runtime/window/view.h"

class QKeyEvent;

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

}  // namespace rt
