// Inside the engine: typed access to the work buffers, the colour step and
// the reference orbit. The row skeleton in PomeClcKernels.cpp iterates every
// still-inside pixel of one row from the row's stored limit to CurrentLimit
// on the active kernel path (engine/FastKernels.h) and writes the row's
// palette indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/PomeClc.h"

// The numeric type whose buffers hold values of T.
template <typename T>
constexpr NumericType NumericTypeOf() {
    if constexpr (std::is_same_v<T, int32_t>) return NumericType::CpuFixed;
    else if constexpr (std::is_same_v<T, float>) return NumericType::FpuSingle;
    else if constexpr (std::is_same_v<T, double>) return NumericType::FpuDouble;
    else {
        static_assert(std::is_same_v<T, long double>);
        return NumericType::FpuExtended;
    }
}

template <typename T>
WorkBuffers<T>* BuffersOf(CalcState& state) {
    return std::get_if<WorkBuffers<T>>(&state.workBuffers);
}

template <typename T>
const WorkBuffers<T>* BuffersOf(const CalcState& state) {
    return std::get_if<WorkBuffers<T>>(&state.workBuffers);
}

// First pixel record of row y.
template <typename T>
PixelRecord<T>* RowPixels(WorkBuffers<T>& buffers, int32_t width, int32_t y) {
    return buffers.Pixels.get() + static_cast<ptrdiff_t>(y) * width;
}

template <typename T>
const PixelRecord<T>* RowPixels(const WorkBuffers<T>& buffers, int32_t width, int32_t y) {
    return buffers.Pixels.get() + static_cast<ptrdiff_t>(y) * width;
}

// First checkpoint of row y, or null: the calculation has no cycle check.
template <typename T>
Checkpoint<T>* RowCheckpoints(WorkBuffers<T>& buffers, int32_t width, int32_t y) {
    return buffers.Checkpoints ? buffers.Checkpoints.get() + static_cast<ptrdiff_t>(y) * width : nullptr;
}

// A cursor on row `row` of the state's image; one that writes nothing when
// there is no image or its pixel memory has been released.
PixelCursor StartImageRow(const CalcState& state, int32_t row);

// The colour step shared by the kernels and Recolour: the inside colour for
// an orbit still inside when that colour is enabled, else the palette index
// of n (the count, or the limit reached).
inline uint8_t PixelIndex(const CalcState& state, int32_t escapeCount, int32_t n) {
    if (state.PomeSetColourEnabled && escapeCount == NotEscaped) return static_cast<uint8_t>(state.PomeSetColour);
    return PaletteIndexOf(state, n);
}

// The definition of every FPU result. ReferenceStep takes one step of
// z <- z^2 + c in the number type T, or answers false (values untouched) when
// |z|^2 exceeds 4. ReferenceOrbit continues an orbit from step `from` up to
// `limit` and returns the escape count (the first step whose |z|^2 exceeds
// 4), or `limit` when the orbit is still inside; zr, zi hold the last value
// reached. The fast kernels (engine/FastKernels.h) must agree with them bit
// for bit and call them for the steps they cannot decide themselves.
//
// Rounding, spelled out: the squares are products in T (one rounding each);
// their sum and the comparison are in extended; each new coordinate is
// evaluated in extended from T values and rounded once to T. For T = long
// double every step is plain extended arithmetic. Needs the x87 unit at
// 64-bit precision (FpEnvironmentGuard).
template <typename T>
inline bool ReferenceStep(T& r, T& i, T cr, T ci) {
    const T r2 = r * r;
    const T i2 = i * i;
    const long double magnitude = static_cast<long double>(r2) + static_cast<long double>(i2);
    // The strict > 4 for ordinary values, written so that a NaN orbit (from
    // NaN plane values or constant) counts as escaped instead of staying
    // inside for ever. Infinite squares escape as well.
    if (!(magnitude <= 4.0L)) return false;
    const T newI = static_cast<T>(2.0L * static_cast<long double>(r) * static_cast<long double>(i) +
                                  static_cast<long double>(ci));
    r = static_cast<T>(static_cast<long double>(r2) - static_cast<long double>(i2) + static_cast<long double>(cr));
    i = newI;
    return true;
}

// ReferenceStep from step `from` up to `limit`.
template <typename T>
int32_t ReferenceOrbit(T& zr, T& zi, T cr, T ci, int32_t from, int32_t limit, bool& escaped) {
    T r = zr;
    T i = zi;
    int32_t n = from;
    escaped = false;
    while (n < limit) {
        if (!ReferenceStep(r, i, cr, ci)) {
            escaped = true;
            break;
        }
        ++n;
    }
    zr = r;
    zi = i;
    return n;
}
