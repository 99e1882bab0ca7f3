// Progressive calculation: the interleaved row scan, passes with a rising
// limit, the colour rule and the seven row kernels. Each kernel runs the fast
// kernels (engine/FastKernels.h) and, on a large row, shares the row's pixels
// with the worker pool (engine/RowPool.h); the reference loops stay here.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "engine/FastKernels.h"
#include "engine/FpEnvironment.h"
#include "engine/PomeClc.h"
#include "engine/PomeClcKernels.h"
#include "engine/PomeFix.h"
#include "engine/RowPool.h"

namespace {

// ----------------------------------------------------------------------------
// Kernels

// Per-pixel counts of the row under way. Rows are computed one at a time
// (CalcNextRow runs on one thread), so one buffer serves every row.
int32_t* RowCounts(int32_t width) {
    static std::unique_ptr<int32_t[]> buffer;
    static int32_t capacity = 0;
    if (width > capacity) {
        buffer.reset(new (std::nothrow) int32_t[static_cast<size_t>(width)]);
        capacity = buffer ? width : 0;
    }
    return buffer.get();
}

template <typename T>
struct SharedSpan {
    KernelPath path;
    OrbitSpan<T> span;
};

// What each thread of a shared row runs: a new thread's floating-point
// environment differs between platforms, so every participant sets its own.
template <typename T>
void RunSharedSpan(void* context) {
    const FpEnvironmentGuard environment;
    const auto* shared = static_cast<const SharedSpan<T>*>(context);
    IterateSpan(shared->path, shared->span);
}

// Iterates the row's pixels on the fast path, on several threads when the
// row is large, and writes the image row. False when no count buffer could
// be had; the caller then takes the reference loop.
template <typename T>
bool FastRow(CalcState& state, PixelRecord<T>* pixels, const T* columnReal, T constReal, T constImag, int32_t row,
             int32_t old, int32_t limit, KernelPath path) {
    const int32_t width = state.width;
    int32_t* counts = RowCounts(width);
    if (counts == nullptr) return false;

    SharedSpan<T> shared{path, OrbitSpan<T>{}};
    OrbitSpan<T>& span = shared.span;
    span.pixels = pixels;
    span.columnReal = columnReal;
    span.constReal = constReal;
    span.constImag = constImag;
    span.count = width;
    span.from = old;
    span.limit = limit;
    span.counts = counts;

    const int threads = RowThreads();
    int64_t inside = 0;
    if (threads > 1)
        for (int32_t x = 0; x < width; ++x) inside += pixels[x].EscapeCount == NotEscaped ? 1 : 0;
    std::atomic<int32_t> next{0};
    if (threads > 1 && inside * (static_cast<int64_t>(limit) - old) >= ParallelRowWork()) {
        span.next = &next;
        RowPool::Instance().Run(&RunSharedSpan<T>, &shared, threads - 1);
    } else {
        IterateSpan(path, span);
    }

    // Neighbours mostly share their count (every orbit still inside has the
    // limit), and the colour rule divides twice: a repeated count reuses the
    // index just computed.
    PixelCursor cursor = StartImageRow(state, row);
    int32_t lastCount = kSkippedPixel;
    bool lastInside = false;
    uint8_t lastIndex = 0;
    for (int32_t x = 0; x < width; ++x) {
        const int32_t n = counts[x];
        if (n == kSkippedPixel) {
            SkipPixel(cursor);  // escaped in an earlier pass: its colour stands
            continue;
        }
        const bool stillInside = pixels[x].EscapeCount == NotEscaped;
        if (n != lastCount || stillInside != lastInside) {
            lastIndex = PixelIndex(state, pixels[x].EscapeCount, n);
            lastCount = n;
            lastInside = stillInside;
        }
        PutPixel(cursor, lastIndex);
    }
    return true;
}

// One row of an FPU kernel. The Mandelbrot-Set takes c from the pixel's
// point; the Julia-Set takes the constant, rounded to T once per row.
template <typename T, FormulaKind formula>
void FpuRow(CalcState& state, WorkBuffers<T>& buffers, int32_t row) {
    const int32_t width = state.width;
    const int32_t old = buffers.RowLimit[row];
    const int32_t limit = state.CurrentLimit;
    buffers.RowLimit[row] = limit;

    PixelRecord<T>* pixel = RowPixels(buffers, width, row);
    const T constReal = static_cast<T>(state.ConstReal);
    const T constImag = static_cast<T>(state.ConstImag);
    const T rowImag = buffers.RowCoords[row];

    const KernelPath path = ActiveKernelPath();
    if (path != KernelPath::Reference) {
        const bool julia = formula == FormulaKind::JuliaSet;
        if (FastRow<T>(state, pixel, julia ? nullptr : buffers.ColumnCoords.get(), constReal,
                       julia ? constImag : rowImag, row, old, limit, path))
            return;
    }

    // The reference: one orbit after the other.
    PixelCursor cursor = StartImageRow(state, row);
    for (int32_t x = 0; x < width; ++x, ++pixel) {
        if (pixel->EscapeCount != NotEscaped) {
            SkipPixel(cursor);  // escaped in an earlier pass: its colour stands
            continue;
        }
        const T cr = formula == FormulaKind::JuliaSet ? constReal : buffers.ColumnCoords[x];
        const T ci = formula == FormulaKind::JuliaSet ? constImag : rowImag;
        bool escaped;
        const int32_t n = ReferenceOrbit(pixel->Zr, pixel->Zi, cr, ci, old, limit, escaped);
        if (escaped) pixel->EscapeCount = n;
        PutPixel(cursor, PixelIndex(state, pixel->EscapeCount, n));
    }
}

}  // namespace

// CPU Fixed counts from the point itself (the FPU orbit's z1) and escapes on
// |z|^2 >= 4, so its counts are one below the FPU counts of the same point.
void MandelbrotRowFixed(CalcState& state, WorkBuffers<int32_t>& buffers, int32_t row) {
    const int32_t width = state.width;
    const int32_t old = buffers.RowLimit[row];
    const int32_t limit = state.CurrentLimit;
    buffers.RowLimit[row] = limit;

    PixelRecord<int32_t>* pixel = RowPixels(buffers, width, row);
    const int32_t bound = ToFixed(4.0L);
    const int32_t ci = buffers.RowCoords[row];

    const KernelPath path = ActiveKernelPath();
    if (path != KernelPath::Reference &&
        FastRow<int32_t>(state, pixel, buffers.ColumnCoords.get(), 0, ci, row, old, limit, path))
        return;

    PixelCursor cursor = StartImageRow(state, row);

    for (int32_t x = 0; x < width; ++x, ++pixel) {
        if (pixel->EscapeCount != NotEscaped) {
            SkipPixel(cursor);
            continue;
        }
        // limit > old >= 0 for a due row: at least one step, and no overflow.
        const int32_t steps = limit - old;
        const int32_t n = old + IterateFixed(pixel->Zr, pixel->Zi, buffers.ColumnCoords[x], ci, bound, steps);
        if (n < limit) pixel->EscapeCount = n;
        PutPixel(cursor, PixelIndex(state, pixel->EscapeCount, n));
    }
}

void MandelbrotRowSingle(CalcState& state, WorkBuffers<float>& buffers, int32_t row) {
    FpuRow<float, FormulaKind::MandelbrotSet>(state, buffers, row);
}

void MandelbrotRowDouble(CalcState& state, WorkBuffers<double>& buffers, int32_t row) {
    FpuRow<double, FormulaKind::MandelbrotSet>(state, buffers, row);
}

void MandelbrotRowExtended(CalcState& state, WorkBuffers<long double>& buffers, int32_t row) {
    FpuRow<long double, FormulaKind::MandelbrotSet>(state, buffers, row);
}

void JuliaRowSingle(CalcState& state, WorkBuffers<float>& buffers, int32_t row) {
    FpuRow<float, FormulaKind::JuliaSet>(state, buffers, row);
}

void JuliaRowDouble(CalcState& state, WorkBuffers<double>& buffers, int32_t row) {
    FpuRow<double, FormulaKind::JuliaSet>(state, buffers, row);
}

void JuliaRowExtended(CalcState& state, WorkBuffers<long double>& buffers, int32_t row) {
    FpuRow<long double, FormulaKind::JuliaSet>(state, buffers, row);
}

PixelCursor StartImageRow(const CalcState& state, int32_t row) {
    PixelCursor cursor;
    if (state.image != nullptr && state.image->pixels != nullptr) state.image->StartRow(cursor, row);
    return cursor;
}

// ----------------------------------------------------------------------------
// Scheduling

namespace {

int32_t RowLimitOf(const CalcState& state, int32_t row) {
    return std::visit(
        [row](const auto& buffers) -> int32_t {
            if constexpr (std::is_same_v<std::decay_t<decltype(buffers)>, std::monostate>) return 0;
            else return buffers.RowLimit[row];
        },
        state.workBuffers);
}

void RunKernel(CalcState& state, int32_t row) {
    const bool julia = state.formula == FormulaKind::JuliaSet;
    if (auto* fixed = BuffersOf<int32_t>(state)) {
        if (!julia) MandelbrotRowFixed(state, *fixed, row);  // a Julia-Set is never set up in CPU Fixed
    } else if (auto* single = BuffersOf<float>(state)) {
        if (julia) JuliaRowSingle(state, *single, row);
        else MandelbrotRowSingle(state, *single, row);
    } else if (auto* dbl = BuffersOf<double>(state)) {
        if (julia) JuliaRowDouble(state, *dbl, row);
        else MandelbrotRowDouble(state, *dbl, row);
    } else if (auto* extended = BuffersOf<long double>(state)) {
        if (julia) JuliaRowExtended(state, *extended, row);
        else MandelbrotRowExtended(state, *extended, row);
    }
}

// The first sweep after a set-up blanks the three rows below each new row, so
// the previous picture disappears at once; later sweeps fill them in.
void ClearRowsAhead(const CalcState& state, int32_t row) {
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(row) + 3, static_cast<int64_t>(state.height) - 1);
    for (int64_t r = static_cast<int64_t>(row) + 1; r <= last; ++r) {
        PixelCursor cursor = StartImageRow(state, static_cast<int32_t>(r));
        for (int32_t x = 0; x < state.width; ++x) PutPixel(cursor, 0);
    }
}

}  // namespace

void CalcNextRow(CalcState& state, int32_t& row) {
    row = -1;
    if (state.Status != SetUpStatus::Ready) return;

    // Four sweeps: rows 0, 4, 8, ..., then 1, 5, 9, ..., then 2, ... and 3, ...
    // 64 bits: ScanRow + 4 must not overflow next to a height near INT32_MAX.
    int64_t next = static_cast<int64_t>(state.ScanRow) + 4;
    if (state.ScanPhase > 3 || state.ScanPhase < 0) state.ScanPhase = 0;
    while (state.ScanPhase < 4) {
        if (next < state.height) {
            if (next >= 0 && RowLimitOf(state, static_cast<int32_t>(next)) < state.CurrentLimit) break;
            next += 4;
        }
        if (next >= state.height) {
            ++state.ScanPhase;
            next = state.ScanPhase;
            state.ClearAhead = false;
        }
    }
    if (state.ScanPhase >= 4) {
        state.ScanRow = -4;
        state.ScanPhase = 0;
        return;
    }

    const int32_t due = static_cast<int32_t>(next);
    state.ScanRow = due;
    const FpEnvironmentGuard environment;
    RunKernel(state, due);
    if (state.ClearAhead) ClearRowsAhead(state, due);
    row = due;
}

bool NextPass(CalcState& state) {
    if (state.Status != SetUpStatus::Ready) return false;
    if (state.CurrentLimit >= state.IterEnd) return false;
    // An IterInc below 1 would open empty passes for ever; the sum is taken in
    // 64 bits so that limits near INT32_MAX cannot overflow.
    const int64_t raised = static_cast<int64_t>(state.CurrentLimit) + std::max(state.IterInc, 1);
    state.CurrentLimit = static_cast<int32_t>(std::min<int64_t>(raised, state.IterEnd));
    state.ScanRow = -4;
    state.ScanPhase = 0;
    state.ClearAhead = false;
    return true;
}

void RaiseIterEnd(CalcState& state, int32_t newEnd) {
    if (newEnd <= state.IterEnd) return;
    state.IterEnd = newEnd;
    state.ScanRow = -4;
    state.ScanPhase = 0;
}

uint8_t PaletteIndexOf(const CalcState& state, int32_t n) {
    // 64-bit arithmetic: with counts beyond 65534 a 32-bit ColourCount * n (or
    // n + PaletteShift) would overflow. For the values the dialogs allow it
    // gives exactly the 32-bit result. Divisors below 1 count as 1, and a
    // negative remainder (only from a negative limit) is brought into range.
    const int64_t colours = std::max(state.ColourCount, 1);
    const int64_t count = n;
    const int64_t shift = state.PaletteShift;
    int64_t index;
    if (state.ColourMode)
        index = colours * count / std::max(state.IterEnd, 1) + shift;
    else
        index = count / std::max(state.IterationsPerColour, 1) + shift;
    index %= colours;
    if (index < 0) index += colours;
    return static_cast<uint8_t>(index);
}

int32_t CalculateToEnd(CalcState& state) { return CalculateToEnd(state, nullptr); }

int32_t CalculateToEnd(CalcState& state, RowProgress* progress) {
    if (state.Status != SetUpStatus::Ready) return 0;
    int32_t passes = 1;
    for (;;) {
        int32_t row = -1;
        CalcNextRow(state, row);
        if (row != -1) {
            if (progress != nullptr && !progress->AfterRow(state, row)) break;
            continue;
        }
        if (!NextPass(state)) break;
        ++passes;
    }
    return passes;
}
