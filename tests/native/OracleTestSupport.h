// Views made by hand for the oracle's suites: the centre read by MPFR and
// the offsets formed as engine/DeepView.h defines them, so the oracle can be
// tried without the deep calculation's own view makers.
#pragma once

#include <mpfr.h>

#include <cstdint>
#include <string>

#include "engine/DeepView.h"

namespace oracletest {

inline DeepView MakeView(const char* re, const char* im, double spacing, int32_t width, int32_t height,
                         mpfr_prec_t precision) {
    DeepView view;
    view.precision = precision;
    view.spacing = spacing;
    view.centreRe.SetPrecision(precision);
    view.centreIm.SetPrecision(precision);
    mpfr_set_str(view.centreRe.get(), re, 10, MPFR_RNDN);
    mpfr_set_str(view.centreIm.get(), im, 10, MPFR_RNDN);
    for (int32_t x = 0; x < width; ++x) view.columnOffset.push_back((2.0 * x - (width - 1)) * (spacing / 2));
    for (int32_t y = 0; y < height; ++y) view.rowOffset.push_back(-(2.0 * y - (height - 1)) * (spacing / 2));
    return view;
}

// A 1x1 view of the single point centre + (offsetRe, offsetIm).
inline DeepView PointView(const char* re, const char* im, double offsetRe, double offsetIm, mpfr_prec_t precision) {
    DeepView view = MakeView(re, im, 1.0, 1, 1, precision);
    view.columnOffset[0] = offsetRe;
    view.rowOffset[0] = offsetIm;
    return view;
}

}  // namespace oracletest
