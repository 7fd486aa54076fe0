#include "serialization/decode_pool.h"

DecodePool::DecodePool(size_t workers) {
    if (workers == 0) workers = 1;
    threads_.reserve(workers);
    for (size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

DecodePool::~DecodePool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

std::future<void> DecodePool::submit(std::function<void()> job) {
    std::packaged_task<void()> task(std::move(job));
    std::future<void> done = task.get_future();
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(task));
    }
    wake_.notify_one();
    return done;
}

size_t DecodePool::default_workers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 2 ? cores - 1 : 1;
}

void DecodePool::work() {
    for (;;) {
        std::packaged_task<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // stopping, and nothing left to run
            task = std::move(jobs_.front());
            jobs_.pop_front();
        }
        task();
    }
}
