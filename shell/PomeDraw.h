// The drawing window: painting, scroll bars, the context menu and the zoom
// selection. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr char kDrawingClass[] = "QuaxelDraw";

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
