// The palette generator's older form, on one global colour state and screen
// depth. The program keeps its colour state in its own record; the icon
// generator, the end-to-end suite's renderer check and the palette tests use
// these until they hold a state of their own. Included by Palette.h.
#pragma once

#include <cstdint>

#include "image/Palette.h"

inline ColourState Colours;
inline int32_t ScreenDepth = 0;

// Colours back to the start-up defaults.
inline void SetColourDefaults() { Colours = ColourState{}; }

// GeneratePalette(Colours, ScreenDepth, colourTable, paletteNumber).
inline void GeneratePalette(uint8_t colourTable[kColourTableBytes], int32_t paletteNumber) {
    GeneratePalette(Colours, ScreenDepth, colourTable, paletteNumber);
}
