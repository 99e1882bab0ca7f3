// The main routine of quaxel: start-up, the message loop that computes the
// image one row per idle turn, the status texts, and the end.
#include "shell/DoPome.h"

#include <commctrl.h>

#include "image/Palette.h"
#include "image/PaletteWin.h"
#include "resources/rcinc.h"
#include "shell/PomeWinLogic.h"

bool Calculating = false;
DWORD CalcStartTick = 0;
int32_t DisplayScale = 1;
HWND MainWindow = nullptr;
HWND DrawingWindow = nullptr;
HWND Toolbar = nullptr;
HWND StatusBar = nullptr;
HWND WelcomeDialog = nullptr;
HMENU ContextMenu = nullptr;
HINSTANCE Instance = nullptr;

namespace {

constexpr char kFirstNotice[] = "Quaxel: escape-time fractal explorer";

bool RegisterClasses() {
    WNDCLASSA mainClass{};
    mainClass.lpfnWndProc = MainWindowProc;
    mainClass.hInstance = Instance;
    mainClass.hIcon = LoadIconA(Instance, MAKEINTRESOURCEA(IDI_QUAXEL));
    mainClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    mainClass.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN);
    mainClass.lpszClassName = kMainClass;
    if (RegisterClassA(&mainClass) == 0) return false;

    WNDCLASSA drawingClass{};
    drawingClass.lpfnWndProc = DrawingWindowProc;
    drawingClass.hInstance = Instance;
    drawingClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    drawingClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    drawingClass.lpszClassName = kDrawingClass;
    return RegisterClassA(&drawingClass) != 0;
}

void CreateWindows() {
    InitCommonControls();
    WelcomeDialog = nullptr;
    // Without its classes the program cannot show anything; it ends silently.
    if (!RegisterClasses()) ExitProcess(255);

    MainWindow = CreateWindowExA(0, kMainClass, "Quaxel", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, Instance, nullptr);
    if (MainWindow == nullptr) ExitProcess(255);
    DrawingWindow = CreateWindowExA(0, kDrawingClass, nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_HSCROLL | WS_VSCROLL, 0, 0, 320, 240,
                                    MainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_DRAWING)), Instance,
                                    nullptr);
    Toolbar = CreateQuaxelToolbar(MainWindow);
    StatusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, kFirstNotice, MainWindow, ID_STATUSBAR);
    ContextMenu = LoadMenuA(Instance, MAKEINTRESOURCEA(IDM_CONTEXT));

    // The children exist now: let the frame and the layout see them.
    SetWindowPos(MainWindow, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    SetWindowPos(MainWindow, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
}

// One message: accelerators first, so that the function keys act even while
// the Welcome dialog has the focus; then the modeless dialog; then the window.
void DispatchOne(HACCEL accelerators, MSG& message) {
    if (TranslateAcceleratorA(MainWindow, accelerators, &message)) {
        // Whether releasing Alt opens the menu is decided from the key-downs
        // the default handling has seen: without this one, Alt+S would leave
        // the menu bar active and swallow the next key (Esc) under Wine.
        if (message.message == WM_SYSKEYDOWN)
            DefWindowProcA(message.hwnd, WM_SYSKEYDOWN, message.wParam, message.lParam);
        return;
    }
    if (WelcomeDialog != nullptr && IsDialogMessageA(WelcomeDialog, &message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

// One idle turn: exactly one row, or the step to the next pass.
void ComputeOneStep() {
    int32_t row = -1;
    CalcNextRow(Calc, row);
    if (row == -1) {
        Calculating = NextPass(Calc);
        if (!Calculating) ShowReadyStatus();
        return;
    }
    const IntRect r = ComputedRowRect(row, Image.width, DisplayScale, DrawingScrollY(), Calc.ClearAhead);
    const RECT rect{r.left, r.top, r.right, r.bottom};
    InvalidateRect(DrawingWindow, &rect, FALSE);
}

int RunMessageLoop() {
    HACCEL accelerators = LoadAcceleratorsA(Instance, MAKEINTRESOURCEA(IDA_MAIN));
    MSG message{};
    for (;;) {
        if (!Calculating) {
            const BOOL got = GetMessageA(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) break;
            DispatchOne(accelerators, message);
        } else if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) break;
            DispatchOne(accelerators, message);
        } else {
            ComputeOneStep();
        }
    }
    return 0;
}

}  // namespace

void SetStatusText(const char* text) {
    if (StatusBar != nullptr) SendMessageA(StatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void BeginCalculating() {
    Calculating = true;
    SetStatusText("Calculating ...");
    CalcStartTick = GetTickCount();
}

void ShowReadyStatus() {
    Calculating = false;
    const DWORD now = GetTickCount();
    const IterationStatistics stats = IterationStats(Calc, PixelRect{0, 0, Image.width - 1, Image.height - 1});
    SetStatusText(ReadyStatusText(CalcStartTick, now, stats.min, stats.max).c_str());
}

bool SplitModulePath(HMODULE module, std::string& directory, std::string& name, std::string& extension) {
    directory.clear();
    name.clear();
    extension.clear();
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH + 1);
    // A path that filled the buffer may have been cut; nothing may ever be
    // built from a cut path.
    if (length == 0 || length > MAX_PATH) return false;
    const PathParts parts = SplitPath(std::string(path, length));
    directory = parts.directory;
    name = parts.name;
    extension = parts.extension;
    return true;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    Instance = instance;
    DetectFpu();

    SetColourDefaults();
    HDC screen = GetDC(nullptr);
    ScreenDepth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);

    CreateWindows();
    AttachPaletteToWindow(MainWindow);
    InitImage();
    SizeWindowToImage(Image);
    ShowWindow(MainWindow, showCommand);
    ShowWelcome(true);
    UpdateWindow(MainWindow);
    RestartCalculation();
    InstallHelpKeyHook();

    const int code = RunMessageLoop();

    RemoveHelpKeyHook();
    DeleteLogicalPalette();
    return code;
}
