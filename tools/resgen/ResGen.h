// The build-time generators of quaxel's art: the toolbar strip drawn as text
// and the program icon rendered by the program's own engine. Portable, so
// that they run on the build machine whatever the target is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The toolbar strip: TOOLBAR_IMAGE_COUNT pictures of TOOLBAR_IMAGE_SIZE
// square, side by side, one palette index (0 to 15) per pixel, top row first.
struct GlyphStrip {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height indices
};

// Reads the glyph text (format described at the top of
// resources/toolbar-glyphs.txt). On error returns false with
// "line N: reason" in `error`.
bool ParseGlyphs(const std::string& text, GlyphStrip& strip, std::string& error);

// The strip as a 4-bit BMP file with the 16-colour VGA table, bottom-up rows.
std::vector<uint8_t> ToolbarBmpFile(const GlyphStrip& strip);

// One square icon image: 8-bit indices (top row first) and the 256-entry
// colour table (blue, green, red, 0).
struct IconImage {
    int32_t size = 0;
    std::vector<uint8_t> pixels;      // size * size indices
    std::vector<uint8_t> colourTable; // 1024 bytes
};

// Renders the whole Mandelbrot set at size x size with the engine and the
// Fire palette. False if the engine could not set up the calculation.
bool RenderIconImage(int32_t size, IconImage& image, std::string& error);

// An .ico file with one 8-bit entry per image, all pixels opaque.
std::vector<uint8_t> IcoFile(const std::vector<IconImage>& images);
