// Building and rebuilding image, palette and calculation, and the one path
// by which every change of view reaches the engine. Part of quaxel.exe.
#include "image/ImageInitWin.h"

#include <windows.h>

#include <string>

#include "dialogs/PomeDlg.h"
#include "image/Palette.h"
#include "navigation/NavigationMath.h"
#include "shell/PomeStatus.h"
#include "shell/PomeWin.h"
#include "shell/ProgramState.h"

namespace {

// The engine's questions, asked as task-modal boxes without an owner.
struct MessageBoxPrompt final : PrecisionPrompt {
    bool Confirm(NumericType, bool, const char* text, unsigned style) override {
        return MessageBoxA(nullptr, text, kPrecisionPromptCaption, style) == IDOK;
    }
};

// The set-up could not give the engine its buffers. The program goes on
// with the picture as it stands; nothing is computed until a smaller size or
// a cheaper type lets a set-up succeed.
void ReportCalculationFailure() {
    Program.Calculating = false;
    if (Program.Calc.Status == SetUpStatus::OutOfMemory) {
        const std::string text = "There is not enough memory to calculate an image of " +
                                 std::to_string(Program.Image.width) + " x " + std::to_string(Program.Image.height) +
                                 " pixels in " + NumericTypeName(Program.CurrentType) +
                                 ".\nPlease choose a smaller image size (Display, F11).";
        SetStatusText("The image could not be calculated: not enough memory");
        MessageBoxA(Program.MainWindow, text.c_str(), "Error", MB_OK | MB_ICONHAND);
    } else {
        SetStatusText("The image could not be calculated");
    }
}

// Long operations run under the hourglass.
struct WaitCursor final : SetUpHourglass {
    HCURSOR previous = nullptr;
    void Begin() override { previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }
    void End() override { SetCursor(previous); }
};

}  // namespace

void InitImage() {
    Program.Colours.PaletteNumber = 1;
    Program.CurrentType = DefaultNumericType(Program.Coordinates.Formula, Program.FpuPresent);
    CheckNumericTypeItems(Program.MainWindow, Program.CurrentType);
    uint8_t table[kColourTableBytes] = {};
    GeneratePalette(Program.Colours, Program.ScreenDepth, table, Program.Colours.PaletteNumber, &Program.Palette);
    Program.DisplayScale = 1;
    Program.Image.Create(400, 300, table);
    FillTestPattern(Program.Image, Program.Colours.ColourCount);
    CreateCalcState(Program.Calc, &Program.Image);

    SetStartRange(Program.Coordinates);
}

void RebuildImage(int32_t width, int32_t height, bool rebuildCalculation) {
    const int32_t shift = Program.Colours.PaletteShift;
    uint8_t table[kColourTableBytes] = {};
    GeneratePalette(Program.Colours, Program.ScreenDepth, table, Program.Colours.PaletteNumber, &Program.Palette);
    Program.Image.Create(width, height, table);
    if (Program.Coordinates.Formula == FormulaKind::JuliaSet && Program.CurrentType == NumericType::CpuFixed) {
        Program.CurrentType = NumericType::FpuSingle;
        CheckNumericTypeItems(Program.MainWindow, Program.CurrentType);
    }
    if (!rebuildCalculation) return;
    FillTestPattern(Program.Image, Program.Colours.ColourCount);
    CreateCalcState(Program.Calc, &Program.Image);
    Program.Colours.PaletteShift = shift;
    RestartCalculation();
}

void RestartCalculation() {
    MessageBoxPrompt prompt;
    WaitCursor hourglass;
    const NumericType type = RunSetUp(Program.Calc, SetUpContext{prompt, Program.FpuPresent, &hourglass},
                                      Program.Coordinates, EngineColours(Program.Colours), Program.CurrentType);
    if (type != Program.CurrentType) {
        Program.CurrentType = type;
        CheckNumericTypeItems(Program.MainWindow, Program.CurrentType);
    }
    if (Program.Calc.Status != SetUpStatus::Ready) {
        ReportCalculationFailure();
        return;
    }
    BeginCalculating();
}

void ApplyImageSize(int32_t width, int32_t height, int32_t scale) {
    ReleaseWorkBuffers(Program.Calc);
    Program.Image.Release();
    Program.DisplayScale = scale;
    RebuildImage(width, height, true);
    SizeWindowToImage();
    InvalidateRect(Program.MainWindow, nullptr, FALSE);
}

void DisplayCommand() {
    int32_t width = Program.Image.width;
    int32_t height = Program.Image.height;
    int32_t scale = Program.DisplayScale;
    const uint32_t inUse = HasWorkBuffers(Program.Calc)
                               ? MemoryRequirement(Program.Calc.width, Program.Calc.height, Program.Calc.numericType)
                               : 0;
    if (!DisplayDialog(Program.MainWindow, width, height, scale, inUse)) return;
    ApplyImageSize(width, height, scale);
}
