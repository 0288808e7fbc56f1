// What the Qt display draws of a picture control: the view's pixels in the
// rectangle the view gives, nothing where it gives none.
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <fstream>
#include <vector>

#include "tests/qt/qt_harness.h"
#include "tests/support/temp_dir.h"

using namespace qttest;

namespace {

class QtPictureTest : public QtTest {};

// A 24-bit BMP of w x h: the left half red, the right half blue.
void writeHalves(const char* path, int w, int h) {
    const int row = (w * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> b;
    auto u16 = [&](unsigned v) {
        b.push_back(v & 0xFF);
        b.push_back(v >> 8 & 0xFF);
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    b.push_back('B');
    b.push_back('M');
    u32(54 + row * h);
    u32(0);
    u32(54);
    u32(40);
    u32(w);
    u32(h);
    u16(1);
    u16(24);
    for (int i = 0; i < 6; ++i) u32(0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool left = x < w / 2;
            b.push_back(left ? 0 : 255);  // blue, green, red
            b.push_back(0);
            b.push_back(left ? 255 : 0);
        }
        for (int p = w * 3; p < row; ++p) b.push_back(0);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

bool near(QRgb p, int r, int g, int b) {
    return std::abs(qRed(p) - r) < 40 && std::abs(qGreen(p) - g) < 40 && std::abs(qBlue(p) - b) < 40;
}

TEST_F(QtPictureTest, DrawsThePixelsFittedIntoTheControl) {
    testsupport::TempDir dir;
    writeHalves("halves.bmp", 40, 40);
    openFrame();
    const int id = open("Picture", {}, [](rt::Window& w) {
        rt::Control c;
        c.kind = rt::ControlKind::Image;
        c.name = "?Image1";
        c.at = {4, 4, 80, 40};
        c.text = "halves.bmp";
        w.add(c);
    });
    QWidget* widget = nullptr;
    QImage shot;
    // The file is read off the window's thread and drawn with a later view.
    ASSERT_TRUE(pumpUntil([&] {
        widget = backend_->probe().widget(id, 1);
        if (!widget || !widget->property("rtShown").toBool()) return false;
        shot = widget->grab().toImage();
        return true;
    }));
    // A square in a wide box: as high as the box, centred across.
    const QRect drawn = widget->property("rtDrawn").toRect();
    EXPECT_EQ(drawn.height(), widget->height());
    EXPECT_NEAR(drawn.width(), widget->height(), 1);
    EXPECT_NEAR(drawn.left(), (widget->width() - drawn.width()) / 2, 1);
    const int y = drawn.center().y();
    EXPECT_TRUE(near(shot.pixel(drawn.left() + drawn.width() / 4, y), 255, 0, 0));
    EXPECT_TRUE(near(shot.pixel(drawn.left() + drawn.width() * 3 / 4, y), 0, 0, 255));
    // Beside the picture the control shows its background, not the picture.
    EXPECT_FALSE(near(shot.pixel(1, y), 255, 0, 0));
    EXPECT_FALSE(near(shot.pixel(widget->width() - 2, y), 0, 0, 255));
}

}  // namespace
