// The colour rule, recolouring from stored counts, and the statistics the
// status bar and the zoom commands read.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/FastKernels.h"
#include "engine/PomeClc.h"

namespace {

using namespace enginetest;

CalcState ColourState(int32_t colours, int32_t shift, bool percentage, int32_t perColour, int32_t iterEnd) {
    CalcState state;
    SetColourParams(state, {colours, shift, percentage, false, 0, perColour});
    state.IterEnd = iterEnd;
    return state;
}

TEST(PaletteIndexOf, ModuloDividesByIterationsPerColourThenShifts) {
    const CalcState state = ColourState(30, 5, false, 1, 256);
    EXPECT_EQ(PaletteIndexOf(state, 27), 2);
    EXPECT_EQ(PaletteIndexOf(state, 256), 21);  // (256 + 5) mod 30
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 0, false, 1, 256), 128), 8);
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 5, false, 4, 256), 27), 11);  // 27 div 4 = 6
    EXPECT_EQ(PaletteIndexOf(ColourState(256, 255, false, 1, 256), 1), 0);
}

TEST(PaletteIndexOf, PercentageSpreadsTheCountsOverIterEnd) {
    const CalcState state = ColourState(252, 0, true, 1, 256);
    EXPECT_EQ(PaletteIndexOf(state, 128), 126);
    EXPECT_EQ(PaletteIndexOf(state, 0), 0);
    EXPECT_EQ(PaletteIndexOf(state, 255), 251);  // 252 * 255 div 256 = 251
    EXPECT_EQ(PaletteIndexOf(state, 256), 0);    // a count at IterEnd wraps to the colour of 0
    EXPECT_EQ(PaletteIndexOf(ColourState(252, 10, true, 1, 256), 250), (246 + 10) % 252);
}

TEST(PaletteIndexOf, HugeCountsStayInTheirColourRange) {
    // 256 * (2^31 - 2) does not fit 32 bits; the share of IterEnd is 255.99...
    EXPECT_EQ(PaletteIndexOf(ColourState(256, 0, true, 1, INT32_MAX), INT32_MAX - 1), 255);
    EXPECT_EQ(PaletteIndexOf(ColourState(256, 0, true, 1, INT32_MAX), INT32_MAX / 2), 127);
    // n + shift beyond INT32_MAX: (2147483646 + 255) mod 256 = 253.
    EXPECT_EQ(PaletteIndexOf(ColourState(256, 255, false, 1, 256), INT32_MAX - 1), 253);
    EXPECT_EQ(PaletteIndexOf(ColourState(100, 0, false, 1000, 256), 99999), 99);
}

TEST(PaletteIndexOf, UncheckedDivisorsAndNegativeCountsNeitherTrapNorLeaveTheRange) {
    // IterEnd 0 or below counts as 1 in Percentage mode: 30 * 7 + 5 = 215 -> 5.
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 5, true, 1, 0), 7), 5);
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 5, true, 1, -3), 7), 5);
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 5, false, 0, 256), 7), 12);
    // A negative limit (negative IterStart) still yields a colour of the palette.
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 0, false, 1, 256), -7), 23);
    EXPECT_EQ(PaletteIndexOf(ColourState(30, 0, false, 1, 256), INT32_MIN), 22);  // -2147483648 mod 30 = -8
}

class RecolourTest : public ::testing::Test {
protected:
    void SetUpState(int32_t width, int32_t height) {
        calc = std::make_unique<ViewCalculation>(width, height);
        SetColourParams(calc->state, {30, 0, false, false, 0, 1});
        ASSERT_EQ(calc->SetUp(StartRange(), NumericType::FpuDouble), NumericType::FpuDouble);
    }

    uint8_t Expected(int32_t count, int32_t colours, int32_t shift, int32_t perColour, bool insideColour,
                     int32_t pomeSetColour) const {
        if (count == NotEscaped && insideColour) return static_cast<uint8_t>(pomeSetColour);
        const int32_t n = count == NotEscaped ? calc->state.CurrentLimit : count;
        return static_cast<uint8_t>((n / perColour + shift) % colours);
    }

    std::unique_ptr<ViewCalculation> calc;
};

TEST_F(RecolourTest, RewritesEveryPixelFromTheStoredCountsAndKeepsTheCalculation) {
    SetUpState(40, 30);
    CalculateToEnd(calc->state);
    const auto& before = std::get<WorkBuffers<double>>(calc->state.workBuffers);
    std::vector<PixelRecord<double>> records(before.Pixels.get(), before.Pixels.get() + 40 * 30);

    for (bool inside : {false, true}) {
        SetColourParams(calc->state, {17, 3, false, inside, 0x1C4, 2});
        Recolour(calc->state, &calc->image.image);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x)
                ASSERT_EQ(calc->image.At(x, y), Expected(EscapeCountAt(calc->state, x, y), 17, 3, 2, inside, 0x1C4))
                    << x << "," << y;
    }
    // Percentage follows IterEnd, which the Iterations command raises.
    SetColourParams(calc->state, {200, 0, true, false, 0, 1});
    Recolour(calc->state, &calc->image.image);
    EXPECT_EQ(calc->image.At(0, 0), PaletteIndexOf(calc->state, EscapeCountAt(calc->state, 0, 0)));

    const auto& after = std::get<WorkBuffers<double>>(calc->state.workBuffers);
    EXPECT_EQ(std::memcmp(records.data(), after.Pixels.get(), records.size() * sizeof(PixelRecord<double>)), 0);
    EXPECT_EQ(calc->state.CurrentLimit, 256);
    EXPECT_EQ(RowLimitAt(calc->state, 29), 256);
    EXPECT_FALSE(NextPass(calc->state));
}

TEST_F(RecolourTest, InTheFirstPassPaintsRowsNotYetComputedInTheInsideColour) {
    SetUpState(8, 12);
    int32_t row = -1;
    CalcNextRow(calc->state, row);
    row = -1;
    CalcNextRow(calc->state, row);  // rows 0 and 4 done, with clear-ahead
    SetColourParams(calc->state, {30, 0, false, true, 0x2A, 1});
    Recolour(calc->state, &calc->image.image);
    for (int32_t x = 0; x < 8; ++x) {
        EXPECT_EQ(calc->image.At(x, 0), Expected(EscapeCountAt(calc->state, x, 0), 30, 0, 1, true, 0x2A));
        EXPECT_EQ(calc->image.At(x, 1), 0x2A);   // cleared earlier, not computed yet
        EXPECT_EQ(calc->image.At(x, 11), 0x2A);  // never reached
    }
    // The calculation goes on undisturbed and overwrites those rows.
    EXPECT_EQ(calc->state.ScanRow, 4);
    EXPECT_TRUE(calc->state.ClearAhead);
    CalculateToEnd(calc->state);

    ViewCalculation fresh(8, 12);
    SetColourParams(fresh.state, {30, 0, false, true, 0x2A, 1});
    ASSERT_EQ(fresh.SetUp(StartRange(), NumericType::FpuDouble), NumericType::FpuDouble);
    CalculateToEnd(fresh.state);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(calc->image.At(x, y), fresh.image.At(x, y)) << x << "," << y;
}

// The image the rows write, pass after pass, is the recolouring of the counts
// they leave: in every type and kernel path, with and without the inside
// colour, on a width that is no multiple of the eight pixels rows are passed
// over at a time, and for a Julia-Set (one constant for every pixel). On the
// way, what each row reports is what happened to the image: RowChanged holds
// exactly when a byte of that row, or of the rows blanked ahead of it,
// differs from before; with the inside colour on, later passes leave most
// rows as they were, so both answers occur.
TEST(ComputedImage, EqualsTheRecolouringOfItsCounts) {
    const CoordinateSet mandelbrot = Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 6, 11, 90);
    CoordinateSet julia = Mandelbrot(-1.6L, 1.6L, -1.2L, 1.2L, 6, 11, 90);  // made a Julia-Set below
    julia.Formula = FormulaKind::JuliaSet;
    julia.ConstReal = -0.123L;
    julia.ConstImag = 0.745L;
    for (KernelPath path : {KernelPath::Reference, KernelPath::Baseline, KernelPath::Avx2Fma, KernelPath::Avx512}) {
        if (!KernelPathSupported(path)) continue;
        ASSERT_TRUE(ForceKernelPath(path));
        for (NumericType type :
             {NumericType::CpuFixed, NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended}) {
            for (const CoordinateSet* view : {&mandelbrot, static_cast<const CoordinateSet*>(&julia)}) {
                if (type == NumericType::CpuFixed && view == &julia) continue;
                for (bool inside : {false, true}) {
                    ViewCalculation calc(61, 23);
                    SetColourParams(calc.state, {23, 4, false, inside, 0x3B, 1});
                    SCOPED_TRACE(testing::Message() << KernelPathName(path) << " type " << static_cast<int>(type)
                                                    << " julia " << (view == &julia) << " inside " << inside);
                    ASSERT_EQ(calc.SetUp(*view, type), type);
                    const DibImage& image = calc.image.image;
                    std::vector<uint8_t> computed(image.pixels, image.pixels + image.PixelBytes());
                    int passes = 1, changed = 0, unchanged = 0;
                    for (;;) {
                        int32_t row = -1;
                        const bool ahead = calc.state.ClearAhead;
                        CalcNextRow(calc.state, row);
                        if (row == -1) {
                            if (!NextPass(calc.state)) break;
                            ++passes;
                            continue;
                        }
                        bool differs = false;
                        for (int32_t r = row; r <= std::min(row + (ahead ? 3 : 0), image.height - 1); ++r) {
                            const size_t at = static_cast<size_t>(image.height - 1 - r) * image.stride;
                            differs = differs ||
                                      std::memcmp(computed.data() + at, image.pixels + at, image.stride) != 0;
                        }
                        ASSERT_EQ(calc.state.RowChanged, differs)
                            << "row " << row << " limit " << calc.state.CurrentLimit;
                        ++(differs ? changed : unchanged);
                        std::memcpy(computed.data(), image.pixels, computed.size());
                    }
                    EXPECT_EQ(passes, 9);  // 6, 17, ..., 83, 90
                    EXPECT_GT(changed, 0);
                    if (inside) {
                        EXPECT_GT(unchanged, 0);
                    }
                    Recolour(calc.state, &calc.image.image);
                    ASSERT_EQ(std::memcmp(computed.data(), image.pixels, computed.size()), 0);
                }
            }
        }
    }
    ForceKernelPath(BestKernelPath());
}

TEST_F(RecolourTest, MakesTheGivenImageTheStatesImage) {
    SetUpState(8, 6);
    CalculateToEnd(calc->state);
    TestImage other(8, 6);
    Recolour(calc->state, &other.image);
    EXPECT_EQ(calc->state.image, &other.image);
    EXPECT_EQ(other.At(0, 0), PaletteIndexOf(calc->state, EscapeCountAt(calc->state, 0, 0)));
    EXPECT_EQ(calc->image.At(0, 0), PaletteIndexOf(calc->state, EscapeCountAt(calc->state, 0, 0)));  // the old one kept its pixels
    Recolour(calc->state, nullptr);  // no image: nothing to write, nothing breaks
}

class StatsTest : public RecolourTest {
protected:
    // Sets the stored counts directly: a 6 x 5 grid with known values.
    void SetCounts(const std::vector<std::vector<int32_t>>& rows) {
        auto& b = std::get<WorkBuffers<double>>(calc->state.workBuffers);
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x) b.Pixels[y * 6 + x].EscapeCount = rows[y][x];
    }
    static constexpr int32_t N = NotEscaped;
};

TEST_F(StatsTest, NothingEscapedGivesTheCurrentLimit) {
    SetUpState(6, 5);
    const IterationStatistics stats = IterationStats(calc->state, PixelRect{0, 0, 5, 4});
    EXPECT_EQ(stats.min, 64);
    EXPECT_EQ(stats.max, 64);
    EXPECT_EQ(stats.topLeft, NotEscaped);
    EXPECT_EQ(stats.topRight, NotEscaped);
    EXPECT_EQ(stats.bottomLeft, NotEscaped);
    EXPECT_EQ(stats.bottomRight, NotEscaped);
}

TEST_F(StatsTest, MinMaxSkipInsidePixelsAndCornersAreRaw) {
    SetUpState(6, 5);
    SetCounts({{9, 9, 9, 9, 9, 9},
               {9, 40, N, 12, 31, 9},
               {9, N, 17, 55, N, 9},
               {9, 23, N, 18, 8, 9},
               {9, 9, 9, 9, 9, 9}});
    const IterationStatistics inner = IterationStats(calc->state, PixelRect{1, 1, 4, 3});
    EXPECT_EQ(inner.min, 8);
    EXPECT_EQ(inner.max, 55);
    EXPECT_EQ(inner.topLeft, 40);
    EXPECT_EQ(inner.topRight, 31);
    EXPECT_EQ(inner.bottomLeft, 23);
    EXPECT_EQ(inner.bottomRight, 8);

    const IterationStatistics cell = IterationStats(calc->state, PixelRect{2, 2, 2, 2});
    EXPECT_EQ(cell.min, 17);
    EXPECT_EQ(cell.max, 17);
    EXPECT_EQ(cell.topLeft, 17);
    EXPECT_EQ(cell.bottomRight, 17);

    const IterationStatistics inside = IterationStats(calc->state, PixelRect{2, 1, 2, 1});
    EXPECT_EQ(inside.min, 64);
    EXPECT_EQ(inside.max, 64);
    EXPECT_EQ(inside.topLeft, NotEscaped);

    // Beyond the image: clipped to it.
    const IterationStatistics whole = IterationStats(calc->state, PixelRect{-3, -3, 100, 100});
    EXPECT_EQ(whole.min, 8);
    EXPECT_EQ(whole.max, 55);
    EXPECT_EQ(whole.topLeft, 9);
    const IterationStatistics outside = IterationStats(calc->state, PixelRect{10, 10, 20, 20});
    EXPECT_EQ(outside.min, 64);
    EXPECT_EQ(outside.max, 64);
    EXPECT_EQ(outside.topLeft, NotEscaped);
}

TEST_F(StatsTest, SuggestIterationsRaisesStartAndEndFromTheSmallestCount) {
    SetUpState(6, 5);
    // m = 100, IterStart 64, IterInc 64, IterEnd 256 -> 192 and 512.
    SetCounts({{N, N, N, N, N, N}, {N, 150, 100, N, N, N}, {N, N, 300, N, N, N}});
    calc->state.CurrentLimit = 320;
    CoordinateSet c = Mandelbrot(0, 1, 0, 1, 64, 64, 256);
    SuggestIterations(calc->state, c, PixelRect{1, 1, 2, 2});
    EXPECT_EQ(c.IterStart, 192);
    EXPECT_EQ(c.IterEnd, 512);
    EXPECT_EQ(c.IterInc, 64);

    // Already high enough: nothing changes.
    c = Mandelbrot(0, 1, 0, 1, 500, 64, 1000);
    SuggestIterations(calc->state, c, PixelRect{1, 1, 2, 2});
    EXPECT_EQ(c.IterStart, 500);
    EXPECT_EQ(c.IterEnd, 1000);

    // Nothing escaped in the rectangle: m is the current limit.
    calc->state.CurrentLimit = 256;
    c = Mandelbrot(0, 1, 0, 1, 64, 64, 256);
    SuggestIterations(calc->state, c, PixelRect{3, 0, 5, 4});
    EXPECT_EQ(c.IterStart, 384);
    EXPECT_EQ(c.IterEnd, 1024);
}

TEST_F(StatsTest, SuggestIterationsSurvivesUncheckedValues) {
    SetUpState(6, 5);
    SetCounts({{100}});
    calc->state.CurrentLimit = 256;
    // IterInc 0 counts as 1 and stays 0.
    CoordinateSet c = Mandelbrot(0, 1, 0, 1, 5, 0, 256);
    SuggestIterations(calc->state, c, PixelRect{0, 0, 0, 0});
    EXPECT_EQ(c.IterStart, 102);
    EXPECT_EQ(c.IterEnd, 256);
    EXPECT_EQ(c.IterInc, 0);

    // Counts near INT32_MAX saturate instead of overflowing.
    SetCounts({{INT32_MAX - 10}});
    calc->state.CurrentLimit = INT32_MAX;
    c = Mandelbrot(0, 1, 0, 1, 0, 64, 256);
    SuggestIterations(calc->state, c, PixelRect{0, 0, 0, 0});
    EXPECT_EQ(c.IterStart, INT32_MAX);
    EXPECT_EQ(c.IterEnd, INT32_MAX);
}

}  // namespace
