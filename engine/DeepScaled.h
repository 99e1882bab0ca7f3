// The rescaled double: below double's range, a pixel's difference is kept
// as z = w * 2^k, w a double and k an exponent of the pixel's own, so that
// the step runs in hardware doubles (and in the vector lanes) where a
// number with its own exponent would need several operations for each one.
// With s = 2^k and d = dc / 2^k the step z <- (2 Z_m + z) z + dc becomes
//   w <- (2 Z_m + s w) w + d,
// the double lanes' step with s w in place of z where it meets Z_m. The
// scale is chosen from the larger of |z| and |dc| (so w and d start near 1)
// and raised as w grows, up to a cap that keeps d a normal double; a view's
// cap is low enough that an orbit about to escape still fits in w, which is
// what bounds the spacings this number takes (kDeepScaledLowestExponent).
//
// Where the orbit's value Z_m + z comes near zero (a close approach to the
// reference, or the reference itself passing near zero, as it does at a
// minibrot's nucleus), doubles cannot carry it; that step is taken in
// WideDouble with the reference's own tiny values, and the scale is chosen
// again from the result.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "engine/DeepScalar.h"

// One pixel's orbit: its difference is (wr, wi) * 2^k.
struct ScaledPixel {
    double wr, wi;
    int32_t m;
    int32_t escapeCount;
    int32_t k;  // kScaleUnset until its first step
    int32_t n = 0;  // steps taken (the approximated loop's own; the lanes keep the row's)
};

inline constexpr int32_t kScaleUnset = INT32_MIN;

// A step whose |Z_m + z|^2 is below this is taken in WideDouble: above it
// the orbit's value is at least 2^-390, so the double reference's
// roundings and flushes to zero are far below its last place, and the
// squares the rebasing test compares are normal doubles.
inline constexpr double kScaledTinyMagnitude = 0x1p-780;
// The scale rises when |w| passes 2^kScaleStep, by about that much.
inline constexpr int32_t kScaleStep = 256;
// Reference values with both parts below 2^-900 are kept in WideDouble too.
inline constexpr long kScaledTinyReferenceExponent = -900;

// The reference as the rescaled lanes read it: the double tables, and for
// the steps whose value is too small for them (tiny[m] >= 0) its WideDouble
// values at wide[4 * tiny[m]] (real, imaginary, and their remainders).
struct ScaledReference {
    ReferenceOf<double> doubles;
    std::unique_ptr<int32_t[]> tiny;
    std::vector<WideDouble> wide;

    bool Grow(int64_t wanted, int32_t last, bool keep) {
        std::unique_ptr<int32_t[]> grown(new (std::nothrow) int32_t[static_cast<size_t>(wanted)]);
        if (!grown || !doubles.Grow(wanted, last, keep)) return false;
        if (keep)
            for (int32_t i = 0; i <= last; ++i) grown[i] = tiny[i];
        tiny = std::move(grown);
        return true;
    }

    // False when there was no memory for a tiny value's wide copy.
    bool Store(int32_t i, mpfr_srcptr re, mpfr_srcptr im, BigFloat& scratch) {
        StoreReference(doubles, i, re, im, scratch);
        tiny[i] = -1;
        const bool zero = mpfr_zero_p(re) && mpfr_zero_p(im);
        const mpfr_exp_t highest = std::max(mpfr_zero_p(re) ? mpfr_exp_t{LONG_MIN} : mpfr_get_exp(re),
                                            mpfr_zero_p(im) ? mpfr_exp_t{LONG_MIN} : mpfr_get_exp(im));
        if (zero || highest >= kScaledTinyReferenceExponent) return true;
        ReferenceOf<WideDouble> one;
        if (!one.Grow(1, 0, false)) return false;
        StoreReference(one, 0, re, im, scratch);
        try {
            tiny[i] = static_cast<int32_t>(wide.size() / 4);
            wide.insert(wide.end(), {one.re[0], one.im[0], one.reLow[0], one.imLow[0]});
        } catch (const std::bad_alloc&) {
            tiny[i] = -1;
            return false;
        }
        return true;
    }
};

namespace scaled_detail {

// A stored double as WideDouble; a subnormal one counts as zero, as the
// deep loop's denormals-are-zero mode reads it.
inline WideDouble WideOf(double value) {
    if (((wide_detail::Bits(value) >> 52) & 0x7ff) == 0) return WideDouble{};
    return Wide(value);
}

// value * 2^shift as a double, zero where that is below the normal range
// (the lanes flush such results to zero too).
inline double Flushed(WideDouble value, int64_t shift) {
    if (value.m == 0.0) return 0.0;
    const int64_t e = value.e + shift;
    if (e < -1021) return 0.0;
    if (e > 1024) return value.m < 0 ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    return (value.m * 2.0) * wide_detail::PowerOfTwo(e - 1);
}

}  // namespace scaled_detail

// What a rescaled lane needs of its view and reference.
struct ScaledContext {
    const ReferenceOf<double>* doubles;
    const double* pairs;      // Re Z_m and Im Z_m side by side (what the steps read)
    const int32_t* tiny;
    const WideDouble* wide;
    int32_t last;             // index of the last stored value
    int64_t offsetExponent;   // the view's offsets are scaled by 2^this
    int32_t cap;              // the highest scale: d stays a normal double under it

    WideDouble Re(int32_t m) const { return tiny[m] >= 0 ? wide[4 * tiny[m]] : scaled_detail::WideOf(doubles->re[m]); }
    WideDouble Im(int32_t m) const {
        return tiny[m] >= 0 ? wide[4 * tiny[m] + 1] : scaled_detail::WideOf(doubles->im[m]);
    }
    WideDouble ReLow(int32_t m) const {
        return tiny[m] >= 0 ? wide[4 * tiny[m] + 2] : scaled_detail::WideOf(doubles->reLow[m]);
    }
    WideDouble ImLow(int32_t m) const {
        return tiny[m] >= 0 ? wide[4 * tiny[m] + 3] : scaled_detail::WideOf(doubles->imLow[m]);
    }
};

// The cap for a view whose spacing is m * 2^spacingExponent: offsets of at
// least half a spacing stay above 2^-1001 in d, and below 1e-602 an orbit
// near escape (|z| up to about 4) would no longer fit in w.
inline int32_t ScaleCap(int64_t spacingExponent) {
    return static_cast<int32_t>(std::min<int64_t>(0, spacingExponent + 1000));
}

// A lane: one pixel's orbit under way in the interleaved loop.
struct ScaledLane {
    double wr, wi;      // difference / 2^k
    double dr, di;      // offset / 2^k
    double s;           // 2^k, zero where that is below double's normal range
    double growLimit;   // |w|^2 above which the scale rises; infinity at the cap
    double offR, offI;  // the pixel's scaled offsets, as the view has them
    int32_t k, m, n, x;
};

// Takes the difference (zr, zi) (exact, in WideDouble) into the lane under
// the scale its size and the pixel's offset ask for.
inline void SetScale(ScaledLane& lane, WideDouble zr, WideDouble zi, const ScaledContext& context) {
    using scaled_detail::Flushed;
    const WideDouble dr = Normalised(lane.offR, context.offsetExponent);
    const WideDouble di = Normalised(lane.offI, context.offsetExponent);
    const int64_t largest = std::max({zr.e, zi.e, dr.e, di.e});
    const int32_t k = static_cast<int32_t>(std::min<int64_t>(context.cap, largest));
    lane.k = k;
    lane.wr = Flushed(zr, -k);
    lane.wi = Flushed(zi, -k);
    lane.dr = Flushed(dr, -k);
    lane.di = Flushed(di, -k);
    lane.s = k >= -1022 ? wide_detail::PowerOfTwo(k) : 0.0;
    lane.growLimit = k < context.cap ? 0x1p512 : std::numeric_limits<double>::infinity();
}

// The same as `SetScale` for a lane whose scale is known (a stored pixel).
inline void TakeScale(ScaledLane& lane, int32_t k, const ScaledContext& context) {
    using scaled_detail::Flushed;
    lane.k = k;
    lane.dr = Flushed(Normalised(lane.offR, context.offsetExponent), -k);
    lane.di = Flushed(Normalised(lane.offI, context.offsetExponent), -k);
    lane.s = k >= -1022 ? wide_detail::PowerOfTwo(k) : 0.0;
    lane.growLimit = k < context.cap ? 0x1p512 : std::numeric_limits<double>::infinity();
}

// The step near zero, in WideDouble, in the double step's order:
//   W = Z_m + z; rebase when |W|^2 < |z|^2 or m is the last index
//   (z = W + Zlow_m, m = 0, W = z); a = Z_m + W; z' = a z + dc.
inline void ScaledWideStep(ScaledLane& lane, const ScaledContext& context, int64_t& rebases) {
    WideDouble zr = Normalised(lane.wr, lane.k), zi = Normalised(lane.wi, lane.k);
    WideDouble Zr = context.Re(lane.m), Zi = context.Im(lane.m);
    WideDouble wr = Zr + zr, wi = Zi + zi;
    if (wr * wr + wi * wi < zr * zr + zi * zi || lane.m == context.last) {
        zr = wr + context.ReLow(lane.m);
        zi = wi + context.ImLow(lane.m);
        lane.m = 0;
        ++rebases;
        Zr = Zi = WideDouble{};
        wr = zr;
        wi = zi;
    }
    const WideDouble ar = Zr + wr, ai = Zi + wi;
    const WideDouble dr = Normalised(lane.offR, context.offsetExponent);
    const WideDouble di = Normalised(lane.offI, context.offsetExponent);
    SetScale(lane, (ar * zr - ai * zi) + dr, (ar * zi + ai * zr) + di, context);
}

// The one step of the rescaled lanes, every rounding in this order:
//   if |w|^2 > growLimit: the scale rises (exactly: w loses 2^j)
//   u      = (s wr, s wi)                        z, flushed below 2^-1022
//   W      = (Zr_m + ur, Zi_m + ui)              the orbit's value
//   |W|^2  escaped when not <= 4
//   |W|^2 < kScaledTinyMagnitude: the WideDouble step above
//   rebase when |W|^2 < ur*ur + ui*ui or m is the last stored index:
//            z = W + Zlow_m in double, m = 0, the scale chosen again,
//            then u and W again at m = 0
//   a      = (Zr_m + Wr, Zi_m + Wi)
//   wr'    = (ar*wr - ai*wi) + dr
//   wi'    = (ar*wi + ai*wr) + di
//   m += 1, n += 1
// The vector loop takes the same step where no lane meets any of the
// conditions, and hands every other step to ScaledFullStep below.
//
// The step's first half, to the point where it either escaped (Escaped),
// took the whole step near zero (Taken), or is ready for the rest at the
// orbit's value (wr, wi) with the rebasing done (Ready): the approximated
// loop may take an entry of many steps there instead.
enum class ScaledCheck { Escaped, Taken, Ready };

inline ScaledCheck ScaledPrepare(ScaledLane& lane, const ScaledContext& context, int64_t& rebases, double& wr,
                                 double& wi) {
    const ReferenceOf<double>& ref = *context.doubles;
    if (lane.wr * lane.wr + lane.wi * lane.wi > lane.growLimit)
        SetScale(lane, Normalised(lane.wr, lane.k), Normalised(lane.wi, lane.k), context);
    double ur = lane.s * lane.wr, ui = lane.s * lane.wi;
    const double* Z = context.pairs;
    wr = Z[2 * lane.m] + ur;
    wi = Z[2 * lane.m + 1] + ui;
    const double wMagnitude = wr * wr + wi * wi;
    if (!(wMagnitude <= 4.0)) return ScaledCheck::Escaped;
    if (wMagnitude < kScaledTinyMagnitude) {
        ScaledWideStep(lane, context, rebases);
        ++lane.m;
        ++lane.n;
        return ScaledCheck::Taken;
    }
    if (wMagnitude < ur * ur + ui * ui || lane.m == context.last) {
        const double zr = wr + ref.reLow[lane.m];
        const double zi = wi + ref.imLow[lane.m];
        lane.m = 0;
        ++rebases;
        SetScale(lane, scaled_detail::WideOf(zr), scaled_detail::WideOf(zi), context);
        ur = lane.s * lane.wr;
        ui = lane.s * lane.wi;
        wr = Z[0] + ur;
        wi = Z[1] + ui;
    }
    return ScaledCheck::Ready;
}

// The step's second half from the orbit's value (wr, wi).
inline void ScaledFinish(ScaledLane& lane, const ScaledContext& context, double wr, double wi) {
    const double* Z = context.pairs;
    const double ar = Z[2 * lane.m] + wr;
    const double ai = Z[2 * lane.m + 1] + wi;
    const double newR = (ar * lane.wr - ai * lane.wi) + lane.dr;
    const double newI = (ar * lane.wi + ai * lane.wr) + lane.di;
    lane.wr = newR;
    lane.wi = newI;
    ++lane.m;
    ++lane.n;
}

// The whole step: false when the orbit escaped (its count is lane.n).
inline bool ScaledFullStep(ScaledLane& lane, const ScaledContext& context, int64_t& rebases) {
    double wr = 0.0, wi = 0.0;
    switch (ScaledPrepare(lane, context, rebases, wr, wi)) {
    case ScaledCheck::Escaped: return false;
    case ScaledCheck::Taken: return true;
    case ScaledCheck::Ready: break;
    }
    ScaledFinish(lane, context, wr, wi);
    return true;
}
