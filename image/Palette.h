// The colour state and the eleven generated palettes.
// Portable: the logical palette of 8-bit screens is made by a realiser that
// the Windows side hands to the generation (PaletteWin.h); without one,
// generation only fills the colour table.
#pragma once

#include <cstdint>

#include "engine/PomeClc.h"
#include "image/DibSect.h"

constexpr int32_t kPaletteCount = 11;

// The program holds one, in its record (shell/ProgramState.h). The engine
// receives these values through SetColourParams before every recolouring and
// calculation start.
struct ColourState {
    int32_t PaletteNumber = 1;         // 1 (Fire) to 11
    int32_t PaletteCount = kPaletteCount;
    int32_t ColourCount = 0;           // set by the first generation, then 2 to 256
    int32_t PaletteShift = 0;          // rotation, 0 to ColourCount - 1
    bool ColourMode = false;           // false = Modulo, true = Percentage
    bool PomeSetColourEnabled = false; // paint points that did not escape with PomeSetColour
    int32_t PomeSetColour = 0;         // palette index for points inside the set
    int32_t IterationsPerColour = 1;   // divisor of the count in Modulo determination
};

// The colour state's values the engine reads.
inline ColourParams EngineColours(const ColourState& colours) {
    return ColourParams{colours.ColourCount,          colours.PaletteShift,  colours.ColourMode,
                        colours.PomeSetColourEnabled, colours.PomeSetColour, colours.IterationsPerColour};
}

// Makes a newly generated table the screen's palette on an 8-bit screen: the
// program's is the logical palette of its main window (PaletteWin.h).
struct PaletteRealiser {
    virtual void Realise(const uint8_t colourTable[kColourTableBytes], int32_t colourCount) = 0;

protected:
    ~PaletteRealiser() = default;
};

// Fills the 1024-byte table (blue, green, red, 0 per entry) for the palette,
// sets the colours' ColourCount, resets their PaletteShift, hands the table
// and its count to `realiser` when the screen depth (bits per pixel times
// planes) is 8, a palette-based screen, and keeps PomeSetColour below
// ColourCount. Entries from ColourCount on are zero. An unknown palette number
// leaves the table and ColourCount as they are. A default ColourState is the
// start-up state (ColourCount 0 until the first generation).
void GeneratePalette(ColourState& colours, int32_t screenDepth, uint8_t colourTable[kColourTableBytes],
                     int32_t paletteNumber, PaletteRealiser* realiser = nullptr);
