// Picture controls: the file read off the window's thread and shown with a
// later redraw, never a picture of a path the control no longer names; the
// two ways of drawing; what shows nothing; the path rule; the file dialog
// putting the current directory back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "runtime/image/fit.h"
#include "runtime/image/image.h"
#include "runtime/threads.h"
#include "tests/runtime/image_fixtures.h"
#include "tests/runtime/window_harness.h"
#include "tests/support/temp_dir.h"

using namespace windowtest;

namespace {

namespace fs = std::filesystem;

constexpr int F2 = rt::key::F1 + 1, F3 = rt::key::F1 + 2;

void writeBytes(const fs::path& p, const imgtest::Bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A w x h picture of flat blocks, as a PNG.
imgtest::Bytes png(int w, int h) {
    imgtest::PngSpec s;
    s.width = w;
    s.height = h;
    s.samples = [](int x, int y) {
        const std::uint32_t c = imgtest::Palette4[imgtest::index4(x / 4, y / 4)];
        return std::vector<unsigned>{c >> 24, c >> 16 & 0xFF, c >> 8 & 0xFF};
    };
    return imgtest::makePng(s);
}

// Every view drawn, and whether one showed a file it must not.
struct Recorder : NullBackend {
    void show(rt::ViewPtr v) override {
        std::lock_guard g(m);
        for (const auto& c : v->controls)
            if (const auto* p = c.image();
                p && p->loaded && forbidden.count(fs::path(p->file).filename().string()))
                ++forbiddenShown;
    }
    std::mutex m;
    std::set<std::string> forbidden;  // files no view may show any more
    int forbiddenShown = 0;
};

class PictureControlTest : public ::testing::Test {
  protected:
    void SetUp() override { rt::setBackend(&backend_); }
    void TearDown() override {
        if (id_) send(id_, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        rt::setBackend(nullptr);
        rt::resetWindows();
    }
    // A window with one picture control (1) at box, and a button (2);
    // onKey runs on the window's thread for each alerted key.
    void run(rt::Rect box, rt::ImagePayload::Mode mode,
             std::function<void(rt::Window&, int key)> onKey) {
        rt::startProcedure([box, mode, onKey] {
            rt::WindowDesc d;
            d.title = "Picture";
            d.at = {0, 0, 300, 200};
            rt::Window w(d);
            rt::Control pic;
            pic.kind = rt::ControlKind::Image;
            pic.name = "?Image1";
            pic.at = box;
            pic.pictureMode = mode;
            w.add(pic);
            w.add(button("?B", "B"));
            for (int k = rt::key::F1; k < rt::key::F1 + 12; ++k) w.alert(k);
            w.open();
            while (w.accept())
                if (w.event() == rt::Event::AlertKey) onKey(w, w.keyCode());
        });
        auto v = waitWindow("Picture");
        ASSERT_TRUE(v);
        id_ = v->id;
    }
    // The picture as the window's latest view shows it.
    rt::ImagePayload picture() {
        auto v = now(id_);
        return v ? *v->controls.at(0).image() : rt::ImagePayload{};
    }
    rt::Rect place() { return now(id_)->controls.at(0).at; }

    testsupport::TempDir dir_;
    Recorder backend_;
    int id_ = 0;
};

TEST_F(PictureControlTest, APictureShowsOnceReadFittedOrStretched) {
    writeBytes("wide.png", png(64, 32));
    for (auto mode : {rt::ImagePayload::Mode::Fit, rt::ImagePayload::Mode::Stretch}) {
        SCOPED_TRACE(mode == rt::ImagePayload::Mode::Fit ? "fit" : "stretch");
        const rt::Rect box{10, 20, 136, 94};
        run(box, mode, [](rt::Window& w, int) { w.setPicture(1, "wide.png   "); });
        EXPECT_FALSE(picture().loaded);
        key(id_, F2);
        const rt::ImagePayload p = picture();
        ASSERT_TRUE(p.loaded);
        EXPECT_EQ(p.path, "wide.png");
        EXPECT_EQ(p.file, "wide.png");
        EXPECT_EQ(p.width, 64);
        EXPECT_EQ(p.height, 32);
        ASSERT_TRUE(p.pixels);
        EXPECT_EQ(p.pixels->size(), 64u * 32 * 4);
        const rt::Rect want =
            mode == rt::ImagePayload::Mode::Stretch ? box : rt::Rect{10, 33, 136, 68};
        EXPECT_EQ(p.drawn, want);
        EXPECT_EQ(place(), box);  // drawing never moves the control
        send(id_, rt::Input{rt::Input::Kind::Close});
        rt::joinAllThreads();
        id_ = 0;
    }
}

// Whatever the path names, the window goes on and shows nothing: the read
// never blocks it (a FIFO without a writer) and nothing is shown of the
// picture before.
TEST_F(PictureControlTest, WhatCannotBeReadShowsNothing) {
    writeBytes("good.png", png(8, 8));
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("pipe.png", 0600), 0);
    imgtest::Bytes corrupt = png(8, 8);
    corrupt.resize(corrupt.size() / 2);
    writeBytes("cut.png", corrupt);
    writeBytes("empty.jpg", {});
    writeBytes("noise.bmp", imgtest::Bytes(300, 0x5A));
    {
        // Larger than any photo is read: the file is refused unread.
        std::ofstream huge("huge.png", std::ios::binary);
        const imgtest::Bytes head = png(8, 8);
        huge.write(reinterpret_cast<const char*>(head.data()),
                   static_cast<std::streamsize>(head.size()));
    }
    fs::resize_file("huge.png", rt::image::MaxFileBytes + 1);
    const std::string longName(5000, 'a');
    const char* paths[] = {"missing.png", "folder",     "pipe.png",      "cut.png",
                           "empty.jpg",   "noise.bmp",  "huge.png",      "C:\\GOOD.PNG",
                           "   ",         "good.png\\", longName.c_str()};
    std::atomic<int> which{0};
    run({0, 0, 50, 50}, rt::ImagePayload::Mode::Fit,
        [&](rt::Window& w, int k) { w.setPicture(1, k == F2 ? "good.png" : paths[which.load()]); });
    for (int i = 0; i < static_cast<int>(std::size(paths)); ++i) {
        SCOPED_TRACE(paths[i]);
        key(id_, F2);
        ASSERT_TRUE(picture().loaded);
        which = i;
        key(id_, F3);
        const rt::ImagePayload p = picture();
        EXPECT_FALSE(p.loaded);
        EXPECT_FALSE(p.pixels);
        EXPECT_EQ(p.drawn, rt::Rect{});
    }
}

// A new path shows nothing of the picture before; a path given while the
// read of the one before still runs: the earlier picture is never drawn,
// the later one is.
TEST_F(PictureControlTest, ALaterPathMakesAnEarlierReadMoot) {
    writeBytes("first.png", png(8, 8));
    writeBytes("big.jpg", imgtest::makeJpeg({3000, 3000, JCS_RGB, false}));
    writeBytes("small.png", png(16, 12));
    run({0, 0, 100, 100}, rt::ImagePayload::Mode::Fit, [&](rt::Window& w, int k) {
        const char* file = k == F2 ? "big.jpg" : k == F3 ? "small.png" : "first.png";
        w.setPicture(1, file);
        std::lock_guard g(backend_.m);
        // From the next view on, nothing of the paths before.
        if (k == F2) backend_.forbidden.insert("first.png");
        if (k == F3) backend_.forbidden.insert("big.jpg");
    });
    key(id_, rt::key::F1);
    ASSERT_EQ(picture().file, "first.png");
    rt::Input f2{rt::Input::Kind::Key}, f3{rt::Input::Kind::Key};
    f2.key = F2;
    f3.key = F3;
    // One after the other, without waiting: the big picture is still being
    // read when the small one is asked for.
    rt::input(id_, f2);
    rt::input(id_, f3);
    idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the big read ends
    const rt::ImagePayload p = picture();
    ASSERT_TRUE(p.loaded);
    EXPECT_EQ(p.file, "small.png");
    std::lock_guard g(backend_.m);
    EXPECT_EQ(backend_.forbiddenShown, 0);
}

// The member form's fitting: the control takes the picture's proportions
// inside its box, each side at least 1; a second picture fits into the box
// the first left; a picture that cannot be read leaves the box.
TEST_F(PictureControlTest, FittingTheBoxToThePicture) {
    writeBytes("photo.png", png(640, 480));
    writeBytes("line.png", png(1000, 1));
    writeBytes("tall.png", png(1, 1000));
    std::atomic<const char*> next{""};
    run({209, 98, 111, 82}, rt::ImagePayload::Mode::Stretch,
        [&](rt::Window& w, int) { w.setPicture(1, next.load(), true); });
    struct Step {
        const char* file;
        rt::Rect after;
    };
    const Step steps[] = {
        {"photo.png", {210, 98, 109, 82}},  // 82 * 4 / 3 = 109, centred across
        {"photo.png", {210, 98, 109, 82}},  // the same again: fitted into the box it left
        {"missing.png", {210, 98, 109, 82}}, {"line.png", {210, 138, 109, 1}},  // never 0 high
        {"tall.png", {264, 138, 1, 1}},                                         // never 0 wide
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.file);
        next = s.file;
        key(id_, F2);
        EXPECT_EQ(place(), s.after);
        const rt::ImagePayload p = picture();
        EXPECT_EQ(p.loaded, std::string(s.file) != "missing.png");
        if (p.loaded) {
            EXPECT_EQ(p.drawn, s.after);
        }
    }
}

TEST(PicturePath, StoredPathsFindTheirFiles) {
    testsupport::TempDir dir;
    fs::create_directories("Slike/Stare");
    testsupport::writeFile("foto1.jpg", "x");
    testsupport::writeFile("Slike/Stare/Žaba.png", "x");
    testsupport::writeFile("Two.png", "x");
    testsupport::writeFile("TWO.png", "x");
    const std::string abs = (dir.path() / "foto1.jpg").string();
    struct Case {
        std::string stored;  // Windows-1250
        std::optional<std::string> file;
    };
    const Case cases[] = {
        {"foto1.jpg", "foto1.jpg"},
        {"FOTO1.JPG  ", "foto1.jpg"},  // a bare upper-case name
        {"SLIKE\\STARE\\\x8e"
         "ABA.PNG",
         "Slike/Stare/Žaba.png"},  // "\" as "/", Ž matched
        {"slike/stare/\x9e"
         "aba.png",
         "Slike/Stare/Žaba.png"},  // ž
        {"two.PNG", "TWO.png"},    // several: the first in byte order
        {"Two.png", "Two.png"},    // as it stands when it is there
        {"nema.jpg", "nema.jpg"},  // missing: reading it says so
        {abs, abs},
        {"C:\\PROGRAM\\FOTO1.JPG", std::nullopt},  // another system's drive
        {"c:foto1.jpg", std::nullopt},
        {"", std::nullopt},
        {"    ", std::nullopt},
        {std::string("foto1.jpg\0x", 11), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(rt::pictureFile(c.stored), c.file);
    }
}

// Whatever the dialog did with the current directory, it is back afterwards.
TEST(FileDialog, PutsTheCurrentDirectoryBack) {
    testsupport::TempDir dir;
    fs::create_directory("elsewhere");
    struct Answering : NullBackend {
        void dialog(int id, const rt::DialogRequest& r) override {
            // The display answers from a thread of its own, after a wander.
            // Joined before the next dialog, so it never outlives the test.
            answering.emplace_back([id, r] {
                std::filesystem::current_path("elsewhere");
                rt::DialogAnswer a;
                a.path = r.file.title == "Fotos" ? "elsewhere/x.jpg" : "";
                rt::answerDialog(id, a);
            });
        }
        void join() {
            for (auto& t : answering) t.join();
            answering.clear();
        }
        std::vector<std::thread> answering;
    } backend;
    rt::setBackend(&backend);
    for (const char* title : {"Fotos", "Cancelled"}) {
        std::optional<std::string> got;
        std::string cwd;
        rt::startProcedure([&] {
            rt::FileDialogRequest r;
            r.title = title;
            r.filters = {{"All Files", "*.*"}};
            got = rt::fileDialog(r);
            cwd = std::filesystem::current_path().string();
        });
        rt::joinAllThreads();
        backend.join();
        EXPECT_EQ(cwd, dir.path().string());
        EXPECT_EQ(got, std::string(title) == "Fotos" ? std::optional<std::string>("elsewhere/x.jpg")
                                                     : std::nullopt);
    }
    rt::setBackend(nullptr);
    rt::resetWindows();
}

}  // namespace
