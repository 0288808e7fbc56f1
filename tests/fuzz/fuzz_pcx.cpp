// PCX: the header, the palettes and the run-length rows.
#include "tests/fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::decodeAs(rt::image::Format::Pcx, "fuzz.pcx", data, size);
}
