#include "tools/render/Render.h"

#include <chrono>

#include "image/Palette.h"

namespace {

// With a floating-point processor, the engine only ever informs (the FPU Extended
// warning); the renderer passes that on instead of asking anybody.
struct NotingPrompt : PrecisionPrompt {
    std::string notes;
    bool Confirm(NumericType, bool, const char* text, unsigned) override {
        notes += text;
        notes += '\n';
        return true;
    }
};

}  // namespace

const char* NumericTypeName(NumericType type) {
    switch (type) {
    case NumericType::CpuFixed: return "CPU Fixed";
    case NumericType::FpuSingle: return "FPU Single";
    case NumericType::FpuDouble: return "FPU Double";
    case NumericType::FpuExtended: return "FPU Extended";
    }
    return "?";
}

bool Render(const RenderOptions& o, RenderResult& result, std::string& error) {
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

    DibImage image;
    if (!image.TryCreate(o.width, o.height, table)) {
        error = "cannot create a " + std::to_string(o.width) + " x " + std::to_string(o.height) + " image";
        return false;
    }

    const auto start = std::chrono::steady_clock::now();
    CalcState state;
    CreateCalcState(state, &image);

    CoordinateSet coordinates;
    coordinates.RealMin = o.realMin;
    coordinates.RealMax = o.realMax;
    coordinates.ImagMin = o.imagMin;
    coordinates.ImagMax = o.imagMax;
    coordinates.ConstReal = o.constReal;
    coordinates.ConstImag = o.constImag;
    coordinates.Formula = o.julia ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet;
    coordinates.IterStart = o.iterStart;
    coordinates.IterInc = o.iterInc;
    coordinates.IterEnd = o.iterEnd;

    NotingPrompt prompt;
    const ColourParams colours{palette.ColourCount,          palette.PaletteShift,  palette.ColourMode,
                               palette.PomeSetColourEnabled, palette.PomeSetColour, palette.IterationsPerColour};
    result.numericType = RunSetUp(state, SetUpContext{prompt, true}, coordinates, colours,
                                  static_cast<NumericType>(o.numericType));
    result.notes = prompt.notes;
    if (state.Status != SetUpStatus::Ready) {
        error = state.Status == SetUpStatus::OutOfMemory ? "not enough memory for the calculation"
                                                         : "the calculation could not be set up";
        ReleaseWorkBuffers(state);
        image.Release();
        return false;
    }

    // The message loop's idle turns, without the messages in between.
    result.passes = CalculateToEnd(state);
    result.stats = IterationStats(state, PixelRect{0, 0, o.width - 1, o.height - 1});
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const bool saved = image.SaveAsBmp(o.output.c_str());
    ReleaseWorkBuffers(state);
    image.Release();
    if (!saved) {
        error = "cannot write " + o.output;
        return false;
    }
    return true;
}
