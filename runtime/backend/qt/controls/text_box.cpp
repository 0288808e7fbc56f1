// Text boxes: a plain text edit; its own changes while a view is applied
// are not reported back.
#include <QPlainTextEdit>

#include "runtime/backend/qt/controls.h"
#include "runtime/window/window.h"

namespace rt {

namespace {

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
            rt::input(id, in);
        });
        return {e, e->viewport()};
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        const QString text = q(c.text);
        auto* e = static_cast<QPlainTextEdit*>(widget);
        if (e->toPlainText() != text) e->setPlainText(text);
        e->setReadOnly(c.readOnly);
        return true;
    }
};

}  // namespace

const ControlAdapter& textBoxAdapter() {
    static const TextBoxAdapter a;
    return a;
}

}  // namespace rt
