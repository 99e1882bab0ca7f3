// The AVX-512 path: eight double lanes per vector and comparisons into mask
// registers. Only AVX-512F instructions are used.
// GCC 12 warns about the header's deliberately uninitialised "undefined"
// vectors once they are inlined here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#define QX_TARGET __attribute__((target("avx512f,avx2,fma")))
#include "engine/FastKernelsLanes.h"

namespace {

struct Avx512 {
    using D = __m512d;
    using M = __mmask8;
    using I = __m512i;
    static constexpr int kLanes = 8;

    static QX_INLINE D Set1(double v) { return _mm512_set1_pd(v); }
    static QX_INLINE D Zero() { return _mm512_setzero_pd(); }
    static QX_INLINE D Load(const double* p) { return _mm512_loadu_pd(p); }
    static QX_INLINE void Store(double* p, D v) { _mm512_storeu_pd(p, v); }
    static QX_INLINE D Add(D a, D b) { return _mm512_add_pd(a, b); }
    static QX_INLINE D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static QX_INLINE D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static QX_INLINE D Max(D a, D b) { return _mm512_max_pd(a, b); }
    static QX_INLINE D Min(D a, D b) { return _mm512_min_pd(a, b); }
    static QX_INLINE D And(D a, D b) {
        return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(a), _mm512_castpd_si512(b)));
    }
    static QX_INLINE D Abs(D a) { return _mm512_abs_pd(a); }
    static QX_INLINE D ProductError(D a, D b, D p) { return _mm512_fmsub_pd(a, b, p); }
    static QX_INLINE D RoundToFloat(D x) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(x)); }

    static QX_INLINE M NearFloatMidpoint(D x, int k) {
        const I w = _mm512_and_si512(
            _mm512_add_epi64(_mm512_castpd_si512(x), _mm512_set1_epi64((int64_t{1} << 28) + k)),
            _mm512_set1_epi64((int64_t{1} << 29) - 1));
        return _mm512_cmplt_epi64_mask(w, _mm512_set1_epi64(2 * k + 1));
    }

    static QX_INLINE M Lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static QX_INLINE M Le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static QX_INLINE M Eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static QX_INLINE M Neq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_UQ); }
    static QX_INLINE M MAnd(M a, M b) { return static_cast<M>(a & b); }
    static QX_INLINE M MOr(M a, M b) { return static_cast<M>(a | b); }
    static QX_INLINE M MAndNot(M a, M b) { return static_cast<M>(~a & b); }
    static QX_INLINE M MNot(M a) { return static_cast<M>(~a); }
    static QX_INLINE D Select(M m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
    static QX_INLINE uint32_t Bits(M m) { return static_cast<uint32_t>(m); }
    static QX_INLINE D InsertD(D v, int lane, double x) {
        return _mm512_mask_broadcastsd_pd(v, static_cast<M>(1u << lane), _mm_set_sd(x));
    }
    static QX_INLINE I InsertI(I v, int lane, int64_t x) {
        return _mm512_mask_set1_epi64(v, static_cast<M>(1u << lane), x);
    }

    static QX_INLINE I LoadI(const int64_t* p) { return _mm512_loadu_si512(p); }
    static QX_INLINE void StoreI(int64_t* p, I v) { _mm512_storeu_si512(p, v); }
    static QX_INLINE I Set1I(int32_t v) { return _mm512_set1_epi32(v); }
    static QX_INLINE I Add32(I a, I b) { return _mm512_add_epi32(a, b); }
    static QX_INLINE I Sub32(I a, I b) { return _mm512_sub_epi32(a, b); }
    static QX_INLINE I MulShift24(I a, I b) { return _mm512_srli_epi64(_mm512_mul_epi32(a, b), 24); }
    // Lanes whose low halves are equal (the upper halves hold no value).
    static QX_INLINE M EqLow32(I a, I b) {
        return _mm512_testn_epi64_mask(_mm512_xor_si512(a, b), _mm512_set1_epi64(0xFFFFFFFF));
    }
    // Bit 31 of each lane, the sign of its low half: one test, no shift.
    static QX_INLINE M Negative32(I a) {
        return _mm512_test_epi64_mask(a, _mm512_set1_epi64(int64_t{1} << 31));
    }
};

}  // namespace

const fastkernels::PathTable& fastkernels::Avx512Table() {
    static const PathTable table{&RunLanes<FixedKernel<Avx512>, Avx512, 2>, &RunLanes<SingleKernel<Avx512>, Avx512, 2>,
                                 &RunLanes<DoubleKernel<Avx512>, Avx512, 2>};
    return table;
}
