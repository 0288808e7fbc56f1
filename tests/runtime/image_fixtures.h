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

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
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

}  // namespace imgtest
