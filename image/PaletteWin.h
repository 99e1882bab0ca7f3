// The logical palette of 8-bit screens. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "image/DibSect.h"
#include "image/Palette.h"

// The logical palette and the window whose device context it is realised
// into. The program keeps one in its record (shell/ProgramState.h) and hands
// it to every palette generation; the palette is deleted explicitly at the end.
class LogicalPalette final : public PaletteRealiser {
public:
    // Realises into `mainWindow`'s device context from now on. The main
    // routine calls it once the main window exists.
    void AttachTo(HWND mainWindow) { window_ = mainWindow; }

    // Replaces the logical palette by one of the first `colourCount` table
    // entries and realises it into the window's device context.
    void Realise(const uint8_t colourTable[kColourTableBytes], int32_t colourCount) override;

    // The current logical palette, or nullptr on screens that need none. The
    // drawing window selects it while it paints.
    HPALETTE Handle() const { return palette_; }

    // Deletes the logical palette (at program end).
    void Delete();

private:
    HWND window_ = nullptr;
    HPALETTE palette_ = nullptr;
};
