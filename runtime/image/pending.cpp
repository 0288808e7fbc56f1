#include "runtime/image/internal.h"

namespace rt::image::detail {

Image decodeWmf(Bytes) {
    fail(Failure::Unsupported, "WMF not yet read");
}
Image decodeEmf(Bytes) {
    fail(Failure::Unsupported, "EMF not yet read");
}

}  // namespace rt::image::detail
