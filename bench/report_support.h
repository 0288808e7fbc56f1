#pragma once
// What the report benchmarks share: the Qt application they draw pages in,
// and a page drawn as the preview draws it.
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <memory>
#include <string>

#include "runtime/backend/qt/report_page.h"
#include "runtime/report/report.h"

namespace bench {

// The application of a report benchmark named name, on the offscreen
// platform. One a process.
inline std::unique_ptr<QApplication> offscreenApplication(const char* name) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static std::string program;
    static char* argv[] = {nullptr, nullptr};
    program = name;
    argv[0] = program.data();
    return std::make_unique<QApplication>(argc, argv);
}

// Page n (from 1) as the preview draws it: its display list made from the
// page, painted at the screen's resolution (96 dpi) at zoom 100.
inline void drawPage(const rt::report::Document& d, int page) {
    const rt::PagePayload p = d.payload(page);
    const double scale = 96 / 1000.0;
    QImage img(static_cast<int>(p.width * scale), static_cast<int>(p.height * scale),
               QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    rt::drawPageItems(painter, *p.items, scale, 96);
}

inline void drawFirstPage(const rt::report::Document& d) {
    drawPage(d, 1);
}

}  // namespace bench
