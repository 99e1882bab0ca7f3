#include "shell/PomeWinLogic.h"

#include <algorithm>

std::string ReadyStatusText(uint32_t startTick, uint32_t nowTick, int32_t minimum, int32_t maximum) {
    std::string text = "Ready (";
    if (nowTick > startTick) {
        const uint64_t hundredths = (uint64_t{nowTick - startTick} + 5) / 10;
        const uint64_t fraction = hundredths % 100;
        text += "Time: " + std::to_string(hundredths / 100) + (fraction < 10 ? ".0" : ".") +
                std::to_string(fraction) + " Sec., ";
    }
    text += "Iterations: Min.: " + std::to_string(minimum) + ", Max.: " + std::to_string(maximum) + ")";
    return text;
}

PathParts SplitPath(const std::string& path) {
    PathParts parts;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) {
        parts.directory = path;
        return parts;
    }
    parts.extension = path.substr(dot + 1);
    const std::string cut = path.substr(0, dot);
    const size_t separator = cut.find_last_of("\\:");
    if (separator == std::string::npos) {
        parts.directory = cut;
    } else {
        parts.directory = cut.substr(0, separator + 1);
        parts.name = cut.substr(separator + 1);
    }
    return parts;
}

namespace {

ScrollAxis LayOutAxis(int32_t client, int32_t displayed, int32_t old) {
    ScrollAxis axis;
    const int64_t excess = int64_t{displayed} - client;
    if (excess <= 0) return axis;
    axis.max = static_cast<int32_t>(excess);
    axis.pos = std::max(std::min(old, axis.max), 0);
    axis.shown = true;
    axis.rangeMax = displayed - 1;
    axis.page = client;
    return axis;
}

}  // namespace

ScrollLayout LayOutScrollBars(int32_t windowWidth, int32_t windowHeight, int32_t clientWidth, int32_t clientHeight,
                              int32_t displayedWidth, int32_t displayedHeight, int32_t oldX, int32_t oldY) {
    ScrollLayout layout;
    if (int64_t{displayedWidth} <= int64_t{windowWidth} - 2 && int64_t{displayedHeight} <= int64_t{windowHeight} - 2)
        return layout;
    layout.x = LayOutAxis(clientWidth, displayedWidth, oldX);
    layout.y = LayOutAxis(clientHeight, displayedHeight, oldY);
    return layout;
}

int32_t ScrolledPosition(int32_t request, uint32_t thumb, int32_t old, int32_t max) {
    int64_t pos = old;
    switch (request) {
    case kScrollLineUp: pos -= 1; break;
    case kScrollLineDown: pos += 1; break;
    case kScrollPageUp: pos -= 50; break;
    case kScrollPageDown: pos += 50; break;
    case kScrollThumbPosition:
    case kScrollThumbTrack: pos = thumb; break;
    default: break;
    }
    return static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(pos, max), 0));
}

void DragSelection(IntRect& s, int32_t x, int32_t y) {
    s.right = x + 1;
    s.bottom = y + 1;
    // Both limits come from the dragged size, before either is applied.
    const int64_t w = int64_t{s.right} - s.left;
    const int64_t h = int64_t{s.bottom} - s.top;
    const int64_t rightLimit = s.left + (4 * h) / 3;
    const int64_t bottomLimit = s.top + (3 * w) / 4;
    if (rightLimit < s.right) s.right = static_cast<int32_t>(rightLimit);
    if (bottomLimit < s.bottom) s.bottom = static_cast<int32_t>(bottomLimit);
    if (s.left > s.right) s.right = s.left;
    if (s.top > s.bottom) s.bottom = s.top;
}

IntRect SelectionInImagePixels(const IntRect& s, int32_t displayScale) {
    if (displayScale <= 1) return s;
    return IntRect{s.left / displayScale, s.top / displayScale, s.right / displayScale, s.bottom / displayScale};
}

IntRect ComputedRowRect(int32_t row, int32_t imageWidth, int32_t displayScale, int32_t scrollY, bool clearAhead) {
    IntRect rect;
    rect.right = imageWidth * displayScale;
    rect.top = row * displayScale - scrollY;
    rect.bottom = clearAhead ? (row + 4) * displayScale - scrollY : (row + 1) * displayScale - scrollY + 1;
    return rect;
}

void ChangedRows::Mark(int32_t row, bool clearAhead) {
    if (row < 0) return;
    const int32_t last = clearAhead ? row + 3 : row;
    if (marked_.size() <= static_cast<size_t>(last)) marked_.resize(static_cast<size_t>(last) + 1, false);
    for (int32_t r = row; r <= last; ++r) marked_[static_cast<size_t>(r)] = true;
    first_ = std::min(first_, row);
    last_ = std::max(last_, last);
}

std::vector<IntRect> ChangedRows::Take(int32_t imageWidth, int32_t displayScale, int32_t scrollY) {
    std::vector<IntRect> bands;
    for (int32_t r = first_; r <= last_; ++r) {
        if (!marked_[static_cast<size_t>(r)]) continue;
        int32_t end = r;
        while (end < last_ && marked_[static_cast<size_t>(end) + 1]) ++end;
        IntRect band = ComputedRowRect(r, imageWidth, displayScale, scrollY, false);
        band.bottom = ComputedRowRect(end, imageWidth, displayScale, scrollY, false).bottom;
        bands.push_back(band);
        std::fill(marked_.begin() + r, marked_.begin() + end + 1, false);
        r = end;
    }
    first_ = INT32_MAX;
    last_ = -1;
    return bands;
}

bool FitIntoWorkArea(IntRect& outer, const IntRect& workArea) {
    if (outer.Width() > workArea.Width() || outer.Height() > workArea.Height()) return false;
    auto shift = [&outer](int32_t dx, int32_t dy) {
        outer.left += dx;
        outer.right += dx;
        outer.top += dy;
        outer.bottom += dy;
    };
    if (outer.right > workArea.right) shift(workArea.right - outer.right, 0);
    if (outer.bottom > workArea.bottom) shift(0, workArea.bottom - outer.bottom);
    if (outer.left < workArea.left) shift(workArea.left - outer.left, 0);
    if (outer.top < workArea.top) shift(0, workArea.top - outer.top);
    return true;
}
