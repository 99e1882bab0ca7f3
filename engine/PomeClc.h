// The calculation engine: calculation state and plane mapping, precision
// checks, progressive row and pass scheduling, the iteration kernels,
// recolouring and iteration statistics. Portable; the program holds exactly
// one CalcState and passes it in explicitly.
//
// How the passes are scheduled and how the kernels round is told in
// engine/README.md.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>

#include "engine/CoordinateSet.h"
#include "image/DibSect.h"

enum class NumericType : uint8_t {
    CpuFixed = 0,     // 8.24 fixed point (engine/PomeFix.h)
    FpuSingle = 1,    // binary32
    FpuDouble = 2,    // binary64
    FpuExtended = 3,  // 80-bit x87 extended
};

// The type's name as the menu, the messages and the renderer's output give it.
constexpr const char* NumericTypeName(NumericType type) {
    switch (type) {
    case NumericType::CpuFixed: return "CPU Fixed";
    case NumericType::FpuSingle: return "FPU Single";
    case NumericType::FpuDouble: return "FPU Double";
    case NumericType::FpuExtended: return "FPU Extended";
    }
    return "?";
}

// Escape counts are 32 bits wide, so iteration limits far beyond 65534 are
// honoured. A real count is always below the limit it was found under, which
// never exceeds INT32_MAX, so the marker can never be mistaken for a count.
constexpr int32_t NotEscaped = INT32_MAX;

// ---------------------------------------------------------------------------
// Work buffers

// Per-pixel memory of the progressive calculation: the orbit value reached
// so far and, once the orbit has left the disc of radius 2, its escape count.
template <typename T>
struct PixelRecord {
    T Zr;
    T Zi;
    int32_t EscapeCount;  // NotEscaped while the orbit is still inside
};

// The cycle check's memory of an orbit (engine/CycleCheck.h): its value at
// its last checkpoint step, or the mark of an orbit that came back to it
// (inside at every limit, its count NotEscaped, never iterated again). Kept
// beside the pixel records, not in them: where memory does not allow both,
// the calculation runs without the check in the records' old size.
template <typename T>
struct Checkpoint {
    T R;
    T I;
};

// T is int32_t for CPU Fixed (raw 8.24 values), float, double or long double.
// Every array is zero-filled when allocated; all are sized for the state's
// width and height, and all are there or none, except the checkpoints: a
// set-up adds them when the cycle check is on and memory allows.
template <typename T>
struct WorkBuffers {
    std::unique_ptr<T[]> ColumnCoords;  // real part of each column's point
    std::unique_ptr<T[]> RowCoords;     // imaginary part of each row's point (row 0 = top)
    std::unique_ptr<int32_t[]> RowLimit;         // per row: the limit its pixels are iterated to
    std::unique_ptr<PixelRecord<T>[]> Pixels;    // row after row, width records each
    std::unique_ptr<Checkpoint<T>[]> Checkpoints;  // one per pixel record, or none: no cycle check
    std::unique_ptr<int32_t[]> RowCounts;        // per pixel of the row under way: its count, for the image row
};

// The buffers of exactly one numeric type, or none (before the first
// allocation, after ReleaseWorkBuffers, or when memory ran out). The
// alternative's index is the numeric type + 1.
using WorkBufferSet = std::variant<std::monostate, WorkBuffers<int32_t>, WorkBuffers<float>, WorkBuffers<double>,
                                   WorkBuffers<long double>>;

// What the last CreateCalcState / SetUpCalculation left behind. Only Ready
// lets rows be computed; in every other state CalcNextRow hands out no row
// and NextPass reports the end.
enum class SetUpStatus : uint8_t {
    Idle,           // created or released, nothing set up yet
    Ready,          // set up: passes and rows can be computed
    TypeChanged,    // the precision check asked for another type: set up again with it
    ImageTooSmall,  // width or height below 2: there is no plane step to map pixels with
    OutOfMemory,    // the work buffers could not be allocated; the state holds none
};

// ---------------------------------------------------------------------------
// Colour parameters

// The palette settings the kernels and the recolouring read: the program's
// colour state without the palette number.
struct ColourParams {
    int32_t ColourCount = 2;
    int32_t PaletteShift = 0;
    bool ColourMode = false;  // false = Modulo, true = Percentage
    bool PomeSetColourEnabled = false;
    int32_t PomeSetColour = 0;  // its low byte is the index written
    int32_t IterationsPerColour = 1;
};

// ---------------------------------------------------------------------------
// Calculation state

struct CalcState {
    DibImage* image = nullptr;  // borrowed: the image the kernels write
    NumericType numericType = NumericType::FpuSingle;
    FormulaKind formula = FormulaKind::MandelbrotSet;
    int32_t width = 0;
    int32_t height = 0;

    // Copies of the palette settings; the engine never changes them.
    int32_t ColourCount = 2;
    int32_t PaletteShift = 0;
    bool ColourMode = false;  // false = Modulo, true = Percentage
    bool PomeSetColourEnabled = false;
    int32_t PomeSetColour = 0;  // its low byte is the index written
    int32_t IterationsPerColour = 1;

    long double RealMin = 0.0L;
    long double RealMax = 0.0L;
    long double ImagMin = 0.0L;
    long double ImagMax = 0.0L;
    long double ConstReal = 0.0L;  // both 0 for a Mandelbrot-Set
    long double ConstImag = 0.0L;
    int32_t IterStart = 0;
    int32_t IterInc = 0;
    int32_t IterEnd = 0;
    int32_t CurrentLimit = 0;  // limit of the pass under way

    WorkBufferSet workBuffers;

    int32_t ScanRow = -4;    // row last handed out in this pass
    int32_t ScanPhase = 0;   // interleave phase 0..3
    bool ClearAhead = false; // first sweep after a set-up: blank three rows ahead
    bool RowChanged = false; // the last row CalcNextRow computed changed the image
    bool CycleCheckAllowed = true; // false: set-ups leave the cycle check off (a caller short of memory)

    SetUpStatus Status = SetUpStatus::Idle;
};

// ---------------------------------------------------------------------------
// Floating-point processor and precision prompts

// Whether the machine reports a floating-point processor decides the default
// numeric type and whether precision fallbacks are asked or made silently.
// The caller finds it out once (DetectFpu on Windows) and hands it in.

#ifdef _WIN32
// Reads the registry: true when the floating-point processor key opens.
bool DetectFpu();
#endif

// FPU Single with a floating-point processor or for a Julia-Set (there is no
// CPU Fixed Julia kernel), else CPU Fixed.
NumericType DefaultNumericType(FormulaKind formula, bool fpuPresent);

constexpr const char* kPrecisionPromptCaption = "Numeric Precision";
constexpr unsigned kPrecisionStyleOkCancel = 0x2041;  // MB_OKCANCEL | MB_ICONINFORMATION | MB_TASKMODAL
constexpr unsigned kPrecisionStyleOk = 0x2040;        // MB_OK | MB_ICONINFORMATION | MB_TASKMODAL

// The engine never talks to the window system: when neighbouring pixels
// become indistinguishable it asks through this. The Windows shell shows
// MessageBoxA(NULL, text, kPrecisionPromptCaption, style) and answers true
// for IDOK. For FPU Extended (style kPrecisionStyleOk) the answer is ignored.
struct PrecisionPrompt {
    virtual bool Confirm(NumericType type, bool columns, const char* text, unsigned style) = 0;

protected:
    ~PrecisionPrompt() = default;
};

// What shows while a set-up runs (the program's hourglass). Begin comes
// before and End after each single set-up, the prompts in between.
struct SetUpHourglass {
    virtual void Begin() = 0;
    virtual void End() = 0;

protected:
    ~SetUpHourglass() = default;
};

// The surroundings of a set-up: who answers its questions, whether the
// machine has a floating-point processor, and what shows meanwhile.
struct SetUpContext {
    PrecisionPrompt& prompt;
    bool fpuPresent = false;
    SetUpHourglass* hourglass = nullptr;  // none: nothing shows
};

// ---------------------------------------------------------------------------
// Plane mapping

// The plane point of column x of a width-pixel row over [realMin, realMax]
// and of row y (0 = top) of a height-pixel column over [imagMin, imagMax]:
// the one mapping of the set-up and of every command that asks which point a
// pixel shows. In extended, in this order: product, quotient, sum.
inline long double ColumnReal(long double realMin, long double realMax, int32_t width, int32_t x) {
    return ((realMax - realMin) * static_cast<long double>(x)) / static_cast<long double>(width - 1) + realMin;
}
inline long double RowImag(long double imagMin, long double imagMax, int32_t height, int32_t y) {
    return imagMax - ((imagMax - imagMin) * static_cast<long double>(y)) / static_cast<long double>(height - 1);
}

// ---------------------------------------------------------------------------
// Set-up (PomeClcSetUp.cpp)

// Binds the image, copies its size, selects FPU Single and allocates zeroed
// FPU Single buffers (Status Idle, or OutOfMemory). Nothing is computed.
void CreateCalcState(CalcState& state, DibImage* image);

// Frees the work buffers; the state is Idle afterwards.
void ReleaseWorkBuffers(CalcState& state);

bool HasWorkBuffers(const CalcState& state);

// Copies the colour parameters into the state, for the next calculation or
// recolouring.
void SetColourParams(CalcState& state, const ColourParams& colours);

// Prepares a complete new calculation of `coordinates` and returns the
// numeric type the caller must use from now on: the requested one, FPU Single
// for a Julia-Set asked for in CPU Fixed, or the more precise type the
// precision check chose. Status tells the rest: Ready, TypeChanged (the
// returned type must be set up next), ImageTooSmall or OutOfMemory (the state
// then computes nothing).
NumericType SetUpCalculation(CalcState& state, const SetUpContext& context, const CoordinateSet& coordinates,
                             NumericType numericType);

// The set-up of every new calculation, the program's and the tools': the
// colour parameters, then a set-up with `current` under the hourglass, and
// as long as the answer is a different type other than FPU Single, a set-up
// again with the answer. Returns the type to adopt; at most one prompt per
// step.
NumericType RunSetUp(CalcState& state, const SetUpContext& context, const CoordinateSet& coordinates,
                     const ColourParams& colours, NumericType current);

// Bytes a calculation of width x height in `type` needs, the figure the
// Display dialog shows: W*H + (12*H + 8) + S*W + S*H + P*W*H with value width
// S = 4/4/8/10 and record size P = 12/12/24/32 for CPU Fixed / FPU Single /
// FPU Double / FPU Extended. Computed in 64 bits and saturated at UINT32_MAX;
// negative sizes count as 0.
uint32_t MemoryRequirement(int32_t width, int32_t height, NumericType type);

// ---------------------------------------------------------------------------
// Passes and kernels (PomeClcKernels.cpp)

// Computes the next due row of the pass under way. The caller sets row to -1;
// on return it holds the row computed (0 = top) or -1 when the pass has no
// row left (or the state is not Ready). RowChanged then says whether a pixel
// of the row (or of the rows blanked ahead of it) has another index than
// before: a later pass leaves most rows as they were, and the window need
// not be told of those.
void CalcNextRow(CalcState& state, int32_t& row);

// Opens the next pass (limit raised by IterInc, at most IterEnd; an IterInc
// below 1 counts as 1). False when the calculation is finished or the state
// is not Ready.
bool NextPass(CalcState& state);

// Computes every row of every pass to the end of the calculation, as the
// message loop would with no message waiting: the batch form the renderer
// and the tests use. Returns the number of passes computed; 0, with nothing
// computed, unless the state is Ready.
int32_t CalculateToEnd(CalcState& state);

// Told after every computed row of CalculateToEnd; answering false ends the
// run there (the image is then unfinished).
struct RowProgress {
    virtual bool AfterRow(const CalcState& state, int32_t row) = 0;

protected:
    ~RowProgress() = default;
};
int32_t CalculateToEnd(CalcState& state, RowProgress* progress);

// Raises IterEnd to newEnd if newEnd is larger and restarts the row scan;
// stored orbits and row limits are kept, so the next passes continue them.
void RaiseIterEnd(CalcState& state, int32_t newEnd);

// The palette index of an iteration count n under the state's colour fields.
uint8_t PaletteIndexOf(const CalcState& state, int32_t n);

// ---------------------------------------------------------------------------
// Recolouring and statistics (PomeClcColour.cpp)

// Inclusive pixel rectangle.
struct PixelRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct IterationStatistics {
    int32_t min;
    int32_t max;
    // Raw escape counts at the corners, NotEscaped where the orbit is inside.
    int32_t topLeft;
    int32_t topRight;
    int32_t bottomLeft;
    int32_t bottomRight;
};

// Makes image the state's image and rewrites every pixel from the stored
// counts; no orbit, row limit or pass state changes.
void Recolour(CalcState& state, DibImage* image);

// Smallest and largest escape count inside rect (both CurrentLimit when
// nothing there has escaped) and the four corner counts. The rectangle is
// clipped to the image.
IterationStatistics IterationStats(const CalcState& state, const PixelRect& rect);

// Raises IterStart and IterEnd of `coordinates` (a zoom into rect) from the
// smallest escape count in rect. IterInc is left as it is.
void SuggestIterations(const CalcState& state, CoordinateSet& coordinates, const PixelRect& rect);

// The stored escape count of pixel (x, y); NotEscaped outside the image or
// without work buffers.
int32_t EscapeCountAt(const CalcState& state, int32_t x, int32_t y);

// The limit row y has been iterated to; 0 outside the image or without buffers.
int32_t RowLimitAt(const CalcState& state, int32_t y);
