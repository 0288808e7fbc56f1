// Report pages through QPainter, the preview's page control, the progress
// bar, and the printer.
#include "runtime/backend/qt/report_page.h"

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QProgressBar>
#include <QScrollArea>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>

#include "runtime/backend/qt/controls.h"
#include "runtime/backend/qt/photo_work.h"
#include "runtime/file_stamp.h"
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

// A photo as one device draws it: decoded once (reduced while decoding where
// the format allows), scaled to the pixels it covers there (never beyond its
// own size: a printer gets every pixel the file has) and converted to the
// format the painter copies without converting it again. The last ones drawn
// are kept, up to MaxBytes, so a page painted again (the preview scrolled,
// uncovered, paged back to) decodes nothing; never all of a report's photos.
// The key holds the box and the scale, so the preview's and the printer's
// sizes are kept apart; a file changed on disk is decoded again. Any thread
// may draw (printing runs on the asking one); the preview has its photos
// made on a photo thread (ready), never in its paint.
class Photos {
  public:
    struct Drawn {
        QImage image;               // null: the file holds no picture we read
        int width = 0, height = 0;  // the picture's own size, which the fitting takes
    };

    // Made now when not kept.
    Drawn get(const std::string& file, const PageItem& i, double scale) {
        const std::optional<FileStamp> stamp = fileStamp(file);
        const Key key{file, i.w, i.h, scale};
        if (std::optional<Drawn> d = kept(key, stamp)) return *d;
        Drawn d = make(file, i, scale);
        keep(key, stamp, d);
        return d;
    }

    // What is kept, else nothing: the photo is then made on a photo thread
    // and the widget painted again once it is kept.
    std::optional<Drawn> ready(const std::string& file, const PageItem& i, double scale,
                               QWidget* widget) {
        const std::optional<FileStamp> stamp = fileStamp(file);
        const Key key{file, i.w, i.h, scale};
        if (std::optional<Drawn> d = kept(key, stamp)) return d;
        {
            std::lock_guard lock(mutex_);
            if (std::find(making_.begin(), making_.end(), key) != making_.end())
                return std::nullopt;
            making_.push_back(key);
        }
        photowork::run(
            [this, key, stamp, item = i]() -> std::optional<QImage> {
                struct Made {  // asked again by the next paint, also after a failure
                    Photos& p;
                    const Key& key;
                    ~Made() {
                        std::lock_guard lock(p.mutex_);
                        p.making_.erase(std::find(p.making_.begin(), p.making_.end(), key));
                    }
                } made{*this, key};
                keep(key, stamp, make(key.file, item, key.scale));
                return QImage();
            },
            [widget = QPointer<QWidget>(widget)](QImage) {
                if (widget) widget->update();
            });
        return std::nullopt;
    }

  private:
    static constexpr std::size_t MaxBytes = 32u << 20, MaxEntries = 64;

    struct Key {
        std::string file;
        int w, h;  // the box, 1/1000 inch
        double scale;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        std::optional<FileStamp> stamp;  // none: there was no file
        Drawn drawn;
        std::size_t bytes;
    };

    std::optional<Drawn> kept(const Key& key, const std::optional<FileStamp>& stamp) {
        std::lock_guard lock(mutex_);
        for (auto it = kept_.begin(); it != kept_.end(); ++it)
            if (it->key == key) {
                if (it->stamp == stamp) {
                    kept_.splice(kept_.begin(), kept_, it);  // the most recent first
                    return it->drawn;
                }
                bytes_ -= it->bytes;
                kept_.erase(it);
                break;
            }
        return std::nullopt;
    }

    void keep(const Key& key, const std::optional<FileStamp>& stamp, const Drawn& d) {
        const std::size_t size = static_cast<std::size_t>(d.image.sizeInBytes());
        std::lock_guard lock(mutex_);
        for (auto it = kept_.begin(); it != kept_.end(); ++it)
            if (it->key == key) {  // another thread made it meanwhile
                bytes_ -= it->bytes;
                kept_.erase(it);
                break;
            }
        kept_.push_front({key, stamp, d, size});
        bytes_ += size;
        // The newest stays, however large: the preview draws what is kept.
        while ((bytes_ > MaxBytes || kept_.size() > MaxEntries) && kept_.size() > 1) {
            bytes_ -= kept_.back().bytes;
            kept_.pop_back();
        }
    }

    static Drawn make(const std::string& file, const PageItem& i, double scale) {
        const image::Decoded d =
            image::decodeFileFor(file, static_cast<int>(std::ceil(i.w * scale)),
                                 static_cast<int>(std::ceil(i.h * scale)));
        Drawn out;
        if (!d.ok() || !d.image.pixels) return out;
        out.width = d.storedWidth;
        out.height = d.storedHeight;
        const image::Box b = image::fitImage({i.x, i.y, i.w, i.h}, out.width, out.height);
        if (b.w <= 0 || b.h <= 0) return out;
        const int w = std::clamp(static_cast<int>(std::lround(b.w * scale)), 1, d.image.width);
        const int h = std::clamp(static_cast<int>(std::lround(b.h * scale)), 1, d.image.height);
        out.image = photowork::sized(d.image.pixels->data(), d.image.width, d.image.height, {w, h});
        return out;
    }

    std::mutex mutex_;
    std::list<Entry> kept_;
    std::size_t bytes_ = 0;
    std::vector<Key> making_;  // asked of a photo thread, not yet kept
};

Photos& photos() {
    static Photos* p = new Photos;  // photo threads may still make one at the process's end
    return *p;
}

}  // namespace

void drawPageItems(QPainter& p, const std::vector<PageItem>& items, double scale, double dpiY,
                   QWidget* later) {
    p.save();
    // Drawn in the page's own unit (1/1000 inch), the painter scaling it to
    // the device: text is laid out at that one resolution on every device
    // and at every zoom, unhinted, so its widths are the ones the engine
    // measured. A font sized for a few pixels would have every advance
    // rounded to whole pixels, and a small zoom would set a label over the
    // value beside it.
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const double pixel = 1.0 / scale;  // one device pixel, the thinnest line
    for (const PageItem& i : items) {
        const QRectF r(i.x, i.y, i.w, i.h);
        switch (i.kind) {
            case PageItem::Kind::Text: {
                QFont f(QString::fromStdString(report::drawnFamily(i.font)));
                // Points become the page's units at the device's resolution.
                f.setPointSizeF(i.font.size * 1000.0 / dpiY);
                f.setBold(i.font.bold);
                f.setItalic(i.font.italic);
                f.setKerning(false);
                f.setHintingPreference(QFont::PreferNoHinting);
                f.setStyleStrategy(QFont::PreferOutline);
                p.setFont(f);
                p.setPen(colorOf(i.font.color));
                p.drawText(r,
                           static_cast<int>(alignOf(i.align) | Qt::AlignTop | Qt::TextSingleLine |
                                            Qt::TextDontClip),
                           QString::fromUtf8(i.text.data(), static_cast<int>(i.text.size())));
                break;
            }
            case PageItem::Kind::Line:
            case PageItem::Kind::Box: {
                QPen pen(Qt::black);
                pen.setWidthF(std::max(pixel, i.pen > 0 ? double(i.pen) : 7.0));
                p.setPen(pen);
                p.setBrush(Qt::NoBrush);
                if (i.kind == PageItem::Kind::Line)
                    p.drawLine(QPointF(i.x, i.y), QPointF(i.x + i.w, i.y + i.h));
                else
                    p.drawRect(r);
                break;
            }
            case PageItem::Kind::Image: {
                std::optional<Photos::Drawn> photo;
                if (later)
                    photo = photos().ready(i.text, i, scale, later);
                else
                    photo = photos().get(i.text, i, scale);
                if (!photo || photo->image.isNull()) break;
                const image::Box b =
                    image::fitImage({i.x, i.y, i.w, i.h}, photo->width, photo->height);
                if (b.w <= 0 || b.h <= 0) break;
                p.setRenderHint(QPainter::SmoothPixmapTransform, true);
                p.drawImage(QRectF(b.x, b.y, b.w, b.h), photo->image);
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
            drawPageItems(painter, *page_.items, scale(), logicalDpiY(), this);
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
