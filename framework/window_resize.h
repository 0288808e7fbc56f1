#pragma once
// Moves and stretches the controls when a window is resized.
#include <vector>

#include "framework/window_manager.h"

class WindowResizeClass : public WindowComponent {
  public:
    // Strategy 2 keeps the window's designed size as its smallest size
    // (setMinimum); a maximum is never set by this system.
    void Init(rt::Window& window, int strategy = 2, bool setMinimum = true,
              bool setMaximum = false);
    // Gives every control its default way of following the window's size.
    void SetParentDefaults();
    // Lays the controls out for the window's present size.
    void Resize();

    bool TakeEvent() override;

    enum class Follow { Stay, Move, MoveDown, MoveRight, Stretch, StretchWidth, StretchHeight };
    Follow FollowOf(int control) const { return follow_.at(control - 1); }
    // A control's own way of following the size, in place of its default.
    void SetStrategy(int control, Follow f) { follow_.at(control - 1) = f; }

  private:
    void keepApart();

    rt::Window* window_ = nullptr;
    int strategy_ = 2;
    rt::Rect designed_;
    std::vector<rt::Rect> original_;
    std::vector<Follow> follow_;
};
