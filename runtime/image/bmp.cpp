// Device-independent bitmaps, as .bmp files, icon entries and metafile
// records hold them: the core (12-byte) header and the info headers from 16
// to 124 bytes; 1, 4 and 8 bits through a colour table, 16 and 32 bits plain
// or through bit masks, 24 bits; RLE8 and RLE4; rows bottom-up or top-down.
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/image/internal.h"

namespace rt::image::detail {

namespace {

constexpr std::uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4,
                        BI_PNG = 5, BI_ALPHABITFIELDS = 6;

struct Header {
    std::uint32_t size = 0;
    std::int64_t width = 0, height = 0;  // the picture's height (an icon's without its mask)
    bool topDown = false;
    int bpp = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t masks[4] = {};        // red, green, blue, alpha
    bool alphaMask = false;             // masks[3] was given by the file
    std::uint64_t tableAt = 0;          // where the colour table starts, from the header's start
    int entrySize = 4;                  // bytes per colour table entry: 3 in a core header
    std::uint64_t declaredColours = 0;  // entries the colour table holds by the header
};

Header parseHeader(Bytes info, DibKind kind) {
    Header h;
    h.size = u32(info, 0, "bitmap header");
    if (h.size == 12) {  // BITMAPCOREHEADER: 16-bit sides, 3-byte colours
        need(info, 0, 12, "bitmap header");
        h.width = u16(info, 4, "bitmap header");
        h.height = u16(info, 6, "bitmap header");
        h.bpp = u16(info, 10, "bitmap header");
        h.tableAt = 12;
        h.entrySize = 3;
        h.declaredColours = h.bpp <= 8 ? 1u << h.bpp : 0;
    } else if (h.size >= 16 && h.size <= 124) {
        need(info, 0, h.size, "bitmap header");
        // Fields beyond the header's size are 0 (the short forms of 16 to 64 bytes).
        auto field = [&](std::uint32_t at) {
            return at + 4 <= h.size ? u32(info, at, "bitmap header") : 0;
        };
        h.width = i32(info, 4, "bitmap header");
        h.height = i32(info, 8, "bitmap header");
        h.bpp = u16(info, 14, "bitmap header");
        h.compression = field(16);
        const std::uint32_t clrUsed = field(32);
        h.tableAt = h.size;
        if (h.size >= 52) {
            for (int i = 0; i < 3; ++i) h.masks[i] = u32(info, 40 + 4 * i, "bitmap header");
            if (h.size >= 56) {
                h.masks[3] = u32(info, 52, "bitmap header");
                h.alphaMask = h.masks[3] != 0;
            }
        } else if (h.size == 40 &&
                   (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS)) {
            // The masks follow a plain info header.
            const int n = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
            for (int i = 0; i < n; ++i) h.masks[i] = u32(info, 40 + 4 * i, "bitmap masks");
            h.alphaMask = n == 4 && h.masks[3] != 0;
            h.tableAt = 40 + 4 * n;
        }
        h.declaredColours = clrUsed ? clrUsed : h.bpp <= 8 ? 1u << h.bpp : 0;
    } else {
        fail(Failure::Corrupt, "bitmap header of " + std::to_string(h.size) + " bytes");
    }

    if (h.height < 0) {
        h.topDown = true;
        h.height = -h.height;  // 64-bit: -INT32_MIN is fine
    }
    if (kind == DibKind::Icon) h.height /= 2;  // the AND mask's rows are counted too

    switch (h.compression) {
        case BI_RGB:
            if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
                fail(Failure::Unsupported, "bitmap of " + std::to_string(h.bpp) + " bits");
            // Plain rows ignore any masks the header holds.
            h.masks[3] = 0;
            h.alphaMask = false;
            if (h.bpp == 16) {
                h.masks[0] = 0x7C00;
                h.masks[1] = 0x03E0;
                h.masks[2] = 0x001F;
            } else if (h.bpp == 32) {
                h.masks[0] = 0xFF0000;
                h.masks[1] = 0x00FF00;
                h.masks[2] = 0x0000FF;
                // A file's fourth byte is padding; an icon's is alpha.
                h.masks[3] = kind == DibKind::Icon ? 0xFF000000u : 0;
                h.alphaMask = kind == DibKind::Icon;
            }
            break;
        case BI_RLE8:
            if (h.bpp != 8) fail(Failure::Corrupt, "RLE8 bitmap of other than 8 bits");
            break;
        case BI_RLE4:
            if (h.bpp != 4) fail(Failure::Corrupt, "RLE4 bitmap of other than 4 bits");
            break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS:
            if (h.bpp != 16 && h.bpp != 32)
                fail(Failure::Unsupported, "bit masks with " + std::to_string(h.bpp) + " bits");
            break;
        case BI_JPEG:
        case BI_PNG:
            fail(Failure::Unsupported, "bitmap holding JPEG or PNG data");
        default:
            fail(Failure::Unsupported, "bitmap compression " + std::to_string(h.compression));
    }
    if (kind == DibKind::Icon && (h.compression == BI_RLE8 || h.compression == BI_RLE4))
        fail(Failure::Corrupt, "compressed icon bitmap");
    if (h.width < 0) fail(Failure::Corrupt, "bitmap of negative width");
    checkSize(h.width, h.height, "bitmap");
    return h;
}

// One channel through its mask, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0, bits = 0;

    static Channel of(std::uint32_t mask) {
        Channel c{mask};
        if (!mask) return c;
        c.shift = std::countr_zero(mask);
        const std::uint32_t m = mask >> c.shift;
        if (m & (m + 1)) fail(Failure::Corrupt, "bitmap mask of separate bits");
        c.bits = std::popcount(mask);
        return c;
    }
    std::uint8_t get(std::uint32_t v, std::uint8_t none) const {
        if (!mask) return none;
        std::uint32_t x = (v & mask) >> shift;
        if (bits >= 8) return static_cast<std::uint8_t>(x >> (bits - 8));
        const std::uint32_t max = (1u << bits) - 1;
        return static_cast<std::uint8_t>((x * 255 + max / 2) / max);
    }
};

std::vector<Rgba> readTable(Bytes table, const Header& h, std::uint64_t entries) {
    std::vector<Rgba> colours;
    if (h.bpp > 8) return colours;
    entries = std::min<std::uint64_t>(entries, 1u << h.bpp);
    need(table, 0, entries * h.entrySize, "colour table");
    colours.resize(static_cast<std::size_t>(entries));
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const std::uint8_t* e = table.data() + i * h.entrySize;
        colours[i] = {e[2], e[1], e[0], 255};
    }
    return colours;
}

Rgba lookup(const std::vector<Rgba>& table, unsigned index) {
    if (index >= table.size()) fail(Failure::Corrupt, "colour index beyond the colour table");
    return table[index];
}

int rowOf(const Header& h, std::int64_t dataRow) {
    return static_cast<int>(h.topDown ? dataRow : h.height - 1 - dataRow);
}

std::uint64_t strideOf(const Header& h) {
    return (static_cast<std::uint64_t>(h.width) * h.bpp + 31) / 32 * 4;
}

// The rows must all be there (the last one's padding may be missing).
void needRows(const Header& h, Bytes bits) {
    const std::uint64_t lastRow = (static_cast<std::uint64_t>(h.width) * h.bpp + 7) / 8;
    need(bits, 0, strideOf(h) * (h.height - 1) + lastRow, "bitmap rows");
}

// true: the picture's own alpha channel was used.
bool paintRows(Canvas& canvas, const Header& h, const std::vector<Rgba>& table, Bytes bits) {
    const std::uint64_t stride = strideOf(h);
    needRows(h, bits);
    const Channel r = Channel::of(h.masks[0]), g = Channel::of(h.masks[1]),
                  b = Channel::of(h.masks[2]), a = Channel::of(h.masks[3]);
    bool anyAlpha = false;
    for (std::int64_t row = 0; row < h.height; ++row) {
        const std::uint8_t* p = bits.data() + row * stride;
        const int y = rowOf(h, row);
        for (int x = 0; x < h.width; ++x) {
            Rgba c;
            switch (h.bpp) {
                case 1:
                    c = lookup(table, p[x >> 3] >> (7 - (x & 7)) & 1);
                    break;
                case 4:
                    c = lookup(table, p[x >> 1] >> (x & 1 ? 0 : 4) & 15);
                    break;
                case 8:
                    c = lookup(table, p[x]);
                    break;
                case 24:
                    c = {p[3 * x + 2], p[3 * x + 1], p[3 * x], 255};
                    break;
                case 16:
                case 32: {
                    const std::uint32_t v =
                        h.bpp == 16 ? static_cast<std::uint32_t>(p[2 * x] | p[2 * x + 1] << 8)
                                    : static_cast<std::uint32_t>(p[4 * x]) | p[4 * x + 1] << 8 |
                                          p[4 * x + 2] << 16 |
                                          static_cast<std::uint32_t>(p[4 * x + 3]) << 24;
                    c = {r.get(v, 0), g.get(v, 0), b.get(v, 0), a.get(v, 255)};
                    anyAlpha |= c.a != 0;
                    break;
                }
            }
            canvas.put(x, y, c);
        }
    }
    // An alpha channel that is 0 everywhere was never filled in: opaque.
    if (h.alphaMask && !anyAlpha)
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x) canvas.row(y)[4 * x + 3] = 255;
    return h.alphaMask && anyAlpha;
}

// RLE8 and RLE4: pixels the codes skip stay transparent; a run beyond its
// row, a jump beyond the picture or data that ends before the picture does
// fail. Without a canvas the codes are only checked: a few codes can stand
// for a large picture (the end code may come at once), so damaged ones fail
// before it is allocated.
void paintRle(Canvas* canvas, const Header& h, const std::vector<Rgba>& table, Bytes bits) {
    const bool four = h.compression == BI_RLE4;
    std::uint64_t p = 0;
    std::int64_t x = 0, row = 0;
    auto put = [&](unsigned index) {
        const Rgba c = lookup(table, index);
        if (canvas) canvas->put(static_cast<int>(x), rowOf(h, row), c);
        ++x;
    };
    for (;;) {
        if (p + 2 > bits.size()) {
            if (row >= h.height) return;  // all rows done, only the end code missing
            fail(Failure::Truncated, "RLE data ends early");
        }
        const unsigned n = bits[p], code = bits[p + 1];
        p += 2;
        if (n > 0) {  // a run of n pixels
            if (row >= h.height || x + n > h.width) fail(Failure::Corrupt, "RLE run past the row");
            for (unsigned i = 0; i < n; ++i) put(four ? (i & 1 ? code & 15 : code >> 4) : code);
        } else if (code == 0) {  // end of the row
            x = 0;
            ++row;
        } else if (code == 1) {  // end of the picture
            return;
        } else if (code == 2) {  // move right and up
            need(bits, p, 2, "RLE data");
            x += bits[p];
            row += bits[p + 1];
            p += 2;
            if (x > h.width || row > h.height) fail(Failure::Corrupt, "RLE move past the picture");
        } else {  // code pixels as they stand, padded to a 16-bit boundary
            const std::uint64_t bytes = four ? (code + 1) / 2 : code;
            need(bits, p, bytes, "RLE data");
            if (row >= h.height || x + code > h.width)
                fail(Failure::Corrupt, "RLE run past the row");
            for (unsigned i = 0; i < code; ++i) {
                const unsigned byte = bits[p + (four ? i / 2 : i)];
                put(four ? (i & 1 ? byte & 15 : byte >> 4) : byte);
            }
            p += (bytes + 1) & ~std::uint64_t{1};
        }
    }
}

// An icon's AND mask: 1 bits are transparent. Used where the picture has no
// alpha of its own.
void applyMask(Canvas& canvas, const Header& h, Bytes mask) {
    const std::uint64_t stride = (static_cast<std::uint64_t>(h.width) + 31) / 32 * 4;
    need(mask, 0, stride * h.height, "icon mask");
    for (std::int64_t row = 0; row < h.height; ++row) {
        const std::uint8_t* p = mask.data() + row * stride;
        std::uint8_t* out = canvas.row(rowOf(h, row));
        for (int x = 0; x < h.width; ++x)
            if (p[x >> 3] >> (7 - (x & 7)) & 1) {
                out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = out[4 * x + 3] = 0;
            }
    }
}

Image decode(const Header& h, Bytes table, Bytes bits, DibKind kind) {
    const std::vector<Rgba> colours =
        readTable(table, h, std::min<std::uint64_t>(h.declaredColours, table.size() / h.entrySize));
    const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    // The data checked before the picture is allocated.
    if (rle) {
        paintRle(nullptr, h, colours, bits);
    } else {
        needRows(h, bits);
    }
    Canvas canvas(h.width, h.height, "bitmap");
    bool ownAlpha = false;
    if (rle) {
        paintRle(&canvas, h, colours, bits);
    } else {
        ownAlpha = paintRows(canvas, h, colours, bits);
    }
    // An icon's transparency is its alpha where it has some, else the AND
    // mask that follows the rows.
    if (kind == DibKind::Icon && !ownAlpha) {
        const std::uint64_t rows = strideOf(h) * h.height;
        if (rows > bits.size()) fail(Failure::Truncated, "icon mask ends early");
        applyMask(canvas, h, bits.subspan(static_cast<std::size_t>(rows)));
    }
    return std::move(canvas).finish();
}

}  // namespace

Image decodeDib(Bytes info, Bytes bits, DibKind kind) {
    const Header h = parseHeader(info, kind);
    const Bytes table = h.tableAt <= info.size() ? info.subspan(h.tableAt) : Bytes{};
    return decode(h, table, bits, kind);
}

Image decodePackedDib(Bytes dib, DibKind kind) {
    const Header h = parseHeader(dib, kind);
    const std::uint64_t tableSize = h.declaredColours * h.entrySize;
    const Bytes table = slice(dib, h.tableAt, tableSize, "colour table");
    const std::uint64_t bitsAt = h.tableAt + tableSize;
    return decode(h, table, dib.subspan(bitsAt), kind);
}

Image decodeBmp(Bytes file) {
    need(file, 0, 18, "BMP header");
    if (file[0] != 'B' || file[1] != 'M') fail(Failure::Corrupt, "BMP: no BM signature");
    const std::uint32_t bitsAt = u32(file, 10, "BMP header");
    const Bytes dib = file.subspan(14);
    const std::uint32_t headerSize = u32(dib, 0, "bitmap header");
    if (bitsAt > file.size()) fail(Failure::Truncated, "BMP: the rows lie beyond the file's end");
    // Writers that leave the offset 0 (or wrong) meant the rows to follow the
    // colour table.
    if (bitsAt < 14 + std::uint64_t{headerSize}) return decodePackedDib(dib, DibKind::File);
    return decodeDib(file.subspan(14, bitsAt - 14), file.subspan(bitsAt), DibKind::File);
}

}  // namespace rt::image::detail
