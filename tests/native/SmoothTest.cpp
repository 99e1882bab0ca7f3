#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/FpEnvironment.h"
#include "engine/PomeClcKernels.h"
#include "engine/RowPool.h"
#include "image/Gradient.h"
#include "image/Palette.h"
#include "tools/render/Render.h"
#include "tools/render/Smooth.h"

namespace {

TEST(PortableMath, AgreesWithTheLibraryToAFewUlpsAndRoundTripsTheSrgbLevels) {
    for (double x = 1e-6; x < 1e7; x *= 1.0137) {
        EXPECT_NEAR(PortableLog2(x), std::log2(x), 4e-16 * std::max(1.0, std::fabs(std::log2(x)))) << x;
    }
    for (double x = -30.0; x < 30.0; x += 0.0713) EXPECT_NEAR(PortableExp2(x) / std::exp2(x), 1.0, 4e-16) << x;
    // Every 8-bit level comes back from linear light as itself, and as
    // itself times 257 in 16 bits: an image of the palette's own colours
    // keeps them.
    for (int level = 0; level < 256; ++level) {
        EXPECT_EQ(QuantiseSrgb(kSrgbToLinear[level], 8), level);
        EXPECT_EQ(QuantiseSrgb(kSrgbToLinear[level], 16), level * 257);
    }
}

// Two points of a line at most 1e-13 apart on either side of a change of
// `key` (the count under 2, or the step that passes R).
template <typename Key>
void Bracket(double lowR, double highR, Key key, double& a, double& b) {
    const auto k0 = key(lowR);
    while (std::fabs(highR - lowR) > 1e-13) {
        const double mid = 0.5 * (lowR + highR);
        (key(mid) == k0 ? lowR : highR) = mid;
    }
    a = lowR;
    b = highR;
}

TEST(SmoothValue, NeighboursAcrossACountBoundaryDifferByLessThanTheBoundOfR) {
    const FpEnvironmentGuard environment;
    constexpr int32_t kLimit = 1000;
    auto v = [](double cr, double ci, int log2R) { return SmoothPoint<double>(0.0, 0.0, cr, ci, kLimit, log2R).value; };
    // Outside the set, across boundaries of the count n and of m, the step
    // that first passes R: at each, v may jump only by SmoothJumpBound.
    struct Line { double ci, lowR, highR; } lines[] = {{0.0, 0.26, 0.5}, {0.5, -1.0, -1.5}, {0.7, -0.2, 0.2}, {1.0, -0.5, 0.5}};
    int boundaries = 0;
    double jumpAtRadius2 = 0.0;
    for (const Line& line : lines) {
        for (double start = line.lowR; (line.highR > line.lowR ? start < line.highR : start > line.highR);
             start += (line.highR - line.lowR) / 16) {
            const double end = start + (line.highR - line.lowR) / 16;
            const SmoothSample s0 = SmoothPoint<double>(0.0, 0.0, start, line.ci, kLimit);
            const SmoothSample s1 = SmoothPoint<double>(0.0, 0.0, end, line.ci, kLimit);
            if (s0.count >= kLimit || s1.count >= kLimit) continue;
            for (bool byStep : {false, true}) {
                if (byStep ? s0.step == s1.step : s0.count == s1.count) continue;
                double a, b;
                Bracket(start, end, [&](double r) {
                    const SmoothSample s = SmoothPoint<double>(0.0, 0.0, r, line.ci, kLimit);
                    return byStep ? s.step : s.count;
                }, a, b);
                const double c = std::hypot(a, line.ci);
                EXPECT_LT(std::fabs(v(a, line.ci, kSmoothLog2Radius) - v(b, line.ci, kSmoothLog2Radius)),
                          SmoothJumpBound(kSmoothLog2Radius, c) + 1e-9)
                    << a << " " << line.ci << (byStep ? " (m)" : " (n)");
                // With R = 2 itself (no further steps) the count's places jump.
                if (!byStep) jumpAtRadius2 = std::max(jumpAtRadius2, std::fabs(v(a, line.ci, 1) - v(b, line.ci, 1)));
                boundaries += byStep ? 1 : 100;
            }
        }
    }
    EXPECT_GE(boundaries / 100, 8);   // of n
    EXPECT_GE(boundaries % 100, 8);   // of m
    EXPECT_GT(jumpAtRadius2, 1000 * SmoothJumpBound(kSmoothLog2Radius, 2.0));
}

// The orbits of a small image in each numeric type, on the kernels'
// fastest path with the cycle check: v from the stored records equals v of
// each point computed alone by the reference definition, whatever the
// number of threads.
struct NoPrompt final : PrecisionPrompt {
    bool Confirm(NumericType, bool, const char*, unsigned) override { return true; }
};

std::vector<double> ImageValues(NumericType type, FormulaKind formula, int threads, CalcState& state, DibImage& image) {
    CoordinateSet view;
    view.RealMin = formula == FormulaKind::JuliaSet ? -1.5L : -1.8L;
    view.RealMax = formula == FormulaKind::JuliaSet ? 1.5L : 0.6L;
    view.ImagMin = -1.0L;
    view.ImagMax = 1.1L;
    view.Formula = formula;
    view.ConstReal = formula == FormulaKind::JuliaSet ? -0.8L : 0.0L;
    view.ConstImag = formula == FormulaKind::JuliaSet ? 0.156L : 0.0L;
    view.IterStart = 64;
    view.IterInc = 100;
    view.IterEnd = 300;
    uint8_t table[kColourTableBytes] = {};
    ColourState colours;
    GeneratePalette(colours, 32, table, 1);
    EXPECT_TRUE(image.TryCreate(61, 47, table));
    CreateCalcState(state, &image);
    NoPrompt prompt;
    EXPECT_EQ(RunSetUp(state, SetUpContext{prompt, true}, view, EngineColours(colours), type), type);
    SetRowThreads(threads);
    CalculateToEnd(state);
    std::vector<double> values(61 * 47);
    EXPECT_TRUE(SmoothValues(state, values.data()));
    return values;
}

TEST(SmoothValue, StoredOrbitsGiveWhatEachPointComputedAloneGives) {
    const FpEnvironmentGuard environment;
    const int savedThreads = RowThreads();
    for (int t = 0; t < 4; ++t) {
        const NumericType type = static_cast<NumericType>(t);
        for (FormulaKind formula : {FormulaKind::MandelbrotSet, FormulaKind::JuliaSet}) {
            if (type == NumericType::CpuFixed && formula == FormulaKind::JuliaSet) continue;
            CalcState state;
            DibImage image;
            const std::vector<double> values = ImageValues(type, formula, 1, state, image);
            int escaped = 0;
            std::visit(
                [&](const auto& buffers) {
                    using B = std::decay_t<decltype(buffers)>;
                    if constexpr (!std::is_same_v<B, std::monostate>) {
                        using T = std::decay_t<decltype(buffers.Pixels[0].Zr)>;
                        const bool julia = formula == FormulaKind::JuliaSet;
                        for (int32_t y = 0; y < state.height; ++y) {
                            for (int32_t x = 0; x < state.width; ++x) {
                                const T pr = buffers.ColumnCoords[x], pi = buffers.RowCoords[y];
                                const T kr = static_cast<T>(state.ConstReal), ki = static_cast<T>(state.ConstImag);
                                const bool fromPoint = julia || std::is_same_v<T, int32_t>;
                                const SmoothSample alone = SmoothPoint<T>(fromPoint ? pr : kr, fromPoint ? pi : ki,
                                                                          julia ? kr : pr, julia ? ki : pi, state.IterEnd);
                                const double stored = values[static_cast<size_t>(y * state.width + x)];
                                if (alone.count >= state.IterEnd) {
                                    EXPECT_EQ(stored, -1.0);
                                } else {
                                    ++escaped;
                                    EXPECT_EQ(stored, alone.value) << t << " " << x << " " << y;
                                    EXPECT_GE(alone.value, alone.count - 1.0);  // v lies near the count
                                    EXPECT_LT(alone.value, alone.count + 3.0);
                                }
                            }
                        }
                    }
                },
                state.workBuffers);
            EXPECT_GT(escaped, 1000);
            CalcState other;
            DibImage otherImage;
            EXPECT_EQ(ImageValues(type, formula, 3, other, otherImage), values);
            ReleaseWorkBuffers(state);
            ReleaseWorkBuffers(other);
            image.Release();
            otherImage.Release();
        }
    }
    SetRowThreads(savedThreads);
}

TEST(Gradient, FollowsTheCountRuleAndItsEndMeetsItsStart) {
    for (int32_t number = 1; number <= kPaletteCount; ++number) {
        uint8_t table[kColourTableBytes] = {};
        ColourState colours;
        GeneratePalette(colours, 32, table, number);
        const RgbQuad* entries = reinterpret_cast<const RgbQuad*>(table);
        const int32_t count = colours.ColourCount;
        // The ring closes: just below the last place is almost the first colour.
        const LinearRgb first = GradientColour(entries, count, 0.0);
        const LinearRgb end = GradientColour(entries, count, std::nextafter(static_cast<double>(count), 0.0));
        EXPECT_NEAR(end.r, first.r, 1e-12) << number;
        EXPECT_NEAR(end.g, first.g, 1e-12) << number;
        EXPECT_NEAR(end.b, first.b, 1e-12) << number;
        // At whole values v = n the place is the 8-bit rule's index of n.
        for (bool percentage : {false, true}) {
            const GradientRule rule{count, 3, percentage, 2, 500, GradientScale::Linear};
            for (int32_t n = 0; n < 500; n += 7) {
                const int64_t index = ((percentage ? count * n / 500 : n / 2) + 3) % count;
                EXPECT_EQ(static_cast<int64_t>(GradientPosition(rule, n)), index) << number << " " << n;
            }
        }
    }
}

TEST(Supersampling, EachPixelsSamplesSitAtTheCentresOfEqualPartsOfItsSquare) {
    CoordinateSet view;
    view.RealMin = -0.7485L;
    view.RealMax = -0.7445L;
    view.ImagMin = 0.1L;
    view.ImagMax = 0.103L;
    const int32_t width = 64, height = 48;
    const long double stepR = (view.RealMax - view.RealMin) / (width - 1);
    const long double stepI = (view.ImagMax - view.ImagMin) / (height - 1);
    for (int32_t factor : {1, 2, 3, 4}) {
        const CoordinateSet big = SupersampledView(view, width, height, factor);
        for (int32_t x : {0, 17, width - 1}) {
            for (int32_t i = 0; i < factor; ++i) {
                const long double want = view.RealMin + stepR * (x + (i + 0.5L) / factor - 0.5L);
                EXPECT_NEAR(static_cast<double>(ColumnReal(big.RealMin, big.RealMax, width * factor, x * factor + i)),
                            static_cast<double>(want), 1e-15) << factor << " " << x << " " << i;
            }
        }
        for (int32_t y : {0, 30, height - 1}) {
            for (int32_t j = 0; j < factor; ++j) {
                const long double want = view.ImagMax - stepI * (y + (j + 0.5L) / factor - 0.5L);
                EXPECT_NEAR(static_cast<double>(RowImag(big.ImagMin, big.ImagMax, height * factor, y * factor + j)),
                            static_cast<double>(want), 1e-15) << factor << " " << y << " " << j;
            }
        }
    }
}

TEST(RgbOptions, BadValuesAreUsageErrors) {
    auto refused = [](std::vector<std::string> args) {
        RenderOptions o;
        std::string error;
        return !ParseRenderOptions(args, o, error) && !error.empty();
    };
    EXPECT_TRUE(refused({"--supersample", "0", "x.png"}));
    EXPECT_TRUE(refused({"--supersample", "17", "x.png"}));
    EXPECT_TRUE(refused({"--depth", "12", "x.png"}));
    EXPECT_TRUE(refused({"--colouring", "smooth", "x.bmp"}));
    EXPECT_TRUE(refused({"--supersample", "2", "x.bmp"}));
    EXPECT_TRUE(refused({"--scale", "log", "x.png"}));
    EXPECT_TRUE(refused({"--adaptive", "x.png"}));
    // The deep type colours smoothly too: deep views take the RGB options.
    EXPECT_FALSE(refused({"--colouring", "smooth", "--type", "deep", "x.png"}));
    EXPECT_FALSE(refused({"--colouring", "smooth", "--centre", "0", "1", "--zoom", "1e30", "x.png"}));
    RenderOptions o;
    std::string error;
    EXPECT_TRUE(ParseRenderOptions({"--colouring", "smooth", "--scale", "sqrt", "--supersample", "3", "--adaptive",
                                    "--depth", "16", "x.PNG"},
                                   o, error))
        << error;
    EXPECT_TRUE(o.smooth && o.adaptive && o.supersample == 3 && o.depth == 16 && o.scale == GradientScale::Sqrt);
}

}  // namespace
