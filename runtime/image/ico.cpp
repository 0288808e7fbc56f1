// Icons: a directory of pictures of several sizes and depths, each a packed
// DIB (with its AND mask) or a PNG file. The best one is shown: the largest,
// then the deepest, as the pictures themselves say where they can be read
// (the directory's bytes hold at most 256 and are often wrong).
#include <cstring>

#include "runtime/image/internal.h"

namespace rt::image::detail {

bool isIco(Bytes b) {
    return b.size() >= 6 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0 && (b[4] || b[5]);
}

namespace {

struct Entry {
    std::uint64_t offset = 0, size = 0;
    std::uint64_t pixels = 0;  // width * height
    int bpp = 0;
};

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The size and depth of an entry, from its picture's own header if present.
Entry describe(Bytes file, std::size_t at) {
    Entry e;
    const std::uint8_t* d = file.data() + at;
    std::uint64_t w = d[0] ? d[0] : 256, h = d[1] ? d[1] : 256;
    e.bpp = u16(file, at + 6, "icon directory");
    e.size = u32(file, at + 8, "icon directory");
    e.offset = u32(file, at + 12, "icon directory");
    if (e.offset < file.size()) {
        const Bytes data =
            file.subspan(e.offset, std::min<std::uint64_t>(e.size, file.size() - e.offset));
        if (isPng(data) && data.size() >= 26) {
            static constexpr int channels[7] = {1, 0, 3, 1, 2, 0, 4};
            w = be32(data.data() + 16);
            h = be32(data.data() + 20);
            e.bpp = data[24] * (data[25] < 7 ? channels[data[25]] : 0);
        } else if (data.size() >= 16 && u32(data, 0, "icon entry") >= 40) {
            const std::int64_t dw = i32(data, 4, "icon entry"), dh = i32(data, 8, "icon entry");
            w = dw > 0 ? dw : 0;
            h = dh > 0 ? dh / 2 : dh < 0 ? -(dh / 2) : 0;
            e.bpp = u16(data, 14, "icon entry");
        }
    }
    e.pixels = w * h;
    return e;
}

}  // namespace

Image decodeIco(Bytes file) {
    if (!isIco(file)) fail(Failure::Corrupt, "ICO: no icon header");
    const unsigned count = u16(file, 4, "icon header");
    need(file, 6, 16, "icon directory");
    Entry best;
    bool found = false;
    for (unsigned i = 0; i < count && 6 + 16 * (i + 1) <= file.size(); ++i) {
        const Entry e = describe(file, 6 + 16 * i);
        if (!found || e.pixels > best.pixels || (e.pixels == best.pixels && e.bpp > best.bpp)) {
            best = e;
            found = true;
        }
    }
    const Bytes data = slice(file, best.offset, best.size, "icon picture");
    if (isPng(data)) {
        Decoded png = decodePng(data);
        if (!png.ok()) fail(png.failure, "ICO: " + png.reason);
        return png.image;
    }
    return decodePackedDib(data, DibKind::Icon);
}

}  // namespace rt::image::detail
