// The co-ordinates of one view: the record the navigation commands change,
// the Range dialog edits and the co-ordinates store saves under a name.
#pragma once

#include <cstdint>

enum class FormulaKind : uint8_t {
    MandelbrotSet = 0,  // c is the pixel's point, z starts at 0
    JuliaSet = 1,       // c is the constant, z starts at the pixel's point
};

struct CoordinateSet {
    long double RealMin = 0.0L;
    long double RealMax = 0.0L;
    long double ImagMin = 0.0L;
    long double ImagMax = 0.0L;
    long double ConstReal = 0.0L;
    long double ConstImag = 0.0L;
    FormulaKind Formula = FormulaKind::MandelbrotSet;
    int32_t IterStart = 0;
    int32_t IterInc = 0;
    int32_t IterEnd = 0;
};
