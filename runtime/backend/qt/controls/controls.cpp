#include "runtime/backend/qt/controls.h"

namespace rt {

void ControlAdapter::place(const Win& w, QWidget* widget, const ControlView& c) const {
    widget->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y), w.units.x(c.at.w),
                        w.units.y(c.at.h));
}

const ControlAdapter* adapterFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::Prompt:
        case ControlKind::String:
            return &labelAdapter();
        case ControlKind::Entry:
        case ControlKind::Spin:
        case ControlKind::Combo:
        case ControlKind::DropCombo:
            return &entryAdapter();
        case ControlKind::Text:
            return &textBoxAdapter();
        case ControlKind::Button:
            return &buttonAdapter();
        case ControlKind::Check:
            return &checkAdapter();
        case ControlKind::Radio:
            return &radioAdapter();
        case ControlKind::Option:
        case ControlKind::Group:
            return &groupAdapter();
        case ControlKind::List:
        case ControlKind::DropList:
            return &listAdapter();
        case ControlKind::Sheet:
            return &sheetAdapter();
        case ControlKind::Tab:
            return &tabAdapter();
        case ControlKind::Panel:
        case ControlKind::Box:
        case ControlKind::Image:
            return &panelAdapter();
        case ControlKind::Line:
            return &lineAdapter();
        default:
            return nullptr;
    }
}

QFrame::Shadow shadowOf(int bevel) {
    return bevel < 0 ? QFrame::Sunken : QFrame::Raised;
}

Qt::Alignment columnAlignment(Align a) {
    switch (a) {
        case Align::Right:
        case Align::Decimal: return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace rt
