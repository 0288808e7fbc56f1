// Sheets and their tabs: a tab bar over a framed area. Each tab is an entry
// on its sheet's bar, not a widget of its own; the bar is kept in the
// window's widgets under the sheet's id negated.
#include <QFrame>
#include <QTabBar>

#include "runtime/backend/qt/controls.h"
#include "runtime/window/window.h"

namespace rt {

namespace {

class SheetAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        Win& w = b.w;
        auto* frameBox = new QFrame(b.surface);
        frameBox->setFrameShape(QFrame::StyledPanel);
        auto* bar = new QTabBar(b.surface);
        // Each tab as wide as its text, so even a sheet's only tab is a tab.
        bar->setExpanding(false);
        b.bars[c.id] = bar;
        const int id = b.v.id;
        const Win* win = &w;
        QObject::connect(bar, &QTabBar::currentChanged, bar, [id, win, bar](int index) {
            if (win->applying) return;
            for (const auto& [tab, i] : win->tabIndex)
                if (i == index && win->widgets.count(tab) && win->widgets.at(tab) == bar)
                    rt::input(id, Input{Input::Kind::TabChosen, tab});
        });
        w.widgets[-c.id] = bar;  // the bar, kept beside the sheet's frame
        return {frameBox};
    }
    // The frame lies under the bar.
    void place(const Win& w, QWidget* widget, const ControlView& c) const override {
        widget->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y) + w.units.y(11), w.units.x(c.at.w),
                            std::max(1, w.units.y(c.at.h - 11)));
        if (auto bar = w.widgets.find(-c.id); bar != w.widgets.end())
            bar->second->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y), w.units.x(c.at.w),
                                     w.units.y(12));
    }
    // The window's own lists and buttons lie over a sheet's area.
    bool below(const ControlView&) const override { return true; }
    bool update(Win& w, QWidget*, const WindowView*, const ControlView& c) const override {
        const int chosen = c.sheet() ? c.sheet()->selectedTab : 0;
        auto bar = w.widgets.find(-c.id);
        if (bar != w.widgets.end() && w.tabIndex.count(chosen))
            static_cast<QTabBar*>(bar->second)->setCurrentIndex(w.tabIndex[chosen]);
        if (bar != w.widgets.end()) bar->second->setVisible(c.visible);
        return true;
    }
};

class TabAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto it = b.bars.find(c.parent);
        if (it == b.bars.end()) return {};
        b.w.tabIndex[c.id] = it->second->addTab(q(c.text));
        b.w.widgets[c.id] = it->second;
        return {};  // the bar is the sheet's: nothing else is set on it here
    }
    // The bar lies where its sheet places it.
    void place(const Win&, QWidget*, const ControlView&) const override {}
    // The bar is the sheet's: only the tab's own entry on it changes.
    bool update(Win& w, QWidget* widget, const WindowView*, const ControlView& c) const override {
        auto* bar = static_cast<QTabBar*>(widget);
        const int index = w.tabIndex[c.id];
        // Either lays the bar's tabs out anew and repaints it, the same
        // text or not.
        const QString text = q(c.text);
        if (bar->tabText(index) != text) bar->setTabText(index, text);
        if (bar->isTabEnabled(index) != c.enabled) bar->setTabEnabled(index, c.enabled);
        return false;
    }
};

}  // namespace

const ControlAdapter& sheetAdapter() {
    static const SheetAdapter a;
    return a;
}
const ControlAdapter& tabAdapter() {
    static const TabAdapter a;
    return a;
}

}  // namespace rt
