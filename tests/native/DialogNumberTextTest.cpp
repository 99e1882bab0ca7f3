// The co-ordinates' decimal text and its reader: exact rounding both ways,
// the 10^-17, 10 and 10^36 boundaries, negative zero, offending positions, and
// a randomized run of texts that must never be read past their end. Built
// natively (checked against glibc) and by mingw under wine.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dialogs/NumberTextLogic.h"
#include "dialogs/PomeDlgLogic.h"
#include "engine/FpEnvironment.h"

namespace {

// Neighbours of a positive finite value, by its bits.
long double NextUp(long double v) {
    ExtendedBits p = UnpackExtended(v);
    if (p.significand == ~uint64_t{0}) return PackExtended(false, p.biased + 1, uint64_t{1} << 63);
    ++p.significand;
    if (p.biased == 0 && (p.significand >> 63) != 0) p.biased = 1;
    return PackExtended(false, p.biased, p.significand);
}

long double NextDown(long double v) {
    ExtendedBits p = UnpackExtended(v);
    if (p.biased > 1 && p.significand == (uint64_t{1} << 63)) return PackExtended(false, p.biased - 1, ~uint64_t{0});
    --p.significand;
    if (p.biased == 1 && (p.significand >> 63) == 0) p.biased = 0;
    return PackExtended(false, p.biased, p.significand);
}

long double Read(const std::string& text) {
    const NumberReading r = ReadNumber(text);
    EXPECT_EQ(r.syntax, NumberSyntax::Valid) << text;
    return r.value;
}

::testing::AssertionResult SameBits(long double a, long double b) {
    if (UnpackExtended(a) == UnpackExtended(b)) return ::testing::AssertionSuccess();
    const ExtendedBits pa = UnpackExtended(a);
    const ExtendedBits pb = UnpackExtended(b);
    return ::testing::AssertionFailure() << std::hex << pa.biased << ":" << pa.significand << " vs " << pb.biased
                                         << ":" << pb.significand;
}

// The exact decimal expansion of m * 2^exp2, without exponent.
std::string ExactDecimal(uint64_t m, int exp2) {
    std::vector<uint32_t> chunks;  // base 10^9, least significant first
    for (uint64_t v = m; v != 0; v /= 1000000000u) chunks.push_back(static_cast<uint32_t>(v % 1000000000u));
    auto multiply = [&chunks](uint32_t factor) {
        uint64_t carry = 0;
        for (uint32_t& c : chunks) {
            const uint64_t p = uint64_t{c} * factor + carry;
            c = static_cast<uint32_t>(p % 1000000000u);
            carry = p / 1000000000u;
        }
        for (; carry != 0; carry /= 1000000000u) chunks.push_back(static_cast<uint32_t>(carry % 1000000000u));
    };
    const int places = exp2 < 0 ? -exp2 : 0;
    for (int i = 0; i < exp2; ++i) multiply(2);
    // m * 2^-k = m * 5^k / 10^k
    for (int i = 0; i < places / 13; ++i) multiply(1220703125u);
    for (int i = 0; i < places % 13; ++i) multiply(5);
    std::string digits = chunks.empty() ? "0" : std::to_string(chunks.back());
    for (size_t i = chunks.size() - 1; i-- > 0;) {
        const std::string c = std::to_string(chunks[i]);
        digits += std::string(9 - c.size(), '0') + c;
    }
    if (places == 0) return digits;
    if (digits.size() <= static_cast<size_t>(places)) digits.insert(0, places + 1 - digits.size(), '0');
    digits.insert(digits.size() - places, ".");
    return digits;
}

// Sum of two decimal integers.
std::string AddDecimal(const std::string& a, const std::string& b) {
    std::string sum;
    int carry = 0;
    for (size_t i = 0; i < a.size() || i < b.size() || carry != 0; ++i) {
        const int da = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
        const int db = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
        const int d = carry + da + db;
        sum.insert(sum.begin(), static_cast<char>('0' + d % 10));
        carry = d / 10;
    }
    return sum;
}

constexpr long double kTiny = 1e-4000L;

// ---------------------------------------------------------------------------
// Writing

TEST(CoordinateText, StoredFormKeepsSeventeenPlacesBelowTenAndEighteenDigitsAbove) {
    EXPECT_EQ(CoordinateText(-2.0L), "-2");
    EXPECT_EQ(CoordinateText(1.5L), "1.5");
    EXPECT_EQ(CoordinateText(-1.5L), "-1.5");
    EXPECT_EQ(CoordinateText(0.0L), "0");
    EXPECT_EQ(CoordinateText(Read("0.1")), "0.1");
    EXPECT_EQ(CoordinateText(Read("-0.7485")), "-0.7485");
    EXPECT_EQ(CoordinateText(Read("3.14159265358979323846")), "3.14159265358979324");
    EXPECT_EQ(CoordinateText(Read("0.000000123456789012345678")), "0.00000012345678901");
    EXPECT_EQ(CoordinateText(Read("123.456")), "123.456");
    EXPECT_EQ(CoordinateText(Read("12345.678901234567891")), "12345.6789012345679");
    EXPECT_EQ(CoordinateText(Read("98765432109876543210.5")), "98765432109876543200");
    EXPECT_EQ(CoordinateText(Read("1e20")), "100000000000000000000");
    // Ties in the exact binary value round away from zero: 2^-18 has 18 places.
    EXPECT_EQ(CoordinateText(Read("0.000003814697265625")), "0.00000381469726563");
    EXPECT_EQ(CoordinateText(Read("-0.000003814697265625")), "-0.00000381469726563");
}

TEST(CoordinateText, RangeFieldShowsTwentyOnePlaces) {
    EXPECT_EQ(RangeFieldText(-2.0L), "-2.000000000000000000000");
    EXPECT_EQ(RangeFieldText(0.0L), "0.000000000000000000000");
    EXPECT_EQ(RangeFieldText(1.5L), "1.500000000000000000000");
    EXPECT_EQ(RangeFieldText(Read("0.1")), "0.100000000000000000000");
    EXPECT_EQ(RangeFieldText(Read("123.456")), "123.456000000000000000000");
    EXPECT_EQ(RangeFieldText(Read("1e20")), "100000000000000000000.000000000000000000000");
    EXPECT_EQ(RangeFieldText(Read("1.5e40")), "1.5E+40");
    EXPECT_EQ(RangeFieldText(-0.0L), "-0.000000000000000000000");
}

TEST(CoordinateText, BelowHalfOfTenToTheMinusSeventeenIsZeroWithItsSign) {
    // 5e-18 itself is no binary value: its neighbours fall either side.
    const long double nearest = Read("0.000000000000000005");
    EXPECT_EQ(CoordinateText(NextDown(nearest)), "0");
    EXPECT_EQ(CoordinateText(NextUp(nearest)), "0.00000000000000001");
    EXPECT_EQ(CoordinateText(-NextDown(nearest)), "-0");
    EXPECT_EQ(CoordinateText(-NextUp(nearest)), "-0.00000000000000001");
    EXPECT_EQ(CoordinateText(Read("1e-17")), "0.00000000000000001");
    EXPECT_EQ(CoordinateText(Read("1.4999e-17")), "0.00000000000000001");
    EXPECT_EQ(CoordinateText(Read("1.5001e-17")), "0.00000000000000002");
    EXPECT_EQ(CoordinateText(kTiny), "0");
    EXPECT_EQ(CoordinateText(-kTiny), "-0");
    EXPECT_EQ(CoordinateText(PackExtended(false, 0, 1)), "0");  // smallest denormal
    EXPECT_EQ(RangeFieldText(-kTiny), "-0.000000000000000000000");
}

TEST(CoordinateText, TheSwitchAtTenDependsOnTheUnroundedValue) {
    EXPECT_EQ(CoordinateText(10.0L), "10");
    EXPECT_EQ(CoordinateText(NextDown(10.0L)), "10");  // 17 places round up to 10
    EXPECT_EQ(CoordinateText(NextUp(10.0L)), "10");    // 18 digits leave 16 places
    const long double nearest = Read("9.999999999999999995");
    EXPECT_EQ(CoordinateText(NextDown(nearest)), "9.99999999999999999");
    EXPECT_EQ(CoordinateText(NextUp(nearest)), "10");
    EXPECT_EQ(CoordinateText(Read("9.99999999999999999")), "9.99999999999999999");
    EXPECT_EQ(CoordinateText(Read("10.0000000000000001")), "10.0000000000000001");
    EXPECT_EQ(RangeFieldText(NextDown(10.0L)), "10.000000000000000000000");
}

TEST(CoordinateText, FromTenToTheThirtySixAnExponentIsWritten) {
    const long double nearest = Read("999999999999999999.5e18");
    EXPECT_EQ(CoordinateText(NextDown(nearest)), "999999999999999999000000000000000000");
    EXPECT_EQ(CoordinateText(NextUp(nearest)), "1E+36");
    EXPECT_EQ(CoordinateText(Read("1e36")), "1E+36");
    EXPECT_EQ(CoordinateText(Read("-1e36")), "-1E+36");
    EXPECT_EQ(CoordinateText(Read("1.5e40")), "1.5E+40");
    EXPECT_EQ(CoordinateText(Read("-2.25e1000")), "-2.25E+1000");
    EXPECT_EQ(CoordinateText(Read("123456789012345678901234567890e20")), "1.23456789012345679E+49");
    // Rounded up, the largest value's digits would leave the format: cut.
    EXPECT_EQ(CoordinateText(std::numeric_limits<long double>::max()), "1.18973149535723176E+4932");
    EXPECT_EQ(CoordinateText(-std::numeric_limits<long double>::max()), "-1.18973149535723176E+4932");
    // The longest texts there are.
    EXPECT_EQ(RangeFieldText(-NextDown(nearest)),
              "-999999999999999999000000000000000000.000000000000000000000");
    EXPECT_EQ(CoordinateText(-NextDown(nearest)).size(), 37u);
}

// Every finite value at the top of the range writes texts that read back as
// finite values, in both forms, no further from it than the last digit kept;
// the texts of a view at the edges pass the Range dialog's check.
TEST(CoordinateText, TextsNextToTheLargestValueReadBackAsFinite) {
    constexpr long double kLargest = std::numeric_limits<long double>::max();
    const long double unit = Read("1e4915");  // one in the 18th significant digit
    std::vector<long double> values;
    long double v = kLargest;
    for (int i = 0; i < 300; ++i, v = NextDown(v)) values.push_back(v);
    values.push_back(Read("1.189731495357231765e4932"));  // rounds to ...77 half away from zero
    values.push_back(Read("1.18973149535723176e4932"));
    values.push_back(Read("1.189731495357231756e4932"));
    for (const long double value : values) {
        for (const long double signedValue : {value, -value}) {
            for (const std::string& text : {CoordinateText(signedValue), RangeFieldText(signedValue)}) {
                const NumberReading r = ReadNumber(text);
                ASSERT_EQ(r.syntax, NumberSyntax::Valid) << text;
                ASSERT_TRUE(std::isfinite(r.value)) << text;
                ASSERT_LE(std::fabs(signedValue - r.value), unit) << text;
#ifndef _WIN32
                errno = 0;
                const long double glibc = std::strtold(text.c_str(), nullptr);
                ASSERT_TRUE(errno == 0 && std::isfinite(glibc)) << text;
                ASSERT_TRUE(SameBits(glibc, r.value)) << text;
#endif
            }
        }
    }
    // Just below the cut, rounding half away from zero still goes up.
    EXPECT_EQ(CoordinateText(Read("1.189731495357231756e4932")), "1.18973149535723176E+4932");
    EXPECT_EQ(CoordinateText(Read("1.189731495357231746e4932")), "1.18973149535723175E+4932");

    CoordinateSet edges;
    edges.RealMin = -kLargest;
    edges.RealMax = kLargest;
    edges.ImagMin = -kLargest;
    edges.ImagMax = kLargest;
    edges.ConstReal = NextDown(kLargest);
    edges.ConstImag = -NextDown(kLargest);
    const auto texts = RangeFieldTexts(edges);
    RangeDialogInput input{"64", "64", "256", {}, false};
    for (int f = 0; f < kCoordinateFieldCount; ++f) input.coordinates[f] = texts[f];
    const RangeDialogResult result = CheckRangeDialog(input);
    ASSERT_EQ(result.check, RangeCheck::Accepted);
    EXPECT_TRUE(std::isfinite(result.set.RealMin) && std::isfinite(result.set.RealMax));
}

TEST(CoordinateText, NegativeZeroKeepsItsSignBothWays) {
    EXPECT_EQ(CoordinateText(-0.0L), "-0");
    EXPECT_TRUE(UnpackExtended(Read("-0")).negative);
    EXPECT_TRUE(UnpackExtended(Read("-0.000e99")).negative);
    EXPECT_TRUE(UnpackExtended(Read("-1e-99999")).negative);
    EXPECT_FALSE(UnpackExtended(Read("0")).negative);
    EXPECT_FALSE(UnpackExtended(Read("+0.0")).negative);
    EXPECT_EQ(CoordinateText(Read(CoordinateText(-kTiny))), "-0");
}

TEST(CoordinateText, NonFiniteValues) {
    EXPECT_EQ(CoordinateText(std::numeric_limits<long double>::infinity()), "inf");
    EXPECT_EQ(CoordinateText(-std::numeric_limits<long double>::infinity()), "-inf");
    EXPECT_EQ(CoordinateText(std::numeric_limits<long double>::quiet_NaN()), "nan");
    EXPECT_EQ(CoordinateText(PackExtended(true, 0x7FFF, 0xC000000000000000ull)), "nan");
    EXPECT_EQ(CoordinateText(PackExtended(false, 0x4000, 0x4000000000000000ull)), "nan");  // unnormal
    EXPECT_EQ(RangeFieldText(-std::numeric_limits<long double>::infinity()), "-inf");
    for (const char* text : {"inf", "-inf", "nan"}) EXPECT_EQ(ReadNumber(text).syntax, NumberSyntax::BadCharacter);
}

// ---------------------------------------------------------------------------
// Reading

TEST(ReadNumber, AcceptsSignsPointsExponentsAndLeadingBlanks) {
    {
        FpEnvironmentGuard exact;
        EXPECT_TRUE(SameBits(Read("0.1"), 1.0L / 10.0L));
        EXPECT_TRUE(SameBits(Read("1e-3"), 1.0L / 1000.0L));
        EXPECT_TRUE(SameBits(Read("1E-3"), 1.0L / 1000.0L));
        EXPECT_TRUE(SameBits(Read("-0.7485"), -7485.0L / 10000.0L));
    }
    EXPECT_EQ(Read("-.5"), -0.5L);
    EXPECT_EQ(Read("5."), 5.0L);
    EXPECT_EQ(Read("+5"), 5.0L);
    EXPECT_EQ(Read("   1.5"), 1.5L);
    EXPECT_EQ(Read("1e+3"), 1000.0L);
    EXPECT_EQ(Read("2.5e0000000000000000000000000000001"), 25.0L);
    EXPECT_EQ(Read("0e99999999999999999999"), 0.0L);
    EXPECT_EQ(Read(".5e1"), 5.0L);
}

struct Offending {
    const char* text;
    NumberSyntax syntax;
    size_t position;
};

TEST(ReadNumber, PointsAtTheFirstCharacterThatDoesNotFit) {
    const Offending cases[] = {
        {"1.5 ", NumberSyntax::BadCharacter, 3},  {"1,5", NumberSyntax::BadCharacter, 1},
        {",5", NumberSyntax::BadCharacter, 0},    {"", NumberSyntax::EndsEarly, 0},
        {"-", NumberSyntax::EndsEarly, 1},        {"+", NumberSyntax::EndsEarly, 1},
        {"   ", NumberSyntax::EndsEarly, 3},      {".", NumberSyntax::EndsEarly, 1},
        {"-.", NumberSyntax::EndsEarly, 2},       {".e3", NumberSyntax::BadCharacter, 1},
        {"e3", NumberSyntax::BadCharacter, 0},    {"1e", NumberSyntax::EndsEarly, 2},
        {"1e+", NumberSyntax::EndsEarly, 3},      {"1e-x", NumberSyntax::BadCharacter, 3},
        {"1e5.", NumberSyntax::BadCharacter, 3},  {"1.2.3", NumberSyntax::BadCharacter, 3},
        {"--1", NumberSyntax::BadCharacter, 1},   {"- 1", NumberSyntax::BadCharacter, 1},
        {"\t1", NumberSyntax::BadCharacter, 0},   {"1e1 ", NumberSyntax::BadCharacter, 3},
        {"0x10", NumberSyntax::BadCharacter, 1},  {"1d5", NumberSyntax::BadCharacter, 1},
        {"1e++5", NumberSyntax::BadCharacter, 3}, {"1 e5", NumberSyntax::BadCharacter, 1},
    };
    for (const Offending& c : cases) {
        const NumberReading r = ReadNumber(c.text);
        EXPECT_EQ(r.syntax, c.syntax) << '"' << c.text << '"';
        EXPECT_EQ(r.position, c.position) << '"' << c.text << '"';
    }
    // A zero byte inside the text is a character like any other.
    const NumberReading r = ReadNumber(std::string_view("12\0" "3", 4));
    EXPECT_EQ(r.syntax, NumberSyntax::BadCharacter);
    EXPECT_EQ(r.position, 2u);
}

TEST(ReadNumber, SelectionAfterAFailureOrSuccess) {
    EXPECT_EQ(SelectionAfterReading(ReadNumber("1.5 "), 4), (TextSelection{3, 4}));
    EXPECT_EQ(SelectionAfterReading(ReadNumber("-"), 1), (TextSelection{1, 1}));
    EXPECT_EQ(SelectionAfterReading(ReadNumber("1e9999"), 6), (TextSelection{0, 6}));
    EXPECT_EQ(SelectionAfterReading(ReadNumber("2"), 1), (TextSelection{0, 0}));
}

TEST(ReadNumber, MagnitudesBeyondTheExtendedRangeAreErrors) {
    for (const char* text : {"1e5000", "-1e4933", "1.2e4932", "1.18973149535723176506e4932",
                             "100000000000000000000000000000000e4920", "1e99999999999999999999999"}) {
        const NumberReading r = ReadNumber(text);
        EXPECT_EQ(r.syntax, NumberSyntax::OutOfRange) << text;
        EXPECT_EQ(r.position, 0u);
    }
    // Up to half a unit above the largest value rounds down to it.
    EXPECT_TRUE(SameBits(Read("1.18973149535723176505e4932"), std::numeric_limits<long double>::max()));
    EXPECT_TRUE(SameBits(Read("-0.0000118973149535723176502e4937"), -std::numeric_limits<long double>::max()));
    // Exactly halfway to 2^16384 rounds to even, which is beyond the range;
    // one less stays with the largest value.
    const std::string halfway = AddDecimal(ExactDecimal(~uint64_t{0}, 16320), ExactDecimal(1, 16319));
    EXPECT_EQ(ReadNumber(halfway).syntax, NumberSyntax::OutOfRange);
    std::string below = halfway;
    ASSERT_NE(below.back(), '0');
    --below.back();
    EXPECT_TRUE(SameBits(Read(below), std::numeric_limits<long double>::max()));
}

TEST(ReadNumber, RoundsExactlyToNearestEvenAtHalfway) {
    // 1 + 2^-64 lies halfway between 1 and the next value up.
    const std::string halfway = "1" + ExactDecimal(1, -64).substr(1);
    EXPECT_EQ(halfway, "1.0000000000000000000542101086242752217003726400434970855712890625");
    EXPECT_TRUE(SameBits(Read(halfway), 1.0L));
    EXPECT_TRUE(SameBits(Read(halfway + "0000000000000000000000000001"), NextUp(1.0L)));
    EXPECT_TRUE(SameBits(Read(halfway.substr(0, halfway.size() - 1) + "49999999999999"), 1.0L));
    // A digit that tips the balance after 20,000 zeros still counts.
    EXPECT_TRUE(SameBits(Read(halfway + std::string(20000, '0') + "1"), NextUp(1.0L)));
    EXPECT_TRUE(SameBits(Read(halfway + std::string(20000, '0')), 1.0L));
    // 1 + 3 * 2^-64 lies halfway between an odd and an even neighbour: up to the even one.
    EXPECT_TRUE(SameBits(Read("1" + ExactDecimal(3, -64).substr(1)), NextUp(NextUp(1.0L))));
}

TEST(ReadNumber, DenormalsAndUnderflow) {
    const long double smallest = PackExtended(false, 0, 1);
    EXPECT_TRUE(SameBits(Read(ExactDecimal(1, -16445)), smallest));
    // Half the smallest denormal is a tie and goes to zero; a trace more does not.
    const std::string half = ExactDecimal(1, -16446);
    EXPECT_TRUE(SameBits(Read(half), 0.0L));
    EXPECT_TRUE(SameBits(Read("-" + half), -0.0L));
    EXPECT_TRUE(SameBits(Read(half + "1"), smallest));
    EXPECT_TRUE(SameBits(Read(ExactDecimal(3, -16446)), PackExtended(false, 0, 2)));
    EXPECT_TRUE(SameBits(Read(ExactDecimal(5, -16446)), PackExtended(false, 0, 2)));
    // The largest denormal plus half a unit rounds up into the normals.
    EXPECT_TRUE(SameBits(Read(ExactDecimal(~uint64_t{0}, -16446)), PackExtended(false, 1, uint64_t{1} << 63)));
    EXPECT_TRUE(SameBits(Read(ExactDecimal(uint64_t{1} << 63, -16445)), PackExtended(false, 1, uint64_t{1} << 63)));
    EXPECT_TRUE(SameBits(Read("1e-4950"), PackExtended(false, 0, 3)));
    EXPECT_TRUE(SameBits(Read("1e-4951"), 0.0L));  // 0.27 of the smallest denormal
    EXPECT_TRUE(SameBits(Read("-1e-99999999999999999999"), -0.0L));
}

TEST(ReadNumber, LongDigitRuns) {
    EXPECT_EQ(Read("0." + std::string(300, '0') + "1e301"), 1.0L);
    EXPECT_EQ(Read(std::string(1000, '0') + "5"), 5.0L);
    EXPECT_EQ(Read("1" + std::string(5000, '0') + "e-5000"), 1.0L);
    EXPECT_EQ(Read("-" + std::string(250, '9')), -Read("1e250"));
    EXPECT_EQ(Read("." + std::string(253, '0')), 0.0L);
    std::string digits;
    for (int i = 0; i < 25; ++i) digits += "1234567890";
    EXPECT_EQ(CoordinateText(Read(digits + "e-240")), "1234567890.12345679");
    // Far more text than a field holds: read to its end and no further.
    const std::string huge(300000, '7');
    EXPECT_EQ(ReadNumber(huge).syntax, NumberSyntax::OutOfRange);
    EXPECT_EQ(CoordinateText(Read("0." + huge)), "0.77777777777777778");
}

TEST(NumberText, ConversionsIgnoreTheCallersControlWords) {
    const FpControlWords saved = ReadFpControlWords();
    // 24-bit precision and rounding toward zero on both units.
    WriteFpControlWords(FpControlWords{static_cast<uint16_t>(0x0C7F), saved.mxcsr | 0x6000u});
    const long double third = ReadNumber("0.333333333333333333333333").value;
    const long double tenth = ReadNumber("0.1").value;  // short texts take the exact x87 path
    const long double large = ReadNumber("18446744073709551615e-5").value;
    const std::string text = CoordinateText(Read("2.00000000000000000005"));
    const std::string big = CoordinateText(Read("-6.02214076e1023"));
    WriteFpControlWords(saved);
    EXPECT_EQ(ReadFpControlWords().x87, saved.x87);
    FpEnvironmentGuard exact;
    EXPECT_TRUE(SameBits(third, 1.0L / 3.0L));
    EXPECT_TRUE(SameBits(tenth, 1.0L / 10.0L));
    EXPECT_TRUE(SameBits(large, 18446744073709551615.0L / 100000.0L));
    EXPECT_EQ(text, "2");
    EXPECT_EQ(big, "-6.02214076E+1023");
}

// ---------------------------------------------------------------------------
// Round trips

// Every text of at most 17 places below 10 reads back to a value that writes
// it again, and so does every 18-digit text above.
TEST(NumberText, EveryTextWrittenReadsBackToItself) {
    std::mt19937_64 random(20240917);
    const auto trimmed = [](std::string t) {
        if (t.find('.') != std::string::npos) {
            t.erase(t.find_last_not_of('0') + 1);
            if (t.back() == '.') t.pop_back();
        }
        return t;
    };
    const auto places17 = [&](uint64_t q, bool negative) {
        const std::string frac = std::to_string(q % 100000000000000000ull);
        return trimmed((negative ? "-" : "") + std::to_string(q / 100000000000000000ull) + "." +
                       std::string(17 - frac.size(), '0') + frac);
    };
    std::vector<std::string> texts;
    for (uint64_t q = 0; q < 3000; ++q) texts.push_back(places17(q, q % 2 == 1));
    constexpr uint64_t kLargest = 999999999999999999ull;  // 9.99999999999999999
    for (uint64_t q = kLargest - 3000; q <= kLargest; ++q) texts.push_back(places17(q, false));
    for (uint64_t p = 1; p <= kLargest; p *= 10) {
        for (uint64_t d : {p - 1, p, p + 1, 5 * p, 5 * p - 1, 5 * p + 1}) {
            if (d > 0 && d <= kLargest) texts.push_back(places17(d, false));
        }
    }
    for (int i = 0; i < 100000; ++i) texts.push_back(places17(random() % 1000000000000000000ull, random() % 2 != 0));
    // 18 significant digits at every decimal exponent from 1 up, fixed and with exponent.
    for (int exponent = 1; exponent <= 4932; ++exponent) {
        for (int k = 0; k < 12; ++k) {
            std::string digits = std::to_string(100000000000000000ull + random() % 900000000000000000ull);
            if (k == 0) digits = "100000000000000000";
            if (k == 1) digits = "999999999999999999";
            if (exponent == 4932 && digits > "118973149535723176") continue;
            const bool negative = k % 2 != 0;
            std::string text;
            if (exponent < 36) {
                text = exponent >= 17 ? digits + std::string(exponent - 17, '0')
                                      : trimmed(digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1));
            } else {
                const std::string rest = trimmed("0." + digits.substr(1)).substr(1);
                text = digits.substr(0, 1) + rest + "E+" + std::to_string(exponent);
            }
            texts.push_back((negative ? "-" : "") + text);
        }
    }
    for (const std::string& text : texts) {
        const NumberReading r = ReadNumber(text);
        ASSERT_EQ(r.syntax, NumberSyntax::Valid) << text;
        ASSERT_EQ(CoordinateText(r.value), text);
    }
}

#ifndef _WIN32
// glibc prints exact digits; rounded here half away from zero at the place
// the stored form keeps, it is the reference natively. Ties are frequent:
// values between 10^17 and 10^18 are often odd multiples of a half.
std::string RoundedHalfAway(std::string digits, size_t keep, bool& carried) {
    const bool up = digits[keep] >= '5';
    digits.resize(keep);
    carried = false;
    for (size_t i = keep; up && i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
        if (i == 0) {
            carried = true;
            digits.insert(digits.begin(), '1');
        }
    }
    return digits;
}

std::string WithoutTrailingZeros(std::string fraction) {
    fraction.erase(fraction.find_last_not_of('0') + 1);
    return fraction;
}

std::string GlibcCoordinateText(long double v) {
    char buffer[128];
    const long double magnitude = std::fabs(v);
    const std::string sign = std::signbit(v) ? "-" : "";
    bool carried = false;
    if (magnitude < 10.0L) {
        std::snprintf(buffer, sizeof buffer, "%.50Lf", magnitude);
        const std::string t = buffer;  // "d." and 50 places
        const std::string places17 = RoundedHalfAway(t.substr(0, 1) + t.substr(2, 18), 18, carried);
        const std::string fraction = WithoutTrailingZeros(places17.substr(places17.size() - 17));
        return sign + places17.substr(0, places17.size() - 17) + (fraction.empty() ? "" : "." + fraction);
    }
    std::snprintf(buffer, sizeof buffer, "%.50Le", magnitude);
    const std::string t = buffer;  // "d." 50 digits "e+x"
    int exponent = std::atoi(t.c_str() + t.find('e') + 1);
    std::string digits = RoundedHalfAway(t.substr(0, 1) + t.substr(2, 18), 18, carried);
    if (carried) {
        digits.pop_back();
        ++exponent;
    }
    if (exponent >= 36) {
        const std::string rest = WithoutTrailingZeros(digits.substr(1));
        return sign + digits.substr(0, 1) + (rest.empty() ? "" : "." + rest) + "E+" + std::to_string(exponent);
    }
    if (exponent >= 17) return sign + digits + std::string(exponent - 17, '0');
    const std::string fraction = WithoutTrailingZeros(digits.substr(exponent + 1));
    return sign + digits.substr(0, exponent + 1) + (fraction.empty() ? "" : "." + fraction);
}

TEST(NumberText, WritingAgreesWithGlibcForRandomValues) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        // Exponents all over the range, and many near the 10 and 10^36 switches.
        int biased = 1 + static_cast<int>(random() % 0x7FFE);
        if (i % 3 == 0) biased = 16383 - 70 + static_cast<int>(random() % 200);
        const long double v = PackExtended(random() % 2 != 0, biased, random() | (uint64_t{1} << 63));
        ASSERT_EQ(CoordinateText(v), GlibcCoordinateText(v)) << std::hex << biased;
    }
}
#endif

// ---------------------------------------------------------------------------
// Random texts

// A small, fast generator (xorshift64*): the texts need variety, not quality.
class QuickRandom {
public:
    explicit QuickRandom(uint64_t seed) : state_(seed | 1) {}
    uint64_t operator()() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 2685821657736338717ull;
    }

private:
    uint64_t state_;
};

std::string RandomText(QuickRandom& random) {
    const auto pick = [&random](uint64_t n) { return static_cast<size_t>(random() % n); };
    const auto digitRun = [&](size_t length) {
        std::string run;
        for (size_t i = 0; i < length; ++i) run += static_cast<char>('0' + pick(10));
        if (pick(4) == 0 && !run.empty()) run[0] = '0';
        return run;
    };
    const auto runLength = [&]() -> size_t {
        switch (pick(10)) {
        case 0: return 0;
        case 1: return 30 + pick(220);
        default: return pick(22);
        }
    };
    std::string text(pick(8) == 0 ? pick(4) : 0, ' ');
    if (pick(3) == 0) text += pick(2) ? '-' : '+';
    text += digitRun(runLength());
    if (pick(2) == 0) text += '.';
    text += digitRun(runLength());
    if (pick(2) == 0) {
        text += pick(2) ? 'e' : 'E';
        if (pick(2) == 0) text += pick(2) ? '-' : '+';
        switch (pick(6)) {
        case 0: text += digitRun(pick(30)); break;                               // huge or none
        case 1: text += std::to_string(4890 + pick(70)); break;                  // near the ends of the range
        case 2: text += std::string(pick(20), '0') + std::to_string(pick(40)); break;
        default: text += std::to_string(pick(400)); break;
        }
    }
    // Damage: signs, points, blanks, commas and bytes of any value in odd places.
    static const char kNoise[] = {'+', '-', '.', 'e', 'E', ' ', ',', '\t', '\0', 'x', '9', '\xff'};
    for (size_t n = pick(3) == 0 ? 1 + pick(3) : 0; n > 0; --n) {
        const char c = kNoise[pick(sizeof kNoise)];
        const size_t at = pick(text.size() + 1);
        switch (pick(3)) {
        case 0: text.insert(at, 1, c); break;
        case 1:
            if (at < text.size()) text[at] = c;
            break;
        default:
            if (at < text.size()) text.erase(at, 1);
            break;
        }
    }
    if (pick(20) == 0) {  // exactly a full field
        text.resize(kMaxNumberTextLength, static_cast<char>('0' + pick(10)));
    }
    return text;
}

TEST(NumberText, RandomTextsAreReadWithinTheirBoundsAndWrittenTextsReadBack) {
    constexpr int kCases = 1000000;
    QuickRandom random(1234567);
    int valid = 0;
    for (int i = 0; i < kCases; ++i) {
        const std::string text = RandomText(random);
        // A buffer of exactly the text's length: a read past it is a fault.
        const std::unique_ptr<char[]> exact(new char[text.size()]);
        std::memcpy(exact.get(), text.data(), text.size());
        const NumberReading r = ReadNumber(std::string_view(exact.get(), text.size()));
        switch (r.syntax) {
        case NumberSyntax::BadCharacter: ASSERT_LT(r.position, text.size()) << text; break;
        case NumberSyntax::EndsEarly: ASSERT_EQ(r.position, text.size()) << text; break;
        case NumberSyntax::OutOfRange: break;
        case NumberSyntax::Valid: {
            ++valid;
            const std::string written = CoordinateText(r.value);
            ASSERT_LE(written.size(), kMaxNumberTextLength);
            const NumberReading again = ReadNumber(written);
            ASSERT_EQ(again.syntax, NumberSyntax::Valid) << written;
            ASSERT_EQ(CoordinateText(again.value), written) << text;
            const std::string field = RangeFieldText(r.value);
            ASSERT_EQ(RangeFieldText(ReadNumber(field).value), field) << text;
            break;
        }
        }
#ifndef _WIN32
        if (r.syntax == NumberSyntax::Valid || r.syntax == NumberSyntax::OutOfRange) {
            char* end = nullptr;
            errno = 0;
            const long double reference = std::strtold(text.c_str(), &end);
            ASSERT_EQ(static_cast<size_t>(end - text.c_str()), text.size()) << text;
            if (r.syntax == NumberSyntax::Valid) {
                ASSERT_TRUE(SameBits(r.value, reference)) << text;
            } else {
                ASSERT_TRUE(std::isinf(reference)) << text;
            }
        }
#endif
    }
    // The generator must keep producing both kinds.
    EXPECT_GT(valid, kCases / 5);
    EXPECT_LT(valid, kCases * 4 / 5);
}

}  // namespace
