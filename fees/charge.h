#pragma once
// The charging run's work, apart from its window: every permanent member of
// one club charged the fee of the member's category on one new ledger line,
// all the lines of a run written in one transaction.
//
// Runs on the calling thread, over its record buffers and file structures of
// CLANOVI, KATEG and CLANAR (open, or opened lazily by their access objects).
#include <cstdint>
#include <string_view>

#include "runtime/file/file.h"

namespace fees {

struct ChargeOutcome {
    int stored = 0;   // lines written (committed)
    int skipped = 0;  // members charged on this document and date already
    // 0, or the file error that rolled the whole run back (nothing of the
    // run is stored then, stored and skipped are 0); status has its details.
    int error = 0;
    rt::FileStatus status;
};

// Charges club's members whose status is 1 ("Stalni"): each line carries the
// member's own federation and code, the club, run as its running number, the
// member's category, document and date, and as its charge the category's
// fee (0 when the category has no row). A member who holds a line of this
// document on this date (any running number) is skipped and counted; one
// whose running number run is held that day by a line of another document
// is charged under his next free running number on that date. Any failure
// rolls the run back.
ChargeOutcome ChargeClub(std::int32_t club, std::string_view document, std::int32_t date,
                         std::int32_t run);

}  // namespace fees
