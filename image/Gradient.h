// Colours between the palette's entries: the renderer's smooth colouring and
// anti-aliasing mix colours in linear light and write them in sRGB. Every
// function here gives the same bits on every platform: the logarithm and the
// power are our own, in double with a fixed order of operations, and the
// sRGB decoding is a table in the source, so no math library decides a pixel.
#pragma once

#include <cstdint>

#include "image/DibSect.h"

// log2 and 2^x of finite arguments (log2: x > 0), good to about one unit in
// the last place.
double PortableLog2(double x);
double PortableExp2(double x);

// The 8-bit sRGB levels in linear light (IEC 61966-2-1), 0 to 1.
extern const double kSrgbToLinear[256];

// Linear light (0 to 1, clamped) to the sRGB-encoded value, 0 to 1.
double EncodeSrgb(double linear);
// The encoded value as a whole number of 0 to 255 (depth 8) or 0 to 65535
// (depth 16), rounded to nearest.
uint16_t QuantiseSrgb(double linear, int depth);

struct LinearRgb {
    double r = 0.0, g = 0.0, b = 0.0;
};

LinearRgb LinearOf(const RgbQuad& colour);

// How the continuous escape value v becomes a place on the palette: v is
// scaled (linear, square root or log2(1 + v)), then divided by the
// iterations per colour (modulo) or taken as a share of the scaled IterEnd
// times the colour count (percentage), and the shift added, as the 8-bit
// colour rule does with the count.
enum class GradientScale : uint8_t { Linear, Sqrt, Log };

struct GradientRule {
    int32_t colourCount = 2;
    int32_t shift = 0;
    bool percentage = false;
    int32_t iterationsPerColour = 1;
    int32_t iterEnd = 1;
    GradientScale scale = GradientScale::Linear;
};

// The place of v on the palette, in [0, colourCount): entry floor(p), and
// the fraction of the way to the next entry (the last one's next is the
// first: the gradient is a ring).
double GradientPosition(const GradientRule& rule, double v);

// The colour at place p of the table's first colourCount entries, mixed in
// linear light.
LinearRgb GradientColour(const RgbQuad* colours, int32_t colourCount, double position);
