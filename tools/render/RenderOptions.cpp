#include "tools/render/RenderOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "dialogs/NumberTextLogic.h"

namespace {

// The program's own reader, so that whatever the Range dialog takes (a
// subnormal, "5.", "-.5") is taken here too, and nothing else (no hex
// floats, no "inf"): a view typed there can be typed on the command line.
bool ParseLongDouble(const std::string& text, long double& value) {
    const NumberReading reading = ReadNumber(text);
    if (reading.syntax != NumberSyntax::Valid) return false;
    value = reading.value;
    return true;
}

// A number of any length in the Range dialog's syntax: its value is read
// later, at the precision the view needs.
bool IsNumberText(const std::string& text) {
    const NumberSyntax syntax = ReadNumber(text).syntax;
    return syntax == NumberSyntax::Valid || syntax == NumberSyntax::OutOfRange;
}

bool ParseInt(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || v < low || v > high) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// "K/N" with 0 <= K < N.
bool ParsePart(const std::string& text, int32_t& part, int32_t& parts) {
    const auto slash = text.find('/');
    if (slash == std::string::npos) return false;
    return ParseInt(text.substr(0, slash), 0, kMaxFrames - 1, part) &&
           ParseInt(text.substr(slash + 1), 1, kMaxFrames, parts) && part < parts;
}

bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    return ParseInt(text.substr(0, x), 2, kMaxSide, width) && ParseInt(text.substr(x + 1), 2, kMaxSide, height);
}

bool HasPngEnding(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".png";
}

}  // namespace

bool PatternIsValid(const std::string& pattern) {
    int numbers = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') { ++i; continue; }
        size_t j = i + 1;
        if (j < pattern.size() && pattern[j] == '0') ++j;
        const size_t digits = j;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') ++j;
        if (j >= pattern.size() || pattern[j] != 'd' || j - digits > 2) return false;
        ++numbers;
        i = j;
    }
    return numbers == 1;
}

std::string FrameFileName(const std::string& pattern, int32_t frame) {
    std::string name;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') { name += pattern[i]; continue; }
        if (pattern[i + 1] == '%') { name += '%'; ++i; continue; }
        size_t j = i + 1;
        const bool zeros = pattern[j] == '0';
        if (zeros) ++j;
        size_t width = 0;
        while (pattern[j] >= '0' && pattern[j] <= '9') width = width * 10 + static_cast<size_t>(pattern[j++] - '0');
        std::string digits = std::to_string(frame);
        if (digits.size() < width) digits.insert(0, width - digits.size(), zeros ? '0' : ' ');
        name += digits;
        i = j;
    }
    return name;
}

std::vector<int32_t> PartFrames(int32_t frames, int32_t part, int32_t parts) {
    std::vector<int32_t> mine;
    if (parts < 1 || part < 0) return mine;
    for (int32_t f = part; f < frames; f += parts) mine.push_back(f);
    return mine;
}

const char* RenderUsage() {
    return "usage: quaxel-render [options] OUTPUT.bmp|OUTPUT.png\n"
           "       quaxel-render --list-views quaxel.ini\n"
           "       quaxel-render --frames N [--from NAME] --zoom-to NAME --ini FILE [options] PATTERN\n"
           "Computes images with the engine of quaxel and writes them as 8-bit BMP or PNG files, or as\n"
           "RGB PNG files (below).\n"
           "  --real MIN MAX        real range (default: the formula's start range)\n"
           "  --imag MIN MAX        imaginary range\n"
           "  --const RE IM         Julia constant (default 0 0)\n"
           "  --formula mandelbrot|julia            (default mandelbrot)\n"
           "  --iter START INC END  iteration values (default 64 64 256)\n"
           "  --type fixed|single|double|extended|deep  numeric type (default single, the program's;\n"
           "                        a type too coarse for the range falls back as in the program,\n"
           "                        and past FPU Extended to deep where this build has it)\n"
           "  --size WxH            image size, 2 to 65535 each (default 400x300)\n"
           "  --palette N           palette 1 to 11 (default 1, Fire)\n"
           "  --mode modulo|percentage              colour determination (default modulo)\n"
           "  --shift N             palette shift (default 0)\n"
           "  --inside N            paint points inside the set with palette index N\n"
           "  --per-colour N        iterations per colour in modulo mode (default 1)\n"
           "RGB images (PNG only; a BMP stays 8-bit):\n"
           "  --colouring counts|smooth             the palette index of the count (default), or a\n"
           "                        continuous escape value on the palette as a gradient, mixed in\n"
           "                        linear light; --per-colour, --shift and --mode as for counts,\n"
           "                        the inside colour as ever. For movies take modulo: percentage\n"
           "                        follows each frame's IterEnd, so its bands flicker\n"
           "  --scale linear|sqrt|log               what smooth colouring does to the value first\n"
           "                        (default linear; log is log2(1 + v))\n"
           "  --supersample N       N x N samples per pixel, 1 to 16, averaged in linear light\n"
           "  --adaptive            with --supersample: only pixels with a neighbour that differs\n"
           "                        by more than 4 of 255 sRGB levels in a channel get the samples\n"
           "                        (the deep type takes every pixel's samples)\n"
           "  --depth 8|16          bits per channel: 24-bit or 48-bit RGB (default 8)\n"
           "Deep zoom (Mandelbrot; any depth: differences in double to a spacing of 1e-290, below it\n"
           "in a rescaled double to 1e-602, then in 80-bit and in a double with an exponent of its\n"
           "own, which are slower):\n"
           "  --centre RE IM        the view's centre, decimal numbers of any length\n"
           "  --zoom Z              with --centre: the shorter side spans 4/Z\n"
           "  --location FILE       centre, zoom and iterations from a location file: lines\n"
           "                        \"Re: ...\", \"Im: ...\", \"Zoom: ...\", \"Iterations: ...\", or TOML\n"
           "                        (real, imag, zoom, iterations; or [location] and [bailout]);\n"
           "                        without --iter the image is one pass to its iterations\n"
           "  --reference RE IM     the reference orbit at this point, when the view contains it, not at\n"
           "                        the centre: a frame of a deep movie alone, byte for byte\n"
           "  --reference-precision BITS  the reference's precision (at least the view's own)\n"
           "  --approximation on|off  skip runs of steps by bilinear approximation where it holds\n"
           "                        (default on; off: every step, for comparison)\n"
           "  --tolerance T         the approximation's tolerance, above 0 and below 1 (default 2^-40);\n"
           "                        smaller is slower and nearer the unapproximated counts\n"
           "Saved views (the program's File, Save as: quaxel.ini beside quaxel.exe):\n"
           "  --ini FILE            the INI file to read views from\n"
           "  --view NAME           render the view saved as NAME; options given override it\n"
           "  --list-views FILE     print the names of the views saved in FILE\n"
           "Zoom movies:\n"
           "  --frames N            N frames, 1 to 100000; OUTPUT is a pattern such as frames/f%05d.png\n"
           "  --zoom-to NAME        the last frame's view (default: the view given as for one image;\n"
           "                        --centre/--zoom or --location: to any depth, each frame's line\n"
           "                        gives the options that make it alone)\n"
           "  --from NAME           the first frame's view (default: the formula's start range)\n"
           "  --resume              skip frames whose file exists\n"
           "  --part K/N            only the frames whose number is K mod N (K from 0): N runs\n"
           "                        anywhere, with the same options, make the frames of one\n"
           "                        (GNU parallel, a Slurm job array: docs/renderer.md)\n"
           "  Frames are computed side by side, one per hardware thread (QUAXEL_RENDER_THREADS=N: N).\n"
           "  The width shrinks geometrically, so the zoom looks steady; the iteration values\n"
           "  grow log-linearly. A video from the frames:\n"
           "    ffmpeg -framerate 30 -i frames/f%05d.png -c:v libx264 -pix_fmt yuv420p zoom.mp4\n"
           "One image's rows are shared by the hardware threads (QUAXEL_RENDER_THREADS=N: N); the bytes\n"
           "do not depend on their number.\n"
           "Ctrl+C stops at the next row; no unfinished file is left under the output name.\n";
}

bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions& o, std::string& error) {
    auto need = [&](size_t i, size_t count) {
        if (i + count < args.size()) return true;
        error = "option " + args[i] + " needs " + std::to_string(count) + " value" + (count > 1 ? "s" : "");
        return false;
    };
    bool realGiven = false, imagGiven = false, partGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--real" || a == "--imag" || a == "--const") {
            if (!need(i, 2)) return false;
            long double low, high;
            if (!ParseLongDouble(args[i + 1], low) || !ParseLongDouble(args[i + 2], high)) {
                error = "option " + a + " needs two numbers as the Range dialog takes them";
                return false;
            }
            if (a == "--real") { o.realMin = low; o.realMax = high; realGiven = true; }
            if (a == "--imag") { o.imagMin = low; o.imagMax = high; imagGiven = true; }
            if (a == "--const") { o.constReal = low; o.constImag = high; o.constGiven = true; }
            i += 2;
        } else if (a == "--centre") {
            if (!need(i, 2)) return false;
            if (!IsNumberText(args[i + 1]) || !IsNumberText(args[i + 2])) {
                error = "option --centre needs two numbers as the Range dialog takes them (any length)";
                return false;
            }
            o.centreRe = args[i + 1];
            o.centreIm = args[i + 2];
            o.centreGiven = true;
            i += 2;
        } else if (a == "--reference") {
            if (!need(i, 2)) return false;
            if (!IsNumberText(args[i + 1]) || !IsNumberText(args[i + 2])) {
                error = "option --reference needs two numbers as the Range dialog takes them (any length)";
                return false;
            }
            o.referenceRe = args[i + 1];
            o.referenceIm = args[i + 2];
            i += 2;
        } else if (a == "--reference-precision") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 64, kMaxReferenceBits, o.referencePrecision)) {
                error = "option --reference-precision needs a number of bits from 64 to " +
                        std::to_string(kMaxReferenceBits);
                return false;
            }
        } else if (a == "--approximation") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            if (v != "on" && v != "off") {
                error = "option --approximation needs on or off";
                return false;
            }
            o.approximation = v == "on";
        } else if (a == "--tolerance") {
            if (!need(i, 1)) return false;
            long double t = 0;
            if (!ParseLongDouble(args[++i], t) || !(t > 0 && t < 1)) {
                error = "option --tolerance needs a number above 0 and below 1";
                return false;
            }
            o.tolerance = static_cast<double>(t);
        } else if (a == "--zoom") {
            if (!need(i, 1)) return false;
            o.zoom = args[++i];
            if (!IsNumberText(o.zoom)) { error = "option --zoom needs a number as the Range dialog takes it"; return false; }
        } else if (a == "--location") {
            if (!need(i, 1)) return false;
            o.location = args[++i];
            if (o.location.empty()) { error = "option --location needs a file name"; return false; }
        } else if (a == "--formula") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            o.formulaGiven = true;
            if (v == "mandelbrot") o.julia = false;
            else if (v == "julia") o.julia = true;
            else { error = "unknown formula '" + v + "' (mandelbrot or julia)"; return false; }
        } else if (a == "--iter") {
            if (!need(i, 3)) return false;
            if (!ParseInt(args[i + 1], 1, INT32_MAX - 1, o.iterStart) || !ParseInt(args[i + 2], 1, INT32_MAX - 1, o.iterInc) ||
                !ParseInt(args[i + 3], 1, INT32_MAX - 1, o.iterEnd)) {
                error = "option --iter needs three whole numbers of at least 1";
                return false;
            }
            o.iterGiven = true;
            i += 3;
        } else if (a == "--type") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            o.typeGiven = true;
            if (v == "fixed") o.numericType = 0;
            else if (v == "single") o.numericType = 1;
            else if (v == "double") o.numericType = 2;
            else if (v == "extended") o.numericType = 3;
            else if (v == "deep") o.numericType = kDeepType;
            else { error = "unknown numeric type '" + v + "' (fixed, single, double, extended or deep)"; return false; }
        } else if (a == "--size") {
            if (!need(i, 1)) return false;
            if (!ParseSize(args[++i], o.width, o.height)) {
                error = "option --size needs WxH with 2 to " + std::to_string(kMaxSide) + " pixels each way";
                return false;
            }
        } else if (a == "--palette") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 1, 11, o.palette)) { error = "option --palette needs a number from 1 to 11"; return false; }
        } else if (a == "--mode") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            if (v == "modulo") o.percentage = false;
            else if (v == "percentage") o.percentage = true;
            else { error = "unknown colour mode '" + v + "' (modulo or percentage)"; return false; }
        } else if (a == "--shift") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 0, 255, o.shift)) { error = "option --shift needs a number from 0 to 255"; return false; }
        } else if (a == "--inside") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 0, 255, o.insideColour)) { error = "option --inside needs a palette index from 0 to 255"; return false; }
            o.insideColourEnabled = true;
        } else if (a == "--per-colour") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 1, INT32_MAX, o.iterationsPerColour)) { error = "option --per-colour needs a number of at least 1"; return false; }
        } else if (a == "--ini" || a == "--view" || a == "--list-views" || a == "--from" || a == "--zoom-to") {
            if (!need(i, 1)) return false;
            std::string& target = a == "--ini" ? o.ini : a == "--view" ? o.view : a == "--list-views" ? o.listViews
                                  : a == "--from"                    ? o.from
                                                                     : o.zoomTo;
            target = args[++i];
            if (target.empty()) { error = "option " + a + " needs a non-empty value"; return false; }
        } else if (a == "--frames") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 1, kMaxFrames, o.frames)) {
                error = "option --frames needs a number from 1 to " + std::to_string(kMaxFrames);
                return false;
            }
        } else if (a == "--resume") {
            o.resume = true;
        } else if (a == "--part") {
            if (!need(i, 1)) return false;
            if (!ParsePart(args[++i], o.part, o.parts)) {
                error = "option --part needs K/N, two whole numbers with 0 <= K < N (such as 0/4), not '" + args[i] +
                        "'";
                return false;
            }
            partGiven = true;
        } else if (a == "--colouring") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            if (v == "counts") o.smooth = false;
            else if (v == "smooth") o.smooth = true;
            else { error = "unknown colouring '" + v + "' (counts or smooth)"; return false; }
        } else if (a == "--scale") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            o.scaleGiven = true;
            if (v == "linear") o.scale = GradientScale::Linear;
            else if (v == "sqrt") o.scale = GradientScale::Sqrt;
            else if (v == "log") o.scale = GradientScale::Log;
            else { error = "unknown scale '" + v + "' (linear, sqrt or log)"; return false; }
        } else if (a == "--depth") {
            if (!need(i, 1)) return false;
            const std::string& v = args[++i];
            if (v == "8") o.depth = 8;
            else if (v == "16") o.depth = 16;
            else { error = "option --depth takes 8 or 16 bits per channel, not " + v; return false; }
        } else if (a == "--supersample") {
            if (!need(i, 1)) return false;
            if (!ParseInt(args[++i], 1, kMaxSupersample, o.supersample)) {
                error = "option --supersample needs a number from 1 to " + std::to_string(kMaxSupersample);
                return false;
            }
            o.supersampleGiven = true;
        } else if (a == "--adaptive") {
            o.adaptive = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            if (!o.output.empty()) { error = "more than one output file given"; return false; }
            o.output = a;
        }
    }
    if (!o.listViews.empty()) return true;
    if (o.output.empty()) { error = "no output file given"; return false; }
    if ((!o.view.empty() || !o.from.empty() || !o.zoomTo.empty()) && o.ini.empty()) {
        error = "--view, --from and --zoom-to name views of an INI file: give --ini FILE";
        return false;
    }
    if (o.frames == 0 && (!o.from.empty() || !o.zoomTo.empty() || o.resume || partGiven)) {
        error = "--from, --zoom-to, --resume and --part belong to a movie: give --frames N";
        return false;
    }
    if (o.frames > 0 && !PatternIsValid(o.output)) {
        error = "a movie's output needs one frame number such as %05d or %d in its name";
        return false;
    }
    if (realGiven != imagGiven) { error = "give --real and --imag together"; return false; }
    if (o.scaleGiven && !o.smooth) { error = "--scale belongs to --colouring smooth"; return false; }
    if (o.adaptive && !o.supersampleGiven) { error = "--adaptive needs --supersample N"; return false; }
    if (RgbOutput(o) && !HasPngEnding(o.output)) {
        error = "smooth colouring, --supersample and --depth write RGB PNG files: the output must end in .png"
                " (a BMP stays 8-bit)";
        return false;
    }
    if (o.centreGiven != !o.zoom.empty()) { error = "give --centre and --zoom together"; return false; }
    const bool deepView = o.centreGiven || !o.location.empty();
    if (deepView && (realGiven || !o.view.empty() || !o.zoomTo.empty() || (o.centreGiven && !o.location.empty()))) {
        error = "give one view: --real/--imag, --centre/--zoom, --location, --view or --zoom-to";
        return false;
    }
    if (!o.referenceRe.empty() && o.frames > 0) {
        error = "--reference belongs to single images: a movie's deep frames share the one at its target's centre";
        return false;
    }
    if (o.referencePrecision > 0 && o.referenceRe.empty()) {
        error = "--reference-precision needs --reference RE IM";
        return false;
    }
    if ((deepView || o.numericType == kDeepType) && o.julia) {
        error = "the deep type and deep views take Mandelbrot sets only for now";
        return false;
    }
    if (o.numericType == kDeepType && o.frames > 0) {
        error = "--type deep makes single images for now";
        return false;
    }
    o.rangeGiven = realGiven;
    if (!o.rangeGiven && o.julia) {
        o.realMin = -1.5L;
        o.realMax = 1.5L;
    }
    if (o.centreGiven) return ApplyCentreAndZoom(o, error);
    if (!(o.realMin < o.realMax) || !(o.imagMin < o.imagMax)) { error = "each range needs MIN below MAX"; return false; }
    return true;
}

bool ApplyCentreAndZoom(RenderOptions& o, std::string& error) {
    const NumberReading zoom = ReadNumber(o.zoom);
    if (zoom.syntax == NumberSyntax::OutOfRange && o.zoom.find('-') == std::string::npos) {
        // Beyond the extended range: a view only the deep type could reach
        // (and refuses with its own reason); the ranges stay unusable.
        o.rangeGiven = true;
        o.realMin = o.realMax = o.imagMin = o.imagMax = 0.0L;
        return true;
    }
    if (zoom.syntax != NumberSyntax::Valid || !(zoom.value > 0.0L)) {
        error = "the zoom must be a number above 0, not '" + o.zoom + "'";
        return false;
    }
    const NumberReading re = ReadNumber(o.centreRe);
    const NumberReading im = ReadNumber(o.centreIm);
    if (re.syntax != NumberSyntax::Valid || im.syntax != NumberSyntax::Valid) {
        error = "the centre " + o.centreRe + " " + o.centreIm + " is beyond the range of any numeric type";
        return false;
    }
    // The shorter side spans 4 / zoom; for the hardware types in extended,
    // the deep type redoes this in MPFR.
    const long double spacing = 4.0L / (zoom.value * static_cast<long double>(std::min(o.width, o.height) - 1));
    const long double halfWidth = spacing * static_cast<long double>(o.width - 1) / 2.0L;
    const long double halfHeight = spacing * static_cast<long double>(o.height - 1) / 2.0L;
    o.realMin = re.value - halfWidth;
    o.realMax = re.value + halfWidth;
    o.imagMin = im.value - halfHeight;
    o.imagMax = im.value + halfHeight;
    o.rangeGiven = true;
    return true;
}
