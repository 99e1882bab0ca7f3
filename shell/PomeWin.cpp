// The main window: layout of toolbar, drawing window and status bar, the
// command dispatch, the toolbar's tips, the numeric-type check marks, the
// default window size and full screen.
#include "shell/PomeWin.h"

#include <windows.h>

#include <commctrl.h>

#include <iterator>
#include <string_view>

#include "dialogs/PomeDlg.h"
#include "image/ColourCommandsWin.h"
#include "image/ExportWin.h"
#include "image/ImageInitWin.h"
#include "navigation/DoPomeNavigation.h"
#include "resources/rcinc.h"
#include "shell/CallbackGuard.h"
#include "shell/PomeDraw.h"
#include "shell/PomeWelcome.h"
#include "shell/PomeWinLogic.h"
#include "shell/ProgramState.h"

namespace {

int HeightOf(HWND window) {
    RECT rect{};
    if (window == nullptr || !GetWindowRect(window, &rect)) return 0;
    return rect.bottom - rect.top;
}

// --- toolbar and tips --------------------------------------------------------

struct ToolbarEntry {
    int image;  // -1: separator
    int command;
};

constexpr ToolbarEntry kToolbarEntries[] = {
    {0, CM_LOAD},         {1, CM_SAVE},       {4, CM_RESET_RANGE}, {-1, 0},
    {5, CM_AUTOZOOM},     {3, CM_RANGE},      {-1, 0},             {6, CM_DISPLAY},
    {2, CM_DEFAULT_SIZE}, {12, CM_FULLSCREEN}, {-1, 0},            {7, CM_PALETTE},
    {9, CM_PREV_PALETTE}, {8, CM_NEXT_PALETTE}, {11, CM_SHIFT_PREV}, {10, CM_SHIFT_NEXT},
};

struct TipText {
    int command;
    const char* text;
};

constexpr TipText kTips[] = {
    {CM_RANGE, "Range Settings (F5)"},
    {CM_DISPLAY, "Display Settings (F11)"},
    {CM_PALETTE, "Select Colour Palette (F9)"},
    {CM_NEXT_PALETTE, "Next Colour Palette (F8)"},
    {CM_PREV_PALETTE, "Previous Colour Palette (F7)"},
    {CM_AUTOZOOM, "Automatic Zoom (F12)"},
    {CM_SAVE, "Save Co-ordinates (F2)"},
    {CM_LOAD, "Load Co-ordinates (F3)"},
    {CM_RESET_RANGE, "Reset Initial Range (F4)"},
    {CM_SHIFT_PREV, "Shift Current Colour Palette to Previous Colour (Shift+F7)"},
    {CM_SHIFT_NEXT, "Shift Current Colour Palette to Next Colour (Shift+F8)"},
    {CM_DEFAULT_SIZE, "Reset Window to Default Size"},
    {CM_FULLSCREEN, "Show Image Full Screen (Alt+S)"},
};

// A wide tip is copied into the notification's own buffer.
constexpr size_t kWideTipLength = sizeof(NMTTDISPINFOW::szText) / sizeof(WCHAR);
constexpr bool TipsFitTheirBuffer() {
    for (const TipText& tip : kTips)
        if (std::string_view(tip.text).size() >= kWideTipLength) return false;
    return true;
}
static_assert(TipsFitTheirBuffer());

const char* TipFor(UINT_PTR command) {
    for (const TipText& tip : kTips)
        if (static_cast<UINT_PTR>(tip.command) == command) return tip.text;
    return "???";
}

// Which of the two arrives depends on the common-controls version and the
// notify format; the texts are plain ASCII either way.
void AnswerTip(NMHDR* header) {
    const char* text = TipFor(header->idFrom);
    if (header->code == TTN_NEEDTEXTA) {
        reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = const_cast<char*>(text);
    } else {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        size_t i = 0;
        for (; text[i] != '\0' && i + 1 < kWideTipLength; ++i)
            info->szText[i] = static_cast<unsigned char>(text[i]);
        info->szText[i] = L'\0';
        info->lpszText = info->szText;
    }
}

// --- commands ----------------------------------------------------------------

void CopyCommand() {
    if (!Program.Image.CopyToClipboard(Program.MainWindow))
        MessageBoxA(Program.MainWindow, "Could not copy the image to the clipboard.", "Error", MB_ICONHAND);
}

void QuickReferenceCommand() {
    WinHelpA(Program.MainWindow, kHelpFile, HELP_COMMAND, reinterpret_cast<ULONG_PTR>(kQuickReferenceMacro));
}

// Commands of the window itself. False for commands it does not know.
bool WindowCommand(int command) {
    switch (command) {
    case CM_DISPLAY:
        SetFullScreen(true);
        DisplayCommand();
        return true;
    case CM_EXPORT: BitmapExportCommand(Program.MainWindow, Program.Image); return true;
    case CM_COPY: CopyCommand(); return true;
    case CM_HELP_INDEX: WinHelpA(Program.MainWindow, kHelpFile, HELP_INDEX, 0); return true;
    case CM_QUICKREF: QuickReferenceCommand(); return true;
    case CM_DEFAULT_SIZE: SizeWindowToImage(); return true;
    case CM_LEAVE_FULLSCREEN: SetFullScreen(true); return true;
    case CM_FULLSCREEN: SetFullScreen(false); return true;
    case CM_WELCOME: ShowWelcome(false); return true;
    case CM_ABOUT: AboutDialog(Program.MainWindow); return true;
    default: return false;
    }
}

// --- main window messages ----------------------------------------------------

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    const int command = LOWORD(wParam);
    // A key pressed during a zoom drag must not act on a paused, half-framed
    // picture: the drag ends first, without zooming.
    CancelSelection();
    if (command == CM_EXIT) {
        SendMessageA(Program.MainWindow, WM_CLOSE, 0, 0);
        return 0;
    }
    if (!WindowCommand(command) && !NavigationCommand(command)) ColourCommand(command);
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

LRESULT OnNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code == TTN_NEEDTEXTA || header->code == TTN_NEEDTEXTW) AnswerTip(header);
    return DefWindowProcA(window, WM_NOTIFY, wParam, lParam);
}

void OnSize(WPARAM wParam, LPARAM lParam) {
    if (Program.StatusBar != nullptr) SendMessageA(Program.StatusBar, WM_SIZE, wParam, lParam);
    if (Program.Toolbar != nullptr) SendMessageA(Program.Toolbar, WM_SIZE, wParam, lParam);
    if (Program.DrawingWindow == nullptr || IsFullScreen()) return;
    const int toolbarHeight = HeightOf(Program.Toolbar);
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam) - toolbarHeight - HeightOf(Program.StatusBar);
    SetWindowPos(Program.DrawingWindow, nullptr, 0, toolbarHeight, width, height, SWP_NOZORDER);
}

// The drawing window covers nearly everything; the rest is plain white. The
// update region must be validated here, or the loop would never be idle.
void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Rectangle(dc, client.left, client.top, client.right, client.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    EndPaint(window, &paint);
}

void OnClose() {
    if (Program.WelcomeDialog != nullptr) {
        DestroyWindow(Program.WelcomeDialog);
        Program.WelcomeDialog = nullptr;
    }
    DestroyWindow(Program.MainWindow);
}

void OnDestroy() {
    WinHelpA(Program.MainWindow, kHelpFile, HELP_QUIT, 0);
    if (Program.ContextMenu != nullptr) DestroyMenu(Program.ContextMenu);
    Program.ContextMenu = nullptr;
    PostQuitMessage(0);
}

}  // namespace

static LRESULT MainWindowProcBody(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case WM_NOTIFY: return OnNotify(window, wParam, lParam);
    case WM_SIZE: OnSize(wParam, lParam); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{300, 200};
        return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case QM_RECOLOUR: ShiftPalette(0); return 0;
    case QM_PALETTE_CHANGED: RebuildPaletteKeepingShift(); return 0;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
        return Program.DrawingWindow != nullptr ? SendMessageA(Program.DrawingWindow, message, wParam, lParam) : 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedCallback([&] { return MainWindowProcBody(window, message, wParam, lParam); },
                           [&] { return DefWindowProcA(window, message, wParam, lParam); });
}

HWND CreateQuaxelToolbar(HWND parent) {
    TBBUTTON buttons[std::size(kToolbarEntries)] = {};
    for (size_t i = 0; i < std::size(kToolbarEntries); ++i) {
        const ToolbarEntry& entry = kToolbarEntries[i];
        buttons[i].iBitmap = entry.image < 0 ? 0 : entry.image;
        buttons[i].idCommand = entry.command;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = entry.image < 0 ? TBSTYLE_SEP : TBSTYLE_GROUP;
    }
    return CreateToolbarEx(parent, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT, ID_TOOLBAR,
                           TOOLBAR_IMAGE_COUNT, Program.Instance, IDB_TOOLBAR, buttons,
                           static_cast<int>(std::size(buttons)), TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE,
                           TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE, sizeof(TBBUTTON));
}

void CheckNumericTypeItems(HWND window, NumericType type) {
    HMENU menu = IsFullScreen() && Program.KeptMenu != nullptr ? Program.KeptMenu : GetMenu(window);
    if (menu == nullptr) return;
    for (int i = 0; i < 4; ++i)
        CheckMenuItem(menu, CM_CPU_FIXED + i,
                      MF_BYCOMMAND | (i == static_cast<int>(type) ? MF_CHECKED : MF_UNCHECKED));
}

void SizeWindowToImage() {
    Program.SizedToImage = true;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    POINT origin{0, 0};
    ClientToScreen(Program.MainWindow, &origin);

    RECT wanted{origin.x, origin.y, origin.x + Program.Image.width * Program.DisplayScale + 2,
                origin.y + Program.Image.height * Program.DisplayScale + 2};
    AdjustWindowRect(&wanted, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, TRUE);
    wanted.bottom += HeightOf(Program.Toolbar) + HeightOf(Program.StatusBar);
    IntRect outer{wanted.left, wanted.top, wanted.right, wanted.bottom};
    const IntRect workArea{work.left, work.top, work.right, work.bottom};
    const bool tooBig = outer.Width() > workArea.Width() || outer.Height() > workArea.Height();

    const bool maximised = (GetWindowLongPtrA(Program.MainWindow, GWL_STYLE) & WS_MAXIMIZE) != 0;
    if (maximised && !tooBig) {
        ShowWindow(Program.MainWindow, SW_SHOWNORMAL);
        POINT moved{0, 0};
        ClientToScreen(Program.MainWindow, &moved);
        const int32_t dx = moved.x - origin.x;
        const int32_t dy = moved.y - origin.y;
        outer = IntRect{outer.left + dx, outer.top + dy, outer.right + dx, outer.bottom + dy};
    } else if (!maximised && tooBig) {
        ShowWindow(Program.MainWindow, SW_MAXIMIZE);
    }
    if (FitIntoWorkArea(outer, workArea))
        SetWindowPos(Program.MainWindow, nullptr, outer.left, outer.top, outer.Width(), outer.Height(), SWP_NOZORDER);
    // A maximised window that stays maximised, or a size that happens to be
    // the old one, sends the drawing window no WM_SIZE: its scroll bars and
    // picture must follow the new image all the same.
    RefreshDrawingWindow();
}

bool ImageSizeKnown() { return Program.SizedToImage; }

bool IsFullScreen() { return Program.DrawingWindow != nullptr && IsZoomed(Program.DrawingWindow); }

namespace {

// Every change of the style needs a frame change, or a window that was
// maximised already keeps drawing its old caption.
void SetMainStyle(LONG_PTR style) {
    SetWindowLongPtrA(Program.MainWindow, GWL_STYLE, style);
    SetWindowPos(Program.MainWindow, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

}  // namespace

void SetFullScreen(bool leaveOnly) {
    if (IsFullScreen()) {
        ShowWindow(Program.StatusBar, SW_SHOW);
        ShowWindow(Program.Toolbar, SW_SHOW);
        ShowWindow(Program.DrawingWindow, SW_SHOWNORMAL);
        SetMainStyle(GetWindowLongPtrA(Program.MainWindow, GWL_STYLE) | WS_CAPTION);
        SetMenu(Program.MainWindow, Program.KeptMenu);
        Program.KeptMenu = nullptr;
        InvalidateRect(Program.MainWindow, nullptr, TRUE);
        SizeWindowToImage();
        return;
    }
    if (leaveOnly) return;
    Program.KeptMenu = GetMenu(Program.MainWindow);
    SetMenu(Program.MainWindow, nullptr);
    ShowWindow(Program.StatusBar, SW_HIDE);
    ShowWindow(Program.Toolbar, SW_HIDE);
    SetMainStyle(GetWindowLongPtrA(Program.MainWindow, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CAPTION));
    if (!IsZoomed(Program.MainWindow)) ShowWindow(Program.MainWindow, SW_MAXIMIZE);
    ShowWindow(Program.DrawingWindow, SW_MAXIMIZE);
    InvalidateRect(Program.MainWindow, nullptr, TRUE);
}
