#pragma once
// The report procedure's classes: the process that reads a filtered, ordered
// view record by record (ProcessClass), the report manager that runs it on
// the progress window's timer and hands the pages to the preview
// (ReportManager), the preview (PrintPreviewClass), and the progress window
// every report shows.
//
// A report procedure is its data and its differences over ReportProcedure,
// which takes the steps every report takes:
//
//   Init: the names the filter uses bound (Bind), the view's joins and
//   fields (SetUpView), ProgressMgr.Init(step options),
//   ThisReport.Init(view, relation, ids.PctText, thermometer, &ProgressMgr,
//   progressField), the order and the filter (SetUpReads),
//   ReportManager::Init(ThisReport, Report, &Previewer), Zoom = 100,
//   Previewer.SetINIManager(INIMgr()), Previewer.AllowUserZoom = true,
//   Previewer.Maximize = true; then the inherited Init (the primary file
//   opened, the window's timer (10)).
//   ThisReport.TakeRecord, per record of the view: the locals from the
//   buffers (TakeLines), the inherited TakeRecord, the detail printed.
//
// RunReport<ThisWindowClass>(thermometer, ...) runs it.
//
// The run: every timer tick of the progress window reads the view in
// batches of about 50 ms (one statement per batch, positioned after the
// last row read, no statement open between ticks; under the manual clock a
// tick reads everything), calls TakeRecord for each row, and moves the bar
// and the percentage, estimated from a COUNT of the filter. "Cancel" ends
// the run with the response cancelled and no output. No row at all: the
// notice "No Records" ("There are no records available to process.") and no
// preview. After the last row the open footers print, the progress window
// closes and the preview opens with the pages (unless SkipPreview, which
// prints them at once); the procedure ends with the preview.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "framework/ini.h"
#include "framework/step.h"
#include "framework/window_procedure.h"
#include "runtime/file/file.h"
#include "runtime/report/report.h"

class RelationManager;
class ReportManager;

// The controls of the progress window, as every report builds it.
struct ProgressIds {
    int Thermometer = 0;  // ?Progress:Thermometer
    int UserString = 0;   // ?Progress:UserString
    int PctText = 0;      // ?Progress:PctText
    int Cancel = 0;       // ?Progress:Cancel
};
// "Report CLANAR": 142 x 59 dialog units, centred, grey, a double frame, not
// a child of the frame; "MS Sans Serif" 8.
rt::WindowDesc ProgressWindowDesc(std::string titleCp1250);
ProgressIds BuildProgressWindow(rt::Window& window, std::uint8_t& thermometer);

class ProcessClass {
  public:
    virtual ~ProcessClass() = default;

    // The view as the procedure set it up (its joins and projected fields),
    // the relation object of its primary file, the control that shows the
    // percentage and the variable of the bar, the step object and the field
    // the step was meant to estimate from (the estimate is a COUNT of the
    // filter: a field the filter fixes would stand still).
    void Init(rt::View& view, RelationManager& relation, int pctText, std::uint8_t& thermometer,
              StepClass* step = nullptr, rt::FieldRef progressField = {});
    void AddSortOrder(int key);
    void SetFilter(std::string expression);

    // Per record that passes the filter (the buffers hold the fields the
    // view projects and its order key's; the view reads on from the last
    // row of each batch only, View::readOnFromLastRowOnly); the inherited
    // one does nothing and says benign. A level other than benign ends the reading there (the
    // report prints what it has).
    virtual Level TakeRecord();

    ReportManager* Report = nullptr;  // set by ReportManager::Init
    std::int64_t RecordsToProcess = 0;
    std::int64_t RecordsProcessed = 0;
    int PercentProgress = 0;

    // The loop's steps (ReportManager calls them). Open counts and positions
    // (a file error: false, reported). Next reads rows for about budgetMs
    // (under the manual clock: all of them); Done once the view is read.
    enum class Step { More, Done, Failed };
    bool Open();
    Step Next(int budgetMs = 50);
    void Close();
    // The view's last file status (what a failed read said).
    const rt::FileStatus& Status() const;

  private:
    rt::View* view_ = nullptr;
    RelationManager* relation_ = nullptr;
    int pctText_ = 0;
    std::uint8_t* thermometer_ = nullptr;
    StepClass* step_ = nullptr;
    bool open_ = false, started_ = false;
};

class PrintPreviewClass {
  public:
    // The preview keeps its window states in the INI file, sections
    // "_PreviewWindow_" and "_PreviewAskPagesWindow_".
    void SetINIManager(INIClass& ini) { ini_ = &ini; }
    bool AllowUserZoom = false;
    bool Maximize = false;
    int Zoom = 100;  // the first page's zoom, percent

    // Shows the pages in the preview window on this thread until it is
    // closed; true when pages were printed from it.
    bool Display(rt::report::DocumentPtr document);

  private:
    INIClass* ini_ = nullptr;
};

class ReportManager : public WindowProcedure {
  public:
    ReportManager(std::string procedureName, rt::Window& progressWindow,
                  EnterByTabClass& enterByTab);

    using WindowProcedure::Init;
    // The process, the report description and the preview (none: printed
    // at once).
    void Init(ProcessClass& process, rt::report::Report& report, PrintPreviewClass* previewer);
    bool SkipPreview = false;
    int Zoom = 100;

    // Prints a band of the report (a detail, by name), with what the breaks
    // call for first.
    void Print(std::string_view detail);
    rt::report::Run* ReportRun() { return run_.get(); }

    Level Init() override;
    Level Kill() override;
    Level TakeEvent() override;
    Level TakeWindowEvent() override;

    // What the run ended with (for the procedure's own tests).
    enum class Outcome { None, NoRecords, Cancelled, Previewed, Printed, Failed };
    Outcome Result() const { return outcome_; }

  protected:
    // After the last row: the pages to the preview, or to the printer.
    virtual void AskPreview(rt::report::DocumentPtr document);

  private:
    void Finish();
    ProcessClass* process_ = nullptr;
    rt::report::Report* report_ = nullptr;
    PrintPreviewClass* previewer_ = nullptr;
    std::unique_ptr<rt::report::Run> run_;
    Outcome outcome_ = Outcome::None;
    bool opened_ = false;
};

// What a report reads and prints, as data.
struct ReportData {
    rt::FileStructure& file;     // the primary file: the view's, opened with the procedure
    RelationManager*& relate;    // its relation object (the calling thread's Relate::X)
    const char* progressField;   // the field the step estimates from
    int stepOptions = 0;         // StepClass::Init's
    rt::report::Report& report;  // the description
    std::string detail;          // the detail printed for each record
};

// A report procedure's ThisWindow: the steps above, the hooks in the order
// they run.
class ReportProcedure : public ReportManager {
  public:
    ReportProcedure(std::string procedureName, ReportData data, std::uint8_t& thermometer,
                    const ProgressIds& ids, rt::Window& progressWindow,
                    EnterByTabClass& enterByTab);

    Level Init() override;

  protected:
    // The names the filter compares with (rt::bind).
    virtual void Bind() {}
    // The view's joins and projected fields.
    virtual void SetUpView(rt::View& view) = 0;
    // The process's order and filter (AddSortOrder, SetFilter).
    virtual void SetUpReads(ProcessClass& process) = 0;
    // Per record, before its detail prints: the locals from the buffers.
    virtual void TakeLines() {}

  private:
    class DetailProcess : public ProcessClass {
      public:
        explicit DetailProcess(ReportProcedure& procedure) : procedure_(procedure) {}
        Level TakeRecord() override;

      private:
        ReportProcedure& procedure_;
    };

    ReportData data_;
    std::uint8_t& thermometer_;
    const ProgressIds& ids_;
    rt::View View;
    StepLongClass ProgressMgr;
    PrintPreviewClass Previewer;
    DetailProcess ThisReport;
};

// Runs a report procedure the way every one runs: its Enter-as-Tab manager,
// the progress window "Report CLANAR" with its bar on thermometer, then
// ThisWindow made from args, the thermometer, the progress window's controls,
// the window and the manager; its response goes to GlobalResponse. The
// objects end in the reverse order.
template <class ThisWindowClass, class... Args>
void RunReport(std::uint8_t& thermometer, Args&&... args) {
    EnterByTabClass EnterByTabManager;
    rt::Window ProgressWindow(ProgressWindowDesc("Report CLANAR"));
    const ProgressIds ids = BuildProgressWindow(ProgressWindow, thermometer);
    ThisWindowClass ThisWindow(std::forward<Args>(args)..., thermometer, ids, ProgressWindow,
                               EnterByTabManager);
    GlobalResponse = ThisWindow.Run();
}
