// The fast kernels against the reference, orbit by orbit: random orbits of
// every kind the vector arithmetic treats differently (cancellation, exact
// ties, sums of squares at 4, zeros, tiny and huge values, NaN) and inputs
// built to land exactly on and next to rounding midpoints, on every path
// this processor runs. Orbit values, escape counts and counts must be
// identical bit for bit (NaN orbits, which have escaped, only as NaN).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/PomeClcKernels.h"
#include "engine/FpEnvironment.h"
#include "engine/PomeFix.h"

// Readable parameter names in failure messages.
inline void PrintTo(KernelPath path, std::ostream* os) { *os << KernelPathName(path); }

namespace {

#ifdef _WIN32
constexpr int kScale = 1;  // under wine every case costs more
#else
constexpr int kScale = 12;
#endif

template <typename T>
bool SameValue(T a, T b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    if constexpr (std::is_same_v<T, long double>) return a == b && std::signbit(a) == std::signbit(b);
    else return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <typename T>
std::string Hex(T v) {
    char text[64];
    std::snprintf(text, sizeof text, "%La", static_cast<long double>(v));
    return text;
}

template <typename T>
PixelRecord<T> FreshOrbit(T zr, T zi, int32_t escapeCount) {
    return PixelRecord<T>{zr, zi, escapeCount};
}

// One span of orbits: z per pixel, c per pixel (Mandelbrot) or shared (Julia).
template <typename T>
struct Orbits {
    std::vector<PixelRecord<T>> pixels;
    std::vector<Checkpoint<T>> checkpoints;  // as the set-up leaves them where missing: none yet
    std::vector<T> columnReal;
    T constReal{};
    T constImag{};
    bool julia = false;

    void FillCheckpoints() {
        Checkpoint<T> fresh;
        ClearCheckpoint(fresh);
        checkpoints.resize(pixels.size(), fresh);
    }
};

template <typename T>
bool SameCheckpoint(const Checkpoint<T>& a, const Checkpoint<T>& b) {
    return SameValue(a.R, b.R) && SameValue(a.I, b.I);
}

// Runs the span on `path` and on the reference from `from` to `limit`, with
// and without cycle checks, and reports every difference. Returns the number
// of differing orbits.
template <typename T>
int CompareWithReference(KernelPath path, const Orbits<T>& orbits, int32_t from, int32_t limit,
                         bool checkCycles);

template <typename T>
int CompareWithReference(KernelPath path, const Orbits<T>& orbits, int32_t from, int32_t limit) {
    return CompareWithReference(path, orbits, from, limit, false) + CompareWithReference(path, orbits, from, limit, true);
}

template <typename T>
int CompareWithReference(KernelPath path, const Orbits<T>& orbits, int32_t from, int32_t limit,
                         bool checkCycles) {
    const FpEnvironmentGuard environment;
    const int32_t count = static_cast<int32_t>(orbits.pixels.size());
    Orbits<T> fast = orbits;
    fast.FillCheckpoints();
    Orbits<T> reference = fast;
    std::vector<int32_t> fastCounts(count, -7);
    std::vector<int32_t> referenceCounts(count, -7);
    auto span = [&](Orbits<T>& run, std::vector<int32_t>& counts) {
        OrbitSpan<T> s;
        s.pixels = run.pixels.data();
        s.checkpoints = checkCycles ? run.checkpoints.data() : nullptr;
        s.columnReal = orbits.julia ? nullptr : orbits.columnReal.data();
        s.constReal = orbits.constReal;
        s.constImag = orbits.constImag;
        s.count = count;
        s.from = from;
        s.limit = limit;
        s.counts = counts.data();
        return s;
    };
    IterateSpan(path, span(fast, fastCounts));
    IterateSpanReference(span(reference, referenceCounts));

    int failures = 0;
    for (int32_t x = 0; x < count; ++x) {
        const PixelRecord<T>& f = fast.pixels[x];
        const PixelRecord<T>& r = reference.pixels[x];
        if (fastCounts[x] == referenceCounts[x] && f.EscapeCount == r.EscapeCount && SameValue(f.Zr, r.Zr) &&
            SameValue(f.Zi, r.Zi) &&
            (f.EscapeCount != NotEscaped || SameCheckpoint(fast.checkpoints[x], reference.checkpoints[x])))
            continue;
        if (++failures <= 5) {
            const PixelRecord<T>& in = orbits.pixels[x];
            const T cr = orbits.julia ? orbits.constReal : orbits.columnReal[x];
            ADD_FAILURE() << KernelPathName(path) << (checkCycles ? " checking cycles" : "") << ": z " << Hex(in.Zr) << " " << Hex(in.Zi) << " c " << Hex(cr)
                          << " " << Hex(orbits.constImag) << " steps " << from << ".." << limit << ": count "
                          << fastCounts[x] << " expected " << referenceCounts[x] << ", z " << Hex(f.Zr) << " "
                          << Hex(f.Zi) << " expected " << Hex(r.Zr) << " " << Hex(r.Zi);
        }
    }
    // FPU Extended lets orbits take a few steps alone before they join its
    // interleaved loop; once more with none, so that the loop itself meets
    // every constructed first step.
    if constexpr (std::is_same_v<T, long double>) {
        if (fastkernels::ExtendedSoloSteps() != 0) {
            const int32_t solo = fastkernels::ExtendedSoloSteps();
            fastkernels::SetExtendedSoloSteps(0);
            failures += CompareWithReference(path, orbits, from, limit, checkCycles);
            fastkernels::SetExtendedSoloSteps(solo);
        }
    }
    return failures;
}

// a * b = hi + lo exactly (Dekker), without relying on the C library's fma.
void ExactProduct(double a, double b, double& hi, double& lo) {
    auto split = [](double x, double& h, double& l) {
        const double c = 134217729.0 * x;
        h = c - (c - x);
        l = x - h;
    };
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    hi = a * b;
    lo = ((ah * bh - hi) + ah * bl + al * bh) + al * bl;
}

// ---------------------------------------------------------------------------
// Random orbits

template <typename T>
class OrbitSource {
public:
    explicit OrbitSource(uint64_t seed) : rng_(seed) {}

    T Uniform(double lo, double hi) { return static_cast<T>(std::uniform_real_distribution<double>(lo, hi)(rng_)); }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // A value with a short significand: sums and products of such values
    // are often exact, and exactly on a midpoint.
    T Short(double magnitude) {
        const int bits = 1 + Pick(std::numeric_limits<T>::digits / 2);
        const double k = std::uniform_int_distribution<int64_t>(-(int64_t{1} << bits), int64_t{1} << bits)(rng_);
        return static_cast<T>(k * magnitude / std::ldexp(1.0, bits));
    }

    T Nudge(T v, int ulps) {
        const T toward = ulps > 0 ? std::numeric_limits<T>::infinity() : -std::numeric_limits<T>::infinity();
        for (int k = 0; k < std::abs(ulps); ++k) v = std::nextafter(v, toward);
        return v;
    }

    T Special() {
        const T values[] = {T(0), -T(0), T(2), T(-2), T(1e-30), T(-3e-36), std::numeric_limits<T>::denorm_min(),
                            std::numeric_limits<T>::min(), T(0.5), T(-0.75), T(1e30)};
        return values[Pick(static_cast<int>(sizeof values / sizeof values[0]))];
    }

    // z for a c: generic, short, special, or such that 2 zr zi + ci or
    // zr^2 - zi^2 + cr nearly cancels, or |z|^2 lies at 4.
    void Orbit(T& zr, T& zi, T& cr, T ci, bool freeCr) {
        switch (Pick(8)) {
            case 0:
            case 1:
                zr = Uniform(-2.0, 2.0);
                zi = Uniform(-2.0, 2.0);
                break;
            case 2:
                zr = Short(2.0);
                zi = Short(2.0);
                if (freeCr) cr = Short(2.0);
                break;
            case 3:  // 2 zr zi close to -ci
                zr = Uniform(0.1, 1.4);
                zi = Nudge(static_cast<T>(-static_cast<double>(ci) / (2.0 * static_cast<double>(zr))), Pick(5) - 2);
                break;
            case 4:  // zr^2 - zi^2 close to -cr
                zr = Uniform(-1.4, 1.4);
                zi = Uniform(-1.4, 1.4);
                if (freeCr) cr = Nudge(static_cast<T>(-(static_cast<double>(zr * zr) - static_cast<double>(zi * zi))),
                                       Pick(9) - 4);
                break;
            case 5: {  // |z|^2 at 4
                zr = Uniform(-2.0, 2.0);
                const double rest = 4.0 - static_cast<double>(zr * zr);
                zi = Nudge(static_cast<T>(std::sqrt(rest > 0 ? rest : 0.0)), Pick(7) - 3);
                break;
            }
            case 6:
                zr = Special();
                zi = Pick(2) ? Special() : Uniform(-1.0, 1.0);
                if (freeCr && Pick(2)) cr = Special();
                break;
            default:  // on an orbit that has run for a while
                zr = Uniform(-0.6, 0.4);
                zi = Uniform(-0.6, 0.6);
                break;
        }
    }

    T ConstantImag() {
        switch (Pick(4)) {
            case 0: return Short(1.5);
            case 1: return Special();
            default: return Uniform(-1.5, 1.5);
        }
    }

private:
    std::mt19937_64 rng_;
};

template <typename T>
Orbits<T> RandomOrbits(OrbitSource<T>& source, bool julia, int32_t count) {
    Orbits<T> orbits;
    orbits.julia = julia;
    orbits.constReal = julia ? source.Uniform(-1.5, 0.5) : T(0);
    orbits.constImag = source.ConstantImag();
    orbits.pixels.resize(count);
    orbits.columnReal.resize(count);
    for (int32_t x = 0; x < count; ++x) {
        T cr = julia ? orbits.constReal : source.Uniform(-2.2, 1.0);
        PixelRecord<T>& p = orbits.pixels[x];
        source.Orbit(p.Zr, p.Zi, cr, orbits.constImag, !julia);
        p.EscapeCount = source.Pick(16) == 0 ? 3 : NotEscaped;  // a few escaped earlier: skipped
        orbits.columnReal[x] = cr;
    }
    return orbits;
}

std::vector<KernelPath> FastPaths() {
    return {KernelPath::Baseline, KernelPath::Avx2Fma, KernelPath::Avx512};
}

class FastKernelProperty : public ::testing::TestWithParam<KernelPath> {
protected:
    void SetUp() override {
        if (!KernelPathSupported(GetParam())) GTEST_SKIP() << KernelPathName(GetParam()) << " not available here";
    }

    // Many spans of random orbits, each run a few steps from varying starts.
    template <typename T>
    void RandomSpans(bool julia, int spans, uint64_t seed) {
        OrbitSource<T> source(seed);
        int failures = 0;
        for (int s = 0; s < spans && failures == 0; ++s) {
            const int32_t from = source.Pick(3) == 0 ? 0 : source.Pick(1000);
            const int32_t steps = 1 + source.Pick(6);
            failures += CompareWithReference(GetParam(), RandomOrbits(source, julia, 1 + source.Pick(300)), from,
                                             from + steps);
        }
        EXPECT_EQ(failures, 0);
    }
};

TEST_P(FastKernelProperty, SingleRandomOrbits) {
    RandomSpans<float>(false, 600 * kScale, 11);
    RandomSpans<float>(true, 600 * kScale, 12);
}

TEST_P(FastKernelProperty, DoubleRandomOrbits) {
    RandomSpans<double>(false, 600 * kScale, 21);
    RandomSpans<double>(true, 600 * kScale, 22);
}

TEST_P(FastKernelProperty, ExtendedRandomOrbits) {
    RandomSpans<long double>(false, 150 * kScale, 31);
    RandomSpans<long double>(true, 150 * kScale, 32);
}

TEST_P(FastKernelProperty, FixedRandomOrbitsWrapLikeTheReference) {
    // Any 32-bit pattern is a valid input: products and sums wrap.
    std::mt19937_64 rng(41);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> plane(-(int32_t{5} << 24), int32_t{5} << 24);
    int failures = 0;
    for (int s = 0; s < 500 * kScale && failures == 0; ++s) {
        Orbits<int32_t> orbits;
        const int32_t count = 1 + static_cast<int32_t>(rng() % 300);
        const bool wild = rng() % 4 == 0;
        orbits.constImag = wild ? any(rng) : plane(rng);
        for (int32_t x = 0; x < count; ++x) {
            const int32_t cr = wild ? any(rng) : plane(rng);
            orbits.columnReal.push_back(cr);
            orbits.pixels.push_back(FreshOrbit(cr, orbits.constImag, rng() % 16 == 0 ? 2 : NotEscaped));
        }
        const int32_t from = static_cast<int32_t>(rng() % 100);
        failures += CompareWithReference(GetParam(), orbits, from, from + 1 + static_cast<int32_t>(rng() % 200));
    }
    EXPECT_EQ(failures, 0);
}

// ---------------------------------------------------------------------------
// Constructed inputs

// Orbits whose next coordinate is exactly a rounding midpoint of T, or a few
// units of the extended format (or of T) beside one, through the imaginary
// part (2 zr zi + ci) and through the real part (zr^2 - zi^2 + cr).
template <typename T>
Orbits<T> MidpointOrbits(uint64_t seed, bool viaImag) {
    const FpEnvironmentGuard environment;  // constructions in extended need its 64-bit precision
    using Wide = long double;
    OrbitSource<T> source(seed);
    Orbits<T> orbits;
    orbits.julia = false;
    orbits.constImag = source.Uniform(-1.0, 1.0);
    constexpr int kDigits = std::numeric_limits<T>::digits;
    for (int k = 0; k < 4000; ++k) {
        // Factors with short significands make the products exact or nearly
        // so; the midpoint target is a value of T plus half its ulp, moved
        // by a few extended ulps.
        T zr = source.Short(1.5);
        T zi = source.Short(1.5);
        if (source.Pick(2)) zr = source.Nudge(zr, source.Pick(5) - 2);
        const Wide target = static_cast<Wide>(source.Uniform(-1.5, 1.5));
        const Wide half = std::ldexp(std::abs(target) > 0 ? 1.0L : 0.0L,
                                     std::ilogb(target) - kDigits);  // half an ulp of T at target
        const Wide moved = target + half + std::ldexp(static_cast<Wide>(source.Pick(9) - 4), std::ilogb(target) - 63);
        T cr = source.Uniform(-1.0, 1.0);
        if (viaImag) {
            // ci is shared by the span: place the orbit instead, by zi.
            const Wide needed = moved - static_cast<Wide>(orbits.constImag);
            zi = static_cast<T>(needed / (2.0L * static_cast<Wide>(zr == 0 ? T(1) : zr)));
        } else {
            const Wide squares = static_cast<Wide>(T(zr * zr)) - static_cast<Wide>(T(zi * zi));
            cr = source.Nudge(static_cast<T>(moved - squares), source.Pick(3) - 1);
        }
        orbits.pixels.push_back(FreshOrbit(zr, zi, NotEscaped));
        orbits.columnReal.push_back(cr);
    }
    return orbits;
}

TEST_P(FastKernelProperty, OnAndNextToRoundingMidpoints) {
    int failures = 0;
    for (uint64_t seed = 0; seed < 20 * kScale; ++seed) {
        for (bool viaImag : {true, false}) {
            failures += CompareWithReference(GetParam(), MidpointOrbits<float>(seed, viaImag), 0, 2);
            failures += CompareWithReference(GetParam(), MidpointOrbits<double>(seed, viaImag), 0, 2);
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST_P(FastKernelProperty, DoubleRoundingThroughExtendedIsReproduced) {
    // 2 zr zi + ci where the product rounded to extended, plus ci, rounds to
    // a different double than the exact value does: the intermediate
    // extended rounding decides. Such inputs exist in quantity near
    // cancellation; check the fast path meets some and agrees on all.
    const FpEnvironmentGuard environment;  // constructions in extended need its 64-bit precision
    OrbitSource<double> source(77);
    Orbits<double> orbits;
    orbits.constImag = 0.7450000000000001;
    int doubleRounded = 0;
    while (orbits.pixels.size() < 20000) {
        const double zr = source.Uniform(0.2, 1.2);
        const double zi = source.Nudge(-orbits.constImag / (2.0 * zr), source.Pick(41) - 20);
        const long double viaExtended = 2.0L * zr * zi + orbits.constImag;
        // The exact value: the product as a pair of doubles plus ci.
        double ph;
        double pl;
        ExactProduct(2.0 * zr, zi, ph, pl);
        const long double exact = (static_cast<long double>(ph) + orbits.constImag) + static_cast<long double>(pl);
        if (static_cast<double>(viaExtended) != static_cast<double>(exact)) ++doubleRounded;
        orbits.pixels.push_back(FreshOrbit(zr, zi, NotEscaped));
        orbits.columnReal.push_back(source.Uniform(-1.0, 0.3));
    }
    EXPECT_GT(doubleRounded, 0) << "no input where the extended intermediate matters";
    EXPECT_EQ(CompareWithReference(GetParam(), orbits, 0, 3), 0);
}

TEST_P(FastKernelProperty, SumOfSquaresAtFourOnlyTheExactSumDecides) {
    // zr^2 + zi^2 rounds to exactly 4 in double (and in float): the exact
    // sum, rounded to extended, decides between escape and another step.
    const FpEnvironmentGuard environment;  // constructions in extended need its 64-bit precision
    OrbitSource<double> source(88);
    Orbits<double> dbl;
    Orbits<float> flt;
    dbl.constImag = 0.25;
    flt.constImag = 0.25f;
    while (dbl.pixels.size() < 2000 || flt.pixels.size() < 2000) {
        const double zr = source.Uniform(-2.0, 2.0);
        const double zi = source.Nudge(std::sqrt(std::max(0.0, 4.0 - zr * zr)), source.Pick(5) - 2);
        if (zr * zr + zi * zi == 4.0 && dbl.pixels.size() < 2000) {
            dbl.pixels.push_back(FreshOrbit(zr, zi, NotEscaped));
            dbl.columnReal.push_back(-0.5);
        }
        const float fr = static_cast<float>(zr);
        const float fi = static_cast<float>(zi);
        if (static_cast<double>(fr * fr) + static_cast<double>(fi * fi) == 4.0 && flt.pixels.size() < 2000) {
            flt.pixels.push_back(FreshOrbit(fr, fi, NotEscaped));
            flt.columnReal.push_back(-0.5f);
        }
    }
    EXPECT_EQ(CompareWithReference(GetParam(), dbl, 0, 3), 0);
    EXPECT_EQ(CompareWithReference(GetParam(), flt, 0, 3), 0);
}

TEST_P(FastKernelProperty, DoubleTieOfTheExtendedRoundingHiddenBelowTheConstant) {
    // 2 zr zi rounded to extended is ph + 1023 q (q = 2^-63 of its binade, ph
    // odd), and ci = q/2 - q 2^-50 puts the sum a hair below the extended
    // midpoint ph + 1023.5 q: the reference rounds to ph + 1023 q and then to
    // ph. Adding ci's small bits to the product's in double loses the hair;
    // rounding that tie to even gives ph + 1024 q, a double midpoint, and
    // then ph's odd neighbour. Likewise for zr^2 - zi^2 + cr, negated.
    const FpEnvironmentGuard environment;  // the search rounds as the kernels do
    OrbitSource<double> source(123);
    Orbits<double> imag;
    Orbits<double> real;
    const double q = 0x1p-63;  // products and differences kept in [1, 2)
    imag.constImag = q / 2 - q * 0x1p-50;
    real.constImag = 0.0;
    auto wanted = [&](double ph, double pl) {
        const int64_t steps = std::llround(pl / q);
        int64_t bits;
        std::memcpy(&bits, &ph, sizeof bits);
        return ph >= 1.0 && ph < 2.0 && (bits & 1) == 1 && std::abs(steps) == 1023 && std::abs(pl / q - steps) < 0.4;
    };
    for (int trial = 0; trial < 4'000'000 && (imag.pixels.size() < 50 || real.pixels.size() < 50); ++trial) {
        const double zr = source.Uniform(1.0, 1.4);
        const double zi = source.Uniform(0.5 / zr, 1.0 / zr);
        double ph;
        double pl;
        ExactProduct(2.0 * zr, zi, ph, pl);
        if (wanted(ph, pl) && pl > 0) {
            imag.pixels.push_back(FreshOrbit(zr, zi, NotEscaped));
            imag.columnReal.push_back(-0.5);
        }
        const double r = source.Uniform(1.05, 1.4);
        const double i = source.Uniform(0.0, 0.3);
        const double dh = r * r - i * i;
        const double dl = (r * r - dh) - i * i;
        if (wanted(dh, dl) && dh - r * r == -i * i - dl) {
            real.pixels.push_back(FreshOrbit(r, i, NotEscaped));
            real.columnReal.push_back(dl > 0 ? q / 2 - q * 0x1p-50 : -(q / 2 - q * 0x1p-50));
        }
    }
    ASSERT_GT(imag.pixels.size(), 0u);
    EXPECT_EQ(CompareWithReference(GetParam(), imag, 0, 1), 0);
    EXPECT_EQ(CompareWithReference(GetParam(), real, 0, 1), 0);
}

TEST_P(FastKernelProperty, LanesRetireAndRefillAcrossTheSpan) {
    // Orbits that escape after very different numbers of steps, a long limit
    // and a span start in the middle: every lane is refilled many times.
    Orbits<double> orbits;
    orbits.constImag = 0.1;
    for (int x = 0; x < 517; ++x) {
        const double cr = -2.1 + 2.6 * x / 516.0;
        orbits.columnReal.push_back(cr);
        orbits.pixels.push_back(FreshOrbit(x % 7 == 0 ? 0.3 : 0.0, 0.0, x % 11 == 0 ? 9 : NotEscaped));
    }
    EXPECT_EQ(CompareWithReference(GetParam(), orbits, 40, 3000), 0);
    Orbits<float> single;
    single.julia = true;
    single.constReal = -0.123f;
    single.constImag = 0.745f;
    for (int x = 0; x < 300; ++x) single.pixels.push_back(FreshOrbit(-1.5f + x / 100.0f, 0.05f * (x % 9), NotEscaped));
    EXPECT_EQ(CompareWithReference(GetParam(), single, 0, 2000), 0);
}

TEST_P(FastKernelProperty, LaneEdgesFewPixelsSkippedRunsAndOneStep) {
    // Spans shorter than the lanes, spans whose pixels all escaped earlier,
    // a single step, and orbits reaching the limit in the step where their
    // neighbours escape: every way a lane can be filled, retired or parked.
    OrbitSource<double> source(61);
    int failures = 0;
    for (int32_t count = 1; count <= 40; ++count) {
        for (int variant = 0; variant < 3; ++variant) {
            Orbits<double> orbits;
            orbits.constImag = variant == 2 ? 0.0 : 0.3;
            for (int32_t x = 0; x < count; ++x) {
                const double cr = -2.0 + 2.5 * x / 40.0;
                orbits.columnReal.push_back(cr);
                const bool escapedEarlier = variant == 1 || (variant == 0 && x % 3 == 1);
                orbits.pixels.push_back(FreshOrbit(0.0, 0.0, escapedEarlier ? 5 : NotEscaped));
            }
            Orbits<float> single;
            single.constImag = static_cast<float>(orbits.constImag);
            for (const auto& p : orbits.pixels) single.pixels.push_back(FreshOrbit(0.0f, 0.0f, p.EscapeCount));
            for (double cr : orbits.columnReal) single.columnReal.push_back(static_cast<float>(cr));
            Orbits<int32_t> fixed;
            fixed.constImag = ToFixed(orbits.constImag);
            for (double cr : orbits.columnReal) {
                fixed.columnReal.push_back(ToFixed(cr));
                fixed.pixels.push_back(FreshOrbit(fixed.columnReal.back(), fixed.constImag, NotEscaped));
            }
            Orbits<long double> extended;
            extended.constImag = orbits.constImag;
            for (const auto& p : orbits.pixels) extended.pixels.push_back(FreshOrbit(0.0L, 0.0L, p.EscapeCount));
            for (double cr : orbits.columnReal) extended.columnReal.push_back(cr);
            const int32_t from = source.Pick(4);
            for (int32_t limit : {from + 1, from + 2, from + 7, from + 300}) {
                failures += CompareWithReference(GetParam(), orbits, from, limit);
                failures += CompareWithReference(GetParam(), single, from, limit);
                failures += CompareWithReference(GetParam(), fixed, from, limit);
                failures += CompareWithReference(GetParam(), extended, from, limit);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST_P(FastKernelProperty, ExtendedOrbitsJoinAndLeaveTheInterleavedLoop) {
    // FPU Extended steps three orbits together once they survive a few steps
    // alone, and rebuilds each constant from two doubles. Long and short
    // orbits in every order make each of the three places escape, reach the
    // limit and be refilled or left empty; constants with no two-double form
    // (tiny, huge, NaN, infinite), signed zeros, and sums of squares that
    // are exactly 4 as a double but not in extended must still give the
    // reference's orbits.
    const FpEnvironmentGuard environment;  // constructions in extended need its 64-bit precision
    OrbitSource<long double> source(71);
    const long double awkward[] = {0.0L, -0.0L, 0x1p-1070L, -0x1.23456789abcdef01p-1040L, 0x1p-16000L,
                                   0x1.fp+1100L, std::numeric_limits<long double>::quiet_NaN(),
                                   std::numeric_limits<long double>::infinity(), 0x1.0000000000000001p-1L};
    const int kAwkward = static_cast<int>(sizeof awkward / sizeof awkward[0]);
    int failures = 0;
    for (int s = 0; s < 40 * kScale && failures == 0; ++s) {
        Orbits<long double> orbits;
        orbits.julia = source.Pick(4) == 0;
        orbits.constReal = orbits.julia ? source.Uniform(-0.8, 0.3) : 0.0L;
        orbits.constImag = source.Pick(8) == 0 ? awkward[source.Pick(kAwkward)] : source.Uniform(-0.7, 0.7);
        const int32_t count = 1 + source.Pick(24);
        for (int32_t x = 0; x < count; ++x) {
            long double zr = 0.0L;
            long double zi = 0.0L;
            long double cr;
            switch (source.Pick(6)) {
                case 0: cr = source.Uniform(-0.7, 0.2); break;                    // inside: runs to the limit
                case 1: cr = source.Uniform(-2.5, 0.6); break;                    // anything
                case 2: cr = awkward[source.Pick(kAwkward)]; break;               // no two-double form
                case 3: {                                                          // |z|^2 = 4 as a double
                    zr = source.Uniform(-2.0, 2.0);
                    const double rest = 4.0 - static_cast<double>(zr * zr);
                    zi = source.Nudge(std::sqrt(static_cast<long double>(rest > 0 ? rest : 0.0)), source.Pick(9) - 4);
                    cr = source.Uniform(-0.5, 0.5);
                    break;
                }
                default: cr = source.Uniform(-0.76, -0.74); break;                // near the boundary: long, then out
            }
            orbits.columnReal.push_back(cr);
            orbits.pixels.push_back(FreshOrbit(zr, zi, source.Pick(10) == 0 ? 1 : NotEscaped));
        }
        const int32_t from = source.Pick(3) == 0 ? 0 : source.Pick(50);
        failures += CompareWithReference(GetParam(), orbits, from, from + 1 + source.Pick(400));
    }
    EXPECT_EQ(failures, 0);
}

// Orbits that settle on a cycle, slowly or not within the limits, passed
// through several passes: every path stops each cycling orbit where the
// reference does, with the same values and checkpoint. Against the reference
// without checks, a cycling orbit's count is the same (inside) and the value
// the unchecked orbit reached lies on the cycle through the stopped value;
// every other orbit is exactly as without checks.
template <typename T>
class CyclingSpans {
public:
    CyclingSpans(KernelPath path, uint64_t seed) : path_(path), source_(seed) {}

    int Run() {
        const FpEnvironmentGuard environment;
        Orbits<T> orbits;
        orbits.julia = !std::is_same_v<T, int32_t> && source_.Pick(4) == 0;
        constexpr double kPi = 3.14159265358979323846;
        // A Julia constant inside the period-2 bulb keeps most of its plane attracted.
        orbits.constReal = orbits.julia ? Number(-1.0 + 0.2 * (source_.Uniform(-1, 1))) : T{};
        orbits.constImag = Number(orbits.julia ? 0.1 * static_cast<double>(source_.Uniform(-1, 1))
                                               : static_cast<double>(source_.Uniform(-0.05, 0.05)));
        for (int x = 0; x < 40; ++x) {
            double cr;
            switch (source_.Pick(4)) {
                case 0: cr = static_cast<double>(source_.Uniform(-1.2, -0.8)); break;   // period-2 bulb
                case 1: cr = static_cast<double>(source_.Uniform(-0.5, 0.2)); break;    // main cardioid
                case 2: {  // just inside or outside the cardioid at internal angle 1/17: slow, or period 17
                    const double t = 2 * kPi / 17, r = source_.Pick(2) == 0 ? 0.995 : 1.02;
                    cr = r * std::cos(t) / 2 - r * r * std::cos(2 * t) / 4;
                    break;
                }
                default: cr = -0.75 + static_cast<double>(source_.Uniform(-1e-3, 1e-3)); break;  // parabolic: never settles
            }
            orbits.columnReal.push_back(Number(cr));
            const T start = std::is_same_v<T, int32_t> || orbits.julia ? Number(cr) : T{};
            orbits.pixels.push_back(FreshOrbit(start, std::is_same_v<T, int32_t> ? orbits.constImag : T{}, NotEscaped));
        }
        orbits.FillCheckpoints();
        Orbits<T> fast = orbits, checked = orbits, plain = orbits;
        int failures = 0;
        int32_t from = 0;
        for (int pass = 0; pass < 4; ++pass) {
            const int32_t limit = from + 1 + source_.Pick(1500);
            Iterate(path_, fast, from, limit, true);
            Iterate(KernelPath::Reference, checked, from, limit, true);
            Iterate(KernelPath::Reference, plain, from, limit, false);
            for (size_t x = 0; x < orbits.pixels.size(); ++x) {
                const PixelRecord<T>& f = fast.pixels[x];
                const PixelRecord<T>& c = checked.pixels[x];
                const PixelRecord<T>& p = plain.pixels[x];
                const bool fastCycling = IsCycling(fast.checkpoints[x]);
                const bool cycling = IsCycling(checked.checkpoints[x]);
                const bool same = counts_[0][x] == counts_[1][x] && f.EscapeCount == c.EscapeCount &&
                                  SameValue(f.Zr, c.Zr) && SameValue(f.Zi, c.Zi) &&
                                  (c.EscapeCount != NotEscaped || SameCheckpoint(fast.checkpoints[x], checked.checkpoints[x]));
                const bool asPlain = counts_[1][x] == counts_[2][x] && c.EscapeCount == p.EscapeCount &&
                                     (cycling ? OnCycle(orbits, x, c, p) : SameValue(c.Zr, p.Zr) && SameValue(c.Zi, p.Zi));
                cycling_ += cycling ? 1 : 0;
                if (same && asPlain) continue;
                if (++failures <= 5)
                    ADD_FAILURE() << KernelPathName(path_) << " pixel " << x << " c " << Hex(orbits.columnReal[x])
                                  << " steps " << from << ".." << limit << ": count " << counts_[0][x] << "/"
                                  << counts_[1][x] << "/" << counts_[2][x] << " cycling " << fastCycling << "/"
                                  << cycling << " z " << Hex(f.Zr) << " " << Hex(c.Zr) << " " << Hex(p.Zr);
            }
            from = limit;
        }
        return failures;
    }

    int Cycling() const { return cycling_; }

private:
    static T Number(double v) {
        if constexpr (std::is_same_v<T, int32_t>) return ToFixed(v);
        else return static_cast<T>(v);
    }

    T Cr(const Orbits<T>& o, size_t x) const { return o.julia ? o.constReal : o.columnReal[x]; }

    bool Step(const Orbits<T>& o, size_t x, T& r, T& i) const {
        if constexpr (std::is_same_v<T, int32_t>) return FixedStep(r, i, Cr(o, x), o.constImag, ToFixed(4.0L));
        else return ReferenceStep(r, i, Cr(o, x), o.constImag);
    }

    // Whether the unchecked orbit's value comes up within a few thousand
    // steps of the stopped one's: both lie on the same cycle.
    bool OnCycle(const Orbits<T>& o, size_t x, const PixelRecord<T>& stopped, const PixelRecord<T>& unchecked) const {
        T r = stopped.Zr, i = stopped.Zi;
        for (int k = 0; k < 5000; ++k) {
            if (SameValue(r, unchecked.Zr) && SameValue(i, unchecked.Zi)) return true;
            if (!Step(o, x, r, i)) return false;
        }
        return false;
    }

    void Iterate(KernelPath path, Orbits<T>& o, int32_t from, int32_t limit, bool checks) {
        const int which = path != KernelPath::Reference ? 0 : checks ? 1 : 2;
        counts_[which].assign(o.pixels.size(), -7);
        OrbitSpan<T> s;
        s.pixels = o.pixels.data();
        s.columnReal = o.julia ? nullptr : o.columnReal.data();
        s.constReal = o.constReal;
        s.constImag = o.constImag;
        s.count = static_cast<int32_t>(o.pixels.size());
        s.from = from;
        s.limit = limit;
        s.counts = counts_[which].data();
        s.checkpoints = checks ? o.checkpoints.data() : nullptr;
        if (path == KernelPath::Reference) IterateSpanReference(s);
        else IterateSpan(path, s);
    }

    KernelPath path_;
    OrbitSource<T> source_;
    std::vector<int32_t> counts_[3];
    int cycling_ = 0;
};

TEST_P(FastKernelProperty, CyclingOrbitsStopWhereTheReferenceStopsThem) {
    int failures = 0, cycling[4] = {0, 0, 0, 0};
    for (int s = 0; s < 3 * kScale && failures == 0; ++s) {
        CyclingSpans<int32_t> fixed(GetParam(), 100 + s);
        CyclingSpans<float> single(GetParam(), 200 + s);
        CyclingSpans<double> dbl(GetParam(), 300 + s);
        CyclingSpans<long double> extended(GetParam(), 400 + s);
        failures += fixed.Run() + single.Run() + dbl.Run() + extended.Run();
        // The interleaved loop itself meets every first step, too.
        const int32_t solo = fastkernels::ExtendedSoloSteps();
        fastkernels::SetExtendedSoloSteps(0);
        CyclingSpans<long double> loopOnly(GetParam(), 500 + s);
        failures += loopOnly.Run();
        fastkernels::SetExtendedSoloSteps(solo);
        cycling[0] += fixed.Cycling();
        cycling[1] += single.Cycling();
        cycling[2] += dbl.Cycling();
        cycling[3] += extended.Cycling() + loopOnly.Cycling();
    }
    EXPECT_EQ(failures, 0);
    for (int t = 0; t < 4; ++t) EXPECT_GT(cycling[t], 0) << "type " << t << ": no orbit was found cycling";
}

INSTANTIATE_TEST_SUITE_P(Paths, FastKernelProperty, ::testing::ValuesIn(FastPaths()),
                         [](const ::testing::TestParamInfo<KernelPath>& info) {
                             switch (info.param) {
                                 case KernelPath::Baseline: return std::string("Baseline");
                                 case KernelPath::Avx2Fma: return std::string("Avx2Fma");
                                 case KernelPath::Avx512: return std::string("Avx512");
                                 default: return std::string("Reference");
                             }
                         });

}  // namespace
