#include "tools/oracle/Oracle.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace {

// Bits that hold a + b exactly: from the higher leading bit (plus one for a
// carry) down to the lower of the two last bits. Zero parts add nothing.
mpfr_prec_t ExactSumPrecision(mpfr_srcptr a, mpfr_srcptr b) {
    const bool aZero = !mpfr_regular_p(a);
    const bool bZero = !mpfr_regular_p(b);
    if (aZero && bZero) return MPFR_PREC_MIN;
    if (aZero) return mpfr_get_prec(b);
    if (bZero) return mpfr_get_prec(a);
    const mpfr_exp_t top = std::max(mpfr_get_exp(a), mpfr_get_exp(b));
    const mpfr_exp_t bottom = std::min(mpfr_get_exp(a) - static_cast<mpfr_exp_t>(mpfr_get_prec(a)),
                                       mpfr_get_exp(b) - static_cast<mpfr_exp_t>(mpfr_get_prec(b)));
    return std::max<mpfr_prec_t>(MPFR_PREC_MIN, static_cast<mpfr_prec_t>(top - bottom + 1));
}

void ExactSum(mpfr_srcptr centre, double offset, int64_t scale, BigFloat& out) {
    BigFloat step(53);
    mpfr_set_d(step.get(), offset, MPFR_RNDN);  // exact: a double has 53 bits
    mpfr_mul_2si(step.get(), step.get(), static_cast<long>(scale), MPFR_RNDN);
    mpfr_set_prec(out.get(), ExactSumPrecision(centre, step.get()));
    mpfr_add(out.get(), centre, step.get(), MPFR_RNDN);  // exact by the precision chosen
}

// The orbit's registers, made once per count so that the steps allocate
// nothing.
struct Orbit {
    explicit Orbit(mpfr_prec_t precision)
        : x(precision), y(precision), xx(precision), yy(precision), twiceX(precision),
          exactXx(2 * precision), exactYy(2 * precision), magnitude(2 * precision + 2) {}
    BigFloat x, y, xx, yy, twiceX;
    BigFloat exactXx, exactYy, magnitude;
};

// |z|^2 > 4 for the z held, exactly. The rounded squares of the step decide
// when the magnitude is clearly away from 4; otherwise the exact squares
// (2p bits hold a p-bit square) are added once to nearest, and the sign of
// that rounding settles a sum that lands on 4 itself: since 4 is
// representable, RN(s) > 4 implies s > 4 and RN(s) < 4 implies s < 4.
bool Escapes(Orbit& o) {
    const double estimate = mpfr_get_d(o.xx.get(), MPFR_RNDN) + mpfr_get_d(o.yy.get(), MPFR_RNDN);
    if (estimate < 3.99) return false;
    if (estimate > 4.01) return true;
    mpfr_sqr(o.exactXx.get(), o.x.get(), MPFR_RNDN);
    mpfr_sqr(o.exactYy.get(), o.y.get(), MPFR_RNDN);
    const int below = mpfr_add(o.magnitude.get(), o.exactXx.get(), o.exactYy.get(), MPFR_RNDN);
    const int side = mpfr_cmp_ui(o.magnitude.get(), 4);
    if (side != 0) return side > 0;
    return below < 0;
}

}  // namespace

void OraclePoint(const DeepView& view, int32_t x, int32_t y, BigFloat& re, BigFloat& im) {
    ExactSum(view.centreRe.get(), view.columnOffset[static_cast<size_t>(x)], view.offsetExponent, re);
    ExactSum(view.centreIm.get(), view.rowOffset[static_cast<size_t>(y)], view.offsetExponent, im);
}

int32_t DirectCount(const DeepView& view, int32_t x, int32_t y, int32_t limit, mpfr_prec_t precision) {
    BigFloat cr, ci;
    OraclePoint(view, x, y, cr, ci);
    Orbit o(precision);
    // z_0 = 0 (the registers start at zero).
    for (int32_t n = 0; n < limit; ++n) {
        mpfr_sqr(o.xx.get(), o.x.get(), MPFR_RNDN);
        mpfr_sqr(o.yy.get(), o.y.get(), MPFR_RNDN);
        if (Escapes(o)) return n;
        // y' = RN(2x * y + ci): 2x is exact, the fused form rounds once.
        mpfr_mul_2ui(o.twiceX.get(), o.x.get(), 1, MPFR_RNDN);
        mpfr_fma(o.y.get(), o.twiceX.get(), o.y.get(), ci.get(), MPFR_RNDN);
        // x' = RN(RN(x^2 - y^2) + cr) from the rounded squares.
        mpfr_sub(o.x.get(), o.xx.get(), o.yy.get(), MPFR_RNDN);
        mpfr_add(o.x.get(), o.x.get(), cr.get(), MPFR_RNDN);
    }
    return NotEscaped;
}

int32_t OracleCount(const DeepView& view, int32_t x, int32_t y, int32_t limit, mpfr_prec_t start,
                    int32_t& usedPrecision, mpfr_prec_t maxPrecision) {
    if (maxPrecision <= 0) maxPrecision = start + 16 * kOracleStep;
    mpfr_prec_t precision = std::max<mpfr_prec_t>(start, MPFR_PREC_MIN);
    int32_t count = DirectCount(view, x, y, limit, precision);
    while (precision + kOracleStep <= maxPrecision) {
        const int32_t confirming = DirectCount(view, x, y, limit, precision + kOracleStep);
        if (confirming == count) {
            usedPrecision = static_cast<int32_t>(precision);
            return count;
        }
        precision += kOracleStep;
        count = confirming;
    }
    usedPrecision = static_cast<int32_t>(precision);
    return kOracleUnsettled;
}

std::vector<OraclePixel> SampleOraclePixels(int32_t width, int32_t height, int32_t count, uint64_t seed) {
    std::vector<OraclePixel> pixels;
    const int64_t total = static_cast<int64_t>(width) * height;
    if (total <= 0 || count <= 0) return pixels;
    // Selection sampling (Knuth's algorithm S): one pass over the indices,
    // each taken with the share still needed of those still left, so the
    // draw is uniform, repeats nothing and comes out in row order. The
    // engine's own integer arithmetic on a fixed generator keeps it the same
    // everywhere (the standard distributions are not specified bit for bit).
    std::mt19937_64 generator(seed);
    int64_t needed = std::min<int64_t>(count, total);
    pixels.reserve(static_cast<size_t>(needed));
    for (int64_t index = 0; index < total && needed > 0; ++index) {
        const int64_t left = total - index;
        // generator() % left is biased by at most left / 2^64: immaterial here.
        if (static_cast<int64_t>(generator() % static_cast<uint64_t>(left)) < needed) {
            pixels.push_back({static_cast<int32_t>(index % width), static_cast<int32_t>(index / width)});
            --needed;
        }
    }
    return pixels;
}

OracleAgreement CompareWithOracle(const DeepView& view, int32_t limit, const std::vector<OraclePixel>& pixels,
                                  const std::function<int32_t(int32_t, int32_t)>& count, int threads) {
    struct Result {
        int32_t count = 0;
        int32_t oracle = 0;
        int32_t precision = 0;
    };
    std::vector<Result> results(pixels.size());
    std::atomic<size_t> next{0};
    const auto worker = [&] {
        for (size_t i = next++; i < pixels.size(); i = next++) {
            Result& r = results[i];
            r.count = count(pixels[i].x, pixels[i].y);
            r.oracle = OracleCount(view, pixels[i].x, pixels[i].y, limit, view.precision + kOracleStep, r.precision);
        }
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && static_cast<size_t>(t) < pixels.size(); ++t) helpers.emplace_back(worker);
    worker();
    for (std::thread& helper : helpers) helper.join();

    OracleAgreement agreement;
    agreement.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    agreement.compared = static_cast<int32_t>(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        const Result& r = results[i];
        agreement.highestPrecision = std::max(agreement.highestPrecision, r.precision);
        if (r.oracle == NotEscaped) {
            ++agreement.inside;
        } else if (r.oracle != kOracleUnsettled) {
            agreement.lowestCount = std::min(agreement.lowestCount, r.oracle);
            agreement.highestCount = std::max(agreement.highestCount, r.oracle);
        }
        if (r.count != r.oracle) agreement.differences.push_back({pixels[i].x, pixels[i].y, r.count, r.oracle, r.precision});
    }
    return agreement;
}

std::string OracleAgreement::CountRange() const {
    const std::string escaped = highestCount < 0 ? std::string("none escaped")
                                                 : "escaped " + std::to_string(lowestCount) + ".." +
                                                       std::to_string(highestCount);
    return escaped + ", " + std::to_string(inside) + " inside";
}
