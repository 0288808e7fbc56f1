// The fee ledger list: two orders by tab, each with a step locator on its
// first numeric field and a proportional thumb; the nine fields of the line,
// the amounts with the point as decimal separator. Lines are changed only
// through the buttons and a double-click: the list's keys and popup menu
// offer no insert, change or delete.
#include "fees/browse_clanar.h"

#include "core/dictionary/dictionary.h"
#include "core/frame/procedures.h"
#include "fees/update_clanar.h"
#include "framework/list_window.h"
#include "framework/window_kit.h"
#include "runtime/window/window.h"

namespace {

constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align C = rt::Align::Center;

// The stack the ledger's tools are started with.
constexpr std::size_t ToolStack = 25000;

rt::FileStructure& Ledger() {
    return fileStructure(FileId::CLANAR);
}

struct Controls {
    int list = 0, insert = 0, change = 0, del = 0, entry = 0, charge = 0, sheet = 0;
    int byClub = 0, byMember = 0, close = 0;
};

// clang-format off
Controls Build(rt::Window& w) {
    Controls c;
    c.list = w.add(kit::ListBox({8, 20, 500, 176}, kit::BrowsingMessage(Ledger().def()),
                                {{"Šifra PS", 1, 30, R, 2, C, "@n_2"},
                                 {"Šifra PD", 2, 35, R, 2, C, "@n_3"},
                                 {"Šifra člana PD", 3, 50, R, 2, C, "@n_6"},
                                 {"R.broj", 4, 32, R, 2, C, "@n_8"},
                                 {"SK", 5, 24, R, 2, C, "@n_2"},
                                 {"Broj dokumenta", 6, 106, L, 2, L, "@s25"},
                                 {"Datum", 7, 80, R, 2, C, "@d6."},
                                 {"Duguje", 8, 69, R, 2, C, "@n-14.2"},
                                 {"Potražuje", 9, 68, R, 2, C, "@n-15.2"}}));
    c.insert = w.add(kit::ActionButton("?Insert:2", "Upis", {8, 202, 56, 14}, "Insert a Record", true));
    c.change = w.add(kit::ActionButton("?Change:2", "Promjena", {66, 202, 56, 14}, "Change the Record", true));
    w.control(c.change).isDefault = true;
    c.del = w.add(kit::ActionButton("?Delete:2", "Brisanje", {124, 202, 56, 14}, "Delete the Record", true));
    c.entry = w.add(kit::PushButton("?Button5", "Unos", {190, 202, 56, 14}, "", ""));
    c.charge = w.add(kit::PushButton("?Button5:2", "Zaduženje za članarinu", {250, 202, 100, 14}, "", ""));
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 509, 196});
    c.byClub = kit::AddTab(w, c.sheet, "?Tab:2", "Savez i PD");
    c.byMember = kit::AddTab(w, c.sheet, "?Tab:3", "Šifra člana PD");
    c.close = w.add(kit::CloseButton("Zatvori", {466, 202}));
    return c;
}
// clang-format on

// The Insert, Ctrl+Enter and Delete keys and the popup's edit items are off.
class LedgerBrowse : public TabOrderBrowse {
  public:
    void SetAlerts() override {
        EditViaPopup = false;
        TabOrderBrowse::SetAlerts();
    }
};

class LedgerList : public ListWindowProcedure {
  public:
    LedgerList(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
               WindowResizeClass& rs)
        : ListWindowProcedure("BrowseCLANAR", Relate::CLANAR, c.list, c.close, w, ebt, tb, rs),
          c_(c),
          ledger_(Ledger()),
          BRW1_View(ledger_) {
        UpdateProcedure = UpdateCLANAR;
    }

  protected:
    void AfterRestore() override { BRW1.AskProcedure = 1; }

    void SetUpBrowse() override {
        BRW1.Sheet = c_.sheet;
        BRW1.Orders = {{c_.byMember, 1}};
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::CLANAR,
                  *this);
        BRW1.InsertControl = c_.insert;
        BRW1.ChangeControl = c_.change;
        BRW1.DeleteControl = c_.del;
        BRW1.RetainRow = false;
        BRW1_Sort1_StepClass.Init(StepOption::Alpha);
        AddOrder(BRW1, &BRW1_Sort1_StepClass, rt::KeyOf(ledger_, "CLA1:KeyCL_SIF"),
                 BRW1_Sort1_Locator, 0, rt::FieldOf(ledger_, "CLA1:CL_SIF"));
        BRW1_Sort0_StepClass.Init(StepOption::Alpha);
        AddOrder(BRW1, &BRW1_Sort0_StepClass, rt::KeyOf(ledger_, "CLA1:KeyCL_UKP"),
                 BRW1_Sort0_Locator, 0, rt::FieldOf(ledger_, "CLA1:CL_SPS"));
        for (int i = 0; i < static_cast<int>(ledger_.def().fields.size()); ++i)
            BRW1.AddField(ledger_.field(i));
    }

    // "Unos" and "Zaduženje za članarinu" start their windows on threads of
    // their own; the list goes on at once and reads nothing for it.
    Level TakeAccepted() override {
        const Level l = ListWindowProcedure::TakeAccepted();
        if (l != Level::Benign) return l;
        const int field = Win->field();
        if (field == c_.entry || field == c_.charge) {
            Update();
            if (ProcedureFn p = FindProcedure(field == c_.entry ? "UnosCLANAR" : "ZaduzenjeCLANAR"))
                rt::startProcedure(std::move(p), ToolStack);
            Reset(false);
        }
        return l;
    }

  private:
    const Controls& c_;
    rt::FileStructure& ledger_;
    rt::View BRW1_View;
    StepLocatorClass BRW1_Sort1_Locator, BRW1_Sort0_Locator;
    StepLongClass BRW1_Sort1_StepClass, BRW1_Sort0_StepClass;
    BrowseQueue Queue_Browse_1;
    LedgerBrowse BRW1;  // last: ended before the view and queue it reads
};

}  // namespace

void BrowseCLANAR() {
    RunWindow<LedgerList>(kit::ChildWindowDesc(517, 224, "Evidencija članarine"), Build);
}
