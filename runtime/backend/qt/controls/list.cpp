// Lists and drop lists: a tree widget with one column per list column. The
// rows are rebuilt only when they differ from the last view's.
#include <QHeaderView>
#include <QTreeWidget>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

// A drop list's view carries no list part: it shows as a list without columns or rows.
const ListPayload& listOf(const ControlView& c) {
    static const ListPayload none;
    const ListPayload* l = c.list();
    return l ? *l : none;
}

class ListAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        const ListPayload& l = listOf(c);
        auto* t = new QTreeWidget(b.surface);
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
        return {t, t->viewport()};
    }
    bool update(Win&, QWidget* widget, const WindowView* old,
                const ControlView& c) const override {
        const ListPayload& l = listOf(c);
        auto* t = static_cast<QTreeWidget*>(widget);
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
