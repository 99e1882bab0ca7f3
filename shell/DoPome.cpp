// The main routine of quaxel: start-up, the message loop that computes the
// image between looks at the queue and hands the computed rows to the
// drawing window, and the end. The status texts are in PomeStatus.cpp.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "image/ImageInitWin.h"
#include "image/PaletteWin.h"
#include "resources/rcinc.h"
#include "shell/PomeDraw.h"
#include "shell/PomeStatus.h"
#include "shell/PomeWelcome.h"
#include "shell/PomeWin.h"
#include "shell/PomeWinLogic.h"
#include "shell/ProgramState.h"

ProgramState Program;

namespace {

constexpr char kFirstNotice[] = "Quaxel: escape-time fractal explorer";

bool RegisterClasses() {
    WNDCLASSA mainClass{};
    mainClass.lpfnWndProc = MainWindowProc;
    mainClass.hInstance = Program.Instance;
    mainClass.hIcon = LoadIconA(Program.Instance, MAKEINTRESOURCEA(IDI_QUAXEL));
    mainClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    mainClass.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN);
    mainClass.lpszClassName = kMainClass;
    if (RegisterClassA(&mainClass) == 0) return false;

    WNDCLASSA drawingClass{};
    drawingClass.lpfnWndProc = DrawingWindowProc;
    drawingClass.hInstance = Program.Instance;
    drawingClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    drawingClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    drawingClass.lpszClassName = kDrawingClass;
    return RegisterClassA(&drawingClass) != 0;
}

void CreateWindows() {
    InitCommonControls();
    Program.WelcomeDialog = nullptr;
    // Without its classes the program cannot show anything; it ends silently.
    if (!RegisterClasses()) ExitProcess(255);

    Program.MainWindow =
        CreateWindowExA(0, kMainClass, "Quaxel", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, Program.Instance, nullptr);
    if (Program.MainWindow == nullptr) ExitProcess(255);
    Program.DrawingWindow = CreateWindowExA(
        0, kDrawingClass, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_HSCROLL | WS_VSCROLL, 0, 0, 320, 240,
        Program.MainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_DRAWING)), Program.Instance, nullptr);
    Program.Toolbar = CreateQuaxelToolbar(Program.MainWindow);
    Program.StatusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, kFirstNotice, Program.MainWindow, ID_STATUSBAR);
    Program.ContextMenu = LoadMenuA(Program.Instance, MAKEINTRESOURCEA(IDM_CONTEXT));

    // The children exist now: let the frame and the layout see them.
    SetWindowPos(Program.MainWindow, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    SetWindowPos(Program.MainWindow, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
}

// One message: accelerators first, so that the function keys act even while
// the Welcome dialog has the focus; then the modeless dialog; then the window.
void DispatchOne(HACCEL accelerators, MSG& message) {
    if (TranslateAcceleratorA(Program.MainWindow, accelerators, &message)) {
        // Whether releasing Alt opens the menu is decided from the key-downs
        // the default handling has seen: without this one, Alt+S would leave
        // the menu bar active and swallow the next key (Esc) under Wine.
        if (message.message == WM_SYSKEYDOWN)
            DefWindowProcA(message.hwnd, WM_SYSKEYDOWN, message.wParam, message.lParam);
        return;
    }
    if (Program.WelcomeDialog != nullptr && IsDialogMessageA(Program.WelcomeDialog, &message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

// Under Wine every look at the queue and every InvalidateRect is a round
// trip to the server, as long as computing a row of the start image, and a
// paint costs more than the rows it shows took to compute. So the loop
// computes rows for about a millisecond between two looks at the queue,
// hands the rows computed meanwhile to the window in one call, and lets a
// waiting repaint alone interrupt the calculation only once 15 ms have passed
// since the last paint: rows still appear as they are computed, at most about
// 60 times a second, and input, commands and sent messages wait at most a
// millisecond or one row, whichever is longer. While both cores compute,
// though, the server answers a look only after a much longer wait (it has to
// be woken); the wait between looks then grows with what a look costs, so
// that looking keeps to one part in 25 of the time, and input waits up to
// 4 ms, still far below what a key press or a click can be felt to wait.
// The round trips as measured are in docs/performance.md.
constexpr double kQueueLookSeconds = 0.001;
constexpr double kLongestQueueLookSeconds = 0.004;
constexpr double kLookShare = 25.0;  // the wait between looks, in looks' lengths
constexpr double kRepaintSeconds = 0.015;
constexpr UINT kMessagesThatInterrupt = QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE | QS_TIMER | QS_HOTKEY;
constexpr UINT kMessagesDispatched = QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_HOTKEY;

class IdleClock {
public:
    IdleClock() {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        ticksPerSecond_ = static_cast<double>(frequency.QuadPart);
    }
    double Now() const {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart) / ticksPerSecond_;
    }

private:
    double ticksPerSecond_ = 1.0;
};

// The rows computed since the drawing window was last told, handed over as
// one region: the window repaints exactly the rows that changed. They are
// kept as marks, not as a rectangle per row: in the 15 ms between two paints
// a large view computes whole sweeps, whose rows then meet in a few bands,
// and Wine's cost of building a region and adding it to the update region
// grows with its rectangles.
class ComputedRows {
public:
    void Add(int32_t row, bool clearAhead) { rows_.Mark(row, clearAhead); }
    bool Pending() const { return rows_.Pending(); }
    void Invalidate() {
        if (!rows_.Pending()) return;
        const std::vector<IntRect> bands = rows_.Take(Program.Image.width, Program.DisplayScale, DrawingScrollY());
        // One region of all of them: one round trip for the lot.
        std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + bands.size() * sizeof(RECT));
        auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
        header->dwSize = sizeof(RGNDATAHEADER);
        header->iType = RDH_RECTANGLES;
        header->nCount = static_cast<DWORD>(bands.size());
        header->rcBound = RECT{bands.front().left, bands.front().top, bands.front().right, bands.back().bottom};
        auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
        for (size_t i = 0; i < bands.size(); ++i)
            rects[i] = RECT{bands[i].left, bands[i].top, bands[i].right, bands[i].bottom};
        HRGN region =
            ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
        if (region != nullptr) {
            InvalidateRgn(Program.DrawingWindow, region, FALSE);
            DeleteObject(region);
        } else {
            for (const IntRect& r : bands) {
                const RECT rect{r.left, r.top, r.right, r.bottom};
                InvalidateRect(Program.DrawingWindow, &rect, FALSE);
            }
        }
    }

private:
    ChangedRows rows_;
};

class IdleLoop {
public:
    // Whether a message should be taken from the queue before the next row.
    bool MessageWaiting() {
        const double now = clock_.Now();
        // Right after a message the next one is looked for at once, so a burst
        // of input is handled as quickly as before.
        if (!lookAgain_ && now - lastLook_ < lookInterval_) return false;
        const UINT waiting = HIWORD(GetQueueStatus(QS_ALLINPUT));
        lastLook_ = clock_.Now();
        // The last eight looks, on average, set the wait before the next one.
        lookCost_ += (lastLook_ - now - lookCost_) / 8;
        lookInterval_ = std::clamp(kLookShare * lookCost_, kQueueLookSeconds, kLongestQueueLookSeconds);
        paintDue_ = now - lastPaint_ >= kRepaintSeconds;
        const bool message = (waiting & kMessagesThatInterrupt) != 0;
        lookAgain_ = message || (paintDue_ && (rows_.Pending() || (waiting & QS_PAINT) != 0));
        paintOnly_ = !message;
        // Whatever is dispatched next may replace the image or draw the zoom
        // frame: the window must know the rows computed so far first. A
        // message sent from another process (a status bar read from outside,
        // say) is answered inside PeekMessage and needs nothing of the kind.
        if (paintDue_ || (waiting & kMessagesDispatched) != 0) rows_.Invalidate();
        return lookAgain_;
    }
    // The next message, leaving a repaint that is not due yet in the queue.
    bool Take(MSG& message) const {
        const UINT which = paintDue_ ? PM_REMOVE : PM_REMOVE | PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
        return PeekMessageA(&message, nullptr, 0, 0, which) != FALSE;
    }
    // A look promised a message that PeekMessage did not hand out (a sent
    // message it answered itself, or a paint of a window that is not shown):
    // the rows go on until the next look, or the next paint, is due.
    void NothingTaken() {
        lookAgain_ = false;
        if (paintOnly_) lastPaint_ = clock_.Now();
    }
    void Handling(const MSG& message) {
        const bool press = message.message == WM_LBUTTONDOWN || message.message == WM_RBUTTONDOWN ||
                           message.message == WM_MBUTTONDOWN || message.message == WM_NCLBUTTONDOWN;
        // A press may start the zoom frame, drawn straight onto the screen,
        // or the drag of a scroll bar: the rows computed before it must be on
        // the screen first, or their late paint would cut through the frame.
        if (press && GetUpdateRect(Program.DrawingWindow, nullptr, FALSE)) UpdateWindow(Program.DrawingWindow);
        if (press || (message.message == WM_PAINT && message.hwnd == Program.DrawingWindow)) {
            lastPaint_ = clock_.Now();
            paintDue_ = false;
        }
    }
    // Once no row is computed any more, the last ones must reach the window.
    void Idle() {
        rows_.Invalidate();
        lookAgain_ = true;
    }

    // One idle turn: exactly one row, or the step to the next pass.
    void ComputeOneStep() {
        int32_t row = -1;
        CalcNextRow(Program.Calc, row);
        if (row == -1) {
            rows_.Invalidate();
            Program.Calculating = NextPass(Program.Calc);
            if (!Program.Calculating) ShowReadyStatus();
            return;
        }
        // A row whose pixels all kept their colours shows on the screen as
        // it is: with the inside colour on, most rows of a later pass do.
        if (Program.Calc.RowChanged) rows_.Add(row, Program.Calc.ClearAhead);
    }

private:
    IdleClock clock_;
    ComputedRows rows_;
    double lastLook_ = 0.0;
    double lookCost_ = 0.0;
    double lookInterval_ = kQueueLookSeconds;
    double lastPaint_ = 0.0;
    bool lookAgain_ = true;
    bool paintDue_ = true;
    bool paintOnly_ = false;
};

int RunMessageLoop() {
    HACCEL accelerators = LoadAcceleratorsA(Program.Instance, MAKEINTRESOURCEA(IDA_MAIN));
    IdleLoop idle;
    MSG message{};
    for (;;) {
        if (!Program.Calculating) {
            idle.Idle();
            const BOOL got = GetMessageA(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) break;
        } else if (!idle.MessageWaiting()) {
            idle.ComputeOneStep();
            continue;
        } else if (!idle.Take(message)) {
            idle.NothingTaken();
            continue;
        } else if (message.message == WM_QUIT) {
            break;
        }
        idle.Handling(message);
        DispatchOne(accelerators, message);
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    Program.Instance = instance;
    Program.FpuPresent = DetectFpu();

    Program.Colours = ColourState{};
    HDC screen = GetDC(nullptr);
    Program.ScreenDepth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);

    CreateWindows();
    Program.Palette.AttachTo(Program.MainWindow);
    InitImage();
    SizeWindowToImage();
    ShowWindow(Program.MainWindow, showCommand);
    ShowWelcome(true);
    UpdateWindow(Program.MainWindow);
    RestartCalculation();
    InstallHelpKeyHook();

    const int code = RunMessageLoop();

    RemoveHelpKeyHook();
    Program.Palette.Delete();
    return code;
}
