// The program's dialogs and the saved views. Windows only; the arithmetic
// and validation behind them is in PomeDlgLogic.h. Each dialog works on the
// record its caller hands it and writes it back only on OK; none of them
// reaches for the program's own state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "dialogs/PomeDlgLogic.h"
#include "engine/CoordinateSet.h"

// Range dialog on `view`: true after OK, with every field written back.
bool RangeDialog(HWND owner, CoordinateSet& view);

// Iterations dialog: true after OK with a valid number stored in `endValue`.
bool IterationsDialog(HWND owner, int32_t& endValue);

// Display dialog on the image size and display scale: true after OK, with
// all three written back (sides of at least 2 pixels). `memoryInUse` is what
// the current calculation holds (MemoryRequirement of its size and type, 0
// without buffers): it is given back before a new size is made, so it counts
// as available.
bool DisplayDialog(HWND owner, int32_t& width, int32_t& height, int32_t& scale, uint32_t memoryInUse);

// Apply in the Colour Palette dialog hands the dialog's settings to this,
// which puts them into effect while the dialog stays open.
using PaletteApply = std::function<void(const PaletteSettings& applied)>;

// Colour Palette dialog on `settings`: true after OK, with all five written
// back. What Apply put into effect stays, whatever the dialog ends with.
bool PaletteDialog(HWND owner, PaletteSettings& settings, const PaletteApply& apply);

void AboutDialog(HWND owner);

// The saved views live in the INI file `iniPath`; an empty path means the
// program's own path could not be had in full, and the file is then neither
// read nor written. `setName` is the name both dialogs offer; a confirmed
// dialog replaces it with the typed or chosen name.

// Asks for a name and saves `view` under it.
void SaveCoordinates(HWND owner, const std::string& iniPath, std::string& setName, const CoordinateSet& view);

// Lets the user pick a saved view; true after OK with `view` overwritten.
bool LoadCoordinates(HWND owner, const std::string& iniPath, std::string& setName, CoordinateSet& view);
