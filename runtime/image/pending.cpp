#include "runtime/image/internal.h"

namespace rt::image::detail {

Image decodeBmp(Bytes) {
    fail(Failure::Unsupported, "BMP not yet read");
}
Image decodeIco(Bytes) {
    fail(Failure::Unsupported, "ICO not yet read");
}
Image decodePcx(Bytes) {
    fail(Failure::Unsupported, "PCX not yet read");
}
Image decodeWmf(Bytes) {
    fail(Failure::Unsupported, "WMF not yet read");
}
Image decodeEmf(Bytes) {
    fail(Failure::Unsupported, "EMF not yet read");
}
bool isIco(Bytes b) {
    return b.size() >= 6 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0 && (b[4] | b[5]);
}

}  // namespace rt::image::detail
