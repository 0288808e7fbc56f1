// Files the process holds through a library that keeps POSIX record locks on
// them: the databases SQLite has open, with the files SQLite keeps beside
// each (-journal, -wal, -shm). No other code may open one of them, under any
// name (another spelling, letter case, a symbolic or a hard link): closing
// any descriptor of a file drops every lock the process holds on it, and
// SQLite's transaction would go on unprotected while another process writes.
//
// Header only, POSIX only, so that the image decoders (which use nothing
// else of the runtime) can open their files through it.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

namespace rt {

namespace held_detail {

struct Held {
    std::string path;  // absolute
    dev_t device = 0;
    ino_t inode = 0;
    int count = 0;
};

struct Registry {
    std::mutex m;
    std::vector<Held> files;
    std::vector<int> parked;  // descriptors that must never be closed (openUnheld)
};

inline Registry& registry() {
    static Registry* r = new Registry;  // used until the process ends, by any thread
    return *r;
}

inline bool same(const struct stat& a, dev_t device, ino_t inode) {
    return a.st_dev == device && a.st_ino == inode;
}

inline bool sameFile(const struct stat& st, const std::string& path) {
    struct stat now;
    return ::stat(path.c_str(), &now) == 0 && same(st, now.st_dev, now.st_ino);
}

}  // namespace held_detail

// A database file is open (path absolute; counted, so a file opened twice
// stays held until both are let go). Its device and inode are taken now, so
// the file is known even after it is renamed while open.
inline void holdFile(const std::string& path) {
    auto& r = held_detail::registry();
    struct stat st {};
    const bool found = ::stat(path.c_str(), &st) == 0;
    std::lock_guard g(r.m);
    for (held_detail::Held& h : r.files)
        if (h.path == path) {
            if (found && h.count == 0) h.device = st.st_dev, h.inode = st.st_ino;
            ++h.count;
            return;
        }
    r.files.push_back({path, found ? st.st_dev : 0, found ? st.st_ino : 0, 1});
}

inline void releaseFile(const std::string& path) {
    auto& r = held_detail::registry();
    std::lock_guard g(r.m);
    for (auto it = r.files.begin(); it != r.files.end(); ++it)
        if (it->path == path) {
            if (--it->count <= 0) r.files.erase(it);
            return;
        }
}

// Whether st (of a file about to be opened) is a held file or one of the
// files beside it, as they are now.
inline bool isHeld(const struct stat& st) {
    auto& r = held_detail::registry();
    std::lock_guard g(r.m);
    for (const held_detail::Held& h : r.files) {
        if ((h.inode != 0 && held_detail::same(st, h.device, h.inode)) ||
            held_detail::sameFile(st, h.path))
            return true;
        for (const char* beside : {"-journal", "-wal", "-shm"})
            if (held_detail::sameFile(st, h.path + beside)) return true;
    }
    return false;
}

// Whether path names a held file now (false when it names nothing).
inline bool namesHeldFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && isHeld(st);
}

// open(2) for reading a file a user named: -1 with EACCES, before any open,
// when path names a held file. The open itself is checked again (fstat), as
// the name may have been given to a held file between the look and the
// open; such a descriptor is kept open to the process's end instead of being
// closed, since its close would cost the locks all the same.
inline int openUnheld(const std::string& path, int flags) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && isHeld(st)) {
        errno = EACCES;
        return -1;
    }
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) return fd;
    if (::fstat(fd, &st) == 0 && isHeld(st)) {
        auto& r = held_detail::registry();
        std::lock_guard g(r.m);
        r.parked.push_back(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

}  // namespace rt
