#pragma once
// The printer's font metrics, per face file (metrics.cpp). Private to the
// report engine and its tests.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/report/report.h"

namespace rt::report {

struct FaceMetrics {
    std::string file;  // empty when no font file was found
    bool found = false;
    int unitsPerEm = 2048;
    int ascender = 0, descender = 0, height = 0;  // font units; descender positive
    std::array<int, 256> advance{};               // per Windows-1250 byte, font units

    std::int64_t units(std::string_view cp1250) const;
    int toMils(std::int64_t units, int points) const;
};

const FaceMetrics& metricsFor(const Font& font);
int textWidthCp1250(const Font& font, std::string_view cp1250);

}  // namespace rt::report
