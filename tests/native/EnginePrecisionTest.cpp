#include <gtest/gtest.h>

#include <string>

#include "EngineTestSupport.h"
#include "engine/PomeClc.h"

namespace {

using namespace enginetest;

const std::string kFixedColumnsText =
    "The precision of the numeric type CPU Fixed is insufficient for the selected range.\n"
    "Select OK to continue with FPU Double (calculation will be much slower).\n"
    "Select Cancel to continue using CPU Fixed (image may contain large blocks or even a single colour due to "
    "rounding errors!).";
const std::string kFixedRowsText =
    "The precision of the numeric type CPU Fixed is insufficient for the selected range.\n"
    "Select OK to continue with FPU Double.\n"
    "Select Cancel to continue using CPU Fixed (image may contain large blocks or even a single colour due to "
    "rounding errors!).";
const std::string kSingleText =
    "The precision of the numeric type FPU Single is insufficient for the selected range.\n"
    "Select OK to continue with FPU Double.\n"
    "Select Cancel to continue using CPU Single (image may contain large blocks or even a single colour due to "
    "rounding errors!).";
const std::string kDoubleText =
    "The precision of the numeric type FPU Double is insufficient for the selected range.\n"
    "Select OK to continue with FPU Extended.\n"
    "Select Cancel to continue using CPU Double (image may contain large blocks or even a single colour due to "
    "rounding errors!).";
const std::string kExtendedText =
    "The precision of the numeric type FPU Extended is insufficient for the selected range.\n"
    "(Image may contain large blocks or even a single colour due to rounding errors!)";

constexpr unsigned kOkCancel = 0x2041;
constexpr unsigned kOkOnly = 0x2040;

// 320 columns and 240 rows, as in the scenarios the prompts were written for.
class PrecisionTest : public ::testing::Test {
protected:
    // A real range [min, min + span] over the normal imaginary range.
    static CoordinateSet Columns(long double min, long double span) {
        return Mandelbrot(min, min + span, -1.0L, 1.0L, 64, 64, 256);
    }

    // No floating-point processor unless a test says so.
    ViewCalculation calc{320, 240, false};
    CalcState& state = calc.state;
    RecordingPrompt& prompt = calc.prompt;
};

void ExpectCall(const PromptCall& call, NumericType type, bool columns, const std::string& text, unsigned style) {
    EXPECT_EQ(call.type, type);
    EXPECT_EQ(call.columns, columns);
    EXPECT_EQ(call.text, text);
    EXPECT_EQ(call.style, style);
}

TEST(PrecisionCaption, IsTheFixedText) { EXPECT_STREQ(kPrecisionPromptCaption, "Numeric Precision"); }

TEST_F(PrecisionTest, CpuFixedColumnsWithoutFpuAskAndOkChangesToFpuDouble) {
    calc.fpuPresent = false;
    // Step 0.00001 / 319 = 3.1e-8, below 2^-24: columns 0 and 1 both become 0.
    EXPECT_EQ(calc.SetUp(Columns(0.0L, 0.00001L), NumericType::CpuFixed), NumericType::FpuDouble);
    ASSERT_EQ(prompt.calls.size(), 1u);
    ExpectCall(prompt.calls[0], NumericType::CpuFixed, true, kFixedColumnsText, kOkCancel);
    // Half initialised: nothing runs until the set-up with the new type.
    EXPECT_EQ(state.Status, SetUpStatus::TypeChanged);
    int32_t row = -1;
    CalcNextRow(state, row);
    EXPECT_EQ(row, -1);
}

TEST_F(PrecisionTest, CpuFixedColumnsWithFpuChangeSilently) {
    calc.fpuPresent = true;
    EXPECT_EQ(calc.SetUp(Columns(0.0L, 0.00001L), NumericType::CpuFixed), NumericType::FpuDouble);
    EXPECT_TRUE(prompt.calls.empty());
}

TEST_F(PrecisionTest, CancelKeepsTheTypeAndSuppressesTheRowCheck) {
    calc.fpuPresent = false;
    prompt.fallback = false;
    // Rows are as insufficient as the columns, but only one question is asked.
    const CoordinateSet c = Mandelbrot(0.0L, 0.00001L, 0.0L, 0.00001L, 64, 64, 256);
    EXPECT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::CpuFixed);
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_TRUE(prompt.calls[0].columns);
    // The set-up went on: every row is reset and the calculation can run.
    EXPECT_EQ(state.Status, SetUpStatus::Ready);
    EXPECT_EQ(RowLimitAt(state, 239), 0);
    EXPECT_EQ(EscapeCountAt(state, 319, 239), NotEscaped);

    // The next set-up asks again.
    EXPECT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::CpuFixed);
    EXPECT_EQ(prompt.calls.size(), 2u);
}

TEST_F(PrecisionTest, CpuFixedRowsHaveTheirOwnText) {
    calc.fpuPresent = false;
    const CoordinateSet c = Mandelbrot(-2.0L, 1.0L, 0.0L, 0.00001L, 64, 64, 256);
    EXPECT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::FpuDouble);
    ASSERT_EQ(prompt.calls.size(), 1u);
    ExpectCall(prompt.calls[0], NumericType::CpuFixed, false, kFixedRowsText, kOkCancel);
    // With a floating-point processor the same change is silent.
    calc.fpuPresent = true;
    EXPECT_EQ(calc.SetUp(c, NumericType::CpuFixed), NumericType::FpuDouble);
    EXPECT_EQ(prompt.calls.size(), 1u);
}

TEST_F(PrecisionTest, FpuSingleNearOneAsksThenFpuDoublePasses) {
    calc.fpuPresent = false;
    // 1 to 1.00001: columns 0 and 1 both round to 1.0f.
    const CoordinateSet c = Columns(1.0L, 0.00001L);
    EXPECT_EQ(calc.RunSetUp(c, NumericType::FpuSingle), NumericType::FpuDouble);
    ASSERT_EQ(prompt.calls.size(), 1u);
    ExpectCall(prompt.calls[0], NumericType::FpuSingle, true, kSingleText, kOkCancel);
    EXPECT_EQ(state.numericType, NumericType::FpuDouble);
    EXPECT_EQ(state.Status, SetUpStatus::Ready);
}

TEST_F(PrecisionTest, FpuSingleRowsUseTheSameText) {
    calc.fpuPresent = false;
    const CoordinateSet c = Mandelbrot(-2.0L, 1.0L, 1.0L, 1.00001L, 64, 64, 256);
    EXPECT_EQ(calc.SetUp(c, NumericType::FpuSingle), NumericType::FpuDouble);
    ASSERT_EQ(prompt.calls.size(), 1u);
    ExpectCall(prompt.calls[0], NumericType::FpuSingle, false, kSingleText, kOkCancel);
}

TEST_F(PrecisionTest, FpuSingleWithFpuChangesSilently) {
    calc.fpuPresent = true;
    EXPECT_EQ(calc.SetUp(Columns(1.0L, 0.00001L), NumericType::FpuSingle), NumericType::FpuDouble);
    EXPECT_TRUE(prompt.calls.empty());
}

TEST_F(PrecisionTest, FpuDoubleAsksOrChangesToExtended) {
    const CoordinateSet c = Columns(1.0L, 1e-14L);
    {
        calc.fpuPresent = false;
        EXPECT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuExtended);
        ASSERT_EQ(prompt.calls.size(), 1u);
        ExpectCall(prompt.calls[0], NumericType::FpuDouble, true, kDoubleText, kOkCancel);
    }
    {
        calc.fpuPresent = true;
        EXPECT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuExtended);
        EXPECT_EQ(prompt.calls.size(), 1u);
    }
}

TEST_F(PrecisionTest, FpuExtendedOnlyInformsAndGoesOnWhateverTheAnswer) {
    // 1 to 1 + 1e-18 across 320 columns: steps far below 2^-63.
    const CoordinateSet c = Columns(1.0L, 1e-18L);
    for (bool fpu : {true, false}) {
        for (bool answer : {true, false}) {
            calc.fpuPresent = fpu;
            RecordingPrompt informed;
            informed.fallback = answer;
            EXPECT_EQ(calc.RunSetUpAsking(informed, c, NumericType::FpuExtended), NumericType::FpuExtended);
            ASSERT_EQ(informed.calls.size(), 1u);
            ExpectCall(informed.calls[0], NumericType::FpuExtended, true, kExtendedText, kOkOnly);
            EXPECT_EQ(state.Status, SetUpStatus::Ready);
            EXPECT_EQ(RowLimitAt(state, 239), 0);
        }
    }
}

TEST_F(PrecisionTest, CascadeSingleToDoubleToExtendedThroughTheCallerProtocol) {
    // 1 to 1 + 1e-15: too fine for binary32 and binary64, fine for extended.
    const CoordinateSet c = Columns(1.0L, 1e-15L);
    {
        calc.fpuPresent = false;
        EXPECT_EQ(calc.RunSetUp(c, NumericType::FpuSingle), NumericType::FpuExtended);
        ASSERT_EQ(prompt.calls.size(), 2u);
        ExpectCall(prompt.calls[0], NumericType::FpuSingle, true, kSingleText, kOkCancel);
        ExpectCall(prompt.calls[1], NumericType::FpuDouble, true, kDoubleText, kOkCancel);
        EXPECT_EQ(state.numericType, NumericType::FpuExtended);
        EXPECT_EQ(state.Status, SetUpStatus::Ready);
    }
    {
        calc.fpuPresent = true;
        RecordingPrompt silent;
        EXPECT_EQ(calc.RunSetUpAsking(silent, c, NumericType::CpuFixed), NumericType::FpuExtended);
        EXPECT_TRUE(silent.calls.empty());
    }
    {
        // Cancel on the second question keeps FPU Double.
        calc.fpuPresent = false;
        RecordingPrompt partly;
        partly.answers = {true, false};
        EXPECT_EQ(calc.RunSetUpAsking(partly, c, NumericType::FpuSingle), NumericType::FpuDouble);
        EXPECT_EQ(partly.calls.size(), 2u);
        EXPECT_EQ(state.Status, SetUpStatus::Ready);
    }
}

TEST_F(PrecisionTest, SufficientRangesAskNothing) {
    for (bool fpu : {true, false}) {
        calc.fpuPresent = fpu;
        for (NumericType type : {NumericType::CpuFixed, NumericType::FpuSingle, NumericType::FpuDouble,
                                 NumericType::FpuExtended})
            EXPECT_EQ(calc.RunSetUp(StartRange(), type), type);
    }
    EXPECT_TRUE(prompt.calls.empty());
}

TEST_F(PrecisionTest, JuliaConstantTakesPartInTheComparison) {
    // Columns 0 .. 1e-14 are distinct binary64 values, but added to the
    // constant 1000 (the kernel's c) neighbours fall together in extended.
    calc.fpuPresent = false;
    CoordinateSet c = Columns(0.0L, 1e-14L);
    EXPECT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuDouble);
    EXPECT_TRUE(prompt.calls.empty());

    c.Formula = FormulaKind::JuliaSet;
    c.ConstReal = 1000.0L;
    EXPECT_EQ(calc.SetUp(c, NumericType::FpuDouble), NumericType::FpuExtended);
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].text, kDoubleText);
}

}  // namespace
