// Where the navigation and colour commands take the view: the zoom proposal,
// centring, widening, the constant under a pixel, the start ranges, the
// automatic zoom's search, and the palette rotation and colour spread.
#include <gtest/gtest.h>

#include <deque>

#include "EngineTestSupport.h"
#include "image/ColourCommands.h"
#include "navigation/NavigationMath.h"

namespace {

using namespace enginetest;

TEST(Zoom, ProposalMapsTheRectangleLikeTheEngineMapsPixels) {
    const CoordinateSet start = StartRange();
    CoordinateSet proposal;
    PixelRect whole{0, 0, 399, 299};
    ASSERT_TRUE(ProposeZoom(start, 400, 300, whole, proposal));
    EXPECT_EQ(proposal.RealMin, -2.0L);
    EXPECT_EQ(proposal.RealMax, 1.0L);
    EXPECT_EQ(proposal.ImagMin, -1.5L);
    EXPECT_EQ(proposal.ImagMax, 1.5L);

    PixelRect r{100, 75, 299, 224};
    ASSERT_TRUE(ProposeZoom(start, 400, 300, r, proposal));
    EXPECT_EQ(proposal.RealMin, -2.0L + 3.0L * 100 / 399);
    EXPECT_EQ(proposal.RealMax, -2.0L + 3.0L * 299 / 399);
    EXPECT_EQ(proposal.ImagMax, 1.5L - 3.0L * 75 / 299);
    EXPECT_EQ(proposal.ImagMin, 1.5L - 3.0L * 224 / 299);
    EXPECT_EQ(proposal.IterEnd, 256);  // iterations are the caller's business
}

TEST(Zoom, ThinRectanglesAreRefusedAndOverhangsClippedRightAndBelow) {
    const CoordinateSet start = StartRange();
    CoordinateSet proposal = start;
    proposal.RealMin = 99.0L;
    PixelRect thin{10, 10, 11, 50};
    EXPECT_FALSE(ProposeZoom(start, 400, 300, thin, proposal));
    EXPECT_EQ(proposal.RealMin, 99.0L);
    PixelRect small{10, 10, 12, 12};
    EXPECT_TRUE(ProposeZoom(start, 400, 300, small, proposal));
    PixelRect beyond{300, 200, 1000, 900};
    ASSERT_TRUE(ProposeZoom(start, 400, 300, beyond, proposal));
    EXPECT_EQ(beyond.right, 399);
    EXPECT_EQ(beyond.bottom, 299);
    EXPECT_EQ(proposal.RealMax, 1.0L);
    EXPECT_EQ(proposal.ImagMin, -1.5L);
}

TEST(Zoom, LateEscapesRaiseTheProposedIterations) {
    // A 40 x 30 view whose left part escapes at 200 or later.
    ViewCalculation calc(40, 30, false);
    CalcState& state = calc.state;
    const CoordinateSet view = Mandelbrot(-0.7485L, -0.7445L, 0.1L, 0.103L, 1000, 1000, 1000);
    calc.SetUp(view, NumericType::FpuDouble);
    CalculateToEnd(state);
    PixelRect rect{0, 0, 39, 29};
    const IterationStatistics stats = IterationStats(state, rect);
    CoordinateSet proposal = StartRange();
    ASSERT_TRUE(ProposeZoom(StartRange(), 40, 30, rect, proposal));
    SuggestIterations(state, proposal, rect);
    const int32_t m = stats.min;
    EXPECT_EQ(proposal.IterStart, (m / 64 + 2) * 64);
    EXPECT_GE(proposal.IterEnd, 2 * proposal.IterStart);
    proposal.IterInc = 0;  // a hand-edited file: counts as 1, never divides by zero
    SuggestIterations(state, proposal, rect);
    EXPECT_GE(proposal.IterStart, m + 1);
    ReleaseWorkBuffers(state);
}

TEST(Centre, ThePixelBecomesTheCentreAndTheSizeStays) {
    CoordinateSet view = StartRange();
    CentreOn(view, 400, 300, 0, 0);
    EXPECT_EQ(view.RealMin, -3.5L);
    EXPECT_EQ(view.RealMax, -0.5L);
    EXPECT_EQ(view.ImagMin, 0.0L);
    EXPECT_EQ(view.ImagMax, 3.0L);
}

TEST(Widen, EachSideMovesOutByItsShare) {
    CoordinateSet view = StartRange();
    WidenBy(view, 200);
    EXPECT_EQ(view.RealMin, -3.5L);
    EXPECT_EQ(view.RealMax, 2.5L);
    EXPECT_EQ(view.ImagMin, -3.0L);
    EXPECT_EQ(view.ImagMax, 3.0L);
    view = StartRange();
    WidenBy(view, 110);
    EXPECT_EQ(view.RealMin, -2.0L - 3.0L * 0.05L);
    EXPECT_EQ(view.ImagMax, 1.5L + 3.0L * 0.05L);
    const CoordinateSet before = view;
    WidenBy(view, 120);
    EXPECT_EQ(view.RealMin, before.RealMin);
}

TEST(Constant, TakenFromThePixelAndTheJuliaStartRange) {
    CoordinateSet view = StartRange();
    PlanePointOf(view, 400, 300, 0, 0, view.ConstReal, view.ConstImag);
    EXPECT_EQ(view.ConstReal, -2.0L);
    EXPECT_EQ(view.ConstImag, 1.5L);
    view.Formula = FormulaKind::JuliaSet;
    view.IterEnd = 5000;
    SetStartRange(view);
    EXPECT_EQ(view.RealMin, -1.5L);
    EXPECT_EQ(view.RealMax, 1.5L);
    EXPECT_EQ(view.ImagMin, -1.5L);
    EXPECT_EQ(view.IterEnd, 256);
    EXPECT_EQ(view.ConstReal, -2.0L);  // the constant stays
}

// Plays back a fixed list of random numbers.
struct ScriptedRandom final : RandomSource {
    std::deque<int32_t> values;
    int calls = 0;
    int32_t Next(int32_t n) override {
        ++calls;
        if (values.empty()) return 0;
        const int32_t v = values.front() % n;
        values.pop_front();
        return v;
    }
};

TEST(AutomaticZoom, RefusesSmallOrPlainImagesAndFallsBackAfter250Tries) {
    ScriptedRandom random;
    PixelRect found{};
    {
        ViewCalculation calc(47, 60);
        CalcState& state = calc.state;
        calc.SetUp(StartRange(), NumericType::FpuSingle);
        CalculateToEnd(state);
        EXPECT_EQ(SearchZoomRectangle(state, random, found), AutoZoomOutcome::TooSmall);
        ReleaseWorkBuffers(state);
    }
    ViewCalculation calc(64, 48);
    CalcState& state = calc.state;
    // Far outside the set every count is 1 or 2: too plain to search.
    calc.SetUp(Mandelbrot(10.0L, 11.0L, 10.0L, 11.0L, 64, 64, 256), NumericType::FpuSingle);
    CalculateToEnd(state);
    EXPECT_EQ(SearchZoomRectangle(state, random, found), AutoZoomOutcome::TooPlain);
    EXPECT_EQ(random.calls, 0);

    calc.SetUp(StartRange(), NumericType::FpuSingle);
    CalculateToEnd(state);
    // Always the top-left corner: the whole image's deepest point is not there.
    random.values.assign(1000, 0);
    EXPECT_EQ(SearchZoomRectangle(state, random, found), AutoZoomOutcome::NotFound);
    EXPECT_EQ(random.calls, 250 * 3);

    // A fair source finds a rectangle with the image's proportions that
    // holds the highest count.
    struct Counter final : RandomSource {
        uint32_t x = 12345;
        int32_t Next(int32_t n) override {
            x = x * 1103515245u + 12345u;
            return static_cast<int32_t>((x >> 8) % static_cast<uint32_t>(n));
        }
    } fair;
    ASSERT_EQ(SearchZoomRectangle(state, fair, found), AutoZoomOutcome::Found);
    const IterationStatistics whole = IterationStats(state, PixelRect{0, 0, 63, 47});
    const IterationStatistics inside = IterationStats(state, found);
    EXPECT_EQ(inside.max, whole.max);
    EXPECT_LT(inside.min, (whole.min + whole.max) / 2);
    EXPECT_EQ(found.bottom - found.top, (found.right - found.left) * 48 / 64);
    ReleaseWorkBuffers(state);
}

TEST(ColourCommands, PaletteCyclingRotationAndSpread) {
    EXPECT_EQ(CycledPaletteNumber(11, +1, 11), 1);
    EXPECT_EQ(CycledPaletteNumber(1, -1, 11), 11);
    EXPECT_EQ(CycledPaletteNumber(4, +1, 11), 5);

    EXPECT_EQ(ShiftedPalette(0, -1, 256), 255);
    EXPECT_EQ(ShiftedPalette(0, +2, 256), 32);
    EXPECT_EQ(ShiftedPalette(10, -2, 256), 234);
    EXPECT_EQ(ShiftedPalette(0, +2, 2), 1);   // Black & White: the large step is 1
    EXPECT_EQ(ShiftedPalette(29, +2, 30), 2); // 30 colours: 3
    EXPECT_EQ(ShiftedPalette(7, 0, 30), 7);

    EXPECT_EQ(FittedColourSpread(0, 1000, 256, 1), 3);
    EXPECT_EQ(FittedColourSpread(0, 1000, 256, 5), 1);
    EXPECT_EQ(FittedColourSpread(256, 256, 256, 1), 1);  // nothing escaped
}

}  // namespace
