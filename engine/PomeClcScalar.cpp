#include "engine/PomeClc.h"

bool FpuPresent = false;

NumericType DefaultNumericType(FormulaKind formula) { return DefaultNumericType(formula, FpuPresent); }

void SetColourParams(CalcState& state, int32_t colourCount, int32_t paletteShift, bool colourMode,
                     bool pomeSetColourEnabled, int32_t pomeSetColour, int32_t iterationsPerColour) {
    SetColourParams(state, ColourParams{colourCount, paletteShift, colourMode, pomeSetColourEnabled, pomeSetColour,
                                        iterationsPerColour});
}

NumericType SetUpCalculation(CalcState& state, PrecisionPrompt& prompt, int32_t iterStart, int32_t iterInc,
                             long double realMin, long double realMax, long double imagMin, long double imagMax,
                             long double constReal, long double constImag, int32_t iterEnd, FormulaKind formula,
                             NumericType numericType) {
    CoordinateSet coordinates;
    coordinates.RealMin = realMin;
    coordinates.RealMax = realMax;
    coordinates.ImagMin = imagMin;
    coordinates.ImagMax = imagMax;
    coordinates.ConstReal = constReal;
    coordinates.ConstImag = constImag;
    coordinates.Formula = formula;
    coordinates.IterStart = iterStart;
    coordinates.IterInc = iterInc;
    coordinates.IterEnd = iterEnd;
    return SetUpCalculation(state, SetUpContext{prompt, FpuPresent}, coordinates, numericType);
}

NumericType RunSetUp(CalcState& state, PrecisionPrompt& prompt, const CoordinateSet& coordinates,
                     NumericType current) {
    const ColourParams colours{state.ColourCount,          state.PaletteShift,  state.ColourMode,
                               state.PomeSetColourEnabled, state.PomeSetColour, state.IterationsPerColour};
    return RunSetUp(state, SetUpContext{prompt, FpuPresent}, coordinates, colours, current);
}
