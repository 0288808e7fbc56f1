#include "runtime/backend/qt/controls.h"

#include "runtime/window/window.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>

namespace rt {

namespace {

constexpr std::uint32_t DefaultFill = 0xffffffff;

// What draws its own field (edits and lists paint their base); the others
// are filled with the window colour behind their text.
bool paintsBase(ControlKind kind) {
    switch (kind) {
        case ControlKind::Entry:
        case ControlKind::Spin:
        case ControlKind::Combo:
        case ControlKind::DropCombo:
        case ControlKind::Text:
        case ControlKind::List:
        case ControlKind::DropList:
            return true;
        default:
            return false;
    }
}

QColor halfway(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

}  // namespace

// The display's own disabled text is a light grey, about the silver of the
// program's grey windows: a window waiting on a message box, a select window,
// a popup or a progress window would lose every text in it. The classic
// disabled grey stands apart from silver, from the display's window colour
// and from an entry's white field alike.
void useDisabledGrey() {
    const QColor grey(0x80, 0x80, 0x80);
    QPalette p = QApplication::palette();
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, r, grey);
    QApplication::setPalette(p);
}

void paintFill(QWidget* widget, const ControlView& c) {
    QPalette p = widget->palette();
    const QPalette own = QApplication::palette(widget);
    const QPalette around = widget->parentWidget() ? widget->parentWidget()->palette() : own;
    const QPalette::ColorGroup groups[] = {QPalette::Active, QPalette::Inactive,
                                           QPalette::Disabled};
    const QPalette::ColorRole texts[] = {QPalette::Text, QPalette::WindowText,
                                         QPalette::ButtonText};
    if (c.fill == DefaultFill) {
        for (QPalette::ColorGroup g : groups) {
            p.setColor(g, QPalette::Base, own.color(g, QPalette::Base));
            p.setColor(g, QPalette::Button, own.color(g, QPalette::Button));
            p.setColor(g, QPalette::Window, around.color(g, QPalette::Window));
        }
        for (QPalette::ColorRole r : texts)
            p.setColor(QPalette::Disabled, r, own.color(QPalette::Disabled, r));
        widget->setPalette(p);
        widget->setAutoFillBackground(false);
        return;
    }
    const QColor fill = QColor::fromRgb(c.fill & 0xffffff);
    for (QPalette::ColorGroup g : groups)
        for (QPalette::ColorRole r : {QPalette::Base, QPalette::Window, QPalette::Button})
            p.setColor(g, r, fill);
    // A fill of its own can be the disabled grey itself: a disabled control's
    // text goes halfway from its own colour to the fill instead, plainly
    // dimmer and still readable on any fill.
    for (QPalette::ColorRole r : texts)
        p.setColor(QPalette::Disabled, r, halfway(p.color(QPalette::Active, r), fill));
    widget->setPalette(p);
    widget->setAutoFillBackground(!paintsBase(c.kind));
}

void ControlAdapter::place(const Win& w, QWidget* widget, const ControlView& c) const {
    widget->setGeometry(w.units.x(c.at.x), w.units.y(c.at.y), w.units.x(c.at.w), w.units.y(c.at.h));
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

void sendOwnChange(QWidget* box, int window, Input in) {
    in.seq = nextInputSeq();
    box->setProperty("rtOwnChange", QVariant::fromValue<qulonglong>(in.seq));
    rt::input(window, std::move(in));
}

bool ownChangeAhead(const QWidget* box, const Win& w) {
    return box->property("rtOwnChange").toULongLong() > w.inputsTaken;
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
        case Align::Decimal:
            return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace rt
