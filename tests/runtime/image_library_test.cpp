// PNG, JPEG and GIF: what the libraries give back through our decoders, and
// the damaged files they must refuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/runtime/image_check.h"

namespace {

using namespace imgtest;
using rt::image::Failure;

TEST(ImagePng, EveryKindDecodesToItsPixels) {
    for (const Fixture& f : pngFixtures()) expectPixels(f);
}

TEST(ImagePng, DamagedFilesFail) {
    const Bytes good = pngFixtures()[0].bytes;
    Bytes badCrc = good;
    badCrc[good.size() - 20] ^= 0x55;  // inside IDAT's data or its CRC
    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"cut in the header", cut(good, 20), Failure::Truncated},
        {"cut in the pixels", cut(good, good.size() - 30), Failure::Truncated},
        {"wider than the limit", pngWithSize(good, 10001, 5), Failure::TooLarge},
        {"more pixels than the limit", pngWithSize(good, 9000, 9000), Failure::TooLarge},
        {"w * h * 4 beyond 32 bits", pngWithSize(good, 65536, 65536), Failure::TooLarge},
        {"width 0", pngWithSize(good, 0, 5), Failure::Corrupt},
        {"damaged pixel data", badCrc, Failure::Corrupt},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

// The library takes chunks it does not know before IHDR; the least a file
// must hold is reckoned from IHDR's depth and colour type wherever it is,
// not from the bytes where IHDR would stand first.
TEST(ImagePng, AChunkBeforeTheHeaderDoesNotChangeTheLeastDataNeeded) {
    PngSpec s{1000, 1000, 8, PNG_COLOR_TYPE_GRAY};
    s.samples = [](int x, int y) { return std::vector<unsigned>{unsigned((x * 7 + y) % 5 * 50)}; };
    Fixture f{"png behind an unknown chunk", makePng(s), 1000, 1000, [](int x, int y) {
                  const std::uint8_t g = (x * 7 + y) % 5 * 50;
                  return rgba(g, g, g);
              }};
    // Where IHDR's depth and colour type would be: 16 bits of RGBA.
    Bytes data = {0, 0, 0, 0, 0, 0, 0, 0, 16, 6};
    Bytes chunk = {0, 0, 0, std::uint8_t(data.size()), 't', 'e', 'S', 't'};
    chunk.insert(chunk.end(), data.begin(), data.end());
    Bytes crc(4);
    putBe32(crc, 0, static_cast<std::uint32_t>(::crc32(0, chunk.data() + 4, chunk.size() - 4)));
    chunk.insert(chunk.end(), crc.begin(), crc.end());
    f.bytes.insert(f.bytes.begin() + 8, chunk.begin(), chunk.end());
    ASSERT_LT(f.bytes.size() * 1032, 1000u * (1 + 1000 * 8));  // too little for 16-bit RGBA
    expectPixels(f);
}

TEST(ImageJpeg, EveryKindDecodesToItsColours) {
    for (const Fixture& f : jpegFixtures()) expectPixels(f);
}

// The frame header's height and width (big-endian, after the precision).
Bytes jpegWithSize(Bytes b, unsigned w, unsigned h) {
    for (std::size_t i = 0; i + 9 < b.size(); ++i)
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2 || b[i + 1] == 0xC9)) {
            b[i + 5] = h >> 8;
            b[i + 6] = h & 0xFF;
            b[i + 7] = w >> 8;
            b[i + 8] = w & 0xFF;
            return b;
        }
    ADD_FAILURE() << "no frame header";
    return b;
}

TEST(ImageJpeg, DamagedFilesFail) {
    const Bytes good = jpegFixtures()[0].bytes;
    const Bytes progressive = jpegFixtures()[1].bytes;
    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"cut in the header", cut(good, 100), Failure::Truncated},
        {"cut in the pixels", cut(good, good.size() / 2), Failure::Truncated},
        {"progressive cut in its scans", cut(progressive, progressive.size() * 2 / 3),
         Failure::Truncated},
        {"wider than the limit", jpegWithSize(good, 10001, 16), Failure::TooLarge},
        {"w * h * 4 beyond 32 bits", jpegWithSize(good, 65500, 65500), Failure::TooLarge},
        {"width 0", jpegWithSize(good, 0, 16), Failure::Corrupt},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

// A few hundred bytes that claim a picture of 8000 x 8000 (within the
// limits): refused before 256 MB are allocated and cleared.
TEST(ImageLibraries, ASmallFileClaimingALargePictureFailsBeforeAllocating) {
    const rt::image::Decoded png = decode(pngWithSize(pngFixtures()[0].bytes, 8000, 8000));
    EXPECT_EQ(png.failure, Failure::Truncated);
    EXPECT_NE(png.reason.find("too little data"), std::string::npos) << png.reason;

    const rt::image::Decoded jpeg = decode(jpegWithSize(jpegFixtures()[0].bytes, 8000, 8000));
    EXPECT_EQ(jpeg.failure, Failure::Truncated);
    EXPECT_NE(jpeg.reason.find("too little data"), std::string::npos) << jpeg.reason;

    Bytes gif = gifFixtures()[0].bytes;
    constexpr std::size_t frame = 6 + 7 + 12;
    gif[frame + 5] = gif[frame + 7] = 8000 & 0xFF;
    gif[frame + 6] = gif[frame + 8] = 8000 >> 8;
    const rt::image::Decoded g = decode(gif);
    EXPECT_EQ(g.failure, Failure::Truncated);
    EXPECT_NE(g.reason.find("too little data"), std::string::npos) << g.reason;
}

// Arithmetic coding has no least size (a flat 8000 x 8000 picture takes some
// 130 bytes), so a few bytes can claim a large picture and then lack the
// tables its scan needs: that fails before the picture is allocated.
TEST(ImageJpeg, MissingTablesFailBeforeThePictureIsAllocated) {
    Bytes b = jpegWithSize(makeJpeg({16, 16, JCS_GRAYSCALE, false, true}), 8000, 8000);
    const std::uint8_t marker[] = {0xFF, 0xDB};  // the quantisation table
    const auto dqt = std::search(b.begin(), b.end(), std::begin(marker), std::end(marker));
    ASSERT_NE(dqt, b.end());
    b.erase(dqt, dqt + 2 + (dqt[2] << 8 | dqt[3]));
    rt::image::Decoded d;
    withAddressSpaceLeft(64u << 20, [&] { d = decode(b); });
    EXPECT_STREQ(rt::image::failureName(d.failure), "corrupt") << d.reason;
    EXPECT_NE(d.reason.find("Quantization table"), std::string::npos) << d.reason;
}

TEST(ImageJpeg, AMissingEndMarkerAloneStillShows) {
    // Everything but the last two bytes (FF D9): all pixels are there.
    const Fixture f = jpegFixtures()[0];
    Fixture cutEnd = f;
    cutEnd.bytes = cut(f.bytes, f.bytes.size() - 2);
    expectPixels(cutEnd);
}

TEST(ImageGif, EveryKindDecodesToItsPixels) {
    for (const Fixture& f : gifFixtures()) expectPixels(f);
}

TEST(ImageGif, DamagedFilesFail) {
    const Bytes good = gifFixtures()[0].bytes;  // header 6, screen 7, palette 12, then the frame
    constexpr std::size_t frame = 6 + 7 + 12;
    ASSERT_EQ(good[frame], 0x2C);
    auto frameSize = [&](unsigned w, unsigned h) {
        Bytes b = good;
        b[frame + 5] = w & 0xFF;
        b[frame + 6] = w >> 8;
        b[frame + 7] = h & 0xFF;
        b[frame + 8] = h >> 8;
        return b;
    };
    // The palette cut to two colours while the pixels still use four.
    Bytes twoColours = good;
    twoColours[10] = (twoColours[10] & ~7) | 0;
    twoColours.erase(twoColours.begin() + 13 + 6, twoColours.begin() + 13 + 12);
    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"cut in the screen", cut(good, 9), Failure::Truncated},
        {"cut in the pixels", cut(good, good.size() - 6), Failure::Truncated},
        {"frame wider than the limit", frameSize(10001, 5), Failure::TooLarge},
        {"w * h * 4 beyond 32 bits", frameSize(65535, 65535), Failure::TooLarge},
        {"frame of width 0", frameSize(0, 5), Failure::NoPixels},
        {"index beyond the palette", twoColours, Failure::Corrupt},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

}  // namespace
