// The program's one instance of everything, in one record: the view, the
// numeric type, the colour state, the image, the calculation, the current set
// name, what the machine reported at start, and the shell state with the
// windows. Defined in DoPome.cpp; the Win32 commands and dialogs work on it,
// the portable units never see it and are handed what they need. Windows only.
//
// Whatever the shell keeps from one message to the next is here, and nowhere
// at file scope: the drawing window's scroll, zoom drag and context point,
// the logical palette, the menu that full screen takes away and the help hook
// are each read by more than one unit (the message loop, the commands, both
// window procedures) or outlive the window or dialog that uses them, and so
// have one owner in plain sight. What only one window needs while it is open
// is kept by that window: a dialog's record in its DWLP_USER, the Welcome
// dialog's setting in its check box, a tool tip's text in the notification's
// own buffer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/PomeClc.h"
#include "image/DibSect.h"
#include "image/Palette.h"
#include "image/PaletteWin.h"
#include "shell/PomeDraw.h"

struct ProgramState {
    // --- the calculation and its image
    CoordinateSet Coordinates;                         // the current view
    NumericType CurrentType = NumericType::FpuSingle;  // the numeric type the user works in
    ColourState Colours;
    DibImage Image;
    CalcState Calc;
    std::string CurrentSetName;  // the name the Save and Load dialogs offer

    // --- the machine, as read at start
    bool FpuPresent = false;
    int32_t ScreenDepth = 0;  // bits per pixel times planes; 8 needs a logical palette

    // --- shell state
    bool Calculating = false;
    DWORD CalcStartTick = 0;
    int32_t DisplayScale = 1;  // 1 or 2 screen pixels per image pixel
    HWND MainWindow = nullptr;
    HWND DrawingWindow = nullptr;
    HWND Toolbar = nullptr;
    HWND StatusBar = nullptr;
    HWND WelcomeDialog = nullptr;
    HMENU ContextMenu = nullptr;
    HMENU KeptMenu = nullptr;   // the menu, while full screen has taken it away
    HHOOK HelpHook = nullptr;   // function keys in dialogs and message boxes (PomeWelcome.cpp)
    bool SizedToImage = false;  // the main window was sized to the image: scroll bars can be laid out
    DrawingView Drawing;        // what the drawing window shows and what a drag started there
    LogicalPalette Palette;     // realised into the main window on 8-bit screens
    HINSTANCE Instance = nullptr;
};

extern ProgramState Program;
