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

// Pixel spacings the deep type takes: below this FPU Extended is the right
// type anyway, and the double offsets of the difference orbits (and their
// squares) stay normal doubles down to the smallest.
inline constexpr double kDeepLargestSpacing = 1e-12;
inline constexpr double kDeepSmallestSpacing = 1e-290;

struct DeepView {
    BigFloat centreRe;
    BigFloat centreIm;
    std::vector<double> columnOffset;  // per column x: real part of the pixel's point minus centreRe
    std::vector<double> rowOffset;     // per row y (0 = top): imaginary part minus centreIm
    double spacing = 0.0;              // the pixel spacing the offsets were made from
    mpfr_prec_t precision = 0;         // of the centre and the reference orbit

    int32_t Width() const { return static_cast<int32_t>(columnOffset.size()); }
    int32_t Height() const { return static_cast<int32_t>(rowOffset.size()); }
};

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
// a zoom <= 0 or not finite, and for a spacing outside
// [kDeepSmallestSpacing, kDeepLargestSpacing].
bool DeepViewFromCentre(const std::string& re, const std::string& im, const std::string& zoom, int32_t width,
                        int32_t height, DeepView& view, std::string& error);

// The view of the plane ranges (the other types' mapping, evaluated in
// MPFR instead of extended): the centre is the middle of the ranges, and
// each offset the pixel's point (ColumnReal / RowImag in exact arithmetic)
// minus the centre, rounded once to double. The spacing is the larger of
// the two ranges' per-pixel steps. Same refusals as above.
bool DeepViewFromRanges(long double realMin, long double realMax, long double imagMin, long double imagMax,
                        int32_t width, int32_t height, DeepView& view, std::string& error);
