#pragma once
// The Qt display under test: the test's own (main) thread is the GUI thread
// and pumps Qt's events while it waits; windows run on procedure threads as
// in the program. Runs on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "runtime/backend/qt/qt_backend.h"
#include "runtime/clock.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"

namespace qttest {

class QtTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "qt_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);  // lives as long as the process
        }
    }
    void SetUp() override {
        rt::useManualClock(2024, 1, 15);
        backend_ = std::make_unique<rt::QtBackend>();
        // As the program sets it: the screen less the frame's own bars.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect g = screen->availableGeometry();
            const rt::DialogUnits& u = backend_->units();
            rt::setClientArea({0, 0, u.fromX(g.width()),
                               u.fromY(g.height() - 3 * static_cast<int>(u.baseY) - 24)});
        }
        rt::setBackend(backend_.get());
    }
    void TearDown() override {
        rt::shutDownWindows();
        pumpUntil([] { return rt::runningThreads() == 0; });
        rt::joinAllThreads();
        rt::setBackend(nullptr);
        backend_.reset();
        rt::resetWindows();
        rt::useSystemClock();
    }

    // Runs Qt's events until done() holds (at most five seconds).
    bool pumpUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (done()) return true;
        }
        return false;
    }
    void pumpFor(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // Until every thread waits and the display has drawn what it was given.
    void settle() {
        ASSERT_TRUE(pumpUntil([] { return rt::waitIdle(0); })) << "the program did not settle";
        QCoreApplication::processEvents();
    }

    // Opens a window on a procedure thread of its own: describe sets up its
    // description, build adds its controls.
    int open(const std::string& title, std::function<void(rt::WindowDesc&)> describe = {},
             std::function<void(rt::Window&)> build = {}) {
        rt::startProcedure([title, describe, build] {
            rt::WindowDesc d;
            d.title = title;
            d.at = {0, 0, 120, 60};
            if (describe) describe(d);
            rt::Window w(d);
            if (build) build(w);
            w.open();
            while (w.accept()) {
            }
        });
        int id = 0;
        pumpUntil([&] {
            for (auto& v : rt::views())
                if (v->title == title) id = v->id;
            return id && rt::waitIdle(0);
        });
        EXPECT_TRUE(id) << title << " did not open";
        settle();
        return id;
    }

    // The frame the children open in, as the program's is.
    int openFrame() {
        return open("Frame", [](rt::WindowDesc& d) {
            d.kind = rt::WindowKind::Frame;
            d.at = {0, 0, 505, 318};
            d.centred = true;
            d.maximized = true;
            d.resizable = true;
            d.statusWidths = {-1, 80, 120, 45};
        });
    }

    std::unique_ptr<rt::QtBackend> backend_;
};

}  // namespace qttest
