// Entries, spins and combos: a one-line edit box that reports each edit.
#include <QLineEdit>

#include "runtime/backend/qt/controls.h"
#include "runtime/window/window.h"

namespace rt {

namespace {

class EntryAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* e = new QLineEdit(b.surface);
        e->setFocusPolicy(Qt::ClickFocus);
        if (c.align == Align::Right) e->setAlignment(Qt::AlignRight);
        const int id = b.v.id, ctl = c.id;
        QObject::connect(e, &QLineEdit::textEdited, e, [id, ctl](const QString& t) {
            Input in{Input::Kind::Text, ctl};
            in.text = t.toStdString();
            rt::input(id, in);
        });
        return {e};
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        const QString text = q(c.text);
        auto* e = static_cast<QLineEdit*>(widget);
        if (e->text() != text) e->setText(text);
        e->setReadOnly(c.readOnly);
        return true;
    }
};

}  // namespace

const ControlAdapter& entryAdapter() {
    static const EntryAdapter a;
    return a;
}

}  // namespace rt
