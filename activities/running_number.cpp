#include "activities/running_number.h"

#include <algorithm>
#include <limits>

#include "core/dictionary/dictionary.h"
#include "framework/file_manager.h"

namespace activities {

namespace {

std::int32_t After(std::int64_t n) {
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(n + 1, std::numeric_limits<std::int32_t>::max()));
}

int Key(FileManager& access) {
    return access.File->def().keyIndex("ANG:KeySPSBRRED");
}

}  // namespace

// The primary key's first three fields are the document; its last the
// running number.
RunningNumbers::RunningNumbers(FileManager& access)
    : last_(access, Key(access), 3, access.File->def().fieldIndex("ANG:A1_RED")) {}

std::int32_t RunningNumbers::Next(std::int32_t federation, std::int32_t club, std::int32_t document,
                                  std::int64_t none) {
    if (const auto highest = last_.Read({federation, club, document})) return After(*highest);
    return After(none);
}

}  // namespace activities
