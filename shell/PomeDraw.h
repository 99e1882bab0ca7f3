// The drawing window: painting, scroll bars, the context menu and the zoom
// selection. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/PomeWinLogic.h"

constexpr char kDrawingClass[] = "QuaxelDraw";

// What the drawing window shows and what a drag or the context menu started
// there, in the program record (ProgramState.h).
struct DrawingView {
    ScrollLayout Scroll;            // positions and largest positions of both directions
    bool PartialPaint = false;      // the next paint copies only the invalid strip of a scroll step
    IntRect Selection;              // the zoom frame, in displayed pixels of the whole image
    bool Selecting = false;         // a drag is under way and has the capture
    bool SavedCalculating = false;  // whether the calculation ran when the drag paused it
    POINT ContextPoint{0, 0};       // where the context menu opened, in displayed pixels
};

LRESULT CALLBACK DrawingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Lays the scroll bars out anew for the current image, display scale and
// client size (keeping the positions where they still fit) and repaints the
// whole window with its background.
void RefreshDrawingWindow();

// The vertical scroll position, for the rows the message loop invalidates.
int32_t DrawingScrollY();

// The context point (where the context menu opened) in image pixels.
void ContextPointInImage(int32_t& x, int32_t& y);

// Ends a zoom selection under way without zooming: erases the frame, gives
// up the capture and lets a paused calculation go on.
void CancelSelection();
