// Lists and drop lists: a tree widget with one column per list column. The
// rows are rebuilt only when they differ from the last view's.
#include <QHeaderView>
#include <QTreeWidget>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

class ListAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* t = new QTreeWidget(b.surface);
        t->setRootIsDecorated(false);
        t->setFocusPolicy(Qt::ClickFocus);
        t->setColumnCount(static_cast<int>(c.columns.size()));
        QStringList headers;
        for (const auto& col : c.columns) headers << q(col.header);
        t->setHeaderLabels(headers);
        for (std::size_t i = 0; i < c.columns.size(); ++i) {
            t->setColumnWidth(static_cast<int>(i), b.w.units.x(c.columns[i].width));
            t->headerItem()->setTextAlignment(static_cast<int>(i),
                                              columnAlignment(c.columns[i].headerAlign));
        }
        return {t, t->viewport()};
    }
    bool update(Win&, QWidget* widget, const WindowView* old,
                const ControlView& c) const override {
        auto* t = static_cast<QTreeWidget*>(widget);
        const bool same = old && [&] {
            for (const auto& oc : old->controls)
                if (oc.id == c.id) return oc.rows == c.rows;
            return false;
        }();
        if (!same || t->topLevelItemCount() != static_cast<int>(c.rows.size())) {
            t->clear();
            for (const auto& row : c.rows) {
                QStringList cells;
                for (const auto& cell : row) cells << q(cell);
                auto* item = new QTreeWidgetItem(cells);
                for (std::size_t i = 0; i < c.columns.size() && i < row.size(); ++i)
                    item->setTextAlignment(static_cast<int>(i),
                                           columnAlignment(c.columns[i].align));
                t->addTopLevelItem(item);
            }
        }
        if (c.highlight > 0 && c.highlight <= t->topLevelItemCount())
            t->setCurrentItem(t->topLevelItem(c.highlight - 1));
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
