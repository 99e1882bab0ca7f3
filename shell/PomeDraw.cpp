// The drawing window: shows the image at one or two screen pixels per image
// pixel, scrolls it, realises the palette on 8-bit screens, opens the context
// menu and lets the user drag the zoom rectangle.
#include "shell/PomeDraw.h"

#include <windows.h>

#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/ColourCommandsWin.h"
#include "image/PaletteWin.h"
#include "navigation/DoPomeNavigation.h"
#include "resources/rcinc.h"
#include "shell/CallbackGuard.h"
#include "shell/PomeWin.h"
#include "shell/PomeWinLogic.h"
#include "shell/ProgramState.h"

namespace {

int32_t DisplayedWidth() { return Program.Image.width * Program.DisplayScale; }
int32_t DisplayedHeight() { return Program.Image.height * Program.DisplayScale; }

POINT MousePosition(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// --- scrolling ----------------------------------------------------------------

void ApplyAxis(HWND window, int bar, const ScrollAxis& axis) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (axis.shown) {
        info.nMax = axis.rangeMax;
        info.nPage = static_cast<UINT>(axis.page);
        info.nPos = axis.pos;
        SetScrollInfo(window, bar, &info, TRUE);
    } else {
        info.fMask = SIF_RANGE;
        SetScrollInfo(window, bar, &info, TRUE);  // 0 .. 0 hides the bar
    }
}

// Showing or hiding a bar changes the client size; the WM_SIZE that follows
// runs this again with the new size.
void UpdateScrollBars(HWND window) {
    DrawingView& view = Program.Drawing;
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    if (!ImageSizeKnown()) return;
    view.Scroll = LayOutScrollBars(outer.right - outer.left, outer.bottom - outer.top, client.right, client.bottom,
                                   DisplayedWidth(), DisplayedHeight(), view.Scroll.x.pos, view.Scroll.y.pos);
    ApplyAxis(window, SB_HORZ, view.Scroll.x);
    ApplyAxis(window, SB_VERT, view.Scroll.y);
}

void OnScroll(HWND window, int bar, WPARAM wParam) {
    DrawingView& view = Program.Drawing;
    ScrollAxis& axis = bar == SB_HORZ ? view.Scroll.x : view.Scroll.y;
    const int32_t old = axis.pos;
    axis.pos = ScrolledPosition(LOWORD(wParam), HIWORD(wParam), old, axis.max);
    if (axis.pos == old) return;
    view.PartialPaint = true;
    const int dx = bar == SB_HORZ ? old - axis.pos : 0;
    const int dy = bar == SB_VERT ? old - axis.pos : 0;
    ScrollWindowEx(window, dx, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    // Doubled pixels move in pairs: halving an odd position would leave
    // seams between the moved picture and the repainted strip.
    if (Program.DisplayScale != 1) InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = axis.pos;
    SetScrollInfo(window, bar, &info, TRUE);
}

// --- painting -----------------------------------------------------------------

BOOL OnEraseBackground(HWND window, HDC dc) {
    const DrawingView& view = Program.Drawing;
    if (view.Scroll.x.max != 0 && view.Scroll.y.max != 0) return TRUE;
    RECT client{};
    GetClientRect(window, &client);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    if (DisplayedWidth() < client.right) Rectangle(dc, DisplayedWidth(), 0, client.right, client.bottom);
    if (DisplayedHeight() < client.bottom) Rectangle(dc, 0, DisplayedHeight(), client.right, client.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    return TRUE;
}

// Copies the image at scale 1 into the rectangles of the paint's region, one
// by one: copying the whole image into a DC clipped to the region draws the
// same, but Wine converts every pixel of the source rectangle to the
// screen's format first, the rows left out by the clip included, so a paint
// of a few new rows would cost nearly what a paint of the whole view does.
// False when the region cannot be read.
bool CopyIntoPaintRegion(HDC dc, HDC memory, LONG width, LONG height) {
    const DrawingView& view = Program.Drawing;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (region == nullptr) return false;
    bool copied = false;
    // The system region of a paint DC is the update region, in screen
    // co-ordinates.
    if (GetRandomRgn(dc, region, SYSRGN) == 1) {
        POINT origin{0, 0};
        ClientToScreen(WindowFromDC(dc), &origin);
        OffsetRgn(region, -origin.x, -origin.y);
        const DWORD size = GetRegionData(region, 0, nullptr);
        std::vector<uint8_t> data(size);
        if (size >= sizeof(RGNDATAHEADER) &&
            GetRegionData(region, size, reinterpret_cast<RGNDATA*>(data.data())) == size) {
            const auto* header = reinterpret_cast<const RGNDATAHEADER*>(data.data());
            const auto* rects = reinterpret_cast<const RECT*>(data.data() + sizeof(RGNDATAHEADER));
            for (DWORD i = 0; i < header->nCount; ++i) {
                const RECT& r = rects[i];
                const LONG right = std::min<LONG>(r.right, width);
                const LONG bottom = std::min<LONG>(r.bottom, height);
                if (right > r.left && bottom > r.top)
                    BitBlt(dc, r.left, r.top, right - r.left, bottom - r.top, memory, r.left + view.Scroll.x.pos,
                           r.top + view.Scroll.y.pos, SRCCOPY);
            }
            copied = true;
        }
    }
    DeleteObject(region);
    return copied;
}

// The visible part of the image into `dc`; after a scroll step at scale 1
// only the uncovered strip `dirty`.
void PaintImage(HDC dc, const RECT& dirty) {
    DrawingView& view = Program.Drawing;
    HDC memory = CreateCompatibleDC(dc);
    HPALETTE palette = Program.Palette.Handle();
    HPALETTE oldPalette = palette != nullptr ? SelectPalette(dc, palette, FALSE) : nullptr;
    HGDIOBJ oldBitmap = SelectObject(memory, reinterpret_cast<HBITMAP>(Program.Image.bitmap));
    if (view.PartialPaint && Program.DisplayScale != 1) view.PartialPaint = false;
    if (!view.PartialPaint) {
        if (Program.DisplayScale == 2) {
            StretchBlt(dc, 0, 0, DisplayedWidth() - view.Scroll.x.max, DisplayedHeight() - view.Scroll.y.max, memory,
                       view.Scroll.x.pos / 2, view.Scroll.y.pos / 2, Program.Image.width - view.Scroll.x.max / 2,
                       Program.Image.height - view.Scroll.y.max / 2, SRCCOPY);
        } else {
            const LONG width = Program.Image.width - view.Scroll.x.max;
            const LONG height = Program.Image.height - view.Scroll.y.max;
            if (!CopyIntoPaintRegion(dc, memory, width, height))
                BitBlt(dc, 0, 0, width, height, memory, view.Scroll.x.pos, view.Scroll.y.pos, SRCCOPY);
        }
    } else {
        // Only what the image covers: beside a smaller image the strip is
        // background, and the bitmap has nothing to give there.
        const LONG right = std::min<LONG>(dirty.right, Program.Image.width - view.Scroll.x.pos);
        const LONG bottom = std::min<LONG>(dirty.bottom, Program.Image.height - view.Scroll.y.pos);
        if (right > dirty.left && bottom > dirty.top)
            BitBlt(dc, dirty.left, dirty.top, right - dirty.left, bottom - dirty.top, memory,
                   dirty.left + view.Scroll.x.pos, dirty.top + view.Scroll.y.pos, SRCCOPY);
        view.PartialPaint = false;
    }
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
    if (oldPalette != nullptr) SelectPalette(dc, oldPalette, TRUE);
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintImage(dc, paint.rcPaint);
    EndPaint(window, &paint);
}

LRESULT RealisePaletteIn(HWND window) {
    HPALETTE palette = Program.Palette.Handle();
    if (Program.ScreenDepth != 8 || palette == nullptr) return 0;
    HDC dc = GetDC(window);
    HPALETTE previous = SelectPalette(dc, palette, FALSE);
    const UINT changed = RealizePalette(dc);
    SelectPalette(dc, previous, FALSE);
    if (changed != GDI_ERROR && changed > 0) InvalidateRect(window, nullptr, FALSE);
    ReleaseDC(window, dc);
    return changed == GDI_ERROR ? 0 : static_cast<LRESULT>(changed);
}

// --- context menu -------------------------------------------------------------

void OnRightButtonDown(HWND window, LPARAM lParam) {
    DrawingView& view = Program.Drawing;
    POINT point = MousePosition(lParam);
    view.ContextPoint = POINT{point.x + view.Scroll.x.pos, point.y + view.Scroll.y.pos};
    ClientToScreen(window, &point);
    TrackPopupMenu(GetSubMenu(Program.ContextMenu, 0), TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr);
}

// --- zoom selection -----------------------------------------------------------

// XOR outline: drawing it twice restores the picture.
void DrawFrame(HWND window) {
    const DrawingView& view = Program.Drawing;
    HDC dc = GetDC(window);
    const int oldMode = SetROP2(dc, R2_XORPEN);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    const IntRect& frame = view.Selection;
    Rectangle(dc, frame.left - view.Scroll.x.pos, frame.top - view.Scroll.y.pos, frame.right - view.Scroll.x.pos,
              frame.bottom - view.Scroll.y.pos);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    SetROP2(dc, oldMode);
    ReleaseDC(window, dc);
}

void OnSelectionPress(HWND window, LPARAM lParam) {
    DrawingView& view = Program.Drawing;
    if (view.Selecting) return;
    const POINT mouse = MousePosition(lParam);
    const int32_t x = mouse.x + view.Scroll.x.pos;
    const int32_t y = mouse.y + view.Scroll.y.pos;
    SetCapture(window);
    view.Selecting = true;
    view.SavedCalculating = Program.Calculating;
    Program.Calculating = false;  // no rows are painted over the frame while it is on the screen
    view.Selection = IntRect{x, y, x + 1, y + 1};
    DrawFrame(window);
}

void OnSelectionDrag(HWND window, LPARAM lParam) {
    DrawingView& view = Program.Drawing;
    if (!view.Selecting) return;
    const POINT mouse = MousePosition(lParam);
    DrawFrame(window);
    DragSelection(view.Selection, mouse.x + view.Scroll.x.pos, mouse.y + view.Scroll.y.pos);
    DrawFrame(window);
}

void OnSelectionRelease(HWND window) {
    DrawingView& view = Program.Drawing;
    if (!view.Selecting) return;
    // Cleared before the capture goes, since ReleaseCapture reports the lost
    // capture at once and that would cancel the zoom.
    view.Selecting = false;
    ReleaseCapture();
    DrawFrame(window);
    const IntRect zoom = SelectionInImagePixels(view.Selection, Program.DisplayScale);
    ZoomToRectangle(zoom.left, zoom.top, zoom.right, zoom.bottom, true);
    // A zoom that was confirmed has started its own calculation, or failed to
    // set one up and said so in the status bar; only a calculation that is
    // still set up may go on.
    if (view.SavedCalculating && Program.Calc.Status == SetUpStatus::Ready) Program.Calculating = true;
}

}  // namespace

void CancelSelection() {
    DrawingView& view = Program.Drawing;
    if (!view.Selecting) return;
    view.Selecting = false;
    if (GetCapture() == Program.DrawingWindow) ReleaseCapture();
    DrawFrame(Program.DrawingWindow);
    if (view.SavedCalculating) Program.Calculating = true;
}

void RefreshDrawingWindow() {
    if (Program.DrawingWindow == nullptr) return;
    UpdateScrollBars(Program.DrawingWindow);
    InvalidateRect(Program.DrawingWindow, nullptr, TRUE);
}

int32_t DrawingScrollY() { return Program.Drawing.Scroll.y.pos; }

void ContextPointInImage(int32_t& x, int32_t& y) {
    const DrawingView& view = Program.Drawing;
    x = view.ContextPoint.x / Program.DisplayScale;
    y = view.ContextPoint.y / Program.DisplayScale;
}

static LRESULT DrawingWindowProcBody(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        UpdateScrollBars(window);
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
        break;
    case WM_ERASEBKGND: OnEraseBackground(window, reinterpret_cast<HDC>(wParam)); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_HSCROLL: OnScroll(window, SB_HORZ, wParam); return 0;
    case WM_VSCROLL: OnScroll(window, SB_VERT, wParam); return 0;
    case WM_LBUTTONDOWN: OnSelectionPress(window, lParam); return 0;
    case WM_MOUSEMOVE: OnSelectionDrag(window, lParam); return 0;
    case WM_LBUTTONUP: OnSelectionRelease(window); return 0;
    case WM_CAPTURECHANGED:
        // Another window took the mouse: the drag ends without a zoom.
        if (reinterpret_cast<HWND>(lParam) != window) CancelSelection();
        return 0;
    case WM_RBUTTONDOWN: OnRightButtonDown(window, lParam); return 0;
    case WM_COMMAND: SendMessageA(Program.MainWindow, WM_COMMAND, wParam, lParam); return 0;
    case QM_RECOLOUR: ShiftPalette(0); return 0;
    case QM_PALETTE_CHANGED: RebuildPaletteKeepingShift(); return 0;
    case WM_QUERYNEWPALETTE: return RealisePaletteIn(window);
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) == window) return 0;
        return RealisePaletteIn(window);
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK DrawingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedCallback([&] { return DrawingWindowProcBody(window, message, wParam, lParam); },
                           [&] { return DefWindowProcA(window, message, wParam, lParam); });
}
