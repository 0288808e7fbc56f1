// A member's record card printed to a PDF file through Qt and read back:
// its Croatian letters as printed (pdftotext) and its photo, present when
// the member's photo is an image and absent when the file holds none
// (pdfimages).
#include <QColor>
#include <QImage>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "core/dictionary/dictionary.h"
#include "members/record_card.h"
#include "runtime/backend/qt/report_page.h"
#include "runtime/report/print.h"
#include "runtime/text.h"
#include "tests/qt/qt_harness.h"
#include "tests/support/temp_dir.h"

namespace rr = rt::report;

namespace {

// What command writes to its standard output for file.
std::string Output(const std::string& command, const std::string& file) {
    const std::string out = file + ".out";
    const bool text = command.rfind("pdftotext", 0) == 0;  // to stdout with "-"
    if (std::system(
            (command + " '" + file + "'" + (text ? " -" : "") + " > '" + out + "'").c_str()) != 0)
        return "<" + command + " failed>";
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The image lines of `pdfimages -list` (two lines of heading first).
int Images(const std::string& pdf) {
    std::istringstream lines(Output("pdfimages -list", pdf));
    std::string line;
    int n = -2;
    while (std::getline(lines, line))
        if (!line.empty()) ++n;
    return n;
}

class QtCardPdf : public qttest::QtTest {};

// One card of a member with the photo at path, printed to pdf.
void PrintCard(const std::string& photo, const std::string& pdf) {
    CLANOVI_Record& m = *static_cast<CLANOVI_Record*>(fileStructure(FileId::CLANOVI).record());
    m = CLANOVI_Record{};
    m.M1_SPS = 1;
    m.M1_SIP = 3;
    m.M1_SIF = 17;
    m.M1_PRE = *rt::fromUtf8("Šarić");
    m.M1_IOC = *rt::fromUtf8("Čedo");
    m.M1_IME = *rt::fromUtf8("Đurđa");
    m.M1_MST = *rt::fromUtf8("Žepče");
    m.M1_STC = 1;
    m.M1_PUS = photo;
    RecordCardLocals l;
    rr::Report card = RecordCard(false, l);
    rr::Run run(card);
    RecordCardLines(l);
    run.print("?Detail1");
    rr::DocumentPtr doc = run.finish();
    ASSERT_EQ(doc->pageCount(), 1u);
    rr::PrintTarget t;
    t.file = pdf;
    ASSERT_TRUE(rt::renderDocument(*doc, t));
}

}  // namespace

TEST_F(QtCardPdf, TheCardPrintsItsLettersAndThePhotoOfAnImageOnly) {
    testsupport::TempDir dir;
    const std::string photo = (dir.path() / "foto.png").string();
    QImage img(80, 60, QImage::Format_RGB32);
    img.fill(QColor(200, 30, 30));
    ASSERT_TRUE(img.save(QString::fromStdString(photo)));
    const std::string pdf = (dir.path() / "card.pdf").string();
    PrintCard(photo, pdf);
    const std::string text = Output("pdftotext -layout", pdf);
    EXPECT_NE(text.find("MATIČNI KARTON ČLANA PLANINARSKOG SAVEZA ORVALIJE"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Šarić, Čedo, Đurđa"), std::string::npos) << text;
    EXPECT_NE(text.find(", Žepče, ,"), std::string::npos) << text;
    EXPECT_NE(text.find("Stalni"), std::string::npos) << text;
    EXPECT_EQ(Images(pdf), 1);
    EXPECT_NE(Output("pdfinfo", pdf).find("pts (A4)"), std::string::npos);

    // A file that holds no image: the card prints, without a photo.
    const std::string notImage = (dir.path() / "foto.jpg").string();
    std::ofstream(notImage) << "no picture here";
    PrintCard(notImage, pdf);
    EXPECT_NE(Output("pdftotext -layout", pdf).find("Šarić, Čedo, Đurđa"), std::string::npos);
    EXPECT_EQ(Images(pdf), 0);
}
