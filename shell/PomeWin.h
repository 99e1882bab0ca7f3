// The main window: its procedure, the toolbar, the numeric-type menu items,
// the window size and full screen. Windows only.
#pragma once

#include <windows.h>

#include "engine/PomeClc.h"

constexpr char kMainClass[] = "Quaxel";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the toolbar with its 16 entries.
HWND CreateQuaxelToolbar(HWND parent);

// Checks the menu item of `type` and unchecks the other three, on the
// window's menu or, in full screen, on the menu kept meanwhile.
void CheckNumericTypeItems(HWND window, NumericType type);

// Sizes the main window so that the whole image shows, or maximises it when
// that does not fit the work area.
void SizeWindowToImage();
bool ImageSizeKnown();  // false until the window was first sized to the image

// Toggles full screen; with leaveOnly it can only end it.
void SetFullScreen(bool leaveOnly);
bool IsFullScreen();
