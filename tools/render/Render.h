// Headless rendering: runs the engine the way quaxel's message loop does and
// writes the finished image as a BMP or PNG file; reads the views the program
// saved; lays out the views of a zoom movie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/PomeClc.h"
#include "tools/render/RenderOptions.h"

struct RenderResult {
    NumericType requested = NumericType::FpuSingle;   // the type asked for (or the program's default)
    NumericType numericType = NumericType::FpuSingle;  // the type the set-up settled on
    std::string typeReason;                            // why that one, for the output
    IterationStatistics stats{};
    int32_t passes = 0;
    double seconds = 0.0;
    std::string notes;  // precision messages the engine raised, one per line
    bool interrupted = false;  // the progress ended the run: nothing was written
    bool deep = false;         // computed in the deep type (numericType then means nothing)
    std::vector<std::string> deepFigures;  // the reference, steps and rebases, one line each
    bool referenceMoved = false;   // the deep type's reference is at --reference, not the centre
    bool referenceShared = false;  // ... and was copied from the shared one
    int64_t refinedPixels = -1;  // adaptive supersampling: the pixels that got N x N samples
    double colourSeconds = 0.0;  // RGB output: the time of the values, samples and colours
};

// An RGB image: width x height pixels of red, green, blue, top row first,
// 0 to 255 (depth 8) or 0 to 65535 (depth 16) each.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 8;
    std::vector<uint16_t> samples;
};

class DeepReference;

// Told after every row; answering false (and setting `stopped`) ends the
// image unfinished, and it is then not written.
struct RenderProgress : RowProgress {
    bool stopped = false;

protected:
    ~RenderProgress() = default;
};

// One image of the options' own view: false with a one-line reason in
// `error` when the image cannot be made or computed or the file cannot be
// written.
bool Render(const RenderOptions& options, RenderResult& result, std::string& error);

// One image of `view`: computed with `requested` as the program's set-up
// would (a type too coarse for the range falls back as when its question is
// answered OK), then written to `output` unless the progress ended the run.
// A deep image whose reference is `shared`'s point and precision copies its
// orbit instead of computing it (the same bytes).
bool RenderView(const RenderOptions& options, const CoordinateSet& view, NumericType requested, bool typeGiven,
                const std::string& output, RenderProgress* progress, RenderResult& result, std::string& error,
                const DeepReference* shared = nullptr);

// The view the options describe without a saved one: the ranges or the
// formula's start range, the constant, formula and iteration values.
CoordinateSet OptionsView(const RenderOptions& options);
// What the command line gave explicitly replaces the saved value.
void ApplyExplicitOptions(const RenderOptions& options, CoordinateSet& view);

// Reads the set `name` from the INI file with the Load command's reader and
// fallbacks. A missing file or set is an error (naming the sets there are);
// a value the Load command would replace by its default adds a warning.
bool ReadSavedView(const std::string& iniPath, const std::string& name, CoordinateSet& view,
                   std::vector<std::string>& warnings, std::string& error);
bool ListSavedViews(const std::string& iniPath, std::vector<std::string>& names, std::string& error);

// Frame `frame` (0 to frames - 1) of a zoom from `start` to `target`: the
// width and height shrink by the same factor from frame to frame, and the
// centre moves so that the point both views share under that zoom stays in
// place; the iteration values go log-linearly. Frame 0 is `start` and the
// last frame `target` exactly; formula and constant are the target's.
CoordinateSet MovieFrameView(const CoordinateSet& start, const CoordinateSet& target, int32_t frame, int32_t frames);

// Bytes a width x height image and its work buffers take in `type` in this
// build (the pixel rows, the per-row and per-column values, a record per
// pixel), in 64 bits.
uint64_t CalculationBytes(int32_t width, int32_t height, NumericType type);
// Bytes the cycle check's checkpoints add to that when there is room for them.
uint64_t CheckpointBytes(int32_t width, int32_t height, NumericType type);
// The memory this process can still have; 0 when it cannot be found out.
uint64_t AvailableMemory();

// Writes the image as PNG when `path` ends in ".png" (any case), else as
// BMP, beside the target first and moved there only when complete.
bool WriteImageFile(const DibImage& image, const std::string& path, std::string& error);
bool HasPngExtension(const std::string& path);
// Writes an RGB PNG the same way.
bool WriteRgbImageFile(const RgbImage& image, const std::string& path, std::string& error);

// The view whose grid of width * factor x height * factor points holds the
// factor x factor samples of each pixel of `view` on a width x height grid,
// at the centres of equal parts of the pixel's square.
CoordinateSet SupersampledView(const CoordinateSet& view, int32_t width, int32_t height, int32_t factor);

// Bytes RGB output adds to the calculation's: the RGB image, the smooth
// values of every sample and, adaptive, a mark per pixel.
uint64_t RgbBytes(const RenderOptions& options);

// The RGB image of a finished calculation whose state holds factor x factor
// samples per pixel of the options' size (adaptive: one, and the marked
// pixels get theirs computed here). `samples` is the calculation's image.
void ComposeRgb(const RenderOptions& options, const CalcState& state, const DibImage& samples, int32_t factor,
                RgbImage& out, int64_t& refinedPixels);
// The same from samples computed elsewhere (the deep type): `colours` gives
// only the colour rule, `values` v of each sample (-1 inside; empty without
// smooth colouring).
void ComposeSampledRgb(const RenderOptions& options, const CalcState& colours, const DibImage& samples,
                       int32_t factor, std::vector<double> values, RgbImage& out);
