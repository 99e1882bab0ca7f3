// A small pool of persistent worker threads that CalcNextRow hands the pixels
// of one large row to. The caller's thread works too and Run returns only
// when every participant has finished, so no work is ever left running
// between two calls: the engine's single-threaded state model holds.
//
// The pool is created on first use and ends with the program: its workers
// are woken, leave their loop and are joined when static objects are
// destroyed at exit.
//
// Rows follow each other within microseconds while a large view computes, and
// waking a sleeping thread costs tens of them (more under Wine): a worker
// that has finished watches for the next row for a while (kSpinMicroseconds)
// before it sleeps, and the caller watches for the last worker to finish
// before it sleeps in turn.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class RowPool {
public:
    // The process-wide pool, with hardware concurrency - 1 workers.
    static RowPool& Instance();

    explicit RowPool(int workers);
    ~RowPool();
    RowPool(const RowPool&) = delete;
    RowPool& operator=(const RowPool&) = delete;

    int Workers() const { return static_cast<int>(workers_.size()); }

    // Runs job(context) on the calling thread and on up to `helpers`
    // workers at once and returns when all of them have returned. The job
    // sets up whatever per-thread state it needs (the floating-point
    // environment) itself.
    void Run(void (*job)(void*), void* context, int helpers);

private:
    void WorkerLoop(int index);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::vector<std::thread> workers_;
    // Written before generation_ moves on, read only by the workers taking
    // part, which the next Run waits for.
    void (*job_)(void*) = nullptr;
    void* context_ = nullptr;
    // One per Run, changed under mutex_: a counter above 8 bits, below them
    // how many workers take part (those with a lower index), so that a worker
    // left out never reads anything the next Run may be writing.
    std::atomic<uint64_t> generation_{0};
    std::atomic<int> running_{0};     // wanted workers that have not finished yet
    std::atomic<bool> stop_{false};   // changed under mutex_
};

// How many threads a large row may use (the caller included). Defaults to the
// hardware concurrency; 1 keeps every row on the caller's thread.
int RowThreads();
void SetRowThreads(int threads);

// A row is split across threads when its still-inside pixels times the steps
// of the pass reach this; smaller rows are cheaper to compute than to share.
int64_t ParallelRowWork();
void SetParallelRowWork(int64_t steps);
