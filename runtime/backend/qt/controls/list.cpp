// Lists and drop lists: a tree widget with one column per list column. The
// rows are rebuilt only when they differ from the last view's.
//
// A browse's list holds one page of rows, so Qt's own vertical scroll bar
// has nothing to scroll: the list shows the browse's thumb on a scroll bar
// of its own beside the tree (kept in the window's widgets under the list's
// id negated), and its arrows, track, thumb and the wheel go to the window
// layer as raw input. A list that shows no thumb scrolls its rows itself.
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QWheelEvent>

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
                case SliderSingleStepSub: report(window_, control_, By::LineUp); break;
                case SliderSingleStepAdd: report(window_, control_, By::LineDown); break;
                case SliderPageStepSub: report(window_, control_, By::PageUp); break;
                case SliderPageStepAdd: report(window_, control_, By::PageDown); break;
                case SliderToMinimum: report(window_, control_, By::Thumb, 0); break;
                case SliderToMaximum: report(window_, control_, By::Thumb, 100); break;
                default: break;  // a drag reports where it ends
            }
        });
        connect(this, &QAbstractSlider::sliderReleased, this, [this] {
            report(window_, control_, Input::ScrollBy::Thumb, sliderPosition());
        });
    }

  protected:
    void wheelEvent(QWheelEvent* e) override { wheel_->turn(window_, control_, e); }

  private:
    int window_, control_;
    Wheel* wheel_;
};

class ListTree final : public QTreeWidget {
  public:
    ListTree(QWidget* parent, int window, int control)
        : QTreeWidget(parent), window(window), control(control) {}
    int window, control;
    Wheel wheel;
    ThumbBar* bar = nullptr;
    bool thumbShown = false;  // the browse's thumb on the bar, not the tree's own

  protected:
    void wheelEvent(QWheelEvent* e) override {
        if (thumbShown)
            wheel.turn(window, control, e);
        else
            QTreeWidget::wheelEvent(e);
    }
};

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
        layOut(w, static_cast<ListTree*>(widget), c);
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
        if (!same || t->topLevelItemCount() != static_cast<int>(l.rows.size())) {
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
        if (l.highlight > 0 && l.highlight <= t->topLevelItemCount())
            t->setCurrentItem(t->topLevelItem(l.highlight - 1));
        else
            t->setCurrentItem(nullptr);
        return true;
    }
};

}  // namespace

const ControlAdapter& listAdapter() {
    static const ListAdapter a;
    return a;
}

}  // namespace rt
