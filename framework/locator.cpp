#include "framework/locator.h"

#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "framework/browse.h"
#include "runtime/text.h"
#include "runtime/window/keys.h"

namespace {

const rt::FieldDef& defOf(rt::FieldRef f) {
    return f.file->def().fields[static_cast<std::size_t>(f.index)];
}

// A typed key (a code point) as Windows-1250 text; empty when it has none.
std::string keyText(int key) {
    std::string u;
    if (key < 0x80) {
        u.push_back(static_cast<char>(key));
    } else if (key < 0x800) {
        u.push_back(static_cast<char>(0xc0 | (key >> 6)));
        u.push_back(static_cast<char>(0x80 | (key & 0x3f)));
    } else if (key < 0x10000) {
        u.push_back(static_cast<char>(0xe0 | (key >> 12)));
        u.push_back(static_cast<char>(0x80 | ((key >> 6) & 0x3f)));
        u.push_back(static_cast<char>(0x80 | (key & 0x3f)));
    } else {
        return {};
    }
    return rt::fromUtf8(u).value_or(std::string());
}

std::optional<std::int32_t> parseCode(std::string_view s) {
    s = rt::trim(s);
    if (s.empty()) return std::nullopt;
    bool negative = false;
    if (s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > INT32_MAX) return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -v : v);
}

}  // namespace

void LocatorClass::Init(int control, rt::FieldRef field, bool noCase, BrowseClass& browse) {
    Control = control;
    FreeElement = field;
    NoCase = noCase;
    Browse = &browse;
}

bool LocatorClass::TakeKey(int) {
    return false;
}
bool LocatorClass::TakeAccepted(int) {
    return false;
}

std::string LocatorClass::HighlightedText() const {
    const void* image = Browse ? Browse->HighlightedImage() : nullptr;
    if (!image || !FreeElement.file) return {};
    // The row's image is of the primary file; a locator on a joined file's
    // field reads the buffer, which follows the highlight.
    const rt::FieldDef& d = defOf(FreeElement);
    const char* p = FreeElement.file == &Browse->View->primary()
                        ? static_cast<const char*>(image) + d.offset
                        : static_cast<const char*>(FreeElement.file->record()) + d.offset;
    switch (d.type) {
        case rt::FieldType::String:
            return std::string(rt::trimRight(std::string_view(p, d.size)));
        case rt::FieldType::Byte:
            return std::to_string(static_cast<unsigned char>(*p));
        case rt::FieldType::Decimal: {
            rt::Money m;
            std::memcpy(&m, p, sizeof m);
            return std::to_string(m.cents / 100);
        }
        default: {
            std::int32_t v = 0;
            std::memcpy(&v, p, sizeof v);
            return std::to_string(v);
        }
    }
}

bool LocatorClass::Locate(const std::string& cp1250) {
    if (!Browse || !Browse->View || !FreeElement.file) return false;
    rt::FileStructure& primary = Browse->View->primary();
    if (FreeElement.file != &primary) return false;
    const rt::FileDef& fd = primary.def();
    const std::size_t size = fd.recordSize;
    // The highlighted row's key values (the buffer's when the list is empty):
    // the fields before the locator's stay, its own takes the value, those
    // after it take their lowest values.
    const void* base = Browse->HighlightedImage();
    if (!base) base = primary.record();
    std::vector<char>& image = image_;
    image.assign(static_cast<const char*>(base), static_cast<const char*>(base) + size);
    const rt::FieldDef& d = defOf(FreeElement);
    char* p = image.data() + d.offset;
    switch (d.type) {
        case rt::FieldType::String: {
            std::string v = cp1250;
            const int order = Browse->CurrentSort();
            const rt::KeyRef key = Browse->SortKey(order);
            const bool keyNoCase = key.file && fd.keys[static_cast<std::size_t>(key.index)].noCase;
            if (NoCase && !keyNoCase)
                for (char& c : v)
                    c = static_cast<char>(rt::upperCp1250(static_cast<unsigned char>(c)));
            rt::assignFixed(p, d.size, v);
            break;
        }
        case rt::FieldType::Long: {
            auto v = parseCode(cp1250);
            if (!v) return false;
            std::memcpy(p, &*v, sizeof *v);
            break;
        }
        case rt::FieldType::Byte: {
            auto v = parseCode(cp1250);
            if (!v || *v < 0 || *v > 255) return false;
            *p = static_cast<char>(*v);
            break;
        }
        case rt::FieldType::Decimal: {
            auto v = parseCode(cp1250);
            if (!v) return false;
            const rt::Money m{std::int64_t{*v} * 100};
            std::memcpy(p, &m, sizeof m);
            break;
        }
    }
    const rt::KeyRef key = Browse->SortKey(Browse->CurrentSort());
    if (key.file) {
        const auto& fields = fd.keys[static_cast<std::size_t>(key.index)].fields;
        bool after = false;
        for (int fi : fields) {
            if (after) {
                const rt::FieldDef& k = fd.fields[static_cast<std::size_t>(fi)];
                char* q = image.data() + k.offset;
                switch (k.type) {
                    case rt::FieldType::Long: {
                        const std::int32_t low = INT32_MIN;
                        std::memcpy(q, &low, sizeof low);
                        break;
                    }
                    case rt::FieldType::String:
                        std::memset(q, ' ', k.size);
                        break;
                    case rt::FieldType::Decimal: {
                        const rt::Money low{-rt::MaxDecimal11_2Cents};
                        std::memcpy(q, &low, sizeof low);
                        break;
                    }
                    case rt::FieldType::Byte:
                        *q = 0;
                        break;
                }
            }
            if (fi == FreeElement.index) after = true;
        }
    }
    Browse->LocateRecord(image.data());
    return true;
}

bool StepLocatorClass::TakeKey(int key) {
    if (!Browse) return false;
    const std::string typed = keyText(key);
    if (typed.empty()) return false;
    const rt::FieldDef& d = defOf(FreeElement);
    const bool numeric = d.type != rt::FieldType::String;
    if (numeric && !(typed[0] >= '0' && typed[0] <= '9')) return true;  // no code starts so
    if (Browse->Highlight()) Browse->MoveHighlight(true);
    const std::string now = HighlightedText();
    auto fold = [this](char c) {
        const auto u = static_cast<unsigned char>(c);
        return NoCase ? rt::upperCp1250(u) : u;
    };
    if (now.empty() || fold(now[0]) != fold(typed[0])) Locate(typed);
    return true;
}

bool EntryLocatorClass::TakeKey(int key) {
    if (!Browse || !Control || !Browse->Window || !Browse->Window->Win) return false;
    rt::Window& w = *Browse->Window->Win;
    if (Control > w.controlCount()) return false;
    if (!w.focusable(Control, false)) return false;
    const std::string typed = keyText(key);
    if (typed.empty()) return false;
    // The entry takes the focus and the key starts its text.
    w.select(Control);
    rt::Control& c = w.control(Control);
    c.edit = rt::toUtf8(typed);
    c.edited = true;
    w.changed();
    return true;
}

bool EntryLocatorClass::TakeAccepted(int control) {
    if (!Browse || !Control || control != Control || !FreeElement.file) return false;
    // The entry has stored what was typed into the key field.
    const rt::FieldDef& d = defOf(FreeElement);
    const char* p = static_cast<const char*>(FreeElement.file->record()) + d.offset;
    std::string value;
    switch (d.type) {
        case rt::FieldType::String:
            value = std::string(rt::trimRight(std::string_view(p, d.size)));
            break;
        case rt::FieldType::Byte:
            value = std::to_string(static_cast<unsigned char>(*p));
            break;
        case rt::FieldType::Decimal: {
            rt::Money m;
            std::memcpy(&m, p, sizeof m);
            value = std::to_string(m.cents / 100);
            break;
        }
        default: {
            std::int32_t v = 0;
            std::memcpy(&v, p, sizeof v);
            value = std::to_string(v);
            break;
        }
    }
    Locate(value);
    if (Browse->Window && Browse->Window->Win) Browse->Window->Win->select(Browse->ListControl);
    return true;
}
