// The plane arithmetic of the navigation commands: zoom proposals, centring,
// widening, the constant under a pixel, the start ranges and the automatic
// zoom's random search. Portable; all of it in 80-bit extended precision,
// with pixels mapped exactly as the engine maps them.
#pragma once

#include <cstdint>

#include "engine/CoordinateSet.h"
#include "engine/PomeClc.h"

// True when the view's six co-ordinates (range and constant) are all finite.
// Near the top of the extended range, widening or zooming can leave it; a
// command whose result fails this changes nothing.
bool IsFiniteView(const CoordinateSet& view);

// The plane point of pixel (x, y) of a width x height image of `view`.
void PlanePointOf(const CoordinateSet& view, int32_t width, int32_t height, int32_t x, int32_t y,
                  long double& real, long double& imag);

// Clips `rect` (inclusive edges) at the right and bottom of the image and,
// when it still spans at least three columns and rows, sets the proposal's
// range to it. False (proposal untouched) for a thinner rectangle.
bool ProposeZoom(const CoordinateSet& current, int32_t width, int32_t height, PixelRect& rect,
                 CoordinateSet& proposal);

// Moves the range so that pixel (x, y) becomes its centre; the size stays.
void CentreOn(CoordinateSet& view, int32_t width, int32_t height, int32_t x, int32_t y);

// Widens the range to `code` percent of its size around its centre (110,
// 125, 150 or 200); any other code leaves it as it is.
void WidenBy(CoordinateSet& view, int32_t code);

// The start range of the view's formula and the start iterations 64/64/256.
void SetStartRange(CoordinateSet& view);

// random(n): an integer from 0 to n - 1.
struct RandomSource {
    virtual int32_t Next(int32_t n) = 0;

protected:
    ~RandomSource() = default;
};

enum class AutoZoomOutcome : uint8_t {
    TooSmall,    // the image is narrower or lower than 48 pixels: beep
    TooPlain,    // the counts span 16 or less: nothing to find
    Found,       // zoom into the rectangle, without asking
    NotFound,    // 250 tries without a detailed rectangle: zoom out by half
};

// Searches the computed image for a rectangle of the image's aspect ratio that
// holds its most detailed point, reaches below the middle count and has four
// different corner counts.
AutoZoomOutcome SearchZoomRectangle(const CalcState& state, RandomSource& random, PixelRect& found);
