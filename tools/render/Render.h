// Headless rendering: runs the engine the way quaxel's message loop does and
// writes the finished image as a BMP file.
#pragma once

#include <string>

#include "engine/PomeClc.h"
#include "tools/render/RenderOptions.h"

struct RenderResult {
    NumericType numericType = NumericType::FpuSingle;  // the type the set-up settled on
    IterationStatistics stats{};
    int32_t passes = 0;
    double seconds = 0.0;
    std::string notes;  // precision messages the engine raised, one per line
};

// False with a one-line reason in `error` when the image cannot be made or
// computed or the file cannot be written.
bool Render(const RenderOptions& options, RenderResult& result, std::string& error);

const char* NumericTypeName(NumericType type);
