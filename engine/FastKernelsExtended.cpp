// FPU Extended stays on the x87 unit: its 64-bit significand exists nowhere
// else. One orbit's step is a chain of three dependent x87 operations (a
// square, the difference, the constant's sum), each about seven cycles here,
// while the unit starts about one operation per cycle: three orbits written
// into one loop keep it busy. Compiled C++ does not do this: it spills the
// eight-register x87 stack.
//
// The loop keeps the three orbits (six values) on the stack and works with
// the two registers left, which costs three things, each exact:
//
// * The sum of the squares is formed where the square of zr was, so zr^2 is
//   computed a second time for the difference: the same product, the same
//   rounding.
// * The sum is compared with 4 through memory: stored as a double (fstpl) and
//   its upper half compared as an integer. Rounding to double is monotonic
//   and 4 is a double, so a double below 4 means the extended sum is below 4.
//   Everything else (4 itself, above, infinity, NaN of either sign) leaves the
//   loop, and the reference decides that step.
// * The constants cannot stay in registers, and loading an 80-bit value
//   (fldt) takes about six cycles. Each constant is held as two doubles whose
//   sum is the constant exactly; fldl and faddl rebuild it, rounded to
//   extended, which is the constant itself. Constants without such a split
//   (below or above the range of doubles, NaN) go to the reference.
//
// Otherwise the loop performs exactly the reference's operations in its
// order: zr^2 and zi^2, their sum, (zr^2 - zi^2) + cr, (zr + zr) * zi + ci,
// all in extended at 64-bit precision (FpEnvironmentGuard).
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/PomeClcKernels.h"

namespace {

constexpr int kOrbits = 3;

// Two doubles whose sum, rounded to extended, is exactly v (bit for bit, the
// sign of zero included); false when there are none.
bool SplitExactly(long double v, double& high, double& low) {
    high = static_cast<double>(v);
    low = static_cast<double>(v - static_cast<long double>(high));
    if (low == 0.0) low = __builtin_copysign(0.0, high);  // ±0 + ±0 keeps the sign of v
    const long double rebuilt = static_cast<long double>(high) + static_cast<long double>(low);
    return rebuilt == v && __builtin_signbit(rebuilt) == __builtin_signbit(v);
}

// The loop addresses the doubles by the fixed offsets given to QX_ORBIT_STEP,
// the 80-bit values (12 or 16 bytes each, by target) through offsetof.
struct OrbitTrio {
    double crHigh[kOrbits];  // at 0, 8, 16
    double crLow[kOrbits];   // at 24, 32, 40
    double ciHigh[kOrbits];  // at 48, 56, 64; per orbit, as a parked orbit has c = 0
    double ciLow[kOrbits];   // at 72, 80, 88
    uint32_t sum[2];         // at 96: the last sum of squares as a double, written by the loop
    long double r[kOrbits];
    long double i[kOrbits];
    long double checkR[kOrbits];  // the real part of each orbit's checkpoint, compared at every step
};
static_assert(offsetof(OrbitTrio, crLow) == 24 && offsetof(OrbitTrio, ciHigh) == 48 &&
              offsetof(OrbitTrio, ciLow) == 72 && offsetof(OrbitTrio, sum) == 96);

// What the loop compares each orbit's real part with: the checkpoint's, in
// extended, so that only an exact match leaves the loop (a comparison of the
// sums of squares as doubles matched at every step once a slowly attracted
// orbit came within a double's precision of its checkpoint). 8 (no orbit
// inside has such a real part) when there is nothing to compare with.
void SetCheck(OrbitTrio& t, int k, long double checkR) { t.checkR[k] = checkR == checkR ? checkR : 8.0L; }

#if defined(__i386__) || defined(__x86_64__)

// One orbit's step. On entry the stack holds this orbit's zr, zi on top and
// the two other orbits below (A B C D); on exit the other orbits are on top
// and this orbit's new values below them, so the same code serves the next
// orbit (the exchanges cost no time: code naming each orbit's registers
// measured the same). A sum that is not below 4, or a real part equal to
// the orbit's checkpoint's CKR (in the one register free at that moment),
// jumps to label EXIT with zi^2 on top of the untouched values. In AT&T
// syntax "fsub %st(1), %st" is st = st - st(1).
// The cycle check's comparison of the real part with the checkpoint's CKR,
// in the one register free at that moment; a loop without the check (a pass
// that ends before the first checkpoint, or the check off) leaves it out.
#define QX_CHECK(EXIT, CKR)                                                                     \
    "fldt " CKR "(%[t])\n\t"           /* cr? i2 r i ... */                  \
    "fucomip %%st(2), %%st\n\t"        /* i2 r i ...; ZF: the same */        \
    "je " #EXIT "f\n\t"

#define QX_ORBIT_STEP(K, EXIT, CRH, CRL, CIH, CIL, CHECK)                                        \
    "fld %%st(0)\n\t"                  /* r r i A B C D */                   \
    "fmul %%st(0), %%st\n\t"           /* r2 r i ... */                      \
    "fld %%st(2)\n\t"                  /* i r2 r i ... */                    \
    "fmul %%st(0), %%st\n\t"           /* i2 r2 r i ... */                   \
    "fadd %%st, %%st(1)\n\t"           /* i2 sum r i ... */                  \
    "fxch %%st(1)\n\t"                 /* sum i2 r i ... */                  \
    "fstpl 96(%[t])\n\t"               /* i2 r i ... */                      \
    "cmpl $0x40100000, 100(%[t])\n\t"  /* the double 4 and above */          \
    "jae " #EXIT "f\n\t"                                                     \
    CHECK                                                                     \
    "fld %%st(1)\n\t"                  /* r i2 r i ... */                    \
    "fmul %%st(0), %%st\n\t"           /* r2 i2 r i ... */                   \
    "fsub %%st(1), %%st\n\t"           /* r2-i2 i2 r i ... */                \
    "fstp %%st(1)\n\t"                 /* d r i ... */                       \
    "fldl " #CRH "(%[t])\n\t"                                                \
    "faddl " #CRL "(%[t])\n\t"         /* cr d r i ... */                    \
    "faddp %%st, %%st(1)\n\t"          /* nr r i ... */                      \
    "fxch %%st(1)\n\t"                 /* r nr i ... */                      \
    "fadd %%st(0), %%st\n\t"           /* 2r nr i ... */                     \
    "fmul %%st, %%st(2)\n\t"           /* 2r nr 2r*i ... */                  \
    "fldl " #CIH "(%[t])\n\t"                                                \
    "faddl " #CIL "(%[t])\n\t"         /* ci 2r nr 2r*i ... */               \
    "faddp %%st, %%st(3)\n\t"          /* 2r nr ni A B C D */                \
    "fstp %%st(0)\n\t"                 /* nr ni A B C D */                   \
    "fxch %%st(4)\n\t"                                                       \
    "fxch %%st(2)\n\t"                 /* A ni C B nr D */                   \
    "fxch %%st(1)\n\t"                                                       \
    "fxch %%st(5)\n\t"                                                       \
    "fxch %%st(3)\n\t"                                                       \
    "fxch %%st(1)\n\t"                 /* A B C D nr ni */

// What ended StepTrio: the budget, or orbit k's sum at step `budget` left
// (orbits before k did that step, orbit k and those after it did not).
constexpr int kBudgetDone = -1;

// Steps the three orbits until `budget` steps are done, a sum of squares is
// not below 4 or (StepTrioChecked) a real part equals the orbit's
// checkpoint's. On return `budget` holds the steps not begun.
#define QX_STEP_TRIO(NAME, C0, C1, C2)                                                            \
int NAME(OrbitTrio& t, int32_t& budget) {                                                         \
    int which;                                                                                    \
    __asm__ volatile(                                                                             \
        "fldt %c[i2](%[t])\n\t"                                                                   \
        "fldt %c[r2](%[t])\n\t"                                                                   \
        "fldt %c[i1](%[t])\n\t"                                                                   \
        "fldt %c[r1](%[t])\n\t"                                                                   \
        "fldt %c[i0](%[t])\n\t"                                                                   \
        "fldt %c[r0](%[t])\n"  /* r0 i0 r1 i1 r2 i2 */                                            \
        "1:\n\t"                                                                                  \
        QX_ORBIT_STEP(0, 10, 0, 24, 48, 72, C0)                                                   \
        QX_ORBIT_STEP(1, 11, 8, 32, 56, 80, C1)                                                   \
        QX_ORBIT_STEP(2, 12, 16, 40, 64, 88, C2)                                                  \
        "decl %[budget]\n\t"                                                                      \
        "jnz 1b\n\t"                                                                              \
        "movl $-1, %[which]\n\t"                                                                  \
        "jmp 20f\n"                                                                               \
        "10:\n\t"                                                                                 \
        "fstp %%st(0)\n\t"                                                                        \
        "movl $0, %[which]\n"                                                                     \
        "20:\n\t"  /* r0 i0 r1 i1 r2 i2 */                                                        \
        "fstpt %c[r0](%[t])\n\t"                                                                  \
        "fstpt %c[i0](%[t])\n\t"                                                                  \
        "fstpt %c[r1](%[t])\n\t"                                                                  \
        "fstpt %c[i1](%[t])\n\t"                                                                  \
        "fstpt %c[r2](%[t])\n\t"                                                                  \
        "fstpt %c[i2](%[t])\n\t"                                                                  \
        "jmp 40f\n"                                                                               \
        "11:\n\t"                                                                                 \
        "fstp %%st(0)\n\t"  /* r1 i1 r2 i2 r0 i0 */                                               \
        "movl $1, %[which]\n\t"                                                                   \
        "fstpt %c[r1](%[t])\n\t"                                                                  \
        "fstpt %c[i1](%[t])\n\t"                                                                  \
        "fstpt %c[r2](%[t])\n\t"                                                                  \
        "fstpt %c[i2](%[t])\n\t"                                                                  \
        "fstpt %c[r0](%[t])\n\t"                                                                  \
        "fstpt %c[i0](%[t])\n\t"                                                                  \
        "jmp 40f\n"                                                                               \
        "12:\n\t"                                                                                 \
        "fstp %%st(0)\n\t"  /* r2 i2 r0 i0 r1 i1 */                                               \
        "movl $2, %[which]\n\t"                                                                   \
        "fstpt %c[r2](%[t])\n\t"                                                                  \
        "fstpt %c[i2](%[t])\n\t"                                                                  \
        "fstpt %c[r0](%[t])\n\t"                                                                  \
        "fstpt %c[i0](%[t])\n\t"                                                                  \
        "fstpt %c[r1](%[t])\n\t"                                                                  \
        "fstpt %c[i1](%[t])\n"                                                                    \
        "40:\n\t"                                                                                 \
        : [which] "=&r"(which), [budget] "+r"(budget)                                             \
        : [t] "r"(&t), [r0] "i"(offsetof(OrbitTrio, r[0])), [i0] "i"(offsetof(OrbitTrio, i[0])),  \
          [r1] "i"(offsetof(OrbitTrio, r[1])), [i1] "i"(offsetof(OrbitTrio, i[1])),               \
          [r2] "i"(offsetof(OrbitTrio, r[2])), [i2] "i"(offsetof(OrbitTrio, i[2])),               \
          [k0] "i"(offsetof(OrbitTrio, checkR[0])), [k1] "i"(offsetof(OrbitTrio, checkR[1])),     \
          [k2] "i"(offsetof(OrbitTrio, checkR[2]))                                                \
        : "cc", "memory", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");   \
    return which;                                                                                 \
}

QX_STEP_TRIO(StepTrioChecked, QX_CHECK(10, "%c[k0]"), QX_CHECK(11, "%c[k1]"), QX_CHECK(12, "%c[k2]"))
QX_STEP_TRIO(StepTrioPlain, "", "", "")

#undef QX_STEP_TRIO
#undef QX_ORBIT_STEP
#undef QX_CHECK

#endif

// Entering and leaving the loop costs about as much as a few steps, and many
// orbits outside the set escape within a few: every orbit first takes a few
// steps on its own, and only the survivors join. Measured on the start image
// with and without passes: 2 to 12 solo steps are equally fast, none or 24
// slower.
std::atomic<int32_t> soloSteps{4};

}  // namespace

int32_t fastkernels::ExtendedSoloSteps() { return soloSteps.load(std::memory_order_relaxed); }
void fastkernels::SetExtendedSoloSteps(int32_t steps) { soloSteps.store(std::max(steps, 0), std::memory_order_relaxed); }

#if defined(__i386__) || defined(__x86_64__)

// With cycle checks the loop compares each orbit's real part with its
// checkpoint's at the start of every step, so every value the loop leaves in
// the trio is compared before the next step. The code here compares the
// values the loop never starts from: at checkpoint steps (before the
// checkpoint moves there) and where an orbit leaves the trio. A value that
// was already compared (the one an orbit joins with, one the reference
// produced, one at its checkpoint step) is never compared again: the
// reference compares only the values its steps produce, and at a checkpoint
// step the loop would otherwise match the new checkpoint itself.
void fastkernels::IterateExtendedInterleaved(const OrbitSpan<long double>& span) {
    double ciHigh, ciLow;
    if (span.limit <= span.from || !SplitExactly(span.constImag, ciHigh, ciLow)) {
        IterateSpanReference(span);
        return;
    }
    SpanFeed<long double> feed(span);
    PixelRecord<long double>* const records = span.pixels;
    Checkpoint<long double>* const checkpoints = span.checkpoints;  // null without the cycle check
    int32_t* const counts = span.counts;
    const int32_t from = span.from;
    const int32_t limit = span.limit;
    const long double ci = span.constImag;
    const bool checks = checkpoints != nullptr;

    OrbitTrio trio{};
    long double cr[kOrbits];
    int32_t pixel[kOrbits];
    int32_t steps[kOrbits];
    int64_t nextCheck[kOrbits];  // the orbit's next checkpoint step (beyond the limit without checks)
    int32_t compared[kOrbits];   // the step whose value has been compared already
    bool live[kOrbits];
    int liveCount = 0;

    // The orbit of pixel x from step n up to `until`, one orbit alone, with
    // the cycle check when the span has it.
    auto alone = [&](int32_t x, long double c, int32_t n, int32_t until, OrbitEnd& end) {
        PixelRecord<long double>& record = records[x];
        if (checks)
            return CheckedOrbit(record, checkpoints[x], n, until, end,
                                [&](long double& r, long double& i) { return ReferenceStep(r, i, c, ci); });
        bool escaped;
        n = ReferenceOrbit(record.Zr, record.Zi, c, ci, n, until, escaped);
        end = escaped ? OrbitEnd::Escaped : OrbitEnd::Limit;
        return n;
    };
    // Whether orbit k's value, not compared yet, is its checkpoint come back
    // (rule 1 of engine/CycleCheck.h).
    auto returned = [&](int k) {
        return checks && steps[k] != compared[k] && steps[k] > kFirstCheckpoint &&
               SameStoredValue(trio.r[k], checkpoints[pixel[k]].R) && SameStoredValue(trio.i[k], checkpoints[pixel[k]].I);
    };
    auto noCheck = [&](int k) { SetCheck(trio, k, 8.0L); };

    const int32_t warmUp = ExtendedSoloSteps();
    auto park = [&](int k) {
        live[k] = false;
        trio.r[k] = trio.i[k] = 0.0L;  // z = c = 0 stays put and never escapes
        trio.crHigh[k] = trio.crLow[k] = trio.ciHigh[k] = trio.ciLow[k] = 0.0;
        noCheck(k);
    };
    auto join = [&](int k, int32_t n) {
        const PixelRecord<long double>& record = records[pixel[k]];
        steps[k] = n;
        compared[k] = n;
        trio.r[k] = record.Zr;
        trio.i[k] = record.Zi;
        if (checks) {
            SetCheck(trio, k, checkpoints[pixel[k]].R);
            nextCheck[k] = NextCheckpointAfter(n);
        } else {
            noCheck(k);
            nextCheck[k] = int64_t{limit} + 1;
        }
    };
    auto fill = [&](int k) {
        int32_t x;
        while (feed.Next(x)) {
            const long double c = span.columnReal != nullptr ? span.columnReal[x] : span.constReal;
            double high, low;
            const bool split = SplitExactly(c, high, low);
            const int32_t until = split && limit - from > warmUp ? from + warmUp : limit;
            OrbitEnd end;
            const int32_t n = alone(x, c, from, until, end);
            if (end != OrbitEnd::Limit || n == limit) {
                if (end == OrbitEnd::Escaped) records[x].EscapeCount = n;
                counts[x] = end == OrbitEnd::Cycling ? limit : n;
                continue;
            }
            live[k] = true;
            ++liveCount;
            pixel[k] = x;
            cr[k] = c;
            trio.crHigh[k] = high;
            trio.crLow[k] = low;
            trio.ciHigh[k] = ciHigh;
            trio.ciLow[k] = ciLow;
            join(k, n);
            return;
        }
        park(k);
    };
    auto finish = [&](int k, OrbitEnd end) {
        PixelRecord<long double>& record = records[pixel[k]];
        record.Zr = trio.r[k];
        record.Zi = trio.i[k];
        if (end == OrbitEnd::Escaped) record.EscapeCount = steps[k];
        if (end == OrbitEnd::Cycling) MarkCycling(checkpoints[pixel[k]]);
        counts[pixel[k]] = end == OrbitEnd::Cycling ? limit : steps[k];
        --liveCount;
        fill(k);
    };
    // One step of orbit k outside the loop (the reference decides it).
    auto stepAlone = [&](int k) {
        PixelRecord<long double>& record = records[pixel[k]];
        record.Zr = trio.r[k];
        record.Zi = trio.i[k];
        OrbitEnd end;
        const int32_t n = alone(pixel[k], cr[k], steps[k], steps[k] + 1, end);
        steps[k] = n;
        compared[k] = n;
        trio.r[k] = record.Zr;
        trio.i[k] = record.Zi;
        if (end != OrbitEnd::Limit) {
            finish(k, end);
        } else if (checks && IsCheckpointStep(n)) {  // the checkpoint moved here
            SetCheck(trio, k, checkpoints[pixel[k]].R);
            nextCheck[k] = int64_t{n} * 2;
        }
    };
    // Orbit k at its checkpoint step: the comparison, then the checkpoint.
    auto checkpoint = [&](int k) {
        Checkpoint<long double>& slot = checkpoints[pixel[k]];
        if (steps[k] > kFirstCheckpoint && SameStoredValue(trio.r[k], slot.R) && SameStoredValue(trio.i[k], slot.I)) {
            finish(k, OrbitEnd::Cycling);
            return;
        }
        slot.R = trio.r[k];
        slot.I = trio.i[k];
        SetCheck(trio, k, slot.R);
        nextCheck[k] = int64_t{steps[k]} * 2;
        compared[k] = steps[k];
        // The loop would match the new checkpoint at once and leave again:
        // the first step from it is taken here.
        if (steps[k] < limit) stepAlone(k);
    };
    for (int k = 0; k < kOrbits; ++k) fill(k);

    // With one orbit left the loop would step two parked ones for nothing.
    while (liveCount >= 2) {
        int64_t stop = INT64_MAX;
        for (int k = 0; k < kOrbits; ++k)
            if (live[k]) stop = std::min(stop, std::min<int64_t>(limit, nextCheck[k]) - steps[k]);
        const int32_t budget = static_cast<int32_t>(stop);
        int32_t left = budget;
        const int which = checks ? StepTrioChecked(trio, left) : StepTrioPlain(trio, left);
        for (int k = 0; k < kOrbits; ++k) {
            if (!live[k]) continue;
            steps[k] += budget - left + (which != kBudgetDone && k < which ? 1 : 0);
        }
        if (which != kBudgetDone && live[which]) {
            // A double sum above 4 means an extended sum above 4: escaped.
            // For 4 itself (and NaN, which escapes too) the reference
            // decides; a real part equal to the checkpoint's is a cycle when
            // the imaginary parts are equal too.
            double sum;
            std::memcpy(&sum, trio.sum, sizeof sum);
            if (sum > 4.0) finish(which, OrbitEnd::Escaped);
            else if (returned(which)) finish(which, OrbitEnd::Cycling);
            else stepAlone(which);
        }
        for (int k = 0; k < kOrbits; ++k) {
            if (live[k] && checks && steps[k] == nextCheck[k]) checkpoint(k);
            if (live[k] && steps[k] == limit) finish(k, returned(k) ? OrbitEnd::Cycling : OrbitEnd::Limit);
        }
    }
    // The last orbit alone.
    for (int k = 0; k < kOrbits; ++k) {
        while (live[k]) {
            if (returned(k)) {
                finish(k, OrbitEnd::Cycling);
                continue;
            }
            PixelRecord<long double>& record = records[pixel[k]];
            record.Zr = trio.r[k];
            record.Zi = trio.i[k];
            OrbitEnd end;
            steps[k] = alone(pixel[k], cr[k], steps[k], limit, end);
            trio.r[k] = record.Zr;
            trio.i[k] = record.Zi;
            finish(k, end);
        }
    }
}

#else

void fastkernels::IterateExtendedInterleaved(const OrbitSpan<long double>& span) { IterateSpanReference(span); }

#endif
