// WMF and EMF: the bitmap a metafile carries, or no picture.
#include <gtest/gtest.h>

#include "tests/runtime/image_check.h"

namespace {

using namespace imgtest;
using rt::image::Failure;

TEST(ImageMetafile, TheBitmapOfTheFirstRecordCarryingOneIsShown) {
    for (const Fixture& f : metafileFixtures()) expectPixels(f);
}

TEST(ImageMetafile, HostileMetafilesFailWithAReason) {
    const Bytes dib = packedDib(smallDib(4, 4, 24));
    const Bytes good = wmfFile({wmfStretchDib(dib)}, false);
    constexpr std::size_t first = 18;  // the first record, after the header
    Writer beyond{good};
    beyond.put32(first, 0x10000);
    Writer tiny{good};
    tiny.put32(first, 0);
    Writer hd{dib};
    hd.put32(4, 20000);
    const Bytes emf = emfFile({emfStretchDiBits(smallDib(4, 4, 24))});
    constexpr std::size_t record = 88;
    Writer emfOffBeyond{emf};
    emfOffBeyond.put32(record + 48, 0x7FFFFFF0);
    Writer emfCbBeyond{emf};
    emfCbBeyond.put32(record + 60, 0xFFFFFFFF);
    Writer emfOdd{emf};
    emfOdd.put32(record + 4, 90);
    Writer emfZero{emf};
    emfZero.put32(record + 4, 0);
    Writer emfUsage{emf};
    emfUsage.put32(record + 64, 1);

    struct Case {
        const char* what;
        Bytes bytes;
        Failure failure;
    } cases[] = {
        {"wmf cut in the header", cut(good, 10), Failure::Truncated},
        {"wmf cut in the bitmap", cut(good, good.size() - 20), Failure::Truncated},
        {"wmf record beyond the end", beyond.b, Failure::Truncated},
        {"wmf record of no size", tiny.b, Failure::Corrupt},
        {"wmf bitmap too wide", wmfFile({wmfStretchDib(hd.b)}, true), Failure::TooLarge},
        {"wmf bitmap's rows short", wmfFile({wmfStretchDib(cut(dib, dib.size() - 12))}, false),
         Failure::Truncated},
        {"wmf palette-index colours", wmfFile({wmfStretchDib(dib, 1)}, false),
         Failure::Unsupported},
        {"wmf without a bitmap", wmfFile({wmfRecord(0x020B, {0, 0, 0, 0})}, true),
         Failure::NoBitmap},
        {"emf cut in the header", cut(emf, 60), Failure::Truncated},
        {"emf bitmap header beyond its record", emfOffBeyond.b, Failure::Truncated},
        {"emf rows longer than the record", emfCbBeyond.b, Failure::Truncated},
        {"emf record of an odd size", emfOdd.b, Failure::Corrupt},
        {"emf record of no size", emfZero.b, Failure::Corrupt},
        {"emf palette-index colours", emfUsage.b, Failure::Unsupported},
        {"emf without a bitmap", emfFile({}), Failure::NoBitmap},
    };
    for (const Case& c : cases) expectFailure(c.bytes, c.failure, c.what);
}

}  // namespace
