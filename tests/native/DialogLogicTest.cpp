// The dialogs' decisions without windows: the Range dialog's checks in their
// order, the Iterations dialog's field, the Display dialog's sizes, memory
// figures and warnings, the Colour Palette dialog's scroll bars.
#include <gtest/gtest.h>

#include <cstdint>

#include "dialogs/PomeDlgLogic.h"
#include "engine/PomeClc.h"
#include "resources/rcinc.h"

namespace {

// ---------------------------------------------------------------------------
// Integer fields

TEST(UnsignedField, DigitsWithBlanksAroundAndNothingElse) {
    EXPECT_EQ(ReadUnsignedField("256"), 256u);
    EXPECT_EQ(ReadUnsignedField("  0 "), 0u);
    EXPECT_EQ(ReadUnsignedField("4294967295"), 4294967295u);
    EXPECT_EQ(ReadUnsignedField("00000000000000000007"), 7u);
    for (const char* text : {"", "  ", "-5", "+5", "12a", "1 2", "4294967296", "99999999999999999999", "1.0"}) {
        EXPECT_FALSE(ReadUnsignedField(text).has_value()) << text;
        EXPECT_FALSE(CheckIterationsDialog(text).has_value()) << text;
    }
    // The Iterations dialog sets no bounds but the largest limit.
    EXPECT_EQ(CheckIterationsDialog("0"), 0);
    EXPECT_EQ(CheckIterationsDialog("3000000000"), INT32_MAX);
}

TEST(UnsignedField, IterationLimitsAreCorrectedNotRejected) {
    EXPECT_EQ(CorrectIterationLimits(0, 0, 0), (IterationLimits{1, 1, 1}));
    EXPECT_EQ(CorrectIterationLimits(500, 64, 100), (IterationLimits{500, 64, 500}));
    EXPECT_EQ(CorrectIterationLimits(64, 64, 256), (IterationLimits{64, 64, 256}));
    // Beyond the largest signed limit the value stays at that limit.
    EXPECT_EQ(CorrectIterationLimits(4294967295u, 2147483648u, 5), (IterationLimits{INT32_MAX, INT32_MAX, INT32_MAX}));
}

// ---------------------------------------------------------------------------
// Range dialog

RangeDialogInput ValidRangeInput() {
    RangeDialogInput input;
    input.iterStart = "64";
    input.iterInc = "64";
    input.iterEnd = "256";
    input.coordinates = {"-2", "1", "-1.5", "1.5", "0", "0"};
    return input;
}

TEST(RangeDialog, AcceptsEveryFieldAsTyped) {
    RangeDialogInput input = ValidRangeInput();
    input.iterStart = "0";
    input.iterInc = "0";
    input.iterEnd = "0";
    input.coordinates = {"  1e-3", "-.5", "0.25", "-0.25", "5.", "+2E+1"};  // Min above Max is accepted
    input.juliaSelected = true;
    const RangeDialogResult r = CheckRangeDialog(input);
    ASSERT_EQ(r.check, RangeCheck::Accepted);
    EXPECT_EQ(r.convertedFields, kCoordinateFieldCount);
    EXPECT_EQ(r.set.IterStart, 1);
    EXPECT_EQ(r.set.IterInc, 1);
    EXPECT_EQ(r.set.IterEnd, 1);
    EXPECT_EQ(r.set.RealMin, ReadNumber("0.001").value);
    EXPECT_EQ(r.set.RealMax, -0.5L);
    EXPECT_EQ(r.set.ImagMin, 0.25L);
    EXPECT_EQ(r.set.ImagMax, -0.25L);
    EXPECT_EQ(r.set.ConstReal, 5.0L);
    EXPECT_EQ(r.set.ConstImag, 20.0L);
    EXPECT_EQ(r.set.Formula, FormulaKind::JuliaSet);

    input.juliaSelected = false;
    input.iterStart = "500";
    input.iterEnd = "100";
    const RangeDialogResult m = CheckRangeDialog(input);
    EXPECT_EQ(m.set.Formula, FormulaKind::MandelbrotSet);
    EXPECT_EQ(m.set.IterEnd, 500);
}

TEST(RangeDialog, AnIterationFieldFailsBeforeAnyFloatIsLookedAt) {
    RangeDialogInput input = ValidRangeInput();
    input.iterInc = "abc";
    input.coordinates[kFieldRealMin] = "1,5";
    const RangeDialogResult r = CheckRangeDialog(input);
    EXPECT_EQ(r.check, RangeCheck::IterationsInvalid);
    EXPECT_EQ(r.convertedFields, 0);
    EXPECT_EQ(r.failedField, -1);
    EXPECT_EQ(r.selection, (TextSelection{0, 0}));

    input = ValidRangeInput();
    input.iterEnd = "-100";
    EXPECT_EQ(CheckRangeDialog(input).check, RangeCheck::IterationsInvalid);
}

TEST(RangeDialog, TheFirstBadFloatFieldGetsItsOffendingCharacterSelected) {
    struct Case {
        CoordinateField field;
        const char* text;
        TextSelection selection;
    };
    const Case cases[] = {
        {kFieldImagMin, "1.5 ", {3, 4}},     // trailing blank
        {kFieldRealMax, "1,5", {1, 2}},      // comma
        {kFieldConstReal, "", {0, 0}},       // empty: caret at the end
        {kFieldConstImag, "-", {1, 1}},      // a lone sign
        {kFieldImagMax, "2e", {2, 2}},       // an exponent without digits
        {kFieldRealMin, "1e99999", {0, 7}},  // beyond the range: the whole text
    };
    for (const Case& c : cases) {
        RangeDialogInput input = ValidRangeInput();
        input.coordinates[c.field] = c.text;
        input.coordinates[kFieldConstImag == c.field ? kFieldConstReal : kFieldConstImag] = "x";  // a later bad field
        const RangeDialogResult r = CheckRangeDialog(input);
        EXPECT_EQ(r.check, RangeCheck::CoordinateInvalid) << c.text;
        if (c.field == kFieldConstImag) {
            EXPECT_EQ(r.failedField, kFieldConstReal);  // the earlier field wins
            continue;
        }
        EXPECT_EQ(r.failedField, c.field) << c.text;
        EXPECT_EQ(r.convertedFields, c.field) << c.text;
        EXPECT_EQ(r.selection, c.selection) << c.text;
    }
}

// A field the user left alone keeps its exact value, whatever its text says;
// a touched field with the same text is read and may fail.
TEST(RangeDialog, UntouchedFieldsKeepTheirValueAndAreNotRead) {
    const long double deep = 0.1L + 0x1p-70L;  // its text rounds it to 0.1
    RangeDialogInput input = ValidRangeInput();
    input.coordinates[kFieldRealMin] = RangeFieldText(deep);
    input.coordinates[kFieldImagMax] = "inf";
    input.untouched[kFieldRealMin] = deep;
    input.untouched[kFieldImagMax] = 2.5L;
    const RangeDialogResult r = CheckRangeDialog(input);
    ASSERT_EQ(r.check, RangeCheck::Accepted);
    EXPECT_EQ(r.set.RealMin, deep);
    EXPECT_EQ(r.set.ImagMax, 2.5L);
    EXPECT_EQ(r.set.RealMax, 1.0L);

    input.untouched[kFieldImagMax].reset();
    const RangeDialogResult touched = CheckRangeDialog(input);
    EXPECT_EQ(touched.check, RangeCheck::CoordinateInvalid);
    EXPECT_EQ(touched.failedField, kFieldImagMax);
    EXPECT_EQ(touched.convertedFields, kFieldImagMax);
}

// ---------------------------------------------------------------------------
// Display dialog

TEST(DisplayDialog, OpensOnAPresetWithTheScreenSizeOfferedOrOnTheFreeSize) {
    EXPECT_EQ(PresetSize(7), (ImageSize{1024, 768}));
    EXPECT_EQ(PresetSize(kFreeSizeChoice), (ImageSize{320, 240}));
    const DisplayRecord preset = OpenDisplayRecord(640, 480, 1, 1280, 1024, 12345);
    EXPECT_EQ(preset.choice, 5);
    EXPECT_EQ(preset.width, 1280);
    EXPECT_EQ(preset.height, 1024);
    const DisplayRecord free = OpenDisplayRecord(700, 500, 2, 1280, 1024, 0);
    EXPECT_EQ(free.choice, kFreeSizeChoice);
    EXPECT_EQ(free.width, 700);
    EXPECT_EQ(free.height, 500);
    EXPECT_EQ(free.scale, 2);
    EXPECT_EQ(OpenDisplayRecord(480, 640, 1, 1280, 1024, 0).choice, kFreeSizeChoice);
    EXPECT_EQ(OpenDisplayRecord(700, 500, 3, 1280, 1024, 0).scale, 1);
    EXPECT_EQ(OpenDisplayRecord(700, 500, 0, 1280, 1024, 0).scale, 1);
}

TEST(DisplayDialog, FreeFieldsCountInvalidAsOneAndCutAt4095) {
    EXPECT_EQ(ReadFreeSizeField("700").value, 700);
    EXPECT_FALSE(ReadFreeSizeField("4095").rewrite);
    const FreeSizeField big = ReadFreeSizeField("5000");
    EXPECT_EQ(big.value, 4095);
    EXPECT_TRUE(big.rewrite);
    EXPECT_EQ(ReadFreeSizeField("99999999999999999999").value, 4095);
    const FreeSizeField empty = ReadFreeSizeField("");
    EXPECT_EQ(empty.value, 1);
    EXPECT_FALSE(empty.rewrite);
    EXPECT_EQ(ReadFreeSizeField("x7").value, 1);
    EXPECT_EQ(ReadFreeSizeField("0").value, 0);

    const ChoiceSize free = SizeOfChoice(kFreeSizeChoice, "5000", "");
    EXPECT_EQ(free.size, (ImageSize{4095, 1}));
    EXPECT_TRUE(free.rewriteWidth);
    EXPECT_FALSE(free.rewriteHeight);
    const ChoiceSize preset = SizeOfChoice(3, "garbage", "5000");  // the free fields are not read
    EXPECT_EQ(preset.size, (ImageSize{400, 300}));
    EXPECT_FALSE(preset.rewriteHeight);

    DisplayRecord record = OpenDisplayRecord(700, 500, 1, 1280, 1024, 0);
    record.width = 0;
    record.height = 1;
    EXPECT_EQ(ConfirmedImageSize(record), (ImageSize{2, 2}));
}

TEST(DisplayDialog, AttentionWhenTheScaledImageExceedsTheScreen) {
    DisplayRecord record = OpenDisplayRecord(1024, 768, 2, 1280, 1024, 0);
    record.width = 1024;
    record.height = 768;
    EXPECT_TRUE(ImageLargerThanScreen(record));
    record.scale = 1;
    EXPECT_FALSE(ImageLargerThanScreen(record));
    record.width = 1280;
    record.height = 1024;
    EXPECT_FALSE(ImageLargerThanScreen(record));  // equal is not larger
    record.width = INT32_MAX;                     // the product must not wrap
    record.scale = 2;
    EXPECT_TRUE(ImageLargerThanScreen(record));
}

TEST(DisplayDialog, UsableMemoryAndMegabyteFigures) {
    constexpr uint64_t MB = 1048576;
    EXPECT_EQ(UsablePhysicalMemory(64 * MB), 49 * MB);
    EXPECT_EQ(UsablePhysicalMemory(24 * MB), 12 * MB);
    EXPECT_EQ(UsablePhysicalMemory(31 * MB), 31 * MB / 2);
    EXPECT_EQ(UsablePhysicalMemory(31 * MB + 1), 16 * MB + 1);
    EXPECT_EQ(MegabyteText(0), "0.0 MB");
    EXPECT_EQ(MegabyteText(12 * MB + 3 * MB / 10 + 1), "12.3 MB");
    EXPECT_EQ(MegabyteText(MB / 4), "0.3 MB");  // exactly halfway rounds up
    EXPECT_EQ(MegabyteText(MB / 20 + 1), "0.1 MB");
    EXPECT_EQ(MegabyteText(MB / 20), "0.0 MB");
    EXPECT_EQ(MegabyteText(MB - 1), "1.0 MB");
    EXPECT_EQ(MegabyteFigure(16ull << 30), "16384.0");  // beyond 4 GB
    EXPECT_EQ(MegabyteFigure(UINT64_MAX), "17592186044416.0");
}

TEST(DisplayDialog, WarningsInTableOrder) {
    constexpr uint64_t MB = 1048576;
    const uint64_t total = 64 * MB;
    EXPECT_EQ(ClassifyMemory(0, 100 * MB, total).text, "RAM: 100.0");
    EXPECT_EQ(ClassifyMemory(0, 100 * MB, total).ok, OkButtonState::Unchanged);
    EXPECT_EQ(ClassifyMemory(5 * MB, 0, total).text, "RAM: 0.0");
    // Larger than both the available total and twice the physical memory.
    const MemoryWarning none = ClassifyMemory(200 * MB, 150 * MB, total);
    EXPECT_EQ(none.text, "Not enough virtual memory!");
    EXPECT_EQ(none.ok, OkButtonState::Disabled);
    EXPECT_EQ(ClassifyMemory(150 * MB, 150 * MB, total).text, "Much swapping (very slow)!");
    EXPECT_EQ(ClassifyMemory(128 * MB, 150 * MB, total).text, "Slow because swapping occurs!");
    EXPECT_EQ(ClassifyMemory(64 * MB, 150 * MB, total).text, "Swapping may occur!");
    EXPECT_EQ(ClassifyMemory(49 * MB + 1, 150 * MB, total).text, "Swapping may occur!");
    const MemoryWarning fine = ClassifyMemory(49 * MB, 150 * MB, total);
    EXPECT_EQ(fine.text, "");
    EXPECT_EQ(fine.ok, OkButtonState::Enabled);
    // Twice a huge physical size must not wrap into a small one.
    EXPECT_EQ(ClassifyMemory(UINT64_MAX - 1, UINT64_MAX, UINT64_MAX / 2 + 1).text, "Slow because swapping occurs!");
}

TEST(DisplayDialog, EstimateUsesTheEngineFiguresAndAddsWithoutWrapping) {
    constexpr uint64_t GB = 1ull << 30;
    const MemoryFigures memory{8 * GB, 3 * GB, 4 * GB};
    const MemoryEstimate e = EstimateMemory(ImageSize{1024, 768}, memory, 2 * GB);
    EXPECT_EQ(e.required, MemoryRequirement(1024, 768, NumericType::FpuExtended));
    EXPECT_EQ(e.single, MegabyteText(MemoryRequirement(1024, 768, NumericType::FpuSingle)));
    EXPECT_EQ(e.single, MegabyteText(MemoryRequirement(1024, 768, NumericType::CpuFixed)));
    EXPECT_EQ(e.dbl, MegabyteText(MemoryRequirement(1024, 768, NumericType::FpuDouble)));
    EXPECT_EQ(e.extended, "24.8 MB");
    EXPECT_EQ(e.physical, "8192.0 MB");
    EXPECT_EQ(e.available, 9 * GB);
    EXPECT_EQ(e.warning.text, "");

    // The largest free size in FPU Extended needs some 528 MB.
    const MemoryFigures small{512ull << 20, 256ull << 20, UINT64_MAX};
    const MemoryEstimate big = EstimateMemory(ImageSize{4095, 4095}, small, 1);
    EXPECT_EQ(big.available, UINT64_MAX);
    EXPECT_EQ(big.extended, "527.9 MB");
    EXPECT_EQ(big.warning.text, "Slow because swapping occurs!");
}

// ---------------------------------------------------------------------------
// Colour Palette dialog

TEST(PaletteDialog, RangesFollowThePaletteAndPullPositionsIntoThem) {
    EXPECT_EQ(PaletteScrollRange(1, 200), (ScrollState{255, 200}));
    EXPECT_EQ(PaletteScrollRange(11, 200), (ScrollState{15, 15}));  // VGA Standard
    EXPECT_EQ(PaletteScrollRange(10, 7), (ScrollState{1, 1}));      // Black & White
    EXPECT_EQ(PaletteScrollRange(2, -4), (ScrollState{29, 0}));
    EXPECT_EQ(PaletteScrollRange(0, 300), (ScrollState{255, 255}));  // unknown numbers count as palette 1
}

TEST(PaletteDialog, ScrollRequestsStayInTheRange) {
    EXPECT_EQ(PaletteScrolledPosition(kPalettePageRight, 0, 100, 255), 125);  // a page of 256 colours is 25
    EXPECT_EQ(PaletteScrolledPosition(kPalettePageLeft, 0, 100, 255), 75);
    EXPECT_EQ(PaletteScrolledPosition(kPalettePageRight, 0, 240, 255), 255);
    EXPECT_EQ(PaletteScrolledPosition(kPalettePageLeft, 0, 10, 255), 0);
    EXPECT_EQ(PaletteScrolledPosition(kPalettePageRight, 0, 0, 1), 0);  // two colours: a page is 0
    EXPECT_EQ(PaletteScrolledPosition(kPalettePageRight, 0, 10, 29), 13);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteLineRight, 0, 15, 15), 15);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteLineLeft, 0, 0, 15), 0);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteLineLeft, 0, 5, 15), 4);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteLeft, 0, 9, 15), 0);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteRight, 0, 9, 15), 15);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteThumbTrack, 7, 9, 15), 7);
    EXPECT_EQ(PaletteScrolledPosition(kPaletteThumbPosition, 70, 9, 15), 15);
    EXPECT_EQ(PaletteScrolledPosition(8 /* end of scroll */, 70, 9, 15), 9);
}

TEST(PaletteDialog, ApplySendsPaletteChangedOnlyForAnotherPalette) {
    EXPECT_EQ(ApplyMessage(ChosenPalette(0, 1), 1), static_cast<uint32_t>(QM_RECOLOUR));  // none selected: 1
    EXPECT_EQ(ApplyMessage(ChosenPalette(4, 1), 1), static_cast<uint32_t>(QM_PALETTE_CHANGED));
}

}  // namespace
