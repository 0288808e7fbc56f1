#pragma once
// The report checks of the scenario format: `expect report pages N`,
// `expect report page N "TEXT" ...`, `expect report page N lacks "TEXT"`,
// `expect report order "T1" "T2" ...` and `expect report none`, and
// `expect report page N image "NAME"|none` (an image of the file NAME,
// letter case ignored / no image on the page), read from
// the pages the last report run made (the display lists the preview and the
// printer draw).
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ReportCheckResult {
    bool holds = true;
    std::string expected, saw;
};

// args: the words after "expect report"; matches: the runner's comparison
// of an expected text (with '*') with a printed one.
ReportCheckResult CheckReport(const std::vector<std::string>& args,
                              const std::function<bool(std::string_view, std::string_view)>& matches);
