// The oracle against what is known without it: extended arithmetic where it
// cannot be wrong, orbits whose fate is known exactly, and the one rule it
// uses to trust its own precision.
#include <gtest/gtest.h>

#include <mpfr.h>

#include <cmath>
#include <set>
#include <utility>

#include "engine/FpEnvironment.h"
#include "engine/PomeClcKernels.h"
#include "tools/oracle/Oracle.h"

namespace {

// Views made by hand as engine/DeepView.h defines them, so that the oracle
// is tried without the deep calculation's own view makers.
DeepView MakeView(const char* re, const char* im, double spacing, int32_t width, int32_t height,
                         mpfr_prec_t precision) {
    DeepView view;
    view.precision = precision;
    view.spacing = spacing;
    view.centreRe.SetPrecision(precision);
    view.centreIm.SetPrecision(precision);
    mpfr_set_str(view.centreRe.get(), re, 10, MPFR_RNDN);
    mpfr_set_str(view.centreIm.get(), im, 10, MPFR_RNDN);
    for (int32_t x = 0; x < width; ++x) view.columnOffset.push_back((2.0 * x - (width - 1)) * (spacing / 2));
    for (int32_t y = 0; y < height; ++y) view.rowOffset.push_back(-(2.0 * y - (height - 1)) * (spacing / 2));
    return view;
}

// A 1x1 view of the single point centre + (offsetRe, offsetIm).
DeepView PointView(const char* re, const char* im, double offsetRe, double offsetIm, mpfr_prec_t precision) {
    DeepView view = MakeView(re, im, 1.0, 1, 1, precision);
    view.columnOffset[0] = offsetRe;
    view.rowOffset[0] = offsetIm;
    return view;
}

template <typename T>
int32_t HardwareCount(T cr, T ci, int32_t limit) {
    T zr = 0, zi = 0;
    bool escaped = false;
    const int32_t n = ReferenceOrbit<T>(zr, zi, cr, ci, 0, limit, escaped);
    return escaped ? n : NotEscaped;
}

}  // namespace

// Where double and extended iteration agree on a pixel of a shallow view,
// its count does not hang on rounding, and the oracle must give it too; at
// this depth that is nearly every pixel.
TEST(Oracle, AgreesWithHardwareWhereRoundingCannotMatter) {
    FpEnvironmentGuard guard;
    const DeepView view = MakeView("-0.7", "0", 3.0 / 59, 80, 60, 128);
    const int32_t limit = 300;
    int compared = 0, escaped = 0;
    for (int32_t y = 0; y < view.Height(); ++y) {
        for (int32_t x = 0; x < view.Width(); ++x) {
            const long double cr = -0.7L + view.columnOffset[x];
            const long double ci = view.rowOffset[y];
            const int32_t extended = HardwareCount<long double>(cr, ci, limit);
            if (extended != HardwareCount<double>(static_cast<double>(cr), static_cast<double>(ci), limit)) continue;
            ++compared;
            if (extended != NotEscaped) ++escaped;
            ASSERT_EQ(DirectCount(view, x, y, limit, 128), extended) << "pixel " << x << ", " << y;
        }
    }
    EXPECT_GT(compared, view.Width() * view.Height() * 95 / 100);
    EXPECT_GT(escaped, compared / 4);
    EXPECT_LT(escaped, compared);
}

// Orbits whose every value is known: the fixed point of c = 0, the 2-cycle
// of c = -1, the preperiodic c = i (0, i, -1 + i, -i, -1 + i, ...), a point
// of the period-3 component, and c = -2, whose orbit 0, -2, 2, 2, ... sits
// on |z|^2 = 4 exactly and so never escapes under the strict test.
TEST(Oracle, OrbitsKnownExactlyStayInside) {
    const std::pair<const char*, const char*> inside[] = {
        {"0", "0"}, {"-1", "0"}, {"0", "1"}, {"-0.1225611668766536", "0.7448617666197442"}, {"-2", "0"}};
    for (const auto& [re, im] : inside) {
        const DeepView view = PointView(re, im, 0.0, 0.0, 192);
        EXPECT_EQ(DirectCount(view, 0, 0, 5000, 192), NotEscaped) << re << " " << im;
        int32_t used = 0;
        EXPECT_EQ(OracleCount(view, 0, 0, 5000, 128, used), NotEscaped) << re << " " << im;
        EXPECT_EQ(used, 128);
    }
    // Counts by hand: c = 1 gives 0, 1, 2, 5; c = 2i gives 0, 2i, -4 + 2i.
    EXPECT_EQ(DirectCount(PointView("1", "0", 0.0, 0.0, 64), 0, 0, 100, 64), 3);
    EXPECT_EQ(DirectCount(PointView("0", "2", 0.0, 0.0, 64), 0, 0, 100, 64), 2);
    // The limit is the number of values tested: z_3 is never looked at
    // with a limit of 3.
    EXPECT_EQ(DirectCount(PointView("1", "0", 0.0, 0.0, 64), 0, 0, 3, 64), NotEscaped);
}

// |z|^2 is decided for the exact value held, not for its rounded squares:
// z_1 = -2 + 2^-200 i has |z_1|^2 = 4 + 2^-400, which rounds to 4 at any
// precision this suite uses.
TEST(Oracle, EscapeTestIsExactAtFour) {
    const DeepView view = PointView("-2", "0", 0.0, std::ldexp(1.0, -200), 64);
    EXPECT_EQ(DirectCount(view, 0, 0, 100, 64), 1);
    EXPECT_EQ(DirectCount(PointView("-2", "0", 0.0, -std::ldexp(1.0, -200), 64), 0, 0, 100, 64), 1);
}

// The point is the exact sum of a long centre and an offset far below its
// last bit; the orbit is then iterated at the precision asked for.
TEST(Oracle, PointIsTheExactSum) {
    DeepView view = MakeView("-1.2345678901234567890123456789012345678901234567890123456789", "0.5", 1e-100, 3,
                             3, 200);
    view.columnOffset[0] = -std::ldexp(1.0, -400);
    BigFloat re, im;
    OraclePoint(view, 0, 1, re, im);
    BigFloat difference(2000);
    mpfr_sub(difference.get(), re.get(), view.centreRe.get(), MPFR_RNDN);
    EXPECT_EQ(mpfr_get_d(difference.get(), MPFR_RNDN), view.columnOffset[0]);
    EXPECT_EQ(mpfr_cmp(im.get(), view.centreIm.get()), 0);  // row 1 of 3 is the centre row
    OraclePoint(view, 2, 0, re, im);
    mpfr_sub(difference.get(), im.get(), view.centreIm.get(), MPFR_RNDN);
    EXPECT_EQ(mpfr_get_d(difference.get(), MPFR_RNDN), 1e-100);
}

// c = -2 - 2^-100 escapes at once (|c|^2 > 4), but at 64 bits c rounds to
// -2 and the orbit stays on |z| = 2 for ever: the first precision is not
// confirmed by the next, the second is by the third.
TEST(Oracle, PrecisionIsRaisedUntilConfirmed) {
    const DeepView view = PointView("-2", "0", -std::ldexp(1.0, -100), 0.0, 64);
    EXPECT_EQ(DirectCount(view, 0, 0, 1000, 64), NotEscaped);
    EXPECT_EQ(DirectCount(view, 0, 0, 1000, 128), 1);
    int32_t used = 0;
    EXPECT_EQ(OracleCount(view, 0, 0, 1000, 64, used), 1);
    EXPECT_EQ(used, 128);
    // Allowed only the one precision that is wrong, it says it cannot tell.
    EXPECT_EQ(OracleCount(view, 0, 0, 1000, 64, used, 64), kOracleUnsettled);
    EXPECT_EQ(OracleCount(view, 0, 0, 1000, 64, used, 100), kOracleUnsettled);
}

TEST(OracleSample, UniformDrawIsRepeatableAndDistinct) {
    const std::vector<OraclePixel> a = SampleOraclePixels(640, 360, 3000, 1);
    const std::vector<OraclePixel> b = SampleOraclePixels(640, 360, 3000, 1);
    const std::vector<OraclePixel> c = SampleOraclePixels(640, 360, 3000, 2);
    ASSERT_EQ(a.size(), 3000u);
    std::set<std::pair<int32_t, int32_t>> seen;
    double meanX = 0, meanY = 0;
    bool same = true, otherSeedSame = true;
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_TRUE(a[i].x >= 0 && a[i].x < 640 && a[i].y >= 0 && a[i].y < 360);
        seen.insert({a[i].x, a[i].y});
        same = same && a[i].x == b[i].x && a[i].y == b[i].y;
        otherSeedSame = otherSeedSame && a[i].x == c[i].x && a[i].y == c[i].y;
        meanX += a[i].x / 3000.0;
        meanY += a[i].y / 3000.0;
    }
    EXPECT_EQ(seen.size(), 3000u);
    EXPECT_TRUE(same);
    EXPECT_FALSE(otherSeedSame);
    EXPECT_NEAR(meanX, 319.5, 15.0);
    EXPECT_NEAR(meanY, 179.5, 9.0);
    EXPECT_EQ(SampleOraclePixels(4, 3, 50, 1).size(), 12u);
}

// The comparison lists exactly the pixels where the counts differ and
// passes with up to one in a thousand of them.
TEST(OracleSample, ComparisonListsEveryDifference) {
    const DeepView view = MakeView("-0.75", "0.1", 1e-2, 40, 25, 64);
    const std::vector<OraclePixel> pixels = SampleOraclePixels(40, 25, 1000, 7);
    const auto truth = [&](int32_t x, int32_t y) { return DirectCount(view, x, y, 100, 256); };
    const OracleAgreement right = CompareWithOracle(view, 100, pixels, truth, 3);
    EXPECT_EQ(right.compared, 1000);
    EXPECT_TRUE(right.differences.empty());
    EXPECT_TRUE(right.Passes());
    EXPECT_GT(right.inside, 0);
    EXPECT_LT(right.lowestCount, right.highestCount);
    EXPECT_EQ(right.CountRange(), "escaped " + std::to_string(right.lowestCount) + ".." +
                                      std::to_string(right.highestCount) + ", " + std::to_string(right.inside) +
                                      " inside");

    const auto wrong = [](int32_t count) { return count == 7 ? 8 : 7; };
    const auto oneWrong = [&](int32_t x, int32_t y) { return x == 5 && y == 6 ? wrong(truth(x, y)) : truth(x, y); };
    const OracleAgreement one = CompareWithOracle(view, 100, pixels, oneWrong, 2);
    ASSERT_EQ(one.differences.size(), 1u);
    EXPECT_EQ(one.differences[0].x, 5);
    EXPECT_EQ(one.differences[0].y, 6);
    EXPECT_EQ(wrong(one.differences[0].oracle), one.differences[0].count);
    EXPECT_TRUE(one.Passes());

    const auto twoWrong = [&](int32_t x, int32_t y) { return x == 0 && y == 0 ? wrong(truth(x, y)) : oneWrong(x, y); };
    EXPECT_FALSE(CompareWithOracle(view, 100, pixels, twoWrong, 2).Passes());
}
