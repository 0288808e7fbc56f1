#pragma once
// The tool-bar component: it would carry the standard tool-bar buttons into
// the window's own buttons. No window of this system has a tool bar, so it
// is registered everywhere and never acts.
#include "framework/window_manager.h"

class ToolbarClass : public WindowComponent {
  public:
    bool TakeEvent() override { return false; }
};
