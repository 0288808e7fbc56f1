#pragma once
// What the report benchmarks share: a page drawn as the preview draws it.
#include <QImage>
#include <QPainter>

#include "runtime/backend/qt/report_page.h"
#include "runtime/report/report.h"

namespace bench {

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
