// The activity report: per federation and club, one heading per member (his
// code, record number and full name) and a line per activity line of his
// (the running count over the whole report, the activity's code and its
// description, wrapped); the page header names the federation and club of
// the page's first line and the period chosen.
#include "activities/report.h"

#include <string>
#include <vector>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/member_name.h"
#include "framework/globals.h"
#include "framework/report.h"
#include "framework/report_kit.h"
#include "runtime/date.h"
#include "runtime/text.h"

namespace {

namespace rr = rt::report;
using reportkit::Field;
using reportkit::Rule;
using reportkit::Text;

struct Selection {
    const char* name;
    std::atomic<std::int32_t>* value;
};
const std::vector<Selection>& SelectionValues() {
    static const std::vector<Selection> values = {
        {"G1:W1_SPS", &G1::W1_SPS},     {"G1:W1_SIP", &G1::W1_SIP},
        {"G1:W1_SIFOD", &G1::W1_SIFOD}, {"G1:W1_SIFDO", &G1::W1_SIFDO},
        {"G1:W1_DAOD", &G1::W1_DAOD},   {"G1:W1_DADO", &G1::W1_DADO}};
    return values;
}

// The description, its values read from the thread's buffers and locals.
void Describe(rr::Report& r, ActivityReportLocals& L1) {
    constexpr auto R = rt::Align::Right;
    const rt::Font arial = reportkit::Arial(8);
    r.jobTitle = "CLANAR Report";
    r.font = rt::Font{"Arial", 8};
    r.x = 200;
    r.y = 1800;
    r.w = 8000;
    r.h = 9198;

    r.header = rr::Band{"?HEADER", 200, 250, 8021, 1479};
    r.header.hasFont = true;
    r.header.font = arial;
    rr::Band& h = r.header;
    h.add(Text("Planinarski savez:", 281, 31));
    h.add(Field("?PLA1:SP1_NPS", rr::Source::of(PLA1.SP1_NPS), "@s50", 1260, 42, 4000));
    h.add(Field("?PLA1:SP1_SJD", rr::Source::of(PLA1.SP1_SJD), "@s30", 1260, 167, 3000));
    h.add(Text("Planinarski društvo:", 208, 323));
    h.add(Field("?PLA:P1_NPD", rr::Source::of(PLA.P1_NPD), "@s50", 1260, 323, 4000));
    h.add(Field("?PLA:P1_SJD", rr::Source::of(PLA.P1_SJD), "@s30", 1260, 448, 3000));
    h.add(Text("Datum:", 6469, 94));
    h.add(Field("?L1:W1_DAD", rr::Source::of(L1.W1_DAD), "@d6.", 6844, 94, 1000, R));
    h.add(Text("Strana:", 6448, 375));
    h.add(Field("?L1:W1_STR", rr::Source::pageNumber(), "@n_4", 6875, 385, 500, R));
    rr::Control title = Text("Pregled aktivnosti članova PD", 2531, 615);
    title.hasFont = true;
    title.font = rt::Font{"Arial", 11, true, false, 0, 238};
    h.add(title);
    h.add(Text("Period od:", 5531, 656));
    h.add(Field("?G1:W1_DAOD", rr::Source::of(G1::W1_DAOD), "@d6.", 6229, 656, 650));
    h.add(Text("do:", 6896, 656));
    h.add(Field("?G1:W1_DADO", rr::Source::of(G1::W1_DADO), "@d6.", 7135, 656, 650));
    h.add(Rule(31, 906, 7854));
    h.add(Text("Šif-čl.PD", 417, 948));
    h.add(Text("Ev-broj", 969, 948));
    h.add(Text("Prezime i ime", 2000, 948));
    h.add(Text("R.broj", 979, 1177));
    h.add(Text("Sifra akt.", 1375, 1177));
    h.add(Text("Naziv aktivnosti", 2094, 1177));
    h.add(Rule(115, 1365, 7781));
    r.footer = rr::Band{"?FOOTER", 250, 10500, 8000, 0};
    r.form = rr::Band{"?FORM", 250, 250, 8000, 0};

    rr::Break& federation = r.addBreak("?BREAK1", rr::Source::of(ANG.A1_SPS));
    federation.footer = std::make_unique<rr::Band>(rr::Band{"?GROUPFOOTER3", 0, 0, 8000, 344});
    rr::Break& club = r.addBreak("?BREAK2", rr::Source::of(ANG.A1_SIP));
    club.footer = std::make_unique<rr::Band>(rr::Band{"?GROUPFOOTER2", 0, 0, 8000, 313});
    rr::Break& member = r.addBreak("?BREAK3", rr::Source::of(ANG.A1_SIF));
    member.header = std::make_unique<rr::Band>(rr::Band{"?GROUPHEADER5", 0, 0, 8000, 292});
    member.header->hasFont = true;
    member.header->font = rt::Font{"Arial Narrow", 8};
    const rt::Font bold{"Arial", 8, true, false, 0, 238};
    for (rr::Control c : {Field("?ANG:A1_SIF", rr::Source::of(ANG.A1_SIF), "@n_6", 365, 42, 500, R),
                          Field("?CLA:M1_EVB", rr::Source::of(CLA.M1_EVB), "@s10", 969, 31, 688),
                          Field("?L1:W1_PRE", rr::Source::of(L1.W1_PRE), "@s65", 1719, 31, 4875)}) {
        c.hasFont = true;
        c.font = bold;
        member.header->add(std::move(c));
    }
    member.header->add(Rule(375, 208, 6083));
    member.footer = std::make_unique<rr::Band>(rr::Band{"?GROUPFOOTER1", 0, 0, 8000, 0});
    r.addBreak("?BREAK4", rr::Source::of(ANG.A1_SIA));

    rr::Band detail{"?DETAIL1", 10, 0, 8000, 552};
    detail.hasFont = true;
    detail.font = arial;
    // The count of the details printed so far, over the whole report.
    rr::Control count = Field("?L1:W1_RED", {}, "@n_4", 833, 42, 250, R);
    count.total = rr::Total::Count;
    detail.add(std::move(count));
    detail.add(Field("?TUR:T1_SIA", rr::Source::of(TUR.T1_SIA), "@n_6", 1125, 42, 500, R));
    rr::Control description = Field("?TUR:T1_NAP", rr::Source::of(TUR.T1_NAP), "", 1708, 42, 6073);
    description.kind = rr::Control::Kind::Text;
    description.h = 469;
    detail.add(std::move(description));
    r.details.push_back(std::move(detail));
}

class ThisWindowClass : public ReportProcedure {
  public:
    ThisWindowClass(ActivityReportLocals& l, rr::Report& report, std::uint8_t& thermometer,
                    const ProgressIds& ids, rt::Window& progress, EnterByTabClass& ebt)
        : ReportProcedure("PrintaANGAZ",
                          {.file = fileStructure(FileId::ANGAZOV),
                           .relate = Relate::ANGAZOV,
                           .progressField = "ANG:A1_SPS",
                           .stepOptions = StepOption::Alpha,
                           .report = report,
                           .detail = "?DETAIL1"},
                          thermometer, ids, progress, ebt),
          L1(l) {}

    Level Kill() override {
        const Level l = ReportProcedure::Kill();
        ActivityReportBind(false);
        return l;
    }

  protected:
    void Bind() override { ActivityReportBind(true); }
    void SetUpView(rt::View& view) override { ActivityReportView(view); }
    void SetUpReads(ProcessClass& process) override { ActivityReportReads(process); }
    void TakeLines() override { ActivityReportTakeRecord(L1); }

  private:
    ActivityReportLocals& L1;
};

}  // namespace

void ActivityReportBind(bool bound) {
    for (const Selection& s : SelectionValues()) {
        if (bound)
            rt::bind(s.name, s.value);
        else
            rt::unbind(s.name);
    }
}

void ActivityReportView(rt::View& view) {
    rt::FileStructure& lines = fileStructure(FileId::ANGAZOV);
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    rt::FileStructure& clubs = fileStructure(FileId::PLAND);
    rt::FileStructure& kinds = fileStructure(FileId::TURPOS);
    rt::FileStructure& federations = fileStructure(FileId::PLANSA);
    for (const char* f : {"ANG:A1_DAT", "ANG:A1_SIA", "ANG:A1_SIF", "ANG:A1_SIP", "ANG:A1_SPS"})
        view.project(rt::FieldOf(lines, f));
    struct Join {
        rt::FileStructure& file;
        const char* key;
        const char* on;
        std::vector<const char*> fields;
    };
    for (const Join& j : std::vector<Join>{
             {members,
              "CLA:KeyM1_SIF",
              "ANG:A1_SIF",
              {"CLA:M1_EVB", "CLA:M1_IME", "CLA:M1_IOC", "CLA:M1_PRE"}},
             {clubs, "PLA:KeyP1_SIP", "ANG:A1_SIP", {"PLA:P1_NPD", "PLA:P1_SJD"}},
             {kinds, "TUR:KeyT1_SIA", "ANG:A1_SIA", {"TUR:T1_NAP", "TUR:T1_SIA"}},
             {federations, "PLA1:KeySP1_SPS", "ANG:A1_SPS", {"PLA1:SP1_NPS", "PLA1:SP1_SJD"}}}) {
        view.join(j.file, rt::KeyOf(j.file, j.key).index, {rt::FieldOf(lines, j.on)});
        for (const char* f : j.fields) view.project(rt::FieldOf(j.file, f));
    }
}

void ActivityReportReads(ProcessClass& process) {
    process.AddSortOrder(rt::KeyOf(fileStructure(FileId::ANGAZOV), "ANG:KeySIPSIFDAT").index);
    process.SetFilter(
        "ANG:A1_SPS = G1:W1_SPS AND ANG:A1_SIP = G1:W1_SIP AND ANG:A1_SIF => G1:W1_SIFOD AND "
        "ANG:A1_SIF <= G1:W1_SIFDO AND ANG:A1_DAT => G1:W1_DAOD AND ANG:A1_DAT <= G1:W1_DADO");
}

rr::Report ActivityReportDescription(ActivityReportLocals& locals) {
    rr::Report r;
    Describe(r, locals);
    return r;
}

void ActivityReportTakeRecord(ActivityReportLocals& L1) {
    // Made in the local's own storage: a line's name costs no allocation.
    std::string& name = L1.W1_PRE;
    FullName(CLA, name);
    if (name.size() > 65) name.resize(65);
    L1.W1_DAD = rt::today();
}

void PrintaANGAZ() {
    ActivityReportLocals L1;
    rr::Report Report = ActivityReportDescription(L1);
    std::uint8_t thermometer = 0;
    RunReport<ThisWindowClass>(thermometer, L1, Report);
}
