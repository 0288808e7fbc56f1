#pragma once
// Stepping a club's document counter by one, up or down, as the hikes
// lists' counter buttons do.
#include <cstdint>

namespace activities {

// Steps the DOKAN row of club by delta (+1 or -1) on the calling thread's
// DOKAN file. The read and the write run in one transaction, which holds the
// connection from BEGIN to COMMIT, so two windows stepping the same counter
// never lose a step; another process writing meanwhile makes the step fail
// rather than be overwritten.
//
// Only after the write is stored does "Tekući broj je N" show the stored
// value. When the club has no counter row, when the step would leave the
// 32-bit range, or when the write fails, nothing is stored and "Record was
// not updated" shows instead. The DOK buffer holds the row as stored (or the
// club code alone when it has none). True when the counter was stepped.
bool StepDocumentCounter(std::int32_t club, int delta);

}  // namespace activities
