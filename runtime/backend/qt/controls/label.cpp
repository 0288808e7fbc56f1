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
