// The report run on small fixtures: breaks and footers, totals, pages,
// clipping and wrapping, as the pages' display lists hold them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/date.h"
#include "runtime/report/report.h"
#include "runtime/text.h"

namespace rr = rt::report;

namespace {

// The buffers a report reads, as a procedure's record and locals.
struct Line {
    std::int32_t club, member;
    std::int64_t charge;  // hundredths
};

struct Fixture {
    std::int32_t club = 0, member = 0;
    rt::Money charge;
    std::string clubName;  // Windows-1250
    rr::Report r;

    // Detail area: 200..(200 + rows * 200); details 200 high.
    explicit Fixture(int rows = 40) {
        r.jobTitle = "Test";
        r.x = 200;
        r.y = 1500;
        r.w = 8000;
        r.h = rows * 200;
        r.font = rt::Font{"Arial", 8};
        r.header = rr::Band{"?Header", 200, 250, 8000, 1000};
        r.header.add(field("?Club", 100, 100, 3000, rr::Source::of(clubName), "@s30"));
        rr::Control page = field("?Page", 6000, 100, 500, rr::Source::pageNumber(), "@n_4");
        page.align = rt::Align::Right;
        r.header.add(page);
        r.footer = rr::Band{"?Footer", 250, 10500, 8000, 0};
        r.form = rr::Band{"?Form", 250, 250, 8000, 0};

        rr::Band d{"?Detail1", 0, 0, 7990, 200};
        rr::Control count = field("?Line", 100, 0, 400, {}, "@n_4");
        count.total = rr::Total::Count;
        count.align = rt::Align::Right;
        d.add(count);
        d.add(field("?Member", 600, 0, 500, rr::Source::of(member), "@n_6"));
        rr::Control money = field("?Charge", 5000, 0, 1000, rr::Source::of(charge), "@n-14.`2");
        money.align = rt::Align::Right;
        d.add(money);
        r.details.push_back(std::move(d));

        r.addBreak("?Break1", rr::Source::of(club));
        r.addBreak("?Break2", rr::Source::of(member));
        auto& clubFooter = r.breaks[0].footer = std::make_unique<rr::Band>();
        *clubFooter = rr::Band{"?GroupFooter1", 0, 0, 8000, 300};
        rr::Control label;
        label.kind = rr::Control::Kind::String;
        label.text = "Ukupno:";
        label.x = 3000;
        clubFooter->add(label);
        rr::Control sum = field("?Sum", 5000, 50, 1000, rr::Source::of(charge), "@n-14.`2");
        sum.total = rr::Total::Sum;
        sum.reset.breakName = "?Break1";
        sum.align = rt::Align::Right;
        clubFooter->add(sum);
        // The member's footer: height 0, prints nothing.
        auto& memberFooter = r.breaks[1].footer = std::make_unique<rr::Band>();
        *memberFooter = rr::Band{"?GroupFooter2", 0, 0, 8000, 0};
        memberFooter->add(field("?Never", 0, 0, 1000, rr::Source::of(member), "@n_6"));
    }

    static rr::Control field(const char* name, int x, int y, int w, rr::Source s,
                             const char* picture) {
        rr::Control c;
        c.kind = rr::Control::Kind::Field;
        c.name = name;
        c.x = x;
        c.y = y;
        c.w = w;
        c.value = std::move(s);
        c.picture = picture;
        return c;
    }

    rr::DocumentPtr run(const std::vector<Line>& lines) {
        rr::Run run(r);
        for (const Line& l : lines) {
            club = l.club;
            member = l.member;
            charge = rt::Money{l.charge};
            clubName = *rt::fromUtf8("Društvo " + std::to_string(l.club));
            run.print("?Detail1");
        }
        return run.finish();
    }
};

std::vector<rt::PageItem> items(const rr::Document& d, int page) {
    return *d.payload(page).items;
}

// Every text of the document, page by page, top to bottom, then left to right.
std::vector<std::string> texts(const rr::Document& d) {
    std::vector<std::string> out;
    for (int p = 1; p <= static_cast<int>(d.pageCount()); ++p) {
        auto it = items(d, p);
        std::stable_sort(it.begin(), it.end(), [](const rt::PageItem& a, const rt::PageItem& b) {
            return a.y != b.y ? a.y < b.y : a.x < b.x;
        });
        for (auto& i : it)
            if (i.kind == rt::PageItem::Kind::Text) out.push_back(i.text);
    }
    return out;
}

const rt::PageItem* findText(const std::vector<rt::PageItem>& items, const std::string& text) {
    for (const auto& i : items)
        if (i.kind == rt::PageItem::Kind::Text && i.text == text) return &i;
    return nullptr;
}

}  // namespace

TEST(ReportEngine, BreaksPrintTheirFootersWithTheirSumsInOrder) {
    Fixture f;
    // Club 1: member 10 with two lines, member 11 with one; club 2: one line.
    auto doc = f.run({{1, 10, 10000}, {1, 10, -3000}, {1, 11, 550}, {2, 20, 700}});
    ASSERT_EQ(doc->pageCount(), 1u);
    const std::vector<std::string> want = {
        "Društvo 1", "1",    "1",       "10",    "100,00", "2",  "10",   "-30,00",  "3",
        "11",        "5,50", "Ukupno:", "75,50", "4",      "20", "7,00", "Ukupno:", "7,00"};
    // The page header and page number come first; then the lines in order.
    EXPECT_EQ(texts(*doc), want);
}

TEST(ReportEngine, ABandThatDoesNotFitGoesToTheNextPageUnderTheOpeningRecordsHeader) {
    Fixture f(3);  // three details a page
    auto doc = f.run({{1, 10, 100}, {1, 10, 100}, {1, 11, 100}, {2, 20, 100}, {2, 20, 100}});
    // Page 1: three details of club 1; the club footer does not fit and
    // opens page 2, whose header shows what the buffers hold then: the
    // record that broke (club 2).
    ASSERT_EQ(doc->pageCount(), 3u);
    auto p1 = items(*doc, 1), p2 = items(*doc, 2), p3 = items(*doc, 3);
    EXPECT_TRUE(findText(p1, "Društvo 1"));
    EXPECT_TRUE(findText(p1, "1") && findText(p1, "3"));
    EXPECT_FALSE(findText(p1, "Ukupno:"));
    const rt::PageItem* footer = findText(p2, "Ukupno:");
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->y, 1500);  // at the top of the detail area
    EXPECT_TRUE(findText(p2, "Društvo 2"));
    EXPECT_TRUE(findText(p2, "3,00"));  // the club's sum
    // Page numbers count pages; the line count runs on across pages.
    EXPECT_TRUE(findText(p2, "2"));
    EXPECT_TRUE(findText(p3, "3"));
    const auto all = texts(*doc);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Ukupno:"), 2);
    EXPECT_NE(std::find(all.begin(), all.end(), "5"), all.end());
}

TEST(ReportEngine, HeaderOnEveryPageShowsThePageNumberAndTheRecordThatOpensIt) {
    Fixture f(2);
    std::vector<Line> lines;
    for (int i = 0; i < 6; ++i) lines.push_back({i < 3 ? 1 : 7, 10 + i, 100});
    // One club per break; each member its own group.
    auto doc = f.run(lines);
    // 6 details and 2 club footers at 2 details a page (a footer 300 high
    // takes the place of two details).
    ASSERT_GE(doc->pageCount(), 4u);
    for (int p = 1; p <= static_cast<int>(doc->pageCount()); ++p) {
        auto it = items(*doc, p);
        const rt::PageItem* page = nullptr;
        for (const auto& i : it)
            if (i.kind == rt::PageItem::Kind::Text && i.x == 200 + 6000) page = &i;
        ASSERT_TRUE(page) << "page " << p;
        EXPECT_EQ(page->text, std::to_string(p));
    }
    EXPECT_TRUE(findText(items(*doc, 1), "Društvo 1"));
    EXPECT_TRUE(findText(items(*doc, static_cast<int>(doc->pageCount())), "Društvo 7"));
}

TEST(ReportEngine, CountNeverResetsWhileSumsResetAtTheirBreak) {
    Fixture f;
    auto doc = f.run({{1, 1, 100}, {2, 2, 200}, {3, 3, 300}});
    const auto all = texts(*doc);
    // Line numbers 1, 2, 3 across three clubs; each club's sum its own.
    for (const char* s : {"1,00", "2,00", "3,00"})
        EXPECT_EQ(std::count(all.begin(), all.end(), s), 2) << s;  // detail and footer
    EXPECT_NE(std::find(all.begin(), all.end(), "3"), all.end());
    EXPECT_EQ(std::find(all.begin(), all.end(), "6,00"), all.end());
}

TEST(ReportEngine, FieldsAreClippedToTheirBoxAndTextBoxesWrapWithinTheirHeight) {
    rt::Font arial{"Arial", 8};
    std::string name = *rt::fromUtf8("Šimunović-Đurđević Žaklina Čedomirka");
    std::string note(
        *rt::fromUtf8("Član planinarskog društva od osnivanja, vodič i markacist; "
                      "sudjelovao u mnogim pohodima i akcijama spašavanja."));
    rr::Report r;
    r.x = 200;
    r.y = 1000;
    r.w = 8000;
    r.h = 9000;
    r.font = arial;
    rr::Band d{"?Detail", 0, 0, 8000, 2000};
    rr::Control left = Fixture::field("?Left", 0, 0, 1000, rr::Source::of(name), "@s65");
    rr::Control right = Fixture::field("?Right", 2000, 0, 1000, rr::Source::of(name), "@s65");
    right.align = rt::Align::Right;
    rr::Control box = Fixture::field("?Box", 0, 500, 1800, rr::Source::of(note), "");
    box.kind = rr::Control::Kind::Text;
    box.h = 3 * rr::lineHeight(arial);  // room for three lines
    d.add(left);
    d.add(right);
    d.add(box);
    r.details.push_back(std::move(d));
    rr::Run run(r);
    run.print(0);
    auto doc = run.finish();
    auto it = items(*doc, 1);
    const std::string full = rt::toUtf8(name);
    std::vector<const rt::PageItem*> lines;
    const rt::PageItem *l = nullptr, *rgt = nullptr;
    for (const auto& i : it) {
        if (i.x == 200 && i.y == 1000) l = &i;
        if (i.x == 2200) rgt = &i;
        if (i.y >= 1500) lines.push_back(&i);
    }
    ASSERT_TRUE(l && rgt);
    // Cut to what fits the box: the start for the left-aligned, the end
    // for the right-aligned one; never wider than the box.
    EXPECT_LT(l->text.size(), full.size());
    EXPECT_EQ(full.rfind(l->text, 0), 0u);
    EXPECT_LE(rr::textWidth(arial, l->text), 1000);
    EXPECT_GT(rr::textWidth(arial, full.substr(0, l->text.size() + 2)), 1000);
    EXPECT_EQ(full.substr(full.size() - rgt->text.size()), rgt->text);
    EXPECT_LE(rr::textWidth(arial, rgt->text), 1000);
    // The note wraps at blanks into three lines, each within the width,
    // one under the other; the rest is clipped.
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(rr::textWidth(arial, lines[i]->text), 1800) << lines[i]->text;
        EXPECT_EQ(lines[i]->y, 1500 + static_cast<int>(i) * rr::lineHeight(arial));
    }
    EXPECT_EQ(lines[0]->text.rfind("Član planinarskog", 0), 0u);
    const std::string joined = lines[0]->text + " " + lines[1]->text + " " + lines[2]->text;
    EXPECT_EQ(rt::toUtf8(note).rfind(joined, 0), 0u) << joined;
    EXPECT_LT(joined.size(), rt::toUtf8(note).size());
}

TEST(ReportEngine, AmountsAreExactAndTooWideForThePictureShowTheOverflowMark) {
    struct Case {
        std::int64_t cents;
        const char* picture;
        const char* shown;
    } cases[] = {
        {1000000000, "@n-13.`2", "10.000.000,00"},
        {-7000, "@n-13.`2", "-70,00"},
        {99999999999, "@n-13.`2", "#############"},  // 15 characters in 13
        {123456, "@n_4", "####"},                    // a code wider than its picture
        {1, "@n-14.`2", "0,01"},
    };
    for (const Case& c : cases) {
        rt::Money m{c.cents};
        std::int32_t code = static_cast<std::int32_t>(c.cents);
        rr::Report r;
        r.y = 1000;
        r.h = 9000;
        rr::Band d{"?D", 0, 0, 8000, 200};
        rr::Control f = Fixture::field("?F", 0, 0, 3000,
                                       std::string(c.picture).find('`') != std::string::npos
                                           ? rr::Source::of(m)
                                           : rr::Source::of(code),
                                       c.picture);
        d.add(f);
        r.details.push_back(std::move(d));
        rr::Run run(r);
        run.print(0);
        auto doc = run.finish();
        EXPECT_EQ(texts(*doc), std::vector<std::string>{c.shown}) << c.cents << " " << c.picture;
    }
    // A sum that would overflow shows the mark, never a wrapped number.
    rt::Money m{INT64_MAX / 2 + 1};
    std::int32_t k = 1;
    rr::Report r;
    r.y = 1000;
    r.h = 9000;
    rr::Band d{"?D", 0, 0, 8000, 0};
    r.details.push_back(std::move(d));
    r.addBreak("?B", rr::Source::of(k));
    r.breaks[0].footer = std::make_unique<rr::Band>(rr::Band{"?F", 0, 0, 8000, 200});
    rr::Control sum = Fixture::field("?S", 0, 0, 3000, rr::Source::of(m), "@n-15.`2");
    sum.total = rr::Total::Sum;
    r.breaks[0].footer->add(sum);
    rr::Run run(r);
    run.print(0);
    run.print(0);
    auto doc = run.finish();
    EXPECT_EQ(texts(*doc), std::vector<std::string>{"###############"});
}

TEST(ReportEngine, NumbersWiderThanTheirBoxPrintWholeWhileTextsAreClipped) {
    // Each value in a box narrower than it prints. A number is printed whole
    // (its item as wide as the text, reaching out of the box on the side
    // away from its alignment); only a value its picture cannot hold shows
    // the mark; the same characters as a text are clipped.
    using A = rt::Align;
    auto money = [](std::int64_t c) { return rr::Source::money([c] { return rt::Money{c}; }); };
    auto integer = [](std::int64_t v) { return rr::Source::integer([v] { return v; }); };
    auto text = [](const char* t) { return rr::Source::text([t] { return std::string(t); }); };
    const rt::DayNumber lastDay = *rt::dayNumber(2099, 12, 31);
    struct Case {
        rr::Source value;
        const char* picture;
        A align;
        int w;
        const char* shown;
        bool whole;  // else clipped to the box
    } cases[] = {
        {money(-1234567), "@n-14.`2", A::Right, 521, "-12.345,67", true},
        {money(-100000000), "@n-13.`2", A::Right, 646, "-1.000.000,00", true},
        {money(-99999999999), "@n-15.`2", A::Decimal, 719, "-999.999.999,99", true},
        {money(99999999999), "@n-13.`2", A::Right, 646, "#############", true},
        {money(INT64_MAX), "@n-15.`2", A::Right, 719, "###############", true},  // saturated
        {integer(999999), "@n_6", A::Left, 200, "999999", true},
        {integer(lastDay), "@d6.", A::Center, 300, "31.12.2099", true},
        {rr::Source::pageNumber(), "@n_4", A::Right, 20, "1", true},
        {text("-12.345,67"), "@s20", A::Right, 521, "12.345,67", false},
        {text("-12.345,67"), "@s20", A::Left, 521, "-12.345,6", false},
    };
    const rt::Font arial{"Arial", 8};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.picture) + " " + c.shown);
        rr::Report r;
        r.y = 1000;
        r.h = 9000;
        r.font = arial;
        rr::Band d{"?D", 0, 0, 8000, 200};
        rr::Control f = Fixture::field("?F", 3000, 0, c.w, c.value, c.picture);
        f.align = c.align;
        d.add(f);
        r.details.push_back(std::move(d));
        rr::Run run(r);
        run.print(0);
        auto doc = run.finish();
        const auto it = items(*doc, 1);
        ASSERT_EQ(it.size(), 1u);
        const rt::PageItem& i = it[0];
        EXPECT_EQ(i.text, c.shown);
        const int width = rr::textWidth(arial, i.text);
        if (!c.whole) {
            EXPECT_LE(width, c.w);
            EXPECT_EQ(i.x, 3000);
            EXPECT_EQ(i.w, c.w);
            continue;
        }
        EXPECT_GT(width, c.w);  // the case is one that does not fit
        EXPECT_EQ(i.w, width);
        const int left = c.align == A::Left     ? 3000
                         : c.align == A::Center ? 3000 - (width - c.w) / 2
                                                : 3000 + c.w - width;
        EXPECT_EQ(i.x, left);
    }
}

TEST(ReportEngine, ASaturatedAmountShowsTheMarkInItsLineAndEverySumItEnters) {
    // Amounts stored beyond any 64-bit count read as saturated: +1e300 and
    // -1e300 in one club must not add up to a number.
    std::int32_t club = 1;
    rt::Money m;
    rr::Report r;
    r.y = 1000;
    r.h = 9000;
    rr::Band d{"?D", 0, 0, 8000, 200};
    d.add(Fixture::field("?M", 0, 0, 3000, rr::Source::of(m), "@n-15.`2"));
    r.details.push_back(std::move(d));
    r.addBreak("?B", rr::Source::of(club));
    r.breaks[0].footer = std::make_unique<rr::Band>(rr::Band{"?F", 0, 0, 8000, 200});
    rr::Control sum = Fixture::field("?S", 0, 0, 3000, rr::Source::of(m), "@n-15.`2");
    sum.total = rr::Total::Sum;
    sum.reset.breakName = "?B";
    r.breaks[0].footer->add(sum);
    rr::Run run(r);
    for (auto [k, cents] : {std::pair{1, rt::Money::fromDouble(1e300).cents},
                            std::pair{1, rt::Money::fromDouble(-1e300).cents},
                            std::pair{1, std::int64_t{500}}, std::pair{2, std::int64_t{500}}}) {
        club = k;
        m = rt::Money{cents};
        run.print(0);
    }
    auto doc = run.finish();
    const std::string mark(15, '#');
    // The next club's sum starts again and is exact.
    EXPECT_EQ(texts(*doc), (std::vector<std::string>{mark, mark, "5,00", mark, "5,00", "5,00"}));
}

TEST(ReportEngine, BandsOfHeightZeroPrintNothingAndNoRowsMakeNoPage) {
    Fixture f;
    f.r.details[0].h = 0;
    EXPECT_EQ(f.run({{1, 1, 100}})->pageCount(), 1u);  // the club footer still prints
    Fixture g;
    EXPECT_EQ(g.run({})->pageCount(), 0u);
    // A band taller than the area starts a page of its own, once.
    Fixture h(1);
    h.r.details[0].h = 5000;
    EXPECT_EQ(h.run({{1, 1, 1}, {1, 1, 1}})->pageCount(), 3u);
}

TEST(ReportEngine, TextIsMeasuredWithTheFontFilesTheDisplaysDraw) {
    rt::Font arial{"Arial", 8};
    ASSERT_FALSE(rr::fontFile(arial).empty()) << "fonts-liberation is not installed";
    EXPECT_NE(rr::fontFile(arial).find("LiberationSans-Regular"), std::string::npos);
    rt::Font bold = arial;
    bold.bold = true;
    EXPECT_NE(rr::fontFile(bold).find("LiberationSans-Bold"), std::string::npos);
    EXPECT_EQ(rr::drawnFamily(rt::Font{"Arial Narrow", 8}), "Liberation Sans Narrow");
    // Liberation Sans has Arial's widths: "0" is 1139 of 2048 units, so ten
    // of them at 8 points are 10 * 1139/2048 * 8/72 inch.
    EXPECT_EQ(rr::textWidth(arial, "0000000000"), 618);
    EXPECT_GT(rr::textWidth(bold, "Ukupno"), rr::textWidth(arial, "Ukupno"));
    EXPECT_EQ(rr::textWidth(rt::Font{"Arial", 16}, "Š"), 2 * rr::textWidth(arial, "Š"));
}

TEST(ReportEngine, ImagesAreKeptByTheFileTheirPathNamesAndBlankPathsPrintNothing) {
    testing::internal::CaptureStderr();
    const std::string dir = testing::TempDir() + "report-image";
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/FOTO1.JPG";
    std::ofstream(file) << "not decoded here";
    std::string path;  // Windows-1250, as a record holds it
    rr::Report r;
    r.y = 1000;
    r.h = 9000;
    rr::Band d{"?D", 0, 0, 8000, 2000};
    rr::Control img;
    img.kind = rr::Control::Kind::Image;
    img.x = 100;
    img.y = 100;
    img.w = 1615;
    img.h = 1333;
    img.value = rr::Source::of(path);
    d.add(img);
    r.details.push_back(std::move(d));
    rr::Run run(r);
    path = file;
    run.print(0);
    path = "   ";
    run.print(0);
    path = dir + "/missing.jpg";
    run.print(0);
    auto doc = run.finish();
    std::vector<rt::PageItem> images;
    for (int p = 1; p <= static_cast<int>(doc->pageCount()); ++p)
        for (auto& i : items(*doc, p))
            if (i.kind == rt::PageItem::Kind::Image) images.push_back(i);
    // The blank path prints nothing; a path naming no file is kept as it
    // stands and draws nothing when the page is drawn (the decoders decide).
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].text, file);
    EXPECT_EQ(images[1].text, dir + "/missing.jpg");
    EXPECT_EQ(images[0].w, 1615);
    EXPECT_EQ(images[0].h, 1333);
    testing::internal::GetCapturedStderr();
}

TEST(ReportEngine, AGroupFooterShowsItsOwnGroupsValuesNotTheRecordThatBrokeIt) {
    Fixture f;
    f.r.breaks[0].footer->add(
        Fixture::field("?ClubCode", 1000, 50, 500, rr::Source::of(f.club), "@n_3"));
    auto doc = f.run({{4, 10, 100}, {9, 20, 100}});
    // The first club's footer prints while the buffers hold club 9's line:
    // it still names club 4.
    EXPECT_EQ(texts(*doc),
              (std::vector<std::string>{"Društvo 4", "1", "1", "10", "1,00", "Ukupno:", "4", "1,00",
                                        "2", "20", "1,00", "Ukupno:", "9", "1,00"}));
}
