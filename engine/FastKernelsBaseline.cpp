// The baseline vector path: SSE2, two lanes, which every x86-64 processor and
// the 32-bit target (built with -msse2) have. Without FMA the exact product
// error comes from Dekker's splitting; without a signed 32 x 32 -> 64
// multiplication the unsigned one is corrected by the factors' signs.
#include <emmintrin.h>

#define QX_TARGET __attribute__((target("sse2")))
#include "engine/FastKernelsLanes.h"

namespace {

struct Sse2 {
    using D = __m128d;
    using M = __m128d;
    using I = __m128i;
    static constexpr int kLanes = 2;

    static QX_INLINE D Set1(double v) { return _mm_set1_pd(v); }
    static QX_INLINE D Zero() { return _mm_setzero_pd(); }
    static QX_INLINE D Load(const double* p) { return _mm_loadu_pd(p); }
    static QX_INLINE void Store(double* p, D v) { _mm_storeu_pd(p, v); }
    static QX_INLINE D Add(D a, D b) { return _mm_add_pd(a, b); }
    static QX_INLINE D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static QX_INLINE D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static QX_INLINE D Max(D a, D b) { return _mm_max_pd(a, b); }
    static QX_INLINE D Min(D a, D b) { return _mm_min_pd(a, b); }
    static QX_INLINE D And(D a, D b) { return _mm_and_pd(a, b); }
    static QX_INLINE D Abs(D a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }

    // a * b - p exactly, for p = fl(a * b) (Dekker; |a|, |b| far below 2^996).
    static QX_INLINE D ProductError(D a, D b, D p) {
        const D split = _mm_set1_pd(134217729.0);  // 2^27 + 1
        const D ca = _mm_mul_pd(a, split);
        const D ah = _mm_sub_pd(ca, _mm_sub_pd(ca, a));
        const D al = _mm_sub_pd(a, ah);
        const D cb = _mm_mul_pd(b, split);
        const D bh = _mm_sub_pd(cb, _mm_sub_pd(cb, b));
        const D bl = _mm_sub_pd(b, bh);
        const D hh = _mm_sub_pd(_mm_mul_pd(ah, bh), p);
        const D mid = _mm_add_pd(_mm_add_pd(hh, _mm_mul_pd(ah, bl)), _mm_mul_pd(al, bh));
        return _mm_add_pd(mid, _mm_mul_pd(al, bl));
    }

    static QX_INLINE D RoundToFloat(D x) { return _mm_cvtps_pd(_mm_cvtpd_ps(x)); }

    // Lanes whose low 29 significand bits lie within k of 2^28: within k
    // double ulps of a float rounding midpoint.
    static QX_INLINE M NearFloatMidpoint(D x, int k) {
        const I w = _mm_and_si128(_mm_add_epi64(_mm_castpd_si128(x), _mm_set1_epi64x((int64_t{1} << 28) + k)),
                                  _mm_set1_epi64x((int64_t{1} << 29) - 1));
        const I below = _mm_cmpgt_epi32(_mm_set1_epi32(2 * k + 1), w);
        return _mm_castsi128_pd(_mm_shuffle_epi32(below, 0xA0));
    }

    static QX_INLINE M Lt(D a, D b) { return _mm_cmplt_pd(a, b); }
    static QX_INLINE M Le(D a, D b) { return _mm_cmple_pd(a, b); }
    static QX_INLINE M Eq(D a, D b) { return _mm_cmpeq_pd(a, b); }
    static QX_INLINE M Neq(D a, D b) { return _mm_cmpneq_pd(a, b); }
    static QX_INLINE M MAnd(M a, M b) { return _mm_and_pd(a, b); }
    static QX_INLINE M MOr(M a, M b) { return _mm_or_pd(a, b); }
    static QX_INLINE M MAndNot(M a, M b) { return _mm_andnot_pd(a, b); }
    static QX_INLINE M MNot(M a) { return _mm_xor_pd(a, _mm_castsi128_pd(_mm_set1_epi32(-1))); }
    static QX_INLINE D Select(M m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    static QX_INLINE uint32_t Bits(M m) { return static_cast<uint32_t>(_mm_movemask_pd(m)); }
    static QX_INLINE D InsertD(D v, int lane, double x) {
        const D s = _mm_set_sd(x);
        return lane == 0 ? _mm_move_sd(v, s) : _mm_unpacklo_pd(v, s);
    }
    static QX_INLINE I InsertI(I v, int lane, int64_t x) {
        const I s = _mm_set1_epi64x(x);
        return lane == 0 ? _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(v), _mm_castsi128_pd(s)))
                         : _mm_unpacklo_epi64(v, s);
    }

    static QX_INLINE I LoadI(const int64_t* p) { return _mm_loadu_si128(reinterpret_cast<const I*>(p)); }
    static QX_INLINE void StoreI(int64_t* p, I v) { _mm_storeu_si128(reinterpret_cast<I*>(p), v); }
    static QX_INLINE I Set1I(int32_t v) { return _mm_set1_epi32(v); }
    static QX_INLINE I Add32(I a, I b) { return _mm_add_epi32(a, b); }
    static QX_INLINE I Sub32(I a, I b) { return _mm_sub_epi32(a, b); }

    // Low 32 bits of (a * b) >> 24 for the signed low halves of each lane:
    // the unsigned product less 2^32 times each factor whose partner is
    // negative.
    static QX_INLINE I MulShift24(I a, I b) {
        const I product = _mm_mul_epu32(a, b);
        const I fix = _mm_add_epi32(_mm_and_si128(_mm_srai_epi32(a, 31), b), _mm_and_si128(_mm_srai_epi32(b, 31), a));
        return _mm_srli_epi64(_mm_sub_epi64(product, _mm_slli_epi64(fix, 32)), 24);
    }

    // Lanes whose low halves are equal (the upper halves hold no value).
    static QX_INLINE M EqLow32(I a, I b) {
        return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_cmpeq_epi32(a, b), 0xA0));
    }
    static QX_INLINE M Negative32(I a) {
        return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_cmpgt_epi32(_mm_setzero_si128(), a), 0xA0));
    }
};

}  // namespace

const fastkernels::PathTable& fastkernels::BaselineTable() {
    static const PathTable table{&RunLanes<FixedKernel<Sse2>, Sse2, 4>, &RunLanes<SingleKernel<Sse2>, Sse2, 4>,
                                 &RunLanes<DoubleKernel<Sse2>, Sse2, 4>};
    return table;
}
