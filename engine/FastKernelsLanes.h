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
// are those lanes handled one by one: the undecided ones take the reference
// step, finished ones write their record and take the next pixel of the
// span (see "The lane machine" below).
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
    static QX_INLINE Vec Insert(Vec v, int lane, Lane x) { return V::InsertD(v, lane, x); }
    static QX_INLINE Vec Set1(Lane x) { return V::Set1(x); }
    static QX_INLINE Vec Select(Mask ok, Vec a, Vec b) { return V::Select(ok, a, b); }

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
    static QX_INLINE Vec Insert(Vec v, int lane, Lane x) { return V::InsertD(v, lane, x); }
    static QX_INLINE Vec Set1(Lane x) { return V::Set1(x); }
    static QX_INLINE Vec Select(Mask ok, Vec a, Vec b) { return V::Select(ok, a, b); }

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
    static QX_INLINE Vec Insert(Vec v, int lane, Lane x) { return V::InsertI(v, lane, x); }
    static QX_INLINE Vec Set1(Lane x) { return V::Set1I(static_cast<int32_t>(x)); }  // the low halves count
    static QX_INLINE Vec Select(Mask, Vec a, Vec) { return a; }  // every lane that did not escape took the step

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
//
// The orbits stay in registers. A step clock counts the vector steps; a lane
// filled at clock f has done from + (clock - f) steps, and every lane of the
// span has the same number of steps to go when it is filled, so the lane
// filled first reaches the limit first: the steps until the next limit are
// the oldest lane's, known without looking at the others. When some lanes
// escape or cannot be decided, only those lanes are touched: their values are
// read back through memory, and a successor's values are put into the
// registers lane by lane, so no wide load ever waits for narrow stores.

template <class K, class V, int G>
QX_TARGET __attribute__((noinline)) void RunLanes(const OrbitSpan<typename K::Number>& span) {
    using Lane = typename K::Lane;
    using Vec = typename K::Vec;
    using Mask = typename K::Mask;
    constexpr int L = V::kLanes;
    constexpr int N = L * G;
    static_assert(N <= 32);
    constexpr int64_t kParked = INT64_MAX;

    if (span.limit <= span.from) {
        IterateSpanReference(span);
        return;
    }
    const int32_t stepsToGo = span.limit - span.from;
    // Copies: stores through the records could alias the span's fields.
    PixelRecord<typename K::Number>* const records = span.pixels;
    const typename K::Number* const columnReal = span.columnReal;
    int32_t* const counts = span.counts;
    const int32_t from = span.from;
    const int32_t limit = span.limit;

    // Read-back of the registers at an event (stored whole, read lane by lane).
    alignas(64) Lane zr[N];
    alignas(64) Lane zi[N];
    Lane laneCr[N];
    int64_t filledAt[N];  // the clock when the lane took its pixel, kParked for a parked lane
    int32_t pixel[N];

    SpanFeed<typename K::Number> feed(span);
    const Lane constReal = K::ToLane(span.constReal);
    const Lane ci = K::ToLane(span.constImag);
    int64_t clock = 0;  // counts past INT32_MAX on a long span with a high limit
    int live = 0;

    Vec r[G], i[G], vcr[G], vci[G];
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) {
        r[g] = i[g] = vcr[g] = K::Set1(Lane{});
        vci[g] = K::Set1(ci);
    }

    // Gives lane k (in vector g, lane l) the next pixel, or parks it: z = c = 0
    // stays put, never escapes and is never undecided.
    auto fill = [&](int k, Vec& vr, Vec& vi, Vec& vc, Vec& vd) QX_TARGET __attribute__((always_inline)) {
        const int l = k % L;
        int32_t x;
        if (feed.Next(x)) {
            const PixelRecord<typename K::Number>& record = records[x];
            const Lane cr = columnReal != nullptr ? K::ToLane(columnReal[x]) : constReal;
            vr = K::Insert(vr, l, K::ToLane(record.Zr));
            vi = K::Insert(vi, l, K::ToLane(record.Zi));
            vc = K::Insert(vc, l, cr);
            laneCr[k] = cr;
            pixel[k] = x;
            filledAt[k] = clock;
            ++live;
        } else {
            vr = K::Insert(vr, l, Lane{});
            vi = K::Insert(vi, l, Lane{});
            vc = K::Insert(vc, l, Lane{});
            vd = K::Insert(vd, l, Lane{});
            pixel[k] = -1;
            filledAt[k] = kParked;
        }
    };
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g)
        for (int l = 0; l < L; ++l) fill(g * L + l, r[g], i[g], vcr[g], vci[g]);

    int64_t oldest = kParked;  // the smallest filledAt of a live lane
    for (int k = 0; k < N; ++k) oldest = filledAt[k] < oldest ? filledAt[k] : oldest;

    while (live > 0) {
        // Whole steps of every lane, until the oldest lane reaches the limit
        // or some lane needs more than the vector result.
        int32_t budget = static_cast<int32_t>(oldest + stepsToGo - clock);
        uint32_t events = 0;
        uint32_t insideBits = 0;
        for (;;) {
            Vec newR[G], newI[G];
            Mask inside[G], ok[G];
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) {
                K::Step(r[g], i[g], vcr[g], vci[g], newR[g], newI[g], inside[g], ok[g]);
                events |= (V::Bits(ok[g]) ^ ((1u << L) - 1u)) << (g * L);
            }
            if (__builtin_expect(events != 0, 0)) {
                // The decided lanes take the step; the others keep the values
                // before it (CPU Fixed: its escaped lanes keep the new ones).
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    r[g] = K::Select(ok[g], newR[g], r[g]);
                    i[g] = K::Select(ok[g], newI[g], i[g]);
                    insideBits |= V::Bits(inside[g]) << (g * L);
                }
                ++clock;
                break;
            }
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) {
                r[g] = newR[g];
                i[g] = newI[g];
            }
            ++clock;
            if (--budget == 0) break;
        }

        // The lanes whose orbit ends now or whose step is still to be done.
        const int64_t filledAtLimit = clock - stepsToGo;
        bool oldestLeft = false;
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            uint32_t due = (events >> (g * L)) & ((1u << L) - 1u);
            if (oldest == filledAtLimit)
                for (int l = 0; l < L; ++l) due |= filledAt[g * L + l] == filledAtLimit ? 1u << l : 0u;
            if (due == 0) continue;
            K::Store(zr + g * L, r[g]);
            K::Store(zi + g * L, i[g]);
            while (due != 0) {
                const int l = __builtin_ctz(due);
                due &= due - 1;
                const int k = g * L + l;
                PixelRecord<typename K::Number>& record = records[pixel[k]];
                const int32_t n = from + static_cast<int32_t>(clock - filledAt[k]);  // steps done, this one included
                bool escaped = false;
                if (((events >> k) & 1u) != 0) {
                    if (((insideBits >> k) & 1u) != 0 || K::OutsideIsHard(zr[k], zi[k])) {
                        K::Reference(zr[k], zi[k], laneCr[k], ci, n - 1, escaped);
                        if (!escaped) {
                            r[g] = K::Insert(r[g], l, zr[k]);
                            i[g] = K::Insert(i[g], l, zi[k]);
                        }
                    } else {
                        escaped = true;
                    }
                }
                if (escaped) {
                    record.Zr = K::FromLane(zr[k]);
                    record.Zi = K::FromLane(zi[k]);
                    record.EscapeCount = n - 1;
                    counts[pixel[k]] = n - 1;
                } else if (n == limit) {
                    record.Zr = K::FromLane(zr[k]);
                    record.Zi = K::FromLane(zi[k]);
                    counts[pixel[k]] = n;
                } else {
                    continue;
                }
                oldestLeft |= filledAt[k] == oldest;
                --live;
                fill(k, r[g], i[g], vcr[g], vci[g]);
            }
        }
        if (oldestLeft) {
            oldest = kParked;
            for (int k = 0; k < N; ++k) oldest = filledAt[k] < oldest ? filledAt[k] : oldest;
        }
    }
    // Every lane parked: the feed has passed (and marked) all of its pixels.
}

}  // namespace
