#include "runtime/backend/qt/qt_backend.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "runtime/window/keys.h"
#include "runtime/window/window.h"

namespace rt {

int DialogUnits::x(int dlu) const {
    return static_cast<int>(std::lround(dlu * baseX / 4.0));
}
int DialogUnits::y(int dlu) const {
    return static_cast<int>(std::lround(dlu * baseY / 8.0));
}
int DialogUnits::fromX(int px) const {
    return static_cast<int>(std::lround(px * 4.0 / baseX));
}
int DialogUnits::fromY(int px) const {
    return static_cast<int>(std::lround(px * 8.0 / baseY));
}

std::string qtFontFace(const std::string& face) {
    if (face == "Arial Narrow") return "Liberation Sans Narrow";
    if (face == "MS Sans Serif" || face == "Arial" || face.empty()) return "Liberation Sans";
    return face;
}

namespace {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QFont qfont(const Font& f) {
    QFont font(q(qtFontFace(f.face)));
    font.setPointSize(f.size > 0 ? f.size : 8);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    return font;
}

DialogUnits unitsOf(const QFont& font) {
    QFontMetrics fm(font);
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // The average width of the letters, rounded as the original platform
    // rounds it, and the font's height: Liberation Sans 8 gives 6 x 12.
    DialogUnits u;
    u.baseX = std::max(1, (fm.horizontalAdvance(alphabet) / 26 + 1) / 2);
    u.baseY = std::max(1, fm.height());
    return u;
}

// Keys as the window layer names them; 0 for a key Qt handles itself.
int coreKey(const QKeyEvent* e, bool editing) {
    const auto mods = e->modifiers();
    const bool shift = mods & Qt::ShiftModifier, ctrl = mods & Qt::ControlModifier;
    switch (e->key()) {
        case Qt::Key_Tab:
            return shift ? key::ShiftTab : key::Tab;
        case Qt::Key_Backtab:
            return key::ShiftTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return ctrl ? key::CtrlEnter : shift ? key::ShiftEnter : key::Enter;
        case Qt::Key_Up:
            return key::Up;
        case Qt::Key_Down:
            return key::Down;
        case Qt::Key_PageUp:
            return key::PageUp;
        case Qt::Key_PageDown:
            return key::PageDown;
        case Qt::Key_Insert:
            return key::Insert;
        case Qt::Key_Escape:
            return key::Esc;
        case Qt::Key_Menu:
            return key::AppsKey;
        default:
            break;
    }
    if (e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12) return key::F1 + (e->key() - Qt::Key_F1);
    if (ctrl && e->key() == Qt::Key_H) return key::CtrlH;
    if (editing) return 0;  // the edit box types, moves its cursor and deletes itself
    switch (e->key()) {
        case Qt::Key_Left:
            return key::Left;
        case Qt::Key_Right:
            return key::Right;
        case Qt::Key_Home:
            return key::Home;
        case Qt::Key_End:
            return key::End;
        case Qt::Key_Delete:
            return key::Delete;
        case Qt::Key_Backspace:
            return key::Backspace;
        default:
            break;
    }
    const QString t = e->text();
    if (!t.isEmpty() && t[0].isPrint()) return static_cast<int>(t.toUcs4().value(0));
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------

struct QtBackend::State {
    QtBackend* self = nullptr;
    std::mutex m;
    std::deque<std::function<void()>> queue;
    bool busy = false;
    bool stopping = false;
    int efd = -1;
    QSocketNotifier* notifier = nullptr;
    DialogUnits units;
    QFont appFont;

    struct Win {
        ViewPtr view;
        QPointer<QWidget> top;       // QMainWindow or QMdiSubWindow
        QWidget* surface = nullptr;  // children: the client area
        QMdiArea* mdi = nullptr;     // the frame
        std::map<int, QWidget*> widgets;
        std::map<int, QAction*> actions;
        std::map<int, int> tabIndex;  // tab control -> index on its sheet's bar
        std::vector<QLabel*> status;
        bool applying = false;
        DialogUnits units;
    };
    std::map<int, Win> wins;
    int frame = 0;
    std::map<int, QWidget*> dialogs;
    std::map<int, DialogRequest> requests;
    std::vector<std::string> pendingStatus;
    QObject* filter = nullptr;

    void drain() {
        std::uint64_t n;
        if (::read(efd, &n, sizeof n) < 0) {
            // nothing to read: another wake-up took it
        }
        for (;;) {
            std::deque<std::function<void()>> batch;
            {
                std::lock_guard g(m);
                if (queue.empty()) {
                    busy = false;
                    return;
                }
                batch.swap(queue);
                busy = true;
            }
            for (auto& f : batch) f();
        }
    }

    QMdiArea* mdiArea() {
        auto it = wins.find(frame);
        return it == wins.end() ? nullptr : it->second.mdi;
    }

    void apply(const ViewPtr& v);
    void create(Win& w, const WindowView& v);
    void update(Win& w, const WindowView& v);
    void destroy(int id);
    void openDialog(int id, const DialogRequest& r);
    void closeDialog(int id);
    void setStatus(int zone, const std::string& text);
};

namespace {

// Reports input from the widgets of one window to the window layer.
class InputFilter : public QObject {
  public:
    struct Target {
        int window = 0;
        int control = 0;  // 0: the window's surface
        ControlKind kind = ControlKind::String;
    };
    std::map<QObject*, Target> targets;

    bool eventFilter(QObject* obj, QEvent* ev) override {
        auto it = targets.find(obj);
        if (it == targets.end()) return false;
        const Target t = it->second;
        const bool editing = t.kind == ControlKind::Entry || t.kind == ControlKind::Text;
        switch (ev->type()) {
            case QEvent::MouseButtonPress: {
                auto* me = static_cast<QMouseEvent*>(ev);
                Input in;
                in.control = t.control;
                in.row = rowAt(obj, me->position().toPoint());
                if (me->button() == Qt::RightButton)
                    in.kind = Input::Kind::RightClick;
                else if (me->button() == Qt::LeftButton)
                    in.kind = editing ? Input::Kind::Focus : Input::Kind::Click;
                else
                    return true;
                rt::input(t.window, in);
                // An edit box still places its cursor; everything else is
                // pressed by the window layer, not by Qt.
                return !editing;
            }
            case QEvent::MouseButtonDblClick: {
                auto* me = static_cast<QMouseEvent*>(ev);
                if (me->button() != Qt::LeftButton) return true;
                Input in{Input::Kind::DoubleClick, t.control};
                in.row = rowAt(obj, me->position().toPoint());
                rt::input(t.window, in);
                return true;
            }
            case QEvent::MouseButtonRelease:
                return !editing;
            case QEvent::KeyPress: {
                auto* ke = static_cast<QKeyEvent*>(ev);
                const int k = coreKey(ke, editing);
                if (!k) return false;
                Input in{Input::Kind::Key};
                in.key = k;
                rt::input(t.window, in);
                return true;
            }
            case QEvent::ShortcutOverride:
                return false;
            default:
                return false;
        }
    }

  private:
    static int rowAt(QObject* obj, QPoint p) {
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w) return 0;
        if (auto* tree = qobject_cast<QTreeWidget*>(w->parentWidget())) {
            QModelIndex idx = tree->indexAt(p);
            return idx.isValid() ? idx.row() + 1 : 0;
        }
        return 0;
    }
};

class FrameWidget : public QMainWindow {
  public:
    int id = 0;
    bool* applying = nullptr;
    const DialogUnits* units = nullptr;
    // The window layer is done with it: report nothing more.
    void detach() {
        applying = nullptr;
        units = nullptr;
    }

  protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();  // the program decides
        rt::input(id, Input{Input::Kind::Close});
    }
    void moveEvent(QMoveEvent* e) override {
        QMainWindow::moveEvent(e);
        report();
    }
    void resizeEvent(QResizeEvent* e) override {
        QMainWindow::resizeEvent(e);
        // Children are centred in what the frame's area now offers.
        if (units && centralWidget())
            rt::setClientArea({0, 0, units->fromX(centralWidget()->width()),
                               units->fromY(centralWidget()->height())});
        report();
    }
    void changeEvent(QEvent* e) override {
        QMainWindow::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange) report();
    }

  private:
    // What the user did to the frame; a maximized frame keeps its normal
    // placement in the window layer.
    void report() {
        if (!units || (applying && *applying) || !isVisible()) return;
        Input in{Input::Kind::Placement};
        // pos() is where move() puts the window (its frame included), so a
        // stored position comes back at the same place.
        const QRect g(pos(), size());
        in.at = {units->fromX(g.x()), units->fromY(g.y()), units->fromX(g.width()),
                 units->fromY(g.height())};
        in.maximized = isMaximized();
        in.minimized = isMinimized();
        rt::input(id, in);
    }
};

class ChildWindow : public QMdiSubWindow {
  public:
    int id = 0;
    bool* applying = nullptr;
    const DialogUnits* units = nullptr;
    QWidget* surface = nullptr;
    void detach() {
        applying = nullptr;
        units = nullptr;
        surface = nullptr;
    }

  protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        rt::input(id, Input{Input::Kind::Close});
    }
    // A press on the title bar or border brings the window to the front.
    void mousePressEvent(QMouseEvent* e) override {
        rt::input(id, Input{Input::Kind::Activate});
        QMdiSubWindow::mousePressEvent(e);
    }
    void moveEvent(QMoveEvent* e) override {
        QMdiSubWindow::moveEvent(e);
        report();
    }
    void resizeEvent(QResizeEvent* e) override {
        QMdiSubWindow::resizeEvent(e);
        report();
    }
    void changeEvent(QEvent* e) override {
        QMdiSubWindow::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange) report();
    }

  private:
    void report() {
        if (!units || !surface || (applying && *applying) || !isVisible()) return;
        Input in{Input::Kind::Placement};
        in.at = {units->fromX(pos().x()), units->fromY(pos().y()), units->fromX(surface->width()),
                 units->fromY(surface->height())};
        in.maximized = isMaximized();
        in.minimized = isMinimized();
        rt::input(id, in);
    }
};

QFrame::Shadow shadowOf(int bevel) {
    return bevel < 0 ? QFrame::Sunken : QFrame::Raised;
}

// A list column's alignment; a decimal column lines its numbers up on the
// right, since they are formatted to the same number of places.
Qt::Alignment columnAlignment(Align a) {
    switch (a) {
        case Align::Right:
        case Align::Decimal: return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

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
        f->setCentralWidget(w.mdi);
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
            // Without a window manager nobody maximizes it: take the screen.
            if (QScreen* screen = QGuiApplication::primaryScreen())
                f->setGeometry(screen->availableGeometry());
            f->showMaximized();
        } else {
            f->show();
        }
        w.applying = false;
        return;
    }
    auto* sub = new ChildWindow;
    sub->id = v.id;
    sub->applying = &w.applying;
    sub->units = &w.units;
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* surface = new QWidget;
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
    std::map<int, QTabBar*> bars;
    for (const ControlView& c : v.controls) {
        QWidget* widget = nullptr;
        QWidget* inputTarget = nullptr;
        switch (c.kind) {
            case ControlKind::Prompt:
            case ControlKind::String: {
                auto* l = new QLabel(surface);
                l->setAlignment(c.align == Align::Center  ? Qt::AlignHCenter | Qt::AlignTop
                                : c.align == Align::Right ? Qt::AlignRight | Qt::AlignTop
                                                          : Qt::AlignLeft | Qt::AlignTop);
                widget = l;
                break;
            }
            case ControlKind::Entry:
            case ControlKind::Spin:
            case ControlKind::Combo:
            case ControlKind::DropCombo: {
                auto* e = new QLineEdit(surface);
                e->setFocusPolicy(Qt::ClickFocus);
                if (c.align == Align::Right) e->setAlignment(Qt::AlignRight);
                const int id = v.id, ctl = c.id;
                QObject::connect(e, &QLineEdit::textEdited, e, [id, ctl](const QString& t) {
                    Input in{Input::Kind::Text, ctl};
                    in.text = t.toStdString();
                    rt::input(id, in);
                });
                widget = e;
                break;
            }
            case ControlKind::Text: {
                auto* e = new QPlainTextEdit(surface);
                e->setFocusPolicy(Qt::ClickFocus);
                const int id = v.id, ctl = c.id;
                bool* applying = &w.applying;
                QObject::connect(e, &QPlainTextEdit::textChanged, e, [e, id, ctl, applying] {
                    if (*applying) return;
                    Input in{Input::Kind::Text, ctl};
                    in.text = e->toPlainText().toStdString();
                    rt::input(id, in);
                });
                widget = e;
                inputTarget = e->viewport();
                break;
            }
            case ControlKind::Button: {
                auto* b = new QPushButton(surface);
                b->setFocusPolicy(Qt::ClickFocus);
                widget = b;
                break;
            }
            case ControlKind::Check: {
                auto* b = new QCheckBox(surface);
                b->setFocusPolicy(Qt::ClickFocus);
                widget = b;
                break;
            }
            case ControlKind::Radio: {
                auto* b = new QRadioButton(surface);
                b->setAutoExclusive(false);
                b->setFocusPolicy(Qt::ClickFocus);
                widget = b;
                break;
            }
            case ControlKind::Option:
            case ControlKind::Group: {
                auto* g = new QGroupBox(surface);
                widget = g;
                break;
            }
            case ControlKind::List:
            case ControlKind::DropList: {
                auto* t = new QTreeWidget(surface);
                t->setRootIsDecorated(false);
                t->setFocusPolicy(Qt::ClickFocus);
                t->setColumnCount(static_cast<int>(c.columns.size()));
                QStringList headers;
                for (const auto& col : c.columns) headers << q(col.header);
                t->setHeaderLabels(headers);
                for (std::size_t i = 0; i < c.columns.size(); ++i) {
                    t->setColumnWidth(static_cast<int>(i), w.units.x(c.columns[i].width));
                    t->headerItem()->setTextAlignment(static_cast<int>(i),
                                                      columnAlignment(c.columns[i].headerAlign));
                }
                widget = t;
                inputTarget = t->viewport();
                break;
            }
            case ControlKind::Sheet: {
                auto* frameBox = new QFrame(surface);
                frameBox->setFrameShape(QFrame::StyledPanel);
                auto* bar = new QTabBar(surface);
                bars[c.id] = bar;
                const int id = v.id;
                const Win* win = &w;
                QObject::connect(bar, &QTabBar::currentChanged, bar, [id, win, bar](int index) {
                    if (win->applying) return;
                    for (const auto& [tab, i] : win->tabIndex)
                        if (i == index && win->widgets.count(tab) && win->widgets.at(tab) == bar)
                            rt::input(id, Input{Input::Kind::TabChosen, tab});
                });
                widget = frameBox;
                w.widgets[-c.id] = bar;  // the bar, kept beside the sheet's frame
                bar->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y), w.units.x(c.at.w),
                                 w.units.y(12));
                break;
            }
            case ControlKind::Tab: {
                auto it = bars.find(c.parent);
                if (it == bars.end()) break;
                w.tabIndex[c.id] = it->second->addTab(q(c.text));
                w.widgets[c.id] = it->second;
                continue;
            }
            case ControlKind::Panel:
            case ControlKind::Box:
            case ControlKind::Image: {
                auto* fr = new QFrame(surface);
                fr->setFrameShape(QFrame::Panel);
                fr->setFrameShadow(shadowOf(c.bevelOuter));
                fr->setLineWidth(std::max(1, std::min(3, std::abs(c.bevelOuter))));
                widget = fr;
                break;
            }
            case ControlKind::Line: {
                auto* fr = new QFrame(surface);
                fr->setFrameShape(c.at.w >= c.at.h ? QFrame::HLine : QFrame::VLine);
                fr->setFrameShadow(QFrame::Sunken);
                widget = fr;
                break;
            }
            default:
                break;
        }
        if (!widget) continue;
        if (c.hasFont) {
            widget->setFont(qfont(c.font));
            if (c.font.color) {
                QPalette p = widget->palette();
                p.setColor(QPalette::WindowText, QColor::fromRgb(c.font.color));
                widget->setPalette(p);
            }
        }
        if (c.kind == ControlKind::Sheet)
            widget->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y) + w.units.y(11),
                                w.units.x(c.at.w), std::max(1, w.units.y(c.at.h - 11)));
        else
            widget->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y), w.units.x(c.at.w),
                                w.units.y(c.at.h));
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
    for (const ControlView& c : v.controls)
        if ((c.kind == ControlKind::Panel || c.kind == ControlKind::Box ||
             c.kind == ControlKind::Sheet) &&
            w.widgets.count(c.id))
            w.widgets[c.id]->lower();
    QMdiArea* area = mdiArea();
    if (area) {
        area->addSubWindow(sub);
    }
    w.applying = true;
    sub->adjustSize();
    sub->move(w.units.x(v.at.x), w.units.y(v.at.y));
    if (v.maximized)
        sub->showMaximized();
    else
        sub->show();
    if (area) area->setActiveSubWindow(sub);
    w.applying = false;
}

void QtBackend::State::update(Win& w, const WindowView& v) {
    if (!w.top) return;
    w.applying = true;
    const WindowView* old = w.view.get();
    if (!old || old->title != v.title) w.top->setWindowTitle(q(v.title));
    if (v.kind == WindowKind::Frame) {
        auto* f = static_cast<QMainWindow*>(w.top.data());
        if (old && old->maximized != v.maximized) {
            if (v.maximized)
                f->showMaximized();
            else
                f->showNormal();
        }
        if (old && !v.maximized && old->at != v.at) {
            f->move(units.x(v.at.x), units.y(v.at.y));
            f->resize(units.x(v.at.w), units.y(v.at.h));
        }
        for (const ControlView& c : v.controls) {
            auto it = w.actions.find(c.id);
            if (it == w.actions.end()) continue;
            it->second->setVisible(!c.hidden);
            it->second->setEnabled(c.enabled);
        }
        w.applying = false;
        return;
    }
    auto* sub = static_cast<QMdiSubWindow*>(w.top.data());
    if (old) {
        if (old->maximized != v.maximized || old->minimized != v.minimized) {
            if (v.maximized)
                sub->showMaximized();
            else if (v.minimized)
                sub->showMinimized();
            else
                sub->showNormal();
        }
        if (!v.maximized && !v.minimized && old->at != v.at) {
            sub->move(w.units.x(v.at.x), w.units.y(v.at.y));
            if (v.resizable) {
                w.surface->resize(w.units.x(v.at.w), w.units.y(v.at.h));
                sub->adjustSize();
            }
        }
    }
    w.surface->setEnabled(v.enabled);
    QWidget* focusTo = nullptr;
    for (const ControlView& c : v.controls) {
        auto it = w.widgets.find(c.id);
        if (it == w.widgets.end()) continue;
        QWidget* widget = it->second;
        if (c.kind == ControlKind::Tab) {
            auto* bar = static_cast<QTabBar*>(widget);
            const int index = w.tabIndex[c.id];
            bar->setTabText(index, q(c.text));
            bar->setTabEnabled(index, c.enabled);
            continue;
        }
        const QString text = q(c.text);
        switch (c.kind) {
            case ControlKind::Prompt:
            case ControlKind::String:
                static_cast<QLabel*>(widget)->setText(text);
                break;
            case ControlKind::Entry:
            case ControlKind::Spin:
            case ControlKind::Combo:
            case ControlKind::DropCombo: {
                auto* e = static_cast<QLineEdit*>(widget);
                if (e->text() != text) e->setText(text);
                e->setReadOnly(c.readOnly);
                break;
            }
            case ControlKind::Text: {
                auto* e = static_cast<QPlainTextEdit*>(widget);
                if (e->toPlainText() != text) e->setPlainText(text);
                e->setReadOnly(c.readOnly);
                break;
            }
            case ControlKind::Button: {
                auto* b = static_cast<QPushButton*>(widget);
                b->setText(text);
                b->setDefault(c.isDefault);
                break;
            }
            case ControlKind::Check:
            case ControlKind::Radio: {
                auto* b = static_cast<QAbstractButton*>(widget);
                b->setText(text);
                b->setChecked(c.checked);
                break;
            }
            case ControlKind::Option:
            case ControlKind::Group:
                static_cast<QGroupBox*>(widget)->setTitle(text);
                break;
            case ControlKind::List:
            case ControlKind::DropList: {
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
                break;
            }
            case ControlKind::Sheet: {
                auto bar = w.widgets.find(-c.id);
                if (bar != w.widgets.end() && w.tabIndex.count(c.selectedTab))
                    static_cast<QTabBar*>(bar->second)->setCurrentIndex(w.tabIndex[c.selectedTab]);
                if (bar != w.widgets.end()) bar->second->setVisible(c.visible);
                break;
            }
            default:
                break;
        }
        widget->setEnabled(c.enabled);
        widget->setVisible(c.visible);
        if (c.focused) focusTo = widget;
    }
    if (focusTo && v.enabled) focusTo->setFocus(Qt::OtherFocusReason);
    if (v.active && mdiArea() && mdiArea()->activeSubWindow() != sub)
        mdiArea()->setActiveSubWindow(sub);
    w.applying = false;
}

void QtBackend::State::apply(const ViewPtr& v) {
    auto it = wins.find(v->id);
    if (it == wins.end()) {
        Win& w = wins[v->id];
        create(w, *v);
        update(w, *v);
        w.view = v;
        return;
    }
    update(it->second, *v);
    it->second.view = v;
}

void QtBackend::State::destroy(int id) {
    auto it = wins.find(id);
    if (it == wins.end()) return;
    auto* filt = static_cast<InputFilter*>(filter);
    for (auto f = filt->targets.begin(); f != filt->targets.end();)
        f = f->second.window == id ? filt->targets.erase(f) : std::next(f);
    auto detach = [](QWidget* w) {
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
        if (auto* area = sub->mdiArea()) area->removeSubWindow(sub);
    }
    top->hide();
    top->deleteLater();
}

void QtBackend::State::openDialog(int id, const DialogRequest& r) {
    requests[id] = r;
    QWidget* parent = nullptr;
    if (auto f = wins.find(frame); f != wins.end()) parent = f->second.top;
    switch (r.kind) {
        case DialogRequest::Kind::Message: {
            auto* box = new QMessageBox(parent);
            box->setWindowModality(Qt::NonModal);
            box->setWindowTitle(q(r.message.title));
            box->setText(q(r.message.text));
            switch (r.message.icon) {
                case Icon::Question:
                    box->setIcon(QMessageBox::Question);
                    break;
                case Icon::Exclamation:
                    box->setIcon(QMessageBox::Warning);
                    break;
                case Icon::Hand:
                    box->setIcon(QMessageBox::Critical);
                    break;
                case Icon::Asterisk:
                    box->setIcon(QMessageBox::Information);
                    break;
                default:
                    break;
            }
            struct B {
                Button b;
                QMessageBox::StandardButton s;
                const char* text;
            };
            const B all[] = {{ButtonYes, QMessageBox::Yes, "&Yes"},
                             {ButtonNo, QMessageBox::No, "&No"},
                             {ButtonCancel, QMessageBox::Cancel, "Cancel"},
                             {ButtonOk, QMessageBox::Ok, "OK"}};
            for (const B& b : all) {
                if (!(r.message.buttons & b.b)) continue;
                QAbstractButton* btn = box->addButton(b.s);
                btn->setText(QString::fromLatin1(b.text));
                btn->setProperty("rtButton", static_cast<unsigned>(b.b));
                if (r.message.defaultButton == b.b)
                    box->setDefaultButton(static_cast<QPushButton*>(btn));
            }
            QObject::connect(box, &QMessageBox::buttonClicked, box, [id](QAbstractButton* btn) {
                DialogAnswer a;
                a.button = static_cast<Button>(btn->property("rtButton").toUInt());
                rt::answerDialog(id, a);
            });
            // Closing the box by its title bar answers with its default.
            const Button def = r.message.defaultButton;
            QObject::connect(box, &QDialog::rejected, box, [id, def] {
                DialogAnswer a;
                a.button = def;
                rt::answerDialog(id, a);
            });
            dialogs[id] = box;
            box->show();
            break;
        }
        case DialogRequest::Kind::File: {
            auto* d = new QFileDialog(parent, q(r.file.title));
            d->setWindowModality(Qt::NonModal);
            d->setFileMode(r.file.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            QStringList filters;
            for (const auto& [desc, pattern] : r.file.filters)
                filters << q(desc) + " (" + q(pattern) + ")";
            if (!filters.isEmpty()) d->setNameFilters(filters);
            QObject::connect(d, &QFileDialog::fileSelected, d, [id](const QString& f) {
                DialogAnswer a;
                a.path = f.toStdString();
                rt::answerDialog(id, a);
            });
            QObject::connect(d, &QDialog::rejected, d, [id] { rt::answerDialog(id, {}); });
            dialogs[id] = d;
            d->show();
            break;
        }
        case DialogRequest::Kind::Popup: {
            auto* m = new QMenu(parent);
            int i = 0;
            for (const auto& item : r.items) {
                ++i;
                if (item == "-") {
                    m->addSeparator();
                    continue;
                }
                QAction* a = m->addAction(q(item));
                const int n = i;
                QObject::connect(a, &QAction::triggered, m, [id, n] {
                    DialogAnswer ans;
                    ans.item = n;
                    rt::answerDialog(id, ans);
                });
            }
            // Dismissed without a choice: answered with none, after a
            // triggered action (which comes later) had its chance.
            QObject::connect(m, &QMenu::aboutToHide, m, [id, m] {
                QMetaObject::invokeMethod(
                    m, [id] { rt::answerDialog(id, {}); }, Qt::QueuedConnection);
            });
            dialogs[id] = m;
            m->popup(QCursor::pos());
            break;
        }
        case DialogRequest::Kind::PrintSetup: {
            // The printer lives as long as its dialog: a child is deleted
            // after the dialog's own destructor has run.
            struct PrinterHolder : QObject {
                QPrinter printer;
            };
            auto* holder = new PrinterHolder;
            auto* d = new QPrintDialog(&holder->printer, parent);
            holder->setParent(d);
            d->setWindowModality(Qt::NonModal);
            QObject::connect(d, &QDialog::finished, d, [id](int result) {
                DialogAnswer a;
                a.button = result == QDialog::Accepted ? ButtonOk : ButtonCancel;
                rt::answerDialog(id, a);
            });
            dialogs[id] = d;
            d->show();
            break;
        }
    }
}

void QtBackend::State::closeDialog(int id) {
    requests.erase(id);
    auto it = dialogs.find(id);
    if (it == dialogs.end()) return;
    QWidget* w = it->second;
    dialogs.erase(it);
    w->blockSignals(true);
    w->hide();
    w->deleteLater();
}

void QtBackend::State::setStatus(int zone, const std::string& text) {
    if (zone < 1) return;
    if (pendingStatus.size() < static_cast<std::size_t>(zone)) pendingStatus.resize(zone);
    pendingStatus[zone - 1] = text;
    auto f = wins.find(frame);
    if (f == wins.end()) return;
    if (static_cast<std::size_t>(zone) <= f->second.status.size())
        f->second.status[zone - 1]->setText(q(text));
}

// ---------------------------------------------------------------------------

QtBackend::QtBackend() : s_(std::make_unique<State>()) {
    s_->self = this;
    s_->efd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s_->notifier = new QSocketNotifier(s_->efd, QSocketNotifier::Read);
    State* st = s_.get();
    QObject::connect(s_->notifier, &QSocketNotifier::activated, s_->notifier,
                     [st] { st->drain(); });
    s_->filter = new InputFilter;
    s_->appFont = QFont(QStringLiteral("Liberation Sans"), 8);
    QApplication::setFont(s_->appFont);
    s_->units = unitsOf(s_->appFont);
}

QtBackend::~QtBackend() {
    stop();
    // Sub-windows belong to the frame's area: guard against deleting twice.
    std::vector<QPointer<QWidget>> tops;
    for (auto& [id, w] : s_->wins) {
        if (auto* f = dynamic_cast<FrameWidget*>(w.top.data())) f->detach();
        if (auto* c = dynamic_cast<ChildWindow*>(w.top.data())) c->detach();
        tops.emplace_back(w.top);
    }
    for (auto& [id, d] : s_->dialogs) tops.emplace_back(d);
    s_->wins.clear();
    s_->dialogs.clear();
    for (auto& t : tops) delete t.data();
    delete s_->notifier;
    delete s_->filter;
    if (s_->efd >= 0) ::close(s_->efd);
}

void QtBackend::post(std::function<void()> fn) {
    {
        std::lock_guard g(s_->m);
        if (s_->stopping) return;
        s_->queue.push_back(std::move(fn));
    }
    const std::uint64_t one = 1;
    if (::write(s_->efd, &one, sizeof one) < 0) {
        // the counter is full: the GUI thread is already due to wake
    }
}

void QtBackend::stop() {
    std::lock_guard g(s_->m);
    s_->stopping = true;
    s_->queue.clear();
}

bool QtBackend::drawn() {
    std::lock_guard g(s_->m);
    return s_->queue.empty() && !s_->busy;
}

const DialogUnits& QtBackend::units() const {
    return s_->units;
}

void QtBackend::show(ViewPtr view) {
    State* st = s_.get();
    post([st, view] { st->apply(view); });
}

void QtBackend::closed(int window) {
    State* st = s_.get();
    post([st, window] { st->destroy(window); });
}

void QtBackend::dialog(int id, const DialogRequest& request) {
    State* st = s_.get();
    post([st, id, request] { st->openDialog(id, request); });
}

void QtBackend::dialogClosed(int id) {
    State* st = s_.get();
    post([st, id] { st->closeDialog(id); });
}

void QtBackend::beep() {
    post([] { QApplication::beep(); });
}

void QtBackend::status(int zone, const std::string& text) {
    State* st = s_.get();
    post([st, zone, text] { st->setStatus(zone, text); });
}

QtBackend::Probe QtBackend::probe() const {
    Probe p;
    p.owner = this;
    for (const auto& [id, w] : s_->wins) p.windows.push_back(id);
    for (const auto& [id, d] : s_->dialogs) p.dialogs.push_back(id);
    return p;
}

ViewPtr QtBackend::Probe::lastView(int window) const {
    auto it = owner->s_->wins.find(window);
    return it == owner->s_->wins.end() ? nullptr : it->second.view;
}
QWidget* QtBackend::Probe::top(int window) const {
    auto it = owner->s_->wins.find(window);
    return it == owner->s_->wins.end() ? nullptr : it->second.top;
}
QWidget* QtBackend::Probe::surface(int window) const {
    auto it = owner->s_->wins.find(window);
    return it == owner->s_->wins.end() ? nullptr : it->second.surface;
}
QWidget* QtBackend::Probe::widget(int window, int control) const {
    auto it = owner->s_->wins.find(window);
    if (it == owner->s_->wins.end()) return nullptr;
    auto c = it->second.widgets.find(control);
    return c == it->second.widgets.end() ? nullptr : c->second;
}
QAction* QtBackend::Probe::action(int window, int control) const {
    auto it = owner->s_->wins.find(window);
    if (it == owner->s_->wins.end()) return nullptr;
    auto c = it->second.actions.find(control);
    return c == it->second.actions.end() ? nullptr : c->second;
}
QWidget* QtBackend::Probe::dialogWidget(int id) const {
    auto it = owner->s_->dialogs.find(id);
    return it == owner->s_->dialogs.end() ? nullptr : it->second;
}
DialogRequest QtBackend::Probe::dialogRequest(int id) const {
    auto it = owner->s_->requests.find(id);
    return it == owner->s_->requests.end() ? DialogRequest{} : it->second;
}
QLabel* QtBackend::Probe::statusLabel(int zone) const {
    auto f = owner->s_->wins.find(owner->s_->frame);
    if (f == owner->s_->wins.end() || zone < 1 ||
        static_cast<std::size_t>(zone) > f->second.status.size())
        return nullptr;
    return f->second.status[zone - 1];
}

// ---------------------------------------------------------------------------

int runQtProgram(int argc, char** argv, std::function<int()> body) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the program body decides when it ends
    int status = 0;
    {
        QtBackend backend;
        // Children are placed and centred in the frame's client area: the
        // screen less the frame's own bars, in dialog units.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect g = screen->availableGeometry();
            const DialogUnits& u = backend.units();
            rt::setClientArea({0, 0, u.fromX(g.width()),
                               u.fromY(g.height() - 3 * static_cast<int>(u.baseY) - 24)});
        }
        rt::setBackend(&backend);
        rt::setBodyRunning(true);
        std::atomic<bool> done{false};
        std::thread program([&] {
            status = body();
            rt::setBodyRunning(false);
            done = true;
            backend.post([] { QApplication::quit(); });
        });
        app.exec();
        // Only an ended program body quits the loop; anything else (the
        // session going away) ends the windows first so the join cannot hang.
        if (!done) rt::shutDownWindows();
        program.join();
        backend.stop();
        rt::setBackend(nullptr);
    }
    return status;
}

}  // namespace rt
