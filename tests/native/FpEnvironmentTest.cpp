// The images must not depend on what other code did to the floating-point
// control words: a lowered x87 precision, another rounding direction or
// flush-to-zero before a row or a set-up still give the same counts, and the
// caller gets its own control words back.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/FpEnvironment.h"

namespace {

using namespace enginetest;

// x87: 24-bit precision, round toward zero. SSE: round up, FTZ and DAZ.
constexpr FpControlWords kHostile{0x0C7F, 0x1F80 | 0x4000 | 0x8000 | 0x0040};

class HostileEnvironment {
public:
    HostileEnvironment() : saved_(ReadFpControlWords()) { WriteFpControlWords(kHostile); }
    ~HostileEnvironment() { WriteFpControlWords(saved_); }

private:
    FpControlWords saved_;
};

std::vector<int32_t> Counts(NumericType type, const CoordinateSet& view, bool hostile) {
    ViewCalculation calc(64, 48);
    CalcState& state = calc.state;
    std::vector<int32_t> counts;
    {
        std::unique_ptr<HostileEnvironment> environment;
        if (hostile) environment = std::make_unique<HostileEnvironment>();
        EXPECT_EQ(calc.SetUp(view, type), type);
        CalculateToEnd(state);
        if (hostile) {
            const FpControlWords after = ReadFpControlWords();
            EXPECT_EQ(after.x87, kHostile.x87) << "the caller's x87 control word was not restored";
            EXPECT_EQ(after.mxcsr & 0xFFC0u, kHostile.mxcsr & 0xFFC0u) << "the caller's MXCSR was not restored";
        }
    }
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) counts.push_back(EscapeCountAt(state, x, y));
    ReleaseWorkBuffers(state);
    return counts;
}

TEST(FpEnvironment, DisturbedControlWordsChangeNoCount) {
    // A boundary view where the rounding of every step matters.
    const CoordinateSet seahorse = Mandelbrot(-0.7485L, -0.7445L, 0.1L, 0.103L, 64, 192, 1024);
    CoordinateSet julia = Mandelbrot(-1.5L, 1.5L, -1.0L, 1.0L, 64, 64, 512);
    julia.Formula = FormulaKind::JuliaSet;
    julia.ConstReal = -0.8L;
    julia.ConstImag = 0.156L;
    for (NumericType type : {NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended}) {
        EXPECT_EQ(Counts(type, seahorse, true), Counts(type, seahorse, false)) << "Mandelbrot, type " << int(type);
        EXPECT_EQ(Counts(type, julia, true), Counts(type, julia, false)) << "Julia, type " << int(type);
    }
}

}  // namespace
