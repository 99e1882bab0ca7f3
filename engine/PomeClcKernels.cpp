// Progressive calculation: the interleaved row scan, passes with a rising
// limit, the colour rule and the seven row kernels.
#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "engine/FpEnvironment.h"
#include "engine/PomeClc.h"
#include "engine/PomeClcKernels.h"
#include "engine/PomeFix.h"

namespace {

// ----------------------------------------------------------------------------
// Kernels

// Continues one orbit of z <- z^2 + c from step `from` up to `limit` in the
// number type T. Returns the escape count (the first step whose |z|^2
// exceeds 4), or `limit` when the orbit is still inside; zr, zi hold the last
// value reached.
//
// Rounding, spelled out: the squares are products in T (one rounding each);
// their sum and the comparison are in extended; each new coordinate is
// evaluated in extended from T values and rounded once to T. For T = long
// double every step is plain extended arithmetic.
template <typename T>
int32_t ContinueOrbit(T& zr, T& zi, T cr, T ci, int32_t from, int32_t limit, bool& escaped) {
    T r = zr;
    T i = zi;
    int32_t n = from;
    escaped = false;
    while (n < limit) {
        const T r2 = r * r;
        const T i2 = i * i;
        const long double magnitude = static_cast<long double>(r2) + static_cast<long double>(i2);
        // The strict > 4 for ordinary values, written so that a NaN orbit
        // (from NaN plane values or constant) counts as escaped instead of
        // staying inside for ever. Infinite squares escape as well.
        if (!(magnitude <= 4.0L)) {
            escaped = true;
            break;
        }
        ++n;
        const T newI = static_cast<T>(2.0L * static_cast<long double>(r) * static_cast<long double>(i) +
                                      static_cast<long double>(ci));
        r = static_cast<T>(static_cast<long double>(r2) - static_cast<long double>(i2) + static_cast<long double>(cr));
        i = newI;
    }
    zr = r;
    zi = i;
    return n;
}

// One row of an FPU kernel. The Mandelbrot-Set takes c from the pixel's
// point; the Julia-Set takes the constant, rounded to T once per row.
template <typename T, FormulaKind formula>
void FpuRow(CalcState& state, WorkBuffers<T>& buffers, int32_t row) {
    const int32_t width = state.width;
    const int32_t old = buffers.RowLimit[row];
    const int32_t limit = state.CurrentLimit;
    buffers.RowLimit[row] = limit;

    PixelCursor cursor = StartImageRow(state, row);
    PixelRecord<T>* pixel = RowPixels(buffers, width, row);
    const T constReal = static_cast<T>(state.ConstReal);
    const T constImag = static_cast<T>(state.ConstImag);
    const T rowImag = buffers.RowCoords[row];

    for (int32_t x = 0; x < width; ++x, ++pixel) {
        if (pixel->EscapeCount != NotEscaped) {
            SkipPixel(cursor);  // escaped in an earlier pass: its colour stands
            continue;
        }
        const T cr = formula == FormulaKind::JuliaSet ? constReal : buffers.ColumnCoords[x];
        const T ci = formula == FormulaKind::JuliaSet ? constImag : rowImag;
        bool escaped;
        const int32_t n = ContinueOrbit(pixel->Zr, pixel->Zi, cr, ci, old, limit, escaped);
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

    PixelCursor cursor = StartImageRow(state, row);
    PixelRecord<int32_t>* pixel = RowPixels(buffers, width, row);
    const int32_t bound = ToFixed(4.0L);
    const int32_t ci = buffers.RowCoords[row];

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
