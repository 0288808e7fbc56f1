// Report pages through Qt: printed to a PDF file and read back with
// pdftotext (the printed output itself, Croatian letters included), on the
// GUI thread and on a procedure thread as the preview prints; and the
// preview's page drawn by its widget.
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "framework/report.h"
#include "runtime/backend/qt/report_page.h"
#include "runtime/report/report.h"
#include "runtime/text.h"
#include "tests/qt/qt_harness.h"
#include "tests/support/temp_dir.h"

namespace rr = rt::report;

namespace {

std::string pdfText(const std::string& pdf) {
    const std::string txt = pdf + ".txt";
    const std::string cmd = "pdftotext -layout '" + pdf + "' '" + txt + "'";
    if (std::system(cmd.c_str()) != 0) return "<pdftotext failed>";
    std::ifstream in(txt);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Two pages: a header with the page number, a line per detail.
rr::DocumentPtr TwoPages(std::string& name) {
    rr::Report r;
    r.jobTitle = "CLANAR Report";
    r.x = 200;
    r.y = 1500;
    r.w = 8000;
    r.h = 2 * 219;
    r.font = rt::Font{"Arial", 8};
    r.header = rr::Band{"?Header", 200, 250, 8000, 1000};
    rr::Control page;
    page.kind = rr::Control::Kind::Field;
    page.value = rr::Source::pageNumber();
    page.picture = "@n_4";
    page.x = 100;
    page.y = 100;
    r.header.add(page);
    rr::Control title;
    title.kind = rr::Control::Kind::String;
    title.text = *rt::fromUtf8("Pregled članarine");
    title.x = 3000;
    title.y = 400;
    title.hasFont = true;
    title.font = rt::Font{"Arial", 11, true};
    r.header.add(title);
    rr::Band d{"?Detail1", 0, 0, 8000, 219};
    rr::Control f;
    f.kind = rr::Control::Kind::Field;
    f.value = rr::Source::of(name);
    f.picture = "@s65";
    f.x = 1573;
    f.y = 42;
    f.w = 4021;
    d.add(f);
    rr::Control line;
    line.kind = rr::Control::Kind::Line;
    line.x = 0;
    line.y = 210;
    line.w = 7000;
    d.add(line);
    r.details.push_back(std::move(d));
    rr::Run run(r);
    for (const char* n : {"Šimić, Đuro, Čedomir", "Žužić, Ćiro, Ana", "Horvat, Marko, Ivan"}) {
        name = *rt::fromUtf8(n);
        run.print(0);
    }
    return run.finish();
}

class QtReport : public qttest::QtTest {};

}  // namespace

TEST_F(QtReport, PagesPrintedToPdfReadBackWithTheirLettersAndPageBreaks) {
    testsupport::TempDir dir;
    std::string name;
    auto doc = TwoPages(name);
    ASSERT_EQ(doc->pageCount(), 2u);
    const std::string pdf = (dir.path() / "r.pdf").string();
    rr::PrintTarget t;
    t.file = pdf;
    // As the preview prints: on the report's own thread.
    bool ok = false;
    std::thread([&] { ok = rt::renderDocument(*doc, t); }).join();
    ASSERT_TRUE(ok);
    const std::string text = pdfText(pdf);
    EXPECT_NE(text.find("Pregled članarine"), std::string::npos) << text;
    EXPECT_NE(text.find("Šimić, Đuro, Čedomir"), std::string::npos) << text;
    EXPECT_NE(text.find("Žužić, Ćiro, Ana"), std::string::npos) << text;
    // The page break: pdftotext ends each page with a form feed.
    const auto ff = text.find('\f');
    ASSERT_NE(ff, std::string::npos);
    EXPECT_LT(text.find("Žužić"), ff);
    EXPECT_GT(text.find("Horvat, Marko, Ivan"), ff);
    // A page range prints those pages only.
    t.from = t.to = 2;
    ASSERT_TRUE(rt::renderDocument(*doc, t));
    const std::string second = pdfText(pdf);
    EXPECT_EQ(second.find("Šimić"), std::string::npos);
    EXPECT_NE(second.find("Horvat, Marko, Ivan"), std::string::npos);
    // The file is A4 portrait.
    const std::string info = pdf + ".info";
    ASSERT_EQ(std::system(("pdfinfo '" + pdf + "' > '" + info + "'").c_str()), 0);
    std::ifstream in(info);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_NE(s.str().find("pts (A4)"), std::string::npos) << s.str();
    EXPECT_NE(s.str().find("CLANAR Report"), std::string::npos) << s.str();
}

TEST_F(QtReport, TextIsDrawnWhereTheEngineMeasuredIt) {
    // The engine's width of a text and the width Qt draws it in, at the
    // printer's resolution, agree within a few thousandths of an inch.
    const rt::Font arial{"Arial", 8};
    const std::string s = "Kovačević, Željko, Đurđa 1.234.567,89";
    QImage img(9000, 300, QImage::Format_RGB32);
    img.setDotsPerMeterX(47244);  // 1200 dpi
    img.setDotsPerMeterY(47244);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        rt::PageItem i;
        i.kind = rt::PageItem::Kind::Text;
        i.x = 0;
        i.y = 0;
        i.w = 8000;
        i.h = 200;
        i.text = s;
        i.font = arial;
        rt::drawPageItems(p, {i}, 1.2, 1200);
    }
    int right = 0;
    for (int x = 0; x < img.width(); ++x)
        for (int y = 0; y < img.height(); ++y)
            if (qGray(img.pixel(x, y)) < 128) right = x;
    const double drawn = right / 1.2;  // thousandths of an inch
    const int measured = rr::textWidth(arial, s);
    EXPECT_NEAR(drawn, measured, 15) << "drawn " << drawn << ", measured " << measured;
}

// At every zoom the preview draws the page as the printer does, scaled: each
// text begins and ends where the engine measured it, so a value set just
// after its label never runs into it (as a font of a few pixels whose
// advances are rounded to whole pixels would make it).
TEST_F(QtReport, EveryZoomDrawsTheTextsWhereThePageHasThem) {
    const rt::Font arial{"Arial", 8}, title{"Arial", 11, true};
    const std::string label = "Broj matičnog kartona";
    const int labelWidth = rr::textWidth(arial, label);
    struct Case {
        std::string text;
        rt::Font font;
        int x, w;
        rt::Align align;
    } cases[] = {
        {label, arial, 490, labelWidth, rt::Align::Left},
        {"388", arial, 490 + labelWidth + 30, 600, rt::Align::Left},  // the value beside it
        {"1.234.567,89", arial, 2500, 1500, rt::Align::Right},
        {"Kovačević, Željko, Đurđa", arial, 4100, 3000, rt::Align::Left},
        {"Pregled članarine", title, 4100, 3500, rt::Align::Center},
    };
    // The columns a text's ink covers, drawn alone at the preview's scale.
    auto ink = [](const Case& c, double scale) {
        QImage img(static_cast<int>(8300 * scale), static_cast<int>(300 * scale) + 2,
                   QImage::Format_RGB32);
        img.setDotsPerMeterX(3780);  // 96 dpi, as the offscreen screen
        img.setDotsPerMeterY(3780);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            rt::PageItem i;
            i.kind = rt::PageItem::Kind::Text;
            i.x = c.x;
            i.y = 50;
            i.w = c.w;
            i.h = 200;
            i.text = c.text;
            i.font = c.font;
            i.align = c.align;
            rt::drawPageItems(p, {i}, scale, 96);
        }
        int left = img.width(), right = -1;
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 160) {
                    left = std::min(left, x);
                    right = x;
                }
        return std::pair{left, right + 1};
    };
    for (int zoom : {50, 75, 100, 200}) {
        SCOPED_TRACE("zoom " + std::to_string(zoom));
        const double scale = 96 / 1000.0 * zoom / 100;
        // Glyphs' side bearings leave their ink a little inside their
        // advances; a pixel more for the rasterizing.
        const double slack = 15 * scale + 1;
        int labelEnd = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            const int measured = rr::textWidth(c.font, c.text);
            const int start = c.align == rt::Align::Right    ? c.x + c.w - measured
                              : c.align == rt::Align::Center ? c.x + (c.w - measured) / 2
                                                             : c.x;
            const auto [left, right] = ink(c, scale);
            EXPECT_NEAR(left, start * scale, slack);
            EXPECT_NEAR(right, (start + measured) * scale, slack);
            if (c.text == label) labelEnd = right;
            if (c.text == "388") {
                EXPECT_LT(labelEnd, left) << "the value over its label";
            }
        }
    }
}

TEST_F(QtReport, NumbersWiderThanTheirBoxesPrintWholeToPdf) {
    // The fee reports' amounts in their boxes, at widths the boxes do not
    // hold: the printed page shows every digit and sign, the mark whole.
    struct Line {
        std::int64_t cents;
        const char* picture;
        int w;
        bool bold;
        const char* printed;
    } lines[] = {
        {-1234567, "@n-14.`2", 521, false, "-12.345,67"},
        {-99999999999, "@n-15.`2", 719, false, "-999.999.999,99"},
        {11234567891, "@n-14.`2", 771, true, "112.345.678,91"},
        {99999999999, "@n-13.`2", 646, false, "#############"},
    };
    rt::Money amount;
    rr::Report r;
    r.x = 200;
    r.y = 1000;
    r.w = 8000;
    r.h = 9000;
    r.font = rt::Font{"Arial", 8};
    for (const Line& l : lines) {
        rr::Band d{"?Detail", 0, 0, 8000, 219};
        rr::Control f;
        f.kind = rr::Control::Kind::Field;
        f.value = rr::Source::of(amount);
        f.picture = l.picture;
        f.x = 6000;
        f.w = l.w;
        f.align = rt::Align::Right;
        f.hasFont = true;
        f.font = rt::Font{"Arial", 8, l.bold};
        d.add(f);
        r.details.push_back(std::move(d));
    }
    rr::Run run(r);
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        amount = rt::Money{lines[i].cents};
        run.print(static_cast<int>(i));
    }
    auto doc = run.finish();
    testsupport::TempDir dir;
    const std::string pdf = (dir.path() / "numbers.pdf").string();
    rr::PrintTarget t;
    t.file = pdf;
    ASSERT_TRUE(rt::renderDocument(*doc, t));
    const std::string text = pdfText(pdf);
    for (const Line& l : lines)
        EXPECT_NE(text.find(l.printed), std::string::npos) << l.printed << "\n" << text;
}

// A photo on a page: drawn at the resolution of the device it is drawn on
// (a page drawn small first leaves the printer no blurred copy), and drawn
// as its file now holds it.
TEST_F(QtReport, APhotoIsDrawnAtEachDevicesResolutionAsItsFileNowIs) {
    testsupport::TempDir dir;
    const QString file = QString::fromStdString((dir.path() / "photo.png").string());
    // Stripes a pixel wide, which scaling down and up again blurs to grey.
    QImage stripes(200, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : 0);
    ASSERT_TRUE(stripes.save(file));
    rt::PageItem photo;
    photo.kind = rt::PageItem::Kind::Image;
    photo.w = 2000;
    photo.h = 1000;
    photo.text = file.toStdString();
    auto draw = [&](double scale) {
        QImage img(static_cast<int>(std::lround(2000 * scale)),
                   static_cast<int>(std::lround(1000 * scale)), QImage::Format_RGB32);
        img.fill(qRgb(0, 0, 200));
        QPainter p(&img);
        rt::drawPageItems(p, {photo}, scale, 96);
        return img;
    };
    auto sharpPairs = [](const QImage& img) {
        int n = 0;
        for (int x = 1; x < img.width(); ++x)
            n += std::abs(qGray(img.pixel(x, 50)) - qGray(img.pixel(x - 1, 50))) > 200;
        return n;
    };
    const QImage small = draw(0.02);  // 40 x 20 pixels
    EXPECT_NEAR(qGray(small.pixel(20, 10)), 128, 30);
    EXPECT_EQ(small.pixel(20, 10), draw(0.02).pixel(20, 10));
    EXPECT_GT(sharpPairs(draw(0.1)), 190);  // every pixel of the file
    EXPECT_GT(sharpPairs(draw(0.1)), 190);
    // A print beside the preview: two threads drawing it at once, the
    // preview at ever new sizes (more of them than are kept).
    int printed = 0;
    std::thread print([&] {
        for (int n = 0; n < 30; ++n) printed += sharpPairs(draw(0.1)) > 190;
    });
    for (int n = 0; n < 100; ++n) draw(0.02 + n * 0.0001);
    print.join();
    EXPECT_EQ(printed, 30);

    QImage red(200, 100, QImage::Format_RGB32);
    red.fill(qRgb(220, 20, 20));
    ASSERT_TRUE(red.save(file));
    EXPECT_EQ(draw(0.1).pixel(100, 50), qRgb(220, 20, 20));
    std::ofstream(photo.text) << "no picture any more";
    EXPECT_EQ(draw(0.1).pixel(100, 50), qRgb(0, 0, 200));  // nothing drawn
}

// The preview through the Qt display: a maximized window whose page is
// drawn by its widget when shown; "Next" shows the next page.
TEST_F(QtReport, PreviewDrawsThePageItShowsAndPagesOn) {
    openFrame();
    std::string name;
    auto doc = TwoPages(name);
    std::atomic<bool> done{false};
    rt::startProcedure([doc, &done] {
        PrintPreviewClass preview;
        preview.Maximize = true;
        preview.Display(doc);
        done = true;
    });
    int id = 0;
    ASSERT_TRUE(pumpUntil([&] {
        for (auto& v : rt::views())
            if (v->title == "Print Preview") id = v->id;
        return id && rt::waitIdle(0);
    }));
    settle();
    auto pageWidget = [&]() -> QWidget* {
        const auto pr = backend_->probe();
        const auto v = rt::view(id);
        for (const auto& c : v->controls)
            if (c.kind == rt::ControlKind::Page)
                return pr.widget(id, c.id)->findChild<QWidget*>(QStringLiteral("rtPageWidget"));
        return nullptr;
    };
    QWidget* page = pageWidget();
    ASSERT_TRUE(page);
    EXPECT_TRUE(rt::view(id)->maximized);
    // Drawn when shown: the grab paints it; dark pixels are its text.
    QImage img = page->grab().toImage();
    EXPECT_EQ(page->property("rtPage").toInt(), 1);
    EXPECT_GT(page->property("rtItems").toInt(), 0);
    int dark = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            if (qGray(img.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 20);
    // A4 at zoom 100: the paper's own size at the screen's resolution.
    EXPECT_NEAR(page->width(), 8.268 * page->logicalDpiX(), 2);
    const auto v = rt::view(id);
    int next = 0;
    for (const auto& c : v->controls)
        if (c.name == "?Next") next = c.id;
    ASSERT_TRUE(next);
    rt::input(id, rt::Input{rt::Input::Kind::Click, next});
    settle();
    EXPECT_EQ(pageWidget()->property("rtPage").toInt(), 2);
    rt::input(id, rt::Input{rt::Input::Kind::Close});
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }));
}
