#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/DeepZoom.h"
#include "engine/RowPool.h"

using enginetest::TestImage;

namespace {

// A seahorse-valley point whose neighbourhood at zoom 1e20 still has
// varied counts in the low thousands.
constexpr const char* kRe = "-0.743643887037158704752191506114774";
constexpr const char* kIm = "0.131825904205311970493132056385139";

DeepView MakeView(const char* zoom, int32_t width, int32_t height) {
    DeepView view;
    std::string error;
    EXPECT_TRUE(DeepViewFromCentre(kRe, kIm, zoom, width, height, view, error)) << error;
    return view;
}

std::vector<int32_t> Counts(const DeepCalculation& calculation, const DeepView& view) {
    std::vector<int32_t> counts;
    for (int32_t y = 0; y < view.Height(); ++y)
        for (int32_t x = 0; x < view.Width(); ++x) counts.push_back(calculation.EscapeCountAt(x, y));
    return counts;
}

std::vector<int32_t> Calculate(const DeepView& view, int32_t start, int32_t inc, int32_t end, int threads,
                               DibImage* image = nullptr) {
    const int saved = RowThreads();
    SetRowThreads(threads);
    DeepCalculation calculation;
    std::string error;
    EXPECT_TRUE(calculation.SetUp(view, start, inc, end, image, ColourParams{16, 3, false, false, 0, 1}, error));
    calculation.CalculateToEnd();
    SetRowThreads(saved);
    return Counts(calculation, view);
}

// The truth a deep count is held to: the pixel's exact point iterated
// directly in MPFR, 64 bits beyond the view's precision.
// `shift` moves the point along the real axis.
int32_t DirectCount(const DeepView& view, int32_t x, int32_t y, int32_t limit, double shift = 0.0) {
    const mpfr_prec_t precision = view.precision + 64;
    BigFloat cr(precision + 128), ci(precision + 128);
    mpfr_add_d(cr.get(), view.centreRe.get(), view.columnOffset[x], MPFR_RNDN);
    mpfr_add_d(cr.get(), cr.get(), shift, MPFR_RNDN);
    mpfr_add_d(ci.get(), view.centreIm.get(), view.rowOffset[y], MPFR_RNDN);
    cr.SetPrecision(precision);
    ci.SetPrecision(precision);
    BigFloat zr(precision), zi(precision), r2(precision), i2(precision), sum(precision);
    for (int32_t n = 0; n < limit; ++n) {
        mpfr_sqr(r2.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(i2.get(), zi.get(), MPFR_RNDN);
        mpfr_add(sum.get(), r2.get(), i2.get(), MPFR_RNDN);
        if (mpfr_cmp_ui(sum.get(), 4) > 0) return n;
        mpfr_mul(zi.get(), zr.get(), zi.get(), MPFR_RNDN);
        mpfr_mul_2ui(zi.get(), zi.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), r2.get(), i2.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
    }
    return NotEscaped;
}

TEST(DeepView, NumberTextsReadBack) {
    BigFloat value(64);
    mpfr_set_str(value.get(), "-1.25e-3", 10, MPFR_RNDN);
    EXPECT_EQ(value.Text(3), "-1.25e-3");
    mpfr_set_si(value.get(), 20, MPFR_RNDN);
    EXPECT_EQ(value.Text(), "2e1");
    mpfr_set_d(value.get(), 0.5, MPFR_RNDN);
    EXPECT_EQ(value.Text(), "5e-1");
    mpfr_set_si(value.get(), 3, MPFR_RNDN);
    EXPECT_EQ(value.Text(), "3");
}

TEST(DeepView, CentreMappingIsOneRoundingPerOffset) {
    DeepView view;
    std::string error;
    ASSERT_TRUE(DeepViewFromCentre("0.25", "-1e-3", "1e13", 5, 3, view, error)) << error;
    // 4 / (1e13 * (3 - 1)) is exactly 2e-13.
    EXPECT_EQ(view.spacing, 2e-13);
    const double half = 1e-13;
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(view.columnOffset[x], static_cast<double>(2 * x - 4) * half);
    EXPECT_EQ(view.rowOffset[0], 2 * half);
    EXPECT_EQ(view.rowOffset[1], 0.0);
    EXPECT_EQ(view.rowOffset[2], -2 * half);
    // 2e-13 = m * 2^-42: 4 integer bits, 42 below the point, 64 to spare.
    EXPECT_EQ(view.precision, DeepPrecision(-42));
    EXPECT_EQ(DeepPrecision(-42), 4 + 42 + 64);
    EXPECT_EQ(DeepPrecision(3), 68);
    EXPECT_EQ(mpfr_get_prec(view.centreRe.get()), view.precision);
    EXPECT_EQ(mpfr_cmp_d(view.centreRe.get(), 0.25), 0);
}

TEST(DeepView, RangesMapExactPointsAroundTheirMiddle) {
    const long double low = 0.5L, high = 0.5L + 0x1p-41L;  // spacing 2^-42 for 3 columns
    DeepView view;
    std::string error;
    ASSERT_TRUE(DeepViewFromRanges(low, high, -high, -low, 3, 3, view, error)) << error;
    EXPECT_EQ(view.spacing, 0x1p-42);
    EXPECT_EQ(view.columnOffset[0], -0x1p-42);
    EXPECT_EQ(view.columnOffset[1], 0.0);
    EXPECT_EQ(view.rowOffset[0], 0x1p-42);  // top row: imagMax
    EXPECT_EQ(mpfr_cmp_ld(view.centreRe.get(), 0.5L + 0x1p-42L), 0);
    EXPECT_EQ(mpfr_cmp_ld(view.centreIm.get(), -(0.5L + 0x1p-42L)), 0);
    // A third of a range: each offset is the exact quotient, rounded once.
    ASSERT_TRUE(DeepViewFromRanges(-1e-13L, 2e-13L, 0.0L, 3e-14L, 4, 2, view, error)) << error;
    BigFloat exact(256), left(64);
    mpfr_set_ld(exact.get(), 2e-13L, MPFR_RNDN);
    mpfr_set_ld(left.get(), -1e-13L, MPFR_RNDN);
    mpfr_sub(exact.get(), exact.get(), left.get(), MPFR_RNDN);
    mpfr_div_ui(exact.get(), exact.get(), 6, MPFR_RNDN);  // column 2 lies (3-1.5)/3 * range from the middle
    EXPECT_EQ(view.columnOffset[2], mpfr_get_d(exact.get(), MPFR_RNDN));
}

TEST(DeepView, RefusesWhatItCannotDo) {
    DeepView view;
    std::string error;
    EXPECT_FALSE(DeepViewFromCentre("0", "0", "1000", 100, 100, view, error));
    EXPECT_NE(error.find("too coarse"), std::string::npos) << error;
    for (const char* zoom : {"0", "-1e20", "1e20x", "", "1e99999999999999999999"})
        EXPECT_FALSE(DeepViewFromCentre("0", "0", zoom, 100, 100, view, error)) << zoom;
    EXPECT_FALSE(DeepViewFromCentre("0", "0", "1e20", 1, 100, view, error));
    EXPECT_FALSE(DeepViewFromCentre("0.1.2", "0", "1e20", 100, 100, view, error));
    EXPECT_FALSE(DeepViewFromRanges(1.0L, 1.0L, 0.0L, 1e-20L, 4, 4, view, error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

// Below double's range the offsets carry a scale of their own: the same
// one rounding per offset, of the unscaled product, and the difference
// number by depth.
TEST(DeepView, SpacingsBelowDoublesAreScaledAndChooseTheirNumber) {
    struct Case {
        const char* zoom;
        int64_t exponent;  // of the spacing 4 / (zoom * 2), 0: unscaled
        DeepDifference difference;
        const char* text;
    };
    // 4 / (2^k * (3 - 1)) = 2^(1-k) = 0.5 * 2^(2-k).
    const Case cases[] = {
        {"0x1p960", 0, DeepDifference::Double, "2.052e-289"},
        {"0x1p1000", -998, DeepDifference::Extended, "1.867e-301"},
        {"0x1p8001", -7999, DeepDifference::Extended, "5.755e-2409"},
        {"0x1p8003", -8001, DeepDifference::Wide, "1.439e-2409"},
        {"0x1p40000", -39998, DeepDifference::Wide, "1.262e-12041"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        BigFloat zoom(64);
        mpfr_set_str(zoom.get(), c.zoom, 0, MPFR_RNDN);
        DeepView view;
        std::string error;
        ASSERT_TRUE(DeepViewFromCentre("-1.5", "0", zoom.Text(40), 5, 3, view, error)) << error;
        EXPECT_EQ(view.offsetExponent, c.exponent);
        EXPECT_EQ(view.difference, c.difference);
        EXPECT_EQ(DeepSpacingText(view), c.text);
        // The decimal zoom text is rounded, so the spacing is near, not at,
        // the power of two: the same mantissa either way.
        EXPECT_NEAR(view.spacing, c.exponent == 0 ? std::ldexp(1.0, 1 - 960) : 0.5, view.spacing * 1e-12);
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(view.columnOffset[x], static_cast<double>(2 * x - 4) * (view.spacing / 2));
        EXPECT_EQ(view.precision, DeepPrecision(c.exponent == 0 ? -958 : c.exponent));
    }
    // The ranges' mapping scales the same way.
    DeepView view;
    std::string error;
    ASSERT_TRUE(DeepViewFromRanges(0x1p-3000L, 0x1.8p-3000L, 0.0L, 0x1p-3001L, 3, 3, view, error)) << error;
    EXPECT_EQ(view.offsetExponent, -3001);
    EXPECT_EQ(view.difference, DeepDifference::Extended);
    EXPECT_EQ(view.columnOffset[0], -0.5);
    EXPECT_EQ(view.rowOffset[2], -0.5);
}

TEST(DeepZoom, CountsEqualDirectIterationOfTheExactPoints) {
    const DeepView view = MakeView("1e20", 6, 5);
    const int32_t limit = 20000;
    const std::vector<int32_t> counts = Calculate(view, limit, 1, limit, 2);
    int32_t least = INT32_MAX, most = 0, compared = 0;
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const int32_t direct = DirectCount(view, x, y, limit);
            // A point whose count changes when it moves by a millionth of
            // the spacing has no count a double difference can resolve
            // (22 of these 30 points are well behaved).
            const double nudge = view.spacing * 1e-6;
            if (DirectCount(view, x, y, limit, nudge) != direct || DirectCount(view, x, y, limit, -nudge) != direct)
                continue;
            const int32_t count = counts[static_cast<size_t>(y * 6 + x)];
            EXPECT_EQ(count, direct) << x << "," << y;
            least = std::min(least, count);
            most = std::max(most, count);
            ++compared;
        }
    EXPECT_GE(compared, 20);
    EXPECT_LT(least, most);  // the view shows structure, not one colour
}

TEST(DeepZoom, ThreadsPassesAndRaisedEndsGiveTheSameResult) {
    const DeepView view = MakeView("3e15", 33, 21);
    const std::vector<int32_t> oneShot = Calculate(view, 3000, 1, 3000, 1);
    EXPECT_EQ(Calculate(view, 3000, 1, 3000, 2), oneShot);
    EXPECT_EQ(Calculate(view, 3000, 1, 3000, 3), oneShot);
    EXPECT_EQ(Calculate(view, 100, 350, 3000, 3), oneShot);

    DeepCalculation raised;
    std::string error;
    ASSERT_TRUE(raised.SetUp(view, 100, 200, 1100, nullptr, ColourParams{}, error));
    raised.CalculateToEnd();
    const int64_t referenceBefore = raised.Statistics().referenceSteps;
    EXPECT_TRUE(raised.RaiseIterEnd(3000));
    raised.CalculateToEnd();
    EXPECT_EQ(Counts(raised, view), oneShot);
    EXPECT_GE(raised.Statistics().referenceSteps, referenceBefore);
    EXPECT_EQ(raised.Statistics().passes, 6 + 10);
    EXPECT_GT(raised.Statistics().steps, 0);
}

TEST(DeepZoom, ImageBytesDoNotDependOnThreadsOrPasses) {
    const DeepView view = MakeView("3e15", 33, 21);
    TestImage single(33, 21), shared(33, 21);
    Calculate(view, 3000, 1, 3000, 1, &single.image);
    Calculate(view, 50, 500, 3000, 3, &shared.image);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 33; ++x) {
            ASSERT_NE(single.At(x, y), TestImage::kUntouched);
            ASSERT_EQ(single.At(x, y), shared.At(x, y)) << x << "," << y;
        }
}

// The loop's vector width is chosen per pass: the narrow one, forced, gives
// the same counts and bytes as the widest this processor has.
TEST(DeepZoom, VectorWidthsGiveTheSameResult) {
    const DeepView view = MakeView("3e15", 33, 21);
    TestImage wide(33, 21), narrow(33, 21);
    const std::vector<int32_t> widest = Calculate(view, 100, 700, 3000, 2, &wide.image);
    setenv("QUAXEL_DEEP_PATH", "sse2", 1);
    const std::vector<int32_t> sse2 = Calculate(view, 100, 700, 3000, 2, &narrow.image);
    unsetenv("QUAXEL_DEEP_PATH");
    EXPECT_EQ(sse2, widest);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 33; ++x) ASSERT_EQ(wide.At(x, y), narrow.At(x, y)) << x << "," << y;
}

// The wide exponent rounds as double does while nothing leaves double's
// range, so on a view double can take it gives the same counts and bytes,
// rebases included; 80-bit numbers hold the exact points' counts.
TEST(DeepZoom, DifferenceNumbersOnAViewDoubleCanTake) {
    DeepView view = MakeView("1e20", 24, 16);
    const int32_t limit = 6000;
    TestImage doubleImage(24, 16), wideImage(24, 16), extendedImage(24, 16);
    const std::vector<int32_t> doubles = Calculate(view, 1000, 2500, limit, 2, &doubleImage.image);
    view.difference = DeepDifference::Wide;
    EXPECT_EQ(Calculate(view, 1000, 2500, limit, 2, &wideImage.image), doubles);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 24; ++x) ASSERT_EQ(wideImage.At(x, y), doubleImage.At(x, y)) << x << "," << y;
    view.difference = DeepDifference::Extended;
    const std::vector<int32_t> extended = Calculate(view, 1000, 2500, limit, 1, &extendedImage.image);
    int32_t compared = 0;
    for (int32_t y = 0; y < 16; y += 3)
        for (int32_t x = 0; x < 24; x += 5) {
            const int32_t direct = DirectCount(view, x, y, limit);
            const double nudge = view.spacing * 1e-6;
            if (DirectCount(view, x, y, limit, nudge) != direct || DirectCount(view, x, y, limit, -nudge) != direct)
                continue;
            EXPECT_EQ(extended[static_cast<size_t>(y * 24 + x)], direct) << x << "," << y;
            ++compared;
        }
    EXPECT_GE(compared, 20);
}

// A reference moved off the centre keeps every pixel's point: the new
// centre plus the new offset is the old sum to within half a unit of the new
// offset's last place, the one rounding. A point outside the view is not
// taken, and a bad text is an error.
TEST(DeepView, MovedReferenceKeepsEveryPixelsPoint) {
    const DeepView view = MakeView("1e20", 9, 7);
    // A third of a spacing off pixel (2, 5), at more bits than the view has.
    const mpfr_prec_t bits = view.precision + 40;
    BigFloat re(bits + 64), im(bits + 64);
    mpfr_add_d(re.get(), view.centreRe.get(), view.columnOffset[2] + view.spacing / 3, MPFR_RNDN);
    mpfr_add_d(im.get(), view.centreIm.get(), view.rowOffset[5] - view.spacing / 3, MPFR_RNDN);
    DeepView moved = view;
    bool inside = false;
    std::string error;
    ASSERT_TRUE(MoveReference(moved, re.Text(), im.Text(), bits, inside, error)) << error;
    ASSERT_TRUE(inside);
    EXPECT_EQ(moved.precision, bits);
    EXPECT_EQ(moved.spacing, view.spacing);
    auto check = [](mpfr_srcptr oldCentre, const std::vector<double>& oldOffsets, mpfr_srcptr newCentre,
                    const std::vector<double>& newOffsets) {
        BigFloat p(2000), q(2000);
        for (size_t i = 0; i < oldOffsets.size(); ++i) {
            mpfr_add_d(p.get(), oldCentre, oldOffsets[i], MPFR_RNDN);
            mpfr_add_d(q.get(), newCentre, newOffsets[i], MPFR_RNDN);
            mpfr_sub(p.get(), p.get(), q.get(), MPFR_RNDN);
            EXPECT_LE(std::fabs(mpfr_get_d(p.get(), MPFR_RNDN)), std::ldexp(std::fabs(newOffsets[i]), -53)) << i;
        }
    };
    check(view.centreRe.get(), view.columnOffset, moved.centreRe.get(), moved.columnOffset);
    check(view.centreIm.get(), view.rowOffset, moved.centreIm.get(), moved.rowOffset);

    // Just beyond the last column: left as it was.
    mpfr_add_d(re.get(), view.centreRe.get(), view.columnOffset[8] + view.spacing / 4, MPFR_RNDN);
    DeepView outside = view;
    ASSERT_TRUE(MoveReference(outside, re.Text(), im.Text(), bits, inside, error)) << error;
    EXPECT_FALSE(inside);
    EXPECT_EQ(outside.columnOffset, view.columnOffset);
    EXPECT_TRUE(mpfr_equal_p(outside.centreRe.get(), view.centreRe.get()));
    EXPECT_FALSE(MoveReference(outside, "0.1x", "0", bits, inside, error));
}

// A calculation set up from a shared orbit (computed once, far longer than
// its limit) counts exactly as one that computes its own, in each
// difference number; an orbit of another point or precision is not taken.
TEST(DeepZoom, SharedReferenceGivesTheCountsOfItsOwn) {
    DeepView view = MakeView("1e20", 16, 12);
    bool inside = false;
    std::string error;
    ASSERT_TRUE(MoveReference(view, kRe, kIm, view.precision + 30, inside, error)) << error;
    ASSERT_TRUE(inside);
    DeepReference shared;
    ASSERT_TRUE(shared.Compute(view.centreRe, view.centreIm, 9000,
                               {DeepDifference::Double, DeepDifference::Extended, DeepDifference::Wide}, error));
    EXPECT_EQ(shared.Steps(), 9000);  // the point is inside: the orbit goes to its end
    BigFloat otherRe = view.centreRe;
    mpfr_nextabove(otherRe.get());
    DeepReference elsewhere;
    ASSERT_TRUE(elsewhere.Compute(otherRe, view.centreIm, 3000, {DeepDifference::Double}, error));
    const ColourParams colours{16, 3, false, false, 0, 1};
    for (const DeepDifference form : {DeepDifference::Double, DeepDifference::Extended, DeepDifference::Wide}) {
        view.difference = form;
        const std::vector<int32_t> own = Calculate(view, 500, 700, 2600, 2);
        DeepCalculation calculation;
        ASSERT_TRUE(calculation.SetUp(view, 500, 700, 2600, nullptr, colours, error, &shared)) << error;
        calculation.CalculateToEnd();
        EXPECT_TRUE(calculation.Statistics().referenceShared);
        EXPECT_EQ(Counts(calculation, view), own) << DeepDifferenceName(form);
        ASSERT_TRUE(calculation.RaiseIterEnd(3000));  // goes on past nothing: the orbit reaches 9000
        DeepCalculation notTaken;
        ASSERT_TRUE(notTaken.SetUp(view, 500, 700, 2600, nullptr, colours, error, &elsewhere)) << error;
        notTaken.CalculateToEnd();
        EXPECT_FALSE(notTaken.Statistics().referenceShared);
        EXPECT_EQ(Counts(notTaken, view), own);
    }
}

TEST(DeepZoom, StopsWhenProgressSaysSoAndResumes) {
    struct StopAfter : DeepProgress {
        int32_t rows = 0;
        bool AfterRow(int32_t, int32_t, int32_t, int32_t) override { return ++rows < 5; }
    } stop;
    const DeepView view = MakeView("3e15", 33, 21);
    const int saved = RowThreads();
    SetRowThreads(1);
    DeepCalculation calculation;
    std::string error;
    ASSERT_TRUE(calculation.SetUp(view, 3000, 1, 3000, nullptr, ColourParams{}, error));
    EXPECT_EQ(calculation.CalculateToEnd(&stop), 1);
    EXPECT_EQ(stop.rows, 5);
    calculation.CalculateToEnd();
    SetRowThreads(saved);
    EXPECT_EQ(Counts(calculation, view), Calculate(view, 3000, 1, 3000, 1));
}

}  // namespace
