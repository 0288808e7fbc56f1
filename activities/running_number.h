#pragma once
// The running number the next line of a document gets.
#include <cstdint>

namespace activities {

// The highest running number stored in the document (federation, club,
// document number) plus one; for a document without lines, none plus one.
// One statement over the primary key, through a view of its own: the
// thread's record buffers are left as they were. The number never passes
// the largest 32-bit value (a line there is refused as a duplicate).
std::int32_t NextRunningNumber(std::int32_t federation, std::int32_t club, std::int32_t document,
                               std::int32_t none);

}  // namespace activities
