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

// Asks for a name and saves `view` under it in quaxel.ini beside the program.
bool SaveCoordinates(HWND owner, const CoordinateSet& view);

// Lets the user pick a saved view; true after OK with `view` overwritten.
bool LoadCoordinates(HWND owner, CoordinateSet& view);
