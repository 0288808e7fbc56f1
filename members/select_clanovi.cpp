// The member select window: every member of every federation and club, in
// one of five orders chosen by tab, each with a locator entry on its tab.
#include "members/select_clanovi.h"

#include <vector>

#include "core/dictionary/dictionary.h"
#include "framework/list_window.h"
#include "framework/window_kit.h"

namespace {

using kit::ColumnLayout;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;
constexpr rt::Align D = rt::Align::Decimal;

// The fields the view reads and the queue holds: the nine columns, then the
// way of joining (its order's key, shown in no column). Nothing else of the
// member is read, the long texts least of all.
const std::vector<const char*>& QueueFields() {
    static const std::vector<const char*> fields = {
        "CLA:M1_SIP", "CLA:M1_SIF", "CLA:M1_PRE", "CLA:M1_IME", "CLA:M1_IOC",
        "CLA:M1_JMB", "CLA:M1_DRO", "CLA:M1_DCA", "CLA:M1_ADR", "CLA:M1_SNU"};
    return fields;
}

// clang-format off
const std::vector<ColumnLayout>& Columns() {
    static const std::vector<ColumnLayout> columns = {
        {"Šifra PD", 1, 29, R, 2, C, "@n_3"},
        {"Šifra člana", 2, 48, R, 2, C, "@n_6"},
        {"Prezime", 3, 108, L, 2, L, "@s25"},
        {"Ime", 4, 88, L, 2, L, "@s20"},
        {"Ime oca", 5, 87, L, 2, L, "@s20"},
        {"Jed.broj mat.registra", 6, 80, D, 6, C, "@s15"},
        {"Datum rođenja", 7, 80, R, 2, C, "@d6."},
        {"Datum učlanjenja u PD", 8, 80, R, 6, C, "@d6."},
        {"Adresa stanovanja", 9, 80, L, 2, L, "@s50"},
    };
    return columns;
}

// A tab and the locator entry on it.
struct OrderTab {
    const char* tab;
    const char* text;
    kit::LocatorEntry entry;
};

// In creation order: the member-code tab (the default order) first.
const std::vector<OrderTab>& Tabs() {
    static const std::vector<OrderTab> tabs = {
        {"?Tab:3", "Šifra člana", {"?CLA:M1_SIF", {8, 20, 46, 10}, "@n_6", "Šifra člana PD", true}},
        {"?Tab:4", "Prezime", {"?CLA:M1_PRE", {49, 21, 140, 10}, "@s25", "Prezime", false}},
        {"?Tab:5", "Ime", {"?CLA:M1_IME", {80, 21, 115, 10}, "@s20", "Ime", false}},
        {"?Tab:7", "JBMR", {"?CLA:M1_JMB", {102, 21, 97, 10}, "@s15", "Jed.broj mat.registra", false}},
        {"?Tab6", "Broj članske karte", {"?CLA:M1_SNU", {129, 20, 84, 10}, "@s20", "Broj članske karte", false}},
    };
    return tabs;
}
// clang-format on

// Control numbers: the list, "Izbor", the sheet, each tab with its entry
// (member code, surname, given name, registration number, way of joining),
// "Zatvori".
struct Controls {
    int list = 0, select = 0, sheet = 0, close = 0;
    int tab[5] = {};
    int entry[5] = {};
};

Controls Build(rt::Window& w) {
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    Controls c;
    c.list = w.add(kit::ListBox({8, 33, 455, 148}, kit::BrowsingMessage(members.def()), Columns()));
    c.select = w.add(kit::SelectButton({410, 183}));
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 467, 199});
    for (std::size_t i = 0; i < Tabs().size(); ++i) {
        const OrderTab& t = Tabs()[i];
        c.tab[i] = kit::AddTab(w, c.sheet, t.tab, t.text);
        const rt::FieldRef field = rt::FieldOf(members, t.entry.name + 1);  // without its "?"
        c.entry[i] =
            kit::AddLocatorEntry(w, c.tab[i], t.entry, kit::BindField(members, field.index));
    }
    c.close = w.add(kit::CloseButton("Zatvori", {410, 207}));
    return c;
}

class SelectMembers : public ListWindowProcedure {
  public:
    SelectMembers(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                  WindowResizeClass& rs)
        : ListWindowProcedure("SelectCLANOVI", Relate::CLANOVI, c.list, c.close, w, ebt, tb, rs),
          c_(c),
          members_(fileStructure(FileId::CLANOVI)),
          BRW1_View(members_) {}

  protected:
    // The surname, given-name, registration-number and way-of-joining tabs
    // choose orders 1 to 4; the member-code tab (and no tab) the default 5.
    void SetUpBrowse() override {
        BRW1.SelectControl = c_.select;
        BRW1.HideSelect = true;
        BRW1.Sheet = c_.sheet;
        BRW1.Orders = {{c_.tab[1], 1}, {c_.tab[2], 2}, {c_.tab[3], 3}, {c_.tab[4], 4}};
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::CLANOVI,
                  *this);
        BRW1.RetainRow = false;
        Sort2_StepClass.Init(StepOption::Alpha, StepStringClass::Runtime);
        Sort3_StepClass.Init(StepOption::Alpha, StepStringClass::Runtime);
        Sort5_StepClass.Init(StepOption::Alpha, StepStringClass::Runtime);
        Sort7_StepClass.Init(StepOption::Alpha);
        Sort0_StepClass.Init(StepOption::Alpha);
        auto order = [&](StepClass& step, const char* key, LocatorClass& locator, int tab,
                         const char* field) {
            AddOrder(BRW1, &step, rt::KeyOf(members_, key), locator, c_.entry[tab],
                     rt::FieldOf(members_, field));
        };
        order(Sort2_StepClass, "CLA:KeyM1_PRE", BRW1_Sort2_Locator, 1, "CLA:M1_PRE");
        order(Sort3_StepClass, "CLA:KeyM1_IME", BRW1_Sort3_Locator, 2, "CLA:M1_IME");
        order(Sort5_StepClass, "CLA:KeyM1_JMB", BRW1_Sort5_Locator, 3, "CLA:M1_JMB");
        order(Sort7_StepClass, "CLA:KeyM1_SNU", BRW1_Sort7_Locator, 4, "CLA:M1_SNU");
        order(Sort0_StepClass, "CLA:KeyM1_SIF", BRW1_Sort0_Locator, 0, "CLA:M1_SIF");
        for (const char* f : QueueFields()) {
            BRW1_View.project(rt::FieldOf(members_, f));
            BRW1.AddField(rt::FieldOf(members_, f));
        }
    }

  private:
    const Controls& c_;
    rt::FileStructure& members_;
    rt::View BRW1_View;
    StepStringClass Sort2_StepClass, Sort3_StepClass, Sort5_StepClass;
    StepLongClass Sort7_StepClass, Sort0_StepClass;
    EntryLocatorClass BRW1_Sort2_Locator, BRW1_Sort3_Locator, BRW1_Sort5_Locator,
        BRW1_Sort7_Locator, BRW1_Sort0_Locator;
    BrowseQueue Queue_Browse_1;
    TabOrderBrowse BRW1;  // last: ended before the view and queue it reads
};

}  // namespace

void SelectCLANOVI() {
    RunWindow<SelectMembers>(kit::ChildWindowDesc(474, 224, "Članovi"), Build);
}
