// Lists and drop lists: a tree widget with one column per list column. The
// rows change only when they differ from the last view's: a page of as many
// rows goes into the items there (refill), another is made anew.
//
// A browse's list holds one page of rows, so Qt's own vertical scroll bar
// has nothing to scroll: the list shows the browse's thumb on a scroll bar
// of its own beside the tree (kept in the window's widgets under the list's
// id negated), and its arrows, track, thumb and the wheel go to the window
// layer as raw input. A list that shows no thumb scrolls its rows itself.
//
// The rows (and the header) are drawn at the list's line height, as its
// browse counts a page, no higher than lets the page fill what the list
// shows; each cell is drawn at its column's alignment and indent (decimal:
// the decimal point that far from the right edge), with the column's right
// border line. The highlighted row shows whether the list has the focus.
// Columns under a group's heading make the header two lines high.
#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "runtime/backend/qt/controls.h"
#include "runtime/window/window.h"

namespace rt {

namespace {

// A drop list's view carries no list part: it shows as a list without columns or rows.
const ListPayload& listOf(const ControlView& c) {
    static const ListPayload none;
    const ListPayload* l = c.list();
    return l ? *l : none;
}

void report(int window, int control, Input::ScrollBy by, int amount = 0) {
    Input in{Input::Kind::Scroll, control};
    in.scroll = by;
    in.amount = amount;
    rt::input(window, in);
}

// Whole notches of the wheel, the rest kept for the next turn.
struct Wheel {
    int rest = 0;
    void turn(int window, int control, QWheelEvent* e) {
        rest += e->angleDelta().y();
        const int notches = rest / 120;
        rest -= notches * 120;
        // Turned away from the user (a positive delta) is towards the top.
        if (notches) report(window, control, Input::ScrollBy::Wheel, -notches);
        e->accept();
    }
};

class ThumbBar final : public QScrollBar {
  public:
    ThumbBar(QWidget* parent, int window, int control, Wheel* wheel)
        : QScrollBar(Qt::Vertical, parent), window_(window), control_(control), wheel_(wheel) {
        setRange(0, 100);
        setSingleStep(1);
        setPageStep(10);
        setFocusPolicy(Qt::NoFocus);
        connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
            using By = Input::ScrollBy;
            switch (action) {
                case SliderSingleStepSub:
                    report(window_, control_, By::LineUp);
                    break;
                case SliderSingleStepAdd:
                    report(window_, control_, By::LineDown);
                    break;
                case SliderPageStepSub:
                    report(window_, control_, By::PageUp);
                    break;
                case SliderPageStepAdd:
                    report(window_, control_, By::PageDown);
                    break;
                case SliderToMinimum:
                    report(window_, control_, By::Thumb, 0);
                    break;
                case SliderToMaximum:
                    report(window_, control_, By::Thumb, 100);
                    break;
                default:
                    break;  // a drag reports where it ends
            }
        });
        connect(this, &QAbstractSlider::sliderReleased, this,
                [this] { report(window_, control_, Input::ScrollBy::Thumb, sliderPosition()); });
    }

  protected:
    void wheelEvent(QWheelEvent* e) override { wheel_->turn(window_, control_, e); }

  private:
    int window_, control_;
    Wheel* wheel_;
};

// The header at the line height. Under a group's heading it takes two
// lines: the group's text across its columns above, their own headings
// below; a column in no group keeps its heading over both lines.
class ListHeader final : public QHeaderView {
  public:
    explicit ListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        // A column of a group changes where the group's text is centred, and
        // Qt would draw only from that column on.
        connect(this, &QHeaderView::sectionResized, this, [this] { viewport()->update(); });
    }
    int height = 0;               // px, a line's; 0 its own
    std::vector<QString> groups;  // each column's group heading, empty for none
    bool grouped() const {
        return std::any_of(groups.begin(), groups.end(),
                           [](const QString& g) { return !g.isEmpty(); });
    }
    QSize sizeHint() const override {
        QSize s = QHeaderView::sizeHint();
        const int line = height > 0 ? height : s.height();
        s.setHeight(grouped() ? 2 * line : line);
        return s;
    }

  protected:
    // A heading wider than its column starts at the column's left edge
    // whatever its alignment, so that its first letters stay readable.
    void initStyleOptionForIndex(QStyleOptionHeader* opt, int logical) const override {
        QHeaderView::initStyleOptionForIndex(opt, logical);
        const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, opt, this);
        if (opt->fontMetrics.horizontalAdvance(opt->text) + 2 * margin > sectionSize(logical))
            opt->textAlignment = (opt->textAlignment & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft;
    }

    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        const QString group = groupOf(logical);
        if (group.isEmpty()) {
            paintHeading(p, rect, logical);
            return;
        }
        const int upper = rect.height() / 2;
        paintHeading(p, QRect(rect.left(), rect.top() + upper, rect.width(), rect.height() - upper),
                     logical);
        // The group's neighbours as they stand on the screen.
        int first = visualIndex(logical), last = first;
        while (first > 0 && groupOf(logicalIndex(first - 1)) == group) --first;
        while (last + 1 < count() && groupOf(logicalIndex(last + 1)) == group) ++last;
        const int left = sectionViewportPosition(logicalIndex(first));
        const int right =
            sectionViewportPosition(logicalIndex(last)) + sectionSize(logicalIndex(last));
        // Each column draws its part of the group's one section; the text is
        // centred in what of the group is in sight (a group wider than the
        // list still shows its heading).
        const QRect band(left, rect.top(), right - left, upper);
        const QRect seen = band.intersected(QRect(0, rect.top(), viewport()->width(), upper));
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        opt.rect = band;
        opt.section = logicalIndex(first);
        opt.position = QStyleOptionHeader::Middle;
        opt.state |= QStyle::State_Raised;
        if (isEnabled()) opt.state |= QStyle::State_Enabled;
        p->save();
        p->setClipRect(QRect(rect.left(), rect.top(), rect.width(), upper));
        style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
        opt.rect = seen.isEmpty() ? band : seen;
        opt.text = group;
        opt.textAlignment = Qt::AlignCenter;
        style()->drawControl(QStyle::CE_HeaderLabel, &opt, p, this);
        p->restore();
    }

  private:
    // A column's own heading in its part of the header. The style keeps a
    // margin above and below the text as well as beside it, which at a
    // line's height cuts off the top of a capital's caron ("Šifra"): the
    // text takes the section's whole height, the margin only beside it.
    void paintHeading(QPainter* p, const QRect& rect, int logical) const {
        if (!rect.isValid()) return;
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        initStyleOptionForIndex(&opt, logical);
        opt.rect = rect;
        p->save();
        p->setClipRect(rect, Qt::IntersectClip);
        style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
        const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, &opt, this);
        opt.rect = rect.adjusted(margin, 0, -margin, 0);
        style()->drawControl(QStyle::CE_HeaderLabel, &opt, p, this);
        p->restore();
    }

    QString groupOf(int logical) const {
        return logical >= 0 && static_cast<std::size_t>(logical) < groups.size()
                   ? groups[static_cast<std::size_t>(logical)]
                   : QString();
    }
};

class ListTree final : public QTreeWidget {
  public:
    ListTree(QWidget* parent, int window, int control)
        : QTreeWidget(parent), window(window), control(control) {}
    int window, control;
    Wheel wheel;
    ThumbBar* bar = nullptr;
    bool thumbShown = false;  // the browse's thumb on the bar, not the tree's own
    std::optional<std::pair<bool, std::uint32_t>> focusLook;  // the highlight drawn: focus, fill
    std::vector<Column> columns;
    std::vector<QChar> points;  // each column's decimal point
    DialogUnits units;
    int lineHeight = 0;  // px, from the list's line height; 0 Qt's own
    int pageRows = 1;    // a page as the browse counts it
    int rowHeight = 0;   // px, as drawn

    // The line height, or less when the page would not fit what is shown
    // (a horizontal scroll bar takes its room).
    void fitRows() {
        int h = 0;
        if (lineHeight > 0) h = std::max(1, std::min(lineHeight, viewport()->height() / pageRows));
        if (h != rowHeight) {
            rowHeight = h;
            scheduleDelayedItemsLayout();
        }
    }

  protected:
    void wheelEvent(QWheelEvent* e) override {
        if (thumbShown)
            wheel.turn(window, control, e);
        else
            QTreeWidget::wheelEvent(e);
    }
    bool viewportEvent(QEvent* e) override {
        if (e->type() == QEvent::Resize) fitRows();
        return QTreeWidget::viewportEvent(e);
    }
};

class ListDelegate final : public QStyledItemDelegate {
  public:
    explicit ListDelegate(ListTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}
    // At the line height only the height counts: the columns have the
    // widths the list gives them. Measuring the text would shape every cell
    // of the row each time the tree asks (each change of the page).
    QSize sizeHint(const QStyleOptionViewItem& o, const QModelIndex& index) const override {
        if (tree_->rowHeight > 0) return {tree_->columnWidth(index.column()), tree_->rowHeight};
        return QStyledItemDelegate::sizeHint(o, index);
    }
    void paint(QPainter* p, const QStyleOptionViewItem& o,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = o;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        const std::size_t n = static_cast<std::size_t>(index.column());
        const Column* col = n < tree_->columns.size() ? &tree_->columns[n] : nullptr;
        const QRect r = opt.rect;
        p->save();
        p->setClipRect(r);
        p->setFont(opt.font);
        const bool selected = opt.state & QStyle::State_Selected;
        p->setPen(opt.palette.color(QPalette::Normal,
                                    selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics fm(opt.font);
        const int x = cellTextX(fm, text, r, col ? col->align : Align::Left,
                                col ? tree_->units.x(col->indent) : 0,
                                n < tree_->points.size() ? tree_->points[n] : QChar('.'));
        // Not clipped to its own rectangle (the cell's clip holds): a text
        // wider than the cell is shaped once, not measured for it first.
        p->drawText(QRect(x, r.top(), std::max(1, r.right() + 1 - x), r.height()),
                    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
        if (!col || col->rightBorder) {
            p->setPen(opt.palette.color(QPalette::Normal, QPalette::Mid));
            p->drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        p->restore();
    }

  private:
    ListTree* tree_;
};

// A column's decimal point: its amount picture's, else none ('\0': after the text).
QChar pointOf(const Column& c) {
    if (c.align != Align::Decimal) return QChar('.');
    const std::optional<Picture> p = Picture::parse(c.picture);
    return p && p->kind == Picture::Kind::Amount ? QChar(p->decimalPoint) : QChar();
}

// The rows of a page as the browse counts them: the list's height less its
// header (shown even without headings), at the line height.
int pageOf(const ControlView& c) {
    const ListPayload& l = listOf(c);
    const int header = std::max(1, headerLines(l.columns.items())) * l.lineHeight;
    return std::max(1, (c.at.h - header) / l.lineHeight);
}

// A page of as many rows of as many cells as the tree holds: the texts
// set in the items there, and the change told once for the rows it
// touched. A cell's own change has the tree measure its row again and
// update its part; a new set of items resets the tree, its header and its
// layout. False, and nothing set, when the rows do not fit the items.
bool refill(QTreeWidget* t, const ListPayload& l) {
    const int n = static_cast<int>(l.rows.size());
    if (n == 0 || t->topLevelItemCount() != n) return false;
    for (int r = 0; r < n; ++r)
        if (t->topLevelItem(r)->columnCount() != static_cast<int>(l.rows[r].size())) return false;
    QAbstractItemModel* model = t->model();
    int first = -1, last = -1;
    {
        const QSignalBlocker quiet(model);
        for (int r = 0; r < n; ++r) {
            QTreeWidgetItem* item = t->topLevelItem(r);
            const auto& row = l.rows[static_cast<std::size_t>(r)];
            for (std::size_t i = 0; i < row.size(); ++i) {
                const QString text = q(row[i]);
                if (item->text(static_cast<int>(i)) == text) continue;
                item->setText(static_cast<int>(i), text);
                if (first < 0) first = r;
                last = r;
            }
        }
    }
    if (first >= 0)
        emit model->dataChanged(model->index(first, 0),
                                model->index(last, std::max(0, model->columnCount() - 1)),
                                {Qt::DisplayRole});
    return true;
}

// The tree, and the bar at its right while the list shows a thumb.
void layOut(const Win& w, ListTree* t, const ControlView& c) {
    const QRect r(w.units.x(c.at.x), w.units.y(c.at.y), w.units.x(c.at.w), w.units.y(c.at.h));
    if (!t->thumbShown || !t->bar) {
        t->setGeometry(r);
        return;
    }
    const int bw = std::min(r.width() / 2, t->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    t->setGeometry(r.x(), r.y(), r.width() - bw, r.height());
    t->bar->setGeometry(r.x() + r.width() - bw, r.y(), bw, r.height());
}

class ListAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        const ListPayload& l = listOf(c);
        auto* t = new ListTree(b.surface, b.v.id, c.id);
        t->setRootIsDecorated(false);
        t->setFocusPolicy(Qt::ClickFocus);
        t->setUniformRowHeights(true);
        t->setAutoScroll(false);  // the page is the browse's: the tree never scrolls it
        auto* header = new ListHeader(t);
        t->setHeader(header);
        t->setItemDelegate(new ListDelegate(t));
        t->units = b.w.units;
        t->columns.assign(l.columns.begin(), l.columns.end());
        for (const Column& col : l.columns) t->points.push_back(pointOf(col));
        for (const Column& col : l.columns) header->groups.push_back(q(col.group));
        // A group's heading stands in what of the group is in sight, so a
        // scroll moves it by less than the columns: the header is drawn anew,
        // not shifted.
        if (header->grouped())
            QObject::connect(t->horizontalScrollBar(), &QScrollBar::valueChanged, header,
                             [header] { header->viewport()->update(); });
        if (l.lineHeight > 0) {
            t->lineHeight = b.w.units.y(l.lineHeight);
            header->height = t->lineHeight;
            t->pageRows = pageOf(c);
        }
        t->setColumnCount(static_cast<int>(l.columns.size()));
        QStringList headers;
        for (const auto& col : l.columns) headers << q(col.header);
        t->setHeaderLabels(headers);
        for (std::size_t i = 0; i < l.columns.size(); ++i) {
            t->setColumnWidth(static_cast<int>(i), b.w.units.x(l.columns[i].width));
            t->headerItem()->setTextAlignment(static_cast<int>(i),
                                              columnAlignment(l.columns[i].headerAlign));
        }
        if (c.kind == ControlKind::List) {
            t->bar = new ThumbBar(b.surface, b.v.id, c.id, &t->wheel);
            t->bar->hide();
            b.w.widgets[-c.id] = t->bar;
        }
        return {t, t->viewport()};
    }
    void place(const Win& w, QWidget* widget, const ControlView& c) const override {
        auto* t = static_cast<ListTree*>(widget);
        const ListPayload& l = listOf(c);
        if (l.lineHeight > 0) t->pageRows = pageOf(c);
        layOut(w, t, c);
        t->fitRows();
    }
    bool update(Win& w, QWidget* widget, const WindowView* old,
                const ControlView& c) const override {
        const ListPayload& l = listOf(c);
        auto* t = static_cast<ListTree*>(widget);
        const bool thumb = t->bar && l.thumb >= 0;
        if (thumb != t->thumbShown) {
            t->thumbShown = thumb;
            t->setVerticalScrollBarPolicy(thumb ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
            layOut(w, t, c);
        }
        if (t->bar) {
            t->bar->setVisible(thumb && c.visible);
            t->bar->setEnabled(c.enabled);
            // Where the browse puts it; a drag in progress is the user's.
            if (thumb && !t->bar->isSliderDown()) {
                const QSignalBlocker quiet(t->bar);
                t->bar->setValue(l.thumb);
            }
        }
        const bool same = old && [&] {
            for (const auto& oc : old->controls)
                if (oc.id == c.id) return listOf(oc).rows == l.rows;
            return false;
        }();
        if (!same && !refill(t, l)) {
            t->clear();
            for (const auto& row : l.rows) {
                QStringList cells;
                for (const auto& cell : row) cells << q(cell);
                auto* item = new QTreeWidgetItem(cells);
                for (std::size_t i = 0; i < l.columns.size() && i < row.size(); ++i)
                    item->setTextAlignment(static_cast<int>(i),
                                           columnAlignment(l.columns[i].align));
                t->addTopLevelItem(item);
            }
        }
        // The highlight of the list with the focus, or the quieter one of a
        // list without it: silver, or a darker grey on a list of its own
        // colour near silver, where silver would not show.
        if (t->focusLook != std::pair{c.focused, c.fill}) {
            t->focusLook = std::pair{c.focused, c.fill};
            QPalette pal = t->palette();
            const QPalette base = QApplication::palette(t);
            const QColor silver(0xc0, 0xc0, 0xc0);
            const QColor fill = QColor::fromRgb(c.fill & 0xffffff);
            const int fromSilver = std::abs(fill.red() - silver.red()) +
                                   std::abs(fill.green() - silver.green()) +
                                   std::abs(fill.blue() - silver.blue());
            const bool nearSilver = c.fill != ControlView().fill && fromSilver < 90;
            for (auto group : {QPalette::Active, QPalette::Inactive}) {
                pal.setColor(group, QPalette::Highlight,
                             c.focused    ? base.color(QPalette::Active, QPalette::Highlight)
                             : nearSilver ? QColor(0x80, 0x80, 0x80)
                                          : silver);
                pal.setColor(group, QPalette::HighlightedText,
                             c.focused    ? base.color(QPalette::Active, QPalette::HighlightedText)
                             : nearSilver ? QColor(Qt::white)
                                          : base.color(QPalette::Active, QPalette::Text));
            }
            t->setPalette(pal);
        }
        if (l.highlight > 0 && l.highlight <= t->topLevelItemCount())
            t->setCurrentItem(t->topLevelItem(l.highlight - 1));
        else
            t->setCurrentItem(nullptr);
        return true;
    }
};

}  // namespace

int cellTextX(const QFontMetrics& fm, const QString& text, const QRect& cell, Align align,
              int indent, QChar point) {
    const int right = cell.right() + 1;
    switch (align) {
        case Align::Left:
            return cell.left() + indent;
        case Align::Right:
            return right - indent - fm.horizontalAdvance(text);
        case Align::Center:
            return cell.left() + (cell.width() - fm.horizontalAdvance(text)) / 2;
        case Align::Decimal: {
            // The text before the point ends indent from the right edge.
            const int at = point.isNull() ? -1 : static_cast<int>(text.indexOf(point));
            return right - indent - fm.horizontalAdvance(at < 0 ? text : text.left(at));
        }
    }
    return cell.left() + indent;
}

const ControlAdapter& listAdapter() {
    static const ListAdapter a;
    return a;
}

}  // namespace rt
