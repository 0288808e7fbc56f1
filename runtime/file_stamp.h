// What tells one state of a file from another: the file itself (device and
// inode, so a file replaced by another is a new one), its size and its
// modification and change times. Caches of what a file holds compare the
// stamp they read it under with the file's stamp now.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

namespace rt {

struct FileStamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, mtimeNs = 0, ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

inline std::int64_t stampNanos(const timespec& t) {
    return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

inline FileStamp fileStamp(const struct stat& st) {
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::int64_t>(st.st_size), stampNanos(st.st_mtim),
                     stampNanos(st.st_ctim)};
}

// The stamp of the file at path now; none when it cannot be looked at.
inline std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return fileStamp(st);
}

}  // namespace rt
