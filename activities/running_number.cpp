#include "activities/running_number.h"

#include <algorithm>
#include <limits>
#include <variant>

#include "core/dictionary/dictionary.h"

namespace activities {

namespace {

std::int32_t After(std::int64_t n) {
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(n + 1, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::int32_t NextRunningNumber(std::int32_t federation, std::int32_t club, std::int32_t document,
                               std::int32_t none) {
    rt::FileStructure& lines = fileStructure(FileId::ANGAZOV);
    const rt::FileDef& def = lines.def();
    rt::View view(lines);
    view.setOrder(def.keyIndex("ANG:KeySPSBRRED"));
    for (auto [label, value] : {std::pair{"ANG:A1_SPS", federation}, std::pair{"ANG:A1_SIP", club},
                                std::pair{"ANG:A1_BRJ", document}})
        view.addRange(lines.field(def.fieldIndex(label)), rt::Compare::Equal,
                      [v = value] { return rt::Value{static_cast<std::int64_t>(v)}; });
    const int running = def.fieldIndex("ANG:A1_RED");
    view.project(lines.field(running));
    rt::Value highest;
    const bool found = view.open() == 0 && view.max(running, highest) == 0;
    view.close();
    if (found)
        if (const auto* n = std::get_if<std::int64_t>(&highest)) return After(*n);
    return After(none);
}

}  // namespace activities
