// The activity overview: the query window edits the report selection values
// directly (every thread sees them at once), each code with its lookup and
// the name the last lookup left beside it; "Dalje" lists the activity lines
// of one federation and club, a member range and a period, each with the
// description of its activity.
#include "activities/overview.h"

#include <string>
#include <tuple>
#include <vector>

#include "activities/report.h"
#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "core/frame/procedures.h"
#include "framework/list_window.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"

namespace {

using kit::ColumnLayout;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

// ---------------------------------------------------------------------------
// The query window

struct QueryControls {
    int federation = 0, federationButton = 0, federationName = 0;
    int club = 0, clubButton = 0, clubName = 0;
    int from = 0, fromButton = 0, to = 0, toButton = 0;
    int ok = 0, cancel = 0;
};

int AddEntry(rt::Window& w, const char* name, rt::Rect at, const char* picture, const char* tip,
             std::atomic<std::int32_t>& value) {
    rt::Control e;
    e.kind = rt::ControlKind::Entry;
    e.name = name;
    e.at = at;
    e.picture = picture;
    e.tip = kit::WindowText(tip);
    e.msg = e.tip;
    e.align = R;
    e.indent = 1;
    e.value = rt::bindAtomic(value);
    return w.add(std::move(e));
}

int AddGroup(rt::Window& w, const char* name, const char* text, rt::Rect at) {
    rt::Control g;
    g.kind = rt::ControlKind::Group;
    g.name = name;
    g.text = kit::WindowText(text);
    g.at = at;
    return w.add(std::move(g));
}

// clang-format off
QueryControls BuildQuery(rt::Window& w) {
    rt::FileStructure& federations = fileStructure(FileId::PLANSA);
    rt::FileStructure& clubs = fileStructure(FileId::PLAND);
    QueryControls c;
    kit::AddPrompt(w, 0, "?G1:W1_SPS:PROMPT", "Šifra PS:", {32, 10});
    c.federation = AddEntry(w, "?G1:W1_SPS", {71, 10, 27, 11}, "@n_2", "Šifra PS", G1::W1_SPS);
    c.federationButton = kit::AddLookupButton(w, 0, "?CALLLOOKUP", {106, 10, 12, 12});
    c.federationName = kit::AddString(w, 0, "?PLA1:SP1_NPS", {127, 12, 170, 10}, "@s50",
                                      kit::BindField(federations, rt::FieldOf(federations, "PLA1:SP1_NPS").index));
    kit::AddPrompt(w, 0, "?G1:W1_SIP:PROMPT", "Šifra PD:", {31, 24});
    c.club = AddEntry(w, "?G1:W1_SIP", {71, 24, 27, 11}, "@n_3", "Šifra PD", G1::W1_SIP);
    c.clubButton = kit::AddLookupButton(w, 0, "?CALLLOOKUP:2", {106, 24, 12, 12});
    c.clubName = kit::AddString(w, 0, "?PLA:P1_NPD", {127, 26, 170, 10}, "@s50",
                                kit::BindField(clubs, rt::FieldOf(clubs, "PLA:P1_NPD").index));
    AddGroup(w, "?GROUP2", "Šifra člana PD", {50, 50, 207, 33});
    kit::AddPrompt(w, 0, "?G1:W1_SIFOD:PROMPT", "od:", {65, 65});
    c.from = AddEntry(w, "?G1:W1_SIFOD", {79, 65, 45, 10}, "@n_6", "Šifra člana PD - od", G1::W1_SIFOD);
    c.fromButton = kit::AddLookupButton(w, 0, "?CALLLOOKUP:3", {129, 63, 12, 12});
    kit::AddPrompt(w, 0, "?G1:W1_SIFDO:PROMPT", "do:", {158, 65});
    c.to = AddEntry(w, "?G1:W1_SIFDO", {177, 65, 45, 10}, "@n_6", "Šifra člana PD do", G1::W1_SIFDO);
    c.toButton = kit::AddLookupButton(w, 0, "?CALLLOOKUP:4", {231, 63, 12, 12});
    AddGroup(w, "?GROUP1", "Datum", {50, 92, 207, 35});
    kit::AddPrompt(w, 0, "?G1:W1_DAOD:PROMPT", "od:", {63, 108});
    AddEntry(w, "?G1:W1_DAOD", {85, 107, 60, 10}, "@d6.", "Datum posla, ture", G1::W1_DAOD);
    kit::AddPrompt(w, 0, "?G1:W1_DADO:PROMPT", "do:", {162, 108});
    AddEntry(w, "?G1:W1_DADO", {181, 107, 60, 10}, "@d6.", "Datum posla, ture", G1::W1_DADO);
    rt::Control ok = kit::PushButton("?OKBUTTON", "Dalje", {16, 135, 45, 14}, "", "");
    ok.isDefault = true;
    c.ok = w.add(std::move(ok));
    c.cancel = w.add(kit::PushButton("?CANCELBUTTON", "Izlaz", {255, 135, 44, 14}, "", ""));
    return c;
}
// clang-format on

class ActivityQuery : public LookupWindow<WindowProcedure> {
  public:
    ActivityQuery(const QueryControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                  WindowResizeClass&)
        : LookupWindow<WindowProcedure>("UpitANGAZOV", w, ebt, &tb), c_(c) {
        AddFiles({Relate::CLANOVI, Relate::PLAND, Relate::PLANSA});
        AddLookupIn(Lookups, FileId::PLANSA,
                    {.Entry = c.federation,
                     .Button = c.federationButton,
                     .Value = G1::W1_SPS,
                     .NameControl = c.federationName});
        AddLookupIn(Lookups, FileId::PLAND,
                    {.Entry = c.club,
                     .Button = c.clubButton,
                     .Value = G1::W1_SIP,
                     .NameControl = c.clubName});
        // Both ends of the range open the same member select window.
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = c.from, .Button = c.fromButton, .Value = G1::W1_SIFOD});
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = c.to, .Button = c.toButton, .Value = G1::W1_SIFDO});
        // The names are the buffers as the last lookup left them.
        Lookups.ResetKind = LookupReset::ReadNothing;
    }

  protected:
    int ChooseFirstField() override { return c_.federation; }
    void RegisterButtons() override { AddItem(c_.cancel, ::Response::Cancelled); }

    // "Dalje" lists the selection on this thread; the query stays open for
    // another one.
    Level TakeAccepted() override {
        const Level l = LookupWindow<WindowProcedure>::TakeAccepted();
        if (l != Level::Benign) return l;
        if (Win->field() == c_.ok) {
            Update();
            ObradaANGAZOV();
            Reset(false);
        }
        return l;
    }

  private:
    const QueryControls& c_;
};

// ---------------------------------------------------------------------------
// The filtered list

struct ListControls {
    int list = 0, insert = 0, change = 0, del = 0, close = 0, sheet = 0, print = 0;
};

// clang-format off
ListControls BuildList(rt::Window& w) {
    ListControls c;
    rt::Control list = kit::ListBox({7, 28, 545, 220}, kit::BrowsingMessage(fileStructure(FileId::ANGAZOV).def()),
                                    {{"PD", 1, 18, R, 2, C, "@n_3"},
                                     {"Broj dok.", 2, 35, R, 2, C, "@n_8"},
                                     {"R.broj", 3, 32, R, 2, C, "@n_8"},
                                     {"Šifra člana", 4, 31, R, 2, C, "@n_6"},
                                     {"Datum", 5, 44, R, 2, C, "@d6."},
                                     {"šifra", 6, 31, R, 2, C, "@n_6"},
                                     {"      Naziv aktivnosit", 7, 1020, L, 2, L, "@s255"}});
    kit::GroupColumns(list, 5, 2, "Aktivnosti");
    c.list = w.add(std::move(list));
    // Never shown, connected to nothing: the list has no form.
    for (auto [name, text, field] : {std::tuple{"?INSERT:2", "Upis poj.", &c.insert},
                                     std::tuple{"?CHANGE:2", "Promjena", &c.change},
                                     std::tuple{"?DELETE:2", "Obriši", &c.del}}) {
        rt::Control b = kit::ActionButton(name, text, {0, 0, 49, 14}, "", true);
        b.hidden = true;
        *field = w.add(std::move(b));
    }
    c.close = w.add(kit::CloseButton("Zatvori", {491, 260, 49, 14}));
    c.sheet = kit::AddSheet(w, "?CURRENTTAB", {3, 6, 552, 250});
    kit::AddTab(w, c.sheet, "?TAB:2", "PD");
    c.print = w.add(kit::PushButton("?BUTTON1", "Print", {15, 260, 66, 14}, "", ""));
    return c;
}
// clang-format on

class ActivityList : public ListWindowProcedure {
  public:
    ActivityList(const ListControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                 WindowResizeClass& rs)
        : ListWindowProcedure("ObradaANGAZOV", Relate::ANGAZOV, c.list, c.close, w, ebt, tb, rs),
          c_(c),
          lines_(fileStructure(FileId::ANGAZOV)),
          BRW1_View(lines_) {}

    // The selection's names are bound on this thread, each read as the
    // statement is issued; the filter names those of the report.
    Level Init() override {
        ActivityReportBind(true);
        return ListWindowProcedure::Init();
    }
    Level Kill() override {
        const Level l = ListWindowProcedure::Kill();
        ActivityReportBind(false);
        return l;
    }

  protected:
    Level TakeAccepted() override {
        const Level l = ListWindowProcedure::TakeAccepted();
        if (l != Level::Benign) return l;
        if (Win->field() == c_.print) {
            Update();
            if (ProcedureFn report = FindProcedure("PrintaANGAZ")) report();  // on this thread
            Reset(false);
        }
        return l;
    }

    void SetUpBrowse() override {
        rt::FileStructure& kinds = fileStructure(FileId::TURPOS);
        BRW1.Init(c_.list, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1, *Relate::ANGAZOV,
                  *this);
        BRW1.RetainRow = false;
        // A line whose activity has no row is listed with a blank name.
        BRW1_View.join(kinds, rt::KeyOf(kinds, "TUR:KeyT1_SIA").index,
                       {rt::FieldOf(lines_, "ANG:A1_SIA")});
        BRW1_Sort0_StepClass.Init(StepOption::Alpha);
        AddOrder(BRW1, &BRW1_Sort0_StepClass, rt::KeyOf(lines_, "ANG:KeySIPSIFDAT"),
                 BRW1_Sort0_Locator, 0, rt::FieldOf(lines_, "ANG:A1_SPS"));
        BRW1.SetFilter(
            "(ANG:A1_SPS = G1:W1_SPS AND ANG:A1_SIP = G1:W1_SIP AND ANG:A1_SIF => G1:W1_SIFOD AND "
            "ANG:A1_SIF <= G1:W1_SIFDO AND ANG:A1_DAT => G1:W1_DAOD AND ANG:A1_DAT <= "
            "G1:W1_DADO)");
        for (const char* f :
             {"ANG:A1_SIP", "ANG:A1_BRJ", "ANG:A1_RED", "ANG:A1_SIF", "ANG:A1_DAT"}) {
            BRW1_View.project(rt::FieldOf(lines_, f));
            BRW1.AddField(rt::FieldOf(lines_, f));
        }
        for (const char* f : {"TUR:T1_SIA", "TUR:T1_NAP"}) {
            BRW1_View.project(rt::FieldOf(kinds, f));
            BRW1.AddField(rt::FieldOf(kinds, f));
        }
        BRW1_View.project(rt::FieldOf(lines_, "ANG:A1_SPS"));
        BRW1.AddField(rt::FieldOf(lines_, "ANG:A1_SPS"));
    }

  private:
    const ListControls& c_;
    rt::FileStructure& lines_;
    rt::View BRW1_View;
    StepLongClass BRW1_Sort0_StepClass;
    StepLocatorClass BRW1_Sort0_Locator;
    BrowseQueue Queue_Browse_1;
    BrowseClass BRW1;  // last: ended before the view and queue it reads
};

}  // namespace

void UpitANGAZOV() {
    rt::WindowDesc d = kit::ChildWindowDesc(311, 159, "Upit - aktivnosti");
    d.resizable = false;
    RunWindow<ActivityQuery>(d, BuildQuery);
}

void ObradaANGAZOV() {
    RunWindow<ActivityList>(kit::ChildWindowDesc(557, 280, "Angažovanje članova PD, pohodi"),
                            BuildList);
}
