// A few threads that run queued jobs in the order they came, for work that
// must never run on the thread that asks for it (a photo decoded for the
// window layer, scaled for the display). The threads are started as work
// arrives and none is idle, up to their number, then live as long as the
// process, idle on a condition: an object of this class is never destroyed.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace rt {

class JobThreads {
  public:
    explicit JobThreads(int threads) : threads_(threads) {}
    JobThreads(const JobThreads&) = delete;
    JobThreads& operator=(const JobThreads&) = delete;

    // Queues job; false (and nothing queued) when not one thread could be
    // started, so that the caller gives up the work rather than wait for it.
    bool post(std::function<void()> job) {
        std::lock_guard g(m_);
        jobs_.push_back(std::move(job));
        if (idle_ == 0 && started_ < threads_) {
            try {
                std::thread([this] { work(); }).detach();
                ++started_;
            } catch (const std::system_error&) {
                if (started_ == 0) {
                    jobs_.pop_back();
                    return false;
                }
            }
        }
        cv_.notify_one();
        return true;
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock g(m_);
                ++idle_;
                cv_.wait(g, [this] { return !jobs_.empty(); });
                --idle_;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    const int threads_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    int started_ = 0, idle_ = 0;
};

}  // namespace rt
