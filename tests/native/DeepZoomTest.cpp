#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/DeepScaled.h"
#include "engine/DeepZoom.h"
#include "engine/Location.h"
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
                               DibImage* image = nullptr, const DeepApproximation& approximation = {}) {
    const int saved = RowThreads();
    SetRowThreads(threads);
    DeepCalculation calculation;
    std::string error;
    EXPECT_TRUE(calculation.SetUp(view, start, inc, end, image, ColourParams{16, 3, false, false, 0, 1}, error));
    calculation.Approximate(approximation);
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
        {"0x1p1000", -998, DeepDifference::Scaled, "1.867e-301"},
        {"0x1p2001", -1999, DeepDifference::Scaled, "8.710e-603"},
        {"0x1p2003", -2001, DeepDifference::Extended, "2.177e-603"},
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

// The loop's vector width is chosen per pass: each narrower one the
// processor has, asked for, and the full step alone lane after lane
// ("scalar"), give the same counts and bytes as the widest,
// in the double lanes and the rescaled ones (at a depth where their scales
// rise and their steps near zero are taken in WideDouble).
TEST(DeepZoom, VectorWidthsGiveTheSameResult) {
    DeepView shallow = MakeView("3e15", 33, 21);
    DeepView deep;
    std::string error;
    ASSERT_TRUE(DeepViewFromCentre("0", "1", "1e400", 33, 21, deep, error)) << error;
    ASSERT_EQ(deep.difference, DeepDifference::Scaled);
    for (const DeepView* view : {&shallow, &deep}) {
        TestImage widest(33, 21);
        const std::vector<int32_t> counts = Calculate(*view, 100, 700, 3000, 2, &widest.image);
        for (const char* path : {"scalar", "sse2", "avx2"}) {
            SCOPED_TRACE(path);
            TestImage narrow(33, 21);
            setenv("QUAXEL_DEEP_PATH", path, 1);
            const std::vector<int32_t> narrowCounts = Calculate(*view, 100, 700, 3000, 2, &narrow.image);
            unsetenv("QUAXEL_DEEP_PATH");
            EXPECT_EQ(narrowCounts, counts);
            for (int32_t y = 0; y < 21; ++y)
                for (int32_t x = 0; x < 33; ++x) ASSERT_EQ(widest.At(x, y), narrow.At(x, y)) << x << "," << y;
        }
    }
}

// The wide exponent rounds as double does while nothing leaves double's
// range, and the rescaled double's scales are exact powers of two, so on a
// view double can take both give the same counts and bytes, rebases
// included; 80-bit numbers hold the exact points' counts.
TEST(DeepZoom, DifferenceNumbersOnAViewDoubleCanTake) {
    DeepView view = MakeView("1e20", 24, 16);
    const int32_t limit = 6000;
    TestImage doubleImage(24, 16), extendedImage(24, 16);
    const std::vector<int32_t> doubles = Calculate(view, 1000, 2500, limit, 2, &doubleImage.image);
    for (const DeepDifference same : {DeepDifference::Wide, DeepDifference::Scaled}) {
        SCOPED_TRACE(DeepDifferenceName(same));
        TestImage image(24, 16);
        view.difference = same;
        EXPECT_EQ(Calculate(view, 1000, 2500, limit, 2, &image.image), doubles);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 24; ++x) ASSERT_EQ(image.At(x, y), doubleImage.At(x, y)) << x << "," << y;
    }
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

// Steps of the rescaled double where doubles cannot carry the orbit's
// value: the reference near zero (stored in WideDouble), a close approach
// that rebases, and a difference grown past its scale. Each must land on
// the exact step's result to about a double's precision.
TEST(DeepZoom, RescaledStepsNearZeroFollowTheExactOrbit) {
    constexpr mpfr_prec_t kBits = 4000;
    ScaledReference reference;
    ASSERT_TRUE(reference.Grow(4, 0, false));
    BigFloat scratch(kBits), Zr(kBits), Zi(kBits);
    // Z_0 = 0, Z_1 tiny, Z_2 and Z_3 ordinary.
    reference.Store(0, Zr.get(), Zi.get(), scratch);
    mpfr_set_str(Zr.get(), "1.2345678901234567890123456789e-298", 10, MPFR_RNDN);
    mpfr_set_str(Zi.get(), "-0.98765432109876543210987654321e-298", 10, MPFR_RNDN);
    reference.Store(1, Zr.get(), Zi.get(), scratch);
    ASSERT_GE(reference.tiny[1], 0);
    BigFloat Z2r(kBits), Z2i(kBits);
    mpfr_set_d(Z2r.get(), 0.25, MPFR_RNDN);
    mpfr_set_d(Z2i.get(), -0.5, MPFR_RNDN);
    reference.Store(2, Z2r.get(), Z2i.get(), scratch);
    reference.Store(3, Z2r.get(), Z2i.get(), scratch);
    // Offsets near 2^-1990, so that the square of a value near 2^-1000
    // still counts beside them.
    const int64_t offsetExponent = -1990;
    double pairs[8];
    for (int m = 0; m < 4; ++m) pairs[2 * m] = reference.doubles.re[m], pairs[2 * m + 1] = reference.doubles.im[m];
    const ScaledContext context{&reference.doubles, pairs, reference.tiny.get(), reference.wide.data(), 3,
                                offsetExponent, ScaleCap(offsetExponent)};

    struct Case {
        const char* name;
        int32_t m;
        double zr, zi;   // difference, times 2^exponent
        int64_t exponent;
        bool rebases;
    };
    // Near Z_1 (2^-990 times about 1.29 - 1.03 i): z = -0.999 Z_1 leaves
    // |Z_1 + z| < |z| (a rebase); z = Z_1 / 2 does not. At m = 2 a
    // difference of 2^300 times its scale.
    const Case cases[] = {
        {"close approach", 1, -1.2905539749049324429, 1.0324431893320845170, -990, true},
        {"beside a tiny reference", 1, 0.64592291036282905051, -0.51673833299904129980, -990, false},
        {"grown past its scale", 2, 0x1p300, 0x1.8p299, -2000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScaledLane lane{};
        lane.offR = 0.75;
        lane.offI = -0.625;
        lane.m = c.m;
        SetScale(lane, Normalised(c.zr, c.exponent), Normalised(c.zi, c.exponent), context);
        if (c.m == 2) {
            // As if it had grown under a low scale: the step must raise it.
            lane.wr = c.zr;
            lane.wi = c.zi;
            TakeScale(lane, static_cast<int32_t>(c.exponent), context);
            ASSERT_GT(lane.wr * lane.wr + lane.wi * lane.wi, lane.growLimit);
        }
        // The exact step: W = Z_m + z; rebased, z = W and m = 0 (Z_0 = 0).
        BigFloat zr(kBits), zi(kBits), Wr(kBits), Wi(kBits), dr(kBits), di(kBits), t(kBits), u(kBits);
        mpfr_set_d(zr.get(), lane.wr, MPFR_RNDN);
        mpfr_mul_2si(zr.get(), zr.get(), lane.k, MPFR_RNDN);
        mpfr_set_d(zi.get(), lane.wi, MPFR_RNDN);
        mpfr_mul_2si(zi.get(), zi.get(), lane.k, MPFR_RNDN);
        mpfr_set_d(dr.get(), lane.offR, MPFR_RNDN);
        mpfr_mul_2si(dr.get(), dr.get(), offsetExponent, MPFR_RNDN);
        mpfr_set_d(di.get(), lane.offI, MPFR_RNDN);
        mpfr_mul_2si(di.get(), di.get(), offsetExponent, MPFR_RNDN);
        mpfr_add(Wr.get(), (c.m == 1 ? Zr : Z2r).get(), zr.get(), MPFR_RNDN);
        mpfr_add(Wi.get(), (c.m == 1 ? Zi : Z2i).get(), zi.get(), MPFR_RNDN);
        if (c.rebases) {
            mpfr_set(zr.get(), Wr.get(), MPFR_RNDN);
            mpfr_set(zi.get(), Wi.get(), MPFR_RNDN);
        }
        // a = Z + W; z' = a z + dc (a = W after a rebase).
        BigFloat ar(kBits), ai(kBits), newR(kBits), newI(kBits);
        mpfr_add(ar.get(), Wr.get(), c.rebases ? t.get() : (c.m == 1 ? Zr : Z2r).get(), MPFR_RNDN);
        mpfr_add(ai.get(), Wi.get(), c.rebases ? t.get() : (c.m == 1 ? Zi : Z2i).get(), MPFR_RNDN);
        mpfr_mul(t.get(), ar.get(), zr.get(), MPFR_RNDN);
        mpfr_mul(u.get(), ai.get(), zi.get(), MPFR_RNDN);
        mpfr_sub(newR.get(), t.get(), u.get(), MPFR_RNDN);
        mpfr_add(newR.get(), newR.get(), dr.get(), MPFR_RNDN);
        mpfr_mul(t.get(), ar.get(), zi.get(), MPFR_RNDN);
        mpfr_mul(u.get(), ai.get(), zr.get(), MPFR_RNDN);
        mpfr_add(newI.get(), t.get(), u.get(), MPFR_RNDN);
        mpfr_add(newI.get(), newI.get(), di.get(), MPFR_RNDN);

        int64_t rebases = 0;
        ASSERT_TRUE(ScaledFullStep(lane, context, rebases));
        EXPECT_EQ(rebases, c.rebases ? 1 : 0);
        EXPECT_EQ(lane.m, c.rebases ? 1 : c.m + 1);
        EXPECT_LE(lane.k, context.cap);
        // |w| near 1 after a new scale, never past the point of rising.
        EXPECT_LE(lane.wr * lane.wr + lane.wi * lane.wi, lane.growLimit);
        for (auto [value, exact] : {std::pair{lane.wr, &newR}, std::pair{lane.wi, &newI}}) {
            BigFloat got(kBits);
            mpfr_set_d(got.get(), value, MPFR_RNDN);
            mpfr_mul_2si(got.get(), got.get(), lane.k, MPFR_RNDN);
            mpfr_sub(got.get(), got.get(), exact->get(), MPFR_RNDN);
            mpfr_div(got.get(), got.get(), exact->get(), MPFR_RNDN);
            EXPECT_LT(std::fabs(mpfr_get_d(got.get(), MPFR_RNDN)), 1e-14) << "relative error";
        }
    }
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
                               {DeepDifference::Double, DeepDifference::Scaled, DeepDifference::Extended,
                                DeepDifference::Wide}, error));
    EXPECT_EQ(shared.Steps(), 9000);  // the point is inside: the orbit goes to its end
    BigFloat otherRe = view.centreRe;
    mpfr_nextabove(otherRe.get());
    DeepReference elsewhere;
    ASSERT_TRUE(elsewhere.Compute(otherRe, view.centreIm, 3000, {DeepDifference::Double}, error));
    const ColourParams colours{16, 3, false, false, 0, 1};
    for (const DeepDifference form :
         {DeepDifference::Double, DeepDifference::Scaled, DeepDifference::Extended, DeepDifference::Wide}) {
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

// The value smooth colouring continues from: in every difference number,
// an escaped pixel's value at its count is the exact point's orbit value
// there, to the precision the differences keep of it.
TEST(DeepZoom, EscapeValuesAreTheOrbitsValueAtTheCount) {
    DeepView view;
    std::string made;
    ASSERT_TRUE(DeepViewFromCentre("0", "1", "1e20", 12, 8, view, made)) << made;  // boundary at every depth
    const int32_t limit = 2000;
    for (const DeepDifference form :
         {DeepDifference::Double, DeepDifference::Scaled, DeepDifference::Extended, DeepDifference::Wide}) {
        SCOPED_TRACE(DeepDifferenceName(form));
        view.difference = form;
        DeepCalculation calculation;
        std::string error;
        ASSERT_TRUE(calculation.SetUp(view, limit, limit, limit, nullptr, ColourParams{}, error)) << error;
        calculation.CalculateToEnd();
        int32_t compared = 0;
        for (int32_t y = 0; y < 8; y += 3)
            for (int32_t x = 0; x < 12; x += 5) {
                double re = 0.0, im = 0.0;
                const int32_t n = calculation.EscapeCountAt(x, y);
                ASSERT_EQ(calculation.EscapeValueAt(x, y, re, im), n != NotEscaped);
                if (n == NotEscaped || DirectCount(view, x, y, limit) != n) continue;
                // The orbit again, to step n.
                const mpfr_prec_t bits = view.precision + 64;
                BigFloat cr(bits), ci(bits), zr(bits), zi(bits), t(bits);
                mpfr_add_d(cr.get(), view.centreRe.get(), view.columnOffset[x], MPFR_RNDN);
                mpfr_add_d(ci.get(), view.centreIm.get(), view.rowOffset[y], MPFR_RNDN);
                for (int32_t k = 0; k < n; ++k) {
                    mpfr_mul(t.get(), zr.get(), zi.get(), MPFR_RNDN);
                    mpfr_sqr(zr.get(), zr.get(), MPFR_RNDN);
                    mpfr_sqr(zi.get(), zi.get(), MPFR_RNDN);
                    mpfr_sub(zr.get(), zr.get(), zi.get(), MPFR_RNDN);
                    mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
                    mpfr_mul_2ui(zi.get(), t.get(), 1, MPFR_RNDN);
                    mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
                }
                EXPECT_NEAR(re, mpfr_get_d(zr.get(), MPFR_RNDN), 1e-6) << x << "," << y;
                EXPECT_NEAR(im, mpfr_get_d(zi.get(), MPFR_RNDN), 1e-6) << x << "," << y;
                EXPECT_GT(re * re + im * im, 4.0);
                ++compared;
            }
        EXPECT_GE(compared, 5);
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

// With the approximation, a pixel whose next entry would pass a pass's
// limit waits there for the next pass; the entries are the same in every
// pass (the reference is complete before the first). So passes, threads and
// one pass to the end take the same steps, and so does a raised end: the
// same counts, bytes and
// escape values to the last bit, in each difference number (a pass that
// cut an entry short would change values long before it changed a count),
// and the entries do take most of the steps.
TEST(DeepZoom, ApproximatedPassesAndThreadsTakeTheOneShotSteps) {
    struct Case {
        const char* location;
        int32_t width, height, limit;
        DeepDifference difference;
    };
    // Published locations whose counts run to thousands, so that pixels
    // escape passes after the first; the last forced to the wide exponent.
    const Case cases[] = {
        {"glitch_test_4.toml", 24, 16, 12000, DeepDifference::Double},
        {"e401.toml", 24, 16, 30000, DeepDifference::Scaled},
        {"e1000.toml", 16, 10, 20000, DeepDifference::Extended},
        {"e1000.toml", 8, 6, 20000, DeepDifference::Wide},
    };
    const DeepApproximation on{true, kBlaDefaultTolerance};
    for (const Case& c : cases) {
        SCOPED_TRACE(DeepDifferenceName(c.difference));
        Location location;
        DeepView view;
        std::string error;
        ASSERT_TRUE(ReadLocationFile(std::string(QUAXEL_LOCATIONS_DIR) + "/rust-fractal/" + c.location, location, error))
            << error;
        ASSERT_TRUE(DeepViewFromCentre(location.re, location.im, location.zoom, c.width, c.height, view, error))
            << error;
        view.difference = c.difference;
        // One pass; passes on three threads; half the end, then raised.
        TestImage images[3] = {TestImage(c.width, c.height), TestImage(c.width, c.height),
                               TestImage(c.width, c.height)};
        DeepCalculation calculations[3];
        const int saved = RowThreads();
        for (int k = 0; k < 3; ++k) {
            SetRowThreads(k == 1 ? 3 : 1);
            const int32_t start = k == 1 ? 100 : c.limit, inc = k == 1 ? c.limit / 7 + 1 : 1;
            const int32_t end = k == 2 ? c.limit / 2 : c.limit;
            ASSERT_TRUE(calculations[k].SetUp(view, std::min(start, end), inc, end, &images[k].image,
                                              ColourParams{16, 3, false, false, 0, 1}, error));
            calculations[k].Approximate(on);
            calculations[k].CalculateToEnd();
            if (k == 2) {
                ASSERT_TRUE(calculations[k].RaiseIterEnd(c.limit));
                calculations[k].CalculateToEnd();
            }
        }
        SetRowThreads(saved);
        const DeepStatistics& figures = calculations[0].Statistics();
        EXPECT_GT(figures.tableSteps, figures.steps / 2);
        int32_t least = INT32_MAX, most = 0;
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                const int32_t count = calculations[0].EscapeCountAt(x, y);
                double re[3] = {0, 0, 0}, im[3] = {0, 0, 0};
                for (int k = 0; k < 3; ++k) calculations[k].EscapeValueAt(x, y, re[k], im[k]);
                for (int k = 1; k < 3; ++k) {
                    SCOPED_TRACE(k == 1 ? "passes" : "raised");
                    ASSERT_EQ(calculations[k].EscapeCountAt(x, y), count) << x << "," << y;
                    ASSERT_EQ(images[k].At(x, y), images[0].At(x, y)) << x << "," << y;
                    ASSERT_EQ(std::memcmp(re, re + k, sizeof(double)), 0) << x << "," << y;
                    ASSERT_EQ(std::memcmp(im, im + k, sizeof(double)), 0) << x << "," << y;
                }
                if (count == NotEscaped) continue;
                least = std::min(least, count);
                most = std::max(most, count);
            }
        EXPECT_LT(least, most);  // structure, not one colour
        EXPECT_GT(least, c.limit / 7 + 1);  // every escape after the first passes
    }
}
