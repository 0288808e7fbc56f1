// The windows' widgets: the frame with its menus and status bar, the child
// windows with their controls (each made and updated by its kind's adapter),
// and their removal.
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>

#include "runtime/backend/qt/controls.h"
#include "runtime/backend/qt/input.h"
#include "runtime/backend/qt/state.h"
#include "runtime/backend/qt/windows.h"
#include "runtime/window/window.h"

namespace rt {

void QtBackend::State::create(Win& w, const WindowView& v) {
    auto* filt = static_cast<InputFilter*>(filter);
    w.units = units;
    if (v.kind == WindowKind::Frame) {
        auto* f = new FrameWidget;
        f->id = v.id;
        // any application icon will do
        f->setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_DesktopIcon));
        f->applying = &w.applying;
        f->units = &w.units;
        f->setFont(appFont);
        w.top = f;
        w.mdi = new QMdiArea;
        w.mdi->setViewMode(v.tabBar ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
        // A window opened or activated over a maximized one keeps its own
        // state (the pages-to-print box over the maximized preview).
        w.mdi->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
        f->setCentralWidget(w.mdi);
        // The window layer decides which child is active: what Qt activates
        // on its own (the next one when one closes, one whose widget took the
        // focus) is put back once it is done.
        State* st = this;
        QMdiArea* area = w.mdi;
        QObject::connect(area, &QMdiArea::subWindowActivated, area, [st, area](QMdiSubWindow*) {
            if (st->syncing) return;
            QMetaObject::invokeMethod(
                area, [st] { st->syncActive(); }, Qt::QueuedConnection);
        });
        qApp->installEventFilter(new FrameKeys(filt, f->menuBar(), f));
        frame = v.id;
        // Menus and their items.
        std::map<int, QMenu*> menus;
        for (const ControlView& c : v.controls) {
            if (c.kind == ControlKind::Menu) {
                QMenu* m = c.parent && menus.count(c.parent) ? menus[c.parent]->addMenu(q(c.text))
                                                             : f->menuBar()->addMenu(q(c.text));
                // Separators around hidden items stay where they are.
                m->setSeparatorsCollapsible(false);
                menus[c.id] = m;
                w.actions[c.id] = m->menuAction();
                const int id = v.id, item = c.id;
                QObject::connect(m, &QMenu::aboutToHide, m, [id] {
                    rt::input(id, Input{Input::Kind::MenuHover, 0});
                });
                (void)item;
            } else if (c.kind == ControlKind::Item || c.kind == ControlKind::Separator) {
                QMenu* m = menus.count(c.parent) ? menus[c.parent] : nullptr;
                if (!m) continue;
                QAction* a =
                    c.kind == ControlKind::Separator ? m->addSeparator() : m->addAction(q(c.text));
                w.actions[c.id] = a;
                if (c.kind == ControlKind::Item) {
                    const int id = v.id, item = c.id;
                    QObject::connect(a, &QAction::triggered, a, [id, item] {
                        rt::input(id, Input{Input::Kind::Menu, item});
                    });
                    QObject::connect(a, &QAction::hovered, a, [id, item] {
                        rt::input(id, Input{Input::Kind::MenuHover, item});
                    });
                }
            }
        }
        // The status bar: the first zone takes what the others leave.
        QStatusBar* sb = f->statusBar();
        for (std::size_t i = 0; i < v.statusWidths.size(); ++i) {
            auto* l = new QLabel;
            l->setFrameShape(QFrame::Panel);
            l->setFrameShadow(QFrame::Sunken);
            const int width = v.statusWidths[i];
            if (width > 0) {
                l->setFixedWidth(units.x(width));
                sb->addPermanentWidget(l, 0);
            } else {
                l->setMinimumWidth(std::max(1, units.x(1)));
                sb->addWidget(l, 1);
            }
            if (i < pendingStatus.size()) l->setText(q(pendingStatus[i]));
            w.status.push_back(l);
        }
        w.applying = true;
        f->resize(units.x(v.at.w), units.y(v.at.h));
        f->move(units.x(v.at.x), units.y(v.at.y));
        if (v.maximized) {
            // Its normal placement stays the designed one: restoring gives it.
            f->showMaximized();
        } else {
            f->show();
        }
        w.applying = false;
        f->remember();
        return;
    }
    auto* sub = new ChildWindow;
    sub->id = v.id;
    // No icon in a child's title bar: an empty one would be drawn as Qt's.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    sub->setWindowIcon(QIcon(blank));
    sub->applying = &w.applying;
    sub->units = &w.units;
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* surface = new Surface;
    surface->setFont(qfont(v.font));
    surface->setAutoFillBackground(true);
    if (v.grey) {
        QPalette p = surface->palette();
        p.setColor(QPalette::Window, QColor(0xc0, 0xc0, 0xc0));
        surface->setPalette(p);
    }
    w.units = unitsOf(qfont(v.font));
    sub->units = &w.units;
    sub->surface = surface;
    surface->setFixedSize(w.units.x(v.at.w), w.units.y(v.at.h));
    surface->hint = surface->size();
    if (v.resizable) {
        surface->setMinimumSize(w.units.x(std::max(v.minSize.w, 1)),
                                w.units.y(std::max(v.minSize.h, 1)));
        surface->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    sub->setWidget(surface);
    Qt::WindowFlags flags = Qt::SubWindow;
    if (!v.titleBar)
        flags |= Qt::FramelessWindowHint;
    else {
        flags |= Qt::WindowTitleHint;
        if (v.systemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (v.resizable) flags |= Qt::WindowMinMaxButtonsHint;
    }
    sub->setWindowFlags(flags);
    filt->targets[surface] = {v.id, 0, ControlKind::String};
    surface->installEventFilter(filt);
    w.top = sub;
    w.surface = surface;
    // Controls, in creation order; each at its place in dialog units.
    Building b{w, v, surface, {}};
    for (const ControlView& c : v.controls) {
        const ControlAdapter* adapter = adapterFor(c.kind);
        if (!adapter) continue;
        const Made made = adapter->create(b, c);
        QWidget* widget = made.widget;
        QWidget* inputTarget = made.inputTarget;
        if (!widget) continue;
        if (c.hasFont) {
            widget->setFont(qfont(c.font));
            if (c.font.color) {
                QPalette p = widget->palette();
                p.setColor(QPalette::WindowText, QColor::fromRgb(c.font.color));
                widget->setPalette(p);
            }
        }
        if (c.fill != ControlView().fill) paintFill(widget, c);
        adapter->place(w, widget, c);
        w.widgets[c.id] = widget;
        QWidget* t = inputTarget ? inputTarget : widget;
        filt->targets[t] = {v.id, c.id, c.kind};
        t->installEventFilter(filt);
        if (inputTarget && inputTarget != widget) {
            filt->targets[widget] = {v.id, c.id, c.kind};
            widget->installEventFilter(filt);  // keys arrive at the widget itself
        }
        if (!c.tip.empty()) widget->setToolTip(q(c.tip));
    }
    // Panels are drawn first so the texts stay over them; so are sheets, whose
    // area the window's own lists and buttons lie over.
    for (const ControlView& c : v.controls) {
        const ControlAdapter* adapter = adapterFor(c.kind);
        if (adapter && adapter->below(c) && w.widgets.count(c.id)) w.widgets[c.id]->lower();
    }
    QMdiArea* area = mdiArea();
    if (area) {
        area->addSubWindow(sub);
    }
    w.applying = true;
    sub->adjustSize();
    // Its border goes no further in than the least size of its area.
    if (v.resizable) sub->setMinimumSize(sub->minimumSizeHint());
    sub->move(w.units.x(v.at.x), w.units.y(v.at.y));
    syncing = true;  // shown as the window layer says: active or not
    if (v.maximized)
        sub->showMaximized();
    else
        sub->show();
    syncing = false;
    w.applying = false;
    sub->remember();
}

void QtBackend::State::update(Win& w, const WindowView& v) {
    if (!w.top) return;
    w.applying = true;
    w.inputsTaken = v.inputsTaken;
    const WindowView* old = w.view.get();
    if (!old || old->title != v.title) w.top->setWindowTitle(q(v.title));
    if (v.kind == WindowKind::Frame) {
        auto* f = static_cast<QMainWindow*>(w.top.data());
        // Only what the program placed: what the user did is there already,
        // and a placement reported a moment ago may be out of date now.
        if (old && old->placed != v.placed) {
            if (old->maximized != v.maximized && !v.maximized) f->showNormal();
            if (!v.maximized) {
                f->move(units.x(v.at.x), units.y(v.at.y));
                f->resize(units.x(v.at.w), units.y(v.at.h));
            }
            if (old->maximized != v.maximized && v.maximized) f->showMaximized();
        }
        for (const ControlView& c : v.controls) {
            auto it = w.actions.find(c.id);
            if (it == w.actions.end()) continue;
            it->second->setVisible(!c.hidden);
            it->second->setEnabled(c.enabled);
        }
        w.applying = false;
        static_cast<FrameWidget*>(f)->remember();
        return;
    }
    auto* sub = static_cast<ChildWindow*>(w.top.data());
    syncing = true;
    if (old && old->placed != v.placed) {
        if (old->maximized != v.maximized || old->minimized != v.minimized) {
            if (v.maximized)
                sub->showMaximized();
            else if (v.minimized)
                sub->showMinimized();
            else
                sub->showNormal();
        }
        if (!v.maximized && !v.minimized) {
            sub->move(w.units.x(v.at.x), w.units.y(v.at.y));
            if (v.resizable) {
                static_cast<Surface*>(w.surface)->hint =
                    QSize(w.units.x(v.at.w), w.units.y(v.at.h));
                w.surface->resize(static_cast<Surface*>(w.surface)->hint);
                sub->adjustSize();
            }
        }
    }
    w.surface->setEnabled(v.enabled);
    for (const ControlView& c : v.controls) {
        auto it = w.widgets.find(c.id);
        if (it == w.widgets.end()) continue;
        QWidget* widget = it->second;
        const ControlAdapter* adapter = adapterFor(c.kind);
        // The resizer moved or stretched it.
        if (adapter && old && static_cast<std::size_t>(c.id) <= old->controls.size() &&
            old->controls[static_cast<std::size_t>(c.id - 1)].at != c.at)
            adapter->place(w, widget, c);
        if (old && static_cast<std::size_t>(c.id) <= old->controls.size() &&
            old->controls[static_cast<std::size_t>(c.id - 1)].fill != c.fill)
            paintFill(widget, c);
        if (adapter && !adapter->update(w, widget, old, c)) continue;
        widget->setEnabled(c.enabled);
        widget->setVisible(c.visible);
    }
    // The focus is given once the batch is drawn, in the active window only
    // (syncActive): focusing a widget activates its sub-window.
    syncing = false;
    w.applying = false;
    if (auto* child = dynamic_cast<ChildWindow*>(sub)) child->tellMaximizedSize(v.present);
    sub->remember();
}

// Qt's active sub-window and its keyboard focus as the window layer has them:
// the active child on top and active, the focus on the control it names (or
// on its surface, so keys still reach it). A window that waits on a dialog
// keeps its focus where it is: the dialog has the keys.
void QtBackend::State::syncActive() {
    QMdiArea* area = mdiArea();
    if (!area || syncing) return;
    auto it = wins.find(rt::activeWindow());
    if (it == wins.end() || !it->second.top || !it->second.surface) return;  // not drawn yet
    auto* sub = qobject_cast<QMdiSubWindow*>(it->second.top.data());
    if (!sub) return;
    Win& w = it->second;
    syncing = true;
    if (area->activeSubWindow() != sub) area->setActiveSubWindow(sub);
    if (w.view && w.view->enabled && w.surface->isEnabled()) {
        QWidget* target = w.surface;
        int control = 0;
        for (const ControlView& c : w.view->controls) {
            if (!c.focused) continue;
            auto f = w.widgets.find(c.id);
            if (f != w.widgets.end() && f->second->isEnabled() &&
                f->second->isVisibleTo(w.surface)) {
                target = f->second;
                control = c.id;
            }
        }
        // Given when the window layer moved it, or when it is outside this
        // window; a click into a box of this window keeps the box Qt gave it
        // until the window layer has taken the click.
        const FocusShown now{it->first, control};
        // The window layer moves the focus for the keyboard, not Qt's own
        // chain: without this the style draws no focus mark (a check box's,
        // a radio's, a button's), as for a focus given by a click.
        sub->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        QWidget* has = sub->window()->focusWidget();
        const bool moved = now.window != focusShown.window || now.control != focusShown.control;
        if ((moved || !has || !sub->isAncestorOf(has)) && has != target)
            target->setFocus(Qt::OtherFocusReason);
        // The keyboard comes to the frame (the X input focus) when another
        // window became active or a dialog of this one went, unless one of
        // the program's dialogs holds it: an open box keeps the keys until
        // it is answered or the user leaves it.
        QWidget* frameTop = sub->window();
        QWidget* holder = QApplication::activeWindow();
        const bool dialogHolds =
            holder && std::any_of(dialogs.begin(), dialogs.end(),
                                  [holder](const auto& d) { return d.second == holder; });
        const bool arrived = now.window != focusShown.window || focusShown.control <= -2;
        if (arrived && !dialogHolds && holder != frameTop) frameTop->activateWindow();
        focusShown = now;
    } else if (QWidget* d = dialogOf(it->first)) {
        // A window that waits on its dialog: the dialog has the keys, once
        // each time it opens or its window becomes the active one.
        const FocusShown now{it->first, -2 - dialogId(d)};
        if (now.window != focusShown.window || now.control != focusShown.control) {
            d->raise();
            d->activateWindow();
        }
        focusShown = now;
    } else {
        focusShown = {};
    }
    syncing = false;
}

QWidget* QtBackend::State::dialogOf(int window) const {
    QWidget* found = nullptr;
    for (const auto& [id, r] : requests) {
        if (r.window != window || r.kind == DialogRequest::Kind::Popup) continue;
        auto d = dialogs.find(id);
        if (d != dialogs.end() && d->second->isVisible()) found = d->second;
    }
    return found;
}

int QtBackend::State::dialogId(const QWidget* d) const {
    for (const auto& [id, w] : dialogs)
        if (w == d) return id;
    return 0;
}

void QtBackend::State::apply(const ViewPtr& v) {
    auto it = wins.find(v->id);
    if (it == wins.end()) {
        // A child whose view comes before the frame's (the splash, started
        // as the frame opens) waits for the frame's area to open in.
        if (v->kind == WindowKind::Child && !mdiArea()) {
            unframed[v->id] = v;
            return;
        }
        Win& w = wins[v->id];
        create(w, *v);
        update(w, *v);
        w.view = v;
        if (v->kind == WindowKind::Frame) {
            auto waiting = std::move(unframed);
            unframed.clear();
            for (auto& [id, child] : waiting) apply(child);
        }
        return;
    }
    update(it->second, *v);
    it->second.view = v;
}

void QtBackend::State::destroy(int id) {
    unframed.erase(id);
    auto it = wins.find(id);
    if (it == wins.end()) return;
    auto* filt = static_cast<InputFilter*>(filter);
    for (auto f = filt->targets.begin(); f != filt->targets.end();)
        f = f->second.window == id ? filt->targets.erase(f) : std::next(f);
    // The controls' signal handlers read their window's state, which goes
    // now; taking the window off the screen still moves the focus out of
    // its entries, and nothing of a closed window may report that.
    auto detach = [](QWidget* w) {
        if (!w) return;
        for (QObject* o : w->findChildren<QObject*>()) o->blockSignals(true);
        if (auto* f = dynamic_cast<FrameWidget*>(w)) f->detach();
        if (auto* c = dynamic_cast<ChildWindow*>(w)) c->detach();
    };
    QPointer<QWidget> top = it->second.top;
    detach(top.data());
    wins.erase(it);
    if (id == frame) {
        frame = 0;
        // Sub-windows still shown belong to the frame's area and go with it.
        for (auto w = wins.begin(); w != wins.end();) {
            if (qobject_cast<QMdiSubWindow*>(w->second.top.data())) {
                for (auto f = filt->targets.begin(); f != filt->targets.end();)
                    f = f->second.window == w->first ? filt->targets.erase(f) : std::next(f);
                detach(w->second.top.data());
                w = wins.erase(w);
            } else {
                ++w;
            }
        }
    }
    if (!top) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(top.data())) {
        if (auto* area = sub->mdiArea()) {
            // Taking the active sub-window away, the area would activate
            // (and raise) the next one in creation order, reordering the
            // windows the user left. The one just beneath goes first, which
            // moves nothing; the window layer's choice is raised after.
            if (area->activeSubWindow() == sub) {
                const QList<QMdiSubWindow*> stack = area->subWindowList(QMdiArea::StackingOrder);
                for (auto below = stack.rbegin(); below != stack.rend(); ++below) {
                    if (*below == sub || !(*below)->isVisible()) continue;
                    syncing = true;
                    area->setActiveSubWindow(*below);
                    syncing = false;
                    break;
                }
            }
            area->removeSubWindow(sub);
            State* st = this;
            QMetaObject::invokeMethod(
                area, [st] { st->syncActive(); }, Qt::QueuedConnection);
        }
    }
    top->hide();
    top->deleteLater();
}

}  // namespace rt
