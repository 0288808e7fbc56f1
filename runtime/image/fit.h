#pragma once
// Where a picture goes in its box: one piece of arithmetic for both displays
// and the reports. Boxes are in whatever unit the caller works in (dialog
// units, pixels, 1/1000 inch); image sizes are in pixels.
#include <cstdint>

namespace rt::image {

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// The member form's fitting: the picture control's new place and size, the
// control then drawing the image stretched over it. With r = image width /
// image height, the width becomes h * r cut to an integer; when that is wider
// than the box, the width is the box's and the height w / r cut to an
// integer. The result is centred (half the spare room, cut) and each side is
// at least 1. No image (a side of 0) leaves the box as it is. Worked in exact
// integers: a 47 x 82 picture in a box 82 high is 47 wide, where
// 82 * (47.0 / 82) cut to an integer would give 46.
Box resizeImage(Box box, int imageWidth, int imageHeight);

// The lists' and the record card's drawing: the largest rectangle of the
// image's proportions inside the box (scaled up or down, sides rounded to the
// nearest unit, at least 1), centred; never cropped, never distorted. No
// image gives an empty Box.
Box fitImage(Box box, int imageWidth, int imageHeight);

}  // namespace rt::image
