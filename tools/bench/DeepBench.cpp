// The deep type's speed: its difference steps per second on one core against
// FPU Double's fast kernel on the same points of a shallow view, and the
// figures of a view given on the command line.
//
//   deep_bench [--rates] [--centre RE IM --zoom Z --iter N | --location FILE]... --size WxH
//              [--plain-size WxH] [--threads T] [--tolerance T]
//
// Each view is computed with the approximation at --size and, for the
// speed-up, with and without it at --plain-size (default --size: a view
// whose every step would take hours can be compared on fewer pixels).
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
#include "engine/Location.h"
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

bool RunDeep(const DeepView& view, int32_t iterations, DeepRun& run,
             const DeepApproximation& approximation = DeepApproximation{}) {
    DeepCalculation calculation;
    std::string error;
    if (!calculation.SetUp(view, iterations, 1, iterations, nullptr, ColourParams{}, error)) {
        std::fprintf(stderr, "deep_bench: %s\n", error.c_str());
        return false;
    }
    calculation.Approximate(approximation);
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
    std::fprintf(stderr,
                 "usage: deep_bench [--rates] [--centre RE IM --zoom Z --iter N | --location FILE]... --size WxH\n"
                 "                  [--plain-size WxH] [--threads T] [--tolerance T]\n");
    return 2;
}

struct ViewRequest {
    std::string name, re, im, zoom;
    int32_t iterations = 0;
};

double PerPixel(const DeepRun& run, const DeepView& view) {
    const double pixels = static_cast<double>(view.Width()) * view.Height();
    return (run.seconds - run.statistics.referenceSeconds - run.statistics.tableSeconds) / pixels;
}

// One view with the approximation at (width, height), then with and
// without it at the plain size: the figures a reader needs to see where
// the time goes.
bool BenchView(const ViewRequest& request, int32_t width, int32_t height, int32_t plainWidth, int32_t plainHeight,
               int threads, double tolerance) {
    DeepView view, small;
    if (!MakeView(request.re, request.im, request.zoom, width, height, view) ||
        !MakeView(request.re, request.im, request.zoom, plainWidth, plainHeight, small))
        return false;
    SetRowThreads(threads);
    const DeepApproximation on{true, tolerance};
    DeepRun run;
    if (!RunDeep(view, request.iterations, run, on)) return false;
    const DeepStatistics& s = run.statistics;
    std::printf("%s: %dx%d, zoom %s, %d iterations, %d threads, spacing %s (%s differences), %ld bits\n",
                request.name.c_str(), width, height, request.zoom.c_str(), request.iterations, threads,
                DeepSpacingText(view).c_str(), DeepDifferenceName(view.difference), static_cast<long>(view.precision));
    std::printf("  wall time:   %.3f s\n", run.seconds);
    std::printf("  reference:   %lld steps in %.3f s\n", static_cast<long long>(s.referenceSteps), s.referenceSeconds);
    std::printf("  table:       tolerance %g, %lld entries, %.1f MB, built in %.3f s\n", tolerance,
                static_cast<long long>(s.tableEntries), static_cast<double>(s.tableBytes) / 1e6, s.tableSeconds);
    std::printf("  pixels:      %.3f s, %.2f us per pixel per thread\n",
                run.seconds - s.referenceSeconds - s.tableSeconds, 1e6 * PerPixel(run, view) * threads);
    std::printf("  steps:       %lld (%.1f per pixel): %lld by %lld entries, %lld ordinary; %lld rebases\n",
                static_cast<long long>(s.steps), static_cast<double>(s.steps) / (static_cast<double>(width) * height),
                static_cast<long long>(s.tableSteps), static_cast<long long>(s.tableUses),
                static_cast<long long>(s.steps - s.tableSteps), static_cast<long long>(s.rebases));
    DeepRun plain, approximated;
    if (!RunDeep(small, request.iterations, plain) || !RunDeep(small, request.iterations, approximated, on))
        return false;
    std::printf("  at %dx%d:  plain %.3f s, approximated %.3f s (reference and table included); per pixel: "
                "plain / approximated %.1f\n",
                plainWidth, plainHeight, plain.seconds, approximated.seconds,
                PerPixel(plain, small) / PerPixel(approximated, small));
    return true;
}

}  // namespace

int Rates();

int main(int argc, char** argv) {
    std::vector<ViewRequest> views;
    ViewRequest pending;
    int32_t width = 0, height = 0, plainWidth = 0, plainHeight = 0;
    int threads = RowThreads();
    double tolerance = kBlaDefaultTolerance;
    bool rates = false;
    for (int k = 1; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--rates") rates = true;
        else if (option == "--centre" && k + 2 < argc) pending.re = argv[++k], pending.im = argv[++k];
        else if (option == "--zoom" && k + 1 < argc) pending.zoom = argv[++k];
        else if (option == "--iter" && k + 1 < argc) pending.iterations = std::atoi(argv[++k]);
        else if (option == "--location" && k + 1 < argc) {
            Location location;
            std::string error;
            if (!ReadLocationFile(argv[++k], location, error)) {
                std::fprintf(stderr, "deep_bench: %s: %s\n", argv[k], error.c_str());
                return 1;
            }
            const char* slash = std::strrchr(argv[k], '/');
            views.push_back({slash != nullptr ? slash + 1 : argv[k], location.re, location.im, location.zoom,
                             static_cast<int32_t>(location.iterations)});
        } else if (option == "--size" && k + 1 < argc && std::sscanf(argv[++k], "%dx%d", &width, &height) == 2) continue;
        else if (option == "--plain-size" && k + 1 < argc &&
                 std::sscanf(argv[++k], "%dx%d", &plainWidth, &plainHeight) == 2)
            continue;
        else if (option == "--threads" && k + 1 < argc) threads = std::atoi(argv[++k]);
        else if (option == "--tolerance" && k + 1 < argc) tolerance = std::atof(argv[++k]);
        else return Usage();
    }
    if (!pending.re.empty()) {
        if (pending.zoom.empty() || pending.iterations < 1) return Usage();
        pending.name = "centre";
        views.insert(views.begin(), pending);
    }
    if (!views.empty() && (width < 2 || height < 2 || threads < 1 || !(tolerance > 0.0 && tolerance < 1.0)))
        return Usage();
    if (plainWidth < 2 || plainHeight < 2) plainWidth = width, plainHeight = height;
    if (views.empty()) rates = true;
    std::printf("Processor: %s\n", ProcessorName().c_str());
    if (rates && Rates() != 0) return 1;
    for (const ViewRequest& view : views)
        if (!BenchView(view, width, height, plainWidth, plainHeight, threads, tolerance)) return 1;
    return 0;
}

// The step rates of the difference numbers and paths on one core.
int Rates() {

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

    return 0;
}
