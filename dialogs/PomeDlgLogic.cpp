#include "dialogs/PomeDlgLogic.h"

#include <algorithm>
#include <limits>

#include "engine/PomeClc.h"
#include "resources/rcinc.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class UnsignedScan : uint8_t { Number, TooLarge, NotANumber };

// Blanks, digits, blanks. The value saturates at UINT32_MAX once too large.
UnsignedScan ScanUnsigned(std::string_view text, uint32_t& value) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    const size_t digitsStart = i;
    uint64_t v = 0;
    bool tooLarge = false;
    for (; i < n && IsDigit(text[i]); ++i) {
        v = v * 10 + static_cast<uint64_t>(text[i] - '0');
        if (v > std::numeric_limits<uint32_t>::max()) {
            tooLarge = true;
            v = std::numeric_limits<uint32_t>::max();
        }
    }
    if (i == digitsStart) return UnsignedScan::NotANumber;
    while (i < n && text[i] == ' ') ++i;
    if (i < n) return UnsignedScan::NotANumber;
    value = static_cast<uint32_t>(v);
    return tooLarge ? UnsignedScan::TooLarge : UnsignedScan::Number;
}

}  // namespace

// ---------------------------------------------------------------------------
// Integer fields

std::optional<uint32_t> ReadUnsignedField(std::string_view text) {
    uint32_t value = 0;
    if (ScanUnsigned(text, value) != UnsignedScan::Number) return std::nullopt;
    return value;
}

int32_t LimitFromUnsigned(uint32_t value) {
    constexpr uint32_t kMax = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(std::min(value, kMax));
}

IterationLimits CorrectIterationLimits(uint32_t start, uint32_t increment, uint32_t end) {
    IterationLimits limits{LimitFromUnsigned(start), LimitFromUnsigned(increment), LimitFromUnsigned(end)};
    limits.start = std::max(limits.start, 1);
    limits.increment = std::max(limits.increment, 1);
    limits.end = std::max(limits.end, limits.start);
    return limits;
}

// ---------------------------------------------------------------------------
// Range dialog

namespace {

long double CoordinateSet::*const kFieldMembers[kCoordinateFieldCount] = {
    &CoordinateSet::RealMin, &CoordinateSet::RealMax,   &CoordinateSet::ImagMin,
    &CoordinateSet::ImagMax, &CoordinateSet::ConstReal, &CoordinateSet::ConstImag,
};

}  // namespace

std::array<std::string, kCoordinateFieldCount> RangeFieldTexts(const CoordinateSet& set) {
    std::array<std::string, kCoordinateFieldCount> texts;
    for (int32_t f = 0; f < kCoordinateFieldCount; ++f) texts[f] = RangeFieldText(set.*kFieldMembers[f]);
    return texts;
}

RangeDialogResult CheckRangeDialog(const RangeDialogInput& input) {
    RangeDialogResult result;
    const std::optional<uint32_t> start = ReadUnsignedField(input.iterStart);
    const std::optional<uint32_t> increment = ReadUnsignedField(input.iterInc);
    const std::optional<uint32_t> end = ReadUnsignedField(input.iterEnd);
    if (!start || !increment || !end) {
        result.check = RangeCheck::IterationsInvalid;
        return result;
    }
    const IterationLimits limits = CorrectIterationLimits(*start, *increment, *end);
    result.set.IterStart = limits.start;
    result.set.IterInc = limits.increment;
    result.set.IterEnd = limits.end;

    for (int32_t f = 0; f < kCoordinateFieldCount; ++f) {
        if (input.untouched[f]) {
            result.set.*kFieldMembers[f] = *input.untouched[f];
            result.convertedFields = f + 1;
            continue;
        }
        const std::string_view text = input.coordinates[f];
        const NumberReading reading = ReadNumber(text);
        if (reading.syntax != NumberSyntax::Valid) {
            result.check = RangeCheck::CoordinateInvalid;
            result.failedField = f;
            result.selection = SelectionAfterReading(reading, text.size());
            return result;
        }
        result.set.*kFieldMembers[f] = reading.value;
        result.convertedFields = f + 1;
    }
    result.set.Formula = input.juliaSelected ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet;
    result.check = RangeCheck::Accepted;
    return result;
}

// ---------------------------------------------------------------------------
// Iterations dialog

std::optional<int32_t> CheckIterationsDialog(std::string_view newEndText) {
    const std::optional<uint32_t> value = ReadUnsignedField(newEndText);
    if (!value) return std::nullopt;
    return LimitFromUnsigned(*value);
}

// ---------------------------------------------------------------------------
// Display dialog

namespace {

constexpr ImageSize kPresetSizes[kPresetSizeCount] = {
    {280, 210}, {320, 240}, {400, 300}, {512, 384}, {640, 480}, {800, 600}, {1024, 768},
};

constexpr uint64_t kMegabyte = 1048576;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

}  // namespace

ImageSize PresetSize(int32_t choice) {
    if (choice >= 1 && choice <= kPresetSizeCount) return kPresetSizes[choice - 1];
    return kPresetSizes[1];
}

int32_t SizeChoiceFor(int32_t width, int32_t height) {
    for (int32_t choice = 1; choice <= kPresetSizeCount; ++choice) {
        if (PresetSize(choice) == ImageSize{width, height}) return choice;
    }
    return kFreeSizeChoice;
}

int32_t ClampDisplayScale(int32_t scale) { return scale == 2 ? 2 : 1; }

DisplayRecord OpenDisplayRecord(int32_t width, int32_t height, int32_t scale, int32_t screenWidth,
                                int32_t screenHeight, uint32_t memoryInUse) {
    DisplayRecord record;
    record.choice = SizeChoiceFor(width, height);
    // A preset is shown by its radio button; the free fields then offer the
    // screen size as the most likely free choice.
    const bool preset = record.choice != kFreeSizeChoice;
    record.width = preset ? screenWidth : width;
    record.height = preset ? screenHeight : height;
    record.screenWidth = screenWidth;
    record.screenHeight = screenHeight;
    record.scale = ClampDisplayScale(scale);
    record.memoryInUse = memoryInUse;
    return record;
}

FreeSizeField ReadFreeSizeField(std::string_view text) {
    uint32_t value = 0;
    switch (ScanUnsigned(text, value)) {
    case UnsignedScan::NotANumber: return FreeSizeField{1, false};
    case UnsignedScan::TooLarge: return FreeSizeField{kMaxFreeSize, true};
    case UnsignedScan::Number: break;
    }
    if (value > static_cast<uint32_t>(kMaxFreeSize)) return FreeSizeField{kMaxFreeSize, true};
    return FreeSizeField{static_cast<int32_t>(value), false};
}

ChoiceSize SizeOfChoice(int32_t choice, std::string_view freeWidthText, std::string_view freeHeightText) {
    ChoiceSize result;
    if (choice != kFreeSizeChoice) {
        result.size = PresetSize(choice);
        return result;
    }
    const FreeSizeField width = ReadFreeSizeField(freeWidthText);
    const FreeSizeField height = ReadFreeSizeField(freeHeightText);
    result.size = ImageSize{width.value, height.value};
    result.rewriteWidth = width.rewrite;
    result.rewriteHeight = height.rewrite;
    return result;
}

ImageSize ConfirmedImageSize(const DisplayRecord& record) {
    return ImageSize{std::max(record.width, kMinImageSide), std::max(record.height, kMinImageSide)};
}

bool ImageLargerThanScreen(const DisplayRecord& record) {
    const int64_t scale = record.scale;
    return int64_t{record.width} * scale > record.screenWidth || int64_t{record.height} * scale > record.screenHeight;
}

uint64_t UsablePhysicalMemory(uint64_t totalPhysical) {
    constexpr uint64_t kSmallMachine = 31 * kMegabyte;
    constexpr uint64_t kSystemShare = 15 * kMegabyte;
    return totalPhysical > kSmallMachine ? totalPhysical - kSystemShare : totalPhysical / 2;
}

std::string MegabyteFigure(uint64_t bytes) {
    // Tenths of a megabyte, rounded half up, without overflowing bytes * 10.
    const uint64_t tenths = bytes / kMegabyte * 10 + ((bytes % kMegabyte) * 10 + kMegabyte / 2) / kMegabyte;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string MegabyteText(uint64_t bytes) { return MegabyteFigure(bytes) + " MB"; }

MemoryWarning ClassifyMemory(uint64_t required, uint64_t available, uint64_t totalPhysical) {
    if (required == 0 || available == 0) {
        return MemoryWarning{"RAM: " + MegabyteFigure(available), OkButtonState::Unchanged};
    }
    if (required > available) return MemoryWarning{"Not enough virtual memory!", OkButtonState::Disabled};
    if (required > SaturatingAdd(totalPhysical, totalPhysical)) {
        return MemoryWarning{"Much swapping (very slow)!", OkButtonState::Enabled};
    }
    if (required > totalPhysical) return MemoryWarning{"Slow because swapping occurs!", OkButtonState::Enabled};
    if (required > UsablePhysicalMemory(totalPhysical)) {
        return MemoryWarning{"Swapping may occur!", OkButtonState::Enabled};
    }
    return MemoryWarning{"", OkButtonState::Enabled};
}

MemoryEstimate EstimateMemory(ImageSize size, const MemoryFigures& memory, uint64_t memoryInUse) {
    // CPU Fixed needs as much as FPU Single, so one figure stands for both.
    const uint64_t single = MemoryRequirement(size.width, size.height, NumericType::FpuSingle);
    const uint64_t dbl = MemoryRequirement(size.width, size.height, NumericType::FpuDouble);
    const uint64_t extended = MemoryRequirement(size.width, size.height, NumericType::FpuExtended);
    MemoryEstimate estimate;
    estimate.single = MegabyteText(single);
    estimate.dbl = MegabyteText(dbl);
    estimate.extended = MegabyteText(extended);
    estimate.physical = MegabyteText(memory.totalPhysical);
    estimate.required = extended;
    // The current calculation's buffers are freed before the new ones are made.
    estimate.available = SaturatingAdd(SaturatingAdd(memory.availablePhysical, memory.availablePageFile), memoryInUse);
    estimate.warning = ClassifyMemory(estimate.required, estimate.available, memory.totalPhysical);
    return estimate;
}

// ---------------------------------------------------------------------------
// Colour Palette dialog

int32_t PaletteColourCount(int32_t palette) {
    static constexpr int32_t kCounts[11] = {256, 30, 210, 252, 56, 112, 252, 56, 252, 2, 16};
    return palette >= 1 && palette <= 11 ? kCounts[palette - 1] : kCounts[0];
}

ScrollState PaletteScrollRange(int32_t palette, int32_t position) {
    const int32_t max = PaletteColourCount(palette) - 1;
    return ScrollState{max, std::clamp(position, 0, max)};
}

int32_t PaletteScrolledPosition(int32_t request, int32_t thumb, int32_t position, int32_t max) {
    const int32_t page = (max + 1) / 10;
    int32_t next = position;
    switch (request) {
    case kPaletteThumbPosition:
    case kPaletteThumbTrack: next = thumb; break;
    case kPaletteLineLeft: next = position > 0 ? position - 1 : position; break;
    case kPaletteLineRight: next = position < max ? position + 1 : position; break;
    case kPalettePageLeft: next = position - page; break;
    case kPalettePageRight: next = position + page; break;
    case kPaletteLeft: next = 0; break;
    case kPaletteRight: next = max; break;
    default: break;
    }
    return std::clamp(next, 0, std::max(max, 0));
}

int32_t ChosenPalette(int32_t firstSelected, int32_t whenNone) {
    return firstSelected >= 1 && firstSelected <= 11 ? firstSelected : whenNone;
}

uint32_t ApplyMessage(int32_t dialogPalette, int32_t currentPalette) {
    return dialogPalette != currentPalette ? QM_PALETTE_CHANGED : QM_RECOLOUR;
}
