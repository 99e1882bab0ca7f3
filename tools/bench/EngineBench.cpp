// Throughput of the row kernels on fixed scenes, in iterations per second:
// one iteration is one escape test of one orbit (the inner loop of a kernel),
// counted from the escape counts after each run, over wall-clock time.
//
// Every scene and numeric type runs with the reference kernels, with each
// fast path this processor supports on one thread, and with the best path on
// all threads. After the runs a summary gives, from this one run, the ratio
// of the fast kernels to the reference, of all threads to one, and on the
// heavy views of the whole renderer (all threads) to the plain scalar one.
// One thread is timed by its processor time, all threads by the wall clock;
// with --rounds=N every benchmark runs N times in turn and the best counts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <map>
#include <tuple>
#include <string>
#include <thread>
#include <vector>

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/PomeClc.h"
#include "engine/RowPool.h"
#include "image/DibSect.h"

namespace {

struct Scene {
    const char* name;
    CoordinateSet coordinates;
    int32_t width;
    int32_t height;
    bool once;  // long enough to be measured in one iteration
};

CoordinateSet Range(FormulaKind formula, long double realMin, long double realMax, long double imagMin,
                    long double imagMax, int32_t iterEnd, long double constReal = 0.0L, long double constImag = 0.0L) {
    CoordinateSet c;
    c.RealMin = realMin;
    c.RealMax = realMax;
    c.ImagMin = imagMin;
    c.ImagMax = imagMax;
    c.ConstReal = constReal;
    c.ConstImag = constImag;
    c.Formula = formula;
    // One pass straight to the end: the kernels, not the pass schedule, are measured.
    c.IterStart = iterEnd;
    c.IterInc = iterEnd;
    c.IterEnd = iterEnd;
    return c;
}

CoordinateSet Passes(CoordinateSet c, int32_t iterStart, int32_t iterInc) {
    c.IterStart = iterStart;
    c.IterInc = iterInc;
    return c;
}

// The scenes never trigger a precision check; should one fire, keep the type.
struct NoPrompt final : PrecisionPrompt {
    bool Confirm(NumericType, bool, const char*, unsigned) override { return false; }
};

// Escape tests done for one pixel computed from 0 to `limit` in one pass:
// n + 1 for a count n, `limit` for an orbit still inside.
int64_t InnerSteps(const CalcState& state) {
    int64_t steps = 0;
    for (int32_t y = 0; y < state.height; ++y) {
        for (int32_t x = 0; x < state.width; ++x) {
            const int32_t count = EscapeCountAt(state, x, y);
            steps += count == NotEscaped ? state.CurrentLimit : int64_t{count} + 1;
        }
    }
    return steps;
}

struct Variant {
    KernelPath path;
    int threads;  // 0: all
    std::string name;
    bool cycles = false;  // exact cycle detection (the renderer's default); off: the kernels alone
};

struct Key {
    std::string scene;
    std::string type;
    std::string variant;
    bool operator<(const Key& o) const {
        return std::tie(scene, type, variant) < std::tie(o.scene, o.type, o.variant);
    }
};

std::map<Key, double> rates;  // iterations per second of each run

// The calling thread's processor time: on a machine shared with other work
// it counts what the kernels cost on one core, not how long they waited for
// it. The runs on all threads are timed on the wall clock instead.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void RunScene(benchmark::State& bench, const Scene& scene, NumericType type, const std::string& typeName,
              const Variant& variant) {
    ForceKernelPath(variant.path);
    SetCycleChecks(variant.cycles);
    SetRowThreads(variant.threads == 0 ? static_cast<int>(std::thread::hardware_concurrency()) : variant.threads);

    const std::vector<uint8_t> table(kColourTableBytes, 0);
    DibImage image;
    if (!image.TryCreate(scene.width, scene.height, table.data())) {
        bench.SkipWithError("image could not be created");
        return;
    }
    CalcState state;
    CreateCalcState(state, &image);
    ColourParams colours;
    colours.ColourCount = 256;
    NoPrompt prompt;
    const SetUpContext context{prompt, true};
    const CoordinateSet& c = scene.coordinates;

    // The fastest repetition counts: interruptions only ever add time.
    int64_t steps = 0;
    double best = 0.0;
    for (auto _ : bench) {
        bench.PauseTiming();
        const NumericType used = RunSetUp(state, context, c, colours, type);
        if (used != type || state.Status != SetUpStatus::Ready) {
            bench.SkipWithError("set-up did not keep the numeric type");
            break;
        }
        bench.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadSeconds();
        CalculateToEnd(state);
        const double seconds = variant.threads == 1
                                   ? ThreadSeconds() - cpuStart
                                   : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        bench.PauseTiming();
        steps = InnerSteps(state);
        if (seconds > 0.0 && (best == 0.0 || seconds < best)) best = seconds;
        bench.ResumeTiming();
    }
    if (best > 0.0) {
        bench.counters["iter/s"] = static_cast<double>(steps) / best;
        // Over the rounds too: the best of the interleaved repetitions.
        double& rate = rates[{scene.name, typeName, variant.name}];
        rate = std::max(rate, static_cast<double>(steps) / best);
    }
    ReleaseWorkBuffers(state);
    image.Release();
    ForceKernelPath(BestKernelPath());
    SetCycleChecks(true);
    SetRowThreads(0);
}

const char* Verdict(double ratio, double target) { return ratio >= target ? "met" : "not met"; }

void PrintSummary(const std::vector<Scene>& scenes, const std::vector<std::pair<NumericType, std::string>>& types,
                  const std::string& best) {
    std::printf("\nSummary: fast kernels (%s) against the reference, escape tests per second, one run\n",
                best.c_str());
    std::printf("(one thread: processor time of the thread; all threads: wall clock; the fastest repetition)\n");
    std::printf("%-20s %-12s %12s %12s %8s %12s %8s %8s\n", "scene", "type", "reference/s", "fast/s", "fast/ref",
                "all thr./s", "all/one", "all/ref");
    for (const Scene& scene : scenes) {
        for (const auto& [type, typeName] : types) {
            const auto ref = rates.find({scene.name, typeName, "reference"});
            const auto fast = rates.find({scene.name, typeName, best});
            const auto all = rates.find({scene.name, typeName, best + "/all"});
            if (ref == rates.end() || fast == rates.end() || all == rates.end()) continue;
            std::printf("%-20s %-12s %12.4g %12.4g %7.2fx %12.4g %7.2fx %7.2fx\n", scene.name, typeName.c_str(),
                        ref->second, fast->second, fast->second / ref->second, all->second,
                        all->second / fast->second, all->second / ref->second);
        }
    }
    // The renderer as a user runs it (best path, all threads) against the
    // plain scalar renderer: the reference kernels on one thread, which are
    // the arithmetic and the row loop of the engine before the fast kernels.
    std::printf("\nHeavy views: the renderer on all threads (cycle detection on) against the plain scalar renderer "
                "(reference, one thread, no detection)\n");
    std::printf("%-20s %-12s %10s %10s\n", "scene", "type", "ratio", "target");
    const std::map<std::string, double> targets = {
        {"CpuFixed", 20.0}, {"FpuSingle", 20.0}, {"FpuDouble", 14.0}, {"FpuExtended", 3.5}};
    for (const char* heavy : {"DeepBoundary1024", "HeavyBulb512"}) {
        for (const auto& [type, typeName] : types) {
            const auto ref = rates.find({heavy, typeName, "reference"});
            const auto all = rates.find({heavy, typeName, best + "/all/cycles"});
            if (ref == rates.end() || all == rates.end()) continue;
            const double ratio = all->second / ref->second;
            std::printf("%-20s %-12s %9.2fx %9.1fx  %s\n", heavy, typeName.c_str(), ratio, targets.at(typeName),
                        Verdict(ratio, targets.at(typeName)));
        }
    }

    // The kernels' own targets: short orbits in CPU Fixed, FPU Extended on
    // every scene, and the second core on the full-screen view.
    std::printf("\nKernel targets, one thread against the reference; all threads against one:\n");
    std::printf("%-20s %-12s %-14s %9s %9s\n", "scene", "type", "measure", "ratio", "target");
    const auto check = [&](const char* scene, const char* typeName, const std::string& over, const std::string& under,
                           const char* label, double target) {
        const auto a = rates.find({scene, typeName, over});
        const auto b = rates.find({scene, typeName, under});
        if (a == rates.end() || b == rates.end()) return;
        const double ratio = a->second / b->second;
        std::printf("%-20s %-12s %-14s %8.2fx %8.2fx  %s\n", scene, typeName, label, ratio, target,
                    Verdict(ratio, target));
    };
    for (const char* start : {"MandelbrotStart", "StartImagePasses"})
        check(start, "CpuFixed", best, "reference", "fast/ref", 5.0);
    for (const Scene& scene : scenes) check(scene.name, "FpuExtended", best, "reference", "fast/ref", 2.2);
    for (const auto& [type, typeName] : types)
        check("DeepBoundary1024", typeName.c_str(), best + "/all", best, "all/one", 1.85);

    // Exact cycle detection: the same images, fewer steps. Both on all threads.
    std::printf("\nCycle detection, all threads, with against without (the same images):\n");
    struct CycleTarget {
        const char* scene;
        const char* type;
        double target;
    };
    const CycleTarget cycleTargets[] = {
        {"HeavyBulb512", "CpuFixed", 5.0},       {"HeavyBulb512", "FpuSingle", 5.0},
        {"HeavyBulb512", "FpuDouble", 3.0},      {"HeavyBulb512", "FpuExtended", 2.5},
        {"DeepBoundary1024", "CpuFixed", 0.0},   {"DeepBoundary1024", "FpuSingle", 4.0},
        {"DeepBoundary1024", "FpuDouble", 2.5},  {"DeepBoundary1024", "FpuExtended", 0.0},
        {"BulbPasses512", "CpuFixed", 0.0},      {"BulbPasses512", "FpuSingle", 3.0},
        {"BulbPasses512", "FpuDouble", 0.0},     {"BulbPasses512", "FpuExtended", 0.0},
        {"SlowAttracting512", "CpuFixed", 0.97}, {"SlowAttracting512", "FpuSingle", 0.97},
        {"SlowAttracting512", "FpuDouble", 0.97}, {"SlowAttracting512", "FpuExtended", 0.97},
        {"StartImagePasses", "CpuFixed", 0.97},  {"StartImagePasses", "FpuSingle", 0.97},
        {"StartImagePasses", "FpuDouble", 0.97}, {"StartImagePasses", "FpuExtended", 0.97},
    };
    std::printf("%-20s %-12s %9s %9s %9s\n", "scene", "type", "all thr.", "one thr.", "target");
    for (const CycleTarget& t : cycleTargets) {
        const auto on = rates.find({t.scene, t.type, best + "/all/cycles"});
        const auto off = rates.find({t.scene, t.type, best + "/all"});
        const auto on1 = rates.find({t.scene, t.type, best + "/cycles"});
        const auto off1 = rates.find({t.scene, t.type, best});
        if (on == rates.end() || off == rates.end()) continue;
        const double ratio = on->second / off->second;
        const double one = on1 != rates.end() && off1 != rates.end() ? on1->second / off1->second : 0.0;
        if (t.target > 0.0)
            std::printf("%-20s %-12s %8.2fx %8.2fx %8.2fx  %s\n", t.scene, t.type, ratio, one, t.target,
                        Verdict(ratio, t.target));
        else
            std::printf("%-20s %-12s %8.2fx %8.2fx\n", t.scene, t.type, ratio, one);
    }

    std::printf("\nEvery supported path on one thread, against the reference:\n");
    for (const Scene& scene : scenes) {
        for (const auto& [type, typeName] : types) {
            const auto ref = rates.find({scene.name, typeName, "reference"});
            if (ref == rates.end()) continue;
            std::printf("%-20s %-12s", scene.name, typeName.c_str());
            for (KernelPath path : {KernelPath::Baseline, KernelPath::Avx2Fma, KernelPath::Avx512}) {
                const auto it = rates.find({scene.name, typeName, KernelPathName(path)});
                if (it != rates.end())
                    std::printf("  %s %.2fx", KernelPathName(path), it->second / ref->second);
            }
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Scene> scenes = {
        {"MandelbrotStart", Range(FormulaKind::MandelbrotSet, -2.0L, 1.0L, -1.5L, 1.5L, 256), 400, 300, false},
        // The start image as the program computes it: passes to 64, 128, 192, 256.
        {"StartImagePasses", Passes(Range(FormulaKind::MandelbrotSet, -2.0L, 1.0L, -1.5L, 1.5L, 256), 64, 64), 400,
         300, false},
        // Seahorse valley: most pixels need hundreds to thousands of steps.
        {"MandelbrotBoundary", Range(FormulaKind::MandelbrotSet, -0.75L, -0.74L, 0.10875L, 0.11625L, 4096), 640, 480,
         false},
        // Douady's rabbit, c = -0.123 + 0.745i.
        {"JuliaRabbit", Range(FormulaKind::JuliaSet, -1.6L, 1.6L, -1.2L, 1.2L, 1024, -0.123L, 0.745L), 400, 300,
         false},
        // What a user waits for: a full-screen view of the boundary at the top
        // of the main cardioid, 1024 x 768 with 5000 steps: a third of the
        // pixels inside, about 1700 escape tests per pixel on average.
        {"DeepBoundary1024",
         Range(FormulaKind::MandelbrotSet, -0.1600L, -0.1480L, 1.0330L, 1.0420L, 5000), 1024, 768, true},
        // A heavy view: the period-2 bulb and its boundary, most pixels inside
        // and so running all 4000 steps.
        {"HeavyBulb512", Range(FormulaKind::MandelbrotSet, -1.30L, -0.70L, -0.225L, 0.225L, 4000), 512, 384, true},
        // The same with the program's passes: 64, 128, ..., 4000.
        {"BulbPasses512", Passes(Range(FormulaKind::MandelbrotSet, -1.30L, -0.70L, -0.225L, 0.225L, 4000), 64, 64),
         512, 384, true},
        // Where cycle detection hardly pays: the inside near a slowly
        // attracting boundary settles late.
        {"SlowAttracting512", Range(FormulaKind::MandelbrotSet, -0.78L, -0.72L, 0.06L, 0.105L, 4000), 512, 384, true},
    };
    const std::vector<std::pair<NumericType, std::string>> types = {{NumericType::CpuFixed, "CpuFixed"},
                                                                    {NumericType::FpuSingle, "FpuSingle"},
                                                                    {NumericType::FpuDouble, "FpuDouble"},
                                                                    {NumericType::FpuExtended, "FpuExtended"}};
    const std::string best = KernelPathName(BestKernelPath());
    std::vector<Variant> variants = {{KernelPath::Reference, 1, "reference"}};
    for (KernelPath path : {KernelPath::Baseline, KernelPath::Avx2Fma, KernelPath::Avx512})
        if (KernelPathSupported(path)) variants.push_back({path, 1, KernelPathName(path)});
    variants.push_back({BestKernelPath(), 1, best + "/cycles", true});
    variants.push_back({BestKernelPath(), 0, best + "/all"});
    variants.push_back({BestKernelPath(), 0, best + "/all/cycles", true});

    // --rounds=N repeats every benchmark N times, one round after the other,
    // so that a disturbance of the shared machine does not hit one variant
    // only; the summary takes the best round of each.
    int rounds = 1;
    for (int k = 1; k < argc; ++k) {
        if (std::strncmp(argv[k], "--rounds=", 9) == 0) {
            rounds = std::max(1, std::atoi(argv[k] + 9));
            for (int j = k; j + 1 < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    for (int round = 0; round < rounds; ++round)
    for (const Scene& scene : scenes) {
        for (const auto& [type, typeName] : types) {
            if (scene.coordinates.Formula == FormulaKind::JuliaSet && type == NumericType::CpuFixed) continue;
            for (const Variant& variant : variants) {
                const std::string name = std::string(scene.name) + "/" + typeName + "/" + variant.name +
                                         (rounds > 1 ? "/round" + std::to_string(round + 1) : "");
                auto* b = benchmark::RegisterBenchmark(name.c_str(), RunScene, scene, type, typeName, variant);
                b->Unit(benchmark::kMillisecond)->UseRealTime();
                if (scene.once) b->Iterations(1);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("Kernel path chosen by cpuid: %s; threads: %d\n", best.c_str(),
                static_cast<int>(std::thread::hardware_concurrency()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary(scenes, types, best);
    return 0;
}
