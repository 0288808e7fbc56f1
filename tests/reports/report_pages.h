#pragma once
// Every report of the program run headless over one small fixed database, as
// its window calls it, and its pages written out as text: one line per page
// item, in the order the display lists draw them. The golden test compares
// the text with the files under tests/reports/golden; write-report-pages
// (make golden) writes them anew.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "runtime/report/report.h"

namespace reportpages {

struct ReportCase {
    const char* name;  // the golden file: <name>.txt
    void (*procedure)();
};
// By name, in the tests' listings.
inline void PrintTo(const ReportCase& report, std::ostream* out) {
    *out << report.name;
}
// The fee reports (club, member), the print list's record card, the record
// cards of a range of members, the activity report.
const std::vector<ReportCase>& reports();

// The document as text, one line per item:
//   <page> text <x> <y> <w> <h> "<face>" <size> <style> [#rrggbb] <align> "<text>"
//   <page> line|box <x> <y> <w> <h> pen <pen>
//   <page> image <x> <y> <w> <h> "<the file's own name>"
// after a first line with the job title, the paper and the page count.
// Measures in 1/1000 inch.
std::string dump(const rt::report::Document& document);

// The fixed database in a fresh temporary working directory, "today" fixed,
// a display that shows nothing. One at a time; std::runtime_error when the
// database cannot be made.
class Workplace {
  public:
    Workplace();
    ~Workplace();
    Workplace(const Workplace&) = delete;
    Workplace& operator=(const Workplace&) = delete;

    // Runs the report to its preview and returns its pages' dump, the
    // preview closed; std::runtime_error when it made no pages or showed a
    // message.
    std::string run(const ReportCase& report);

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace reportpages
