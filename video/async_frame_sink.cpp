#include "video/async_frame_sink.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// One piece of work for the worker, in the order the caller gave them.
struct Job {
    enum Kind { Frame, Audio } kind;
    size_t buffer = 0;             // Frame: index into the ring
    std::vector<int16_t> samples;  // Audio: the samples (small: one frame's worth)
    size_t frames = 0;
};

class AsyncFrameSink final : public FrameSink {
public:
    AsyncFrameSink(std::unique_ptr<FrameSink> inner, size_t frame_bytes, int buffers)
        : inner_(std::move(inner)), frame_bytes_(frame_bytes) {
        ring_.resize(static_cast<size_t>(buffers < 1 ? 1 : buffers));
        for (size_t i = 0; i < ring_.size(); ++i) {
            ring_[i].resize(frame_bytes);
            free_.push_back(i);
        }
        worker_ = std::thread([this] { work(); });
    }

    ~AsyncFrameSink() override {
        stop();
        // inner_ goes last: unfinished, it removes what it wrote.
    }

    void write_frame(const uint8_t* rgba) override {
        size_t slot = 0;
        {
            std::unique_lock lock(mutex_);
            freed_.wait(lock, [&] { return !free_.empty() || failure_; });
            rethrow_locked();
            slot = free_.front();
            free_.pop_front();
        }
        // Copied outside the lock: the worker may be encoding meanwhile.
        std::memcpy(ring_[slot].data(), rgba, frame_bytes_);
        push(Job{Job::Frame, slot, {}, 0});
    }

    void write_audio(const int16_t* samples, size_t frames) override {
        if (frames == 0) return;
        push(Job{Job::Audio, 0, std::vector<int16_t>(samples, samples + frames * 2), frames});
    }

    void finish() override {
        {
            std::unique_lock lock(mutex_);
            drained_.wait(lock, [&] { return (jobs_.empty() && !busy_) || failure_; });
            rethrow_locked();
        }
        stop();
        inner_->finish();
    }

private:
    void push(Job job) {
        std::lock_guard lock(mutex_);
        rethrow_locked();
        jobs_.push_back(std::move(job));
        queued_.notify_one();
    }

    void rethrow_locked() {
        if (failure_) std::rethrow_exception(failure_);
    }

    void stop() {
        if (!worker_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_one();
        worker_.join();
    }

    void work() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                queued_.wait(lock, [&] { return !jobs_.empty() || stopping_; });
                // Stopping with work queued means the output is abandoned: finish()
                // drains the queue before it stops the worker.
                if (jobs_.empty() || failure_ || stopping_) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                busy_ = true;
            }
            std::exception_ptr failed;
            try {
                if (job.kind == Job::Frame) inner_->write_frame(ring_[job.buffer].data());
                else inner_->write_audio(job.samples.data(), job.frames);
            } catch (...) {
                failed = std::current_exception();
            }
            {
                std::lock_guard lock(mutex_);
                busy_ = false;
                if (job.kind == Job::Frame) free_.push_back(job.buffer);
                if (failed) failure_ = failed;
            }
            freed_.notify_one();
            drained_.notify_one();
            if (failed) return;
        }
    }

    std::unique_ptr<FrameSink> inner_;
    const size_t frame_bytes_;
    std::vector<std::vector<uint8_t>> ring_;

    std::mutex mutex_;
    std::condition_variable queued_, freed_, drained_;
    std::deque<size_t> free_;
    std::deque<Job> jobs_;
    bool busy_ = false, stopping_ = false;
    std::exception_ptr failure_;
    std::thread worker_;
};

}  // namespace

std::unique_ptr<FrameSink> make_async_frame_sink(std::unique_ptr<FrameSink> inner, size_t frame_bytes,
                                                 int buffers) {
    return std::make_unique<AsyncFrameSink>(std::move(inner), frame_bytes, buffers);
}
