#include "tools/render/Smooth.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <type_traits>
#include <vector>

#include "engine/FpEnvironment.h"
#include "engine/PomeClcKernels.h"
#include "engine/PomeFix.h"
#include "engine/RowPool.h"
#include "image/Gradient.h"

namespace {

// z <- z^2 + c without the escape test, rounded as ReferenceStep rounds.
template <typename T>
long double FreeStep(T& r, T& i, T cr, T ci) {
    const T r2 = r * r;
    const T i2 = i * i;
    const T newI = static_cast<T>(2.0L * static_cast<long double>(r) * static_cast<long double>(i) +
                                  static_cast<long double>(ci));
    r = static_cast<T>(static_cast<long double>(r2) - static_cast<long double>(i2) + static_cast<long double>(cr));
    i = newI;
    const T nr2 = r * r;
    const T ni2 = i * i;
    return static_cast<long double>(nr2) + static_cast<long double>(ni2);
}

template <typename T>
long double MagnitudeOf(T r, T i) {
    const T r2 = r * r;
    const T i2 = i * i;
    return static_cast<long double>(r2) + static_cast<long double>(i2);
}

// From z_n (|z_n| > 2) in T up to the first |z_m| > R: v.
template <typename T>
double ContinueInOwnType(T r, T i, T cr, T ci, int32_t n, int log2Radius, int32_t* step = nullptr) {
    const long double radius2 = static_cast<long double>(std::ldexp(1.0, 2 * log2Radius));
    long double magnitude = MagnitudeOf(r, i);
    int32_t m = n;
    for (int32_t k = 0; k < kSmoothMaxExtraSteps && magnitude <= radius2; ++k) {
        magnitude = FreeStep(r, i, cr, ci);
        ++m;
    }
    if (step != nullptr) *step = m;
    return SmoothValueFromMagnitude(m, static_cast<double>(magnitude));
}

double FixedToDouble(int32_t raw) { return std::ldexp(static_cast<double>(raw), -kFixedFractionBits); }

// CPU Fixed from z0 to z_n, the value whose squares first reached 4 (the
// kernels agree with FixedStep bit for bit), then on in double.
double FixedPointValue(int32_t zr, int32_t zi, int32_t cr, int32_t ci, int32_t n, int log2Radius,
                       int32_t* step = nullptr) {
    const int32_t bound = ToFixed(4.0L);
    for (int32_t k = 0; k < n; ++k) FixedStep(zr, zi, cr, ci, bound);
    return ContinueInOwnType<double>(FixedToDouble(zr), FixedToDouble(zi), FixedToDouble(cr), FixedToDouble(ci), n,
                                     log2Radius, step);
}

}  // namespace

double SmoothJumpBound(int log2Radius, double cMagnitude) {
    const double lnR = static_cast<double>(log2Radius) * 0.6931471805599453;
    const double r2 = std::ldexp(1.0, 2 * log2Radius);
    return cMagnitude / (r2 * 2.0 * lnR * 0.6931471805599453);
}

double SmoothValueFromMagnitude(int32_t m, double magnitude) {
    if (!(magnitude > 1.0) || magnitude > 1e300) return static_cast<double>(m);
    // log2 |z| = log2(|z|^2) / 2, and log2 of that.
    return static_cast<double>(m) + 1.0 - PortableLog2(0.5 * PortableLog2(magnitude));
}

double SmoothValueInDouble(double zr, double zi, double cr, double ci, int32_t n, int log2Radius) {
    return ContinueInOwnType<double>(zr, zi, cr, ci, n, log2Radius);
}

template <typename T>
SmoothSample SmoothPoint(T z0r, T z0i, T cr, T ci, int32_t limit, int log2Radius) {
    SmoothSample sample;
    if constexpr (std::is_same_v<T, int32_t>) {
        int32_t r = z0r, i = z0i;
        const int32_t n = IterateFixed(r, i, cr, ci, ToFixed(4.0L), limit);
        sample.count = n;
        if (n < limit) sample.value = FixedPointValue(z0r, z0i, cr, ci, n, log2Radius, &sample.step);
    } else {
        bool escaped = false;
        T r = z0r, i = z0i;
        sample.count = ReferenceOrbit(r, i, cr, ci, 0, limit, escaped);
        if (escaped) sample.value = ContinueInOwnType(r, i, cr, ci, sample.count, log2Radius, &sample.step);
    }
    return sample;
}

template SmoothSample SmoothPoint<int32_t>(int32_t, int32_t, int32_t, int32_t, int32_t, int);
template SmoothSample SmoothPoint<float>(float, float, float, float, int32_t, int);
template SmoothSample SmoothPoint<double>(double, double, double, double, int32_t, int);
template SmoothSample SmoothPoint<long double>(long double, long double, long double, long double, int32_t, int);

template <typename T>
double RecordValue(const PixelRecord<T>& pixel, T z0r, T z0i, T cr, T ci) {
    if constexpr (std::is_same_v<T, int32_t>)
        return FixedPointValue(z0r, z0i, cr, ci, pixel.EscapeCount, kSmoothLog2Radius);
    else
        return ContinueInOwnType(pixel.Zr, pixel.Zi, cr, ci, pixel.EscapeCount, kSmoothLog2Radius);
}

template double RecordValue<int32_t>(const PixelRecord<int32_t>&, int32_t, int32_t, int32_t, int32_t);
template double RecordValue<float>(const PixelRecord<float>&, float, float, float, float);
template double RecordValue<double>(const PixelRecord<double>&, double, double, double, double);
template double RecordValue<long double>(const PixelRecord<long double>&, long double, long double, long double,
                                         long double);

void ParallelParts(int64_t count, void (*body)(void*, int64_t, int64_t), void* context) {
    const int64_t threads = std::max<int64_t>(1, std::min<int64_t>(RowThreads(), count));
    auto part = [&](int64_t k) {
        const FpEnvironmentGuard environment;
        body(context, count * k / threads, count * (k + 1) / threads);
    };
    std::vector<std::thread> helpers;
    for (int64_t k = 1; k < threads; ++k) helpers.emplace_back(part, k);
    part(0);
    for (std::thread& t : helpers) t.join();
}

namespace {

template <typename T>
struct ValuesJob {
    const CalcState* state;
    const WorkBuffers<T>* buffers;
    double* values;
};

template <typename T>
void ValueRows(void* context, int64_t first, int64_t last) {
    const auto& job = *static_cast<const ValuesJob<T>*>(context);
    const CalcState& state = *job.state;
    const bool julia = !std::is_same_v<T, int32_t> && state.formula == FormulaKind::JuliaSet;
    for (int64_t y = first; y < last; ++y) {
        const PixelRecord<T>* pixels = RowPixels(*job.buffers, state.width, static_cast<int32_t>(y));
        double* out = job.values + y * state.width;
        const T ci = julia ? static_cast<T>(state.ConstImag) : job.buffers->RowCoords[y];
        for (int32_t x = 0; x < state.width; ++x) {
            const PixelRecord<T>& pixel = pixels[x];
            if (pixel.EscapeCount == NotEscaped) {
                out[x] = -1.0;
                continue;
            }
            const T cr = julia ? static_cast<T>(state.ConstReal) : job.buffers->ColumnCoords[x];
            // Only CPU Fixed reads the start: its Mandelbrot orbits start at c.
            out[x] = RecordValue(pixel, cr, ci, cr, ci);
        }
    }
}

}  // namespace

bool SmoothValues(const CalcState& state, double* values) {
    return std::visit(
        [&](const auto& buffers) {
            using B = std::decay_t<decltype(buffers)>;
            if constexpr (std::is_same_v<B, std::monostate>) {
                return false;
            } else {
                using T = std::decay_t<decltype(buffers.Pixels[0].Zr)>;
                ValuesJob<T> job{&state, &buffers, values};
                ParallelParts(state.height, &ValueRows<T>, &job);
                return true;
            }
        },
        state.workBuffers);
}
