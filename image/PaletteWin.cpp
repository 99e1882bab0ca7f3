#include "image/PaletteWin.h"

#include <cstddef>
#include <vector>

#include "image/Palette.h"

namespace {

HWND g_paletteWindow = nullptr;
HPALETTE g_palette = nullptr;

}  // namespace

void AttachPaletteToWindow(HWND mainWindow) {
    g_paletteWindow = mainWindow;
    SetPaletteRealiser(RealisePalette);
}

void RealisePalette(const uint8_t colourTable[kColourTableBytes], int32_t colourCount) {
    if (colourCount < 1 || colourCount > kColourTableEntries) return;

    // LOGPALETTE declares one entry; the block carries all of them.
    std::vector<uint8_t> block(offsetof(LOGPALETTE, palPalEntry) + colourCount * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(colourCount);
    PALETTEENTRY* entries = logical->palPalEntry;
    for (int32_t i = 0; i < colourCount; ++i) {
        const uint8_t* entry = colourTable + 4 * i;  // blue, green, red, reserved
        entries[i].peRed = entry[2];
        entries[i].peGreen = entry[1];
        entries[i].peBlue = entry[0];
        entries[i].peFlags = 0;
    }

    DeleteLogicalPalette();
    g_palette = CreatePalette(logical);
    if (g_palette == nullptr) return;

    HDC dc = GetDC(g_paletteWindow);
    if (dc == nullptr) return;
    HPALETTE previous = SelectPalette(dc, g_palette, FALSE);
    RealizePalette(dc);
    SelectPalette(dc, previous, TRUE);
    ReleaseDC(g_paletteWindow, dc);
}

HPALETTE LogicalPalette() { return g_palette; }

void DeleteLogicalPalette() {
    if (g_palette != nullptr) DeleteObject(g_palette);
    g_palette = nullptr;
}
