#include "image/Palette.h"

#include <cstring>

namespace {

using Level = int (*)(int k);

void SetEntry(uint8_t* table, int index, int red, int green, int blue) {
    uint8_t* entry = table + 4 * index;
    entry[0] = static_cast<uint8_t>(blue);
    entry[1] = static_cast<uint8_t>(green);
    entry[2] = static_cast<uint8_t>(red);
    entry[3] = 0;
}

// The single-hue runs: which of red, green and blue carry the level.
enum Hue { kBlue, kRed, kMagenta, kGreen, kCyan, kYellow, kGrey };

constexpr uint8_t kHueChannels[7][3] = {
    {0, 0, 1},  // blue
    {1, 0, 0},  // red
    {1, 0, 1},  // magenta
    {0, 1, 0},  // green
    {0, 1, 1},  // cyan
    {1, 1, 0},  // yellow
    {1, 1, 1},  // grey
};

void SetHue(uint8_t* table, int index, Hue hue, int level) {
    const uint8_t* on = kHueChannels[hue];
    SetEntry(table, index, on[0] * level, on[1] * level, on[2] * level);
}

constexpr Hue kScaleOrder[7] = {kBlue, kRed, kMagenta, kGreen, kCyan, kYellow, kGrey};
constexpr Hue kSawToothOrder[7] = {kBlue, kGreen, kCyan, kRed, kMagenta, kYellow, kGrey};

int Fire(uint8_t* table) {
    for (int k = 0; k < 64; ++k) {
        SetEntry(table, k, 4 * k, 0, 0);                                  // black to red
        SetEntry(table, 64 + k, 255, 4 * k, 0);                           // red to yellow
        SetEntry(table, 128 + k, 255, 255, 4 * k);                        // yellow to white
        SetEntry(table, 192 + k, 255 - 4 * k, 255 - 4 * k, 255 - 4 * k);  // white down to grey
    }
    return 256;
}

// Blue, magenta, red, yellow, green, cyan and round to blue: in each run one
// channel moves, rising by `rise` or falling by `fall`.
int ColourCircle(uint8_t* table, int runLength, Level rise, Level fall) {
    for (int k = 0; k < runLength; ++k) {
        const int u = rise(k);
        const int d = fall(k);
        SetEntry(table, k, u, 0, 255);
        SetEntry(table, runLength + k, 255, 0, d);
        SetEntry(table, 2 * runLength + k, 255, u, 0);
        SetEntry(table, 3 * runLength + k, d, 255, 0);
        SetEntry(table, 4 * runLength + k, 0, 255, u);
        SetEntry(table, 5 * runLength + k, 0, d, 255);
    }
    return 6 * runLength;
}

// Seven runs from black up to the full hue.
int ColourScales(uint8_t* table, int runLength, Level level) {
    for (int s = 0; s < 7; ++s) {
        for (int k = 0; k < runLength; ++k) SetHue(table, s * runLength + k, kScaleOrder[s], level(k));
    }
    return 7 * runLength;
}

// Seven runs that rise from black in `half` steps and fall back in as many.
int SawTooth(uint8_t* table, int half, Level level) {
    for (int s = 0; s < 7; ++s) {
        const int start = s * 2 * half;
        for (int k = 0; k < half; ++k) {
            const int u = level(k);
            SetHue(table, start + k, kSawToothOrder[s], u);
            SetHue(table, start + half + k, kSawToothOrder[s], 255 - u);
        }
    }
    return 14 * half;
}

int BlackAndWhite(uint8_t* table) {
    SetEntry(table, 0, 0, 0, 0);
    SetEntry(table, 1, 255, 255, 255);
    return 2;
}

int VgaStandard(uint8_t* table) {
    static constexpr uint8_t kVga[16][3] = {
        {0, 0, 128},   {0, 0, 255},   {128, 0, 0},   {255, 0, 0},
        {128, 0, 128}, {255, 0, 255}, {0, 128, 0},   {0, 255, 0},
        {0, 128, 128}, {0, 255, 255}, {128, 128, 0}, {255, 255, 0},
        {0, 0, 0},     {128, 128, 128}, {192, 192, 192}, {255, 255, 255},
    };
    for (int i = 0; i < 16; ++i) SetEntry(table, i, kVga[i][0], kVga[i][1], kVga[i][2]);
    return 16;
}

// Fills the table for palette n and returns its colour count; 0 for an
// unknown number, with the table untouched.
int FillPalette(uint8_t* table, int32_t n) {
    if (n < 1 || n > kPaletteCount) return 0;
    // Entries beyond the colour count are never referenced; zero keeps files
    // and the clipboard free of stale colours.
    std::memset(table, 0, kColourTableBytes);
    switch (n) {
    case 1: return Fire(table);
    case 2: return ColourCircle(table, 5, [](int k) { return 51 * k; }, [](int k) { return 255 - 51 * k; });
    case 3:
        return ColourCircle(table, 35, [](int k) { return 255 * k / 34; }, [](int k) { return 255 - 255 * k / 34; });
    case 4: return ColourCircle(table, 42, [](int k) { return 6 * k + 3; }, [](int k) { return 255 - 6 * k; });
    case 5: return ColourScales(table, 8, [](int k) { return 255 * k / 7; });
    case 6: return ColourScales(table, 16, [](int k) { return 17 * k; });
    case 7: return ColourScales(table, 36, [](int k) { return 255 * k / 35; });
    case 8: return SawTooth(table, 4, [](int k) { return 255 * k / 4; });
    case 9: return SawTooth(table, 18, [](int k) { return 255 * k / 18; });
    case 10: return BlackAndWhite(table);
    default: return VgaStandard(table);
    }
}

}  // namespace

void GeneratePalette(ColourState& colours, int32_t screenDepth, uint8_t colourTable[kColourTableBytes],
                     int32_t paletteNumber, PaletteRealiser* realiser) {
    colours.PaletteShift = 0;
    if (const int count = FillPalette(colourTable, paletteNumber); count > 0) colours.ColourCount = count;
    colours.PaletteCount = kPaletteCount;
    // Screens of more than 8 bits take the colours from the image's table
    // directly; 4-bit screens get no logical palette either.
    if (screenDepth == 8 && realiser != nullptr && colours.ColourCount > 0) {
        realiser->Realise(colourTable, colours.ColourCount);
    }
    // With no palette generated yet there is no index to clamp to.
    if (colours.ColourCount > 0 && colours.PomeSetColour >= colours.ColourCount) {
        colours.PomeSetColour = colours.ColourCount - 1;
    }
}
