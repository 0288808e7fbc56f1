// The member record cards of a range of member codes over one club of
// 1 000 members, each with a photo of his own (a photo-like 1600 x 1200 JPEG
// of just over 1 MiB; each member's file a link to the same picture):
//
// - the pages made: the process reading the filtered, ordered view with its
//   four outer joins in batches, the hook building the card's lines and
//   checking the photo's signature, every card placed and formatted, beside
//   "raw": the one statement returning the same rows, the same lines put
//   together, and every member's photo file's first bytes read;
// - the pages made and each then drawn as the preview draws it (the photo
//   decoded and scaled into its box), beside the same raw with every
//   member's photo decoded through runtime/image;
// - the first preview page drawn after the last page was made, again and
//   again (its photo kept decoded after the first) and cold (each time
//   another card, its photo not yet decoded);
// - the memory: the bytes the document holds a page, and the process's
//   peak resident size beside what the decoded photos would hold together.
//
// Exits with 1 when a figure is beyond its limit (ratio 3, first page
// 100 ms, peak resident size a tenth of all photos decoded).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "bench/bench_support.h"
#include "bench/photo_support.h"
#include "bench/report_support.h"
#include "core/dictionary/files.h"
#include "core/storage/storage.h"
#include "framework/relation_manager.h"
#include "framework/report.h"
#include "framework/window_kit.h"
#include "members/record_card.h"
#include "runtime/image/image.h"

namespace fs = std::filesystem;
namespace rr = rt::report;

namespace {

constexpr int Members = 1000, PhotoW = 1600, PhotoH = 1200;
constexpr double RatioLimit = 3, FirstPageLimitMs = 100;

struct Range {
    std::int32_t sps = 0, sip = 0, from = 0, to = 0;
};

// The cards as their procedure runs them, without the windows: the view the
// procedure sets up, the process reading it, the hook printing the card.
rr::DocumentPtr runCards(int* rows) {
    rt::FileStructure& members = fileStructure(FileId::CLANOVI);
    rt::View view(members);
    RecordCardView(view);

    RecordCardLocals L;
    rr::Report report = RecordCard(true, L);
    rr::Run run(report);
    struct Process : ProcessClass {
        RecordCardLocals* L;
        rr::Run* run;
        Level TakeRecord() override {
            RecordCardLines(*L);
            run->print("?Detail1");
            return Level::Benign;
        }
    } p;
    p.L = &L;
    p.run = &run;
    RelationManager relation;  // the process keeps it; nothing here reads through it
    p.Init(view, relation, 0, L.Progress_Thermometer);
    RecordCardReads(p, true);
    if (!p.Open()) {
        std::cerr << "cannot read the members: " << p.Status().fileError << "\n";
        std::exit(2);
    }
    while (p.Next(50) == ProcessClass::Step::More) {
    }
    if (rows) *rows = static_cast<int>(p.RecordsProcessed);
    p.Close();
    return run.finish();
}

// The same rows through one prepared statement, the card's lines put
// together as the hook does, and every member's photo decoded (decode) or,
// as the pages are made, only its file's first bytes read (its signature).
std::size_t rawCards(bench::RawConnection& raw, const Range& r, bool decode) {
    sqlite3_stmt* s = raw.stmt(
        "SELECT M1_SPS, M1_SIP, M1_SIF, M1_PRE, M1_IME, M1_IOC, M1_BLK, M1_JMB, M1_DRO, M1_ADR, "
        "M1_MST, M1_KVA, M1_ZAN, M1_STC, M1_CDA, M1_DCA, M1_EVB, M1_SNU, M1_CLP, M1_PRZ, M1_NIZ, "
        "M1_SIK, M1_FTE, M1_FMO, M1_NAP, M1_PUS, STU_NAS, NA1_NAZ, K1_NAZ, DAN_DAD FROM CLANOVI "
        "LEFT JOIN STUPEM ON STU_KVA = M1_KVA LEFT JOIN NACUC ON NA1_SNU = M1_SNU "
        "LEFT JOIN KATEG ON K1_SIK = M1_SIK "
        "LEFT JOIN DATAZUR ON DAN_SPS = M1_SPS AND DAN_SIP = M1_SIP "
        "WHERE M1_SPS = ? AND M1_SIP = ? AND M1_SIF >= ? AND M1_SIF <= ? "
        "ORDER BY M1_SPS, M1_SIP, M1_SIF");
    const auto& api = raw.api();
    api.bind_int64(s, 1, r.sps);
    api.bind_int64(s, 2, r.sip);
    api.bind_int64(s, 3, r.from);
    api.bind_int64(s, 4, r.to);
    auto text = [&](int col) {
        return std::string(
            rt::trimRight(std::string_view(reinterpret_cast<const char*>(api.column_text(s, col)),
                                           static_cast<std::size_t>(api.column_bytes(s, col)))));
    };
    std::size_t bytes = 0;
    while (api.step(s) == SQLITE_ROW) {
        const std::string address = text(9) + ", " + text(10) + ", " + text(22) + ", " + text(23);
        const std::string name = text(3) + ", " + text(5) + ", " + text(4);
        const std::string qualification = text(26) + ", " + text(12);
        const char* status = api.column_int64(s, 13) == 1 ? "Stalni" : "Povremeni";
        bytes += address.size() + name.size() + qualification.size() + std::strlen(status);
        if (!decode) {
            char head[16] = {};
            std::ifstream photo(text(25), std::ios::binary);
            if (!photo.read(head, sizeof head)) {
                std::cerr << "the photo cannot be read\n";
                std::exit(2);
            }
            bytes += static_cast<unsigned char>(head[0]);
            continue;
        }
        const rt::image::Decoded d = rt::image::decodeFile(text(25));
        if (!d.ok()) {
            std::cerr << "the photo does not decode: " << d.reason << "\n";
            std::exit(2);
        }
        bytes += static_cast<std::size_t>(d.image.width);
    }
    api.reset(s);
    return bytes;
}

void drawAll(const rr::Document& d) {
    for (std::size_t n = 1; n <= d.pageCount(); ++n) bench::drawPage(d, static_cast<int>(n));
}

double peakResidentMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // KiB on Linux
}

}  // namespace

int main(int argc, char** argv) {
    const auto app = bench::offscreenApplication("card-bench");
    storage::install();
    if (!bench::sqliteLoaded()) return 2;
    // One club of 1 000 members, copied with a photo for each.
    const fs::path fixture = fs::path(CLANOVI_BENCH_DATA) / "club-1000";
    if (!bench::makeDatabase(fixture, Members, 1)) return 2;
    const fs::path scratch = fs::temp_directory_path() / ("card-bench-" + std::to_string(getpid()));
    const fs::path jpeg = scratch / "photo.jpg";
    fs::create_directories(scratch);
    const std::vector<std::uint8_t> photo = bench::photoOfOneMiB(PhotoW, PhotoH);
    bench::writeFile(jpeg, photo);
    bench::makeCopy(fixture / "Clanovi.sqlite", scratch, true, jpeg);

    const fs::path old = fs::current_path();
    fs::current_path(scratch);  // the photo paths are relative to it
    bench::RawConnection raw((scratch / "Clanovi.sqlite").string());
    Range range;
    {
        sqlite3_stmt* s =
            raw.stmt("SELECT M1_SPS, M1_SIP, MIN(M1_SIF), MAX(M1_SIF), COUNT(*) FROM CLANOVI");
        const auto& api = raw.api();
        if (api.step(s) != SQLITE_ROW || api.column_int64(s, 4) != Members) {
            std::cerr << "the fixture is not one club of " << Members << " members\n";
            return 2;
        }
        range = {static_cast<std::int32_t>(api.column_int64(s, 0)),
                 static_cast<std::int32_t>(api.column_int64(s, 1)),
                 static_cast<std::int32_t>(api.column_int64(s, 2)),
                 static_cast<std::int32_t>(api.column_int64(s, 3))};
        api.reset(s);
    }
    G1::W1_SPS = range.sps;
    G1::W1_SIP = range.sip;
    G1::W1_SIFOD = range.from;
    G1::W1_SIFDO = range.to;
    RecordCardBind(true);

    // Once untimed: every card printed, with its photo.
    int rows = 0;
    rr::DocumentPtr last = runCards(&rows);
    if (rows != Members || last->pageCount() != static_cast<std::size_t>(Members)) {
        std::cerr << "expected " << Members << " cards, got " << rows << " rows and "
                  << last->pageCount() << " pages\n";
        return 2;
    }

    benchmark::RegisterBenchmark("CARDS_pages_1000",
                                 [&](benchmark::State& st) {
                                     for (auto _ : st) {
                                         // the last run's pages go first, untimed, as in the fee
                                         // report's
                                         st.PauseTiming();
                                         last.reset();
                                         st.ResumeTiming();
                                         last = runCards(nullptr);
                                         benchmark::DoNotOptimize(last);
                                     }
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("CARDS_pages_drawn_1000",
                                 [&](benchmark::State& st) {
                                     for (auto _ : st) {
                                         st.PauseTiming();
                                         last.reset();
                                         st.ResumeTiming();
                                         last = runCards(nullptr);
                                         drawAll(*last);
                                     }
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1)
        ->Repetitions(1);  // the longest: 1 000 photos decoded
    benchmark::RegisterBenchmark("CARDS_pages_1000/raw",
                                 [&](benchmark::State& st) {
                                     for (auto _ : st)
                                         benchmark::DoNotOptimize(rawCards(raw, range, false));
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("CARDS_pages_drawn_1000/raw",
                                 [&](benchmark::State& st) {
                                     for (auto _ : st)
                                         benchmark::DoNotOptimize(rawCards(raw, range, true));
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1)
        ->Repetitions(1);
    benchmark::RegisterBenchmark("CARDS_first_preview_page_1000", [&](benchmark::State& st) {
        if (!last) last = runCards(nullptr);
        for (auto _ : st) bench::drawFirstPage(*last);
    })->Unit(benchmark::kMicrosecond);
    // The preview keeps the photos it drew, so drawing page 1 again mostly
    // meets its photo decoded: here each time a card whose photo is not
    // (another member's card shown first), what a first page costs cold.
    benchmark::RegisterBenchmark("CARDS_first_preview_page_1000/cold",
                                 [&](benchmark::State& st) {
                                     if (!last) last = runCards(nullptr);
                                     int n = 0;
                                     for (auto _ : st) bench::drawPage(*last, 1 + n++ % Members);
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(100);
    bench::runRegistered(argc, argv);

    std::printf("\nthe photo: %d x %d JPEG, %zu bytes\n", PhotoW, PhotoH, photo.size());
    bool within = true;
    for (const char* n : {"CARDS_pages_1000", "CARDS_pages_drawn_1000"}) {
        const auto o = bench::micros().find(n), r = bench::micros().find(std::string(n) + "/raw");
        if (o == bench::micros().end() || r == bench::micros().end()) continue;
        const bool ok = o->second <= RatioLimit * r->second;
        within &= ok;
        std::printf("bench %s ours=%.0f raw=%.0f ratio=%.2f limit=%.0f %s\n", n, o->second,
                    r->second, o->second / r->second, RatioLimit, ok ? "within" : "BEYOND");
    }
    const double firstMs = bench::micros()["CARDS_first_preview_page_1000"] / 1000.0;
    const double coldMs = bench::micros()["CARDS_first_preview_page_1000/cold"] / 1000.0;
    const bool firstOk = firstMs <= FirstPageLimitMs && coldMs <= FirstPageLimitMs;
    // Every photo decoded at once would hold 4 bytes a pixel each.
    const double allDecodedMiB = static_cast<double>(Members) * PhotoW * PhotoH * 4 / (1 << 20);
    const double peak = peakResidentMiB();
    const bool peakOk = peak <= allDecodedMiB / 10;
    within &= firstOk && peakOk;
    if (last)
        std::printf(
            "cards 1000 pages=%zu bytes_per_page=%.0f first_page_ms=%.2f first_page_cold_ms=%.2f "
            "%s peak_rss_mib=%.0f all_photos_decoded_mib=%.0f %s\n",
            last->pageCount(),
            static_cast<double>(last->bytes()) / static_cast<double>(last->pageCount()), firstMs,
            coldMs, firstOk ? "within" : "BEYOND", peak, allDecodedMiB,
            peakOk ? "within" : "BEYOND");
    last.reset();
    storage::closeAllConnections();
    fs::current_path(old);
    fs::remove_all(scratch);
    benchmark::Shutdown();
    return within ? 0 : 1;
}
