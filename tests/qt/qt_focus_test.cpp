// The keyboard focus as the Qt display gives it: on the control the window
// layer names, in the active window only, and left where a click put it
// until the window layer has taken the click.
#include <QApplication>
#include <QLineEdit>

#include "tests/qt/qt_harness.h"

using namespace qttest;

namespace {

class QtFocusTest : public QtTest {
  protected:
    static void entries(rt::Window& w) {
        static std::int32_t a = 0, b = 0;
        for (auto [name, at, value] : {std::tuple{"?A", 10, &a}, std::tuple{"?B", 30, &b}}) {
            rt::Control e;
            e.kind = rt::ControlKind::Entry;
            e.name = name;
            e.picture = "@n_3";
            e.at = {10, at, 40, 10};
            e.value = rt::bind(*value);
            w.add(e);
        }
    }
};

TEST_F(QtFocusTest, TheFocusGoesWhereTheWindowLayerSaysAndStaysWhereAClickPutsIt) {
    openFrame();
    const int first = open("First", {}, entries);
    const int second = open("Second", {}, entries);
    auto pr = backend_->probe();
    QWidget* a1 = pr.widget(first, 1);
    QWidget* a2 = pr.widget(second, 1);
    QWidget* b2 = pr.widget(second, 2);
    ASSERT_TRUE(a1 && a2 && b2);
    ASSERT_EQ(rt::activeWindow(), second);
    // Nothing names a control yet: the newest window's surface has it, not
    // a box of the window under it.
    EXPECT_FALSE(a1->hasFocus());

    // The window layer moves the focus: the display follows.
    rt::input(second, rt::Input{rt::Input::Kind::Focus, 1});
    settle();
    EXPECT_EQ(pr.top(second)->window()->focusWidget(), a2);

    // Qt gives a clicked box the focus before the window layer has heard of
    // the click; something else drawn meanwhile does not take it back.
    b2->setFocus(Qt::MouseFocusReason);
    backend_->status(2, "x");
    pumpFor(20);
    EXPECT_EQ(pr.top(second)->window()->focusWidget(), b2);

    // Focus strayed into a window that is not active goes back.
    a1->setFocus(Qt::OtherFocusReason);
    backend_->status(2, "y");
    pumpFor(20);
    QWidget* has = pr.top(second)->window()->focusWidget();
    EXPECT_TRUE(has && pr.top(second)->isAncestorOf(has));
}

}  // namespace
