// DecodePool: a fixed set of worker threads that run the thread-safe part of
// loading records (image, model and sound decoding) while the reading thread
// draws loading frames. Jobs start in submission order; each submit gives a
// future that the reader waits on at the record's turn. GL-free: jobs must not
// touch GL or anything else bound to the reading thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

class DecodePool {
public:
    // `workers` threads (at least one).
    explicit DecodePool(size_t workers);
    // Runs every job already submitted, then joins the workers.
    ~DecodePool();
    DecodePool(const DecodePool&) = delete;
    DecodePool& operator=(const DecodePool&) = delete;

    // Queues `job`; the future becomes ready when it has run, and carries any
    // exception it threw.
    std::future<void> submit(std::function<void()> job);

    size_t workers() const { return threads_.size(); }

    // One per core less the reading thread's, at least one.
    static size_t default_workers();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
