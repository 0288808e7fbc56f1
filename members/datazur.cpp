// The date of the last data update per federation and club: the list, in
// three orders chosen by tab with step locators, and its form, the one form
// of the program a list opens to view a row.
#include "members/datazur.h"

#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "framework/form_window.h"
#include "framework/list_window.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"

thread_local DATAZUR_Record History::DAT;

namespace {

constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

rt::FileStructure& Dates() {
    return fileStructure(FileId::DATAZUR);
}

// ---------------------------------------------------------------------------
// The list

struct ListControls {
    int list = 0, view = 0, insert = 0, change = 0, del = 0, sheet = 0, close = 0;
    int data = 0, federation = 0, club = 0;  // the tabs
};

// In creation order: the list, the hidden "&View", the three buttons (not
// passed over by Tab), the sheet with its three tabs, "&Zatvori".
// clang-format off
ListControls BuildList(rt::Window& w) {
    ListControls c;
    c.list = w.add(kit::ListBox({8, 20, 168, 206}, kit::BrowsingMessage(Dates().def()),
                                {{"Šifra PS", 1, 33, R, 2, C, "@n_2"},
                                 {"Šifra PD", 2, 44, R, 2, C, "@n_3"},
                                 {"Datum", 3, 80, R, 2, C, "@d6."}}));
    // Shift+Enter and the menu's "&View" press it; hiding it does not
    // disable it.
    rt::Control view = kit::ActionButton("?View:2", "&View", {52, 233, 42, 14}, "View Record", false);
    view.hidden = true;
    c.view = w.add(std::move(view));
    c.insert = w.add(kit::ActionButton("?Insert:3", "&Upis", {8, 233, 42, 14}, "Insert a Record", false));
    c.change =
        w.add(kit::ActionButton("?Change:3", "&Pomjena", {52, 233, 42, 14}, "Change the Record", false));
    w.control(c.change).isDefault = true;
    c.del = w.add(
        kit::ActionButton("?Delete:3", "&Brisanje", {96, 233, 42, 14}, "Delete the Record", false));
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 176, 226});
    c.data = kit::AddTab(w, c.sheet, "?Tab:2", "Podaci");
    c.federation = kit::AddTab(w, c.sheet, "?Tab:3", "Plan.savez");
    c.club = kit::AddTab(w, c.sheet, "?Tab:4", "Plan.društvo");
    c.close = w.add(kit::CloseButton("&Zatvori", {140, 233, 40, 14}));
    return c;
}
// clang-format on

class DatesList : public ListWindowProcedure {
  public:
    DatesList(const ListControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
              WindowResizeClass& rs)
        : ListWindowProcedure("BrowseDATAZUR", Relate::DATAZUR, c.list, c.close, w, ebt, tb, rs),
          c_(c),
          dates_(Dates()),
          BRW1_View(dates_) {
        UpdateProcedure = UpdateDATAZUR;
    }

  protected:
    void AfterRestore() override { BRW1.AskProcedure = 1; }

    // "Plan.savez" orders by federation (1), "Plan.društvo" by club (2), any
    // other tab by federation and club (3). A key typed in the list steps
    // through the order's first field.
    void SetUpBrowse() override {
        BRW1.Sheet = c_.sheet;
        BRW1.Orders = {{c_.federation, 1}, {c_.club, 2}};
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::DATAZUR,
                  *this);
        BRW1.InsertControl = c_.insert;
        BRW1.ChangeControl = c_.change;
        BRW1.DeleteControl = c_.del;
        BRW1.ViewControl = c_.view;
        BRW1.RetainRow = false;
        AddOrder(BRW1, nullptr, rt::KeyOf(dates_, "DAT:KeySPS"), BRW1_Sort1_Locator, 0,
                 rt::FieldOf(dates_, "DAT:DAN_SPS"));
        AddOrder(BRW1, nullptr, rt::KeyOf(dates_, "DAT:KeySIP"), BRW1_Sort2_Locator, 0,
                 rt::FieldOf(dates_, "DAT:DAN_SIP"));
        AddOrder(BRW1, nullptr, rt::KeyOf(dates_, "DAT:KeySPSSIP"), BRW1_Sort0_Locator, 0,
                 rt::FieldOf(dates_, "DAT:DAN_SPS"));
        for (int i = 0; i < static_cast<int>(dates_.def().fields.size()); ++i)
            BRW1.AddField(dates_.field(i));
    }

  private:
    const ListControls& c_;
    rt::FileStructure& dates_;
    rt::View BRW1_View;
    StepLocatorClass BRW1_Sort1_Locator, BRW1_Sort2_Locator, BRW1_Sort0_Locator;
    BrowseQueue Queue_Browse_1;
    TabOrderBrowse BRW1;  // last: ended before the view and queue it reads
};

// ---------------------------------------------------------------------------
// The form

struct FormIds {
    FormControls form;
    int federation = 0, federationButton = 0, federationName = 0;
    int club = 0, clubButton = 0, clubName = 0;
};

// clang-format off
FormIds BuildForm(rt::Window& w) {
    rt::FileStructure& d = Dates();
    FormIds c;
    const int sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 355, 58});
    const int tab = kit::AddTab(w, sheet, "?Tab:1", "Podaci");
    auto lookup = [&](const kit::FormField& f, const char* button, rt::Rect buttonAt, FileId list,
                      const char* name, rt::Rect nameAt, int& entry, int& buttonId, int& nameId) {
        const int field = rt::FieldOf(d, f.name + 1).index;
        entry = kit::AddFormField(w, tab, f, d, field);
        c.form.history.push_back({entry, field + 1});
        buttonId = kit::AddLookupButton(w, tab, button, buttonAt);
        rt::FileStructure& l = fileStructure(list);
        nameId = kit::AddString(w, tab, name, nameAt, "@s50",
                                kit::BindField(l, rt::FieldOf(l, name + 1).index));
    };
    lookup({"Šifra planinarskog saveza:", {8, 20}, "?DAT:DAN_SPS", {110, 20, 20, 10}, "@n_2", false,
            "Šifra planinarskog saveza"},
           "?CallLookup", {132, 19, 12, 12}, FileId::PLANSA, "?PLA1:SP1_NPS", {148, 20, 205, 10},
           c.federation, c.federationButton, c.federationName);
    lookup({"Šifra planinarskog društva:", {8, 33}, "?DAT:DAN_SIP", {110, 33, 24, 10}, "@n_3", false,
            "Šifra PD"},
           "?CallLookup:2", {136, 32, 12, 12}, FileId::PLAND, "?PLA:P1_NPD", {152, 33, 201, 10},
           c.club, c.clubButton, c.clubName);
    const int date = rt::FieldOf(d, "DAT:DAN_DAD").index;
    c.form.history.push_back(
        {kit::AddFormField(w, tab,
                           {"Datum zadnjeg ažuriranja :", {8, 46}, "?DAT:DAN_DAD", {110, 46, 50, 10},
                            "@d6.", false, "Datum zadnjeg ažuriranja"},
                           d, date),
         date + 1});
    c.form.ok = w.add(kit::OkButton("?OK", "&Upis", {250, 66}));
    c.form.cancel = w.add(kit::CancelButton("?Cancel", "&Izlaz", {303, 66}));
    c.form.first = c.federation - 1;  // its prompt: the focus lands in the entry
    return c;
}
// clang-format on

class DatesForm : public LookupWindow<FormWindowProcedure> {
  public:
    DatesForm(const FormIds& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
              WindowResizeClass& rs)
        : LookupWindow<FormWindowProcedure>("UpdateDATAZUR",
                                            FormFile{Dates(), accessOf(FileId::DATAZUR),
                                                     relateOf(FileId::DATAZUR), &History::DAT},
                                            c.form, w, ebt, tb, rs),
          c_(c) {
        Title = {"Record Will Be Added", "Record Will Be Changed", "View Record"};
        // The looked-up files are opened with the form, as the dates' own.
        AddFiles({Relate::PLAND, Relate::PLANSA});
        AddLookupIn(Lookups, FileId::PLANSA,
                    {.Entry = c.federation,
                     .Button = c.federationButton,
                     .Value = kit::CodeField(Dates(), "DAT:DAN_SPS"),
                     .NameControl = c.federationName});
        AddLookupIn(Lookups, FileId::PLAND,
                    {.Entry = c.club,
                     .Button = c.clubButton,
                     .Value = kit::CodeField(Dates(), "DAT:DAN_SIP"),
                     .NameControl = c.clubName});
        // A reset reads nothing: the names are the buffers as the last
        // lookup left them.
        Lookups.ResetKind = LookupReset::ReadNothing;
    }

  protected:
    // The names beside the codes are first those of the row's own codes (a
    // code with no row shows none), never what an earlier lookup on this
    // thread left in the buffers; from then on they follow the lookups.
    Level AfterFilesOpened() override {
        const Level l = LookupWindow<FormWindowProcedure>::AfterFilesOpened();
        if (l == Level::Benign) Lookups.ReadAllRows();
        return l;
    }

    // In view mode nothing can be changed: the entries are read-only and
    // neither "..." can be pressed.
    void AfterRestore() override {
        LookupWindow<FormWindowProcedure>::AfterRestore();
        if (Request == ::Request::View) {
            Win->enable(c_.federationButton, false);
            Win->enable(c_.clubButton, false);
        }
    }

  private:
    const FormIds& c_;
};

}  // namespace

void BrowseDATAZUR() {
    RunWindow<DatesList>(kit::ChildWindowDesc(184, 264, "Datum zadnjeg ažuriranja"), BuildList);
}

void UpdateDATAZUR() {
    RunWindow<DatesForm>(kit::ChildWindowDesc(363, 84, "Datum zadnjeg ažuriranja"), BuildForm);
}
