// Inside the engine: the fast kernels behind the reference ones. They do the
// same arithmetic as ReferenceOrbit (engine/PomeClcKernels.h) on several
// orbits at once and must give bit for bit the same orbit values and counts;
// the reference stays the definition and finishes every step whose rounding
// the fast code cannot decide by itself.
//
// Which instruction set runs is chosen once from cpuid: a baseline that every
// x86-64 and the SSE2 32-bit target can run, AVX2 + FMA, and AVX-512. Tests
// and the benchmark force a path (or the reference) through ForceKernelPath.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/CycleCheck.h"
#include "engine/PomeClc.h"

enum class KernelPath : uint8_t {
    Reference = 0,  // one orbit at a time: the definition of every result
    Baseline = 1,   // SSE2 vectors (two lanes); x87 for FPU Extended
    Avx2Fma = 2,    // 256-bit vectors with fused multiply-adds for exact product errors
    Avx512 = 3,     // 512-bit vectors (AVX-512F)
};

const char* KernelPathName(KernelPath path);

// Whether this processor (and its operating system) can run the path.
bool KernelPathSupported(KernelPath path);

// The widest supported path: what rows use unless a path is forced.
KernelPath BestKernelPath();

// The path rows use now.
KernelPath ActiveKernelPath();

// Makes rows use `path` until the next call; false (and nothing changes)
// when the processor cannot run it. Not thread-safe: call between rows.
bool ForceKernelPath(KernelPath path);

// counts[] entry of a pixel that had escaped before the span started: its
// colour stands and the row leaves its image pixel alone.
constexpr int32_t kSkippedPixel = INT32_MIN;

// A run of pixels of one row, all iterated from `from` to `limit`.
template <typename T>
struct OrbitSpan {
    PixelRecord<T>* pixels = nullptr;     // `count` records
    const T* columnReal = nullptr;        // real part of c per pixel, or null: constReal for every pixel
    T constReal{};
    T constImag{};                        // imaginary part of c for every pixel
    int32_t count = 0;
    int32_t from = 0;
    int32_t limit = 0;
    int32_t* counts = nullptr;            // out: the count n of each pixel, kSkippedPixel for escaped ones
    Checkpoint<T>* checkpoints = nullptr; // `count` checkpoints, or null: no cycle check (engine/CycleCheck.h)
    std::atomic<int32_t>* next = nullptr; // shared pixel cursor when several threads work on the span
};

// Iterates every still-inside pixel of the span on the given path (the
// Reference path: one orbit after the other) and records its n: the escape
// count, or `limit` for an orbit still inside (a cycling one included, which
// is not iterated). Pixel records change exactly as the reference changes
// them.
// The caller sets the floating-point environment (FpEnvironmentGuard).
void IterateSpan(KernelPath path, const OrbitSpan<int32_t>& span);
void IterateSpan(KernelPath path, const OrbitSpan<float>& span);
void IterateSpan(KernelPath path, const OrbitSpan<double>& span);
void IterateSpan(KernelPath path, const OrbitSpan<long double>& span);

// IterateSpan(KernelPath::Reference, span), for the fast kernels' own
// fallbacks and the tests.
void IterateSpanReference(const OrbitSpan<int32_t>& span);
void IterateSpanReference(const OrbitSpan<float>& span);
void IterateSpanReference(const OrbitSpan<double>& span);
void IterateSpanReference(const OrbitSpan<long double>& span);

// ---------------------------------------------------------------------------
// Inside the fast kernels

// Pixels a thread takes from a shared cursor at a time: a sixteenth of what
// is left, at most kFeedBatch, at least one. Large takes at first keep the
// cursor quiet; single pixels at the end of the row keep the threads
// finishing together, since the one that took the last pixels is the one the
// caller waits for.
inline constexpr int32_t kFeedBatch = 32;

inline int32_t FeedTake(int32_t remaining) {
    const int32_t take = remaining / 16;
    return take < 1 ? 1 : take > kFeedBatch ? kFeedBatch : take;
}

// Whether the orbit still has steps to take: inside and not cycling
// (`checkpoint` null: the calculation has no cycle check).
template <typename T>
inline bool StillIterated(const PixelRecord<T>& pixel, const Checkpoint<T>* checkpoint) {
    return pixel.EscapeCount == NotEscaped && (checkpoint == nullptr || !IsCycling(*checkpoint));
}

// Hands out the span's still-iterated pixels, marking the escaped ones it
// passes over as skipped and the cycling ones as at the limit (they are
// inside, and their colour follows the limit like any inside pixel's).
template <typename T>
class SpanFeed {
public:
    // The span's fields are copied: the records written through `pixels`
    // could otherwise alias them and force a reload at every pixel.
    explicit SpanFeed(const OrbitSpan<T>& span)
        : pixels_(span.pixels), checkpoints_(span.checkpoints), counts_(span.counts), next_(span.next),
          count_(span.count), limit_(span.limit) {
        if (next_ == nullptr) end_ = count_;
    }

    bool Next(int32_t& x) {
        for (;;) {
            if (cur_ >= end_) {
                if (next_ == nullptr || exhausted_) return false;
                int32_t at = next_->load(std::memory_order_relaxed);
                int32_t take;
                do {
                    if (at >= count_) {
                        exhausted_ = true;
                        return false;
                    }
                    take = FeedTake(count_ - at);
                } while (!next_->compare_exchange_weak(at, at + take, std::memory_order_relaxed));
                cur_ = at;
                end_ = at + take;
            }
            const int32_t candidate = cur_++;
            const PixelRecord<T>& pixel = pixels_[candidate];
            if (pixel.EscapeCount != NotEscaped) {
                counts_[candidate] = kSkippedPixel;
            } else if (checkpoints_ != nullptr && IsCycling(checkpoints_[candidate])) {
                counts_[candidate] = limit_;
            } else {
                x = candidate;
                return true;
            }
        }
    }

private:
    PixelRecord<T>* pixels_;
    Checkpoint<T>* checkpoints_;
    int32_t* counts_;
    std::atomic<int32_t>* next_;
    int32_t count_;
    int32_t limit_;
    int32_t cur_ = 0;
    int32_t end_ = 0;
    bool exhausted_ = false;
};

// ---------------------------------------------------------------------------
// Per-instruction-set entry points (FastKernels*.cpp), used by IterateSpan.

namespace fastkernels {

struct PathTable {
    void (*fixed)(const OrbitSpan<int32_t>&);
    void (*single)(const OrbitSpan<float>&);
    void (*dbl)(const OrbitSpan<double>&);
};

const PathTable& BaselineTable();
const PathTable& Avx2FmaTable();
const PathTable& Avx512Table();

// FPU Extended stays on the x87 unit on every path: several orbits whose
// steps are interleaved by hand.
void IterateExtendedInterleaved(const OrbitSpan<long double>& span);

// The steps an FPU Extended orbit takes alone before it joins the interleaved
// loop (4 unless set). Tests set 0, so that the loop itself meets the first
// steps they construct.
int32_t ExtendedSoloSteps();
void SetExtendedSoloSteps(int32_t steps);

}  // namespace fastkernels
