// WMF, placeable or standard: the records up to the first that carries a bitmap.
#include "tests/fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::decodeAs(rt::image::Format::Wmf, "fuzz.wmf", data, size);
}
