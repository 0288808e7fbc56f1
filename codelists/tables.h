#pragma once
// The nine code tables as data: for each, its file, its list window and its
// form, with every title, control, position, picture, column and tip. One
// generic list procedure (browse_codelist.cpp) and one generic form
// (update_codelist.cpp) build the windows from these rows, so what the nine
// share is written once and each row holds only what differs.
//
// Texts here are UTF-8; the windows hold them in Windows-1250.
#include <cstdint>
#include <string>
#include <vector>

#include "core/dictionary/files.h"
#include "core/dictionary/records.h"
#include "framework/window_kit.h"

namespace codelists {

// The layouts' building blocks are the framework's (framework/window_kit.h).
using kit::ColumnLayout;
using kit::FormField;
using kit::LocatorEntry;
using kit::Point;

// A sort order the user chooses by tab: the file's key (index in the file's
// key list) and the field its locator works on (index in the field list).
struct SortTab {
    const char* text;
    int key;
    int field;
    bool step;           // a numeric thumb step (else the fixed thumb)
    LocatorEntry entry;  // name nullptr: a step locator without an entry
};

struct ListLayout {
    const char* procedure;  // "BrowsePLAND": the INI section and %Procedure
    const char* title;
    int width, height;
    rt::Rect sheet;
    rt::Rect list;
    std::vector<ColumnLayout> columns;
    // Two entries: the two-tab windows (code, then name); one: the single
    // tab "Podaci" over the code order.
    std::vector<SortTab> tabs;
    const char* insertText;  // "&Upis" in the two-tab windows
    Point insert;
    Point change;
    int changeWidth;
    Point del;
    const char* closeText;  // "Izlaz" in the two-tab windows, else "Zatvori"
    Point close;
    bool selectButton;  // the hidden "Izbor" (control 2)
    rt::Rect selectAt;
    bool editViaPopup;  // the Insert, Ctrl+Enter, Delete keys and menu items
};

struct FormLayout {
    const char* procedure;  // "UpdatePLAND"
    int width, height;
    rt::Rect sheet;
    Point ok;
    Point cancel;
    std::vector<FormField> fields;  // one per field of the file, in order
};

struct CodeTable {
    FileId file;
    // The thread's history record of the form (same layout as the buffer).
    void* (*history)();
    ListLayout list;
    FormLayout form;
};

// The nine, in the order of the menu "Šifarnici": PLANSA, PLAND, PODPOS,
// STUPEM, NACION, BRAST, KATEG, NACUC, TURPOS.
const std::vector<CodeTable>& CodeTables();
// The row of a file (throws std::out_of_range for a file that is no code table).
const CodeTable& CodeTableOf(FileId file);
// "Browsing the PLAND file": the list's status-bar message.
std::string BrowsingMessage(const CodeTable& table);

}  // namespace codelists

// The forms' history records, one per form and thread: what the buffer held
// at the last OK that passed the form's checks on this thread (cleared on
// the thread's first use).
namespace History {
extern thread_local PLANSA_Record PLA1;
extern thread_local PLAND_Record PLA;
extern thread_local PODPOS_Record POD;
extern thread_local STUPEM_Record STU;
extern thread_local NACION_Record NAC;
extern thread_local BRAST_Record BRA;
extern thread_local KATEG_Record KAT;
extern thread_local NACUC_Record NA1;
extern thread_local TURPOS_Record TUR;
}  // namespace History
