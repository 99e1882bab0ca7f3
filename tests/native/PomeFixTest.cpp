#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/PomeFix.h"

namespace {

constexpr int32_t kFour = 67108864;  // 4.0

TEST(ToFixed, ConvertsExactValuesAndTruncatesTowardZero) {
    EXPECT_EQ(ToFixed(4.0L), 67108864);
    EXPECT_EQ(ToFixed(-2.0L), -33554432);
    EXPECT_EQ(ToFixed(1.5L), 25165824);
    EXPECT_EQ(ToFixed(1.0L), 16777216);
    EXPECT_EQ(ToFixed(0.0L), 0);
    EXPECT_EQ(ToFixed(-0.0L), 0);
    // 0.1 * 2^24 = 1677721.6: truncation, not rounding, on both signs.
    EXPECT_EQ(ToFixed(0.1L), 1677721);
    EXPECT_EQ(ToFixed(-0.1L), -1677721);
    // Just below one unit of the last place becomes 0, also when negative.
    EXPECT_EQ(ToFixed(0.99L / 16777216.0L), 0);
    EXPECT_EQ(ToFixed(-0.99L / 16777216.0L), 0);
    EXPECT_EQ(ToFixed(-1.0L / 16777216.0L), -1);
}

TEST(ToFixed, KeepsLowThirtyTwoBitsBeyondTheRange) {
    // 128 scales to 2^31, which as a 32-bit signed value is INT32_MIN.
    EXPECT_EQ(ToFixed(128.0L), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ToFixed(-128.0L), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ToFixed(128.0L - 0x1p-24L), 2147483647);
    // 256 + 1.5 wraps to 1.5.
    EXPECT_EQ(ToFixed(257.5L), ToFixed(1.5L));
    EXPECT_EQ(ToFixed(-257.5L), ToFixed(-1.5L));
    // Values whose scaled magnitude does not fit 64 bits: the low 32 bits of
    // the truncated value, i.e. of 2^24 * x.
    EXPECT_EQ(ToFixed(0x1p39L), 0);                       // 2^63 -> low bits 0
    EXPECT_EQ(ToFixed(0x1p39L + 0x1p-20L), 16);           // 2^63 + 2^4
    EXPECT_EQ(ToFixed(-(0x1p39L + 0x1p-20L)), -16);
    EXPECT_EQ(ToFixed(0x1p60L + 0x1p0L), 16777216);       // 2^84 + 2^24 -> 2^24
    EXPECT_EQ(ToFixed(std::numeric_limits<long double>::max()), 0);
    EXPECT_EQ(ToFixed(-std::numeric_limits<long double>::max()), 0);
}

TEST(ToFixed, NonFiniteInputBecomesZero) {
    EXPECT_EQ(ToFixed(std::numeric_limits<long double>::infinity()), 0);
    EXPECT_EQ(ToFixed(-std::numeric_limits<long double>::infinity()), 0);
    EXPECT_EQ(ToFixed(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(ToFixed(-std::numeric_limits<long double>::quiet_NaN()), 0);
}

TEST(FixedMul, ShiftsRightRoundingTowardMinusInfinity) {
    EXPECT_EQ(FixedMul(ToFixed(-1.5L), ToFixed(0.5L)), -12582912);
    EXPECT_EQ(FixedMul(1, -1), -1);
    EXPECT_EQ(FixedMul(-1, -1), 0);
    EXPECT_EQ(FixedMul(1, 1), 0);
    EXPECT_EQ(FixedMul(kFixedOne, kFixedOne), kFixedOne);
    EXPECT_EQ(FixedMul(ToFixed(2.0L), ToFixed(-2.0L)), -kFour);
    // 0.1 * 0.1 from truncated operands: 1677721^2 / 2^24 = 167772.08... -> 167772
    EXPECT_EQ(FixedMul(1677721, 1677721), 167772);
    EXPECT_EQ(FixedMul(-1677721, 1677721), -167773);
}

TEST(FixedMul, KeepsLowThirtyTwoBitsOfLargeProducts) {
    // 16 * 16 = 256 does not fit 8.24: the low bits of 2^32 are 0.
    EXPECT_EQ(FixedMul(ToFixed(16.0L), ToFixed(16.0L)), 0);
    // 12 * 12 = 144 wraps to 144 - 256 = -112.
    EXPECT_EQ(FixedMul(ToFixed(12.0L), ToFixed(12.0L)), ToFixed(-112.0L));
    // Extremes do not trap.
    EXPECT_EQ(FixedMul(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()), 0);
    // (2^31 - 1)^2 >> 24 = 2^38 - 256, whose low 32 bits are -256.
    EXPECT_EQ(FixedMul(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()), -256);
}

TEST(IterateFixed, PointOutsideEscapesAtOnceAndStepsBeyond) {
    const int32_t c = ToFixed(3.0L);
    int32_t zr = c, zi = 0;
    EXPECT_EQ(IterateFixed(zr, zi, c, 0, kFour, 10), 0);
    EXPECT_EQ(zr, ToFixed(12.0L));  // 3^2 + 3: one step beyond the escaping value
    EXPECT_EQ(zi, 0);

    zr = c;
    zi = 0;
    EXPECT_EQ(IterateFixed(zr, zi, c, 0, kFour, 1), 0);
}

TEST(IterateFixed, OriginNeverEscapes) {
    int32_t zr = 0, zi = 0;
    EXPECT_EQ(IterateFixed(zr, zi, 0, 0, kFour, 1000), 1000);
    EXPECT_EQ(zr, 0);
    EXPECT_EQ(zi, 0);
}

TEST(IterateFixed, SquareOfExactlyFourEscapes) {
    // c = -2 starts at z = -2: |z|^2 = 4 escapes with the >= test.
    const int32_t c = ToFixed(-2.0L);
    int32_t zr = c, zi = 0;
    EXPECT_EQ(IterateFixed(zr, zi, c, 0, kFour, 50), 0);
    // z = 2i: 0 + 4 = 4 escapes too.
    zr = 0;
    zi = ToFixed(2.0L);
    EXPECT_EQ(IterateFixed(zr, zi, 0, ToFixed(2.0L), kFour, 50), 0);
}

TEST(IterateFixed, CountsStepsUntilEscapeAndContinuesOrbits) {
    // c = 0.5: FPU orbit 0, .5, .75, 1.0625, 1.62890625, 3.15333557 (escapes:
    // 9.94 > 4 at n = 5). CPU Fixed starts at z1 = c, so its count is 4.
    const int32_t c = ToFixed(0.5L);
    int32_t zr = c, zi = 0;
    EXPECT_EQ(IterateFixed(zr, zi, c, 0, kFour, 100), 4);

    // The same orbit in slices of two steps ends at the same count.
    zr = c;
    zi = 0;
    int32_t done = 0;
    for (;;) {
        const int32_t k = IterateFixed(zr, zi, c, 0, kFour, 2);
        done += k;
        if (k < 2) break;
    }
    EXPECT_EQ(done, 4);
}

TEST(IterateFixed, ImaginaryPartUsesDoubledRealPart) {
    // One step from z = 1 + 1i with c = 0: z^2 = 0 + 2i; |z|^2 = 2 < 4.
    int32_t zr = kFixedOne, zi = kFixedOne;
    EXPECT_EQ(IterateFixed(zr, zi, 0, 0, kFour, 1), 1);
    EXPECT_EQ(zr, 0);
    EXPECT_EQ(zi, 2 * kFixedOne);
    // z = -2^-24 + 1i: the cross term 2xy = -2^-23 is exact.
    zr = -1;
    zi = kFixedOne;
    IterateFixed(zr, zi, 0, 0, kFour, 1);
    EXPECT_EQ(zi, -2);
    EXPECT_EQ(zr, FixedMul(-1, -1) - kFixedOne);
}

TEST(IterateFixed, WrapsInsteadOfTrappingOnHugeValues) {
    // Far outside the exact range: the sums wrap silently, without UB.
    int32_t zr = std::numeric_limits<int32_t>::max(), zi = std::numeric_limits<int32_t>::min();
    const int32_t k = IterateFixed(zr, zi, std::numeric_limits<int32_t>::max(),
                                   std::numeric_limits<int32_t>::min(), kFour, 1000);
    EXPECT_GE(k, 0);
    EXPECT_LE(k, 1000);
}

TEST(IterateFixed, NoStepsDoesNothing) {
    int32_t zr = 5, zi = 7;
    EXPECT_EQ(IterateFixed(zr, zi, 1, 1, kFour, 0), 0);
    EXPECT_EQ(IterateFixed(zr, zi, 1, 1, kFour, -3), 0);
    EXPECT_EQ(zr, 5);
    EXPECT_EQ(zi, 7);
}

}  // namespace
