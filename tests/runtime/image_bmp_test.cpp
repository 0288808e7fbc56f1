// BMP files and icons, through our own bitmap decoder.
#include <gtest/gtest.h>

#include <climits>

#include "tests/runtime/image_check.h"

namespace {

using namespace imgtest;
using rt::image::Failure;

TEST(ImageBmp, EveryDepthAndVariantDecodesToItsPixels) {
    for (const Fixture& f : bmpFixtures()) expectPixels(f);
}

DibSpec rgb24(int w, int h) {
    DibSpec s{w, h, 24};
    s.value = [](int x, int y) { return Palette4[index4(x, y)] >> 8; };
    return s;
}

// A 24-bit file whose header says another size than its rows have.
Bytes withSize(std::int32_t w, std::int32_t h) {
    Bytes b = bmpFile(rgb24(4, 4));
    Writer patch{b};
    patch.put32(18, static_cast<std::uint32_t>(w));
    patch.put32(22, static_cast<std::uint32_t>(h));
    return patch.b;
}

DibSpec rle8(Bytes codes) {
    DibSpec s{6, 3, 8, 1};
    s.palette = rgbTable(4);
    s.rle = std::move(codes);
    return s;
}

TEST(ImageBmp, HostileFilesFailWithAReason) {
    const Bytes good = bmpFile(rgb24(7, 5));
    DibSpec fewColours{6, 3, 8};
    fewColours.palette = rgbTable(2);
    fewColours.clrUsed = 2;
    fewColours.value = [](int x, int y) { return std::uint32_t(index4(x, y)); };
    // The rows' offset leaves room for two colours of the four the header names.
    DibSpec shortTable = fewColours;
    shortTable.clrUsed = 4;
    DibSpec split{4, 2, 16, 3};
    split.masks[0] = 0xF00F;
    split.masks[1] = 0x0F00;
    split.masks[2] = 0x00F0;
    split.value = [](int, int) { return 0u; };
    Writer seven{bmpFile(rgb24(4, 4))};
    seven.put16(28, 7);
    DibSpec jpeg = rgb24(4, 4);
    jpeg.compression = 4;
    Writer offBeyond{good};
    offBeyond.put32(10, good.size() + 1);
    Writer bigHeader{good};
    bigHeader.put32(14, 200);

    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"cut in the header", cut(good, 20), Failure::Truncated},
        {"cut in the rows", cut(good, good.size() - 10), Failure::Truncated},
        {"wider than the limit", withSize(10001, 4), Failure::TooLarge},
        {"top-down, taller than the limit", withSize(4, -10001), Failure::TooLarge},
        {"more pixels than the limit", withSize(9000, 9000), Failure::TooLarge},
        {"w * h * 4 beyond 32 bits", withSize(0x40000000, 4), Failure::TooLarge},
        {"the lowest height", withSize(4, INT_MIN), Failure::TooLarge},
        {"width 0", withSize(0, 4), Failure::NoPixels},
        {"height 0", withSize(4, 0), Failure::NoPixels},
        {"negative width", withSize(-4, 4), Failure::Corrupt},
        {"index beyond the colours used", bmpFile(fewColours), Failure::Corrupt},
        {"index beyond the colours stored", bmpFile(shortTable), Failure::Corrupt},
        {"a mask of separate bits", bmpFile(split), Failure::Corrupt},
        {"7 bits a pixel", seven.b, Failure::Unsupported},
        {"JPEG inside", bmpFile(jpeg), Failure::Unsupported},
        {"rows beyond the end", offBeyond.b, Failure::Truncated},
        {"a header of 200 bytes", bigHeader.b, Failure::Corrupt},
        {"RLE run past the row", bmpFile(rle8({7, 1, 0, 1})), Failure::Corrupt},
        {"RLE literal past the row", bmpFile(rle8({4, 1, 0, 3, 1, 1, 1, 0, 0, 1})),
         Failure::Corrupt},
        {"RLE literal past the data", bmpFile(rle8({0, 5, 1, 1})), Failure::Truncated},
        {"RLE move past the picture", bmpFile(rle8({0, 2, 7, 0, 0, 1})), Failure::Corrupt},
        {"RLE run above the top row", bmpFile(rle8({0, 2, 0, 3, 1, 1, 0, 1})), Failure::Corrupt},
        {"RLE data ends before the rows", bmpFile(rle8({6, 1, 0, 0})), Failure::Truncated},
        {"RLE index beyond the palette", bmpFile(rle8({6, 9, 0, 1})), Failure::Corrupt},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

// A few RLE codes can stand for a large picture, so damaged ones must fail
// before 200 MB of picture are allocated.
TEST(ImageBmp, DamagedRleFailsBeforeThePictureIsAllocated) {
    Bytes pastTheRow;
    for (int i = 0; i < 19; ++i) pastTheRow.insert(pastTheRow.end(), {0, 2, 255, 0});  // x 4845
    pastTheRow.insert(pastTheRow.end(), {200, 1, 0, 1});
    struct Case {
        const char* what;
        Bytes codes;
        Failure failure;
    } cases[] = {
        {"ends before the rows", {6, 1, 0, 0}, Failure::Truncated},
        {"index beyond the palette", {6, 9, 0, 1}, Failure::Corrupt},
        {"run past the row", pastTheRow, Failure::Corrupt},
    };
    for (const Case& c : cases) {
        DibSpec s = rle8(c.codes);
        s.width = 5000;
        s.height = 10000;
        const Bytes b = bmpFile(s);
        withAddressSpaceLeft(64u << 20, [&] { expectFailure(b, c.failure, c.what); });
    }
}

TEST(ImageBmp, ARowsOffsetOfZeroMeansRightAfterTheColours) {
    Fixture f = bmpFixtures()[2];  // 8 bits, 4 colours
    Writer w{f.bytes};
    w.put32(10, 0);
    f.bytes = w.b;
    expectPixels(f);
}

TEST(ImageIco, TheBestEntryIsShown) {
    for (const Fixture& f : icoFixtures()) expectPixels(f);
}

TEST(ImageIco, HostileIconsFail) {
    const Bytes small = packedDib(iconDib(4, 4, 8));
    const Bytes good = iconFile({{small, 4, 4, 8}});
    Writer beyond{good};
    beyond.put32(6 + 12, good.size() + 4);
    Writer tooLong{good};
    tooLong.put32(6 + 8, small.size() + 1);
    PngSpec grey{40, 40, 8, PNG_COLOR_TYPE_GRAY};
    grey.samples = [](int, int) { return std::vector<unsigned>{7}; };
    const Bytes png = makePng(grey), badPng = cut(png, png.size() - 20);
    DibSpec rle = iconDib(4, 4, 8);
    rle.compression = 1;
    rle.rle = {4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1};

    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"cut in the directory", cut(good, 12), Failure::Truncated},
        {"cut in the rows", iconFile({{cut(small, 40 + 1024 + 8), 4, 4, 8}}), Failure::Truncated},
        {"the mask missing", iconFile({{cut(small, small.size() - 16), 4, 4, 8}}),
         Failure::Truncated},
        {"entry beyond the end", beyond.b, Failure::Truncated},
        {"entry longer than the file", tooLong.b, Failure::Truncated},
        {"a damaged PNG entry", iconFile({{badPng, 40, 40, 8}}), Failure::Truncated},
        {"an RLE entry", iconFile({{packedDib(rle), 4, 4, 8}}), Failure::Corrupt},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

}  // namespace
