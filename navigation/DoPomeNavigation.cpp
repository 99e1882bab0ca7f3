// The navigation commands: zoom, automatic zoom, centre, widen, the Range and
// Iterations dialogs, the constant, the start ranges, the numeric type, and
// saving and loading views. Each changes the current view and restarts the
// calculation; the Iterations command lets it go on to a higher end instead.
#include <windows.h>

#include <ctime>
#include <random>

#include "dialogs/PomeDlg.h"
#include "image/Palette.h"
#include "navigation/NavigationMath.h"
#include "resources/rcinc.h"
#include "shell/DoPome.h"

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
    Coordinates = next;
    return true;
}

void RangeCommand() {
    if (RangeDialog(MainWindow, Coordinates)) RestartCalculation();
}

void IterationsCommand() {
    // Without a set-up calculation there is nothing to continue.
    if (Calc.Status != SetUpStatus::Ready) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    int32_t end = Coordinates.IterEnd;
    if (!IterationsDialog(MainWindow, end) || end <= Coordinates.IterEnd) return;
    Coordinates.IterEnd = end;
    RaiseIterEnd(Calc, end);
    NextPass(Calc);
    if (Colours.ColourMode) {
        Recolour(Calc, &Image);
        InvalidateRect(DrawingWindow, nullptr, FALSE);
        UpdateWindow(DrawingWindow);
    }
    BeginCalculating();
}

void WidenRange(int32_t code) {
    CoordinateSet next = Coordinates;
    WidenBy(next, code);
    if (ChangeView(next)) RestartCalculation();
}

void AutomaticZoom() {
    if (Calculating || Image.width < 48 || Image.height < 48) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    if (!HasWorkBuffers(Calc)) return;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    static ClockRandom random;
    PixelRect found{};
    const AutoZoomOutcome outcome = SearchZoomRectangle(Calc, random, found);
    SetCursor(previous);
    switch (outcome) {
    case AutoZoomOutcome::TooSmall: MessageBeep(MB_ICONHAND); break;
    case AutoZoomOutcome::TooPlain: break;
    case AutoZoomOutcome::Found: ZoomToRectangle(found.left, found.top, found.right, found.bottom, false); break;
    case AutoZoomOutcome::NotFound: WidenRange(150); break;
    }
}

void ResetToStartRange(bool toMandelbrot, bool toJulia) {
    if (!toJulia && MessageBoxA(MainWindow, "Select OK to go back to the Start Range!", "Start Range",
                                MB_OKCANCEL | MB_ICONHAND) != IDOK)
        return;
    if (toJulia) Coordinates.Formula = FormulaKind::JuliaSet;
    if (toMandelbrot) {
        Coordinates.Formula = FormulaKind::MandelbrotSet;
        Coordinates.ConstReal = 0.0L;
        Coordinates.ConstImag = 0.0L;
    }
    SetStartRange(Coordinates);
    CurrentType = DefaultNumericType(Coordinates.Formula);
    CheckNumericTypeItems(MainWindow, CurrentType);
    RestartCalculation();
}

void TakeConstant(bool toJulia) {
    int32_t x = 0;
    int32_t y = 0;
    ContextPointInImage(x, y);
    CoordinateSet next = Coordinates;
    PlanePointOf(Coordinates, Image.width, Image.height, x, y, next.ConstReal, next.ConstImag);
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
    CoordinateSet next = Coordinates;
    CentreOn(next, Image.width, Image.height, x, y);
    if (ChangeView(next)) RestartCalculation();
}

void NumericTypeCommand(int32_t n) {
    CurrentType = static_cast<NumericType>(n);
    CheckNumericTypeItems(MainWindow, CurrentType);
    RestartCalculation();
}

void LoadCommand() {
    CoordinateSet loaded = Coordinates;
    if (!LoadCoordinates(MainWindow, loaded) || !ChangeView(loaded)) return;
    CurrentType = DefaultNumericType(Coordinates.Formula);
    CheckNumericTypeItems(MainWindow, CurrentType);
    RestartCalculation();
}

}  // namespace

void ZoomToRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, bool confirm) {
    PixelRect rect{left, top, right, bottom};
    CoordinateSet proposal;
    if (!ProposeZoom(Coordinates, Image.width, Image.height, rect, proposal)) return;
    if (!IsFiniteView(proposal)) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    SuggestIterations(Calc, proposal, rect);
    if (confirm && !RangeDialog(MainWindow, proposal)) return;
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
    case CM_SAVE: SaveCoordinates(MainWindow, Coordinates); return true;
    case CM_LOAD: LoadCommand(); return true;
    default: break;
    }
    if (command >= CM_CPU_FIXED && command <= CM_FPU_EXTENDED) {
        NumericTypeCommand(command - CM_CPU_FIXED);
        return true;
    }
    return false;
}
