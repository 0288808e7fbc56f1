// BMP files: the headers, colour tables, bit masks and RLE of our own decoder.
#include "tests/fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::decodeAs(rt::image::Format::Bmp, "fuzz.bmp", data, size);
}
