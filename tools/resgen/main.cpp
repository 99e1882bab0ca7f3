// quaxel-resgen: writes the art that quaxel.rc takes in.
//   quaxel-resgen icon OUTPUT.ico
//   quaxel-resgen toolbar GLYPHS.txt OUTPUT.bmp
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/resgen/ResGen.h"

namespace {

// The whole file in one go; an incomplete one is removed, so that a failed
// run never leaves art behind that the next build would take as current.
bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    std::remove(path);
    return false;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "quaxel-resgen: %s\n", message.c_str());
    return 1;
}

int MakeIcon(const char* output) {
    std::vector<IconImage> images(2);
    std::string error;
    if (!RenderIconImage(32, images[0], error) || !RenderIconImage(16, images[1], error)) return Fail(error);
    if (!WriteWholeFile(output, IcoFile(images))) return Fail(std::string("cannot write ") + output);
    return 0;
}

int MakeToolbar(const char* glyphFile, const char* output) {
    std::ifstream in(glyphFile, std::ios::binary);
    if (!in) return Fail(std::string("cannot read ") + glyphFile);
    std::ostringstream text;
    text << in.rdbuf();
    GlyphStrip strip;
    std::string error;
    if (!ParseGlyphs(text.str(), strip, error)) return Fail(std::string(glyphFile) + ": " + error);
    if (!WriteWholeFile(output, ToolbarBmpFile(strip))) return Fail(std::string("cannot write ") + output);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "icon" && argc == 3) return MakeIcon(argv[2]);
    if (mode == "toolbar" && argc == 4) return MakeToolbar(argv[2], argv[3]);
    return Fail("usage: quaxel-resgen icon OUTPUT.ico | quaxel-resgen toolbar GLYPHS.txt OUTPUT.bmp");
}
