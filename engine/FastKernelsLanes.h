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

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/PomeClcKernels.h"

#ifndef QX_TARGET
#error "define QX_TARGET before including FastKernelsLanes.h"
#endif

#define QX_INLINE QX_TARGET __attribute__((always_inline)) inline

namespace {

// ---------------------------------------------------------------------------
// Error-free transformations: a rounded result and its rounding error, whose
// sum is the exact value. Each is only a fixed sequence of rounded
// operations, so the roundings of the step kernels stay visible.

template <class V>
struct ExactPair {
    typename V::D hi;  // the rounded result
    typename V::D lo;  // what the rounding lost: hi + lo is exact
};

// a + b (Knuth's two-sum, for any order of magnitude).
template <class V>
QX_INLINE ExactPair<V> TwoSum(typename V::D a, typename V::D b) {
    const typename V::D s = V::Add(a, b);
    const typename V::D bb = V::Sub(s, a);
    return {s, V::Add(V::Sub(a, V::Sub(s, bb)), V::Sub(b, bb))};
}

// a - b, the same for the difference.
template <class V>
QX_INLINE ExactPair<V> TwoDiff(typename V::D a, typename V::D b) {
    const typename V::D d = V::Sub(a, b);
    const typename V::D bb = V::Sub(d, a);
    return {d, V::Sub(V::Sub(a, V::Sub(d, bb)), V::Add(b, bb))};
}

// a * b (the policy's ProductError: an FMA, or Dekker's product).
template <class V>
QX_INLINE ExactPair<V> TwoProduct(typename V::D a, typename V::D b) {
    const typename V::D p = V::Mul(a, b);
    return {p, V::ProductError(a, b, p)};
}

// `low` rounded to the extended grid of the binade of `high` (|high| given):
// to a multiple of 2^-63 of that binade, by adding and removing 3 * 2^51
// such steps. Ties go to even like the x87 unit's, since a double's
// significand is a multiple of 2^11 of them.
template <class V>
QX_INLINE typename V::D ToExtendedGrid(typename V::D low, typename V::D absHigh) {
    const typename V::D lift = V::Mul(V::And(absHigh, V::Set1(__builtin_inf())), V::Set1(0x3p-12));
    return V::Sub(V::Add(low, lift), lift);
}

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
        // p rounded to extended: ph + plr.
        const Vec plr = ToExtendedGrid<V>(pl, aph);
        // Plus c: s + t + plr exactly, and v = t + plr where that is exact.
        const ExactPair<V> sc = TwoSum<V>(ph, c);
        const Vec s = sc.hi;
        const Vec t = sc.lo;
        const Vec v = V::Add(t, plr);
        const Mask vExact = V::MAnd(V::Eq(V::Sub(v, t), plr), V::Eq(V::Sub(v, plr), t));
        // xh + e = s + v exactly; the sum rounded to extended is xh + el,
        // el being e rounded to the extended grid of xh's binade in the same
        // way, and the reference's double is xh + el rounded to double.
        const ExactPair<V> x = TwoSum<V>(s, v);
        const Vec xh = x.hi;
        const Vec e = x.lo;
        // (Just below a power of two xh the grid is finer, but |e| is at most
        // half the spacing below xh, so both roundings give xh there; tiny
        // sums of doubles are exact, e = 0.)
        const Vec el = ToExtendedGrid<V>(e, V::Abs(xh));
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
        const ExactPair<V> p = TwoProduct<V>(tr, i);
        const Vec api = V::Abs(p.hi);
        const Mask gridI = V::MOr(V::Lt(V::Max(V::And(api, inf), V::Set1(0x1p-900)), api),
                                  V::Eq(V::Min(V::Abs(tr), V::Abs(i)), V::Zero()));
        Mask fastI;
        ni = Finish(p.hi, p.lo, api, ci, gridI, fastI);

        // zr^2 - zi^2 exactly. Just above a power of two the extended grid is
        // finer than assumed: hard unless the difference is a double.
        const ExactPair<V> d = TwoDiff<V>(r2, i2);
        const Vec apr = V::Abs(d.hi);
        const Mask gridR =
            V::MOr(V::Lt(V::Max(V::And(apr, inf), V::Set1(0x1p-960)), apr), V::Eq(d.lo, V::Zero()));
        Mask fastR;
        nr = Finish(d.hi, d.lo, apr, cr, gridR, fastR);

        ok = V::MAnd(inside, V::MAnd(fastI, fastR));
    }

    // Lanes whose value equals the checkpoint's numerically: the vector half
    // of the cycle check, which the lane's record then confirms bit for bit.
    static QX_INLINE Mask Same(Vec r, Vec i, Vec checkR, Vec checkI) {
        return V::MAnd(V::Eq(r, checkR), V::Eq(i, checkI));
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

        // zr2 - zi2 = dh + dl and dh + cr = y + t exactly; xh approximates
        // the extended expression.
        const ExactPair<V> d = TwoDiff<V>(r2, i2);
        const Vec dh = d.hi;
        const Vec dl = d.lo;
        const ExactPair<V> sum = TwoSum<V>(dh, cr);
        const Vec t = sum.lo;
        const Vec xh = V::Add(sum.hi, dl);
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

    static QX_INLINE Mask Same(Vec r, Vec i, Vec checkR, Vec checkI) {
        return V::MAnd(V::Eq(r, checkR), V::Eq(i, checkI));
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

    // Only the low halves hold values.
    static QX_INLINE Mask Same(Vec r, Vec i, Vec checkR, Vec checkI) {
        return V::MAnd(V::EqLow32(r, checkR), V::EqLow32(i, checkI));
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
//
// A span runs in three phases, over and over until every lane is parked:
// StepUntilEvent, then Settle, which refills each lane it finishes.

// What ended a run of whole steps: one bit per lane (vector g, lane l at bit
// g * L + l). `undecided` marks the lanes the vector arithmetic did not
// decide (escaped, or a step for the reference); `inside` the lanes that
// were inside before that step; `returned` the decided lanes whose new value
// equals their checkpoint numerically (the cycle check confirms them). All are 0
// when the oldest lane reached the limit or a lane its checkpoint step.
struct StepEvents {
    uint32_t undecided = 0;
    uint32_t inside = 0;
    uint32_t returned = 0;
};

// kCycles: the span checks for cycles (engine/CycleCheck.h). Each lane then
// also holds its checkpoint in registers, compared with the new value after
// every step (two comparisons; the real part alone matched several times per
// orbit on views with much of the set, each match an event), and in memory
// for the exact check of the rare lanes that matched. Checkpoint steps end a
// run of steps like the limit does, about log2(limit) times per orbit.
template <class K, class V, int G, bool kCycles>
class LaneMachine {
    using Number = typename K::Number;
    using Lane = typename K::Lane;
    using Vec = typename K::Vec;
    using Mask = typename K::Mask;
    static constexpr int L = V::kLanes;
    static constexpr int N = L * G;
    static_assert(N <= 32);
    static constexpr int64_t kParked = INT64_MAX;
    static constexpr uint32_t kVectorBits = (1u << L) - 1u;

public:
    // The orbits and their constants, lane by lane, and the step clock. They
    // are the caller's locals, handed to each phase, so that they stay in
    // registers: the machine itself is memory (its read-back arrays are
    // passed to the reference by address).
    struct Registers {
        Vec r[G], i[G], cr[G], ci[G];
        Vec checkR[G], checkI[G];  // the checkpoint (kCycles only)
        int64_t clock = 0;  // counts past INT32_MAX on a long span with a high limit
    };

    // The span has at least one step to go.
    explicit LaneMachine(const OrbitSpan<Number>& span)
        : records_(span.pixels), checkpoints_(span.checkpoints), columnReal_(span.columnReal), counts_(span.counts), from_(span.from),
          limit_(span.limit), stepsToGo_(span.limit - span.from), constReal_(K::ToLane(span.constReal)),
          ci_(K::ToLane(span.constImag)), firstCheck_(NextCheckpointAfter(span.from) - span.from),
          feed_(span) {}

    // Every lane takes a pixel of the span, or is parked.
    QX_INLINE void FillAll(Registers& regs) {
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            regs.r[g] = regs.i[g] = regs.cr[g] = K::Set1(Lane{});
            regs.ci[g] = K::Set1(ci_);
            if constexpr (kCycles) regs.checkR[g] = regs.checkI[g] = K::Set1(kParkedCheck);
        }
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g)
            for (int l = 0; l < L; ++l) Refill(regs, g, l);
        FindOldest();
        if constexpr (kCycles) FindNextCheck();
    }

    bool Busy() const { return live_ > 0; }

    // Whole steps of every lane, until the oldest lane reaches the limit, a
    // lane its checkpoint step, or some lane needs more than the vector
    // result.
    QX_INLINE StepEvents StepUntilEvent(Registers& regs) const {
        int64_t end = oldest_ + stepsToGo_;
        if constexpr (kCycles) end = nextCheck_ < end ? nextCheck_ : end;
        int32_t budget = static_cast<int32_t>(end - regs.clock);
        StepEvents events;
        for (;;) {
            Vec newR[G], newI[G];
            Mask inside[G], ok[G];
            // Whether every lane was decided (and, checking cycles, none
            // came back to its checkpoint's real part), in as few scalar
            // operations as the loop allows: which lanes did is only needed
            // then.
            uint32_t allOk = kVectorBits;
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) {
                K::Step(regs.r[g], regs.i[g], regs.cr[g], regs.ci[g], newR[g], newI[g], inside[g], ok[g]);
                if constexpr (kCycles)
                    allOk &= V::Bits(V::MAndNot(K::Same(newR[g], newI[g], regs.checkR[g], regs.checkI[g]), ok[g]));
                else allOk &= V::Bits(ok[g]);
            }
            if (__builtin_expect(allOk != kVectorBits, 0)) {
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    events.undecided |= (V::Bits(ok[g]) ^ kVectorBits) << (g * L);
                    if constexpr (kCycles)
                        events.returned |=
                            V::Bits(V::MAnd(ok[g], K::Same(newR[g], newI[g], regs.checkR[g], regs.checkI[g])))
                            << (g * L);
                }
                // The decided lanes take the step; the others keep the values
                // before it (CPU Fixed: its escaped lanes keep the new ones).
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    regs.r[g] = K::Select(ok[g], newR[g], regs.r[g]);
                    regs.i[g] = K::Select(ok[g], newI[g], regs.i[g]);
                    events.inside |= V::Bits(inside[g]) << (g * L);
                }
                ++regs.clock;
                return events;
            }
#pragma GCC unroll 4
            for (int g = 0; g < G; ++g) {
                regs.r[g] = newR[g];
                regs.i[g] = newI[g];
            }
            ++regs.clock;
            if (--budget == 0) return events;
        }
    }

    // The lanes whose orbit ends now, whose step is still to be done, that
    // came back to their checkpoint's real part or reached a checkpoint
    // step: the reference takes the undecided steps, the cycle check looks
    // at every value it has not seen through the register comparison,
    // finished orbits write their record and count, and their lanes are
    // refilled.
    QX_INLINE void Settle(Registers& regs, StepEvents events) {
        const int64_t filledAtLimit = regs.clock - stepsToGo_;
        bool oldestLeft = false;
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            uint32_t due = ((events.undecided | events.returned) >> (g * L)) & kVectorBits;
            if (oldest_ == filledAtLimit)
                for (int l = 0; l < L; ++l) due |= filledAt_[g * L + l] == filledAtLimit ? 1u << l : 0u;
            if constexpr (kCycles)
                if (nextCheck_ == regs.clock)
                    for (int l = 0; l < L; ++l) due |= checkAt_[g * L + l] == regs.clock ? 1u << l : 0u;
            if (due == 0) continue;
            K::Store(zr_ + g * L, regs.r[g]);
            K::Store(zi_ + g * L, regs.i[g]);
            while (due != 0) {
                const int l = __builtin_ctz(due);
                due &= due - 1;
                const int k = g * L + l;
                if (!FinishLane(regs, g, l, events)) continue;
                oldestLeft |= filledAt_[k] == oldest_;
                --live_;
                Refill(regs, g, l);
            }
        }
        if (oldestLeft) FindOldest();
        if constexpr (kCycles) FindNextCheck();
    }

private:
    // A parked lane's checkpoint: z stays 0 there, and the register
    // comparison must never match it.
    static constexpr Lane kParkedCheck = std::is_same_v<Number, int32_t> ? static_cast<Lane>(1) : static_cast<Lane>(0.5);

    // Lane l of vector g after an event, its values read back into zr_, zi_:
    // its undecided step is done by the reference, the cycle check and the
    // checkpoint follow, and when the orbit has escaped, reached the limit or
    // is cycling its record and count are written. True when the lane is free
    // for the next pixel.
    QX_INLINE bool FinishLane(Registers& regs, int g, int l, StepEvents events) {
        const int k = g * L + l;
        PixelRecord<Number>& record = records_[pixel_[k]];
        const int32_t n = from_ + static_cast<int32_t>(regs.clock - filledAt_[k]);  // steps done, this one included
        bool escaped = false;
        // Whether this step's value escaped the register comparison: the
        // reference computed it, or it matched numerically.
        bool unchecked = ((events.returned >> k) & 1u) != 0;
        if (((events.undecided >> k) & 1u) != 0) {
            if (((events.inside >> k) & 1u) != 0 || K::OutsideIsHard(zr_[k], zi_[k])) {
                K::Reference(zr_[k], zi_[k], laneCr_[k], ci_, n - 1, escaped);
                if (!escaped) {
                    regs.r[g] = K::Insert(regs.r[g], l, zr_[k]);
                    regs.i[g] = K::Insert(regs.i[g], l, zi_[k]);
                    unchecked = true;
                }
            } else {
                escaped = true;
            }
        }
        if (escaped) {
            record.Zr = K::FromLane(zr_[k]);
            record.Zi = K::FromLane(zi_[k]);
            record.EscapeCount = n - 1;
            counts_[pixel_[k]] = n - 1;
            return true;
        }
        if constexpr (kCycles) {
            const Number zr = K::FromLane(zr_[k]);
            const Number zi = K::FromLane(zi_[k]);
            if (unchecked && n > kFirstCheckpoint && SameStoredValue(zr, checkR_[k]) &&
                SameStoredValue(zi, checkI_[k])) {
                record.Zr = zr;
                record.Zi = zi;
                MarkCycling(checkpoints_[pixel_[k]]);
                counts_[pixel_[k]] = limit_;
                return true;
            }
            if (checkAt_[k] == regs.clock) {
                checkR_[k] = zr;
                checkI_[k] = zi;
                regs.checkR[g] = K::Insert(regs.checkR[g], l, zr_[k]);
                regs.checkI[g] = K::Insert(regs.checkI[g], l, zi_[k]);
                checkAt_[k] = regs.clock + n;  // the next checkpoint step is 2n
            }
            if (n == limit_) checkpoints_[pixel_[k]] = Checkpoint<Number>{checkR_[k], checkI_[k]};
        }
        if (n == limit_) {
            record.Zr = K::FromLane(zr_[k]);
            record.Zi = K::FromLane(zi_[k]);
            counts_[pixel_[k]] = n;
            return true;
        }
        return false;
    }

    // Gives lane l of vector g the next pixel, or parks it: z = c = 0 stays
    // put, never escapes and is never undecided.
    QX_INLINE void Refill(Registers& regs, int g, int l) {
        const int k = g * L + l;
        int32_t x;
        if (feed_.Next(x)) {
            const PixelRecord<Number>& record = records_[x];
            const Lane cr = columnReal_ != nullptr ? K::ToLane(columnReal_[x]) : constReal_;
            regs.r[g] = K::Insert(regs.r[g], l, K::ToLane(record.Zr));
            regs.i[g] = K::Insert(regs.i[g], l, K::ToLane(record.Zi));
            regs.cr[g] = K::Insert(regs.cr[g], l, cr);
            laneCr_[k] = cr;
            pixel_[k] = x;
            filledAt_[k] = regs.clock;
            if constexpr (kCycles) {
                const Checkpoint<Number>& checkpoint = checkpoints_[x];
                checkR_[k] = checkpoint.R;
                checkI_[k] = checkpoint.I;
                regs.checkR[g] = K::Insert(regs.checkR[g], l, K::ToLane(checkpoint.R));
                regs.checkI[g] = K::Insert(regs.checkI[g], l, K::ToLane(checkpoint.I));
                checkAt_[k] = regs.clock + firstCheck_;
            }
            ++live_;
        } else {
            regs.r[g] = K::Insert(regs.r[g], l, Lane{});
            regs.i[g] = K::Insert(regs.i[g], l, Lane{});
            regs.cr[g] = K::Insert(regs.cr[g], l, Lane{});
            regs.ci[g] = K::Insert(regs.ci[g], l, Lane{});
            pixel_[k] = -1;
            filledAt_[k] = kParked;
            if constexpr (kCycles) {
                regs.checkR[g] = K::Insert(regs.checkR[g], l, kParkedCheck);
                regs.checkI[g] = K::Insert(regs.checkI[g], l, kParkedCheck);
                checkAt_[k] = kParked;
            }
        }
    }

    // The smallest filledAt of a live lane (kParked when none is).
    QX_INLINE void FindOldest() {
        oldest_ = kParked;
        for (int k = 0; k < N; ++k) oldest_ = filledAt_[k] < oldest_ ? filledAt_[k] : oldest_;
    }

    // The clock of the next checkpoint step of any lane.
    QX_INLINE void FindNextCheck() {
        nextCheck_ = kParked;
        for (int k = 0; k < N; ++k) nextCheck_ = checkAt_[k] < nextCheck_ ? checkAt_[k] : nextCheck_;
    }

    // Copies of the span's fields: stores through the records could alias them.
    PixelRecord<Number>* const records_;
    Checkpoint<Number>* const checkpoints_;  // null without the cycle check
    const Number* const columnReal_;
    int32_t* const counts_;
    const int32_t from_;
    const int32_t limit_;
    const int32_t stepsToGo_;
    const Lane constReal_;
    const Lane ci_;
    const int64_t firstCheck_;  // steps from `from` to the first checkpoint step after it
    SpanFeed<Number> feed_;

    // Read-back of the registers at an event (stored whole, read lane by lane).
    alignas(64) Lane zr_[N];
    alignas(64) Lane zi_[N];
    Lane laneCr_[N];
    int64_t filledAt_[N];  // the clock when the lane took its pixel, kParked for a parked lane
    int32_t pixel_[N];
    Number checkR_[N];     // the lanes' checkpoints, as their records hold them
    Number checkI_[N];
    int64_t checkAt_[N];   // the clock of the lane's next checkpoint step, kParked for a parked lane

    int64_t oldest_ = kParked;     // the smallest filledAt of a live lane
    int64_t nextCheck_ = kParked;  // the smallest checkAt of a live lane
    int live_ = 0;
};

template <class K, class V, int G, bool kCycles>
QX_TARGET __attribute__((noinline)) void RunLanesOf(const OrbitSpan<typename K::Number>& span) {
    LaneMachine<K, V, G, kCycles> machine(span);
    typename LaneMachine<K, V, G, kCycles>::Registers regs;
    machine.FillAll(regs);
    while (machine.Busy()) machine.Settle(regs, machine.StepUntilEvent(regs));
    // Every lane parked: the feed has passed (and marked) all of its pixels.
}

template <class K, class V, int G>
QX_TARGET void RunLanes(const OrbitSpan<typename K::Number>& span) {
    if (span.limit <= span.from) IterateSpanReference(span);
    else if (span.checkpoints != nullptr) RunLanesOf<K, V, G, true>(span);
    else RunLanesOf<K, V, G, false>(span);
}

}  // namespace
