// The kernels against a one-shot reference: every pixel's count computed in
// one go from the definitions must equal what the engine finds
// progressively, pass after pass, continuing the stored orbits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/PomeClc.h"
#include "engine/PomeFix.h"

namespace {

using namespace enginetest;

// ---------------------------------------------------------------------------
// Reference, from the definitions

long double ColumnPoint(const CoordinateSet& c, int32_t width, int32_t x) {
    return ((c.RealMax - c.RealMin) * static_cast<long double>(x)) / static_cast<long double>(width - 1) + c.RealMin;
}

long double RowPoint(const CoordinateSet& c, int32_t height, int32_t y) {
    return c.ImagMax - ((c.ImagMax - c.ImagMin) * static_cast<long double>(y)) / static_cast<long double>(height - 1);
}

// The smallest n < limit with |z_n|^2 > 4 (sum in extended; a NaN sum
// counts as escaped), z_{n+1} = z_n^2 + c with each square rounded to T and
// each new coordinate evaluated in extended and rounded once to T.
template <typename T>
int32_t ReferenceFpu(T zr, T zi, T cr, T ci, int32_t limit) {
    for (int32_t n = 0; n < limit; ++n) {
        const T zr2 = zr * zr;
        const T zi2 = zi * zi;
        const long double sum = static_cast<long double>(zr2) + static_cast<long double>(zi2);
        if (std::isnan(sum) || sum > 4.0L) return n;
        const long double twoZr = 2.0L * static_cast<long double>(zr);
        const T nextZi = static_cast<T>(twoZr * static_cast<long double>(zi) + static_cast<long double>(ci));
        const T nextZr = static_cast<T>(
            (static_cast<long double>(zr2) - static_cast<long double>(zi2)) + static_cast<long double>(cr));
        zr = nextZr;
        zi = nextZi;
    }
    return NotEscaped;
}

// CPU Fixed: z starts at c and counts it as step 0; a step escapes when the
// squares of its value sum to at least 4, in wrapping 32-bit arithmetic.
int32_t ReferenceFixed(int32_t cr, int32_t ci, int32_t limit) {
    auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); };
    int32_t x = cr;
    int32_t y = ci;
    for (int32_t n = 0; n < limit; ++n) {
        const int32_t x2 = FixedMul(x, x);
        const int32_t y2 = FixedMul(y, y);
        if (wrap(int64_t{x2} + y2 - 67108864) >= 0) return n;
        const int32_t nextY = wrap(int64_t{FixedMul(wrap(int64_t{x} + x), y)} + ci);
        x = wrap(int64_t{x2} - y2 + cr);
        y = nextY;
    }
    return NotEscaped;
}

int32_t ReferenceCount(const CoordinateSet& c, NumericType type, int32_t width, int32_t height, int32_t x, int32_t y,
                       int32_t limit) {
    const long double pr = ColumnPoint(c, width, x);
    const long double pi = RowPoint(c, height, y);
    const bool julia = c.Formula == FormulaKind::JuliaSet;
    switch (type) {
        case NumericType::CpuFixed: return ReferenceFixed(ToFixed(pr), ToFixed(pi), limit);
        case NumericType::FpuSingle:
            return julia ? ReferenceFpu<float>(pr, pi, c.ConstReal, c.ConstImag, limit)
                         : ReferenceFpu<float>(0, 0, pr, pi, limit);
        case NumericType::FpuDouble:
            return julia ? ReferenceFpu<double>(pr, pi, c.ConstReal, c.ConstImag, limit)
                         : ReferenceFpu<double>(0, 0, pr, pi, limit);
        case NumericType::FpuExtended:
            return julia ? ReferenceFpu<long double>(pr, pi, c.ConstReal, c.ConstImag, limit)
                         : ReferenceFpu<long double>(0, 0, pr, pi, limit);
    }
    return -1;
}

// Colours used throughout: Modulo, 30 colours, shift 5, three iterations per
// colour, inside colour 0x1F7 (low byte 0xF7).
constexpr int32_t kColours = 30;
constexpr int32_t kShift = 5;
constexpr int32_t kPerColour = 3;
constexpr int32_t kInside = 0x1F7;

uint8_t ExpectedIndex(int32_t count) {
    if (count == NotEscaped) return 0xF7;
    return static_cast<uint8_t>((count / kPerColour + kShift) % kColours);
}

// ---------------------------------------------------------------------------
// Views

struct View {
    std::string name;
    CoordinateSet coordinates;  // IterEnd is the final limit
    NumericType type;
    int32_t width;
    int32_t height;
};

// Failure messages name the view instead of dumping its bytes.
void PrintTo(const View& view, std::ostream* os) { *os << view.name; }

CoordinateSet Around(FormulaKind formula, long double centreReal, long double centreImag, long double span,
                     int32_t iterEnd, long double constReal = 0.0L, long double constImag = 0.0L) {
    CoordinateSet c;
    c.RealMin = centreReal - span / 2.0L;
    c.RealMax = centreReal + span / 2.0L;
    c.ImagMin = centreImag - span * 3.0L / 8.0L;
    c.ImagMax = centreImag + span * 3.0L / 8.0L;
    c.ConstReal = constReal;
    c.ConstImag = constImag;
    c.Formula = formula;
    c.IterStart = 5;
    c.IterInc = 37;
    c.IterEnd = iterEnd;
    return c;
}

// A point on the boundary of the Mandelbrot set (found by bisection at 1000
// iterations), and one on the boundary of the Julia set of c = -0.123 + 0.745i.
constexpr long double kMandelbrotEdgeReal = -0.5L;
constexpr long double kMandelbrotEdgeImag = 0.601693681029806083399L;
constexpr long double kJuliaReal = -0.123L;
constexpr long double kJuliaImag = 0.745L;
constexpr long double kJuliaEdgeReal = 0.35090755818351399085L;
constexpr long double kJuliaEdgeImag = 0.05L;

std::vector<View> Views() {
    const NumericType kTypes[] = {NumericType::CpuFixed, NumericType::FpuSingle, NumericType::FpuDouble,
                                  NumericType::FpuExtended};
    const char* const kTypeNames[] = {"Fixed", "Single", "Double", "Extended"};
    // Deep enough that each type works near its last distinguishable step.
    const long double kDeep[] = {6e-5L, 6e-5L, 1e-13L, 5e-17L};
    const long double kJuliaDeep[] = {0.0L, 1e-4L, 1e-13L, 5e-17L};

    std::vector<View> views;
    for (int t = 0; t < 4; ++t) {
        const std::string type = kTypeNames[t];
        CoordinateSet start = StartRange();
        start.IterStart = 5;
        start.IterInc = 37;
        views.push_back({"MandelbrotStart" + type, start, kTypes[t], 64, 48});
        views.push_back({"MandelbrotSeahorse" + type,
                         Around(FormulaKind::MandelbrotSet, -0.745L, 0.10125L, 0.03L, 1024), kTypes[t], 64, 48});
        views.push_back({"MandelbrotDeep" + type,
                         Around(FormulaKind::MandelbrotSet, kMandelbrotEdgeReal, kMandelbrotEdgeImag, kDeep[t], 3000),
                         kTypes[t], 48, 36});
        if (kTypes[t] == NumericType::CpuFixed) continue;  // no CPU Fixed Julia kernel
        views.push_back({"JuliaWhole" + type,
                         Around(FormulaKind::JuliaSet, 0.0L, 0.0L, 3.2L, 256, kJuliaReal, kJuliaImag), kTypes[t], 64,
                         48});
        views.push_back({"JuliaBoundary" + type,
                         Around(FormulaKind::JuliaSet, kJuliaEdgeReal, kJuliaEdgeImag, 0.05L, 1024, kJuliaReal,
                                kJuliaImag),
                         kTypes[t], 64, 48});
        views.push_back({"JuliaDeep" + type,
                         Around(FormulaKind::JuliaSet, kJuliaEdgeReal, kJuliaEdgeImag, kJuliaDeep[t], 2000, kJuliaReal,
                                kJuliaImag),
                         kTypes[t], 48, 36});
    }
    return views;
}

class ProgressiveMatchesOneShot : public ::testing::TestWithParam<View> {
protected:
    // Counts and image indices of every pixel against the reference at `limit`.
    void ExpectAllPixels(const CalcState& state, const TestImage& image, int32_t limit) {
        const View& view = GetParam();
        std::set<int32_t> distinct;
        int mismatches = 0;
        for (int32_t y = 0; y < view.height; ++y) {
            for (int32_t x = 0; x < view.width; ++x) {
                const int32_t expected =
                    ReferenceCount(view.coordinates, view.type, view.width, view.height, x, y, limit);
                distinct.insert(expected);
                const int32_t actual = EscapeCountAt(state, x, y);
                if (actual != expected || image.At(x, y) != ExpectedIndex(expected)) {
                    if (++mismatches <= 5)
                        ADD_FAILURE() << "pixel " << x << "," << y << " at limit " << limit << ": count " << actual
                                      << " expected " << expected << ", index " << int{image.At(x, y)}
                                      << " expected " << int{ExpectedIndex(expected)};
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
        // A view that shows (almost) one count would prove little.
        EXPECT_GE(distinct.size(), 8u) << "uninteresting view";
    }
};

TEST_P(ProgressiveMatchesOneShot, EveryPixelAfterPassesAndARaisedEnd) {
    const View& view = GetParam();
    ViewCalculation calc(view.width, view.height);
    TestImage& image = calc.image;
    CalcState& state = calc.state;
    SetColourParams(state, {kColours, kShift, false, true, kInside, kPerColour});

    // First to half the final limit, in passes of 37 from 5.
    CoordinateSet first = view.coordinates;
    first.IterEnd = view.coordinates.IterEnd / 2;
    ASSERT_EQ(calc.SetUp(first, view.type), view.type) << "the view is too deep for its type";

    // A recolour in the middle of the first pass changes nothing of the result.
    for (int i = 0; i < view.height / 3; ++i) {
        int32_t row = -1;
        CalcNextRow(state, row);
    }
    Recolour(state, &image.image);
    CalculateToEnd(state);
    EXPECT_EQ(state.CurrentLimit, first.IterEnd);
    ExpectAllPixels(state, image, first.IterEnd);

    // The Iterations command: raise the end, open a pass, continue the orbits.
    RaiseIterEnd(state, view.coordinates.IterEnd);
    EXPECT_TRUE(NextPass(state));
    CalculateToEnd(state);
    EXPECT_EQ(state.CurrentLimit, view.coordinates.IterEnd);
    ExpectAllPixels(state, image, view.coordinates.IterEnd);
}

INSTANTIATE_TEST_SUITE_P(Views, ProgressiveMatchesOneShot, ::testing::ValuesIn(Views()),
                         [](const ::testing::TestParamInfo<View>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Single points

// A 2 x 2 image whose bottom-left pixel is the point (real, 0).
int32_t CountOfPoint(long double real, NumericType type, int32_t iterEnd, long double span = 1.0L) {
    ViewCalculation calc(2, 2);
    CalcState& state = calc.state;
    const CoordinateSet c = Mandelbrot(real, real + span, 0.0L, 1.0L, iterEnd, 1, iterEnd);
    EXPECT_EQ(calc.SetUp(c, type), type);
    CalculateToEnd(state);
    return EscapeCountAt(state, 0, 1);
}

TEST(KernelPoints, OutsideRadiusTwoEscapesAtOneInFpuAndZeroInFixed) {
    for (NumericType type : {NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended})
        EXPECT_EQ(CountOfPoint(3.0L, type, 64), 1);
    EXPECT_EQ(CountOfPoint(3.0L, NumericType::CpuFixed, 64), 0);
}

TEST(KernelPoints, MinusTwoSitsExactlyOnTheBound) {
    // z = 0, -2, 2, 2, ...: |z|^2 = 4 exactly, which the strict FPU test keeps
    // inside and the fixed-point test (>= 4) lets escape at once.
    for (NumericType type : {NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended})
        EXPECT_EQ(CountOfPoint(-2.0L, type, 200), NotEscaped);
    EXPECT_EQ(CountOfPoint(-2.0L, NumericType::CpuFixed, 200), 0);
}

TEST(KernelPoints, SquaresAreRoundedToTheTypeBeforeTheEscapeTest) {
    // Points where the squares rounded to the type sum to at most 4 although
    // the exact sum exceeds 4: z1 = c must not escape, z2 does.
    struct Case {
        NumericType type;
        long double real, imag;
    };
    const Case cases[] = {
        {NumericType::FpuSingle, 0x1.f87bbp-1L, 0x1.bd8dc6p+0L},
        {NumericType::FpuDouble, 0x1.f87bb22a1e4e8p-1L, 0x1.bd8dc514e7a2fp+0L},
    };
    for (const Case& k : cases) {
        ViewCalculation calc(2, 2);
        CalcState& state = calc.state;
        const CoordinateSet c = Mandelbrot(k.real, k.real + 1.0L, k.imag, k.imag + 1.0L, 10, 10, 10);
        ASSERT_EQ(calc.SetUp(c, k.type), k.type);
        CalculateToEnd(state);
        EXPECT_EQ(EscapeCountAt(state, 0, 1), 2);
        EXPECT_EQ(ReferenceCount(c, k.type, 2, 2, 0, 1, 10), 2);
    }
}

TEST(KernelPoints, OverflowingSquaresCountAsEscaped) {
    // 1e20 squared overflows binary32, 1e200 binary64: infinite squares escape.
    EXPECT_EQ(CountOfPoint(1e20L, NumericType::FpuSingle, 50, 1e20L), 1);
    EXPECT_EQ(CountOfPoint(1e200L, NumericType::FpuDouble, 50, 1e200L), 1);
    EXPECT_EQ(CountOfPoint(1e3000L, NumericType::FpuExtended, 50, 1e3000L), 1);
}

TEST(KernelPoints, NanOrbitsEscapeInsteadOfStayingInside) {
    // A NaN constant makes z NaN after one step; |z|^2 > 4 is then false for
    // ever, so only a test that treats NaN as escaped ends these orbits.
    for (NumericType type : {NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended}) {
        ViewCalculation calc(6, 4);
        CalcState& state = calc.state;
        CoordinateSet c = Mandelbrot(-1.0L, 1.0L, -1.0L, 1.0L, 10, 10, 100);
        c.Formula = FormulaKind::JuliaSet;
        c.ConstReal = std::numeric_limits<long double>::quiet_NaN();
        ASSERT_EQ(calc.SetUp(c, type), type);
        CalculateToEnd(state);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(EscapeCountAt(state, x, y), 1);
    }
}

TEST(KernelPoints, CountsBeyond65534AreKeptAndColoured) {
    // In the thin channel right of the cusp at 0.25 orbits take about
    // pi / sqrt(eps) steps: here between 50,000 and 100,000.
    const CoordinateSet c = Mandelbrot(0.25L + 1e-9L, 0.25L + 4e-9L, 0.0L, 1e-15L, 1000, 40000, 200000);
    for (NumericType type : {NumericType::FpuDouble, NumericType::FpuExtended}) {
        ViewCalculation calc(4, 2);
        TestImage& image = calc.image;
        CalcState& state = calc.state;
        SetColourParams(state, {256, 0, false, false, 0, 1});
        ASSERT_EQ(calc.SetUp(c, type), type);
        CalculateToEnd(state);
        int above = 0;
        for (int32_t y = 0; y < 2; ++y) {
            for (int32_t x = 0; x < 4; ++x) {
                const int32_t expected = ReferenceCount(c, type, 4, 2, x, y, 200000);
                ASSERT_NE(expected, NotEscaped);
                EXPECT_EQ(EscapeCountAt(state, x, y), expected);
                EXPECT_EQ(image.At(x, y), expected % 256);
                if (expected > 65535) ++above;
            }
        }
        EXPECT_GT(above, 0);
    }
}

TEST(KernelPoints, InsidePixelShowsTheLimitOfItsPass) {
    // 30 colours, Modulo, shift 0: a point still inside at limit 128 gets
    // 128 mod 30 = 8; at 192, 192 mod 30 = 12.
    ViewCalculation calc(2, 2);
    TestImage& image = calc.image;
    CalcState& state = calc.state;
    SetColourParams(state, {30, 0, false, false, 0, 1});
    ASSERT_EQ(calc.SetUp(Mandelbrot(-0.1L, 0.1L, -0.1L, 0.1L, 128, 64, 256), NumericType::FpuDouble),
              NumericType::FpuDouble);
    int32_t row = -1;
    do {
        row = -1;
        CalcNextRow(state, row);
    } while (row != -1);
    EXPECT_EQ(image.At(1, 1), 8);
    ASSERT_TRUE(NextPass(state));
    do {
        row = -1;
        CalcNextRow(state, row);
    } while (row != -1);
    EXPECT_EQ(image.At(1, 1), 12);
    EXPECT_EQ(EscapeCountAt(state, 1, 1), NotEscaped);
}

}  // namespace
