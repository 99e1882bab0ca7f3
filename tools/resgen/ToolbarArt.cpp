#include <array>
#include <cstring>
#include <sstream>
#include <string>

#include "resources/rcinc.h"
#include "tools/resgen/ByteWriter.h"
#include "tools/resgen/ResGen.h"

namespace {

// The default 16-colour table of the platform (red, green, blue). The toolbar
// replaces entry 7, (192, 192, 192), by the button face colour, and black,
// dark grey and white by the text, shadow and highlight colours.
constexpr uint8_t kVgaColours[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

constexpr int kNoColour = -1;

std::string LineError(int lineNumber, const std::string& reason) {
    return "line " + std::to_string(lineNumber) + ": " + reason;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "colour C N description": character C paints palette index N.
bool ParseColourLine(const std::string& line, std::array<int, 256>& map, std::string& reason) {
    std::istringstream in(line.substr(std::strlen("colour")));
    std::string symbol;
    int index = -1;
    if (!(in >> symbol >> index) || symbol.size() != 1 || index < 0 || index > 15) {
        reason = "expected \"colour <character> <index 0-15> <description>\"";
        return false;
    }
    const auto key = static_cast<unsigned char>(symbol[0]);
    if (map[key] != kNoColour) {
        reason = "character '" + symbol + "' is mapped twice";
        return false;
    }
    map[key] = index;
    return true;
}

}  // namespace

bool ParseGlyphs(const std::string& text, GlyphStrip& strip, std::string& error) {
    constexpr int kSize = TOOLBAR_IMAGE_SIZE;
    constexpr int kCount = TOOLBAR_IMAGE_COUNT;
    strip.width = kSize * kCount;
    strip.height = kSize;
    strip.pixels.assign(static_cast<size_t>(strip.width) * kSize, 0);

    std::array<int, 256> map;
    map.fill(kNoColour);
    int glyph = -1;      // the glyph whose rows are being read
    int row = kSize;     // rows of it read so far
    int lineNumber = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (row < kSize) {
            if (static_cast<int>(line.size()) != kSize) {
                error = LineError(lineNumber, "glyph " + std::to_string(glyph) + " row " + std::to_string(row) +
                                                  " has " + std::to_string(line.size()) + " characters, expected " +
                                                  std::to_string(kSize));
                return false;
            }
            for (int x = 0; x < kSize; ++x) {
                const int colour = map[static_cast<unsigned char>(line[x])];
                if (colour == kNoColour) {
                    error = LineError(lineNumber, std::string("character '") + line[x] + "' has no colour");
                    return false;
                }
                strip.pixels[static_cast<size_t>(row) * strip.width + glyph * kSize + x] =
                    static_cast<uint8_t>(colour);
            }
            ++row;
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        if (StartsWith(line, "colour ")) {
            std::string reason;
            if (!ParseColourLine(line, map, reason)) {
                error = LineError(lineNumber, reason);
                return false;
            }
        } else if (StartsWith(line, "glyph ")) {
            // Numbered so that a forgotten or doubled picture cannot shift
            // every later button onto the wrong image.
            std::istringstream header(line.substr(std::strlen("glyph ")));
            int number = -1;
            if (!(header >> number) || number != glyph + 1 || number >= kCount) {
                error = LineError(lineNumber, "expected glyph " + std::to_string(glyph + 1));
                return false;
            }
            glyph = number;
            row = 0;
        } else {
            error = LineError(lineNumber, "expected a comment, \"colour\" or \"glyph\" line");
            return false;
        }
    }
    if (row < kSize) {
        error = LineError(lineNumber, "glyph " + std::to_string(glyph) + " ends after " + std::to_string(row) +
                                          " rows");
        return false;
    }
    if (glyph != kCount - 1) {
        error = "found " + std::to_string(glyph + 1) + " glyphs, expected " + std::to_string(kCount);
        return false;
    }
    return true;
}

std::vector<uint8_t> ToolbarBmpFile(const GlyphStrip& strip) {
    const uint32_t stride = (static_cast<uint32_t>(strip.width) * 4 + 31) / 32 * 4;
    const uint32_t pixelBytes = stride * static_cast<uint32_t>(strip.height);
    const uint32_t pixelOffset = 14 + 40 + 16 * 4;

    ByteWriter out;
    out.Bytes("BM", 2);
    out.U32(pixelOffset + pixelBytes);
    out.U32(0);  // two reserved words
    out.U32(pixelOffset);
    out.InfoHeader(strip.width, strip.height, 4, pixelBytes, 16);
    for (const auto& c : kVgaColours) out.Quad(c[0], c[1], c[2]);
    for (int32_t y = strip.height - 1; y >= 0; --y) {
        const uint8_t* source = strip.pixels.data() + static_cast<size_t>(y) * strip.width;
        std::vector<uint8_t> packed(stride, 0);
        for (int32_t x = 0; x < strip.width; ++x) {
            packed[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? source[x] << 4 : source[x]);
        }
        out.Bytes(packed.data(), packed.size());
    }
    return out.bytes;
}
