#include "runtime/backend/qt/photo_work.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace rt::photowork {

namespace {

struct Job {
    std::function<std::optional<QImage>()> make;
    std::function<void(QImage)> done;
};

// Two threads, so that a large photo being scaled does not hold up the
// next one; they live as long as the process, idle on a condition.
constexpr int Threads = 2;

class Workers {
  public:
    void add(Job job) {
        pending_.fetch_add(1);
        std::lock_guard g(m_);
        jobs_.push_back(std::move(job));
        if (idle_ == 0 && started_ < Threads) {
            try {
                std::thread([this] { work(); }).detach();
                ++started_;
            } catch (const std::system_error&) {
                // No thread to be had: with none at all, the work is dropped
                // (the picture shows nothing) rather than never done.
                if (started_ == 0) {
                    jobs_.pop_back();
                    pending_.fetch_sub(1);
                }
            }
        }
        cv_.notify_one();
    }
    bool pending() const { return pending_.load() > 0; }
    void setPoster(std::function<void(std::function<void()>)> post) {
        std::lock_guard g(posterLock_);
        poster_ = std::move(post);
    }

  private:
    void work() {
        for (;;) {
            Job j;
            {
                std::unique_lock g(m_);
                ++idle_;
                cv_.wait(g, [this] { return !jobs_.empty(); });
                --idle_;
                j = std::move(jobs_.front());
                jobs_.pop_front();
            }
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
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    int started_ = 0, idle_ = 0;
    std::atomic<int> pending_{0};
    std::mutex posterLock_;
    std::function<void(std::function<void()>)> poster_;
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
