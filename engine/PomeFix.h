// CPU Fixed: 8.24 two's-complement fixed point (value = raw / 2^24), the
// integer-only numeric type of the Mandelbrot kernel.
#pragma once

#include <cstdint>

constexpr int kFixedFractionBits = 24;
constexpr int32_t kFixedOne = int32_t{1} << kFixedFractionBits;  // 16,777,216

// Truncates toward zero; keeps the low 32 bits of the scaled value, so plane
// values of magnitude 128 and beyond land elsewhere (not detected).
int32_t ToFixed(long double x);

// Sums wrap modulo 2^32 like the machine's 32-bit registers; in C++ that is
// only defined in unsigned arithmetic.
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Exact 64-bit product, arithmetic shift right by 24 (rounds toward minus
// infinity), low 32 bits.
inline int32_t FixedMul(int32_t a, int32_t b) {
    const int64_t product = static_cast<int64_t>(a) * static_cast<int64_t>(b);
    // >> on a negative signed value is an arithmetic shift in C++20.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(product >> kFixedFractionBits)));
}

// One step of IterateFixed: z becomes z^2 + c; false when the squares of the
// value before the step reach the bound (the orbit escaped, z is left one
// step beyond).
inline bool FixedStep(int32_t& x, int32_t& y, int32_t cr, int32_t ci, int32_t bound) {
    const int32_t y2 = FixedMul(y, y);
    const int32_t yNew = WrapAdd(FixedMul(WrapAdd(x, x), y), ci);
    const int32_t x2 = FixedMul(x, x);
    const int32_t xNew = WrapAdd(WrapSub(x2, y2), cr);
    x = xNew;
    y = yNew;
    // The squares belong to the value before this step.
    return WrapSub(WrapAdd(x2, y2), bound) < 0;
}

// Iterates z <- z^2 + c up to `steps` times, updating zr/zi in place. Returns
// the number of steps done before the escaping one, or `steps` if the orbit
// stayed inside. The test |z|^2 >= bound looks at the squares of the value
// before each step, so on escape z is left one step beyond the escaping value.
int32_t IterateFixed(int32_t& zr, int32_t& zi, int32_t cr, int32_t ci, int32_t bound, int32_t steps);
