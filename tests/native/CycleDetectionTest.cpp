// Cycle detection seen from the engine's callers: random views with much of
// the set in view, in every type, on every path and thread count, computed
// in passes with a raised end. The image, every count and the stored value
// of every orbit that is not cycling equal the reference kernels' without
// detection in one pass; every run with detection stops the same orbits with
// the same values.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/RowPool.h"
#include "EngineTestSupport.h"

namespace {

using enginetest::Mandelbrot;
using enginetest::ViewCalculation;

#ifdef _WIN32
constexpr int kViews = 8;  // every view costs more under wine
#else
constexpr int kViews = 16;
#endif
constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 30;

struct Outcome {
    std::vector<uint8_t> image;
    std::vector<uint8_t> records;  // the pixel records' bytes, values as stored
    std::vector<int32_t> counts;
    std::vector<bool> cycling;
    int cyclingCount = 0;
};

template <typename T>
void Collect(const CalcState& state, Outcome& out) {
    const auto& buffers = std::get<WorkBuffers<T>>(state.workBuffers);
    for (int64_t k = 0; k < int64_t{kWidth} * kHeight; ++k) {
        const PixelRecord<T>& p = buffers.Pixels[k];
        const bool cycling = buffers.Checkpoints && IsCycling(buffers.Checkpoints[k]);
        out.counts.push_back(p.EscapeCount);
        out.cycling.push_back(cycling);
        out.cyclingCount += cycling ? 1 : 0;
        // The values only (long double slots have padding): Zr, Zi.
        const size_t size = std::is_same_v<T, long double> ? 10 : sizeof(T);
        const auto* zr = reinterpret_cast<const uint8_t*>(&p.Zr);
        const auto* zi = reinterpret_cast<const uint8_t*>(&p.Zi);
        out.records.insert(out.records.end(), zr, zr + size);
        out.records.insert(out.records.end(), zi, zi + size);
    }
}

// One calculation of `view` on `path` with `threads`, cycle checks on or
// off; with `raiseTo` above the view's end, the end is raised once the first
// pass is done, as F6 does.
Outcome Calculate(const CoordinateSet& view, NumericType type, KernelPath path, int threads, bool checks,
                  int32_t raiseTo) {
    ForceKernelPath(path);
    SetRowThreads(threads);
    SetParallelRowWork(threads > 1 ? 1 : ParallelRowWork());  // share every row
    SetCycleChecks(checks);
    ViewCalculation calc(kWidth, kHeight);
    calc.state.ColourCount = 256;
    calc.state.IterationsPerColour = 3;
    EXPECT_EQ(calc.RunSetUp(view, type), type);
    for (;;) {
        int32_t row = -1;
        CalcNextRow(calc.state, row);
        if (row >= 0) continue;
        if (raiseTo > calc.state.IterEnd) RaiseIterEnd(calc.state, raiseTo);
        if (!NextPass(calc.state)) break;
    }
    SetCycleChecks(true);
    SetRowThreads(0);
    ForceKernelPath(BestKernelPath());

    Outcome out;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) out.image.push_back(calc.image.At(x, y));
    switch (type) {
        case NumericType::CpuFixed: Collect<int32_t>(calc.state, out); break;
        case NumericType::FpuSingle: Collect<float>(calc.state, out); break;
        case NumericType::FpuDouble: Collect<double>(calc.state, out); break;
        case NumericType::FpuExtended: Collect<long double>(calc.state, out); break;
    }
    return out;
}

size_t ValueBytes(NumericType type) {
    switch (type) {
        case NumericType::CpuFixed:
        case NumericType::FpuSingle: return 8;
        case NumericType::FpuDouble: return 16;
        case NumericType::FpuExtended: return 20;
    }
    return 0;
}

TEST(CycleDetection, SameImagesCountsAndOrbitsOnEveryPathThreadCountAndSchedule) {
    const int64_t savedWork = ParallelRowWork();
    std::mt19937_64 rng(20261209);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const NumericType types[] = {NumericType::CpuFixed, NumericType::FpuSingle, NumericType::FpuDouble,
                                 NumericType::FpuExtended};
    int cyclingSeen[4] = {0, 0, 0, 0};
    for (int v = 0; v < kViews; ++v) {
        const NumericType type = types[v % 4];
        // Views over the cardioid, the period-2 bulb and their boundary.
        const double width = uniform(0.05, 0.8);
        const double left = uniform(-1.5, 0.3 - width);
        const double bottom = uniform(-0.7, 0.7 - width * 0.75);
        // Every other view has the program's passes, whose second ends at
        // the first checkpoint step.
        const bool programPasses = v % 2 == 0;
        const int32_t start = programPasses ? 64 : 16 + static_cast<int32_t>(rng() % 200);
        const int32_t inc = programPasses ? 64 : 1 + static_cast<int32_t>(rng() % 400);
        const int32_t end = 300 + static_cast<int32_t>(rng() % 1500);
        CoordinateSet view = Mandelbrot(left, left + width, bottom, bottom + width * 0.75, start, inc, end);
        if (type != NumericType::CpuFixed && v % 3 == 0) {  // a Julia set of a constant inside the bulbs
            view.Formula = FormulaKind::JuliaSet;
            view.ConstReal = uniform(-1.1, -0.9);
            view.ConstImag = uniform(-0.1, 0.1);
            view.RealMin = -1.6L;
            view.RealMax = 1.6L;
            view.ImagMin = -1.2L;
            view.ImagMax = 1.2L;
        }
        const int32_t raised = end + static_cast<int32_t>(rng() % 800);
        CoordinateSet oneShot = view;
        oneShot.IterStart = oneShot.IterInc = oneShot.IterEnd = raised;
        const Outcome plain = Calculate(oneShot, type, KernelPath::Reference, 1, false, 0);
        // One pass with the check: every schedule must stop the same orbits
        // with the same values as this one.
        const Outcome checked = Calculate(oneShot, type, KernelPath::Reference, 1, true, 0);
        const Outcome* first = &checked;
        std::vector<Outcome> runs;
        runs.reserve(8);
        for (KernelPath path : {KernelPath::Reference, KernelPath::Baseline, KernelPath::Avx2Fma, KernelPath::Avx512}) {
            if (!KernelPathSupported(path)) continue;
            for (int threads : {1, 2}) {
                const std::string what = "view " + std::to_string(v) + " " + KernelPathName(path) + " threads " +
                                         std::to_string(threads);
                runs.push_back(Calculate(view, type, path, threads, true, raised));
                const Outcome& got = runs.back();
                EXPECT_EQ(got.image, plain.image) << what;
                EXPECT_EQ(got.counts, plain.counts) << what;
                const size_t bytes = ValueBytes(type);
                for (size_t k = 0; k < got.cycling.size(); ++k) {
                    if (got.cycling[k]) continue;
                    EXPECT_EQ(std::memcmp(&got.records[k * bytes], &plain.records[k * bytes], bytes), 0)
                        << what << ": pixel " << k << " is not cycling, yet its orbit differs";
                }
                EXPECT_EQ(got.cycling, first->cycling) << what;
                EXPECT_EQ(got.records, first->records) << what;
            }
        }
        cyclingSeen[v % 4] += checked.cyclingCount;
    }
    SetParallelRowWork(savedWork);
    for (int t = 0; t < 4; ++t) EXPECT_GT(cyclingSeen[t], 0) << "type " << t << ": no orbit was found cycling";
}

// A caller without room for the checkpoints (or a set-up whose allocation of
// them fails) gets the same image from a calculation without the check; the
// next set-up with room adds them to the buffers it keeps.
TEST(CycleDetection, WithoutCheckpointsTheSameImageIsCalculatedWithoutTheCheck) {
    const CoordinateSet view = Mandelbrot(-1.3, -0.7, -0.225, 0.225, 64, 64, 900);
    ViewCalculation calc(kWidth, kHeight);
    calc.state.ColourCount = 256;
    auto run = [&] {
        EXPECT_EQ(calc.RunSetUp(view, NumericType::FpuSingle), NumericType::FpuSingle);
        int32_t row = -1;
        do {
            do CalcNextRow(calc.state, row);
            while (row >= 0);
        } while (NextPass(calc.state));
        std::vector<uint8_t> image;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) image.push_back(calc.image.At(x, y));
        return image;
    };
    auto checkpoints = [&] { return std::get<WorkBuffers<float>>(calc.state.workBuffers).Checkpoints.get(); };

    calc.state.CycleCheckAllowed = false;
    const std::vector<uint8_t> without = run();
    EXPECT_EQ(checkpoints(), nullptr);
    calc.state.CycleCheckAllowed = true;
    const std::vector<uint8_t> with = run();
    ASSERT_NE(checkpoints(), nullptr);
    EXPECT_EQ(with, without);
    int cycling = 0;
    for (int32_t k = 0; k < kWidth * kHeight; ++k) cycling += IsCycling(checkpoints()[k]) ? 1 : 0;
    EXPECT_GT(cycling, kWidth * kHeight / 4) << "most of the bulb view cycles";
}

}  // namespace
