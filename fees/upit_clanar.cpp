// The fee queries. Their entries edit the shared selection values directly,
// so a query opened later, on any thread, shows what the last one left;
// "Dalje" opens the fee list of that selection on this thread.
#include "fees/upit_clanar.h"

#include <string>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "core/dictionary/member_name.h"
#include "fees/obrada_clanar.h"
#include "framework/query_window.h"
#include "runtime/text.h"

namespace {

struct Controls {
    kit::QueryCodeIds federation, club, member;  // member: the one-member query only
    int ok = 0, cancel = 0;
};

rt::Binding NameOf(FileId file, const char* label) {
    rt::FileStructure& f = fileStructure(file);
    return kit::BindField(f, rt::FieldOf(f, label).index);
}

// The federation and the club, as both queries have them (controls 1 to 8).
void BuildClub(rt::Window& w, Controls& c) {
    // clang-format off
    c.federation = kit::AddQueryCode(w,
                                     {"Šifra PS:", {8, 10}, "?G1:W1_SPS", {64, 10, 20, 10}, "@n_2",
                                      "Šifra PS", "?CallLookup", {86, 9, 12, 12}, "?PLA1:SP1_NPS",
                                      {102, 10, 204, 10}, "@s50"},
                                     G1::W1_SPS, NameOf(FileId::PLANSA, "PLA1:SP1_NPS"));
    c.club = kit::AddQueryCode(w,
                               {"Šifra PD:", {8, 26}, "?G1:W1_SIP", {64, 26, 24, 10}, "@n_3",
                                "Šifra PD", "?CallLookup:2", {90, 25, 12, 12}, "?PLA:P1_NPD",
                                {106, 26, 200, 10}, "@s50"},
                               G1::W1_SIP, NameOf(FileId::PLAND, "PLA:P1_NPD"));
    // clang-format on
}

// The boxed group "Datum" with the period's two entries.
void BuildPeriod(rt::Window& w, int top) {
    rt::Control group;
    group.kind = rt::ControlKind::Group;
    group.name = "?Group1";
    group.text = kit::WindowText("Datum");
    group.at = {8, top, 180, 30};
    w.add(std::move(group));
    kit::AddValueEntry(w, 0, "od:", {16, top + 13}, "?G1:W1_DAOD", {32, top + 13, 50, 10}, "@d6.",
                       "Datum", G1::W1_DAOD);
    // The second prompt carries the first one's name with a suffix.
    const int before = w.controlCount();
    kit::AddValueEntry(w, 0, "do:", {100, top + 13}, "?G1:W1_DADO", {116, top + 13, 50, 10}, "@d6.",
                       "Datum", G1::W1_DADO);
    w.control(before + 1).name = "?G1:W1_DAOD:Prompt:2";
}

void BuildButtons(rt::Window& w, Controls& c, int top) {
    rt::Control ok = kit::PushButton("?OkButton", "Dalje", {200, top, 50, 14}, "", "");
    ok.isDefault = true;
    c.ok = w.add(std::move(ok));
    c.cancel = w.add(kit::PushButton("?CancelButton", "Izlaz", {254, top, 50, 14}, "", ""));
}

Controls BuildAll(rt::Window& w) {
    Controls c;
    BuildClub(w, c);
    BuildPeriod(w, 44);
    BuildButtons(w, c, 104);
    return c;
}

// L1:W1_PRE: 45 characters of the member's name.
thread_local rt::Text<45> L1_W1_PRE;

Controls BuildOne(rt::Window& w) {
    Controls c;
    BuildClub(w, c);
    // clang-format off
    c.member = kit::AddQueryCode(w,
                                 {"Šifra člana PD:", {8, 42}, "?G1:W1_SIF", {64, 42, 36, 10},
                                  "@n_6", "Šifra člana PD", "?CallLookup:3", {102, 41, 12, 12},
                                  "?L1:W1_PRE", {118, 42, 188, 10}, "@s45"},
                                 G1::W1_SIF, rt::bindText(L1_W1_PRE.bytes.data(), 45));
    // clang-format on
    BuildPeriod(w, 60);
    BuildButtons(w, c, 108);
    return c;
}

class FeeQuery : public QueryWindowProcedure {
  public:
    FeeQuery(const char* procedure, void (*list)(), const Controls& c, rt::Window& w,
             EnterByTabClass& ebt, ToolbarClass& tb, WindowResizeClass&)
        : QueryWindowProcedure(procedure, 1, c.ok, c.cancel, w, ebt, tb), c_(c) {
        Next = list;
        AddFiles({Relate::CLANOVI, Relate::PLAND, Relate::PLANSA});
        AddLookupIn(Lookups, FileId::PLANSA, QueryLookup(c.federation, G1::W1_SPS));
        AddLookupIn(Lookups, FileId::PLAND, QueryLookup(c.club, G1::W1_SIP));
        if (c.member.entry)
            AddLookupIn(Lookups, FileId::CLANOVI, QueryLookup(c.member, G1::W1_SIF));
        // The names are the record buffers as the last lookup left them.
        Lookups.ResetKind = LookupReset::ReadNothing;
    }

    void Update() override {
        QueryWindowProcedure::Update();
        MemberName();
    }

    void Reset(bool force = false) override {
        if (!InAcceptAllPass()) MemberName();
        QueryWindowProcedure::Reset(force);
    }

  private:
    // The one-member query shows the member buffer's surname, father's name
    // and given name, as the member lookup left them.
    void MemberName() {
        if (!c_.member.entry) return;
        const CLANOVI_Record& m =
            *static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
        L1_W1_PRE = FullName(m);  // cut to its width
    }

    const Controls& c_;
};

}  // namespace

void UpitCLANAR() {
    L1_W1_PRE.clear();
    RunWindow<FeeQuery>(kit::QueryWindowDesc(311, 129, "Upit članarine za sve članove"), BuildAll,
                        "UpitCLANAR", &ObradaCLANAR);
}

void UpitCLANAR1() {
    L1_W1_PRE.clear();
    RunWindow<FeeQuery>(kit::QueryWindowDesc(311, 131, "Upit članarine za jednog člana"), BuildOne,
                        "UpitCLANAR1", &ObradaCLANAR1);
}
