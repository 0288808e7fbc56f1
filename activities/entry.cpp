// Entering the lines of one document: the federation, club, document number
// (the club's counter as stored), date and activity once, then for each
// participant a member code; the focus reaching the write entry writes the
// line. The document's lines are listed under the entries and read again
// after every line.
//
// Every add is checked: a refused line shows why, proposes the running
// number again from what is stored and moves the focus to it, so nothing is
// lost silently and nothing advances as after a stored line.
#include "activities/entry.h"

#include <cstdint>
#include <vector>

#include "activities/running_number.h"
#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "framework/browse.h"
#include "framework/entry_window.h"
#include "framework/error.h"
#include "framework/globals.h"
#include "framework/list_window.h"
#include "framework/lookup.h"
#include "framework/window_kit.h"
#include "framework/window_procedure.h"

namespace {

using kit::ColumnLayout;
constexpr rt::Align L = rt::Align::Left;
constexpr rt::Align R = rt::Align::Right;
constexpr rt::Align C = rt::Align::Center;

// The window's own values: the document and the participant being entered.
struct Locals {
    std::int32_t W1_SPS = 0, W1_SIP = 0, W1_BRJ = 0, W1_DAT = 0, W1_SIA = 0, W1_RED = 0, W1_SIF = 0;
    std::uint8_t W1_UPI = 0;
};

// What a control is to the window.
enum class Role {
    Prompt,
    Federation,
    FederationButton,
    FederationName,
    Club,
    ClubButton,
    ClubName,
    Document,
    Date,
    Activity,
    ActivityButton,
    ActivityName,
    Line,
    Running,
    Member,
    MemberButton,
    Surname,
    GivenName,
    Write,
    List,
};

struct ControlLayout {
    Role role;
    const char* name;
    const char* text;  // a prompt's text
    rt::Rect at;
    const char* picture;
    const char* tip;
};

struct EntryLayout {
    const char* procedure;
    const char* title;
    int width, height;
    bool runningNumbers;  // the running number is shown and proposed on the date entry
    std::vector<ControlLayout> controls;  // in window (and Tab) order
    std::vector<ColumnLayout> columns;
};

// clang-format off
const EntryLayout& HikesEntry() {
    static const EntryLayout l = {
        "UnosANGAZ", "Unos - aktivnosti članova PD", 391, 256, true,
        {{Role::Prompt, "?L1:W1_SPS:PROMPT", "Šifra PS:", {53, 7, 0, 0}, "", ""},
         {Role::Federation, "?L1:W1_SPS", "", {88, 6, 25, 10}, "@n_2", "Šifra PS"},
         {Role::FederationButton, "?CALLLOOKUP:4", "", {120, 6, 12, 10}, "", ""},
         {Role::FederationName, "?PLA1:SP1_NPS", "", {140, 7, 200, 10}, "@s50", ""},
         {Role::Prompt, "?ANG:A1_SIP:PROMPT", "Šifra PD:", {51, 22, 0, 0}, "", ""},
         {Role::Club, "?L1:W1_SIP", "", {88, 20, 25, 10}, "@n_3", "Šifra PD"},
         {Role::ClubButton, "?CALLLOOKUP", "", {120, 19, 12, 11}, "", ""},
         {Role::ClubName, "?PLA:P1_NPD", "", {140, 21, 225, 10}, "@s50", ""},
         {Role::Prompt, "?ANG:A1_BRJ:PROMPT", "Broj dokumenta:", {28, 33, 0, 0}, "", ""},
         {Role::Document, "?L1:W1_BRJ", "", {88, 33, 60, 10}, "@n_8", "Broj dokumenta"},
         {Role::Prompt, "?ANG:A1_DAT:PROMPT", "Datum pohoda:", {31, 47, 0, 0}, "", ""},
         {Role::Date, "?L1:W1_DAT", "", {88, 47, 55, 10}, "@d6.", "Datum posla, ture"},
         {Role::Prompt, "?ANG:A1_SIA:PROMPT", "Šifra aktivnosti:", {31, 61, 0, 0}, "", ""},
         {Role::Activity, "?L1:W1_SIA", "", {88, 61, 30, 10}, "@n_6", "Šifra posla, ture"},
         {Role::ActivityButton, "?CALLLOOKUP:2", "", {125, 59, 12, 11}, "", ""},
         {Role::ActivityName, "?TUR:T1_NAP", "", {143, 61, 241, 10}, "@s255", ""},
         {Role::Line, "?LINE1", "", {1, 74, 389, 0}, "", ""},
         {Role::Prompt, "?ANG:A1_RED:PROMPT", "Redni broj:", {74, 79, 0, 0}, "", ""},
         {Role::Running, "?L1:W1_RED", "", {120, 79, 43, 10}, "@n_8", "Redni broj"},
         {Role::Prompt, "?ANG:A1_SIF:PROMPT", "Šifra člana PD:", {61, 95, 0, 0}, "", ""},
         {Role::Member, "?L1:W1_SIF", "", {120, 95, 43, 10}, "@n_6", "Šifra člana PD"},
         {Role::MemberButton, "?CALLLOOKUP:3", "", {168, 95, 12, 11}, "", ""},
         {Role::Surname, "?CLA:M1_PRE", "", {188, 95, 131, 10}, "@s25", ""},
         {Role::GivenName, "?CLA:M1_IME", "", {297, 95, 99, 10}, "@s20", ""},
         {Role::Write, "?L1:W1_UPI", "", {120, 113, 23, 10}, "@n1B", ""},
         {Role::List, "?LIST", "", {3, 128, 380, 121}, "", ""}},
        {{"Šifra PS", 1, 33, R, 2, C, "@n_2"},
         {"Šifra člana PD", 2, 54, R, 2, C, "@n_6"},
         {"Prezime", 3, 136, L, 2, L, "@s25"},
         {"Ime", 4, 80, L, 2, L, "@s20"}}};
    return l;
}

// The activity entry lies in the participant part, below the rule, and the
// club's "..." comes before its entry.
const EntryLayout& WorkEntry() {
    static const EntryLayout l = {
        "UnosANGAZ1", "Unos - angažman članova PD, radne akcije", 423, 236, false,
        {{Role::Prompt, "?L1:W1_SPS:PROMPT", "Šifra PS:", {53, 7, 0, 0}, "", ""},
         {Role::Federation, "?L1:W1_SPS", "", {88, 6, 25, 10}, "@n_2", "Šifra PS"},
         {Role::FederationButton, "?CALLLOOKUP:4", "", {120, 6, 12, 10}, "", ""},
         {Role::FederationName, "?PLA1:SP1_NPS", "", {140, 7, 200, 10}, "@s50", ""},
         {Role::ClubButton, "?CALLLOOKUP", "", {120, 19, 12, 11}, "", ""},
         {Role::Club, "?L1:W1_SIP", "", {88, 20, 25, 10}, "@n_3", "Šifra PD"},
         {Role::Prompt, "?ANG:A1_SIP:PROMPT", "Šifra PD:", {52, 22, 0, 0}, "", ""},
         {Role::ClubName, "?PLA:P1_NPD", "", {140, 21, 225, 10}, "@s50", ""},
         {Role::Prompt, "?ANG:A1_BRJ:PROMPT", "Broj dokumenta:", {28, 33, 0, 0}, "", ""},
         {Role::Document, "?L1:W1_BRJ", "", {88, 33, 60, 10}, "@n_8", "Broj dokumenta"},
         {Role::Prompt, "?ANG:A1_DAT:PROMPT", "Datum posla:", {38, 47, 0, 0}, "", ""},
         {Role::Date, "?L1:W1_DAT", "", {88, 47, 55, 10}, "@d6.", "Datum posla, ture"},
         {Role::Line, "?LINE1", "", {1, 63, 418, 0}, "", ""},
         {Role::ActivityButton, "?CALLLOOKUP:2", "", {125, 66, 12, 11}, "", ""},
         {Role::Prompt, "?ANG:A1_SIA:PROMPT", "Šifra  posla:", {41, 68, 0, 0}, "", ""},
         {Role::Activity, "?L1:W1_SIA", "", {89, 68, 30, 10}, "@n_6", "Šifra posla, ture"},
         {Role::ActivityName, "?TUR:T1_NAP", "", {143, 68, 276, 10}, "@s255", ""},
         {Role::MemberButton, "?CALLLOOKUP:3", "", {138, 81, 12, 11}, "", ""},
         {Role::Prompt, "?ANG:A1_SIF:PROMPT", "Šifra člana PD:", {31, 81, 0, 0}, "", ""},
         {Role::Member, "?L1:W1_SIF", "", {89, 81, 43, 10}, "@n_6", "Šifra člana PD"},
         {Role::Surname, "?CLA:M1_PRE", "", {158, 81, 131, 10}, "@s25", ""},
         {Role::GivenName, "?CLA:M1_IME", "", {264, 81, 99, 10}, "@s20", ""},
         {Role::Write, "?L1:W1_UPI", "", {89, 94, 23, 10}, "@n1B", ""},
         {Role::List, "?LIST", "", {36, 115, 352, 113}, "", ""}},
        {{"Šifra PS", 1, 33, R, 0, L, "@n_2"},
         {"Šifra člana PD", 2, 54, R, 0, L, "@n_6"},
         {"Prezime", 3, 127, L, 2, L, "@s25"},
         {"Ime", 4, 80, L, 2, L, "@s20"}}};
    return l;
}
// clang-format on

struct EntryControls {
    const EntryLayout* layout = nullptr;
    Locals* locals = nullptr;
    int federation = 0, federationButton = 0, federationName = 0;
    int club = 0, clubButton = 0, clubName = 0;
    int document = 0, date = 0, activity = 0, activityButton = 0, activityName = 0;
    int running = 0, member = 0, memberButton = 0, surname = 0;
    int write = 0, list = 0;
};

EntryControls BuildEntry(rt::Window& w, const EntryLayout& l, Locals& v) {
    EntryControls c;
    c.layout = &l;
    c.locals = &v;
    auto bound = [](rt::FileStructure& f, const char* label) {
        return kit::BindField(f, rt::FieldOf(f, label).index);
    };
    for (const ControlLayout& k : l.controls) {
        auto entry = [&](rt::Binding value) {
            rt::Control e;
            e.kind = rt::ControlKind::Entry;
            e.name = k.name;
            e.at = k.at;
            e.picture = k.picture;
            e.tip = kit::WindowText(k.tip);
            e.msg = e.tip;
            e.align = R;
            e.indent = 1;
            e.value = std::move(value);
            return w.add(std::move(e));
        };
        auto button = [&] { return kit::AddLookupButton(w, 0, k.name, k.at); };
        auto name = [&](FileId file, const char* label) {
            return kit::AddString(w, 0, k.name, k.at, k.picture, bound(fileStructure(file), label));
        };
        switch (k.role) {
            case Role::Prompt:
                kit::AddPrompt(w, 0, k.name, k.text, {k.at.x, k.at.y});
                break;
            case Role::Federation:
                c.federation = entry(rt::bind(v.W1_SPS));
                break;
            case Role::FederationButton:
                c.federationButton = button();
                break;
            case Role::FederationName:
                c.federationName = name(FileId::PLANSA, "PLA1:SP1_NPS");
                break;
            case Role::Club:
                c.club = entry(rt::bind(v.W1_SIP));
                break;
            case Role::ClubButton:
                c.clubButton = button();
                break;
            case Role::ClubName:
                c.clubName = name(FileId::PLAND, "PLA:P1_NPD");
                break;
            case Role::Document:
                c.document = entry(rt::bind(v.W1_BRJ));
                break;
            case Role::Date:
                c.date = entry(rt::bind(v.W1_DAT));
                break;
            case Role::Activity:
                c.activity = entry(rt::bind(v.W1_SIA));
                break;
            case Role::ActivityButton:
                c.activityButton = button();
                break;
            case Role::ActivityName:
                c.activityName = name(FileId::TURPOS, "TUR:T1_NAP");
                break;
            case Role::Line: {
                rt::Control line;
                line.kind = rt::ControlKind::Line;
                line.name = k.name;
                line.at = k.at;
                w.add(std::move(line));
                break;
            }
            case Role::Running:
                c.running = entry(rt::bind(v.W1_RED));
                break;
            case Role::Member:
                c.member = entry(rt::bind(v.W1_SIF));
                break;
            case Role::MemberButton:
                c.memberButton = button();
                break;
            case Role::Surname:
                c.surname = name(FileId::CLANOVI, "CLA:M1_PRE");
                break;
            case Role::GivenName:
                name(FileId::CLANOVI, "CLA:M1_IME");
                break;
            case Role::Write:
                c.write = entry(rt::bind(v.W1_UPI));
                w.control(c.write).fill = 0xC0C0C0;
                w.control(c.write).tip.clear();
                w.control(c.write).msg.clear();
                break;
            case Role::List: {
                rt::Control list = kit::ListBox(k.at, "Browsing Records", l.columns);
                list.name = k.name;
                c.list = w.add(std::move(list));
                break;
            }
        }
    }
    return c;
}

class EntryWindow : public EntryWindowProcedure {
  public:
    EntryWindow(const EntryControls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
                WindowResizeClass&)
        : EntryWindowProcedure(c.layout->procedure, w, ebt, &tb),
          c_(c),
          L1(*c.locals),
          lines_(fileStructure(FileId::ANGAZOV)),
          listMemberRecord_(fileStructure(FileId::CLANOVI).def().recordSize, 0),
          listMembers_(fileStructure(FileId::CLANOVI).def(), listMemberRecord_.data()),
          BRW4_View(lines_),
          running_(*Access::ANGAZOV) {
        AddFiles({Relate::ANGAZOV, Relate::CLANOVI, Relate::DOKAN, Relate::PLAND, Relate::PLANSA,
                  Relate::TURPOS});
        AddFile([this] { SetUpList(); }, {});
        AddLookupIn(Lookups, FileId::PLANSA,
                    {.Entry = c.federation,
                     .Button = c.federationButton,
                     .Value = L1.W1_SPS,
                     .NameControl = c.federationName});
        AddLookupIn(Lookups, FileId::PLAND,
                    {.Entry = c.club,
                     .Button = c.clubButton,
                     .Value = L1.W1_SIP,
                     .NameControl = c.clubName});
        AddLookupIn(Lookups, FileId::TURPOS,
                    {.Entry = c.activity,
                     .Button = c.activityButton,
                     .Value = L1.W1_SIA,
                     .NameControl = c.activityName});
        AddLookupIn(Lookups, FileId::CLANOVI,
                    {.Entry = c.member,
                     .Button = c.memberButton,
                     .Value = L1.W1_SIF,
                     .NameControl = c.surname});
        // The names are the buffers as the last lookup left them: the list
        // reads its members into a record of its own.
        Lookups.ResetKind = LookupReset::ReadNothing;
    }

    // The filter's names are the window's own values, bound on this thread.
    Level Init() override {
        rt::bind("L1:W1_SPS", &L1.W1_SPS);
        rt::bind("L1:W1_SIP", &L1.W1_SIP);
        rt::bind("L1:W1_BRJ", &L1.W1_BRJ);
        return EntryWindowProcedure::Init();
    }
    Level Kill() override {
        const Level l = EntryWindowProcedure::Kill();
        for (const char* n : {"L1:W1_SPS", "L1:W1_SIP", "L1:W1_BRJ"}) rt::unbind(n);
        return l;
    }

  protected:
    int ChooseFirstField() override { return c_.federation; }

    // The work of the window runs as the focus arrives in a control, before
    // the framework's own handling of it.
    void BeforeSelected(int control) override {
        if (control == c_.document) {
            TakeDocumentNumber();
        } else if (control == c_.date && c_.layout->runningNumbers) {
            // Lines that cannot be read give no number: it stays as it stood.
            const std::int32_t next = NextRunningNumber(L1.W1_RED);
            if (!LinesUnreadable()) L1.W1_RED = next;
            Win->display();
        } else if (control == c_.write) {
            WriteLine();
        }
    }

  private:
    // The club's counter as stored, neither stepped nor written back; a club
    // without a counter row has document 0, never what the buffer held for
    // another club. A counter that cannot be read (the database busy, a
    // number beyond its field) is reported and the number stays as it was:
    // lines must not go silently under document 0.
    void TakeDocumentNumber() {
        rt::FileStructure& counters = fileStructure(FileId::DOKAN);
        DOK.D1_SIP = L1.W1_SIP;
        if (Access::DOKAN->TryFetch(DOKAN.KeyD1_SIP) == Level::Benign)
            L1.W1_BRJ = DOK.D1_BRJ;
        else if (counters.status().code == rt::FileErr::RecordNotAvailable)
            L1.W1_BRJ = 0;
        else
            GlobalErrors().ThrowFile(Msg::RetrievalFailed, "DOKAN");
        Win->display();
    }

    std::int32_t NextRunningNumber(std::int64_t none) {
        return running_.Next(L1.W1_SPS, L1.W1_SIP, L1.W1_BRJ, none);
    }

    // After NextRunningNumber: the document's lines could not be read (the
    // database busy, a value beyond its field); said so.
    bool LinesUnreadable() { return ReportRetrievalFailure(running_.Failure(), "ANGAZOV"); }

    void WriteLine() {
        ANG.A1_SPS = L1.W1_SPS;
        ANG.A1_SIP = L1.W1_SIP;
        ANG.A1_BRJ = L1.W1_BRJ;
        // Without a running number of its own a line takes the next one of
        // its document as it stands when the line is written; none without
        // reading the lines.
        if (c_.layout->runningNumbers) {
            ANG.A1_RED = L1.W1_RED;
        } else {
            ANG.A1_RED = NextRunningNumber(0);
            if (LinesUnreadable()) {
                Win->select(c_.member);
                Win->display();
                return;
            }
        }
        ANG.A1_SIA = L1.W1_SIA;
        ANG.A1_SIF = L1.W1_SIF;
        ANG.A1_DAT = L1.W1_DAT;
        const bool stored = AddLine(*Access::ANGAZOV);
        BRW4.ScrollEnd();
        if (stored) {
            if (c_.layout->runningNumbers) L1.W1_RED = NumberAfter(L1.W1_RED);
            Win->select(c_.layout->runningNumbers ? c_.running : c_.activity);
        } else {
            // The notice has been shown: the number is proposed again from
            // what is stored, and the line is not written again.
            if (c_.layout->runningNumbers) {
                const std::int32_t next = NextRunningNumber(std::int64_t{L1.W1_RED} - 1);
                if (running_.Failure().ok()) L1.W1_RED = next;
            }
            Win->select(c_.layout->runningNumbers ? c_.running : c_.member);
        }
        Win->display();
    }

    void SetUpList() {
        // The document's lines with their members' names, read into a member
        // record of the list's own: the thread's member buffer holds the
        // member the last lookup read, whose name stands beside the code,
        // whichever line the list read last.
        rt::FileStructure& members = listMembers_;
        listMembers_.clear();
        BRW4.Init(c_.list, Queue_List.ViewPosition, BRW4_View, Queue_List, *Relate::ANGAZOV, *this);
        BRW4.RetainRow = false;
        // A line whose member has no row is listed with blank names.
        BRW4_View.join(members, rt::KeyOf(members, "CLA:KeyM1_SIF").index,
                       {rt::FieldOf(lines_, "ANG:A1_SIF")});
        AddOrder(BRW4, nullptr, rt::KeyOf(lines_, "ANG:KeyA1_SIF"), BRW4_Sort0_Locator, 0,
                 rt::FieldOf(lines_, "ANG:A1_SIF"));
        BRW4.SetFilter(
            "(ANG:A1_SPS = L1:W1_SPS AND ANG:A1_SIP =  L1:W1_SIP AND ANG:A1_BRJ = L1:W1_BRJ)");
        BRW4.AddResetField(rt::FieldOf(lines_, "ANG:A1_SIP"));
        BRW4.AddResetField(rt::FieldOf(lines_, "ANG:A1_SPS"));
        for (const char* f : {"ANG:A1_SPS", "ANG:A1_SIF"}) {
            BRW4_View.project(rt::FieldOf(lines_, f));
            BRW4.AddField(rt::FieldOf(lines_, f));
        }
        for (const char* f : {"CLA:M1_PRE", "CLA:M1_IME"}) {
            BRW4_View.project(rt::FieldOf(members, f));
            BRW4.AddField(rt::FieldOf(members, f));
        }
        for (const char* f : {"ANG:A1_SIP", "ANG:A1_BRJ", "ANG:A1_RED"}) {
            BRW4_View.project(rt::FieldOf(lines_, f));
            BRW4.AddField(rt::FieldOf(lines_, f));
        }
        BRW4_View.project(rt::FieldOf(members, "CLA:M1_SIF"));
        BRW4.AddField(rt::FieldOf(members, "CLA:M1_SIF"));
    }

    const EntryControls& c_;
    Locals& L1;
    rt::FileStructure& lines_;
    std::vector<char> listMemberRecord_;
    rt::FileStructure listMembers_;  // the list's members (BRW4_View's join)
    rt::View BRW4_View;
    activities::RunningNumbers running_;
    StepLocatorClass BRW4_Sort0_Locator;
    BrowseQueue Queue_List;
    BrowseClass BRW4;  // last: ended before the views and queue it reads
};

void RunEntry(const EntryLayout& l) {
    Locals L1;
    rt::WindowDesc d = kit::ChildWindowDesc(l.width, l.height, l.title);
    d.resizable = false;
    RunWindow<EntryWindow>(d, [&](rt::Window& w) { return BuildEntry(w, l, L1); });
}

}  // namespace

void UnosANGAZ() {
    RunEntry(HikesEntry());
}

void UnosANGAZ1() {
    RunEntry(WorkEntry());
}
