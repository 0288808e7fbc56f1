// Pictures: the pixels the view carries, drawn in the rectangle it gives
// (the window layer has read the file and placed the picture). The pixels
// are scaled to that rectangle once, on a photo thread (photo_work.h): the
// GUI thread only draws the image made for it, so a large photo never holds
// up the window. Until it is made, and after the view names another
// picture, nothing is drawn; a result for a picture no longer shown, or for
// another size, is dropped.
//
// What the widget shows is kept as properties for the scenario driver:
// rtShown (a picture is drawn), rtFile (the file it was read from, UTF-8)
// and rtDrawn (where it is drawn, in pixels of the widget).
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <vector>

#include "runtime/backend/qt/controls.h"
#include "runtime/backend/qt/photo_work.h"

namespace rt {

namespace {

class PictureWidget final : public QWidget {
  public:
    explicit PictureWidget(QWidget* parent) : QWidget(parent) {}

    void show(const ImagePayload* p, QRect drawn) {
        const bool shown = p && p->loaded && p->pixels && p->pixelsWidth > 0 &&
                           p->pixelsHeight > 0 &&
                           p->pixels->size() >= std::size_t(p->pixelsWidth) * p->pixelsHeight * 4;
        if (!shown) drawn = QRect();
        const auto pixels = shown ? p->pixels : nullptr;
        if (pixels == pixels_ && drawn.size() == drawn_.size()) {
            drawn_ = drawn;  // the same image, moved at most
        } else {
            pixels_ = pixels;
            drawn_ = drawn;
            ready_ = QImage();
            const std::uint64_t asked = generation_->fetch_add(1) + 1;
            if (pixels_ && !drawn_.isEmpty()) {
                const int w = p->pixelsWidth, h = p->pixelsHeight;
                const QSize size = drawn_.size();
                photowork::run(
                    [px = pixels_, w, h, size, asked,
                     latest = generation_]() -> std::optional<QImage> {
                        if (latest->load() != asked) return std::nullopt;
                        return photowork::sized(px->data(), w, h, size);
                    },
                    [self = QPointer<PictureWidget>(this), asked](QImage made) {
                        if (!self || self->generation_->load() != asked) return;
                        self->ready_ = std::move(made);
                        self->tell();
                        self->update();
                    });
            }
        }
        file_ = shown ? q(p->file) : QString();
        tell();
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (ready_.isNull() || drawn_.size() != ready_.size()) return;
        QPainter painter(this);
        painter.drawImage(drawn_.topLeft(), ready_);
    }

  private:
    void tell() {
        const bool shown = !ready_.isNull();
        setProperty("rtShown", shown);
        setProperty("rtFile", shown ? file_ : QString());
        setProperty("rtDrawn", shown ? drawn_ : QRect());
    }

    std::shared_ptr<const std::vector<std::uint8_t>> pixels_;
    QImage ready_;  // the pixels at drawn_'s size, once made
    QRect drawn_;
    QString file_;
    // Grows with every picture asked for; the photo thread reads it too, to
    // skip work that became moot before it started.
    std::shared_ptr<std::atomic<std::uint64_t>> generation_ =
        std::make_shared<std::atomic<std::uint64_t>>(0);
};

class ImageAdapter final : public ControlAdapter {
  public:
    Made create(Building& b, const ControlView&) const override {
        return {new PictureWidget(b.surface)};
    }
    bool update(Win& w, QWidget* widget, const WindowView*, const ControlView& c) const override {
        const ImagePayload* p = c.image();
        QRect drawn;
        if (p && p->loaded) {
            const Rect& d = p->drawn;
            drawn = QRect(w.units.x(d.x) - w.units.x(c.at.x), w.units.y(d.y) - w.units.y(c.at.y),
                          w.units.x(d.w), w.units.y(d.h));
        }
        static_cast<PictureWidget*>(widget)->show(p, drawn);
        return true;
    }
};

}  // namespace

const ControlAdapter& imageAdapter() {
    static const ImageAdapter a;
    return a;
}

}  // namespace rt
