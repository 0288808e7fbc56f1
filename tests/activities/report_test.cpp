// The activity report over a small selection: one heading per member with
// his record number and full name (only the separators for a member without
// a row), one line per activity line with the running count that never
// starts again, the description wrapped; the lines outside the selection
// left out; nothing selected gives "No Records" and no pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "activities/report.h"
#include "core/dictionary/dictionary.h"
#include "core/storage/storage.h"
#include "core/storage_fixture.h"
#include "framework/globals.h"
#include "runtime/clock.h"
#include "runtime/report/report.h"
#include "runtime/threads.h"
#include "runtime/window/window.h"
#include "support/temp_dir.h"
#include "tests/runtime/window_harness.h"

namespace {

using storagetest::RawDb;

class ActivityReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(storage::sqlite().code, 0) << storage::sqlite().text;
        storage::install();
        rt::useManualClock(2024, 3, 1);
        rt::setBackend(&backend_);
        GlobalErrors().Init(&GlobalErrorStatus);
        INIMgr().Init(".\\Sutrik.INI", 0, 0);
        rt::setFatalExitHook([](int) {});
        for (FileId id :
             {FileId::ANGAZOV, FileId::CLANOVI, FileId::PLAND, FileId::PLANSA, FileId::TURPOS}) {
            rt::FileStructure& f = fileStructure(id);
            int rc = f.open();
            if (rc == rt::FileErr::NoFile) rc = f.create();
            ASSERT_EQ(rc, 0);
            f.close();
        }
        RawDb raw("Clanovi.sqlite");
        for (const char* sql :
             {"INSERT INTO PLANSA (SP1_SPS, SP1_NPS) VALUES (1, 'Savez Jedan')",
              "INSERT INTO PLAND (P1_SIP, P1_NPD) VALUES (5, 'PD Pet')",
              "INSERT INTO TURPOS (T1_SIA, T1_NAP) VALUES (11, 'Pohod'), (12, 'Tura na vrh "
              "koja se opisuje dovoljno dugim tekstom da se prelomi u dva reda ili vise, "
              "kako to opis aktivnosti u izvjestaju i treba da pokaze na papiru')",
              "INSERT INTO CLANOVI (M1_SPS, M1_SIP, M1_SIF, M1_PRE, M1_IOC, M1_IME, M1_EVB) "
              "VALUES (1, 5, 100, 'Horvat', 'Marko', 'Ivo', 'E-100'), "
              "(1, 5, 101, 'Kovac', 'Pero', 'Ana', 'E-101')",
              // Member 100: three lines of two activities; 101: one; 102 has no
              // member row; one line of another club, one outside the period.
              "INSERT INTO ANGAZOV VALUES (1, 5, 1, 1, 11, 100, 80000), "
              "(1, 5, 1, 2, 12, 100, 80001), (1, 5, 2, 1, 11, 100, 80002), "
              "(1, 5, 2, 2, 11, 101, 80003), (1, 5, 3, 1, 11, 102, 80004), "
              "(1, 6, 1, 1, 11, 100, 80000), (1, 5, 4, 1, 11, 101, 90000)"})
            ASSERT_EQ(raw.exec(sql), 0) << raw.errmsg();
        G1::W1_SPS = 1;
        G1::W1_SIP = 5;
        G1::W1_SIFOD = 100;
        G1::W1_SIFDO = 102;
        G1::W1_DAOD = 80000;
        G1::W1_DADO = 80004;
        rt::report::clearLastDocument();
    }
    void TearDown() override {
        rt::waitIdle(5000);
        rt::shutDownWindows();
        rt::joinAllThreads();
        storage::closeAllConnections();
        rt::setFatalExitHook({});
        rt::setBackend(nullptr);
        rt::resetWindows();
        rt::useSystemClock();
        for (auto* v :
             {&G1::W1_SPS, &G1::W1_SIP, &G1::W1_SIFOD, &G1::W1_SIFDO, &G1::W1_DAOD, &G1::W1_DADO})
            *v = 0;
    }

    // Runs the report as the activity list calls it: the progress window's
    // timer ticks, the boxes it shows answered (their titles in messages),
    // the preview closed. The texts of every page, top to bottom, then left
    // to right.
    std::vector<std::string> run(std::vector<std::string>* messages = nullptr) {
        rt::startProcedure([] {
            DctInit();
            PrintaANGAZ();
            DctKill();
        });
        EXPECT_TRUE(windowtest::waitWindow("Report CLANAR"));
        for (int i = 0; i < 20; ++i) {
            rt::advanceClock(100);
            rt::waitIdle(5000);
            for (const rt::OpenDialog& d : rt::openDialogs()) {
                if (messages) messages->push_back(d.request.message.title);
                rt::answerDialog(d.id, rt::DialogAnswer{});
                rt::waitIdle(5000);
            }
            if (rt::report::documentNoted() || !windowtest::waitWindow("Report CLANAR", 20)) break;
        }
        std::vector<std::string> texts;
        const rt::ViewPtr preview = windowtest::waitWindow("Print Preview", 2000);
        if (!preview) return texts;
        const rt::report::DocumentPtr doc = rt::report::lastDocument();
        for (int p = 1; doc && p <= static_cast<int>(doc->pageCount()); ++p) {
            std::vector<rt::PageItem> items = *doc->payload(p).items;
            std::stable_sort(items.begin(), items.end(),
                             [](const rt::PageItem& a, const rt::PageItem& b) {
                                 return a.y != b.y ? a.y < b.y : a.x < b.x;
                             });
            for (const rt::PageItem& i : items)
                if (i.kind == rt::PageItem::Kind::Text)
                    texts.push_back(std::string(rt::trim(i.text)));
        }
        rt::input(preview->id, rt::Input{rt::Input::Kind::Close});
        rt::waitIdle(5000);
        return texts;
    }

    // The texts want, in this order, among got (others may lie between).
    static ::testing::AssertionResult InOrder(const std::vector<std::string>& got,
                                              const std::vector<std::string>& want) {
        auto at = got.begin();
        for (const std::string& w : want) {
            at = std::find(at, got.end(), w);
            if (at == got.end())
                return ::testing::AssertionFailure() << "no \"" << w << "\" in order";
            ++at;
        }
        return ::testing::AssertionSuccess();
    }

    windowtest::NullBackend backend_;
    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(ActivityReportTest, OneHeadingPerMemberAndACountThatNeverStartsAgain) {
    const std::vector<std::string> texts = run();
    ASSERT_FALSE(texts.empty());
    // The page header: the first line's federation and club, today, the
    // page number, the period.
    EXPECT_TRUE(InOrder(texts, {"Savez Jedan", "01.03.2024", "PD Pet", "Strana:", "1",
                                "Pregled aktivnosti članova PD", "09.01.2020", "13.01.2020"}));
    // Per member his record number, full name and code (the name a little
    // higher in its band), then his lines with the count going on.
    EXPECT_TRUE(InOrder(texts, {"E-100",
                                "Horvat, Marko, Ivo",
                                "100",
                                "1",
                                "11",
                                "Pohod",
                                "2",
                                "11",
                                "Pohod",
                                "3",
                                "12",
                                "E-101",
                                "Kovac, Pero, Ana",
                                "101",
                                "4",
                                "11",
                                "Pohod",
                                ", ,",
                                "102",
                                "5",
                                "11",
                                "Pohod"}));
    // The lines of the other club and outside the period are not there.
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Pohod"), 4);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Horvat, Marko, Ivo"), 1);
    // The long description wraps onto lines of its own.
    const auto starts = std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.rfind("Tura na vrh", 0) == 0;
    });
    const auto ends = std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.size() >= 6 && t.compare(t.size() - 6, 6, "papiru") == 0;
    });
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(std::find_if(texts.begin(), texts.end(),
                           [](const std::string& t) {
                               return t.rfind("Tura", 0) == 0 &&
                                      t.find("papiru") != std::string::npos;
                           }),
              texts.end());
}

TEST_F(ActivityReportTest, NothingSelectedGivesNoRecordsAndNoPages) {
    G1::W1_SIFOD = 103;
    std::vector<std::string> messages;
    const std::vector<std::string> texts = run(&messages);
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(messages, std::vector<std::string>{"No Records"});
    EXPECT_FALSE(rt::report::documentNoted());
    EXPECT_FALSE(windowtest::waitWindow("Print Preview", 200));
}
