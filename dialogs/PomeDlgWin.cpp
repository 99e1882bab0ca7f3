#include "dialogs/PomeDlg.h"

bool RangeDialog(HWND, CoordinateSet&) { return false; }
bool IterationsDialog(HWND, int32_t&) { return false; }
bool SaveCoordinates(HWND, const CoordinateSet&) { return false; }
bool LoadCoordinates(HWND, CoordinateSet&) { return false; }
