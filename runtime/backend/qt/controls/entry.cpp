// Entries, spins and combos: a one-line edit box that reports each edit
// with its caret, and each move of the caret or the selection. The window
// layer keeps both; the box shows them as each view says. The box keeps its
// designed place and size: a value wider than it scrolls inside it, the
// caret in sight (a new value puts the caret at its end).
#include <QLineEdit>

#include "runtime/backend/qt/controls.h"
#include "runtime/window/window.h"

namespace rt {

namespace {

// The caret and the selection's other end, in characters.
std::pair<int, int> caretOf(const QLineEdit* e) {
    const QString t = e->text();
    const int caret = charsBefore(t, e->cursorPosition());
    if (!e->hasSelectedText()) return {caret, caret};
    const int start = charsBefore(t, e->selectionStart());
    const int end = charsBefore(t, e->selectionEnd());
    return {caret, caret == start ? end : start};
}

class EntryAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* e = new QLineEdit(b.surface);
        e->setFocusPolicy(Qt::ClickFocus);
        if (c.align == Align::Right) e->setAlignment(Qt::AlignRight);
        const int id = b.v.id, ctl = c.id;
        const bool* applying = &b.w.applying;
        QObject::connect(e, &QLineEdit::textEdited, e, [e, id, ctl](const QString& t) {
            Input in{Input::Kind::Text, ctl};
            in.text = t.toStdString();
            std::tie(in.caret, in.anchor) = caretOf(e);
            sendOwnChange(e, id, std::move(in));
        });
        auto moved = [e, id, ctl, applying] {
            if (*applying) return;
            Input in{Input::Kind::Caret, ctl};
            std::tie(in.caret, in.anchor) = caretOf(e);
            sendOwnChange(e, id, std::move(in));
        };
        QObject::connect(e, &QLineEdit::cursorPositionChanged, e, moved);
        QObject::connect(e, &QLineEdit::selectionChanged, e, moved);
        return {e};
    }
    bool update(Win& w, QWidget* widget, const WindowView*, const ControlView& c) const override {
        const QString text = q(c.text);
        auto* e = static_cast<QLineEdit*>(widget);
        // A view made before the window took the box's own latest edit would
        // put the typing back: the box keeps it until a view that holds it.
        const bool ahead = ownChangeAhead(e, w);
        if (!ahead && e->text() != text) e->setText(text);
        e->setReadOnly(c.readOnly);
        if (!ahead && caretOf(e) != std::pair{c.caret, c.anchor}) {
            const int anchor = indexOfChar(text, c.anchor);
            e->setSelection(anchor, indexOfChar(text, c.caret) - anchor);
        }
        return true;
    }
};

}  // namespace

const ControlAdapter& entryAdapter() {
    static const EntryAdapter a;
    return a;
}

}  // namespace rt
