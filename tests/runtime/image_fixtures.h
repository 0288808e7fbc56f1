#pragma once
// Small pictures made in the test code, for the decoder tests: written with
// the libraries themselves (PNG, JPEG, GIF) or byte by byte (the formats we
// decode ourselves). Each fixture knows the colour of every pixel it holds.
#include <gif_lib.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace imgtest {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) {
    return std::uint32_t{r} << 24 | std::uint32_t{g} << 16 | std::uint32_t{b} << 8 | a;
}

// The four colours most fixtures paint with, by index.
constexpr std::uint32_t Palette4[4] = {rgba(255, 0, 0), rgba(0, 255, 0), rgba(0, 0, 255),
                                       rgba(255, 255, 255)};
inline int index4(int x, int y) {
    return (x + 2 * y) % 4;
}

struct Fixture {
    std::string name;
    Bytes bytes;
    int width = 0, height = 0;
    std::function<std::uint32_t(int x, int y)> expected;
    int tolerance = 0;  // per channel, for lossy formats
};

// Little-endian byte writing.
struct Writer {
    Bytes b;
    Writer& u8(unsigned v) {
        b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Writer& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8 & 0xFF); }
    Writer& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Writer& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Writer& bytes(const Bytes& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    Writer& fill(std::size_t n, std::uint8_t v = 0) {
        b.insert(b.end(), n, v);
        return *this;
    }
    Writer& pad4() {
        while (b.size() % 4) b.push_back(0);
        return *this;
    }
    std::size_t size() const { return b.size(); }
    void put16(std::size_t at, unsigned v) {
        b[at] = v & 0xFF;
        b[at + 1] = v >> 8 & 0xFF;
    }
    void put32(std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    }
};

inline void putBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = v >> 24;
    b[at + 1] = v >> 16 & 0xFF;
    b[at + 2] = v >> 8 & 0xFF;
    b[at + 3] = v & 0xFF;
}

// Samples of depth bits packed into bytes, most significant first (PNG, PCX,
// BMP rows alike).
inline Bytes pack(const std::vector<unsigned>& samples, int depth) {
    Bytes out;
    if (depth == 16) {
        for (unsigned s : samples) {
            out.push_back(s >> 8);
            out.push_back(s & 0xFF);
        }
        return out;
    }
    unsigned acc = 0;
    int bits = 0;
    for (unsigned s : samples) {
        acc = acc << depth | (s & ((1u << depth) - 1));
        bits += depth;
        if (bits == 8) {
            out.push_back(acc);
            acc = 0;
            bits = 0;
        }
    }
    if (bits) out.push_back(acc << (8 - bits));
    return out;
}

// ---------------------------------------------------------------------------
// PNG through libpng's writer

struct PngSpec {
    int width = 0, height = 0, depth = 8, colorType = PNG_COLOR_TYPE_RGB;
    bool interlace = false;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> trns;
    // The samples of one pixel, in the colour type's channel order.
    std::function<std::vector<unsigned>(int x, int y)> samples;
};

inline void pngAppend(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

inline Bytes makePng(const PngSpec& s) {
    Bytes out;
    std::vector<Bytes> rows(s.height);
    for (int y = 0; y < s.height; ++y) {
        std::vector<unsigned> all;
        for (int x = 0; x < s.width; ++x)
            for (unsigned v : s.samples(x, y)) all.push_back(v);
        rows[y] = pack(all, s.depth);
    }
    std::vector<png_bytep> pointers;
    for (Bytes& r : rows) pointers.push_back(r.data());

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &out, pngAppend, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty())
        png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.trns.empty())
        png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Sets a PNG's width and height in IHDR, its CRC made right again.
inline Bytes pngWithSize(Bytes b, std::uint32_t w, std::uint32_t h) {
    putBe32(b, 16, w);
    putBe32(b, 20, h);
    putBe32(b, 29, static_cast<std::uint32_t>(crc32(0, b.data() + 12, 17)));
    return b;
}

inline std::vector<Fixture> pngFixtures() {
    std::vector<Fixture> f;
    auto add = [&](std::string name, PngSpec s, std::function<std::uint32_t(int, int)> expected) {
        f.push_back({"png " + name, makePng(s), s.width, s.height, std::move(expected)});
    };
    auto colour = [](int x, int y) { return Palette4[index4(x, y)]; };
    auto channels = [](std::uint32_t c) {
        return std::vector<unsigned>{c >> 24, c >> 16 & 0xFF, c >> 8 & 0xFF};
    };
    PngSpec rgb{7, 5, 8, PNG_COLOR_TYPE_RGB};
    rgb.samples = [&](int x, int y) { return channels(colour(x, y)); };
    add("rgb8", rgb, colour);

    PngSpec rgba = rgb;
    rgba.colorType = PNG_COLOR_TYPE_RGBA;
    rgba.samples = [&](int x, int y) {
        auto v = channels(colour(x, y));
        v.push_back(x * 40);
        return v;
    };
    add("rgba8", rgba, [&](int x, int y) { return (colour(x, y) & 0xFFFFFF00) | (x * 40); });

    PngSpec grey{9, 3, 8, PNG_COLOR_TYPE_GRAY};
    grey.samples = [](int x, int y) { return std::vector<unsigned>{unsigned(x * 20 + y)}; };
    add("grey8", grey, [](int x, int y) {
        std::uint8_t g = x * 20 + y;
        return imgtest::rgba(g, g, g);
    });

    PngSpec mono{11, 3, 1, PNG_COLOR_TYPE_GRAY};
    mono.samples = [](int x, int y) { return std::vector<unsigned>{unsigned((x + y) % 2)}; };
    add("grey1", mono, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0x000000FFu; });

    PngSpec pal{6, 4, 4, PNG_COLOR_TYPE_PALETTE};
    pal.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    pal.trns = {255, 128};  // green half transparent
    pal.samples = [](int x, int y) { return std::vector<unsigned>{unsigned(index4(x, y))}; };
    add("palette4 with tRNS", pal, [](int x, int y) {
        const int i = index4(x, y);
        return i == 1 ? imgtest::rgba(0, 255, 0, 128) : Palette4[i];
    });

    PngSpec deep{5, 5, 16, PNG_COLOR_TYPE_RGB};
    deep.samples = [](int x, int y) {
        return std::vector<unsigned>{0xFFFFu * (x % 2), 0x8080u, 0x1010u * y};
    };
    add("rgb16", deep, [](int x, int y) { return imgtest::rgba(255 * (x % 2), 0x80, 0x10 * y); });

    PngSpec laced = rgb;
    laced.width = 13;
    laced.height = 11;
    laced.interlace = true;
    add("rgb8 interlaced", laced, colour);
    return f;
}

// ---------------------------------------------------------------------------
// JPEG through libjpeg's writer: flat 8 x 8 blocks at full quality without
// chroma subsampling, so colours come back within a few steps.

struct JpegSpec {
    int width = 16, height = 16;
    J_COLOR_SPACE space = JCS_RGB;  // JCS_RGB, JCS_GRAYSCALE or JCS_CMYK
    bool progressive = false;
    bool arithmetic = false;  // arithmetic coding in place of Huffman's
};

// The colour of a JPEG fixture's block (as RGB), by the block's position.
inline std::uint32_t jpegBlock(int x, int y) {
    return Palette4[(x / 8 + 2 * (y / 8)) % 4];
}

inline Bytes makeJpeg(const JpegSpec& s) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = s.width;
    c.image_height = s.height;
    c.input_components = s.space == JCS_GRAYSCALE ? 1 : s.space == JCS_CMYK ? 4 : 3;
    c.in_color_space = s.space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    for (int i = 0; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (s.progressive) jpeg_simple_progression(&c);
    c.arith_code = s.arithmetic;
    jpeg_start_compress(&c, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(s.width) * c.input_components);
    while (c.next_scanline < c.image_height) {
        const int y = c.next_scanline;
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t p = jpegBlock(x, y);
            std::uint8_t r = p >> 24, g = p >> 16 & 0xFF, b = p >> 8 & 0xFF;
            std::uint8_t* o = row.data() + static_cast<std::size_t>(x) * c.input_components;
            if (s.space == JCS_GRAYSCALE) {
                o[0] = r;  // the grey fixture takes the red channel as its level
            } else if (s.space == JCS_CMYK) {
                // Adobe's inverted CMYK, as the writer marks it: 255 is no ink.
                o[0] = r;
                o[1] = g;
                o[2] = b;
                o[3] = 255;
            } else {
                o[0] = r;
                o[1] = g;
                o[2] = b;
            }
        }
        JSAMPROW rp = row.data();
        jpeg_write_scanlines(&c, &rp, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

inline std::vector<Fixture> jpegFixtures() {
    std::vector<Fixture> f;
    f.push_back({"jpeg baseline", makeJpeg({24, 16, JCS_RGB, false}), 24, 16, jpegBlock, 4});
    f.push_back({"jpeg progressive", makeJpeg({16, 24, JCS_RGB, true}), 16, 24, jpegBlock, 4});
    f.push_back({"jpeg grey", makeJpeg({16, 16, JCS_GRAYSCALE, false}), 16, 16,
                 [](int x, int y) {
                     std::uint8_t g = jpegBlock(x, y) >> 24;
                     return rgba(g, g, g);
                 },
                 2});
    f.push_back({"jpeg cmyk (Adobe)", makeJpeg({16, 16, JCS_CMYK, false}), 16, 16, jpegBlock, 4});
    return f;
}

// ---------------------------------------------------------------------------
// GIF through giflib's writer

struct GifSpec {
    int screenW = 0, screenH = 0;
    int left = 0, top = 0, width = 0, height = 0;
    bool interlace = false, localMap = false;
    int transparent = -1;
    bool secondFrame = false;  // a frame after the first, all index 0
};

inline int gifAppend(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

inline Bytes makeGif(const GifSpec& s) {
    Bytes out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, gifAppend, &err);
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, s.screenW, s.screenH, 8, 0, s.localMap ? nullptr : map);
    if (s.transparent >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, s.transparent};
        GifByteType ext[4];
        const size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    }
    EGifPutImageDesc(gif, s.left, s.top, s.width, s.height, s.interlace,
                     s.localMap ? map : nullptr);
    std::vector<int> order;
    if (s.interlace) {
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int p = 0; p < 4; ++p)
            for (int y = start[p]; y < s.height; y += step[p]) order.push_back(y);
    } else {
        for (int y = 0; y < s.height; ++y) order.push_back(y);
    }
    std::vector<GifPixelType> line(s.width);
    for (int y : order) {
        for (int x = 0; x < s.width; ++x) line[x] = index4(x, y);
        EGifPutLine(gif, line.data(), s.width);
    }
    if (s.secondFrame) {
        EGifPutImageDesc(gif, 0, 0, s.screenW, s.screenH, false, s.localMap ? map : nullptr);
        std::vector<GifPixelType> zero(s.screenW, 0);
        for (int y = 0; y < s.screenH; ++y) EGifPutLine(gif, zero.data(), s.screenW);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

inline std::vector<Fixture> gifFixtures() {
    std::vector<Fixture> f;
    auto colour = [](int x, int y) { return Palette4[index4(x, y)]; };
    f.push_back({"gif global palette", makeGif({7, 5, 0, 0, 7, 5}), 7, 5, colour});
    f.push_back({"gif local palette, interlaced",
                 makeGif({5, 19, 0, 0, 5, 19, /*interlace*/ true, /*local*/ true}), 5, 19, colour});
    f.push_back({"gif transparent index", makeGif({6, 4, 0, 0, 6, 4, false, false, 2}), 6, 4,
                 [](int x, int y) { return index4(x, y) == 2 ? 0u : Palette4[index4(x, y)]; }});
    // A first frame smaller than the screen: the rest of the screen is
    // transparent; the second frame (all red) is never shown.
    f.push_back({"gif frame inside the screen, two frames",
                 makeGif({8, 6, 2, 1, 4, 3, false, false, -1, /*second*/ true}), 8, 6,
                 [](int x, int y) {
                     if (x < 2 || x >= 6 || y < 1 || y >= 4) return 0u;
                     return Palette4[index4(x - 2, y - 1)];
                 }});
    return f;
}

// ---------------------------------------------------------------------------
// DIBs, BMP files and icons, byte by byte

struct DibSpec {
    int width = 0, height = 0, bpp = 24;
    std::uint32_t compression = 0;  // BI_RGB; 1 RLE8, 2 RLE4, 3 bit fields, 6 with alpha
    bool topDown = false;
    int headerSize = 40;                 // 12 (core), 40, 56, 108, 124 ...
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::uint32_t clrUsed = 0;
    std::uint32_t masks[4] = {};  // written after a 40-byte header with bit fields, or in it
    // The stored value of a pixel: an index (8 bits or fewer), the raw 16 or
    // 32-bit value, or 0xRRGGBB (24 bits).
    std::function<std::uint32_t(int x, int y)> value;
    Bytes rle;  // the compressed rows
    // Icons: the height counts the mask too, which follows the rows.
    bool icon = false;
    std::function<bool(int x, int y)> masked;  // an AND mask bit set (transparent)
};

inline Bytes dibRows(const DibSpec& s) {
    if (s.compression == 1 || s.compression == 2) return s.rle;
    Writer w;
    for (int r = 0; r < s.height; ++r) {
        const int y = s.topDown ? r : s.height - 1 - r;
        if (s.bpp <= 8) {
            std::vector<unsigned> idx;
            for (int x = 0; x < s.width; ++x) idx.push_back(s.value(x, y));
            w.bytes(pack(idx, s.bpp));
        } else {
            for (int x = 0; x < s.width; ++x) {
                const std::uint32_t v = s.value(x, y);
                if (s.bpp == 16) w.u16(v);
                if (s.bpp == 24) w.u8(v & 0xFF).u8(v >> 8 & 0xFF).u8(v >> 16 & 0xFF);
                if (s.bpp == 32) w.u32(v);
            }
        }
        w.pad4();
    }
    if (s.icon) {
        for (int r = 0; r < s.height; ++r) {
            const int y = s.topDown ? r : s.height - 1 - r;
            std::vector<unsigned> bits;
            for (int x = 0; x < s.width; ++x) bits.push_back(s.masked && s.masked(x, y));
            w.bytes(pack(bits, 1));
            w.pad4();
        }
    }
    return w.b;
}

// The header, masks and colour table (a BITMAPINFO).
inline Bytes dibInfo(const DibSpec& s) {
    Writer w;
    const int h = s.height * (s.icon ? 2 : 1);
    if (s.headerSize == 12) {
        w.u32(12).u16(s.width).u16(h).u16(1).u16(s.bpp);
        for (std::uint32_t c : s.palette) w.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16);
        return w.b;
    }
    w.u32(s.headerSize).i32(s.width).i32(s.topDown ? -h : h).u16(1).u16(s.bpp);
    w.u32(s.compression).u32(0).i32(2835).i32(2835).u32(s.clrUsed).u32(0);
    if (s.headerSize >= 52) {
        for (int i = 0; i < (s.headerSize >= 56 ? 4 : 3); ++i) w.u32(s.masks[i]);
        w.fill(s.headerSize - w.size());
    } else if (s.compression == 3 || s.compression == 6) {
        for (int i = 0; i < (s.compression == 6 ? 4 : 3); ++i) w.u32(s.masks[i]);
    }
    for (std::uint32_t c : s.palette) w.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16).u8(0);
    return w.b;
}

inline Bytes packedDib(const DibSpec& s) {
    Bytes b = dibInfo(s);
    Bytes rows = dibRows(s);
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

inline Bytes bmpFile(const DibSpec& s) {
    const Bytes info = dibInfo(s), rows = dibRows(s);
    Writer w;
    w.u8('B').u8('M').u32(14 + info.size() + rows.size()).u32(0).u32(14 + info.size());
    return w.bytes(info).bytes(rows).b;
}

inline std::uint32_t opaque(std::uint32_t rgb) {
    return rgb << 8 | 0xFF;
}

// Palette4 as 0xRRGGBB, then some more colours to fill larger tables.
inline std::vector<std::uint32_t> rgbTable(int n) {
    std::vector<std::uint32_t> t;
    for (int i = 0; i < n; ++i) t.push_back(i < 4 ? Palette4[i] >> 8 : 0x010101u * (i * 7 % 256));
    return t;
}

inline std::uint32_t colour4(int x, int y) {
    return Palette4[index4(x, y)];
}

inline std::vector<Fixture> bmpFixtures() {
    std::vector<Fixture> f;
    auto add = [&](std::string name, const DibSpec& s,
                   std::function<std::uint32_t(int, int)> expected) {
        f.push_back({"bmp " + name, bmpFile(s), s.width, s.height, std::move(expected)});
    };
    auto index = [](int x, int y) { return std::uint32_t(index4(x, y)); };
    auto rgb = [](int x, int y) { return Palette4[index4(x, y)] >> 8; };

    DibSpec mono{11, 3, 1};
    mono.palette = {0x000000, 0xFFFFFF};
    mono.value = [](int x, int y) { return std::uint32_t((x + y) % 2); };
    add("1 bit", mono, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0x000000FFu; });

    DibSpec four{5, 4, 4};
    four.palette = rgbTable(16);
    four.value = index;
    add("4 bits, odd width", four, colour4);

    DibSpec eight{6, 3, 8};
    eight.palette = rgbTable(4);
    eight.clrUsed = 4;
    eight.value = index;
    add("8 bits, 4 colours used", eight, colour4);

    DibSpec core = eight;
    core.headerSize = 12;
    core.palette = rgbTable(256);
    core.clrUsed = 0;
    add("8 bits, core header", core, colour4);

    DibSpec rgb555{5, 3, 16};
    rgb555.value = [](int x, int y) {
        const std::uint32_t c = Palette4[index4(x, y)];
        return (c >> 27) << 10 | (c >> 19 & 31) << 5 | (c >> 11 & 31);
    };
    add("16 bits 5-5-5", rgb555, colour4);

    // Plain rows ignore the masks a V5 header holds (the top bit is unused).
    DibSpec plainV5 = rgb555;
    plainV5.headerSize = 124;
    plainV5.masks[0] = 0x001F;
    plainV5.masks[3] = 0x8000;
    plainV5.value = [f = rgb555.value](int x, int y) { return f(x, y) | (x % 2) << 15; };
    add("16 bits plain in a V5 header with masks", plainV5, colour4);

    DibSpec rgb565{4, 4, 16, 3};
    rgb565.masks[0] = 0xF800;
    rgb565.masks[1] = 0x07E0;
    rgb565.masks[2] = 0x001F;
    rgb565.value = [](int x, int y) { return std::uint32_t(x << 11 | y << 5 | 31); };
    add("16 bits 5-6-5 bit fields", rgb565,
        [](int x, int y) { return rgba((x * 255 + 15) / 31, (y * 255 + 31) / 63, 255); });

    DibSpec bgr{7, 5, 24};
    bgr.value = rgb;
    add("24 bits", bgr, colour4);

    DibSpec down = bgr;
    down.topDown = true;
    down.height = 4;
    add("24 bits top-down", down, colour4);

    DibSpec x32{3, 3, 32};
    x32.value = [](int x, int y) { return 0x55000000u | (Palette4[index4(x, y)] >> 8); };
    add("32 bits, fourth byte ignored", x32, colour4);

    DibSpec argb{4, 2, 32, 3};
    argb.headerSize = 124;
    argb.masks[0] = 0x00FF0000;
    argb.masks[1] = 0x0000FF00;
    argb.masks[2] = 0x000000FF;
    argb.masks[3] = 0xFF000000;
    argb.value = [](int x, int y) {
        return std::uint32_t(x * 60) << 24 | (Palette4[index4(x, y)] >> 8);
    };
    add("32 bits with alpha, V5 header", argb,
        [](int x, int y) { return (Palette4[index4(x, y)] & 0xFFFFFF00) | (x * 60); });

    DibSpec noAlpha = argb;
    noAlpha.value = [](int x, int y) { return Palette4[index4(x, y)] >> 8; };
    add("32 bits with an alpha mask left 0", noAlpha, colour4);

    // RLE8, 6 x 3 from the bottom: a run and a literal; a jump up one row
    // and right two; a run; the end before the last row's end.
    DibSpec rle8{6, 3, 8, 1};
    rle8.palette = rgbTable(4);
    rle8.rle = {3, 1, 0, 3, 2, 3, 0, 0 /*pad*/, 0, 0, 0, 2, 2, 1, 4, 2, 0, 1};
    add("RLE8", rle8, [](int x, int y) {
        if (y == 2) return Palette4[std::array{1, 1, 1, 2, 3, 0}[x]];
        if (y == 1 || x < 2) return 0u;
        return Palette4[2];
    });

    // RLE4, 7 x 2 from the bottom: a run of two alternating colours and a
    // literal of three; a literal of five (padded) and a run; the end.
    DibSpec rle4{7, 2, 4, 2};
    rle4.palette = rgbTable(16);
    rle4.rle = {4, 0x12, 0, 3, 0x30, 0x10, 0, 0, 0, 5, 0x01, 0x23, 0x40, 0, 2, 0x33, 0, 1};
    add("RLE4", rle4, [](int x, int y) {
        if (y == 1) return Palette4[std::array{1, 2, 1, 2, 3, 0, 1}[x]];
        return x < 4 ? Palette4[x] : x == 4 ? opaque(rgbTable(16)[4]) : Palette4[3];
    });
    return f;
}

// An icon file of the given entries (each a packed DIB or a PNG file); the
// directory says w x h and bpp for each.
struct IconEntry {
    Bytes data;
    int w = 0, h = 0, bpp = 0;
};

inline Bytes iconFile(const std::vector<IconEntry>& entries) {
    Writer w;
    w.u16(0).u16(1).u16(entries.size());
    std::size_t at = 6 + 16 * entries.size();
    for (const IconEntry& e : entries) {
        w.u8(e.w & 0xFF).u8(e.h & 0xFF).u8(0).u8(0).u16(1).u16(e.bpp).u32(e.data.size()).u32(at);
        at += e.data.size();
    }
    for (const IconEntry& e : entries) w.bytes(e.data);
    return w.b;
}

inline DibSpec iconDib(int w, int h, int bpp) {
    DibSpec s{w, h, bpp};
    s.icon = true;
    if (bpp <= 8) {
        s.palette = rgbTable(1 << bpp);
        s.value = [](int x, int y) { return std::uint32_t(index4(x, y)); };
    } else {
        s.value = [](int x, int y) { return Palette4[index4(x, y)] >> 8; };
    }
    return s;
}

inline std::vector<Fixture> icoFixtures() {
    std::vector<Fixture> f;
    // A corner of the AND mask transparent.
    auto corner = [](int x, int y) { return x < 2 && y < 2; };
    auto masked = [&](int x, int y) { return corner(x, y) ? 0u : colour4(x, y); };

    DibSpec small = iconDib(4, 4, 4), large = iconDib(9, 6, 24);
    large.masked = corner;
    f.push_back({"ico largest of two, AND mask",
                 iconFile({{packedDib(small), 4, 4, 4}, {packedDib(large), 9, 6, 24}}), 9, 6,
                 masked});

    DibSpec shallow = iconDib(5, 5, 8), deep = iconDib(5, 5, 32);
    deep.value = [](int x, int y) {
        return std::uint32_t(x * 50 + 5) << 24 | (Palette4[index4(x, y)] >> 8);
    };
    deep.masked = [](int, int) { return true; };  // the alpha counts, not the mask
    f.push_back({"ico deepest of equal sizes, its alpha",
                 iconFile({{packedDib(deep), 5, 5, 32}, {packedDib(shallow), 5, 5, 8}}), 5, 5,
                 [](int x, int y) { return (colour4(x, y) & 0xFFFFFF00) | (x * 50 + 5); }});

    DibSpec zeroAlpha = iconDib(4, 3, 32);
    zeroAlpha.masked = corner;
    f.push_back({"ico 32 bits without alpha uses its mask",
                 iconFile({{packedDib(zeroAlpha), 4, 3, 32}}), 4, 3, masked});

    PngSpec p{12, 10, 8, PNG_COLOR_TYPE_RGB};
    p.samples = [](int x, int y) {
        const std::uint32_t c = colour4(x, y);
        return std::vector<unsigned>{c >> 24, c >> 16 & 0xFF, c >> 8 & 0xFF};
    };
    f.push_back({"ico with a PNG entry",
                 iconFile({{packedDib(iconDib(8, 8, 8)), 8, 8, 8}, {makePng(p), 12, 10, 24}}), 12,
                 10, colour4});

    // The directory's sizes are wrong; the pictures' own headers decide.
    f.push_back({"ico by the pictures' own sizes",
                 iconFile({{packedDib(iconDib(3, 3, 24)), 200, 200, 32},
                           {packedDib(iconDib(7, 6, 4)), 1, 1, 1}}),
                 7, 6, colour4});
    return f;
}

// ---------------------------------------------------------------------------
// PCX, byte by byte

struct PcxSpec {
    int width = 0, height = 0, bpp = 8, planes = 1, version = 5;
    int encoding = 1;
    int xmin = 0, ymin = 0;
    bool crossRows = false;                    // runs go on from one row into the next
    int bytesPerLine = 0;                      // 0: the least, rounded up to even
    std::vector<std::uint32_t> headerPalette;  // up to 16 0xRRGGBB
    std::vector<std::uint32_t> endPalette;     // 256 0xRRGGBB, or none
    // A row's bytes, all planes, bytesPerLine each.
    std::function<Bytes(int y, int bytesPerLine)> row;
};

inline int pcxBytesPerLine(const PcxSpec& s) {
    if (s.bytesPerLine) return s.bytesPerLine;
    const int least = (s.width * s.bpp + 7) / 8;
    return least + least % 2;
}

inline void pcxRun(Bytes& out, std::uint8_t value, int count) {
    while (count > 0) {
        const int n = std::min(count, 63);
        if (n == 1 && value < 0xC0) {
            out.push_back(value);
        } else {
            out.push_back(0xC0 | n);
            out.push_back(value);
        }
        count -= n;
    }
}

inline Bytes pcxEncode(const Bytes& raw) {
    Bytes out;
    for (std::size_t i = 0; i < raw.size();) {
        std::size_t j = i;
        while (j < raw.size() && raw[j] == raw[i]) ++j;
        pcxRun(out, raw[i], static_cast<int>(j - i));
        i = j;
    }
    return out;
}

inline Bytes pcxFile(const PcxSpec& s) {
    const int bpl = pcxBytesPerLine(s);
    Writer w;
    w.u8(0x0A).u8(s.version).u8(s.encoding).u8(s.bpp);
    w.u16(s.xmin).u16(s.ymin).u16(s.xmin + s.width - 1).u16(s.ymin + s.height - 1);
    w.u16(72).u16(72);
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t c = i < int(s.headerPalette.size()) ? s.headerPalette[i] : 0;
        w.u8(c >> 16).u8(c >> 8 & 0xFF).u8(c & 0xFF);
    }
    w.u8(0).u8(s.planes).u16(bpl).u16(1).u16(0).u16(0);
    w.fill(128 - w.size());
    Bytes all;
    for (int y = 0; y < s.height; ++y) {
        Bytes r = s.row(y, bpl);
        r.resize(static_cast<std::size_t>(bpl) * s.planes);
        if (s.encoding == 0 || s.crossRows) {
            all.insert(all.end(), r.begin(), r.end());
        } else {
            w.bytes(pcxEncode(r));
        }
    }
    if (s.encoding == 0) w.bytes(all);
    if (s.encoding == 1 && s.crossRows) w.bytes(pcxEncode(all));
    if (!s.endPalette.empty()) {
        w.u8(0x0C);
        for (std::uint32_t c : s.endPalette) w.u8(c >> 16).u8(c >> 8 & 0xFF).u8(c & 0xFF);
    }
    return w.b;
}

inline std::vector<std::uint32_t> sixteenColours() {
    std::vector<std::uint32_t> t;
    for (int i = 0; i < 16; ++i)
        t.push_back(std::uint32_t(i * 16) << 16 | std::uint32_t(255 - i * 16) << 8 | i * 5);
    return t;
}

// The EGA colours that a version 3 file (no palette) shows.
inline std::uint32_t egaColour(int i) {
    static constexpr std::uint32_t ega[16] = {
        0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
        0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    return ega[i];
}

inline int index16(int x, int y) {
    return (x + 3 * y) % 16;
}

// A row of indices packed depth bits a pixel, bpl bytes.
inline Bytes packedRow(int width, int depth, int bpl, const std::function<unsigned(int)>& index) {
    std::vector<unsigned> v;
    for (int x = 0; x < width; ++x) v.push_back(index(x));
    Bytes b = pack(v, depth);
    b.resize(bpl);
    return b;
}

// Planes of one bit each, plane p holding bit p of every index.
inline Bytes planarRow(int width, int planes, int bpl, const std::function<unsigned(int)>& index) {
    Bytes out;
    for (int p = 0; p < planes; ++p) {
        Bytes plane = packedRow(width, 1, bpl, [&](int x) { return index(x) >> p & 1; });
        out.insert(out.end(), plane.begin(), plane.end());
    }
    return out;
}

inline std::vector<Fixture> pcxFixtures() {
    std::vector<Fixture> f;
    auto add = [&](std::string name, const PcxSpec& s,
                   std::function<std::uint32_t(int, int)> expected) {
        f.push_back({"pcx " + name, pcxFile(s), s.width, s.height, std::move(expected)});
    };

    PcxSpec mono{11, 4, 1, 1};
    mono.row = [](int y, int bpl) {
        return packedRow(11, 1, bpl, [y](int x) { return unsigned((x + y) % 2); });
    };
    add("1 bit mono", mono, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0x000000FFu; });

    PcxSpec ega{9, 5, 1, 4};
    ega.headerPalette = sixteenColours();
    ega.row = [](int y, int bpl) {
        return planarRow(9, 4, bpl, [y](int x) { return unsigned(index16(x, y)); });
    };
    add("1 bit in 4 planes", ega,
        [](int x, int y) { return opaque(sixteenColours()[index16(x, y)]); });

    PcxSpec ega3 = ega;
    ega3.version = 3;
    add("version 3 without a palette", ega3,
        [](int x, int y) { return opaque(egaColour(index16(x, y))); });

    PcxSpec two{6, 3, 1, 2, 2};
    two.headerPalette = sixteenColours();
    two.row = [](int y, int bpl) {
        return planarRow(6, 2, bpl, [y](int x) { return unsigned(index4(x, y)); });
    };
    add("1 bit in 2 planes", two,
        [](int x, int y) { return opaque(sixteenColours()[index4(x, y)]); });

    PcxSpec nibbles{5, 3, 4, 1};
    nibbles.headerPalette = sixteenColours();
    nibbles.row = [](int y, int bpl) {
        return packedRow(5, 4, bpl, [y](int x) { return unsigned(index16(x, y)); });
    };
    add("4 bits", nibbles, [](int x, int y) { return opaque(sixteenColours()[index16(x, y)]); });

    // Long runs that go on into the next row, and a window not at 0, 0.
    PcxSpec eight{7, 6, 8, 1};
    eight.xmin = 100;
    eight.ymin = 20;
    eight.crossRows = true;
    eight.endPalette = rgbTable(256);
    eight.row = [](int y, int bpl) { return Bytes(bpl, std::uint8_t(y / 2)); };
    add("8 bits, runs across rows", eight, [](int, int y) { return opaque(rgbTable(256)[y / 2]); });

    PcxSpec grey = eight;
    grey.endPalette.clear();
    grey.crossRows = false;
    grey.row = [](int y, int bpl) {
        Bytes b(bpl);
        for (int x = 0; x < bpl; ++x) b[x] = std::uint8_t(x * 30 + y);
        return b;
    };
    add("8 bits without a palette", grey, [](int x, int y) {
        const std::uint8_t g = x * 30 + y;
        return rgba(g, g, g);
    });

    PcxSpec plain = grey;
    plain.encoding = 0;
    plain.version = 0;
    plain.endPalette = rgbTable(256);
    plain.row = [](int y, int bpl) {
        Bytes b(bpl);
        for (int x = 0; x < bpl; ++x) b[x] = std::uint8_t(index4(x, y) | 0xC0);  // look like runs
        return b;
    };
    add("8 bits stored plainly", plain,
        [](int x, int y) { return opaque(rgbTable(256)[index4(x, y) | 0xC0]); });

    PcxSpec rgb{5, 4, 8, 3};
    rgb.row = [](int y, int bpl) {
        Bytes b(3 * bpl);
        for (int x = 0; x < 5; ++x) {
            const std::uint32_t c = colour4(x, y);
            b[x] = c >> 24;
            b[bpl + x] = c >> 16 & 0xFF;
            b[2 * bpl + x] = c >> 8 & 0xFF;
        }
        return b;
    };
    add("24 bits in 3 planes", rgb, colour4);
    return f;
}

// ---------------------------------------------------------------------------
// Metafiles, byte by byte

inline Bytes wmfRecord(unsigned function, const Bytes& params) {
    Writer w;
    w.u32(static_cast<std::uint32_t>((6 + params.size() + 1) / 2)).u16(function).bytes(params);
    if (w.size() % 2) w.u8(0);
    return w.b;
}

// META_STRETCHDIB: raster operation, colour usage, eight coordinates, the DIB.
inline Bytes wmfStretchDib(const Bytes& dib, unsigned usage = 0) {
    Writer w;
    w.u32(0x00CC0020).u16(usage).fill(16).bytes(dib);
    return wmfRecord(0x0F43, w.b);
}

inline Bytes wmfFile(const std::vector<Bytes>& records, bool placeable) {
    Writer w;
    if (placeable) {
        w.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(100).u16(100).u16(1440).u32(0);
        unsigned sum = 0;
        for (std::size_t i = 0; i < 20; i += 2) sum ^= w.b[i] | w.b[i + 1] << 8;
        w.u16(sum);
    }
    std::size_t words = 9 + 3, largest = 3;
    for (const Bytes& r : records) {
        words += r.size() / 2;
        largest = std::max(largest, r.size() / 2);
    }
    w.u16(1).u16(9).u16(0x0300).u32(words).u16(0).u32(largest).u16(0);
    for (const Bytes& r : records) w.bytes(r);
    w.u32(3).u16(0);  // META_EOF
    return w.b;
}

// An EMF record: its fixed part of the given size with fields set at their
// offsets, then the bitmap's BITMAPINFO and rows where offBmi says.
inline Bytes emfRecord(std::uint32_t type, std::size_t fixed,
                       std::vector<std::pair<std::size_t, std::uint32_t>> fields,
                       std::size_t offBmi = 0, const Bytes& info = {}, const Bytes& rows = {}) {
    Writer w;
    w.fill(fixed);
    w.put32(0, type);
    for (auto [at, v] : fields) w.put32(at, v);
    if (offBmi) {
        w.put32(offBmi, fixed);
        w.put32(offBmi + 4, info.size());
        w.put32(offBmi + 8, fixed + info.size());
        w.put32(offBmi + 12, rows.size());
        w.bytes(info).bytes(rows);
    }
    w.pad4();
    w.put32(4, w.size());
    return w.b;
}

inline Bytes emfStretchDiBits(const DibSpec& s) {
    return emfRecord(81, 80, {{68, 0x00CC0020}}, 48, dibInfo(s), dibRows(s));
}

inline Bytes emfFile(const std::vector<Bytes>& records) {
    Writer w;
    w.fill(88);
    w.put32(0, 1);
    w.put32(4, 88);
    w.put32(40, 0x464D4520);
    w.put32(44, 0x10000);
    for (const Bytes& r : records) w.bytes(r);
    w.bytes(emfRecord(14, 20, {{16, 20}}));  // EMR_EOF
    w.put32(48, w.size());
    w.put32(52, records.size() + 2);
    return w.b;
}

inline DibSpec smallDib(int w, int h, int bpp) {
    DibSpec s{w, h, bpp};
    if (bpp <= 8) {
        s.palette = rgbTable(1 << bpp);
        s.value = [](int x, int y) { return std::uint32_t(index4(x, y)); };
    } else {
        s.value = [](int x, int y) { return Palette4[index4(x, y)] >> 8; };
    }
    return s;
}

inline std::vector<Fixture> metafileFixtures() {
    std::vector<Fixture> f;
    const Bytes windowOrg = wmfRecord(0x020B, {0, 0, 0, 0});  // META_SETWINDOWORG
    const Bytes windowExt = wmfRecord(0x020C, {100, 0, 100, 0});
    f.push_back(
        {"wmf placeable, StretchDIB",
         wmfFile({windowOrg, windowExt, wmfStretchDib(packedDib(smallDib(7, 5, 24)))}, true), 7, 5,
         colour4});

    Writer stretchBlt;
    stretchBlt.u32(0x00CC0020).fill(16).bytes(packedDib(smallDib(6, 4, 8)));
    f.push_back({"wmf standard, DIBStretchBlt",
                 wmfFile({windowOrg, wmfRecord(0x0B41, stretchBlt.b)}, false), 6, 4, colour4});

    // A DIBBitBlt without a bitmap (a pattern fill), then SetDIBitsToDevice.
    Writer patternBlt, toDevice;
    patternBlt.u32(0x00F00021).u16(0).fill(12);
    toDevice.u16(0).fill(16).bytes(packedDib(smallDib(5, 3, 4)));
    f.push_back({"wmf SetDIBitsToDevice after a blit without a bitmap",
                 wmfFile({wmfRecord(0x0940, patternBlt.b), wmfRecord(0x0D33, toDevice.b)}, true), 5,
                 3, colour4});

    Writer bitBlt;
    bitBlt.u32(0x00CC0020).fill(12).bytes(packedDib(smallDib(9, 2, 1)));
    f.push_back({"wmf DIBBitBlt with a bitmap", wmfFile({wmfRecord(0x0940, bitBlt.b)}, false), 9, 2,
                 [](int x, int y) { return opaque(rgbTable(2)[index4(x, y) & 1]); }});

    DibSpec down = smallDib(6, 5, 24);
    down.topDown = true;
    f.push_back({"emf StretchDIBits, top-down", emfFile({emfStretchDiBits(down)}), 6, 5, colour4});

    // A BitBlt of a pattern (no source bitmap), then a StretchBlt.
    const DibSpec eight = smallDib(5, 4, 8);
    f.push_back(
        {"emf StretchBlt after a BitBlt without a bitmap",
         emfFile({emfRecord(76, 100, {{40, 0x00F00021}}),
                  emfRecord(77, 108, {{40, 0x00CC0020}}, 84, dibInfo(eight), dibRows(eight))}),
         5, 4, colour4});

    const DibSpec four = smallDib(7, 3, 4);
    f.push_back({"emf SetDIBitsToDevice",
                 emfFile({emfRecord(80, 76, {{72, 3}}, 48, dibInfo(four), dibRows(four))}), 7, 3,
                 colour4});
    return f;
}

}  // namespace imgtest
