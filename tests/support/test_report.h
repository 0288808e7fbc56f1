#pragma once
// A small report over the fee ledger that exists only in the tests and the
// benchmarks, so the report engine, the process, the progress window and the
// preview are tried on a real view before the fee reports use them.
//
// "TestReportCLANAR": every CLANAR line (no filter; an empty table gives
// "No Records"), in the order federation, club, member, date, running
// number, the member's name joined from CLANOVI; progress window "Report
// CLANAR". Page header: "Pregled članarine", "Strana:" with the page number;
// a detail per line: the line count (never reset), the member code, the
// name ("surname, father's name, given name"), the charge, the payment and
// the line's saldo; the club's footer "Ukupno planinarsko društvo:" with the
// three sums (reset when the club changes); the federation's footer a gap.
// The preview opens maximized at zoom 100, its windows kept in Sutrik.INI.
#include "framework/report.h"

// Registers it under its name (core/frame/procedures.h).
void RegisterTestReport();
// The procedure itself, for tests that run it on a thread of their own.
void TestReportCLANAR();
// The report description alone, over the calling thread's buffers, and the
// TakeRecord steps that fill its locals (for the benchmarks).
struct TestReportLocals {
    rt::Text<65> PRE;
    rt::Money SDO;
};
rt::report::Report TestReportDescription(TestReportLocals& locals);
void TestReportTakeRecord(TestReportLocals& locals);
