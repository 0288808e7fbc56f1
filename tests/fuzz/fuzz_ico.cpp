// Icons: the directory, the choice of entry, DIB entries with their masks, PNG entries.
#include "tests/fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::decodeAs(rt::image::Format::Ico, "fuzz.ico", data, size);
}
