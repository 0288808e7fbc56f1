// Panels and boxes (a bevelled frame), and lines.
#include <QFrame>
#include <algorithm>
#include <cstdlib>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

class PanelAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* fr = new QFrame(b.surface);
        fr->setFrameShape(QFrame::Panel);
        fr->setFrameShadow(shadowOf(c.bevelOuter));
        fr->setLineWidth(std::max(1, std::min(3, std::abs(c.bevelOuter))));
        return {fr};
    }
    // Panels and boxes lie under the texts drawn over them.
    bool below(const ControlView&) const override { return true; }
    bool update(Win&, QWidget*, const WindowView*, const ControlView&) const override {
        return true;
    }
};

class LineAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView& c) const override {
        auto* fr = new QFrame(b.surface);
        fr->setFrameShape(c.at.w >= c.at.h ? QFrame::HLine : QFrame::VLine);
        fr->setFrameShadow(QFrame::Sunken);
        return {fr};
    }
    bool update(Win&, QWidget*, const WindowView*, const ControlView&) const override {
        return true;
    }
};

}  // namespace

const ControlAdapter& panelAdapter() {
    static const PanelAdapter a;
    return a;
}
const ControlAdapter& lineAdapter() {
    static const LineAdapter a;
    return a;
}

}  // namespace rt
