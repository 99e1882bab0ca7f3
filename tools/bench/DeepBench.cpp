// The deep type's speed: its difference steps per second on one core against
// FPU Double's fast kernel on the same points of a shallow view, and the
// figures of a view given on the command line.
//
//   deep_bench [--centre RE IM --zoom Z --iter N --size WxH [--threads T]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/DeepZoom.h"
#include "engine/FastKernels.h"
#include "engine/FpEnvironment.h"
#include "engine/RowPool.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string ProcessorName() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "unknown processor";
}

struct DeepRun {
    DeepStatistics statistics;
    double seconds = 0.0;
};

bool RunDeep(const DeepView& view, int32_t iterations, DeepRun& run) {
    DeepCalculation calculation;
    std::string error;
    if (!calculation.SetUp(view, iterations, 1, iterations, nullptr, ColourParams{}, error)) {
        std::fprintf(stderr, "deep_bench: %s\n", error.c_str());
        return false;
    }
    const Clock::time_point start = Clock::now();
    calculation.CalculateToEnd();
    run.seconds = Since(start);
    run.statistics = calculation.Statistics();
    return true;
}

// The same pixels' points in FPU Double on the widest fast path, one thread;
// returns the steps taken.
int64_t RunDouble(const DeepView& view, int32_t iterations, double& seconds) {
    const double centreRe = mpfr_get_d(view.centreRe.get(), MPFR_RNDN);
    const double centreIm = mpfr_get_d(view.centreIm.get(), MPFR_RNDN);
    std::vector<double> columns(static_cast<size_t>(view.Width()));
    for (int32_t x = 0; x < view.Width(); ++x) columns[x] = centreRe + view.columnOffset[x];
    std::vector<PixelRecord<double>> pixels(columns.size());
    std::vector<int32_t> counts(columns.size());
    int64_t steps = 0;
    FpEnvironmentGuard environment;
    const Clock::time_point start = Clock::now();
    for (int32_t y = 0; y < view.Height(); ++y) {
        for (PixelRecord<double>& pixel : pixels) pixel = PixelRecord<double>{0.0, 0.0, NotEscaped};
        OrbitSpan<double> span;
        span.pixels = pixels.data();
        span.columnReal = columns.data();
        span.constImag = centreIm + view.rowOffset[y];
        span.count = view.Width();
        span.from = 0;
        span.limit = iterations;
        span.counts = counts.data();
        IterateSpan(BestKernelPath(), span);
        for (int32_t n : counts) steps += n;
    }
    seconds = Since(start);
    return steps;
}

bool MakeView(const std::string& re, const std::string& im, const std::string& zoom, int32_t width, int32_t height,
              DeepView& view) {
    std::string error;
    if (DeepViewFromCentre(re, im, zoom, width, height, view, error)) return true;
    std::fprintf(stderr, "deep_bench: %s\n", error.c_str());
    return false;
}

// The better of two runs of `view` with its differences in `difference`,
// in pixel steps per second (0 when the calculation could not be set up).
double BestRate(const DeepView& view, DeepDifference difference, int32_t iterations, DeepRun& run) {
    DeepView forced = view;
    forced.difference = difference;
    double rate = 0.0;
    for (int round = 0; round < 2; ++round) {
        if (!RunDeep(forced, iterations, run)) return 0.0;
        rate = std::max(rate, static_cast<double>(run.statistics.steps) /
                                  (run.seconds - run.statistics.referenceSeconds));
    }
    return rate;
}

int Usage() {
    std::fprintf(stderr, "usage: deep_bench [--centre RE IM --zoom Z --iter N --size WxH [--threads T]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string re, im, zoom;
    int32_t iterations = 0, width = 0, height = 0;
    int threads = RowThreads();
    for (int k = 1; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--centre" && k + 2 < argc) re = argv[++k], im = argv[++k];
        else if (option == "--zoom" && k + 1 < argc) zoom = argv[++k];
        else if (option == "--iter" && k + 1 < argc) iterations = std::atoi(argv[++k]);
        else if (option == "--size" && k + 1 < argc && std::sscanf(argv[++k], "%dx%d", &width, &height) == 2) continue;
        else if (option == "--threads" && k + 1 < argc) threads = std::atoi(argv[++k]);
        else return Usage();
    }
    std::printf("Processor: %s\n", ProcessorName().c_str());

    // Both types on one core at a spacing of about 1e-13, where FPU Double
    // still tells the pixels apart.
    DeepView shallow;
    const int32_t shallowIterations = 20000;
    if (!MakeView("-0.743643887037158704752191506114774", "0.131825904205311970493132056385139", "1.67e11", 320,
                  240, shallow))
        return 1;
    SetRowThreads(1);
    // Alternating runs, the best of each: other work on the machine slows
    // single runs by a factor of two at times.
    double deepRate = 0.0, doubleRate = 0.0;
    DeepRun deep;
    int64_t doubleSteps = 0;
    for (int round = 0; round < 3; ++round) {
        if (!RunDeep(shallow, shallowIterations, deep)) return 1;
        deepRate = std::max(deepRate, static_cast<double>(deep.statistics.steps) /
                                          (deep.seconds - deep.statistics.referenceSeconds));
        double doubleSeconds = 0.0;
        doubleSteps = RunDouble(shallow, shallowIterations, doubleSeconds);
        doubleRate = std::max(doubleRate, static_cast<double>(doubleSteps) / doubleSeconds);
    }
    std::printf("One core, 320x240 at spacing %s, %d iterations:\n", DeepSpacingText(shallow).c_str(),
                shallowIterations);
    std::printf("  deep:        %.3e steps/s (%lld steps, %lld rebases, reference %.3f s)\n", deepRate,
                static_cast<long long>(deep.statistics.steps), static_cast<long long>(deep.statistics.rebases),
                deep.statistics.referenceSeconds);
    std::printf("  FPU Double (%s): %.3e steps/s (%lld steps)\n", KernelPathName(BestKernelPath()), doubleRate,
                static_cast<long long>(doubleSteps));
    std::printf("  deep / FPU Double: %.3f\n", deepRate / doubleRate);

    // The difference numbers below double's range, on the same view: they
    // are chosen by these rates (the wide exponent takes the same steps as
    // double, bit for bit, so its rate is comparable step for step).
    std::printf("Difference numbers, same view and core (steps/s):\n");
    double doubleDeepRate = 0.0;
    for (const DeepDifference difference :
         {DeepDifference::Double, DeepDifference::Scaled, DeepDifference::Extended, DeepDifference::Wide}) {
        DeepRun run;
        const double rate = BestRate(shallow, difference, shallowIterations, run);
        if (rate == 0.0) return 1;
        if (difference == DeepDifference::Double) doubleDeepRate = rate;
        std::printf("  %-14s %.3e (%lld steps), double / this: %.2f\n", DeepDifferenceName(difference), rate,
                    static_cast<long long>(run.statistics.steps), doubleDeepRate / rate);
    }

    // The vector paths against the full step taken lane after lane, in both
    // kinds of lanes (paths this processor lacks fall back to narrower ones
    // and are not shown).
    std::printf("Paths, same view and core (steps/s):\n");
    std::vector<const char*> paths = {"scalar", "sse2"};
    if (__builtin_cpu_supports("avx2")) paths.push_back("avx2");
    if (__builtin_cpu_supports("avx512f")) paths.push_back("avx512");
    for (const DeepDifference difference : {DeepDifference::Double, DeepDifference::Scaled}) {
        double scalarRate = 0.0;
        for (const char* path : paths) {
            setenv("QUAXEL_DEEP_PATH", path, 1);
            DeepRun run;
            const double rate = BestRate(shallow, difference, shallowIterations, run);
            if (rate == 0.0) return 1;
            if (scalarRate == 0.0) scalarRate = rate;
            std::printf("  %-16s %-7s %.3e, this / scalar: %.2f\n", DeepDifferenceName(difference), path, rate,
                        rate / scalarRate);
        }
        unsetenv("QUAXEL_DEEP_PATH");
    }

    if (re.empty()) return 0;
    if (zoom.empty() || iterations < 1 || width < 2 || height < 2 || threads < 1) return Usage();
    DeepView view;
    if (!MakeView(re, im, zoom, width, height, view)) return 1;
    SetRowThreads(threads);
    DeepRun run;
    if (!RunDeep(view, iterations, run)) return 1;
    const DeepStatistics& s = run.statistics;
    std::printf("View %dx%d, zoom %s, %d iterations, %d threads, spacing %s (%s differences), precision %ld bits:\n",
                width, height, zoom.c_str(), iterations, threads, DeepSpacingText(view).c_str(),
                DeepDifferenceName(view.difference), static_cast<long>(view.precision));
    std::printf("  reference: %lld steps in %.3f s\n", static_cast<long long>(s.referenceSteps), s.referenceSeconds);
    std::printf("  pixels:    %lld steps (%.1f per pixel), %lld rebases\n", static_cast<long long>(s.steps),
                static_cast<double>(s.steps) / (static_cast<double>(width) * height),
                static_cast<long long>(s.rebases));
    std::printf("  wall time: %.3f s, %.3e steps/s in all, %.3e per thread\n", run.seconds,
                static_cast<double>(s.steps) / run.seconds, static_cast<double>(s.steps) / run.seconds / threads);
    return 0;
}
