#include "framework/ini.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "runtime/text.h"

namespace {

std::string trimmed(std::string_view s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

// ".\Sutrik.INI" names Sutrik.INI in the current directory.
std::string localPath(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    while (name.rfind("./", 0) == 0) name.erase(0, 2);
    return name;
}

std::optional<int> asInt(const std::optional<std::string>& v) {
    if (!v) return std::nullopt;
    try {
        std::size_t used = 0;
        const int n = std::stoi(*v, &used);
        if (trimmed(v->substr(used)).empty()) return n;
    } catch (...) {
    }
    return std::nullopt;
}

constexpr const char* SectorsSection = "__Dont_Touch_Me__";
constexpr const char* SectorsKey = "Sectors";
constexpr std::size_t SectorFieldMax = 100;

}  // namespace

INIClass::Document INIClass::load() const {
    Document doc;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return doc;
    std::string line;
    // Lines before the first section, comments and other lines without "="
    // are kept as entries without a key so a rewrite never drops them.
    doc.push_back(Section{});
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trimmed(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            doc.push_back(Section{t.substr(1, t.size() - 2), {}});
            continue;
        }
        const auto eq = line.find('=');
        if (t.empty() || t[0] == ';' || eq == std::string::npos) {
            if (!t.empty()) doc.back().entries.push_back({std::string(), line});
            continue;
        }
        doc.back().entries.push_back({trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1))});
    }
    return doc;
}

bool INIClass::store(const Document& doc) const {
    std::string text;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const auto& s = doc[i];
        if (i == 0 && s.name.empty()) {
            for (const auto& e : s.entries) text += (e.key.empty() ? e.value : e.key + "=" + e.value) + "\r\n";
            continue;
        }
        text += "[" + s.name + "]\r\n";
        for (const auto& e : s.entries)
            text += (e.key.empty() ? e.value : e.key + "=" + e.value) + "\r\n";
    }
    // Written beside the old file and renamed over it: a crash leaves either
    // the old file or the new one, never half of one.
    const std::string tmp = path_ + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path_.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

namespace {

template <typename Doc>
auto findSection(Doc& doc, const std::string& name) -> decltype(&doc[0]) {
    for (auto& s : doc)
        if (!s.name.empty() && rt::equalIgnoringCase(s.name, name)) return &s;
    return nullptr;
}

}  // namespace

void INIClass::Init(const std::string& fileName, int /*mode*/, int /*other*/) {
    std::lock_guard g(lock_);
    path_ = localPath(fileName);
    sectors_.clear();
    const Document doc = load();
    auto fetch = [&](const std::string& key) -> std::optional<std::string> {
        const Section* s = findSection(doc, SectorsSection);
        if (!s) return std::nullopt;
        for (const auto& e : s->entries)
            if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) return e.value;
        return std::nullopt;
    };
    const int n = asInt(fetch(SectorsKey)).value_or(0);
    for (int i = 1; i <= n; ++i) {
        const std::string value = fetch(std::string(SectorsKey) + "_" + std::to_string(i)).value_or("");
        Sector sector;
        std::string* fields[] = {&sector.family, &sector.item, &sector.type};
        std::size_t start = 0;
        for (int f = 0; f < 3; ++f) {
            const auto comma = f < 2 ? value.find(',', start) : std::string::npos;
            *fields[f] = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start)
                             .substr(0, SectorFieldMax);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        sectors_.push_back(std::move(sector));
    }
}

bool INIClass::Kill() {
    std::lock_guard g(lock_);
    Document doc = load();
    auto set = [&](const std::string& key, const std::string& value) {
        Section* s = findSection(doc, SectorsSection);
        if (!s) {
            doc.push_back(Section{SectorsSection, {}});
            s = &doc.back();
        }
        for (auto& e : s->entries)
            if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) {
                e.value = value;
                return;
            }
        s->entries.push_back({key, value});
    };
    set(SectorsKey, std::to_string(sectors_.size()));
    for (std::size_t i = 0; i < sectors_.size(); ++i) {
        const auto& s = sectors_[i];
        set(std::string(SectorsKey) + "_" + std::to_string(i + 1), s.family + "," + s.item + "," + s.type);
    }
    sectors_.clear();
    return store(doc);
}

std::optional<std::string> INIClass::TryFetch(const std::string& section, const std::string& key) const {
    std::lock_guard g(lock_);
    const Document doc = load();
    const Section* s = findSection(doc, section);
    if (!s) return std::nullopt;
    for (const auto& e : s->entries)
        if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) return e.value;
    return std::nullopt;
}

std::string INIClass::Fetch(const std::string& section, const std::string& key,
                            const std::string& defaultValue) const {
    return TryFetch(section, key).value_or(defaultValue);
}


bool INIClass::Update(const std::string& section, const std::string& key, const std::string& value) {
    std::lock_guard g(lock_);
    Document doc = load();
    Section* s = findSection(doc, section);
    if (!s) {
        doc.push_back(Section{section, {}});
        s = &doc.back();
    }
    bool found = false;
    for (auto& e : s->entries)
        if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) {
            e.value = value;
            found = true;
            break;
        }
    if (!found) s->entries.push_back({key, value});
    return store(doc);
}

bool INIClass::DeleteKey(const std::string& section, const std::string& key) {
    std::lock_guard g(lock_);
    Document doc = load();
    Section* s = findSection(doc, section);
    if (!s) return true;
    auto& es = s->entries;
    const auto before = es.size();
    es.erase(std::remove_if(es.begin(), es.end(),
                            [&](const Entry& e) { return !e.key.empty() && rt::equalIgnoringCase(e.key, key); }),
             es.end());
    if (es.size() == before) return true;
    return store(doc);
}

WindowPlacementFetch INIClass::FetchWindow(const std::string& procedure, bool resizable) const {
    std::lock_guard g(lock_);
    const Document doc = load();
    WindowPlacementFetch out;
    const Section* s = findSection(doc, procedure);
    if (!s) return out;
    auto get = [&](const char* key) -> std::optional<std::string> {
        for (const auto& e : s->entries)
            if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) return e.value;
        return std::nullopt;
    };
    const auto maximize = get("Maximize");
    if (!maximize || !(rt::equalIgnoringCase(*maximize, "Yes") || rt::equalIgnoringCase(*maximize, "No"))) return out;
    out.apply = true;
    out.maximize = rt::equalIgnoringCase(*maximize, "Yes");
    out.x = asInt(get("XPos"));
    out.y = asInt(get("YPos"));
    if (resizable) {
        out.width = asInt(get("Width"));
        out.height = asInt(get("Height"));
    }
    return out;
}

bool INIClass::UpdateWindow(const std::string& procedure, const WindowPlacement& p) {
    std::lock_guard g(lock_);
    Document doc = load();
    Section* s = findSection(doc, procedure);
    if (!s) {
        doc.push_back(Section{procedure, {}});
        s = &doc.back();
    }
    auto set = [&](const std::string& key, const std::string& value) {
        for (auto& e : s->entries)
            if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) {
                e.value = value;
                return;
            }
        s->entries.push_back({key, value});
    };
    auto remove = [&](const std::string& key) {
        auto& es = s->entries;
        es.erase(std::remove_if(es.begin(), es.end(),
                                [&](const Entry& e) { return !e.key.empty() && rt::equalIgnoringCase(e.key, key); }),
                 es.end());
    };
    set("Maximize", p.maximized ? "Yes" : "No");
    set("Minimize", p.minimized ? "Yes" : "No");
    if (!p.maximized && !p.minimized) {
        set("XPos", std::to_string(p.x));
        set("YPos", std::to_string(p.y));
        if (p.resizable) {
            set("Width", std::to_string(p.width));
            set("Height", std::to_string(p.height));
        } else {
            remove("Width");
            remove("Height");
        }
    } else {
        for (const char* k : {"XPos", "YPos", "Width", "Height"}) remove(k);
    }
    return store(doc);
}
