#pragma once
// What the decoders share. Our own decoders report a failure by throwing
// DecodeError, caught once in image.cpp; the library decoders never let an
// exception cross the C libraries and return their Decoded directly.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/image/image.h"

namespace rt::image::detail {

using Bytes = std::span<const std::uint8_t>;

struct DecodeError {
    Failure failure;
    std::string reason;
};

[[noreturn]] inline void fail(Failure failure, std::string reason) {
    throw DecodeError{failure, std::move(reason)};
}

// Little-endian reads that fail as Truncated past the end. The offsets are
// 64-bit, so offset + size never wraps for any offset read from a file.
inline void need(Bytes b, std::uint64_t offset, std::uint64_t size, const char* what) {
    if (offset > b.size() || size > b.size() - offset)
        fail(Failure::Truncated, std::string(what) + " ends early");
}
inline std::uint8_t u8(Bytes b, std::uint64_t at, const char* what) {
    need(b, at, 1, what);
    return b[at];
}
inline std::uint16_t u16(Bytes b, std::uint64_t at, const char* what) {
    need(b, at, 2, what);
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
inline std::uint32_t u32(Bytes b, std::uint64_t at, const char* what) {
    need(b, at, 4, what);
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}
inline std::int32_t i32(Bytes b, std::uint64_t at, const char* what) {
    return static_cast<std::int32_t>(u32(b, at, what));
}
// The part [offset, offset + size) of b.
inline Bytes slice(Bytes b, std::uint64_t offset, std::uint64_t size, const char* what) {
    need(b, offset, size, what);
    return b.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

// No pixels (NoPixels) or beyond the limits (TooLarge); the sides
// are taken 64-bit so any value read from a header can be given.
void checkSize(std::int64_t width, std::int64_t height, const char* what);
// The same as a result, for the library decoders.
Failure sizeFailure(std::int64_t width, std::int64_t height, std::string& reason, const char* what);

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

// The picture being built: checked against the limits when made, every
// pixel transparent black to begin with.
class Canvas {
  public:
    Canvas(std::int64_t width, std::int64_t height, const char* what);
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint8_t* row(int y) { return px_.data() + static_cast<std::size_t>(y) * width_ * 4; }
    void put(int x, int y, Rgba c) {
        std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * 4;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = c.a;
    }
    Image finish() &&;

  private:
    int width_, height_;
    std::vector<std::uint8_t> px_;
};

// A DIB as BMP files, icons and metafiles hold it: the BITMAPINFO (header and
// colour table) in info, the pixel rows in bits.
enum class DibKind {
    File,    // a .bmp: 32-bit BI_RGB is opaque
    Icon,    // an icon entry: the height counts the AND mask too, which follows the rows
    Record,  // a metafile's: as a file
};
// The bits follow the colour table directly (a packed DIB, as icons and WMF
// records hold it).
Image decodePackedDib(Bytes dib, DibKind kind);
Image decodeDib(Bytes info, Bytes bits, DibKind kind);

Image decodeBmp(Bytes file);
Image decodeIco(Bytes file);
Image decodePcx(Bytes file);
Image decodeWmf(Bytes file);
Image decodeEmf(Bytes file);

// The library decoders: they return Decoded, failure and all.
Decoded decodePng(Bytes file);
// boxWidth x boxHeight: the box the picture is drawn fitted into (0: its
// own size); the decoder may reduce it as far as it still covers its fit.
Decoded decodeJpeg(Bytes file, int boxWidth = 0, int boxHeight = 0);
Decoded decodeGif(Bytes file);

// Signatures, as formatOf checks them.
bool isPng(Bytes b);
bool isIco(Bytes b);

}  // namespace rt::image::detail
