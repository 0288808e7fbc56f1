#include "runtime/image/internal.h"

namespace rt::image::detail {

Image decodePcx(Bytes) {
    fail(Failure::Unsupported, "PCX not yet read");
}
Image decodeWmf(Bytes) {
    fail(Failure::Unsupported, "WMF not yet read");
}
Image decodeEmf(Bytes) {
    fail(Failure::Unsupported, "EMF not yet read");
}

}  // namespace rt::image::detail
