// Each report's pages, item by item (place, size, font, alignment, text,
// image box), against its golden file: a change of layout, clipping,
// wrapping or page breaks shows as a difference. After a deliberate change
// `make golden` writes the files anew; this test only reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "reports/report_pages.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The first hunk of a unified diff of the two texts (a longest common
// subsequence of lines): a few lines of context around the first changes;
// of a long change its first removed and its first added lines.
std::string FirstDifference(const std::string& want, const std::string& got) {
    constexpr std::size_t Context = 3, Shown = 8, MaxLines = 20;
    const std::vector<std::string> a = Lines(want), b = Lines(got);
    const std::size_t n = a.size(), m = b.size();
    // lcs[i * (m + 1) + j]: the common lines of a[i..] and b[j..].
    std::vector<int> lcs((n + 1) * (m + 1), 0);
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs[i * (m + 1) + j] =
                a[i] == b[j] ? lcs[(i + 1) * (m + 1) + j + 1] + 1
                             : std::max(lcs[(i + 1) * (m + 1) + j], lcs[i * (m + 1) + j + 1]);
    struct Op {
        char sign;
        std::size_t i, j;  // the line in a and in b it stands at
    };
    std::vector<Op> ops;
    for (std::size_t i = 0, j = 0; i < n || j < m;) {
        if (i < n && j < m && a[i] == b[j])
            ops.push_back({' ', i++, j++});
        else if (j == m || (i < n && lcs[(i + 1) * (m + 1) + j] >= lcs[i * (m + 1) + j + 1]))
            ops.push_back({'-', i++, j});
        else
            ops.push_back({'+', i, j++});
    }
    std::size_t k = 0;
    while (k < ops.size() && ops[k].sign == ' ') ++k;
    if (k == ops.size()) return {};
    const auto changed =
        std::count_if(ops.begin(), ops.end(), [](const Op& op) { return op.sign != ' '; });
    std::ostringstream out;
    std::size_t printed = 0;
    auto line = [&](const Op& op) {
        out << op.sign << (op.sign == '+' ? b[op.j] : a[op.i]) << '\n';
        ++printed;
    };
    const std::size_t from = k > Context ? k - Context : 0;
    out << "@@ -" << ops[from].i + 1 << " +" << ops[from].j + 1 << " @@ (" << changed
        << " lines removed or added in all)\n";
    for (std::size_t c = from; c < k; ++c) line(ops[c]);
    // Changes closer than twice the context stay in one hunk, as in a
    // unified diff; the hunk ends after a longer run of equal lines.
    while (k < ops.size() && printed < MaxLines) {
        std::vector<Op> removed, added;
        for (; k < ops.size() && ops[k].sign != ' '; ++k)
            (ops[k].sign == '-' ? removed : added).push_back(ops[k]);
        for (const std::vector<Op>* run : {&removed, &added}) {
            for (std::size_t r = 0; r < run->size() && r < Shown; ++r) line((*run)[r]);
            if (run->size() > Shown)
                out << (run == &removed ? '-' : '+') << "... " << run->size() - Shown << " more\n";
        }
        std::size_t same = 0;
        while (k + same < ops.size() && ops[k + same].sign == ' ') ++same;
        const bool last = k + same == ops.size() || same > 2 * Context;
        for (std::size_t c = 0; c < same && (!last || c < Context); ++c) line(ops[k + c]);
        if (last) return out.str();
        k += same;
    }
    if (k < ops.size()) out << "...\n";
    return out.str();
}

class ReportPages : public ::testing::TestWithParam<reportpages::ReportCase> {};

TEST_P(ReportPages, MatchTheGoldenFile) {
    const reportpages::ReportCase& report = GetParam();
    const std::filesystem::path file =
        std::filesystem::path(CLANOVI_REPORT_GOLDEN) / (std::string(report.name) + ".txt");
    ASSERT_TRUE(std::filesystem::exists(file))
        << "tests/reports/golden/" << report.name << ".txt is missing; `make golden` writes it";
    const std::string want = testsupport::readFile(file);
    std::string got;
    {
        reportpages::Workplace workplace;
        got = workplace.run(report);
    }
    if (got != want)
        ADD_FAILURE() << "the pages of " << report.name << " differ from tests/reports/golden/"
                      << report.name << ".txt (- the file, + the pages now):\n"
                      << FirstDifference(want, got)
                      << "If the change is meant, `make golden` writes the files anew; "
                         "look at their diff before committing it.";
}

INSTANTIATE_TEST_SUITE_P(Reports, ReportPages, ::testing::ValuesIn(reportpages::reports()),
                         [](const ::testing::TestParamInfo<reportpages::ReportCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
