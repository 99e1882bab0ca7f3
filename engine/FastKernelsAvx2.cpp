// The AVX2 + FMA path: four double lanes per vector; the fused multiply-
// subtract gives each product's rounding error exactly, and the signed
// 32 x 32 -> 64 multiplication the CPU Fixed products.
#include <immintrin.h>

#define QX_TARGET __attribute__((target("avx2,fma")))
#include "engine/FastKernelsLanes.h"

namespace {

struct Avx2 {
    using D = __m256d;
    using M = __m256d;
    using I = __m256i;
    static constexpr int kLanes = 4;

    static QX_INLINE D Set1(double v) { return _mm256_set1_pd(v); }
    static QX_INLINE D Zero() { return _mm256_setzero_pd(); }
    static QX_INLINE D Load(const double* p) { return _mm256_loadu_pd(p); }
    static QX_INLINE void Store(double* p, D v) { _mm256_storeu_pd(p, v); }
    static QX_INLINE D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static QX_INLINE D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static QX_INLINE D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static QX_INLINE D Max(D a, D b) { return _mm256_max_pd(a, b); }
    static QX_INLINE D Min(D a, D b) { return _mm256_min_pd(a, b); }
    static QX_INLINE D And(D a, D b) { return _mm256_and_pd(a, b); }
    static QX_INLINE D Abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static QX_INLINE D ProductError(D a, D b, D p) { return _mm256_fmsub_pd(a, b, p); }
    static QX_INLINE D RoundToFloat(D x) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(x)); }

    static QX_INLINE M NearFloatMidpoint(D x, int k) {
        const I w = _mm256_and_si256(
            _mm256_add_epi64(_mm256_castpd_si256(x), _mm256_set1_epi64x((int64_t{1} << 28) + k)),
            _mm256_set1_epi64x((int64_t{1} << 29) - 1));
        return _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_set1_epi64x(2 * k + 1), w));
    }

    static QX_INLINE M Lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static QX_INLINE M Le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static QX_INLINE M Eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static QX_INLINE M Neq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
    static QX_INLINE M MAnd(M a, M b) { return _mm256_and_pd(a, b); }
    static QX_INLINE M MOr(M a, M b) { return _mm256_or_pd(a, b); }
    static QX_INLINE M MAndNot(M a, M b) { return _mm256_andnot_pd(a, b); }
    static QX_INLINE M MNot(M a) { return _mm256_xor_pd(a, _mm256_castsi256_pd(_mm256_set1_epi32(-1))); }
    static QX_INLINE D Select(M m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
    static QX_INLINE uint32_t Bits(M m) { return static_cast<uint32_t>(_mm256_movemask_pd(m)); }
    static QX_INLINE I LaneMask(int lane) {
        return _mm256_cmpeq_epi64(_mm256_set1_epi64x(lane), _mm256_setr_epi64x(0, 1, 2, 3));
    }
    static QX_INLINE D InsertD(D v, int lane, double x) {
        return _mm256_blendv_pd(v, _mm256_set1_pd(x), _mm256_castsi256_pd(LaneMask(lane)));
    }
    static QX_INLINE I InsertI(I v, int lane, int64_t x) {
        return _mm256_blendv_epi8(v, _mm256_set1_epi64x(x), LaneMask(lane));
    }

    static QX_INLINE I LoadI(const int64_t* p) { return _mm256_loadu_si256(reinterpret_cast<const I*>(p)); }
    static QX_INLINE void StoreI(int64_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<I*>(p), v); }
    static QX_INLINE I Set1I(int32_t v) { return _mm256_set1_epi32(v); }
    static QX_INLINE I Add32(I a, I b) { return _mm256_add_epi32(a, b); }
    static QX_INLINE I Sub32(I a, I b) { return _mm256_sub_epi32(a, b); }
    static QX_INLINE I MulShift24(I a, I b) { return _mm256_srli_epi64(_mm256_mul_epi32(a, b), 24); }
    // Lanes whose low halves are equal (the upper halves hold no value).
    static QX_INLINE M EqLow32(I a, I b) {
        return _mm256_castsi256_pd(_mm256_shuffle_epi32(_mm256_cmpeq_epi32(a, b), 0xA0));
    }
    // The low half's sign moved to the lane's sign bit, which is all that
    // Bits and Select read.
    static QX_INLINE M Negative32(I a) {
        return _mm256_castsi256_pd(_mm256_shuffle_epi32(a, 0xA0));
    }
};

}  // namespace

const fastkernels::PathTable& fastkernels::Avx2FmaTable() {
    static const PathTable table{&RunLanes<FixedKernel<Avx2>, Avx2, 3>, &RunLanes<SingleKernel<Avx2>, Avx2, 3>,
                                 &RunLanes<DoubleKernel<Avx2>, Avx2, 2>};
    return table;
}
