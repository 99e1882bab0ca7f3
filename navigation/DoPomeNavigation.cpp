// Zoom, centre and range commands.
#include "shell/DoPome.h"

// Zooming into a selection is not there yet: the release only ends the drag.
void ZoomToRectangle(int32_t, int32_t, int32_t, int32_t, bool) {}
