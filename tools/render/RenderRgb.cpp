// RGB output: each pixel's samples coloured (the palette index of the count,
// or the smooth value on the palette's gradient), averaged in linear light
// and written in sRGB. The work is split over the row threads by rows or by
// pixels, each of which is computed alone, so the bytes do not depend on
// their number.
#include <algorithm>
#include <type_traits>
#include <vector>

#include "engine/CycleCheck.h"
#include "engine/FastKernels.h"
#include "engine/PomeClcKernels.h"
#include "engine/PomeFix.h"
#include "engine/RowPool.h"
#include "image/Gradient.h"
#include "tools/render/Render.h"
#include "tools/render/Smooth.h"

namespace {

// A neighbour that differs from a pixel by more than this many 8-bit sRGB
// levels in a channel marks the pixel for adaptive supersampling: about the
// step at which neighbouring colours stop looking like one smooth band.
constexpr int32_t kAdaptiveLevels = 4;

struct Composer {
    const RenderOptions* o;
    const CalcState* state;
    const DibImage* samples;
    int32_t factor;
    std::vector<double> values;  // v of each sample (-1 inside); empty without smooth colouring
    GradientRule rule;
    RgbImage* out;
    std::vector<int64_t> marked;  // adaptive: the pixels refined (y * width + x), row after row
    std::vector<int64_t> markedRows;  // where each row's run of marked pixels begins in `marked`, and the end
};

LinearRgb ValueColour(const Composer& c, double v) {
    return GradientColour(c.samples->info.colours, c.state->ColourCount, GradientPosition(c.rule, v));
}

// The colour of sample (sx, sy) of the calculation's grid.
LinearRgb SampleColour(const Composer& c, int32_t sx, int32_t sy) {
    const DibImage& image = *c.samples;
    const size_t index = static_cast<size_t>(sy) * static_cast<size_t>(image.width) + static_cast<size_t>(sx);
    if (!c.values.empty() && c.values[index] >= 0.0) return ValueColour(c, c.values[index]);
    const uint8_t* row = image.pixels + static_cast<size_t>(image.height - 1 - sy) * static_cast<size_t>(image.stride);
    return LinearOf(image.info.colours[row[sx]]);
}

void Store(RgbImage& out, int64_t pixel, const LinearRgb& sum, double weight) {
    uint16_t* rgb = out.samples.data() + pixel * 3;
    rgb[0] = QuantiseSrgb(sum.r / weight, out.depth);
    rgb[1] = QuantiseSrgb(sum.g / weight, out.depth);
    rgb[2] = QuantiseSrgb(sum.b / weight, out.depth);
}

void ComposeRows(void* context, int64_t first, int64_t last) {
    const Composer& c = *static_cast<const Composer*>(context);
    const int32_t width = c.out->width, f = c.factor;
    for (int64_t y = first; y < last; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            LinearRgb sum;
            for (int32_t j = 0; j < f; ++j) {
                for (int32_t i = 0; i < f; ++i) {
                    const LinearRgb s = SampleColour(c, x * f + i, static_cast<int32_t>(y) * f + j);
                    sum.r += s.r;
                    sum.g += s.g;
                    sum.b += s.b;
                }
            }
            Store(*c.out, y * width + x, sum, static_cast<double>(f) * static_cast<double>(f));
        }
    }
}

template <typename T>
T ToType(long double value) {
    if constexpr (std::is_same_v<T, int32_t>) return ToFixed(value);
    else return static_cast<T>(value);
}

// The N x N samples of the marked pixels of one image row, sample row by
// sample row: each is a span of the kernels (its points' real parts as the
// span's columns), iterated from the start to the limit in one go on the
// active path with the cycle check, which gives what the passes give.
template <typename T>
void RefineRows(void* context, int64_t first, int64_t last) {
    const Composer& c = *static_cast<const Composer*>(context);
    const CalcState& s = *c.state;
    const int32_t n = c.o->supersample, limit = s.CurrentLimit;
    const bool julia = s.formula == FormulaKind::JuliaSet;
    // CPU Fixed orbits start at the point, the FPU types' Mandelbrot orbits
    // at the constant (zero).
    const bool fromPoint = julia || std::is_same_v<T, int32_t>;
    const long double spanR = s.RealMax - s.RealMin, spanI = s.ImagMax - s.ImagMin;
    const long double w1 = static_cast<long double>(s.width - 1), h1 = static_cast<long double>(s.height - 1);
    const T constR = ToType<T>(s.ConstReal), constI = ToType<T>(s.ConstImag);
    std::vector<PixelRecord<T>> records;
    std::vector<T> reals;
    std::vector<int32_t> counts;
    std::vector<Checkpoint<T>> checkpoints;
    std::vector<LinearRgb> sums;
    for (int64_t r = first; r < last; ++r) {
        const int64_t begin = c.markedRows[static_cast<size_t>(r)], end = c.markedRows[static_cast<size_t>(r) + 1];
        const int64_t y = c.marked[static_cast<size_t>(begin)] / s.width;
        const size_t samples = static_cast<size_t>(end - begin) * static_cast<size_t>(n);
        records.resize(samples);
        reals.resize(samples);
        counts.resize(samples);
        checkpoints.resize(samples);
        sums.assign(static_cast<size_t>(end - begin), LinearRgb{});
        for (int32_t j = 0; j < n; ++j) {
            const long double ys = static_cast<long double>(y) + (static_cast<long double>(j) + 0.5L) / n - 0.5L;
            const T pointI = ToType<T>(s.ImagMax - (spanI * ys) / h1);
            for (int64_t k = begin; k < end; ++k) {
                const int64_t x = c.marked[static_cast<size_t>(k)] % s.width;
                for (int32_t i = 0; i < n; ++i) {
                    const size_t at = static_cast<size_t>(k - begin) * static_cast<size_t>(n) + static_cast<size_t>(i);
                    const long double xs =
                        static_cast<long double>(x) + (static_cast<long double>(i) + 0.5L) / n - 0.5L;
                    reals[at] = ToType<T>((spanR * xs) / w1 + s.RealMin);
                    records[at] = PixelRecord<T>{fromPoint ? reals[at] : constR, fromPoint ? pointI : constI, NotEscaped};
                    ClearCheckpoint(checkpoints[at]);
                }
            }
            OrbitSpan<T> span;
            span.pixels = records.data();
            span.columnReal = julia ? nullptr : reals.data();
            span.constReal = julia ? constR : T{};
            span.constImag = julia ? constI : pointI;
            span.count = static_cast<int32_t>(samples);
            span.from = 0;
            span.limit = limit;
            span.counts = counts.data();
            span.checkpoints = limit > kFirstCheckpoint ? checkpoints.data() : nullptr;
            IterateSpan(ActiveKernelPath(), span);
            for (size_t at = 0; at < samples; ++at) {
                const bool inside = counts[at] >= limit;
                LinearRgb colour;
                if (c.o->smooth && !inside) {
                    colour = ValueColour(c, RecordValue(records[at], reals[at], pointI, julia ? constR : reals[at],
                                                        julia ? constI : pointI));
                } else {
                    colour = LinearOf(c.samples->info.colours[PixelIndex(s, inside ? NotEscaped : counts[at],
                                                                         counts[at])]);
                }
                LinearRgb& sum = sums[at / static_cast<size_t>(n)];
                sum.r += colour.r;
                sum.g += colour.g;
                sum.b += colour.b;
            }
        }
        for (int64_t k = begin; k < end; ++k)
            Store(*c.out, c.marked[static_cast<size_t>(k)], sums[static_cast<size_t>(k - begin)],
                  static_cast<double>(n) * static_cast<double>(n));
    }
}

// Pixels with a neighbour (of eight) more than kAdaptiveLevels apart in a
// channel.
std::vector<int64_t> MarkEdges(const RgbImage& image) {
    const int32_t limit = image.depth == 16 ? kAdaptiveLevels * 257 : kAdaptiveLevels;
    std::vector<int64_t> marked;
    const int32_t w = image.width, h = image.height;
    auto at = [&](int32_t x, int32_t y, int ch) {
        return static_cast<int32_t>(image.samples[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(ch)]);
    };
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            bool edge = false;
            for (int32_t dy = -1; dy <= 1 && !edge; ++dy) {
                for (int32_t dx = -1; dx <= 1 && !edge; ++dx) {
                    const int32_t nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    for (int ch = 0; ch < 3; ++ch) edge |= std::abs(at(nx, ny, ch) - at(x, y, ch)) > limit;
                }
            }
            if (edge) marked.push_back(static_cast<int64_t>(y) * w + x);
        }
    }
    return marked;
}

}  // namespace

CoordinateSet SupersampledView(const CoordinateSet& view, int32_t width, int32_t height, int32_t factor) {
    if (factor <= 1) return view;
    // The samples' grid reaches (factor - 1) / (2 factor) of a pixel beyond
    // the pixels' outer centres on each side.
    const long double part = static_cast<long double>(factor - 1) / (2.0L * static_cast<long double>(factor));
    const long double edgeR = (view.RealMax - view.RealMin) / static_cast<long double>(width - 1) * part;
    const long double edgeI = (view.ImagMax - view.ImagMin) / static_cast<long double>(height - 1) * part;
    CoordinateSet big = view;
    big.RealMin = view.RealMin - edgeR;
    big.RealMax = view.RealMax + edgeR;
    big.ImagMin = view.ImagMin - edgeI;
    big.ImagMax = view.ImagMax + edgeI;
    return big;
}

uint64_t RgbBytes(const RenderOptions& o) {
    const uint64_t pixels = static_cast<uint64_t>(o.width) * static_cast<uint64_t>(o.height);
    const uint64_t factor = o.adaptive ? 1 : static_cast<uint64_t>(o.supersample);
    // Adaptive: a mark per pixel at most, and per thread one sample row of
    // records, points, counts, checkpoints and sums in the widest type.
    const uint64_t sampleRow = static_cast<uint64_t>(o.width) * static_cast<uint64_t>(o.supersample) *
                               (sizeof(PixelRecord<long double>) + sizeof(long double) + sizeof(int32_t) +
                                sizeof(Checkpoint<long double>) + sizeof(LinearRgb));
    return pixels * 6 + (o.smooth ? pixels * factor * factor * sizeof(double) : 0) +
           (o.adaptive ? pixels * 2 * sizeof(int64_t) + static_cast<uint64_t>(RowThreads()) * sampleRow : 0);
}

namespace {

void ComposeInto(Composer& c) {
    const RenderOptions& o = *c.o;
    c.rule = GradientRule{c.state->ColourCount, c.state->PaletteShift, c.state->ColourMode,
                          c.state->IterationsPerColour, c.state->IterEnd, o.scale};
    c.out->width = o.width;
    c.out->height = o.height;
    c.out->depth = o.depth == 16 ? 16 : 8;
    c.out->samples.assign(static_cast<size_t>(o.width) * static_cast<size_t>(o.height) * 3, 0);
    ParallelParts(o.height, &ComposeRows, &c);
}

}  // namespace

void ComposeSampledRgb(const RenderOptions& o, const CalcState& colours, const DibImage& samples, int32_t factor,
                       std::vector<double> values, RgbImage& out) {
    Composer c{&o, &colours, &samples, factor, std::move(values), {}, &out, {}, {}};
    ComposeInto(c);
}

void ComposeRgb(const RenderOptions& o, const CalcState& state, const DibImage& samples, int32_t factor,
                RgbImage& out, int64_t& refinedPixels) {
    Composer c{&o, &state, &samples, factor, {}, {}, &out, {}, {}};
    if (o.smooth) {
        c.values.resize(static_cast<size_t>(samples.width) * static_cast<size_t>(samples.height));
        SmoothValues(state, c.values.data());
    }
    ComposeInto(c);
    refinedPixels = -1;
    if (!o.adaptive || o.supersample <= 1) return;
    c.values.clear();
    c.values.shrink_to_fit();
    c.marked = MarkEdges(out);
    refinedPixels = static_cast<int64_t>(c.marked.size());
    for (size_t k = 0; k < c.marked.size(); ++k)
        if (k == 0 || c.marked[k] / o.width != c.marked[k - 1] / o.width) c.markedRows.push_back(static_cast<int64_t>(k));
    const int64_t rows = static_cast<int64_t>(c.markedRows.size());
    c.markedRows.push_back(refinedPixels);
    std::visit(
        [&](const auto& buffers) {
            using B = std::decay_t<decltype(buffers)>;
            if constexpr (!std::is_same_v<B, std::monostate>) {
                using T = std::decay_t<decltype(buffers.Pixels[0].Zr)>;
                ParallelParts(rows, &RefineRows<T>, &c);
            }
        },
        state.workBuffers);
}
