// PNG through libpng's simplified reading interface: it converts every colour
// type, depth, palette, transparency and interlacing to 8-bit RGBA, and keeps
// its own error jumps inside the library.
#include <png.h>

#include <algorithm>
#include <cstring>

#include "runtime/image/internal.h"

namespace rt::image::detail {

bool isPng(Bytes b) {
    static constexpr std::uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return b.size() >= 8 && std::memcmp(b.data(), sig, 8) == 0;
}

namespace {

class PngImage {
  public:
    PngImage() {
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
    png_image image;
};

Decoded pngFailure(Failure failure, std::string reason) {
    Decoded d;
    d.format = Format::Png;
    d.failure = failure;
    d.reason = std::move(reason);
    return d;
}

// libpng's message names what went wrong; a few kinds are told apart.
Failure failureOf(const char* message) {
    static constexpr const char* truncated[] = {"Read Error", "read beyond end of data",
                                                "Not enough image data", "unexpected end",
                                                "truncated"};
    for (const char* t : truncated)
        if (std::strstr(message, t)) return Failure::Truncated;
    return Failure::Corrupt;
}

// Where IHDR's data starts (0 if not found). It comes first in a sound file,
// but the library also takes chunks it does not know before it.
std::size_t headerAt(Bytes file) {
    for (std::uint64_t at = 8; at + 8 + 13 <= file.size();) {
        if (std::memcmp(file.data() + at + 4, "IHDR", 4) == 0)
            return static_cast<std::size_t>(at + 8);
        const std::uint64_t length =
            std::uint64_t{file[at]} << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
        at += 12 + length;
    }
    return 0;
}

}  // namespace

Decoded decodePng(Bytes file) {
    if (!isPng(file)) return pngFailure(Failure::Corrupt, "PNG: no PNG signature");
    PngImage png;
    if (!png_image_begin_read_from_memory(&png.image, file.data(), file.size()))
        return pngFailure(failureOf(png.image.message), std::string("PNG: ") + png.image.message);
    std::string reason;
    if (Failure f = sizeFailure(png.image.width, png.image.height, reason, "PNG");
        f != Failure::None)
        return pngFailure(f, reason);

    // Deflate packs at most 1032 bytes into one, so the file must hold at
    // least the rows (with their filter bytes) / 1032: a file far too small
    // for its size fails before its picture is allocated. IHDR, which the
    // library has checked, gives the depth and the colour type.
    static constexpr unsigned channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const std::size_t ihdr = headerAt(file);
    const std::uint64_t bits =
        ihdr ? std::uint64_t{file[ihdr + 8]} * channels[file[ihdr + 9] < 7 ? file[ihdr + 9] : 0]
             : 1;
    const std::uint64_t rows = png.image.height * (1 + (png.image.width * bits + 7) / 8);
    if (file.size() * 1032 < rows)
        return pngFailure(Failure::Truncated, "PNG: too little data for its size");

    png.image.format = PNG_FORMAT_RGBA;
    // 16-bit samples without a gAMA or sRGB chunk are encoded like 8-bit ones
    // (the library would take them as linear and brighten them).
    png.image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    const std::size_t stride = static_cast<std::size_t>(png.image.width) * 4;
    std::vector<std::uint8_t> px(stride * png.image.height);  // bad_alloc is caught above us
    if (!png_image_finish_read(&png.image, nullptr, px.data(), static_cast<png_int_32>(stride),
                               nullptr))
        return pngFailure(failureOf(png.image.message), std::string("PNG: ") + png.image.message);

    Decoded d;
    d.format = Format::Png;
    d.image.width = static_cast<int>(png.image.width);
    d.image.height = static_cast<int>(png.image.height);
    d.image.pixels = std::make_shared<const std::vector<std::uint8_t>>(std::move(px));
    return d;
}

}  // namespace rt::image::detail
