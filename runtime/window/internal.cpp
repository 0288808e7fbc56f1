#include "runtime/window/internal.h"

#include <optional>

#include "runtime/text.h"

namespace rt::detail {

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(lowerCp1250(static_cast<unsigned char>(c)));
    return r;
}

bool hasValueEdit(ControlKind k) {
    return k == ControlKind::Entry || k == ControlKind::Text || k == ControlKind::Spin ||
           k == ControlKind::Combo || k == ControlKind::DropCombo;
}

bool passKind(ControlKind k) {
    return hasValueEdit(k) || k == ControlKind::Check || k == ControlKind::Option ||
           k == ControlKind::DropList;
}

std::optional<std::string> typedText(const Control& c) {
    const bool textBox = c.kind == ControlKind::Text;
    std::string breaks;
    std::string_view edit = c.edit;
    if (textBox) {
        // Whatever the display sends for a line break (LF, CR LF, CR), one
        // stored form: CR LF.
        const std::string lf = editLines(edit);
        breaks.reserve(lf.size() + 16);
        for (char ch : lf) {
            if (ch == '\n') breaks += '\r';
            breaks += ch;
        }
        edit = breaks;
    }
    std::optional<std::string> cp = fromUtf8(edit);
    if (!cp) return std::nullopt;
    const std::string& t = *cp;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto b = static_cast<unsigned char>(t[i]);
        if (b >= 0x20 && b != 0x7F) continue;
        if (textBox && b == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
            ++i;
            continue;
        }
        return std::nullopt;
    }
    return cp;
}

std::string editText(const Control& c, std::string_view cp1250) {
    std::string s = toUtf8(cp1250);
    return c.kind == ControlKind::Text ? editLines(s) : s;
}

std::size_t utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::size_t utf8Offset(std::string_view s, std::size_t chars) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == chars) return i;
            ++n;
        }
    }
    return s.size();
}

std::string editLines(std::string_view stored) {
    std::string r;
    r.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r') {
            r += '\n';  // CR LF, or a lone CR another program stored
            if (i + 1 < stored.size() && stored[i + 1] == '\n') ++i;
        } else {
            r += stored[i];
        }
    }
    return r;
}

void popUtf8(std::string& s) {
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s.back());
        s.pop_back();
        if ((c & 0xC0) != 0x80) break;
    }
}

std::string encodeUtf8(int cp) {
    std::string r;
    if (cp < 0x80) {
        r += static_cast<char>(cp);
    } else if (cp < 0x800) {
        r += static_cast<char>(0xC0 | (cp >> 6));
        r += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        r += static_cast<char>(0xE0 | (cp >> 12));
        r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        r += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        r += static_cast<char>(0xF0 | (cp >> 18));
        r += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        r += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return r;
}

const Picture* pictureOf(const Control& c) {
    if (c.picture.empty()) return nullptr;
    const std::optional<Picture>& p = Picture::cached(c.picture);
    return p ? &*p : nullptr;
}

}  // namespace rt::detail
