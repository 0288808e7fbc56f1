// The hikes list: three lists side by side, each over its own file and
// independent of the others (the activity lines in two orders chosen by
// tab, the clubs' document counters, the members), the form for one line,
// the entry window for a whole document, and the two buttons that step the
// highlighted club's counter. The work-action windows are the same windows
// with the layouts and titles of their own.
#include "activities/hikes.h"

#include <vector>

#include "activities/counter_step.h"
#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "core/frame/procedures.h"
#include "framework/form_window.h"
#include "framework/list_window.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"

thread_local ANGAZOV_Record History::ANG;
thread_local ANGAZOV_Record History::ANG1;

namespace {

using kit::ColumnLayout;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

rt::FileStructure& Lines() {
    return fileStructure(FileId::ANGAZOV);
}

// ---------------------------------------------------------------------------
// The list

// What tells the two lists apart.
struct ListLayout {
    const char* procedure;
    const char* title;
    int width, height;
    rt::Rect membersCaption, stepDown, stepUp, members, counters, activities;
    std::vector<ColumnLayout> activityColumns;
    std::vector<const char*> activityQueue;  // queue fields, shown columns first
    std::vector<ColumnLayout> memberColumns;
    rt::Rect insert, change, del, start, close, sheet, clubEntry, memberEntry;
    const char* startName;
    const char* startText;
    rt::Rect countersCaption;
    bool captionOnTab;  // the counters' caption shows only on the tab "PD"
    void (*form)();
    const char* entry;  // the entry window, by name
};

// clang-format off
const ListLayout& HikesListLayout() {
    static const ListLayout l = {
        "BrowseANGAZOV", "Angažovanje članova PD, pohodi", 507, 278,
        {379, 27, 44, 10}, {211, 235, 81, 14}, {211, 217, 82, 14}, {297, 41, 209, 173},
        {211, 40, 80, 173}, {6, 38, 200, 176},
        {{"PD", 1, 18, R, 2, C, "@n_3"},
         {"Šifra akt.", 2, 28, R, 2, C, "@n_6"},
         {"Broj dok.", 3, 35, R, 2, C, "@n_8"},
         {"R.broj", 4, 32, R, 2, C, "@n_8"},
         {"Šifra člana", 5, 31, R, 2, C, "@n_6"},
         {"Datum", 6, 80, R, 2, C, "@d6."}},
        {"ANG:A1_SIP", "ANG:A1_SIA", "ANG:A1_BRJ", "ANG:A1_RED", "ANG:A1_SIF", "ANG:A1_DAT",
         "ANG:A1_SPS"},
        {{"Šifra čl.", 1, 32, R, 2, L, "@n_6"},
         {"Prezime", 2, 90, L, 2, L, "@s25"},
         {"Ime", 3, 80, L, 2, L, "@s20"}},
        {8, 233, 57, 14}, {143, 218, 57, 14}, {143, 233, 49, 14}, {8, 218, 49, 14},
        {455, 260, 49, 14}, {3, 6, 503, 250}, {7, 23, 23, 10}, {31, 22, 46, 10},
        "?INSERT:3", "Unos", {211, 23, 89, 10}, true, UpdateANGAZOV, "UnosANGAZ"};
    return l;
}

const ListLayout& WorkListLayout() {
    static const ListLayout l = {
        "BrowseANGAZOV1", "Angažovanje članova PD, radne akcije", 483, 235,
        {332, 20, 44, 10}, {165, 181, 81, 14}, {164, 161, 82, 14}, {255, 34, 223, 169},
        {163, 35, 85, 119}, {6, 34, 153, 140},
        {{"PD", 1, 18, R, 2, C, "@n_3"},
         {"Šifra aktivnosti", 2, 39, R, 2, C, "@n_6"},
         {"Šifra člana", 3, 37, R, 2, C, "@n_6"},
         {"Datum", 4, 80, R, 2, C, "@d6."}},
        {"ANG:A1_SIP", "ANG:A1_SIA", "ANG:A1_SIF", "ANG:A1_DAT", "ANG:A1_SPS", "ANG:A1_BRJ",
         "ANG:A1_RED"},
        {{"Šifra čl.", 1, 32, R, 2, L, "@n_6"},
         {"Prezime", 2, 94, L, 2, L, "@s25"},
         {"Ime", 3, 80, L, 2, L, "@s20"}},
        {13, 190, 57, 14}, {89, 177, 57, 14}, {89, 189, 49, 14}, {13, 177, 59, 14},
        {44, 215, 49, 14}, {2, 0, 481, 207}, {15, 17, 23, 10}, {39, 17, 46, 10},
        "?INSERT:4", "Unos ", {164, 20, 89, 10}, false, UpdateANGAZOV1, "UnosANGAZ1"};
    return l;
}
// clang-format on

struct ListControls {
    const ListLayout* layout = nullptr;
    int membersCaption = 0, stepDown = 0, stepUp = 0, members = 0, counters = 0, activities = 0;
    int insert = 0, change = 0, del = 0, start = 0, close = 0;
    int sheet = 0, clubTab = 0, memberTab = 0;
};

rt::Control Renamed(rt::Control c, const char* name) {
    c.name = name;
    return c;
}

// In window order: the members' caption, the two counter buttons, the three
// lists, the four buttons that Tab passes over, "Zatvori", the sheet with
// its two tabs and their entries; the counters' caption on the tab "PD" or
// on the window.
ListControls BuildList(rt::Window& w, const ListLayout& l) {
    rt::FileStructure& lines = Lines();
    ListControls c;
    c.layout = &l;
    c.membersCaption =
        kit::AddPrompt(w, 0, "?STRING1:2", "Članovi PD", {l.membersCaption.x, l.membersCaption.y});
    c.stepDown = w.add(kit::PushButton("?BUTTON5:2", "Umanjenje broja za 1", l.stepDown, "", ""));
    c.stepUp = w.add(kit::PushButton("?BUTTON5", "Povećanje broja za 1", l.stepUp, "", ""));
    c.members =
        w.add(Renamed(kit::ListBox(l.members, "Browsing Records", l.memberColumns), "?LIST:2"));
    c.counters = w.add(Renamed(kit::ListBox(l.counters, "Browsing Records",
                                            {{"Šifra PD", 1, 33, R, 2, L, "@n_3"},
                                             {"Broj dokumenta", 2, 32, R, 2, L, "@n_8"}}),
                               "?LIST"));
    c.activities =
        w.add(kit::ListBox(l.activities, kit::BrowsingMessage(lines.def()), l.activityColumns));
    c.insert =
        w.add(kit::ActionButton("?INSERT:2", "Upis poj.", l.insert, "Insert a Record", true));
    c.change =
        w.add(kit::ActionButton("?CHANGE:2", "Promjena", l.change, "Change the Record", true));
    w.control(c.change).isDefault = true;
    c.del = w.add(kit::ActionButton("?DELETE:2", "Obriši", l.del, "Delete the Record", true));
    c.start = w.add(kit::ActionButton(l.startName, l.startText, l.start, "Insert a Record", true));
    c.close = w.add(kit::CloseButton("Zatvori", l.close));
    c.sheet = kit::AddSheet(w, "?CURRENTTAB", l.sheet);
    c.clubTab = kit::AddTab(w, c.sheet, "?TAB:2", "PD");
    kit::AddLocatorEntry(w, c.clubTab, {"?ANG:A1_SIP", l.clubEntry, "@n_3", "Šifra PD", true},
                         kit::BindField(lines, rt::FieldOf(lines, "ANG:A1_SIP").index));
    kit::AddPrompt(w, l.captionOnTab ? c.clubTab : 0, "?STRING1", "Broj dokumenta-izveštaja",
                   {l.countersCaption.x, l.countersCaption.y});
    c.memberTab = kit::AddTab(w, c.sheet, "?TAB:4", "Šfra člana");
    kit::AddLocatorEntry(w, c.memberTab,
                         {"?ANG:A1_SIF", l.memberEntry, "@n_6", "Šifra člana PD", true},
                         kit::BindField(lines, rt::FieldOf(lines, "ANG:A1_SIF").index));
    return c;
}

class HikesList : public ListWindowProcedure {
  public:
    HikesList(const ListControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
              WindowResizeClass& rs)
        : ListWindowProcedure(c.layout->procedure, Relate::ANGAZOV, c.activities, c.close, w, ebt,
                              tb, rs),
          c_(c),
          lines_(Lines()),
          counters_(fileStructure(FileId::DOKAN)),
          members_(fileStructure(FileId::CLANOVI)),
          BRW1_View(lines_),
          BRW5_View(counters_),
          BRW6_View(members_) {
        UpdateProcedure = c.layout->form;
        AddFiles({Relate::CLANOVI, Relate::DOKAN});
    }

  protected:
    // The three lists side by side keep apart by the resizer's defaults
    // (the two at the left grow in height only); the members' caption stays
    // above the members list, which takes the width.
    void AfterRestore() override {
        using Follow = WindowResizeClass::Follow;
        if (resizer_) {
            resizer_->SetStrategy(c_.membersCaption, Follow::Stay);
            resizer_->Resize();
        }
        BRW1.AskProcedure = 1;
    }

    // The counter buttons step before the framework handles the press;
    // "Unos" starts the entry window after it.
    Level TakeAccepted() override {
        const int field = Win->field();
        if (field == c_.stepUp || field == c_.stepDown) {
            L1.W1_SIP = DOK.D1_SIP;
            activities::StepDocumentCounter(L1.W1_SIP, field == c_.stepUp ? 1 : -1);
            // The new value shows in the list, whose last row is then
            // highlighted, as its own scroll to the bottom does.
            BRW5.ScrollEnd();
        }
        const Level l = ListWindowProcedure::TakeAccepted();
        if (l != Level::Benign) return l;
        if (field == c_.start) {
            Update();
            if (ProcedureFn entry = FindProcedure(c_.layout->entry))
                rt::startProcedure(std::move(entry), 25000);
            Reset(false);
        }
        return l;
    }

    void SetUpBrowse() override {
        // The activity lines: two orders, by tab.
        BRW1.Sheet = c_.sheet;
        BRW1.Orders = {{c_.clubTab, 1}, {c_.memberTab, 2}};
        BRW1.Init(c_.activities, Queue_Browse_1.ViewPosition, BRW1_View, Queue_Browse_1,
                  *Relate::ANGAZOV, *this);
        BRW1.InsertControl = c_.insert;
        BRW1.ChangeControl = c_.change;
        BRW1.DeleteControl = c_.del;
        BRW1.RetainRow = false;
        BRW1_Sort1_StepClass.Init(StepOption::Alpha);
        BRW1_Sort0_StepClass.Init(StepOption::Alpha);
        AddOrder(BRW1, &BRW1_Sort1_StepClass, rt::KeyOf(lines_, "ANG:KeySIPSIFDAT"),
                 BRW1_Sort1_Locator, 0, rt::FieldOf(lines_, "ANG:A1_SPS"));
        AddOrder(BRW1, &BRW1_Sort0_StepClass, rt::KeyOf(lines_, "ANG:KeySIFSIPDAT"),
                 BRW1_Sort0_Locator, 0, rt::FieldOf(lines_, "ANG:A1_SPS"));
        for (const char* f : c_.layout->activityQueue) BRW1.AddField(rt::FieldOf(lines_, f));

        // The counters, by club.
        BRW5.Init(c_.counters, Queue_List.ViewPosition, BRW5_View, Queue_List, *Relate::DOKAN,
                  *this);
        BRW5.RetainRow = false;
        AddOrder(BRW5, nullptr, rt::KeyOf(counters_, "DOK:KeyD1_SIP"), BRW5_Sort0_Locator, 0,
                 rt::FieldOf(counters_, "DOK:D1_SIP"));
        for (const char* f : {"DOK:D1_SIP", "DOK:D1_BRJ"}) BRW5.AddField(rt::FieldOf(counters_, f));

        // The members, by member code; the view reads the three fields it
        // shows, not the member's long texts.
        BRW6.Init(c_.members, Queue_List_2.ViewPosition, BRW6_View, Queue_List_2, *Relate::CLANOVI,
                  *this);
        BRW6.RetainRow = false;
        AddOrder(BRW6, nullptr, rt::KeyOf(members_, "CLA:KeyM1_SIF"), BRW6_Sort0_Locator, 0,
                 rt::FieldOf(members_, "CLA:M1_SIF"));
        for (const char* f : {"CLA:M1_SIF", "CLA:M1_PRE", "CLA:M1_IME"}) {
            BRW6_View.project(rt::FieldOf(members_, f));
            BRW6.AddField(rt::FieldOf(members_, f));
        }
    }

  private:
    // The club of the counter being stepped.
    struct {
        std::int32_t W1_SIP = 0;
    } L1;

    const ListControls& c_;
    rt::FileStructure& lines_;
    rt::FileStructure& counters_;
    rt::FileStructure& members_;
    rt::View BRW1_View, BRW5_View, BRW6_View;
    StepLongClass BRW1_Sort1_StepClass, BRW1_Sort0_StepClass;
    StepLocatorClass BRW1_Sort1_Locator, BRW1_Sort0_Locator, BRW5_Sort0_Locator, BRW6_Sort0_Locator;
    BrowseQueue Queue_Browse_1, Queue_List, Queue_List_2;
    // Last: ended before the views and queues they read.
    TabOrderBrowse BRW1;
    BrowseClass BRW5, BRW6;
};

// ---------------------------------------------------------------------------
// The form

struct FormLayout {
    const char* procedure;
    const char* title;
    ANGAZOV_Record* history;
    rt::Rect ok, cancel;
};

const FormLayout& HikesFormLayout() {
    static const FormLayout l = {
        "UpdateANGAZOV", "Evidencija pohoda", &History::ANG, {202, 84, 49, 14}, {259, 84, 49, 14}};
    return l;
}

const FormLayout& WorkFormLayout() {
    static const FormLayout l = {
        "UpdateANGAZOV1", "Evidencija poslova", &History::ANG1, {8, 82, 49, 14}, {268, 86, 49, 14}};
    return l;
}

struct FormIds {
    const FormLayout* layout = nullptr;
    FormControls form;
    int club = 0, clubButton = 0, clubName = 0;
    int activity = 0, activityButton = 0, activityName = 0;
    int member = 0, memberButton = 0, surname = 0, name = 0;
};

// clang-format off
FormIds BuildForm(rt::Window& w, const FormLayout& l) {
    rt::FileStructure& lines = Lines();
    rt::FileStructure& clubs = fileStructure(FileId::PLAND);
    rt::FileStructure& kinds = fileStructure(FileId::TURPOS);
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    FormIds c;
    c.layout = &l;
    const int sheet = kit::AddSheet(w, "?CurrentTab", {4, 4, 315, 76});
    const int tab = kit::AddTab(w, sheet, "?Tab:1", "Podaci");
    auto entry = [&](const kit::FormField& f) {
        const int field = rt::FieldOf(lines, f.name + 1).index;
        const int id = kit::AddFormField(w, tab, f, lines, field);
        c.form.history.push_back({id, field + 1});
        return id;
    };
    auto button = [&](const char* name, rt::Rect at) {
        return kit::AddLookupButton(w, tab, name, at);
    };
    auto name = [&](rt::FileStructure& f, const char* label, rt::Rect at, const char* picture) {
        return kit::AddString(w, tab, (std::string("?") + label).c_str(), at, picture,
                              kit::BindField(f, rt::FieldOf(f, label).index));
    };
    c.club = entry({"Šifra PD:", {57, 19}, "?ANG:A1_SIP", {95, 19, 23, 10}, "@n_3", false, "Šifra PD"});
    c.clubButton = button("?CALLLOOKUP", {123, 19, 12, 10});
    c.clubName = name(clubs, "PLA:P1_NPD", {143, 19, 160, 10}, "@s50");
    c.activity = entry({"Šifra pohoda, posla:", {21, 34}, "?ANG:A1_SIA", {95, 34, 44, 10}, "@n_6",
                        false, "Šifra posla, ture"});
    c.activityButton = button("?CALLLOOKUP:2", {143, 34, 12, 10});
    c.activityName = name(kinds, "TUR:T1_NAP", {162, 34, 151, 10}, "@s255");
    c.member = entry({"Šifra člana PD:", {38, 48}, "?ANG:A1_SIF", {95, 48, 44, 10}, "@n_6", false,
                      "Šifra člana PD"});
    c.memberButton = button("?CALLLOOKUP:3", {144, 47, 12, 11});
    c.surname = name(members, "CLA:M1_PRE", {161, 45, 109, 10}, "@s25");
    entry({"Datum posla, ture:", {28, 62}, "?ANG:A1_DAT", {95, 62, 52, 10}, "@d6.", false,
           "Datum posla, ture"});
    c.name = name(members, "CLA:M1_IME", {161, 53, 109, 10}, "@s20");
    c.form.ok = w.add(kit::OkButton("?OK", "Uredu", l.ok));
    c.form.cancel = w.add(kit::CancelButton("?CANCEL", "Izlaz", l.cancel));
    c.form.first = c.club - 1;  // its prompt: the focus lands in the entry
    return c;
}
// clang-format on

class HikesForm : public LookupWindow<FormWindowProcedure> {
  public:
    HikesForm(const FormIds& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
              WindowResizeClass& rs)
        : LookupWindow<FormWindowProcedure>(c.layout->procedure,
                                            FormFile{Lines(), accessOf(FileId::ANGAZOV),
                                                     relateOf(FileId::ANGAZOV), c.layout->history},
                                            c.form, w, ebt, tb, rs) {
        AddLookupIn(Lookups, FileId::PLAND,
                    {.Entry = c.club,
                     .Button = c.clubButton,
                     .Value = kit::CodeField(Lines(), "ANG:A1_SIP"),
                     .NameControl = c.clubName});
        AddLookupIn(Lookups, FileId::TURPOS,
                    {.Entry = c.activity,
                     .Button = c.activityButton,
                     .Value = kit::CodeField(Lines(), "ANG:A1_SIA"),
                     .NameControl = c.activityName});
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = c.member,
                     .Button = c.memberButton,
                     .Value = kit::CodeField(Lines(), "ANG:A1_SIF"),
                     .NameControl = c.surname});
        // Every reset reads the names again from the line's codes: the
        // activity, the club, the member.
        Lookups.ResetKind = LookupReset::ReadEveryRow;
        Lookups.SetResetOrder({1, 0, 2});
    }

  protected:
    // The window opens showing the names of the line's own codes.
    Level TakeWindowEvent() override {
        const Level l = LookupWindow<FormWindowProcedure>::TakeWindowEvent();
        if (l == Level::Benign && Win->event() == rt::Event::OpenWindow) Reset(true);
        return l;
    }
};

}  // namespace

void BrowseANGAZOV() {
    const ListLayout& l = HikesListLayout();
    RunWindow<HikesList>(kit::ChildWindowDesc(l.width, l.height, l.title),
                         [&l](rt::Window& w) { return BuildList(w, l); });
}

void BrowseANGAZOV1() {
    const ListLayout& l = WorkListLayout();
    RunWindow<HikesList>(kit::ChildWindowDesc(l.width, l.height, l.title),
                         [&l](rt::Window& w) { return BuildList(w, l); });
}

void UpdateANGAZOV() {
    const FormLayout& l = HikesFormLayout();
    RunWindow<HikesForm>(kit::ChildWindowDesc(323, 102, l.title),
                         [&l](rt::Window& w) { return BuildForm(w, l); });
}

void UpdateANGAZOV1() {
    const FormLayout& l = WorkFormLayout();
    RunWindow<HikesForm>(kit::ChildWindowDesc(323, 102, l.title),
                         [&l](rt::Window& w) { return BuildForm(w, l); });
}
