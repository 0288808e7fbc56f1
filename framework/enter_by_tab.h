#pragma once
// Enter acts as Tab: the keys each kind of control alerts, and what they do.
#include "runtime/window/window.h"

class EnterByTabClass {
  public:
    // Alerts Tab and Shift+Tab on every control of the window that can take
    // the focus, and the keys of the control's kind. The flag is kept for
    // callers that pass it; this system always passes false.
    void Init(rt::Window& window, bool flag = false);
    // True when the window's current event was one of those keys and was
    // handled (the focus moved, or a new line went into a text box).
    bool TakeEvent();

    enum class Move { None, Next, Previous, NewLine };
    // What a key does in a control of that kind (Tab and Shift+Tab included).
    static Move Effect(rt::ControlKind kind, int key);

  private:
    rt::Window* window_ = nullptr;
    bool flag_ = false;
};
