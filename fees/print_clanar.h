#pragma once
// The fee reports "Pregled članarine" of the current selection: all members
// of one club (PrintCLANAR, started on a thread of its own by its list) and
// one member (PrintCLANAR1, on its list's thread).
#include <cstdint>

#include "framework/report.h"
#include "runtime/money.h"
#include "runtime/text.h"

void PrintCLANAR();
void PrintCLANAR1();

// The club report's parts alone, over the calling thread's buffers, for the
// benchmarks that run its process without the windows: its locals, its
// description, the TakeRecord step that fills the locals, the view's joins
// and fields, the process's order and filter, and the selection values the
// filter names (bound while the report runs).
//
// The line's saldo is exact money, as every sum of it is: a saldo never
// wraps, one too wide for its picture prints as the overflow mark, and so
// does the saldo of a saturated amount.
struct FeeReportLocals {
    rt::Text<65> L1_W1_PRE;
    std::int32_t L1_W1_DAD = 0;
    rt::Money L1_W1_SDO;
    std::uint8_t Progress_Thermometer = 0;
};
rt::report::Report FeeReportDescription(FeeReportLocals& locals);
void FeeReportTakeRecord(FeeReportLocals& locals);
void FeeReportView(rt::View& view);
void FeeReportReads(ProcessClass& process);
void FeeReportBind(bool bound);
