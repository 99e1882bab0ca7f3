// The colour commands: another palette, a rotated palette, another colour
// spread. None of them computes anything again: each ends in recolouring the
// image from the stored escape counts. Part of quaxel.exe.
#include "image/ColourCommandsWin.h"

#include <windows.h>

#include "dialogs/PomeDlg.h"
#include "image/ColourCommands.h"
#include "image/ImageInitWin.h"
#include "image/Palette.h"
#include "resources/rcinc.h"
#include "shell/ProgramState.h"

namespace {

void RecolourStep() {
    SetColourParams(Program.Calc, EngineColours(Program.Colours));
    // Without counts (the buffers could not be had) the picture stays as it
    // stands rather than turning into one flat colour.
    if (HasWorkBuffers(Program.Calc)) Recolour(Program.Calc, &Program.Image);
    InvalidateRect(Program.DrawingWindow, nullptr, FALSE);
    UpdateWindow(Program.DrawingWindow);
}

// A new colour table means a new bitmap; the shift starts at 0 again.
void PaletteRebuild() {
    Program.Image.Release();
    RebuildImage(Program.Image.width, Program.Image.height, false);
    // The new bitmap's pixels are undefined until they are recoloured; without
    // counts to recolour from, the test pattern shows the new palette.
    if (!HasWorkBuffers(Program.Calc)) FillTestPattern(Program.Image, Program.Colours.ColourCount);
}

void CyclePalette(int32_t direction) {
    Program.Colours.PaletteNumber =
        CycledPaletteNumber(Program.Colours.PaletteNumber, direction, Program.Colours.PaletteCount);
    PaletteRebuild();
    RecolourStep();
}

void SetColourSpread(int32_t n) {
    if (n < 1 || n == Program.Colours.IterationsPerColour) return;
    Program.Colours.IterationsPerColour = n;
    RecolourStep();
}

PaletteSettings PaletteSettingsOf(const ColourState& colours) {
    return PaletteSettings{colours.PaletteNumber, colours.ColourMode, colours.PomeSetColourEnabled,
                           colours.PomeSetColour, colours.PaletteShift};
}

void AdoptPaletteSettings(ColourState& colours, const PaletteSettings& settings) {
    colours.PaletteNumber = settings.palette;
    colours.ColourMode = settings.colourMode;
    colours.PomeSetColourEnabled = settings.setColourEnabled;
    colours.PomeSetColour = settings.setColour;
    colours.PaletteShift = settings.shift;
}

// Apply in the Colour Palette dialog: the settings take effect at once, and
// the main window recolours with them, or rebuilds a changed palette keeping
// the shift, before the dialog goes on.
void ApplyPaletteSettings(const PaletteSettings& applied) {
    const UINT message = ApplyMessage(applied.palette, Program.Colours.PaletteNumber);
    AdoptPaletteSettings(Program.Colours, applied);
    SendMessageA(Program.MainWindow, message, 0, 0);
}

void PaletteCommand() {
    PaletteSettings settings = PaletteSettingsOf(Program.Colours);
    if (!PaletteDialog(Program.MainWindow, settings, ApplyPaletteSettings)) return;
    AdoptPaletteSettings(Program.Colours, settings);
    RebuildPaletteKeepingShift();
}

void FitColourSpread(int32_t n) {
    if (Program.Calculating || Program.Image.width < 48 || Program.Image.height < 48) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    if (!HasWorkBuffers(Program.Calc)) return;
    const IterationStatistics stats =
        IterationStats(Program.Calc, PixelRect{0, 0, Program.Image.width - 1, Program.Image.height - 1});
    SetColourSpread(FittedColourSpread(stats.min, stats.max, Program.Colours.ColourCount, n));
}

}  // namespace

void ShiftPalette(int32_t step) {
    Program.Colours.PaletteShift = ShiftedPalette(Program.Colours.PaletteShift, step, Program.Colours.ColourCount);
    RecolourStep();
}

void RebuildPaletteKeepingShift() {
    const int32_t shift = Program.Colours.PaletteShift;
    PaletteRebuild();
    Program.Colours.PaletteShift = shift;
    RecolourStep();
}

bool ColourCommand(int command) {
    switch (command) {
    case CM_PALETTE: PaletteCommand(); return true;
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
