#include "engine/RowPool.h"

#include <algorithm>
#include <atomic>

namespace {

int HardwareThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

std::atomic<int> rowThreads{0};  // 0: not yet asked, hardware concurrency
// About a millisecond of work for one thread: far above what waking a worker
// and waiting for it costs, and above every row of the start image.
std::atomic<int64_t> parallelRowWork{int64_t{1} << 19};

}  // namespace

RowPool& RowPool::Instance() {
    static RowPool pool(HardwareThreads() - 1);
    return pool;
}

RowPool::RowPool(int workers) {
    workers_.reserve(static_cast<size_t>(std::max(workers, 0)));
    for (int i = 0; i < workers; ++i) workers_.emplace_back(&RowPool::WorkerLoop, this, i);
}

RowPool::~RowPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void RowPool::Run(void (*job)(void*), void* context, int helpers) {
    helpers = std::clamp(helpers, 0, Workers());
    if (helpers > 0) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = job;
            context_ = context;
            wanted_ = helpers;
            running_ = helpers;
            ++generation_;
        }
        wake_.notify_all();
    }
    job(context);
    if (helpers > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return running_ == 0; });
    }
}

void RowPool::WorkerLoop(int index) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) return;
        seen = generation_;
        if (index >= wanted_) continue;  // this run needs fewer helpers
        void (*job)(void*) = job_;
        void* context = context_;
        lock.unlock();
        job(context);
        lock.lock();
        if (--running_ == 0) finished_.notify_one();
    }
}

int RowThreads() {
    const int n = rowThreads.load(std::memory_order_relaxed);
    return n > 0 ? n : HardwareThreads();
}

void SetRowThreads(int threads) { rowThreads.store(std::max(threads, 1), std::memory_order_relaxed); }

int64_t ParallelRowWork() { return parallelRowWork.load(std::memory_order_relaxed); }

void SetParallelRowWork(int64_t steps) { parallelRowWork.store(std::max<int64_t>(steps, 1), std::memory_order_relaxed); }
