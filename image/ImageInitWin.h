// Building and rebuilding image, palette and calculation, and the one path by
// which every change of view reaches the engine. Windows only; works on the
// program's record.
#pragma once

#include <cstdint>

// Builds palette 1, the 400 x 300 image with its test pattern, the
// calculation state and the Mandelbrot start range. Once, at start.
void InitImage();

// Re-creates palette and image at the given size (the old bitmap is already
// released); with rebuildCalculation also a new calculation state (its buffers
// already released) and a restart.
void RebuildImage(int32_t width, int32_t height, bool rebuildCalculation);

// Hands the current settings to the engine's set-up, which lets the
// precision checks pick the numeric type, and starts computing.
void RestartCalculation();

// Steps 3 to 6 of a new image size: rebuild image and calculation at width x
// height shown at `scale`, size the window to it.
void ApplyImageSize(int32_t width, int32_t height, int32_t scale);

// The Display command (F11): the Display dialog, then the new size.
void DisplayCommand();
