// PCX, versions 0 to 5: 1 bit in one to four planes (mono, or an index
// made of the planes' bits), 4 bits packed, 8 bits with the 256-colour
// palette at the file's end, and 24 bits as three 8-bit planes. Rows are
// run-length coded (or stored plainly, encoding 0); a run may go on into the
// next row, as some writers do, but not beyond the picture.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/image/internal.h"

namespace rt::image::detail {

namespace {

constexpr std::size_t HeaderSize = 128;
constexpr std::size_t PaletteSize = 1 + 768;  // the 0x0C mark, then 256 RGB triples

// What version 3 files show (they carry no palette).
constexpr std::uint32_t DefaultPalette[16] = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};

// The coded bytes, one row (all its planes) at a time.
class Rows {
  public:
    Rows(Bytes data, bool coded) : data_(data), coded_(coded) {}

    void next(std::uint8_t* out, std::size_t size) {
        std::size_t i = 0;
        while (i < size) {
            if (run_ == 0) {
                if (at_ >= data_.size()) fail(Failure::Truncated, "PCX: the rows end early");
                const std::uint8_t b = data_[at_++];
                if (coded_ && (b & 0xC0) == 0xC0) {
                    if (at_ >= data_.size()) fail(Failure::Truncated, "PCX: the rows end early");
                    run_ = b & 0x3F;
                    value_ = data_[at_++];
                    continue;
                }
                out[i++] = b;
                continue;
            }
            out[i++] = value_;
            --run_;
        }
    }
    bool runLeft() const { return run_ > 0; }

  private:
    Bytes data_;
    bool coded_;
    std::size_t at_ = 0;
    unsigned run_ = 0;
    std::uint8_t value_ = 0;
};

}  // namespace

Image decodePcx(Bytes file) {
    need(file, 0, HeaderSize, "PCX header");
    const unsigned version = file[1], encoding = file[2], bpp = file[3];
    if (file[0] != 0x0A || version > 5 || version == 1)
        fail(Failure::Corrupt, "PCX: not a PCX header");
    if (encoding > 1) fail(Failure::Corrupt, "PCX: encoding " + std::to_string(encoding));
    const unsigned xmin = u16(file, 4, "PCX header"), ymin = u16(file, 6, "PCX header"),
                   xmax = u16(file, 8, "PCX header"), ymax = u16(file, 10, "PCX header");
    const unsigned planes = file[65], bytesPerLine = u16(file, 66, "PCX header");
    if (xmax < xmin || ymax < ymin) fail(Failure::NoPixels, "PCX: the window is empty");
    const std::int64_t width = std::int64_t{xmax} - xmin + 1,
                       height = std::int64_t{ymax} - ymin + 1;

    enum { Mono, Planar, Nibbles, Indexed, Rgb } kind;
    if (bpp == 1 && planes == 1) {
        kind = Mono;
    } else if (bpp == 1 && planes >= 2 && planes <= 4) {
        kind = Planar;
    } else if (bpp == 4 && planes == 1) {
        kind = Nibbles;
    } else if (bpp == 8 && planes == 1) {
        kind = Indexed;
    } else if (bpp == 8 && planes == 3) {
        kind = Rgb;
    } else {
        fail(Failure::Unsupported,
             "PCX of " + std::to_string(bpp) + " bits in " + std::to_string(planes) + " planes");
    }
    checkSize(width, height, "PCX");
    if (bytesPerLine < (width * bpp + 7) / 8)
        fail(Failure::Corrupt, "PCX: rows shorter than the picture");

    std::vector<Rgba> palette;
    Bytes coded = file.subspan(HeaderSize);
    if (kind == Indexed) {
        // The palette is the file's last 769 bytes; without it, grey levels.
        const bool marked =
            file.size() >= HeaderSize + PaletteSize && file[file.size() - PaletteSize] == 0x0C;
        if (marked) {
            const std::uint8_t* p = file.data() + file.size() - 768;
            for (unsigned i = 0; i < 256; ++i, p += 3) palette.push_back({p[0], p[1], p[2], 255});
            coded = coded.first(coded.size() - PaletteSize);
        } else {
            for (unsigned i = 0; i < 256; ++i) {
                const std::uint8_t grey = static_cast<std::uint8_t>(i);
                palette.push_back({grey, grey, grey, 255});
            }
        }
    } else if (kind == Mono) {
        palette = {{0, 0, 0, 255}, {255, 255, 255, 255}};
    } else if (kind != Rgb) {
        for (unsigned i = 0; i < 16; ++i) {
            const std::uint8_t* p = file.data() + 16 + 3 * i;
            palette.push_back(version == 3 ? Rgba{std::uint8_t(DefaultPalette[i] >> 16),
                                                  std::uint8_t(DefaultPalette[i] >> 8 & 0xFF),
                                                  std::uint8_t(DefaultPalette[i] & 0xFF), 255}
                                           : Rgba{p[0], p[1], p[2], 255});
        }
    }

    // Two coded bytes give at most 63: a file far too short for its picture
    // fails before the rows are decoded.
    const std::uint64_t total = std::uint64_t{bytesPerLine} * planes * height;
    if ((encoding == 1 ? coded.size() * 63 / 2 + 63 : coded.size()) < total)
        fail(Failure::Truncated, "PCX: the rows end early");
    Canvas canvas(width, height, "PCX");
    Rows rows(coded, encoding == 1);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(bytesPerLine) * planes);
    for (int y = 0; y < canvas.height(); ++y) {
        rows.next(line.data(), line.size());
        for (int x = 0; x < canvas.width(); ++x) {
            const std::uint8_t* l = line.data();
            switch (kind) {
                case Mono:
                    canvas.put(x, y, palette[l[x >> 3] >> (7 - (x & 7)) & 1]);
                    break;
                case Planar: {
                    unsigned index = 0;
                    for (unsigned p = 0; p < planes; ++p)
                        index |= (l[p * bytesPerLine + (x >> 3)] >> (7 - (x & 7)) & 1u) << p;
                    canvas.put(x, y, palette[index]);
                    break;
                }
                case Nibbles:
                    canvas.put(x, y, palette[l[x >> 1] >> (x & 1 ? 0 : 4) & 15]);
                    break;
                case Indexed:
                    canvas.put(x, y, palette[l[x]]);
                    break;
                case Rgb:
                    canvas.put(
                        x, y,
                        {l[x], l[bytesPerLine + x], l[2 * std::size_t{bytesPerLine} + x], 255});
                    break;
            }
        }
    }
    if (rows.runLeft()) fail(Failure::Corrupt, "PCX: a run goes past the picture's end");
    return std::move(canvas).finish();
}

}  // namespace rt::image::detail
