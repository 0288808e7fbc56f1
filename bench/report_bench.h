#pragma once
// What the report benchmarks share: a report's process run to its last page
// without the progress window's timer (the view read in batches of 50 ms as
// the ticks read it, the record hook, the detail printed), the first page
// drawn as the preview draws it, and the pages figures beside their raw
// statement, registered and printed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/report_support.h"
#include "core/dictionary/files.h"
#include "core/storage/storage.h"
#include "framework/relation_manager.h"
#include "framework/report.h"
#include "runtime/backend/qt/report_page.h"

namespace bench {

namespace rr = rt::report;

struct ReportCase {
    std::string dir;
    std::string size;  // the figure's suffix: "10k", "100k"
    int lines = 0;     // as the process counted them
    std::unique_ptr<RawConnection> raw;
    rr::DocumentPtr last;
    std::function<rr::DocumentPtr(ReportCase&)> pages;  // ours, to the document
    std::function<std::size_t(ReportCase&)> rawRows;    // the raw statement, formatted
};

// Makes the case's directory the current one, closing the files the report
// reads first: connections are per database name.
inline void enterCase(ReportCase& c, std::initializer_list<FileId> files) {
    static ReportCase* current = nullptr;
    if (current == &c) return;
    for (FileId f : files) fileStructure(f).close();
    storage::closeAllConnections();
    std::filesystem::current_path(c.dir);
    current = &c;
}

// The report's process over VIEW, set up by SETUP (its order and filter),
// TAKE per record before the detail prints: as the report manager runs it,
// without the windows.
inline rr::DocumentPtr runReportProcess(ReportCase& c, rt::View& view, rr::Report& report,
                                        const std::function<void(ProcessClass&)>& setup,
                                        const std::function<void()>& take) {
    rr::Run run(report);
    struct Process : ProcessClass {
        const std::function<void()>* take;
        rr::Run* run;
        Level TakeRecord() override {
            (*take)();
            run->print(0);
            return Level::Benign;
        }
    } p;
    p.take = &take;
    p.run = &run;
    std::uint8_t thermometer = 0;
    RelationManager relation;  // the process keeps it; nothing here reads through it
    p.Init(view, relation, 0, thermometer);
    setup(p);
    if (!p.Open()) {
        std::cerr << "cannot read the report's view: " << p.Status().fileError << "\n";
        std::exit(2);
    }
    while (p.Next(50) == ProcessClass::Step::More) {
    }
    c.lines = static_cast<int>(p.RecordsProcessed);
    p.Close();
    return run.finish();
}

// NAME_pages_<size> (ours), its /raw, and NAME_first_preview_page_<size>.
inline void registerReportCase(const std::string& name, ReportCase* c) {
    benchmark::RegisterBenchmark((name + "_pages_" + c->size).c_str(),
                                 [c](benchmark::State& st) {
                                     for (auto _ : st) {
                                         // the last run's pages go first, untimed: a report starts
                                         // from what the program holds, not on a heap just emptied
                                         // of thousands of pages
                                         st.PauseTiming();
                                         c->last.reset();
                                         st.ResumeTiming();
                                         c->last = c->pages(*c);
                                         benchmark::DoNotOptimize(c->last);
                                     }
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark((name + "_pages_" + c->size + "/raw").c_str(),
                                 [c](benchmark::State& st) {
                                     for (auto _ : st) benchmark::DoNotOptimize(c->rawRows(*c));
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark((name + "_first_preview_page_" + c->size).c_str(),
                                 [c](benchmark::State& st) {
                                     if (!c->last) c->last = c->pages(*c);
                                     for (auto _ : st) drawFirstPage(*c->last);
                                 })
        ->Unit(benchmark::kMicrosecond);
}

// The bench, report and growth lines of the cases (the first the small).
inline void printReportCases(const std::string& name,
                             const std::vector<std::unique_ptr<ReportCase>>& cases) {
    std::printf("\n");
    for (const auto& c : cases) {
        const std::string n = name + "_pages_" + c->size;
        printRatio(n, n, n + "/raw");
        if (!c->last) continue;
        const auto& d = *c->last;
        std::printf("report %s lines=%d pages=%zu bytes_per_page=%.0f first_page_ms=%.2f\n",
                    c->size.c_str(), c->lines, d.pageCount(),
                    static_cast<double>(d.bytes()) /
                        static_cast<double>(std::max<std::size_t>(1, d.pageCount())),
                    micros()[name + "_first_preview_page_" + c->size] / 1000.0);
    }
    if (cases.size() >= 2)
        printGrowth(name + "_pages", name + "_pages_" + cases.front()->size,
                    name + "_pages_" + cases.back()->size);
}

}  // namespace bench
