// Closing the active window leaves the others stacked as they were: the area
// must not activate (and raise) a window of its own choosing on the way.
#include <QMdiArea>
#include <QMdiSubWindow>

#include "tests/qt/qt_harness.h"

using namespace qttest;

namespace {

class QtStackingTest : public QtTest {};

TEST_F(QtStackingTest, ClosingTheTopWindowKeepsTheOthersInTheirOrder) {
    openFrame();
    const int first = open("First");
    const int second = open("Second");
    const int third = open("Third");
    const int top = open("Top");
    auto pr = backend_->probe();
    auto* sub = qobject_cast<QMdiSubWindow*>(pr.top(first));
    ASSERT_TRUE(sub);
    QMdiArea* area = sub->mdiArea();
    ASSERT_TRUE(area);
    auto order = [&] {
        std::vector<int> ids;
        for (QMdiSubWindow* s : area->subWindowList(QMdiArea::StackingOrder))
            for (int id : {first, second, third, top})
                if (pr.top(id) == s) ids.push_back(id);
        return ids;
    };
    ASSERT_EQ(order(), (std::vector<int>{first, second, third, top}));

    rt::input(top, rt::Input{rt::Input::Kind::Close});
    ASSERT_TRUE(pumpUntil([&] { return order().size() == 3 && rt::waitIdle(0); }));
    settle();
    EXPECT_EQ(order(), (std::vector<int>{first, second, third}));
    EXPECT_EQ(rt::activeWindow(), third);
    EXPECT_EQ(area->activeSubWindow(), pr.top(third));
}

// A small window opened over a maximized one is shown at its own size.
TEST_F(QtStackingTest, AWindowOpenedOverAMaximizedOneKeepsItsOwnSize) {
    openFrame();
    const int big = open("Big", [](rt::WindowDesc& d) {
        d.resizable = true;
        d.maximized = true;
    });
    const int small = open("Small");
    auto pr = backend_->probe();
    ASSERT_TRUE(pr.top(big) && pr.top(small));
    EXPECT_TRUE(pr.top(big)->isMaximized());
    EXPECT_FALSE(pr.top(small)->isMaximized());
    EXPECT_EQ(rt::activeWindow(), small);
}

}  // namespace
