// Writes every report's golden file (<name>.txt) into the folder given, from
// the pages the reports make now: `make golden` after a deliberate change of
// a report's layout, or of the fixed database the reports run over.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "reports/report_pages.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write-report-pages FOLDER\n";
        return 2;
    }
    // Absolute: each report runs in a temporary working directory.
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(folder);
    try {
        for (const reportpages::ReportCase& report : reportpages::reports()) {
            std::string pages;
            {
                reportpages::Workplace workplace;
                pages = workplace.run(report);
            }
            const std::filesystem::path file = folder / (std::string(report.name) + ".txt");
            const bool same = std::filesystem::exists(file) && testsupport::readFile(file) == pages;
            if (!same) testsupport::writeFile(file, pages);
            std::cout << (same ? "unchanged " : "written   ") << file.filename().string() << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << "write-report-pages: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
