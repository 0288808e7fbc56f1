// The Qt display drawing views it is handed, on the offscreen platform: what
// the widgets show and where, and the keys the frame takes. The views are
// made here as the window layer would publish them; no procedure runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeWidget>
#include <algorithm>
#include <limits>
#include <map>
#include <memory>

#include "runtime/backend/qt/controls.h"
#include "runtime/backend/qt/qt_backend.h"

namespace {

using rt::ControlKind;
using rt::ControlView;
using rt::WindowView;

constexpr int Frame = 1, Child = 2;

ControlView control(int id, ControlKind kind, rt::Rect at, std::string text = {}) {
    ControlView c;
    c.id = id;
    c.kind = kind;
    c.at = at;
    c.text = std::move(text);
    return c;
}

rt::Column column(const char* header, int width, rt::Align align, int indent, const char* picture) {
    rt::Column c;
    c.header = header;
    c.width = width;
    c.align = align;
    c.indent = indent;
    c.picture = picture;
    return c;
}

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        backend_ = std::make_unique<rt::QtBackend>();
        WindowView f;
        f.id = Frame;
        f.kind = rt::WindowKind::Frame;
        f.title = "Frame";
        f.at = {0, 0, 500, 340};
        f.controls.push_back(control(1, ControlKind::Menu, {}, "&Servis"));
        ControlView item = control(2, ControlKind::Item, {}, "Izlaz");
        item.parent = 1;
        f.controls.push_back(item);
        show(f);
    }
    void TearDown() override {
        backend_->stop();
        backend_.reset();
    }

    void show(const WindowView& v) {
        auto p = std::make_shared<WindowView>(v);
        p->serial = ++serial_;
        backend_->show(p);
        settle();
    }
    void settle() {
        for (int i = 0; i < 200; ++i) {
            QApplication::processEvents();
            if (backend_->drawn() && i > 5) break;
        }
    }
    // A child window of 300 x 200 units holding these controls.
    WindowView child(std::vector<ControlView> controls) {
        WindowView v;
        v.id = Child;
        v.title = "Child";
        v.at = {10, 10, 300, 200};
        v.resizable = true;
        v.minSize = {0, 0, 300, 200};
        v.grey = true;
        for (auto& c : controls) v.controls.push_back(std::move(c));
        return v;
    }
    QWidget* widget(int control) { return backend_->probe().widget(Child, control); }
    QMenuBar* menuBar() {
        auto* f = qobject_cast<QMainWindow*>(backend_->probe().top(Frame));
        return f ? f->menuBar() : nullptr;
    }
    void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
               bool release = true) {
        QKeyEvent down(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(w, &down);
        if (release) {
            QKeyEvent up(QEvent::KeyRelease, key, key == Qt::Key_Alt ? Qt::NoModifier : mods);
            QApplication::sendEvent(w, &up);
        }
        settle();
    }
    const rt::DialogUnits& units() { return backend_->units(); }

    std::unique_ptr<rt::QtBackend> backend_;
    std::uint64_t serial_ = 0;
};

// A browse's list of rows at the line height, with its columns.
ControlView list(int id, rt::Rect at, std::vector<rt::Column> columns, int rows) {
    ControlView c = control(id, ControlKind::List, at);
    rt::ListPayload& l = c.payload.emplace<rt::ListPayload>();
    l.columns = rt::ColumnList(std::move(columns));
    for (int r = 1; r <= rows; ++r) {
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < l.columns.size(); ++i)
            cells.push_back(std::to_string(r) + ".50");
        l.rows.push_back(rt::ListRow(cells));
    }
    l.highlight = 1;
    l.thumb = 0;
    l.lineHeight = 10;
    return c;
}

TEST_F(DisplayTest, AltAloneAndF10OpenTheMenuBar) {
    show(child({control(1, ControlKind::Entry, {10, 10, 60, 10}, "abc")}));
    QWidget* e = widget(1);
    ASSERT_TRUE(e && menuBar());
    ASSERT_EQ(menuBar()->activeAction(), nullptr);
    press(e, Qt::Key_F10);
    ASSERT_NE(menuBar()->activeAction(), nullptr);
    EXPECT_EQ(menuBar()->activeAction()->text(), "&Servis");
    press(menuBar()->activeAction()->menu(), Qt::Key_Escape);
    press(menuBar(), Qt::Key_Escape);
    menuBar()->setActiveAction(nullptr);
    settle();
    // Alt with a key between is no menu key.
    press(e, Qt::Key_Alt, Qt::AltModifier, false);
    press(e, Qt::Key_X, Qt::AltModifier);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QApplication::sendEvent(e, &up);
    settle();
    EXPECT_EQ(menuBar()->activeAction(), nullptr);
    press(e, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_NE(menuBar()->activeAction(), nullptr);
}

// Rows at the line height fill the page; a horizontal scroll bar makes them
// lower so the page still fits; each column has its right border line.
TEST_F(DisplayTest, ListRowsFillThePageAndColumnsHaveBorders) {
    // A header and five rows of 10 units, and room for the list's frame.
    show(child({list(1, {8, 8, 200, 62},
                     {column("A", 40, rt::Align::Right, 2, "@n_3"),
                      column("B", 60, rt::Align::Left, 2, "@s20")},
                     5),
                list(2, {8, 90, 100, 60},
                     {column("A", 80, rt::Align::Left, 2, "@s20"),
                      column("B", 80, rt::Align::Left, 2, "@s20")},
                     5)}));
    auto* fits = qobject_cast<QTreeWidget*>(widget(1));
    auto* wide = qobject_cast<QTreeWidget*>(widget(2));
    ASSERT_TRUE(fits && wide);
    const int line = units().y(10);
    EXPECT_EQ(fits->header()->height(), line);
    EXPECT_EQ(fits->visualItemRect(fits->topLevelItem(0)).height(), line);
    EXPECT_GE(fits->viewport()->height(), 5 * line);
    ASSERT_TRUE(wide->horizontalScrollBar()->isVisible());
    const int rowH = wide->visualItemRect(wide->topLevelItem(0)).height();
    EXPECT_LE(rowH, line);
    EXPECT_LE(5 * rowH, wide->viewport()->height());
    EXPECT_GT(5 * (rowH + 1), wide->viewport()->height());

    const QImage img = fits->viewport()->grab().toImage();
    const int border = units().x(40) - 1;  // the first column's last pixel
    const int y = fits->visualItemRect(fits->topLevelItem(2)).center().y();
    ASSERT_GT(img.width(), border);
    const QColor line3 = img.pixelColor(border, y),
                 inside = img.pixelColor(3, y);  // left of the right-aligned text
    EXPECT_LT(line3.lightness(), inside.lightness() - 40) << "no border line at x " << border;
    // The list's own scroll bar shows the thumb beside the tree.
    auto* bar = qobject_cast<QScrollBar*>(widget(-1));
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry().left(), fits->geometry().right() + 1);
}

// Dark pixels (text, not the header's or cells' grey lines) in a part of an
// image: their leftmost and rightmost x and their mean y, or none.
struct Ink {
    int left = -1, right = -1, top = -1;
    double y = 0;
    bool any() const { return left >= 0; }
    double centre() const { return (left + right) / 2.0; }
};
Ink inkIn(const QImage& img, const QRect& r) {
    Ink ink;
    long ys = 0, n = 0;
    for (int y = std::max(0, r.top()); y <= r.bottom() && y < img.height(); ++y)
        for (int x = std::max(0, r.left()); x <= r.right() && x < img.width(); ++x) {
            if (img.pixelColor(x, y).lightness() >= 100) continue;
            if (ink.left < 0 || x < ink.left) ink.left = x;
            if (ink.top < 0) ink.top = y;
            ink.right = std::max(ink.right, x);
            ys += y;
            ++n;
        }
    if (n) ink.y = static_cast<double>(ys) / static_cast<double>(n);
    return ink;
}

// Columns under a group's heading: the header takes two lines, the group's
// text centred over all its columns in the upper one (one section: no line
// between them there), each column's own heading in the lower one; a column
// in no group has its heading over both lines. The page's rows still fit at
// the line height. Resizing and scrolling move the group's text with it; a
// group wider than the list has its text in the part in sight.
TEST_F(DisplayTest, AGroupHeadingStandsOverItsColumns) {
    std::vector<rt::Column> columns = {
        column("A", 30, rt::Align::Right, 2, "@n_3"), column("B", 30, rt::Align::Right, 2, "@n_3"),
        column("C", 60, rt::Align::Left, 2, "@s20"), column("D", 50, rt::Align::Left, 2, "@s40")};
    for (auto& c : columns) c.headerAlign = rt::Align::Center;
    columns[1].group = columns[2].group = "Grupa";
    // Two header lines, four rows of 10 units and the frame.
    show(child({list(1, {8, 8, 200, 62}, columns, 4)}));
    auto* tree = qobject_cast<QTreeWidget*>(widget(1));
    ASSERT_TRUE(tree);
    const int line = units().y(10);
    QHeaderView* header = tree->header();
    ASSERT_EQ(header->height(), 2 * line);
    EXPECT_EQ(tree->visualItemRect(tree->topLevelItem(0)).height(), line);
    EXPECT_GE(tree->viewport()->height(), 4 * line);

    auto section = [&](int i) {
        return QRect(header->sectionViewportPosition(i), 0, header->sectionSize(i), 2 * line);
    };
    auto upper = [&](int from, int to) {
        return QRect(section(from).left() + 2, 2, section(to).right() - section(from).left() - 3,
                     line - 4);
    };
    auto lower = [&](int i) {
        return QRect(section(i).left() + 2, line + 2, section(i).width() - 4, line - 4);
    };
    QImage img = header->viewport()->grab().toImage();
    const Ink group = inkIn(img, upper(1, 2));
    ASSERT_TRUE(group.any()) << "no group heading drawn";
    const double groupCentre = (section(1).left() + section(2).right()) / 2.0;
    EXPECT_NEAR(group.centre(), groupCentre, 3);
    EXPECT_TRUE(inkIn(img, lower(1)).any()) << "no heading under the group";
    EXPECT_TRUE(inkIn(img, lower(2)).any()) << "no heading under the group";
    // No section line between B and C above, one below.
    const int between = section(1).right();
    auto dark = [&](int y) {
        return img.pixelColor(between, y).lightness() <
               img.pixelColor(between - 3, y).lightness() - 20;
    };
    int upperDark = 0, lowerDark = 0;
    for (int y = 3; y < line - 3; ++y) upperDark += dark(y);
    for (int y = line + 3; y < 2 * line - 3; ++y) lowerDark += dark(y);
    EXPECT_EQ(upperDark, 0) << "the group's heading is cut at its columns";
    EXPECT_GT(lowerDark, line / 2) << "no line between the group's columns";
    // A and D span both lines: their text sits across the middle.
    for (int i : {0, 3}) {
        const Ink own = inkIn(img, section(i).adjusted(2, 2, -2, -2));
        ASSERT_TRUE(own.any());
        EXPECT_NEAR(own.y, line, line / 3.0) << "column " << i;
    }

    // B made wider: the text is centred over the wider group, drawn whole.
    header->resizeSection(1, header->sectionSize(1) + 40);
    settle();
    img = header->viewport()->grab().toImage();
    const Ink wider = inkIn(img, upper(1, 2));
    ASSERT_TRUE(wider.any());
    EXPECT_NEAR(wider.centre(), groupCentre + 20, 3);
    EXPECT_EQ(wider.right - wider.left, group.right - group.left);

    // Scrolled to the right, it moves with its columns.
    header->resizeSection(3, units().x(300));
    settle();
    ASSERT_GE(tree->horizontalScrollBar()->maximum(), 25);
    tree->horizontalScrollBar()->setValue(25);
    settle();
    img = header->viewport()->grab().toImage();
    const Ink scrolled = inkIn(img, upper(1, 2));
    ASSERT_TRUE(scrolled.any());
    EXPECT_NEAR(scrolled.centre(), groupCentre + 20 - 25, 3);

    // A group far wider than the list: its heading stands in the part in sight.
    header->resizeSection(2, 3000);
    settle();
    img = header->viewport()->grab().toImage();
    const int seenRight = header->viewport()->width() - 1;
    const Ink seen =
        inkIn(img, QRect(section(1).left() + 2, 2, seenRight - section(1).left() - 2, line - 4));
    ASSERT_TRUE(seen.any()) << "the heading of a wide group is out of sight";
    EXPECT_NEAR(seen.centre(), (section(1).left() + seenRight) / 2.0, 3);
}

// A heading wider than its column starts at the column's left edge even when
// it is aligned right (its first letters would be cut off); one that fits
// keeps its alignment.
TEST_F(DisplayTest, AHeadingWiderThanItsColumnStartsAtItsLeftEdge) {
    std::vector<rt::Column> columns = {
        column("1", 30, rt::Align::Right, 2, "@n_3"),
        column("MM                                i", 20, rt::Align::Right, 2, "@n_6"),
        column("D", 80, rt::Align::Left, 2, "@s40")};
    for (auto& c : columns) c.headerAlign = rt::Align::Right;
    show(child({list(1, {8, 8, 200, 62}, columns, 4)}));
    auto* tree = qobject_cast<QTreeWidget*>(widget(1));
    ASSERT_TRUE(tree);
    QHeaderView* header = tree->header();
    const QImage img = header->viewport()->grab().toImage();
    auto inkOf = [&](int i) {
        const QRect r(header->sectionViewportPosition(i) + 1, 1, header->sectionSize(i) - 3,
                      header->height() - 2);
        return std::make_pair(r, inkIn(img, r));
    };
    const auto [wide, wideInk] = inkOf(1);
    ASSERT_TRUE(wideInk.any());
    // Its first letters show at the left, its far end is cut off at the right.
    EXPECT_LT(wideInk.left - wide.left(), 8) << "the heading's start is cut off";
    EXPECT_GT(wide.right() - wideInk.right, 8) << "the heading's start is cut off";
    const auto [fits, fitsInk] = inkOf(0);
    ASSERT_TRUE(fitsInk.any());
    EXPECT_LT(fits.right() - fitsInk.right, 8) << "a heading that fits lost its alignment";
    EXPECT_GT(fitsInk.left - fits.left(), 8);
}

// A heading line holds its font's full ascent: the caron over a capital
// ("Šifra PS") shows above the letter, in a one-line header as in the lower
// line under a group. Beside a heading without one ("Sifra PS"), its ink
// reaches higher by as much as the same two texts drawn freely in the
// header's font.
TEST_F(DisplayTest, AHeadingLineHoldsACaronOverACapital) {
    const QString caron = QString::fromUtf8("Šifra PS"), plain = "Sifra PS";
    // The top of each text's ink, drawn freely: the caron's rows.
    auto freeTop = [](const QFont& font, const QString& text) {
        QImage img(200, 60, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPoint(5, 40), text);
        p.end();
        return inkIn(img, img.rect()).top;
    };
    for (bool grouped : {false, true}) {
        SCOPED_TRACE(grouped ? "under a group" : "one line");
        std::vector<rt::Column> columns = {column("Šifra PS", 40, rt::Align::Right, 2, "@n_2"),
                                           column("Sifra PS", 40, rt::Align::Right, 2, "@n_2"),
                                           column("Ime", 60, rt::Align::Left, 2, "@s20")};
        if (grouped) columns[0].group = columns[1].group = "Savez";
        backend_->closed(Child);  // a new list, with its own header
        settle();
        show(child({list(1, {8, 8, 200, 72}, columns, 4)}));
        auto* tree = qobject_cast<QTreeWidget*>(widget(1));
        ASSERT_TRUE(tree);
        QHeaderView* header = tree->header();
        const int line = units().y(10);
        ASSERT_EQ(header->height(), grouped ? 2 * line : line);
        const int caronRows = freeTop(header->font(), plain) - freeTop(header->font(), caron);
        ASSERT_GT(caronRows, 1);
        const QImage img = header->viewport()->grab().toImage();
        auto top = [&](int i) {
            const QRect r(header->sectionViewportPosition(i) + 2, grouped ? line : 0,
                          header->sectionSize(i) - 4, line);
            const Ink ink = inkIn(img, r);
            EXPECT_TRUE(ink.any()) << "heading " << i;
            return ink.top;
        };
        EXPECT_GE(top(1) - top(0), caronRows - 1) << "the caron is cut off";
    }
}

TEST_F(DisplayTest, DecimalColumnsLineUpTheirPoints) {
    const QFontMetrics fm(QApplication::font());
    const QRect cell(10, 0, 120, 15);
    const int indent = units().x(32), right = cell.right() + 1;
    for (const char* text : {"1.50", "12345.50", "-7.25", "0.00"}) {
        SCOPED_TRACE(text);
        const QString t = text;
        const int x = rt::cellTextX(fm, t, cell, rt::Align::Decimal, indent, '.');
        EXPECT_EQ(x + fm.horizontalAdvance(t.left(t.indexOf('.'))), right - indent);
    }
    // A comma as the point; none at all: the text ends there.
    EXPECT_EQ(rt::cellTextX(fm, "1.234,50", cell, rt::Align::Decimal, indent, ',') +
                  fm.horizontalAdvance("1.234"),
              right - indent);
    EXPECT_EQ(rt::cellTextX(fm, "ABC", cell, rt::Align::Decimal, 9, QChar()) +
                  fm.horizontalAdvance("ABC"),
              right - 9);
    EXPECT_EQ(
        rt::cellTextX(fm, "ABC", cell, rt::Align::Right, 3, '.') + fm.horizontalAdvance("ABC"),
        right - 3);
    EXPECT_EQ(rt::cellTextX(fm, "ABC", cell, rt::Align::Left, 3, '.'), cell.left() + 3);
}

// The next page, of as many rows, takes the place of the one shown: what
// the window's backing store holds then is what a list opened on that page
// shows.
TEST_F(DisplayTest, ANextPageShowsAsAListOpenedOnIt) {
    auto page = [](int first, int highlight) {
        ControlView l = list(1, {8, 8, 200, 62},
                             {column("A", 40, rt::Align::Right, 2, "@n_3"),
                              column("B", 60, rt::Align::Left, 2, "@s20")},
                             5);
        rt::ListPayload& p = std::get<rt::ListPayload>(l.payload);
        p.rows.clear();
        for (int r = first; r < first + 5; ++r)
            p.rows.push_back(rt::ListRow({std::to_string(r), "Član " + std::to_string(r * 7)}));
        p.highlight = highlight;
        return l;
    };
    // The list's pixels in its window's backing store, as last flushed.
    auto flushed = [](QTreeWidget* t) {
        QWidget* vp = t->viewport();
        const QPoint at = vp->mapTo(vp->window(), QPoint(0, 0));
        return vp->screen()
            ->grabWindow(vp->window()->winId(), at.x(), at.y(), vp->width(), vp->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    show(child({page(1, 5)}));
    auto* tree = qobject_cast<QTreeWidget*>(widget(1));
    ASSERT_TRUE(tree);
    const QImage first = flushed(tree);
    show(child({page(6, 1)}));
    ASSERT_EQ(tree->topLevelItemCount(), 5);
    EXPECT_EQ(tree->topLevelItem(4)->text(1), QString::fromUtf8("Član 70"));
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
    const QImage next = flushed(tree);
    EXPECT_NE(next, first);
    WindowView fresh = child({page(6, 1)});
    fresh.id = Child + 1;
    show(fresh);
    auto* opened = qobject_cast<QTreeWidget*>(backend_->probe().widget(Child + 1, 1));
    ASSERT_TRUE(opened);
    EXPECT_EQ(next, flushed(opened));
}

TEST_F(DisplayTest, FocusedListsHighlightDiffersFromAnUnfocusedOnes) {
    ControlView l = list(1, {8, 8, 200, 60}, {column("A", 40, rt::Align::Left, 2, "@s5")}, 3);
    ControlView e = control(2, ControlKind::Entry, {8, 80, 60, 10});
    l.focused = true;
    show(child({l, e}));
    auto* tree = qobject_cast<QTreeWidget*>(widget(1));
    ASSERT_TRUE(tree);
    auto highlightPixel = [&] {
        const QImage img = tree->viewport()->grab().toImage();
        return img.pixelColor(units().x(30),
                              tree->visualItemRect(tree->topLevelItem(0)).center().y());
    };
    const QColor focused = highlightPixel();
    l.focused = false;
    e.focused = true;
    show(child({l, e}));
    const QColor unfocused = highlightPixel();
    // Plainly different, not a shade apart.
    const int apart = std::abs(focused.red() - unfocused.red()) +
                      std::abs(focused.green() - unfocused.green()) +
                      std::abs(focused.blue() - unfocused.blue());
    EXPECT_GT(apart, 90) << std::hex << focused.rgb() << " and " << unfocused.rgb();
    EXPECT_NE(unfocused.rgb(), QColor(Qt::white).rgb()) << "the unfocused list shows no highlight";
}

// A control's own background colour is painted: an entry's field, a
// string's box. Disabled, the entry keeps its colour and its text is still
// plainly darker than the field (the display's own disabled grey is about
// silver); focused, its selected text shows in the highlight; a silver list
// without the focus still shows its highlighted row. A colour taken away
// gives the display's own again.
TEST_F(DisplayTest, AControlsOwnBackgroundIsPainted) {
    const QColor silver(0xc0, 0xc0, 0xc0);
    ControlView write = control(1, ControlKind::Entry, {10, 10, 40, 10}, "8");
    write.fill = 0xC0C0C0;
    ControlView plain = control(2, ControlKind::Entry, {10, 30, 40, 10}, "8");
    ControlView name = control(3, ControlKind::String, {10, 50, 60, 10}, "Ime");
    name.fill = 0xFFFF00;
    ControlView rows = list(4, {100, 10, 100, 60}, {column("A", 60, rt::Align::Left, 2, "@s5")}, 3);
    rows.fill = 0xC0C0C0;
    auto shot = [&](int id) { return widget(id)->grab().toImage(); };
    // A pixel of the field off its text (which is at the left).
    auto field = [&](int id) {
        const QImage img = shot(id);
        return img.pixelColor(img.width() - 6, img.height() / 2);
    };
    auto darkest = [&](int id) {
        const QImage img = shot(id);
        int least = 255;
        for (int y = 3; y < img.height() - 3; ++y)
            for (int x = 3; x < img.width() / 2; ++x)
                least = std::min(least, img.pixelColor(x, y).lightness());
        return least;
    };
    show(child({write, plain, name, rows}));
    EXPECT_EQ(field(1).rgb(), silver.rgb());
    EXPECT_EQ(field(2).rgb(), QApplication::palette().color(QPalette::Base).rgb());
    EXPECT_EQ(field(3).rgb(), QColor(0xff, 0xff, 0x00).rgb());
    const int enabledText = darkest(1);

    write.enabled = false;
    show(child({write, plain, name, rows}));
    EXPECT_EQ(field(1).rgb(), silver.rgb());
    const int disabledText = darkest(1);
    EXPECT_LT(disabledText, silver.lightness() - 60) << "disabled text lost in the field";
    EXPECT_GT(disabledText, enabledText + 30) << "disabled text looks enabled";

    write.enabled = true;
    write.focused = true;
    write.anchor = 0;
    write.caret = 1;
    show(child({write, plain, name, rows}));
    const QImage sel = shot(1);
    const QColor highlight = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    bool shown = false;
    for (int x = 0; x < sel.width() / 2 && !shown; ++x)
        shown = sel.pixelColor(x, sel.height() / 2).rgb() == highlight.rgb();
    EXPECT_TRUE(shown) << "the selection does not show in the silver field";

    auto* tree = qobject_cast<QTreeWidget*>(widget(4));
    ASSERT_TRUE(tree);
    const QImage listImg = tree->viewport()->grab().toImage();
    const QRect row1 = tree->visualItemRect(tree->topLevelItem(0));
    const QRect row2 = tree->visualItemRect(tree->topLevelItem(1));
    const QColor lit = listImg.pixelColor(units().x(40), row1.center().y());
    const QColor unlit = listImg.pixelColor(units().x(40), row2.center().y());
    EXPECT_EQ(unlit.rgb(), silver.rgb());
    EXPECT_GT(std::abs(lit.lightness() - unlit.lightness()), 40)
        << "the highlighted row is lost in the silver list";

    write.fill = name.fill = 0xffffffff;
    write.focused = false;
    show(child({write, plain, name, rows}));
    EXPECT_EQ(field(1).rgb(), field(2).rgb());
    EXPECT_NE(field(3).rgb(), QColor(0xff, 0xff, 0x00).rgb());
}

// A window waiting on a message box, a select window, a popup or a progress
// window is disabled: its texts stay readable in the disabled grey, plainly
// apart from the silver they lie on and plainly dimmer than enabled. Where
// the enabled window draws a control's text (its dark pixels), the disabled
// one must draw it too.
TEST_F(DisplayTest, ADisabledWindowKeepsItsTextsReadable) {
    ControlView sheet = control(1, ControlKind::Sheet, {4, 4, 290, 150});
    sheet.payload = rt::SheetPayload{2};
    ControlView tab = control(2, ControlKind::Tab, {}, "Podaci-1");
    tab.parent = 1;
    ControlView group = control(9, ControlKind::Group, {150, 80, 100, 40}, "Status članstva");
    const std::vector<ControlView> controls = {
        sheet,
        tab,
        control(3, ControlKind::Prompt, {10, 24, 60, 10}, "Šifra PS:"),
        control(4, ControlKind::Entry, {80, 24, 60, 10}, "Planinar"),
        control(5, ControlKind::String, {150, 24, 100, 10}, "Planinarski savez"),
        control(6, ControlKind::Check, {10, 44, 80, 10}, "Stalni član"),
        control(7, ControlKind::Radio, {10, 64, 80, 10}, "Povremeni"),
        control(8, ControlKind::Button, {10, 84, 50, 14}, "Uredu"),
        group};
    struct Text {
        const char* what;
        int id;
    };
    const Text texts[] = {{"tab caption", -1}, {"prompt", 3}, {"entry", 4},  {"string", 5},
                          {"check box", 6},    {"radio", 7},  {"button", 8}, {"group title", 9}};
    std::map<int, std::vector<QPoint>> ink;  // each text's dark pixels, enabled
    std::map<int, int> enabledInk;
    WindowView v = child(controls);
    show(v);
    for (const Text& t : texts) {
        ASSERT_TRUE(widget(t.id)) << t.what;
        const QImage img = widget(t.id)->grab().toImage();
        int least = 255;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (const int l = img.pixelColor(x, y).lightness(); l < 100) {
                    ink[t.id].push_back({x, y});
                    least = std::min(least, l);
                }
        ASSERT_FALSE(ink[t.id].empty()) << "no text drawn on the " << t.what;
        enabledInk[t.id] = least;
    }

    v.enabled = false;  // as while a message box is open over it
    show(v);
    for (const Text& t : texts) {
        SCOPED_TRACE(t.what);
        const QImage img = widget(t.id)->grab().toImage();
        // What the text lies on: the middle lightness around it, within
        // the box its letters take.
        QRect box;
        for (const QPoint& p : ink[t.id]) box |= QRect(p, QSize(1, 1));
        std::vector<int> around;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (std::find(ink[t.id].begin(), ink[t.id].end(), QPoint(x, y)) == ink[t.id].end())
                    around.push_back(img.pixelColor(x, y).lightness());
        ASSERT_FALSE(around.empty());
        std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
        const int ground = around[around.size() / 2];
        int least = 255;
        for (const QPoint& p : ink[t.id]) least = std::min(least, img.pixelColor(p).lightness());
        EXPECT_LT(least, ground - 50) << "the text is lost in its ground";
        EXPECT_GT(least, enabledInk[t.id] + 30) << "the text looks enabled";
    }
}

TEST_F(DisplayTest, ASheetsOnlyTabIsDrawnAsATab) {
    ControlView sheet = control(1, ControlKind::Sheet, {4, 4, 290, 150});
    sheet.payload = rt::SheetPayload{2};
    ControlView tab = control(2, ControlKind::Tab, {}, "Podaci");
    tab.parent = 1;
    show(child({sheet, tab}));
    auto* bar = qobject_cast<QTabBar*>(widget(-1));
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->count(), 1);
    const QRect r = bar->tabRect(0);
    EXPECT_GE(r.width(), bar->fontMetrics().horizontalAdvance("Podaci"));
    EXPECT_LT(r.width(), bar->width() / 3) << "a strip over the whole sheet, not a tab";
}

// An entry keeps its designed box whatever it shows: a value wider than the
// box scrolls inside it (the caret the view gives, here at the end, in
// sight), focused or not, a number or a text; nothing it shows reaches past
// the box into the controls or the sheet's border beside it.
TEST_F(DisplayTest, AnEntryKeepsItsDesignedSize) {
    struct Case {
        const char* what;
        const char* text;
        rt::Align align;
        bool focused;
    };
    const Case cases[] = {
        {"a long path, not focused", "/home/pd/slike/pd_treskavica/clanovi_fotografije_2024/stojan",
         rt::Align::Left, false},
        {"a long path being edited", "/home/pd/slike/pd_treskavica/clanovi_fotografije_2024/stojan",
         rt::Align::Left, true},
        {"a number wider than its box", "100000", rt::Align::Right, false},
        {"a number that fits", "12", rt::Align::Right, false},
    };
    const rt::Rect at{100, 30, 23, 10};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ControlView e = control(1, ControlKind::Entry, at, k.text);
        e.align = k.align;
        e.focused = k.focused;
        e.caret = e.anchor = static_cast<int>(QString::fromUtf8(k.text).size());
        show(child({e}));
        auto* box = qobject_cast<QLineEdit*>(widget(1));
        ASSERT_TRUE(box);
        box->grab();  // laid out and scrolled as drawn
        EXPECT_EQ(box->geometry(),
                  QRect(units().x(at.x), units().y(at.y), units().x(at.w), units().y(at.h)));
        EXPECT_EQ(box->text().toStdString(), k.text) << "the value is cut";
        const QRect caret = box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        EXPECT_TRUE(box->rect().contains(caret.center())) << "the caret is out of sight";
    }
}

// Typing runs ahead of the window's thread: a view made before the window
// took a key the box already shows must not put the box back (the next key
// would then be typed into the old text and the first one lost for good).
TEST_F(DisplayTest, AViewMadeBeforeTheWindowTookAnEditKeepsTheTyping) {
    ControlView amount = control(1, ControlKind::Entry, {10, 10, 40, 10}, "0,00");
    amount.focused = true;
    amount.caret = 4;
    amount.anchor = 0;
    show(child({amount}));
    auto* e = qobject_cast<QLineEdit*>(widget(1));
    ASSERT_TRUE(e);
    e->selectAll();
    QKeyEvent three(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");
    QApplication::sendEvent(e, &three);
    ASSERT_EQ(e->text().toStdString(), "3");

    WindowView before = child({amount});
    before.inputsTaken = 0;  // made before the key reached the window
    show(before);
    EXPECT_EQ(e->text().toStdString(), "3");

    // Once the window has taken it, the view holds again: here it refused it.
    WindowView after = child({amount});
    after.inputsTaken = std::numeric_limits<std::uint64_t>::max();
    show(after);
    EXPECT_EQ(e->text().toStdString(), "0,00");
}

// A prompt is as wide as its text needs in the window's font, whatever the
// width its layout reckoned from the number of characters; a string (a value
// shown) keeps its box.
TEST_F(DisplayTest, APromptShowsItsWholeText) {
    ControlView prompt = control(1, ControlKind::Prompt, {10, 10, 33, 10}, "Napomena:");
    ControlView wide = control(2, ControlKind::Prompt, {10, 30, 200, 10}, "Ime:");
    ControlView value = control(3, ControlKind::String, {10, 50, 33, 10}, "Napomena:");
    show(child({prompt, wide, value}));
    auto* l = qobject_cast<QLabel*>(widget(1));
    ASSERT_TRUE(l);
    EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text()));
    EXPECT_EQ(widget(1)->geometry().topLeft(), QPoint(units().x(10), units().y(10)));
    EXPECT_EQ(widget(2)->width(), units().x(200));
    EXPECT_EQ(widget(3)->width(), units().x(33));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
