#pragma once
// Image files to pixels, for the picture controls and the report images.
//
// The format is chosen by the file's content (its signature); the name's
// extension only decides when no signature matches. PNG, JPEG and GIF (the
// first frame) go through their libraries; BMP, ICO, PCX and the bitmap that
// a WMF or EMF carries through decoders of our own. A metafile without a
// bitmap gives no picture.
//
// Only a regular file is read (a symlink to one is followed), opened
// non-blocking and checked with fstat, so a FIFO, a device or a directory
// never blocks or gets read. Limits: MaxFileBytes of file, MaxSide pixels
// either way, MaxDecodedBytes of pixels. Every failure comes back as a
// Failure and a reason; nothing throws, nothing is shown.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt::image {

inline constexpr std::size_t MaxFileBytes = 64u << 20;
inline constexpr int MaxSide = 10000;
inline constexpr std::size_t MaxDecodedBytes = 256u << 20;  // RGBA, 4 bytes a pixel

enum class Format { Unknown, Png, Jpeg, Gif, Bmp, Ico, Pcx, Wmf, Emf };

enum class Failure {
    None,
    CannotOpen,     // missing, not permitted, a dangling link
    NotAFile,       // a directory, FIFO, device or socket
    FileTooLarge,   // more than MaxFileBytes
    EmptyFile,      // 0 bytes
    ReadError,      // read(2) failed
    UnknownFormat,  // no decoder takes it
    Truncated,      // the data ends before the picture does
    Corrupt,        // inconsistent headers or data
    NoPixels,       // a width or height of 0 (or less)
    TooLarge,       // beyond MaxSide or MaxDecodedBytes
    Unsupported,    // a valid variant this system does not read
    NoBitmap,       // a metafile that carries no bitmap
    OutOfMemory,
};

// Pixels as RGBA bytes (R, G, B, A), rows from the top, no padding. The
// pixels are shared: a copy of the Image is cheap.
struct Image {
    int width = 0, height = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;

    // 0xRRGGBBAA of one pixel; 0 outside the image.
    std::uint32_t pixel(int x, int y) const;
};

struct Decoded {
    Image image;                            // empty unless ok()
    int storedWidth = 0, storedHeight = 0;  // the file's own size (the image's when not reduced)
    Format format = Format::Unknown;        // as chosen, also when decoding failed
    Failure failure = Failure::None;
    std::string reason;  // English, for logs and tests
    bool ok() const { return failure == Failure::None; }
};

// path: in the file system's own encoding; the extension is taken from it.
Decoded decodeFile(const std::string& path);
// For a picture that is drawn fitted into a box of boxWidth x boxHeight
// device pixels, proportions kept: a JPEG is reduced while it decodes (to
// 1/2, 1/4 or 1/8 of its size) as far as it still covers the size it is
// drawn at, so a large photo drawn small never has all its pixels made.
// Other formats, and a box of 0, decode at their own size. The limits are
// the file's own size's.
Decoded decodeFileFor(const std::string& path, int boxWidth, int boxHeight);
// name: only its extension is looked at.
Decoded decodeMemory(std::span<const std::uint8_t> bytes, std::string_view name = {});
Decoded decodeMemoryFor(std::span<const std::uint8_t> bytes, std::string_view name, int boxWidth,
                        int boxHeight);

// The format the content's signature names, or failing that the extension.
Format formatOf(std::span<const std::uint8_t> bytes, std::string_view name = {});

const char* formatName(Format format);
const char* failureName(Failure failure);

}  // namespace rt::image
