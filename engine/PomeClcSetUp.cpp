// Calculation state, work buffers, plane mapping with its precision check,
// and the memory figure of the Display dialog.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <type_traits>

#include "engine/CycleCheck.h"
#include "engine/FpEnvironment.h"
#include "engine/PomeClc.h"
#include "engine/PomeClcKernels.h"
#include "engine/PomeFix.h"

// float, double and long double convert into each other with IEEE rounding:
// a value beyond a narrower type's range becomes an infinity, which the
// kernels treat as escaped.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);
static_assert(std::numeric_limits<long double>::digits == 64, "FPU Extended needs the 80-bit x87 format");

namespace {

// ----------------------------------------------------------------------------
// Work buffers

// Zero-filled array of `count` elements, or null when the size cannot be
// addressed or the allocator has nothing left. Never throws.
template <typename T>
std::unique_ptr<T[]> AllocateZeroed(int64_t count) {
    constexpr uint64_t kMaxCount = static_cast<uint64_t>(PTRDIFF_MAX) / sizeof(T);
    if (count < 0 || static_cast<uint64_t>(count) > kMaxCount) return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(count)]());
}

// Replaces whatever buffers the state holds by zeroed ones of type T. The old
// ones go first, so the two never occupy memory at the same time. On failure
// the state holds no buffers.
template <typename T>
bool AllocateWorkBuffers(CalcState& state) {
    WorkBuffers<T>& buffers = state.workBuffers.emplace<WorkBuffers<T>>();
    const int64_t width = std::max(state.width, 0);
    const int64_t height = std::max(state.height, 0);
    buffers.ColumnCoords = AllocateZeroed<T>(width);
    buffers.RowCoords = AllocateZeroed<T>(height);
    buffers.RowLimit = AllocateZeroed<int32_t>(height);
    // width * height < 2^62: no overflow in 64 bits.
    buffers.Pixels = AllocateZeroed<PixelRecord<T>>(width * height);
    buffers.RowCounts = AllocateZeroed<int32_t>(width);
    if (buffers.ColumnCoords && buffers.RowCoords && buffers.RowLimit && buffers.Pixels && buffers.RowCounts)
        return true;
    state.workBuffers.emplace<std::monostate>();
    return false;
}

// Gives the buffers checkpoints when the cycle check is on and memory allows
// (a calculation without them computes the same image, only slower), and
// frees them when it is off.
void UpdateCheckpoints(CalcState& state, bool checkCycles) {
    std::visit(
        [&](auto& buffers) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(buffers)>, std::monostate>) {
                using T = std::decay_t<decltype(buffers.Pixels[0].Zr)>;
                if (!checkCycles) buffers.Checkpoints.reset();
                else if (!buffers.Checkpoints)
                    buffers.Checkpoints = AllocateZeroed<Checkpoint<T>>(int64_t{state.width} * state.height);
            }
        },
        state.workBuffers);
}

bool AllocateWorkBuffers(CalcState& state, NumericType type) {
    switch (type) {
        case NumericType::CpuFixed: return AllocateWorkBuffers<int32_t>(state);
        case NumericType::FpuSingle: return AllocateWorkBuffers<float>(state);
        case NumericType::FpuDouble: return AllocateWorkBuffers<double>(state);
        case NumericType::FpuExtended: return AllocateWorkBuffers<long double>(state);
    }
    return false;
}

// ----------------------------------------------------------------------------
// Precision check

// The type a set-up asks for when the current one cannot tell neighbouring
// pixels apart. FPU Single is skipped from CPU Fixed: it has fewer
// significant bits than the fixed format near 1.
NumericType FallbackOf(NumericType type) {
    switch (type) {
        case NumericType::CpuFixed: return NumericType::FpuDouble;
        case NumericType::FpuSingle: return NumericType::FpuDouble;
        case NumericType::FpuDouble: return NumericType::FpuExtended;
        case NumericType::FpuExtended: return NumericType::FpuExtended;
    }
    return type;
}

const char* PrecisionText(NumericType type, bool columns) {
    switch (type) {
        case NumericType::CpuFixed:
            return columns
                ? "The precision of the numeric type CPU Fixed is insufficient for the selected range.\n"
                  "Select OK to continue with FPU Double (calculation will be much slower).\n"
                  "Select Cancel to continue using CPU Fixed (image may contain large blocks or even a single colour "
                  "due to rounding errors!)."
                : "The precision of the numeric type CPU Fixed is insufficient for the selected range.\n"
                  "Select OK to continue with FPU Double.\n"
                  "Select Cancel to continue using CPU Fixed (image may contain large blocks or even a single colour "
                  "due to rounding errors!).";
        case NumericType::FpuSingle:
            return "The precision of the numeric type FPU Single is insufficient for the selected range.\n"
                   "Select OK to continue with FPU Double.\n"
                   "Select Cancel to continue using CPU Single (image may contain large blocks or even a single "
                   "colour due to rounding errors!).";
        case NumericType::FpuDouble:
            return "The precision of the numeric type FPU Double is insufficient for the selected range.\n"
                   "Select OK to continue with FPU Extended.\n"
                   "Select Cancel to continue using CPU Double (image may contain large blocks or even a single "
                   "colour due to rounding errors!).";
        case NumericType::FpuExtended:
            return "The precision of the numeric type FPU Extended is insufficient for the selected range.\n"
                   "(Image may contain large blocks or even a single colour due to rounding errors!)";
    }
    return "";
}

// One set-up's check: after the first pair of equal neighbours nothing is
// checked or asked again.
struct PrecisionCheck {
    PrecisionPrompt& prompt;
    bool fpuPresent;
    NumericType type;
    bool warned = false;

    // Called for a pair of equal neighbours; true when the set-up must stop
    // and hand back the fallback type.
    bool ChangeType(bool columns) {
        warned = true;
        if (type == NumericType::FpuExtended) {
            // Nothing more precise exists: tell the user and go on.
            prompt.Confirm(type, columns, PrecisionText(type, columns), kPrecisionStyleOk);
            return false;
        }
        // With a floating-point processor a more precise type costs little: change without asking.
        if (fpuPresent) return true;
        return prompt.Confirm(type, columns, PrecisionText(type, columns), kPrecisionStyleOkCancel);
    }
};

// A plane value in T: rounded to nearest for binary32/binary64, kept for
// extended, truncated by ToFixed for CPU Fixed.
template <typename T>
T ToNumber(long double value) {
    if constexpr (std::is_same_v<T, int32_t>) return ToFixed(value);
    else return static_cast<T>(value);
}

// Whether two neighbouring co-ordinates are the same point for the kernels.
// The FPU kernels add the constant to them (the Julia-Set's c), so they are
// compared after that addition, in extended.
template <typename T>
bool SameNeighbours(T a, T b, long double offset) {
    if constexpr (std::is_same_v<T, int32_t>) return a == b;
    else return static_cast<long double>(a) + offset == static_cast<long double>(b) + offset;
}

// Fills the co-ordinate tables and resets every row to its start value.
// Returns true when the precision check asks for the fallback type; the
// initialisation then stops where it stands.
template <typename T>
bool InitialisePlane(CalcState& state, WorkBuffers<T>& buffers, const SetUpContext& context) {
    PrecisionCheck check{context.prompt, context.fpuPresent, NumericTypeOf<T>()};
    const int32_t width = state.width;
    const int32_t height = state.height;

    const long double realOffset = static_cast<long double>(ToNumber<T>(state.ConstReal));
    for (int32_t x = 0; x < width; ++x) {
        buffers.ColumnCoords[x] = ToNumber<T>(ColumnReal(state.RealMin, state.RealMax, width, x));
        if (x > 0 && !check.warned &&
            SameNeighbours(buffers.ColumnCoords[x], buffers.ColumnCoords[x - 1], realOffset) &&
            check.ChangeType(true))
            return true;
    }

    const long double imagOffset = static_cast<long double>(ToNumber<T>(state.ConstImag));
    // Mandelbrot orbits in the FPU types start at the (zero) constant; CPU
    // Fixed and Julia orbits start at the pixel's point.
    const bool startAtPoint = std::is_same_v<T, int32_t> || state.formula == FormulaKind::JuliaSet;
    const T zeroReal = ToNumber<T>(state.ConstReal);
    const T zeroImag = ToNumber<T>(state.ConstImag);
    for (int32_t y = 0; y < height; ++y) {
        buffers.RowCoords[y] = ToNumber<T>(RowImag(state.ImagMin, state.ImagMax, height, y));
        if (y > 0 && !check.warned && SameNeighbours(buffers.RowCoords[y], buffers.RowCoords[y - 1], imagOffset) &&
            check.ChangeType(false))
            return true;

        buffers.RowLimit[y] = 0;
        PixelRecord<T>* pixel = RowPixels(buffers, width, y);
        for (int32_t x = 0; x < width; ++x, ++pixel) {
            pixel->Zr = startAtPoint ? buffers.ColumnCoords[x] : zeroReal;
            pixel->Zi = startAtPoint ? buffers.RowCoords[y] : zeroImag;
            pixel->EscapeCount = NotEscaped;
        }
        if (Checkpoint<T>* checkpoint = RowCheckpoints(buffers, width, y))
            for (int32_t x = 0; x < width; ++x) ClearCheckpoint(checkpoint[x]);
    }
    return false;
}

bool InitialisePlane(CalcState& state, const SetUpContext& context) {
    return std::visit(
        [&](auto& buffers) {
            if constexpr (std::is_same_v<std::decay_t<decltype(buffers)>, std::monostate>) return false;
            else return InitialisePlane(state, buffers, context);
        },
        state.workBuffers);
}

NumericType ValidNumericType(NumericType type) {
    switch (type) {
        case NumericType::CpuFixed:
        case NumericType::FpuSingle:
        case NumericType::FpuDouble:
        case NumericType::FpuExtended: return type;
    }
    return NumericType::FpuSingle;  // not a type the program offers: the state's own default
}

}  // namespace

// ----------------------------------------------------------------------------

NumericType DefaultNumericType(FormulaKind formula, bool fpuPresent) {
    if (fpuPresent || formula == FormulaKind::JuliaSet) return NumericType::FpuSingle;
    return NumericType::CpuFixed;
}

void CreateCalcState(CalcState& state, DibImage* image) {
    state.image = image;
    state.width = image != nullptr ? std::max(image->width, 0) : 0;
    state.height = image != nullptr ? std::max(image->height, 0) : 0;
    state.numericType = NumericType::FpuSingle;
    state.CurrentLimit = 0;
    state.ScanRow = -4;
    state.ScanPhase = 0;
    state.ClearAhead = false;
    state.Status = AllocateWorkBuffers<float>(state) ? SetUpStatus::Idle : SetUpStatus::OutOfMemory;
}

void ReleaseWorkBuffers(CalcState& state) {
    state.workBuffers.emplace<std::monostate>();
    state.Status = SetUpStatus::Idle;
}

bool HasWorkBuffers(const CalcState& state) { return !std::holds_alternative<std::monostate>(state.workBuffers); }

void SetColourParams(CalcState& state, const ColourParams& colours) {
    state.ColourCount = colours.ColourCount;
    state.PaletteShift = colours.PaletteShift;
    state.ColourMode = colours.ColourMode;
    state.PomeSetColourEnabled = colours.PomeSetColourEnabled;
    state.PomeSetColour = colours.PomeSetColour;
    state.IterationsPerColour = colours.IterationsPerColour;
}

NumericType SetUpCalculation(CalcState& state, const SetUpContext& context, const CoordinateSet& coordinates,
                             NumericType numericType) {
    const FpEnvironmentGuard environment;
    const bool julia = coordinates.Formula == FormulaKind::JuliaSet;
    NumericType type = ValidNumericType(numericType);
    // There is no CPU Fixed Julia kernel.
    if (julia && type == NumericType::CpuFixed) type = NumericType::FpuSingle;

    state.RealMin = coordinates.RealMin;
    state.RealMax = coordinates.RealMax;
    state.ImagMin = coordinates.ImagMin;
    state.ImagMax = coordinates.ImagMax;
    state.formula = julia ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet;
    state.ConstReal = julia ? coordinates.ConstReal : 0.0L;
    state.ConstImag = julia ? coordinates.ConstImag : 0.0L;
    state.IterStart = coordinates.IterStart;
    state.IterInc = coordinates.IterInc;
    state.IterEnd = coordinates.IterEnd;
    state.CurrentLimit = coordinates.IterStart;
    state.ScanRow = -4;
    state.ScanPhase = 0;
    state.ClearAhead = true;

    // The plane mapping divides by width - 1 and height - 1.
    if (state.width < 2 || state.height < 2) {
        state.workBuffers.emplace<std::monostate>();
        state.numericType = type;
        state.Status = SetUpStatus::ImageTooSmall;
        return type;
    }

    // Same type: the buffers stay and are merely re-initialised.
    if (type != state.numericType || !HasWorkBuffers(state)) {
        state.numericType = type;
        if (!AllocateWorkBuffers(state, type)) {
            state.Status = SetUpStatus::OutOfMemory;
            return type;
        }
    }
    UpdateCheckpoints(state, CycleChecks() && state.CycleCheckAllowed);

    if (InitialisePlane(state, context)) {
        // The buffers are half initialised; nothing runs until the set-up
        // with the returned type.
        state.Status = SetUpStatus::TypeChanged;
        return FallbackOf(type);
    }
    state.Status = SetUpStatus::Ready;
    return type;
}

NumericType RunSetUp(CalcState& state, const SetUpContext& context, const CoordinateSet& coordinates,
                     const ColourParams& colours, NumericType current) {
    NumericType type = current;
    // Each change goes to a strictly more precise type, so three rounds
    // suffice; the bound only guards against a broken invariant.
    for (int round = 0; round < 8; ++round) {
        if (context.hourglass != nullptr) context.hourglass->Begin();
        SetColourParams(state, colours);
        const NumericType answer = SetUpCalculation(state, context, coordinates, type);
        if (context.hourglass != nullptr) context.hourglass->End();
        if (answer == type) break;
        type = answer;
        // FPU Single comes back only for a Julia-Set asked for in CPU Fixed,
        // and that set-up has already run with it.
        if (answer == NumericType::FpuSingle) break;
    }
    return type;
}

uint32_t MemoryRequirement(int32_t width, int32_t height, NumericType type) {
    uint64_t valueWidth = 4;
    uint64_t recordSize = 12;
    switch (type) {
        case NumericType::CpuFixed:
        case NumericType::FpuSingle: break;
        case NumericType::FpuDouble:
            valueWidth = 8;
            recordSize = 24;
            break;
        case NumericType::FpuExtended:
            valueWidth = 10;
            recordSize = 32;
            break;
    }
    const uint64_t w = static_cast<uint64_t>(std::max(width, 0));
    const uint64_t h = static_cast<uint64_t>(std::max(height, 0));
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    const uint64_t pixels = w * h;  // < 2^62
    if (pixels > kMax) return static_cast<uint32_t>(kMax);
    // Every term now stays far below 2^64.
    const uint64_t bytes = pixels + (12 * h + 8) + valueWidth * w + valueWidth * h + recordSize * pixels;
    return static_cast<uint32_t>(std::min(bytes, kMax));
}
