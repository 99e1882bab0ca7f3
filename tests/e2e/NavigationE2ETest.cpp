// End-to-end scenarios of navigation and colour: the zoom by mouse and by
// F12, the context menu's Julia set, the start range, the precision
// fallbacks, the palette keys and the colour spread. Real input through the X
// server where the input path is what is tested; every resulting image is
// compared with the renderer's image of the view the program should show.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Harness.h"
#include "dialogs/NumberTextLogic.h"
#include "engine/FpEnvironment.h"
#include "resources/rcinc.h"

namespace e2e {
namespace {

constexpr int kWidth = 400, kHeight = 300;

// The plane point of column x and row y of the 400 x 300 image of a view, in
// 80-bit extended arithmetic with the rounding of the program's set-up:
// RealMin + (RealMax - RealMin) * x / (W - 1) and
// ImagMax - (ImagMax - ImagMin) * y / (H - 1).
long double ColumnReal(const RenderOptions& v, int x) {
    const FpEnvironmentGuard environment;
    const long double offset = (v.realMax - v.realMin) * static_cast<long double>(x) / (kWidth - 1);
    return v.realMin + offset;
}
long double RowImag(const RenderOptions& v, int y) {
    const FpEnvironmentGuard environment;
    const long double offset = (v.imagMax - v.imagMin) * static_cast<long double>(y) / (kHeight - 1);
    return v.imagMax - offset;
}

// The view a zoom into `rect` of the start view proposes: the range of the
// rectangle, and iterations raised from the lowest escape count in it.
RenderOptions ZoomProposal(const PixelRect& rect) {
    const RenderOptions start;
    RenderOptions view;
    view.realMin = ColumnReal(start, rect.left);
    view.realMax = ColumnReal(start, rect.right);
    view.imagMin = RowImag(start, rect.bottom);
    view.imagMax = RowImag(start, rect.top);
    const int lowest = EscapeCounts(start, rect).min;
    if (view.iterStart < lowest + view.iterInc) view.iterStart = (lowest / view.iterInc + 2) * view.iterInc;
    if (view.iterEnd < 2 * view.iterStart) view.iterEnd = (2 * view.iterStart / 256 + 1) * 256;
    return view;
}

struct RangeFields {
    std::string realMin, realMax, imagMin, imagMax, constReal, constImag, iterStart, iterInc, iterEnd;
    bool julia = false;
};

RangeFields ReadRangeFields(HWND range) {
    return RangeFields{ItemText(range, IDC_RANGE_REAL_MIN),   ItemText(range, IDC_RANGE_REAL_MAX),
                       ItemText(range, IDC_RANGE_IMAG_MIN),   ItemText(range, IDC_RANGE_IMAG_MAX),
                       ItemText(range, IDC_RANGE_CONST_REAL), ItemText(range, IDC_RANGE_CONST_IMAG),
                       ItemText(range, IDC_RANGE_ITER_START), ItemText(range, IDC_RANGE_ITER_INC),
                       ItemText(range, IDC_RANGE_ITER_END),   IsChecked(range, IDC_RANGE_JULIA)};
}

void ExpectFieldsShow(const RangeFields& fields, const RenderOptions& view) {
    EXPECT_EQ(fields.realMin, RangeFieldText(view.realMin));
    EXPECT_EQ(fields.realMax, RangeFieldText(view.realMax));
    EXPECT_EQ(fields.imagMin, RangeFieldText(view.imagMin));
    EXPECT_EQ(fields.imagMax, RangeFieldText(view.imagMax));
    EXPECT_EQ(fields.constReal, RangeFieldText(view.constReal));
    EXPECT_EQ(fields.constImag, RangeFieldText(view.constImag));
    EXPECT_EQ(fields.iterStart, std::to_string(view.iterStart));
    EXPECT_EQ(fields.iterInc, std::to_string(view.iterInc));
    EXPECT_EQ(fields.iterEnd, std::to_string(view.iterEnd));
    EXPECT_EQ(fields.julia, view.julia);
}

class Navigation : public ProgramScenario {
protected:
    // The Range dialog's fields, read and cancelled. The dialog is opened by
    // its command, or by typing F5 when `key` is set.
    RangeFields CurrentView(bool key = false) const {
        if (key) {
            Key("F5");
        } else {
            program.Command(CM_RANGE);
        }
        HWND range = program.Dialog("Range");
        if (!range) {
            ADD_FAILURE() << "no Range dialog";
            return {};
        }
        const RangeFields fields = ReadRangeFields(range);
        Press(range, IDCANCEL);
        EXPECT_TRUE(WaitClosed(range));
        return fields;
    }

    // The ready text of the calculation that just ended shows the escape
    // counts of the expected image, and the clipboard holds that image.
    void ExpectComputed(const std::string& done, const Rendered& expected) const {
        int min = 0, max = 0;
        ASSERT_TRUE(ReadyCounts(done, min, max)) << "status: \"" << done << "\"";
        EXPECT_EQ(min, expected.result.stats.min) << done;
        EXPECT_EQ(max, expected.result.stats.max) << done;
        EXPECT_EQ(ClipboardDiffers(program, expected.image), "");
    }
};

// A real drag with the left button proposes the dragged 4:3 range in the
// Range dialog, with iterations raised from the escape counts inside it; OK
// computes exactly that view.
TEST_F(Navigation, DragProposesTheRangeAndOkComputesIt) {
    const RECT view = ClientRectOnScreen(program.drawing());
    ASSERT_EQ(Width(view), kWidth);
    // Pressed at (100, 75), released over (259, 194): the selection is
    // (100, 75, 260, 195), already 4:3.
    ASSERT_TRUE(MouseTo(view.left + 100, view.top + 75));
    ASSERT_TRUE(Xdo("mousedown 1"));
    bool released = false;
    struct Release {
        bool& done;
        ~Release() {
            if (!done) Xdo("mouseup 1");
        }
    } release{released};
    ASSERT_TRUE(MouseTo(view.left + 180, view.top + 140));
    ASSERT_TRUE(MouseTo(view.left + 259, view.top + 194));
    ASSERT_TRUE(Xdo("mouseup 1"));
    released = true;

    HWND range = program.Dialog("Range");
    ASSERT_NE(range, nullptr) << "no Range dialog after the drag";
    const RenderOptions proposal = ZoomProposal(PixelRect{100, 75, 260, 195});
    ExpectFieldsShow(ReadRangeFields(range), proposal);
    EXPECT_EQ(program.Status(), ready);

    ASSERT_TRUE(Press(range, IDOK));
    ASSERT_TRUE(WaitClosed(range));
    const std::string done = program.WaitRecalculated();
    ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
    ExpectComputed(done, RenderView(proposal));
}

// F12, typed after the start image is done, zooms at once into a rectangle
// that holds the image's most detailed point; the Range dialog then shows a
// view that is a zoom into whole pixels of the start view.
TEST_F(Navigation, AutomaticZoomZoomsWithoutADialog) {
    ASSERT_TRUE(program.Activate());
    // The zoomed view may be as quick as the start view and show the same
    // ready text, over before the key's way back from xdotool ends.
    StatusWatch watch(program);
    ASSERT_TRUE(Key("F12"));
    const std::string done = program.WaitRecalculated(watch);
    ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
    EXPECT_EQ(program.Dialog("Range", 0), nullptr) << "the automatic zoom asked";

    ASSERT_TRUE(program.Foreground());
    const RangeFields fields = CurrentView(true);
    const RenderOptions start;
    PixelRect rect{-1, -1, -1, -1};
    for (int x = 0; x < kWidth; ++x) {
        const std::string text = RangeFieldText(ColumnReal(start, x));
        if (text == fields.realMin) rect.left = x;
        if (text == fields.realMax) rect.right = x;
    }
    for (int y = 0; y < kHeight; ++y) {
        const std::string text = RangeFieldText(RowImag(start, y));
        if (text == fields.imagMax) rect.top = y;
        if (text == fields.imagMin) rect.bottom = y;
    }
    ASSERT_TRUE(rect.left >= 0 && rect.right >= 0 && rect.top >= 0 && rect.bottom >= 0)
        << "not a zoom into pixels of the start view: " << fields.realMin << " " << fields.realMax << " "
        << fields.imagMin << " " << fields.imagMax;
    const int s = rect.right - rect.left;
    EXPECT_GE(s, kWidth / 4);
    EXPECT_LT(s, kWidth / 2);
    EXPECT_EQ(rect.bottom - rect.top, s * kHeight / kWidth);
    const IterationStatistics inside = EscapeCounts(start, rect);
    EXPECT_EQ(inside.max, StartView().max) << "the rectangle misses the most detailed point";
    EXPECT_LT(inside.min, (StartView().min + StartView().max) / 2);
    const int corners[] = {inside.topLeft, inside.topRight, inside.bottomLeft, inside.bottomRight};
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) EXPECT_NE(corners[i], corners[j]) << "corners " << i << " and " << j;

    const RenderOptions proposal = ZoomProposal(rect);
    ExpectFieldsShow(fields, proposal);
    ExpectComputed(done, RenderView(proposal));
}

// A real right click opens the context menu at an image pixel; its item
// "&Julia-Set With This Constant", chosen by J, shows the Julia set of that
// pixel's point in its start range, in FPU Single.
TEST_F(Navigation, ContextMenuJuliaSetOfTheClickedPoint) {
    const RECT view = ClientRectOnScreen(program.drawing());
    const int x = 166, y = 140;
    ASSERT_TRUE(program.Activate());
    ASSERT_TRUE(MouseTo(view.left + x, view.top + y));
    ASSERT_TRUE(Xdo("click 3"));
    ASSERT_NE(program.FindWindowOfProcess("#32768", [](const std::string&) { return true; }), nullptr)
        << "no context menu";
    ASSERT_TRUE(Key("j"));
    const std::string done = program.WaitRecalculated();
    ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
    EXPECT_EQ(program.Dialog("Start Range", 0), nullptr) << "the switch to the Julia set asked";

    const RenderOptions start;
    RenderOptions julia;
    julia.julia = true;
    julia.realMin = -1.5L;
    julia.realMax = 1.5L;
    julia.constReal = ColumnReal(start, x);
    julia.constImag = RowImag(start, y);
    julia.numericType = 1;
    EXPECT_EQ(CheckedNumericType(program), 1) << "FPU Single is not checked";
    ExpectFieldsShow(CurrentView(), julia);
    const Rendered expected = RenderView(julia);
    ASSERT_EQ(expected.result.numericType, NumericType::FpuSingle);
    ExpectComputed(done, expected);
}

// F4 asks before it returns to the start range; Cancel keeps the view. OK
// returns to it and to FPU Single, after FPU Extended was chosen.
TEST_F(Navigation, StartRangeAsksAndResetsTheNumericType) {
    EXPECT_EQ(CheckedNumericType(program), 1) << "FPU Single is not checked at start";
    program.Command(CM_WIDEN_100);
    const std::string widened = program.WaitRecalculated();
    ASSERT_FALSE(widened.empty());

    ASSERT_TRUE(program.Activate());
    {
        StatusWatch watch(program);
        ASSERT_TRUE(Key("F4"));
        HWND question = program.Dialog("Start Range");
        ASSERT_NE(question, nullptr) << "F4 did not ask";
        EXPECT_EQ(MessageText(question), "Select OK to go back to the Start Range!");
        EXPECT_EQ(GetWindow(question, GW_OWNER), program.main());
        EXPECT_EQ(DefaultButtonOf(question), IDOK);
        ASSERT_TRUE(Press(question, IDCANCEL));
        ASSERT_TRUE(WaitClosed(question));
        EXPECT_EQ(program.Status(), widened);
        EXPECT_FALSE(watch.SawCalculating()) << "Cancel started a calculation";
    }
    EXPECT_EQ(CurrentView().realMin, "-3.500000000000000000000");

    program.Command(CM_FPU_EXTENDED);
    ASSERT_FALSE(program.WaitRecalculated().empty());
    EXPECT_EQ(CheckedNumericType(program), 3) << "FPU Extended is not checked";

    ASSERT_TRUE(program.Foreground());
    ASSERT_TRUE(Key("F4"));
    HWND question = program.Dialog("Start Range");
    ASSERT_NE(question, nullptr) << "F4 did not ask";
    ASSERT_TRUE(Press(question, IDOK));
    const std::string done = program.WaitRecalculated();
    ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
    EXPECT_EQ(CheckedNumericType(program), 1) << "FPU Single is not checked after the start range";
    int min = 0, max = 0;
    ASSERT_TRUE(ReadyCounts(done, min, max)) << done;
    EXPECT_EQ(min, StartView().min);
    EXPECT_EQ(max, StartView().max);
    EXPECT_EQ(ClipboardDiffers(program, StartView().image), "");
}

// The palette keys, typed: F7 on palette 1 gives palette 11, F8 on palette
// 11 gives palette 1; Shift+F7 and Ctrl+F8 rotate the palette by 1 and by an
// eighth of its colours. Nothing is computed again.
TEST_F(Navigation, PaletteKeysRecolourWithoutComputing) {
    StatusWatch watch(program);
    ASSERT_TRUE(program.Activate());
    RenderOptions colours;
    colours.palette = 11;
    ASSERT_TRUE(Key("F7"));
    EXPECT_EQ(ClipboardDiffers(program, RenderView(colours).image), "") << "F7 on palette 1";
    ASSERT_TRUE(Key("F8"));
    EXPECT_EQ(ClipboardDiffers(program, StartView().image), "") << "F8 on palette 11";

    colours.palette = 1;
    colours.shift = 255;
    ASSERT_TRUE(Xdo("keydown shift key F7 keyup shift"));
    EXPECT_EQ(ClipboardDiffers(program, RenderView(colours).image), "") << "Shift+F7 at shift 0";
    colours.shift = (255 + 256 / 8) % 256;
    ASSERT_TRUE(Xdo("keydown ctrl key F8 keyup ctrl"));
    EXPECT_EQ(ClipboardDiffers(program, RenderView(colours).image), "") << "Ctrl+F8 at shift 255";
    EXPECT_EQ(program.Status(), ready);
    EXPECT_FALSE(watch.SawCalculating()) << "the image was computed again";
}

// Alt+3, typed, spreads each colour over 3 escape counts; Ctrl+1 fits the
// spread so that the palette spans the image's counts once.
TEST_F(Navigation, ColourSpreadKeys) {
    ASSERT_TRUE(program.Activate());
    RenderOptions view;
    view.iterationsPerColour = 3;
    {
        StatusWatch watch(program);
        ASSERT_TRUE(Xdo("keydown alt key 3 keyup alt"));
        EXPECT_EQ(ClipboardDiffers(program, RenderView(view).image), "") << "Alt+3";
        EXPECT_FALSE(watch.SawCalculating()) << "Alt+3 computed the image again";
    }

    // Counts that span over two palettes (1 to 517), for the fit to have
    // something to do: the same spread of 2 as any end up to 768 gives,
    // with the fewest iterations for the program and the renderer to spend
    // on the pixels inside the set, which under the 32-bit emulation cost
    // most of the scenario's time.
    std::string done;
    {
        // (The watch sees a calculation when there is one.)
        StatusWatch watch(program);
        program.Command(CM_RANGE);
        HWND range = program.Dialog("Range");
        ASSERT_NE(range, nullptr);
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_END, "520"));
        ASSERT_TRUE(Press(range, IDOK));
        ASSERT_TRUE(WaitClosed(range));
        done = program.WaitRecalculated();
        ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
        EXPECT_TRUE(watch.SawCalculating());
    }
    view.iterEnd = 520;
    const Rendered deeper = RenderView(view);
    ExpectComputed(done, deeper);

    const int fitted = std::max(1, (deeper.result.stats.max - deeper.result.stats.min) / 256 / 1);
    ASSERT_NE(fitted, 3) << "the fit would change nothing here";
    view.iterationsPerColour = fitted;
    ASSERT_TRUE(program.Foreground());
    StatusWatch watch(program);
    ASSERT_TRUE(Xdo("keydown ctrl key 1 keyup ctrl"));
    EXPECT_EQ(ClipboardDiffers(program, RenderView(view).image), "") << "Ctrl+1 should spread by " << fitted;
    EXPECT_EQ(program.Status(), done);
    EXPECT_FALSE(watch.SawCalculating()) << "Ctrl+1 computed the image again";
}

// Below the spacing of FPU Double the program changes to FPU Extended
// without asking; below that of FPU Extended it says so and goes on.
TEST_F(Navigation, DeepZoomsChangeToFpuExtendedAndWarnBeyondIt) {
    const char kExtendedText[] =
        "The precision of the numeric type FPU Extended is insufficient for the selected range.\n"
        "(Image may contain large blocks or even a single colour due to rounding errors!)";
    auto precisionBox = [&] { return program.Dialog("Numeric Precision", 0); };

    // 1e-16 wide around -0.7436438870371510 + 0.1318259042053300i: a pixel
    // step of 2.5e-19, far below the spacing of doubles there (1.1e-16),
    // above that of extended values (5.4e-20).
    program.Command(CM_RANGE);
    HWND range = program.Dialog("Range");
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, "-0.74364388703715110"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "-0.74364388703715100"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "0.131825904205330000"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "0.131825904205330075"));
    // Every pixel of both views is inside the set, so each costs the last
    // escape count in full; FPU Extended is the slowest type under the
    // 32-bit emulation. At 32 the image is the same single colour as at 256.
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_START, "16"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_INC, "16"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_END, "32"));
    ASSERT_TRUE(Press(range, IDOK));
    ASSERT_TRUE(WaitClosed(range));
    bool asked = false;
    const std::string done = program.WaitRecalculated(kDeadlineMs, [&] { return asked = precisionBox() != nullptr; });
    ASSERT_FALSE(asked) << "asked: " << MessageText(precisionBox());
    ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
    EXPECT_EQ(CheckedNumericType(program), 3) << "FPU Extended is not checked";
    RenderOptions deep;
    deep.realMin = -0.74364388703715110L;
    deep.realMax = -0.74364388703715100L;
    deep.imagMin = 0.131825904205330000L;
    deep.imagMax = 0.131825904205330075L;
    deep.iterStart = 16;
    deep.iterInc = 16;
    deep.iterEnd = 32;
    const Rendered expected = RenderView(deep);
    ASSERT_EQ(expected.result.numericType, NumericType::FpuExtended);
    ASSERT_EQ(expected.result.notes, "");
    ExpectComputed(done, expected);

    // 1e-21 wide: neighbouring pixels are equal even in FPU Extended.
    program.Command(CM_RANGE);
    range = program.Dialog("Range");
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, "-0.743643887037151000000"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "-0.743643887037150999999"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "0.1318259042053300000000"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "0.1318259042053300000075"));
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_END), "32") << "the view's iterations were not kept";
    ASSERT_TRUE(Press(range, IDOK));
    ASSERT_TRUE(WaitClosed(range));
    HWND box = program.Dialog("Numeric Precision");
    ASSERT_NE(box, nullptr) << "no precision message; status: " << program.Status();
    EXPECT_EQ(MessageText(box), kExtendedText);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the message has an owner";
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "more than an OK button";
    ASSERT_TRUE(Press(box, IDOK));
    ASSERT_TRUE(WaitClosed(box));
    EXPECT_FALSE(program.WaitRecalculated().empty()) << "the calculation did not go on; status: "
                                                     << program.Status();
    EXPECT_EQ(program.Dialog("Numeric Precision", 0), nullptr) << "asked twice";
    EXPECT_EQ(CheckedNumericType(program), 3) << "FPU Extended is not checked";
}

}  // namespace
}  // namespace e2e
