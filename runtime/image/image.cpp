#include "runtime/image/image.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "runtime/held_files.h"
#include "runtime/image/internal.h"

namespace rt::image {

namespace detail {

Failure sizeFailure(std::int64_t width, std::int64_t height, std::string& reason,
                    const char* what) {
    if (width <= 0 || height <= 0) {
        reason = std::string(what) + " has no pixels (" + std::to_string(width) + " x " +
                 std::to_string(height) + ")";
        return Failure::NoPixels;
    }
    if (width > MaxSide || height > MaxSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4 >
            MaxDecodedBytes) {
        reason = std::string(what) + " is too large (" + std::to_string(width) + " x " +
                 std::to_string(height) + ")";
        return Failure::TooLarge;
    }
    return Failure::None;
}

void checkSize(std::int64_t width, std::int64_t height, const char* what) {
    std::string reason;
    if (Failure f = sizeFailure(width, height, reason, what); f != Failure::None)
        fail(f, std::move(reason));
}

Canvas::Canvas(std::int64_t width, std::int64_t height, const char* what) {
    checkSize(width, height, what);
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    px_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
}

Image Canvas::finish() && {
    Image image;
    image.width = width_;
    image.height = height_;
    image.pixels = std::make_shared<const std::vector<std::uint8_t>>(std::move(px_));
    return image;
}

}  // namespace detail

namespace {

using detail::Bytes;

bool startsWith(Bytes b, std::initializer_list<std::uint8_t> sig) {
    return b.size() >= sig.size() && std::equal(sig.begin(), sig.end(), b.begin());
}
std::uint16_t le16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t le32(Bytes b, std::size_t at) {
    return le16(b, at) | static_cast<std::uint32_t>(le16(b, at + 2)) << 16;
}

Format bySignature(Bytes b) {
    if (detail::isPng(b)) return Format::Png;
    if (startsWith(b, {0xFF, 0xD8, 0xFF})) return Format::Jpeg;
    if (startsWith(b, {'G', 'I', 'F', '8', '7', 'a'}) ||
        startsWith(b, {'G', 'I', 'F', '8', '9', 'a'}))
        return Format::Gif;
    if (startsWith(b, {'B', 'M'})) return Format::Bmp;
    if (b.size() >= 44 && le32(b, 0) == 1 && le32(b, 40) == 0x464D4520) return Format::Emf;
    if (startsWith(b, {0xD7, 0xCD, 0xC6, 0x9A})) return Format::Wmf;  // the placeable header
    if (b.size() >= 6 && (le16(b, 0) == 1 || le16(b, 0) == 2) && le16(b, 2) == 9 &&
        (le16(b, 4) == 0x0100 || le16(b, 4) == 0x0300))
        return Format::Wmf;
    if (detail::isIco(b)) return Format::Ico;
    if (b.size() >= 4 && b[0] == 0x0A && (b[1] <= 5 && b[1] != 1) && b[2] <= 1 &&
        (b[3] == 1 || b[3] == 2 || b[3] == 4 || b[3] == 8))
        return Format::Pcx;
    return Format::Unknown;
}

Format byExtension(std::string_view name) {
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return Format::Unknown;
    std::string ext(name.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    struct Entry {
        const char* ext;
        Format format;
    } static constexpr table[] = {
        {"png", Format::Png},  {"jpg", Format::Jpeg},  {"jpeg", Format::Jpeg},
        {"jpe", Format::Jpeg}, {"jfif", Format::Jpeg}, {"gif", Format::Gif},
        {"bmp", Format::Bmp},  {"dib", Format::Bmp},   {"ico", Format::Ico},
        {"pcx", Format::Pcx},  {"wmf", Format::Wmf},   {"emf", Format::Emf},
    };
    for (const Entry& e : table)
        if (ext == e.ext) return e.format;
    return Format::Unknown;
}

Decoded failed(Format format, Failure failure, std::string reason) {
    Decoded d;
    d.format = format;
    d.failure = failure;
    d.reason = std::move(reason);
    return d;
}

// Every decoded picture says its own size, reduced or not.
Decoded withStoredSize(Decoded d) {
    if (d.ok() && d.storedWidth == 0) {
        d.storedWidth = d.image.width;
        d.storedHeight = d.image.height;
    }
    return d;
}

Decoded decodeAs(Format format, Bytes bytes, int boxWidth, int boxHeight) {
    try {
        Image image;
        switch (format) {
            case Format::Png:
                return withStoredSize(detail::decodePng(bytes));
            case Format::Jpeg:
                return withStoredSize(detail::decodeJpeg(bytes, boxWidth, boxHeight));
            case Format::Gif:
                return withStoredSize(detail::decodeGif(bytes));
            case Format::Bmp:
                image = detail::decodeBmp(bytes);
                break;
            case Format::Ico:
                image = detail::decodeIco(bytes);
                break;
            case Format::Pcx:
                image = detail::decodePcx(bytes);
                break;
            case Format::Wmf:
                image = detail::decodeWmf(bytes);
                break;
            case Format::Emf:
                image = detail::decodeEmf(bytes);
                break;
            case Format::Unknown:
                return failed(format, Failure::UnknownFormat, "not a picture this system reads");
        }
        Decoded d;
        d.format = format;
        d.image = std::move(image);
        return withStoredSize(std::move(d));
    } catch (const detail::DecodeError& e) {
        return failed(format, e.failure, e.reason);
    } catch (const std::bad_alloc&) {
        return failed(format, Failure::OutOfMemory, "out of memory");
    } catch (const std::length_error&) {
        return failed(format, Failure::OutOfMemory, "out of memory");
    }
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string errnoText(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

}  // namespace

std::uint32_t Image::pixel(int x, int y) const {
    if (!pixels || x < 0 || y < 0 || x >= width || y >= height) return 0;
    const std::uint8_t* p = pixels->data() + (static_cast<std::size_t>(y) * width + x) * 4;
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

Format formatOf(std::span<const std::uint8_t> bytes, std::string_view name) {
    const Format f = bySignature(bytes);
    return f != Format::Unknown ? f : byExtension(name);
}

Decoded decodeMemoryFor(std::span<const std::uint8_t> bytes, std::string_view name, int boxWidth,
                        int boxHeight) {
    const Format format = formatOf(bytes, name);
    if (bytes.empty()) return failed(format, Failure::EmptyFile, "the file is empty");
    if (bytes.size() > MaxFileBytes)
        return failed(format, Failure::FileTooLarge, "the file is larger than 64 MiB");
    return decodeAs(format, bytes, boxWidth, boxHeight);
}

Decoded decodeMemory(std::span<const std::uint8_t> bytes, std::string_view name) {
    return decodeMemoryFor(bytes, name, 0, 0);
}

Decoded decodeFile(const std::string& path) {
    return decodeFileFor(path, 0, 0);
}

Decoded decodeFileFor(const std::string& path, int boxWidth, int boxHeight) {
    const Format byName = byExtension(path);
    // Non-blocking, so that a FIFO without a writer cannot hold the open;
    // never the database or a file beside it, whatever the name says.
    Fd fd(openUnheld(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return failed(byName, Failure::CannotOpen, errnoText("open", errno));
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return failed(byName, Failure::CannotOpen, errnoText("fstat", errno));
    if (!S_ISREG(st.st_mode)) return failed(byName, Failure::NotAFile, "not a regular file");
    if (st.st_size <= 0) return failed(byName, Failure::EmptyFile, "the file is empty");
    if (static_cast<std::uint64_t>(st.st_size) > MaxFileBytes)
        return failed(byName, Failure::FileTooLarge, "the file is larger than 64 MiB");

    // The file may change while it is read: read to its end, never beyond
    // the limit.
    std::vector<std::uint8_t> data;
    try {
        data.resize(static_cast<std::size_t>(st.st_size) + 1);
    } catch (const std::bad_alloc&) {
        return failed(byName, Failure::OutOfMemory, "out of memory");
    }
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (data.size() > MaxFileBytes)
                return failed(byName, Failure::FileTooLarge, "the file is larger than 64 MiB");
            try {
                data.resize(std::min(data.size() * 2, MaxFileBytes + 1));
            } catch (const std::bad_alloc&) {
                return failed(byName, Failure::OutOfMemory, "out of memory");
            }
        }
        const ssize_t n = ::read(fd.get(), data.data() + used, data.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed(byName, Failure::ReadError, errnoText("read", errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    return decodeMemoryFor(Bytes(data.data(), used), path, boxWidth, boxHeight);
}

const char* formatName(Format format) {
    switch (format) {
        case Format::Unknown:
            return "unknown";
        case Format::Png:
            return "PNG";
        case Format::Jpeg:
            return "JPEG";
        case Format::Gif:
            return "GIF";
        case Format::Bmp:
            return "BMP";
        case Format::Ico:
            return "ICO";
        case Format::Pcx:
            return "PCX";
        case Format::Wmf:
            return "WMF";
        case Format::Emf:
            return "EMF";
    }
    return "unknown";
}

const char* failureName(Failure failure) {
    switch (failure) {
        case Failure::None:
            return "none";
        case Failure::CannotOpen:
            return "cannot open";
        case Failure::NotAFile:
            return "not a regular file";
        case Failure::FileTooLarge:
            return "file too large";
        case Failure::EmptyFile:
            return "empty file";
        case Failure::ReadError:
            return "read error";
        case Failure::UnknownFormat:
            return "unknown format";
        case Failure::Truncated:
            return "truncated";
        case Failure::Corrupt:
            return "corrupt";
        case Failure::NoPixels:
            return "no pixels";
        case Failure::TooLarge:
            return "picture too large";
        case Failure::Unsupported:
            return "unsupported";
        case Failure::NoBitmap:
            return "no bitmap";
        case Failure::OutOfMemory:
            return "out of memory";
    }
    return "unknown";
}

}  // namespace rt::image
