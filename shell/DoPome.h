// The program's one instance of everything: the view, the numeric type, the
// image, the calculation, the shell state and the four windows, and the
// operations that tie them together. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/PomeClc.h"
#include "image/DibSect.h"

// --- the calculation and its image -----------------------------------------

extern CoordinateSet Coordinates;  // the current view
extern NumericType CurrentType;    // the numeric type the user works in
extern DibImage Image;
extern CalcState Calc;

// Builds palette 1, the 400 x 300 image with its test pattern, the
// calculation state and the Mandelbrot start range. Once, at start.
void InitImage();

// Re-creates palette and image at the given size (the old bitmap is already
// released); with rebuildCalculation also a new calculation state (its buffers
// already released) and a restart.
void RebuildImage(int32_t width, int32_t height, bool rebuildCalculation);

// Hands the current settings to the engine, lets the precision checks pick
// the numeric type, and starts computing.
void RestartCalculation();

// Steps 3 to 6 of a new image size: rebuild image and calculation at width x
// height shown at `scale`, size the window to it.
void ApplyImageSize(int32_t width, int32_t height, int32_t scale);

// The Display command (F11): the Display dialog, then the new size.
void DisplayCommand();

// --- shell state -----------------------------------------------------------

extern bool Calculating;
extern DWORD CalcStartTick;
extern int32_t DisplayScale;  // 1 or 2 screen pixels per image pixel
extern HWND MainWindow;
extern HWND DrawingWindow;
extern HWND Toolbar;
extern HWND StatusBar;
extern HWND WelcomeDialog;
extern HMENU ContextMenu;
extern HINSTANCE Instance;

void BeginCalculating();
void ShowReadyStatus();
void SetStatusText(const char* text);

// The program's (module == nullptr) or a module's path split into directory
// (with its separator), name and extension. False, with all three empty, if
// the path could not be had in full.
bool SplitModulePath(HMODULE module, std::string& directory, std::string& name, std::string& extension);

// --- commands -------------------------------------------------------------

// Each carries out its command and answers true, or false for a command
// that is not its own.
bool NavigationCommand(int command);
bool ColourCommand(int command);

// Rotates the palette by -2, -1, 0, +1 or +2 steps and recolours (0: just
// recolour with the current settings).
void ShiftPalette(int32_t step);
// Generates the palette anew at the current size, keeping the rotation.
void RebuildPaletteKeepingShift();

// --- windows (PomeWin) -----------------------------------------------------

constexpr char kMainClass[] = "Quaxel";
constexpr char kDrawingClass[] = "QuaxelDraw";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DrawingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the toolbar with its 16 entries.
HWND CreateQuaxelToolbar(HWND parent);

// Checks the menu item of `type` and unchecks the other three, on the
// window's menu or, in full screen, on the menu kept meanwhile.
void CheckNumericTypeItems(HWND window, NumericType type);

// Sizes the main window so that the whole image shows, or maximises it when
// that does not fit the work area. Remembers the image for later calls.
void SizeWindowToImage(const DibImage& image);
void SizeWindowToImage();  // again, for the image remembered
bool ImageSizeKnown();     // false until the window was first sized to the image

// Toggles full screen; with leaveOnly it can only end it.
void SetFullScreen(bool leaveOnly);
bool IsFullScreen();

// --- F1 hook and Welcome dialog (PomeWelcome) ------------------------------

void InstallHelpKeyHook();
void RemoveHelpKeyHook();
// Opens the Welcome dialog, at start only when its setting asks for it.
void ShowWelcome(bool atStartup);

// --- drawing window (PomeDraw) ---------------------------------------------

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

// The end of a zoom drag: the selection in image pixels, to be confirmed in
// the Range dialog.
void ZoomToRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, bool confirm);
