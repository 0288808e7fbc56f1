#include "runtime/backend/qt/photo_work.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "runtime/job_threads.h"

namespace rt::photowork {

namespace {

struct Job {
    std::function<std::optional<QImage>()> make;
    std::function<void(QImage)> done;
};

class Workers {
  public:
    void add(Job job) {
        pending_.fetch_add(1);
        // With no thread to be had at all, the work is dropped (the picture
        // shows nothing) rather than never done.
        if (!threads_.post([this, job = std::move(job)]() mutable { work(std::move(job)); }))
            pending_.fetch_sub(1);
    }
    bool pending() const { return pending_.load() > 0; }
    void setPoster(std::function<void(std::function<void()>)> post) {
        std::lock_guard g(posterLock_);
        poster_ = std::move(post);
    }

  private:
    void work(Job j) {
        std::optional<QImage> made;
        try {
            made = j.make();
        } catch (...) {
            // Out of memory scaling: the picture shows nothing.
            made = QImage();
        }
        if (made) {
            std::lock_guard g(posterLock_);
            if (poster_)
                poster_([done = std::move(j.done), image = std::move(*made)] { done(image); });
        }
        // Only now: the result is in the display's queue, which keeps it
        // counted as not drawn until it has been taken.
        pending_.fetch_sub(1);
    }

    std::atomic<int> pending_{0};
    std::mutex posterLock_;
    std::function<void(std::function<void()>)> poster_;
    // Two threads, so that a large photo being scaled does not hold up the
    // next one.
    JobThreads threads_{2};
};

Workers& workers() {
    static Workers* w = new Workers;  // its threads run to the process's end
    return *w;
}

}  // namespace

void run(std::function<std::optional<QImage>()> make, std::function<void(QImage)> done) {
    workers().add({std::move(make), std::move(done)});
}

bool pending() {
    return workers().pending();
}

void setPoster(std::function<void(std::function<void()>)> post) {
    workers().setPoster(std::move(post));
}

QImage sized(const std::uint8_t* rgba, int width, int height, QSize size) {
    const std::size_t n = static_cast<std::size_t>(width) * height * 4;
    bool opaque = true;
    for (std::size_t a = 3; a < n && opaque; a += 4) opaque = rgba[a] == 0xff;
    // The pixels are read where they are; the conversion makes the copy
    // the image keeps.
    const QImage decoded(rgba, width, height, width * 4,
                         opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888);
    const QImage scaled = size == decoded.size() ? decoded
                                                 : decoded.scaled(size, Qt::IgnoreAspectRatio,
                                                                  Qt::SmoothTransformation);
    return scaled.convertToFormat(opaque ? QImage::Format_RGB32
                                         : QImage::Format_ARGB32_Premultiplied);
}

}  // namespace rt::photowork
