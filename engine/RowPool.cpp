#include "engine/RowPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

// Asked once: every row asks how many threads it may use, and under Wine the
// system's answer is a round trip to the server, dearer than a short row.
int HardwareThreads() {
    static const int threads = [] {
        const unsigned n = std::thread::hardware_concurrency();
        return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
    }();
    return threads;
}

std::atomic<int> rowThreads{0};  // 0: not yet asked, hardware concurrency
// Work for one thread far above what waking a worker and waiting for it
// costs, and above every row of the start image.
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
        stop_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

namespace {

// How long a thread watches a condition before it sleeps on it.
constexpr int kSpinMicroseconds = 200;

inline void Pause() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

// True as soon as `ready` holds, false when kSpinMicroseconds passed first.
template <typename Ready>
bool SpinFor(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kSpinMicroseconds);
    for (;;) {
        for (int k = 0; k < 64; ++k) {
            if (ready()) return true;
            Pause();
        }
        if (std::chrono::steady_clock::now() >= until) return ready();
    }
}

}  // namespace

void RowPool::Run(void (*job)(void*), void* context, int helpers) {
    helpers = std::clamp(helpers, 0, Workers());
    if (helpers > 0) {
        job_ = job;
        context_ = context;
        running_.store(helpers, std::memory_order_relaxed);
        {
            // Under the lock, so that no worker between its check and its
            // sleep misses the new generation.
            std::lock_guard<std::mutex> lock(mutex_);
            const uint64_t next = (generation_.load(std::memory_order_relaxed) >> 8) + 1;
            generation_.store(next << 8 | static_cast<uint64_t>(helpers), std::memory_order_release);
        }
        wake_.notify_all();
    }
    job(context);
    if (helpers > 0) {
        const auto done = [this] { return running_.load(std::memory_order_acquire) == 0; };
        if (!SpinFor(done)) {
            std::unique_lock<std::mutex> lock(mutex_);
            finished_.wait(lock, done);
        }
    }
}

void RowPool::WorkerLoop(int index) {
    uint64_t seen = 0;
    for (;;) {
        const auto woken = [&] {
            return stop_.load(std::memory_order_relaxed) || generation_.load(std::memory_order_acquire) != seen;
        };
        if (!SpinFor(woken)) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, woken);
        }
        if (stop_.load(std::memory_order_relaxed)) return;
        seen = generation_.load(std::memory_order_acquire);
        if (index >= static_cast<int>(seen & 0xFF)) continue;  // this run needs fewer helpers
        job_(context_);
        if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            // The caller may be asleep already: wake it under the lock, so
            // that it cannot be between its check and its sleep.
            std::lock_guard<std::mutex> lock(mutex_);
            finished_.notify_one();
        }
    }
}

int RowThreads() {
    const int n = rowThreads.load(std::memory_order_relaxed);
    return n > 0 ? n : HardwareThreads();
}

void SetRowThreads(int threads) { rowThreads.store(std::max(threads, 1), std::memory_order_relaxed); }

int64_t ParallelRowWork() { return parallelRowWork.load(std::memory_order_relaxed); }

void SetParallelRowWork(int64_t steps) { parallelRowWork.store(std::max<int64_t>(steps, 1), std::memory_order_relaxed); }
