// Groups and option groups: a titled box.
#include <QGroupBox>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

class GroupAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        return {new QGroupBox(b.surface)};
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        static_cast<QGroupBox*>(widget)->setTitle(q(c.text));
        return true;
    }
};

}  // namespace

const ControlAdapter& groupAdapter() {
    static const GroupAdapter a;
    return a;
}

}  // namespace rt
