#include "runtime/backend/qt/input.h"

#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTreeWidget>

#include "runtime/window/keys.h"
#include "runtime/window/window.h"

namespace rt {

int coreKey(const QKeyEvent* e, bool editing) {
    const auto mods = e->modifiers();
    const bool shift = mods & Qt::ShiftModifier, ctrl = mods & Qt::ControlModifier;
    switch (e->key()) {
        case Qt::Key_Tab:
            if (ctrl) return shift ? key::CtrlShiftTab : key::CtrlTab;
            return shift ? key::ShiftTab : key::Tab;
        case Qt::Key_Backtab:
            return ctrl ? key::CtrlShiftTab : key::ShiftTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return ctrl ? key::CtrlEnter : shift ? key::ShiftEnter : key::Enter;
        case Qt::Key_Up:
            return key::Up;
        case Qt::Key_Down:
            return key::Down;
        case Qt::Key_PageUp:
            return ctrl ? key::CtrlPageUp : key::PageUp;
        case Qt::Key_PageDown:
            return ctrl ? key::CtrlPageDown : key::PageDown;
        case Qt::Key_Insert:
            return key::Insert;
        case Qt::Key_Escape:
            return key::Esc;
        case Qt::Key_Menu:
            return key::AppsKey;
        default:
            break;
    }
    if (e->key() == Qt::Key_F6 && ctrl) return shift ? key::CtrlShiftF6 : key::CtrlF6;
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

bool InputFilter::eventFilter(QObject* obj, QEvent* ev) {
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
            if (pressed) pressed();
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
            if (pressed) pressed();
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
            // Ctrl+F6 and its kin may have made another window active.
            if (pressed) pressed();
            return true;
        }
        case QEvent::ShortcutOverride:
            return false;
        default:
            return false;
    }
}

bool FrameKeys::eventFilter(QObject* obj, QEvent* ev) {
    if (ev->type() != QEvent::KeyPress && ev->type() != QEvent::KeyRelease) return false;
    auto* ke = static_cast<QKeyEvent*>(ev);
    const auto mods = ke->modifiers() & ~Qt::KeypadModifier;
    if (ev->type() == QEvent::KeyRelease) {
        // Alt pressed and let go with no key between: the menu bar.
        if (ke->key() == Qt::Key_Alt && altAlone_ && !ke->isAutoRepeat()) {
            altAlone_ = false;
            openMenuBar();
            return true;
        }
        return false;
    }
    if (ke->isAutoRepeat()) return ke->key() == Qt::Key_Alt ? false : handleKey(obj, ke, mods);
    altAlone_ = ke->key() == Qt::Key_Alt && (mods == Qt::AltModifier || mods == Qt::NoModifier);
    return handleKey(obj, ke, mods);
}

bool FrameKeys::handleKey(QObject* obj, QKeyEvent* ke, Qt::KeyboardModifiers mods) {
    if (ke->key() == Qt::Key_F10 && mods == Qt::NoModifier) {
        openMenuBar();
        return true;
    }
    // Ctrl+Tab and Ctrl+Shift+Tab are a control's, not the frame area's.
    const bool ctrlTab =
        (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) && (mods & Qt::ControlModifier);
    if (ctrlTab && controls_ && controls_->targets.count(obj))
        return controls_->eventFilter(obj, ke);
    return false;
}

void FrameKeys::openMenuBar() {
    if (!menuBar_) return;
    for (QAction* a : menuBar_->actions())
        if (a->isVisible() && a->isEnabled()) {
            menuBar_->setActiveAction(a);
            return;
        }
}

int InputFilter::rowAt(QObject* obj, QPoint p) {
    auto* w = qobject_cast<QWidget*>(obj);
    if (!w) return 0;
    if (auto* tree = qobject_cast<QTreeWidget*>(w->parentWidget())) {
        QModelIndex idx = tree->indexAt(p);
        return idx.isValid() ? idx.row() + 1 : 0;
    }
    return 0;
}

}  // namespace rt
