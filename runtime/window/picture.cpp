// Picture controls: the path rule, and the threads that read the image files
// so that a window never waits for one. A window asks at a redraw (a path
// that changed, or one given again); the file is found and decoded on a
// reader thread; the result goes back to the window's thread as an item of
// its loop, and shows with the redraw after it. Every request carries the
// control's generation: a read that a later request made moot is dropped,
// unread when it has not started, unseen when it has.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "runtime/image/fit.h"
#include "runtime/image/image.h"
#include "runtime/job_threads.h"
#include "runtime/text.h"
#include "runtime/window/hub.h"
#include "runtime/window/window.h"

namespace rt {

// ---------------------------------------------------------------------------
// The path rule

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Two names the same but for letter case: over Windows-1250 where both are
// names it can hold (the upper case the form stores), else over ASCII.
bool sameIgnoringCase(std::string_view a, std::string_view b) {
    auto ca = fromUtf8(a), cb = fromUtf8(b);
    if (ca && cb) {
        if (ca->size() != cb->size()) return false;
        for (std::size_t i = 0; i < ca->size(); ++i)
            if (upperCp1250(static_cast<unsigned char>((*ca)[i])) !=
                upperCp1250(static_cast<unsigned char>((*cb)[i])))
                return false;
        return true;
    }
    return equalIgnoringCase(a, b);
}

// The entry of dir named name without regard to letter case (the first in
// byte order when several are), or nullopt.
std::optional<std::string> entryIgnoringCase(const std::string& dir, std::string_view name) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return std::nullopt;
    std::optional<std::string> best;
    while (dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        if (sameIgnoringCase(n, name) && (!best || n < *best)) best = std::string(n);
    }
    ::closedir(d);
    return best;
}

}  // namespace

std::optional<std::string> pictureFile(std::string_view cp1250Path) {
    const std::string_view p = trimRight(cp1250Path);
    if (p.empty() || p.find('\0') != std::string_view::npos) return std::nullopt;
    // A drive of another system: nothing here is named so.
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0])))
        return std::nullopt;
    std::string path = toUtf8(p);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path[0] == '/' || exists(path)) return path;
    // Name by name from the current directory: each name that is not there
    // as written is looked for without letter case.
    std::string at;
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t to = path.find('/', from);
        if (to == std::string::npos) to = path.size();
        const std::string_view name(path.data() + from, to - from);
        from = to + 1;
        if (name.empty()) continue;
        std::string next = at.empty() ? std::string(name) : at + "/" + std::string(name);
        if (name != "." && name != ".." && !exists(next)) {
            auto found = entryIgnoringCase(at, name);
            if (!found) return path;  // missing: reading it says so
            next = at.empty() ? *found : at + "/" + *found;
        }
        at = std::move(next);
    }
    if (at.empty()) return path;
    if (path.back() == '/') at += '/';  // still names a directory only
    return at;
}

// ---------------------------------------------------------------------------
// The reader threads

namespace {

struct Job {
    int window = 0, control = 0;
    std::uint64_t generation = 0;
    std::string path;  // Windows-1250
    Rect box;          // the control's, dialog units
};

class PictureReaders {
  public:
    void ask(Job job) {
        {
            std::lock_guard g(m_);
            latest_[{job.window, job.control}] = job.generation;
        }
        // With no thread to be had at all, the picture shows nothing rather
        // than keeping the window busy.
        if (!threads_.post([this, job] { run(job); })) deliver(job, nullptr);
    }
    void forget(int window) {
        std::lock_guard g(m_);
        for (auto it = latest_.begin(); it != latest_.end();)
            it = it->first.first == window ? latest_.erase(it) : std::next(it);
    }

  private:
    bool current(const Job& j) {
        std::lock_guard g(m_);
        auto it = latest_.find({j.window, j.control});
        return it != latest_.end() && it->second == j.generation;
    }

    static std::shared_ptr<PictureRead> read(const Job& j) {
        auto r = std::make_shared<PictureRead>();
        r->control = j.control;
        r->generation = j.generation;
        if (auto file = pictureFile(j.path)) {
            // A large photo is reduced while it decodes, as far as it still
            // covers its control on any display; the display scales the
            // rest of the way.
            image::Decoded d = image::decodeFileFor(*file, std::max(j.box.w, 1) * MaxPixelsPerUnit,
                                                    std::max(j.box.h, 1) * MaxPixelsPerUnit);
            if (d.ok()) {
                r->loaded = true;
                r->file = std::move(*file);
                r->width = d.storedWidth;
                r->height = d.storedHeight;
                r->pixelsWidth = d.image.width;
                r->pixelsHeight = d.image.height;
                r->pixels = std::move(d.image.pixels);
            }
        }
        return r;
    }

    // Queues the read to its window (nothing when it is moot or the window
    // gone) and lets idle be reached again.
    void deliver(const Job& j, std::shared_ptr<PictureRead> r) {
        if (r && !current(j)) r.reset();
        Hub& h = hub();
        std::lock_guard g(h.m);
        --h.picturesReading;
        auto it = h.windows.find(j.window);
        if (r && it != h.windows.end()) {
            Loop& l = *it->second.loop;
            Item item;
            item.window = j.window;
            item.picture = std::move(r);
            l.items.push_back(std::move(item));
            if (Hub::isTop(l, j.window) && !l.inDialog) l.waiting = false;
            l.wake();
        }
        h.idle.notify_all();
    }

    void run(const Job& j) {
        std::shared_ptr<PictureRead> r;
        try {
            if (current(j)) r = read(j);
        } catch (...) {
            // Out of memory finding the file: it shows nothing.
            r = std::make_shared<PictureRead>();
            r->control = j.control;
            r->generation = j.generation;
        }
        deliver(j, std::move(r));
    }

    std::mutex m_;                                         // latest_
    std::map<std::pair<int, int>, std::uint64_t> latest_;  // window, control: the generation wanted
    // Two threads: a read that became moot while it ran never holds up the
    // next one.
    JobThreads threads_{2};
};

PictureReaders& readers() {
    static PictureReaders* r = new PictureReaders;  // its threads run to the process's end
    return *r;
}

}  // namespace

void readPicture(int window, int control, std::uint64_t generation, std::string cp1250Path,
                 Rect box) {
    {
        Hub& h = hub();
        std::lock_guard g(h.m);
        ++h.picturesReading;
    }
    readers().ask({window, control, generation, std::move(cp1250Path), box});
}

void forgetPictures(int window) {
    readers().forget(window);
}

// ---------------------------------------------------------------------------
// The window's side

void Window::setPicture(int id, std::string_view cp1250Path, bool fitBox) {
    Control& c = control(id);
    c.text = std::string(trimRight(cp1250Path));
    c.image.reload = true;
    if (fitBox) c.image.fitBox = true;
    dirty_ = true;
}

std::vector<int> Window::askPictures() {
    std::vector<int> read;
    for (int i = 1; i <= controlCount(); ++i) {
        Control& c = control(i);
        if (c.kind != ControlKind::Image) continue;
        Control::ImageState& s = c.image;
        const std::string_view now = trimRight(c.text);
        if (!s.reload && s.path == now) continue;
        s.reload = false;
        s.path = std::string(now);
        ++s.generation;
        ++s.version;
        // Nothing of the path before shows from now on.
        s.loaded = false;
        s.file.clear();
        s.width = s.height = 0;
        s.pixelsWidth = s.pixelsHeight = 0;
        s.pixels.reset();
        if (now.empty()) {
            s.fitBox = false;
            continue;
        }
        read.push_back(i);
    }
    return read;
}

void Window::takePicture(const PictureRead& r) {
    if (r.control < 1 || r.control > controlCount()) return;
    Control& c = control(r.control);
    if (c.kind != ControlKind::Image || c.image.generation != r.generation) return;
    Control::ImageState& s = c.image;
    s.loaded = r.loaded;
    s.file = r.file;
    s.width = r.width;
    s.height = r.height;
    s.pixelsWidth = r.pixelsWidth;
    s.pixelsHeight = r.pixelsHeight;
    s.pixels = r.pixels;
    ++s.version;
    if (s.fitBox) {
        s.fitBox = false;
        if (r.loaded) {
            const image::Box b =
                image::resizeImage({c.at.x, c.at.y, c.at.w, c.at.h}, r.width, r.height);
            c.at = {b.x, b.y, b.w, b.h};
        }
    }
    dirty_ = true;
}

}  // namespace rt
