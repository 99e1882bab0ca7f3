// Locations published by other deep-zoom programs (tests/data/locations),
// every refusal of the location reader, and long decimal numbers: their
// rounding against an exact rational oracle, their syntax errors by position
// and their exponents at the edge of MPFR's range.
#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/BigFloat.h"
#include "engine/DeepView.h"
#include "engine/Location.h"

namespace {

const std::string kDir = QUAXEL_LOCATIONS_DIR;

Location ReadFile(const std::string& relative) {
    Location location;
    std::string error;
    EXPECT_TRUE(ReadLocationFile(kDir + "/" + relative, location, error)) << error;
    return location;
}

std::string ErrorOf(const std::string& text) {
    Location location;
    std::string error;
    EXPECT_FALSE(ReadLocation(text, location, error)) << text;
    return error;
}

BigFloat Number(const std::string& text, mpfr_prec_t precision) {
    BigFloat value(precision);
    std::string error;
    EXPECT_TRUE(ReadLongNumber(text, "test", value, error)) << error;
    return value;
}

std::string NumberError(const std::string& text) {
    BigFloat value(64);
    std::string error;
    EXPECT_FALSE(ReadLongNumber(text, "Re", value, error)) << text;
    return error;
}

// The exact value of a decimal text in the number syntax, as a rational
// (GMP integers only), rounded once by mpfr_set_q: the oracle shares no code
// with the reader.
BigFloat Oracle(const std::string& text, mpfr_prec_t precision) {
    std::string digits;
    long exponent = 0;
    bool negative = false;
    bool fraction = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-') negative = true;
        if (c == '.') fraction = true;
        if (c >= '0' && c <= '9') {
            digits += c;
            if (fraction) --exponent;
        }
        if (c == 'e' || c == 'E') {
            exponent += std::stol(text.substr(i + 1));
            break;
        }
    }
    mpq_t q;
    mpz_t power;
    mpq_init(q);
    mpz_init(power);
    mpz_set_str(mpq_numref(q), digits.c_str(), 10);
    mpz_ui_pow_ui(power, 10, static_cast<unsigned long>(exponent < 0 ? -exponent : exponent));
    if (exponent < 0)
        mpz_set(mpq_denref(q), power);
    else
        mpz_mul(mpq_numref(q), mpq_numref(q), power);
    mpq_canonicalize(q);
    if (negative) mpq_neg(q, q);
    BigFloat value(precision);
    mpfr_set_q(value.get(), q, MPFR_RNDN);
    if (negative && mpfr_zero_p(value.get())) mpfr_neg(value.get(), value.get(), MPFR_RNDN);
    mpq_clear(q);
    mpz_clear(power);
    return value;
}

::testing::AssertionResult Same(const BigFloat& a, const BigFloat& b) {
    if (mpfr_equal_p(a.get(), b.get()) && mpfr_signbit(a.get()) == mpfr_signbit(b.get()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a.Text() << " vs " << b.Text();
}

}  // namespace

// The same published location in the three formats reads to the same
// centre texts, the same zoom and the same iteration count.
TEST(Location, OneLocationInThreeFormats) {
    const Location toml = ReadFile("rust-fractal/e50.toml");
    const Location kfr = ReadFile("kf2/1e50.kfr");  // CRLF line ends
    const Location nested = ReadFile("deepdrill/e50.loc");
    for (const Location* other : {&kfr, &nested}) {
        EXPECT_EQ(other->re, toml.re);
        EXPECT_EQ(other->im, toml.im);
        EXPECT_EQ(other->iterations, 263010);
        EXPECT_TRUE(Same(Number(other->zoom, 64), Number("1e50", 64))) << other->zoom;
    }
    EXPECT_EQ(toml.re.substr(0, 12), "-0.049470029");
    EXPECT_EQ(toml.re.size(), 121u);
    EXPECT_EQ(toml.iterations, 263010);
    EXPECT_EQ(toml.ignoredKeys, std::vector<std::string>{"rotate"});
    EXPECT_TRUE(nested.ignoredKeys.empty());
    // Keys are case-sensitive: this format's "real: 1" is no centre.
    ASSERT_GE(kfr.ignoredKeys.size(), 3u);
    EXPECT_EQ(kfr.ignoredKeys[0], "IterDiv");
    EXPECT_NE(std::find(kfr.ignoredKeys.begin(), kfr.ignoredKeys.end(), "real"), kfr.ignoredKeys.end());
    EXPECT_NE(std::find(kfr.ignoredKeys.begin(), kfr.ignoredKeys.end(), "MultiColors"), kfr.ignoredKeys.end());

    const Location flake = ReadFile("rust-fractal/flake.toml");
    const Location flakeNested = ReadFile("deepdrill/flake.loc");
    EXPECT_EQ(flake.zoom, "2.56203307883E157");
    EXPECT_EQ(flake.iterations, 60000);
    EXPECT_EQ(flakeNested.re, flake.re);
    EXPECT_EQ(flakeNested.im, flake.im);
    EXPECT_EQ(flakeNested.zoom, flake.zoom);
    EXPECT_EQ(flakeNested.iterations, 60000);

    const Location glitch = ReadFile("rust-fractal/glitch_test.toml");
    const Location glitchNested = ReadFile("deepdrill/glitch_test_1.loc");
    EXPECT_EQ(glitchNested.re, glitch.re);
    EXPECT_EQ(glitchNested.im, glitch.im);

    const Location base = ReadFile("deepdrill/base.loc");
    EXPECT_EQ(base.zoom, "4096");
    EXPECT_EQ(base.iterations, 300);
    EXPECT_EQ(base.ignoredKeys, std::vector<std::string>{"approximation.coefficients"});
}

// Every checked-in location reads, and its numbers read as long numbers
// (one file has a blank inside the quotes after its digits).
TEST(Location, EveryPublishedFileReads) {
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kDir)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name == "README.md" || name[0] == '.') continue;
        ++files;
        const Location location = ReadFile(std::filesystem::relative(entry.path(), kDir).string());
        EXPECT_GT(location.iterations, 0) << name;
        const BigFloat zoom = Number(location.zoom, 64);
        EXPECT_GE(mpfr_get_d(zoom.get(), MPFR_RNDN), 1.0) << name;
        Number(location.re, 2000);
        Number(location.im, 2000);
    }
    EXPECT_GE(files, 12);
}

TEST(Location, LinesThatAreNoLocation) {
    EXPECT_EQ(ErrorOf(""), "the text holds no location");
    EXPECT_EQ(ErrorOf("\n# only a comment\n\n"), "the text holds no location");
    EXPECT_EQ(ErrorOf("Re: 1\nIm 2\n"), "line 2: not a \"Key: value\" line: \"Im 2\"");
    EXPECT_EQ(ErrorOf("Re: 1\n\x01\x02: 2\n"), "line 2: not a \"Key: value\" line: \"??: 2\"");
    EXPECT_EQ(ErrorOf("real = 1\nimag 2\n"), "line 2: not a \"key = value\" line: \"imag 2\"");
    EXPECT_EQ(ErrorOf("real = \"1\nimag = 2\n"), "line 1: the quoted value does not end: \"\"1\"");
    EXPECT_EQ(ErrorOf("real = \"1\" 2\n"), "line 1: text after the quoted value: \"2\"");
    EXPECT_EQ(ErrorOf("real =\n"), "line 1: the value is missing");
    EXPECT_EQ(ErrorOf("[location\nreal = 1\n"), "line 1: not a table name: \"[location\"");
    EXPECT_EQ(ErrorOf("[a]]\n"), "line 1: not a table name: \"[a]]\"");
    EXPECT_EQ(ErrorOf("[a..b]\n"), "line 1: not a table name: \"[a..b]\"");
    EXPECT_EQ(ErrorOf("location. = 1\n"), "line 1: not a \"key = value\" line: \"location. = 1\"");
    EXPECT_EQ(ErrorOf("colors = [1,\n2,\n"), "the value begun on line 1 never ends");
    EXPECT_EQ(ErrorOf(std::string("\xff\xfer\0e\0", 6)), "the text is UTF-16; locations are read as UTF-8 or ASCII");
    const std::string longLine = "Re: 1\n" + std::string(5000, 'x') + "\n";
    EXPECT_LT(ErrorOf(longLine).size(), 100u);
}

TEST(Location, KeysMissingOrTwice) {
    EXPECT_EQ(ErrorOf("Im: 1\nZoom: 1\n"), "missing \"Re\" (the centre's real part)");
    EXPECT_EQ(ErrorOf("Re: 1\nZoom: 1\n"), "missing \"Im\" (the centre's imaginary part)");
    EXPECT_EQ(ErrorOf("Re: 1\nIm: 1\nIterations: 5\n"), "missing \"Zoom\" (the zoom)");
    EXPECT_EQ(ErrorOf("real = 1\nzoom = 1\n"), "missing \"imag\" (the centre's imaginary part)");
    EXPECT_EQ(ErrorOf("[location]\nimag = 1\nzoom = 1\n[other]\nreal = 1\n"),
              "missing \"real\" (the centre's real part)");
    EXPECT_EQ(ErrorOf("Re: 1\nIm: 2\nRe: 3\n"), "line 3: Re given twice (first on line 1)");
    EXPECT_EQ(ErrorOf("real = 1\n[location]\nreal = 1\n"), "line 3: location.real given twice (first on line 1)");
    EXPECT_EQ(ErrorOf("[location]\ndepth = 5\n[bailout]\niterations = 5\n"),
              "line 4: bailout.iterations given twice (first on line 2)");
    EXPECT_EQ(ErrorOf("real = \"  \"\n"), "line 1: real has an empty value");
    EXPECT_EQ(ErrorOf("Re:\n"), "line 1: Re has an empty value");
    EXPECT_EQ(ErrorOf("real = [1, 2]\n"), "line 1: real is not a single number");
    EXPECT_EQ(ErrorOf("[location]\nzoom = '''1\n2'''\n"), "line 2: location.zoom is not a single number");
}

TEST(Location, IterationCounts) {
    for (const char* bad : {"0", "-5", "2147483647", "99999999999999999999999", "1e6", "6.0", "abc", "_5", "5_",
                            "5__0", "0x10", "+"}) {
        const std::string error = ErrorOf(std::string("Re: 1\nIm: 1\nZoom: 1\nIterations: ") + bad + "\n");
        EXPECT_EQ(error.rfind("line 4: Iterations must be a whole number from 1 to 2147483646, not \"", 0), 0u)
            << bad << ": " << error;
    }
    Location location;
    std::string error;
    ASSERT_TRUE(ReadLocation("real = 1\nimag = 1\nzoom = 1\niterations = \"2147483646\"\n", location, error)) << error;
    EXPECT_EQ(location.iterations, 2147483646);
    ASSERT_TRUE(ReadLocation("real = 1\nimag = 1\nzoom = 1\niterations = +60_000 # comment\n", location, error));
    EXPECT_EQ(location.iterations, 60000);
    ASSERT_TRUE(ReadLocation("Re: 1\nIm: 1\nZoom: 1\n", location, error));
    EXPECT_EQ(location.iterations, -1);
}

// What other programs' files carry besides a location is passed over.
TEST(Location, ToleratedText) {
    Location location;
    std::string error;
    const std::string text =
        "\xef\xbb\xbf# saved\r\n"
        "title = \"x = 1: y\" # = and : inside\r\n"
        "bailout . iterations = 500\r\n"
        "\r\n"
        "[location]\r\n"
        "real = ' -0.75 '\r\n"
        "imag = 0.1 # centre\r\n"
        "zoom = \"1E3\"\r\n"
        "palette = [\r\n"
        "  [1, 2, \"]\"], # ]\r\n"
        "  [3, 4],\r\n"
        "]\r\n"
        "notes = \"\"\"\r\n"
        "real = 5\r\n"
        "\"\"\"\r\n"
        "[[layers]]\r\n"
        "depth = 2\r\n"
        "[ other.table ]\r\n"
        "iterations = 7\r\n";
    ASSERT_TRUE(ReadLocation(text, location, error)) << error;
    EXPECT_EQ(location.re, "-0.75");
    EXPECT_EQ(location.im, "0.1");
    EXPECT_EQ(location.zoom, "1E3");
    EXPECT_EQ(location.iterations, 500);
    EXPECT_EQ(location.ignoredKeys,
              (std::vector<std::string>{"title", "location.palette", "location.notes", "layers.depth",
                                        "other.table.iterations"}));
}

TEST(Location, Files) {
    Location location;
    std::string error;
    const std::string missing = ::testing::TempDir() + "/no-such-location.toml";
    EXPECT_FALSE(ReadLocationFile(missing, location, error));
    EXPECT_EQ(error, missing + ": cannot open: No such file or directory");
    EXPECT_FALSE(ReadLocationFile(kDir, location, error));
    EXPECT_EQ(error, kDir + ": cannot read: Is a directory");

    // A location padded with a comment to exactly the limit reads; one byte
    // more is refused.
    const std::string path = ::testing::TempDir() + "/padded-location.toml";
    std::string text = "real = 1\nimag = 2\nzoom = 3\n#";
    text.append(kMaxLocationFileBytes - text.size(), 'x');
    std::ofstream(path, std::ios::binary) << text;
    EXPECT_TRUE(ReadLocationFile(path, location, error)) << error;
    EXPECT_EQ(location.zoom, "3");
    std::ofstream(path, std::ios::binary) << text << 'x';
    EXPECT_FALSE(ReadLocationFile(path, location, error));
    EXPECT_EQ(error, path + ": larger than 1024 KB, which no location file is");
    EXPECT_FALSE(ReadLocationFile(kDir + "/README.md", location, error));
    EXPECT_EQ(error.rfind(kDir + "/README.md: line ", 0), 0u) << error;
    std::remove(path.c_str());
}

// Correct rounding at several precisions against the rational oracle: hand
// picked texts (a tie at 53 bits that is exact at 64, digits beyond the
// precision, leading zeros and blanks) and random ones.
TEST(LongNumber, RoundsLikeTheExactValue) {
    const std::vector<std::string> texts = {
        "9007199254740993", "9007199254740993.0000000000000000000000000000001", "-0.1", "+.5e-3", "  1.",
        "0.0000000000000000000000000000000030013824367909383240724973039775924987346831190773335270174257280e+0",
        "-1.99996619445037030418434688506350579675531241540724851511761922944801584242342684381376129778868913812",
        "000123456789012345678901234567890E-0040", "1" + std::string(3000, '0') + "1e-3000",
        "2.56203307883E157", "-0", "-0.000e5"};
    for (const mpfr_prec_t precision : {24, 53, 64, 200, 1000})
        for (const std::string& text : texts)
            EXPECT_TRUE(Same(Number(text, precision), Oracle(text, precision))) << text << " at " << precision;
    EXPECT_FALSE(Same(Number("9007199254740993", 53), Number("9007199254740993", 64)));

    std::mt19937_64 random(20261209);
    for (int k = 0; k < 2000; ++k) {
        std::string text = random() % 2 ? "-" : "";
        const int whole = static_cast<int>(random() % 40);
        const int fraction = static_cast<int>(random() % 60);
        for (int d = 0; d < whole; ++d) text += static_cast<char>('0' + random() % 10);
        text += '.';
        for (int d = 0; d < fraction; ++d) text += static_cast<char>('0' + random() % 10);
        if (whole + fraction == 0) text += '7';
        if (random() % 2) text += "e" + std::to_string(static_cast<int>(random() % 700) - 350);
        const mpfr_prec_t precision = static_cast<mpfr_prec_t>(2 + random() % 300);
        ASSERT_TRUE(Same(Number(text, precision), Oracle(text, precision))) << text << " at " << precision;
    }
}

TEST(LongNumber, SyntaxErrorsNameTheirPosition) {
    EXPECT_EQ(NumberError("0x1p3"), "Re: unexpected 'x' at position 2");
    EXPECT_EQ(NumberError("inf"), "Re: unexpected 'i' at position 1");
    EXPECT_EQ(NumberError("-nan"), "Re: unexpected 'n' at position 2");
    EXPECT_EQ(NumberError(" 1 "), "Re: unexpected ' ' at position 3");
    EXPECT_EQ(NumberError("1.2.3"), "Re: unexpected '.' at position 4");
    EXPECT_EQ(NumberError("1,5"), "Re: unexpected ',' at position 2");
    EXPECT_EQ(NumberError("--1"), "Re: unexpected '-' at position 2");
    EXPECT_EQ(NumberError("1@5"), "Re: unexpected '@' at position 2");
    EXPECT_EQ(NumberError("\t1"), "Re: unexpected byte 0x09 at position 1");
    EXPECT_EQ(NumberError("1e"), "Re: the number ends early: an exponent digit expected at position 3");
    EXPECT_EQ(NumberError("1e+"), "Re: the number ends early: an exponent digit expected at position 4");
    EXPECT_EQ(NumberError("."), "Re: the number ends early: a digit expected at position 2");
    EXPECT_EQ(NumberError(""), "Re: the number ends early: a digit expected at position 1");
    EXPECT_EQ(NumberError("  -"), "Re: the number ends early: a digit expected at position 4");
    EXPECT_EQ(NumberError("e5"), "Re: unexpected 'e' at position 1");
}

TEST(LongNumber, ExponentsAtTheEdgeOfTheRange) {
    const std::string beyond = "Re: the exponent is beyond the range of long numbers";
    EXPECT_EQ(NumberError("1e99999999999999999999"), beyond);
    EXPECT_EQ(NumberError("-1e-99999999999999999999"), beyond);
    EXPECT_EQ(NumberError("1e" + std::string(100000, '9')), beyond);
    EXPECT_EQ(NumberError("1e400000000"), beyond);
    EXPECT_EQ(NumberError("1e-400000000"), beyond);
    // Near MPFR's own limit (2^(2^30 - 1) is about 10^323228496) MPFR decides.
    EXPECT_EQ(NumberError("9e323228496"), beyond);
    EXPECT_EQ(NumberError("0.00001e-323228495"), beyond);
    BigFloat big = Number("1e323228000", 64);
    EXPECT_TRUE(mpfr_number_p(big.get()));
    EXPECT_GT(mpfr_get_exp(big.get()), 1073739000);
    // Leading zeros count for nothing, and zero takes any exponent.
    EXPECT_TRUE(Same(Number("1e0000000000000000000000000000005", 64), Number("100000", 64)));
    EXPECT_TRUE(Same(Number("0.1e1", 64), Number("1", 64)));
    EXPECT_TRUE(mpfr_zero_p(Number("0e99999999999999999999999", 64).get()));
    EXPECT_TRUE(mpfr_zero_p(Number("-0.0e-99999999999999999999999", 64).get()));
}
