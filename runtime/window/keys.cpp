#include "runtime/window/keys.h"

#include <array>
#include <cctype>
#include <string>

#include "runtime/text.h"

namespace rt {
namespace {

struct Named {
    const char* name;
    int code;
};

constexpr std::array<Named, 29> kNames{{
    {"Tab", key::Tab},
    {"Shift+Tab", key::ShiftTab},
    {"Enter", key::Enter},
    {"Shift+Enter", key::ShiftEnter},
    {"Ctrl+Enter", key::CtrlEnter},
    {"Up", key::Up},
    {"Down", key::Down},
    {"Left", key::Left},
    {"Right", key::Right},
    {"PageUp", key::PageUp},
    {"PageDown", key::PageDown},
    {"Home", key::Home},
    {"End", key::End},
    {"Insert", key::Insert},
    {"Delete", key::Delete},
    {"Esc", key::Esc},
    {"Ctrl+H", key::CtrlH},
    {"Backspace", key::Backspace},
    {"Apps", key::AppsKey},
    {"Ctrl+Tab", key::CtrlTab},
    {"Ctrl+Shift+Tab", key::CtrlShiftTab},
    {"Ctrl+PageDown", key::CtrlPageDown},
    {"Ctrl+PageUp", key::CtrlPageUp},
    {"Ctrl+F6", key::CtrlF6},
    {"Ctrl+Shift+F6", key::CtrlShiftF6},
    {"MouseLeft", key::MouseLeft},
    {"MouseLeft2", key::MouseLeft2},
    {"MouseRight", key::MouseRight},
    {"Space", ' '},
}};

}  // namespace

std::optional<int> keyFromName(std::string_view name) {
    for (const auto& n : kNames)
        if (equalIgnoringCase(name, n.name)) return n.code;
    if (name.size() >= 2 && (name[0] == 'F' || name[0] == 'f')) {
        int n = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9') return std::nullopt;
            n = n * 10 + (c - '0');
        }
        if (n >= 1 && n <= 12) return key::F1 + n - 1;
        return std::nullopt;
    }
    if (name.size() == 1 && key::printable(static_cast<unsigned char>(name[0])))
        return static_cast<unsigned char>(name[0]);
    return std::nullopt;
}

std::string keyName(int k) {
    for (const auto& n : kNames)
        if (n.code == k) return n.name;
    if (k >= key::F1 && k < key::F1 + 12) return "F" + std::to_string(k - key::F1 + 1);
    if (k > 0 && k < 0x80) return std::string(1, static_cast<char>(k));
    return "key " + std::to_string(k);
}

}  // namespace rt
