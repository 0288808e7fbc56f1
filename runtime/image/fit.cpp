#include "runtime/image/fit.h"

#include <algorithm>

namespace rt::image {

namespace {

int atLeastOne(std::int64_t v) {
    return static_cast<int>(std::max<std::int64_t>(v, 1));
}

Box centred(Box box, std::int64_t w, std::int64_t h) {
    const int nw = atLeastOne(w), nh = atLeastOne(h);
    return {box.x + (box.w - nw) / 2, box.y + (box.h - nh) / 2, nw, nh};
}

}  // namespace

Box resizeImage(Box box, int imageWidth, int imageHeight) {
    if (imageWidth <= 0 || imageHeight <= 0) return box;
    const std::int64_t iw = imageWidth, ih = imageHeight;
    const std::int64_t w = std::max(box.w, 0), h = std::max(box.h, 0);
    std::int64_t nw = h * iw / ih, nh = h;
    if (nw > w) {
        nw = w;
        nh = w * ih / iw;
    }
    return centred(box, nw, nh);
}

Box fitImage(Box box, int imageWidth, int imageHeight) {
    if (imageWidth <= 0 || imageHeight <= 0) return {box.x, box.y, 0, 0};
    const std::int64_t iw = imageWidth, ih = imageHeight;
    const std::int64_t w = std::max(box.w, 0), h = std::max(box.h, 0);
    std::int64_t nw, nh;
    if (iw * h <= ih * w) {  // narrower in proportion than the box: its height fills
        nh = h;
        nw = (2 * iw * h + ih) / (2 * ih);
    } else {
        nw = w;
        nh = (2 * ih * w + iw) / (2 * iw);
    }
    return centred(box, nw, nh);
}

}  // namespace rt::image
