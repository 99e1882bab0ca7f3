#include "engine/DeepZoom.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <new>
#include <thread>
#include <vector>

#include "engine/DeepBla.h"
#include "engine/DeepScaled.h"
#include "engine/FpEnvironment.h"
#include "engine/RowPool.h"

namespace {

// One pixel's difference orbit in the double lanes: its value is
// Z_m + (zr, zi) after `n` steps (n is the row's limit while it is inside).
using DeepPixel = PixelOf<double>;

// The reference orbit as the rows read it: Z_0 .. Z_last as doubles, real
// and imaginary parts in arrays of their own (a step loads one of each).
struct ReferenceTable {
    const double* pairs;  // Re Z_m and Im Z_m side by side: a lane loads both at once
    const double* reLow;  // Z_m - re[m], rounded: read only when a pixel rebases
    const double* imLow;
    int32_t last;  // index of the last stored value
};

// A lane: one pixel's orbit under way in the interleaved loop.
struct Lane {
    double zr, zi;    // difference
    double cr, ci;    // dc: the pixel's offset from the centre
    int32_t m;        // reference index
    int32_t n;        // steps taken
    int32_t x;        // column, -1: idle
};

// The one step, every rounding in this order (each operation rounds to
// double; the build never contracts to fused multiply-adds):
//   w      = (Zr_m + zr, Zi_m + zi)             the orbit's full value z_n
//   |w|^2  = wr*wr + wi*wi                       escaped when not <= 4: count n
//   |z|^2  = zr*zr + zi*zi
//   rebase when |w|^2 < |z|^2 or m is the last stored index:
//            z = (Zr_m + zr) + ZrLow_m (likewise imaginary), m = 0,
//            w = z (Z_0 = 0)
//   a      = (Zr_m + wr, Zi_m + wi)              = 2 Z_m + z
//   zr'    = (ar*zr - ai*zi) + dcr
//   zi'    = (ar*zi + ai*zr) + dci
//   m += 1, n += 1
// The fast loop below takes the same step where no lane escapes or rebases,
// and hands every other step to this function, so both give the same bits.
// False when the orbit escaped (its count is lane.n).
inline bool FullStep(Lane& lane, const ReferenceTable& ref, int64_t& rebases) {
    double wr = ref.pairs[2 * lane.m] + lane.zr;
    double wi = ref.pairs[2 * lane.m + 1] + lane.zi;
    const double wMagnitude = wr * wr + wi * wi;
    if (!(wMagnitude <= 4.0)) return false;
    const double zMagnitude = lane.zr * lane.zr + lane.zi * lane.zi;
    if (wMagnitude < zMagnitude || lane.m == ref.last) {
        // The new difference is the full value, which may be far smaller
        // than Z_m: the reference's second double keeps the error relative
        // to it rather than to Z_m, which a close approach would magnify.
        lane.zr = wr + ref.reLow[lane.m];
        lane.zi = wi + ref.imLow[lane.m];
        lane.m = 0;
        ++rebases;
        wr = lane.zr;
        wi = lane.zi;
    }
    const double ar = ref.pairs[2 * lane.m] + wr;
    const double ai = ref.pairs[2 * lane.m + 1] + wi;
    const double newR = (ar * lane.zr - ai * lane.zi) + lane.cr;
    const double newI = (ar * lane.zi + ai * lane.zr) + lane.ci;
    lane.zr = newR;
    lane.zi = newI;
    ++lane.m;
    ++lane.n;
    return true;
}

// Eight orbits at once, in vectors of W lanes (two on SSE2, four on AVX2,
// eight on AVX-512): a
// step is a chain of about six dependent operations, and eight independent
// chains keep the floating-point units busy through each one's latency.
// Vector arithmetic rounds each element exactly as the scalar operation
// would, so the paths give the same bits.
constexpr int kLanes = 8;
typedef double Pair __attribute__((vector_size(16)));
typedef int64_t PairMask __attribute__((vector_size(16)));
typedef double Quad __attribute__((vector_size(32)));
typedef int64_t QuadMask __attribute__((vector_size(32)));

// The reference values of W lanes, lane j at pairs + 2 * m_j + offset:
// one 16-byte load per lane, then interleaved into the real and imaginary
// vectors (unpacking within each 16-byte half, as every width's shuffles
// do). Passed by reference, as a wide vector by value would change the
// calling convention.
template <typename V>
[[gnu::always_inline]] inline void LoadReference(V& re, V& im, const double* const* lane, ptrdiff_t offset) {
    constexpr int W = sizeof(V) / sizeof(double);
    Pair p[W];
    for (int j = 0; j < W; ++j) std::memcpy(&p[j], lane[j] + offset, sizeof(Pair));
    if constexpr (W == 2) {
        re = __builtin_shufflevector(p[0], p[1], 0, 2);
        im = __builtin_shufflevector(p[0], p[1], 1, 3);
    } else if constexpr (W == 4) {
        const V even = __builtin_shufflevector(p[0], p[2], 0, 1, 2, 3);
        const V odd = __builtin_shufflevector(p[1], p[3], 0, 1, 2, 3);
        re = __builtin_shufflevector(even, odd, 0, 4, 2, 6);
        im = __builtin_shufflevector(even, odd, 1, 5, 3, 7);
    } else {
        static_assert(W == 8);
        const Quad evenLow = __builtin_shufflevector(p[0], p[2], 0, 1, 2, 3);
        const Quad evenHigh = __builtin_shufflevector(p[4], p[6], 0, 1, 2, 3);
        const Quad oddLow = __builtin_shufflevector(p[1], p[3], 0, 1, 2, 3);
        const Quad oddHigh = __builtin_shufflevector(p[5], p[7], 0, 1, 2, 3);
        const V even = __builtin_shufflevector(evenLow, evenHigh, 0, 1, 2, 3, 4, 5, 6, 7);
        const V odd = __builtin_shufflevector(oddLow, oddHigh, 0, 1, 2, 3, 4, 5, 6, 7);
        re = __builtin_shufflevector(even, odd, 0, 8, 2, 10, 4, 12, 6, 14);
        im = __builtin_shufflevector(even, odd, 1, 9, 3, 11, 5, 13, 7, 15);
    }
}

// Steps every lane `steps` times (each has at least that many steps before
// its limit and before the reference's end), stopping before the first step
// in which any lane would escape or rebase. Returns the steps taken.
template <typename V, typename Mask>
[[gnu::always_inline]] inline int32_t QuietSteps(Lane* lanes, const ReferenceTable& ref, int32_t steps) {
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int G = kLanes / W;
    V zr[G] = {}, zi[G] = {}, cr[G] = {}, ci[G] = {};
    const double* at[kLanes];
    for (int g = 0; g < G; ++g)
        for (int j = 0; j < W; ++j) {
            const Lane& lane = lanes[g * W + j];
            zr[g][j] = lane.zr, zi[g][j] = lane.zi, cr[g][j] = lane.cr, ci[g][j] = lane.ci;
            at[g * W + j] = ref.pairs + 2 * static_cast<ptrdiff_t>(lane.m);
        }
    V four;
    for (int j = 0; j < W; ++j) four[j] = 4.0;
    int32_t done = 0;
    for (; done < steps; ++done) {
        V Zr[G], Zi[G], wr[G], wi[G];
        Mask event = {};
        for (int g = 0; g < G; ++g) {
            LoadReference(Zr[g], Zi[g], at + g * W, 2 * static_cast<ptrdiff_t>(done));
            wr[g] = Zr[g] + zr[g];
            wi[g] = Zi[g] + zi[g];
            const V wMagnitude = wr[g] * wr[g] + wi[g] * wi[g];
            const V zMagnitude = zr[g] * zr[g] + zi[g] * zi[g];
            event |= ~(wMagnitude <= four) | (wMagnitude < zMagnitude);
        }
        int64_t any = 0;
        for (int j = 0; j < W; ++j) any |= event[j];
        if (any != 0) break;
        for (int g = 0; g < G; ++g) {
            const V ar = Zr[g] + wr[g];
            const V ai = Zi[g] + wi[g];
            const V newR = (ar * zr[g] - ai * zi[g]) + cr[g];
            const V newI = (ar * zi[g] + ai * zr[g]) + ci[g];
            zr[g] = newR;
            zi[g] = newI;
        }
    }
    for (int g = 0; g < G; ++g)
        for (int j = 0; j < W; ++j) {
            Lane& lane = lanes[g * W + j];
            lane.zr = zr[g][j], lane.zi = zi[g][j];
            lane.m += done;
            lane.n += done;
        }
    return done;
}

// The same for the rescaled lanes (see ScaledFullStep): the double lanes'
// loop with the scale's product in front and two more events, a value too
// near zero for doubles and a w grown past its scale.
template <typename V, typename Mask>
[[gnu::always_inline]] inline int32_t QuietScaledSteps(ScaledLane* lanes, const ReferenceTable& ref, int32_t steps) {
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr int G = kLanes / W;
    V wr[G] = {}, wi[G] = {}, dr[G] = {}, di[G] = {}, s[G] = {}, grow[G] = {};
    const double* at[kLanes];
    for (int g = 0; g < G; ++g)
        for (int j = 0; j < W; ++j) {
            const ScaledLane& lane = lanes[g * W + j];
            wr[g][j] = lane.wr, wi[g][j] = lane.wi, dr[g][j] = lane.dr, di[g][j] = lane.di;
            s[g][j] = lane.s, grow[g][j] = lane.growLimit;
            at[g * W + j] = ref.pairs + 2 * static_cast<ptrdiff_t>(lane.m);
        }
    V four, tiny;
    for (int j = 0; j < W; ++j) four[j] = 4.0, tiny[j] = kScaledTinyMagnitude;
    int32_t done = 0;
    for (; done < steps; ++done) {
        V Zr[G], Zi[G], Wr[G], Wi[G];
        Mask event = {};
        for (int g = 0; g < G; ++g) {
            LoadReference(Zr[g], Zi[g], at + g * W, 2 * static_cast<ptrdiff_t>(done));
            const V ur = s[g] * wr[g];
            const V ui = s[g] * wi[g];
            Wr[g] = Zr[g] + ur;
            Wi[g] = Zi[g] + ui;
            const V wMagnitude = Wr[g] * Wr[g] + Wi[g] * Wi[g];
            const V zMagnitude = ur * ur + ui * ui;
            const V scaledMagnitude = wr[g] * wr[g] + wi[g] * wi[g];
            event |= ~(wMagnitude <= four) | (wMagnitude < tiny) | (wMagnitude < zMagnitude) |
                     (scaledMagnitude > grow[g]);
        }
        int64_t any = 0;
        for (int j = 0; j < W; ++j) any |= event[j];
        if (any != 0) break;
        for (int g = 0; g < G; ++g) {
            const V ar = Zr[g] + Wr[g];
            const V ai = Zi[g] + Wi[g];
            const V newR = (ar * wr[g] - ai * wi[g]) + dr[g];
            const V newI = (ar * wi[g] + ai * wr[g]) + di[g];
            wr[g] = newR;
            wi[g] = newI;
        }
    }
    for (int g = 0; g < G; ++g)
        for (int j = 0; j < W; ++j) {
            ScaledLane& lane = lanes[g * W + j];
            lane.wr = wr[g][j], lane.wi = wi[g][j];
            lane.m += done;
            lane.n += done;
        }
    return done;
}

using QuietStepsFunction = int32_t (*)(Lane*, const ReferenceTable&, int32_t);
using QuietScaledStepsFunction = int32_t (*)(ScaledLane*, const ReferenceTable&, int32_t);

struct QuietPath {
    QuietStepsFunction doubles;
    QuietScaledStepsFunction scaled;
};

#if defined(__x86_64__) || defined(__i386__)
// No "fma" in the targets: the wider paths must not fuse either.
typedef double Octet __attribute__((vector_size(64)));
typedef int64_t OctetMask __attribute__((vector_size(64)));

[[gnu::target("avx512f")]] int32_t QuietStepsAvx512(Lane* lanes, const ReferenceTable& ref, int32_t steps) {
    return QuietSteps<Octet, OctetMask>(lanes, ref, steps);
}
[[gnu::target("avx512f")]] int32_t QuietScaledStepsAvx512(ScaledLane* lanes, const ReferenceTable& ref,
                                                          int32_t steps) {
    return QuietScaledSteps<Octet, OctetMask>(lanes, ref, steps);
}
[[gnu::target("avx2")]] int32_t QuietStepsAvx2(Lane* lanes, const ReferenceTable& ref, int32_t steps) {
    return QuietSteps<Quad, QuadMask>(lanes, ref, steps);
}
[[gnu::target("avx2")]] int32_t QuietScaledStepsAvx2(ScaledLane* lanes, const ReferenceTable& ref, int32_t steps) {
    return QuietScaledSteps<Quad, QuadMask>(lanes, ref, steps);
}
#endif

int32_t QuietStepsSse2(Lane* lanes, const ReferenceTable& ref, int32_t steps) {
    return QuietSteps<Pair, PairMask>(lanes, ref, steps);
}
int32_t QuietScaledStepsSse2(ScaledLane* lanes, const ReferenceTable& ref, int32_t steps) {
    return QuietScaledSteps<Pair, PairMask>(lanes, ref, steps);
}

// No quiet steps at all: every step the full one, lane after lane (the
// benchmark's measure of what the vectors gain).
int32_t NoQuietSteps(Lane*, const ReferenceTable&, int32_t) { return 0; }
int32_t NoQuietScaledSteps(ScaledLane*, const ReferenceTable&, int32_t) { return 0; }

// The widest loops this processor runs; QUAXEL_DEEP_PATH=sse2, avx2 or
// avx512 asks for a narrower one (the tests compare them all), =scalar for
// none.
QuietPath ChooseQuietPath() {
    const char* asked = std::getenv("QUAXEL_DEEP_PATH");
    const std::string wanted = asked != nullptr ? asked : "avx512";
    if (wanted == "scalar") return QuietPath{NoQuietSteps, NoQuietScaledSteps};
#if defined(__x86_64__) || defined(__i386__)
    if (wanted == "avx512" && __builtin_cpu_supports("avx512f"))
        return QuietPath{QuietStepsAvx512, QuietScaledStepsAvx512};
    if ((wanted == "avx512" || wanted == "avx2") && __builtin_cpu_supports("avx2"))
        return QuietPath{QuietStepsAvx2, QuietScaledStepsAvx2};
#endif
    return QuietPath{QuietStepsSse2, QuietScaledStepsSse2};
}

// The two kinds of lanes, as the row loop drives them: making a lane of a
// stored pixel, storing it back, and the full and quiet steps.
struct DoubleLanes {
    using LaneType = Lane;
    using PixelType = DeepPixel;
    ReferenceTable ref;
    QuietStepsFunction quiet;

    Lane Make(const DeepPixel& pixel, double cr, double ci, int32_t n, int32_t x) const {
        return Lane{pixel.zr, pixel.zi, cr, ci, pixel.m, n, x};
    }
    static DeepPixel Stored(const Lane& lane, bool escaped) {
        return DeepPixel{lane.zr, lane.zi, lane.m, escaped ? lane.n : NotEscaped};
    }
    bool Full(Lane& lane, int64_t& rebases) const { return FullStep(lane, ref, rebases); }
    int32_t Quiet(Lane* lanes, int32_t steps) const { return quiet(lanes, ref, steps); }
};

struct ScaledLanes {
    using LaneType = ScaledLane;
    using PixelType = ScaledPixel;
    ReferenceTable ref;
    ScaledContext context;
    QuietScaledStepsFunction quiet;

    ScaledLane Make(const ScaledPixel& pixel, double cr, double ci, int32_t n, int32_t x) const {
        ScaledLane lane{pixel.wr, pixel.wi, 0.0, 0.0, 0.0, 0.0, cr, ci, 0, pixel.m, n, x};
        if (pixel.k == kScaleUnset) SetScale(lane, WideDouble{}, WideDouble{}, context);
        else TakeScale(lane, pixel.k, context);
        return lane;
    }
    static ScaledPixel Stored(const ScaledLane& lane, bool escaped) {
        return ScaledPixel{lane.wr, lane.wi, lane.m, escaped ? lane.n : NotEscaped, lane.k};
    }
    bool Full(ScaledLane& lane, int64_t& rebases) const { return ScaledFullStep(lane, context, rebases); }
    int32_t Quiet(ScaledLane* lanes, int32_t steps) const { return quiet(lanes, ref, steps); }
};

// For the length of the deep loop only: flush-to-zero and denormals-are-zero
// on top of the engine's environment. Squares of differences near the
// smallest spacings fall below the normal range, where every operation would
// otherwise take a slow microcode path; their contribution is below a
// double's precision of any value they are added to. Every thread runs under
// the same words, so the bytes do not depend on the thread count.
class DeepLoopEnvironment {
public:
    DeepLoopEnvironment() {
        FpControlWords words = ReadFpControlWords();
        words.mxcsr |= 0x8000u | 0x0040u;
        WriteFpControlWords(words);
    }

private:
    FpEnvironmentGuard engine_;  // constructed first: the caller's words come back last
};

// Z <- Z^2 + C, each operation rounded to nearest at the registers'
// precision, in this order (a shared reference takes the same steps):
//   |Z|^2 = Zr^2 + Zi^2; false, Z kept, when it is above 4;
//   Zr' = (Zr^2 - Zi^2) + Cr,  Zi' = 2 (Zr Zi) + Ci.
bool NextReferenceValue(BigFloat& zr, BigFloat& zi, mpfr_srcptr cr, mpfr_srcptr ci, BigFloat& squareR,
                        BigFloat& squareI, BigFloat& tempR, BigFloat& tempI) {
    mpfr_sqr(squareR.get(), zr.get(), MPFR_RNDN);
    mpfr_sqr(squareI.get(), zi.get(), MPFR_RNDN);
    mpfr_add(tempR.get(), squareR.get(), squareI.get(), MPFR_RNDN);
    if (mpfr_cmp_ui(tempR.get(), 4) > 0) return false;
    mpfr_sub(tempR.get(), squareR.get(), squareI.get(), MPFR_RNDN);
    mpfr_add(tempR.get(), tempR.get(), cr, MPFR_RNDN);
    mpfr_mul(tempI.get(), zr.get(), zi.get(), MPFR_RNDN);
    mpfr_mul_2ui(tempI.get(), tempI.get(), 1, MPFR_RNDN);
    mpfr_add(zi.get(), tempI.get(), ci, MPFR_RNDN);
    mpfr_swap(zr.get(), tempR.get());
    return true;
}

// Copies Z_0 .. Z_count-1 of one stored form.
template <typename T>
void CopyReference(ReferenceOf<T>& to, const ReferenceOf<T>& from, int32_t count) {
    const size_t n = static_cast<size_t>(count);
    std::copy(from.re.get(), from.re.get() + n, to.re.get());
    std::copy(from.im.get(), from.im.get() + n, to.im.get());
    std::copy(from.reLow.get(), from.reLow.get() + n, to.reLow.get());
    std::copy(from.imLow.get(), from.imLow.get() + n, to.imLow.get());
}

// What one thread's rows add to the statistics.
struct RowFigures {
    int64_t steps = 0;
    int64_t rebases = 0;
    int64_t tableSteps = 0;
    int64_t tableUses = 0;
};

// Magnitudes in each pixel number, for the entries' radii.
inline double Abs(double value) { return __builtin_fabs(value); }
inline long double Abs(long double value) { return __builtin_fabsl(value); }
inline WideDouble Abs(WideDouble value) { return WideDouble{__builtin_fabs(value.m), value.e}; }

// A difference as WideDouble (long double rounded to double's 53 bits, as
// the table's entries are).
inline WideDouble WideFrom(double value) { return scaled_detail::WideOf(value); }
inline WideDouble WideFrom(long double value) {
    if (value == 0.0L) return WideDouble{};
    int exponent = 0;
    const long double mantissa = __builtin_frexpl(value, &exponent);
    return Normalised(static_cast<double>(mantissa), exponent);
}
inline WideDouble WideFrom(WideDouble value) { return value; }

// z' = A z + B dc, every rounding in this order.
template <typename T, typename Entry>
inline void TakeEntry(const Entry& e, T& zr, T& zi, const T& cr, const T& ci) {
    const T newR = (e.ar * zr - e.ai * zi) + (e.br * cr - e.bi * ci);
    const T newI = (e.ar * zi + e.ai * zr) + (e.br * ci + e.bi * cr);
    zr = newR;
    zi = newI;
}

}  // namespace

struct DeepReference::Orbit {
    BigFloat re, im;  // C
    BigFloat zr, zi;  // the last value computed
    ReferenceOf<double> doubles;
    ReferenceOf<long double> extended;
    ReferenceOf<WideDouble> wide;
    ScaledReference scaled;
    bool has[4] = {false, false, false, false};  // by DeepDifference
    int32_t last = 0;
    bool escaped = false;
    double seconds = 0.0;

    bool Has(DeepDifference form) const { return has[static_cast<int>(form)]; }
};

DeepReference::DeepReference() = default;
DeepReference::~DeepReference() = default;

bool DeepReference::Compute(const BigFloat& re, const BigFloat& im, int32_t end, const std::vector<DeepDifference>& forms,
                            std::string& error) {
    orbit_.reset();
    const auto started = std::chrono::steady_clock::now();
    auto orbit = std::unique_ptr<Orbit>(new (std::nothrow) Orbit);
    const int64_t wanted = static_cast<int64_t>(std::max(end, 0)) + 1;
    bool grown = orbit != nullptr;
    for (const DeepDifference form : forms) {
        if (!grown || orbit->Has(form)) continue;
        orbit->has[static_cast<int>(form)] = true;
        switch (form) {
        case DeepDifference::Double: grown = orbit->doubles.Grow(wanted, 0, false); break;
        case DeepDifference::Scaled: grown = orbit->scaled.Grow(wanted, 0, false); break;
        case DeepDifference::Extended: grown = orbit->extended.Grow(wanted, 0, false); break;
        case DeepDifference::Wide: grown = orbit->wide.Grow(wanted, 0, false); break;
        }
    }
    if (!grown) {
        error = "not enough memory for a shared reference orbit of " + std::to_string(end) + " steps";
        return false;
    }
    const mpfr_prec_t precision = re.Precision();
    orbit->re = re;
    orbit->im = im;
    BigFloat squareR(precision), squareI(precision), tempR(precision), tempI(precision);
    orbit->zr = BigFloat(precision);
    orbit->zi = BigFloat(precision);
    auto store = [&](int32_t index) {
        if (orbit->Has(DeepDifference::Double))
            ::StoreReference(orbit->doubles, index, orbit->zr.get(), orbit->zi.get(), squareR);
        if (orbit->Has(DeepDifference::Scaled)) orbit->scaled.Store(index, orbit->zr.get(), orbit->zi.get(), squareR);
        if (orbit->Has(DeepDifference::Extended))
            ::StoreReference(orbit->extended, index, orbit->zr.get(), orbit->zi.get(), squareR);
        if (orbit->Has(DeepDifference::Wide))
            ::StoreReference(orbit->wide, index, orbit->zr.get(), orbit->zi.get(), squareR);
    };
    store(0);
    while (orbit->last < end) {
        if (!NextReferenceValue(orbit->zr, orbit->zi, orbit->re.get(), orbit->im.get(), squareR, squareI, tempR,
                                tempI)) {
            orbit->escaped = true;
            break;
        }
        store(++orbit->last);
    }
    orbit->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    orbit_ = std::move(orbit);
    return true;
}

int32_t DeepReference::Steps() const { return orbit_ ? orbit_->last : 0; }
double DeepReference::Seconds() const { return orbit_ ? orbit_->seconds : 0.0; }

struct DeepCalculation::State {
    DeepView view;
    int32_t iterStart = 0;
    int32_t iterInc = 1;
    int32_t iterEnd = 0;
    int32_t currentLimit = 0;
    int32_t pass = 0;  // passes opened so far
    DibImage* image = nullptr;
    CalcState colours;  // only the colour fields and IterEnd are read

    // The pixels and the stored reference in the view's difference number:
    // one of the four is allocated.
    std::unique_ptr<DeepPixel[]> pixels;
    std::unique_ptr<ScaledPixel[]> scaledPixels;
    std::unique_ptr<PixelOf<long double>[]> extendedPixels;
    std::unique_ptr<PixelOf<WideDouble>[]> widePixels;
    ReferenceOf<double> doubles;
    ReferenceOf<long double> extended;
    ReferenceOf<WideDouble> wide;
    ScaledReference scaled;
    std::unique_ptr<double[]> pairs;  // the double or rescaled reference's values side by side
    std::unique_ptr<int32_t[]> rowLimit;

    // The reference: the MPFR orbit's current value.
    BigFloat refR, refI, tempR, tempI, squareR, squareI;
    int64_t refCapacity = 0;
    int32_t refLast = 0;  // index of the last stored value
    bool refEscaped = false;

    DeepStatistics statistics;

    DeepApproximation approximation;
    std::unique_ptr<BlaTable> table;
    BlaLevelsOf<double> tableDoubles;          // Double
    BlaLevelsOf<long double> tableExtended;    // Extended
    BlaLevelsOf<WideDouble> tableWide;         // Scaled and Wide

    bool ReserveReference(int32_t end);
    bool ExtendTable();
    void DropTable();
    WideDouble LargestOffset() const;
    void ReferenceValue(int32_t m, WideDouble& re, WideDouble& im) const;
    void ExtendReference(int32_t limit);
    bool AllocatePixels(int64_t count);
    void ResetPixels(int64_t count);
    int32_t EscapeCount(int64_t index) const;
    void StoreReference(int32_t index);
    void StoreReferenceValue(int32_t index);
    void PairUp(int32_t first, int32_t last);
    bool ComputeRow(int32_t row, std::vector<int32_t>& counts, RowFigures& figures, QuietPath path);
    template <typename T>
    void ComputeScalarRow(int32_t row, PixelOf<T>* rowPixels, const ReferenceOf<T>& ref,
                          const BlaLevelsOf<T>& entries, std::vector<int32_t>& counts, RowFigures& figures);
    void ComputeApproximatedScaledRow(int32_t row, ScaledPixel* rowPixels, const ScaledContext& context,
                                      std::vector<int32_t>& counts, RowFigures& figures);
    template <typename Kind>
    void ComputeLaneRow(int32_t row, typename Kind::PixelType* rowPixels, const Kind& kind,
                        std::vector<int32_t>& counts, int64_t& steps, int64_t& rebases);
    void WriteImageRow(int32_t row, int32_t from, const std::vector<int32_t>& counts);
};

bool DeepCalculation::State::ReserveReference(int32_t end) {
    // Z_0 .. Z_end: a pixel at step n < limit reads at most index n.
    const int64_t wanted = static_cast<int64_t>(end) + 1;
    if (wanted <= refCapacity) return true;
    const bool keep = refCapacity > 0;
    bool grown = false;
    switch (view.difference) {
    case DeepDifference::Double: grown = doubles.Grow(wanted, refLast, keep); break;
    case DeepDifference::Scaled: grown = scaled.Grow(wanted, refLast, keep); break;
    case DeepDifference::Extended: grown = extended.Grow(wanted, refLast, keep); break;
    case DeepDifference::Wide: grown = wide.Grow(wanted, refLast, keep); break;
    }
    if (grown && (view.difference == DeepDifference::Double || view.difference == DeepDifference::Scaled)) {
        std::unique_ptr<double[]> larger(new (std::nothrow) double[2 * static_cast<size_t>(wanted)]);
        if (!larger) return false;
        if (keep) std::copy(pairs.get(), pairs.get() + 2 * (static_cast<ptrdiff_t>(refLast) + 1), larger.get());
        pairs = std::move(larger);
    }
    if (grown) refCapacity = wanted;
    return grown;
}

bool DeepCalculation::State::AllocatePixels(int64_t count) {
    const size_t n = static_cast<size_t>(count);
    switch (view.difference) {
    case DeepDifference::Double: pixels.reset(new (std::nothrow) DeepPixel[n]); break;
    case DeepDifference::Scaled: scaledPixels.reset(new (std::nothrow) ScaledPixel[n]); break;
    case DeepDifference::Extended: extendedPixels.reset(new (std::nothrow) PixelOf<long double>[n]); break;
    case DeepDifference::Wide: widePixels.reset(new (std::nothrow) PixelOf<WideDouble>[n]); break;
    }
    if (!pixels && !scaledPixels && !extendedPixels && !widePixels) return false;
    ResetPixels(count);
    return true;
}

// Every pixel at its start: z = 0 at m = 0, no step taken.
void DeepCalculation::State::ResetPixels(int64_t count) {
    const size_t n = static_cast<size_t>(count);
    if (pixels) std::fill(pixels.get(), pixels.get() + n, DeepPixel{0.0, 0.0, 0, NotEscaped, 0});
    if (scaledPixels)
        std::fill(scaledPixels.get(), scaledPixels.get() + n, ScaledPixel{0.0, 0.0, 0, NotEscaped, kScaleUnset, 0});
    if (extendedPixels)
        std::fill(extendedPixels.get(), extendedPixels.get() + n, PixelOf<long double>{0.0L, 0.0L, 0, NotEscaped, 0});
    if (widePixels) std::fill(widePixels.get(), widePixels.get() + n, PixelOf<WideDouble>{{}, {}, 0, NotEscaped, 0});
}

int32_t DeepCalculation::State::EscapeCount(int64_t index) const {
    switch (view.difference) {
    case DeepDifference::Double: return pixels[index].escapeCount;
    case DeepDifference::Scaled: return scaledPixels[index].escapeCount;
    case DeepDifference::Extended: return extendedPixels[index].escapeCount;
    case DeepDifference::Wide: return widePixels[index].escapeCount;
    }
    return NotEscaped;
}

void DeepCalculation::State::StoreReference(int32_t index) {
    StoreReferenceValue(index);
    PairUp(index, index);
}

// The vector lanes' copy of Z_first .. Z_last, for the number that has one.
void DeepCalculation::State::PairUp(int32_t first, int32_t last) {
    if (view.difference != DeepDifference::Double && view.difference != DeepDifference::Scaled) return;
    const ReferenceOf<double>& d = view.difference == DeepDifference::Double ? doubles : scaled.doubles;
    for (int32_t i = first; i <= last; ++i) {
        pairs[2 * static_cast<ptrdiff_t>(i)] = d.re[i];
        pairs[2 * static_cast<ptrdiff_t>(i) + 1] = d.im[i];
    }
}

void DeepCalculation::State::StoreReferenceValue(int32_t index) {
    switch (view.difference) {
    case DeepDifference::Double: ::StoreReference(doubles, index, refR.get(), refI.get(), squareR); break;
    case DeepDifference::Scaled:
        // Out of memory for a tiny value's wide copy, the step reads the
        // double, flushed to zero: the image may lose precision near it,
        // but nothing else is lost.
        scaled.Store(index, refR.get(), refI.get(), squareR);
        break;
    case DeepDifference::Extended: ::StoreReference(extended, index, refR.get(), refI.get(), squareR); break;
    case DeepDifference::Wide: ::StoreReference(wide, index, refR.get(), refI.get(), squareR); break;
    }
}

// Continues Z_{k+1} = Z_k^2 + C in MPFR at the view's precision (each
// operation rounded to nearest) until Z_limit is stored or a value with
// |Z|^2 > 4 is: that one is kept and ends the reference for good.
void DeepCalculation::State::ExtendReference(int32_t limit) {
    const auto started = std::chrono::steady_clock::now();
    while (!refEscaped && refLast < limit) {
        if (!NextReferenceValue(refR, refI, view.centreRe.get(), view.centreIm.get(), squareR, squareI, tempR, tempI)) {
            refEscaped = true;
            break;
        }
        ++refLast;
        StoreReference(refLast);
        ++statistics.referenceSteps;
    }
    statistics.referenceSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// No table: the scalar rows then take every step.
void DeepCalculation::State::DropTable() {
    table.reset();
    tableDoubles = BlaLevelsOf<double>{};
    tableExtended = BlaLevelsOf<long double>{};
    tableWide = BlaLevelsOf<WideDouble>{};
}

// The largest offset of any pixel from the centre, |dc|max.
WideDouble DeepCalculation::State::LargestOffset() const {
    double re = 0.0, im = 0.0;
    for (const double offset : view.columnOffset) re = std::max(re, Abs(offset));
    for (const double offset : view.rowOffset) im = std::max(im, Abs(offset));
    WideDouble largest = bla_detail::Magnitude(Wide(re), Wide(im));
    if (largest.m != 0.0) largest.e += view.offsetExponent;
    return largest;
}

void DeepCalculation::State::ReferenceValue(int32_t m, WideDouble& re, WideDouble& im) const {
    switch (view.difference) {
    case DeepDifference::Double:
        re = WideFrom(doubles.re[m]);
        im = WideFrom(doubles.im[m]);
        return;
    case DeepDifference::Scaled:
        if (scaled.tiny[m] >= 0) {
            re = scaled.wide[4 * static_cast<size_t>(scaled.tiny[m])];
            im = scaled.wide[4 * static_cast<size_t>(scaled.tiny[m]) + 1];
        } else {
            re = WideFrom(scaled.doubles.re[m]);
            im = WideFrom(scaled.doubles.im[m]);
        }
        return;
    case DeepDifference::Extended:
        re = WideFrom(extended.re[m]);
        im = WideFrom(extended.im[m]);
        return;
    case DeepDifference::Wide:
        re = wide.re[m];
        im = wide.im[m];
        return;
    }
}

// Builds (or extends) the entries over the reference to the end, and their
// copies in the pixels' number. False when there is no memory.
bool DeepCalculation::State::ExtendTable() {
    if (!table) {
        table.reset(new (std::nothrow) BlaTable(approximation.tolerance, LargestOffset()));
        if (!table) return false;
    }
    // Entries end by the calculation's end, not the reference's: a shared
    // reference may be longer, and the frame made alone from its own must
    // take the same entries.
    const int32_t last = std::min(refLast, iterEnd);
    if (table->Last() >= last) return true;
    const auto started = std::chrono::steady_clock::now();
    bool made = table->Extend(last, [this](int32_t m, WideDouble& re, WideDouble& im) { ReferenceValue(m, re, im); });
    int64_t converted = 0;
    switch (view.difference) {
    case DeepDifference::Double:
        made = made && tableDoubles.Update(*table);
        converted = tableDoubles.Bytes();
        break;
    case DeepDifference::Extended:
        made = made && tableExtended.Update(*table);
        converted = tableExtended.Bytes();
        break;
    case DeepDifference::Scaled:
    case DeepDifference::Wide:
        made = made && tableWide.Update(*table);
        converted = tableWide.Bytes();
        break;
    }
    statistics.tableSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    statistics.tableEntries = table->Entries();
    statistics.tableBytes = table->Entries() * static_cast<int64_t>(sizeof(BlaWideEntry)) + converted;
    return made;
}

// Iterates every still-inside pixel of the row from the row's limit to the
// current one; counts[x] is its count, the limit while it is inside, or
// INT32_MIN for a pixel that escaped in an earlier pass. False when the row
// was already at the limit.
bool DeepCalculation::State::ComputeRow(int32_t row, std::vector<int32_t>& counts, RowFigures& figures,
                                        QuietPath path) {
    const int32_t from = rowLimit[row];
    if (from >= currentLimit) return false;
    const ptrdiff_t first = static_cast<ptrdiff_t>(row) * view.Width();
    const bool approximated = table != nullptr;
    int64_t& steps = figures.steps;
    int64_t& rebases = figures.rebases;
    switch (view.difference) {
    case DeepDifference::Double: {
        if (approximated) {
            ComputeScalarRow(row, pixels.get() + first, doubles, tableDoubles, counts, figures);
            break;
        }
        const ReferenceTable ref{pairs.get(), doubles.reLow.get(), doubles.imLow.get(), refLast};
        ComputeLaneRow(row, pixels.get() + first, DoubleLanes{ref, path.doubles}, counts, steps, rebases);
        break;
    }
    case DeepDifference::Scaled: {
        const ReferenceOf<double>& d = scaled.doubles;
        const ReferenceTable ref{pairs.get(), d.reLow.get(), d.imLow.get(), refLast};
        const int64_t spacingExponent = view.offsetExponent + Normalised(view.spacing, 0).e;
        const ScaledContext context{&d, pairs.get(), scaled.tiny.get(), scaled.wide.data(), refLast,
                                    view.offsetExponent, ScaleCap(spacingExponent)};
        if (approximated)
            ComputeApproximatedScaledRow(row, scaledPixels.get() + first, context, counts, figures);
        else
            ComputeLaneRow(row, scaledPixels.get() + first, ScaledLanes{ref, context, path.scaled}, counts, steps,
                           rebases);
        break;
    }
    // Without the approximation their tables are empty: every step an
    // ordinary one.
    case DeepDifference::Extended:
        ComputeScalarRow(row, extendedPixels.get() + first, extended, tableExtended, counts, figures);
        break;
    case DeepDifference::Wide: ComputeScalarRow(row, widePixels.get() + first, wide, tableWide, counts, figures); break;
    }
    rowLimit[row] = currentLimit;
    return true;
}

// One pixel after the other (80-bit and wide, and double with the
// approximation): at each step the escape and rebasing tests of the
// ordinary step, then the longest entry of the table that holds for the
// (rebased) difference, or else the ordinary step's second half.
// An entry that would pass the limit ends the pixel's pass where it stands,
// before the tests: the entry shows it inside to the limit, and the next
// pass takes the same entry from the same state, as one pass to the end
// would have.
template <typename T>
void DeepCalculation::State::ComputeScalarRow(int32_t row, PixelOf<T>* rowPixels, const ReferenceOf<T>& ref,
                                              const BlaLevelsOf<T>& entries, std::vector<int32_t>& counts,
                                              RowFigures& figures) {
    const int32_t limit = currentLimit;
    const int32_t last = refLast;
    const T ci = DifferenceNumber<T>::FromScaled(view.rowOffset[row], view.offsetExponent);
    for (int32_t x = 0; x < view.Width(); ++x) {
        PixelOf<T>& pixel = rowPixels[x];
        if (pixel.escapeCount != NotEscaped) {
            counts[x] = INT32_MIN;
            continue;
        }
        const T cr = DifferenceNumber<T>::FromScaled(view.columnOffset[x], view.offsetExponent);
        T zr = pixel.zr, zi = pixel.zi;
        int32_t m = pixel.m, n = pixel.n;
        const int32_t from = n;
        bool escaped = false;
        while (n < limit) {
            T wr, wi, tr, ti;
            int32_t tm = 0;
            bool rebased = false;
            if (!CheckStep(ref, last, zr, zi, m, wr, wi, tr, ti, tm, rebased)) {
                escaped = true;
                break;
            }
            int32_t length = 0;
            const BlaEntryOf<T>* entry = entries.Find(tm, Abs(tr), Abs(ti), length);
            if (entry != nullptr && length > limit - n) break;
            figures.rebases += rebased ? 1 : 0;
            if (entry != nullptr) {
                TakeEntry(*entry, tr, ti, cr, ci);
                zr = tr;
                zi = ti;
                m = tm + length;
                n += length;
                figures.tableSteps += length;
                ++figures.tableUses;
                continue;
            }
            FinishStep(ref, tm, wr, wi, tr, ti, cr, ci, zr, zi);
            m = tm + 1;
            ++n;
        }
        pixel.zr = zr;
        pixel.zi = zi;
        pixel.m = m;
        pixel.n = n;
        if (escaped) pixel.escapeCount = n;
        counts[x] = escaped ? n : limit;
        figures.steps += n - from;
    }
}

// The same in the rescaled double: the ordinary step is the lanes' own,
// split where an entry may take over; an entry's map runs in WideDouble and
// the scale is chosen again from its result.
void DeepCalculation::State::ComputeApproximatedScaledRow(int32_t row, ScaledPixel* rowPixels,
                                                          const ScaledContext& context, std::vector<int32_t>& counts,
                                                          RowFigures& figures) {
    const int32_t limit = currentLimit;
    const double ci = view.rowOffset[row];
    const WideDouble wideCi = Normalised(ci, view.offsetExponent);
    for (int32_t x = 0; x < view.Width(); ++x) {
        const ScaledPixel& pixel = rowPixels[x];
        if (pixel.escapeCount != NotEscaped) {
            counts[x] = INT32_MIN;
            continue;
        }
        const double cr = view.columnOffset[x];
        const WideDouble wideCr = Normalised(cr, view.offsetExponent);
        ScaledLane lane{pixel.wr, pixel.wi, 0.0, 0.0, 0.0, 0.0, cr, ci, 0, pixel.m, pixel.n, x};
        if (pixel.k == kScaleUnset) SetScale(lane, WideDouble{}, WideDouble{}, context);
        else TakeScale(lane, pixel.k, context);
        const int32_t from = lane.n;
        bool escaped = false;
        while (lane.n < limit) {
            const ScaledLane before = lane;
            int64_t rebases = 0;
            double wr = 0.0, wi = 0.0;
            const ScaledCheck check = ScaledPrepare(lane, context, rebases, wr, wi);
            if (check == ScaledCheck::Escaped) {
                escaped = true;
                break;
            }
            if (check == ScaledCheck::Taken) {
                figures.rebases += rebases;
                continue;
            }
            WideDouble zr = Normalised(lane.wr, lane.k), zi = Normalised(lane.wi, lane.k);
            int32_t length = 0;
            const BlaEntryOf<WideDouble>* entry = tableWide.Find(lane.m, Abs(zr), Abs(zi), length);
            if (entry != nullptr && length > limit - lane.n) {
                lane = before;
                break;
            }
            figures.rebases += rebases;
            if (entry == nullptr) {
                ScaledFinish(lane, context, wr, wi);
                continue;
            }
            TakeEntry(*entry, zr, zi, wideCr, wideCi);
            SetScale(lane, zr, zi, context);
            lane.m += length;
            lane.n += length;
            figures.tableSteps += length;
            ++figures.tableUses;
        }
        rowPixels[x] = ScaledPixel{lane.wr, lane.wi, lane.m, escaped ? lane.n : NotEscaped, lane.k, lane.n};
        counts[x] = escaped ? lane.n : limit;
        figures.steps += lane.n - from;
    }
}

// The interleaved loop of either kind of lanes over one row.
template <typename Kind>
void DeepCalculation::State::ComputeLaneRow(int32_t row, typename Kind::PixelType* rowPixels, const Kind& kind,
                                            std::vector<int32_t>& counts, int64_t& steps, int64_t& rebases) {
    using LaneType = typename Kind::LaneType;
    const int32_t from = rowLimit[row];
    const int32_t limit = currentLimit;
    const int32_t width = view.Width();
    const double ci = view.rowOffset[row];

    LaneType lanes[kLanes];
    int32_t nextX = 0;
    // Puts the next still-inside pixel into the lane, or marks it idle.
    auto refill = [&](LaneType& lane) {
        while (nextX < width && rowPixels[nextX].escapeCount != NotEscaped) counts[nextX++] = INT32_MIN;
        if (nextX >= width) {
            lane.x = -1;
            return;
        }
        lane = kind.Make(rowPixels[nextX], view.columnOffset[nextX], ci, from, nextX);
        ++nextX;
    };
    // Stores the lane's orbit: escaped (count n) or inside at the limit.
    auto settle = [&](LaneType& lane, bool escaped) {
        rowPixels[lane.x] = Kind::Stored(lane, escaped);
        counts[lane.x] = lane.n;
        steps += lane.n - from;
        refill(lane);
    };
    for (LaneType& lane : lanes) refill(lane);

    for (;;) {
        int busy = -1;
        int32_t quiet = INT32_MAX;
        for (int k = 0; k < kLanes; ++k) {
            if (lanes[k].x < 0) continue;
            busy = k;
            quiet = std::min({quiet, limit - lanes[k].n, kind.ref.last - lanes[k].m});
        }
        if (busy < 0) break;
        if (quiet > 0) {
            // Idle lanes at the end of the row shadow a busy one, so the last
            // long orbits still run in the interleaved loop; a shadow has the
            // same events as its model and its results are dropped.
            for (LaneType& lane : lanes)
                if (lane.x < 0) {
                    lane = lanes[busy];
                    lane.x = -1;
                }
            if (kind.Quiet(lanes, quiet) == quiet) continue;
        }
        // An event (or a lane short of work): one full step for every lane.
        for (LaneType& lane : lanes) {
            if (lane.x < 0) continue;
            if (lane.n >= limit) settle(lane, false);
            else if (!kind.Full(lane, rebases)) settle(lane, true);
        }
    }
}

// The engine's colour rule: a pixel iterated in this pass gets the index of
// its count, or, still inside, the inside colour when that is on and else
// the index of the limit; a pixel that escaped earlier keeps its colour.
void DeepCalculation::State::WriteImageRow(int32_t row, int32_t limit, const std::vector<int32_t>& counts) {
    if (image == nullptr || image->pixels == nullptr) return;
    PixelCursor cursor;
    image->StartRow(cursor, row);
    for (int32_t x = 0; x < view.Width(); ++x) {
        const int32_t n = counts[x];
        if (n == INT32_MIN) {
            SkipPixel(cursor);
            continue;
        }
        const bool inside = n >= limit;
        const uint8_t index = inside && colours.PomeSetColourEnabled ? static_cast<uint8_t>(colours.PomeSetColour)
                                                                     : PaletteIndexOf(colours, n);
        PutPixel(cursor, index);
    }
}

DeepCalculation::DeepCalculation() = default;
DeepCalculation::~DeepCalculation() = default;

bool DeepCalculation::SetUp(const DeepView& view, int32_t iterStart, int32_t iterInc, int32_t iterEnd,
                            DibImage* image, const ColourParams& colours, std::string& error,
                            const DeepReference* shared) {
    state_.reset();
    if (view.Width() < 2 || view.Height() < 2) {
        error = "the deep view has no pixels to calculate";
        return false;
    }
    auto state = std::unique_ptr<State>(new (std::nothrow) State);
    if (!state) {
        error = "not enough memory for a deep calculation";
        return false;
    }
    const int64_t count = static_cast<int64_t>(view.Width()) * view.Height();
    state->view.difference = view.difference;
    state->rowLimit.reset(new (std::nothrow) int32_t[static_cast<size_t>(view.Height())]);
    if (!state->AllocatePixels(count) || !state->rowLimit) {
        error = "not enough memory for the " + std::to_string(count) + " pixels of the deep calculation";
        return false;
    }
    const int32_t limitEnd = std::max(iterStart, iterEnd);
    // The shared orbit serves only the point and precision it was computed
    // at; any other view computes its own.
    const DeepReference::Orbit* orbit = shared != nullptr ? shared->orbit_.get() : nullptr;
    if (orbit != nullptr && !(orbit->Has(view.difference) && orbit->re.Precision() == view.precision &&
                              mpfr_equal_p(orbit->re.get(), view.centreRe.get()) &&
                              mpfr_equal_p(orbit->im.get(), view.centreIm.get())))
        orbit = nullptr;
    if (!state->ReserveReference(std::max({limitEnd, 0, orbit != nullptr ? orbit->last : 0}))) {
        error = "not enough memory for a reference orbit of " + std::to_string(limitEnd) + " steps";
        return false;
    }
    std::fill(state->rowLimit.get(), state->rowLimit.get() + view.Height(), 0);
    state->view = view;
    state->iterStart = iterStart;
    state->iterInc = iterInc;
    state->iterEnd = iterEnd;
    state->currentLimit = iterStart;
    state->pass = 1;
    state->image = image;
    SetColourParams(state->colours, colours);
    state->colours.IterEnd = iterEnd;
    for (BigFloat* value : {&state->refR, &state->refI, &state->tempR, &state->tempI, &state->squareR,
                            &state->squareI})
        *value = BigFloat(view.precision);
    state->StoreReference(0);  // Z_0 = 0: the registers start at zero
    state->refLast = 0;
    if (orbit != nullptr) {
        // The whole orbit with its last value, so that a raised end goes on
        // from there as this calculation's own would.
        switch (view.difference) {
        case DeepDifference::Double: CopyReference(state->doubles, orbit->doubles, orbit->last + 1); break;
        case DeepDifference::Scaled:
            CopyReference(state->scaled.doubles, orbit->scaled.doubles, orbit->last + 1);
            std::copy(orbit->scaled.tiny.get(), orbit->scaled.tiny.get() + orbit->last + 1, state->scaled.tiny.get());
            state->scaled.wide = orbit->scaled.wide;
            break;
        case DeepDifference::Extended: CopyReference(state->extended, orbit->extended, orbit->last + 1); break;
        case DeepDifference::Wide: CopyReference(state->wide, orbit->wide, orbit->last + 1); break;
        }
        state->PairUp(0, orbit->last);
        state->refR = orbit->zr;
        state->refI = orbit->zi;
        state->refLast = orbit->last;
        state->refEscaped = orbit->escaped;
        state->statistics.referenceSteps = orbit->last;
        state->statistics.referenceShared = true;
    }
    state->statistics.passes = 0;
    state_ = std::move(state);
    return true;
}

int32_t DeepCalculation::CalculateToEnd(DeepProgress* progress) {
    if (!state_) return 0;
    State& s = *state_;
    const int32_t height = s.view.Height();
    int32_t passes = 0;
    std::atomic<bool> stopped{false};
    std::mutex progressLock;
    for (;;) {
        const int32_t limit = s.currentLimit;
        if (std::any_of(s.rowLimit.get(), s.rowLimit.get() + height, [&](int32_t done) { return done < limit; })) {
            if (s.approximation.on) {
                // The whole reference first: every pass reads the entries a
                // single pass to the end would.
                s.ExtendReference(s.iterEnd);
                if (!s.ExtendTable()) {
                    s.DropTable();
                    s.approximation.on = false;
                    s.statistics.tableMissing = true;
                }
            } else {
                s.ExtendReference(limit);
            }
            s.colours.IterEnd = s.iterEnd;
            const QuietPath path = ChooseQuietPath();
            std::atomic<int32_t> nextRow{0};
            std::atomic<int32_t> rowsDone{0};
            RowFigures figures;
            std::mutex figuresLock;
            auto work = [&] {
                DeepLoopEnvironment environment;
                std::vector<int32_t> counts(static_cast<size_t>(s.view.Width()));
                RowFigures mine;
                for (;;) {
                    if (stopped.load(std::memory_order_relaxed)) break;
                    const int32_t row = nextRow.fetch_add(1);
                    if (row >= height) break;
                    if (s.ComputeRow(row, counts, mine, path)) s.WriteImageRow(row, limit, counts);
                    const int32_t done = rowsDone.fetch_add(1) + 1;
                    if (progress != nullptr) {
                        std::lock_guard<std::mutex> hold(progressLock);
                        if (!progress->AfterRow(done, height, s.pass, limit)) stopped = true;
                    }
                }
                std::lock_guard<std::mutex> hold(figuresLock);
                figures.steps += mine.steps;
                figures.rebases += mine.rebases;
                figures.tableSteps += mine.tableSteps;
                figures.tableUses += mine.tableUses;
            };
            const int threads = std::max(1, std::min(RowThreads(), height));
            std::vector<std::thread> helpers;
            for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
            work();
            for (std::thread& helper : helpers) helper.join();
            s.statistics.steps += figures.steps;
            s.statistics.rebases += figures.rebases;
            s.statistics.tableSteps += figures.tableSteps;
            s.statistics.tableUses += figures.tableUses;
            ++passes;
            ++s.statistics.passes;
            if (stopped) break;
        }
        if (s.currentLimit >= s.iterEnd) break;
        const int64_t raised = static_cast<int64_t>(s.currentLimit) + std::max(s.iterInc, 1);
        s.currentLimit = static_cast<int32_t>(std::min<int64_t>(raised, s.iterEnd));
        ++s.pass;
    }
    return passes;
}

void DeepCalculation::Approximate(const DeepApproximation& approximation) {
    if (!state_) return;
    State& s = *state_;
    s.approximation = approximation;
    s.DropTable();
}

bool DeepCalculation::RaiseIterEnd(int32_t newEnd) {
    if (!state_ || newEnd <= state_->iterEnd) return true;
    State& s = *state_;
    if (!s.ReserveReference(newEnd)) return false;
    s.iterEnd = newEnd;
    if (s.approximation.on) {
        // A pixel's entries depend on the end (none may pass it), so going
        // on from where each stands would take other steps than a
        // calculation to the new end: the pixels start again, the reference
        // and the table go on.
        s.ResetPixels(static_cast<int64_t>(s.view.Width()) * s.view.Height());
        std::fill(s.rowLimit.get(), s.rowLimit.get() + s.view.Height(), 0);
    }
    return true;
}

int32_t DeepCalculation::EscapeCountAt(int32_t x, int32_t y) const {
    if (!state_ || x < 0 || y < 0 || x >= state_->view.Width() || y >= state_->view.Height()) return NotEscaped;
    return state_->EscapeCount(static_cast<int64_t>(y) * state_->view.Width() + x);
}

bool DeepCalculation::EscapeValueAt(int32_t x, int32_t y, double& re, double& im) const {
    if (EscapeCountAt(x, y) == NotEscaped) return false;
    const State& s = *state_;
    const int64_t i = static_cast<int64_t>(y) * s.view.Width() + x;
    switch (s.view.difference) {
    case DeepDifference::Double: {
        const DeepPixel& p = s.pixels[i];
        re = s.pairs[2 * p.m] + p.zr;
        im = s.pairs[2 * p.m + 1] + p.zi;
        return true;
    }
    case DeepDifference::Scaled: {
        const ScaledPixel& p = s.scaledPixels[i];
        const double scale = p.k >= -1022 ? wide_detail::PowerOfTwo(p.k) : 0.0;
        re = s.pairs[2 * p.m] + scale * p.wr;
        im = s.pairs[2 * p.m + 1] + scale * p.wi;
        return true;
    }
    case DeepDifference::Extended: {
        const PixelOf<long double>& p = s.extendedPixels[i];
        re = static_cast<double>(s.extended.re[p.m] + p.zr);
        im = static_cast<double>(s.extended.im[p.m] + p.zi);
        return true;
    }
    case DeepDifference::Wide: {
        const PixelOf<WideDouble>& p = s.widePixels[i];
        re = scaled_detail::Flushed(s.wide.re[p.m] + p.zr, 0);
        im = scaled_detail::Flushed(s.wide.im[p.m] + p.zi, 0);
        return true;
    }
    }
    return false;
}

const DeepStatistics& DeepCalculation::Statistics() const {
    static const DeepStatistics none;
    return state_ ? state_->statistics : none;
}
