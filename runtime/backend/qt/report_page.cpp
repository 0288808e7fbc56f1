// Report pages through QPainter, the preview's page control, the progress
// bar, and the printer.
#include "runtime/backend/qt/report_page.h"

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QScrollArea>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <map>

#include "runtime/backend/qt/controls.h"
#include "runtime/image/fit.h"
#include "runtime/image/image.h"
#include "runtime/report/report.h"

namespace rt {

namespace {

QColor colorOf(std::uint32_t rgb) {
    return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

Qt::Alignment alignOf(Align a) {
    switch (a) {
        case Align::Right:
        case Align::Decimal:
            return Qt::AlignRight;
        case Align::Center:
            return Qt::AlignHCenter;
        default:
            return Qt::AlignLeft;
    }
}

// Decoded pictures of the page being drawn, by file (a card shows one).
struct Pictures {
    std::map<std::string, QImage> images;
    const QImage& get(const std::string& file) {
        auto it = images.find(file);
        if (it != images.end()) return it->second;
        QImage img;
        const image::Decoded d = image::decodeFile(file);
        if (d.ok() && d.image.pixels)
            img = QImage(d.image.pixels->data(), d.image.width, d.image.height, d.image.width * 4,
                         QImage::Format_RGBA8888)
                      .copy();
        if (images.size() > 16) images.clear();
        return images[file] = img;
    }
};

}  // namespace

void drawPageItems(QPainter& p, const std::vector<PageItem>& items, double scale, double dpiY) {
    Pictures pictures;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    for (const PageItem& i : items) {
        const QRectF r(i.x * scale, i.y * scale, i.w * scale, i.h * scale);
        switch (i.kind) {
            case PageItem::Kind::Text: {
                QFont f(QString::fromStdString(report::drawnFamily(i.font)));
                f.setPointSizeF(i.font.size * scale * 1000.0 / dpiY);
                f.setBold(i.font.bold);
                f.setItalic(i.font.italic);
                f.setKerning(false);
                f.setStyleStrategy(QFont::PreferOutline);
                p.setFont(f);
                p.setPen(colorOf(i.font.color));
                p.drawText(r, static_cast<int>(alignOf(i.align) | Qt::AlignTop | Qt::TextSingleLine |
                                               Qt::TextDontClip),
                           QString::fromUtf8(i.text.data(), static_cast<int>(i.text.size())));
                break;
            }
            case PageItem::Kind::Line:
            case PageItem::Kind::Box: {
                QPen pen(Qt::black);
                pen.setWidthF(i.pen > 0 ? std::max(1.0, i.pen * scale) : std::max(1.0, 7 * scale));
                p.setPen(pen);
                p.setBrush(Qt::NoBrush);
                if (i.kind == PageItem::Kind::Line)
                    p.drawLine(QPointF(i.x * scale, i.y * scale),
                               QPointF((i.x + i.w) * scale, (i.y + i.h) * scale));
                else
                    p.drawRect(r);
                break;
            }
            case PageItem::Kind::Image: {
                const QImage& img = pictures.get(i.text);
                if (img.isNull()) break;
                const image::Box b = image::fitImage({i.x, i.y, i.w, i.h}, img.width(), img.height());
                if (b.w <= 0 || b.h <= 0) break;
                p.setRenderHint(QPainter::SmoothPixmapTransform, true);
                p.drawImage(QRectF(b.x * scale, b.y * scale, b.w * scale, b.h * scale), img);
                break;
            }
        }
    }
    p.restore();
}

bool renderDocument(const report::Document& d, const report::PrintTarget& t) {
    QPrinter printer(QPrinter::HighResolution);
    if (!t.file.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(t.file));
    } else if (!t.printer.empty()) {
        printer.setPrinterName(QString::fromStdString(t.printer));
    }
    printer.setDocName(QString::fromStdString(d.jobTitle));
    printer.setCreator(QStringLiteral("Clanovi"));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    const int pages = static_cast<int>(d.pageCount());
    const int from = std::max(1, t.from), to = t.to <= 0 ? pages : std::min(t.to, pages);
    if (from > to) return false;
    QPainter p;
    if (!p.begin(&printer)) return false;
    const double scale = printer.resolution() / 1000.0;
    for (int n = from; n <= to; ++n) {
        if (n > from) printer.newPage();
        const PagePayload page = d.payload(n);
        drawPageItems(p, *page.items, scale, printer.logicalDpiY());
    }
    return p.end();
}

namespace {

// The page as the preview shows it: white paper at its zoom, in a scroll
// area. What it shows is kept as properties for the tests: rtPage (the page
// number), rtItems (the items drawn at the last paint).
class PageWidget final : public QWidget {
  public:
    explicit PageWidget(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void show(const PagePayload& p) {
        if (p == page_) return;
        page_ = p;
        setProperty("rtPage", p.page);
        setProperty("rtZoom", p.zoom);
        resize(static_cast<int>(std::lround(p.width * scale())),
               static_cast<int>(std::lround(p.height * scale())));
        update();
    }
    double scale() const {
        // zoom 100: the paper at its own size on this screen
        return logicalDpiX() / 1000.0 * (page_.zoom > 0 ? page_.zoom : 100) / 100.0;
    }
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (page_.items) {
            // A screen pixel is a point at this widget's resolution.
            drawPageItems(painter, *page_.items, scale(), logicalDpiY());
            setProperty("rtItems", static_cast<int>(page_.items->size()));
        }
        setProperty("rtPaints", ++paints);
    }

  private:
    PagePayload page_;
};

class PageAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        auto* area = new QScrollArea(b.surface);
        area->setBackgroundRole(QPalette::Dark);
        area->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        auto* page = new PageWidget(area);
        page->setObjectName(QStringLiteral("rtPageWidget"));
        area->setWidget(page);
        area->setWidgetResizable(false);
        return {area, page};
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        auto* area = static_cast<QScrollArea*>(widget);
        auto* page = static_cast<PageWidget*>(area->widget());
        if (const PagePayload* p = c.page()) page->show(*p);
        return true;
    }
};

class ProgressAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        auto* bar = new QProgressBar(b.surface);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        return {bar};
    }
    bool update(Win&, QWidget* widget, const WindowView*, const ControlView& c) const override {
        static_cast<QProgressBar*>(widget)->setValue(std::clamp(std::atoi(c.text.c_str()), 0, 100));
        return true;
    }
};

}  // namespace

const ControlAdapter& pageAdapter() {
    static const PageAdapter a;
    return a;
}

const ControlAdapter& progressAdapter() {
    static const ProgressAdapter a;
    return a;
}

}  // namespace rt
