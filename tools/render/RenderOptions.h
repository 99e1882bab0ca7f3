// Command line of quaxel-render, the headless renderer: parsing and usage
// text, kept apart from main() so that they can be tested.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RenderOptions {
    long double realMin = -2.0L, realMax = 1.0L;
    long double imagMin = -1.5L, imagMax = 1.5L;
    long double constReal = 0.0L, constImag = 0.0L;
    bool julia = false;
    bool rangeGiven = false;  // without --real/--imag, the formula's start range
    int32_t iterStart = 64, iterInc = 64, iterEnd = 256;
    int numericType = 1;  // 0 CPU Fixed, 1 FPU Single, 2 FPU Double, 3 FPU Extended
    int32_t width = 400, height = 300;
    int32_t palette = 1;
    bool percentage = false;
    int32_t shift = 0;
    bool insideColourEnabled = false;
    int32_t insideColour = 0;
    int32_t iterationsPerColour = 1;
    std::string output;
};

// Parses argv[1..]; on error returns false with a one-line reason in `error`.
bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions& options, std::string& error);

const char* RenderUsage();
