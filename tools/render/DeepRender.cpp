#include "tools/render/DeepRender.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <utility>

#include "engine/DeepView.h"
#include "engine/DeepZoom.h"
#include "engine/Location.h"
#include "image/DibSect.h"
#include "tools/render/Smooth.h"

namespace {

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// Per pixel: its difference orbit (two difference numbers), its reference
// index and its count (and the rescaled double's exponent), and its image
// byte; per step of the reference: the value and its rounding remainder,
// two difference numbers each (and the rescaled double's index of values
// too small for doubles, and the lanes' copy of the values for both kinds of
// double).
uint64_t DeepBytes(const DeepView& view, int32_t iterEnd, bool approximation) {
    const bool doubles = view.difference == DeepDifference::Double || view.difference == DeepDifference::Scaled;
    const uint64_t number = doubles ? sizeof(double) : 16;
    const uint64_t scale = view.difference == DeepDifference::Scaled ? 2 * sizeof(int32_t) : 0;
    const uint64_t pixels = static_cast<uint64_t>(view.Width()) * static_cast<uint64_t>(view.Height());
    const uint64_t pairs = doubles ? 2 * sizeof(double) : 0;  // the lanes' copy, values side by side
    // About one entry per reference step, built in WideDouble and copied
    // into the pixels' number (the rescaled double reads WideDouble).
    const uint64_t entry = approximation ? sizeof(BlaWideEntry) + 5 * (doubles ? 16 : number) : 0;
    return pixels * (2 * number + 4 * sizeof(int32_t) + scale) + pixels +
           static_cast<uint64_t>(iterEnd) * (4 * number + scale / 2 + pairs + entry);
}

// v of every sample (-1 inside): the orbit's escape value taken further in
// double with the sample's point rounded to double; past the escape the
// point's digits beyond double no longer move the value.
std::vector<double> DeepSmoothValues(const DeepCalculation& calculation, const DeepView& view) {
    const int32_t width = view.Width(), height = view.Height();
    auto points = [&](const BigFloat& centre, const std::vector<double>& offsets) {
        std::vector<double> out(offsets.size());
        BigFloat sum(centre.Precision() + 64);
        for (size_t i = 0; i < offsets.size(); ++i) {
            mpfr_set_d(sum.get(), offsets[i], MPFR_RNDN);
            mpfr_mul_2si(sum.get(), sum.get(), static_cast<long>(view.offsetExponent), MPFR_RNDN);
            mpfr_add(sum.get(), sum.get(), centre.get(), MPFR_RNDN);
            out[i] = mpfr_get_d(sum.get(), MPFR_RNDN);
        }
        return out;
    };
    const std::vector<double> cr = points(view.centreRe, view.columnOffset);
    const std::vector<double> ci = points(view.centreIm, view.rowOffset);
    std::vector<double> values(static_cast<size_t>(width) * static_cast<size_t>(height), -1.0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            double zr = 0.0, zi = 0.0;
            if (!calculation.EscapeValueAt(x, y, zr, zi)) continue;
            values[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                SmoothValueInDouble(zr, zi, cr[static_cast<size_t>(x)], ci[static_cast<size_t>(y)],
                                    calculation.EscapeCountAt(x, y));
        }
    return values;
}

// The deep calculation reports rows as it finishes them; the progress line
// is told in the form it knows, one row at a time.
class DeepRowProgress final : public DeepProgress {
public:
    DeepRowProgress(RenderProgress* line, const CoordinateSet& view, int32_t width, int32_t height)
        : line_(line) {
        shown_.width = width;
        shown_.height = height;
        shown_.IterStart = view.IterStart;
        shown_.IterInc = view.IterInc;
        shown_.IterEnd = view.IterEnd;
    }

    bool AfterRow(int32_t rowsDone, int32_t, int32_t, int32_t limit) override {
        if (line_ == nullptr) return true;
        const std::lock_guard<std::mutex> hold(mutex_);
        shown_.CurrentLimit = limit;
        return line_->AfterRow(shown_, rowsDone - 1);
    }

private:
    RenderProgress* line_;
    CalcState shown_;
    std::mutex mutex_;
};

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

// One line on the approximation: its table, and the share of the steps its
// entries took.
std::string ApproximationFigures(const RenderOptions& o, const DeepStatistics& figures) {
    if (!o.approximation) return "Approximation: off";
    if (figures.tableMissing) return "Approximation: no memory for its table, every step taken";
    char line[200];
    const double share = figures.steps > 0 ? 100.0 * static_cast<double>(figures.tableSteps) /
                                                 static_cast<double>(figures.steps)
                                           : 0.0;
    std::snprintf(line, sizeof line,
                  "Approximation: tolerance %g, %lld entries (%.1f MB) in %s; %lld steps by %lld entries (%.1f %%)",
                  o.tolerance, static_cast<long long>(figures.tableEntries),
                  static_cast<double>(figures.tableBytes) / 1e6, Seconds(figures.tableSeconds).c_str(),
                  static_cast<long long>(figures.tableSteps), static_cast<long long>(figures.tableUses), share);
    return line;
}

}  // namespace

bool ReadLocationInto(RenderOptions& o, std::vector<std::string>& warnings, std::string& error) {
    Location location;
    if (!ReadLocationFile(o.location, location, error)) return false;
    if (!location.ignoredKeys.empty()) {
        std::string names;
        for (const std::string& key : location.ignoredKeys) names += (names.empty() ? "" : ", ") + key;
        warnings.push_back(o.location + ": ignored " + names);
    }
    // Read as the deep type will read them, for the message's position.
    const std::pair<const char*, const std::string*> numbers[] = {
        {"Re", &location.re}, {"Im", &location.im}, {"Zoom", &location.zoom}};
    for (const auto& [what, text] : numbers) {
        BigFloat value(64);
        if (!ReadLongNumber(*text, what, value, error)) {
            error = o.location + ": " + error;
            return false;
        }
    }
    if (!o.iterGiven) {
        if (location.iterations < 1) {
            error = o.location + " gives no iterations: give --iter START INC END";
            return false;
        }
        o.iterStart = o.iterInc = o.iterEnd = static_cast<int32_t>(location.iterations);
    }
    o.centreRe = location.re;
    o.centreIm = location.im;
    o.zoom = location.zoom;
    o.centreGiven = true;
    return ApplyCentreAndZoom(o, error);
}

bool RenderDeep(const RenderOptions& o, const CoordinateSet& view, const ColourParams& colours,
                const uint8_t* table, const std::string& reason, const std::string& output,
                RenderProgress* progress, RenderResult& result, std::string& error,
                const DeepReference* shared) {
    if (view.Formula != FormulaKind::MandelbrotSet) {
        error = "the deep type takes Mandelbrot sets only for now";
        return false;
    }
    const auto begin = std::chrono::steady_clock::now();
    // RGB output computes factor x factor samples a pixel: a view of the
    // same centre and zoom (or the ranges widened to the samples' grid) at
    // factor times the size. Adaptive supersampling takes every pixel's
    // samples here: a deep sample costs a difference orbit of its own, which
    // the grid's rows share out best.
    const bool rgb = RgbOutput(o);
    const int32_t factor = rgb ? o.supersample : 1;
    const int32_t calcWidth = o.width * factor, calcHeight = o.height * factor;
    const CoordinateSet calcView = SupersampledView(view, o.width, o.height, factor);
    DeepView deep;
    const bool made = o.centreGiven
                          ? DeepViewFromCentre(o.centreRe, o.centreIm, o.zoom, calcWidth, calcHeight, deep, error)
                          : DeepViewFromRanges(calcView.RealMin, calcView.RealMax, calcView.ImagMin, calcView.ImagMax,
                                               calcWidth, calcHeight, deep, error);
    if (!made) return false;
    if (!o.referenceRe.empty() &&
        !MoveReference(deep, o.referenceRe, o.referenceIm, o.referencePrecision, result.referenceMoved, error))
        return false;

    std::string size = std::to_string(o.width) + " x " + std::to_string(o.height);
    if (factor > 1) size += " (" + std::to_string(factor) + " x " + std::to_string(factor) + " samples a pixel)";
    const uint64_t needed = DeepBytes(deep, view.IterEnd, o.approximation) + (rgb ? RgbBytes(o) : 0);
    const uint64_t available = AvailableMemory();
    if ((available != 0 && needed > available) || needed > SIZE_MAX / 2) {
        error = "a " + size + " image in the deep type to " + std::to_string(view.IterEnd) + " iterations needs " +
                Megabytes(needed) + " of memory; " + Megabytes(available) + " are available";
        const uint64_t plain = DeepBytes(deep, view.IterEnd, false) + (rgb ? RgbBytes(o) : 0);
        if (o.approximation && plain <= available && plain <= SIZE_MAX / 2)
            error += " (" + Megabytes(plain) + " without the approximation's table: --approximation off)";
        return false;
    }
    DibImage image;
    if (!image.TryCreate(calcWidth, calcHeight, table)) {
        error = "cannot create a " + size + " image: not enough memory";
        return false;
    }
    DeepCalculation calculation;
    if (!calculation.SetUp(deep, view.IterStart, view.IterInc, view.IterEnd, &image, colours, error, shared)) {
        image.Release();
        return false;
    }
    calculation.Approximate(DeepApproximation{o.approximation, o.tolerance});
    DeepRowProgress rows(progress, view, calcWidth, calcHeight);
    result.deep = true;
    result.typeReason = reason;
    result.passes = calculation.CalculateToEnd(&rows);
    result.interrupted = progress != nullptr && progress->stopped;

    // The statistics of the other types: escaped counts only, the limit
    // when nothing escaped.
    IterationStatistics stats{view.IterEnd, -1, NotEscaped, NotEscaped, NotEscaped, NotEscaped};
    for (int32_t y = 0; y < calcHeight; ++y)
        for (int32_t x = 0; x < calcWidth; ++x) {
            const int32_t n = calculation.EscapeCountAt(x, y);
            if (n == NotEscaped) continue;
            stats.min = std::min(stats.min, n);
            stats.max = std::max(stats.max, n);
        }
    if (stats.max == -1) stats.max = view.IterEnd;
    stats.topLeft = calculation.EscapeCountAt(0, 0);
    stats.topRight = calculation.EscapeCountAt(calcWidth - 1, 0);
    stats.bottomLeft = calculation.EscapeCountAt(0, calcHeight - 1);
    stats.bottomRight = calculation.EscapeCountAt(calcWidth - 1, calcHeight - 1);
    result.stats = stats;

    const DeepStatistics& figures = calculation.Statistics();
    result.referenceShared = figures.referenceShared;
    const std::string where = !result.referenceMoved ? (o.referenceRe.empty() ? "" : ", at the centre: the view does not contain --reference")
                              : figures.referenceShared ? ", at --reference, shared"
                                                        : ", at --reference";
    result.deepFigures.push_back("Reference: " + std::to_string(figures.referenceSteps) + " steps at " +
                                 std::to_string(static_cast<long long>(deep.precision)) + " bits in " +
                                 Seconds(figures.referenceSeconds) + where);
    result.deepFigures.push_back("Pixel spacing: " + DeepSpacingText(deep) + ", differences in " +
                                 DeepDifferenceName(deep.difference));
    result.deepFigures.push_back("Steps: " + std::to_string(figures.steps) + ", rebases: " +
                                 std::to_string(figures.rebases));
    result.deepFigures.push_back(ApproximationFigures(o, figures));
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    if (!rgb || result.interrupted) {
        const bool saved = result.interrupted || WriteImageFile(image, output, error);
        image.Release();
        return saved;
    }
    const auto colourBegin = std::chrono::steady_clock::now();
    CalcState rule;
    SetColourParams(rule, colours);
    rule.IterEnd = view.IterEnd;
    RgbImage rgbImage;
    ComposeSampledRgb(o, rule, image, factor, o.smooth ? DeepSmoothValues(calculation, deep) : std::vector<double>{},
                      rgbImage);
    const auto end = std::chrono::steady_clock::now();
    result.colourSeconds = std::chrono::duration<double>(end - colourBegin).count();
    result.seconds = std::chrono::duration<double>(end - begin).count();
    image.Release();
    return WriteRgbImageFile(rgbImage, output, error);
}
