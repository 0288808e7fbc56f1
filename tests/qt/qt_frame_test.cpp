// The frame as the Qt display places it: opened maximized, restored to the
// size it was designed with, and what the user did to it reported once.
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>

#include "tests/qt/qt_harness.h"

using namespace qttest;

namespace {

class QtFrameTest : public QtTest {
  protected:
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
};

// Restoring the maximized frame gives it its designed size, wholly on the
// screen with its status bar, and the window layer keeps that placement.
TEST_F(QtFrameTest, RestoringTheMaximizedFrameGivesItsDesignedSize) {
    const int id = openFrame();
    auto* f = qobject_cast<QMainWindow*>(backend_->probe().top(id));
    ASSERT_TRUE(f);
    ASSERT_TRUE(pumpUntil([&] { return f->isMaximized(); }));
    settle();

    f->showNormal();  // the title bar's restore button
    ASSERT_TRUE(pumpUntil([&] { return !f->isMaximized(); }));
    settle();
    const rt::DialogUnits& u = backend_->units();
    EXPECT_EQ(f->size(), QSize(u.x(505), u.y(318)));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(f->frameGeometry())) << "the frame runs off the screen";
    QStatusBar* bar = f->statusBar();
    EXPECT_TRUE(screen.contains(QRect(bar->mapToGlobal(QPoint(0, 0)), bar->size())));

    const rt::ViewPtr v = rt::view(id);
    ASSERT_TRUE(v);
    EXPECT_FALSE(v->maximized);
    EXPECT_EQ(v->at.w, 505);
    EXPECT_EQ(v->at.h, 318);
}

}  // namespace

namespace {

// What the user did to a window is there already: a placement the window
// layer learned from an earlier report must not put it back where it was.
TEST_F(QtFrameTest, AnOutdatedReportDoesNotMoveTheWindowBack) {
    openFrame();
    const int id = open("Child", [](rt::WindowDesc& d) {
        d.at = {10, 10, 120, 60};
        d.positioned = true;
        d.resizable = true;
    });
    QWidget* sub = backend_->probe().top(id);
    ASSERT_TRUE(sub);
    sub->move(90, 70);  // dragged by its title bar
    settle();
    const rt::DialogUnits& u = backend_->units();
    EXPECT_EQ(rt::view(id)->at.x, u.fromX(90));

    // The report of a drag a moment before, arriving late.
    rt::Input late{rt::Input::Kind::Placement};
    late.at = {20, 20, 120, 60};
    rt::input(id, late);
    settle();
    EXPECT_EQ(sub->pos(), QPoint(90, 70));
}

}  // namespace
