// FPU Extended stays on the x87 unit: its 64-bit significand exists nowhere
// else. One orbit's step is a chain of dependent x87 operations of about
// twenty cycles; two orbits written into one loop let the processor work on
// the second chain while the first waits. Compiled C++ does not do this: it
// spills the eight-register x87 stack. The loop below keeps both orbits
// (four values) and four temporaries on the stack and reads the constants
// from memory, and performs exactly the reference's operations in the
// reference's order, so its results are the reference's bit for bit.
#include <algorithm>

#include "engine/FastKernels.h"
#include "engine/PomeClcKernels.h"

namespace {

struct OrbitPair {
    long double r[2];
    long double i[2];
    long double cr[2];
    long double ci[2];
};

// What ended StepPair.
enum PairExit : int {
    kBudgetDone = 0,  // both orbits did `budget` steps
    kFirstEscapes = 1,  // orbit 0 escapes at this step; neither did it
    kSecondEscapes = 2, // orbit 1 escapes at this step; orbit 0 did it
};

#if defined(__i386__) || defined(__x86_64__)

constexpr float kFour = 4.0f;

// Steps both orbits until `budget` steps are done or one escapes. On
// return `budget` holds the steps not done by both.
//
// Stack at the top of the loop: r0 i0 r1 i1. Each half computes r^2 and i^2,
// their sum, compares 4 with it (unordered, i.e. NaN, counts as escaped like
// !(sum <= 4)), then (r^2 - i^2) + cr and (r + r) * i + ci. Beware: in AT&T
// syntax "fsubrp %st, %st(1)" is st(1) - st(0), the reverse of Intel's.
PairExit StepPair(OrbitPair& p, int32_t& budget) {
    int which;
    __asm__ volatile(
        "fldt %[i1]\n\t"
        "fldt %[r1]\n\t"
        "fldt %[i0]\n\t"
        "fldt %[r0]\n\t"  // r0 i0 r1 i1
        "xorl %[which], %[which]\n"
        "1:\n\t"
        // orbit 0
        "fld %%st(0)\n\t"
        "fmul %%st(0), %%st\n\t"   // r0^2 r0 i0 r1 i1
        "fld %%st(2)\n\t"
        "fmul %%st(0), %%st\n\t"   // i0^2 r0^2 r0 i0 r1 i1
        "fld %%st(1)\n\t"
        "fadd %%st(1), %%st\n\t"   // sum i0^2 r0^2 r0 i0 r1 i1
        "flds %[four]\n\t"
        "fcomip %%st(1), %%st\n\t" // 4 against the sum
        "fstp %%st(0)\n\t"         // i0^2 r0^2 r0 i0 r1 i1
        "jb 2f\n\t"
        "fsubrp %%st, %%st(1)\n\t" // r0^2-i0^2 r0 i0 r1 i1
        "fldt %[cr0]\n\t"
        "faddp %%st, %%st(1)\n\t"  // nr0 r0 i0 r1 i1
        "fxch %%st(1)\n\t"         // r0 nr0 i0 r1 i1
        "fadd %%st(0), %%st\n\t"   // 2r0 nr0 i0 r1 i1
        "fmulp %%st, %%st(2)\n\t"  // nr0 2r0*i0 r1 i1
        "fldt %[ci0]\n\t"
        "faddp %%st, %%st(2)\n\t"  // nr0 ni0 r1 i1
        // orbit 1
        "fld %%st(2)\n\t"
        "fmul %%st(0), %%st\n\t"   // r1^2 r0 i0 r1 i1
        "fld %%st(4)\n\t"
        "fmul %%st(0), %%st\n\t"   // i1^2 r1^2 r0 i0 r1 i1
        "fld %%st(1)\n\t"
        "fadd %%st(1), %%st\n\t"   // sum i1^2 r1^2 r0 i0 r1 i1
        "flds %[four]\n\t"
        "fcomip %%st(1), %%st\n\t"
        "fstp %%st(0)\n\t"         // i1^2 r1^2 r0 i0 r1 i1
        "jb 3f\n\t"
        "fsubrp %%st, %%st(1)\n\t" // r1^2-i1^2 r0 i0 r1 i1
        "fldt %[cr1]\n\t"
        "faddp %%st, %%st(1)\n\t"  // nr1 r0 i0 r1 i1
        "fxch %%st(3)\n\t"         // r1 r0 i0 nr1 i1
        "fadd %%st(0), %%st\n\t"   // 2r1 r0 i0 nr1 i1
        "fmulp %%st, %%st(4)\n\t"  // r0 i0 nr1 2r1*i1
        "fldt %[ci1]\n\t"
        "faddp %%st, %%st(4)\n\t"  // r0 i0 nr1 ni1
        "decl %[budget]\n\t"
        "jnz 1b\n\t"
        "jmp 4f\n"
        "2:\n\t"
        "movl $1, %[which]\n\t"
        "jmp 5f\n"
        "3:\n\t"
        "movl $2, %[which]\n"
        "5:\n\t"
        "fstp %%st(0)\n\t"
        "fstp %%st(0)\n"
        "4:\n\t"
        "fstpt %[r0]\n\t"
        "fstpt %[i0]\n\t"
        "fstpt %[r1]\n\t"
        "fstpt %[i1]\n\t"
        : [r0] "+m"(p.r[0]), [i0] "+m"(p.i[0]), [r1] "+m"(p.r[1]), [i1] "+m"(p.i[1]), [which] "=&r"(which),
          [budget] "+r"(budget)
        : [cr0] "m"(p.cr[0]), [ci0] "m"(p.ci[0]), [cr1] "m"(p.cr[1]), [ci1] "m"(p.ci[1]), [four] "m"(kFour)
        : "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
    return static_cast<PairExit>(which);
}

#endif

}  // namespace

#if defined(__i386__) || defined(__x86_64__)

void fastkernels::IterateExtendedInterleaved(const OrbitSpan<long double>& span) {
    SpanFeed<long double> feed(span);
    OrbitPair pair;
    int32_t pixel[2];
    int32_t steps[2];
    bool live[2];

    // Entering and leaving the paired loop costs more than a few steps, and
    // most orbits outside the set escape within a few: every orbit first
    // takes up to kWarmUp steps on its own, and only the survivors are paired.
    constexpr int32_t kWarmUp = 12;
    auto fill = [&](int k) {
        int32_t x;
        while ((live[k] = feed.Next(x))) {
            PixelRecord<long double>& record = span.pixels[x];
            const long double cr = span.columnReal != nullptr ? span.columnReal[x] : span.constReal;
            const int32_t until = span.limit - span.from > kWarmUp ? span.from + kWarmUp : span.limit;
            bool escaped;
            const int32_t n = ReferenceOrbit(record.Zr, record.Zi, cr, span.constImag, span.from, until, escaped);
            if (escaped || n == span.limit) {
                if (escaped) record.EscapeCount = n;
                span.counts[x] = n;
                continue;
            }
            pixel[k] = x;
            pair.r[k] = record.Zr;
            pair.i[k] = record.Zi;
            pair.cr[k] = cr;
            pair.ci[k] = span.constImag;
            steps[k] = n;
            return;
        }
    };
    auto finish = [&](int k, bool escaped) {
        PixelRecord<long double>& record = span.pixels[pixel[k]];
        record.Zr = pair.r[k];
        record.Zi = pair.i[k];
        if (escaped) record.EscapeCount = steps[k];
        span.counts[pixel[k]] = steps[k];
        fill(k);
    };
    fill(0);
    fill(1);

    while (live[0] && live[1]) {
        const int32_t budget = std::min(span.limit - steps[0], span.limit - steps[1]);
        int32_t left = budget;
        const PairExit exit = StepPair(pair, left);
        steps[0] += budget - left;
        steps[1] += budget - left;
        if (exit == kSecondEscapes) ++steps[0];  // orbit 0 had done this step already
        if (exit == kFirstEscapes) finish(0, true);
        else if (steps[0] == span.limit) finish(0, false);
        if (exit == kSecondEscapes) finish(1, true);
        else if (steps[1] == span.limit) finish(1, false);
    }
    // The last orbit alone.
    for (int k = 0; k < 2; ++k) {
        while (live[k]) {
            bool escaped;
            steps[k] = ReferenceOrbit(pair.r[k], pair.i[k], pair.cr[k], pair.ci[k], steps[k], span.limit, escaped);
            finish(k, escaped);
        }
    }
}

#else

void fastkernels::IterateExtendedInterleaved(const OrbitSpan<long double>& span) { IterateSpanReference(span); }

#endif
