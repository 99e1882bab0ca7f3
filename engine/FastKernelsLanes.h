// The lane machine of the vector kernels, written once over a small policy
// `V` of vector operations. Each instruction-set file (FastKernelsBaseline,
// FastKernelsAvx2, FastKernelsAvx512) defines QX_TARGET (its target
// attribute) and its policy and then includes this file: everything here is
// compiled for that instruction set only and has internal linkage, so no
// copy built for a wider set can stand in for another.
//
// A span's pixels flow through G vectors of L lanes. Every lane holds one
// orbit; a step is done for all lanes at once, and only when some lane
// escapes, reaches the limit or cannot be decided by the vector arithmetic
// do the lanes go through memory, one by one: the undecided ones take the
// reference step, finished ones write their record and take the next pixel
// of the span.
//
// Why the vector results equal the reference (which rounds through the x87
// unit's extended format):
//
// * Escape: the reference rounds zr2 + zi2 to extended and tests <= 4. The
//   sum rounded to double is below 4 only if the exact sum is, and above 4
//   only if the exact sum exceeds 4 by more than half an extended ulp, so
//   both say the same unless the double sum is exactly 4: the reference
//   decides that step.
//
// * FPU Double: each new coordinate is p + c with p exact as a pair of
//   doubles (2 zr zi by FMA or Dekker's product, zr2 - zi2 by two-sum). The
//   extended rounding of p is emulated exactly by rounding p's low part to
//   the 64-bit grid of its binade; p rounded plus c is again an exact pair,
//   whose extended rounding is emulated the same way, and adding the two
//   parts in double performs the final rounding, ties included. Where the
//   grid assumption fails (tiny products, differences just above a power of
//   two) or an intermediate sum is not exact, the reference decides.
//
// * FPU Single: 2 zr zi is exact in double (two 24-bit factors), so the
//   extended expression rounds once before the rounding to float. The sum
//   in double and the sum in extended lie on the same side of every float
//   rounding midpoint (all of them are doubles) unless the double sum is such
//   a midpoint. The real part rounds zr2 - zi2 to extended first: when every
//   partial sum is exact the conversion's ties to even is the reference's;
//   otherwise the double approximation must be more than three double ulps
//   from a float midpoint, with no cancellation that would magnify the first
//   rounding's error. Results below the normal floats go to the reference.
//
// * CPU Fixed is integer arithmetic: the same products and wrapping sums.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "engine/FastKernels.h"
#include "engine/PomeClcKernels.h"

#ifndef QX_TARGET
#error "define QX_TARGET before including FastKernelsLanes.h"
#endif

#define QX_INLINE QX_TARGET __attribute__((always_inline)) inline

namespace {

// ---------------------------------------------------------------------------
// Step kernels. Each takes the lane values (zr, zi, cr, ci) and gives the
// next values, the lanes still inside before the step, and the lanes whose
// step the vector arithmetic decided ("ok", a subset of inside). A lane that
// is neither escapes, unless OutsideIsHard says its sum of squares is
// exactly 4 in double; then the reference decides.

template <class V>
struct DoubleKernel {
    using Number = double;
    using Lane = double;
    using Vec = typename V::D;
    using Mask = typename V::M;
    static constexpr bool kStoresNewOnEscape = false;

    static Lane ToLane(double v) { return v; }
    static double FromLane(Lane v) { return v; }
    static QX_INLINE Vec Load(const Lane* p) { return V::Load(p); }
    static QX_INLINE void Store(Lane* p, Vec v) { V::Store(p, v); }

    // The new coordinate round(round(round(p) + c)) of the reference, with
    // p = ph + pl exactly: rounded to extended, plus c rounded to extended,
    // rounded to double, all three emulated exactly. `grid` says that ph's
    // binade holds p and is far from underflow; the result holds where
    // `fast` is set.
    static QX_INLINE Vec Finish(Vec ph, Vec pl, Vec aph, Vec c, Mask grid, Mask& fast) {
        const Vec inf = V::Set1(__builtin_inf());
        const Vec steps = V::Set1(0x3p-12);  // 3 * 2^51 extended grid steps of a binade
        // p rounded to extended: pl rounded to a multiple of 2^-63 of ph's
        // binade by adding and removing 3 * 2^51 of them. ph's significand
        // is a multiple of 2^11 such steps, so ties go to even like the x87
        // unit's.
        const Vec lift = V::Mul(V::And(aph, inf), steps);
        const Vec plr = V::Sub(V::Add(pl, lift), lift);
        // Plus c: s + t + plr exactly, and v = t + plr where that is exact.
        const Vec s = V::Add(ph, c);
        const Vec bb = V::Sub(s, ph);
        const Vec t = V::Add(V::Sub(ph, V::Sub(s, bb)), V::Sub(c, bb));
        const Vec v = V::Add(t, plr);
        const Mask vExact = V::MAnd(V::Eq(V::Sub(v, t), plr), V::Eq(V::Sub(v, plr), t));
        // xh + e = s + v exactly; the sum rounded to extended is xh + el,
        // el being e rounded to the extended grid of xh's binade in the same
        // way, and the reference's double is xh + el rounded to double.
        const Vec xh = V::Add(s, v);
        const Vec bv = V::Sub(xh, s);
        const Vec e = V::Add(V::Sub(s, V::Sub(xh, bv)), V::Sub(v, bv));
        const Vec lift2 = V::Mul(V::And(V::Abs(xh), inf), steps);
        // (Just below a power of two xh the grid is finer, but |e| is at most
        // half the spacing below xh, so both roundings give xh there; tiny
        // sums of doubles are exact, e = 0.)
        const Vec el = V::Sub(V::Add(e, lift2), lift2);
        fast = V::MAnd(vExact, grid);
        // v = 0: the sum is s itself, with the sign of a zero result as the
        // reference gets it (the real axis).
        return V::Select(V::Eq(v, V::Zero()), s, V::Add(xh, el));
    }

    static QX_INLINE void Step(Vec r, Vec i, Vec cr, Vec ci, Vec& nr, Vec& ni, Mask& inside, Mask& ok) {
        const Vec inf = V::Set1(__builtin_inf());
        const Vec r2 = V::Mul(r, r);
        const Vec i2 = V::Mul(i, i);
        inside = V::Lt(V::Add(r2, i2), V::Set1(4.0));

        // 2 zr zi exactly. Below 2^-900 the product may have lost bits to
        // underflow (its error is then no double) and the extended grid
        // underflows: hard, unless a factor is zero and so is the product.
        const Vec tr = V::Add(r, r);
        const Vec ph = V::Mul(tr, i);
        const Vec pl = V::ProductError(tr, i, ph);
        const Vec api = V::Abs(ph);
        const Mask gridI = V::MOr(V::Lt(V::Max(V::And(api, inf), V::Set1(0x1p-900)), api),
                                  V::Eq(V::Min(V::Abs(tr), V::Abs(i)), V::Zero()));
        Mask fastI;
        ni = Finish(ph, pl, api, ci, gridI, fastI);

        // zr^2 - zi^2 exactly. Just above a power of two the extended grid is
        // finer than assumed: hard unless the difference is a double.
        const Vec dh = V::Sub(r2, i2);
        const Vec bb = V::Sub(dh, r2);
        const Vec dl = V::Sub(V::Sub(r2, V::Sub(dh, bb)), V::Add(i2, bb));
        const Vec apr = V::Abs(dh);
        const Mask gridR = V::MOr(V::Lt(V::Max(V::And(apr, inf), V::Set1(0x1p-960)), apr), V::Eq(dl, V::Zero()));
        Mask fastR;
        nr = Finish(dh, dl, apr, cr, gridR, fastR);

        ok = V::MAnd(inside, V::MAnd(fastI, fastR));
    }

    static bool OutsideIsHard(Lane zr, Lane zi) { return zr * zr + zi * zi == 4.0; }

    static void Reference(Lane& zr, Lane& zi, Lane cr, Lane ci, int32_t n, bool& escaped) {
        ReferenceOrbit<double>(zr, zi, cr, ci, n, n + 1, escaped);
    }
};

template <class V>
struct SingleKernel {
    using Number = float;
    using Lane = double;  // float values, held exactly in double lanes
    using Vec = typename V::D;
    using Mask = typename V::M;
    static constexpr bool kStoresNewOnEscape = false;

    static Lane ToLane(float v) { return v; }
    static float FromLane(Lane v) { return static_cast<float>(v); }
    static QX_INLINE Vec Load(const Lane* p) { return V::Load(p); }
    static QX_INLINE void Store(Lane* p, Vec v) { V::Store(p, v); }

    // Nonzero values below the normal floats: their rounding to float is not
    // told by the midpoint pattern.
    static QX_INLINE Mask TinyNonZero(Vec x) {
        const Vec a = V::Abs(x);
        return V::MAnd(V::Lt(a, V::Set1(0x1p-125)), V::Neq(a, V::Zero()));
    }

    static QX_INLINE void Step(Vec r, Vec i, Vec cr, Vec ci, Vec& nr, Vec& ni, Mask& inside, Mask& ok) {
        const Vec r2 = V::RoundToFloat(V::Mul(r, r));
        const Vec i2 = V::RoundToFloat(V::Mul(i, i));
        inside = V::Lt(V::Add(r2, i2), V::Set1(4.0));

        const Vec s = V::Add(V::Mul(V::Add(r, r), i), ci);
        ni = V::RoundToFloat(s);
        const Mask hardI = V::MOr(V::NearFloatMidpoint(s, 0), TinyNonZero(s));

        const Vec dh = V::Sub(r2, i2);
        const Vec bb = V::Sub(dh, r2);
        const Vec dl = V::Sub(V::Sub(r2, V::Sub(dh, bb)), V::Add(i2, bb));
        const Vec y = V::Add(dh, cr);
        const Vec by = V::Sub(y, dh);
        const Vec t = V::Add(V::Sub(dh, V::Sub(y, by)), V::Sub(cr, by));
        const Vec xh = V::Add(y, dl);
        nr = V::RoundToFloat(xh);
        // Sums of floats of similar size are often exact, and then often
        // exactly a float midpoint: the conversion's ties to even is what
        // the reference does, since neither extended rounding changed
        // anything.
        const Mask exact = V::MAnd(V::Eq(dl, V::Zero()), V::Eq(t, V::Zero()));
        // Otherwise xh is within two double ulps of the exact sum, and the
        // reference within three, unless a cancellation beyond 2^10 blew up
        // the first extended rounding's (of zr2 - zi2) error.
        const Mask kept = V::Le(V::Abs(dh), V::Mul(V::Abs(xh), V::Set1(0x1p10)));
        const Mask hardR = V::MAndNot(
            exact, V::MOr(V::MOr(V::NearFloatMidpoint(xh, 4), TinyNonZero(xh)), V::MNot(kept)));

        ok = V::MAndNot(V::MOr(hardI, hardR), inside);
    }

    static bool OutsideIsHard(Lane zr, Lane zi) {
        const double r2 = static_cast<float>(zr * zr);
        const double i2 = static_cast<float>(zi * zi);
        return r2 + i2 == 4.0;
    }

    static void Reference(Lane& zr, Lane& zi, Lane cr, Lane ci, int32_t n, bool& escaped) {
        float r = static_cast<float>(zr);
        float i = static_cast<float>(zi);
        ReferenceOrbit<float>(r, i, static_cast<float>(cr), static_cast<float>(ci), n, n + 1, escaped);
        zr = r;
        zi = i;
    }
};

// CPU Fixed: the raw 8.24 values in the low half of 64-bit lanes, so that one
// signed 32 x 32 -> 64 multiplication per lane gives the exact product.
template <class V>
struct FixedKernel {
    using Number = int32_t;
    using Lane = int64_t;
    using Vec = typename V::I;
    using Mask = typename V::M;
    static constexpr bool kStoresNewOnEscape = true;  // IterateFixed leaves z one step beyond

    static Lane ToLane(int32_t v) { return v; }
    static int32_t FromLane(Lane v) { return static_cast<int32_t>(v); }
    static QX_INLINE Vec Load(const Lane* p) { return V::LoadI(p); }
    static QX_INLINE void Store(Lane* p, Vec v) { V::StoreI(p, v); }

    static QX_INLINE void Step(Vec x, Vec y, Vec cr, Vec ci, Vec& nx, Vec& ny, Mask& inside, Mask& ok) {
        const Vec y2 = V::MulShift24(y, y);
        ny = V::Add32(V::MulShift24(V::Add32(x, x), y), ci);
        const Vec x2 = V::MulShift24(x, x);
        nx = V::Add32(V::Sub32(x2, y2), cr);
        // |z|^2 >= 4 in wrapping 32-bit arithmetic: the step escapes.
        inside = V::Negative32(V::Sub32(V::Add32(x2, y2), V::Set1I(int32_t{4} << 24)));
        ok = inside;
    }

    static bool OutsideIsHard(Lane, Lane) { return false; }
    static void Reference(Lane&, Lane&, Lane, Lane, int32_t, bool& escaped) { escaped = true; }
};

// ---------------------------------------------------------------------------
// The lane machine

template <class K, class V, int G>
QX_TARGET __attribute__((noinline)) void RunLanes(const OrbitSpan<typename K::Number>& span) {
    using Lane = typename K::Lane;
    using Vec = typename K::Vec;
    using Mask = typename K::Mask;
    constexpr int L = V::kLanes;
    constexpr int N = L * G;
    static_assert(N <= 32);

    // Loaded and stored unaligned: 64-bit Windows gives no stack alignment
    // beyond 16 bytes.
    alignas(64) Lane zr[N];
    alignas(64) Lane zi[N];
    alignas(64) Lane cr[N];
    alignas(64) Lane ci[N];
    alignas(64) Lane nr[N];
    alignas(64) Lane ni[N];
    int32_t count[N];  // steps done
    int32_t pixel[N];  // the lane's pixel, or -1 for a parked lane

    SpanFeed<typename K::Number> feed(span);
    const Lane constImag = K::ToLane(span.constImag);
    const Lane constReal = K::ToLane(span.constReal);
    int live = 0;

    // Puts the next pixel into lane k, or parks the lane: z = c = 0 stays
    // put, never escapes and is never hard.
    auto fill = [&](int k) {
        int32_t x;
        if (feed.Next(x)) {
            pixel[k] = x;
            zr[k] = K::ToLane(span.pixels[x].Zr);
            zi[k] = K::ToLane(span.pixels[x].Zi);
            cr[k] = span.columnReal != nullptr ? K::ToLane(span.columnReal[x]) : constReal;
            ci[k] = constImag;
            count[k] = span.from;
            ++live;
        } else {
            pixel[k] = -1;
            zr[k] = zi[k] = cr[k] = ci[k] = Lane{};
        }
    };
    for (int k = 0; k < N; ++k) fill(k);

    while (live > 0) {
        // Steps every lane can take before the first one reaches the limit.
        int32_t budget = INT32_MAX;
        for (int k = 0; k < N; ++k)
            if (pixel[k] >= 0 && span.limit - count[k] < budget) budget = span.limit - count[k];

        Vec r[G], i[G], vcr[G], vci[G];
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            r[g] = K::Load(zr + g * L);
            i[g] = K::Load(zi + g * L);
            vcr[g] = K::Load(cr + g * L);
            vci[g] = K::Load(ci + g * L);
        }

        // Whole steps of every lane, until the budget is spent or some lane
        // needs more than the vector result (`pending`: that step is done
        // lane by lane below).
        int32_t steps = 0;
        bool pending = false;
        uint32_t insideBits = 0;
        uint32_t okBits = 0;
        for (;;) {
            Vec newR[G], newI[G];
            Mask inside[G], ok[G];
            uint32_t events = 0;
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) {
                K::Step(r[g], i[g], vcr[g], vci[g], newR[g], newI[g], inside[g], ok[g]);
                events |= (V::Bits(ok[g]) ^ ((1u << L) - 1u)) << (g * L);
            }
            if (__builtin_expect(events != 0, 0)) {
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    K::Store(nr + g * L, newR[g]);
                    K::Store(ni + g * L, newI[g]);
                    insideBits |= V::Bits(inside[g]) << (g * L);
                    okBits |= V::Bits(ok[g]) << (g * L);
                }
                pending = true;
                break;
            }
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) {
                r[g] = newR[g];
                i[g] = newI[g];
            }
            if (++steps == budget) break;
        }
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            K::Store(zr + g * L, r[g]);
            K::Store(zi + g * L, i[g]);
        }

        // Lane by lane: the pending step, then the finished orbits and their
        // successors.
        for (int k = 0; k < N; ++k) {
            if (pixel[k] < 0) continue;
            count[k] += steps;
            PixelRecord<typename K::Number>& record = span.pixels[pixel[k]];
            if (pending) {
                bool escaped = false;
                Lane nextR = nr[k];
                Lane nextI = ni[k];
                if (((okBits >> k) & 1u) == 0) {
                    const bool inside = ((insideBits >> k) & 1u) != 0;
                    if (inside || K::OutsideIsHard(zr[k], zi[k])) {
                        nextR = zr[k];
                        nextI = zi[k];
                        K::Reference(nextR, nextI, cr[k], ci[k], count[k], escaped);
                    } else {
                        escaped = true;
                    }
                }
                if (escaped) {
                    const bool storeNew = K::kStoresNewOnEscape;
                    record.Zr = K::FromLane(storeNew ? nextR : zr[k]);
                    record.Zi = K::FromLane(storeNew ? nextI : zi[k]);
                    record.EscapeCount = count[k];
                    span.counts[pixel[k]] = count[k];
                    --live;
                    fill(k);
                    continue;
                }
                zr[k] = nextR;
                zi[k] = nextI;
                ++count[k];
            }
            if (count[k] == span.limit) {
                record.Zr = K::FromLane(zr[k]);
                record.Zi = K::FromLane(zi[k]);
                span.counts[pixel[k]] = span.limit;
                --live;
                fill(k);
            }
        }
    }
    // Every lane parked: the feed has passed (and marked) all of its pixels.
}

}  // namespace
