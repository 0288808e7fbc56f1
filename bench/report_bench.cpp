// The program's fee report of one club ("Pregled članarine", PrintCLANAR's
// description, view, hook, order and filter from fees/print_clanar.h) over
// one club of 10 000 and 100 000 ledger lines, the selection every date:
// its pages made (the process reading the filtered, ordered view with its
// three outer joins in batches, the record hook, every band placed,
// measured and formatted) beside the raw statement that reads the same rows
// and formats them with the same pictures; the growth from 10 000 to
// 100 000; the first preview page drawn (display list to pixels through
// QPainter, at the screen's resolution and zoom 100) after the last page
// was made; and the memory a page holds.
#include <filesystem>
#include <memory>

#include "bench/bench_support.h"
#include "bench/report_bench.h"
#include "core/dictionary/files.h"
#include "core/storage/storage.h"
#include "fees/print_clanar.h"
#include "framework/report.h"
#include "runtime/picture.h"

namespace fs = std::filesystem;
namespace rr = rt::report;

namespace {

using Case = bench::ReportCase;

// 10 ledger years of N members in one club: about 18 lines a member.
bool makeLedger(const fs::path& dir, int members) {
    const fs::path db = dir / "Clanovi.sqlite";
    if (fs::exists(db)) return true;
    fs::create_directories(dir);
    const fs::path tmp = dir / "Clanovi.sqlite.part";
    fs::remove(tmp);
    const std::string cmd = std::string("python3 '") + CLANOVI_MAKE_DB + "' '" + tmp.string() +
                            "' --members " + std::to_string(members) +
                            " --clubs 1 --years 10 --activities 0 >&2";
    std::cerr << "making " << db << " ...\n";
    if (std::system(cmd.c_str()) != 0) return false;
    fs::rename(tmp, db);
    return true;
}

// The club of the ledger, every date.
void selectClub(Case& c) {
    sqlite3_stmt* s = c.raw->stmt("SELECT CL_SPS, CL_SIP FROM CLANAR LIMIT 1");
    const auto& api = c.raw->api();
    if (api.step(s) != SQLITE_ROW) {
        std::cerr << "no ledger lines in " << c.dir << "\n";
        std::exit(2);
    }
    G1::W1_SPS = static_cast<std::int32_t>(api.column_int64(s, 0));
    G1::W1_SIP = static_cast<std::int32_t>(api.column_int64(s, 1));
    api.reset(s);
    G1::W1_DAOD = 0;
    G1::W1_DADO = 9999999;
}

// The report as its procedure sets it up, without the windows.
rr::DocumentPtr runReport(Case& c) {
    bench::enterCase(c, {FileId::CLANAR, FileId::CLANOVI, FileId::PLAND, FileId::PLANSA});
    selectClub(c);
    FeeReportLocals L;
    rt::View view(fileStructure(FileId::CLANAR));
    FeeReportView(view);
    rr::Report report = FeeReportDescription(L);
    return bench::runReportProcess(
        c, view, report, [](ProcessClass& p) { FeeReportReads(p); },
        [&] { FeeReportTakeRecord(L); });
}

// The same rows through one prepared statement with the same joins and
// selection, in the key's order, formatted with the same pictures: the
// count, the member's code and record number, the name put together, the
// amounts and the saldo worked out as the hook does.
std::size_t rawReport(Case& c) {
    sqlite3_stmt* s = c.raw->stmt(
        "SELECT CL_SPS, CL_SIP, CL_SIF, CL_DAD, CL_RED, CL_DUG, CL_POD, M1_PRE, M1_IOC, M1_IME, "
        "M1_EVB, P1_NPD, P1_SJD, SP1_NPS, SP1_SJD FROM CLANAR "
        "LEFT JOIN PLANSA ON SP1_SPS = CL_SPS LEFT JOIN PLAND ON P1_SIP = CL_SIP "
        "LEFT JOIN CLANOVI ON M1_SIF = CL_SIF "
        "WHERE CL_SPS = ? AND CL_SIP = ? AND CL_DAD >= ? AND CL_DAD <= ? "
        "ORDER BY CL_SPS, CL_SIP, CL_SIF, CL_DAD, CL_RED");
    const auto& api = c.raw->api();
    int k = 0;
    for (std::int32_t v :
         {G1::W1_SPS.load(), G1::W1_SIP.load(), G1::W1_DAOD.load(), G1::W1_DADO.load()})
        api.bind_int64(s, ++k, v);
    static const rt::Picture record = *rt::Picture::parse("@s10");
    static const rt::Picture code = *rt::Picture::parse("@n_6"),
                             count = *rt::Picture::parse("@n_4"),
                             dug = *rt::Picture::parse("@n-14.`2"),
                             pod = *rt::Picture::parse("@n-15.`2"),
                             sdo = *rt::Picture::parse("@n-13.`2"),
                             name = *rt::Picture::parse("@s65");
    std::size_t bytes = 0;
    std::int64_t n = 0;
    auto text = [&](int col) {
        return rt::trimRight(
            std::string_view(reinterpret_cast<const char*>(api.column_text(s, col)),
                             static_cast<std::size_t>(api.column_bytes(s, col))));
    };
    while (api.step(s) == SQLITE_ROW) {
        const rt::Money d = rt::Money::fromDouble(api.column_double(s, 5));
        const rt::Money p = rt::Money::fromDouble(api.column_double(s, 6));
        std::string who(text(7));
        who += ", ";
        who += text(8);
        who += ", ";
        who += text(9);
        bytes += rt::formatInteger(count, ++n).size();
        bytes += rt::formatInteger(code, api.column_int64(s, 2)).size();
        bytes += rt::formatText(record, text(10)).size();
        bytes += rt::formatText(name, who).size();
        bytes += rt::formatMoney(dug, d).size() + rt::formatMoney(pod, p).size() +
                 rt::formatMoney(sdo, d - p).size();
    }
    api.reset(s);
    return bytes;
}

std::vector<std::unique_ptr<Case>> cases;

}  // namespace

int main(int argc, char** argv) {
    const auto app = bench::offscreenApplication("report-bench");
    storage::install();
    if (!bench::sqliteLoaded()) return 2;
    const fs::path old = fs::current_path();
    FeeReportBind(true);
    for (int members : {560, 5600}) {
        const std::string dir =
            std::string(CLANOVI_BENCH_DATA) + "/fee-report-" + std::to_string(members);
        if (!makeLedger(dir, members)) return 2;
        auto c = std::make_unique<Case>();
        c->dir = dir;
        c->size = members == 560 ? "10k" : "100k";
        c->pages = runReport;
        c->rawRows = rawReport;
        bench::registerReportCase("REPORT", c.get());
        c->raw = std::make_unique<bench::RawConnection>(dir + "/Clanovi.sqlite");
        cases.push_back(std::move(c));
    }
    bench::runRegistered(argc, argv);
    fs::current_path(old);
    bench::printReportCases("REPORT", cases);
    FeeReportBind(false);
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
