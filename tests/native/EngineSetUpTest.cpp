#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "EngineTestSupport.h"
#include "engine/PomeClc.h"
#include "engine/PomeFix.h"

namespace {

using namespace enginetest;

constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

// The plane mapping written out: column x lies at ((max - min) * x) / (w - 1) + min,
// row y at max - ((max - min) * y) / (h - 1), both in extended.
long double ColumnPoint(long double min, long double max, int32_t width, int32_t x) {
    return ((max - min) * static_cast<long double>(x)) / static_cast<long double>(width - 1) + min;
}

long double RowPoint(long double min, long double max, int32_t height, int32_t y) {
    return max - ((max - min) * static_cast<long double>(y)) / static_cast<long double>(height - 1);
}

template <typename T>
void ExpectPlaneOf(const CalcState& state, const CoordinateSet& c, T (*convert)(long double)) {
    const auto* buffers = std::get_if<WorkBuffers<T>>(&state.workBuffers);
    ASSERT_NE(buffers, nullptr);
    for (int32_t x = 0; x < state.width; ++x)
        ASSERT_EQ(buffers->ColumnCoords[x], convert(ColumnPoint(c.RealMin, c.RealMax, state.width, x))) << "column " << x;
    for (int32_t y = 0; y < state.height; ++y)
        ASSERT_EQ(buffers->RowCoords[y], convert(RowPoint(c.ImagMin, c.ImagMax, state.height, y))) << "row " << y;
}

// For the tests of the state itself; views on an image of their own are
// ViewCalculations.
class SetUpTest : public ::testing::Test {
protected:
    RecordingPrompt prompt;
    SetUpContext context{prompt, true};
};

TEST_F(SetUpTest, StartRangeMapsEdgesAndEveryPixelInEachType) {
    ViewCalculation calc(320, 240);
    CalcState& state = calc.state;
    const CoordinateSet c = StartRange();

    ASSERT_EQ(calc.SetUp(c, NumericType::FpuExtended), NumericType::FpuExtended);
    const auto& ext = std::get<WorkBuffers<long double>>(state.workBuffers);
    EXPECT_EQ(ext.ColumnCoords[0], -2.0L);
    EXPECT_EQ(ext.ColumnCoords[319], 1.0L);
    EXPECT_EQ(ext.RowCoords[0], 1.5L);
    EXPECT_EQ(ext.RowCoords[239], -1.5L);
    // The step is 3/319 across and 3/239 down (the two are not equal).
    EXPECT_NEAR(static_cast<double>(ext.ColumnCoords[1] - ext.ColumnCoords[0]), 3.0 / 319.0, 1e-15);
    EXPECT_NEAR(static_cast<double>(ext.RowCoords[0] - ext.RowCoords[1]), 3.0 / 239.0, 1e-15);
    // Every entry in the stated evaluation order, bit for bit.
    ExpectPlaneOf<long double>(state, c, [](long double v) { return v; });

    ASSERT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuDouble);
    ExpectPlaneOf<double>(state, c, [](long double v) { return static_cast<double>(v); });
    ASSERT_EQ(calc.SetUp(c, NumericType::FpuSingle), NumericType::FpuSingle);
    ExpectPlaneOf<float>(state, c, [](long double v) { return static_cast<float>(v); });
    ASSERT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::CpuFixed);
    ExpectPlaneOf<int32_t>(state, c, [](long double v) { return ToFixed(v); });
    const auto& fixed = std::get<WorkBuffers<int32_t>>(state.workBuffers);
    EXPECT_EQ(fixed.ColumnCoords[0], -33554432);  // -2.0
    EXPECT_EQ(fixed.RowCoords[0], 25165824);      // 1.5

    EXPECT_TRUE(calc.prompt.calls.empty());
}

TEST_F(SetUpTest, OrderOfEvaluationIsVisibleInTheLastBit) {
    // ((max - min) * x) / (w - 1) + min differs from min + x * step in the last
    // bit for some columns; the mapping must be the former, which navigation
    // uses to map pixels back to the plane.
    ViewCalculation calc(320, 3);
    CalcState& state = calc.state;
    const CoordinateSet c = Mandelbrot(0.1L, 0.7L, -0.3L, 0.9L, 8, 8, 8);
    ASSERT_EQ(calc.SetUp(c, NumericType::FpuExtended), NumericType::FpuExtended);
    const auto& b = std::get<WorkBuffers<long double>>(state.workBuffers);
    const long double step = (c.RealMax - c.RealMin) / 319.0L;
    int differing = 0;
    for (int32_t x = 0; x < 320; ++x) {
        ASSERT_EQ(b.ColumnCoords[x], ColumnPoint(c.RealMin, c.RealMax, 320, x)) << x;
        if (b.ColumnCoords[x] != c.RealMin + static_cast<long double>(x) * step) ++differing;
    }
    EXPECT_GT(differing, 0) << "the chosen range no longer tells the two orders apart";
}

TEST(MemoryRequirement, FollowsTheFormulaForEveryType) {
    EXPECT_EQ(MemoryRequirement(320, 240, NumericType::CpuFixed), 1003528u);
    EXPECT_EQ(MemoryRequirement(320, 240, NumericType::FpuSingle), 1003528u);
    EXPECT_EQ(MemoryRequirement(320, 240, NumericType::FpuDouble), 1927368u);
    EXPECT_EQ(MemoryRequirement(320, 240, NumericType::FpuExtended), 2542888u);
    EXPECT_EQ(MemoryRequirement(640, 480, NumericType::FpuDouble), 7694728u);
    EXPECT_EQ(MemoryRequirement(640, 480, NumericType::CpuFixed), 4003848u);
    EXPECT_EQ(MemoryRequirement(2, 2, NumericType::FpuExtended), 204u);
    // 1024 x 768 extended: 786432 + 9224 + 10240 + 7680 + 25165824.
    EXPECT_EQ(MemoryRequirement(1024, 768, NumericType::FpuExtended), 25979400u);
}

TEST(MemoryRequirement, SaturatesInsteadOfWrappingAndTreatsNegativeSizesAsZero) {
    // 20000 x 20000 single: 5.2e9 bytes; a 32-bit wrap would report about 0.9e9.
    EXPECT_EQ(MemoryRequirement(20000, 20000, NumericType::FpuSingle), UINT32_MAX);
    EXPECT_EQ(MemoryRequirement(INT32_MAX, INT32_MAX, NumericType::FpuExtended), UINT32_MAX);
    // 17000 x 17000 single, 3,757,340,008 bytes, still fits 32 bits.
    EXPECT_EQ(MemoryRequirement(17000, 17000, NumericType::FpuSingle),
              17000u * 17000u + (12u * 17000u + 8u) + 4u * 17000u + 4u * 17000u + 12u * 17000u * 17000u);
    EXPECT_EQ(MemoryRequirement(-5, 10, NumericType::FpuSingle), 12u * 10u + 8u + 4u * 10u);
    EXPECT_EQ(MemoryRequirement(-5, -10, NumericType::FpuDouble), 8u);
}

TEST_F(SetUpTest, CreateCalcStateAllocatesZeroedSingleBuffersAndComputesNothing) {
    TestImage image(12, 9);
    CalcState state;
    state.numericType = NumericType::FpuDouble;
    CreateCalcState(state, &image.image);
    EXPECT_EQ(state.image, &image.image);
    EXPECT_EQ(state.width, 12);
    EXPECT_EQ(state.height, 9);
    EXPECT_EQ(state.numericType, NumericType::FpuSingle);
    EXPECT_EQ(state.Status, SetUpStatus::Idle);
    const auto* b = std::get_if<WorkBuffers<float>>(&state.workBuffers);
    ASSERT_NE(b, nullptr);
    for (int32_t i = 0; i < 12 * 9; ++i) {
        EXPECT_EQ(b->Pixels[i].EscapeCount, 0);
        EXPECT_EQ(b->Pixels[i].Zr, 0.0f);
    }
    int32_t row = -1;
    CalcNextRow(state, row);
    EXPECT_EQ(row, -1);
    EXPECT_FALSE(NextPass(state));
    EXPECT_EQ(image.At(0, 0), TestImage::kUntouched);
}

TEST_F(SetUpTest, JuliaInCpuFixedIsSetUpAndReturnedAsFpuSingle) {
    ViewCalculation calc(16, 12);
    CalcState& state = calc.state;
    CoordinateSet c = StartRange();
    c.Formula = FormulaKind::JuliaSet;
    c.ConstReal = -0.123L;
    c.ConstImag = 0.745L;
    state.workBuffers.emplace<std::monostate>();  // make the (re)allocation visible
    EXPECT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::FpuSingle);
    EXPECT_EQ(state.numericType, NumericType::FpuSingle);
    EXPECT_EQ(state.Status, SetUpStatus::Ready);
    EXPECT_EQ(state.formula, FormulaKind::JuliaSet);
    EXPECT_EQ(state.ConstReal, -0.123L);
    EXPECT_EQ(state.ConstImag, 0.745L);
    const auto* b = std::get_if<WorkBuffers<float>>(&state.workBuffers);
    ASSERT_NE(b, nullptr);
    // Julia orbits start at the pixel's point.
    EXPECT_EQ(b->Pixels[5 * 16 + 3].Zr, b->ColumnCoords[3]);
    EXPECT_EQ(b->Pixels[5 * 16 + 3].Zi, b->RowCoords[5]);

    // The caller protocol stops at once on FPU Single: one set-up only.
    EXPECT_EQ(calc.RunSetUp(c, NumericType::CpuFixed), NumericType::FpuSingle);
}

TEST_F(SetUpTest, MandelbrotStoresZeroConstantAndStartsFpuOrbitsAtZero) {
    ViewCalculation calc(8, 6);
    CalcState& state = calc.state;
    CoordinateSet c = StartRange();
    c.ConstReal = 0.3L;
    c.ConstImag = -0.7L;
    for (NumericType type : {NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended}) {
        ASSERT_EQ(calc.SetUp(c, type), type);
        EXPECT_EQ(state.ConstReal, 0.0L);
        EXPECT_EQ(state.ConstImag, 0.0L);
        std::visit(
            [](const auto& b) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(b)>, std::monostate>) {
                    for (int i = 0; i < 8 * 6; ++i) {
                        EXPECT_EQ(b.Pixels[i].Zr, 0);
                        EXPECT_EQ(b.Pixels[i].Zi, 0);
                        EXPECT_EQ(b.Pixels[i].EscapeCount, NotEscaped);
                    }
                }
            },
            state.workBuffers);
    }
    // CPU Fixed starts one step further, at the point itself.
    ASSERT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::CpuFixed);
    const auto& fixed = std::get<WorkBuffers<int32_t>>(state.workBuffers);
    EXPECT_EQ(fixed.Pixels[2 * 8 + 5].Zr, fixed.ColumnCoords[5]);
    EXPECT_EQ(fixed.Pixels[2 * 8 + 5].Zi, fixed.RowCoords[2]);
}

TEST_F(SetUpTest, SameTypeKeepsBuffersButResetsEveryRowAndPixel) {
    ViewCalculation calc(20, 15);
    CalcState& state = calc.state;
    CoordinateSet c = StartRange();
    ASSERT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuDouble);
    CalculateToEnd(state);
    const auto* before = std::get<WorkBuffers<double>>(state.workBuffers).Pixels.get();

    c.IterStart = 10;
    ASSERT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuDouble);
    const auto& b = std::get<WorkBuffers<double>>(state.workBuffers);
    EXPECT_EQ(b.Pixels.get(), before);
    EXPECT_EQ(state.CurrentLimit, 10);
    EXPECT_EQ(state.ScanRow, -4);
    EXPECT_EQ(state.ScanPhase, 0);
    EXPECT_TRUE(state.ClearAhead);
    for (int32_t y = 0; y < 15; ++y) {
        EXPECT_EQ(b.RowLimit[y], 0);
        for (int32_t x = 0; x < 20; ++x) {
            EXPECT_EQ(b.Pixels[y * 20 + x].EscapeCount, NotEscaped);
            EXPECT_EQ(b.Pixels[y * 20 + x].Zr, 0.0);
            EXPECT_EQ(b.Pixels[y * 20 + x].Zi, 0.0);
        }
    }

    // Another type replaces the buffers with zeroed ones of that type.
    ASSERT_EQ(calc.SetUp(c, NumericType::FpuExtended), NumericType::FpuExtended);
    EXPECT_EQ(state.workBuffers.index(), 4u);
    EXPECT_EQ(state.numericType, NumericType::FpuExtended);
}

TEST_F(SetUpTest, ImagesNarrowerOrLowerThanTwoPixelsLeaveTheStateIdle) {
    for (auto [w, h] : {std::pair{1, 5}, std::pair{5, 1}, std::pair{1, 1}}) {
        ViewCalculation calc(w, h);
        TestImage& image = calc.image;
        CalcState& state = calc.state;
        SetColourParams(state, {30, 0, false, true, 0x107, 1});
        EXPECT_EQ(calc.SetUp(StartRange(), NumericType::FpuDouble), NumericType::FpuDouble);
        EXPECT_EQ(state.Status, SetUpStatus::ImageTooSmall);
        EXPECT_FALSE(HasWorkBuffers(state));
        int32_t row = -1;
        CalcNextRow(state, row);
        EXPECT_EQ(row, -1);
        EXPECT_FALSE(NextPass(state));
        // Nothing computed: everything shows the inside colour.
        Recolour(state, &image.image);
        EXPECT_EQ(image.At(w - 1, h - 1), 0x07);
        EXPECT_EQ(IterationStats(state, PixelRect{0, 0, w - 1, h - 1}).max, 64);
    }
    // Without an image at all.
    CalcState state;
    CreateCalcState(state, nullptr);
    EXPECT_EQ(SetUpCalculation(state, context, StartRange(), NumericType::FpuSingle), NumericType::FpuSingle);
    EXPECT_EQ(state.Status, SetUpStatus::ImageTooSmall);
}

TEST_F(SetUpTest, WorkBuffersThatCannotBeAllocatedLeaveAnIdleStateWithoutBuffers) {
    // A size no allocator can serve (2^40 pixel records); only the engine's
    // arrays are involved, the image's pixel memory is never touched.
    DibImage huge;
    huge.width = 1 << 20;
    huge.height = 1 << 20;
    CalcState state;
    CreateCalcState(state, &huge);
    EXPECT_EQ(state.Status, SetUpStatus::OutOfMemory);
    EXPECT_FALSE(HasWorkBuffers(state));

    const CoordinateSet c = Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 64, 64, 256);
    EXPECT_EQ(RunSetUp(state, context, c, ColourParams{}, NumericType::FpuDouble), NumericType::FpuDouble);
    EXPECT_EQ(state.Status, SetUpStatus::OutOfMemory);
    EXPECT_EQ(state.numericType, NumericType::FpuDouble);
    EXPECT_FALSE(HasWorkBuffers(state));
    int32_t row = -1;
    CalcNextRow(state, row);
    EXPECT_EQ(row, -1);
    EXPECT_FALSE(NextPass(state));
    const IterationStatistics stats = IterationStats(state, PixelRect{0, 0, 3, 3});
    EXPECT_EQ(stats.min, 64);
    EXPECT_EQ(stats.max, 64);
    EXPECT_EQ(stats.topLeft, NotEscaped);

    // A later set-up of a size that fits works again.
    TestImage image(8, 6);
    CreateCalcState(state, &image.image);
    EXPECT_EQ(SetUpCalculation(state, context, c, NumericType::FpuDouble), NumericType::FpuDouble);
    EXPECT_EQ(state.Status, SetUpStatus::Ready);
}

TEST_F(SetUpTest, ReleaseWorkBuffersLeavesNothingToCompute) {
    ViewCalculation calc(8, 6);
    CalcState& state = calc.state;
    ASSERT_EQ(calc.SetUp(StartRange(), NumericType::FpuSingle), NumericType::FpuSingle);
    ReleaseWorkBuffers(state);
    EXPECT_FALSE(HasWorkBuffers(state));
    int32_t row = -1;
    CalcNextRow(state, row);
    EXPECT_EQ(row, -1);
    // The next set-up of the same type allocates again.
    EXPECT_EQ(calc.SetUp(StartRange(), NumericType::FpuSingle), NumericType::FpuSingle);
    EXPECT_TRUE(HasWorkBuffers(state));
    EXPECT_EQ(state.Status, SetUpStatus::Ready);
}

TEST_F(SetUpTest, NonFinitePlaneValuesNeitherCrashNorHang) {
    TestImage image(16, 12);
    const CoordinateSet ranges[] = {
        Mandelbrot(kNaN, 1.0L, -1.0L, 1.0L, 8, 8, 40),
        Mandelbrot(-kInf, kInf, -kInf, kInf, 8, 8, 40),
        Mandelbrot(-1e300L, 1e300L, -1e4000L, 1e4000L, 8, 8, 40),
        Mandelbrot(std::numeric_limits<long double>::lowest(), std::numeric_limits<long double>::max(), kNaN, kNaN,
                   8, 8, 40),
    };
    for (bool fpu : {true, false}) {
        for (const CoordinateSet& c : ranges) {
            for (NumericType type : {NumericType::CpuFixed, NumericType::FpuSingle, NumericType::FpuDouble,
                                     NumericType::FpuExtended}) {
                CalcState state;
                CreateCalcState(state, &image.image);
                RecordingPrompt answers;  // OK to every question
                const NumericType adopted = RunSetUp(state, SetUpContext{answers, fpu}, c, ColourParams{}, type);
                EXPECT_GE(adopted, type);
                EXPECT_LE(answers.calls.size(), 3u);
                if (state.Status == SetUpStatus::Ready) CalculateToEnd(state);
            }
        }
    }
}

TEST_F(SetUpTest, NanRangeFromCpuFixedEndsInFpuDoubleWithEveryPixelEscapedAtOne) {
    // ToFixed makes every NaN column 0: equal neighbours send the set-up on to
    // FPU Double, where NaN never compares equal. The NaN orbit then escapes
    // at its first step instead of staying inside for ever.
    ViewCalculation calc(16, 12);
    CalcState& state = calc.state;
    const CoordinateSet c = Mandelbrot(kNaN, kNaN, -1.0L, 1.0L, 8, 8, 64);
    EXPECT_EQ(calc.RunSetUp(c, NumericType::CpuFixed), NumericType::FpuDouble);
    ASSERT_EQ(state.Status, SetUpStatus::Ready);
    CalculateToEnd(state);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(EscapeCountAt(state, x, y), 1) << x << "," << y;
}

TEST_F(SetUpTest, DefaultNumericTypeFollowsTheProcessorAndTheFormula) {
    EXPECT_EQ(DefaultNumericType(FormulaKind::MandelbrotSet, false), NumericType::CpuFixed);
    EXPECT_EQ(DefaultNumericType(FormulaKind::JuliaSet, false), NumericType::FpuSingle);
    EXPECT_EQ(DefaultNumericType(FormulaKind::MandelbrotSet, true), NumericType::FpuSingle);
    EXPECT_EQ(DefaultNumericType(FormulaKind::JuliaSet, true), NumericType::FpuSingle);
}

}  // namespace
