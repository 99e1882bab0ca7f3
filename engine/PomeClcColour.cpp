// Recolouring from the stored escape counts, and the statistics that the
// status bar, the colour-spread commands and the zoom commands read.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "engine/PomeClc.h"
#include "engine/PomeClcKernels.h"

namespace {

// A rectangle clipped to the image; empty when nothing of it is inside.
struct Span {
    int32_t left, top, right, bottom;
    bool Empty() const { return left > right || top > bottom; }
};

Span Clip(const CalcState& state, const PixelRect& rect) {
    return Span{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, state.width - 1),
                std::min(rect.bottom, state.height - 1)};
}

// Calls visit(count) for every pixel of the span, row by row. Without work
// buffers every pixel counts as not escaped, like a row never computed.
template <typename Visit>
void ForEachCount(const CalcState& state, const Span& span, Visit&& visit) {
    if (span.Empty()) return;
    std::visit(
        [&](const auto& buffers) {
            for (int32_t y = span.top; y <= span.bottom; ++y) {
                if constexpr (std::is_same_v<std::decay_t<decltype(buffers)>, std::monostate>) {
                    for (int32_t x = span.left; x <= span.right; ++x) visit(NotEscaped);
                } else {
                    const auto* row = RowPixels(buffers, state.width, y);
                    for (int32_t x = span.left; x <= span.right; ++x) visit(row[x].EscapeCount);
                }
            }
        },
        state.workBuffers);
}

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

int32_t EscapeCountAt(const CalcState& state, int32_t x, int32_t y) {
    int32_t count = NotEscaped;
    if (x >= 0 && x < state.width && y >= 0 && y < state.height)
        ForEachCount(state, Span{x, y, x, y}, [&](int32_t c) { count = c; });
    return count;
}

int32_t RowLimitAt(const CalcState& state, int32_t y) {
    if (y < 0 || y >= state.height) return 0;
    return std::visit(
        [y](const auto& buffers) -> int32_t {
            if constexpr (std::is_same_v<std::decay_t<decltype(buffers)>, std::monostate>) return 0;
            else return buffers.RowLimit[y];
        },
        state.workBuffers);
}

void Recolour(CalcState& state, DibImage* image) {
    state.image = image;
    // Every row is rewritten, also rows the pass has not reached: their pixels
    // are not escaped and get the inside colour until the kernel overwrites
    // them. Nothing of the calculation changes.
    for (int32_t y = 0; y < state.height; ++y) {
        PixelCursor cursor = StartImageRow(state, y);
        ForEachCount(state, Span{0, y, state.width - 1, y}, [&](int32_t count) {
            const int32_t n = count == NotEscaped ? state.CurrentLimit : count;
            PutPixel(cursor, PixelIndex(state, count, n));
        });
    }
}

IterationStatistics IterationStats(const CalcState& state, const PixelRect& rect) {
    IterationStatistics stats{state.CurrentLimit, -1, NotEscaped, NotEscaped, NotEscaped, NotEscaped};
    const Span span = Clip(state, rect);
    ForEachCount(state, span, [&](int32_t count) {
        if (count == NotEscaped) return;
        stats.min = std::min(stats.min, count);
        stats.max = std::max(stats.max, count);
    });
    // Nothing escaped: the orbits are all at least as long as the limit.
    if (stats.max == -1) stats.max = state.CurrentLimit;
    if (!span.Empty()) {
        stats.topLeft = EscapeCountAt(state, span.left, span.top);
        stats.topRight = EscapeCountAt(state, span.right, span.top);
        stats.bottomLeft = EscapeCountAt(state, span.left, span.bottom);
        stats.bottomRight = EscapeCountAt(state, span.right, span.bottom);
    }
    return stats;
}

void SuggestIterations(const CalcState& state, CoordinateSet& coordinates, const PixelRect& rect) {
    // The smallest escape count in the rectangle, or the limit when nothing
    // there has escaped.
    int64_t smallest = state.CurrentLimit;
    ForEachCount(state, Clip(state, rect), [&](int32_t count) {
        if (count != NotEscaped && count < smallest) smallest = count;
    });

    // 64 bits, saturated to the 32-bit range: a doubled IterStart near
    // INT32_MAX, or an IterInc of 0 from a hand-edited file, must neither
    // overflow nor divide by zero.
    const int64_t inc = std::max(coordinates.IterInc, 1);
    int64_t start = coordinates.IterStart;
    if (start < inc + smallest) start = ClampToInt32((smallest / inc + 2) * inc);
    int64_t end = coordinates.IterEnd;
    if (2 * start > end) end = ClampToInt32((2 * start / 256 + 1) * 256);
    coordinates.IterStart = static_cast<int32_t>(start);
    coordinates.IterEnd = static_cast<int32_t>(end);
}
