#include <cstdlib>
#include <optional>

#include "runtime/text.h"
#include "runtime/window/window.h"

namespace rt {

// ---------------------------------------------------------------------------
// Bindings

Binding bindInteger(std::function<std::int64_t()> get, std::function<bool(std::int64_t)> set) {
    Binding b;
    b.show = [get](const Picture* p) -> std::string {
        const std::int64_t v = get();
        if (!p) return std::to_string(v);
        switch (p->kind) {
            case Picture::Kind::Date:
                return formatDate(*p, static_cast<DayNumber>(v));
            case Picture::Kind::Amount:
                return formatMoney(*p, Money{v * 100});
            case Picture::Kind::Text:
                return formatText(*p, std::to_string(v));
            default:
                return formatInteger(*p, v);
        }
    };
    b.take = [set](const Picture* p, std::string_view text) -> bool {
        std::optional<std::int64_t> v;
        if (!p) {
            const std::string t(trim(text));
            if (t.empty()) return set(0);
            char* end = nullptr;
            const long long x = std::strtoll(t.c_str(), &end, 10);
            if (!end || *end) return false;
            v = x;
        } else {
            switch (p->kind) {
                case Picture::Kind::Date: {
                    auto d = parseDate(*p, text);
                    if (d) v = *d;
                    break;
                }
                case Picture::Kind::Amount: {
                    auto m = parseMoney(*p, text);
                    if (m && m->cents % 100 == 0) v = m->cents / 100;
                    break;
                }
                case Picture::Kind::Text: {
                    const std::string t(trim(text));
                    if (t.empty()) {
                        v = 0;
                        break;
                    }
                    char* end = nullptr;
                    const long long x = std::strtoll(t.c_str(), &end, 10);
                    if (end && !*end) v = x;
                    break;
                }
                default:
                    v = parseInteger(*p, text);
            }
        }
        return v && set(*v);
    };
    return b;
}

Binding bindText(char* field, std::size_t width) {
    Binding b;
    b.show = [field, width](const Picture* p) {
        const std::string_view v(field, width);
        return p ? formatText(*p, v) : std::string(trimRight(v));
    };
    b.take = [field, width](const Picture* p, std::string_view text) {
        std::optional<std::string> v = p ? parseText(*p, text) : std::string(text);
        // A text box has no picture to refuse what the field cannot hold
        // (a pasted text, or line breaks stored as two bytes each): refused,
        // never cut off unseen.
        if (!v || trimRight(*v).size() > width) return false;
        assignFixed(field, width, *v);
        return true;
    };
    return b;
}

Binding bindString(std::string& s) {
    Binding b;
    b.show = [&s](const Picture* p) { return p ? formatText(*p, s) : s; };
    b.take = [&s](const Picture* p, std::string_view text) {
        std::optional<std::string> v = p ? parseText(*p, text) : std::string(text);
        if (!v) return false;
        s = *v;
        return true;
    };
    return b;
}

Binding bindMoney(Money& m) {
    Binding b;
    b.show = [&m](const Picture* p) {
        return p ? formatMoney(*p, m)
                 : std::to_string(m.cents / 100) + "." + std::to_string(std::abs(m.cents % 100));
    };
    b.take = [&m](const Picture* p, std::string_view text) {
        if (!p) return false;
        auto v = parseMoney(*p, text);
        if (!v) return false;
        m = *v;
        return true;
    };
    return b;
}

Binding bindAtomic(std::atomic<std::int32_t>& v) {
    return bindInteger([&v] { return static_cast<std::int64_t>(v.load()); },
                       [&v](std::int64_t x) {
                           if (x < INT32_MIN || x > INT32_MAX) return false;
                           v.store(static_cast<std::int32_t>(x));
                           return true;
                       });
}

}  // namespace rt
