// The colour commands: another palette, a rotated palette, another colour
// spread. None of them computes anything again: each ends in recolouring the
// image from the stored escape counts. Part of quaxel.exe.
#include <windows.h>

#include "dialogs/PomeDlg.h"
#include "image/ColourCommands.h"
#include "image/Palette.h"
#include "resources/rcinc.h"
#include "shell/DoPome.h"

namespace {

void RecolourStep() {
    SetColourParams(Calc, Colours.ColourCount, Colours.PaletteShift, Colours.ColourMode,
                    Colours.PomeSetColourEnabled, Colours.PomeSetColour, Colours.IterationsPerColour);
    // Without counts (the buffers could not be had) the picture stays as it
    // stands rather than turning into one flat colour.
    if (HasWorkBuffers(Calc)) Recolour(Calc, &Image);
    InvalidateRect(DrawingWindow, nullptr, FALSE);
    UpdateWindow(DrawingWindow);
}

// A new colour table means a new bitmap; the shift starts at 0 again.
void PaletteRebuild() {
    Image.Release();
    RebuildImage(Image.width, Image.height, false);
    // The new bitmap's pixels are undefined until they are recoloured; without
    // counts to recolour from, the test pattern shows the new palette.
    if (!HasWorkBuffers(Calc)) FillTestPattern(Image, Colours.ColourCount);
}

void CyclePalette(int32_t direction) {
    Colours.PaletteNumber = CycledPaletteNumber(Colours.PaletteNumber, direction, Colours.PaletteCount);
    PaletteRebuild();
    RecolourStep();
}

void SetColourSpread(int32_t n) {
    if (n < 1 || n == Colours.IterationsPerColour) return;
    Colours.IterationsPerColour = n;
    RecolourStep();
}

void FitColourSpread(int32_t n) {
    if (Calculating || Image.width < 48 || Image.height < 48) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    if (!HasWorkBuffers(Calc)) return;
    const IterationStatistics stats = IterationStats(Calc, PixelRect{0, 0, Image.width - 1, Image.height - 1});
    SetColourSpread(FittedColourSpread(stats.min, stats.max, Colours.ColourCount, n));
}

}  // namespace

void ShiftPalette(int32_t step) {
    Colours.PaletteShift = ShiftedPalette(Colours.PaletteShift, step, Colours.ColourCount);
    RecolourStep();
}

void RebuildPaletteKeepingShift() {
    const int32_t shift = Colours.PaletteShift;
    PaletteRebuild();
    Colours.PaletteShift = shift;
    RecolourStep();
}

bool ColourCommand(int command) {
    switch (command) {
    case CM_PALETTE:
        if (PaletteDialog(MainWindow)) RebuildPaletteKeepingShift();
        return true;
    case CM_NEXT_PALETTE: CyclePalette(+1); return true;
    case CM_PREV_PALETTE: CyclePalette(-1); return true;
    case CM_SHIFT_PREV: ShiftPalette(-1); return true;
    case CM_SHIFT_NEXT: ShiftPalette(+1); return true;
    case CM_SHIFT_BACK: ShiftPalette(-2); return true;
    case CM_SHIFT_FORWARD: ShiftPalette(+2); return true;
    default: break;
    }
    if (command >= CM_SPREAD_1 && command <= CM_SPREAD_10) {
        SetColourSpread(command - CM_SPREAD_1 + 1);
        return true;
    }
    if (command >= CM_FIT_1 && command <= CM_FIT_10) {
        FitColourSpread(command - CM_FIT_1 + 1);
        return true;
    }
    return false;
}
