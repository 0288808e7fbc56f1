// The fuzz corpus, tests/fuzz/corpus/<format>/, read as photos are: bad/
// (fixtures cut and changed, headers that claim too much) shows no picture
// and says why, good/ (the fixtures themselves) shows its picture, found/
// (what the fuzzers kept) comes back sound either way. Under `make
// test-asan` this is the fuzzers' regression run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/image/image.h"

#ifndef CLANOVI_FUZZ_CORPUS
#error "CLANOVI_FUZZ_CORPUS: the corpus folder, set by tests/CMakeLists.txt"
#endif

namespace {

namespace fs = std::filesystem;
namespace img = rt::image;

struct Folder {
    const char* name;
    img::Format format;
};
constexpr Folder Formats[] = {
    {"png", img::Format::Png}, {"jpeg", img::Format::Jpeg}, {"gif", img::Format::Gif},
    {"bmp", img::Format::Bmp}, {"ico", img::Format::Ico},   {"pcx", img::Format::Pcx},
    {"wmf", img::Format::Wmf}, {"emf", img::Format::Emf},
};

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (fs::is_directory(dir))
        for (const fs::directory_entry& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) files.push_back(e.path());
    return files;
}

// A picture within the limits with all its pixels, or a failure with a
// reason and nothing else; and the decoder meant for the folder's format.
void expectSound(const img::Decoded& d, img::Format format) {
    EXPECT_STREQ(img::formatName(d.format), img::formatName(format));
    if (d.ok()) {
        ASSERT_TRUE(d.image.pixels);
        EXPECT_GT(d.image.width, 0);
        EXPECT_GT(d.image.height, 0);
        EXPECT_LE(d.image.width, img::MaxSide);
        EXPECT_LE(d.image.height, img::MaxSide);
        EXPECT_EQ(d.image.pixels->size(), std::size_t(d.image.width) * d.image.height * 4);
    } else {
        EXPECT_FALSE(d.reason.empty()) << img::failureName(d.failure);
        EXPECT_FALSE(d.image.pixels);
        EXPECT_EQ(d.image.width, 0);
    }
}

TEST(ImageCorpus, DamagedFilesShowNoPictureAndSayWhy) {
    for (const Folder& f : Formats) {
        const std::vector<fs::path> bad = filesIn(fs::path(CLANOVI_FUZZ_CORPUS) / f.name / "bad");
        // An empty or missing folder would pass every check below.
        EXPECT_GE(bad.size(), 20u)
            << f.name << ": the corpus is missing from " << CLANOVI_FUZZ_CORPUS;
        for (const fs::path& p : bad) {
            SCOPED_TRACE(p.string());
            const img::Decoded d = img::decodeFile(p.string());
            expectSound(d, f.format);
            EXPECT_FALSE(d.ok()) << "shows a " << d.image.width << " x " << d.image.height
                                 << " picture";
            EXPECT_NE(d.failure, img::Failure::CannotOpen) << d.reason;
        }
    }
}

TEST(ImageCorpus, TheValidFilesShowTheirPictures) {
    for (const Folder& f : Formats) {
        const std::vector<fs::path> good = filesIn(fs::path(CLANOVI_FUZZ_CORPUS) / f.name / "good");
        EXPECT_FALSE(good.empty()) << f.name;
        for (const fs::path& p : good) {
            SCOPED_TRACE(p.string());
            const img::Decoded d = img::decodeFile(p.string());
            expectSound(d, f.format);
            EXPECT_TRUE(d.ok()) << d.reason;
        }
    }
}

// What the fuzzers kept may decode or not; it must not crash, read beyond
// its data or break the promises of a Decoded.
TEST(ImageCorpus, WhatTheFuzzersKeptComesBackSound) {
    for (const Folder& f : Formats)
        for (const fs::path& p : filesIn(fs::path(CLANOVI_FUZZ_CORPUS) / f.name / "found")) {
            SCOPED_TRACE(p.string());
            expectSound(img::decodeFile(p.string()), f.format);
        }
}

}  // namespace
