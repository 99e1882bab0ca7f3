// End-to-end scenarios at the edges of what the program can do: image sizes
// that change while the window cannot, a zoom that runs out of memory, and
// views at the top of the extended range.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Harness.h"
#include "dialogs/NumberTextLogic.h"
#include "engine/FpEnvironment.h"
#include "resources/rcinc.h"

namespace e2e {
namespace {

class Robustness : public ProgramScenario {
protected:
    // Display, Free width x height, OK, and OK to the question for an image
    // larger than the screen when it comes.
    void SetFreeSize(int width, int height) const {
        program.Command(CM_DISPLAY);
        HWND display = program.Dialog("Display");
        ASSERT_NE(display, nullptr) << "no Display dialog";
        ASSERT_TRUE(Press(display, IDC_DISPLAY_SIZE_FREE));
        ASSERT_TRUE(TypeInto(display, IDC_DISPLAY_FREE_WIDTH, std::to_string(width)));
        ASSERT_TRUE(TypeInto(display, IDC_DISPLAY_FREE_HEIGHT, std::to_string(height)));
        PressLater(display, IDOK);
        if (HWND attention = program.Dialog("Attention", 3000)) {
            ASSERT_TRUE(Press(attention, IDOK));
        }
        ASSERT_TRUE(WaitClosed(display)) << "the Display dialog stayed open";
    }

    void SetPresetSize(int choice) const {
        program.Command(CM_DISPLAY);
        HWND display = program.Dialog("Display");
        ASSERT_NE(display, nullptr) << "no Display dialog";
        ASSERT_TRUE(Press(display, IDC_DISPLAY_SIZE_1 + choice - 1));
        ASSERT_TRUE(Press(display, IDOK));
        ASSERT_TRUE(WaitClosed(display)) << "the Display dialog stayed open";
    }

    // The scroll bars describe an image of width x height in the client area
    // shown, and the client area shows the renderer's image of the start
    // view at that size from the scroll position on.
    void ExpectShowsStartViewAt(int width, int height, const char* name) const {
        SCOPED_TRACE(name);
        ASSERT_FALSE(program.WaitReady().empty()) << "status: " << program.Status();
        HWND drawing = program.drawing();
        const RECT view = ClientRectOnScreen(drawing);
        SCROLLINFO h{}, v{};
        ASSERT_TRUE(RemoteScrollInfo(program, drawing, SB_HORZ, h));
        ASSERT_TRUE(RemoteScrollInfo(program, drawing, SB_VERT, v));
        const bool scrolls = width > Width(view) || height > Height(view);
        if (scrolls) {
            EXPECT_EQ(h.nMax, width - 1);
            EXPECT_EQ(v.nMax, height - 1);
            EXPECT_EQ(h.nPage, static_cast<UINT>(Width(view)));
            EXPECT_EQ(v.nPage, static_cast<UINT>(Height(view)));
            EXPECT_LE(h.nPos, width - Width(view));
            EXPECT_LE(v.nPos, height - Height(view));
        } else {
            EXPECT_EQ(h.nMax, 0) << "a horizontal bar beside an image that fits";
            EXPECT_EQ(v.nMax, 0) << "a vertical bar beside an image that fits";
        }
        const int x0 = scrolls ? h.nPos : 0, y0 = scrolls ? v.nPos : 0;
        RenderOptions options;
        options.width = width;
        options.height = height;
        options.numericType = 0;  // CPU Fixed, as UseCheapestType set it
        const Bmp expected = RenderView(options).image;
        std::string why;
        const bool same = WaitUntil(
            [&] {
                Capture capture;
                if (!CaptureScreen(view, capture)) return false;
                int wrong = 0;
                for (int y = 0; y < capture.height; ++y)
                    for (int x = 0; x < capture.width; ++x) {
                        const bool inside = x + x0 < width && y + y0 < height;
                        const uint32_t want = inside ? expected.Colour(x + x0, y + y0) : 0xFFFFFFu;
                        if (capture.At(view.left + x, view.top + y) != want && wrong++ == 0)
                            why = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
                    }
                if (wrong) why = std::to_string(wrong) + " pixels differ, " + why;
                return wrong == 0;
            },
            10000);
        if (!same) Screenshot(std::string("robustness-") + name);
        EXPECT_TRUE(same) << why << " (scrolled to " << x0 << ", " << y0 << ")";
    }

    // The large images here cost the program and the renderer each a full
    // calculation per size; under the 32-bit emulation the floating-point
    // kernels take several times longer a pixel than the integer one. What
    // is proved (bars and picture at each size) does not depend on the type.
    void UseCheapestType() const {
        StatusWatch watch(program);
        program.Command(CM_CPU_FIXED);
        ASSERT_FALSE(program.WaitRecalculated(watch).empty()) << "status: " << program.Status();
        ASSERT_EQ(CheckedNumericType(program), 0) << "CPU Fixed is not checked";
    }
};

// Sizes that do not fit the work area keep the window maximised, so it gets
// no new size; the drawing window must follow the image all the same.
TEST_F(Robustness, ScrollBarsAndPictureFollowSizeChangesOfAMaximisedWindow) {
    ASSERT_NO_FATAL_FAILURE(UseCheapestType());
    ASSERT_NO_FATAL_FAILURE(SetFreeSize(1300, 975));
    ASSERT_TRUE(WaitUntil([&] { return IsZoomed(program.main()) != FALSE; })) << "not maximised for 1300 x 975";
    ASSERT_NO_FATAL_FAILURE(ExpectShowsStartViewAt(1300, 975, "1300x975"));
    // Scrolled to the far corner: the smaller image has to clamp it.
    PostMessageA(program.drawing(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 1300), 0);
    PostMessageA(program.drawing(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 975), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectShowsStartViewAt(1300, 975, "1300x975-scrolled"));

    const RECT before = WindowRectOf(program.main());
    {
        StatusWatch watch(program);  // the start view again: its ready text may repeat
        ASSERT_NO_FATAL_FAILURE(SetPresetSize(7));  // 1024 x 768: still too large
        ASSERT_FALSE(program.WaitRecalculated(watch).empty()) << "status: " << program.Status();
    }
    EXPECT_TRUE(IsZoomed(program.main()));
    const RECT after = WindowRectOf(program.main());
    EXPECT_TRUE(EqualRect(&before, &after)) << "the window changed its size";
    ASSERT_NO_FATAL_FAILURE(ExpectShowsStartViewAt(1024, 768, "1024x768"));

    ASSERT_NO_FATAL_FAILURE(SetPresetSize(3));  // 400 x 300 fits: the window is restored
    ASSERT_TRUE(WaitUntil([&] { return !IsZoomed(program.main()); })) << "still maximised for 400 x 300";
    ASSERT_NO_FATAL_FAILURE(ExpectShowsStartViewAt(400, 300, "400x300"));
}

// Takes away the room for the program's next large allocation, leaving some
// for its small ones, and gives it back when it goes. Wine maps memory into
// areas it reserved at start (about 4 GB of the 64-bit address space) before
// it asks Linux for more: a 64-bit program's Linux process is capped at the
// address space it uses now and 64 MB more, then what is left of Wine's
// areas is reserved from outside in blocks of 16 MB and more.
class AddressSpaceFiller {
public:
    explicit AddressSpaceFiller(const Program& program) {
        // A 32-bit program has only its own 2 GB or 4 GB: reserving it all
        // from outside is quick, and its emulator is better left alone.
        const std::string folder = program.folder().substr(program.folder().find_last_of('\\') + 1);
        capped_ = sizeof(void*) == 4 || RunUnix("pid=$(pgrep -f '" + folder + ".quaxel.exe' | head -n 1) && [ x$pid != x ] && "
                          "kb=$(awk '/^VmSize/ {print $2}' /proc/$pid/status) && "
                          "prlimit --pid $pid --as=$(( (kb + 64 * 1024) * 1024 ))");
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION, FALSE, program.id());
        if (!capped_ || !process_) return;
        for (SIZE_T size = SIZE_T{1} << (sizeof(void*) == 8 ? 32 : 31); size >= (SIZE_T{16} << 20); size /= 2)
            while (void* block = VirtualAllocEx(process_, nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
                blocks_.push_back(block);
        for (int i = 0; i < 4 && blocks_.size() > 1; ++i) {
            VirtualFreeEx(process_, blocks_.back(), 0, MEM_RELEASE);
            blocks_.pop_back();
        }
    }
    ~AddressSpaceFiller() {
        for (void* block : blocks_) VirtualFreeEx(process_, block, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    AddressSpaceFiller(const AddressSpaceFiller&) = delete;
    AddressSpaceFiller& operator=(const AddressSpaceFiller&) = delete;
    bool filled() const { return capped_ && !blocks_.empty(); }

private:
    bool capped_ = false;
    HANDLE process_ = nullptr;
    std::vector<void*> blocks_;
};

// A zoom dragged while a calculation runs, confirmed, and then refused its
// buffers, leaves the out-of-memory text in the status bar: the paused
// calculation is not taken up again and no Ready text follows.
TEST_F(Robustness, ZoomThatRunsOutOfMemoryKeepsSayingSo) {
    if (sizeof(void*) == 4) {
        GTEST_SKIP() << "a 32-bit program cannot hold this scenario's FPU Single buffers in the first place";
    }
    // FPU Single buffers of 4095 x 3071 take about 160 MB, FPU Double ones
    // about 310 MB: once the Single ones are all the room there is, the
    // switch to FPU Double cannot get its buffers. A high iteration end
    // keeps the calculation going for as long as the scenario needs.
    program.Command(CM_RANGE);
    HWND start = program.Dialog("Range");
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(TypeInto(start, IDC_RANGE_ITER_END, "50000"));
    ASSERT_TRUE(Press(start, IDOK));
    ASSERT_TRUE(WaitClosed(start));
    ASSERT_NO_FATAL_FAILURE(SetFreeSize(4095, 3071));
    ASSERT_TRUE(WaitUntil([&] { return program.Status() == "Calculating ..."; })) << "status: " << program.Status();
    AddressSpaceFiller filler(program);
    ASSERT_TRUE(filler.filled()) << "could not take the program's address space";
    ASSERT_EQ(program.Status(), "Calculating ...") << "the calculation ended too soon for this scenario";

    const RECT view = ClientRectOnScreen(program.drawing());
    ASSERT_TRUE(MouseTo(view.left + 100, view.top + 75));
    ASSERT_TRUE(Xdo("mousedown 1"));
    ASSERT_TRUE(MouseTo(view.left + 180, view.top + 140));
    ASSERT_TRUE(MouseTo(view.left + 259, view.top + 194));
    ASSERT_TRUE(Xdo("mouseup 1"));
    HWND range = program.Dialog("Range");
    ASSERT_NE(range, nullptr) << "no Range dialog after the drag";
    // Far too fine for FPU Single: the set-up goes on in FPU Double.
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, "-0.75"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "-0.749999"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "0.1"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "0.10000075"));
    PressLater(range, IDOK);
    HWND error = program.Dialog("Error");
    ASSERT_NE(error, nullptr) << "no out-of-memory message; status: " << program.Status();
    EXPECT_NE(MessageText(error).find("4095 x 3071 pixels in FPU Double"), std::string::npos) << MessageText(error);
    ASSERT_TRUE(Press(error, IDOK));
    ASSERT_TRUE(WaitClosed(range));

    const std::string failed = "The image could not be calculated: not enough memory";
    // The fault showed on the very next idle turn; two seconds cover many.
    std::string shown;
    EXPECT_FALSE(WaitUntil(
        [&] {
            shown = program.Status();
            return shown != failed;
        },
        2000))
        << "status became \"" << shown << "\"";
}

// Widening a view near the top of the extended range until the next step
// would leave it: that step beeps and changes nothing, and the Range dialog
// confirms the view it shows.
TEST_F(Robustness, WideningBeyondTheExtendedRangeChangesNothing) {
    // FPU Single and Double cannot hold such values, and even FPU Extended
    // cannot tell the pixels apart once a width times 399 overflows: each
    // set-up ends in FPU Extended with its warning, then computes.
    const auto recalculatedAfter = [&](const std::function<void()>& action) {
        StatusWatch watch(program);
        action();
        HWND warning = program.Dialog("Numeric Precision");
        if (!warning || !Press(warning, IDOK)) return false;
        return WaitUntil([&] { return watch.SawCalculating() && program.Status().rfind("Ready (", 0) == 0; });
    };
    ASSERT_TRUE(recalculatedAfter([&] {
        program.Command(CM_RANGE);
        HWND range = program.Dialog("Range");
        ASSERT_NE(range, nullptr);
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, "1e4931"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "4e4931"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "-2e4931"));
        ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "1e4931"));
        ASSERT_TRUE(Press(range, IDOK));
        ASSERT_TRUE(WaitClosed(range)) << "the typed view was refused";
    })) << "status: " << program.Status();

    long double realMin = ReadNumber("1e4931").value, realMax = ReadNumber("4e4931").value;
    long double imagMin = ReadNumber("-2e4931").value, imagMax = ReadNumber("1e4931").value;
    for (int step = 0; step < 2; ++step) {  // 3e4931 wide, then 6e4931: both fit
        {
            const FpEnvironmentGuard exact;
            const long double w = realMax - realMin, h = imagMax - imagMin;
            realMin -= w * 0.5L;
            realMax += w * 0.5L;
            imagMin -= h * 0.5L;
            imagMax += h * 0.5L;
        }
        ASSERT_TRUE(recalculatedAfter([&] { program.Command(CM_WIDEN_100); })) << "step " << step;
    }
    const std::string ready = program.Status();
    program.Command(CM_WIDEN_100);  // 1.2e4932 wide: beyond the largest value
    program.Command(CM_RANGE);
    HWND range = program.Dialog("Range");
    ASSERT_NE(range, nullptr) << "no Range dialog; a warning instead: "
                              << (program.Dialog("Numeric Precision", 0) != nullptr);
    EXPECT_EQ(ItemText(range, IDC_RANGE_REAL_MIN), RangeFieldText(realMin));
    EXPECT_EQ(ItemText(range, IDC_RANGE_REAL_MAX), RangeFieldText(realMax));
    EXPECT_EQ(ItemText(range, IDC_RANGE_IMAG_MIN), RangeFieldText(imagMin));
    EXPECT_EQ(ItemText(range, IDC_RANGE_IMAG_MAX), RangeFieldText(imagMax));
    EXPECT_EQ(program.Status(), ready) << "the refused widening started a calculation";
    ASSERT_TRUE(Press(range, IDOK));
    EXPECT_TRUE(WaitClosed(range)) << "OK refused the view the dialog showed";
    if (HWND warning = program.Dialog("Numeric Precision")) {
        Press(warning, IDOK);
    }
}

}  // namespace
}  // namespace e2e
