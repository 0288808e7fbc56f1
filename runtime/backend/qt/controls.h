// One adapter per kind of control: how a child window's control becomes a
// widget from the window's first view, and how each later view brings that
// widget up to date. The window code (windows.cpp) does what all kinds share:
// the font, the tool tip, the input filter, enabled, visible and the focus.
#pragma once

#include <QFontMetrics>
#include <QFrame>
#include <QRect>
#include <QtGlobal>
#include <map>

#include "runtime/backend/qt/state.h"

class QTabBar;

namespace rt {

using Win = QtBackend::State::Win;

// What making one window's controls shares between them.
struct Building {
    Win& w;
    const WindowView& v;
    QWidget* surface;
    std::map<int, QTabBar*> bars;  // each sheet's tab bar, for its tabs
};

struct Made {
    QWidget* widget = nullptr;       // nullptr: nothing more to do for it
    QWidget* inputTarget = nullptr;  // where the mouse arrives, when not the widget
};

class ControlAdapter {
  public:
    virtual ~ControlAdapter() = default;
    virtual Made create(Building& b, const ControlView& c) const = 0;
    // Where the widget lies on the surface: the control's place in dialog units.
    virtual void place(const Win& w, QWidget* widget, const ControlView& c) const;
    // Drawn below the others, so what lies over it stays visible.
    virtual bool below(const ControlView&) const { return false; }
    // Brings the widget up to what c shows (old: the window's last view, if
    // any). False when enabled, visible and the focus are not the widget's
    // to take.
    virtual bool update(Win& w, QWidget* widget, const WindowView* old,
                        const ControlView& c) const = 0;
};

// nullptr for a kind a child window draws nothing for.
const ControlAdapter* adapterFor(ControlKind kind);

// The adapters, one file each.
const ControlAdapter& labelAdapter();     // prompts and strings
const ControlAdapter& entryAdapter();     // entries, spins, combos
const ControlAdapter& textBoxAdapter();   // text boxes
const ControlAdapter& buttonAdapter();    // push buttons
const ControlAdapter& checkAdapter();     // check boxes
const ControlAdapter& radioAdapter();     // radio buttons
const ControlAdapter& groupAdapter();     // groups and option groups
const ControlAdapter& listAdapter();      // lists and drop lists
const ControlAdapter& sheetAdapter();     // sheets
const ControlAdapter& tabAdapter();       // a sheet's tabs
const ControlAdapter& panelAdapter();     // panels and boxes
const ControlAdapter& imageAdapter();     // pictures
const ControlAdapter& lineAdapter();      // lines
const ControlAdapter& pageAdapter();      // a report page (report_page.cpp)
const ControlAdapter& progressAdapter();  // progress bars (report_page.cpp)

QFrame::Shadow shadowOf(int bevel);

// Paints a control's own background colour (ControlView::fill), or its
// display's own colours again for the default, in every state.
void paintFill(QWidget* widget, const ControlView& c);

// Between Qt's places in a text (UTF-16 units) and the window layer's
// (characters): the characters before index i, and the index of character n.
int charsBefore(const QString& s, int i);
int indexOfChar(const QString& s, int n);

// An edit box's own change (its text typed, its caret moved) sent to its
// window, numbered (Input::seq) so that a view made before the window took
// it can be told apart: ownChangeAhead is true while the box holds a change
// the view being applied to w has not taken yet.
void sendOwnChange(QWidget* box, int window, Input in);
bool ownChangeAhead(const QWidget* box, const Win& w);

// A list column's alignment (its header's).
Qt::Alignment columnAlignment(Align a);

// Where a list cell's text starts in the cell: left or right at indent px
// from that edge, centred, or (decimal) with the text before its decimal
// point ending indent px from the right edge (no point: the whole text).
int cellTextX(const QFontMetrics& fm, const QString& text, const QRect& cell, Align align,
              int indent, QChar point);

}  // namespace rt
