// The arithmetic of the program window that needs no window: the ready text,
// the module path split, scroll ranges and steps, the 4:3 zoom selection and
// the placement of the sized window in the work area. Portable, so that it
// is tested natively; the Win32 side only moves values in and out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IntRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const IntRect&) const = default;
};

// "Ready (Time: 3.46 Sec., Iterations: Min.: 3, Max.: 256)". The time part
// is left out when the tick count has not advanced (or has wrapped) since
// the calculation started. Seconds are rounded half up to two decimals in
// integer arithmetic, so the text never depends on the locale.
std::string ReadyStatusText(uint32_t startTick, uint32_t nowTick, int32_t minimum, int32_t maximum);

struct PathParts {
    std::string directory;  // with its closing "\" or ":"
    std::string name;
    std::string extension;  // without the "."
};

// Splits a module path at its last "." and the last "\" or ":" before it.
// Without a "." the whole path counts as the directory.
PathParts SplitPath(const std::string& path);

// Scroll requests, numbered as the window system numbers them.
enum ScrollRequest : int32_t {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
};

// One direction of the drawing window's scrolling.
struct ScrollAxis {
    int32_t pos = 0;    // displayed-image pixel at the client's edge
    int32_t max = 0;    // largest position; 0 when this direction does not scroll
    bool shown = false; // scroll bar range 0 .. displayed - 1 with this page; else 0 .. 0 (hidden)
    int32_t rangeMax = 0;
    int32_t page = 0;
};

struct ScrollLayout {
    ScrollAxis x;
    ScrollAxis y;
};

// The scroll state for a drawing window of the given outer and client size
// showing an image of displayed size dw x dh, keeping the old positions where
// they still fit. An image that fits inside the 1-pixel border needs no bars.
ScrollLayout LayOutScrollBars(int32_t windowWidth, int32_t windowHeight, int32_t clientWidth, int32_t clientHeight,
                              int32_t displayedWidth, int32_t displayedHeight, int32_t oldX, int32_t oldY);

// The position a scroll request leads to, clamped to 0 .. max. Unknown
// requests keep the position.
int32_t ScrolledPosition(int32_t request, uint32_t thumb, int32_t old, int32_t max);

// One drag step of the zoom selection: the dragged corner moves to (x, y),
// the rectangle shrinks to the largest 4:3 one that keeps the press point as
// its top-left corner, and a drag above or left of that point leaves an
// empty selection there.
void DragSelection(IntRect& selection, int32_t x, int32_t y);

// The selection in image pixels at the given display scale (truncating).
IntRect SelectionInImagePixels(const IntRect& selection, int32_t displayScale);

// The rectangle of the drawing window to repaint after `row` was computed:
// the row itself and one line below, or four rows while the first sweep
// blanks the rows ahead.
IntRect ComputedRowRect(int32_t row, int32_t imageWidth, int32_t displayScale, int32_t scrollY, bool clearAhead);

// The image rows computed since the drawing window was last told, one mark
// per row: the rows of several sweeps (every fourth row, in four rounds)
// come back as the fewest bands, top to bottom, each the union of its rows'
// ComputedRowRect.
class ChangedRows {
public:
    // Marks `row` (>= 0), and the three rows below while the first sweep
    // blanks them.
    void Mark(int32_t row, bool clearAhead);
    bool Pending() const { return first_ <= last_; }
    // The bands of the marked rows, for the window as it is scrolled now;
    // the marks are cleared.
    std::vector<IntRect> Take(int32_t imageWidth, int32_t displayScale, int32_t scrollY);

private:
    std::vector<bool> marked_;
    int32_t first_ = INT32_MAX;  // the marked rows lie within first_ .. last_
    int32_t last_ = -1;
};

// The main window's outer rectangle moved into the work area: right edge,
// then bottom, then left, then top. Returns false (rectangle unchanged) when
// it is wider or higher than the work area.
bool FitIntoWorkArea(IntRect& outer, const IntRect& workArea);
