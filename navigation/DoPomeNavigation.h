// The navigation commands. Windows only; they work on the program's record.
#pragma once

#include <cstdint>

// Carries out a navigation command and answers true, or false for a command
// that is not one.
bool NavigationCommand(int command);

// The end of a zoom drag: the selection in image pixels, to be confirmed in
// the Range dialog.
void ZoomToRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, bool confirm);
