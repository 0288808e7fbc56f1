#include "framework/ini.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <limits>
#include <unordered_map>

#include "runtime/dialogs.h"
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

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
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

// A decimal count as stored; anything beyond what a size holds is as good
// as endless (the entries present cap it). Not a number, or negative: 0.
std::size_t asCount(const std::string& v) {
    std::string_view d = v;
    if (!d.empty() && d[0] == '+') d.remove_prefix(1);
    if (d.empty()) return 0;
    std::size_t n = 0;
    for (char c : d) {
        if (c < '0' || c > '9') return 0;
        const std::size_t digit = static_cast<std::size_t>(c - '0');
        if (n > (std::numeric_limits<std::size_t>::max() - digit) / 10)
            return std::numeric_limits<std::size_t>::max();
        n = n * 10 + digit;
    }
    return n;
}

constexpr const char* SectorsSection = "__Dont_Touch_Me__";
constexpr const char* SectorsKey = "Sectors";
constexpr std::string_view SectorEntryPrefix = "sectors_";
constexpr std::size_t SectorFieldMax = 100;
constexpr std::string_view Bom = "\xEF\xBB\xBF";

// i of an entry named "Sectors_i" (i written as the program writes it: no
// sign, no leading zero); 0 for any other name.
std::size_t sectorNumber(std::string_view key) {
    if (key.size() <= SectorEntryPrefix.size() || key.size() > SectorEntryPrefix.size() + 18)
        return 0;
    if (!rt::equalIgnoringCase(key.substr(0, SectorEntryPrefix.size()), SectorEntryPrefix))
        return 0;
    const std::string_view digits = key.substr(SectorEntryPrefix.size());
    if (digits[0] == '0') return 0;
    std::size_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    return n;
}

template <typename Doc>
auto findSection(Doc& doc, const std::string& name) -> decltype(&doc.sections[0]) {
    for (auto& s : doc.sections)
        if (!s.name.empty() && rt::equalIgnoringCase(s.name, name)) return &s;
    return nullptr;
}

template <typename Sec>
auto findEntry(Sec* s, std::string_view key) -> decltype(&s->entries[0]) {
    if (!s) return nullptr;
    for (auto& e : s->entries)
        if (!e.key.empty() && rt::equalIgnoringCase(e.key, key)) return &e;
    return nullptr;
}

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Other processes (a second copy of the program in the same directory) are
// kept out by an exclusive flock on the directory that holds the file, held
// across the whole read-modify-write. Not on the file itself: every write
// renames a new file over it, so a process that waited for the lock would
// hold it on an inode nobody reads any more while a third locks the new one.
// Not on a lock file beside it either: that would be one more file in the
// user's directory, and one that could never safely be removed. The
// directory stays the same inode however often the file is replaced. Where
// it cannot be locked (a file system without flock), the update still goes
// ahead: the rename keeps the file whole, only a concurrent update of
// another process may be lost.
class DirectoryLock {
  public:
    explicit DirectoryLock(const std::string& file)
        : fd_(::open(directoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.fd >= 0)
            while (::flock(fd_.fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }

  private:
    Fd fd_;  // closing it releases the lock
};

}  // namespace

// Lines before the first section, comments, blank lines and lines without a
// key are kept as they were, so a rewrite neither drops them nor turns one
// ("=[X]") into something else (the header "[X]").
void INIClass::parse(std::string_view text, Document& doc) {
    if (text.substr(0, Bom.size()) == Bom) {
        doc.bom = true;
        text.remove_prefix(Bom.size());
    }
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string line(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trimmed(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            doc.sections.push_back(Section{t.substr(1, t.size() - 2), std::move(line), {}});
            continue;
        }
        const auto eq = line.find('=');
        std::string key = t.empty() || t[0] == ';' || eq == std::string::npos
                              ? std::string()
                              : trimmed(line.substr(0, eq));
        if (key.empty()) {
            doc.sections.back().entries.push_back({{}, {}, std::move(line), true});
            continue;
        }
        std::string value = trimmed(line.substr(eq + 1));
        doc.sections.back().entries.push_back(
            {std::move(key), std::move(value), std::move(line), true});
    }
}

namespace {

// How long after its last change a file read is trusted again: more than the
// coarsest tick of a file system's clock, so any later change shows in its
// times.
constexpr long long SettleNs = 20000000;

long long realNow() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return rt::stampNanos(t);
}

}  // namespace

INIClass::Read INIClass::current(const Document*& doc) const {
    doc = &cached_;
    if (stamp_) {
        struct stat st;
        if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && rt::fileStamp(st) == *stamp_)
            return Read::Ok;
        stamp_.reset();
    }
    std::optional<Stamp> stamp;
    const Read read = load(cached_, stamp);
    stamp_ = stamp;
    return read;
}

// stamp is set when the file was read whole and had settled before it was
// read (see SettleNs).
INIClass::Read INIClass::load(Document& doc, std::optional<Stamp>& stamp) const {
    stamp.reset();
    doc = Document{};
    doc.sections.push_back(Section{});
    // Not blocking: a FIFO in the file's place must not hang the program.
    Fd in(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.fd < 0) {
        struct stat st;
        // A link to nowhere is there all the same: not a missing file.
        if (errno == ENOENT && ::lstat(path_.c_str(), &st) != 0) return Read::Missing;
        return Read::Unreadable;
    }
    const long long readAt = realNow();
    struct stat st;
    if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return Read::Unreadable;
    try {
        std::string text;
        text.reserve(static_cast<std::size_t>(st.st_size));
        char buf[1 << 16];
        for (;;) {
            const ssize_t n = ::read(in.fd, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                return Read::Unreadable;
            }
            text.append(buf, static_cast<std::size_t>(n));
        }
        parse(text, doc);
    } catch (const std::exception&) {
        // Too big to hold: as unreadable as a read error, and as untouchable.
        doc = Document{};
        doc.sections.push_back(Section{});
        return Read::Unreadable;
    }
    const Stamp s = rt::fileStamp(st);
    if (s.mtimeNs < readAt - SettleNs && s.ctimeNs < readAt - SettleNs) stamp = s;
    return Read::Ok;
}

bool INIClass::store(const Document& doc) const {
    std::string text;
    if (doc.bom) text += Bom;
    for (std::size_t i = 0; i < doc.sections.size(); ++i) {
        const auto& s = doc.sections[i];
        if (i > 0) text += (s.header.empty() ? "[" + s.name + "]" : s.header) + "\r\n";
        for (const auto& e : s.entries) {
            if (e.asRead) {
                text += e.raw;
            } else {
                text += e.key;
                text += '=';
                text += e.value;
            }
            text += "\r\n";
        }
    }
    // Written beside the old file and renamed over it: a crash leaves either
    // the old file or the new one, never half of one. The temporary file is
    // this write's own (process and sequence number, created exclusively):
    // with one shared name, a second copy of the program could truncate it
    // while this one renames it into place.
    static std::atomic<unsigned long> sequence{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        tmp = path_ + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && (errno != EEXIST || attempt == 100)) return false;
    }
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
    struct stat written;
    if (::fsync(fd) != 0 || ::fstat(fd, &written) != 0) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::close(fd) != 0 || ::rename(tmp.c_str(), path_.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Kept as the copy when the file in place is still the one written here
    // (its own new inode: another copy of the program writes a new one too).
    // The rename changed its change time, so the stamp is taken afterwards.
    struct stat now;
    if (::stat(path_.c_str(), &now) == 0 && now.st_ino == written.st_ino &&
        now.st_dev == written.st_dev) {
        cached_ = doc;
        stamp_ = rt::fileStamp(now);
    }
    return true;
}

template <typename Change>
bool INIClass::modify(Change change) {
    bool ok = false;
    {
        std::lock_guard g(lock_);
        DirectoryLock others(path_);
        const Document* now = nullptr;
        if (current(now) != Read::Unreadable) {
            Document doc = *now;
            if (change(doc)) {
                // Whatever comes of the write, the next read looks at the file
                // (store keeps what it wrote).
                stamp_.reset();
                ok = store(doc);
            } else {
                ok = true;
            }
        }
    }
    if (!ok) troubleOnce();
    return ok;
}

std::string INIClass::NoticeText() const {
    const auto slash = path_.rfind('/');
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    return "The settings file " + name +
           " cannot be read or kept.\nIt is left as it is; window positions and sizes are not "
           "saved.";
}

void INIClass::troubleOnce() const {
    if (notice_ == Notice::Never || told_.exchange(true)) return;
    rt::MessageRequest req;
    req.title = NoticeTitle;
    req.text = NoticeText();
    req.buttons = rt::ButtonOk;
    req.defaultButton = rt::ButtonOk;
    req.icon = rt::Icon::Exclamation;
    rt::showMessage(req);
}

void INIClass::Init(const std::string& fileName, int /*mode*/, int /*other*/) {
    bool unreadable = false;
    {
        std::lock_guard g(lock_);
        path_ = localPath(fileName);
        sectors_.clear();
        stamp_.reset();
        const Document* doc = nullptr;
        const Read read = current(doc);
        unreadable = read == Read::Unreadable;
        sectorsRead_ = !unreadable;
        const Section* s = findSection(*doc, SectorsSection);
        const Entry* count = findEntry(s, SectorsKey);
        const std::size_t n = count ? asCount(count->value) : 0;
        // One pass over the entries present: the list ends at the highest
        // "Sectors_i" there is with i <= n, however large n claims to be.
        std::unordered_map<std::size_t, const std::string*> values;
        std::size_t last = 0;
        if (s && n > 0)
            for (const auto& e : s->entries) {
                const std::size_t i = e.key.empty() ? 0 : sectorNumber(e.key);
                if (i == 0 || i > n || !values.emplace(i, &e.value).second) continue;
                last = std::max(last, i);
            }
        sectors_.reserve(last);
        for (std::size_t i = 1; i <= last; ++i) {
            const auto it = values.find(i);
            const std::string value = it == values.end() ? std::string() : *it->second;
            Sector sector;
            std::string* fields[] = {&sector.family, &sector.item, &sector.type};
            std::size_t start = 0;
            for (int f = 0; f < 3; ++f) {
                const auto comma = f < 2 ? value.find(',', start) : std::string::npos;
                *fields[f] = value
                                 .substr(start, comma == std::string::npos ? std::string::npos
                                                                           : comma - start)
                                 .substr(0, SectorFieldMax);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            sectors_.push_back(std::move(sector));
        }
    }
    if (unreadable) troubleOnce();
}

bool INIClass::Kill() {
    std::vector<Sector> sectors;
    bool known = false;
    {
        std::lock_guard g(lock_);
        sectors.swap(sectors_);
        known = sectorsRead_ && !path_.empty();
        sectorsRead_ = false;
    }
    // A list that could not be read is not written: an empty one written in
    // its place would lose it.
    if (!known) return false;
    return modify([&](Document& doc) {
        Section* s = findSection(doc, SectorsSection);
        if (!s) {
            doc.sections.push_back(Section{SectorsSection, {}, {}});
            s = &doc.sections.back();
        }
        // Looked up by name, not by a scan per key: the list may be long.
        std::unordered_map<std::string, std::size_t> index;
        for (std::size_t i = 0; i < s->entries.size(); ++i)
            if (!s->entries[i].key.empty()) index.emplace(lowered(s->entries[i].key), i);
        auto set = [&](const std::string& key, std::string value) {
            const auto [it, added] = index.emplace(lowered(key), s->entries.size());
            if (added) {
                s->entries.push_back({key, std::move(value), {}, false});
                return;
            }
            Entry& e = s->entries[it->second];
            if (e.value == value) return;  // the line stays as it was
            e.value = std::move(value);
            e.asRead = false;
        };
        set(SectorsKey, std::to_string(sectors.size()));
        for (std::size_t i = 0; i < sectors.size(); ++i) {
            const auto& sec = sectors[i];
            set(std::string(SectorsKey) + "_" + std::to_string(i + 1),
                sec.family + "," + sec.item + "," + sec.type);
        }
        return true;
    });
}

std::optional<std::string> INIClass::TryFetch(const std::string& section,
                                              const std::string& key) const {
    std::optional<std::string> out;
    bool unreadable = false;
    {
        std::lock_guard g(lock_);
        const Document* doc = nullptr;
        unreadable = current(doc) == Read::Unreadable;
        if (const Entry* e = findEntry(findSection(*doc, section), key)) out = e->value;
    }
    if (unreadable) troubleOnce();
    return out;
}

std::string INIClass::Fetch(const std::string& section, const std::string& key,
                            const std::string& defaultValue) const {
    return TryFetch(section, key).value_or(defaultValue);
}

namespace {

template <typename Doc>
auto sectionFor(Doc& doc, const std::string& name) -> decltype(&doc.sections[0]) {
    auto* s = findSection(doc, name);
    if (s) return s;
    doc.sections.push_back({name, {}, {}});
    return &doc.sections.back();
}

template <typename Sec>
void setKey(Sec* s, const std::string& key, const std::string& value) {
    if (auto* e = findEntry(s, key)) {
        if (e->value == value) return;
        e->value = value;
        e->asRead = false;
        return;
    }
    s->entries.push_back({key, value, {}, false});
}

template <typename Sec>
bool removeKey(Sec* s, const std::string& key) {
    auto& es = s->entries;
    const auto before = es.size();
    es.erase(std::remove_if(es.begin(), es.end(),
                            [&](const auto& e) {
                                return !e.key.empty() && rt::equalIgnoringCase(e.key, key);
                            }),
             es.end());
    return es.size() != before;
}

}  // namespace

bool INIClass::Update(const std::string& section, const std::string& key,
                      const std::string& value) {
    return modify([&](Document& doc) {
        setKey(sectionFor(doc, section), key, value);
        return true;
    });
}

bool INIClass::DeleteKey(const std::string& section, const std::string& key) {
    return modify([&](Document& doc) {
        Section* s = findSection(doc, section);
        return s && removeKey(s, key);
    });
}

WindowPlacementFetch INIClass::FetchWindow(const std::string& procedure, bool resizable) const {
    WindowPlacementFetch out;
    bool unreadable = false;
    {
        std::lock_guard g(lock_);
        const Document* doc = nullptr;
        unreadable = current(doc) == Read::Unreadable;
        const Section* s = findSection(*doc, procedure);
        auto get = [&](const char* key) -> std::optional<std::string> {
            if (const Entry* e = findEntry(s, key)) return e->value;
            return std::nullopt;
        };
        const auto maximize = get("Maximize");
        if (maximize &&
            (rt::equalIgnoringCase(*maximize, "Yes") || rt::equalIgnoringCase(*maximize, "No"))) {
            out.apply = true;
            out.maximize = rt::equalIgnoringCase(*maximize, "Yes");
            out.x = asInt(get("XPos"));
            out.y = asInt(get("YPos"));
            if (resizable) {
                out.width = asInt(get("Width"));
                out.height = asInt(get("Height"));
            }
        }
    }
    if (unreadable) troubleOnce();
    return out;
}

bool INIClass::UpdateWindow(const std::string& procedure, const WindowPlacement& p) {
    return modify([&](Document& doc) {
        Section* s = sectionFor(doc, procedure);
        setKey(s, "Maximize", p.maximized ? "Yes" : "No");
        setKey(s, "Minimize", p.minimized ? "Yes" : "No");
        if (!p.maximized && !p.minimized) {
            setKey(s, "XPos", std::to_string(p.x));
            setKey(s, "YPos", std::to_string(p.y));
            if (p.resizable) {
                setKey(s, "Width", std::to_string(p.width));
                setKey(s, "Height", std::to_string(p.height));
            } else {
                removeKey(s, "Width");
                removeKey(s, "Height");
            }
        } else {
            for (const char* k : {"XPos", "YPos", "Width", "Height"}) removeKey(s, k);
        }
        return true;
    });
}
