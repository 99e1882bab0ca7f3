// The program window's arithmetic: what the status bar says when a
// calculation ends, where quaxel.ini is looked for, how far the image
// scrolls, which rectangle a drag selects and where the sized window lands.
#include <gtest/gtest.h>

#include <new>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "shell/CallbackGuard.h"
#include "shell/PomeWinLogic.h"

namespace {

TEST(ReadyStatus, SecondsRoundHalfUpToTwoDecimals) {
    EXPECT_EQ(ReadyStatusText(1000, 4456, 3, 256), "Ready (Time: 3.46 Sec., Iterations: Min.: 3, Max.: 256)");
    EXPECT_EQ(ReadyStatusText(0, 4, 1, 2), "Ready (Time: 0.00 Sec., Iterations: Min.: 1, Max.: 2)");
    EXPECT_EQ(ReadyStatusText(0, 5, 1, 2), "Ready (Time: 0.01 Sec., Iterations: Min.: 1, Max.: 2)");
    EXPECT_EQ(ReadyStatusText(0, 60995, 1, 2), "Ready (Time: 61.00 Sec., Iterations: Min.: 1, Max.: 2)");
    // The largest span the tick count can give does not overflow the rounding.
    EXPECT_EQ(ReadyStatusText(0, 0xFFFFFFFFu, 0, 70000),
              "Ready (Time: 4294967.30 Sec., Iterations: Min.: 0, Max.: 70000)");
}

TEST(ReadyStatus, NoTimeWhenTheTickHasNotAdvancedOrWrapped) {
    EXPECT_EQ(ReadyStatusText(500, 500, 1, 255), "Ready (Iterations: Min.: 1, Max.: 255)");
    EXPECT_EQ(ReadyStatusText(0xFFFFFF00u, 0x10, 1, 255), "Ready (Iterations: Min.: 1, Max.: 255)");
}

TEST(ModulePath, SplitsAtTheLastDotAndTheSeparatorBeforeIt) {
    PathParts p = SplitPath("C:\\Program Files\\Quaxel 1.0\\quaxel.exe");
    EXPECT_EQ(p.directory, "C:\\Program Files\\Quaxel 1.0\\");
    EXPECT_EQ(p.name, "quaxel");
    EXPECT_EQ(p.extension, "exe");

    p = SplitPath("D:quaxel.exe");  // a drive-relative path ends its directory at the colon
    EXPECT_EQ(p.directory, "D:");
    EXPECT_EQ(p.name, "quaxel");

    p = SplitPath("quaxel.exe");  // no separator: the cut path is the directory
    EXPECT_EQ(p.directory, "quaxel");
    EXPECT_EQ(p.name, "");

    p = SplitPath("C:\\tools\\quaxel");  // no dot: the whole path
    EXPECT_EQ(p.directory, "C:\\tools\\quaxel");
    EXPECT_EQ(p.name, "");
    EXPECT_EQ(p.extension, "");
}

TEST(ScrollBars, AnImageThatFitsInsideTheBorderHasNone) {
    const ScrollLayout layout = LayOutScrollBars(402, 302, 400, 300, 400, 300, 70, 30);
    EXPECT_FALSE(layout.x.shown);
    EXPECT_FALSE(layout.y.shown);
    EXPECT_EQ(layout.x.pos, 0);
    EXPECT_EQ(layout.y.max, 0);
}

TEST(ScrollBars, OnlyTheDirectionThatDoesNotFitScrolls) {
    // 300 wide, tall enough: the horizontal bar takes 17 pixels of the height.
    const ScrollLayout layout = LayOutScrollBars(300, 340, 298, 321, 400, 300, 500, 9);
    EXPECT_TRUE(layout.x.shown);
    EXPECT_EQ(layout.x.page, 298);
    EXPECT_EQ(layout.x.rangeMax, 399);
    EXPECT_EQ(layout.x.max, 102);
    EXPECT_EQ(layout.x.pos, 102);  // an old position beyond the new end is pulled back
    EXPECT_FALSE(layout.y.shown);
    EXPECT_EQ(layout.y.pos, 0);
}

TEST(ScrollBars, DoubleSizeScrollsTheDisplayedPixels) {
    const ScrollLayout layout = LayOutScrollBars(402, 302, 383, 283, 800, 600, 0, 0);
    EXPECT_EQ(layout.x.rangeMax, 799);
    EXPECT_EQ(layout.y.max, 317);
}

TEST(ScrollSteps, LinesPagesAndThumbStayWithinRange) {
    EXPECT_EQ(ScrolledPosition(kScrollLineDown, 0, 10, 100), 11);
    EXPECT_EQ(ScrolledPosition(kScrollLineUp, 0, 0, 100), 0);
    EXPECT_EQ(ScrolledPosition(kScrollPageDown, 0, 10, 100), 60);
    EXPECT_EQ(ScrolledPosition(kScrollPageDown, 0, 80, 100), 100);
    EXPECT_EQ(ScrolledPosition(kScrollPageUp, 0, 30, 100), 0);
    EXPECT_EQ(ScrolledPosition(kScrollThumbTrack, 500, 3, 102), 102);
    EXPECT_EQ(ScrolledPosition(kScrollThumbPosition, 40, 3, 102), 40);
    EXPECT_EQ(ScrolledPosition(8 /* end of scroll */, 40, 3, 102), 3);
}

TEST(ZoomSelection, KeepsTheLargestFourToThreeRectangleFromThePressPoint) {
    IntRect s{10, 10, 11, 11};
    DragSelection(s, 110, 40);  // the height 31 limits the width to 41
    EXPECT_EQ(s, (IntRect{10, 10, 51, 41}));
    DragSelection(s, 50, 200);  // the width 41 limits the height to 30
    EXPECT_EQ(s, (IntRect{10, 10, 51, 40}));
}

TEST(ZoomSelection, DraggingAboveOrLeftOfThePressPointLeavesItEmpty) {
    IntRect s{10, 10, 11, 11};
    DragSelection(s, 5, 5);
    EXPECT_EQ(s, (IntRect{10, 10, 10, 10}));
    DragSelection(s, 60, 2);
    EXPECT_EQ(s.top, s.bottom);
}

TEST(ZoomSelection, DoubleSizeHalvesTheSelection) {
    EXPECT_EQ(SelectionInImagePixels(IntRect{21, 11, 101, 71}, 2), (IntRect{10, 5, 50, 35}));
    EXPECT_EQ(SelectionInImagePixels(IntRect{21, 11, 101, 71}, 1), (IntRect{21, 11, 101, 71}));
}

TEST(ComputedRows, OneRowAndALineOrFourRowsWhileClearingAhead) {
    EXPECT_EQ(ComputedRowRect(5, 400, 1, 0, false), (IntRect{0, 5, 400, 7}));
    EXPECT_EQ(ComputedRowRect(5, 400, 1, 0, true), (IntRect{0, 5, 400, 9}));
    EXPECT_EQ(ComputedRowRect(6, 400, 2, 10, false), (IntRect{0, 2, 800, 5}));
    // A row scrolled out of view lies outside the client area.
    EXPECT_LT(ComputedRowRect(3, 400, 1, 100, false).bottom, 0);
}

// Rows of the four sweeps, some of them left out as a row that kept its
// colours is, come back as bands that cover exactly the lines their rows'
// rectangles cover, top to bottom, one band per run of marked rows.
TEST(ComputedRows, MarkedRowsComeBackAsTheFewestBandsCoveringTheirRectangles) {
    std::mt19937 random(7);
    for (int32_t scale : {1, 2}) {
        for (int round = 0; round < 40; ++round) {
            const int32_t height = 5 + static_cast<int32_t>(random() % 60);
            const int32_t scrollY = static_cast<int32_t>(random() % 7);
            ChangedRows rows;
            std::vector<bool> marked(static_cast<size_t>(height) + 3, false);
            std::set<int32_t> expected;  // the lines the rows' own rectangles cover
            for (int32_t sweep = 0; sweep < 4; ++sweep) {
                for (int32_t row = sweep; row < height; row += 4) {
                    if (random() % 3 == 0) continue;
                    const bool ahead = sweep == 0 && round % 2 == 0;
                    rows.Mark(row, ahead);
                    for (int32_t r = row; r <= row + (ahead ? 3 : 0); ++r) {
                        marked[static_cast<size_t>(r)] = true;
                        const IntRect own = ComputedRowRect(r, 9, scale, scrollY, false);
                        for (int32_t y = own.top; y < own.bottom; ++y) expected.insert(y);
                    }
                }
            }
            int runs = 0;
            for (size_t r = 0; r < marked.size(); ++r) runs += marked[r] && (r == 0 || !marked[r - 1]) ? 1 : 0;
            ASSERT_EQ(rows.Pending(), runs > 0);

            const std::vector<IntRect> bands = rows.Take(9, scale, scrollY);
            std::set<int32_t> covered;
            for (size_t i = 0; i < bands.size(); ++i) {
                EXPECT_EQ(bands[i].left, 0);
                EXPECT_EQ(bands[i].right, 9 * scale);
                if (i > 0) {
                    EXPECT_GT(bands[i].top, bands[i - 1].top);
                }
                for (int32_t y = bands[i].top; y < bands[i].bottom; ++y) covered.insert(y);
            }
            EXPECT_EQ(covered, expected) << "scale " << scale << " round " << round;
            EXPECT_EQ(static_cast<int>(bands.size()), runs) << "scale " << scale << " round " << round;
            EXPECT_FALSE(rows.Pending());
            EXPECT_TRUE(rows.Take(9, scale, scrollY).empty()) << "the marks were not cleared";
        }
    }
    ChangedRows none;
    none.Mark(-1, true);  // no row above the image
    EXPECT_FALSE(none.Pending());
}

TEST(WindowPlacement, MovesIntoTheWorkAreaRightBottomLeftTop) {
    const IntRect work{0, 0, 1024, 738};
    IntRect outer{900, 600, 1318, 1000};  // 418 x 400, sticking out right and below
    ASSERT_TRUE(FitIntoWorkArea(outer, work));
    EXPECT_EQ(outer, (IntRect{606, 338, 1024, 738}));
    outer = IntRect{-50, -20, 368, 380};
    ASSERT_TRUE(FitIntoWorkArea(outer, work));
    EXPECT_EQ(outer, (IntRect{0, 0, 418, 400}));
    outer = IntRect{0, 0, 1100, 400};  // too wide: left as it is, the caller maximises
    EXPECT_FALSE(FitIntoWorkArea(outer, work));
    EXPECT_EQ(outer, (IntRect{0, 0, 1100, 400}));
}

// Whatever a callback's body throws ends in the fallback's answer, inside
// the guard; a body that returns is answered as it is.
TEST(CallbackGuard, AnExceptionEndsInTheFallbackInsideTheGuard) {
    int fallbacks = 0;
    const auto fallback = [&] {
        ++fallbacks;
        return -1;
    };
    EXPECT_EQ(GuardedCallback([] { return 7; }, fallback), 7);
    EXPECT_EQ(GuardedCallback([]() -> int { throw std::bad_alloc(); }, fallback), -1);
    EXPECT_EQ(GuardedCallback([]() -> int { throw std::length_error("section buffer"); }, fallback), -1);
    EXPECT_EQ(fallbacks, 2);
    static_assert(noexcept(GuardedCallback([] { return 0; }, [] { return 0; })));
}

}  // namespace
