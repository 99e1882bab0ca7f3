// Inside the engine: typed access to the work buffers and the seven row
// kernels. Each kernel iterates every still-inside pixel of one row from the
// row's stored limit to CurrentLimit and writes the row's palette indices;
// the scheduling in PomeClcKernels.cpp decides which row. A faster kernel
// (several orbits in flight, vector code) replaces the inside of one of these
// functions and nothing else.
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

// The seven kernels, one per formula and type. `row` is due: its RowLimit is
// below CurrentLimit, and the state holds the buffers of the kernel's type.
void MandelbrotRowFixed(CalcState& state, WorkBuffers<int32_t>& buffers, int32_t row);
void MandelbrotRowSingle(CalcState& state, WorkBuffers<float>& buffers, int32_t row);
void MandelbrotRowDouble(CalcState& state, WorkBuffers<double>& buffers, int32_t row);
void MandelbrotRowExtended(CalcState& state, WorkBuffers<long double>& buffers, int32_t row);
void JuliaRowSingle(CalcState& state, WorkBuffers<float>& buffers, int32_t row);
void JuliaRowDouble(CalcState& state, WorkBuffers<double>& buffers, int32_t row);
void JuliaRowExtended(CalcState& state, WorkBuffers<long double>& buffers, int32_t row);
