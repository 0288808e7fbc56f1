// The report procedure's classes: process, report manager, preview and the
// progress window.
#include "framework/report.h"

#include <algorithm>
#include <chrono>

#include "framework/globals.h"
#include "framework/relation_manager.h"
#include "framework/window_kit.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/file/errors.h"
#include "runtime/report/print.h"

// ---------------------------------------------------------------------------
// The progress window

rt::WindowDesc ProgressWindowDesc(std::string titleCp1250) {
    rt::WindowDesc d;
    d.kind = rt::WindowKind::Child;
    d.title = std::move(titleCp1250);
    d.at = {0, 0, 142, 59};
    d.centred = true;
    d.resizable = false;
    d.systemMenu = false;
    d.grey = true;
    d.font = rt::Font{"MS Sans Serif", 8};
    return d;
}

ProgressIds BuildProgressWindow(rt::Window& w, std::uint8_t& thermometer) {
    ProgressIds ids;
    rt::Control bar;
    bar.kind = rt::ControlKind::Progress;
    bar.name = "?Progress:Thermometer";
    bar.at = {15, 15, 111, 12};
    bar.value = rt::bind(thermometer);
    ids.Thermometer = w.add(std::move(bar));
    rt::Control user;
    user.kind = rt::ControlKind::String;
    user.name = "?Progress:UserString";
    user.at = {0, 3, 141, 10};
    user.align = rt::Align::Center;
    ids.UserString = w.add(std::move(user));
    rt::Control pct;
    pct.kind = rt::ControlKind::String;
    pct.name = "?Progress:PctText";
    pct.at = {0, 30, 141, 10};
    pct.align = rt::Align::Center;
    ids.PctText = w.add(std::move(pct));
    ids.Cancel = w.add(kit::PushButton("?Progress:Cancel", "Cancel", {45, 42, 50, 15},
                                       "Cancel Report", "Cancel Report"));
    return ids;
}

// ---------------------------------------------------------------------------
// ProcessClass

namespace {
// Rows one statement reads; a tick reads batches until its time is spent.
constexpr int BatchRows = 256;
}  // namespace

void ProcessClass::Init(rt::View& view, RelationManager& relation, int pctText,
                        std::uint8_t& thermometer, StepClass* step, rt::FieldRef) {
    view_ = &view;
    // Batches go on from their last row, and a record's own position is
    // never read again.
    view.readOnFromLastRowOnly(true);
    relation_ = &relation;
    pctText_ = pctText;
    thermometer_ = &thermometer;
    step_ = step;
}

void ProcessClass::AddSortOrder(int key) {
    if (view_) view_->setOrder(key);
}

void ProcessClass::SetFilter(std::string expression) {
    if (view_) view_->setFilter(std::move(expression));
}

Level ProcessClass::TakeRecord() {
    return Level::Benign;
}

bool ProcessClass::Open() {
    if (!view_) return false;
    RecordsProcessed = 0;
    PercentProgress = 0;
    if (view_->open() != 0) return false;
    open_ = true;
    // The estimate: how many rows pass the filter, counted once.
    std::int64_t rows = 0;
    if (view_->count(rows) != 0) return false;
    RecordsToProcess = rows;
    if (view_->set(rt::SetFrom::Start) != 0) return false;
    started_ = true;
    return true;
}

ProcessClass::Step ProcessClass::Next(int budgetMs) {
    if (!open_ || !started_) return Step::Failed;
    const auto start = std::chrono::steady_clock::now();
    // Under the manual clock a tick reads everything: what a tick reads must
    // not depend on how fast the machine is.
    const bool all = rt::manualClock();
    Step result = Step::More;
    while (true) {
        bool stop = false;
        int got = 0;
        const int rc = view_->page(
            BatchRows, true,
            [&] {
                if (stop) return;
                ++RecordsProcessed;
                if (TakeRecord() != Level::Benign) stop = true;
            },
            &got);
        if (rc != rt::FileErr::NoError && rc != rt::FileErr::RecordNotAvailable) {
            result = Step::Failed;
            break;
        }
        if (stop || got < BatchRows || rc == rt::FileErr::RecordNotAvailable) {
            result = Step::Done;
            break;
        }
        if (!all && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(budgetMs))
            break;
    }
    const std::int64_t of = std::max<std::int64_t>(RecordsToProcess, 1);
    PercentProgress = static_cast<int>(std::min<std::int64_t>(100, RecordsProcessed * 100 / of));
    if (result == Step::Done) PercentProgress = 100;
    if (thermometer_) *thermometer_ = static_cast<std::uint8_t>(PercentProgress);
    if (Report && Report->Win && pctText_) {
        Report->Win->control(pctText_).text = std::to_string(PercentProgress) + "% Completed";
        Report->Win->changed();
    }
    return result;
}

const rt::FileStatus& ProcessClass::Status() const {
    static const rt::FileStatus none;
    return view_ ? view_->status() : none;
}

void ProcessClass::Close() {
    if (view_ && open_) view_->close();
    open_ = started_ = false;
}

// ---------------------------------------------------------------------------
// ReportManager

ReportManager::ReportManager(std::string procedureName, rt::Window& progressWindow,
                             EnterByTabClass& enterByTab)
    : WindowProcedure(std::move(procedureName), progressWindow, enterByTab) {}

void ReportManager::Init(ProcessClass& process, rt::report::Report& report,
                         PrintPreviewClass* previewer) {
    process_ = &process;
    report_ = &report;
    previewer_ = previewer;
    process.Report = this;
}

Level ReportManager::Init() {
    const Level l = WindowProcedure::Init();
    if (l != Level::Benign) return l;
    if (const int cancel = window_.find("?Progress:Cancel")) AddItem(cancel, ::Response::Cancelled);
    if (!window_.timer()) window_.setTimer(10);
    return Level::Benign;
}

Level ReportManager::Kill() {
    if (process_) process_->Close();
    return WindowProcedure::Kill();
}

Level ReportManager::TakeEvent() {
    return WindowProcedure::TakeEvent();
}

void ReportManager::Print(std::string_view detail) {
    if (run_) run_->print(detail);
}

Level ReportManager::TakeWindowEvent() {
    if (!Win || Win->event() != rt::Event::Timer || !process_ || !report_ || Dead)
        return WindowProcedure::TakeWindowEvent();
    if (outcome_ != Outcome::None) return Level::Notify;
    if (!opened_) {
        opened_ = true;
        run_ = std::make_unique<rt::report::Run>(*report_);
        if (!process_->Open()) {
            outcome_ = Outcome::Failed;
            rt::showMessage(
                {"Report",
                 "The report cannot read its records.\n" + rt::toUtf8(process_->Status().fileError),
                 rt::ButtonOk, rt::ButtonOk, rt::Icon::Hand});
            Response = ::Response::Cancelled;
            Win->post(rt::Event::CloseWindow);
            return Level::Notify;
        }
    }
    const ProcessClass::Step step = process_->Next();
    if (step == ProcessClass::Step::More) return Level::Notify;
    if (step == ProcessClass::Step::Failed) {
        outcome_ = Outcome::Failed;
        rt::showMessage(
            {"Report",
             "The report cannot read its records.\n" + rt::toUtf8(process_->Status().fileError),
             rt::ButtonOk, rt::ButtonOk, rt::Icon::Hand});
        Response = ::Response::Cancelled;
        Win->post(rt::Event::CloseWindow);
        return Level::Notify;
    }
    if (process_->RecordsProcessed == 0) {
        outcome_ = Outcome::NoRecords;
        rt::showMessage({"No Records", "There are no records available to process.", rt::ButtonOk,
                         rt::ButtonOk, rt::Icon::Asterisk});
        Response = ::Response::Cancelled;
        Win->post(rt::Event::CloseWindow);
        return Level::Notify;
    }
    Finish();
    return Level::Fatal;
}

void ReportManager::Finish() {
    rt::report::DocumentPtr doc = run_->finish();
    run_.reset();
    process_->Close();
    rt::report::noteDocument(doc);
    Response = ::Response::Completed;
    // The progress window goes before the preview comes (Kill still
    // stores its place).
    Win->close();
    AskPreview(std::move(doc));
}

// ---------------------------------------------------------------------------
// ReportProcedure

ReportProcedure::ReportProcedure(std::string procedureName, ReportData data,
                                 std::uint8_t& thermometer, const ProgressIds& ids,
                                 rt::Window& progressWindow, EnterByTabClass& enterByTab)
    : ReportManager(std::move(procedureName), progressWindow, enterByTab),
      data_(std::move(data)),
      thermometer_(thermometer),
      ids_(ids),
      View(data_.file),
      ThisReport(*this) {
    AddFiles({data_.relate});
}

Level ReportProcedure::Init() {
    Bind();
    SetUpView(View);
    ProgressMgr.Init(data_.stepOptions);
    ThisReport.Init(View, *data_.relate, ids_.PctText, thermometer_, &ProgressMgr,
                    rt::FieldOf(data_.file, data_.progressField));
    SetUpReads(ThisReport);
    ReportManager::Init(ThisReport, data_.report, &Previewer);
    Zoom = 100;
    Previewer.SetINIManager(INIMgr());
    Previewer.AllowUserZoom = true;
    Previewer.Maximize = true;
    return ReportManager::Init();
}

Level ReportProcedure::DetailProcess::TakeRecord() {
    procedure_.TakeLines();
    const Level l = ProcessClass::TakeRecord();
    Report->Print(procedure_.data_.detail);
    return l;
}

void ReportManager::AskPreview(rt::report::DocumentPtr document) {
    if (!SkipPreview && previewer_) {
        previewer_->Zoom = Zoom;
        outcome_ = previewer_->Display(std::move(document)) ? Outcome::Printed : Outcome::Previewed;
        return;
    }
    rt::report::PrintTarget t;
    outcome_ = rt::report::printDocument(*document, t) ? Outcome::Printed : Outcome::Failed;
}
