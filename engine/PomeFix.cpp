#include "engine/PomeFix.h"

#include <cmath>


int32_t ToFixed(long double x) {
    // NaN and the infinities have no fixed-point counterpart; 0 keeps the
    // pixel at the origin rather than at an arbitrary wrapped position.
    if (std::isnan(x) || std::isinf(x)) return 0;

    const bool negative = !(x >= 0.0L);
    // Exact: scaling by a power of two only changes the exponent.
    const long double m = std::trunc(std::fabs(x) * 16777216.0L);

    uint32_t v;
    if (m < 9223372036854775808.0L) {  // 2^63: fits the 64-bit integer
        v = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(m)));
    } else {
        // |x| >= 2^39: the 64-bit conversion would be undefined. The low 32
        // bits of the truncated value are still well defined, and fmodl of an
        // integer-valued extended by 2^32 computes them exactly.
        v = static_cast<uint32_t>(std::fmod(m, 4294967296.0L));
    }
    if (negative) v = 0u - v;
    return static_cast<int32_t>(v);
}

int32_t IterateFixed(int32_t& zr, int32_t& zi, int32_t cr, int32_t ci, int32_t bound, int32_t steps) {
    if (steps <= 0) return 0;  // nothing to do; guards the countdown below

    int32_t x = zr;
    int32_t y = zi;
    int32_t k = steps;
    while (FixedStep(x, y, cr, ci, bound) && --k != 0) {
    }
    zr = x;
    zi = y;
    return steps - k;
}
