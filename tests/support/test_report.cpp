#include "tests/support/test_report.h"

#include <string>

#include "core/dictionary/dictionary.h"
#include "core/dictionary/member_name.h"
#include "core/frame/procedures.h"
#include "framework/globals.h"
#include "framework/report_kit.h"
#include "framework/window_kit.h"
#include "runtime/window/window.h"

namespace rr = rt::report;
using reportkit::Field;
using reportkit::Rule;
using reportkit::Text;

namespace {

// The thread's buffers through the dictionary (see tests/scenarios/test_windows.cpp).
CLANAR_Record* ledger() {
    return static_cast<CLANAR_Record*>(fileStructure(FileId::CLANAR).record());
}
CLANOVI_Record* members() {
    return static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
}

}  // namespace

rr::Report TestReportDescription(TestReportLocals& L) {
    CLANAR_Record& cl = *ledger();
    rr::Report r;
    r.jobTitle = "CLANAR Report";
    r.x = 200;
    r.y = 1500;
    r.w = 8000;
    r.h = 9198;
    r.font = rt::Font{"Arial", 8, false, false, 0, 238};

    r.header = rr::Band{"?Header", 200, 250, 8021, 1198};
    r.header.add(Text("Strana:", 6448, 375));
    r.header.add(
        Field("?L1:W1_STR", rr::Source::pageNumber(), "@n_4", 6875, 385, 0, rt::Align::Right));
    rr::Control title = Text("Pregled članarine", 3156, 635);
    title.hasFont = true;
    title.font = rt::Font{"Arial", 11, true, false, 0, 238};
    r.header.add(title);
    r.header.add(Rule(31, 906, 7938));
    const char* heads[] = {"R.broj", "Šif-čl.PD", "Prezime i ime", "Duguje", "Potražuje", "Saldo"};
    const int xs[] = {52, 417, 2000, 5865, 6552, 7479};
    for (int i = 0; i < 6; ++i) r.header.add(Text(heads[i], xs[i], 969));
    r.header.add(Rule(21, 1167, 7938));
    r.footer = rr::Band{"?Footer", 250, 10500, 8000, 0};
    r.form = rr::Band{"?Form", 250, 250, 8000, 0};

    rr::Band d{"?Detail1", 0, 0, 7990, 219};
    rr::Control count = Field("?L1:W1_RED:2", {}, "@n_4", 94, 42, 0, rt::Align::Right);
    count.total = rr::Total::Count;
    d.add(count);
    d.add(Field("?CLA1:CL_SIF", rr::Source::of(cl.CL_SIF), "@n_6", 406, 42, 0, rt::Align::Right));
    d.add(Field("?L1:W1_PRE", rr::Source::of(L.PRE), "@s65", 1573, 42, 4021));
    d.add(Field("?CLA1:CL_DUG", rr::Source::of(cl.CL_DUG), "@n-14.`2", 5688, 42, 521,
                rt::Align::Right));
    d.add(Field("?CLA1:CL_POD", rr::Source::of(cl.CL_POD), "@n-15.`2", 6302, 42, 719,
                rt::Align::Right));
    d.add(Field("?L1:W1_SDO", rr::Source::of(L.SDO), "@n-13.`2", 7115, 42, 646, rt::Align::Right));
    r.details.push_back(std::move(d));

    r.addBreak("?Break1", rr::Source::of(cl.CL_SPS));
    r.addBreak("?Break2", rr::Source::of(cl.CL_SIP));
    r.addBreak("?Break3", rr::Source::of(cl.CL_SIF));
    r.breaks[0].footer = std::make_unique<rr::Band>(rr::Band{"?GroupFooter3", 0, 0, 8000, 344});
    r.breaks[2].footer = std::make_unique<rr::Band>(rr::Band{"?GroupFooter1", 0, 0, 8000, 0});
    auto& club = r.breaks[1].footer = std::make_unique<rr::Band>(rr::Band{
        "?GroupFooter2", 0, 0, 8000, 313, true, rt::Font{"Arial", 8, true, false, 0, 238}});
    club->add(Text("Ukupno planinarsko društvo:", 3677, 63));
    auto sum = [&](const char* name, rr::Source s, const char* picture, int x, int w) {
        rr::Control c = Field(name, std::move(s), picture, x, 63, w, rt::Align::Right);
        c.total = rr::Total::Sum;
        c.reset.breakName = "?Break2";
        club->add(std::move(c));
    };
    sum("?CLA1:CL_DUG:2", rr::Source::of(cl.CL_DUG), "@n-14.`2", 5427, 771);
    sum("?CLA1:CL_POD:2", rr::Source::of(cl.CL_POD), "@n-15.`2", 6292, 719);
    sum("?L1:W1_SDO:2", rr::Source::of(L.SDO), "@n-13.`2", 7073, 677);
    return r;
}

void TestReportTakeRecord(TestReportLocals& L) {
    const CLANOVI_Record& m = *members();
    const CLANAR_Record& cl = *ledger();
    L.PRE.assign(FullName(m));
    L.SDO = cl.CL_DUG - cl.CL_POD;
}

void TestReportCLANAR() {
    TestReportLocals L;
    std::uint8_t thermometer = 0;
    rt::View view(fileStructure(FileId::CLANAR));
    view.join(fileStructure(FileId::CLANOVI),
              rt::KeyOf(fileStructure(FileId::CLANOVI), "CLA:KeyM1_SIF").index,
              {rt::FieldOf(fileStructure(FileId::CLANAR), "CLA1:CL_SIF")});
    for (const char* f : {"CLA1:CL_DAD", "CLA1:CL_DUG", "CLA1:CL_POD", "CLA1:CL_RED", "CLA1:CL_SIF",
                          "CLA1:CL_SIP", "CLA1:CL_SPS"})
        view.project(fileStructure(FileId::CLANAR), f);
    for (const char* f : {"CLA:M1_EVB", "CLA:M1_IME", "CLA:M1_IOC", "CLA:M1_PRE"})
        view.project(fileStructure(FileId::CLANOVI), f);
    rr::Report report = TestReportDescription(L);

    struct ThisReportClass : ProcessClass {
        TestReportLocals* L = nullptr;
        Level TakeRecord() override {
            TestReportTakeRecord(*L);
            const Level l = ProcessClass::TakeRecord();
            Report->Print("?Detail1");
            return l;
        }
    } ThisReport;
    ThisReport.L = &L;
    StepLongClass ProgressMgr;
    PrintPreviewClass Previewer;

    struct ThisWindowClass : ReportManager {
        using ReportManager::ReportManager;
        ThisReportClass* process = nullptr;
        rt::View* view = nullptr;
        rr::Report* report = nullptr;
        PrintPreviewClass* previewer = nullptr;
        StepLongClass* step = nullptr;
        std::uint8_t* thermometer = nullptr;
        int pct = 0;
        Level Init() override {
            const Level l = ReportManager::Init();
            if (l != Level::Benign) return l;
            step->Init(4);
            process->Init(*view, *Relate::CLANAR, pct, *thermometer, step,
                          rt::FieldOf(fileStructure(FileId::CLANAR), "CLA1:CL_SPS"));
            process->AddSortOrder(rt::KeyOf(fileStructure(FileId::CLANAR), "CLA1:KeyCL_UKP").index);
            ReportManager::Init(*process, *report, previewer);
            Zoom = 100;
            previewer->SetINIManager(INIMgr());
            previewer->AllowUserZoom = true;
            previewer->Maximize = true;
            Win->setTimer(10);
            return Level::Benign;
        }
    };
    EnterByTabClass EnterByTab;
    rt::Window window(ProgressWindowDesc("Report CLANAR"));
    const ProgressIds ids = BuildProgressWindow(window, thermometer);
    ThisWindowClass ThisWindow("TestReportCLANAR", window, EnterByTab);
    ThisWindow.process = &ThisReport;
    ThisWindow.view = &view;
    ThisWindow.report = &report;
    ThisWindow.previewer = &Previewer;
    ThisWindow.step = &ProgressMgr;
    ThisWindow.thermometer = &thermometer;
    ThisWindow.pct = ids.PctText;
    ThisWindow.AddFiles({Relate::CLANAR});
    GlobalResponse = ThisWindow.Run();
}

void RegisterTestReport() {
    RegisterProcedure("TestReportCLANAR", TestReportCLANAR);
}
