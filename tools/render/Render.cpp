#include "tools/render/Render.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialogs/IniFileProfile.h"
#include "dialogs/NumberTextLogic.h"
#include "image/Palette.h"
#ifdef QUAXEL_DEEP
#include "tools/render/DeepRender.h"
#endif

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// With a floating-point processor the set-up falls back silently, as the
// program does when its question is answered OK, and only ever informs (the
// FPU Extended warning); the renderer passes that on instead of asking.
struct NotingPrompt final : PrecisionPrompt {
    std::string notes;
    bool extendedTooCoarse = false;  // the end of the chain: FPU Extended cannot tell neighbours apart
    bool Confirm(NumericType type, bool, const char* text, unsigned) override {
        notes += text;
        notes += '\n';
        extendedTooCoarse |= type == NumericType::FpuExtended;
        return true;
    }
};

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string TypeReason(NumericType requested, NumericType used, FormulaKind formula, bool given) {
    if (used == requested) return given ? "as asked" : "the program's default";
    if (requested == NumericType::CpuFixed && formula == FormulaKind::JuliaSet && used == NumericType::FpuSingle)
        return "there is no CPU Fixed kernel for Julia sets";
    return std::string(NumericTypeName(requested)) +
           " cannot tell neighbouring pixels apart at this range; the program falls back to " +
           NumericTypeName(used) + " when its question is answered OK";
}

template <typename T>
uint64_t BuffersOf(uint64_t width, uint64_t height) {
    // Per row the limit and the bookkeeping the Display dialog counts too.
    return sizeof(T) * (width + height) + 12 * height + 8 + sizeof(PixelRecord<T>) * width * height;
}

bool IsPlainInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    const size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i != text.size() || i == digits) return false;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value >= INT32_MIN && value <= INT32_MAX && text.size() - digits <= 10;
}

}  // namespace

CoordinateSet OptionsView(const RenderOptions& o) {
    CoordinateSet view;
    view.RealMin = o.realMin;
    view.RealMax = o.realMax;
    view.ImagMin = o.imagMin;
    view.ImagMax = o.imagMax;
    view.ConstReal = o.constReal;
    view.ConstImag = o.constImag;
    view.Formula = o.julia ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet;
    view.IterStart = o.iterStart;
    view.IterInc = o.iterInc;
    view.IterEnd = o.iterEnd;
    return view;
}

void ApplyExplicitOptions(const RenderOptions& o, CoordinateSet& view) {
    if (o.rangeGiven) {
        view.RealMin = o.realMin;
        view.RealMax = o.realMax;
        view.ImagMin = o.imagMin;
        view.ImagMax = o.imagMax;
    }
    if (o.constGiven) {
        view.ConstReal = o.constReal;
        view.ConstImag = o.constImag;
    }
    if (o.formulaGiven) view.Formula = o.julia ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet;
    if (o.iterGiven) {
        view.IterStart = o.iterStart;
        view.IterInc = o.iterInc;
        view.IterEnd = o.iterEnd;
    }
}

bool ListSavedViews(const std::string& iniPath, std::vector<std::string>& names, std::string& error) {
    IniFileProfile profile;
    if (!IniFileProfile::Load(iniPath, profile, error)) return false;
    names = profile.SectionNames();
    return true;
}

bool ReadSavedView(const std::string& iniPath, const std::string& name, CoordinateSet& view,
                   std::vector<std::string>& warnings, std::string& error) {
    IniFileProfile profile;
    if (!IniFileProfile::Load(iniPath, profile, error)) return false;
    if (!profile.HasSection(name)) {
        error = "no view \"" + name + "\" in " + iniPath + "; ";
        const std::vector<std::string> names = profile.SectionNames();
        if (names.empty()) error += "it holds none";
        for (size_t i = 0; i < names.size(); ++i) error += (i == 0 ? "the views there: " : ", ") + names[i];
        return false;
    }
    view = ReadCoordinateSet(profile, name);

    // The values the Load command replaces: said, so that a damaged file is
    // noticed, and read exactly as the program would read them.
    const auto texts = CoordinateSetTexts(view);
    for (int32_t k = 0; k < kCoordinateKeyCount; ++k) {
        const CoordinateKeyInfo& info = kCoordinateKeys[k];
        const std::string raw = profile.ReadString(name, info.name, "\x01");
        const std::string where = iniPath + " [" + name + "] " + info.name;
        if (raw == "\x01") {
            warnings.push_back(where + " is missing: read as " + texts[k].value + ", as the program's Load does");
            continue;
        }
        const bool damaged = k < kKeyIterStart ? raw.find_first_not_of(' ') != std::string::npos &&
                                                     ReadNumber(raw).syntax != NumberSyntax::Valid
                                               : !IsPlainInteger(raw);
        if (damaged) {
            warnings.push_back(where + "=\"" + raw + "\" is damaged: read as " + texts[k].value +
                               ", as the program's Load does");
        }
    }
    return true;
}

CoordinateSet MovieFrameView(const CoordinateSet& start, const CoordinateSet& target, int32_t frame, int32_t frames) {
    if (frames <= 1 || frame >= frames - 1) return target;
    CoordinateSet view = target;
    if (frame <= 0) {
        view = start;
        view.Formula = target.Formula;
        view.ConstReal = target.ConstReal;
        view.ConstImag = target.ConstImag;
        return view;
    }
    const long double t = static_cast<long double>(frame) / static_cast<long double>(frames - 1);
    // Along each axis: size s(t) = s0 (s1 / s0)^t, and the centre keeps the
    // zoom's fixed point p (c1 = p + (c0 - p) s1/s0) in place:
    // c(t) = c1 + (c0 - c1) (s(t) - s1) / (s0 - s1). Without a change of
    // size the centre moves evenly.
    auto axis = [t](long double min0, long double max0, long double min1, long double max1, long double& min,
                    long double& max) {
        const long double s0 = max0 - min0, s1 = max1 - min1;
        const long double c0 = (min0 + max0) / 2, c1 = (min1 + max1) / 2;
        const long double s = s0 == s1 ? s0 : s0 * std::pow(s1 / s0, t);
        const long double c = s0 == s1 ? c0 + (c1 - c0) * t : c1 + (c0 - c1) * ((s - s1) / (s0 - s1));
        min = c - s / 2;
        max = c + s / 2;
    };
    axis(start.RealMin, start.RealMax, target.RealMin, target.RealMax, view.RealMin, view.RealMax);
    axis(start.ImagMin, start.ImagMax, target.ImagMin, target.ImagMax, view.ImagMin, view.ImagMax);
    auto iterations = [t](int32_t a, int32_t b) {
        const double low = std::max(a, 1), high = std::max(b, 1);
        const double value = std::exp(std::log(low) + static_cast<double>(t) * (std::log(high) - std::log(low)));
        return static_cast<int32_t>(std::min(std::llround(value), static_cast<long long>(INT32_MAX - 1)));
    };
    view.IterStart = iterations(start.IterStart, target.IterStart);
    view.IterInc = iterations(start.IterInc, target.IterInc);
    view.IterEnd = std::max(iterations(start.IterEnd, target.IterEnd), view.IterStart);
    return view;
}

uint64_t CalculationBytes(int32_t width, int32_t height, NumericType type) {
    const uint64_t w = static_cast<uint64_t>(std::max(width, 0)), h = static_cast<uint64_t>(std::max(height, 0));
    const uint64_t image = static_cast<uint64_t>(DibStride(std::max(width, 1))) * h;
    switch (type) {
    case NumericType::CpuFixed: return image + BuffersOf<int32_t>(w, h);
    case NumericType::FpuSingle: return image + BuffersOf<float>(w, h);
    case NumericType::FpuDouble: return image + BuffersOf<double>(w, h);
    case NumericType::FpuExtended: return image + BuffersOf<long double>(w, h);
    }
    return image;
}

uint64_t CheckpointBytes(int32_t width, int32_t height, NumericType type) {
    const uint64_t pixels = static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0));
    switch (type) {
    case NumericType::CpuFixed: return pixels * sizeof(Checkpoint<int32_t>);
    case NumericType::FpuSingle: return pixels * sizeof(Checkpoint<float>);
    case NumericType::FpuDouble: return pixels * sizeof(Checkpoint<double>);
    case NumericType::FpuExtended: return pixels * sizeof(Checkpoint<long double>);
    }
    return 0;
}

uint64_t AvailableMemory() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return std::min<uint64_t>(status.ullAvailPageFile, status.ullAvailVirtual);
#else
    std::FILE* file = std::fopen("/proc/meminfo", "r");
    if (file == nullptr) return 0;
    char line[256];
    uint64_t kilobytes = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        unsigned long long value = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &value) == 1) kilobytes = value;
    }
    std::fclose(file);
    return kilobytes * 1024;
#endif
}

bool RenderView(const RenderOptions& o, const CoordinateSet& view, NumericType requested, bool typeGiven,
                const std::string& output, RenderProgress* progress, RenderResult& result, std::string& error,
                [[maybe_unused]] const DeepReference* shared) {
    ColourState palette;
    uint8_t table[kColourTableBytes] = {};
    palette.PaletteNumber = o.palette;
    GeneratePalette(palette, 32, table, o.palette);  // a 32-bit screen: no logical palette to realise
    if (o.shift >= palette.ColourCount) {
        error = "--shift must be below the palette's " + std::to_string(palette.ColourCount) + " colours";
        return false;
    }
    if (o.insideColourEnabled && o.insideColour >= palette.ColourCount) {
        error = "--inside must be below the palette's " + std::to_string(palette.ColourCount) + " colours";
        return false;
    }
    palette.PaletteShift = o.shift;
    palette.ColourMode = o.percentage;
    palette.PomeSetColourEnabled = o.insideColourEnabled;
    palette.PomeSetColour = o.insideColour;
    palette.IterationsPerColour = o.iterationsPerColour;

    const bool deepAsked = typeGiven && o.numericType == kDeepType;
    // A centre and zoom deeper than extended can hold collapse the ranges.
    const bool rangesUsable = view.RealMin < view.RealMax && view.ImagMin < view.ImagMax;
    const bool rgb = RgbOutput(o);
    if (deepAsked || (!typeGiven && !rangesUsable)) {
#ifdef QUAXEL_DEEP
        return RenderDeep(o, view, EngineColours(palette), table,
                          deepAsked ? "as asked" : "no other type can tell neighbouring pixels apart at this zoom",
                          output, progress, result, error, shared);
#else
        error = deepAsked ? "this build has no deep type yet (the Linux renderer has)"
                          : "the view is too deep for FPU Extended, and this build has no deep type yet";
        return false;
#endif
    }
    if (!rangesUsable) {
        error = std::string("the view is too deep for ") + NumericTypeName(requested) + ": its pixels share one point" +
                " (the deep type takes it: --type deep)";
        return false;
    }

    // Full supersampling computes the image at N times the width and
    // height; the adaptive kind computes the marked pixels' samples later.
    const int32_t factor = rgb && !o.adaptive ? o.supersample : 1;
    const int32_t calcWidth = o.width * factor, calcHeight = o.height * factor;
    const CoordinateSet calcView = SupersampledView(view, o.width, o.height, factor);

    // Refused before anything is allocated: on a system that promises more
    // memory than it has, zero-filling the buffers would end the process.
    std::string size = std::to_string(o.width) + " x " + std::to_string(o.height);
    if (factor > 1) size += " (" + std::to_string(factor) + " x " + std::to_string(factor) + " samples a pixel)";
    const uint64_t needed = CalculationBytes(calcWidth, calcHeight, requested) + (rgb ? RgbBytes(o) : 0);
    const uint64_t available = AvailableMemory();
    const bool tooLarge =
        static_cast<uint64_t>(DibStride(calcWidth)) * static_cast<uint64_t>(calcHeight) > (uint64_t{1} << 31) ||
        calcWidth > INT32_MAX / 2 || calcHeight > INT32_MAX / 2;
    if (tooLarge || (available != 0 && needed > available) || needed > SIZE_MAX / 2) {
        error = "a " + size + " image in " + NumericTypeName(requested) + " needs " + Megabytes(needed) +
                " of memory";
        error += tooLarge ? " (an image may have at most 2 GiB of pixels)"
                          : "; " + Megabytes(available) + " are available";
        return false;
    }

    DibImage image;
    if (!image.TryCreate(calcWidth, calcHeight, table)) {
        error = "cannot create a " + size + " image: not enough memory";
        return false;
    }

    const auto begin = std::chrono::steady_clock::now();
    CalcState state;
    CreateCalcState(state, &image);

    NotingPrompt prompt;
    result.requested = requested;
    // The cycle check's checkpoints only save time: without room for them
    // the image is calculated without the check (the same bytes, slower).
    state.CycleCheckAllowed = available == 0 || needed + CheckpointBytes(calcWidth, calcHeight, requested) <= available;
    result.numericType = RunSetUp(state, SetUpContext{prompt, true}, calcView, EngineColours(palette), requested);
    result.typeReason = TypeReason(requested, result.numericType, view.Formula, typeGiven);
#ifdef QUAXEL_DEEP
    // Where the chain ends at FPU Extended and even that shows blocks, the
    // deep type takes over, unless a type was asked for: an image asked for
    // in FPU Extended stays as it always was.
    if (!typeGiven && prompt.extendedTooCoarse && view.Formula == FormulaKind::MandelbrotSet &&
        state.Status == SetUpStatus::Ready) {
        ReleaseWorkBuffers(state);
        image.Release();
        return RenderDeep(o, view, EngineColours(palette), table,
                          "FPU Extended cannot tell neighbouring pixels apart at this range", output, progress,
                          result, error, shared);
    }
#endif
    result.notes = prompt.notes;
    result.interrupted = false;
    if (state.Status != SetUpStatus::Ready) {
        error = state.Status == SetUpStatus::OutOfMemory
                    ? "a " + size + " image in " + NumericTypeName(result.numericType) + " needs " +
                          Megabytes(CalculationBytes(calcWidth, calcHeight, result.numericType)) +
                          " of memory: the work buffers could not be allocated"
                    : "the calculation could not be set up";
        ReleaseWorkBuffers(state);
        image.Release();
        return false;
    }

    // The message loop's idle turns, without the messages in between.
    result.passes = CalculateToEnd(state, progress);
    result.interrupted = progress != nullptr && progress->stopped;
    result.stats = IterationStats(state, PixelRect{0, 0, calcWidth - 1, calcHeight - 1});
    if (!rgb) {
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        ReleaseWorkBuffers(state);
        const bool saved = result.interrupted || WriteImageFile(image, output, error);
        image.Release();
        return saved;
    }
    bool saved = result.interrupted;
    if (!result.interrupted) {
        const auto colourBegin = std::chrono::steady_clock::now();
        RgbImage rgbImage;
        ComposeRgb(o, state, image, factor, rgbImage, result.refinedPixels);
        const auto end = std::chrono::steady_clock::now();
        result.colourSeconds = std::chrono::duration<double>(end - colourBegin).count();
        result.seconds = std::chrono::duration<double>(end - begin).count();
        ReleaseWorkBuffers(state);
        image.Release();
        return WriteRgbImageFile(rgbImage, output, error);
    }
    ReleaseWorkBuffers(state);
    image.Release();
    return saved;
}

bool Render(const RenderOptions& o, RenderResult& result, std::string& error) {
    return RenderView(o, OptionsView(o), static_cast<NumericType>(o.numericType), o.typeGiven, o.output, nullptr,
                      result, error);
}
