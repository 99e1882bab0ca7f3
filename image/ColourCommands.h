// The arithmetic of the colour commands: palette cycling, rotation steps and
// the fitted colour spread. Portable; the commands themselves (which
// recolour the image and repaint it) are in ColourCommandsWin.cpp.
#pragma once

#include <cstdint>

// Palette number after `current` (+1) or before it (-1), wrapping within 1..count.
int32_t CycledPaletteNumber(int32_t current, int32_t direction, int32_t count);

// The shift after a step of -2, -1, 0, +1 or +2 (the large step is an eighth
// of the colours, at least one), always within 0 .. colourCount - 1.
int32_t ShiftedPalette(int32_t shift, int32_t step, int32_t colourCount);

// The spread that repeats the palette about n times over the counts from
// lowest to highest; at least 1.
int32_t FittedColourSpread(int32_t lowest, int32_t highest, int32_t colourCount, int32_t n);
