#pragma once
// Key codes as the window layer reports them in alert-key events. Printable
// characters are their Unicode code point; the named keys and the mouse
// buttons lie above the Unicode range so the two never meet.
#include <optional>
#include <string>
#include <string_view>

namespace rt {
namespace key {
constexpr int Base = 0x200000;
constexpr int Tab = Base + 1;
constexpr int ShiftTab = Base + 2;
constexpr int Enter = Base + 3;
constexpr int ShiftEnter = Base + 4;
constexpr int CtrlEnter = Base + 5;
constexpr int Up = Base + 6;
constexpr int Down = Base + 7;
constexpr int Left = Base + 8;
constexpr int Right = Base + 9;
constexpr int PageUp = Base + 10;
constexpr int PageDown = Base + 11;
constexpr int Home = Base + 12;
constexpr int End = Base + 13;
constexpr int Insert = Base + 14;
constexpr int Delete = Base + 15;
constexpr int Esc = Base + 16;
constexpr int CtrlH = Base + 17;
constexpr int Backspace = Base + 18;
constexpr int AppsKey = Base + 19;  // the context-menu key
// A sheet's next and previous tab.
constexpr int CtrlTab = Base + 20;
constexpr int CtrlShiftTab = Base + 21;
constexpr int CtrlPageDown = Base + 22;
constexpr int CtrlPageUp = Base + 23;
// The frame's next and previous child window.
constexpr int CtrlF6 = Base + 24;
constexpr int CtrlShiftF6 = Base + 25;
constexpr int F1 = Base + 0x40;  // F1 ... F12 follow
constexpr int MouseLeft = Base + 0x80;
constexpr int MouseLeft2 = Base + 0x81;  // double click
constexpr int MouseRight = Base + 0x82;

inline bool printable(int k) {
    return k >= 0x20 && k < Base && k != 0x7f;
}
inline bool mouse(int k) {
    return k >= MouseLeft && k <= MouseRight;
}
}  // namespace key

// "Enter", "Shift+Tab", "F5", "a" ... as the scenario files write them;
// nullopt for an unknown name.
std::optional<int> keyFromName(std::string_view name);
std::string keyName(int k);

}  // namespace rt
