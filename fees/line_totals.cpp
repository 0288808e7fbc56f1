#include "fees/line_totals.h"

#include <utility>
#include <vector>

namespace fees {

rt::FileStatus SumLines(rt::FileStructure& ledger, std::string filter, LineTotals& totals) {
    rt::View lines(ledger);
    lines.setFilter(std::move(filter));
    auto failed = [&lines](int rc) {
        rt::FileStatus status = lines.status();
        if (status.ok()) status.code = rc;
        return status;
    };
    if (const int rc = lines.open(); rc != 0) return failed(rc);
    std::vector<rt::Money> sums;
    if (const int rc = lines.sum(
            {rt::FieldOf(ledger, "CLA1:CL_DUG").index, rt::FieldOf(ledger, "CLA1:CL_POD").index},
            sums);
        rc != 0)
        return failed(rc);
    totals = {sums[0], sums[1], rt::saldo(sums[0], sums[1])};
    return {};
}

}  // namespace fees
