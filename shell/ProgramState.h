// The program's one instance of everything, in one record: the view, the
// numeric type, the colour state, the image, the calculation, the current set
// name, what the machine reported at start, and the shell state with the
// windows. Defined in DoPome.cpp; the Win32 commands and dialogs work on it,
// the portable units never see it and are handed what they need. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/PomeClc.h"
#include "image/DibSect.h"
#include "image/Palette.h"

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
    HINSTANCE Instance = nullptr;
};

extern ProgramState Program;

// The colour state's values the engine reads.
inline ColourParams EngineColours(const ColourState& colours) {
    return ColourParams{colours.ColourCount,          colours.PaletteShift,  colours.ColourMode,
                        colours.PomeSetColourEnabled, colours.PomeSetColour, colours.IterationsPerColour};
}
