#pragma once
// What every fuzz target checks: a file of the target's format comes back
// from decodeMemory, the program's own entry, as a picture within the
// limits or as a failure with a reason. A crash, a sanitizer report or a
// broken promise ends the run with the input that caused it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "runtime/image/image.h"

namespace fuzz {

inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// name: its extension picks the decoder when no signature matches, as a
// photo's path does.
inline int decodeAs(rt::image::Format format, const char* name, const std::uint8_t* data,
                    std::size_t size) {
    namespace img = rt::image;
    const std::span<const std::uint8_t> bytes(data, size);
    // An input another decoder would take belongs to that decoder's target:
    // -1 keeps it out of this corpus.
    if (img::formatOf(bytes, name) != format) return -1;
    const img::Decoded d = img::decodeMemory(bytes, name);
    check(d.format == format, "the format differs from formatOf's");
    if (d.ok()) {
        check(d.image.width > 0 && d.image.height > 0, "a picture without pixels");
        check(d.image.width <= img::MaxSide && d.image.height <= img::MaxSide,
              "a picture beyond MaxSide");
        check(d.image.pixels != nullptr, "a picture without its pixels");
        check(d.image.pixels->size() == std::size_t(d.image.width) * d.image.height * 4,
              "pixels of another size than the picture");
        check(d.reason.empty(), "a picture with a reason for failing");
    } else {
        check(!d.reason.empty(), "a failure without a reason");
        check(d.image.pixels == nullptr && d.image.width == 0, "a failure with a picture");
    }
    return 0;
}

}  // namespace fuzz
