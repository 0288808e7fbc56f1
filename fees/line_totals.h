#pragma once
// The fee lists' totals ("Zbir"): what the listed ledger lines charge and
// pay, and the saldo, apart from the window that shows them.
#include <string>

#include "runtime/file/file.h"
#include "runtime/money.h"

namespace fees {

struct LineTotals {
    rt::Money charged, paid, saldo;
};

// The sums of the charges (CL_DUG) and payments (CL_POD) of the ledger lines
// that pass filter (a view filter over the ledger's fields and names bound
// on this thread), exact to the hundredth in one statement, and their saldo
// (saturated when either sum is). Read through a view of its own: no row
// comes into a record buffer. An ok status with totals filled, or the
// status of the open or the sum that failed, totals left as they were.
rt::FileStatus SumLines(rt::FileStructure& ledger, std::string filter, LineTotals& totals);

}  // namespace fees
