// Text boxes: a plain text edit that reports each edit with its caret, and
// each move of the caret or the selection; its own changes while a view is
// applied are not reported back. The window layer keeps the caret and the
// selection; the box shows them as each view says.
#include <QPlainTextEdit>
#include <QTextBlock>

#include "runtime/backend/qt/controls.h"
#include "runtime/window/window.h"

namespace rt {

namespace {

// The caret and the selection's other end, in characters (a line break is one).
std::pair<int, int> caretOf(const QPlainTextEdit* e) {
    const QString t = e->toPlainText();
    const QTextCursor cur = e->textCursor();
    return {charsBefore(t, cur.position()), charsBefore(t, cur.anchor())};
}

class TextBoxAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* e = new QPlainTextEdit(b.surface);
        e->setFocusPolicy(Qt::ClickFocus);
        const int id = b.v.id, ctl = c.id;
        bool* applying = &b.w.applying;
        QObject::connect(e, &QPlainTextEdit::textChanged, e, [e, id, ctl, applying] {
            if (*applying) return;
            Input in{Input::Kind::Text, ctl};
            in.text = e->toPlainText().toStdString();
            std::tie(in.caret, in.anchor) = caretOf(e);
            sendOwnChange(e, id, std::move(in));
        });
        auto moved = [e, id, ctl, applying] {
            if (*applying) return;
            Input in{Input::Kind::Caret, ctl};
            std::tie(in.caret, in.anchor) = caretOf(e);
            sendOwnChange(e, id, std::move(in));
        };
        QObject::connect(e, &QPlainTextEdit::cursorPositionChanged, e, moved);
        QObject::connect(e, &QPlainTextEdit::selectionChanged, e, moved);
        return {e, e->viewport()};
    }
    bool update(Win& w, QWidget* widget, const WindowView*, const ControlView& c) const override {
        const QString text = q(c.text);
        auto* e = static_cast<QPlainTextEdit*>(widget);
        // Typing the window has not taken yet stays (see the entry's).
        const bool ahead = ownChangeAhead(e, w);
        if (!ahead && e->toPlainText() != text) e->setPlainText(text);
        e->setReadOnly(c.readOnly);
        if (!ahead && caretOf(e) != std::pair{c.caret, c.anchor}) {
            QTextCursor cur(e->document());
            cur.setPosition(indexOfChar(text, c.anchor));
            cur.setPosition(indexOfChar(text, c.caret), QTextCursor::KeepAnchor);
            e->setTextCursor(cur);
        }
        return true;
    }
};

}  // namespace

const ControlAdapter& textBoxAdapter() {
    static const TextBoxAdapter a;
    return a;
}

}  // namespace rt
