// What the Qt display draws of a picture control: the view's pixels in the
// rectangle the view gives, nothing where it gives none.
#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
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
    return std::abs(qRed(p) - r) < 40 && std::abs(qGreen(p) - g) < 40 &&
           std::abs(qBlue(p) - b) < 40;
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

// Large photos within the limits (8000 x 8000, a quarter of a gigabyte
// decoded) are decoded and scaled off the GUI thread: keys that come while
// they load are each taken and shown at once, and the last photo asked for
// is drawn in the end.
TEST_F(QtPictureTest, KeysAreHandledAtOnceWhileLargePhotosLoad) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr auto Limit = std::chrono::milliseconds(150);
#else
    constexpr auto Limit = std::chrono::milliseconds(50);
#endif
    testsupport::TempDir dir;
    for (int n = 0; n < 3; ++n) {
        QImage big(8000, 8000, QImage::Format_Mono);
        big.fill(0);
        for (int y = n * 100; y < 8000; y += 400)
            for (int x = 0; x < 8000; ++x) big.setPixel(x, y, 1);
        ASSERT_TRUE(big.save(QString("big%1.png").arg(n)));
    }
    openFrame();
    rt::startProcedure([] {
        rt::WindowDesc d;
        d.title = "Photos 0";
        d.at = {0, 0, 200, 120};
        rt::Window w(d);
        rt::Control c;
        c.kind = rt::ControlKind::Image;
        c.name = "?Image1";
        c.at = {4, 4, 111, 82};
        w.add(c);
        w.alert(rt::key::Down);
        w.open();
        int n = 0;
        while (w.accept())
            if (w.event() == rt::Event::AlertKey) {
                ++n;
                w.setTitle("Photos " + std::to_string(n));
                w.setPicture(1, "big" + std::to_string(n % 3) + ".png");
            }
    });
    int id = 0;
    ASSERT_TRUE(pumpUntil([&] {
        for (auto& v : rt::views())
            if (v->title == "Photos 0") id = v->id;
        return id && rt::waitIdle(0);
    }));
    settle();
    // Keys from another thread, as they come from the user whatever the GUI
    // thread is doing: each as the photo the key before it asked for has
    // been read and is on its way to the display. The GUI thread notes when
    // it has shown each key's effect (the title the window gives it).
    constexpr int Keys = 6;
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> sent(Keys + 1), shown(Keys + 1);
    auto photoRead = [&] {
        const rt::ViewPtr v = rt::view(id);
        const rt::ImagePayload* p = v ? v->controls.at(0).image() : nullptr;
        return p && p->loaded;
    };
    std::thread user([&] {
        for (int n = 1; n <= Keys; ++n) {
            const auto until = Clock::now() + std::chrono::seconds(5);
            while (n > 1 && !photoRead() && Clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            sent[n] = Clock::now();
            rt::Input down{rt::Input::Kind::Key};
            down.key = rt::key::Down;
            rt::input(id, down);
        }
    });
    int seen = 0;
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (seen < Keys && Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const rt::ViewPtr v = backend_->probe().lastView(id);
        const int now = v ? std::atoi(v->title.c_str() + std::string("Photos ").size()) : 0;
        for (; seen < now; ++seen) shown[seen + 1] = Clock::now();
    }
    user.join();
    ASSERT_EQ(seen, Keys);
    for (int n = 1; n <= Keys; ++n)
        EXPECT_LT(shown[n] - sent[n], Limit)
            << "key " << n << " shown after "
            << std::chrono::duration<double, std::milli>(shown[n] - sent[n]).count() << " ms";
    // The last one asked for shows, fitted into its box.
    QWidget* picture = backend_->probe().widget(id, 1);
    ASSERT_TRUE(picture);
    // (A full decode of such a file takes seconds under the sanitizers.)
    bool drawnAtLast = false;
    for (int tries = 0; tries < 12 && !drawnAtLast; ++tries)
        drawnAtLast =
            pumpUntil([&] { return rt::waitIdle(0) && picture->property("rtShown").toBool(); });
    ASSERT_TRUE(drawnAtLast);
    EXPECT_EQ(picture->property("rtFile").toString(), "big0.png");
    const QRect drawn = picture->property("rtDrawn").toRect();
    EXPECT_EQ(drawn.height(), picture->height());
    EXPECT_EQ(drawn.width(), picture->height());
    rt::input(id, rt::Input{rt::Input::Kind::Close});
}

}  // namespace
