#include "reports/report_pages.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "activities/report.h"
#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "fees/print_clanar.h"
#include "framework/globals.h"
#include "members/print_clanov.h"
#include "runtime/clock.h"
#include "runtime/image_fixtures.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"
#include "support/temp_dir.h"
#include "tests/runtime/window_harness.h"

namespace reportpages {

namespace {

// 10.01.2024 to 10.03.2024.
constexpr int PeriodFrom = 81462;
constexpr int PeriodTo = PeriodFrom + 60;

// The selection every report reads: federation 1, club 3; member 17 for the
// one-member fee report and the single card; members 17 to 999999 for the
// cards of a range and the activity report; the period for the fee and
// activity reports.
void Select() {
    G1::W1_SPS = 1;
    G1::W1_SIP = 3;
    G1::W1_SIF = 17;
    G1::W1_SIFOD = 17;
    G1::W1_SIFDO = 999999;
    G1::W1_DAOD = PeriodFrom;
    G1::W1_DADO = PeriodTo;
}

void Unselect() {
    for (auto* v : {&G1::W1_SPS, &G1::W1_SIP, &G1::W1_SIF, &G1::W1_SIFOD, &G1::W1_SIFDO,
                    &G1::W1_DAOD, &G1::W1_DADO})
        *v = 0;
}

// Statements in UTF-8, stored in Windows-1250 as the program stores them.
const char* const Rows[] = {
    "INSERT INTO PLANSA (SP1_SPS, SP1_NPS, SP1_SJD) VALUES "
    "(1, 'Planinarski savez Jedan', 'Sarajevo'), (2, 'Savez Dva', 'Mostar')",
    "INSERT INTO PLAND (P1_SIP, P1_NPD, P1_SJD) VALUES "
    "(3, 'PD Tri vrha', 'Žepče'), (5, 'PD Pet', 'Kakanj')",
    "INSERT INTO KATEG VALUES (1, printf('%-60s', 'Redovni'), 20.0), "
    "(2, printf('%-60s', 'Penzioner'), 10.0)",
    "INSERT INTO STUPEM (STU_KVA, STU_NAS) VALUES (4, 'VSS')",
    "INSERT INTO NACUC (NA1_SNU, NA1_NAZ) VALUES (2, 'Pristupnica')",
    "INSERT INTO DATAZUR VALUES (1, 3, 81400)",
    // Member 17 has a photo (PNG), every field, and a remark longer than its
    // box; 18 a photo stored in upper case beside a lower-case file (BMP);
    // 19 a photo that holds no image; 999999, the widest code, names as long
    // as their fields hold, in wide capitals; 30 is of another club.
    "INSERT INTO CLANOVI (M1_SPS, M1_SIP, M1_SIF, M1_PRE, M1_IME, M1_IOC, M1_KVA, M1_ZAN, "
    "M1_SNU, M1_SIK, M1_EVB, M1_STC, M1_ADR, M1_MST, M1_FTE, M1_FMO, M1_BLK, M1_JMB, M1_DRO, "
    "M1_CDA, M1_DCA, M1_PUS, M1_CLP, M1_PRZ, M1_NIZ, M1_NAP) VALUES "
    "(1, 3, 17, 'Horvat', 'Ivan', 'Marko', 4, 'Inženjer', 2, 1, 'E-17', 1, 'Ulica 1', 'Žepče', "
    "'032 111 222', '061 222 333', 'LK17', '0101980170017', 65000, 75000, 76000, 'foto17.png', "
    "'PD Prvi od 1990. do 1995.', 'Zlatni znak', 'Vodič', "
    "'Član od osnivanja društva; vodio je pohode na sve vrhove planine i brinuo o domu, "
    "markacijama i putevima kroz šumu, od izvora do vrha, u svako doba godine, po kiši, snijegu "
    "i magli, a o tome će pisati i u ljetopisu društva kad ga napišu do kraja. Napomena je "
    "duža nego što okvir na kartonu može primiti, pa se vidi samo njen početak: prvi redovi, "
    "koliko ih stane u visinu okvira, a ostatak teksta, koji ide preko tog ruba, ostaje izvan "
    "papira i ne štampa se nigdje, ni na ovoj ni na nekoj drugoj strani kartona. "
    "Ova posljednja rečenica je tu samo zato da tekst sigurno pređe visinu okvira.'), "
    "(1, 3, 18, 'Kovač', 'Ana', '', 0, '', 0, 2, 'E-18', 0, '', '', '', '', '', '', 0, 0, 0, "
    "'FOTO18.BMP', '', '', '', ''), "
    "(1, 3, 19, 'Šarić', 'Đuro', 'Čedo', 4, 'Učitelj', 2, 1, 'E-19', 1, 'Trg 5', 'Zenica', '', "
    "'', 'LK19', '', 70000, 0, 0, 'nema.jpg', '', '', '', ''), "
    "(1, 3, 999999, 'ŠIROKOBRIJEŠKI-MWMWMWMWMW', 'WWWWWWWWWWWWWWWWWWWW', "
    "'MMMMMMMMMMMMMMMMMMMM', 4, 'MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM', 2, 1, "
    "'WWWWWWWWWW', 1, 'WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW', "
    "'WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW', '', '', 'WWWWWWWWWWWWWWWWWWWW', 'WWWWWWWWWWWWWWW', "
    "80000, 80100, 80200, '', '', '', '', ''), "
    "(1, 5, 30, 'Drugi', 'Klub', '', 0, '', 0, 1, 'E-30', 1, '', '', '', '', '', '', 0, 0, 0, "
    "'', '', '', '', '')",
    // Member 17: 44 lines, so both fee reports break the page; one more
    // after the period.
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 44) "
    "INSERT INTO CLANAR SELECT 1, 3, 17, i, 1, 'D-' || i, 81462 + i, 20.0 + i, "
    "CASE i % 3 WHEN 0 THEN 0 ELSE 12.5 * i END FROM n",
    "INSERT INTO CLANAR VALUES (1, 3, 17, 45, 1, 'D-45', 81600, 1.0, 0)",
    "INSERT INTO CLANAR VALUES (1, 3, 18, 1, 2, 'D-101', 81470, 10.0, 0), "
    "(1, 3, 18, 2, 2, 'D-102', 81480, 0, 25.5)",
    // The widest amounts the pictures hold, negative ones, and a saldo too
    // wide for its picture (the overflow mark).
    "INSERT INTO CLANAR VALUES (1, 3, 999999, 1, 1, 'DOKUMENT-WWWWWWWWWWWWWWWW', 81462, "
    "-12345.67, 0), (1, 3, 999999, 2, 1, 'D-2', 81462, 0, 9987654.32), "
    "(1, 3, 999999, 3, 1, 'D-3', 81462, 112358024.58, 112358024.58), "
    "(1, 3, 999999, 4, 1, 'D-4', 81462, 0, -999999999.99)",
    "INSERT INTO CLANAR VALUES (1, 5, 30, 1, 1, 'D-1', 81462, 7.0, 0)",
    "INSERT INTO TURPOS (T1_SIA, T1_NAP) VALUES (11, 'Pohod'), (12, 'Tura na vrh koja se "
    "opisuje dovoljno dugim tekstom da se prelomi u dva reda ili više, kako to opis aktivnosti "
    "u izvještaju i treba da pokaže na papiru')",
    // Hikes of 17 (one wrapped), 18, 999999 and of 102, who has no member
    // row; one of another club and one after the period.
    "INSERT INTO ANGAZOV VALUES (1, 3, 1, 1, 11, 17, 81462), (1, 3, 1, 2, 12, 17, 81463), "
    "(1, 3, 2, 1, 11, 18, 81470), (1, 3, 2, 2, 11, 102, 81470), (1, 3, 3, 1, 12, 999999, 81475), "
    "(1, 5, 1, 1, 11, 30, 81462), (1, 3, 4, 1, 11, 17, 81600)",
};

void WritePhotos() {
    imgtest::PngSpec png;
    png.width = 40;
    png.height = 30;
    png.samples = [](int x, int y) { return std::vector<unsigned>{x * 6u, y * 8u, 120u}; };
    const imgtest::Bytes p = imgtest::makePng(png);
    testsupport::writeFile("foto17.png", std::string(p.begin(), p.end()));
    imgtest::DibSpec bmp;
    bmp.width = 30;
    bmp.height = 40;
    bmp.value = [](int x, int y) { return static_cast<std::uint32_t>(x * 8 << 16 | y * 6); };
    const imgtest::Bytes b = imgtest::bmpFile(bmp);
    testsupport::writeFile("foto18.bmp", std::string(b.begin(), b.end()));
    testsupport::writeFile("nema.jpg", "no picture here");
}

const char* AlignName(rt::Align a) {
    switch (a) {
        case rt::Align::Left:
            return "left";
        case rt::Align::Right:
            return "right";
        case rt::Align::Center:
            return "center";
        case rt::Align::Decimal:
            return "decimal";
    }
    return "?";
}

const char* KindName(rt::PageItem::Kind k) {
    switch (k) {
        case rt::PageItem::Kind::Text:
            return "text";
        case rt::PageItem::Kind::Line:
            return "line";
        case rt::PageItem::Kind::Box:
            return "box";
        case rt::PageItem::Kind::Image:
            return "image";
    }
    return "?";
}

// In quotes; quotes, backslashes and control characters escaped, the rest
// (UTF-8) as it is.
std::string Quoted(std::string_view s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace

const std::vector<ReportCase>& reports() {
    static const std::vector<ReportCase> all = {
        {"fee_report_club", PrintCLANAR}, {"fee_report_member", PrintCLANAR1},
        {"member_card", PrintCLANOV},     {"record_cards", PrintCLANOV1},
        {"activity_report", PrintaANGAZ},
    };
    return all;
}

std::string dump(const rt::report::Document& document) {
    std::ostringstream out;
    out << "report " << Quoted(document.jobTitle) << " paper " << document.pageWidth << " x "
        << document.pageHeight << " pages " << document.pageCount() << '\n';
    for (int p = 1; p <= static_cast<int>(document.pageCount()); ++p) {
        const rt::PagePayload page = document.payload(p);
        if (!page.items) continue;
        for (const rt::PageItem& i : *page.items) {
            out << p << ' ' << KindName(i.kind) << ' ' << i.x << ' ' << i.y << ' ' << i.w << ' '
                << i.h;
            switch (i.kind) {
                case rt::PageItem::Kind::Text: {
                    const rt::Font& f = i.font;
                    out << ' ' << Quoted(f.face) << ' ' << f.size << ' '
                        << (f.bold ? (f.italic ? "bold-italic" : "bold")
                                   : (f.italic ? "italic" : "regular"));
                    if (f.color) {
                        char rgb[16];
                        std::snprintf(rgb, sizeof rgb, " #%06X", f.color);
                        out << rgb;
                    }
                    out << ' ' << AlignName(i.align) << ' ' << Quoted(i.text);
                    break;
                }
                case rt::PageItem::Kind::Line:
                case rt::PageItem::Kind::Box:
                    out << " pen " << i.pen;
                    break;
                case rt::PageItem::Kind::Image:
                    // The file's own name: the run's working directory is a
                    // temporary one.
                    out << ' ' << Quoted(std::filesystem::path(i.text).filename().string());
                    break;
            }
            out << '\n';
        }
    }
    return out.str();
}

struct Workplace::State {
    testsupport::TempDir dir;
    windowtest::NullBackend backend;
};

Workplace::Workplace() : s_(std::make_unique<State>()) {
    if (storage::sqlite().code != 0) throw std::runtime_error(storage::sqlite().text);
    storage::install();
    rt::useManualClock(2024, 3, 1);
    rt::setBackend(&s_->backend);
    GlobalErrors().Init(&GlobalErrorStatus);
    INIMgr().Init(".\\Sutrik.INI", 0, 0);
    rt::setFatalExitHook([](int) {});
    for (FileId id :
         {FileId::PLANSA, FileId::PLAND, FileId::KATEG, FileId::STUPEM, FileId::NACUC,
          FileId::DATAZUR, FileId::CLANOVI, FileId::CLANAR, FileId::TURPOS, FileId::ANGAZOV}) {
        rt::FileStructure& f = fileStructure(id);
        int rc = f.open();
        if (rc == rt::FileErr::NoFile) rc = f.create();
        if (rc != 0)
            throw std::runtime_error(std::string("cannot make the table ") + fileDef(id).label);
        f.close();
    }
    storagetest::RawDb raw("Clanovi.sqlite");
    for (const char* sql : Rows) {
        const std::optional<std::string> cp = rt::fromUtf8(sql);
        if (!cp || raw.exec(*cp) != 0)
            throw std::runtime_error(std::string(raw.errmsg()) + " in " + sql);
    }
    WritePhotos();
    Select();
}

Workplace::~Workplace() {
    rt::waitIdle(5000);
    rt::shutDownWindows();
    rt::joinAllThreads();
    storage::closeAllConnections();
    rt::setFatalExitHook({});
    rt::setBackend(nullptr);
    rt::resetWindows();
    rt::useSystemClock();
    Unselect();
}

std::string Workplace::run(const ReportCase& report) {
    rt::report::clearLastDocument();
    rt::startProcedure([procedure = report.procedure] {
        DctInit();
        procedure();
        DctKill();
    });
    if (!windowtest::waitWindow("Report CLANAR"))
        throw std::runtime_error(std::string(report.name) + ": no progress window");
    // The progress window's timer reads everything at its first tick under
    // the manual clock; a message shown meanwhile is answered and reported.
    std::string messages;
    for (int i = 0; i < 20 && !rt::report::documentNoted(); ++i) {
        rt::advanceClock(100);
        rt::waitIdle(5000);
        for (const rt::OpenDialog& d : rt::openDialogs()) {
            messages += " \"" + d.request.message.title + ": " + d.request.message.text + "\"";
            rt::answerDialog(d.id, rt::DialogAnswer{});
            rt::waitIdle(5000);
        }
    }
    const rt::ViewPtr preview = windowtest::waitWindow("Print Preview", 5000);
    const rt::report::DocumentPtr document =
        rt::report::documentNoted() ? rt::report::lastDocument() : nullptr;
    if (preview) rt::input(preview->id, rt::Input{rt::Input::Kind::Close});
    rt::waitIdle(5000);
    if (!messages.empty() || !document || !preview)
        throw std::runtime_error(
            std::string(report.name) + ": " + (document ? "pages" : "no pages") +
            (preview ? "" : ", no preview") + (messages.empty() ? "" : ", messages" + messages));
    return dump(*document);
}

}  // namespace reportpages
