// A row shared by the worker pool gives the same image, counts and orbit
// values as the row computed on the caller's thread alone. Built into a suite
// of its own so that ThreadSanitizer (the "tsan" preset) can check it for
// data races.
#include <gtest/gtest.h>

#include <cstdint>
#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/FastKernels.h"
#include "engine/FpEnvironment.h"
#include "engine/RowPool.h"

namespace {

using namespace enginetest;

struct Result {
    std::vector<uint8_t> image;
    std::vector<int32_t> counts;
    std::vector<long double> orbits;  // Zr, Zi of every pixel, whatever the type
};

// Pool settings for one computation, restored afterwards.
struct PoolSettings {
    PoolSettings(int threads, int64_t work) {
        SetRowThreads(threads);
        SetParallelRowWork(work);
    }
    ~PoolSettings() {
        SetRowThreads(savedThreads);
        SetParallelRowWork(savedWork);
    }
    int savedThreads = RowThreads();
    int64_t savedWork = ParallelRowWork();
};

template <typename T>
void CollectOrbits(const CalcState& state, std::vector<long double>& out) {
    const auto& buffers = std::get<WorkBuffers<T>>(state.workBuffers);
    for (int64_t k = 0; k < int64_t{state.width} * state.height; ++k) {
        out.push_back(static_cast<long double>(buffers.Pixels[k].Zr));
        out.push_back(static_cast<long double>(buffers.Pixels[k].Zi));
    }
}

// Every pass of the view, with a pool of `threads` that takes every row
// (threads > 1) or none.
Result Compute(const CoordinateSet& view, NumericType type, int threads) {
    const PoolSettings settings(threads, threads > 1 ? 1 : INT64_MAX);
    ViewCalculation calc(67, 23);
    TestImage& image = calc.image;
    CalcState& state = calc.state;
    SetColourParams(state, {30, 2, false, true, 0x1F7, 2});
    EXPECT_EQ(calc.SetUp(view, type), type);
    CalculateToEnd(state);

    Result result;
    for (int32_t y = 0; y < 23; ++y) {
        for (int32_t x = 0; x < 67; ++x) {
            result.image.push_back(image.At(x, y));
            result.counts.push_back(EscapeCountAt(state, x, y));
        }
    }
    switch (type) {
        case NumericType::CpuFixed: CollectOrbits<int32_t>(state, result.orbits); break;
        case NumericType::FpuSingle: CollectOrbits<float>(state, result.orbits); break;
        case NumericType::FpuDouble: CollectOrbits<double>(state, result.orbits); break;
        case NumericType::FpuExtended: CollectOrbits<long double>(state, result.orbits); break;
    }
    return result;
}

struct Case {
    std::string name;
    CoordinateSet view;
    NumericType type;
};

std::vector<Case> Cases() {
    CoordinateSet seahorse = Mandelbrot(-0.7485L, -0.7445L, 0.1L, 0.103L, 40, 150, 700);
    CoordinateSet julia = Mandelbrot(-1.6L, 1.6L, -1.2L, 1.2L, 30, 90, 400);
    julia.Formula = FormulaKind::JuliaSet;
    julia.ConstReal = -0.123L;
    julia.ConstImag = 0.745L;
    return {{"FixedSeahorse", seahorse, NumericType::CpuFixed},
            {"SingleSeahorse", seahorse, NumericType::FpuSingle},
            {"DoubleSeahorse", seahorse, NumericType::FpuDouble},
            {"ExtendedSeahorse", seahorse, NumericType::FpuExtended},
            {"SingleJulia", julia, NumericType::FpuSingle},
            {"DoubleJulia", julia, NumericType::FpuDouble},
            {"ExtendedJulia", julia, NumericType::FpuExtended}};
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SharedRow : public ::testing::TestWithParam<Case> {};

TEST_P(SharedRow, SameImageCountsAndOrbitsAsOneThread) {
    const Case& c = GetParam();
    const Result alone = Compute(c.view, c.type, 1);
    const Result shared = Compute(c.view, c.type, 4);
    EXPECT_EQ(alone.image, shared.image);
    EXPECT_EQ(alone.counts, shared.counts);
    ASSERT_EQ(alone.orbits.size(), shared.orbits.size());
    int differing = 0;
    for (size_t k = 0; k < alone.orbits.size(); ++k)
        if (!(alone.orbits[k] == shared.orbits[k]) && alone.orbits[k] == alone.orbits[k]) ++differing;
    EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(Views, SharedRow, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(RowPoolWorkers, SetTheirOwnFloatingPointEnvironment) {
    // Leave every worker with a lowered x87 precision, another rounding
    // direction and flush-to-zero: the next shared rows must not notice.
    if (RowPool::Instance().Workers() == 0) GTEST_SKIP() << "no worker threads on this machine";
    // Run also runs the job on the calling thread, which must stay as it is.
    const std::thread::id caller = std::this_thread::get_id();
    RowPool::Instance().Run(
        [](void* context) {
            if (std::this_thread::get_id() != *static_cast<const std::thread::id*>(context))
                WriteFpControlWords({0x0C7F, 0x1F80 | 0x4000 | 0x8000 | 0x0040});
        },
        const_cast<std::thread::id*>(&caller), RowPool::Instance().Workers());
    const FpControlWords before = ReadFpControlWords();
    CoordinateSet deep = Mandelbrot(-0.7485L, -0.7445L, 0.1L, 0.103L, 300, 300, 300);
    for (NumericType type : {NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended}) {
        const Result alone = Compute(deep, type, 1);
        const Result shared = Compute(deep, type, RowPool::Instance().Workers() + 1);
        EXPECT_EQ(alone.counts, shared.counts);
        EXPECT_EQ(alone.orbits, shared.orbits);
    }
    EXPECT_EQ(ReadFpControlWords().x87, before.x87);
}

TEST(RowPoolRun, EveryHelperRunsTheJobOnceAndRunWaitsForAll) {
    RowPool pool(3);
    std::atomic<int> runs{0};
    for (int round = 0; round < 50; ++round) {
        const int helpers = round % 4;
        runs = 0;
        pool.Run([](void* c) { static_cast<std::atomic<int>*>(c)->fetch_add(1); }, &runs, helpers);
        EXPECT_EQ(runs.load(), helpers + 1);  // the caller and exactly `helpers` workers, all done
    }
}

}  // namespace
