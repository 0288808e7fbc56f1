// The activity report PrintaANGAZ over one club of 10 000 and of 100 000
// activity lines (100 and 1 000 members, a hundred lines each): its pages
// made (the process reading the filtered, ordered view with its four joins
// in batches, the record hook, every band placed, its fields formatted,
// measured and the descriptions wrapped) beside the raw statement that
// reads the same rows and formats them with the same pictures; the growth;
// the first preview page drawn; the memory a page holds.
#include <filesystem>
#include <memory>

#include "activities/report.h"
#include "bench/bench_support.h"
#include "bench/report_bench.h"
#include "core/dictionary/files.h"
#include "core/storage/storage.h"
#include "framework/report.h"
#include "runtime/picture.h"
#include "runtime/text.h"

namespace fs = std::filesystem;
namespace rr = rt::report;

namespace {

using Case = bench::ReportCase;

// The whole club, every member and every date.
void selectClub(Case& c) {
    sqlite3_stmt* s = c.raw->stmt("SELECT A1_SPS, A1_SIP FROM ANGAZOV LIMIT 1");
    const auto& api = c.raw->api();
    if (api.step(s) != SQLITE_ROW) {
        std::cerr << "no activity lines in " << c.dir << "\n";
        std::exit(2);
    }
    G1::W1_SPS = static_cast<std::int32_t>(api.column_int64(s, 0));
    G1::W1_SIP = static_cast<std::int32_t>(api.column_int64(s, 1));
    api.reset(s);
    G1::W1_SIFOD = 0;
    G1::W1_SIFDO = 999999;
    G1::W1_DAOD = 0;
    G1::W1_DADO = 9999999;
}

// The report as its procedure sets it up, without the windows.
rr::DocumentPtr runReport(Case& c) {
    bench::enterCase(
        c, {FileId::ANGAZOV, FileId::CLANOVI, FileId::PLAND, FileId::TURPOS, FileId::PLANSA});
    selectClub(c);
    ActivityReportLocals L;
    rt::View view(fileStructure(FileId::ANGAZOV));
    ActivityReportView(view);
    rr::Report report = ActivityReportDescription(L);
    return bench::runReportProcess(
        c, view, report, [](ProcessClass& p) { ActivityReportReads(p); },
        [&] { ActivityReportTakeRecord(L); });
}

// The same rows through one prepared statement with the same joins and
// selection (compared as the key compares, so it reads the key's index), formatted with the same
// pictures: per member his code, record number and name put together; per line the count, the
// activity's code and its description.
std::size_t rawReport(Case& c) {
    sqlite3_stmt* s = c.raw->stmt(
        "SELECT A1_SPS, A1_SIP, A1_SIF, A1_SIA, A1_DAT, M1_EVB, M1_PRE, M1_IOC, M1_IME, P1_NPD, "
        "P1_SJD, T1_SIA, T1_NAP, SP1_NPS, SP1_SJD FROM ANGAZOV "
        "LEFT JOIN CLANOVI ON M1_SIF = A1_SIF LEFT JOIN PLAND ON P1_SIP = A1_SIP "
        "LEFT JOIN TURPOS ON T1_SIA = A1_SIA LEFT JOIN PLANSA ON SP1_SPS = A1_SPS "
        "WHERE A1_SPS = ? COLLATE NOCASE AND A1_SIP = ? COLLATE NOCASE AND A1_SIF >= ? COLLATE "
        "NOCASE AND A1_SIF <= ? COLLATE NOCASE AND A1_DAT >= ? COLLATE NOCASE AND A1_DAT <= ? "
        "COLLATE NOCASE ORDER BY A1_SPS COLLATE NOCASE, A1_SIP COLLATE NOCASE, A1_SIF COLLATE "
        "NOCASE, "
        "A1_SIA COLLATE NOCASE, A1_DAT COLLATE NOCASE");
    const auto& api = c.raw->api();
    int k = 0;
    for (std::int32_t v : {G1::W1_SPS.load(), G1::W1_SIP.load(), G1::W1_SIFOD.load(),
                           G1::W1_SIFDO.load(), G1::W1_DAOD.load(), G1::W1_DADO.load()})
        api.bind_int64(s, ++k, v);
    static const rt::Picture code = *rt::Picture::parse("@n_6"),
                             count = *rt::Picture::parse("@n_4"),
                             record = *rt::Picture::parse("@s10"),
                             name = *rt::Picture::parse("@s65");
    std::size_t bytes = 0;
    std::int64_t n = 0, member = -1;
    auto text = [&](int col) {
        return rt::trimRight(
            std::string_view(reinterpret_cast<const char*>(api.column_text(s, col)),
                             static_cast<std::size_t>(api.column_bytes(s, col))));
    };
    while (api.step(s) == SQLITE_ROW) {
        if (const std::int64_t m = api.column_int64(s, 2); m != member) {
            member = m;
            std::string who(text(6));
            who += ", ";
            who += text(7);
            who += ", ";
            who += text(8);
            bytes += rt::formatInteger(code, m).size() + rt::formatText(record, text(5)).size() +
                     rt::formatText(name, who).size();
        }
        bytes += rt::formatInteger(count, ++n).size();
        bytes += rt::formatInteger(code, api.column_int64(s, 11)).size();
        bytes += text(12).size();
    }
    api.reset(s);
    return bytes;
}

std::vector<std::unique_ptr<Case>> cases;

}  // namespace

int main(int argc, char** argv) {
    const auto app = bench::offscreenApplication("activity-report-bench");
    storage::install();
    if (!bench::sqliteLoaded()) return 2;
    const fs::path old = fs::current_path();
    ActivityReportBind(true);
    for (int members : {100, 1000}) {
        const std::string dir =
            std::string(CLANOVI_BENCH_DATA) + "/activity-report-" + std::to_string(members);
        if (!bench::makeDatabase(dir, members, 1, 100)) return 2;
        auto c = std::make_unique<Case>();
        c->dir = dir;
        c->size = members == 100 ? "10k" : "100k";
        c->pages = runReport;
        c->rawRows = rawReport;
        c->raw = std::make_unique<bench::RawConnection>(dir + "/Clanovi.sqlite");
        bench::registerReportCase("ANGAZ", c.get());
        cases.push_back(std::move(c));
    }
    bench::runRegistered(argc, argv);
    fs::current_path(old);
    bench::printReportCases("ANGAZ", cases);
    ActivityReportBind(false);
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
