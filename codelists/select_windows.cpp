// The nine select windows: one table row per window and one procedure that
// runs a row. The three two-tab windows order by code on the first tab and
// by name on the second; the six others have the single tab "Podaci" and
// the code order alone.
#include "codelists/select_windows.h"

#include <array>
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

struct SelectDef {
    const char* procedure;
    const char* title;
    FileId file;
    const char* codeKey;
    const char* codeField;
    const char* nameKey;  // the second tab's order; nullptr in a one-tab window
    const char* nameField;
    const char* tab1;
    const char* tab2;  // nullptr in a one-tab window
    int width, height;
    rt::Rect sheet, list;
    int selectX, selectY, closeX, closeY;
    // The fields the view reads and the queue holds, in order; a column
    // shows the queue field it names.
    std::vector<const char*> queue;
    std::vector<ColumnLayout> columns;
};

// clang-format off
const std::array<SelectDef, 9>& Table() {
    static const std::array<SelectDef, 9> table = {{
        {"SelectPLANSA", "Planinarfski savezi", FileId::PLANSA,
         "PLA1:KeySP1_SPS", "PLA1:SP1_SPS", "PLA1:KeySP1_NPS", "PLA1:SP1_NPS",
         "Šifra PS", "Naziv PS", 492, 232, {4, 4, 485, 205}, {8, 23, 476, 162},
         421, 188, 421, 212,
         {"PLA1:SP1_SPS", "PLA1:SP1_NPS", "PLA1:SP1_ADR", "PLA1:SP1_SJD", "PLA1:SP1_BRG",
          "PLA1:SP1_DAR", "PLA1:SP1_TEL", "PLA1:SP1_FAX", "PLA1:SP1_WEB"},
         {{"Šifra PS", 1, 31, R, 2, C, "@n_2"},
          {"Naziv PS", 2, 211, L, 2, L, "@s50"},
          {"Adresa", 3, 149, L, 2, L, "@s50"},
          {"Sjedište", 4, 133, L, 2, L, "@s30"},
          {"Broj registra", 5, 107, L, 2, L, "@s20"},
          {"Datum registracije", 6, 68, R, 2, C, "@d6."},
          {"Telefon", 7, 135, L, 2, L, "@s30"},
          {"Fax", 8, 129, L, 2, L, "@s30"},
          {"Veb stranica", 9, 80, L, 2, L, "@s30"}}},
        {"SelectPLAND", "Planinarska društva", FileId::PLAND,
         "PLA:KeyP1_SIP", "PLA:P1_SIP", "PLA:KeyP1_NPD", "PLA:P1_NPD",
         "Šifra", "Naziv", 475, 222, {4, 4, 465, 193}, {8, 22, 455, 150},
         401, 177, 401, 202,
         {"PLA:P1_SIP", "PLA:P1_NPD", "PLA:P1_SJD", "PLA:P1_ADR", "PLA:P1_BRG", "PLA:P1_DAR",
          "PLA:P1_TEL", "PLA:P1_FAX", "PLA:P1_WEB"},
         {{"Šifra PD", 1, 35, R, 2, C, "@n_3"},
          {"Naziv PD", 2, 211, L, 2, L, "@s50"},
          {"Sjedište", 3, 137, L, 2, L, "@s30"},
          {"Adresa", 4, 80, L, 2, L, "@s50"},
          {"Broj registra", 5, 80, L, 2, L, "@s20"},
          {"Datum registracije", 6, 80, R, 2, C, "@d6."},
          {"Telefon", 7, 80, L, 2, L, "@s30"},
          {"Fax", 8, 80, L, 2, L, "@s30"},
          {"Veb stranica", 9, 80, L, 2, L, "@s30"}}},
        {"SelectPODPOS", "Podaci o preduzećima, ustanovama", FileId::PODPOS,
         "POD:KeyPD1_SIU", "POD:PD1_SIU", "POD:KeyPD1_NAP", "POD:PD1_NAP",
         "Šifra", "Naziv", 299, 225, {4, 4, 291, 196}, {8, 23, 281, 152},
         233, 181, 233, 207,
         {"POD:PD1_SIU", "POD:PD1_NAP", "POD:PD1_SJP"},
         {{"Šifra", 1, 25, R, 2, C, "@n_3"},
          {"Naziv preduzeća", 2, 127, L, 2, L, "@s30"},
          {"Sjedište", 3, 80, L, 2, L, "@s25"}}},
        {"SelectSTUPEM", "Kvalifikacije", FileId::STUPEM,
         "STU:KeyK1_KVA", "STU:STU_KVA", nullptr, nullptr, "Podaci", nullptr,
         168, 198, {4, 4, 160, 172}, {8, 22, 152, 132}, 111, 158, 111, 180,
         {"STU:STU_KVA", "STU:STU_NAS"},
         {{"Šifra", 1, 29, R, 1, C, "@n_2"},
          {"Naziv nivoa stručne spreme", 2, 80, L, 1, C, "@s15"}}},
        {"SelectNACION", "Nacionalnosti", FileId::NACION,
         "NAC:KeyN1_SIN", "NAC:N1_SIN", nullptr, nullptr, "Podaci", nullptr,
         168, 198, {4, 4, 160, 172}, {8, 22, 152, 132}, 111, 158, 111, 180,
         {"NAC:N1_SIN", "NAC:N1_NAC"},
         {{"Šifra", 1, 27, R, 2, C, "@n_2"},
          {"Nacionalnost", 2, 80, L, 2, L, "@s20"}}},
        {"SelectBRAST", "Bračna stanja", FileId::BRAST,
         "BRA:KeyB1_SIB", "BRA:B1_SIB", nullptr, nullptr, "Podaci", nullptr,
         168, 198, {4, 4, 160, 172}, {8, 22, 152, 132}, 111, 158, 115, 180,
         {"BRA:B1_SIB", "BRA:B1_BRS"},
         {{"Šifra", 1, 27, R, 4, C, "@n_2"},
          {"Bračno stanje", 2, 80, L, 2, L, "@s20"}}},
        {"SelectKATEG", "Kategorije članstva", FileId::KATEG,
         "KAT:KeyK1_SIK", "KAT:K1_SIK", nullptr, nullptr, "Podaci", nullptr,
         280, 198, {4, 4, 271, 172}, {8, 24, 261, 130}, 208, 158, 208, 180,
         {"KAT:K1_SIK", "KAT:K1_NAZ", "KAT:K1_ICL"},
         {{"Šifra", 1, 38, R, 2, C, "@n_2"},
          {"Naziv kategorije", 2, 134, L, 2, L, "@s30"},
          {"Iznos čl. za kat.", 3, 80, D, 32, C, "@n-14.2"}}},
        {"SelectNACUC", "Načini učlanjenja u PD", FileId::NACUC,
         "NA1:KeyK1_SNU", "NA1:NA1_SNU", nullptr, nullptr, "Podaci", nullptr,
         221, 198, {4, 4, 213, 172}, {8, 21, 203, 133}, 156, 158, 156, 180,
         {"NA1:NA1_SNU", "NA1:NA1_NAZ"},
         {{"Šifra", 1, 22, R, 10, C, "@n_2"},
          {"Opis načina učlanjenja", 2, 80, L, 1, C, "@s30"}}},
        {"SelectTURPOS", "Poslovi. ture, maršute", FileId::TURPOS,
         "TUR:KeyT1_SIA", "TUR:T1_SIA", nullptr, nullptr, "Podaci", nullptr,
         452, 228, {4, 4, 446, 203}, {8, 23, 437, 158}, 384, 185, 384, 212,
         {"TUR:T1_SIA", "TUR:T1_NAP"},
         {{"Šifra posla, ture", 1, 80, R, 2, C, "@n_6"},
          {"Naziv posla, ture", 2, 1020, L, 2, C, "@s255"}}},
    }};
    return table;
}
// clang-format on

// Control numbers: the list, "Izbor", the sheet, its tabs, "Zatvori".
struct Controls {
    int list = 0, select = 0, sheet = 0, tab1 = 0, tab2 = 0, close = 0;
};

Controls Build(rt::Window& w, const SelectDef& d) {
    Controls c;
    c.list = w.add(kit::ListBox(d.list, kit::BrowsingMessage(fileDef(d.file)), d.columns));
    c.select = w.add(kit::SelectButton({d.selectX, d.selectY}));
    c.sheet = kit::AddSheet(w, "?CurrentTab", d.sheet);
    c.tab1 = kit::AddTab(w, c.sheet, "?Tab:2", d.tab1);
    if (d.tab2) c.tab2 = kit::AddTab(w, c.sheet, "?Tab:3", d.tab2);
    c.close = w.add(kit::CloseButton("Zatvori", {d.closeX, d.closeY}));
    return c;
}

class SelectWindow : public ListWindowProcedure {
  public:
    SelectWindow(const SelectDef& d, const Controls& c, rt::Window& w, EnterByTabClass& ebt,
                 ToolbarClass& tb, WindowResizeClass& rs)
        : ListWindowProcedure(d.procedure, relateOf(d.file), c.list, c.close, w, ebt, tb, rs),
          d_(d),
          c_(c),
          file_(fileStructure(d.file)),
          BRW1_View(file_) {}

  protected:
    // The two-tab windows order by the selected tab: the name order (1) on
    // the second tab, the code order (2) otherwise.
    void SetUpBrowse() override {
        BRW1.SelectControl = c_.select;
        BRW1.HideSelect = true;
        BRW1.Sheet = c_.sheet;
        if (c_.tab2) BRW1.Orders = {{c_.tab2, 1}};
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1,
                  *relateOf(d_.file), *this);
        BRW1.RetainRow = false;
        if (d_.nameKey) {
            Sort1_StepClass.Init(StepOption::Alpha, StepStringClass::Runtime);
            AddOrder(BRW1, &Sort1_StepClass, Key(d_.nameKey), Sort1_Locator, 0,
                     Field(d_.nameField));
        }
        Sort0_StepClass.Init(StepOption::Alpha);
        AddOrder(BRW1, &Sort0_StepClass, Key(d_.codeKey), Sort0_Locator, 0, Field(d_.codeField));
        // The view reads exactly the queue's fields (the e-mail of the
        // federations and clubs is never read here).
        for (const char* f : d_.queue) {
            BRW1_View.project(Field(f));
            BRW1.AddField(Field(f));
        }
    }

  private:
    rt::FieldRef Field(const char* label) { return rt::FieldOf(file_, label); }
    rt::KeyRef Key(const char* label) { return rt::KeyOf(file_, label); }

    const SelectDef& d_;
    Controls c_;
    rt::FileStructure& file_;
    rt::View BRW1_View;
    StepLongClass Sort0_StepClass;
    StepStringClass Sort1_StepClass;
    StepLocatorClass Sort0_Locator, Sort1_Locator;
    BrowseQueue Queue_Browse_1;
    TabOrderBrowse BRW1;  // last: ended before the view and queue it reads
};

void RunSelect(const SelectDef& d) {
    RunWindow<SelectWindow>(
        kit::ChildWindowDesc(d.width, d.height, d.title),
        [&d](rt::Window& w) { return Build(w, d); }, d);
}

const SelectDef& Def(int n) {
    return Table()[static_cast<std::size_t>(n)];
}

}  // namespace

void SelectPLANSA() {
    RunSelect(Def(0));
}
void SelectPLAND() {
    RunSelect(Def(1));
}
void SelectPODPOS() {
    RunSelect(Def(2));
}
void SelectSTUPEM() {
    RunSelect(Def(3));
}
void SelectNACION() {
    RunSelect(Def(4));
}
void SelectBRAST() {
    RunSelect(Def(5));
}
void SelectKATEG() {
    RunSelect(Def(6));
}
void SelectNACUC() {
    RunSelect(Def(7));
}
void SelectTURPOS() {
    RunSelect(Def(8));
}
