#pragma once
// Building a window's controls from layouts written as data: the common
// child window, push buttons, list boxes from their columns, sheets and tabs,
// the locator entry on a tab, a form's prompt and entry, strings and option
// boxes bound to fields of the thread's record buffer. Every window of the
// program builds its controls with these, in the order it numbers them, so
// that a window's procedure holds only its own data.
//
// Texts given here are UTF-8; the controls hold them in Windows-1250.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/file/file.h"
#include "runtime/window/view.h"
#include "runtime/window/window.h"

namespace kit {

struct Point {
    int x = 0, y = 0;
};

// A column of a list box; field is the queue field it shows (1-based).
struct ColumnLayout {
    const char* header;
    int field;
    int width;
    rt::Align align;
    int indent;
    rt::Align headerAlign;
    const char* picture;
};

// The locator entry on a tab of a list.
struct LocatorEntry {
    const char* name;  // "?PLA:P1_SIP"
    rt::Rect at;
    const char* picture;
    const char* tip;  // also the status-bar message
    bool right;       // right-aligned
};

// One field of a form: its prompt and the control that edits it.
struct FormField {
    const char* prompt;
    Point promptAt;
    const char* name;  // "?PLA:P1_SIP"
    rt::Rect at;
    const char* picture;  // "" for the multi-line text box
    bool textBox;         // a multi-line text box instead of an entry
    const char* tip;      // nullptr: the prompt without its colon
};

// One radio button of an option box; the n-th stores n.
struct RadioLayout {
    const char* name;  // "?CLA:M1_STC:Radio1"
    const char* text;
    rt::Rect at;
};

// A window text: UTF-8 in, Windows-1250 out (kept as it is when it is no
// valid UTF-8).
std::string WindowText(std::string_view utf8);

// The window of every list, form and select window: a resizable MDI child,
// centred, grey, in "MS Sans Serif" 8. The title is UTF-8 (empty for a form,
// which sets its own from the request).
rt::WindowDesc ChildWindowDesc(int width, int height, const char* title = "");

// A push button with its status-bar message and tip.
rt::Control PushButton(const char* name, const char* text, rt::Rect at, const char* msg,
                       const char* tip);

// The buttons the lists, select windows and forms share, with their
// status-bar messages and tips: "Izbor" ("?Select:2"), the close button
// ("?Close", "Zatvori" or "Izlaz"), a list's insert, change, delete or view
// button (its tip also its message; skip: passed over by Tab), a form's OK
// (the default button) and its cancel button.
rt::Control SelectButton(rt::Rect at);
rt::Control CloseButton(const char* text, rt::Rect at);
rt::Control ActionButton(const std::string& name, const char* text, rt::Rect at, const char* tip,
                         bool skip);
rt::Control OkButton(const char* name, const char* text, rt::Rect at);
rt::Control CancelButton(const char* name, const char* text, rt::Rect at);
// The "..." button beside a lookup's entry in parent (0: the window), passed
// over by Tab. Returns its number.
int AddLookupButton(rt::Window& w, int parent, const char* name, rt::Rect at);

// A code field (32 bits) of file's record buffer on the calling thread, by
// its label: what a lookup's entry edits and the looked-up code it sets.
// Throws std::invalid_argument for a field of another type.
std::int32_t& CodeField(rt::FileStructure& file, std::string_view label);

// A control's binding to field (0-based) of the calling thread's record
// buffer of file: codes and dates as integers, texts at their width, money.
rt::Binding BindField(rt::FileStructure& file, int field);

// "Browsing the PLAND file": a list's status-bar message.
std::string BrowsingMessage(const rt::FileDef& file);

// A list box "?Browse:1" with its columns, in the order given.
rt::Control ListBox(rt::Rect at, std::string msg, const std::vector<ColumnLayout>& columns);
// Puts count columns of a list from first (0-based) under one heading; the
// list's header then takes two lines.
void GroupColumns(rt::Control& list, std::size_t first, std::size_t count, const char* heading);

// A sheet, and a tab on it (the first tab added to a sheet is its selected
// one). Both return the control's number.
int AddSheet(rt::Window& w, const char* name, rt::Rect at);
int AddTab(rt::Window& w, int sheet, std::string name, const char* text, rt::Rect at = {});

// A locator's entry on a tab, bound to the locator's field.
int AddLocatorEntry(rt::Window& w, int tab, const LocatorEntry& e, rt::Binding value);

// A prompt that takes the size of its text.
int AddPrompt(rt::Window& w, int parent, std::string name, const char* text, Point at);

// A form field: its prompt, then its entry or multi-line text box bound to
// field (0-based) of file; codes, dates and money are right-aligned. The
// prompt without its colon is the message and tip unless the field has its
// own. Returns the edit control's number.
int AddFormField(rt::Window& w, int parent, const FormField& f, rt::FileStructure& file, int field);

// A string showing a bound value through its picture: the name of a looked-up
// code beside its entry, a datum of the highlighted row.
int AddString(rt::Window& w, int parent, const char* name, rt::Rect at, const char* picture,
              rt::Binding value);

// An option box bound to a value, with its radio buttons: the first stores
// 1, the second 2 ...; a value none of them stores selects none. Returns the
// option box's number (its radios follow it).
int AddOptionBox(rt::Window& w, int parent, const char* name, const char* text, rt::Rect at,
                 rt::Binding value, const std::vector<RadioLayout>& radios,
                 const char* tip = nullptr);

// A picture control, drawn fitted into its box (proportions kept, centred)
// or stretched over it, and the picture it shows: the image file named by a
// path (Windows-1250, trailing blanks ignored; blank shows none). The
// window layer reads the file; ShowPicture asks for it only when the path
// differs from the one shown.
int AddPicture(rt::Window& w, int parent, const char* name, rt::Rect at,
               rt::ImagePayload::Mode mode = rt::ImagePayload::Mode::Fit);
void ShowPicture(rt::Window& w, int control, std::string_view cp1250Path);

}  // namespace kit
