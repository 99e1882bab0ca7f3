// Row and pass scheduling, clear-ahead, RaiseIterEnd, and iteration values
// that no dialog checked.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/PomeClc.h"

namespace {

using namespace enginetest;

class ScheduleTest : public ::testing::Test {
protected:
    void Start(int32_t width, int32_t height, const CoordinateSet& c, NumericType type = NumericType::FpuDouble) {
        calc = std::make_unique<ViewCalculation>(width, height);
        SetColourParams(calc->state, {30, 0, false, false, 0, 1});
        ASSERT_EQ(calc->SetUp(c, type), type);
    }

    // The rows of the pass under way, in the order they are handed out.
    std::vector<int32_t> PassRows() {
        std::vector<int32_t> rows;
        for (int guard = 0; guard < 100000; ++guard) {
            int32_t row = -1;
            CalcNextRow(calc->state, row);
            if (row == -1) return rows;
            rows.push_back(row);
        }
        ADD_FAILURE() << "pass does not end";
        return rows;
    }

    std::unique_ptr<ViewCalculation> calc;
};

TEST_F(ScheduleTest, FourInterleavedSweepsPerPass) {
    Start(4, 10, StartRange());
    EXPECT_EQ(PassRows(), (std::vector<int32_t>{0, 4, 8, 1, 5, 9, 2, 6, 3, 7}));
    // The empty call reset the scan for the next pass.
    EXPECT_EQ(calc->state.ScanRow, -4);
    EXPECT_EQ(calc->state.ScanPhase, 0);
    ASSERT_TRUE(NextPass(calc->state));
    EXPECT_EQ(PassRows(), (std::vector<int32_t>{0, 4, 8, 1, 5, 9, 2, 6, 3, 7}));
}

TEST_F(ScheduleTest, TwoRowImageHasOnlyTwoPhasesWithRows) {
    Start(3, 2, StartRange());
    EXPECT_EQ(PassRows(), (std::vector<int32_t>{0, 1}));
}

TEST_F(ScheduleTest, FirstSweepBlanksTheThreeRowsBelowEachNewRow) {
    Start(5, 10, StartRange());
    auto rowIs = [&](int32_t y, uint8_t value) {
        for (int32_t x = 0; x < 5; ++x)
            if (calc->image.At(x, y) != value) return false;
        return true;
    };
    int32_t row = -1;
    CalcNextRow(calc->state, row);
    ASSERT_EQ(row, 0);
    EXPECT_TRUE(calc->state.ClearAhead);
    EXPECT_TRUE(rowIs(1, 0) && rowIs(2, 0) && rowIs(3, 0));
    EXPECT_TRUE(rowIs(4, TestImage::kUntouched));

    row = -1;
    CalcNextRow(calc->state, row);
    ASSERT_EQ(row, 4);
    EXPECT_TRUE(rowIs(5, 0) && rowIs(6, 0) && rowIs(7, 0));
    EXPECT_TRUE(rowIs(8, TestImage::kUntouched));

    // Row 8 of ten: only row 9 lies below it.
    row = -1;
    CalcNextRow(calc->state, row);
    ASSERT_EQ(row, 8);
    EXPECT_TRUE(rowIs(9, 0));

    // The first phase change ends clearing: row 1 leaves rows 2 and 3 alone.
    calc->image.Fill(TestImage::kUntouched);
    row = -1;
    CalcNextRow(calc->state, row);
    ASSERT_EQ(row, 1);
    EXPECT_FALSE(calc->state.ClearAhead);
    EXPECT_TRUE(rowIs(2, TestImage::kUntouched) && rowIs(3, TestImage::kUntouched));
}

TEST_F(ScheduleTest, NextPassEndsClearingAndLaterPassesOverwriteInPlace) {
    Start(5, 3, StartRange());  // height 3: phase 0 has a single row
    PassRows();
    ASSERT_TRUE(NextPass(calc->state));
    EXPECT_FALSE(calc->state.ClearAhead);
    calc->image.Fill(TestImage::kUntouched);
    int32_t row = -1;
    CalcNextRow(calc->state, row);
    ASSERT_EQ(row, 0);
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(calc->image.At(x, 1), TestImage::kUntouched);
}

TEST_F(ScheduleTest, PassLimitsRiseByIterIncUpToIterEnd) {
    Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 64, 64, 256));
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{64, 128, 192, 256}));
    EXPECT_FALSE(NextPass(calc->state));
    EXPECT_EQ(calc->state.CurrentLimit, 256);

    Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 64, 100, 256));
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{64, 164, 256}));
}

TEST_F(ScheduleTest, RowsWhoseEveryPixelEscapedAreVisitedButLeftAlone) {
    // The top row lies at imaginary part 1.5: every point there escapes
    // within the first limit of 64.
    Start(6, 8, StartRange());
    PassRows();
    for (int32_t x = 0; x < 6; ++x) ASSERT_NE(EscapeCountAt(calc->state, x, 0), NotEscaped);
    calc->image.Fill(0x77);
    ASSERT_TRUE(NextPass(calc->state));
    const std::vector<int32_t> rows = PassRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), 0);
    EXPECT_EQ(RowLimitAt(calc->state, 0), 128);
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(calc->image.At(x, 0), 0x77);
}

TEST_F(ScheduleTest, RaiseIterEndIgnoresValuesNotAboveIterEnd) {
    Start(4, 10, StartRange());
    int32_t row = -1;
    CalcNextRow(calc->state, row);
    row = -1;
    CalcNextRow(calc->state, row);  // ScanRow 4, mid-pass
    for (int32_t notAbove : {256, 255, 0, -1, INT_MIN}) {
        RaiseIterEnd(calc->state, notAbove);
        EXPECT_EQ(calc->state.IterEnd, 256);
        EXPECT_EQ(calc->state.ScanRow, 4);
    }
    RaiseIterEnd(calc->state, 300);
    EXPECT_EQ(calc->state.IterEnd, 300);
    EXPECT_EQ(calc->state.ScanRow, -4);
    EXPECT_EQ(calc->state.ScanPhase, 0);
    EXPECT_TRUE(calc->state.ClearAhead);      // unchanged
    EXPECT_EQ(calc->state.CurrentLimit, 64);  // the next pass raises it
    EXPECT_EQ(RowLimitAt(calc->state, 0), 64);
    // Rows 0 and 4 are done for this limit; the restarted scan skips them.
    EXPECT_EQ(PassRows(), (std::vector<int32_t>{8, 1, 5, 9, 2, 6, 3, 7}));
}

TEST_F(ScheduleTest, FinishedCalculationResumesAfterRaiseIterEnd) {
    Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 64, 64, 128));
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{64, 128}));
    RaiseIterEnd(calc->state, 300);
    ASSERT_TRUE(NextPass(calc->state));
    EXPECT_EQ(calc->state.CurrentLimit, 192);
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{192, 256, 300}));
}

TEST_F(ScheduleTest, IterIncBelowOneActsAsOne) {
    for (int32_t inc : {0, -5, INT_MIN}) {
        Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 1, inc, 4));
        EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{1, 2, 3, 4})) << "IterInc " << inc;
    }
}

TEST_F(ScheduleTest, ZeroAndNegativeLimitsOpenEmptyPassesAndEnd) {
    // Passes at limits of zero or below have no due row.
    Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, -10, 5, 5));
    EXPECT_TRUE(PassRows().empty());
    ASSERT_TRUE(NextPass(calc->state));
    EXPECT_TRUE(PassRows().empty());
    ASSERT_TRUE(NextPass(calc->state));
    EXPECT_EQ(calc->state.CurrentLimit, 0);
    EXPECT_TRUE(PassRows().empty());
    ASSERT_TRUE(NextPass(calc->state));
    EXPECT_EQ(calc->state.CurrentLimit, 5);
    EXPECT_EQ(PassRows().size(), 4u);
    EXPECT_FALSE(NextPass(calc->state));

    // IterStart = IterEnd = 0: finished at once, nothing escaped.
    Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 0, 0, 0));
    EXPECT_TRUE(PassRows().empty());
    EXPECT_FALSE(NextPass(calc->state));
    EXPECT_EQ(EscapeCountAt(calc->state, 0, 0), NotEscaped);
}

TEST_F(ScheduleTest, FirstPassBeyondIterEndStillRunsToIterStart) {
    Start(4, 4, Mandelbrot(-2.0L, 1.0L, -1.5L, 1.5L, 100, 64, 50));
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{100}));
    EXPECT_EQ(RowLimitAt(calc->state, 3), 100);
    EXPECT_EQ(calc->state.CurrentLimit, 100);
}

TEST_F(ScheduleTest, LimitsAtTheTopOfTheRangeNeitherOverflowNorHang) {
    // Every point here escapes within two steps, so even a limit of INT32_MAX
    // is reached at once.
    const CoordinateSet far = Mandelbrot(3.0L, 4.0L, 3.0L, 4.0L, INT32_MAX - 1, INT32_MAX, INT32_MAX);
    for (NumericType type :
         {NumericType::CpuFixed, NumericType::FpuSingle, NumericType::FpuDouble, NumericType::FpuExtended}) {
        Start(4, 3, far, type);
        SetColourParams(calc->state, {256, 255, true, false, 0, 1});  // Percentage: 256 * n / IterEnd
        EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{INT32_MAX - 1, INT32_MAX}));
        EXPECT_EQ(EscapeCountAt(calc->state, 0, 0), type == NumericType::CpuFixed ? 0 : 1);
        RaiseIterEnd(calc->state, INT32_MAX);
        EXPECT_FALSE(NextPass(calc->state));
    }
    Start(4, 3, Mandelbrot(3.0L, 4.0L, 3.0L, 4.0L, 1, INT32_MAX, INT32_MAX));
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{1, INT32_MAX}));
    Start(4, 3, Mandelbrot(3.0L, 4.0L, 3.0L, 4.0L, INT32_MIN, INT32_MAX, INT32_MAX));
    EXPECT_EQ(PassLimits(calc->state), (std::vector<int32_t>{INT32_MIN, -1, INT32_MAX - 1, INT32_MAX}));
}

}  // namespace
