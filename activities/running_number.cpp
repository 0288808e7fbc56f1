#include "activities/running_number.h"

#include "core/dictionary/dictionary.h"
#include "framework/file_manager.h"

namespace activities {

namespace {

int Key(FileManager& access) {
    return rt::KeyOf(*access.File, "ANG:KeySPSBRRED").index;
}

}  // namespace

// The primary key's first three fields are the document; its last the
// running number.
RunningNumbers::RunningNumbers(FileManager& access)
    : last_(access, Key(access), 3, rt::FieldOf(*access.File, "ANG:A1_RED").index) {}

std::int32_t RunningNumbers::Next(std::int32_t federation, std::int32_t club, std::int32_t document,
                                  std::int64_t none) {
    return last_.Next({federation, club, document}, none);
}

}  // namespace activities
