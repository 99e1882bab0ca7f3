// The truth every deep-zoom count is held to: the pixel's point, formed
// exactly as centre + offset, iterated directly in MPFR. It knows nothing of
// reference orbits or rebasing, so it shares none of their faults; it is
// only as good as its precision, which OracleCount raises until one more
// step of it no longer changes the answer.
#pragma once

#include <mpfr.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/DeepView.h"
#include "engine/PomeClc.h"

// OracleCount's answer when the count still changed at the highest
// precision it was allowed.
inline constexpr int32_t kOracleUnsettled = -1;

// How far OracleCount raises the precision at each try.
inline constexpr mpfr_prec_t kOracleStep = 64;

// Pixel (x, y)'s point c = view centre + offsets, exactly; each part is
// given the bits its exact sum needs (at least MPFR_PREC_MIN).
void OraclePoint(const DeepView& view, int32_t x, int32_t y, BigFloat& re, BigFloat& im);

// The escape count of pixel (x, y) under z_0 = 0, z_{n+1} = z_n^2 + c with
// every z_n rounded to nearest at `precision` bits: the first n < limit
// with |z_n|^2 > 4 (decided exactly for the z_n held), NotEscaped if none.
int32_t DirectCount(const DeepView& view, int32_t x, int32_t y, int32_t limit, mpfr_prec_t precision);

// DirectCount at the first precision p = start, start + kOracleStep, ...
// whose count p + kOracleStep confirms; `usedPrecision` is that p. Gives
// kOracleUnsettled (usedPrecision the last p tried) when no p up to
// `maxPrecision` is confirmed (0: start + 16 steps).
int32_t OracleCount(const DeepView& view, int32_t x, int32_t y, int32_t limit, mpfr_prec_t start,
                    int32_t& usedPrecision, mpfr_prec_t maxPrecision = 0);

// Pixels drawn uniformly without repetition from a width x height view
// (every pixel when `count` is not smaller than the view), the same for the
// same seed on every platform.
struct OraclePixel {
    int32_t x = 0;
    int32_t y = 0;
};
std::vector<OraclePixel> SampleOraclePixels(int32_t width, int32_t height, int32_t count, uint64_t seed);

// One pixel where a calculation's count is not the oracle's (oracle
// kOracleUnsettled when the oracle found no count to trust).
struct OracleDifference {
    int32_t x = 0;
    int32_t y = 0;
    int32_t count = 0;
    int32_t oracle = 0;
    int32_t precision = 0;  // bits the oracle's count was accepted at
};

struct OracleAgreement {
    int32_t compared = 0;
    std::vector<OracleDifference> differences;  // in the order of the pixels given
    double seconds = 0.0;                        // wall time of the oracle's counts
    int32_t highestPrecision = 0;
    // What the oracle's counts span, to tell a view with structure from one
    // of a single colour: escaped counts from lowest to highest, and how
    // many pixels stayed inside.
    int32_t lowestCount = NotEscaped;
    int32_t highestCount = -1;
    int32_t inside = 0;

    double Share() const { return compared > 0 ? static_cast<double>(differences.size()) / compared : 0.0; }
    // At most one pixel in a thousand may differ.
    bool Passes() const { return static_cast<int64_t>(differences.size()) * 1000 <= compared; }
    // "escaped 41..48, 2 inside" (or "none escaped, 50 inside").
    std::string CountRange() const;
};

// The oracle's count (from view.precision + kOracleStep) of each pixel
// against `count(x, y)`, on `threads` threads (the pixels are independent;
// `count` must be safe to call from several at once).
OracleAgreement CompareWithOracle(const DeepView& view, int32_t limit, const std::vector<OraclePixel>& pixels,
                                  const std::function<int32_t(int32_t, int32_t)>& count, int threads);
