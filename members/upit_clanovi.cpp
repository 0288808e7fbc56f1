// The card query: its entries edit the shared selection values directly
// (federation, club and the range of member codes); "Dalje" prints the
// cards of that selection on this thread.
#include "members/upit_clanovi.h"

#include "core/dictionary/dictionary.h"
#include "core/dictionary/lookups.h"
#include "core/frame/procedures.h"
#include "framework/query_window.h"

namespace {

struct Controls {
    kit::QueryCodeIds federation, club, from, to;
    int ok = 0, cancel = 0;
};

rt::Binding NameOf(FileId file, const char* label) {
    rt::FileStructure& f = fileStructure(file);
    return kit::BindField(f, rt::FieldOf(f, label).index);
}

Controls Build(rt::Window& w) {
    Controls c;
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
    rt::Control group;
    group.kind = rt::ControlKind::Group;
    group.name = "?Group2";
    group.text = kit::WindowText("Šifra člana PD");
    group.at = {8, 44, 200, 30};
    w.add(std::move(group));
    // clang-format off
    c.from = kit::AddQueryCode(w,
                               {"od:", {16, 57}, "?G1:W1_SIFOD", {32, 57, 40, 10}, "@n_6",
                                "Šifra člana PD - od", "?CallLookup:3", {74, 56, 12, 12}, nullptr,
                                {}, nullptr},
                               G1::W1_SIFOD);
    c.to = kit::AddQueryCode(w,
                             {"do:", {110, 57}, "?G1:W1_SIFDO", {126, 57, 40, 10}, "@n_6",
                              "Šifra člana PD do", "?CallLookup:4", {168, 56, 12, 12}, nullptr, {},
                              nullptr},
                             G1::W1_SIFDO);
    // clang-format on
    rt::Control ok = kit::PushButton("?OkButton", "Dalje", {200, 96, 50, 14}, "", "");
    ok.isDefault = true;
    c.ok = w.add(std::move(ok));
    c.cancel = w.add(kit::PushButton("?CancelButton", "Izlaz", {254, 96, 50, 14}, "", ""));
    return c;
}

class CardQuery : public QueryWindowProcedure {
  public:
    CardQuery(const Controls& c, rt::Window& w, EnterByTabClass& ebt, ToolbarClass& tb,
              WindowResizeClass&)
        : QueryWindowProcedure("UpitCLANOVI", 1, c.ok, c.cancel, w, ebt, tb) {
        Next = [] {
            if (auto p = FindProcedure("PrintCLANOV1")) p();
        };
        AddFiles({Relate::CLANOVI, Relate::PLAND, Relate::PLANSA});
        AddLookupIn(Lookups, FileId::PLANSA, QueryLookup(c.federation, G1::W1_SPS));
        AddLookupIn(Lookups, FileId::PLAND, QueryLookup(c.club, G1::W1_SIP));
        // Both ends of the range open the same member select window.
        AddLookupIn(Lookups, FileId::CLANOVI, QueryLookup(c.from, G1::W1_SIFOD));
        AddLookupIn(Lookups, FileId::CLANOVI, QueryLookup(c.to, G1::W1_SIFDO));
        Lookups.ResetKind = LookupReset::ReadNothing;
    }
};

}  // namespace

void UpitCLANOVI() {
    RunWindow<CardQuery>(kit::QueryWindowDesc(311, 120, "Kartoni za članove PD"), Build);
}
