#pragma once
// Checks shared by the decoder tests.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "runtime/image/image.h"
#include "tests/runtime/image_fixtures.h"

namespace imgtest {

inline rt::image::Decoded decode(const Bytes& b, std::string_view name = {}) {
    return rt::image::decodeMemory(std::span<const std::uint8_t>(b.data(), b.size()), name);
}

inline std::string hex(std::uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%08X", v);
    return s;
}

// Every pixel of the fixture decodes to its colour (within the tolerance).
inline void expectPixels(const Fixture& f) {
    SCOPED_TRACE(f.name);
    const rt::image::Decoded d = decode(f.bytes);
    ASSERT_TRUE(d.ok()) << d.reason;
    ASSERT_EQ(d.image.width, f.width);
    ASSERT_EQ(d.image.height, f.height);
    ASSERT_EQ(d.image.pixels->size(), std::size_t(f.width) * f.height * 4);
    int wrong = 0;
    for (int y = 0; y < f.height && wrong < 5; ++y)
        for (int x = 0; x < f.width && wrong < 5; ++x) {
            const std::uint32_t got = d.image.pixel(x, y), want = f.expected(x, y);
            bool near = true;
            for (int shift = 0; shift < 32; shift += 8) {
                const int a = got >> shift & 0xFF, b = want >> shift & 0xFF;
                if (std::abs(a - b) > f.tolerance) near = false;
            }
            if (!near) {
                ++wrong;
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << hex(got) << ", not "
                              << hex(want);
            }
        }
}

inline void expectFailure(const Bytes& b, rt::image::Failure failure, const std::string& what) {
    SCOPED_TRACE(what);
    const rt::image::Decoded d = decode(b);
    EXPECT_FALSE(d.ok());
    EXPECT_EQ(rt::image::failureName(d.failure), std::string(rt::image::failureName(failure)))
        << d.reason;
    EXPECT_FALSE(d.reason.empty());
    EXPECT_FALSE(d.image.pixels);
}

inline Bytes cut(Bytes b, std::size_t size) {
    b.resize(std::min(size, b.size()));
    return b;
}

// Runs f with the address space held to what the process maps now and
// `more` bytes, so that any larger allocation fails.
template <class F>
inline void withAddressSpaceLeft(std::size_t more, F f) {
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &old), 0);
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    ASSERT_GT(pages, 0u);
    rlimit held = old;
    held.rlim_cur = std::min<rlim_t>(old.rlim_max, pages * ::sysconf(_SC_PAGESIZE) + more);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &held), 0);
    f();
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &old), 0);
}

}  // namespace imgtest
