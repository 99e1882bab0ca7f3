// A double with an exponent of its own: value = m * 2^e, m zero or
// 0.5 <= |m| < 1. Every operation rounds exactly as IEEE double arithmetic
// would with an unbounded exponent range: the mantissas are combined by one
// double operation on operands scaled by exact powers of two, so the result
// is the exact one rounded once to 53 bits. Where doubles neither overflow
// nor leave the normal range, a calculation in WideDouble therefore gives
// the same bits as the same calculation in double; below that it goes on
// where double would flush to zero. No intermediate is ever subnormal, so
// the flush-to-zero modes of the deep loop leave it alone.
#pragma once

#include <cstdint>
#include <cstring>

struct WideDouble {
    double m = 0.0;
    int64_t e = kZeroExponent;

    // Zero's exponent: far below any real one, and sums of two of them stay
    // far from overflowing.
    static constexpr int64_t kZeroExponent = INT64_MIN / 8;
};

namespace wide_detail {

inline uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// 2^k for -1022 <= k <= 1023, exactly.
inline double PowerOfTwo(int64_t k) { return FromBits(static_cast<uint64_t>(k + 1023) << 52); }

}  // namespace wide_detail

// m * 2^e for a normal or zero double m: moves m's binary exponent into e.
inline WideDouble Normalised(double m, int64_t e) {
    if (m == 0.0) return WideDouble{};
    const uint64_t bits = wide_detail::Bits(m);
    const int64_t biased = static_cast<int64_t>((bits >> 52) & 0x7ff);
    const uint64_t mantissa = (bits & ~(uint64_t{0x7ff} << 52)) | (uint64_t{1022} << 52);
    return WideDouble{wide_detail::FromBits(mantissa), e + (biased - 1022)};
}

inline WideDouble Wide(double value) { return Normalised(value, 0); }

inline WideDouble operator*(WideDouble a, WideDouble b) { return Normalised(a.m * b.m, a.e + b.e); }

inline WideDouble operator-(WideDouble a) { return WideDouble{-a.m, a.e}; }

inline WideDouble operator+(WideDouble a, WideDouble b) {
    if (b.m == 0.0) return a;
    if (a.m == 0.0) return b;
    if (a.e < b.e) {
        const WideDouble larger = b;
        b = a;
        a = larger;
    }
    // |b| < 2^b.e; more than 55 binary places below a it is under a quarter
    // of a's half-unit in the last place (also at a power of two, where the
    // spacing below halves), so the rounded sum is a itself.
    const int64_t shift = b.e - a.e;
    if (shift < -55) return a;
    return Normalised(a.m + b.m * wide_detail::PowerOfTwo(shift), a.e);
}

inline WideDouble operator-(WideDouble a, WideDouble b) { return a + -b; }

// Order of values that are not negative (squared magnitudes).
inline bool operator<(WideDouble a, WideDouble b) {
    if (a.m == 0.0 || b.m == 0.0) return a.m < b.m;
    return a.e < b.e || (a.e == b.e && a.m < b.m);
}
inline bool operator<=(WideDouble a, WideDouble b) { return !(b < a); }
