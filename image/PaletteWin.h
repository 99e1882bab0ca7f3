// The logical palette of 8-bit screens. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "image/DibSect.h"

// Makes GeneratePalette realise its palettes into the device context of
// `mainWindow`. The main routine calls it once the main window exists.
void AttachPaletteToWindow(HWND mainWindow);

// Replaces the logical palette by one of the first `colourCount` table
// entries and realises it into the main window's device context.
void RealisePalette(const uint8_t colourTable[kColourTableBytes], int32_t colourCount);

// The current logical palette, or nullptr on screens that need none. The
// drawing window selects it while it paints.
HPALETTE LogicalPalette();

// Deletes the logical palette at program end.
void DeleteLogicalPalette();
