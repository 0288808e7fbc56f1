// The member record card: the member's register data with his photo, the
// date of the club's last data update, the name, address and qualification
// lines built from their parts, the status in words, the long texts in
// boxes, framed by lines. One card fills a page.
#include "members/print_clanov.h"
#include "members/record_card.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <string>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/member_name.h"
#include "framework/globals.h"
#include "framework/report.h"
#include "framework/report_kit.h"
#include "framework/window_kit.h"
#include "runtime/held_files.h"
#include "runtime/image/image.h"
#include "runtime/report/report.h"
#include "runtime/window/window.h"

namespace {

namespace rep = rt::report;
using Kind = rep::Control::Kind;
using reportkit::Arial;

constexpr const char* OneFilter =
    "CLA:M1_SPS = G1:W1_SPS AND CLA:M1_SIP = G1:W1_SIP AND CLA:M1_SIF = G1:W1_SIF";
constexpr const char* RangeFilter =
    "CLA:M1_SPS = G1:W1_SPS AND CLA:M1_SIP = G1:W1_SIP AND CLA:M1_SIF => G1:W1_SIFOD AND "
    "CLA:M1_SIF <= G1:W1_SIFDO";

CLANOVI_Record& Member() {
    return *static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
}
template <FileId F, class Record>
Record& Buffer() {
    return *static_cast<Record*>(fileStructure(F).record());
}

rep::Control Label(const char* utf8, int x, int y, rt::Font font) {
    rep::Control c;
    c.kind = Kind::String;
    c.name = "?String";
    c.text = kit::WindowText(utf8);
    c.x = x;
    c.y = y;
    c.hasFont = true;
    c.font = std::move(font);
    return c;
}

rep::Control Value(const char* name, rep::Source v, const char* picture, int x, int y, int w,
                   rt::Font font) {
    rep::Control c;
    c.kind = Kind::Field;
    c.name = name;
    c.value = std::move(v);
    c.picture = picture;
    c.x = x;
    c.y = y;
    c.w = w;
    c.hasFont = true;
    c.font = std::move(font);
    return c;
}

rep::Control Box(const char* name, rep::Source v, int x, int y, int w, int h) {
    rep::Control c;
    c.kind = Kind::Text;
    c.name = name;
    c.value = std::move(v);
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    c.hasFont = true;
    c.font = Arial(8);
    return c;
}

rep::Control Line(int x, int y, int w, int h) {
    rep::Control c;
    c.kind = Kind::Line;
    c.name = "?Line";
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    return c;
}

rep::Band Band(const char* name, int w, int h) {
    rep::Band b;
    b.name = name;
    b.w = w;
    b.h = h;
    b.hasFont = true;
    b.font = Arial(8);
    return b;
}

}  // namespace

rep::Report RecordCard(bool range, RecordCardLocals& l) {
    const CLANOVI_Record& m = Member();
    const auto& na1 = Buffer<FileId::NACUC, NACUC_Record>();
    const auto& kat = Buffer<FileId::KATEG, KATEG_Record>();
    const auto& dat = Buffer<FileId::DATAZUR, DATAZUR_Record>();
    rep::Report r;
    r.jobTitle = "CLANAR Report";
    r.x = 200;
    r.y = 400;
    r.w = 8000;
    r.h = 11000;
    r.font = rt::Font{"MS Sans Serif", 8};

    rep::Band d = Band("?Detail1", 7990, range ? 10948 : 10854);
    d.add(Label("MATIČNI KARTON ČLANA PLANINARSKOG SAVEZA ORVALIJE", 1646, 104, Arial(10, true)));
    d.add(Label("Broj matičnog kartona:", 2719, 333, Arial(10, true)));
    d.add(Value("?CLA:M1_EVB", rep::Source::of(m.M1_EVB), "@s10", 4271, 333, 0, Arial(10, true)));
    d.add(Label("Podaci ažurirani sa: ", 2979, 594, Arial(8)));
    d.add(Value("?DAT:DAN_DAD", rep::Source::of(dat.DAN_DAD), "@d6.", 4042, 594, 698,
                Arial(8, true)));
    rep::Control photo;
    photo.kind = Kind::Image;
    photo.name = "?Image1";
    photo.value = rep::Source::of(l.L1_W1_PUTFOTOS);
    if (range)
        photo.x = 2979, photo.y = 896, photo.w = 1677, photo.h = 1354;
    else
        photo.x = 2979, photo.y = 875, photo.w = 1615, photo.h = 1333;
    d.add(std::move(photo));

    d.add(Label("Lični podaci", 625, 2573, Arial(10, true)));
    struct Row {
        const char* label;
        int lx, ly;
        const char* name;
        rep::Source value;
        const char* picture;
        int vx, vy, w;
        bool small;  // the value in 8 points (the mountaineering data), else 9
    };
    const Row rows[] = {
        {"Ime (očevo ime) i prezime:", 781, 2844, "?L1:W1_ADMJE", rep::Source::of(l.L1_W1_ADMJE),
         "@s80", 2385, 2844, 4906, false},
        {"Lična kart broj:", 781, 3125, "?CLA:M1_BLK", rep::Source::of(m.M1_BLK), "@s20", 1740,
         3135, 0, false},
        {"Matični broj:", 781, 3406, "?CLA:M1_JMB", rep::Source::of(m.M1_JMB), "@s15", 1583, 3417,
         0, false},
        {"Datum rođenja:", 781, 3667, "?CLA:M1_DRO", rep::Source::of(m.M1_DRO), "@d6.", 1760, 3677,
         0, false},
        {"Adresa i telefon stanovanja:", 781, 3948, "?L1:W1_PRE", rep::Source::of(l.L1_W1_PRE),
         "@s65", 2500, 3948, 4823, false},
        {"Stručna sprema i zanimanje:", 781, 4219, "?L1:W1_SPZAN", rep::Source::of(l.L1_W1_SPZAN),
         "@s65", 2500, 4229, 4708, false},
        // The two date labels end with a line break in the layout; it
        // prints nothing.
        {"Član planianarskog društva:", 781, 5083, "?CLA:M1_CDA", rep::Source::of(m.M1_CDA), "@d6.",
         2531, 5104, 0, true},
        {"Datum učlanjenja u sadašnje planinarsko društvo:", 781, 5344, "?CLA:M1_DCA",
         rep::Source::of(m.M1_DCA), "@d6.", 3802, 5354, 0, true},
        {"Evidencioni broj u planinarskom društvu:", 781, 5594, "?CLA:M1_EVB:2",
         rep::Source::of(m.M1_EVB), "@s10", 3292, 5615, 0, true},
        {"Način učlanjivanja:", 781, 5844, "?NA1:NA1_NAZ", rep::Source::of(na1.NA1_NAZ), "@s60",
         2010, 5865, 3833, true},
        {"Kategorije članstva:", 781, 7927, "?KAT:K1_NAZ", rep::Source::of(kat.K1_NAZ), "@s60",
         1948, 7937, 4042, true},
        {"Status članstva:", 781, 8229, "?L1:W1_NAZST", rep::Source::of(l.L1_W1_NAZST), "@s20",
         1760, 8240, 0, true},
    };
    for (const Row& row : rows) {
        d.add(Label(row.label, row.lx, row.ly, Arial(9)));
        d.add(Value(row.name, row.value, row.picture, row.vx, row.vy, row.w,
                    Arial(row.small ? 8 : 9, true)));
    }
    d.add(Label("Planinarski podaci", 625, 4812, Arial(10, true)));
    d.add(Label("Predhodna članstva u drugim", 781, 6208, Arial(9)));
    d.add(Label("planinarskim društvima:", 781, 6375, Arial(9)));
    d.add(Box("?CLA:M1_CLP", rep::Source::of(m.M1_CLP), 2646, 6177, 4646, 417));
    d.add(Label("Planinarska priznanja:", 781, 6937, Arial(9)));
    d.add(Box("?CLA:M1_PRZ", rep::Source::of(m.M1_PRZ), 2646, 6823, 4646, 417));
    d.add(Label("Planinarska stručna zvanja:", 781, 7490, Arial(9)));
    d.add(Box("?CLA:M1_NIZ", rep::Source::of(m.M1_NIZ), 2646, 7365, 4646, 417));
    d.add(Label("Napomena", 500, 8698, Arial(10, true)));
    d.add(Box("?CLA:M1_NAP", rep::Source::of(m.M1_NAP), 646, 9073, 6667, 542));
    d.add(Label("Potpis i pečat", 5969, 9937, Arial(8, true)));
    d.add(Label(std::string(63, '.').c_str(), 5448, 10375, Arial(8)));

    // The frame: the rows' lines, the two sides, the remark's box.
    for (int y : {2375, 2771, 3052, 3323, 3604, 3865, 4156, 4448, 5010, 5281,
                  5542, 5792, 6052, 6719, 7292, 7844, 8135, 8437, 8979, 9698})
        d.add(Line(479, y, 6937, 0));
    d.add(Line(479, 2375, 0, 8427 - 2375));
    d.add(Line(7448, 2375, 0, 8437 - 2375));
    d.add(Line(490, 8979, 0, 9698 - 8979));
    d.add(Line(7448, 8979, 0, 9698 - 8979));
    r.details.push_back(std::move(d));

    // Breaks over the member's codes; their footers print nothing.
    const char* names[] = {"?Break1", "?Break2", "?Break3"};
    const std::int32_t* by[] = {&m.M1_SPS, &m.M1_SIP, &m.M1_SIF};
    for (int i = 0; i < 3; ++i) {
        rep::Break& b = r.addBreak(names[i], rep::Source::of(*by[i]));
        b.footer = std::make_unique<rep::Band>(
            Band(("?GroupFooter" + std::to_string(3 - i)).c_str(), 8000, 0));
    }
    return r;
}

namespace {

// The photo path when it names an image file that can be read here, else
// blank: a card whose photo cannot be read prints without one. Only the
// file's signature is read; decoding waits for the page to be drawn.
std::string ReadablePhoto(std::string_view cp1250Path) {
    const std::optional<std::string> file = rt::pictureFile(cp1250Path);
    if (!file) return {};
    const int fd = rt::openUnheld(*file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    std::array<std::uint8_t, 64> head{};
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::uint64_t>(st.st_size) <= rt::image::MaxFileBytes)
        n = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (n <= 0) return {};
    // By the signature alone: every format read here has one, and a file
    // that only its name calls an image holds none.
    const auto format = rt::image::formatOf(
        std::span<const std::uint8_t>(head.data(), static_cast<std::size_t>(n)), {});
    return format == rt::image::Format::Unknown ? std::string() : std::string(cp1250Path);
}

}  // namespace

void RecordCardLines(RecordCardLocals& l) {
    const CLANOVI_Record& m = Member();
    const auto& stu = Buffer<FileId::STUPEM, STUPEM_Record>();
    auto part = [](const auto& t) { return std::string(t.trimmed()); };
    // Every separator is written, also before an empty part.
    l.L1_W1_PRE =
        part(m.M1_ADR) + ", " + part(m.M1_MST) + ", " + part(m.M1_FTE) + ", " + part(m.M1_FMO);
    l.L1_W1_ADMJE = FullName(m);
    l.L1_W1_SPZAN = part(stu.STU_NAS) + ", " + part(m.M1_ZAN);
    l.L1_W1_NAZST = m.M1_STC == 1 ? "Stalni" : "Povremeni";
    // The photo of the row being printed, which the view reads: never what
    // another window left in the buffer.
    l.L1_W1_PUTFOTOS = ReadablePhoto(m.M1_PUS.view());
}

void RecordCardView(rt::View& view) {
    rt::FileStructure& members = view.primary();
    for (const char* f :
         {"CLA:M1_SPS", "CLA:M1_SIP", "CLA:M1_SIF", "CLA:M1_PRE", "CLA:M1_IME", "CLA:M1_IOC",
          "CLA:M1_BLK", "CLA:M1_JMB", "CLA:M1_DRO", "CLA:M1_ADR", "CLA:M1_MST", "CLA:M1_KVA",
          "CLA:M1_ZAN", "CLA:M1_STC", "CLA:M1_CDA", "CLA:M1_DCA", "CLA:M1_EVB", "CLA:M1_SNU",
          "CLA:M1_CLP", "CLA:M1_PRZ", "CLA:M1_NIZ", "CLA:M1_SIK", "CLA:M1_FTE", "CLA:M1_FMO",
          "CLA:M1_NAP", "CLA:M1_PUS"})
        view.project(rt::FieldOf(members, f));
    auto join = [&](FileId file, const char* key, std::initializer_list<const char*> on,
                    const char* field) {
        rt::FileStructure& f = fileStructure(file);
        std::vector<rt::FieldRef> linking;
        for (const char* o : on) linking.push_back(rt::FieldOf(members, o));
        view.join(f, rt::KeyOf(f, key).index, std::move(linking));
        view.project(rt::FieldOf(f, field));
    };
    join(FileId::STUPEM, "STU:KeyK1_KVA", {"CLA:M1_KVA"}, "STU:STU_NAS");
    join(FileId::NACUC, "NA1:KeyK1_SNU", {"CLA:M1_SNU"}, "NA1:NA1_NAZ");
    join(FileId::KATEG, "KAT:KeyK1_SIK", {"CLA:M1_SIK"}, "KAT:K1_NAZ");
    join(FileId::DATAZUR, "DAT:KeySPSSIP", {"CLA:M1_SPS", "CLA:M1_SIP"}, "DAT:DAN_DAD");
}

void RecordCardBind(bool range) {
    rt::bind("G1:W1_SPS", &G1::W1_SPS);
    rt::bind("G1:W1_SIP", &G1::W1_SIP);
    if (range) {
        rt::bind("G1:W1_SIFOD", &G1::W1_SIFOD);
        rt::bind("G1:W1_SIFDO", &G1::W1_SIFDO);
    } else {
        rt::bind("G1:W1_SIF", &G1::W1_SIF);
    }
}

void RecordCardReads(ProcessClass& process, bool range) {
    process.AddSortOrder(rt::KeyOf(fileStructure(FileId::CLANOVI), "CLA:KeyM1_UKUPNO").index);
    process.SetFilter(range ? RangeFilter : OneFilter);
}

namespace {

class ThisWindowClass : public ReportProcedure {
  public:
    ThisWindowClass(const char* procedure, bool range, RecordCardLocals& l, rep::Report& report,
                    std::uint8_t& thermometer, const ProgressIds& ids, rt::Window& w,
                    EnterByTabClass& ebt)
        : ReportProcedure(procedure,
                          {.file = fileStructure(FileId::CLANOVI),
                           .relate = Relate::CLANOVI,
                           .progressField = "CLA:M1_SPS",
                           .stepOptions = 4,
                           .report = report,
                           .detail = "?Detail1"},
                          thermometer, ids, w, ebt),
          range_(range),
          l_(l) {}

  protected:
    void Bind() override { RecordCardBind(range_); }
    void SetUpView(rt::View& view) override { RecordCardView(view); }
    void SetUpReads(ProcessClass& process) override { RecordCardReads(process, range_); }
    void TakeLines() override { RecordCardLines(l_); }

  private:
    bool range_;
    RecordCardLocals& l_;
};

void RunCards(const char* procedure, bool range) {
    RecordCardLocals l;
    rep::Report Report = RecordCard(range, l);
    RunReport<ThisWindowClass>(l.Progress_Thermometer, procedure, range, l, Report);
}

}  // namespace

void PrintCLANOV() {
    RunCards("PrintCLANOV", false);
}

void PrintCLANOV1() {
    RunCards("PrintCLANOV1", true);
}
