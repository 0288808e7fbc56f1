// Every valid fixture, cut short and with bytes changed: every decoder must
// come back with a picture within the limits or a failure with a reason,
// never crash or read beyond its data (the sanitizer builds check that).
#include <gtest/gtest.h>

#include <chrono>

#include "tests/runtime/image_check.h"

namespace {

using namespace imgtest;

std::vector<Fixture> allFixtures() {
    std::vector<Fixture> all;
    for (auto make : {pngFixtures, jpegFixtures, gifFixtures, bmpFixtures, icoFixtures, pcxFixtures,
                      metafileFixtures})
        for (Fixture& f : make()) all.push_back(std::move(f));
    return all;
}

void expectSoundAs(const rt::image::Decoded& d, const std::string& what) {
    if (d.ok()) {
        ASSERT_GT(d.image.width, 0) << what;
        ASSERT_GT(d.image.height, 0) << what;
        ASSERT_LE(d.image.width, rt::image::MaxSide) << what;
        ASSERT_LE(d.image.height, rt::image::MaxSide) << what;
        ASSERT_TRUE(d.image.pixels) << what;
        ASSERT_EQ(d.image.pixels->size(), std::size_t(d.image.width) * d.image.height * 4) << what;
    } else {
        ASSERT_FALSE(d.reason.empty()) << what;
        ASSERT_FALSE(d.image.pixels) << what;
    }
}

// Decoded whole, and for a box of a pixel (a JPEG then reduced to 1/8).
void expectSound(const Bytes& b, const std::string& what) {
    expectSoundAs(decode(b), what);
    const rt::image::Decoded small =
        rt::image::decodeMemoryFor(std::span<const std::uint8_t>(b.data(), b.size()), {}, 1, 1);
    expectSoundAs(small, what + " for a small box");
    if (small.ok()) {
        ASSERT_GE(small.storedWidth, small.image.width) << what;
        ASSERT_GE(small.storedHeight, small.image.height) << what;
    }
}

// A small fixed generator, so a failure is the same on every run.
struct Random {
    std::uint32_t state;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

TEST(ImageFuzz, DamagedFixturesNeverCrash) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Fixture> fixtures = allFixtures();
    ASSERT_GE(fixtures.size(), 40u);
    Random random{12345};
    std::size_t runs = 0;
    for (const Fixture& f : fixtures) {
        const Bytes& good = f.bytes;
        // Every length near the start, where the headers are, then a spread.
        for (std::size_t n = 0; n < good.size(); n += n < 96 ? 1 : 1 + good.size() / 32) {
            expectSound(cut(good, n), f.name + " cut to " + std::to_string(n));
            ++runs;
        }
        // Each header byte changed in a few ways; the rest at random places.
        for (std::size_t i = 0; i < good.size() && i < 96; ++i)
            for (std::uint8_t change : {0xFF, 0x01}) {
                Bytes b = good;
                b[i] ^= change;
                expectSound(b,
                            f.name + " byte " + std::to_string(i) + " ^ " + std::to_string(change));
                ++runs;
            }
        for (int k = 0; k < 80; ++k) {
            Bytes b = good;
            for (int j = 0, n = 1 + random.next() % 4; j < n; ++j)
                b[random.next() % b.size()] = static_cast<std::uint8_t>(random.next());
            expectSound(b, f.name + " random change " + std::to_string(k));
            ++runs;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu damaged files in %.2f s\n", runs, seconds);
}

}  // namespace
