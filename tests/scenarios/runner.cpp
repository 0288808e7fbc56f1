// The scenario runner: plays a *.scn file against the real program (see
// README.md beside this file for the format and its additions).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/procedures.h"
#include "core/dictionary/files.h"
#include "core/frame/procedures.h"
#include "core/startup/program.h"
#include "core/storage/sql.h"
#include "framework/globals.h"
#include "framework/ini.h"
#include "framework/window_procedure.h"
#include "runtime/clock.h"
#include "runtime/report/report.h"
#include "runtime/text.h"
#include "runtime/window/window.h"
#include "tests/runtime/image_fixtures.h"
#include "tests/scenarios/driver.h"
#include "tests/scenarios/test_windows.h"

namespace fs = std::filesystem;

namespace {

constexpr int kIdleMs = 10000;

struct Failure {
    std::string expected, saw;
    // A check that did not hold, as against a command that could not run (an
    // unknown control, a malformed line, an unexpected message box).
    bool check = false;
};

std::string trimmed(std::string_view s) {
    return std::string(rt::trim(s));
}

std::string withoutAmp(std::string_view s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            if (i + 1 < s.size() && s[i + 1] == '&') {
                r += '&';
                ++i;
            }
            continue;
        }
        r += s[i];
    }
    return r;
}

// '*' matches any run of characters.
bool globMatch(std::string_view pat, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pat.size() && pat[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pat.size() && pat[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

bool textMatches(std::string_view expected, std::string_view shown) {
    return globMatch(trimmed(expected), trimmed(shown));
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Equal but for letter case, over Windows-1250 (file names with č and Š).
bool sameName(const std::string& a, const std::string& b) {
    auto ca = rt::fromUtf8(a), cb = rt::fromUtf8(b);
    if (!ca || !cb) return lowerAscii(a) == lowerAscii(b);
    if (ca->size() != cb->size()) return false;
    for (std::size_t i = 0; i < ca->size(); ++i)
        if (rt::lowerCp1250(static_cast<unsigned char>((*ca)[i])) !=
            rt::lowerCp1250(static_cast<unsigned char>((*cb)[i])))
            return false;
    return true;
}

// "WxH" as two numbers of at least 1.
std::optional<std::pair<int, int>> sizeOf(const std::string& s) {
    int w = 0, h = 0;
    char x = 0, rest = 0;
    if (std::sscanf(s.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || x != 'x' || w < 1 || h < 1)
        return std::nullopt;
    return std::pair{w, h};
}

// An image file of w x h pixels in the format its extension names: blocks
// of four colours, written with the image libraries or byte by byte.
std::optional<imgtest::Bytes> imageFile(const std::string& name, int w, int h) {
    std::string ext = lowerAscii(fs::path(name).extension().string());
    auto colour = [](int x, int y) { return imgtest::Palette4[imgtest::index4(x / 8, y / 8)]; };
    if (ext == ".png") {
        imgtest::PngSpec s;
        s.width = w;
        s.height = h;
        s.samples = [&](int x, int y) {
            const std::uint32_t c = colour(x, y);
            return std::vector<unsigned>{c >> 24, c >> 16 & 0xFF, c >> 8 & 0xFF};
        };
        return imgtest::makePng(s);
    }
    if (ext == ".jpg" || ext == ".jpeg") return imgtest::makeJpeg({w, h, JCS_RGB, false});
    if (ext == ".gif") {
        imgtest::GifSpec s;
        s.screenW = s.width = w;
        s.screenH = s.height = h;
        return imgtest::makeGif(s);
    }
    if (ext == ".bmp") {
        imgtest::DibSpec s;
        s.width = w;
        s.height = h;
        s.bpp = 24;
        s.value = [&](int x, int y) { return colour(x, y) >> 8; };
        return imgtest::bmpFile(s);
    }
    if (ext == ".pcx") {
        imgtest::PcxSpec s;
        s.width = w;
        s.height = h;
        s.bpp = 8;
        s.planes = 3;
        s.row = [&](int y, int bpl) {
            imgtest::Bytes b(3 * static_cast<std::size_t>(bpl));
            for (int x = 0; x < w; ++x) {
                const std::uint32_t c = colour(x, y);
                b[x] = c >> 24;
                b[bpl + x] = c >> 16 & 0xFF;
                b[2 * bpl + x] = c >> 8 & 0xFF;
            }
            return b;
        };
        return imgtest::pcxFile(s);
    }
    return std::nullopt;
}

// Words separated by blanks; double quotes hold blanks, \" and \\.
std::optional<std::vector<std::string>> splitWords(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        std::string w;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    w += line[i + 1];
                    i += 2;
                } else if (line[i] == '"') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    w += line[i++];
                }
            }
            if (!closed) {
                error = "unterminated quote";
                return std::nullopt;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                w += line[i++];
        }
        words.push_back(w);
    }
    return words;
}

std::string sqlCell(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_NULL:
            return "";
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_column_int64(st, col));
        default: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st, col));
            const int n = sqlite3_column_bytes(st, col);
            if (sqlite3_column_type(st, col) == SQLITE_FLOAT) {
                p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
                return p ? std::string(p) : std::string();
            }
            return rt::toUtf8(std::string_view(p ? p : "", static_cast<std::size_t>(n)));
        }
    }
}

// ---------------------------------------------------------------------------

// Another process holding Clanovi.sqlite locked (BEGIN EXCLUSIVE) until it
// is let go: this program started again with --hold-lock.
class HeldLock {
  public:
    explicit HeldLock(const std::string& path) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(down[0], 0);
            dup2(up[1], 1);
            for (int fd : {up[0], up[1], down[0], down[1]}) close(fd);
            execl("/proc/self/exe", "scenario-runner", "--hold-lock", path.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(up[1]);
        close(down[0]);
        down_ = down[1];
        char c = 0;
        ready_ = read(up[0], &c, 1) == 1 && c == 'y';
        close(up[0]);
    }
    ~HeldLock() {
        if (down_ >= 0) close(down_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    int down_ = -1;
    bool ready_ = false;
};

// The other side of HeldLock: locks the database, says so, and holds it
// until its input ends.
int HoldLock(const char* path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path, &db) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return 1;
    if (write(1, "y", 1) != 1) return 1;
    char c;
    while (read(0, &c, 1) > 0) {
    }
    sqlite3_close(db);
    return 0;
}

class Runner {
  public:
    Runner(Driver& d, std::string file) : d_(d), file_(std::move(file)) {}

    int run();

  private:
    using Words = std::vector<std::string>;

    void command(const Words& w);
    void given(const Words& w);
    void expect(const Words& w);
    void expectReport(const Words& w);
    void settle(const std::string& what);
    void checkNoUnexpectedBox(const Words& w);
    rt::ViewPtr current();
    rt::ViewPtr findWindow(const std::string& title, int n);
    const rt::ControlView& control(const std::string& name);
    int menuItem(const std::string& menu, const std::string& item, bool mustBeUsable);
    std::optional<rt::OpenDialog> messageBox();
    void start();
    void quit();
    std::string seen();
    [[noreturn]] void fail(std::string expected, std::string saw = {});
    // A check that ran and did not hold.
    [[noreturn]] void mismatch(std::string expected, std::string saw = {});
    std::optional<rt::OpenDialog> popup();
    void need(const Words& w, std::size_t n);
    std::string ini(const std::string& section, const std::string& key, bool& present);

    Driver& d_;
    std::string file_;
    fs::path dir_;
    int line_ = 0;
    std::string text_;
    bool started_ = false;
    std::thread program_;
    std::atomic<bool> programDone_{false};
    int window_ = 0;
    // Whether the program beeped while the previous command ran.
    bool beeped_ = false;
    std::map<std::string, std::string> testWindows_;
    std::unique_ptr<HeldLock> lock_;  // given lock ... given unlock
};

[[noreturn]] void Runner::fail(std::string expected, std::string saw) {
    if (saw.empty()) saw = seen();
    throw Failure{std::move(expected), std::move(saw)};
}

[[noreturn]] void Runner::mismatch(std::string expected, std::string saw) {
    if (saw.empty()) saw = seen();
    throw Failure{std::move(expected), std::move(saw), true};
}

std::optional<rt::OpenDialog> Runner::popup() {
    for (auto& dl : d_.dialogs())
        if (dl.request.kind == rt::DialogRequest::Kind::Popup) return dl;
    return std::nullopt;
}

void Runner::need(const Words& w, std::size_t n) {
    if (w.size() < n) fail("a complete command", "too few words");
}

std::string Runner::seen() {
    std::ostringstream o;
    if (auto box = messageBox()) {
        std::string text = box->request.message.text;
        for (char& c : text)
            if (c == '\n') c = '|';
        o << "message box \"" << box->request.message.title << "\" \"" << text << "\"";
        return o.str();
    }
    if (!started_) return "the program not started";
    rt::ViewPtr v = current();
    if (!v) return "no current window";
    o << "window \"" << v->title << "\"";
    for (const auto& c : v->controls)
        if (c.focused) o << ", focus on " << (c.name.empty() ? "\"" + c.text + "\"" : c.name);
    return o.str();
}

std::optional<rt::OpenDialog> Runner::messageBox() {
    for (auto& dl : d_.dialogs())
        if (dl.request.kind == rt::DialogRequest::Kind::Message) return dl;
    return std::nullopt;
}

rt::ViewPtr Runner::current() {
    for (auto& v : d_.windows())
        if (v->id == window_) return v;
    return nullptr;
}

rt::ViewPtr Runner::findWindow(const std::string& title, int n) {
    std::vector<rt::ViewPtr> matches;
    for (auto& v : d_.windows())
        if (v->kind == rt::WindowKind::Child && textMatches(title, v->title)) matches.push_back(v);
    if (matches.empty()) return nullptr;
    if (n <= 0) return matches.back();
    if (n > static_cast<int>(matches.size())) return nullptr;
    return matches[static_cast<std::size_t>(n - 1)];
}

const rt::ControlView& Runner::control(const std::string& name) {
    rt::ViewPtr v = current();
    if (!v) fail("a current window");
    static thread_local rt::ViewPtr keep;
    keep = v;
    if (!name.empty() && name[0] == '?') {
        for (const auto& c : v->controls)
            if (lowerAscii(c.name) == lowerAscii(name)) return c;
    } else {
        for (const auto& c : v->controls)
            if (trimmed(withoutAmp(c.text)) == trimmed(withoutAmp(name)) &&
                c.kind != rt::ControlKind::Menu && c.kind != rt::ControlKind::Item)
                return c;
    }
    fail("control " + name);
}

int Runner::menuItem(const std::string& menu, const std::string& item, bool usable) {
    rt::ViewPtr f;
    for (auto& v : d_.windows())
        if (v->kind == rt::WindowKind::Frame) f = v;
    if (!f) fail("the frame");
    int menuId = 0;
    for (const auto& c : f->controls)
        if (c.kind == rt::ControlKind::Menu && trimmed(withoutAmp(c.text)) == trimmed(menu)) {
            menuId = c.id;
            if (usable && (!c.visible || !c.enabled)) fail("menu \"" + menu + "\" usable");
            break;
        }
    if (!menuId) fail("menu \"" + menu + "\"");
    for (const auto& c : f->controls)
        if (c.kind == rt::ControlKind::Item && c.parent == menuId &&
            trimmed(withoutAmp(c.text)) == trimmed(item)) {
            if (usable && (!c.visible || !c.enabled))
                fail("item \"" + item + "\" shown and enabled", std::string("it is ") +
                                                                    (c.visible ? "" : "hidden ") +
                                                                    (c.enabled ? "" : "disabled"));
            return c.id;
        }
    fail("item \"" + item + "\" in menu \"" + menu + "\"");
}

void Runner::settle(const std::string& what) {
    if (!started_) return;
    if (!d_.idle(kIdleMs)) fail(what + " to end within 10 seconds", "the program still busy");
}

std::string Runner::ini(const std::string& section, const std::string& key, bool& present) {
    INIClass ini(INIClass::Notice::Never);  // the program's own manager tells the user
    ini.Init(".\\Sutrik.INI", 0, 0);
    auto v = ini.TryFetch(section, key);
    present = v.has_value();
    return v.value_or("");
}

void Runner::start() {
    if (started_) fail("a program not yet started");
    started_ = true;
    rt::setBackend(d_.backend());
    RegisterAllProcedures();
    RegisterTestProcedures();  // test-only windows, started by `open`
    // Stand-in windows for procedures the program does not have yet.
    for (const auto& [proc, title] : testWindows_) {
        if (FindProcedure(proc)) continue;
        const std::string name = proc, caption = title;
        RegisterProcedure(proc, [name, caption] {
            EnterByTabClass ebt;
            rt::WindowDesc desc;
            desc.title = rt::fromUtf8(caption).value_or(caption);
            desc.at = {0, 0, 200, 100};
            desc.centred = true;
            desc.resizable = true;
            rt::Window w(desc);
            rt::Control ok;
            ok.kind = rt::ControlKind::Button;
            ok.name = "?Close";
            ok.text = "Izlaz";
            ok.at = {140, 80, 50, 14};
            const int okId = w.add(ok);
            ToolbarClass tb;
            struct Test : WindowProcedure {
                Test(std::string n, rt::Window& w, EnterByTabClass& e, ToolbarClass& t, int ok)
                    : WindowProcedure(std::move(n), w, e, &t), ok_(ok) {}
                void RegisterButtons() override { AddItem(ok_, ::Response::Cancelled); }
                int ChooseFirstField() override { return ok_; }
                int ok_;
            } tw(name, w, ebt, tb, okId);
            GlobalResponse = tw.Run();
        });
    }
    rt::setBodyRunning(true);
    program_ = std::thread([this] {
        runProgram();
        rt::setBodyRunning(false);
        programDone_ = true;
    });
    settle("start");
    for (int i = 0; i < 1000 && !rt::frameWindow() && !programDone_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        settle("start");
    }
    window_ = rt::frameWindow();
    if (!window_) fail("the frame to open", "no frame");
}

void Runner::quit() {
    if (!started_ || programDone_) return;
    const int frame = rt::frameWindow();
    if (frame) d_.input(frame, rt::Input{rt::Input::Kind::Close});
    for (int i = 0; i < kIdleMs / 10 && !programDone_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (messageBox()) fail("the program to end", seen());
    }
    if (!programDone_) fail("the program to end within 10 seconds", "it still runs");
    program_.join();
}

void Runner::checkNoUnexpectedBox(const Words& w) {
    if (!messageBox()) return;
    const std::string c = w[0];
    if (c == "answer" || c == "choose" || c == "popup" || c == "quit") return;
    if (c == "expect" && w.size() > 1 &&
        (w[1] == "message" || w[1] == "filedialog" || w[1] == "nomessage"))
        return;
    fail("no message box", seen());
}

void Runner::given(const Words& w) {
    need(w, 2);
    const std::string& what = w[1];
    if (started_ && what != "sql" && what != "file" && what != "image" && what != "lock" &&
        what != "unlock")
        fail("given before start", "the program already started");
    if (what == "today") {
        need(w, 3);
        int y = 0, m = 0, dd = 0;
        if (std::sscanf(w[2].c_str(), "%d-%d-%d", &y, &m, &dd) != 3) fail("YYYY-MM-DD", w[2]);
        rt::useManualClock(y, m, dd);
    } else if (what == "ini") {
        need(w, 5);
        INIClass ini(INIClass::Notice::Never);
        ini.Init(".\\Sutrik.INI", 0, 0);
        if (!ini.Update(w[2], w[3], w[4])) fail("Sutrik.INI written", "it could not be written");
    } else if (what == "file") {
        need(w, 3);
        const fs::path src = fs::path(file_).parent_path() / w[2];
        const fs::path dest = w.size() > 3 ? fs::path(w[3]) : src.filename();
        std::error_code ec;
        fs::copy_file(src, dest, fs::copy_options::overwrite_existing, ec);
        if (ec) fail("file " + src.string() + " copied", ec.message());
    } else if (what == "sql" || what == "table") {
        need(w, 3);
        std::vector<std::string> statements;
        if (what == "sql") {
            auto cp = rt::fromUtf8(w[2]);
            if (!cp) fail("a statement Windows-1250 can hold", w[2]);
            statements.push_back(*cp);
        } else {
            bool found = false;
            for (FileId id : DictionaryOrder) {
                const rt::FileDef& def = fileDef(id);
                if (lowerAscii(def.label) == lowerAscii(w[2])) {
                    statements = storage::schemaSql(def);
                    found = true;
                }
            }
            if (!found) fail("a file named " + w[2]);
        }
        sqlite3* db = nullptr;
        if (sqlite3_open("Clanovi.sqlite", &db) != SQLITE_OK) {
            sqlite3_close(db);
            fail("Clanovi.sqlite opened");
        }
        for (const auto& s : statements) {
            char* err = nullptr;
            if (sqlite3_exec(db, s.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
                std::string e = err ? err : "error";
                sqlite3_free(err);
                sqlite3_close(db);
                fail("statement to run: " + rt::toUtf8(s), e);
            }
        }
        sqlite3_close(db);
    } else if (what == "image") {
        need(w, 4);
        auto size = sizeOf(w[3]);
        if (!size) fail("WxH", w[3]);
        auto bytes = imageFile(w[2], size->first, size->second);
        if (!bytes) fail("a name ending .png, .jpg, .bmp, .gif or .pcx", w[2]);
        const fs::path dest = w[2];
        std::error_code ec;
        if (dest.has_parent_path()) fs::create_directories(dest.parent_path(), ec);
        std::ofstream out(dest, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
        if (!out.flush()) fail("image " + w[2] + " written", "it could not be written");
    } else if (what == "lock") {
        lock_ = std::make_unique<HeldLock>("Clanovi.sqlite");
        if (!lock_->ready()) fail("another process holding Clanovi.sqlite locked");
    } else if (what == "unlock") {
        lock_.reset();
    } else if (what == "window") {
        // given window PROCEDURE "TITLE": a stand-in window (see README)
        need(w, 4);
        testWindows_[w[2]] = w[3];
    } else {
        fail("a known given command");
    }
}

// The report checks read the pages the last report run made (the display
// lists the preview and the printer draw); each check marks the run seen, so
// `expect report none` holds until another report makes pages.
void Runner::expectReport(const Words& w) {
    need(w, 3);
    const std::string& sub = w[2];
    if (sub == "none") {
        if (rt::report::documentNoted())
            mismatch("no report run",
                     std::to_string(rt::report::lastDocument()->pageCount()) + " pages made");
        return;
    }
    auto doc = rt::report::documentNoted() ? rt::report::lastDocument() : nullptr;
    if (!doc) {
        // seen already by an earlier check of this run: still the last one
        doc = rt::report::lastDocument();
        if (!doc) mismatch("a report run", "none");
    }
    rt::report::clearLastDocument();
    const int pages = static_cast<int>(doc->pageCount());
    // A page's text items, top to bottom, then left to right.
    auto texts = [&](int page) {
        std::vector<rt::PageItem> items = *doc->payload(page).items;
        std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
            return a.y != b.y ? a.y < b.y : a.x < b.x;
        });
        std::vector<std::string> out;
        for (const auto& i : items)
            if (i.kind == rt::PageItem::Kind::Text) out.push_back(i.text);
        return out;
    };
    auto seen = [&](const std::vector<std::string>& t) {
        std::string s;
        for (const auto& x : t) s += (s.empty() ? "\"" : " \"") + x + "\"";
        return s;
    };
    if (sub == "pages") {
        need(w, 4);
        if (std::to_string(pages) != w[3]) mismatch("report pages " + w[3], std::to_string(pages));
        return;
    }
    if (sub == "page") {
        need(w, 5);
        const int n = std::atoi(w[3].c_str());
        if (n < 1 || n > pages)
            mismatch("report page " + w[3], "the report has " + std::to_string(pages) + " pages");
        if (w[4] == "image") {
            // `expect report page N image "NAME"|none`: the page draws the image
            // file NAME (its own name, letter case ignored) / no image at all.
            need(w, 6);
            std::vector<std::string> images;
            const rt::PagePayload page = doc->payload(n);  // holds the items while read
            for (const auto& i : *page.items)
                if (i.kind == rt::PageItem::Kind::Image)
                    images.push_back(std::filesystem::path(i.text).filename().string());
            const bool none = w[5] == "none";
            bool found = false;
            for (const auto& i : images)
                if (lowerAscii(i) == lowerAscii(w[5])) found = true;
            if (none ? !images.empty() : !found)
                mismatch("report page " + w[3] +
                             (none ? " without an image" : " image \"" + w[5] + "\""),
                         images.empty() ? "no image" : "images " + seen(images));
            return;
        }
        const auto t = texts(n);
        const bool lacks = w[4] == "lacks";
        for (std::size_t i = lacks ? 5 : 4; i < w.size(); ++i) {
            bool found = false;
            for (const auto& x : t)
                if (textMatches(w[i], x)) found = true;
            if (found == lacks)
                mismatch(std::string("report page ") + w[3] + (lacks ? " lacks \"" : " \"") + w[i] +
                             "\"",
                         seen(t));
        }
        return;
    }
    if (sub == "order") {
        std::vector<std::string> all;
        for (int p = 1; p <= pages; ++p)
            for (auto& x : texts(p)) all.push_back(std::move(x));
        std::size_t at = 0;
        for (std::size_t i = 3; i < w.size(); ++i) {
            while (at < all.size() && !textMatches(w[i], all[at])) ++at;
            if (at == all.size()) mismatch("report order, then \"" + w[i] + "\"", seen(all));
            ++at;
        }
        return;
    }
    fail("expect report pages|page|order|none");
}

void Runner::expect(const Words& w) {
    need(w, 2);
    const std::string& what = w[1];
    auto yesNo = [&](const std::string& s) {
        if (s == "yes") return true;
        if (s == "no") return false;
        fail("yes or no", s);
    };
    if (what == "ini") {
        need(w, 5);
        bool present = false;
        const std::string v = ini(w[2], w[3], present);
        const std::string& want = w[4];
        if (want == "present") {
            if (!present) mismatch("[" + w[2] + "] " + w[3] + " present", "absent");
        } else if (want == "absent") {
            if (present) mismatch("[" + w[2] + "] " + w[3] + " absent", "\"" + v + "\"");
        } else if (!present || !textMatches(want, v)) {
            mismatch("[" + w[2] + "] " + w[3] + " = \"" + want + "\"",
                     present ? "\"" + v + "\"" : "absent");
        }
        return;
    }
    if (what == "sql") {
        need(w, 4);
        if (w[3] != "=") fail("expect sql \"QUERY\" = ...");
        std::vector<std::string> want(w.begin() + 4, w.end());
        std::vector<std::string> got;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2("Clanovi.sqlite", &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            fail("Clanovi.sqlite to open", "it does not");
        }
        auto cp = rt::fromUtf8(w[2]).value_or(w[2]);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, cp.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            std::string e = sqlite3_errmsg(db);
            sqlite3_close(db);
            fail("query to run: " + w[2], e);
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                if (c) row += '|';
                row += sqlCell(st, c);
            }
            got.push_back(row);
        }
        std::string e = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db);
        sqlite3_finalize(st);
        sqlite3_close(db);
        if (!e.empty()) fail("query to run: " + w[2], e);
        if (got != want) {
            auto join = [](const std::vector<std::string>& v) {
                std::string s;
                for (const auto& r : v) s += " \"" + r + "\"";
                return s.empty() ? std::string(" (no row)") : s;
            };
            mismatch("rows" + join(want), "rows" + join(got));
        }
        return;
    }
    if (what == "beep") {
        if (!beeped_) mismatch("a beep while the command before ran", "none");
        return;
    }
    if (what == "active") {
        // The current window is the one the user works in.
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        const std::string seenInstead = d_.notActive(v->id);
        if (!seenInstead.empty()) mismatch("\"" + v->title + "\" active", seenInstead);
        return;
    }
    if (what == "idle") {
        // expect idle cpu below N%: the processor time the whole process
        // takes over two seconds in which nobody does anything.
        need(w, 5);
        if (w[2] != "cpu" || w[3] != "below" || w[4].empty() || w[4].back() != '%')
            fail("expect idle cpu below N%");
        const double limit = std::atof(w[4].c_str());
        auto cpu = [] {
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                   static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        };
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpu();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double c1 = cpu();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - t0;
        const double used = 100.0 * (c1 - c0) / wall.count();
        if (used >= limit) {
            char b[64];
            std::snprintf(b, sizeof b, "%.1f%% of one core", used);
            mismatch("idle below " + w[4] + " of one core", b);
        }
        return;
    }
    if (!started_) fail("a started program");
    if (what == "message") {
        need(w, 4);
        auto box = messageBox();
        if (!box) mismatch("message box \"" + w[2] + "\" \"" + w[3] + "\"", "no message box");
        std::string text = box->request.message.text;
        for (char& c : text)
            if (c == '\n') c = '|';
        if (!(w[2] == "*" || textMatches(w[2], box->request.message.title)) ||
            !textMatches(w[3], text))
            mismatch("message box \"" + w[2] + "\" \"" + w[3] + "\"");
        // What the user sees is a box that takes the keys.
        if (const std::string instead = d_.dialogNotActive(box->id); !instead.empty())
            mismatch("message box \"" + w[2] + "\" holding the keyboard", instead);
        return;
    }
    if (what == "report") {
        expectReport(w);
        return;
    }
    if (what == "progress") {
        need(w, 3);
        for (const auto& v : rt::views())
            if (v->kind == rt::WindowKind::Child && textMatches(w[2], v->title))
                for (const auto& c : v->controls)
                    if (c.kind == rt::ControlKind::Progress) return;
        mismatch("a progress window \"" + w[2] + "\"");
    }
    if (what == "printsetup") {
        for (auto& dl : d_.dialogs())
            if (dl.request.kind == rt::DialogRequest::Kind::PrintSetup) return;
        mismatch("the printer set-up dialog", "none");
    }
    if (what == "nomessage") {
        // A popup menu is a box the user must deal with too.
        if (messageBox()) mismatch("no message box");
        if (auto p = popup())
            mismatch("no message box",
                     "a popup menu of " + std::to_string(p->request.items.size()) + " items open");
        return;
    }
    if (what == "nopopup") {
        if (auto p = popup())
            mismatch("no popup menu",
                     "a popup menu of " + std::to_string(p->request.items.size()) + " items open");
        return;
    }
    if (what == "filedialog") {
        need(w, 3);
        for (auto& dl : d_.dialogs())
            if (dl.request.kind == rt::DialogRequest::Kind::File &&
                textMatches(w[2], dl.request.file.title))
                return;
        mismatch("file dialog \"" + w[2] + "\"");
    }
    if (what == "title") {
        need(w, 3);
        rt::ViewPtr v = current();
        if (!v || !textMatches(w[2], v->title)) mismatch("title \"" + w[2] + "\"");
        return;
    }
    if (what == "window" || what == "nowindow") {
        need(w, 3);
        const bool open = findWindow(w[2], 0) != nullptr;
        if (open != (what == "window"))
            mismatch(std::string(open ? "no " : "") + "window \"" + w[2] + "\"",
                     open ? "it is open" : "none");
        return;
    }
    if (what == "status") {
        need(w, 4);
        const std::string s = d_.status(std::atoi(w[2].c_str()));
        if (!textMatches(w[3], s))
            mismatch("status " + w[2] + " \"" + w[3] + "\"", "\"" + s + "\"");
        return;
    }
    if (what == "position") {
        need(w, 4);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        std::ostringstream saw;
        saw << v->at.x << " " << v->at.y << " " << v->at.w << " " << v->at.h
            << (v->maximized ? " maximized" : "");
        const bool ok =
            std::to_string(v->at.x) == w[2] && std::to_string(v->at.y) == w[3] &&
            (w.size() < 6 || (std::to_string(v->at.w) == w[4] && std::to_string(v->at.h) == w[5]));
        if (!ok) mismatch("position " + w[2] + " " + w[3], saw.str());
        return;
    }
    if (what == "size") {
        need(w, 4);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        const std::string saw = std::to_string(v->present.w) + " " + std::to_string(v->present.h);
        if (saw != w[2] + " " + w[3]) mismatch("size " + w[2] + " " + w[3], saw);
        return;
    }
    if (what == "place" || what == "edges") {
        const bool place = what == "place";
        need(w, place ? 7 : 5);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        const rt::ControlView& c = control(w[2]);
        std::vector<int> saw;
        if (place)
            saw = {c.at.x, c.at.y, c.at.w, c.at.h};
        else
            saw = {v->present.w - c.at.x - c.at.w, v->present.h - c.at.y - c.at.h};
        std::string want, seen;
        bool ok = true;
        for (std::size_t i = 0; i < saw.size(); ++i) {
            const std::string& x = w[3 + i];
            ok = ok && (x == "*" || x == std::to_string(saw[i]));
            want += (i ? " " : "") + x;
            seen += (i ? " " : "") + std::to_string(saw[i]);
        }
        if (!ok) mismatch(what + " " + w[2] + " " + want, seen);
        return;
    }
    if (what == "maximized") {
        need(w, 3);
        rt::ViewPtr v = current();
        if (!v || v->maximized != yesNo(w[2])) mismatch("maximized " + w[2]);
        return;
    }
    if (what == "tab") {
        need(w, 3);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        std::string chosen;  // the tabs the sheets show, for the message
        for (const auto& c : v->controls)
            if (c.kind == rt::ControlKind::Sheet) {
                for (const auto& t : v->controls)
                    if (c.sheet() && t.id == c.sheet()->selectedTab) {
                        if (trimmed(withoutAmp(t.text)) == trimmed(w[2])) return;
                        chosen += (chosen.empty() ? "tab \"" : ", \"") + t.text + "\"";
                    }
            }
        mismatch("tab \"" + w[2] + "\"", chosen.empty() ? std::string("no sheet") : chosen);
    }
    need(w, 3);
    const rt::ControlView& c = control(w[2]);
    // A control that is no list shows no rows and no highlight.
    static const rt::ListPayload noList;
    const rt::ListPayload& list = c.list() ? *c.list() : noList;
    if (what == "picture") {
        // What the picture control shows: the file's own name, none, or
        // the size it is drawn in.
        need(w, 4);
        const rt::ImagePayload* p = c.image();
        if (!p) fail("a picture control " + w[2]);
        const bool shows = c.visible && p->loaded;
        const std::string saw = !shows ? std::string(p->loaded ? "a picture, hidden" : "no picture")
                                       : "\"" + fs::path(p->file).filename().string() +
                                             "\" drawn " + std::to_string(p->drawn.w) + "x" +
                                             std::to_string(p->drawn.h);
        if (w[3] == "none") {
            if (shows) mismatch(w[2] + " showing no picture", saw);
        } else if (auto size = sizeOf(w[3])) {
            if (!shows || p->drawn.w != size->first || p->drawn.h != size->second)
                mismatch(w[2] + " drawn " + w[3], saw);
        } else if (!shows || !sameName(fs::path(p->file).filename().string(), w[3])) {
            mismatch(w[2] + " showing \"" + w[3] + "\"", saw);
        }
        return;
    }
    if (what == "value") {
        need(w, 4);
        if (!textMatches(w[3], c.text))
            mismatch(w[2] + " shows \"" + w[3] + "\"", "\"" + c.text + "\"");
    } else if (what == "enabled") {
        need(w, 4);
        if (c.enabled != yesNo(w[3])) mismatch(w[2] + " enabled " + w[3]);
    } else if (what == "checked") {
        need(w, 4);
        if (c.checked != yesNo(w[3])) mismatch(w[2] + " checked " + w[3]);
    } else if (what == "visible") {
        need(w, 4);
        if (c.visible != yesNo(w[3])) mismatch(w[2] + " visible " + w[3]);
    } else if (what == "focus") {
        if (!c.focused) mismatch("focus on " + w[2]);
    } else if (what == "default") {
        if (!c.isDefault) mismatch(w[2] + " the default button");
    } else if (what == "count") {
        need(w, 4);
        if (std::to_string(list.rows.size()) != w[3])
            mismatch(w[2] + " shows " + w[3] + " rows", std::to_string(list.rows.size()) + " rows");
    } else if (what == "row" || what == "current") {
        const bool cur = what == "current";
        need(w, cur ? 4 : 5);
        const int row = cur ? list.highlight : std::atoi(w[3].c_str());
        if (row < 1 || row > static_cast<int>(list.rows.size()))
            mismatch(w[2] + " row " + w[3], "none");
        const auto& cells = list.rows[static_cast<std::size_t>(row - 1)];
        std::string saw;
        for (const auto& cell : cells) saw.append(" \"").append(cell).append("\"");
        for (std::size_t i = cur ? 3 : 4, k = 0; i < w.size(); ++i, ++k)
            if (k >= cells.size() || !textMatches(w[i], cells[k]))
                mismatch(w[2] + " row " + std::to_string(row) + " cells as given", "cells" + saw);
    } else if (what == "thumb") {
        need(w, 4);
        if (!c.list() || std::to_string(list.thumb) != w[3])
            mismatch(w[2] + " thumb at " + w[3], "at " + std::to_string(list.thumb));
    } else if (what == "selected") {
        need(w, 4);
        if (std::to_string(list.highlight) != w[3])
            mismatch(w[2] + " row " + w[3] + " highlighted",
                     "row " + std::to_string(list.highlight));
    } else {
        fail("a known check");
    }
}

void Runner::command(const Words& w) {
    const std::string& c = w[0];
    if (c == "given") return given(w);
    if (c == "expect") {
        if (w.size() > 2 && w[1] == "menu") {
            // the items MENU shows, in order, separators left out
            rt::ViewPtr f;
            for (auto& v : d_.windows())
                if (v->kind == rt::WindowKind::Frame) f = v;
            if (!f) fail("the frame");
            int menuId = 0;
            for (const auto& k : f->controls)
                if (k.kind == rt::ControlKind::Menu && trimmed(withoutAmp(k.text)) == trimmed(w[2]))
                    menuId = k.id;
            if (!menuId) fail("menu \"" + w[2] + "\"");
            std::vector<std::string> shown;
            for (const auto& k : f->controls)
                if (k.kind == rt::ControlKind::Item && k.parent == menuId && k.visible)
                    shown.push_back(trimmed(withoutAmp(k.text)));
            std::vector<std::string> want;
            for (std::size_t i = 3; i < w.size(); ++i) want.push_back(trimmed(w[i]));
            if (shown != want) {
                std::string s;
                for (const auto& x : shown) s += " \"" + x + "\"";
                mismatch("the items as given", "items" + s);
            }
            return;
        }
        return expect(w);
    }
    if (c == "start") return start();
    if (c == "quit") return quit();
    if (c == "clock") {
        need(w, 2);
        std::string a = w[1];
        if (a.empty() || a[0] != '+') fail("clock +N(ms|s|min)", a);
        std::size_t pos = 1;
        while (pos < a.size() && std::isdigit(static_cast<unsigned char>(a[pos]))) ++pos;
        const long long n = std::atoll(a.substr(1, pos - 1).c_str());
        const std::string unit = a.substr(pos);
        long long ms = unit == "ms" ? n : unit == "s" ? n * 1000 : unit == "min" ? n * 60000 : -1;
        if (ms < 0 || pos == 1) fail("clock +N(ms|s|min)", a);
        rt::advanceClock(ms);
        return;
    }
    if (!started_) fail("a started program");
    if (c == "window") {
        need(w, 2);
        if (w[1] == "frame") {
            window_ = rt::frameWindow();
            return;
        }
        const int n = w.size() > 2 ? std::atoi(w[2].c_str()) : 0;
        for (int i = 0; i < kIdleMs / 10; ++i) {
            if (auto v = findWindow(w[1], n)) {
                window_ = v->id;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        fail("window \"" + w[1] + "\" open");
    }
    if (c == "open") {
        // A registered procedure on a new thread, as a menu item starts it.
        need(w, 2);
        ProcedureFn p = FindProcedure(w[1]);
        if (!p) fail("a procedure named \"" + w[1] + "\"", "none registered");
        rt::startProcedure(std::move(p), rt::DefaultStack);
        return;
    }
    if (c == "menu" || c == "hover") {
        need(w, 3);
        const int item = menuItem(w[1], w[2], c == "menu");
        d_.input(rt::frameWindow(),
                 rt::Input{c == "menu" ? rt::Input::Kind::Menu : rt::Input::Kind::MenuHover, item});
        return;
    }
    if (c == "answer") {
        need(w, 2);
        auto box = messageBox();
        if (!box) {
            // the printer set-up dialog is answered the same way
            for (auto& dl : d_.dialogs())
                if (dl.request.kind == rt::DialogRequest::Kind::PrintSetup &&
                    (w[1] == "OK" || w[1] == "Cancel")) {
                    rt::DialogAnswer a;
                    a.button = w[1] == "OK" ? rt::ButtonOk : rt::ButtonCancel;
                    d_.answer(dl.id, a);
                    return;
                }
            fail("a message box to answer");
        }
        if (w[1] == "close" || w[1] == "Esc") {
            d_.closeDialog(box->id, w[1] == "Esc");
            return;
        }
        if (w[1] == "Enter") {
            d_.pressEnter(box->id);
            return;
        }
        static const std::map<std::string, rt::Button> names = {{"Yes", rt::ButtonYes},
                                                                {"No", rt::ButtonNo},
                                                                {"Cancel", rt::ButtonCancel},
                                                                {"OK", rt::ButtonOk}};
        auto it = names.find(w[1]);
        if (it == names.end()) fail("Yes, No, Cancel or OK", w[1]);
        if (!(box->request.message.buttons & it->second)) fail("a box with " + w[1]);
        rt::DialogAnswer a;
        a.button = it->second;
        d_.answer(box->id, a);
        return;
    }
    if (c == "choose" || c == "popup") {
        need(w, 2);
        const auto kind =
            c == "choose" ? rt::DialogRequest::Kind::File : rt::DialogRequest::Kind::Popup;
        for (auto& dl : d_.dialogs()) {
            // `choose` answers a print dialog too: PATH is the PDF file printed to.
            if (dl.request.kind != kind &&
                !(c == "choose" && dl.request.kind == rt::DialogRequest::Kind::Print))
                continue;
            if (dl.request.kind == rt::DialogRequest::Kind::Print) {
                rt::DialogAnswer a;
                a.button = w[1] == "cancel" ? rt::ButtonCancel : rt::ButtonOk;
                if (w[1] != "cancel") a.path = w[1];
                d_.answer(dl.id, a);
                return;
            }
            rt::DialogAnswer a;
            if (c == "choose") {
                if (w[1] != "cancel") a.path = w[1];
            } else {
                int i = 0;
                for (const auto& item : dl.request.items) {
                    ++i;
                    if (trimmed(withoutAmp(item)) == trimmed(withoutAmp(w[1]))) a.item = i;
                }
                if (!a.item) fail("popup item \"" + w[1] + "\"");
            }
            d_.answer(dl.id, a);
            return;
        }
        fail(c == "choose" ? "a file dialog" : "a popup menu");
    }
    if (c == "wheel" || c == "thumb" || c == "scroll") {
        // The wheel over a list, its scroll thumb dragged, a click on its
        // scroll bar's arrows or track.
        need(w, 3);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        rt::Input in{rt::Input::Kind::Scroll, control(w[1]).id};
        using By = rt::Input::ScrollBy;
        if (c == "scroll") {
            static const std::map<std::string, By> ways = {{"line-up", By::LineUp},
                                                           {"line-down", By::LineDown},
                                                           {"page-up", By::PageUp},
                                                           {"page-down", By::PageDown}};
            auto it = ways.find(w[2]);
            if (it == ways.end()) fail("line-up, line-down, page-up or page-down", w[2]);
            in.scroll = it->second;
        } else {
            in.scroll = c == "wheel" ? By::Wheel : By::Thumb;
            in.amount = std::atoi(w[2].c_str());
        }
        d_.input(v->id, in);
        return;
    }
    if (c == "resize" || c == "maximize" || c == "restore") {
        // The user drags the border, or presses the maximize or restore box.
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        rt::Input in{rt::Input::Kind::Placement};
        in.at = v->at;
        if (c == "resize") {
            need(w, 3);
            in.at.w = std::atoi(w[1].c_str());
            in.at.h = std::atoi(w[2].c_str());
        } else if (c == "maximize") {
            in.maximized = true;
            in.at.w = in.at.h = 0;  // what the frame gives it
        }
        d_.input(v->id, in);
        return;
    }
    if (c == "close") {
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        d_.input(v->id, rt::Input{rt::Input::Kind::Close});
        return;
    }
    if (c == "chars" || c == "key") {
        need(w, 2);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        if (c == "key") {
            auto k = rt::keyFromName(w[1]);
            if (!k) fail("a known key", w[1]);
            rt::Input in{rt::Input::Kind::Key};
            in.key = *k;
            d_.input(v->id, in);
        } else {
            const std::string& t = w[1];
            for (std::size_t i = 0; i < t.size();) {
                const unsigned char b = static_cast<unsigned char>(t[i]);
                int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
                int cp = len == 1 ? b : b & (0x3F >> (len - 1));
                for (int k = 1; k < len && i + k < t.size(); ++k)
                    cp = (cp << 6) | (static_cast<unsigned char>(t[i + k]) & 0x3F);
                i += static_cast<std::size_t>(len);
                rt::Input in{rt::Input::Kind::Key};
                in.key = cp;
                d_.input(v->id, in);
                settle("typing");
            }
        }
        return;
    }
    if (c == "tab") {
        need(w, 2);
        const rt::ControlView& t = control(w[1]);
        if (t.kind != rt::ControlKind::Tab) fail("a tab \"" + w[1] + "\"");
        d_.input(current()->id, rt::Input{rt::Input::Kind::TabChosen, t.id});
        return;
    }
    if (c == "type" || c == "press" || c == "focus" || c == "click" || c == "dblclick" ||
        c == "rightclick") {
        need(w, 2);
        rt::ViewPtr v = current();
        if (!v) fail("a current window");
        int id = 0;
        if (w[1] != "window") id = control(w[1]).id;
        int row = 0;
        if (w.size() > 3 && w[2] == "row") row = std::atoi(w[3].c_str());
        using K = rt::Input::Kind;
        if (c == "type") {
            need(w, 3);
            d_.input(v->id, rt::Input{K::Focus, id});
            settle("focus");
            rt::Input in{K::Text, id};
            in.text = w[2];
            d_.input(v->id, in);
            return;
        }
        const K k = c == "focus"        ? K::Focus
                    : c == "dblclick"   ? K::DoubleClick
                    : c == "rightclick" ? K::RightClick
                                        : K::Click;
        if (k == K::Click && c == "press" && id == 0) fail("a control to press");
        rt::Input in{k, id};
        in.row = row;
        if (k == K::DoubleClick) {
            // a double click begins as a click
            rt::Input first{K::Click, id};
            first.row = row;
            d_.input(v->id, first);
            settle("the first click");
        }
        d_.input(v->id, in);
        return;
    }
    fail("a known command");
}

int Runner::run() {
    std::ifstream in(file_);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", file_.c_str());
        return 2;
    }
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    // A scenario that shows a check can fail: it passes only when the check
    // on that line is the first line that does not hold.
    int expectFailAt = 0;
    for (const auto& l : lines) {
        const std::string t = trimmed(l);
        constexpr std::string_view tag = "# expect-fail-at:";
        if (t.rfind(tag, 0) == 0) expectFailAt = std::atoi(t.c_str() + tag.size());
    }
    file_ = fs::absolute(file_).string();
    char tmpl[] = "/tmp/scenario-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 2;
    }
    dir_ = tmpl;
    fs::current_path(dir_);
    rt::useManualClock(2024, 1, 15);
    int status = 0;
    try {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            line_ = static_cast<int>(i + 1);
            text_ = trimmed(lines[i]);
            if (text_.empty() || text_[0] == '#') continue;
            std::string err;
            auto words = splitWords(text_, err);
            if (!words) fail("a well-formed line", err);
            if (words->empty()) continue;
            if (started_) checkNoUnexpectedBox(*words);
            const std::uint64_t before = rt::beeps();
            try {
                command(*words);
            } catch (const Unsendable& u) {
                fail("input the display can be sent", u.what);
            }
            settle(text_);
            beeped_ = rt::beeps() > before;
        }
        line_ = static_cast<int>(lines.size());
        text_ = "(end of file: quit)";
        quit();
    } catch (const Failure& f) {
        const bool asExpected = expectFailAt > 0 && f.check && line_ == expectFailAt;
        std::printf("%s:%d: %s%s\n  expected: %s\n  saw: %s\n", file_.c_str(), line_,
                    asExpected ? "failed as it should: " : "", text_.c_str(), f.expected.c_str(),
                    f.saw.c_str());
        if (expectFailAt > 0 && !asExpected)
            std::printf("  (this scenario must fail at the check on line %d)\n", expectFailAt);
        std::fflush(stdout);
        // Leave at once: the program may hang on what failed.
        std::error_code ec;
        fs::current_path("/", ec);
        fs::remove_all(dir_, ec);
        std::_Exit(asExpected ? 0 : 1);
    }
    if (expectFailAt > 0) {
        std::printf("%s: every line held; the check on line %d must fail\n", file_.c_str(),
                    expectFailAt);
        status = 1;
    }
    if (program_.joinable()) program_.join();
    std::error_code ec;
    fs::current_path("/", ec);
    fs::remove_all(dir_, ec);
    return status;
}

struct Args {
    std::string backend = "headless";
    bool xtest = false;
    std::vector<std::string> files;
};

int runAll(Driver& d, void* arg) {
    auto* a = static_cast<Args*>(arg);
    if (a->files.size() != 1) {
        std::fprintf(stderr, "scenario-runner: one scenario file per run\n");
        return 2;
    }
    Runner r(d, a->files[0]);
    const int s = r.run();
    if (s == 0) std::printf("%s: passed\n", a->files[0].c_str());
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold-lock") == 0) return HoldLock(argv[2]);
    Args a;
    for (int i = 1; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "--backend" && i + 1 < argc)
            a.backend = argv[++i];
        else if (s.rfind("--backend=", 0) == 0)
            a.backend = s.substr(10);
        else if (s == "--xtest")
            a.xtest = true;
        else
            a.files.push_back(s);
    }
    for (auto& f : a.files) f = fs::absolute(f).string();
    if (a.backend == "headless") {
        auto d = makeHeadlessDriver();
        return runAll(*d, &a);
    }
#ifdef CLANOVI_WITH_QT
    if (a.backend == "qt") return runWithQtDriver(argc, argv, a.xtest, &runAll, &a);
#endif
    std::fprintf(stderr, "scenario-runner: unknown backend %s\n", a.backend.c_str());
    return 2;
}
