// The fee reports: the ledger lines of the shared selection in key order,
// one detail line each with its saldo, a footer per club with the sums of
// its lines, the page header with the names of the line that opens the
// page. The selection is read through a filter that names the shared
// values, as they stand when the report reads.
#include "fees/print_clanar.h"

#include <string>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/member_name.h"
#include "framework/globals.h"
#include "framework/report.h"
#include "framework/report_kit.h"
#include "framework/window_kit.h"
#include "runtime/date.h"
#include "runtime/report/report.h"

namespace {

namespace rep = rt::report;
using Kind = rep::Control::Kind;
using reportkit::Arial;
using reportkit::Field;
constexpr rt::Align R = rt::Align::Right;

constexpr const char* ClubFilter =
    "CLA1:CL_SPS = G1:W1_SPS AND CLA1:CL_SIP = G1:W1_SIP  AND CLA1:CL_DAD => G1:W1_DAOD AND   "
    "CLA1:CL_DAD <= G1:W1_DADO";
constexpr const char* MemberFilter =
    "CLA1:CL_SPS = G1:W1_SPS AND CLA1:CL_SIP = G1:W1_SIP AND CLA1:CL_SIF = G1:W1_SIF AND "
    "CLA1:CL_DAD => G1:W1_DAOD AND   CLA1:CL_DAD <= G1:W1_DADO";

// The procedure's locals (print_clanar.h).
using Locals = FeeReportLocals;

rep::Control Text(const char* name, const char* utf8, int x, int y) {
    rep::Control c;
    c.kind = Kind::String;
    c.name = name;
    c.text = kit::WindowText(utf8);
    c.x = x;
    c.y = y;
    return c;
}

rep::Control Titled(rep::Control c, rt::Font f) {
    c.hasFont = true;
    c.font = std::move(f);
    return c;
}

rep::Control Sum(rep::Control c) {
    c.total = rep::Total::Sum;
    c.reset = {"?Break2"};
    return c;
}

rep::Control Line(const char* name, int x, int y, int w, int h) {
    rep::Control c;
    c.kind = Kind::Line;
    c.name = name;
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    return c;
}

rep::Band BandAt(const char* name, int x, int y, int w, int h) {
    rep::Band b;
    b.name = name;
    b.x = x;
    b.y = y;
    b.w = w;
    b.h = h;
    b.hasFont = true;
    b.font = Arial(8);
    return b;
}

CLANAR_Record& Line() {
    return *static_cast<CLANAR_Record*>(fileStructure(FileId::CLANAR).record());
}
template <FileId F, class Record>
Record& Buffer() {
    return *static_cast<Record*>(fileStructure(F).record());
}

// The heading both reports share: federation and club with their seats,
// today's date and the page number.
void AddHeading(rep::Band& h, Locals& l, int clubLabelX, int clubY, const char* clubLabel) {
    const auto& pla1 = Buffer<FileId::PLANSA, PLANSA_Record>();
    const auto& pla = Buffer<FileId::PLAND, PLAND_Record>();
    h.add(Text("?String1", "Planinarski savez:", 281, 31));
    h.add(Field("?PLA1:SP1_NPS", rep::Source::of(pla1.SP1_NPS), "@s50", 1260, 42, 3208));
    h.add(Field("?PLA1:SP1_SJD", rep::Source::of(pla1.SP1_SJD), "@s30", 1260, 167));
    h.add(Text("?String1:2", clubLabel, clubLabelX, clubY));
    h.add(Field("?PLA:P1_NPD", rep::Source::of(pla.P1_NPD), "@s50", 1260, clubY));
    h.add(Field("?PLA:P1_SJD", rep::Source::of(pla.P1_SJD), "@s30", 1260, clubY + 125));
    h.add(Text("?String7", "Datum:", 6469, 94));
    h.add(Field("?L1:W1_DAD", rep::Source::of(l.L1_W1_DAD), "@d6.", 6844, 94, 0, R));
    h.add(Text("?String7:2", "Strana:", 6448, 375));
    h.add(Field("?L1:W1_STR", rep::Source::pageNumber(), "@n_4", 6875, 385, 0, R));
}

void AddHeadings(rep::Band& h, int y, const std::vector<std::pair<const char*, int>>& headings) {
    int n = 0;
    for (const auto& [text, x] : headings) {
        const std::string name = "?String" + std::to_string(20 + n++);
        rep::Control c = Text("", text, x, y);
        c.name = name;
        h.add(std::move(c));
    }
}

// The three nested breaks by federation, club and member; the club's footer
// carries the sums, the others print nothing or a gap.
void AddBreaks(rep::Report& r, rep::Band clubFooter, int federationGap) {
    CLANAR_Record& cl = Line();
    rep::Break& b1 = r.addBreak("?Break1", rep::Source::of(cl.CL_SPS));
    b1.footer = std::make_unique<rep::Band>(BandAt("?GroupFooter3", 0, 0, 8000, federationGap));
    rep::Break& b2 = r.addBreak("?Break2", rep::Source::of(cl.CL_SIP));
    b2.footer = std::make_unique<rep::Band>(std::move(clubFooter));
    rep::Break& b3 = r.addBreak("?Break3", rep::Source::of(cl.CL_SIF));
    b3.footer = std::make_unique<rep::Band>(BandAt("?GroupFooter1", 0, 0, 8000, 0));
}

rep::Report Common(int detailTop) {
    rep::Report r;
    r.jobTitle = "CLANAR Report";
    r.x = 200;
    r.y = detailTop;
    r.w = 8000;
    r.h = 9198;
    r.font = rt::Font{"MS Sans Serif", 8};
    r.footer = BandAt("?Footer", 250, 10500, 8000, 0);
    r.form = BandAt("?Form", 250, 250, 8000, 0);
    return r;
}

// All members of one club.
rep::Report ClubReport(Locals& l) {
    CLANAR_Record& cl = Line();
    const auto& cla = Buffer<FileId::CLANOVI, CLANOVI_Record>();
    rep::Report r = Common(1500);
    r.header = BandAt("?Header", 200, 250, 8021, 1198);
    AddHeading(r.header, l, 208, 323, "Planinarski društvo:");
    r.header.add(Titled(Text("?String11", "Pregled članarine", 3156, 635), Arial(11, true)));
    r.header.add(Line("?Line4", 31, 906, 7938, 0));
    AddHeadings(r.header, 969,
                {{"R.broj", 52},
                 {"Šif-čl.PD", 417},
                 {"Ev-broj", 969},
                 {"Prezime i ime", 2000},
                 {"Duguje", 5865},
                 {"Potražuje", 6552},
                 {"Saldo", 7479}});
    r.header.add(Line("?Line4:2", 21, 1167, 7938, 0));

    rep::Band d = BandAt("?Detail1", 0, 0, 7990, 219);
    rep::Control count = Field("?L1:W1_RED:2", {}, "@n_4", 94, 42, 0, R);
    count.total = rep::Total::Count;  // never reset: the lines of the whole report
    d.add(std::move(count));
    d.add(Field("?CLA1:CL_SIF", rep::Source::of(cl.CL_SIF), "@n_6", 406, 42, 0, R));
    d.add(Field("?CLA:M1_EVB", rep::Source::of(cla.M1_EVB), "@s10", 875, 42, 688));
    d.add(Field("?L1:W1_PRE", rep::Source::of(l.L1_W1_PRE), "@s65", 1573, 42, 4021));
    d.add(Field("?CLA1:CL_DUG", rep::Source::of(cl.CL_DUG), "@n-14.`2", 5688, 42, 521, R));
    d.add(Field("?CLA1:CL_POD", rep::Source::of(cl.CL_POD), "@n-15.`2", 6302, 42, 719, R));
    d.add(Field("?L1:W1_SDO", rep::Source::of(l.L1_W1_SDO), "@n-13.`2", 7115, 42, 646, R));
    r.details.push_back(std::move(d));

    rep::Band club = BandAt("?GroupFooter2", 0, 0, 8000, 313);
    club.font = Arial(8, true);
    club.add(Text("?String30", "Ukupno planinarsko društvo:", 3677, 63));
    club.add(
        Sum(Field("?CLA1:CL_DUG:2", rep::Source::of(cl.CL_DUG), "@n-14.`2", 5427, 63, 771, R)));
    club.add(
        Sum(Field("?CLA1:CL_POD:2", rep::Source::of(cl.CL_POD), "@n-15.`2", 6292, 63, 719, R)));
    club.add(
        Sum(Field("?L1:W1_SDO:2", rep::Source::of(l.L1_W1_SDO), "@n-13.`2", 7073, 63, 677, R)));
    AddBreaks(r, std::move(club), 344);
    return r;
}

// One member: his code, name, category and record number in the heading.
rep::Report MemberReport(Locals& l) {
    CLANAR_Record& cl = Line();
    const auto& cla = Buffer<FileId::CLANOVI, CLANOVI_Record>();
    const auto& kat = Buffer<FileId::KATEG, KATEG_Record>();
    rep::Report r = Common(1780);
    r.header = BandAt("?Header", 200, 250, 8021, 1385);
    AddHeading(r.header, l, 146, 302, "Planinarski sdruštvo:");
    r.header.add(Titled(Text("?String11", "Pregled članarine", 3271, 365), Arial(10, true)));
    r.header.add(Text("?String1:3", "Član PD:", 1292, 677));
    r.header.add(Field("?CLA1:CL_SIF", rep::Source::of(cl.CL_SIF), "@n_6", 1719, 677, 0, R));
    r.header.add(Field("?L1:W1_PRE", rep::Source::of(l.L1_W1_PRE), "@s65", 2302, 677, 4156));
    r.header.add(Text("?String1:4", "Kategorija:", 1156, 854));
    r.header.add(Field("?KAT:K1_SIK", rep::Source::of(kat.K1_SIK), "@n_2", 1740, 854, 0, R));
    r.header.add(Field("?KAT:K1_NAZ", rep::Source::of(kat.K1_NAZ), "@s60", 2021, 854, 3896));
    r.header.add(Text("?String12:3", "Ev-broj", 6031, 854));
    r.header.add(Field("?CLA:M1_EVB", rep::Source::of(cla.M1_EVB), "@s10", 6542, 854, 688));
    r.header.add(Line("?Line4", 146, 1052, 7677, 0));
    AddHeadings(r.header, 1135,
                {{"R.broj", 1010},
                 {"Dokumenat", 1562},
                 {"Datum", 3406},
                 {"Duguje", 4646},
                 {"Potražuje", 5437},
                 {"Saldo", 6531}});
    r.header.add(Line("?Line4:2", 146, 1333, 7677, 0));

    rep::Band d = BandAt("?Detail1", 0, 0, 7990, 219);
    rep::Control count = Field("?L1:W1_RED:2", {}, "@n_4", 1000, 42, 0, R);
    count.total = rep::Total::Count;
    d.add(std::move(count));
    d.add(Field("?CLA1:CL_DOK", rep::Source::of(cl.CL_DOK), "@s25", 1479, 42, 1667));
    d.add(Field("?CLA1:CL_DAD", rep::Source::of(cl.CL_DAD), "@d6.", 3344, 42));
    d.add(Field("?CLA1:CL_DUG", rep::Source::of(cl.CL_DUG), "@n-14.`2", 4146, 42, 844, R));
    d.add(Field("?CLA1:CL_POD", rep::Source::of(cl.CL_POD), "@n-15.`2", 5094, 42, 813, R));
    d.add(Field("?L1:W1_SDO", rep::Source::of(l.L1_W1_SDO), "@n-13.`2", 5990, 42, 823, R));
    r.details.push_back(std::move(d));

    rep::Band member = BandAt("?GroupFooter2", 0, 0, 8000, 313);
    member.font = Arial(8, true);
    member.add(Text("?String30", "Ukupno za člana PD::", 2979, 63));
    member.add(
        Sum(Field("?CLA1:CL_DUG:2", rep::Source::of(cl.CL_DUG), "@n-14.`2", 4229, 63, 771, R)));
    member.add(
        Sum(Field("?CLA1:CL_POD:2", rep::Source::of(cl.CL_POD), "@n-15.`2", 5094, 63, 823, R)));
    member.add(
        Sum(Field("?L1:W1_SDO:2", rep::Source::of(l.L1_W1_SDO), "@n-13.`2", 6052, 63, 781, R)));
    AddBreaks(r, std::move(member), 0);
    return r;
}

// Only the fields the report prints, with outer joins: a line whose
// member, federation or club has no row prints blank names.
void LedgerView(rt::View& view, bool member) {
    rt::FileStructure& ledger = view.primary();
    auto join = [&](FileId file, const char* key, const char* on,
                    std::initializer_list<const char*> fields) {
        rt::FileStructure& f = fileStructure(file);
        view.join(f, rt::KeyOf(f, key).index, {rt::FieldOf(ledger, on)});
        for (const char* field : fields) view.project(rt::FieldOf(f, field));
    };
    for (const char* f : {"CLA1:CL_DAD", "CLA1:CL_DUG", "CLA1:CL_POD", "CLA1:CL_RED", "CLA1:CL_SIF",
                          "CLA1:CL_SIP", "CLA1:CL_SPS"})
        view.project(rt::FieldOf(ledger, f));
    if (member) {
        view.project(rt::FieldOf(ledger, "CLA1:CL_DOK"));
        view.project(rt::FieldOf(ledger, "CLA1:CL_SIK"));
        join(FileId::KATEG, "KAT:KeyK1_SIK", "CLA1:CL_SIK", {"KAT:K1_NAZ", "KAT:K1_SIK"});
    }
    join(FileId::PLANSA, "PLA1:KeySP1_SPS", "CLA1:CL_SPS", {"PLA1:SP1_NPS", "PLA1:SP1_SJD"});
    join(FileId::PLAND, "PLA:KeyP1_SIP", "CLA1:CL_SIP", {"PLA:P1_NPD", "PLA:P1_SJD"});
    join(FileId::CLANOVI, "CLA:KeyM1_SIF", "CLA1:CL_SIF",
         {"CLA:M1_EVB", "CLA:M1_IME", "CLA:M1_IOC", "CLA:M1_PRE"});
}

// The lines in key order, the selection's.
void LedgerReads(ProcessClass& process, bool member) {
    process.AddSortOrder(rt::KeyOf(fileStructure(FileId::CLANAR), "CLA1:KeyCL_UKP").index);
    process.SetFilter(member ? MemberFilter : ClubFilter);
}

class ThisWindowClass : public ReportProcedure {
  public:
    ThisWindowClass(const char* procedure, bool member, Locals& l, rep::Report& report,
                    std::uint8_t& thermometer, const ProgressIds& ids, rt::Window& w,
                    EnterByTabClass& ebt)
        : ReportProcedure(procedure,
                          {.file = fileStructure(FileId::CLANAR),
                           .relate = Relate::CLANAR,
                           .progressField = "CLA1:CL_SPS",
                           .stepOptions = 4,
                           .report = report,
                           .detail = "?Detail1"},
                          thermometer, ids, w, ebt),
          member_(member),
          l_(l) {}

  protected:
    void Bind() override {
        FeeReportBind(true);
        if (member_) rt::bind("G1:W1_SIF", &G1::W1_SIF);
    }
    void SetUpView(rt::View& view) override { LedgerView(view, member_); }
    void SetUpReads(ProcessClass& process) override { LedgerReads(process, member_); }
    void TakeLines() override { FeeReportTakeRecord(l_); }

  private:
    bool member_;
    Locals& l_;
};

void RunLedgerReport(const char* procedure, bool member) {
    Locals l;
    rep::Report Report = member ? MemberReport(l) : ClubReport(l);
    RunReport<ThisWindowClass>(l.Progress_Thermometer, procedure, member, l, Report);
}

}  // namespace

rt::report::Report FeeReportDescription(FeeReportLocals& locals) {
    return ClubReport(locals);
}

void FeeReportTakeRecord(FeeReportLocals& l) {
    const auto& cla = Buffer<FileId::CLANOVI, CLANOVI_Record>();
    const CLANAR_Record& cl = Line();
    l.L1_W1_PRE = FullName(cla);
    l.L1_W1_DAD = rt::today();
    l.L1_W1_SDO = rt::saldo(cl.CL_DUG, cl.CL_POD);
}

void FeeReportView(rt::View& view) {
    LedgerView(view, false);
}

void FeeReportReads(ProcessClass& process) {
    LedgerReads(process, false);
}

void FeeReportBind(bool bound) {
    for (const auto& [name, value] : {std::pair{"G1:W1_SPS", &G1::W1_SPS},
                                      {"G1:W1_SIP", &G1::W1_SIP},
                                      {"G1:W1_DAOD", &G1::W1_DAOD},
                                      {"G1:W1_DADO", &G1::W1_DADO}}) {
        if (bound)
            rt::bind(name, value);
        else
            rt::unbind(name);
    }
}

void PrintCLANAR() {
    RunLedgerReport("PrintCLANAR", false);
}

void PrintCLANAR1() {
    RunLedgerReport("PrintCLANAR1", true);
}
