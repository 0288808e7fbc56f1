// Pictures: the pixels the view carries, drawn in the rectangle it gives
// (the window layer has read the file and placed the picture). The picture
// is scaled once for its rectangle and kept so, not at every paint.
//
// What the widget shows is kept as properties for the scenario driver:
// rtShown (a picture is drawn), rtFile (the file it was read from, UTF-8)
// and rtDrawn (where it is drawn, in pixels of the widget).
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <memory>
#include <vector>

#include "runtime/backend/qt/controls.h"

namespace rt {

namespace {

class PictureWidget final : public QWidget {
  public:
    explicit PictureWidget(QWidget* parent) : QWidget(parent) {}

    void show(const ImagePayload* p, QRect drawn) {
        const bool shown = p && p->loaded && p->pixels && p->width > 0 && p->height > 0 &&
                           p->pixels->size() >= std::size_t(p->width) * p->height * 4;
        if (!shown) drawn = QRect();
        if (shown ? p->pixels != pixels_ : pixels_ != nullptr) {
            pixels_ = shown ? p->pixels : nullptr;
            // The view's pixels, not a copy: the shared block lives as long
            // as this widget holds it.
            image_ = shown ? QImage(pixels_->data(), p->width, p->height, p->width * 4,
                                    QImage::Format_RGBA8888)
                           : QImage();
            scaled_ = QImage();
        }
        drawn_ = drawn;
        setProperty("rtShown", shown);
        setProperty("rtFile", shown ? q(p->file) : QString());
        setProperty("rtDrawn", drawn_);
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (image_.isNull() || drawn_.isEmpty()) return;
        if (scaled_.size() != drawn_.size())
            scaled_ = image_.scaled(drawn_.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QPainter painter(this);
        painter.drawImage(drawn_.topLeft(), scaled_);
    }

  private:
    std::shared_ptr<const std::vector<std::uint8_t>> pixels_;
    QImage image_, scaled_;
    QRect drawn_;
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
