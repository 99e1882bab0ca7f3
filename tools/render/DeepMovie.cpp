#include "tools/render/DeepMovie.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "engine/DeepView.h"

namespace {

constexpr mpfr_prec_t kSpacingBits = 256;
// Significant digits of the zoom texts: a zoom read from them gives the
// spacing's double of the exact zoom for all but ties far below a double.
constexpr size_t kZoomDigits = 25;

// The exact middle and the per-pixel step of [low, high] over `pixels`.
void MiddleAndStep(long double low, long double high, int32_t pixels, mpfr_prec_t bits, BigFloat& middle,
                   BigFloat& step) {
    BigFloat lo(64), hi(64);
    mpfr_set_ld(lo.get(), low, MPFR_RNDN);  // exact: 64-bit significands
    mpfr_set_ld(hi.get(), high, MPFR_RNDN);
    middle = BigFloat(bits);
    mpfr_add(middle.get(), lo.get(), hi.get(), MPFR_RNDN);
    mpfr_div_2ui(middle.get(), middle.get(), 1, MPFR_RNDN);
    step = BigFloat(bits);
    mpfr_sub(step.get(), hi.get(), lo.get(), MPFR_RNDN);
    mpfr_div_si(step.get(), step.get(), pixels - 1, MPFR_RNDN);
}

mpfr_exp_t DoubleExponent(mpfr_srcptr value) {
    BigFloat rounded(53);
    mpfr_set(rounded.get(), value, MPFR_RNDN);
    return mpfr_get_exp(rounded.get());
}

// Decimal digits that read back, at `bits`, as the value they came from.
size_t DigitsFor(mpfr_prec_t bits) { return static_cast<size_t>(std::ceil(static_cast<double>(bits) * 0.30103)) + 3; }

}  // namespace

bool PlanDeepMovie(const RenderOptions& o, const CoordinateSet& start, DeepMovie& movie, std::string& error) {
    movie.frames = o.frames;
    movie.shorterSide = std::min(o.width, o.height);
    movie.start = start;
    movie.target = OptionsView(o);
    movie.targetRe = o.centreRe;
    movie.targetIm = o.centreIm;
    movie.targetZoom = o.zoom;

    // s1 = 4 / (zoom (min(w, h) - 1)), as a single image of the target has it.
    BigFloat zoom(kSpacingBits);
    if (!ReadLongNumber(o.zoom, "zoom", zoom, error)) return false;
    if (!mpfr_number_p(zoom.get()) || mpfr_sgn(zoom.get()) <= 0) {
        error = "the zoom must be a finite number above 0, not \"" + o.zoom + "\"";
        return false;
    }
    BigFloat targetSpacing(kSpacingBits + 32);
    mpfr_mul_si(targetSpacing.get(), zoom.get(), movie.shorterSide - 1, MPFR_RNDN);
    mpfr_si_div(targetSpacing.get(), 4, targetSpacing.get(), MPFR_RNDN);

    // Frame 0: the start ranges' centre at the larger of their per-pixel
    // steps, so that all of them are in the picture.
    BigFloat realStep, imagStep;
    MiddleAndStep(start.RealMin, start.RealMax, o.width, kSpacingBits, movie.startRe, realStep);
    MiddleAndStep(start.ImagMin, start.ImagMax, o.height, kSpacingBits, movie.startIm, imagStep);
    const BigFloat& startSpacing = mpfr_cmp(realStep.get(), imagStep.get()) >= 0 ? realStep : imagStep;

    const mpfr_srcptr deepest = mpfr_cmp(startSpacing.get(), targetSpacing.get()) <= 0 ? startSpacing.get()
                                                                                        : targetSpacing.get();
    movie.precision = DeepPrecision(DoubleExponent(deepest));
    movie.working = movie.precision + 64;
    movie.startSpacing = BigFloat(movie.working);
    mpfr_set(movie.startSpacing.get(), startSpacing.get(), MPFR_RNDN);
    movie.targetSpacing = BigFloat(movie.working);
    mpfr_set(movie.targetSpacing.get(), targetSpacing.get(), MPFR_RNDN);
    movie.startRe.SetPrecision(movie.working);  // exact: the middle of two long doubles
    movie.startIm.SetPrecision(movie.working);
    movie.targetCentreRe = BigFloat(movie.working);
    movie.targetCentreIm = BigFloat(movie.working);
    if (!ReadLongNumber(o.centreRe, "centre (real part)", movie.targetCentreRe, error)) return false;
    if (!ReadLongNumber(o.centreIm, "centre (imaginary part)", movie.targetCentreIm, error)) return false;
    movie.iterEnd = std::max({start.IterStart, start.IterEnd, movie.target.IterStart, movie.target.IterEnd});
    return true;
}

DeepMovieFrame DeepMovieFrameAt(const DeepMovie& movie, int32_t frame) {
    DeepMovieFrame out;
    const CoordinateSet iterations = MovieFrameView(movie.start, movie.target, frame, movie.frames);
    out.iterStart = iterations.IterStart;
    out.iterInc = iterations.IterInc;
    out.iterEnd = iterations.IterEnd;

    const mpfr_prec_t bits = movie.working;
    const bool last = frame >= movie.frames - 1;
    BigFloat spacing(bits), re(bits), im(bits);
    if (last) {
        mpfr_set(spacing.get(), movie.targetSpacing.get(), MPFR_RNDN);
    } else if (frame <= 0) {
        mpfr_set(spacing.get(), movie.startSpacing.get(), MPFR_RNDN);
        mpfr_set(re.get(), movie.startRe.get(), MPFR_RNDN);
        mpfr_set(im.get(), movie.startIm.get(), MPFR_RNDN);
    } else {
        // s = s0 exp(t log(s1 / s0)), t = frame / (frames - 1).
        mpfr_div(spacing.get(), movie.targetSpacing.get(), movie.startSpacing.get(), MPFR_RNDN);
        mpfr_log(spacing.get(), spacing.get(), MPFR_RNDN);
        mpfr_mul_si(spacing.get(), spacing.get(), frame, MPFR_RNDN);
        mpfr_div_si(spacing.get(), spacing.get(), movie.frames - 1, MPFR_RNDN);
        mpfr_exp(spacing.get(), spacing.get(), MPFR_RNDN);
        mpfr_mul(spacing.get(), spacing.get(), movie.startSpacing.get(), MPFR_RNDN);
        // The share of the way still to go, (s - s1) / (s0 - s1), or t
        // itself when the size stays (the centre then moves evenly).
        BigFloat share(bits), below(bits);
        if (mpfr_equal_p(movie.startSpacing.get(), movie.targetSpacing.get())) {
            mpfr_set_si(share.get(), movie.frames - 1 - frame, MPFR_RNDN);
            mpfr_div_si(share.get(), share.get(), movie.frames - 1, MPFR_RNDN);
        } else {
            mpfr_sub(share.get(), spacing.get(), movie.targetSpacing.get(), MPFR_RNDN);
            mpfr_sub(below.get(), movie.startSpacing.get(), movie.targetSpacing.get(), MPFR_RNDN);
            mpfr_div(share.get(), share.get(), below.get(), MPFR_RNDN);
        }
        // c = c1 + (c0 - c1) share, each axis.
        for (auto [c, c0, c1] : {std::tuple{re.get(), movie.startRe.get(), movie.targetCentreRe.get()},
                                 std::tuple{im.get(), movie.startIm.get(), movie.targetCentreIm.get()}}) {
            mpfr_sub(c, c0, c1, MPFR_RNDN);
            mpfr_mul(c, c, share.get(), MPFR_RNDN);
            mpfr_add(c, c, c1, MPFR_RNDN);
        }
    }
    const mpfr_exp_t exponent = DoubleExponent(spacing.get());
    out.deep = mpfr_cmp_d(spacing.get(), kDeepLargestSpacing) <= 0;
    out.difference = mpfr_cmp_d(spacing.get(), kDeepSmallestDoubleSpacing) >= 0 ? DeepDifference::Double
                                                                                : DeepDifferenceFor(exponent);
    if (last) {
        out.re = movie.targetRe;
        out.im = movie.targetIm;
        out.zoom = movie.targetZoom;
        return out;
    }
    // zoom = 4 / (s (min(w, h) - 1)); the centre to the frame's own
    // precision, which a single image of these texts reads it at.
    BigFloat zoom(bits);
    mpfr_mul_si(zoom.get(), spacing.get(), movie.shorterSide - 1, MPFR_RNDN);
    mpfr_si_div(zoom.get(), 4, zoom.get(), MPFR_RNDN);
    out.zoom = zoom.Text(kZoomDigits);
    const size_t digits = DigitsFor(DeepPrecision(exponent));
    out.re = re.Text(digits);
    out.im = im.Text(digits);
    return out;
}
