// The driver through the real widgets: input goes in as Qt events on the
// widgets (mouse presses, key presses carrying their text, menu actions, the
// close of a window), and what the checks read comes from the widgets as
// they stand, on the GUI thread.
//
// With --xtest the keys and clicks go through the X server instead (XTest,
// xtest_input.h): a click at the screen position where the control shows, a
// key to whatever the X server gives the keyboard focus, as a user's would.
#include <xcb/xproto.h>

#include <QAbstractButton>
#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QWheelEvent>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "runtime/backend/qt/qt_backend.h"
#include "tests/scenarios/driver.h"
#include "tests/scenarios/xtest_input.h"

namespace {

std::string s(const QString& q) {
    return q.toStdString();
}

// What of the X server's events the GUI thread has taken: the marker
// property changes (each comes after every event sent straight to the
// program before it) and the releases of keys and buttons (a press the
// window manager holds for a moment, to raise or focus a window first,
// reaches the program later than a marker sent after it).
class XSeen : public QAbstractNativeEventFilter {
  public:
    std::atomic<long> marks{0}, keyReleases{0}, buttonReleases{0};
    unsigned long atom = 0;
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        auto* ev = static_cast<xcb_generic_event_t*>(message);
        switch (ev->response_type & 0x7f) {
            case XCB_PROPERTY_NOTIFY:
                if (reinterpret_cast<xcb_property_notify_event_t*>(ev)->atom == atom) ++marks;
                break;
            case XCB_KEY_RELEASE:
                ++keyReleases;
                break;
            case XCB_BUTTON_RELEASE:
                ++buttonReleases;
                break;
            case XCB_GE_GENERIC:  // the pointer comes through XInput 2
                if (reinterpret_cast<xcb_ge_generic_event_t*>(ev)->event_type == XiButtonRelease)
                    ++buttonReleases;
                break;
            default:
                break;
        }
        return false;
    }

  private:
    static constexpr int XiButtonRelease = 5;  // XI_ButtonRelease of XInput 2
};

class QtDriver : public Driver {
  public:
    QtDriver(rt::QtBackend& b, std::unique_ptr<XTestInput> x) : b_(b), x_(std::move(x)) {
        if (x_) {
            seen_.atom = x_->markerAtom();
            QCoreApplication::instance()->installNativeEventFilter(&seen_);
        }
    }
    ~QtDriver() override {
        if (x_) QCoreApplication::instance()->removeNativeEventFilter(&seen_);
    }

    rt::Backend* backend() override { return &b_; }

    template <typename F>
    auto gui(F f) -> decltype(f()) {
        using R = decltype(f());
        std::promise<R> p;
        auto fut = p.get_future();
        b_.post([&] {
            if constexpr (std::is_void_v<R>) {
                f();
                p.set_value();
            } else {
                p.set_value(f());
            }
        });
        return fut.get();
    }

    std::vector<rt::ViewPtr> windows() override {
        return gui([this] {
            std::vector<rt::ViewPtr> out;
            auto pr = b_.probe();
            for (int id : pr.windows) {
                rt::ViewPtr last = pr.lastView(id);
                if (!last) continue;
                auto v = std::make_shared<rt::WindowView>(*last);
                read(pr, *v);
                out.push_back(v);
            }
            return out;
        });
    }

    std::vector<rt::OpenDialog> dialogs() override {
        std::vector<unsigned long> boxes;  // each message box's X window (0: none)
        std::vector<rt::OpenDialog> out = gui([&] {
            std::vector<rt::OpenDialog> found;
            auto pr = b_.probe();
            for (int id : pr.dialogs) {
                QWidget* w = pr.dialogWidget(id);
                if (!w || !w->isVisible()) continue;
                rt::OpenDialog d{id, pr.dialogRequest(id)};
                unsigned long xwin = 0;
                if (auto* box = qobject_cast<QMessageBox*>(w)) {
                    d.request.message.title = s(box->windowTitle());
                    d.request.message.text = s(box->text());
                    if (x_) xwin = static_cast<unsigned long>(box->winId());
                } else if (auto* fd = qobject_cast<QFileDialog*>(w)) {
                    d.request.file.title = s(fd->windowTitle());
                }
                found.push_back(d);
                boxes.push_back(xwin);
            }
            return found;
        });
        // Through the X server a box's caption is what the window manager
        // shows: the name its window carries there.
        for (std::size_t i = 0; i < out.size(); ++i)
            if (boxes[i]) out[i].request.message.title = x_->windowName(boxes[i]);
        return out;
    }

    // Through the X server the box holds the input focus (the window
    // manager gives it a moment).
    std::string dialogNotActive(int dialog) override {
        if (!x_) return {};
        const unsigned long box = gui([&] {
            QWidget* w = b_.probe().dialogWidget(dialog);
            return w ? static_cast<unsigned long>(w->winId()) : 0ul;
        });
        if (!box) return "no box";
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        unsigned long focus = 0;
        while ((focus = x_->focus()) != box && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (focus == box) return {};
        return "the X server's keyboard focus is on " + gui([&] {
                   for (QWidget* w : QApplication::topLevelWidgets())
                       if (w->isVisible() && static_cast<unsigned long>(w->winId()) == focus)
                           return "\"" + s(w->windowTitle()) + "\"";
                   return std::string("a window not the program's");
               });
    }

    std::string status(int zone) override {
        return gui([this, zone] {
            QLabel* l = b_.probe().statusLabel(zone);
            return l ? s(l->text()) : std::string();
        });
    }

    void input(int window, rt::Input in) override {
        // A display reports the caret; no user sends it.
        if (in.kind == rt::Input::Kind::Caret) throw Unsendable{"a caret move"};
        if (x_)
            sendX(window, in);
        else
            gui([&] { send(window, in); });
    }

    std::string notActive(int window) override {
        const std::string shown = gui([&]() -> std::string {
            auto pr = b_.probe();
            auto title = [&](QWidget* w) {
                for (QWidget* p = w; p; p = p->parentWidget())
                    if (qobject_cast<QMdiSubWindow*>(p)) return "\"" + s(p->windowTitle()) + "\"";
                return std::string(w ? "the frame" : "nothing");
            };
            const int core = rt::activeWindow();
            if (core != window)
                return "the window layer's active window is " +
                       (pr.top(core) ? title(pr.top(core)) : std::string("none"));
            auto* sub = qobject_cast<QMdiSubWindow*>(pr.top(window));
            QWidget* surface = pr.surface(window);
            if (!sub || !surface || !sub->mdiArea()) return "no child window";
            if (sub->mdiArea()->activeSubWindow() != sub)
                return "the display's active sub-window is " +
                       title(sub->mdiArea()->activeSubWindow());
            const QPoint centre = surface->mapToGlobal(surface->rect().center());
            QWidget* at = QApplication::widgetAt(centre);
            if (at != sub && !sub->isAncestorOf(at)) return "it lies under " + title(at);
            QWidget* focus = QApplication::focusWidget();
            if (!focus || !sub->isAncestorOf(focus))
                return "the keyboard focus is in " + title(focus);
            return "";
        });
        if (!shown.empty() || !x_) return shown;
        // The X server gives the keyboard to the frame (or a window inside it).
        const unsigned long frame = gui([&] {
            QWidget* f = b_.probe().top(rt::frameWindow());
            return f ? static_cast<unsigned long>(f->winId()) : 0ul;
        });
        const unsigned long focus = x_->focus();
        if (focus != frame) {
            const std::string on = gui([&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible() && static_cast<unsigned long>(w->winId()) == focus)
                        return "\"" + s(w->windowTitle()) + "\"";
                return std::string("a window not the program's");
            });
            return "the X server's keyboard focus is on " + on;
        }
        return "";
    }

    void answer(int dialog, rt::DialogAnswer a) override {
        if (x_ && answerX(dialog, a.button)) return;
        gui([&] {
            auto pr = b_.probe();
            QWidget* w = pr.dialogWidget(dialog);
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                for (QAbstractButton* btn : box->buttons())
                    if (btn->property("rtButton").toUInt() == static_cast<unsigned>(a.button)) {
                        btn->click();
                        return;
                    }
            } else if (auto* m = qobject_cast<QMenu*>(w)) {
                int i = 0;
                for (QAction* act : m->actions()) {
                    if (++i == a.item) {
                        act->trigger();
                        m->hide();
                        return;
                    }
                }
            } else if (auto* fd = qobject_cast<QFileDialog*>(w)) {
                if (a.path.empty()) {
                    fd->reject();
                } else {
                    fd->selectFile(QString::fromStdString(a.path));
                    emit fd->fileSelected(QString::fromStdString(a.path));
                }
                return;
            } else if (auto* prd = qobject_cast<QPrintDialog*>(w)) {
                // a report's printer: `choose PATH` is its file printer
                if (a.button == rt::ButtonOk && !a.path.empty()) {
                    prd->printer()->setOutputFormat(QPrinter::PdfFormat);
                    prd->printer()->setOutputFileName(QString::fromStdString(a.path));
                    prd->done(QDialog::Accepted);
                } else {
                    prd->done(QDialog::Rejected);
                }
                return;
            } else if (auto* pd = qobject_cast<QDialog*>(w)) {
                // the printer set-up
                pd->done(a.button == rt::ButtonOk ? QDialog::Accepted : QDialog::Rejected);
                return;
            }
            rt::answerDialog(dialog, a);
        });
    }

    // The title bar's close box is a close event on the box; Esc a key
    // press into the button that has the focus, as the keyboard sends it.
    void closeDialog(int dialog, bool esc) override {
        // Through the X server Esc goes wherever the keyboard focus is.
        if (x_ && esc) {
            typeKey(rt::key::Esc);
            return;
        }
        gui([&] {
            QWidget* w = b_.probe().dialogWidget(dialog);
            if (!w) return;
            if (!esc) {
                w->close();
                return;
            }
            QWidget* to = w->focusWidget() ? w->focusWidget() : w;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(to, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(to, &release);
        });
    }

    // Enter typed into the box: through the X server wherever the keyboard
    // focus is, else a key press into the box's focused button.
    void pressEnter(int dialog) override {
        if (x_) {
            typeKey(rt::key::Enter);
            return;
        }
        gui([&] {
            QWidget* w = b_.probe().dialogWidget(dialog);
            if (!w) return;
            keyEvent(w->focusWidget() ? w->focusWidget() : w, rt::key::Enter);
        });
    }

    // Idle means the program settled and the GUI has drawn it; what the GUI
    // turned into input meanwhile must settle too.
    bool idle(int timeoutMs) override {
        for (int round = 0; round < 4; ++round) {
            if (!rt::waitIdle(timeoutMs)) return false;
            gui([] {});
        }
        return rt::waitIdle(timeoutMs);
    }

  private:
    void read(const rt::QtBackend::Probe& pr, rt::WindowView& v) {
        QWidget* top = pr.top(v.id);
        if (!top) return;
        v.title = s(top->windowTitle());
        v.maximized = top->isMaximized();
        const rt::DialogUnits& u = b_.units();
        if (v.kind == rt::WindowKind::Frame) {
            for (auto& c : v.controls) {
                QAction* a = pr.action(v.id, c.id);
                if (!a) continue;
                c.text = s(a->text());
                c.hidden = !a->isVisible();
                c.visible = a->isVisible();
                c.enabled = a->isEnabled();
            }
            // A hidden menu hides its items.
            for (auto& c : v.controls)
                for (const auto& p : v.controls)
                    if (c.parent == p.id && !p.visible) c.visible = false;
            return;
        }
        QWidget* surface = pr.surface(v.id);
        if (!v.maximized && surface) {
            // where the sub-window stands, back in dialog units
            v.at = {u.fromX(top->x()), u.fromY(top->y()), u.fromX(surface->width()),
                    u.fromY(surface->height())};
        }
        if (surface) {
            v.enabled = surface->isEnabled();
            v.present = {0, 0, u.fromX(surface->width()), u.fromY(surface->height())};
        }
        for (auto& c : v.controls) {
            QWidget* w = pr.widget(v.id, c.id);
            if (!w) continue;
            if (c.kind == rt::ControlKind::Tab) continue;
            // Where the widget lies; a sheet's frame lies under its bar.
            const QRect g = w->geometry();
            c.at = {u.fromX(g.x()), u.fromY(g.y()), u.fromX(g.width()), u.fromY(g.height())};
            if (c.kind == rt::ControlKind::Sheet) {
                c.at.y = u.fromY(g.y() - u.y(11));
                c.at.h += 11;
            }
            // A list's own scroll bar stands beside its tree.
            if (auto* bar = qobject_cast<QScrollBar*>(pr.widget(v.id, -c.id));
                bar && c.kind == rt::ControlKind::List && !bar->isHidden()) {
                c.at.w = u.fromX(bar->geometry().right() + 1 - g.x());
                if (auto* l = c.list()) l->thumb = bar->value();
            }
            c.enabled = surface ? w->isEnabledTo(surface) : w->isEnabled();
            c.visible = surface ? w->isVisibleTo(surface) : w->isVisible();
            if (c.kind == rt::ControlKind::Image) {
                // What the picture widget draws, and where (controls/image.cpp).
                rt::ImagePayload& p =
                    c.image() ? *c.image() : c.payload.emplace<rt::ImagePayload>();
                p.loaded = w->property("rtShown").toBool();
                p.file = p.loaded ? s(w->property("rtFile").toString()) : std::string();
                const QRect d = w->property("rtDrawn").toRect();
                p.drawn = p.loaded ? rt::Rect{u.fromX(g.x() + d.x()), u.fromY(g.y() + d.y()),
                                              u.fromX(d.width()), u.fromY(d.height())}
                                   : rt::Rect{};
                continue;
            }
            if (auto* l = qobject_cast<QLabel*>(w))
                c.text = s(l->text());
            else if (auto* e = qobject_cast<QLineEdit*>(w))
                c.text = s(e->text());
            else if (auto* t = qobject_cast<QPlainTextEdit*>(w))
                c.text = s(t->toPlainText());
            else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                c.text = s(b->text());
                c.checked = b->isChecked();
                if (auto* pb = qobject_cast<QPushButton*>(w)) c.isDefault = pb->isDefault();
            } else if (auto* g = qobject_cast<QGroupBox*>(w))
                c.text = s(g->title());
            else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
                // A drop list's view has no list part: the tree's rows make one.
                rt::ListPayload& list = c.list() ? *c.list() : c.payload.emplace<rt::ListPayload>();
                list.rows.clear();
                for (int r = 0; r < tree->topLevelItemCount(); ++r) {
                    std::vector<std::string> cells;
                    for (int col = 0; col < tree->columnCount(); ++col)
                        cells.push_back(s(tree->topLevelItem(r)->text(col)));
                    list.rows.push_back(cells);
                }
                QTreeWidgetItem* cur = tree->currentItem();
                list.highlight = cur ? tree->indexOfTopLevelItem(cur) + 1 : 0;
            }
        }
    }

    QWidget* focusedWidget(const rt::QtBackend::Probe& pr, int window) {
        rt::ViewPtr v = pr.lastView(window);
        if (v)
            for (const auto& c : v->controls)
                if (c.focused) return pr.widget(window, c.id);
        return pr.surface(window) ? pr.surface(window) : pr.top(window);
    }

    static void mouse(QWidget* w, QPoint p, QEvent::Type type, Qt::MouseButton button) {
        QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    // A double click arrives as the second half of one: the runner has
    // sent its first click already.
    static void click(QWidget* w, QPoint p, Qt::MouseButton button, bool second) {
        mouse(w, p, second ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, button);
        mouse(w, p, QEvent::MouseButtonRelease, button);
    }

    static void keyEvent(QWidget* w, int rtKey) {
        namespace k = rt::key;
        int qk = 0;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        QString text;
        switch (rtKey) {
            case k::Tab:
                qk = Qt::Key_Tab;
                break;
            case k::ShiftTab:
                qk = Qt::Key_Backtab;
                mods = Qt::ShiftModifier;
                break;
            case k::CtrlTab:
                qk = Qt::Key_Tab;
                mods = Qt::ControlModifier;
                break;
            case k::CtrlShiftTab:
                qk = Qt::Key_Backtab;
                mods = Qt::ControlModifier | Qt::ShiftModifier;
                break;
            case k::CtrlPageDown:
                qk = Qt::Key_PageDown;
                mods = Qt::ControlModifier;
                break;
            case k::CtrlPageUp:
                qk = Qt::Key_PageUp;
                mods = Qt::ControlModifier;
                break;
            case k::CtrlF6:
                qk = Qt::Key_F6;
                mods = Qt::ControlModifier;
                break;
            case k::CtrlShiftF6:
                qk = Qt::Key_F6;
                mods = Qt::ControlModifier | Qt::ShiftModifier;
                break;
            case k::Enter:
                qk = Qt::Key_Return;
                break;
            case k::ShiftEnter:
                qk = Qt::Key_Return;
                mods = Qt::ShiftModifier;
                break;
            case k::CtrlEnter:
                qk = Qt::Key_Return;
                mods = Qt::ControlModifier;
                break;
            case k::Up:
                qk = Qt::Key_Up;
                break;
            case k::Down:
                qk = Qt::Key_Down;
                break;
            case k::Left:
                qk = Qt::Key_Left;
                break;
            case k::Right:
                qk = Qt::Key_Right;
                break;
            case k::PageUp:
                qk = Qt::Key_PageUp;
                break;
            case k::PageDown:
                qk = Qt::Key_PageDown;
                break;
            case k::Home:
                qk = Qt::Key_Home;
                break;
            case k::End:
                qk = Qt::Key_End;
                break;
            case k::Insert:
                qk = Qt::Key_Insert;
                break;
            case k::Delete:
                qk = Qt::Key_Delete;
                break;
            case k::Esc:
                qk = Qt::Key_Escape;
                break;
            case k::CtrlH:
                qk = Qt::Key_H;
                mods = Qt::ControlModifier;
                break;
            case k::Backspace:
                qk = Qt::Key_Backspace;
                break;
            default:
                if (rtKey >= k::F1 && rtKey < k::F1 + 12) {
                    qk = Qt::Key_F1 + (rtKey - k::F1);
                } else {
                    const char32_t c = static_cast<char32_t>(rtKey);
                    text = QString::fromUcs4(&c, 1);
                    qk = text.size() == 1 && text[0].isLetterOrNumber()
                             ? static_cast<int>(text[0].toUpper().unicode())
                             : Qt::Key_unknown;
                }
        }
        QKeyEvent press(QEvent::KeyPress, qk, mods, text);
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, qk, mods, text);
        QApplication::sendEvent(w, &release);
    }

    void send(int window, const rt::Input& in) {
        using K = rt::Input::Kind;
        auto pr = b_.probe();
        QWidget* top = pr.top(window);
        if (!top) return;
        switch (in.kind) {
            case K::Menu:
                if (QAction* a = pr.action(window, in.control)) a->trigger();
                return;
            case K::MenuHover:
                if (QAction* a = pr.action(window, in.control)) a->hover();
                return;
            case K::Close:
                top->close();
                return;
            case K::TabChosen: {
                QWidget* w = pr.widget(window, in.control);
                rt::ViewPtr v = pr.lastView(window);
                if (auto* bar = qobject_cast<QTabBar*>(w); bar && v) {
                    int index = 0;
                    for (const auto& c : v->controls) {
                        if (c.kind == rt::ControlKind::Tab && pr.widget(window, c.id) == bar) {
                            if (c.id == in.control) break;
                            ++index;
                        }
                    }
                    bar->setCurrentIndex(index);
                }
                return;
            }
            case K::Key:
                keyEvent(focusedWidget(pr, window), in.key);
                return;
            case K::Text: {
                auto* e = qobject_cast<QLineEdit*>(pr.widget(window, in.control));
                auto* t = qobject_cast<QPlainTextEdit*>(pr.widget(window, in.control));
                if (e) e->selectAll();
                if (t) t->selectAll();
                QWidget* target = e ? static_cast<QWidget*>(e) : static_cast<QWidget*>(t);
                if (!target) return;
                if (in.text.empty()) {
                    // Backspace over the selection clears the box
                    keyEvent(target, rt::key::Backspace);
                    return;
                }
                const QString text = QString::fromStdString(in.text);
                for (char32_t c : text.toUcs4()) keyEvent(target, static_cast<int>(c));
                return;
            }
            case K::Click:
            case K::DoubleClick:
            case K::RightClick:
            case K::Focus: {
                QWidget* surface = pr.surface(window);
                QWidget* w = in.control ? pr.widget(window, in.control) : surface;
                if (!w) return;
                const bool edit = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w);
                if (in.kind == K::Focus && !edit) {
                    rt::input(window, in);  // focusing a button without pressing it
                    return;
                }
                QPoint p(2, 2);
                QWidget* target = w;
                if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
                    target = tree->viewport();
                    if (in.row > 0 && in.row <= tree->topLevelItemCount())
                        p = tree->visualItemRect(tree->topLevelItem(in.row - 1)).center();
                } else if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
                    target = text->viewport();
                } else if (w == surface) {
                    // the window's own surface: whatever lies under its corner
                    if (QWidget* child = surface->childAt(p)) {
                        target = child;
                        p = child->mapFrom(surface, p);
                    }
                }
                const Qt::MouseButton button =
                    in.kind == K::RightClick ? Qt::RightButton : Qt::LeftButton;
                click(target, p, button, in.kind == K::DoubleClick);
                return;
            }
            case K::Placement: {
                // The maximize and restore boxes, or a drag of the border
                // until the client area has the size asked for.
                QWidget* surface = pr.surface(window);
                if (in.maximized) {
                    top->showMaximized();
                } else if (top->isMaximized()) {
                    top->showNormal();
                } else if (surface) {
                    const rt::DialogUnits& u = b_.units();
                    top->resize(top->size() + QSize(u.x(in.at.w), u.y(in.at.h)) - surface->size());
                } else {
                    rt::input(window, in);
                }
                return;
            }
            case K::Scroll: {
                // The wheel over the rows; the scroll bar's arrows, track and thumb.
                auto* tree = qobject_cast<QTreeWidget*>(pr.widget(window, in.control));
                auto* bar = qobject_cast<QScrollBar*>(pr.widget(window, -in.control));
                using By = rt::Input::ScrollBy;
                if (in.scroll == By::Wheel) {
                    if (!tree) return;
                    QWidget* vp = tree->viewport();
                    const QPointF p(vp->width() / 2.0, vp->height() / 2.0);
                    QWheelEvent e(p, vp->mapToGlobal(p), QPoint(), QPoint(0, -120 * in.amount),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                    QApplication::sendEvent(vp, &e);
                    return;
                }
                if (!bar || !bar->isVisible()) return;
                switch (in.scroll) {
                    case By::LineUp:
                        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
                        break;
                    case By::LineDown:
                        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
                        break;
                    case By::PageUp:
                        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
                        break;
                    case By::PageDown:
                        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                        break;
                    default:
                        // a drag: pressed, moved along the track, let go
                        bar->setSliderDown(true);
                        bar->setSliderPosition(std::clamp(in.amount, 0, 100));
                        bar->setSliderDown(false);
                        break;
                }
                return;
            }
            case K::Activate:
                rt::input(window, in);
                return;
            case K::Caret:
                return;  // refused in input()
        }
    }

    // --- input through the X server -------------------------------------

    // Where on the screen a user would click to reach w at r (w's own
    // coordinates): its centre, or else the first point of it no other
    // window covers.
    static QPoint visiblePoint(QWidget* w, QRect r) {
        const QPoint centre = r.center();
        auto shows = [w](QPoint local) {
            QWidget* at = QApplication::widgetAt(w->mapToGlobal(local));
            return at == w || w->isAncestorOf(at);
        };
        if (shows(centre)) return w->mapToGlobal(centre);
        for (int n : {3, 5, 9})
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const QPoint p(r.left() + (2 * j + 1) * r.width() / (2 * n),
                                   r.top() + (2 * i + 1) * r.height() / (2 * n));
                    if (shows(p)) return w->mapToGlobal(p);
                }
        return w->mapToGlobal(centre);  // covered all over: the click lands on what covers it
    }

    template <typename F>
    bool waitFor(F f, int ms = 5000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            if (gui(f)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // The frame shown as the window manager will keep it, and its window
    // has the keyboard: input can go in.
    void waitFrame() {
        waitFor([this] {
            auto* f = qobject_cast<QMainWindow*>(b_.probe().top(rt::frameWindow()));
            rt::ViewPtr v = b_.probe().lastView(rt::frameWindow());
            return f && f->isVisible() && f->isActiveWindow() &&
                   (!v || !v->maximized || f->isMaximized());
        });
    }

    // Everything sent so far has reached the GUI thread and been handled:
    // the releases it was sent (keys, buttons), then a marker after them.
    void arrived(long keys = 0, long buttons = 0) {
        x_->sync();
        const auto by = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((seen_.keyReleases.load() < keys || seen_.buttonReleases.load() < buttons) &&
               std::chrono::steady_clock::now() < by)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const unsigned long frame = gui([&] {
            QWidget* f = b_.probe().top(rt::frameWindow());
            return f ? static_cast<unsigned long>(f->winId()) : 0ul;
        });
        if (!frame) return;
        const long n = ++marks_sent_;
        x_->mark(frame, n);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (seen_.marks.load() < n && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        gui([] {});
    }

    // second: the second click of a double click.
    void clickAt(QPoint g, int button = 1, bool second = false) {
        if (qEnvironmentVariableIsSet("CLANOVI_XTEST_TRACE")) {
            const std::string under = gui([&] {
                QWidget* at = QApplication::widgetAt(g);
                std::string d = at ? at->metaObject()->className() : "nothing";
                for (QWidget* p = at; p; p = p->parentWidget())
                    if (qobject_cast<QMdiSubWindow*>(p)) d += " in \"" + s(p->windowTitle()) + "\"";
                return d;
            });
            std::fprintf(stderr, "xtest: click %d,%d on %s\n", g.x(), g.y(), under.c_str());
        }
        // A click at the spot of the last one, sooner than the double-click
        // time, would make a double click of the two: a user's hand is slower.
        const auto now = std::chrono::steady_clock::now();
        const auto apart = std::chrono::milliseconds(QApplication::doubleClickInterval() + 50);
        if (!second && g == last_ && now - lastAt_ < apart)
            std::this_thread::sleep_for(apart - (now - lastAt_));
        const long buttons = seen_.buttonReleases.load() + 1;
        x_->click(g.x(), g.y(), button);
        last_ = g;
        lastAt_ = std::chrono::steady_clock::now();
        arrived(0, buttons);
    }
    void typeKey(int k) {
        const long keys = seen_.keyReleases.load();
        const int released = x_->key(k);
        if (!released) throw Unsendable{"the key " + rt::keyName(k) + " through the X server"};
        arrived(keys + released);
    }

    void sendX(int window, const rt::Input& in) {
        using K = rt::Input::Kind;
        waitFrame();
        switch (in.kind) {
            case K::Menu:
            case K::MenuHover: {
                // The menu's title in the menu bar, then the item in the menu.
                QMenu* menu = nullptr;
                QAction* item = nullptr;
                const QPoint title = gui([&] {
                    auto pr = b_.probe();
                    item = pr.action(window, in.control);
                    auto* f = qobject_cast<QMainWindow*>(pr.top(window));
                    if (!item || !f) return QPoint(-1, -1);
                    for (QObject* o : item->associatedObjects())
                        if (auto* m = qobject_cast<QMenu*>(o)) menu = m;
                    if (!menu) return QPoint(-1, -1);
                    QMenuBar* bar = f->menuBar();
                    return bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).center());
                });
                if (title.x() < 0) return;
                clickAt(title);
                if (!waitFor([&] { return menu->isVisible(); })) return;
                const QPoint at =
                    gui([&] { return menu->mapToGlobal(menu->actionGeometry(item).center()); });
                if (in.kind == K::Menu) {
                    clickAt(at);
                } else {
                    x_->move(at.x(), at.y());
                    arrived();
                }
                return;
            }
            case K::Key:
                typeKey(in.key);
                return;
            case K::Text: {
                // Typing over what the box holds, as after selecting it all.
                const bool found = gui([&] {
                    QWidget* w = b_.probe().widget(window, in.control);
                    if (auto* e = qobject_cast<QLineEdit*>(w)) {
                        e->selectAll();
                        return true;
                    }
                    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
                        t->selectAll();
                        return true;
                    }
                    return false;
                });
                if (!found) return;
                if (in.text.empty()) typeKey(rt::key::Backspace);
                for (char32_t c : QString::fromStdString(in.text).toUcs4())
                    typeKey(static_cast<int>(c));
                return;
            }
            case K::Click:
            case K::DoubleClick:
            case K::RightClick:
            case K::Focus: {
                bool edit = false;
                const QPoint at = gui([&] {
                    auto pr = b_.probe();
                    QWidget* surface = pr.surface(window);
                    QWidget* w = in.control ? pr.widget(window, in.control) : surface;
                    if (!w) return QPoint(-1, -1);
                    edit = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w);
                    if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
                        QWidget* port = tree->viewport();
                        if (in.row > 0 && in.row <= tree->topLevelItemCount())
                            return visiblePoint(
                                port, tree->visualItemRect(tree->topLevelItem(in.row - 1)));
                        return visiblePoint(port, port->rect());
                    }
                    if (w == surface) return visiblePoint(surface, QRect(0, 0, 5, 5));
                    return visiblePoint(w, w->rect());
                });
                if (at.x() < 0) return;
                if (in.kind == K::Focus && !edit) {
                    rt::input(window, in);  // focusing a button without pressing it
                    return;
                }
                if (in.kind == K::DoubleClick) {
                    clickAt(last_, 1, true);  // the second click, where the first one went
                    return;
                }
                clickAt(at, in.kind == K::RightClick ? 3 : 1);
                return;
            }
            case K::TabChosen: {
                const QPoint at = gui([&] {
                    auto pr = b_.probe();
                    auto* bar = qobject_cast<QTabBar*>(pr.widget(window, in.control));
                    rt::ViewPtr v = pr.lastView(window);
                    if (!bar || !v) return QPoint(-1, -1);
                    int index = 0;
                    for (const auto& c : v->controls) {
                        if (c.kind == rt::ControlKind::Tab && pr.widget(window, c.id) == bar) {
                            if (c.id == in.control) break;
                            ++index;
                        }
                    }
                    return visiblePoint(bar, bar->tabRect(index));
                });
                if (at.x() >= 0) clickAt(at);
                return;
            }
            case K::Close:
            case K::Placement:
            case K::Activate:
                gui([&] { send(window, in); });
                return;
            case K::Scroll:
                throw Unsendable{"a list's scroll bar or wheel through the X server"};
            case K::Caret:
                return;  // refused in input()
        }
    }

    // A message box's button, clicked where it shows.
    bool answerX(int dialog, rt::Button button) {
        const QPoint at = gui([&] {
            auto* box = qobject_cast<QMessageBox*>(b_.probe().dialogWidget(dialog));
            if (!box) return QPoint(-1, -1);
            for (QAbstractButton* btn : box->buttons())
                if (btn->property("rtButton").toUInt() == static_cast<unsigned>(button))
                    return visiblePoint(btn, btn->rect());
            return QPoint(-1, -1);
        });
        if (at.x() < 0) return false;
        clickAt(at);
        return true;
    }

    rt::QtBackend& b_;
    std::unique_ptr<XTestInput> x_;
    XSeen seen_;
    long marks_sent_ = 0;
    QPoint last_;
    std::chrono::steady_clock::time_point lastAt_;
};

}  // namespace

int runWithQtDriver(int argc, char** argv, bool xtest, int (*fn)(Driver&, void*), void* arg) {
    std::unique_ptr<XTestInput> x;
    if (xtest) {
        std::string why;
        x = XTestInput::open(why);
        if (!x) {
            std::fprintf(stderr, "scenario-runner: --xtest: %s\n", why.c_str());
            return 2;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    int status = 0;
    {
        rt::QtBackend backend;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect g = screen->availableGeometry();
            const rt::DialogUnits& u = backend.units();
            rt::setClientArea({0, 0, u.fromX(g.width()), u.fromY(g.height()) - 40});
        }
        QtDriver driver(backend, std::move(x));
        std::thread runner([&] {
            status = fn(driver, arg);
            backend.post([] { QApplication::quit(); });
        });
        app.exec();
        runner.join();
        backend.stop();
        rt::setBackend(nullptr);
    }
    return status;
}
