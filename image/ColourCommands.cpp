#include "image/ColourCommands.h"

#include <algorithm>

int32_t CycledPaletteNumber(int32_t current, int32_t direction, int32_t count) {
    const int32_t next = current + direction;
    if (next > count) return 1;
    if (next < 1) return count;
    return next;
}

int32_t ShiftedPalette(int32_t shift, int32_t step, int32_t colourCount) {
    const int64_t count = std::max(colourCount, 1);
    const int64_t large = std::max<int64_t>(count / 8, 1);
    int64_t moved = shift;
    switch (step) {
    case 1: moved += 1; break;
    case -1: moved -= 1; break;
    case 2: moved += large; break;
    case -2: moved -= large; break;
    default: return shift;
    }
    moved %= count;
    if (moved < 0) moved += count;
    return static_cast<int32_t>(moved);
}

int32_t FittedColourSpread(int32_t lowest, int32_t highest, int32_t colourCount, int32_t n) {
    const int64_t span = int64_t{highest} - lowest;
    const int64_t perColour = span / std::max(colourCount, 1);
    const int64_t spread = perColour / std::max(n, 1);
    return static_cast<int32_t>(std::clamp<int64_t>(spread, 1, INT32_MAX));
}
