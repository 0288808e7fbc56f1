// JPEG through libjpeg-turbo: its error and warning callbacks, the scan limit.
#include "tests/fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::decodeAs(rt::image::Format::Jpeg, "fuzz.jpg", data, size);
}
