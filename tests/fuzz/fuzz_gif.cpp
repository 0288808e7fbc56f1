// GIF through giflib: the records before the first frame, the frame, the screen.
#include "tests/fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::decodeAs(rt::image::Format::Gif, "fuzz.gif", data, size);
}
