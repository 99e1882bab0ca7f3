// What bounds FPU Extended on this processor: the x87 unit's latency and
// throughput, in core cycles, measured with the time-stamp counter and
// calibrated by a chain of integer additions (one cycle each). The engine's
// x87 loop needs about twelve operations of the unit per step; the reference
// is one dependent chain of three seven-cycle operations per step. Both steps
// are timed too, with the bound the unit's rate implies.
#include <cstdint>
#include <cstdio>
#include <x86intrin.h>

#include <vector>

#include "engine/FastKernels.h"
#include "engine/FpEnvironment.h"

namespace {

#define QX_TEN(x) x x x x x x x x x x
constexpr int kRounds = 4000000;

// TSC ticks per core cycle: 20 dependent one-cycle additions per round.
double TicksPerCycle() {
    long x = 0;
    const uint64_t start = __rdtsc();
    for (int k = 0; k < kRounds; ++k) __asm__ volatile(QX_TEN("addq $1, %0\n\t") QX_TEN("addq $1, %0\n\t") : "+r"(x));
    return static_cast<double>(__rdtsc() - start) / (20.0 * kRounds);
}

// Six values on the stack (never 1.0, which some units square for free).
#define QX_SETUP "fldt %[v]\n\t fld %%st(0)\n\t fld %%st(0)\n\t fld %%st(0)\n\t fld %%st(0)\n\t fld %%st(0)\n\t"
#define QX_CLEAN "fstp %%st(0)\n\t fstp %%st(0)\n\t fstp %%st(0)\n\t fstp %%st(0)\n\t fstp %%st(0)\n\t fstp %%st(0)\n\t"
// The loop runs inside the assembly, so that a chain continues from one
// round to the next and nothing but the body is measured.
#define QX_MEASURE(body, per)                                                                                 \
    [&] {                                                                                                     \
        int rounds = kRounds;                                                                                 \
        const uint64_t start = __rdtsc();                                                                     \
        __asm__ volatile(QX_SETUP "1:\n\t" QX_TEN(body) "decl %[n]\n\t jnz 1b\n\t" QX_CLEAN                 \
                         : [n] "+r"(rounds)                                                                   \
                         : [v] "m"(value), [d] "m"(half)                                                      \
                         : "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");        \
        return static_cast<double>(__rdtsc() - start) / (10.0 * (per) * kRounds) / ticks;                     \
    }()

// Core cycles per escape test of `path` on orbits that never escape.
double CyclesPerStep(KernelPath path, double ticks) {
    constexpr int32_t kPixels = 30;
    constexpr int32_t kLimit = 400000;
    std::vector<PixelRecord<long double>> pixels(kPixels, PixelRecord<long double>{.Zr = 0.0L, .Zi = 0.0L, .EscapeCount = NotEscaped});
    std::vector<long double> columnReal(kPixels);
    for (int32_t x = 0; x < kPixels; ++x) columnReal[x] = -0.1L - 0.003L * x;  // inside the main cardioid
    std::vector<int32_t> counts(kPixels);
    OrbitSpan<long double> span;
    span.pixels = pixels.data();
    span.columnReal = columnReal.data();
    span.constImag = 0.1L;
    span.count = kPixels;
    span.limit = kLimit;
    span.counts = counts.data();
    const FpEnvironmentGuard environment;
    const uint64_t start = __rdtsc();
    IterateSpan(path, span);
    return static_cast<double>(__rdtsc() - start) / (static_cast<double>(kPixels) * kLimit) / ticks;
}

}  // namespace

int main() {
    // 64-bit precision, as the engine's calculations run.
    uint16_t control;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<uint16_t>(control | 0x300);
    __asm__ volatile("fldcw %0" ::"m"(control));

    const long double value = 1.0L + 0x1p-40L;  // 4e7 squarings later still finite
    const double half = 0.5;
    const double ticks = TicksPerCycle();
    const double mulLatency = QX_MEASURE("fmul %%st(1), %%st\n\t", 1);
    const double addLatency = QX_MEASURE("fadd %%st(1), %%st\n\t", 1);
    // Throughput: each group starts from a fresh double, so the groups are
    // independent and only the unit's rate counts.
    const double loaded = QX_MEASURE("fldl %[d]\n\t fmul %%st(1), %%st\n\t fstp %%st(0)\n\t", 1);
    const double mixed = QX_MEASURE("fldl %[d]\n\t fmul %%st(1), %%st\n\t fadd %%st(2), %%st\n\t fstp %%st(0)\n\t", 2);
    const double copied =
        QX_MEASURE("fldl %[d]\n\t fmul %%st(1), %%st\n\t fld %%st(3)\n\t fstp %%st(0)\n\t fstp %%st(0)\n\t", 1);
    const double extendedLoad = QX_MEASURE("fldt %[v]\n\t fstp %%st(0)\n\t", 1);

    std::printf("x87 unit, core cycles (%.3f TSC ticks per cycle):\n", ticks);
    std::printf("  fmul latency                         %5.2f\n", mulLatency);
    std::printf("  fadd latency                         %5.2f\n", addLatency);
    std::printf("  fmul from a double load (fldl)       %5.2f   per fmul\n", loaded);
    std::printf("  fmul and fadd                        %5.2f   per operation: one pipe for both\n", mixed);
    std::printf("  register copy (fld st(i))            %5.2f   it takes the pipe too\n", copied - loaded);
    std::printf("  80-bit load (fldt), per load         %5.2f\n", extendedLoad);
    const double reference = CyclesPerStep(KernelPath::Reference, ticks);
    const double engine = CyclesPerStep(KernelPath::Baseline, ticks);
    std::printf("A step on long orbits: the reference %.1f cycles (its chain of three dependent operations\n"
                "%.1f), the engine's three orbits %.1f cycles (%.2fx). The loop's twelve operations of the pipe\n"
                "per step (eleven arithmetic ones and copies) allow at most %.2fx of this reference.\n",
                reference, 3.0 * (mulLatency + addLatency) / 2.0, engine, reference / engine,
                reference / (12.0 * mixed));
    return 0;
}
