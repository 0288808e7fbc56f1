#include "tests/scenarios/report_checks.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/report/report.h"

namespace {

// The document the checks read: the last report made, kept after the first
// check took it, so several checks read the same pages; a report made since
// replaces it.
rt::report::DocumentPtr& Checked() {
    static rt::report::DocumentPtr doc;
    return doc;
}

rt::report::DocumentPtr Take() {
    if (rt::report::documentNoted()) {
        Checked() = rt::report::lastDocument();
        rt::report::clearLastDocument();
    }
    return Checked();
}

// A page's text items top to bottom, then left to right.
std::vector<std::string> Texts(const rt::report::Document& doc, std::size_t page) {
    std::vector<rt::PageItem> items = doc.pages[page]->items();
    std::stable_sort(items.begin(), items.end(), [](const rt::PageItem& a, const rt::PageItem& b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    std::vector<std::string> out;
    for (const rt::PageItem& i : items)
        if (i.kind == rt::PageItem::Kind::Text) out.push_back(i.text);
    return out;
}

std::string Quoted(const std::vector<std::string>& texts) {
    std::string s;
    for (const std::string& t : texts) s += (s.empty() ? "\"" : " \"") + t + "\"";
    return s.empty() ? "no text" : s;
}

}  // namespace

ReportCheckResult CheckReport(const std::vector<std::string>& args,
                              const std::function<bool(std::string_view, std::string_view)>& matches) {
    ReportCheckResult r;
    auto fail = [&](std::string expected, std::string saw) {
        r.holds = false;
        r.expected = std::move(expected);
        r.saw = std::move(saw);
        return r;
    };
    if (args.empty()) return fail("pages, page, order or none after expect report", "nothing");
    if (args[0] == "none") {
        if (rt::report::documentNoted()) {
            const auto doc = Take();
            return fail("no report since the last report check",
                        "a report of " + std::to_string(doc->pageCount()) + " pages");
        }
        return r;
    }
    const auto doc = Take();
    if (!doc) return fail("a report's pages", "no report ran");
    const std::size_t pages = doc->pageCount();
    if (args[0] == "pages" && args.size() == 2) {
        if (std::to_string(pages) != args[1])
            return fail(args[1] + " pages", std::to_string(pages) + " pages");
        return r;
    }
    if (args[0] == "page" && args.size() >= 3) {
        const long n = std::atol(args[1].c_str());
        if (n < 1 || static_cast<std::size_t>(n) > pages)
            return fail("page " + args[1], std::to_string(pages) + " pages");
        const std::vector<std::string> texts = Texts(*doc, static_cast<std::size_t>(n - 1));
        auto has = [&](const std::string& want) {
            return std::any_of(texts.begin(), texts.end(),
                               [&](const std::string& t) { return matches(want, t); });
        };
        if (args[2] == "image" && args.size() == 4) {
            // An image item drawing the file of that name (letter case
            // ignored), or none at all.
            std::vector<std::string> images;
            for (const rt::PageItem& i : doc->pages[static_cast<std::size_t>(n - 1)]->items())
                if (i.kind == rt::PageItem::Kind::Image) {
                    const std::size_t slash = i.text.rfind('/');
                    images.push_back(slash == std::string::npos ? i.text : i.text.substr(slash + 1));
                }
            auto lower = [](std::string t) {
                for (char& c : t)
                    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
                return t;
            };
            const bool none = args[3] == "none";
            const bool found = std::any_of(images.begin(), images.end(), [&](const std::string& i) {
                return lower(i) == lower(args[3]);
            });
            if (none ? !images.empty() : !found)
                return fail("page " + args[1] + (none ? " without an image" : " with the image \"" + args[3] + "\""),
                            images.empty() ? "no image" : "images " + Quoted(images));
            return r;
        }
        if (args[2] == "lacks") {
            for (std::size_t i = 3; i < args.size(); ++i)
                if (has(args[i]))
                    return fail("page " + args[1] + " without \"" + args[i] + "\"", Quoted(texts));
            return r;
        }
        for (std::size_t i = 2; i < args.size(); ++i)
            if (!has(args[i]))
                return fail("page " + args[1] + " with \"" + args[i] + "\"", Quoted(texts));
        return r;
    }
    if (args[0] == "order" && args.size() >= 2) {
        std::size_t next = 1;
        std::vector<std::string> all;
        for (std::size_t p = 0; p < pages; ++p)
            for (std::string& t : Texts(*doc, p)) all.push_back(std::move(t));
        for (const std::string& t : all)
            if (next < args.size() && matches(args[next], t)) ++next;
        if (next < args.size())
            return fail("\"" + args[next] + "\" after the texts before it", Quoted(all));
        return r;
    }
    return fail("pages N, page N TEXT..., page N lacks TEXT, order TEXT... or none",
                args[0]);
}
