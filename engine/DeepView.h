// Views past the hardware types: a centre of any precision and, per column
// and per row, the pixel's offset from it as a double. The pixel's point is
// the exact sum centre + offset; that sum is the truth every deep result is
// held to (the reference orbit starts at the centre, each pixel's difference
// orbit at its offset, and the oracle iterates the sum directly).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/BigFloat.h"

// Pixel spacings the deep type takes: above the largest FPU Extended is the
// right type anyway. Down to kDeepSmallestDoubleSpacing the differences are
// doubles; below it they would leave double's range, and the calculation
// takes a number with an exponent of its own (DeepDifference). Views end
// where MPFR's exponents do.
inline constexpr double kDeepLargestSpacing = 1e-12;
inline constexpr double kDeepSmallestDoubleSpacing = 1e-290;
// Below double's range, spacings of 2^e take the rescaled double down to
// e = kDeepScaledLowestExponent, 80-bit numbers down to
// kDeepExtendedLowestExponent, and the wide exponent below that.
inline constexpr long kDeepScaledLowestExponent = -2000;
inline constexpr long kDeepExtendedLowestExponent = -8000;

// The number the pixels' differences are kept in.
enum class DeepDifference {
    Double,    // hardware double, vectors of eight lanes
    Scaled,    // double times a power of two of each pixel's own, vectors of eight lanes
    Extended,  // x87 80-bit: 64 significant bits, exponents to 2^-16382
    Wide,      // double significand with an exponent of its own (WideDouble)
};

struct DeepView {
    BigFloat centreRe;
    BigFloat centreIm;
    // The offsets are scaled by 2^offsetExponent: the pixel's point is
    // centre + columnOffset[x] * 2^offsetExponent (likewise rows). The
    // exponent is 0 down to kDeepSmallestDoubleSpacing, and below it the
    // spacing's own binary exponent, so the scaled offsets stay normal
    // doubles at any depth.
    std::vector<double> columnOffset;  // per column x: real part of the pixel's point minus centreRe
    std::vector<double> rowOffset;     // per row y (0 = top): imaginary part minus centreIm
    int64_t offsetExponent = 0;
    double spacing = 0.0;              // the pixel spacing the offsets were made from, scaled as they are
    mpfr_prec_t precision = 0;         // of the centre and the reference orbit
    DeepDifference difference = DeepDifference::Double;

    int32_t Width() const { return static_cast<int32_t>(columnOffset.size()); }
    int32_t Height() const { return static_cast<int32_t>(rowOffset.size()); }
};

// The pixel spacing for people, e.g. "3.125e-1002".
std::string DeepSpacingText(const DeepView& view);

// The difference type for a spacing of m * 2^e (0.5 <= m < 1), chosen by
// the step rates measured in the deep benchmark.
DeepDifference DeepDifferenceFor(mpfr_exp_t spacingExponent);
const char* DeepDifferenceName(DeepDifference difference);

// The reference's precision for a pixel spacing whose binary exponent is
// `spacingExponent` (spacing = m * 2^e, 0.5 <= m < 1): enough bits for the
// centre's integer part, every bit down to the spacing, and a margin that
// keeps the rounding of a long orbit far below it.
mpfr_prec_t DeepPrecision(mpfr_exp_t spacingExponent);

// Reads a decimal number in the Range dialog's syntax (optional leading
// blanks, optional sign, digits with an optional ".", at least one digit,
// an optional exponent "E"/"e" with optional sign and at least one digit;
// nothing after it) of any length, rounded to nearest at `value`'s precision.
// False with a one-line reason (naming `what` and the offending position)
// when the text is not such a number or its exponent is beyond MPFR's range.
bool ReadLongNumber(const std::string& text, const char* what, BigFloat& value, std::string& error);

// The view of `width` x `height` pixels (each at least 2) around the centre
// given as decimal texts at zoom `zoom` (decimal text, > 0 and finite): the
// shorter side spans 4 / zoom, so the spacing is
//   s = RN(4 / (zoom * (min(width, height) - 1))),
// computed in MPFR and rounded once to double, and the offsets are
//   columnOffset[x] = RN((2x - (width - 1)) * (s / 2)),
//   rowOffset[y]    = RN(-(2y - (height - 1)) * (s / 2)),
// one rounding each (s / 2 is exact). The centre is read at
// DeepPrecision(exponent of s). False with a one-line reason for bad texts,
// a zoom <= 0 or not finite, and for a spacing above kDeepLargestSpacing.
bool DeepViewFromCentre(const std::string& re, const std::string& im, const std::string& zoom, int32_t width,
                        int32_t height, DeepView& view, std::string& error);

// The view of the plane ranges (the other types' mapping, evaluated in
// MPFR instead of extended): the centre is the middle of the ranges, and
// each offset the pixel's point (ColumnReal / RowImag in exact arithmetic)
// minus the centre, rounded once to double. The spacing is the larger of
// the two ranges' per-pixel steps. Same refusals as above.
bool DeepViewFromRanges(long double realMin, long double realMax, long double imagMin, long double imagMax,
                        int32_t width, int32_t height, DeepView& view, std::string& error);

// Takes the point (re, im) (decimal texts, read at `precision` bits or the
// view's own precision if that is more) as the view's centre, so that the
// reference orbit is iterated there: each offset is made anew as the
// pixel's point (the old centre plus its old offset, exactly) minus that
// point, rounded once. Only when the point lies within the view (between its
// outermost pixels' points, both ways): `moved` is false otherwise and the
// view is left as it was, since offsets far larger than the view would lose
// the bits that tell its pixels apart. False with a one-line reason for a
// bad text.
bool MoveReference(DeepView& view, const std::string& re, const std::string& im, mpfr_prec_t precision, bool& moved,
                   std::string& error);
