#include "runtime/backend/qt/controls.h"

#include <algorithm>

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
            return &panelAdapter();
        case ControlKind::Image:
            return &imageAdapter();
        case ControlKind::Line:
            return &lineAdapter();
        case ControlKind::Page:
            return &pageAdapter();
        case ControlKind::Progress:
            return &progressAdapter();
        default:
            return nullptr;
    }
}

int charsBefore(const QString& s, int i) {
    int n = 0;
    for (int k = 0; k < i && k < s.size(); ++k)
        if (!s[k].isLowSurrogate()) ++n;
    return n;
}

int indexOfChar(const QString& s, int n) {
    int k = 0;
    for (int c = 0; k < s.size() && c < n; ++k)
        if (!s[k].isHighSurrogate()) ++c;  // a pair counts at its second half
    return k;
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
