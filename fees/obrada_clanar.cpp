// The fee lists: the ledger lines the shared selection values choose (one
// federation and club, or one member of it, in a period), read through a
// filter that names those values, so a change by any window shows at the
// next read. "Zbir" adds the listed lines up; "Štampa" prints them.
#include "fees/obrada_clanar.h"

#include <string>
#include <utility>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/member_name.h"
#include "core/frame/procedures.h"
#include "fees/line_totals.h"
#include "framework/entry_window.h"
#include "framework/list_window.h"
#include "framework/window_kit.h"
#include "runtime/picture.h"
#include "runtime/window/window.h"

namespace {

using kit::ColumnLayout;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

// The selection: the same terms for the list and for its totals.
constexpr const char* ClubFilter =
    "(CLA1:CL_SPS = G1:W1_SPS AND CLA1:CL_SIP = G1:W1_SIP  AND CLA1:CL_DAD => G1:W1_DAOD AND   "
    "CLA1:CL_DAD <= G1:W1_DADO)";
constexpr const char* MemberFilter =
    "(CLA1:CL_SPS = G1:W1_SPS AND CLA1:CL_SIP = G1:W1_SIP AND CLA1:CL_SIF = G1:W1_SIF AND "
    "CLA1:CL_DAD => G1:W1_DAOD AND   CLA1:CL_DAD <= G1:W1_DADO)";

rt::FileStructure& Ledger() {
    return fileStructure(FileId::CLANAR);
}

// The names the filters read, bound on this thread for the rest of its life.
void BindSelection(bool member) {
    rt::bind("G1:W1_SPS", &G1::W1_SPS);
    rt::bind("G1:W1_SIP", &G1::W1_SIP);
    if (member) rt::bind("G1:W1_SIF", &G1::W1_SIF);
    rt::bind("G1:W1_DAOD", &G1::W1_DAOD);
    rt::bind("G1:W1_DADO", &G1::W1_DADO);
}

// The totals, the window's own: charges, payments and their difference.
struct Totals {
    rt::Money L1_W1_DUG, L1_W1_POD, L1_W1_SDO;
};

struct Controls {
    int list = 0, zbir = 0, close = 0, print = 0, sheet = 0;
    int spsTab = 0, sifTab = 0, spsEntry = 0, sifEntry = 0;  // the club list's tabs
};

int AddLabel(rt::Window& w, const char* name, const char* text, rt::Rect at) {
    rt::Control s;
    s.kind = rt::ControlKind::String;
    s.name = name;
    s.text = kit::WindowText(text);
    s.at = at;
    return w.add(std::move(s));
}

// A total as its picture shows it; a saturated one (the lines hold amounts
// beyond any 64-bit count) as the picture's overflow mark, never as a
// number that looks exact.
rt::Binding BindTotal(rt::Money& m) {
    rt::Binding b = rt::bindMoney(m);
    b.show = [&m, shown = std::move(b.show)](const rt::Picture* p) {
        return p && m.saturated() ? rt::overflowMark(*p) : shown(p);
    };
    return b;
}

int AddAmount(rt::Window& w, const char* name, rt::Rect at, const char* picture, rt::Money& m) {
    const int id = kit::AddString(w, 0, name, at, picture, BindTotal(m));
    w.control(id).align = R;
    return id;
}

// ---------------------------------------------------------------------------
// Building

// clang-format off
const std::vector<ColumnLayout>& ClubColumns() {
    static const std::vector<ColumnLayout> columns = {
        {"Šifra PS", 1, 30, R, 2, C, "@n_2"},
        {"Šifra PD", 2, 35, R, 2, C, "@n_3"},
        {"Šifra člana PD", 3, 50, R, 2, C, "@n_6"},
        {"SK", 4, 24, R, 2, C, "@n_2"},
        {"Broj dokumenta", 5, 106, L, 2, C, "@s25"},
        {"Datum", 6, 80, R, 2, C, "@d6."},
        {"Duguje", 7, 69, R, 2, C, "@n-14.2"},
        {"Potražuje", 8, 68, R, 2, C, "@n-15.2"},
    };
    return columns;
}

// The category's code and name stand under one heading (BuildMember).
const std::vector<ColumnLayout>& MemberColumns() {
    static const std::vector<ColumnLayout> columns = {
        {"šifra", 1, 23, R, 2, C, "@n_2"},
        {"naziv", 2, 191, L, 2, C, "@s60"},
        {"Broj dokumenta", 3, 106, L, 2, C, "@s25"},
        {"Datum", 4, 80, R, 2, C, "@d6."},
        {"Duguje", 5, 81, R, 2, C, "@n-14.2"},
        {"Potražuje", 6, 68, R, 2, C, "@n-15.2"},
    };
    return columns;
}
// clang-format on

rt::Control ZbirButton(const char* text, rt::Rect at) {
    return kit::PushButton("?Button6", text, at, "", "");
}

rt::Control PrintButton(rt::Rect at) {
    return kit::PushButton("?Button8", "Štampa", at, "", "");
}

Controls BuildClub(rt::Window& w, Totals& t) {
    rt::FileStructure& l = Ledger();
    Controls c;
    c.list = w.add(kit::ListBox({8, 34, 474, 150}, kit::BrowsingMessage(l.def()), ClubColumns()));
    c.zbir = w.add(ZbirButton("Zbir", {8, 204, 45, 14}));
    c.close = w.add(kit::CloseButton("Zatvori", {434, 204}));
    AddLabel(w, "?String1", "Duguje:", {62, 192, 40, 10});
    AddAmount(w, "?L1:W1_DUG", {62, 204, 66, 10}, "@n-15.`2", t.L1_W1_DUG);
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 482, 184});
    c.spsTab = kit::AddTab(w, c.sheet, "?Tab:2", "Savez i PD");
    c.spsEntry = kit::AddLocatorEntry(w, c.spsTab,
                                      {"?CLA1:CL_SPS", {8, 20, 20, 10}, "@n_2", "Šifra PS", true},
                                      kit::BindField(l, rt::FieldOf(l, "CLA1:CL_SPS").index));
    c.sifTab = kit::AddTab(w, c.sheet, "?Tab:3", "Šifra člana PD");
    c.sifEntry = kit::AddLocatorEntry(
        w, c.sifTab, {"?CLA1:CL_SIF", {8, 20, 36, 10}, "@n_6", "Šifra člana PD", true},
        kit::BindField(l, rt::FieldOf(l, "CLA1:CL_SIF").index));
    AddLabel(w, "?String1:3", "Saldo:", {218, 192, 40, 10});
    AddAmount(w, "?L1:W1_SDO", {218, 204, 62, 10}, "@n-14.`2", t.L1_W1_SDO);
    AddLabel(w, "?String1:2", "Potražuje:", {140, 192, 40, 10});
    AddAmount(w, "?L1:W1_POD", {140, 204, 66, 10}, "@n-15.`2", t.L1_W1_POD);
    c.print = w.add(PrintButton({300, 204, 50, 14}));
    return c;
}

// "Član PD:" in the heading: 60 characters of the member's name.
thread_local rt::Text<60> L1_W1_PRE;

Controls BuildMember(rt::Window& w, Totals& t) {
    rt::FileStructure& l = Ledger();
    rt::FileStructure& federations = fileStructure(FileId::PLANSA);
    rt::FileStructure& clubs = fileStructure(FileId::PLAND);
    Controls c;
    rt::Control list =
        kit::ListBox({8, 76, 483, 140}, kit::BrowsingMessage(l.def()), MemberColumns());
    kit::GroupColumns(list, 0, 2, "Ketegorija članstva");
    c.list = w.add(std::move(list));
    c.zbir = w.add(ZbirButton("   Zbir", {8, 236, 45, 14}));
    rt::Control close = kit::CloseButton("    Zatvori", {442, 236});
    c.close = w.add(std::move(close));
    AddLabel(w, "?String1", "Duguje:", {62, 224, 40, 10});
    AddAmount(w, "?L1:W1_DUG", {62, 236, 66, 10}, "@n-15.`2", t.L1_W1_DUG);
    c.sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 491, 216});
    const int tab = kit::AddTab(w, c.sheet, "?Tab:2", "Podaci");
    auto label = [&](const char* name, const char* text, rt::Rect at) {
        const int id = AddLabel(w, name, text, at);
        w.control(id).parent = tab;
    };
    label("?String7", "Planinarski savez:", {8, 20, 70, 10});
    kit::AddString(w, tab, "?PLA1:SP1_NPS", {80, 20, 200, 10}, "@s50",
                   kit::BindField(federations, rt::FieldOf(federations, "PLA1:SP1_NPS").index));
    label("?String8", "Planinarsko društvo:", {8, 32, 70, 10});
    kit::AddString(w, tab, "?PLA:P1_NPD", {80, 32, 200, 10}, "@s50",
                   kit::BindField(clubs, rt::FieldOf(clubs, "PLA:P1_NPD").index));
    label("?String13", "Period od:", {300, 20, 40, 10});
    kit::AddString(w, tab, "?G1:W1_DAOD", {342, 20, 50, 10}, "@d6.", rt::bindAtomic(G1::W1_DAOD));
    label("?String13:2", "do:", {396, 20, 16, 10});
    kit::AddString(w, tab, "?G1:W1_DADO", {414, 20, 50, 10}, "@d6.", rt::bindAtomic(G1::W1_DADO));
    label("?String8:2", "Član PD:", {8, 48, 70, 10});
    kit::AddString(w, tab, "?L1:W1_PRE", {80, 48, 240, 10}, "@s60",
                   rt::bindText(L1_W1_PRE.bytes.data(), 60));
    AddLabel(w, "?String1:3", "Saldo:", {218, 224, 40, 10});
    AddAmount(w, "?L1:W1_SDO", {218, 236, 62, 10}, "@n-14.`2", t.L1_W1_SDO);
    AddLabel(w, "?String1:2", "Potražuje:", {140, 224, 40, 10});
    AddAmount(w, "?L1:W1_POD", {140, 236, 66, 10}, "@n-15.`2", t.L1_W1_POD);
    c.print = w.add(PrintButton({300, 236, 50, 14}));
    return c;
}

// ---------------------------------------------------------------------------
// The member's name, built from the member buffer as the query's lookup
// left it (the list's view reads only the member's code).

class MemberLinesBrowse : public TabOrderBrowse {
  public:
    void SetQueueRecord() override {
        const CLANOVI_Record& m =
            *static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
        L1_W1_PRE = FullName(m);
        TabOrderBrowse::SetQueueRecord();
    }
};

// ---------------------------------------------------------------------------
// ThisWindow of both lists

template <class Browse>
class FeeList : public ListWindowProcedure {
  public:
    FeeList(const char* procedure, bool member, Totals& totals, const Controls& c, rt::Window& w,
            EnterByTabClass& ebt, ToolbarClass& tb, WindowResizeClass& rs)
        : ListWindowProcedure(procedure, Relate::CLANAR, c.list, c.close, w, ebt, tb, rs),
          member_(member),
          t_(totals),
          c_(c),
          ledger_(Ledger()),
          BRW1_View(ledger_) {
        BindSelection(member_);
    }

    Level TakeAccepted() override {
        if (Win && Win->field() == c_.zbir) Zbir();
        const Level inherited = ListWindowProcedure::TakeAccepted();
        if (inherited != Level::Benign || !Win) return inherited;
        if (Win->field() == c_.print) Print();
        return Level::Benign;
    }

  protected:
    void SetUpBrowse() override {
        BRW1.Sheet = c_.sheet;
        if (!member_) BRW1.Orders = {{c_.sifTab, 1}, {c_.spsTab, 2}};
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::CLANAR,
                  *this);
        BRW1.RetainRow = false;
        // No form: no key, button, menu or double-click changes the ledger.
        BRW1.EditViaPopup = false;
        for (int i = 0; i < static_cast<int>(ledger_.def().fields.size()); ++i)
            BRW1_View.project(ledger_.field(i));
        if (member_) {
            SetUpMemberView();
        } else {
            BRW1_Sort1_StepClass.Init(StepOption::Alpha);
            BRW1_Sort0_StepClass.Init(StepOption::Alpha);
            AddOrder(BRW1, &BRW1_Sort1_StepClass, rt::KeyOf(ledger_, "CLA1:KeyCL_SIF"),
                     BRW1_Sort1_Locator, c_.sifEntry, rt::FieldOf(ledger_, "CLA1:CL_SIF"));
            AddOrder(BRW1, &BRW1_Sort0_StepClass, rt::KeyOf(ledger_, "CLA1:KeyCL_UKP"),
                     BRW1_Sort0_Locator, c_.spsEntry, rt::FieldOf(ledger_, "CLA1:CL_SPS"));
            for (const char* f :
                 {"CLA1:CL_SPS", "CLA1:CL_SIP", "CLA1:CL_SIF", "CLA1:CL_SIK", "CLA1:CL_DOK",
                  "CLA1:CL_DAD", "CLA1:CL_DUG", "CLA1:CL_POD", "CLA1:CL_RED"})
                BRW1.AddField(rt::FieldOf(ledger_, f));
        }
        BRW1.SetFilter(member_ ? MemberFilter : ClubFilter);
    }

  private:
    void SetUpMemberView() {
        rt::FileStructure& kat = fileStructure(FileId::KATEG);
        rt::FileStructure& pla1 = fileStructure(FileId::PLANSA);
        rt::FileStructure& pla = fileStructure(FileId::PLAND);
        rt::FileStructure& cla = fileStructure(FileId::CLANOVI);
        // Outer joins: a line whose category, federation, club or member has
        // no row is listed with blank names.
        BRW1_View.join(kat, rt::KeyOf(kat, "KAT:KeyK1_SIK").index,
                       {rt::FieldOf(ledger_, "CLA1:CL_SIK")});
        BRW1_View.join(pla1, rt::KeyOf(pla1, "PLA1:KeySP1_SPS").index,
                       {rt::FieldOf(ledger_, "CLA1:CL_SPS")});
        BRW1_View.join(pla, rt::KeyOf(pla, "PLA:KeyP1_SIP").index,
                       {rt::FieldOf(ledger_, "CLA1:CL_SIP")});
        BRW1_View.join(cla, rt::KeyOf(cla, "CLA:KeyM1_SIF").index,
                       {rt::FieldOf(ledger_, "CLA1:CL_SIF")});
        for (auto f : {rt::FieldOf(kat, "KAT:K1_NAZ"), rt::FieldOf(kat, "KAT:K1_SIK"),
                       rt::FieldOf(pla1, "PLA1:SP1_NPS"), rt::FieldOf(pla1, "PLA1:SP1_SPS"),
                       rt::FieldOf(pla, "PLA:P1_NPD"), rt::FieldOf(pla, "PLA:P1_SIP"),
                       rt::FieldOf(cla, "CLA:M1_SIF")})
            BRW1_View.project(f);
        // The one order; a key typed in the list steps through the federation.
        BRW1_Sort0_StepClass.Init(StepOption::Alpha);
        BRW1.AddSortOrder(&BRW1_Sort0_StepClass, rt::KeyOf(ledger_, "CLA1:KeyCL_UKP"));
        BRW1.AddLocator(BRW1_Sort0_StepLocator);
        BRW1_Sort0_StepLocator.Init(0, rt::FieldOf(ledger_, "CLA1:CL_SPS"), true, BRW1);
        for (auto f : {rt::FieldOf(ledger_, "CLA1:CL_SIK"), rt::FieldOf(kat, "KAT:K1_NAZ"),
                       rt::FieldOf(ledger_, "CLA1:CL_DOK"), rt::FieldOf(ledger_, "CLA1:CL_DAD"),
                       rt::FieldOf(ledger_, "CLA1:CL_DUG"), rt::FieldOf(ledger_, "CLA1:CL_POD"),
                       rt::FieldOf(pla1, "PLA1:SP1_NPS"), rt::FieldOf(pla, "PLA:P1_NPD"),
                       rt::FieldOf(ledger_, "CLA1:CL_SPS"), rt::FieldOf(ledger_, "CLA1:CL_SIP"),
                       rt::FieldOf(ledger_, "CLA1:CL_SIF"), rt::FieldOf(ledger_, "CLA1:CL_RED"),
                       rt::FieldOf(kat, "KAT:K1_SIK"), rt::FieldOf(pla1, "PLA1:SP1_SPS"),
                       rt::FieldOf(pla, "PLA:P1_SIP"), rt::FieldOf(cla, "CLA:M1_SIF")})
            BRW1.AddField(f);
    }

    // The totals of exactly the lines the list shows: the federation and club
    // of the highlighted line (both 0 when the list is empty, which then
    // reads nothing and totals 0), the member of the selection, and the
    // period. Lines that cannot be summed are reported, and the totals stay
    // as they stood: a failed read never shows as a total of 0.
    void Zbir() {
        const auto* line = static_cast<const CLANAR_Record*>(BRW1.HighlightedImage());
        G1::W1_SPS = line ? line->CL_SPS : 0;
        G1::W1_SIP = line ? line->CL_SIP : 0;
        if (!line) {
            t_ = Totals{};
        } else {
            ledger_.stream();
            fees::LineTotals sums;
            const rt::FileStatus failure =
                fees::SumLines(ledger_, member_ ? MemberFilter : ClubFilter, sums);
            ledger_.flush();
            if (!ReportRetrievalFailure(failure, "CLANAR"))
                t_ = {sums.charged, sums.paid, sums.saldo};
        }
        Win->display();
    }

    // PrintCLANAR runs on a thread of its own and the list goes on;
    // PrintCLANAR1 runs here and the list waits for it.
    void Print() {
        Update();
        if (member_) {
            if (auto p = FindProcedure("PrintCLANAR1")) p();
        } else if (auto p = FindProcedure("PrintCLANAR")) {
            rt::startProcedure(std::move(p), 25000);
        }
        Reset(false);
    }

    bool member_;
    Totals& t_;
    const Controls& c_;
    rt::FileStructure& ledger_;
    rt::View BRW1_View;
    StepLongClass BRW1_Sort1_StepClass, BRW1_Sort0_StepClass;
    EntryLocatorClass BRW1_Sort1_Locator, BRW1_Sort0_Locator;
    StepLocatorClass BRW1_Sort0_StepLocator;
    BrowseQueue Queue_Browse_1;
    Browse BRW1;  // last: ended before the view and queue it reads
};

}  // namespace

void ObradaCLANAR() {
    Totals totals;
    RunWindow<FeeList<TabOrderBrowse>>(
        kit::ChildWindowDesc(490, 224, "Evidencija članarine UKUPNO"),
        [&](rt::Window& w) { return BuildClub(w, totals); }, "ObradaCLANAR", false, totals);
}

void ObradaCLANAR1() {
    Totals totals;
    L1_W1_PRE.clear();
    RunWindow<FeeList<MemberLinesBrowse>>(
        kit::ChildWindowDesc(499, 256, "Evidencija članarine za jednog člana PD"),
        [&](rt::Window& w) { return BuildMember(w, totals); }, "ObradaCLANAR1", true, totals);
}
