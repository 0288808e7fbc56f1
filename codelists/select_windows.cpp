// The nine select windows: one table row per window and one procedure that
// runs a row. The three two-tab windows order by code on the first tab and
// by name on the second; the six others have the single tab "Podaci" and
// the code order alone.
#include "codelists/select_windows.h"

#include "codelists/tables.h"

#include <array>
#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/frame/cp1250.h"
#include "framework/browse.h"
#include "framework/globals.h"
#include "framework/window_procedure.h"
#include "runtime/window/window.h"

namespace {

using rt::Align;

struct ColumnDef {
    const char* header;  // UTF-8 here, Windows-1250 on the window
    const char* field;   // the file's field behind the column ("PLA:P1_SIP")
    int width;
    Align align;
    int indent;
    bool centredHeader;  // else the header follows the column
    const char* picture;
};

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
    std::vector<ColumnDef> columns;
};

// clang-format off
const std::array<SelectDef, 9>& Table() {
    static const std::array<SelectDef, 9> table = {{
        {"SelectPLANSA", "Planinarfski savezi", FileId::PLANSA,
         "PLA1:KeySP1_SPS", "PLA1:SP1_SPS", "PLA1:KeySP1_NPS", "PLA1:SP1_NPS",
         "Šifra PS", "Naziv PS", 492, 232, {4, 4, 485, 205}, {8, 23, 476, 162},
         421, 188, 421, 212,
         {{"Šifra PS", "PLA1:SP1_SPS", 31, Align::Right, 2, true, "@n_2"},
          {"Naziv PS", "PLA1:SP1_NPS", 211, Align::Left, 2, false, "@s50"},
          {"Adresa", "PLA1:SP1_ADR", 149, Align::Left, 2, false, "@s50"},
          {"Sjedište", "PLA1:SP1_SJD", 133, Align::Left, 2, false, "@s30"},
          {"Broj registra", "PLA1:SP1_BRG", 107, Align::Left, 2, false, "@s20"},
          {"Datum registracije", "PLA1:SP1_DAR", 68, Align::Right, 2, true, "@d6."},
          {"Telefon", "PLA1:SP1_TEL", 135, Align::Left, 2, false, "@s30"},
          {"Fax", "PLA1:SP1_FAX", 129, Align::Left, 2, false, "@s30"},
          {"Veb stranica", "PLA1:SP1_WEB", 80, Align::Left, 2, false, "@s30"}}},
        {"SelectPLAND", "Planinarska društva", FileId::PLAND,
         "PLA:KeyP1_SIP", "PLA:P1_SIP", "PLA:KeyP1_NPD", "PLA:P1_NPD",
         "Šifra", "Naziv", 475, 222, {4, 4, 465, 193}, {8, 22, 455, 150},
         401, 177, 401, 202,
         {{"Šifra PD", "PLA:P1_SIP", 35, Align::Right, 2, true, "@n_3"},
          {"Naziv PD", "PLA:P1_NPD", 211, Align::Left, 2, false, "@s50"},
          {"Sjedište", "PLA:P1_SJD", 137, Align::Left, 2, false, "@s30"},
          {"Adresa", "PLA:P1_ADR", 80, Align::Left, 2, false, "@s50"},
          {"Broj registra", "PLA:P1_BRG", 80, Align::Left, 2, false, "@s20"},
          {"Datum registracije", "PLA:P1_DAR", 80, Align::Right, 2, true, "@d6."},
          {"Telefon", "PLA:P1_TEL", 80, Align::Left, 2, false, "@s30"},
          {"Fax", "PLA:P1_FAX", 80, Align::Left, 2, false, "@s30"},
          {"Veb stranica", "PLA:P1_WEB", 80, Align::Left, 2, false, "@s30"}}},
        {"SelectPODPOS", "Podaci o preduzećima, ustanovama", FileId::PODPOS,
         "POD:KeyPD1_SIU", "POD:PD1_SIU", "POD:KeyPD1_NAP", "POD:PD1_NAP",
         "Šifra", "Naziv", 299, 225, {4, 4, 291, 196}, {8, 23, 281, 152},
         233, 181, 233, 207,
         {{"Šifra", "POD:PD1_SIU", 25, Align::Right, 2, true, "@n_3"},
          {"Naziv preduzeća", "POD:PD1_NAP", 127, Align::Left, 2, false, "@s30"},
          {"Sjedište", "POD:PD1_SJP", 80, Align::Left, 2, false, "@s25"}}},
        {"SelectSTUPEM", "Kvalifikacije", FileId::STUPEM,
         "STU:KeyK1_KVA", "STU:STU_KVA", nullptr, nullptr, "Podaci", nullptr,
         168, 198, {4, 4, 160, 172}, {8, 22, 152, 132}, 111, 158, 111, 180,
         {{"Šifra", "STU:STU_KVA", 29, Align::Right, 1, true, "@n_2"},
          {"Naziv nivoa stručne spreme", "STU:STU_NAS", 80, Align::Left, 1, true, "@s15"}}},
        {"SelectNACION", "Nacionalnosti", FileId::NACION,
         "NAC:KeyN1_SIN", "NAC:N1_SIN", nullptr, nullptr, "Podaci", nullptr,
         168, 198, {4, 4, 160, 172}, {8, 22, 152, 132}, 111, 158, 111, 180,
         {{"Šifra", "NAC:N1_SIN", 27, Align::Right, 2, true, "@n_2"},
          {"Nacionalnost", "NAC:N1_NAC", 80, Align::Left, 2, false, "@s20"}}},
        {"SelectBRAST", "Bračna stanja", FileId::BRAST,
         "BRA:KeyB1_SIB", "BRA:B1_SIB", nullptr, nullptr, "Podaci", nullptr,
         168, 198, {4, 4, 160, 172}, {8, 22, 152, 132}, 111, 158, 115, 180,
         {{"Šifra", "BRA:B1_SIB", 27, Align::Right, 4, true, "@n_2"},
          {"Bračno stanje", "BRA:B1_BRS", 80, Align::Left, 2, false, "@s20"}}},
        {"SelectKATEG", "Kategorije članstva", FileId::KATEG,
         "KAT:KeyK1_SIK", "KAT:K1_SIK", nullptr, nullptr, "Podaci", nullptr,
         280, 198, {4, 4, 271, 172}, {8, 24, 261, 130}, 208, 158, 208, 180,
         {{"Šifra", "KAT:K1_SIK", 38, Align::Right, 2, true, "@n_2"},
          {"Naziv kategorije", "KAT:K1_NAZ", 134, Align::Left, 2, false, "@s30"},
          {"Iznos čl. za kat.", "KAT:K1_ICL", 80, Align::Decimal, 32, true, "@n-14.2"}}},
        {"SelectNACUC", "Načini učlanjenja u PD", FileId::NACUC,
         "NA1:KeyK1_SNU", "NA1:NA1_SNU", nullptr, nullptr, "Podaci", nullptr,
         221, 198, {4, 4, 213, 172}, {8, 21, 203, 133}, 156, 158, 156, 180,
         {{"Šifra", "NA1:NA1_SNU", 22, Align::Right, 10, true, "@n_2"},
          {"Opis načina učlanjenja", "NA1:NA1_NAZ", 80, Align::Left, 1, true, "@s30"}}},
        {"SelectTURPOS", "Poslovi. ture, maršute", FileId::TURPOS,
         "TUR:KeyT1_SIA", "TUR:T1_SIA", nullptr, nullptr, "Podaci", nullptr,
         452, 228, {4, 4, 446, 203}, {8, 23, 437, 158}, 384, 185, 384, 212,
         {{"Šifra posla, ture", "TUR:T1_SIA", 80, Align::Right, 2, true, "@n_6"},
          {"Naziv posla, ture", "TUR:T1_NAP", 1020, Align::Left, 2, true, "@s255"}}},
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
    rt::Control list;
    list.kind = rt::ControlKind::List;
    list.name = "?Browse:1";
    list.at = d.list;
    list.msg = std::string("Browsing the ") + fileStructure(d.file).def().label + " file";
    for (const ColumnDef& k : d.columns) {
        rt::Column col;
        col.header = Cp1250(k.header);
        col.width = k.width;
        col.align = k.align;
        col.indent = k.indent;
        col.headerAlign = k.centredHeader ? Align::Center : k.align;
        col.picture = k.picture;
        list.columns.push_back(std::move(col));
    }
    c.list = w.add(std::move(list));
    c.select = w.add(codelists::PushButton("?Select:2", "Izbor", {d.selectX, d.selectY, 49, 14},
                                           "Select the Record", "Select the Record"));
    rt::Control sheet;
    sheet.kind = rt::ControlKind::Sheet;
    sheet.name = "?CurrentTab";
    sheet.at = d.sheet;
    c.sheet = w.add(std::move(sheet));
    auto tab = [&](const char* name, const char* text) {
        rt::Control t;
        t.kind = rt::ControlKind::Tab;
        t.name = name;
        t.text = Cp1250(text);
        t.parent = c.sheet;
        return w.add(std::move(t));
    };
    c.tab1 = tab("?Tab:2", d.tab1);
    if (d.tab2) c.tab2 = tab("?Tab:3", d.tab2);
    w.control(c.sheet).selectedTab = c.tab1;
    c.close = w.add(codelists::PushButton("?Close", "Zatvori", {d.closeX, d.closeY, 49, 14},
                                          "Zatvori", "Close Window"));
    return c;
}

// The two-tab windows order by the selected tab: the name order (1) on the
// second tab, the code order (2) otherwise.
class SelectBrowse : public BrowseClass {
  public:
    int Sheet = 0, NameTab = 0;
    bool ResetSort(bool force) override {
        if (!NameTab || !Window || !Window->Win) return BrowseClass::ResetSort(force);
        return SetSort(Window->Win->control(Sheet).selectedTab == NameTab ? 1 : 2, force);
    }
};

class SelectWindow : public WindowProcedure {
  public:
    SelectWindow(const SelectDef& d, const Controls& c, rt::Window& w, EnterByTabClass& ebt,
                 ToolbarClass& tb, WindowResizeClass& rs)
        : WindowProcedure(d.procedure, w, ebt, &tb, &rs),
          d_(d),
          c_(c),
          file_(fileStructure(d.file)),
          BRW1_View(file_) {
        AddFile([this] { relateOf(d_.file)->Open(); }, [this] { relateOf(d_.file)->Close(); });
        // The browse is set up once its file is open, before the window opens.
        AddFile([this] { SetUpBrowse(); }, {});
    }

  protected:
    int ChooseFirstField() override { return c_.list; }
    void RegisterButtons() override {
        AddItem(c_.close,
                Request == ::Request::Select ? ::Response::Cancelled : ::Response::Completed);
    }

  private:
    rt::FieldRef Field(const char* label) { return file_.field(file_.def().fieldIndex(label)); }
    rt::KeyRef Key(const char* label) { return file_.key(file_.def().keyIndex(label)); }

    void SetUpBrowse() {
        BRW1.SelectControl = c_.select;
        BRW1.HideSelect = true;
        BRW1.Sheet = c_.sheet;
        BRW1.NameTab = c_.tab2;
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1,
                  *relateOf(d_.file), *this);
        BRW1.RetainRow = false;
        if (d_.nameKey) {
            Sort1_StepClass.Init(StepOption::Alpha, StepStringClass::Runtime);
            BRW1.AddSortOrder(&Sort1_StepClass, Key(d_.nameKey));
            BRW1.AddLocator(Sort1_Locator);
            Sort1_Locator.Init(0, Field(d_.nameField), true, BRW1);
        }
        Sort0_StepClass.Init(StepOption::Alpha);
        BRW1.AddSortOrder(&Sort0_StepClass, Key(d_.codeKey));
        BRW1.AddLocator(Sort0_Locator);
        Sort0_Locator.Init(0, Field(d_.codeField), true, BRW1);
        // The view reads exactly the listed fields (the e-mail of the
        // federations and clubs is never read here).
        for (const ColumnDef& k : d_.columns) {
            BRW1_View.project(Field(k.field));
            BRW1.AddField(Field(k.field));
        }
    }

    const SelectDef& d_;
    Controls c_;
    rt::FileStructure& file_;
    rt::View BRW1_View;
    StepLongClass Sort0_StepClass;
    StepStringClass Sort1_StepClass;
    StepLocatorClass Sort0_Locator, Sort1_Locator;
    BrowseQueue Queue_Browse_1;
    SelectBrowse BRW1;  // last: ended before the view and queue it reads
};

void RunSelect(const SelectDef& d) {
    EnterByTabClass EnterByTabManager;
    rt::Window QuickWindow(codelists::CodeListWindowDesc(d.width, d.height, d.title));
    const Controls c = Build(QuickWindow, d);
    ToolbarClass Toolbar;
    WindowResizeClass Resizer;
    SelectWindow ThisWindow(d, c, QuickWindow, EnterByTabManager, Toolbar, Resizer);
    GlobalResponse = ThisWindow.Run();
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
