// The colour commands. Windows only; they work on the program's record.
#pragma once

#include <cstdint>

// Carries out a colour command and answers true, or false for a command that
// is not one.
bool ColourCommand(int command);

// Rotates the palette by -2, -1, 0, +1 or +2 steps and recolours (0: just
// recolour with the current settings).
void ShiftPalette(int32_t step);

// Generates the palette anew at the current size, keeping the rotation.
void RebuildPaletteKeepingShift();
