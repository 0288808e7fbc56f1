// The frame as the Qt display places it: opened maximized, restored to the
// size it was designed with, and what the user did to it reported once.
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusBar>

#include "tests/qt/qt_harness.h"

using namespace qttest;

namespace {

class QtFrameTest : public QtTest {};

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

namespace {

// A child shown before its frame (the splash is started as the frame
// opens, and may be drawn first) opens inside the frame all the same, not
// as a window of its own.
TEST_F(QtFrameTest, AChildShownBeforeTheFrameOpensInsideIt) {
    auto frame = std::make_shared<rt::WindowView>();
    frame->id = 100;
    frame->kind = rt::WindowKind::Frame;
    frame->title = "Frame";
    frame->at = {0, 0, 300, 200};
    auto child = std::make_shared<rt::WindowView>();
    child->id = 101;
    child->title = "Splash";
    child->at = {10, 10, 100, 50};
    backend_->show(child);
    pumpFor(20);
    backend_->show(frame);
    ASSERT_TRUE(pumpUntil([&] { return backend_->probe().top(101) != nullptr; }));
    auto* sub = qobject_cast<QMdiSubWindow*>(backend_->probe().top(101));
    ASSERT_TRUE(sub);
    EXPECT_TRUE(sub->mdiArea()) << "it opened as a window of its own";
    EXPECT_FALSE(sub->isWindow());
    backend_->closed(101);
    backend_->closed(100);
    pumpFor(20);
}

}  // namespace
