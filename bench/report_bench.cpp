// The fee report's engine over 10 000 and 100 000 ledger lines: its pages
// made (the process reading the filtered, ordered view in its batches, the
// record hook, every band placed, measured and formatted) beside the raw
// statement that reads the same rows and formats them with the same
// pictures; the growth from 10 000 to 100 000; the first preview page drawn
// (display list to pixels through QPainter, at the screen's resolution and
// zoom 100) after the last page was made; and the memory a page holds.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <filesystem>
#include <memory>

#include "bench/bench_support.h"
#include "bench/report_support.h"
#include "core/dictionary/files.h"
#include "core/storage/storage.h"
#include "framework/relation_manager.h"
#include "framework/report.h"
#include "framework/window_kit.h"
#include "runtime/backend/qt/report_page.h"
#include "runtime/picture.h"
#include "tests/support/test_report.h"

namespace fs = std::filesystem;
namespace rr = rt::report;
using Clock = std::chrono::steady_clock;

namespace {

struct Case {
    std::string dir;
    int lines = 0;  // as counted
    std::unique_ptr<bench::RawConnection> raw;
    rr::DocumentPtr last;
};

// 10 ledger years of N members: about 18 lines a member.
bool makeLedger(const fs::path& dir, int members) {
    const fs::path db = dir / "Clanovi.sqlite";
    if (fs::exists(db)) return true;
    fs::create_directories(dir);
    const fs::path tmp = dir / "Clanovi.sqlite.part";
    fs::remove(tmp);
    const std::string cmd = std::string("python3 '") + CLANOVI_MAKE_DB + "' '" + tmp.string() +
                            "' --members " + std::to_string(members) +
                            " --clubs 40 --years 10 --activities 0 >&2";
    std::cerr << "making " << db << " ...\n";
    if (std::system(cmd.c_str()) != 0) return false;
    fs::rename(tmp, db);
    return true;
}

// The report as its procedure runs it, without the windows: the process
// reads the view, the hook fills the locals and prints the detail.
Case* current = nullptr;  // the case whose directory is the current one

rr::DocumentPtr runReport(Case& c) {
    if (current != &c) {
        // connections are per database name: a new directory, new ones
        fileStructure(FileId::CLANAR).close();
        fileStructure(FileId::CLANOVI).close();
        storage::closeAllConnections();
        fs::current_path(c.dir);
        current = &c;
    }
    rt::FileStructure& ledger = fileStructure(FileId::CLANAR);
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    TestReportLocals L;
    std::uint8_t thermometer = 0;
    rt::View view(ledger);
    view.join(members, kit::KeyOf(members, "CLA:KeyM1_SIF").index,
              {kit::FieldOf(ledger, "CLA1:CL_SIF")});
    for (const char* f : {"CLA1:CL_DAD", "CLA1:CL_DUG", "CLA1:CL_POD", "CLA1:CL_RED", "CLA1:CL_SIF",
                          "CLA1:CL_SIP", "CLA1:CL_SPS"})
        view.project(ledger, f);
    for (const char* f : {"CLA:M1_EVB", "CLA:M1_IME", "CLA:M1_IOC", "CLA:M1_PRE"})
        view.project(members, f);
    rr::Report report = TestReportDescription(L);
    rr::Run run(report);
    struct Process : ProcessClass {
        TestReportLocals* L;
        rr::Run* run;
        Level TakeRecord() override {
            TestReportTakeRecord(*L);
            run->print(0);
            return Level::Benign;
        }
    } p;
    p.L = &L;
    p.run = &run;
    RelationManager relation;  // the process keeps it; nothing here reads through it
    p.Init(view, relation, 0, thermometer);
    p.AddSortOrder(kit::KeyOf(ledger, "CLA1:KeyCL_UKP").index);
    if (!p.Open()) {
        std::cerr << "cannot read the ledger: " << p.Status().fileError << "\n";
        std::exit(2);
    }
    while (p.Next(50) == ProcessClass::Step::More) {
    }
    c.lines = static_cast<int>(p.RecordsProcessed);
    p.Close();
    return run.finish();
}

// The same rows through one prepared statement, formatted with the same
// pictures, the name put together and the saldo worked out as the hook does.
std::size_t rawReport(Case& c) {
    sqlite3_stmt* s = c.raw->stmt(
        "SELECT CL_SPS, CL_SIP, CL_SIF, CL_DAD, CL_RED, CL_DUG, CL_POD, M1_PRE, M1_IOC, M1_IME, "
        "M1_EVB FROM CLANAR LEFT JOIN CLANOVI ON M1_SIF = CL_SIF ORDER BY CL_SPS, CL_SIP, CL_SIF, "
        "CL_DAD, CL_RED");
    const auto& api = c.raw->api();
    static const rt::Picture code = *rt::Picture::parse("@n_6"), count = *rt::Picture::parse("@n_4"),
                             dug = *rt::Picture::parse("@n-14.`2"),
                             pod = *rt::Picture::parse("@n-15.`2"),
                             sdo = *rt::Picture::parse("@n-13.`2"),
                             name = *rt::Picture::parse("@s65");
    std::size_t bytes = 0;
    std::int64_t n = 0;
    auto text = [&](int col) {
        return rt::trimRight(std::string_view(reinterpret_cast<const char*>(api.column_text(s, col)),
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    char qname[] = "report-bench";
    char* qargv[] = {qname, nullptr};
    QApplication app(qargc, qargv);
    storage::install();
    if (storage::sqlite().code != 0) {
        std::cerr << storage::sqlite().text << "\n";
        return 2;
    }
    const fs::path old = fs::current_path();
    for (int members : {560, 5600}) {
        const std::string dir =
            std::string(CLANOVI_BENCH_DATA) + "/ledger-" + std::to_string(members);
        if (!makeLedger(dir, members)) return 2;
        auto c = std::make_unique<Case>();
        c->dir = dir;
        c->raw = std::make_unique<bench::RawConnection>(dir + "/Clanovi.sqlite");
        cases.push_back(std::move(c));
    }
    const char* size[] = {"10k", "100k"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Case* c = cases[i].get();
        benchmark::RegisterBenchmark(
            (std::string("REPORT_pages_") + size[i]).c_str(), [c](benchmark::State& st) {
                for (auto _ : st) {
                    // the last run's pages go first, untimed: a report
                    // starts from what the program holds, not on a heap
                    // just emptied of thousands of pages
                    st.PauseTiming();
                    c->last.reset();
                    st.ResumeTiming();
                    c->last = runReport(*c);
                    benchmark::DoNotOptimize(c->last);
                }
            })->Unit(benchmark::kMicrosecond)->Iterations(1);
        benchmark::RegisterBenchmark(
            (std::string("REPORT_pages_") + size[i] + "/raw").c_str(), [c](benchmark::State& st) {
                for (auto _ : st) benchmark::DoNotOptimize(rawReport(*c));
            })->Unit(benchmark::kMicrosecond)->Iterations(1);
        benchmark::RegisterBenchmark(
            (std::string("REPORT_first_preview_page_") + size[i]).c_str(),
            [c](benchmark::State& st) {
                if (!c->last) c->last = runReport(*c);
                for (auto _ : st) bench::drawFirstPage(*c->last);
            })->Unit(benchmark::kMicrosecond);
    }
    bench::runRegistered(argc, argv);
    fs::current_path(old);

    std::printf("\n");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::string("REPORT_pages_") + size[i];
        bench::printRatio(n, n, n + "/raw");
        if (!cases[i]->last) continue;
        const auto& d = *cases[i]->last;
        std::printf("report %s lines=%d pages=%zu bytes_per_page=%.0f first_page_ms=%.2f\n", size[i],
                    cases[i]->lines, d.pageCount(),
                    static_cast<double>(d.bytes()) / static_cast<double>(std::max<std::size_t>(1, d.pageCount())),
                    bench::micros()[std::string("REPORT_first_preview_page_") + size[i]] / 1000.0);
    }
    bench::printGrowth("REPORT_pages", "REPORT_pages_10k", "REPORT_pages_100k");
    cases.clear();
    benchmark::Shutdown();
    return 0;
}
