#include "image/PaletteWin.h"

#include <cstddef>
#include <vector>

#include "image/Palette.h"

void LogicalPalette::Realise(const uint8_t colourTable[kColourTableBytes], int32_t colourCount) {
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

    Delete();
    palette_ = CreatePalette(logical);
    if (palette_ == nullptr) return;

    HDC dc = GetDC(window_);
    if (dc == nullptr) return;
    HPALETTE previous = SelectPalette(dc, palette_, FALSE);
    RealizePalette(dc);
    SelectPalette(dc, previous, TRUE);
    ReleaseDC(window_, dc);
}

void LogicalPalette::Delete() {
    if (palette_ != nullptr) DeleteObject(palette_);
    palette_ = nullptr;
}
