// PCX through our own decoder.
#include <gtest/gtest.h>

#include "tests/runtime/image_check.h"

namespace {

using namespace imgtest;
using rt::image::Failure;

TEST(ImagePcx, EveryDepthAndPlaneLayoutDecodesToItsPixels) {
    for (const Fixture& f : pcxFixtures()) expectPixels(f);
}

PcxSpec flat(int w, int h) {
    PcxSpec s{w, h, 8, 1};
    s.endPalette = rgbTable(256);
    s.row = [](int, int bpl) { return Bytes(bpl, 1); };
    return s;
}

// The window's corners rewritten.
Bytes withWindow(Bytes b, unsigned xmin, unsigned ymin, unsigned xmax, unsigned ymax) {
    Writer w{std::move(b)};
    w.put16(4, xmin);
    w.put16(6, ymin);
    w.put16(8, xmax);
    w.put16(10, ymax);
    return w.b;
}

TEST(ImagePcx, HostileFilesFailWithAReason) {
    const Bytes good = pcxFile(flat(8, 4));
    // The last run is one longer than the picture.
    Bytes overrun = good;
    const std::size_t lastRun = 128 + 3 * 2;  // four rows, one run each
    ASSERT_EQ(overrun[lastRun], 0xC8);
    overrun[lastRun] = 0xC9;
    Writer narrow{good};
    narrow.put16(66, 4);
    Writer twoBits{good};
    twoBits.b[3] = 2;
    PcxSpec noPalette = flat(8, 4);
    noPalette.endPalette.clear();
    Writer badVersion{good};
    badVersion.b[1] = 1;

    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"cut in the header", cut(good, 100), Failure::Truncated},
        {"cut in the rows, no palette", cut(pcxFile(noPalette), 128 + 5), Failure::Truncated},
        {"cut in the rows, palette cut off", cut(good, 128 + 5), Failure::Truncated},
        {"cut in the last row", cut(pcxFixtures()[6].bytes, pcxFixtures()[6].bytes.size() - 3),
         Failure::Truncated},
        {"wider than the limit", withWindow(good, 0, 0, 10000, 3), Failure::TooLarge},
        {"w * h * 4 beyond 32 bits", withWindow(good, 0, 0, 65535, 65535), Failure::TooLarge},
        {"an empty window", withWindow(good, 5, 0, 4, 3), Failure::NoPixels},
        {"a run past the picture's end", overrun, Failure::Corrupt},
        {"rows shorter than the picture", narrow.b, Failure::Corrupt},
        {"2 bits a pixel", twoBits.b, Failure::Unsupported},
        {"version 1 is no PCX", badVersion.b, Failure::UnknownFormat},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

}  // namespace
