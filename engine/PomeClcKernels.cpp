// Progressive calculation: the interleaved row scan, passes with a rising
// limit, the colour rule and the one row skeleton every formula and type
// runs: the row's span, its kernel path (engine/FastKernels.h, the reference
// included; a large row shared with the worker pool of engine/RowPool.h),
// then the image row written from the per-pixel counts.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <type_traits>

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/FpEnvironment.h"
#include "engine/PomeClc.h"
#include "engine/PomeClcKernels.h"
#include "engine/RowPool.h"

namespace {

// ----------------------------------------------------------------------------
// The row

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

// The row's still-inside pixels: a Mandelbrot-Set takes c from each pixel's
// point, a Julia-Set the constant, rounded to T once per row. CPU Fixed
// holds only Mandelbrot-Sets.
template <typename T>
OrbitSpan<T> RowSpan(const CalcState& state, WorkBuffers<T>& buffers, int32_t row, int32_t old) {
    const bool julia = !std::is_same_v<T, int32_t> && state.formula == FormulaKind::JuliaSet;
    OrbitSpan<T> span;
    span.pixels = RowPixels(buffers, state.width, row);
    span.columnReal = julia ? nullptr : buffers.ColumnCoords.get();
    span.constReal = julia ? static_cast<T>(state.ConstReal) : T{};
    span.constImag = julia ? static_cast<T>(state.ConstImag) : buffers.RowCoords[row];
    span.count = state.width;
    span.from = old;
    span.limit = state.CurrentLimit;
    span.counts = buffers.RowCounts.get();
    span.checkpoints = RowCheckpoints(buffers, state.width, row);
    return span;
}

// Runs the span on `path`, on several threads when the row is large.
template <typename T>
void IterateRowOn(const OrbitSpan<T>& rowSpan, KernelPath path) {
    SharedSpan<T> shared{path, rowSpan};
    const int threads = RowThreads();
    int64_t inside = 0;
    if (threads > 1)
        for (int32_t x = 0; x < rowSpan.count; ++x) inside += StillIterated(rowSpan.pixels[x], rowSpan.checkpoints ? rowSpan.checkpoints + x : nullptr) ? 1 : 0;
    std::atomic<int32_t> next{0};
    if (threads > 1 && inside * (static_cast<int64_t>(rowSpan.limit) - rowSpan.from) >= ParallelRowWork()) {
        shared.span.next = &next;
        RowPool::Instance().Run(&RunSharedSpan<T>, &shared, threads - 1);
    } else {
        IterateSpan(path, shared.span);
    }
}

// A pass that ends by the first checkpoint step compares nothing (the cycle
// check starts after that step), so it runs without the check's cost; only
// the first checkpoint, taken at that step, is written afterwards. (No
// orbit is cycling yet: limits only rise within a calculation.)
template <typename T>
void IterateRow(const OrbitSpan<T>& rowSpan, KernelPath path) {
    if (rowSpan.checkpoints == nullptr || rowSpan.limit > kFirstCheckpoint) {
        IterateRowOn(rowSpan, path);
        return;
    }
    OrbitSpan<T> plain = rowSpan;
    plain.checkpoints = nullptr;
    IterateRowOn(plain, path);
    if (rowSpan.limit != kFirstCheckpoint) return;
    for (int32_t x = 0; x < rowSpan.count; ++x) {
        const PixelRecord<T>& pixel = rowSpan.pixels[x];
        if (rowSpan.counts[x] == rowSpan.limit && pixel.EscapeCount == NotEscaped)
            rowSpan.checkpoints[x] = Checkpoint<T>{pixel.Zr, pixel.Zi};
    }
}

inline bool AllSkipped8(const int32_t* counts) {
    int32_t other = 0;
    for (int k = 0; k < 8; ++k) other |= counts[k] ^ kSkippedPixel;
    return other == 0;
}

// Writes the image row from the span's counts. Neighbours mostly share their
// count (every orbit still inside has the limit), and the colour rule
// divides twice: a repeated count reuses the index just computed. The count
// alone tells an orbit still inside (it reached the limit) from one that
// escaped (below it), so the pixel records are not read again. True when
// a pixel changed.
template <typename T>
bool WriteRow(const CalcState& state, const OrbitSpan<T>& span, int32_t row) {
    PixelCursor cursor = StartImageRow(state, row);
    int32_t lastCount = kSkippedPixel;
    uint8_t lastIndex = 0;
    // After the first pass most of a row escaped earlier and keeps its
    // colours: its runs are passed eight pixels at a time.
    const bool mayHaveSkipped = span.from > 0;
    bool changed = false;
    for (int32_t x = 0; x < span.count; ++x) {
        if (mayHaveSkipped && span.count - x >= 8 && AllSkipped8(span.counts + x)) {
            SkipPixels(cursor, 8);
            x += 7;
            continue;
        }
        const int32_t n = span.counts[x];
        if (n == kSkippedPixel) {
            SkipPixel(cursor);  // escaped in an earlier pass: its colour stands
            continue;
        }
        if (n != lastCount) {
            lastIndex = PixelIndex(state, n >= span.limit ? NotEscaped : n, n);
            lastCount = n;
        }
        changed |= ReplacePixel(cursor, lastIndex);
    }
    return changed;
}

// One due row, iterated from its stored limit to CurrentLimit; true when the
// image row changed.
template <typename T>
bool ComputeRow(CalcState& state, WorkBuffers<T>& buffers, int32_t row) {
    const int32_t old = buffers.RowLimit[row];
    buffers.RowLimit[row] = state.CurrentLimit;
    const OrbitSpan<T> span = RowSpan(state, buffers, row, old);
    IterateRow(span, ActiveKernelPath());
    return WriteRow(state, span, row);
}

}  // namespace

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

bool RunKernel(CalcState& state, int32_t row) {
    return std::visit(
        [&](auto& buffers) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(buffers)>, std::monostate>)
                return ComputeRow(state, buffers, row);
            else return false;
        },
        state.workBuffers);
}

// The first sweep after a set-up blanks the three rows below each new row, so
// the previous picture disappears at once; later sweeps fill them in.
void ClearRowsAhead(const CalcState& state, int32_t row) {
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(row) + 3, static_cast<int64_t>(state.height) - 1);
    for (int64_t r = static_cast<int64_t>(row) + 1; r <= last; ++r) {
        PixelCursor cursor = StartImageRow(state, static_cast<int32_t>(r));
        FillPixels(cursor, state.width, 0);
    }
}

}  // namespace

void CalcNextRow(CalcState& state, int32_t& row) {
    row = -1;
    state.RowChanged = false;
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
    state.RowChanged = RunKernel(state, due);
    if (state.ClearAhead) {
        ClearRowsAhead(state, due);
        state.RowChanged = true;
    }
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
