// The approximation's entries against the steps they stand for: random
// differences inside and at the edge of each entry's radius, iterated step
// by step in long double, must land where A z + B dc says, within what the
// tolerance allows; and the table must be the same however it was grown.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "engine/DeepBla.h"

namespace {

using Complex = std::complex<long double>;

// Z_0 .. Z_count-1 of c in long double: the tests' reference.
std::vector<Complex> Orbit(Complex c, int32_t count) {
    std::vector<Complex> z(static_cast<size_t>(count));
    for (int32_t m = 1; m < count; ++m) z[m] = z[m - 1] * z[m - 1] + c;
    return z;
}

WideDouble WideOf(long double value) {
    if (value == 0.0L) return WideDouble{};
    int e = 0;
    const long double mantissa = std::frexp(value, &e);
    return Normalised(static_cast<double>(mantissa), e);
}

long double LongOf(WideDouble value) {
    return value.m == 0.0 ? 0.0L : std::ldexp(static_cast<long double>(value.m), static_cast<int>(value.e));
}

BlaTable Build(const std::vector<Complex>& z, int32_t last, double tolerance, long double largestOffset) {
    BlaTable table(tolerance, WideOf(largestOffset));
    EXPECT_TRUE(table.Extend(last, [&](int32_t m, WideDouble& re, WideDouble& im) {
        re = WideOf(z[m].real());
        im = WideOf(z[m].imag());
    }));
    return table;
}

// Every entry of every level: `tries` differences on the square of side
// 2 rho (inside, and at 0.999 of its corners) with offsets up to the
// largest, iterated directly, against the entry's map. The error of a
// correct entry is a few tolerances of the terms it adds; a wrong product,
// a swapped order, an entry placed at the wrong step or a radius too wide
// for the steps it spans miss by far more.
void ExpectEntriesHold(const std::vector<Complex>& z, double tolerance, long double largestOffset) {
    const int32_t last = static_cast<int32_t>(z.size()) - 1;
    const BlaTable table = Build(z, last, tolerance, largestOffset);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<long double> unit(-1.0L, 1.0L);
    int checked = 0;
    for (int32_t k = 1; k < table.Levels(); ++k) {
        const int32_t length = int32_t{1} << k;
        for (size_t j = 0; j < table.Level(k).size(); ++j) {
            const BlaWideEntry& e = table.Level(k)[j];
            const long double rho = LongOf(e.radius) * 0.7071L;
            if (rho == 0.0L) continue;
            const int32_t m = 1 + static_cast<int32_t>(j) * length;
            const Complex A(LongOf(e.ar), LongOf(e.ai)), B(LongOf(e.br), LongOf(e.bi));
            for (int t = 0; t < 8; ++t) {
                const bool edge = t < 4;
                const Complex z0 = edge ? Complex((t & 1 ? 0.999L : -0.999L) * rho, (t & 2 ? 0.999L : -0.999L) * rho)
                                        : Complex(unit(random) * rho, unit(random) * rho);
                const Complex dc(unit(random) * largestOffset * 0.7L, unit(random) * largestOffset * 0.7L);
                Complex direct = z0;
                for (int32_t i = m; i < m + length; ++i) direct = (2.0L * z[i] + direct) * direct + dc;
                const Complex approximated = A * z0 + B * dc;
                const long double scale = std::abs(A) * std::abs(z0) + std::abs(B) * std::abs(dc);
                ASSERT_LE(std::abs(approximated - direct), 4.0L * length * tolerance * scale)
                    << "level " << k << " at m = " << m << ", try " << t;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 100);
}

bool SameBits(const BlaWideEntry& a, const BlaWideEntry& b) {
    const WideDouble x[] = {a.ar, a.ai, a.br, a.bi, a.radius};
    const WideDouble y[] = {b.ar, b.ai, b.br, b.bi, b.radius};
    for (int i = 0; i < 5; ++i)
        if (std::memcmp(&x[i].m, &y[i].m, sizeof(double)) != 0 || x[i].e != y[i].e) return false;
    return true;
}

}  // namespace

// c = i lands on a repelling cycle (0, i, -1 + i, -i, -1 + i, ...): |A|
// grows with every step and the radii shrink. c = -0.1 + 0.1i is drawn to
// an attracting point: A shrinks and B settles. Together they take the
// entries through both ways the orbit can go.
TEST(DeepBla, EntriesAgreeWithTheStepsTheySpan) {
    for (const double tolerance : {0x1p-12, 0x1p-24}) {
        SCOPED_TRACE(tolerance);
        ExpectEntriesHold(Orbit(Complex(0.0L, 1.0L), 300), tolerance, 1e-30L);
        ExpectEntriesHold(Orbit(Complex(-0.1L, 0.1L), 300), tolerance, 1e-9L);
    }
}

// A pass that extends the reference extends the table: it must hold the
// entries a table built at once holds, bit for bit, or the pixels of
// later passes would take other steps than one pass to the end.
TEST(DeepBla, ExtendedTableEqualsOneBuiltAtOnce) {
    const std::vector<Complex> z = Orbit(Complex(-0.75L, 0.1L), 1100);
    const BlaTable once = Build(z, 1099, 0x1p-24, 1e-20L);
    BlaTable grown = Build(z, 37, 0x1p-24, 1e-20L);
    for (const int32_t last : {38, 300, 301, 1099}) {
        ASSERT_TRUE(grown.Extend(last, [&](int32_t m, WideDouble& re, WideDouble& im) {
            re = WideOf(z[m].real());
            im = WideOf(z[m].imag());
        }));
    }
    ASSERT_EQ(grown.Levels(), once.Levels());
    EXPECT_EQ(once.Levels(), 11);  // 2^10 steps from m = 1 end at 1025 <= 1099
    for (int32_t k = 1; k < once.Levels(); ++k) {
        ASSERT_EQ(grown.Level(k).size(), once.Level(k).size()) << "level " << k;
        EXPECT_EQ(once.Level(k).size(), static_cast<size_t>(1098 >> k));
        for (size_t j = 0; j < once.Level(k).size(); ++j)
            ASSERT_TRUE(SameBits(grown.Level(k)[j], once.Level(k)[j])) << "level " << k << " entry " << j;
    }
}

// The search: no entry where Z_0 = 0 starts, none at a step no entry is
// aligned to, and otherwise the longest whose radius holds the difference.
TEST(DeepBla, FindTakesTheLongestEntryThatHolds) {
    const std::vector<Complex> z = Orbit(Complex(-0.1L, 0.1L), 200);
    const BlaTable table = Build(z, 199, 0x1p-24, 1e-12L);
    BlaLevelsOf<double> levels;
    ASSERT_TRUE(levels.Update(table));
    int32_t length = 0;
    EXPECT_EQ(levels.Find(0, 0.0, 0.0, length), nullptr);
    EXPECT_EQ(levels.Find(2, 0.0, 0.0, length), nullptr);  // m - 1 odd: single steps only
    ASSERT_NE(levels.Find(5, 0.0, 0.0, length), nullptr);
    EXPECT_EQ(length, 4);  // m - 1 = 4: levels 1 and 2 start here
    for (const int32_t m : {1, 9, 33, 65}) {
        for (const double size : {1e-30, 1e-16, 1e-13, 1e-11, 1e-9}) {
            const BlaEntryOf<double>* found = levels.Find(m, size, size, length);
            // Every entry at m, longest first: the first that holds is the one.
            int32_t expected = 0;
            for (int32_t k = table.Levels() - 1; k >= 1 && expected == 0; --k) {
                const int32_t span = int32_t{1} << k;
                if ((m - 1) % span != 0 || static_cast<size_t>((m - 1) / span) >= table.Level(k).size()) continue;
                const double rho = static_cast<double>(LongOf(table.Level(k)[(m - 1) / span].radius) * 0.70710678L);
                if (size < rho * 0.999999) expected = span;
            }
            SCOPED_TRACE(::testing::Message() << "m = " << m << ", |z| parts " << size);
            if (expected == 0) {
                EXPECT_EQ(found, nullptr);
            } else {
                ASSERT_NE(found, nullptr);
                EXPECT_EQ(length, expected);
            }
        }
    }
}

// An entry whose coefficients leave the pixels' number can never be taken,
// rather than being taken with an infinity or a flushed zero in it: the
// conversions refuse exactly the values outside the normal range.
TEST(DeepBla, ConversionsRefuseValuesOutsideTheNormalRange) {
    double d = 1.0;
    EXPECT_TRUE(bla_detail::Narrowed(Normalised(0.5, -1021), d));
    EXPECT_EQ(d, 0x1p-1022);
    EXPECT_FALSE(bla_detail::Narrowed(Normalised(0.5, -1022), d));
    EXPECT_TRUE(bla_detail::Narrowed(Normalised(-0.75, 1024), d));
    EXPECT_EQ(d, -0x1.8p1023);
    EXPECT_FALSE(bla_detail::Narrowed(Normalised(0.5, 1025), d));
    EXPECT_TRUE(bla_detail::Narrowed(WideDouble{}, d));
    EXPECT_EQ(d, 0.0);
    long double x = 1.0L;
    EXPECT_TRUE(bla_detail::Narrowed(Normalised(0.5, -16381), x));
    EXPECT_EQ(x, std::ldexp(1.0L, -16382));
    EXPECT_FALSE(bla_detail::Narrowed(Normalised(0.5, -16382), x));
    EXPECT_TRUE(bla_detail::Narrowed(Normalised(0.5, 5000), x));
    EXPECT_FALSE(bla_detail::Narrowed(Normalised(0.5, 16385), x));
}

// No entry may step over a reference value whose modulus is within the
// tolerance's share of 2: a pixel near it could escape inside the entry
// and be counted later. c = -2 lands on 2 for ever (|Z|^2 = 4 exactly): no
// merged entry holds anywhere past its first step. A reference a hair
// below, |Z| = 2 (1 - 2^-30), is clear of the share at 2^-40 but not at
// 2^-24.
TEST(DeepBla, NoEntryStepsOverAValueThatMayEscape) {
    auto merged = [](long double modulus, double tolerance) {
        std::vector<Complex> z(40, Complex(modulus, 0.0L));
        z[0] = 0.0L;
        const BlaTable table = Build(z, 39, tolerance, 1e-30L);
        int32_t holding = 0;
        for (int32_t k = 1; k < table.Levels(); ++k)
            for (const BlaWideEntry& e : table.Level(k)) holding += e.radius.m > 0.0 ? 1 : 0;
        return holding;
    };
    EXPECT_EQ(merged(2.0L, 0x1p-40), 0);
    const long double below = 2.0L * (1.0L - std::ldexp(1.0L, -30));
    EXPECT_EQ(merged(below, 0x1p-24), 0);
    EXPECT_GT(merged(below, 0x1p-40), 30);
    EXPECT_GT(merged(1.5L, 0x1p-40), 30);
}
