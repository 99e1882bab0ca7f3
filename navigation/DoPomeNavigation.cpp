// The navigation commands: zoom, automatic zoom, centre, widen, the Range and
// Iterations dialogs, the constant, the start ranges, the numeric type, and
// saving and loading views. Each changes the current view and restarts the
// calculation; the Iterations command lets it go on to a higher end instead.
#include "navigation/DoPomeNavigation.h"

#include <windows.h>

#include <ctime>
#include <random>
#include <string>

#include "dialogs/PomeDlg.h"
#include "image/ImageInitWin.h"
#include "navigation/NavigationMath.h"
#include "resources/rcinc.h"
#include "shell/PomeStatus.h"
#include "shell/PomeDraw.h"
#include "shell/PomeWin.h"
#include "shell/ProgramState.h"

namespace {

// random(n) from a generator seeded once from the clock.
class ClockRandom final : public RandomSource {
public:
    ClockRandom() : engine_(static_cast<uint32_t>(std::time(nullptr)) ^ GetTickCount()) {}
    int32_t Next(int32_t n) override {
        if (n <= 1) return 0;
        return std::uniform_int_distribution<int32_t>(0, n - 1)(engine_);
    }

private:
    std::mt19937 engine_;
};

// Makes `next` the current view and restarts, unless one of its co-ordinates
// has left the extended range: then the command beeps, as a command that
// cannot act does, and the view stays as it is.
bool ChangeView(const CoordinateSet& next) {
    if (!IsFiniteView(next)) {
        MessageBeep(MB_ICONHAND);
        return false;
    }
    Program.Coordinates = next;
    return true;
}

void RangeCommand() {
    if (RangeDialog(Program.MainWindow, Program.Coordinates)) RestartCalculation();
}

void IterationsCommand() {
    // Without a set-up calculation there is nothing to continue.
    if (Program.Calc.Status != SetUpStatus::Ready) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    int32_t end = Program.Coordinates.IterEnd;
    if (!IterationsDialog(Program.MainWindow, end) || end <= Program.Coordinates.IterEnd) return;
    Program.Coordinates.IterEnd = end;
    RaiseIterEnd(Program.Calc, end);
    NextPass(Program.Calc);
    if (Program.Colours.ColourMode) {
        Recolour(Program.Calc, &Program.Image);
        InvalidateRect(Program.DrawingWindow, nullptr, FALSE);
        UpdateWindow(Program.DrawingWindow);
    }
    BeginCalculating();
}

void WidenRange(int32_t code) {
    CoordinateSet next = Program.Coordinates;
    WidenBy(next, code);
    if (ChangeView(next)) RestartCalculation();
}

void AutomaticZoom() {
    if (Program.Calculating || Program.Image.width < 48 || Program.Image.height < 48) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    if (!HasWorkBuffers(Program.Calc)) return;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    static ClockRandom random;
    PixelRect found{};
    const AutoZoomOutcome outcome = SearchZoomRectangle(Program.Calc, random, found);
    SetCursor(previous);
    switch (outcome) {
    case AutoZoomOutcome::TooSmall: MessageBeep(MB_ICONHAND); break;
    case AutoZoomOutcome::TooPlain: break;
    case AutoZoomOutcome::Found: ZoomToRectangle(found.left, found.top, found.right, found.bottom, false); break;
    case AutoZoomOutcome::NotFound: WidenRange(150); break;
    }
}

void ResetToStartRange(bool toMandelbrot, bool toJulia) {
    if (!toJulia && MessageBoxA(Program.MainWindow, "Select OK to go back to the Start Range!", "Start Range",
                                MB_OKCANCEL | MB_ICONHAND) != IDOK)
        return;
    if (toJulia) Program.Coordinates.Formula = FormulaKind::JuliaSet;
    if (toMandelbrot) {
        Program.Coordinates.Formula = FormulaKind::MandelbrotSet;
        Program.Coordinates.ConstReal = 0.0L;
        Program.Coordinates.ConstImag = 0.0L;
    }
    SetStartRange(Program.Coordinates);
    Program.CurrentType = DefaultNumericType(Program.Coordinates.Formula, Program.FpuPresent);
    CheckNumericTypeItems(Program.MainWindow, Program.CurrentType);
    RestartCalculation();
}

void TakeConstant(bool toJulia) {
    int32_t x = 0;
    int32_t y = 0;
    ContextPointInImage(x, y);
    CoordinateSet next = Program.Coordinates;
    PlanePointOf(Program.Coordinates, Program.Image.width, Program.Image.height, x, y, next.ConstReal, next.ConstImag);
    if (!ChangeView(next)) return;
    if (toJulia) {
        ResetToStartRange(false, true);
    } else {
        RestartCalculation();
    }
}

void CentrePoint() {
    int32_t x = 0;
    int32_t y = 0;
    ContextPointInImage(x, y);
    CoordinateSet next = Program.Coordinates;
    CentreOn(next, Program.Image.width, Program.Image.height, x, y);
    if (ChangeView(next)) RestartCalculation();
}

void NumericTypeCommand(int32_t n) {
    Program.CurrentType = static_cast<NumericType>(n);
    CheckNumericTypeItems(Program.MainWindow, Program.CurrentType);
    RestartCalculation();
}

// quaxel.ini beside the program, where the saved views live; empty when the
// program's path could not be had in full, so that nothing is ever written
// to a cut path.
std::string SavedViewsPath() {
    std::string directory;
    std::string name;
    std::string extension;
    if (!SplitModulePath(nullptr, directory, name, extension)) return {};
    std::string path = directory + "quaxel.ini";
    return path.size() < MAX_PATH ? path : std::string{};
}

void SaveCommand() {
    SaveCoordinates(Program.MainWindow, SavedViewsPath(), Program.CurrentSetName, Program.Coordinates);
}

void LoadCommand() {
    CoordinateSet loaded = Program.Coordinates;
    if (!LoadCoordinates(Program.MainWindow, SavedViewsPath(), Program.CurrentSetName, loaded) || !ChangeView(loaded))
        return;
    Program.CurrentType = DefaultNumericType(Program.Coordinates.Formula, Program.FpuPresent);
    CheckNumericTypeItems(Program.MainWindow, Program.CurrentType);
    RestartCalculation();
}

}  // namespace

void ZoomToRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, bool confirm) {
    PixelRect rect{left, top, right, bottom};
    CoordinateSet proposal;
    if (!ProposeZoom(Program.Coordinates, Program.Image.width, Program.Image.height, rect, proposal)) return;
    if (!IsFiniteView(proposal)) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    SuggestIterations(Program.Calc, proposal, rect);
    if (confirm && !RangeDialog(Program.MainWindow, proposal)) return;
    if (ChangeView(proposal)) RestartCalculation();
}

bool NavigationCommand(int command) {
    switch (command) {
    case CM_RANGE: RangeCommand(); return true;
    case CM_ITERATIONS: IterationsCommand(); return true;
    case CM_AUTOZOOM: AutomaticZoom(); return true;
    case CM_CENTRE: CentrePoint(); return true;
    case CM_WIDEN_10: WidenRange(110); return true;
    case CM_WIDEN_25: WidenRange(125); return true;
    case CM_WIDEN_50: WidenRange(150); return true;
    case CM_WIDEN_100: WidenRange(200); return true;
    case CM_RESET_RANGE: ResetToStartRange(false, false); return true;
    case CM_MANDELBROT: ResetToStartRange(true, false); return true;
    case CM_TAKE_CONSTANT: TakeConstant(false); return true;
    case CM_JULIA: TakeConstant(true); return true;
    case CM_SAVE: SaveCommand(); return true;
    case CM_LOAD: LoadCommand(); return true;
    default: break;
    }
    if (command >= CM_CPU_FIXED && command <= CM_FPU_EXTENDED) {
        NumericTypeCommand(command - CM_CPU_FIXED);
        return true;
    }
    return false;
}
