#pragma once
// The application frame with its menu; returns when the frame has closed.
#include <cstddef>
#include <string>
#include <vector>

void Main();

// The menu bar as the frame builds it: one row per menu, item or separator,
// in order. Items name the procedure they start and its stack size.
struct MenuRow {
    enum class Kind { Menu, Item, Separator } kind;
    const char* label;      // "?FILEMENU", "?PRINTSETUP"; none for a separator
    const char* text;       // UTF-8
    const char* help;       // status-bar help, UTF-8
    const char* procedure;  // started on a new thread; none for a standard action
    std::size_t stack;
    bool hidden;  // hidden and disabled
    enum class Action { None, PrintSetup, Close } action;
};
const std::vector<MenuRow>& MainMenu();
