// Building and rebuilding image, palette and calculation, and the one path
// by which every change of view reaches the engine. Part of quaxel.exe.
#include <windows.h>

#include <string>

#include "dialogs/PomeDlg.h"
#include "image/Palette.h"
#include "shell/DoPome.h"

CoordinateSet Coordinates;
NumericType CurrentType = NumericType::FpuSingle;
DibImage Image;
CalcState Calc;

namespace {

// The engine's questions, asked as task-modal boxes without an owner.
struct MessageBoxPrompt final : PrecisionPrompt {
    bool Confirm(NumericType, bool, const char* text, unsigned style) override {
        return MessageBoxA(nullptr, text, kPrecisionPromptCaption, style) == IDOK;
    }
};

const char* TypeName(NumericType type) {
    switch (type) {
    case NumericType::CpuFixed: return "CPU Fixed";
    case NumericType::FpuSingle: return "FPU Single";
    case NumericType::FpuDouble: return "FPU Double";
    case NumericType::FpuExtended: return "FPU Extended";
    }
    return "?";
}

// The set-up could not give the engine its buffers. The program goes on
// with the picture as it stands; nothing is computed until a smaller size or
// a cheaper type lets a set-up succeed.
void ReportCalculationFailure() {
    Calculating = false;
    if (Calc.Status == SetUpStatus::OutOfMemory) {
        const std::string text = "There is not enough memory to calculate an image of " +
                                 std::to_string(Image.width) + " x " + std::to_string(Image.height) +
                                 " pixels in " + TypeName(CurrentType) +
                                 ".\nPlease choose a smaller image size (Display, F11).";
        SetStatusText("The image could not be calculated: not enough memory");
        MessageBoxA(MainWindow, text.c_str(), "Error", MB_OK | MB_ICONHAND);
    } else {
        SetStatusText("The image could not be calculated");
    }
}

void ApplyColourParams() {
    SetColourParams(Calc, Colours.ColourCount, Colours.PaletteShift, Colours.ColourMode,
                    Colours.PomeSetColourEnabled, Colours.PomeSetColour, Colours.IterationsPerColour);
}

}  // namespace

void InitImage() {
    Colours.PaletteNumber = 1;
    CurrentType = DefaultNumericType(Coordinates.Formula);
    CheckNumericTypeItems(MainWindow, CurrentType);
    uint8_t table[kColourTableBytes] = {};
    GeneratePalette(table, Colours.PaletteNumber);
    DisplayScale = 1;
    Image.Create(400, 300, table);
    FillTestPattern(Image, Colours.ColourCount);
    CreateCalcState(Calc, &Image);

    Coordinates.RealMin = -2.0L;
    Coordinates.RealMax = 1.0L;
    Coordinates.ImagMin = -1.5L;
    Coordinates.ImagMax = 1.5L;
    Coordinates.IterStart = 64;
    Coordinates.IterInc = 64;
    Coordinates.IterEnd = 256;
}

void RebuildImage(int32_t width, int32_t height, bool rebuildCalculation) {
    const int32_t shift = Colours.PaletteShift;
    uint8_t table[kColourTableBytes] = {};
    GeneratePalette(table, Colours.PaletteNumber);
    Image.Create(width, height, table);
    if (Coordinates.Formula == FormulaKind::JuliaSet && CurrentType == NumericType::CpuFixed) {
        CurrentType = NumericType::FpuSingle;
        CheckNumericTypeItems(MainWindow, CurrentType);
    }
    if (!rebuildCalculation) return;
    FillTestPattern(Image, Colours.ColourCount);
    CreateCalcState(Calc, &Image);
    Colours.PaletteShift = shift;
    RestartCalculation();
}

void RestartCalculation() {
    MessageBoxPrompt prompt;
    // Every change goes to a strictly more precise type, so the loop ends
    // after three set-ups; the bound only guards the invariant.
    for (int round = 0; round < 8; ++round) {
        HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        ApplyColourParams();
        const NumericType answer = SetUpCalculation(
            Calc, prompt, Coordinates.IterStart, Coordinates.IterInc, Coordinates.RealMin, Coordinates.RealMax,
            Coordinates.ImagMin, Coordinates.ImagMax, Coordinates.ConstReal, Coordinates.ConstImag,
            Coordinates.IterEnd, Coordinates.Formula, CurrentType);
        SetCursor(previous);
        if (answer == CurrentType) break;
        CurrentType = answer;
        CheckNumericTypeItems(MainWindow, CurrentType);
        // FPU Single comes back only for a Julia-Set asked for in CPU Fixed,
        // and that set-up has already run with it.
        if (answer == NumericType::FpuSingle) break;
    }
    if (Calc.Status != SetUpStatus::Ready) {
        ReportCalculationFailure();
        return;
    }
    BeginCalculating();
}

void ApplyImageSize(int32_t width, int32_t height, int32_t scale) {
    ReleaseWorkBuffers(Calc);
    Image.Release();
    DisplayScale = scale;
    RebuildImage(width, height, true);
    SizeWindowToImage(Image);
    InvalidateRect(MainWindow, nullptr, FALSE);
}

void DisplayCommand() {
    int32_t width = Image.width;
    int32_t height = Image.height;
    int32_t scale = DisplayScale;
    if (!DisplayDialog(MainWindow, width, height, scale)) return;
    ApplyImageSize(width, height, scale);
}
