// The clubs' document counters: one row per club, listed by club code and
// kept through the form. Only the buttons act on the list: neither its keys
// nor its right-click menu insert, change or delete.
#include "activities/counters.h"

#include "core/dictionary/dictionary.h"
#include "framework/form_window.h"
#include "framework/list_window.h"
#include "framework/window_kit.h"

thread_local DOKAN_Record History::DOK;

namespace {

constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

rt::FileStructure& Counters() {
    return fileStructure(FileId::DOKAN);
}

// ---------------------------------------------------------------------------
// The list

struct ListControls {
    int list = 0, insert = 0, change = 0, del = 0, sheet = 0, close = 0;
};

// clang-format off
ListControls BuildList(rt::Window& w) {
    ListControls c;
    c.list = w.add(kit::ListBox({8, 23, 155, 130}, kit::BrowsingMessage(Counters().def()),
                                {{"Šifra PD", 1, 38, R, 2, C, "@n_3"},
                                 {"Broj dokumenta", 2, 80, R, 2, C, "@n_8"}}));
    c.insert = w.add(kit::ActionButton("?INSERT:2", "Upis", {8, 158, 49, 14}, "Insert a Record", true));
    c.change = w.add(kit::ActionButton("?CHANGE:2", "Promjena", {55, 158, 55, 14}, "Change the Record", true));
    w.control(c.change).isDefault = true;
    c.del = w.add(kit::ActionButton("?DELETE:2", "Brisanje", {114, 158, 49, 14}, "Delete the Record", true));
    c.sheet = kit::AddSheet(w, "?CURRENTTAB", {4, 4, 163, 172});
    kit::AddTab(w, c.sheet, "?TAB:2", "Podaci");
    c.close = w.add(kit::CloseButton("Zatvori", {118, 180, 49, 14}));
    return c;
}
// clang-format on

// The keys Insert, Ctrl+Enter and Delete and the right-click menu's update
// items are turned off before the alerts are set.
class CountersBrowse : public BrowseClass {
  public:
    void SetAlerts() override {
        EditViaPopup = false;
        BrowseClass::SetAlerts();
    }
};

class CountersList : public ListWindowProcedure {
  public:
    CountersList(const ListControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                 WindowResizeClass& rs)
        : ListWindowProcedure("BrowseDOKUM", Relate::DOKAN, c.list, c.close, w, ebt, tb, rs),
          c_(c),
          counters_(Counters()),
          BRW1_View(counters_) {
        UpdateProcedure = UpdateDOKAN;
    }

  protected:
    void AfterRestore() override { BRW1.AskProcedure = 1; }

    void SetUpBrowse() override {
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::DOKAN,
                  *this);
        BRW1.InsertControl = c_.insert;
        BRW1.ChangeControl = c_.change;
        BRW1.DeleteControl = c_.del;
        BRW1.RetainRow = false;
        BRW1_Sort0_StepClass.Init(StepOption::Alpha);
        AddOrder(BRW1, &BRW1_Sort0_StepClass, rt::KeyOf(counters_, "DOK:KeyD1_SIP"),
                 BRW1_Sort0_Locator, 0, rt::FieldOf(counters_, "DOK:D1_SIP"));
        for (const char* f : {"DOK:D1_SIP", "DOK:D1_BRJ"}) BRW1.AddField(rt::FieldOf(counters_, f));
    }

  private:
    const ListControls& c_;
    rt::FileStructure& counters_;
    rt::View BRW1_View;
    StepLongClass BRW1_Sort0_StepClass;
    StepLocatorClass BRW1_Sort0_Locator;
    BrowseQueue Queue_Browse_1;
    CountersBrowse BRW1;  // last: ended before the view and queue it reads
};

// ---------------------------------------------------------------------------
// The form

// clang-format off
FormControls BuildForm(rt::Window& w) {
    rt::FileStructure& d = Counters();
    FormControls c;
    const int sheet = kit::AddSheet(w, "?CURRENTTAB", {4, 4, 145, 44});
    const int tab = kit::AddTab(w, sheet, "?TAB:1", "Podaci");
    const int club = rt::FieldOf(d, "DOK:D1_SIP").index;
    const int number = rt::FieldOf(d, "DOK:D1_BRJ").index;
    const int clubEntry = kit::AddFormField(
        w, tab, {"Šifra PD:", {31, 20}, "?DOK:D1_SIP", {72, 20, 29, 10}, "@n_3", false, "Šifra PD"},
        d, club);
    const int numberEntry = kit::AddFormField(
        w, tab, {"Broj dokumenta:", {8, 34}, "?DOK:D1_BRJ", {72, 34, 67, 10}, "@n_8", false,
                 "Broj dokumenta"},
        d, number);
    c.history = {{clubEntry, club + 1}, {numberEntry, number + 1}};
    c.ok = w.add(kit::OkButton("?OK", "Uredu", {41, 52}));
    c.cancel = w.add(kit::CancelButton("?CANCEL", "Izlaz", {94, 52}));
    c.first = clubEntry - 1;  // its prompt: the focus lands in the entry
    return c;
}
// clang-format on

class CounterForm : public FormWindowProcedure {
  public:
    CounterForm(const FormControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                WindowResizeClass& rs)
        : FormWindowProcedure(
              "UpdateDOKAN",
              FormFile{Counters(), accessOf(FileId::DOKAN), relateOf(FileId::DOKAN), &History::DOK},
              c, w, ebt, tb, rs) {}
};

}  // namespace

void BrowseDOKUM() {
    RunWindow<CountersList>(kit::ChildWindowDesc(171, 198, "Brojač izvjještaja"), BuildList);
}

void UpdateDOKAN() {
    RunWindow<CounterForm>(kit::ChildWindowDesc(153, 70, "Brojač izvještaja"), BuildForm);
}
