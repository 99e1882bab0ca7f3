#include "engine/DeepView.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Bits above the binary point the centre keeps: every point worth a deep
// view lies within |c| < 16, and a larger centre only loses bits far above
// the spacing's.
constexpr mpfr_prec_t kIntegerBits = 4;
constexpr mpfr_prec_t kMarginBits = 64;
// The spacing is a quotient of a decimal zoom; this many bits make its one
// rounding to double the correct one for every zoom text but ties far
// beyond any that a person types.
constexpr mpfr_prec_t kSpacingBits = 256;

std::string SpacingText(mpfr_srcptr spacing) {
    char text[64];
    mpfr_snprintf(text, sizeof text, "%.2Rg", spacing);
    return text;
}

// Checks the spacing against the deep type's range and takes it into the
// view: rounded once to 53 bits, its scale, its difference type and the
// reference's precision.
bool TakeSpacing(mpfr_srcptr exact, DeepView& view, std::string& error) {
    BigFloat rounded(53);
    mpfr_set(rounded.get(), exact, MPFR_RNDN);
    if (!(mpfr_cmp_d(rounded.get(), kDeepLargestSpacing) <= 0)) {
        error = "the pixel spacing " + SpacingText(exact) +
                " is too coarse for the deep type (it starts at 1e-12): use a hardware type";
        return false;
    }
    if (!mpfr_regular_p(rounded.get())) {
        error = "the pixel spacing " + SpacingText(exact) + " is beyond the deep type's reach";
        return false;
    }
    const mpfr_exp_t exponent = mpfr_get_exp(rounded.get());
    const bool doubles = mpfr_cmp_d(rounded.get(), kDeepSmallestDoubleSpacing) >= 0;
    view.offsetExponent = doubles ? 0 : exponent;
    view.difference = doubles ? DeepDifference::Double : DeepDifferenceFor(exponent);
    view.precision = DeepPrecision(exponent);
    mpfr_mul_2si(rounded.get(), rounded.get(), -static_cast<long>(view.offsetExponent), MPFR_RNDN);  // exact
    view.spacing = mpfr_get_d(rounded.get(), MPFR_RNDN);
    return true;
}

bool SizeOffsets(DeepView& view, int32_t width, int32_t height, std::string& error) {
    if (width < 2 || height < 2) {
        error = "the image must be at least 2 x 2 pixels for a deep view";
        return false;
    }
    try {
        view.columnOffset.assign(static_cast<size_t>(width), 0.0);
        view.rowOffset.assign(static_cast<size_t>(height), 0.0);
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the offsets of a " + std::to_string(width) + " x " + std::to_string(height) +
                " deep view";
        return false;
    }
    return true;
}

// Lowest set-bit position a value of `precision` bits can have (its ulp's
// exponent), or `fallback` for zero.
mpfr_exp_t LowestBit(mpfr_srcptr value, mpfr_exp_t fallback) {
    return mpfr_zero_p(value) ? fallback : mpfr_get_exp(value) - mpfr_get_prec(value);
}
mpfr_exp_t HighestBit(mpfr_srcptr value, mpfr_exp_t fallback) {
    return mpfr_zero_p(value) ? fallback : mpfr_get_exp(value);
}

}  // namespace

std::string DeepSpacingText(const DeepView& view) {
    BigFloat spacing(53);
    mpfr_set_d(spacing.get(), view.spacing, MPFR_RNDN);
    mpfr_mul_2si(spacing.get(), spacing.get(), static_cast<long>(view.offsetExponent), MPFR_RNDN);
    char text[64];
    mpfr_snprintf(text, sizeof text, "%.3Re", spacing.get());
    return text;
}

// Below double's range: the rescaled double while one scale per pixel can
// hold both its offset and an orbit about to escape (the vector lanes run
// it several times faster than x87), then x87's 80-bit numbers while the
// squares of the differences stay in its normal range (the rebasing test
// compares them), then the double with an exponent of its own.
DeepDifference DeepDifferenceFor(mpfr_exp_t spacingExponent) {
    if (spacingExponent >= kDeepScaledLowestExponent) return DeepDifference::Scaled;
    return spacingExponent >= kDeepExtendedLowestExponent ? DeepDifference::Extended : DeepDifference::Wide;
}

const char* DeepDifferenceName(DeepDifference difference) {
    switch (difference) {
    case DeepDifference::Double: return "double";
    case DeepDifference::Scaled: return "rescaled double";
    case DeepDifference::Extended: return "80-bit";
    case DeepDifference::Wide: return "wide exponent";
    }
    return "?";
}

mpfr_prec_t DeepPrecision(mpfr_exp_t spacingExponent) {
    const mpfr_prec_t below = spacingExponent < 0 ? static_cast<mpfr_prec_t>(-spacingExponent) : 0;
    return std::max<mpfr_prec_t>(64, kIntegerBits + below + kMarginBits);
}

bool DeepViewFromCentre(const std::string& re, const std::string& im, const std::string& zoom, int32_t width,
                        int32_t height, DeepView& view, std::string& error) {
    if (!SizeOffsets(view, width, height, error)) return false;
    BigFloat zoomValue(kSpacingBits);
    if (!ReadLongNumber(zoom, "zoom", zoomValue, error)) return false;
    if (!mpfr_number_p(zoomValue.get()) || mpfr_sgn(zoomValue.get()) <= 0) {
        error = "the zoom must be a finite number above 0, not \"" + zoom + "\"";
        return false;
    }
    // s = 4 / (zoom * (min(width, height) - 1)); the product is exact at
    // this precision for any zoom text read to it.
    BigFloat exact(kSpacingBits + 32);
    mpfr_mul_si(exact.get(), zoomValue.get(), std::min(width, height) - 1, MPFR_RNDN);
    mpfr_si_div(exact.get(), 4, exact.get(), MPFR_RNDN);
    if (!TakeSpacing(exact.get(), view, error)) return false;

    view.centreRe = BigFloat(view.precision);
    view.centreIm = BigFloat(view.precision);
    if (!ReadLongNumber(re, "centre (real part)", view.centreRe, error)) return false;
    if (!ReadLongNumber(im, "centre (imaginary part)", view.centreIm, error)) return false;
    // k * (s / 2) with the integer k = 2x - (width - 1) exact in a double and
    // s / 2 exact (s is far above the subnormals): one rounding each, the
    // same as that of the unscaled product.
    const double half = view.spacing / 2.0;
    for (int32_t x = 0; x < width; ++x)
        view.columnOffset[x] = static_cast<double>(2 * static_cast<int64_t>(x) - (width - 1)) * half;
    for (int32_t y = 0; y < height; ++y)
        view.rowOffset[y] = static_cast<double>((height - 1) - 2 * static_cast<int64_t>(y)) * half;
    return true;
}

namespace {

// Fills offsets[i] = RN((low + (high - low) * i / (count - 1)) - centre) for
// columns, or RN((high - (high - low) * i / (count - 1)) - centre) for rows
// (fromHigh): with q = count - 1 the exact numerator
// (low - centre) * q + (high - low) * i (or (high - centre) * q - ...) over q,
// divided once with rounding to nearest.
void FillOffsets(long double low, long double high, mpfr_srcptr centre, bool fromHigh, int64_t scale,
                 std::vector<double>& offsets) {
    BigFloat lo(64), hi(64);
    mpfr_set_ld(lo.get(), low, MPFR_RNDN);  // exact: 64-bit significands
    mpfr_set_ld(hi.get(), high, MPFR_RNDN);
    const int64_t q = static_cast<int64_t>(offsets.size()) - 1;
    // Every sum below is exact at a precision that spans the highest bit of
    // any operand times 2^33 (the factors below 2^32) down to the lowest.
    const mpfr_exp_t top = std::max({HighestBit(lo.get(), 0), HighestBit(hi.get(), 0), HighestBit(centre, 0)}) + 72;
    const mpfr_exp_t bottom = std::min({LowestBit(lo.get(), top), LowestBit(hi.get(), top), LowestBit(centre, top)});
    const mpfr_prec_t exactBits = static_cast<mpfr_prec_t>(top - bottom) + 8;
    BigFloat range(exactBits), base(exactBits), numerator(exactBits), step(exactBits), out(53);
    mpfr_sub(range.get(), hi.get(), lo.get(), MPFR_RNDN);
    mpfr_sub(base.get(), fromHigh ? hi.get() : lo.get(), centre, MPFR_RNDN);
    mpfr_mul_si(base.get(), base.get(), static_cast<long>(q), MPFR_RNDN);
    for (size_t i = 0; i < offsets.size(); ++i) {
        mpfr_mul_si(step.get(), range.get(), static_cast<long>(i), MPFR_RNDN);
        if (fromHigh) mpfr_sub(numerator.get(), base.get(), step.get(), MPFR_RNDN);
        else mpfr_add(numerator.get(), base.get(), step.get(), MPFR_RNDN);
        mpfr_div_si(out.get(), numerator.get(), static_cast<long>(q), MPFR_RNDN);
        mpfr_mul_2si(out.get(), out.get(), -static_cast<long>(scale), MPFR_RNDN);
        offsets[i] = mpfr_get_d(out.get(), MPFR_RNDN);  // exact: out has 53 bits and is normal
    }
}

// The exact middle of [low, high], rounded to `precision`.
void Middle(long double low, long double high, mpfr_prec_t precision, BigFloat& middle) {
    BigFloat lo(64), hi(64);
    mpfr_set_ld(lo.get(), low, MPFR_RNDN);
    mpfr_set_ld(hi.get(), high, MPFR_RNDN);
    const mpfr_exp_t top = std::max(HighestBit(lo.get(), 0), HighestBit(hi.get(), 0)) + 2;
    const mpfr_exp_t bottom = std::min(LowestBit(lo.get(), top), LowestBit(hi.get(), top));
    BigFloat sum(static_cast<mpfr_prec_t>(top - bottom) + 4);
    mpfr_add(sum.get(), lo.get(), hi.get(), MPFR_RNDN);
    mpfr_div_2ui(sum.get(), sum.get(), 1, MPFR_RNDN);
    middle = BigFloat(precision);
    mpfr_set(middle.get(), sum.get(), MPFR_RNDN);
}

}  // namespace

bool DeepViewFromRanges(long double realMin, long double realMax, long double imagMin, long double imagMax,
                        int32_t width, int32_t height, DeepView& view, std::string& error) {
    if (!SizeOffsets(view, width, height, error)) return false;
    BigFloat bounds[4] = {BigFloat(64), BigFloat(64), BigFloat(64), BigFloat(64)};
    const long double given[4] = {realMin, realMax, imagMin, imagMax};
    for (int k = 0; k < 4; ++k) {
        mpfr_set_ld(bounds[k].get(), given[k], MPFR_RNDN);
        if (!mpfr_number_p(bounds[k].get())) {
            error = "the plane ranges of a deep view must be finite numbers";
            return false;
        }
    }
    // The larger per-pixel step, rounded once.
    BigFloat columnStep(kSpacingBits), rowStep(kSpacingBits);
    mpfr_sub(columnStep.get(), bounds[1].get(), bounds[0].get(), MPFR_RNDN);
    mpfr_div_si(columnStep.get(), columnStep.get(), width - 1, MPFR_RNDN);
    mpfr_sub(rowStep.get(), bounds[3].get(), bounds[2].get(), MPFR_RNDN);
    mpfr_div_si(rowStep.get(), rowStep.get(), height - 1, MPFR_RNDN);
    if (mpfr_sgn(columnStep.get()) <= 0 || mpfr_sgn(rowStep.get()) <= 0) {
        error = "the plane ranges of a deep view must not be empty or reversed";
        return false;
    }
    BigFloat& larger = mpfr_cmp(columnStep.get(), rowStep.get()) >= 0 ? columnStep : rowStep;
    if (!TakeSpacing(larger.get(), view, error)) return false;
    Middle(realMin, realMax, view.precision, view.centreRe);
    Middle(imagMin, imagMax, view.precision, view.centreIm);
    FillOffsets(realMin, realMax, view.centreRe.get(), false, view.offsetExponent, view.columnOffset);
    FillOffsets(imagMin, imagMax, view.centreIm.get(), true, view.offsetExponent, view.rowOffset);
    return true;
}

namespace {

// Whether `point` (exact) minus `centre` lies within the scaled offsets'
// span, and if so the new offsets RN(centre + offset * 2^scale - point),
// scaled. Every sum is exact at a precision spanning the highest bit of
// any operand down to the lowest.
bool OffsetsFrom(mpfr_srcptr centre, mpfr_srcptr point, int64_t scale, std::vector<double>& offsets) {
    const auto [low, high] = std::minmax_element(offsets.begin(), offsets.end());
    mpfr_exp_t top = std::max(HighestBit(centre, 0), HighestBit(point, 0));
    mpfr_exp_t bottom = std::min(LowestBit(centre, top), LowestBit(point, top));
    for (const double value : offsets) {
        if (value == 0.0) continue;
        int exponent = 0;
        (void)std::frexp(value, &exponent);
        top = std::max<mpfr_exp_t>(top, exponent + scale);
        bottom = std::min<mpfr_exp_t>(bottom, exponent + scale - 53);
    }
    const mpfr_prec_t exactBits = static_cast<mpfr_prec_t>(top - bottom) + 8;
    BigFloat shift(exactBits), sum(exactBits), offset(53);
    mpfr_sub(shift.get(), centre, point, MPFR_RNDN);
    for (const double value : {*low, *high}) {  // the edges' points minus the new centre
        mpfr_set_d(offset.get(), value, MPFR_RNDN);
        mpfr_mul_2si(offset.get(), offset.get(), static_cast<long>(scale), MPFR_RNDN);
        mpfr_add(sum.get(), shift.get(), offset.get(), MPFR_RNDN);
        if (mpfr_sgn(sum.get()) * (value == *low ? 1 : -1) > 0) return false;
    }
    for (double& value : offsets) {
        mpfr_set_d(offset.get(), value, MPFR_RNDN);
        mpfr_mul_2si(offset.get(), offset.get(), static_cast<long>(scale), MPFR_RNDN);
        mpfr_add(sum.get(), shift.get(), offset.get(), MPFR_RNDN);
        mpfr_mul_2si(sum.get(), sum.get(), -static_cast<long>(scale), MPFR_RNDN);
        value = mpfr_get_d(sum.get(), MPFR_RNDN);  // the one rounding
    }
    return true;
}

}  // namespace

bool MoveReference(DeepView& view, const std::string& re, const std::string& im, mpfr_prec_t precision, bool& moved,
                   std::string& error) {
    moved = false;
    const mpfr_prec_t bits = std::max(precision, view.precision);
    BigFloat pointRe(bits), pointIm(bits);
    if (!ReadLongNumber(re, "reference (real part)", pointRe, error)) return false;
    if (!ReadLongNumber(im, "reference (imaginary part)", pointIm, error)) return false;
    std::vector<double> columns = view.columnOffset, rows = view.rowOffset;
    if (!OffsetsFrom(view.centreRe.get(), pointRe.get(), view.offsetExponent, columns) ||
        !OffsetsFrom(view.centreIm.get(), pointIm.get(), view.offsetExponent, rows))
        return true;
    view.columnOffset = std::move(columns);
    view.rowOffset = std::move(rows);
    view.centreRe = std::move(pointRe);
    view.centreIm = std::move(pointIm);
    view.precision = bits;
    moved = true;
    return true;
}
