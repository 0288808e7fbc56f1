// Push buttons, check boxes and radio buttons. Qt presses none of them: a
// click goes to the window layer, which decides and shows the result.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

class ButtonAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        auto* btn = new QPushButton(b.surface);
        btn->setFocusPolicy(Qt::ClickFocus);
        return {btn};
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        auto* btn = static_cast<QPushButton*>(widget);
        btn->setText(q(c.text));
        btn->setDefault(c.isDefault);
        return true;
    }
};

// Check boxes and radio buttons are brought up to date alike.
class CheckableAdapter : public ControlAdapter {
  public:
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        auto* btn = static_cast<QAbstractButton*>(widget);
        btn->setText(q(c.text));
        btn->setChecked(c.checked);
        return true;
    }
};

class CheckAdapter final : public CheckableAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        auto* btn = new QCheckBox(b.surface);
        btn->setFocusPolicy(Qt::ClickFocus);
        return {btn};
    }
};

class RadioAdapter final : public CheckableAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        auto* btn = new QRadioButton(b.surface);
        btn->setAutoExclusive(false);  // the window layer says which one is on
        btn->setFocusPolicy(Qt::ClickFocus);
        return {btn};
    }
};

}  // namespace

const ControlAdapter& buttonAdapter() {
    static const ButtonAdapter a;
    return a;
}
const ControlAdapter& checkAdapter() {
    static const CheckAdapter a;
    return a;
}
const ControlAdapter& radioAdapter() {
    static const RadioAdapter a;
    return a;
}

}  // namespace rt
