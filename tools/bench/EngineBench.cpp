// Throughput of the seven row kernels on fixed scenes, in iterations per
// second: one iteration is one escape test of one orbit (the inner loop of a
// kernel), counted from the escape counts after each run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/PomeClc.h"
#include "image/DibSect.h"

namespace {

struct Scene {
    const char* name;
    CoordinateSet coordinates;
    int32_t width;
    int32_t height;
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

void RunScene(benchmark::State& bench, const Scene& scene, NumericType type) {
    FpuPresent = true;
    const std::vector<uint8_t> table(kColourTableBytes, 0);
    DibImage image;
    if (!image.TryCreate(scene.width, scene.height, table.data())) {
        bench.SkipWithError("image could not be created");
        return;
    }
    CalcState state;
    CreateCalcState(state, &image);
    SetColourParams(state, 256, 0, false, false, 0, 1);
    NoPrompt prompt;
    const CoordinateSet& c = scene.coordinates;

    int64_t steps = 0;
    for (auto _ : bench) {
        bench.PauseTiming();
        const NumericType used = SetUpCalculation(state, prompt, c.IterStart, c.IterInc, c.RealMin, c.RealMax,
                                                  c.ImagMin, c.ImagMax, c.ConstReal, c.ConstImag, c.IterEnd,
                                                  c.Formula, type);
        if (used != type || state.Status != SetUpStatus::Ready) {
            bench.SkipWithError("set-up did not keep the numeric type");
            break;
        }
        bench.ResumeTiming();

        int32_t row;
        do {
            row = -1;
            CalcNextRow(state, row);
        } while (row != -1);

        bench.PauseTiming();
        steps += InnerSteps(state);
        bench.ResumeTiming();
    }
    bench.counters["iter/s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
    ReleaseWorkBuffers(state);
    image.Release();
}

}  // namespace

int main(int argc, char** argv) {
    const Scene scenes[] = {
        {"MandelbrotStart", Range(FormulaKind::MandelbrotSet, -2.0L, 1.0L, -1.5L, 1.5L, 256), 400, 300},
        // Seahorse valley: most pixels need hundreds to thousands of steps.
        {"MandelbrotBoundary", Range(FormulaKind::MandelbrotSet, -0.75L, -0.74L, 0.10875L, 0.11625L, 4096), 640, 480},
        // Douady's rabbit, c = -0.123 + 0.745i.
        {"JuliaRabbit", Range(FormulaKind::JuliaSet, -1.6L, 1.6L, -1.2L, 1.2L, 1024, -0.123L, 0.745L), 400, 300},
    };
    struct TypeName {
        NumericType type;
        const char* name;
    };
    const TypeName types[] = {{NumericType::CpuFixed, "CpuFixed"},
                              {NumericType::FpuSingle, "FpuSingle"},
                              {NumericType::FpuDouble, "FpuDouble"},
                              {NumericType::FpuExtended, "FpuExtended"}};

    for (const Scene& scene : scenes) {
        for (const TypeName& t : types) {
            if (scene.coordinates.Formula == FormulaKind::JuliaSet && t.type == NumericType::CpuFixed) continue;
            const std::string name = std::string(scene.name) + "/" + t.name;
            benchmark::RegisterBenchmark(name.c_str(), RunScene, scene, t.type)->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
