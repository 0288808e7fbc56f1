// What a member's photo costs to show: a 640 x 480 photo-like picture
// (gradients, detail and sensor-like noise) decoded from memory and from a
// file, as JPEG (quality 85, chroma halved both ways) and PNG (RGB, the
// library's default compression). Beside each, "raw": the library alone
// decoding the same bytes into a buffer it was given, without our checks,
// signature test and picture allocation.
#include <png.h>

#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/jpeg_support.h"
#include "runtime/image/image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int W = 640, H = 480;

std::vector<std::uint8_t> photo() {
    std::vector<std::uint8_t> rgb(W * H * 3);
    std::uint32_t seed = 1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            const double a = std::sin(x / 37.0) * std::cos(y / 23.0);
            const int v[3] = {static_cast<int>(x * 200 / W + 40 * a),
                              static_cast<int>(y * 180 / H + 60 * std::sin((x + y) / 51.0)),
                              static_cast<int>(120 + 90 * a)};
            for (int c = 0; c < 3; ++c)
                rgb[(y * W + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(v[c] + noise, 0, 255));
        }
    return rgb;
}

Bytes jpegOf(const std::vector<std::uint8_t>& rgb) {
    return bench::jpegOf(rgb, W, H, 85);
}

Bytes pngOf(const std::vector<std::uint8_t>& rgb) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = W;
    image.height = H;
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
    Bytes out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr);
    out.resize(size);
    return out;
}

void rawJpeg(const Bytes& file, std::uint8_t* out) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out + d.output_scanline * W * 4;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

void rawPng(const Bytes& file, std::uint8_t* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_memory(&image, file.data(), file.size());
    image.format = PNG_FORMAT_RGBA;
    png_image_finish_read(&image, nullptr, out, W * 4, nullptr);
    png_image_free(&image);
}

// Median µs of one call, after a few untimed ones.
double medianMicros(const std::function<void()>& call) {
    for (int i = 0; i < 5; ++i) call();
    std::vector<double> us;
    for (int i = 0; i < 41; ++i) {
        const auto a = std::chrono::steady_clock::now();
        call();
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a)
                         .count());
    }
    std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
    return us[us.size() / 2];
}

void check(const rt::image::Decoded& d) {
    if (!d.ok() || d.image.width != W || d.image.height != H) {
        std::fprintf(stderr, "decoding failed: %s\n", d.reason.c_str());
        std::exit(2);
    }
}

}  // namespace

int main() {
    const std::vector<std::uint8_t> rgb = photo();
    const struct {
        const char* name;
        Bytes bytes;
        void (*raw)(const Bytes&, std::uint8_t*);
    } formats[] = {{"jpeg", jpegOf(rgb), rawJpeg}, {"png", pngOf(rgb), rawPng}};

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "clanovi-image-bench";
    std::filesystem::create_directories(dir);
    std::vector<std::uint8_t> buffer(W * H * 4);
    for (const auto& f : formats) {
        const std::string path = (dir / (std::string("photo.") + f.name)).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(f.bytes.data()), f.bytes.size());
        const double raw = medianMicros([&] { f.raw(f.bytes, buffer.data()); });
        const double memory = medianMicros([&] { check(rt::image::decodeMemory(f.bytes)); });
        const double file = medianMicros([&] { check(rt::image::decodeFile(path)); });
        std::printf("bench image_%s_640x480_memory ours=%.0f raw=%.0f ratio=%.2f bytes=%zu\n",
                    f.name, memory, raw, memory / raw, f.bytes.size());
        std::printf("bench image_%s_640x480_file ours=%.0f raw=%.0f ratio=%.2f\n", f.name, file,
                    raw, file / raw);
    }
    std::filesystem::remove_all(dir);
}
