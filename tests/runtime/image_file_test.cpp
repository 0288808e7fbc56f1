// Reading picture files: only regular files within the size limit, the
// format by content, and where a picture goes in its box.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/image/fit.h"
#include "tests/runtime/image_check.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace imgtest;
using rt::image::Box;
using rt::image::Failure;
using rt::image::Format;

void write(const std::string& path, const Bytes& b) {
    testsupport::writeFile(path, std::string(b.begin(), b.end()));
}

TEST(ImageFile, OnlyARegularFileWithinTheLimitIsRead) {
    testsupport::TempDir dir;
    const Bytes png = pngFixtures()[0].bytes;
    write("photo.png", png);
    std::filesystem::create_symlink("photo.png", "link.png");
    std::filesystem::create_directory("folder.png");
    ASSERT_EQ(::mkfifo("pipe.png", 0600), 0);
    std::filesystem::create_symlink("pipe.png", "pipelink.png");
    std::filesystem::create_symlink("nowhere.png", "dangling.png");
    write("empty.png", {});
    {  // one byte beyond the limit, as a sparse file
        const int fd = ::open("huge.png", O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, rt::image::MaxFileBytes + 1), 0);
        ::close(fd);
    }

    struct Case {
        const char* path;
        Failure failure;
    } cases[] = {
        {"photo.png", Failure::None},
        {"link.png", Failure::None},  // a link to a regular file is followed
        {"missing.png", Failure::CannotOpen},
        {"dangling.png", Failure::CannotOpen},
        {"folder.png", Failure::NotAFile},
        {"pipe.png", Failure::NotAFile},  // opened without waiting for a writer
        {"pipelink.png", Failure::NotAFile},
        {"/dev/zero", Failure::NotAFile},
        {"empty.png", Failure::EmptyFile},
        {"huge.png", Failure::FileTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const rt::image::Decoded d = rt::image::decodeFile(c.path);
        EXPECT_EQ(rt::image::failureName(d.failure), std::string(rt::image::failureName(c.failure)))
            << d.reason;
        if (c.failure == Failure::None) {
            EXPECT_EQ(d.image.width, 7);
            EXPECT_EQ(d.image.pixel(0, 0), Palette4[0]);
        } else {
            EXPECT_FALSE(d.reason.empty());
        }
    }
}

TEST(ImageFile, TheContentChoosesTheFormatThenTheExtension) {
    testsupport::TempDir dir;
    const Bytes png = pngFixtures()[0].bytes, jpeg = jpegFixtures()[0].bytes,
                gif = gifFixtures()[0].bytes;
    const Bytes junk = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
    struct Case {
        const char* path;
        Bytes bytes;
        Format format;
        bool ok;
    } cases[] = {
        {"a.jpg", png, Format::Png, true},           {"B.GIF", jpeg, Format::Jpeg, true},
        {"c.png", gif, Format::Gif, true},           {"noextension", png, Format::Png, true},
        {"d.bmp", junk, Format::Bmp, false},         {"e.PCX", junk, Format::Pcx, false},
        {"f.txt", junk, Format::Unknown, false},     {"g", junk, Format::Unknown, false},
        {"dir.png/h", junk, Format::Unknown, false},
    };
    std::filesystem::create_directory("dir.png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        write(c.path, c.bytes);
        const rt::image::Decoded d = rt::image::decodeFile(c.path);
        EXPECT_EQ(rt::image::formatName(d.format), std::string(rt::image::formatName(c.format)));
        EXPECT_EQ(d.ok(), c.ok) << d.reason;
        if (c.format == Format::Unknown) {
            EXPECT_EQ(d.failure, Failure::UnknownFormat);
        }
    }
}

// A picture for a box smaller than itself: a JPEG comes back reduced while
// it decodes, never below its fit in the box, with its own size kept; the
// other formats decode whole.
TEST(ImageFile, APictureForASmallBoxIsReducedNoFurtherThanItsFit) {
    testsupport::TempDir dir;
    write("rgb.jpg", makeJpeg({64, 32, JCS_RGB, false}));
    write("progressive.jpg", makeJpeg({64, 32, JCS_RGB, true}));
    write("cmyk.jpg", makeJpeg({64, 32, JCS_CMYK, false}));
    const Fixture png = pngFixtures()[0];
    write("photo.png", png.bytes);
    struct Case {
        const char* file;
        int boxW, boxH, w, h;
    } cases[] = {
        {"rgb.jpg", 0, 0, 64, 32},      // no box
        {"rgb.jpg", 8, 100, 8, 4},      // 1/8, by the width
        {"rgb.jpg", 100, 4, 8, 4},      // 1/8, by the height
        {"rgb.jpg", 9, 100, 16, 8},     // just over 1/8
        {"rgb.jpg", 32, 16, 32, 16},    // 1/2
        {"rgb.jpg", 33, 100, 64, 32},   // just over 1/2
        {"rgb.jpg", 640, 320, 64, 32},  // drawn larger than it is
        {"progressive.jpg", 8, 4, 8, 4},
        {"cmyk.jpg", 8, 4, 8, 4},
        {"photo.png", 1, 1, png.width, png.height},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " in " + std::to_string(c.boxW) + " x " +
                     std::to_string(c.boxH));
        const rt::image::Decoded d = rt::image::decodeFileFor(c.file, c.boxW, c.boxH);
        ASSERT_TRUE(d.ok()) << d.reason;
        EXPECT_EQ(d.image.width, c.w);
        EXPECT_EQ(d.image.height, c.h);
        ASSERT_EQ(d.image.pixels->size(), std::size_t(c.w) * c.h * 4);
        if (c.file == std::string("photo.png")) {
            EXPECT_EQ(d.storedWidth, png.width);
            continue;
        }
        EXPECT_EQ(d.storedWidth, 64);
        EXPECT_EQ(d.storedHeight, 32);
        // Every 8 x 8 block is flat, so each reduced pixel is its block's colour.
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const std::uint32_t got = d.image.pixel(x, y),
                                    want = jpegBlock(x * 64 / c.w, y * 32 / c.h);
                for (int shift = 0; shift < 32; shift += 8)
                    if (std::abs(int(got >> shift & 0xFF) - int(want >> shift & 0xFF)) > 4) {
                        if (++wrong <= 3)
                            ADD_FAILURE()
                                << x << "," << y << ": " << hex(got) << " not " << hex(want);
                        break;
                    }
            }
    }
}

TEST(ImageFit, TheFormsFittingKeepsProportionsInExactIntegers) {
    const Box box{10, 20, 111, 82};
    struct Case {
        const char* what;
        Box box;
        int iw, ih;
        Box fitted;
    } cases[] = {
        {"4:3 takes the height, centred across", box, 640, 480, {11, 20, 109, 82}},
        {"wide takes the width, centred down", box, 1000, 100, {10, 55, 111, 11}},
        {"the box's own proportions fill it", box, 222, 164, {10, 20, 111, 82}},
        {"exact where floating point cuts one less", box, 47, 82, {42, 20, 47, 82}},
        {"a line of 1000 x 1 keeps a height of 1", box, 1000, 1, {10, 60, 111, 1}},
        {"a column of 1 x 1000 keeps a width of 1", box, 1, 1000, {65, 20, 1, 82}},
        {"no image keeps the box", box, 0, 0, box},
        {"no height keeps the box", box, 50, 0, box},
        {"a second picture fits the box the first left",
         {11, 20, 109, 82},
         1000,
         100,
         {11, 56, 109, 10}},
        {"a box of no width", {5, 5, 0, 40}, 10, 10, {5, 24, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Box got = rt::image::resizeImage(c.box, c.iw, c.ih);
        EXPECT_EQ(got, c.fitted) << got.x << "," << got.y << " " << got.w << "x" << got.h;
    }
}

TEST(ImageFit, TheListsScaleUpOrDownIntoTheBoxCentred) {
    const Box box{100, 50, 200, 100};
    struct Case {
        const char* what;
        int iw, ih;
        Box drawn;
    } cases[] = {
        {"a small square grows to the height", 10, 10, {150, 50, 100, 100}},
        {"a large wide picture shrinks to the width", 4000, 1000, {100, 75, 200, 50}},
        {"the box's proportions fill it", 20, 10, {100, 50, 200, 100}},
        {"sides round to the nearest unit", 3, 2, {125, 50, 150, 100}},
        {"rounding up", 299, 100, {100, 66, 200, 67}},
        {"a line keeps a height of 1", 100000, 1, {100, 99, 200, 1}},
        {"no image draws nothing", 0, 5, {100, 50, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Box got = rt::image::fitImage(box, c.iw, c.ih);
        EXPECT_EQ(got, c.drawn) << got.x << "," << got.y << " " << got.w << "x" << got.h;
        if (got.w > 0) {  // never outside the box
            EXPECT_GE(got.x, box.x);
            EXPECT_GE(got.y, box.y);
            EXPECT_LE(got.x + got.w, box.x + box.w);
            EXPECT_LE(got.y + got.h, box.y + box.h);
        }
    }
}

}  // namespace
