#pragma once
// The activity report: the lines of the report selection, grouped by
// federation, club and member, called by the activity list on its thread.
#include <cstdint>
#include <string>

#include "framework/report.h"
#include "runtime/date.h"

void PrintaANGAZ();

// The report's parts alone, over the calling thread's buffers, for the
// benchmarks that run its process without the windows: its locals, its
// description, the TakeRecord steps that fill the locals, the view's joins
// and fields, the process's order and filter, and the selection values the
// filter names (bound while the report runs; the activity list's filter
// names the same and binds them with it).
struct ActivityReportLocals {
    std::string W1_PRE;  // the member's full name, Windows-1250, at most 65 bytes
    rt::DayNumber W1_DAD = 0;
    std::int32_t W1_RED = 0;
    std::int32_t W1_STR = 0;
};
rt::report::Report ActivityReportDescription(ActivityReportLocals& locals);
void ActivityReportTakeRecord(ActivityReportLocals& locals);
void ActivityReportView(rt::View& view);
void ActivityReportReads(ProcessClass& process);
void ActivityReportBind(bool bound);
