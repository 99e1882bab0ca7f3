// The program's dialogs and the saved views. Windows only; the arithmetic
// and validation behind them is in PomeDlgLogic.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/CoordinateSet.h"

// Range dialog on `view`: true after OK, with every field written back.
bool RangeDialog(HWND owner, CoordinateSet& view);

// Iterations dialog: true after OK with a valid number stored in `endValue`.
bool IterationsDialog(HWND owner, int32_t& endValue);

// Display dialog on the image size and display scale: true after OK, with
// all three written back (sides of at least 2 pixels).
bool DisplayDialog(HWND owner, int32_t& width, int32_t& height, int32_t& scale);

// Colour Palette dialog on the program's colour settings: true after OK,
// with palette, colour mode, Pome-set colour and shift written back. Apply
// puts the settings into effect at once, while the dialog stays open.
bool PaletteDialog(HWND owner);

void AboutDialog(HWND owner);

// Asks for a name and saves `view` under it in quaxel.ini beside the program.
void SaveCoordinates(HWND owner, const CoordinateSet& view);

// Lets the user pick a saved view; true after OK with `view` overwritten.
bool LoadCoordinates(HWND owner, CoordinateSet& view);
