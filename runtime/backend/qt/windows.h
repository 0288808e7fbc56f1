// The top-level widgets of the windows: the frame and its children. They
// report what the user does to the window itself (close, move, resize).
#pragma once

#include <QCloseEvent>
#include <QEvent>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMouseEvent>

#include "runtime/backend/qt/qt_backend.h"
#include "runtime/window/window.h"

namespace rt {

// A window's placement as last told to the window layer, so only a real
// change is reported: Qt sends a state change for every activation too.
struct Reported {
    bool known = false;
    Rect at;
    bool maximized = false, minimized = false;
    // True when in differs from what was last reported (and keeps it).
    bool change(const Input& in) {
        if (known && in.at == at && in.maximized == maximized && in.minimized == minimized)
            return false;
        known = true;
        at = in.at;
        maximized = in.maximized;
        minimized = in.minimized;
        return true;
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

  public:
    // The placement the window layer has now: the display put it there.
    void remember() {
        if (units) reported.change(placement());
    }

  private:
    Input placement() const {
        Input in{Input::Kind::Placement};
        // pos() is where move() puts the window (its frame included), so a
        // stored position comes back at the same place.
        const QRect g(pos(), size());
        in.at = {units->fromX(g.x()), units->fromY(g.y()), units->fromX(g.width()),
                 units->fromY(g.height())};
        in.maximized = isMaximized();
        in.minimized = isMinimized();
        return in;
    }
    // What the user did to the frame; a maximized frame keeps its normal
    // placement in the window layer.
    void report() {
        if (!units || (applying && *applying) || !isVisible()) return;
        const Input in = placement();
        if (reported.change(in)) rt::input(id, in);
    }
    Reported reported;
};

// A child's client area. Its size hint is the size the window layer gives
// it, so the sub-window fits it (a plain widget hints nothing, and the
// sub-window would shrink to the least size).
class Surface : public QWidget {
  public:
    QSize hint;
    QSize sizeHint() const override { return hint.isValid() ? hint : QWidget::sizeHint(); }
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
    // A maximized window takes what its area gives it, also while a view is
    // applied: the window layer hears the size its view did not know.
    void tellMaximizedSize(const Rect& known) {
        if (!units || !surface || !isMaximized()) return;
        if (units->fromX(surface->width()) == known.w && units->fromY(surface->height()) == known.h)
            return;
        // The view says the window layer does not have this size, whatever
        // was reported before (a report may have come while it was not yet
        // open): tell it again.
        if (applying && *applying) return;
        const Input in = placement();
        reported.change(in);
        rt::input(id, in);
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

  public:
    void remember() {
        if (units && surface) reported.change(placement());
    }

  private:
    Input placement() const {
        Input in{Input::Kind::Placement};
        in.at = {units->fromX(pos().x()), units->fromY(pos().y()), units->fromX(surface->width()),
                 units->fromY(surface->height())};
        in.maximized = isMaximized();
        in.minimized = isMinimized();
        return in;
    }
    void report() {
        if (!units || !surface || (applying && *applying) || !isVisible()) return;
        const Input in = placement();
        if (reported.change(in)) rt::input(id, in);
    }
    Reported reported;
};

}  // namespace rt
