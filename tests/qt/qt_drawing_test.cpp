// What the Qt display draws of the windows themselves: the child windows'
// title bars, message boxes, the frame's status bar.
#include <QAbstractButton>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <atomic>

#include "tests/qt/qt_harness.h"

using namespace qttest;

namespace {

class QtDrawingTest : public QtTest {};

// A child window's title bar carries no icon: neither one of its own nor
// the toolkit's.
TEST_F(QtDrawingTest, ChildWindowsShowNoIcon) {
    openFrame();
    const int id = open("Planinarski savezi");
    auto* sub = qobject_cast<QMdiSubWindow*>(backend_->probe().top(id));
    ASSERT_TRUE(sub);
    const QIcon icon = sub->windowIcon();
    ASSERT_FALSE(icon.isNull()) << "an empty icon is drawn as the toolkit's own";
    const QImage drawn = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(drawn.isNull());
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            ASSERT_EQ(qAlpha(drawn.pixel(x, y)), 0) << "a visible pixel at " << x << "," << y;
}

// A message box is at least as wide as its title needs in a title bar: the
// title in a bold face a little larger than the program's, with room for
// the bar's icon and buttons.
TEST_F(QtDrawingTest, MessageBoxIsWideEnoughForItsTitle) {
    for (const char* title : {"Changes will be lost!", "Record Retrieval Error",
                              "Greška prilikom ažuriranja zapisa u datoteci"}) {
        SCOPED_TRACE(title);
        std::atomic<bool> done{false};
        rt::startProcedure([&] {
            rt::MessageRequest m;
            m.title = title;
            m.text = "?";
            m.buttons = rt::ButtonYes | rt::ButtonNo;
            m.defaultButton = rt::ButtonNo;
            rt::showMessage(m);
            done = true;
        });
        QMessageBox* box = nullptr;
        ASSERT_TRUE(pumpUntil([&] {
            auto pr = backend_->probe();
            for (int d : pr.dialogs)
                if (auto* b = qobject_cast<QMessageBox*>(pr.dialogWidget(d)); b && b->isVisible())
                    box = b;
            return box != nullptr;
        }));
        pumpFor(50);  // let it lay itself out
        QFont bold = QApplication::font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 1.25);
        const int needed = QFontMetrics(bold).horizontalAdvance(QString::fromUtf8(title)) + 96;
        EXPECT_GE(box->width(), needed);
        for (QAbstractButton* b : box->buttons())
            if (b->property("rtButton").toUInt() == rt::ButtonNo) b->click();
        ASSERT_TRUE(pumpUntil([&] { return done.load(); }));
        rt::joinAllThreads();
    }
}

}  // namespace
