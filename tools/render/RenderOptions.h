// Command line of quaxel-render, the headless renderer: parsing and usage
// text, kept apart from main() so that they can be tested.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DeepBla.h"
#include "image/Gradient.h"

struct RenderOptions {
    long double realMin = -2.0L, realMax = 1.0L;
    long double imagMin = -1.5L, imagMax = 1.5L;
    long double constReal = 0.0L, constImag = 0.0L;
    bool julia = false;
    bool rangeGiven = false;  // without --real/--imag, the formula's start range
    int32_t iterStart = 64, iterInc = 64, iterEnd = 256;
    int numericType = 1;  // 0 CPU Fixed, 1 FPU Single, 2 FPU Double, 3 FPU Extended, kDeepType: deep
    int32_t width = 400, height = 300;
    int32_t palette = 1;
    bool percentage = false;
    int32_t shift = 0;
    bool insideColourEnabled = false;
    int32_t insideColour = 0;
    int32_t iterationsPerColour = 1;
    std::string output;  // .png writes a PNG, anything else a BMP
    // Deep views: a centre and zoom as decimal texts of any length (the
    // shorter side spans 4 / zoom), given or read from a location file.
    std::string centreRe, centreIm, zoom;
    bool centreGiven = false;
    std::string location;  // --location FILE
    // --reference RE IM: the deep type's reference orbit at this point
    // (when the view contains it), at --reference-precision bits or more;
    // a deep movie's frames take the one at its target's centre.
    std::string referenceRe, referenceIm;
    int32_t referencePrecision = 0;

    // What the command line gave explicitly overrides a saved view.
    bool constGiven = false, formulaGiven = false, iterGiven = false, typeGiven = false;
    std::string ini;        // --ini: quaxel.ini of the program
    std::string view;       // --view: a set saved there
    std::string listViews;  // --list-views FILE: print the names, nothing else
    // Zoom movies: --frames N frames from --from (or the start range) to
    // --zoom-to (or the view given as for one image); output is a pattern.
    int32_t frames = 0;  // 0: one image
    std::string from;
    std::string zoomTo;
    bool resume = false;  // frames whose file exists are skipped
    // --part K/N: this run makes the frames whose index is K mod N.
    int32_t part = 0, parts = 1;
    // RGB output (PNG only): smooth colouring, anti-aliasing, 16 bits.
    bool smooth = false;       // --colouring smooth: the continuous escape value on the palette's gradient
    GradientScale scale = GradientScale::Linear;
    bool scaleGiven = false;
    int32_t depth = 0;         // --depth 8 or 16; 0: not given (8 where RGB is written)
    int32_t supersample = 1;   // N x N samples per pixel
    bool supersampleGiven = false;
    bool adaptive = false;     // only pixels whose neighbours differ get the N x N samples
    // The deep type's bilinear approximation: on unless --approximation off,
    // with --tolerance for the entries' radii.
    bool approximation = true;
    double tolerance = kBlaDefaultTolerance;
};

// Whether the options ask for an RGB image (24 or 48 bits) instead of the
// program's 8-bit palette indices.
inline bool RgbOutput(const RenderOptions& o) { return o.smooth || o.supersampleGiven || o.depth != 0; }

constexpr int32_t kMaxSupersample = 16;

// numericType of the deep type (perturbation around an MPFR reference orbit).
constexpr int kDeepType = 4;

constexpr int32_t kMaxFrames = 100000;
constexpr int32_t kMaxSide = 65535;
constexpr int32_t kMaxReferenceBits = 1 << 24;

// Parses argv[1..] (saved views are read later, by ResolveViews); on error returns false with a one-line reason in `error`.
bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions& options, std::string& error);

const char* RenderUsage();

// Sets the ranges of a view given by centre and zoom (texts in the options),
// in extended as the hardware types need them; where extended cannot hold
// them apart they collapse (MIN == MAX) and only the deep type can
// take the view. False for a zoom that is no number above 0.
bool ApplyCentreAndZoom(RenderOptions& options, std::string& error);

// A movie's output pattern holds exactly one %d, %Nd or %0Nd (N below 100);
// "%%" is a percent sign.
bool PatternIsValid(const std::string& pattern);
// The file name of frame `frame` under a valid pattern.
std::string FrameFileName(const std::string& pattern, int32_t frame);

// The frames of part `part` of `parts` in a movie of `frames`, in order:
// every parts-th frame from `part` on. Interleaved rather than in blocks,
// so that each part gets shallow frames and deep ones alike and the parts
// of a zoom take about the same time.
std::vector<int32_t> PartFrames(int32_t frames, int32_t part, int32_t parts);
