// Prompts and strings: a label.
#include <QLabel>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

class LabelAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* l = new QLabel(b.surface);
        l->setAlignment(c.align == Align::Center  ? Qt::AlignHCenter | Qt::AlignTop
                        : c.align == Align::Right ? Qt::AlignRight | Qt::AlignTop
                                                  : Qt::AlignLeft | Qt::AlignTop);
        return {l};
    }
    // A left-aligned prompt shows its whole text: the width a layout gives
    // it is reckoned from the number of characters, which wide letters can
    // outgrow in the window's font. The entry it names is built after it and
    // lies above it, so the widened prompt never takes the entry's clicks.
    void place(const Win& w, QWidget* widget, const ControlView& c) const override {
        ControlAdapter::place(w, widget, c);
        if (c.kind != ControlKind::Prompt || c.align != Align::Left) return;
        const int need = widget->fontMetrics().horizontalAdvance(q(c.text)) + 2;
        if (need > widget->width()) widget->resize(need, widget->height());
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        static_cast<QLabel*>(widget)->setText(q(c.text));
        return true;
    }
};

}  // namespace

const ControlAdapter& labelAdapter() {
    static const LabelAdapter a;
    return a;
}

}  // namespace rt
