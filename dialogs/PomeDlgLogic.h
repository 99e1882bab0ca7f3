// What the modal dialogs decide without a window: reading and correcting
// their fields, the Display dialog's sizes and memory figures, the Colour
// Palette dialog's scroll arithmetic. The dialog procedures only move texts
// and numbers between the controls and these functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dialogs/CoordinateStoreLogic.h"
#include "dialogs/NumberTextLogic.h"
#include "engine/CoordinateSet.h"

// ---------------------------------------------------------------------------
// Integer fields

// An unsigned decimal integer field as the dialogs read it: blanks around
// the digits are allowed, anything else (a sign, a letter, no digit at all)
// or a value above 4294967295 makes it invalid. Reading the field text and
// calling this keeps the rule the same on every platform, which
// GetDlgItemInt does not promise.
std::optional<uint32_t> ReadUnsignedField(std::string_view text);

// An unsigned field value as a 32-bit signed limit: values above INT32_MAX,
// the largest limit the engine honours, count as INT32_MAX.
int32_t LimitFromUnsigned(uint32_t value);

struct IterationLimits {
    int32_t start = 0;
    int32_t increment = 0;
    int32_t end = 0;
    bool operator==(const IterationLimits&) const = default;
};

// The Range dialog's correction: a start or an increment below 1 becomes 1,
// an end below the start becomes the start.
IterationLimits CorrectIterationLimits(uint32_t start, uint32_t increment, uint32_t end);

// ---------------------------------------------------------------------------
// Range dialog

// The six float fields in the order they are filled and read.
enum CoordinateField : int32_t {
    kFieldRealMin,
    kFieldRealMax,
    kFieldImagMin,
    kFieldImagMax,
    kFieldConstReal,
    kFieldConstImag,
    kCoordinateFieldCount
};

// The texts of the float fields when the dialog opens (RangeFieldText).
std::array<std::string, kCoordinateFieldCount> RangeFieldTexts(const CoordinateSet& set);

struct RangeDialogInput {
    std::string_view iterStart;
    std::string_view iterInc;
    std::string_view iterEnd;
    std::array<std::string_view, kCoordinateFieldCount> coordinates;
    bool juliaSelected = false;
    // The exact values of the float fields the user did not touch. Such a
    // field keeps its value and its text is not read: the text is rounded,
    // and reading it back would move the edges of a deep zoom a little at
    // every confirmation (or refuse a view the program itself showed).
    std::array<std::optional<long double>, kCoordinateFieldCount> untouched{};
};

enum class RangeCheck : uint8_t {
    Accepted,            // `set` holds every field: copy it over the caller's and close
    IterationsInvalid,   // an iteration field is no number: do nothing at all
    CoordinateInvalid,   // select `selection` in `failedField` and focus it
};

struct RangeDialogResult {
    RangeCheck check = RangeCheck::IterationsInvalid;
    CoordinateSet set;
    // Float fields that converted before the check ended, in field order:
    // their selection collapses to the caret at the start.
    int32_t convertedFields = 0;
    int32_t failedField = -1;  // a CoordinateField when CoordinateInvalid
    TextSelection selection;
};

// OK in the Range dialog: the iteration fields first (all three must be
// numbers; no float field is looked at otherwise), then the float fields in
// order until one fails, each untouched one taking its kept value. Min above
// Max and any magnitude are accepted.
RangeDialogResult CheckRangeDialog(const RangeDialogInput& input);

// ---------------------------------------------------------------------------
// Iterations dialog

// OK in the Iterations dialog: the new end value, or nothing when the field is
// no number (OK then does nothing). No bounds beyond LimitFromUnsigned.
std::optional<int32_t> CheckIterationsDialog(std::string_view newEndText);

// ---------------------------------------------------------------------------
// Display dialog

struct ImageSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const ImageSize&) const = default;
};

constexpr int32_t kPresetSizeCount = 7;
constexpr int32_t kFreeSizeChoice = 8;      // radio button 100 + choice
constexpr int32_t kMaxFreeSize = 4095;
constexpr int32_t kMinImageSide = 2;

// Choices 1 to 7: 280 x 210 up to 1024 x 768; any other choice 320 x 240.
ImageSize PresetSize(int32_t choice);

// The preset whose width and height both match, else kFreeSizeChoice.
int32_t SizeChoiceFor(int32_t width, int32_t height);

// Below 1 or above 2 the scale is 1.
int32_t ClampDisplayScale(int32_t scale);

struct DisplayRecord {
    int32_t choice = kFreeSizeChoice;
    int32_t width = 0;   // what the free fields offer, later the chosen size
    int32_t height = 0;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    int32_t scale = 1;
    uint32_t memoryInUse = 0;  // MemoryRequirement of the current calculation
};

// The record the dialog opens on: a preset size is checked and the free
// fields offer the screen size; another size is Free and offered as it is.
DisplayRecord OpenDisplayRecord(int32_t width, int32_t height, int32_t scale, int32_t screenWidth,
                                int32_t screenHeight, uint32_t memoryInUse);

struct FreeSizeField {
    int32_t value = 1;
    bool rewrite = false;  // the field must be rewritten with `value`
};

// A free width or height field: no number counts as 1 (the field keeps its
// text); above 4095, even a digit run too long for 32 bits, gives 4095 and
// the field is rewritten; 0 stays 0.
FreeSizeField ReadFreeSizeField(std::string_view text);

struct ChoiceSize {
    ImageSize size;
    bool rewriteWidth = false;
    bool rewriteHeight = false;
};

// The size a choice stands for; the free fields are read only for Free.
ChoiceSize SizeOfChoice(int32_t choice, std::string_view freeWidthText, std::string_view freeHeightText);

// The size handed back on OK: sides below 2 are raised to 2.
ImageSize ConfirmedImageSize(const DisplayRecord& record);

// Whether OK must first ask the "Attention" question: the image times the
// scale is wider or taller than the screen.
bool ImageLargerThanScreen(const DisplayRecord& record);

constexpr const char* kAttentionCaption = "Attention";
constexpr const char* kAttentionText = "The image is larger than the screen; the image will only be partially visible!";

// GlobalMemoryStatus figures, as 64-bit values whatever the build.
struct MemoryFigures {
    uint64_t totalPhysical = 0;
    uint64_t availablePhysical = 0;
    uint64_t availablePageFile = 0;
};

// Total minus 15 MB above 31 MB, else half the total.
uint64_t UsablePhysicalMemory(uint64_t totalPhysical);

// bytes / 1,048,576 with one decimal place, rounded half up: "12.3".
std::string MegabyteFigure(uint64_t bytes);
// The same followed by " MB".
std::string MegabyteText(uint64_t bytes);

enum class OkButtonState : uint8_t { Unchanged, Enabled, Disabled };

struct MemoryWarning {
    std::string text;  // for the warning line
    OkButtonState ok = OkButtonState::Unchanged;
};

// The warning line for requirement R and available memory A, first match of:
// R or A zero ("RAM: " and A), R > A, R > 2 x total, R > total, R > usable.
MemoryWarning ClassifyMemory(uint64_t required, uint64_t available, uint64_t totalPhysical);

struct MemoryEstimate {
    std::string single;    // field "Fixed / Single"
    std::string dbl;       // field "Double"
    std::string extended;  // field "Extended"
    std::string physical;  // field "Phys. Memory": the total
    uint64_t required = 0;   // the FPU Extended figure
    uint64_t available = 0;  // available physical + page file + memory in use, saturating
    MemoryWarning warning;
};

// Everything an estimate update shows for an image size.
MemoryEstimate EstimateMemory(ImageSize size, const MemoryFigures& memory, uint64_t memoryInUse);

// ---------------------------------------------------------------------------
// Colour Palette dialog

// The five colour settings the dialog edits: the palette (radio button 100 +
// palette), Modulo or Percentage (201 + colourMode), the Pome-set colour's
// check box and index, and the shift.
struct PaletteSettings {
    int32_t palette = 1;
    bool colourMode = false;
    bool setColourEnabled = false;
    int32_t setColour = 0;
    int32_t shift = 0;
};

// Colour count of palettes 1 to 11; any other number counts as palette 1.
int32_t PaletteColourCount(int32_t palette);

// A scroll bar's range 0..max and the position shown in it.
struct ScrollState {
    int32_t max = 0;
    int32_t position = 0;
    bool operator==(const ScrollState&) const = default;
};

// The range for a palette; a position above it is lowered to its end, one
// below 0 raised to 0 (as the scroll bar itself does).
ScrollState PaletteScrollRange(int32_t palette, int32_t position);

// Horizontal scroll requests, numbered as the window system numbers them
// (SB_LINELEFT ... SB_RIGHT).
enum PaletteScrollRequest : int32_t {
    kPaletteLineLeft = 0,
    kPaletteLineRight = 1,
    kPalettePageLeft = 2,
    kPalettePageRight = 3,
    kPaletteThumbPosition = 4,
    kPaletteThumbTrack = 5,
    kPaletteLeft = 6,
    kPaletteRight = 7,
};

// The position after a scroll request on a bar with range 0..max: lines move
// by 1, pages by a tenth of the count (max + 1, rounded down), the thumb goes
// where it was dropped; the result stays in the range. Other requests
// (end of scroll) keep the position.
int32_t PaletteScrolledPosition(int32_t request, int32_t thumb, int32_t position, int32_t max);

// The palette OK takes: the first selected of the radio buttons (0 when none
// is), else `whenNone`; OK passes the current palette, Apply passes 1.
int32_t ChosenPalette(int32_t firstSelected, int32_t whenNone);

// The message Apply sends the main window: QM_PALETTE_CHANGED when the
// palette changed (rebuild keeping the shift), else QM_RECOLOUR.
uint32_t ApplyMessage(int32_t dialogPalette, int32_t currentPalette);

// ---------------------------------------------------------------------------
// Help

// The one help file: the menu, the Welcome dialog and the dialogs' Help
// buttons all open it; the macro shows its quick reference.
constexpr const char* kHelpFile = "QUAXEL.HLP";
constexpr const char* kQuickReferenceMacro = "JI(\"\", \"QUICKREF\")";

constexpr const char* kRangeHelpKeyword = "Range";
constexpr const char* kIterationsHelpKeyword = "Iterations";
constexpr const char* kDisplayHelpKeyword = "Display";
constexpr const char* kPaletteHelpKeyword = "Colour Palette";
