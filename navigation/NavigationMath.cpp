#include "navigation/NavigationMath.h"

#include <cmath>

#include "engine/FpEnvironment.h"

namespace {

// The engine's own mapping, so that a pixel shows the point it was computed at.
long double ColumnReal(const CoordinateSet& v, int32_t width, int32_t x) {
    return ::ColumnReal(v.RealMin, v.RealMax, width, x);
}

long double RowImag(const CoordinateSet& v, int32_t height, int32_t y) {
    return ::RowImag(v.ImagMin, v.ImagMax, height, y);
}

}  // namespace

bool IsFiniteView(const CoordinateSet& view) {
    for (const long double v : {view.RealMin, view.RealMax, view.ImagMin, view.ImagMax, view.ConstReal, view.ConstImag})
        if (!std::isfinite(v)) return false;
    return true;
}

void PlanePointOf(const CoordinateSet& view, int32_t width, int32_t height, int32_t x, int32_t y,
                  long double& real, long double& imag) {
    const FpEnvironmentGuard environment;
    real = ColumnReal(view, width, x);
    imag = RowImag(view, height, y);
}

bool ProposeZoom(const CoordinateSet& current, int32_t width, int32_t height, PixelRect& rect,
                 CoordinateSet& proposal) {
    if (rect.right >= width) rect.right = width - 1;
    if (rect.bottom >= height) rect.bottom = height - 1;
    if (int64_t{rect.left} + 1 >= rect.right || int64_t{rect.top} + 1 >= rect.bottom) return false;
    const FpEnvironmentGuard environment;
    proposal = current;
    proposal.RealMin = ColumnReal(current, width, rect.left);
    proposal.RealMax = ColumnReal(current, width, rect.right);
    proposal.ImagMin = RowImag(current, height, rect.bottom);
    proposal.ImagMax = RowImag(current, height, rect.top);
    return true;
}

void CentreOn(CoordinateSet& view, int32_t width, int32_t height, int32_t x, int32_t y) {
    const FpEnvironmentGuard environment;
    const long double w = view.RealMax - view.RealMin;
    const long double h = view.ImagMax - view.ImagMin;
    view.RealMin = ColumnReal(view, width, x) - w / 2;
    view.RealMax = view.RealMin + w;
    view.ImagMax = RowImag(view, height, y) + h / 2;
    view.ImagMin = view.ImagMax - h;
}

void WidenBy(CoordinateSet& view, int32_t code) {
    long double f;
    switch (code) {
    case 110: f = 0.05L; break;
    case 125: f = 0.125L; break;
    case 150: f = 0.25L; break;
    case 200: f = 0.5L; break;
    default: return;
    }
    const FpEnvironmentGuard environment;
    const long double w = view.RealMax - view.RealMin;
    const long double h = view.ImagMax - view.ImagMin;
    view.RealMin = view.RealMin - w * f;
    view.RealMax = view.RealMax + w * f;
    view.ImagMin = view.ImagMin - h * f;
    view.ImagMax = view.ImagMax + h * f;
}

void SetStartRange(CoordinateSet& view) {
    const bool julia = view.Formula == FormulaKind::JuliaSet;
    view.RealMin = julia ? -1.5L : -2.0L;
    view.RealMax = julia ? 1.5L : 1.0L;
    view.ImagMin = -1.5L;
    view.ImagMax = 1.5L;
    view.IterStart = 64;
    view.IterInc = 64;
    view.IterEnd = 256;
}

AutoZoomOutcome SearchZoomRectangle(const CalcState& state, RandomSource& random, PixelRect& found) {
    const int32_t w = state.width;
    const int32_t h = state.height;
    if (w < 48 || h < 48) return AutoZoomOutcome::TooSmall;
    const IterationStatistics whole = IterationStats(state, PixelRect{0, 0, w - 1, h - 1});
    const int64_t low = whole.min;
    const int64_t high = whole.max;
    if (!(low + 16 < high)) return AutoZoomOutcome::TooPlain;
    const int64_t middle = (low + high) / 2;

    for (int attempt = 0; attempt < 250; ++attempt) {
        const int32_t s = w / 4 + random.Next(w / 4);
        PixelRect r;
        r.left = random.Next(w - s);
        r.right = r.left + s;
        const int32_t t = static_cast<int32_t>(int64_t{r.right - r.left} * h / w);
        r.top = random.Next(h - t);
        r.bottom = r.top + t;
        const IterationStatistics stats = IterationStats(state, r);
        const int32_t corners[4] = {stats.topLeft, stats.topRight, stats.bottomLeft, stats.bottomRight};
        bool distinct = true;
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j) distinct = distinct && corners[i] != corners[j];
        if (stats.min < middle && stats.max == high && distinct) {
            found = r;
            return AutoZoomOutcome::Found;
        }
    }
    return AutoZoomOutcome::NotFound;
}
