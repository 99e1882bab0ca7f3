// Choosing the kernels' instruction set, and the reference run of a span.
#include "engine/FastKernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "engine/CycleCheck.h"
#include "engine/PomeClcKernels.h"
#include "engine/PomeFix.h"

namespace {

KernelPath DetectBest() {
    __builtin_cpu_init();
    // libgcc's checks include the operating system's saving of the wide
    // registers (XGETBV), so a path reported here can run. The wide path's
    // file is compiled for AVX-512F, AVX2 and FMA together, and a hypervisor
    // may report the first without the others.
    const bool avx2Fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2Fma && __builtin_cpu_supports("avx512f")) return KernelPath::Avx512;
    if (avx2Fma) return KernelPath::Avx2Fma;
    return KernelPath::Baseline;
}

KernelPath& ActivePath() {
    static KernelPath path = BestKernelPath();
    return path;
}

const fastkernels::PathTable* TableOf(KernelPath path) {
    switch (path) {
        case KernelPath::Baseline: return &fastkernels::BaselineTable();
        case KernelPath::Avx2Fma: return &fastkernels::Avx2FmaTable();
        case KernelPath::Avx512: return &fastkernels::Avx512Table();
        case KernelPath::Reference: break;
    }
    return nullptr;
}

// Pixels [begin, end) of a span, one orbit after the other.
template <typename T>
void ReferencePixels(const OrbitSpan<T>& span, int32_t begin, int32_t end) {
    const int32_t fixedBound = std::is_same_v<T, int32_t> ? ToFixed(4.0L) : 0;
    for (int32_t x = begin; x < end; ++x) {
        PixelRecord<T>& pixel = span.pixels[x];
        if (pixel.EscapeCount != NotEscaped) {
            span.counts[x] = kSkippedPixel;
            continue;
        }
        const T cr = span.columnReal != nullptr ? span.columnReal[x] : span.constReal;
        const T ci = span.constImag;
        int32_t n;
        if (span.checkpoints != nullptr && IsCycling(span.checkpoints[x])) {
            n = span.limit;
        } else if (span.checkpoints != nullptr) {
            Checkpoint<T>& checkpoint = span.checkpoints[x];
            OrbitEnd end;
            if constexpr (std::is_same_v<T, int32_t>)
                n = CheckedOrbit(pixel, checkpoint, span.from, span.limit, end,
                                 [&](int32_t& r, int32_t& i) { return FixedStep(r, i, cr, ci, fixedBound); });
            else
                n = CheckedOrbit(pixel, checkpoint, span.from, span.limit, end,
                                 [&](T& r, T& i) { return ReferenceStep(r, i, cr, ci); });
            if (end == OrbitEnd::Escaped) pixel.EscapeCount = n;
            else if (end == OrbitEnd::Cycling) n = span.limit;
        } else if constexpr (std::is_same_v<T, int32_t>) {
            n = span.from + IterateFixed(pixel.Zr, pixel.Zi, cr, ci, fixedBound, span.limit - span.from);
            if (n < span.limit) pixel.EscapeCount = n;
        } else {
            bool escaped;
            n = ReferenceOrbit(pixel.Zr, pixel.Zi, cr, ci, span.from, span.limit, escaped);
            if (escaped) pixel.EscapeCount = n;
        }
        span.counts[x] = n;
    }
}

template <typename T>
void ReferenceSpan(const OrbitSpan<T>& span) {
    if (span.next == nullptr) {
        ReferencePixels(span, 0, span.count);
        return;
    }
    constexpr int32_t kBatch = 8;
    for (;;) {
        const int32_t begin = span.next->fetch_add(kBatch, std::memory_order_relaxed);
        if (begin >= span.count) return;
        ReferencePixels(span, begin, begin + kBatch < span.count ? begin + kBatch : span.count);
    }
}

}  // namespace

const char* KernelPathName(KernelPath path) {
    switch (path) {
        case KernelPath::Reference: return "reference";
        case KernelPath::Baseline: return "baseline (SSE2)";
        case KernelPath::Avx2Fma: return "AVX2+FMA";
        case KernelPath::Avx512: return "AVX-512";
    }
    return "?";
}

KernelPath BestKernelPath() {
    static const KernelPath best = DetectBest();
    return best;
}

bool KernelPathSupported(KernelPath path) {
    switch (path) {
        case KernelPath::Reference:
        case KernelPath::Baseline: return true;
        case KernelPath::Avx2Fma: return BestKernelPath() >= KernelPath::Avx2Fma;
        case KernelPath::Avx512: return BestKernelPath() >= KernelPath::Avx512;
    }
    return false;
}

KernelPath ActiveKernelPath() { return ActivePath(); }

bool ForceKernelPath(KernelPath path) {
    if (!KernelPathSupported(path)) return false;
    ActivePath() = path;
    return true;
}

void IterateSpan(KernelPath path, const OrbitSpan<int32_t>& span) {
    if (const auto* table = TableOf(path)) table->fixed(span);
    else ReferenceSpan(span);
}

void IterateSpan(KernelPath path, const OrbitSpan<float>& span) {
    if (const auto* table = TableOf(path)) table->single(span);
    else ReferenceSpan(span);
}

void IterateSpan(KernelPath path, const OrbitSpan<double>& span) {
    if (const auto* table = TableOf(path)) table->dbl(span);
    else ReferenceSpan(span);
}

void IterateSpan(KernelPath path, const OrbitSpan<long double>& span) {
    if (path == KernelPath::Reference) ReferenceSpan(span);
    else fastkernels::IterateExtendedInterleaved(span);
}

void IterateSpanReference(const OrbitSpan<int32_t>& span) { ReferenceSpan(span); }
void IterateSpanReference(const OrbitSpan<float>& span) { ReferenceSpan(span); }
void IterateSpanReference(const OrbitSpan<double>& span) { ReferenceSpan(span); }
void IterateSpanReference(const OrbitSpan<long double>& span) { ReferenceSpan(span); }

namespace {

std::atomic<bool>& CycleCheckSwitch() {
    static std::atomic<bool> on{[] {
        const char* text = std::getenv("QUAXEL_CYCLE_CHECK");
        return text == nullptr || std::strcmp(text, "0") != 0;
    }()};
    return on;
}

}  // namespace

bool CycleChecks() { return CycleCheckSwitch().load(std::memory_order_relaxed); }
void SetCycleChecks(bool on) { CycleCheckSwitch().store(on, std::memory_order_relaxed); }
