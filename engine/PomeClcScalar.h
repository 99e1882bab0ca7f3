// The engine's older calling forms, with the view and the colours as single
// values and the floating-point processor as a global. The program no longer
// uses them; the benchmark, the icon generator and the end-to-end suite's
// renderer check still do, until they move to the records of PomeClc.h.
// Each form only unpacks its values and calls the record form.
#pragma once

#include <cstdint>

// Whether the machine reports a floating-point processor, for the forms below.
extern bool FpuPresent;

// DefaultNumericType(formula, FpuPresent).
NumericType DefaultNumericType(FormulaKind formula);

void SetColourParams(CalcState& state, int32_t colourCount, int32_t paletteShift, bool colourMode,
                     bool pomeSetColourEnabled, int32_t pomeSetColour, int32_t iterationsPerColour);

// SetUpCalculation with the view's fields and FpuPresent.
NumericType SetUpCalculation(CalcState& state, PrecisionPrompt& prompt, int32_t iterStart, int32_t iterInc,
                             long double realMin, long double realMax, long double imagMin, long double imagMax,
                             long double constReal, long double constImag, int32_t iterEnd, FormulaKind formula,
                             NumericType numericType);

// RunSetUp with FpuPresent, no hourglass and the colour parameters the state
// already holds.
NumericType RunSetUp(CalcState& state, PrecisionPrompt& prompt, const CoordinateSet& coordinates,
                     NumericType current);
