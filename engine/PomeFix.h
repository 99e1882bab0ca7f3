// CPU Fixed: 8.24 two's-complement fixed point (value = raw / 2^24), the
// integer-only numeric type of the Mandelbrot kernel.
#pragma once

#include <cstdint>

constexpr int kFixedFractionBits = 24;
constexpr int32_t kFixedOne = int32_t{1} << kFixedFractionBits;  // 16,777,216

// Truncates toward zero; keeps the low 32 bits of the scaled value, so plane
// values of magnitude 128 and beyond land elsewhere (not detected).
int32_t ToFixed(long double x);

// Exact 64-bit product, arithmetic shift right by 24 (rounds toward minus
// infinity), low 32 bits.
int32_t FixedMul(int32_t a, int32_t b);

// Iterates z <- z^2 + c up to `steps` times, updating zr/zi in place. Returns
// the number of steps done before the escaping one, or `steps` if the orbit
// stayed inside. The test |z|^2 >= bound looks at the squares of the value
// before each step, so on escape z is left one step beyond the escaping value.
int32_t IterateFixed(int32_t& zr, int32_t& zi, int32_t cr, int32_t ci, int32_t bound, int32_t steps);
