// End-to-end scenarios: each starts the real quaxel.exe and checks what the
// user gets: the status text, the picture on the screen, the clipboard and
// the exported file, the window layout, the toolbar and its tips, full
// screen, scrolling, the rubber band and closing.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>

#include "Harness.h"
#include "resources/rcinc.h"

namespace e2e {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// Compares the screen inside `area` with `expected`, a colour for each
// position relative to the area's top-left corner, until they agree or the
// deadline passes (painting runs in the program's own time). Returns an
// empty string on agreement, else what differed.
std::string ScreenDiffers(const RECT& area, const std::function<uint32_t(int, int)>& expected,
                          DWORD ms = 10000) {
    std::string why;
    WaitUntil(
        [&] {
            Capture capture;
            if (!CaptureScreen(area, capture)) {
                why = "no screen capture";
                return false;
            }
            int wrong = 0;
            char first[96] = {};
            for (int y = 0; y < capture.height; ++y)
                for (int x = 0; x < capture.width; ++x) {
                    const uint32_t got = capture.At(area.left + x, area.top + y);
                    const uint32_t want = expected(x, y);
                    if (got != want && wrong++ == 0)
                        std::snprintf(first, sizeof first, "first at (%d, %d): %06X instead of %06X", x, y,
                                      static_cast<unsigned>(got), static_cast<unsigned>(want));
                }
            why = wrong ? std::to_string(wrong) + " pixels differ, " + first : std::string();
            return wrong == 0;
        },
        ms);
    return why;
}

RECT Sized(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

LONG Style(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

class QuaxelE2E : public ProgramScenario {
protected:
    QuaxelE2E() : ProgramScenario(Start::Shown) {}
};

// The scenarios that look at the picture want it complete.
class QuaxelReady : public ProgramScenario {};

// The start image is computed in idle time and the status bar tells when it
// is done, with the escape counts the renderer finds for the same view.
TEST_F(QuaxelE2E, StartUpComputesTheStartViewAndShowsTheReadyText) {
    bool sawCalculating = false;
    std::string text;
    ASSERT_TRUE(WaitUntil([&] {
        text = program.Status();
        if (text == "Calculating ...") sawCalculating = true;
        return text.rfind("Ready (", 0) == 0;
    })) << "status: "
        << text;
    if (!sawCalculating) std::printf("note: the calculation ended before \"Calculating ...\" could be read\n");

    std::smatch parts;
    const std::regex ready(R"(Ready \((Time: \d+\.\d\d Sec\., )?Iterations: Min\.: (\d+), Max\.: (\d+)\))");
    ASSERT_TRUE(std::regex_match(text, parts, ready)) << text;
    EXPECT_EQ(std::stoi(parts[2]), StartView().min) << text;
    EXPECT_EQ(std::stoi(parts[3]), StartView().max) << text;
    Screenshot("after-start");
}

// The image itself, as the clipboard and Bitmap Export hand it out, is the
// renderer's byte for byte: header, colour table and rows.
TEST_F(QuaxelReady, CopyAndExportGiveTheRenderersImage) {
    const std::vector<uint8_t>& file = StartView().image.bytes;
    const size_t dibSize = file.size() - 14;  // a packed DIB is the file without its file header

    ASSERT_TRUE(WaitUntil(EmptyClipboardNow));
    program.Command(CM_COPY);
    std::vector<uint8_t> dib;
    ASSERT_TRUE(WaitUntil([&] {
        dib = ClipboardDib();
        return !dib.empty();
    })) << "no CF_DIB on the clipboard";
    ASSERT_GE(dib.size(), dibSize);
    dib.resize(dibSize);
    EXPECT_TRUE(std::equal(dib.begin(), dib.end(), file.begin() + 14)) << "clipboard DIB differs from the renderer's";

    program.Command(CM_EXPORT);
    HWND dialog = program.Dialog("Save As");
    ASSERT_NE(dialog, nullptr) << "no Save dialog";
    HWND name = GetDlgItem(dialog, edt1);  // Wine's file name field
    if (!name) name = GetDlgItem(dialog, cmb13);
    ASSERT_NE(name, nullptr) << "no file name field in the Save dialog";
    const std::string path = program.folder() + "\\exported.bmp";
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG,
                                    5000, &result));
    SendMessageTimeoutA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "the Save dialog stayed open";
    std::vector<uint8_t> exported;
    WaitUntil([&] {
        exported = ReadFileBytes(path);
        return exported == file;
    });
    ASSERT_EQ(exported.size(), file.size()) << path;
    EXPECT_TRUE(exported == file) << "exported file differs from the renderer's";
}

// After start the window is sized to the image: the drawing window with its
// 1-pixel border is 402 x 302 between toolbar and status bar, and shows the
// whole image.
TEST_F(QuaxelReady, WindowIsSizedToTheImageAndShowsIt) {
    const RECT client = ClientRectOnScreen(program.main());
    const RECT toolbar = WindowRectOf(program.toolbar());
    const RECT status = WindowRectOf(program.statusBar());
    const RECT drawing = WindowRectOf(program.drawing());
    ASSERT_NE(program.toolbar(), nullptr);
    ASSERT_NE(program.statusBar(), nullptr);
    ASSERT_NE(program.drawing(), nullptr);
    EXPECT_EQ(ClassOf(program.toolbar()), "ToolbarWindow32");
    EXPECT_EQ(ClassOf(program.statusBar()), "msctls_statusbar32");

    EXPECT_EQ(Width(drawing), 402);
    EXPECT_EQ(Height(drawing), 302);
    EXPECT_EQ(Width(client), 402);
    EXPECT_EQ(Height(client), 302 + Height(toolbar) + Height(status));
    EXPECT_EQ(toolbar.top, client.top);
    EXPECT_EQ(drawing.top, toolbar.bottom);
    EXPECT_EQ(drawing.left, client.left);
    EXPECT_EQ(status.top, drawing.bottom);
    EXPECT_EQ(status.bottom, client.bottom);
    EXPECT_EQ(Style(program.drawing()) & (WS_HSCROLL | WS_VSCROLL), 0) << "scroll bars on an image that fits";

    const RECT image = ClientRectOnScreen(program.drawing());
    ASSERT_EQ(Width(image), 400);
    ASSERT_EQ(Height(image), 300);
    EXPECT_EQ(ScreenDiffers(image, [](int x, int y) { return StartView().image.Colour(x, y); }), "");
}

struct ToolbarEntry {
    int command;  // 0: separator
    int image;
    const char* tip;
};
constexpr ToolbarEntry kToolbar[] = {
    {CM_LOAD, 0, "Load Co-ordinates (F3)"},
    {CM_SAVE, 1, "Save Co-ordinates (F2)"},
    {CM_RESET_RANGE, 4, "Reset Initial Range (F4)"},
    {0, 0, nullptr},
    {CM_AUTOZOOM, 5, "Automatic Zoom (F12)"},
    {CM_RANGE, 3, "Range Settings (F5)"},
    {0, 0, nullptr},
    {CM_DISPLAY, 6, "Display Settings (F11)"},
    {CM_DEFAULT_SIZE, 2, "Reset Window to Default Size"},
    {CM_FULLSCREEN, 12, "Show Image Full Screen (Alt+S)"},
    {0, 0, nullptr},
    {CM_PALETTE, 7, "Select Colour Palette (F9)"},
    {CM_PREV_PALETTE, 9, "Previous Colour Palette (F7)"},
    {CM_NEXT_PALETTE, 8, "Next Colour Palette (F8)"},
    {CM_SHIFT_PREV, 11, "Shift Current Colour Palette to Previous Colour (Shift+F7)"},
    {CM_SHIFT_NEXT, 10, "Shift Current Colour Palette to Next Colour (Shift+F8)"},
};

// The toolbar's buttons in order, and the tip that appears when the mouse
// rests on each of them.
TEST_F(QuaxelReady, ToolbarHasItsButtonsAndTheirTips) {
    HWND toolbar = program.toolbar();
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 16);
    RemoteBuffer buffer(program.id(), 256);
    ASSERT_TRUE(buffer.ok());
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE("position " + std::to_string(i + 1));
        TBBUTTON button{};
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, i, buffer.address()));
        ASSERT_TRUE(buffer.Read(&button, sizeof button));
        EXPECT_EQ(button.idCommand, kToolbar[i].command);
        EXPECT_EQ((button.fsStyle & TBSTYLE_SEP) != 0, kToolbar[i].command == 0);
        EXPECT_EQ(button.fsState & TBSTATE_ENABLED, TBSTATE_ENABLED);
        if (kToolbar[i].command) {
            EXPECT_EQ(button.iBitmap, kToolbar[i].image);
        }
    }

    ASSERT_TRUE(program.Activate());  // tips show for the active window only
    for (int i = 0; i < 16; ++i) {
        if (!kToolbar[i].tip) continue;
        SCOPED_TRACE(kToolbar[i].tip);
        RECT item{};
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETITEMRECT, i, buffer.address()));
        ASSERT_TRUE(buffer.Read(&item, sizeof item));
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&item), 2);
        ASSERT_TRUE(MouseTo((item.left + item.right) / 2, (item.top + item.bottom) / 2));
        HWND tip = program.FindWindowOfProcess(
            "tooltips_class32", [&](const std::string& text) { return text == kToolbar[i].tip; }, 10000);
        EXPECT_NE(tip, nullptr) << "no tip \"" << kToolbar[i].tip << "\" over the button";
    }
}

// Alt+S, typed on the keyboard, shows the image alone on the whole work area;
// Esc brings back the window as it was.
TEST_F(QuaxelReady, AltSShowsFullScreenAndEscLeavesIt) {
    HWND main = program.main();
    const RECT normalClient = ClientRectOnScreen(main);
    ASSERT_NE(GetMenu(main), nullptr);
    ASSERT_TRUE(program.Activate());

    // Alt held while S goes down and up, as fingers do. (xdotool's "key
    // alt+s" lets go of Alt first; Wine then opens the window menu.)
    ASSERT_TRUE(Xdo("keydown alt key s keyup alt"));
    const bool full = WaitUntil([&] {
        return IsZoomed(program.drawing()) && !IsWindowVisible(program.toolbar()) &&
               !IsWindowVisible(program.statusBar()) && GetMenu(main) == nullptr &&
               (Style(main) & WS_CAPTION) == 0 && IsZoomed(main);
    });
    ASSERT_TRUE(full) << "not in full screen: drawing zoomed " << IsZoomed(program.drawing()) << ", toolbar visible "
                      << IsWindowVisible(program.toolbar()) << ", status bar visible "
                      << IsWindowVisible(program.statusBar()) << ", menu " << GetMenu(main) << ", style 0x"
                      << std::hex << Style(main);
    // The maximised drawing window's border lies outside the screen: its
    // inside is the whole work area.
    const RECT workArea = WorkArea();
    const RECT inside = ClientRectOnScreen(program.drawing());
    EXPECT_TRUE(EqualRect(&inside, &workArea)) << "drawing window inside " << inside.left << "," << inside.top
                                                << " - " << inside.right << "," << inside.bottom;
    // The image at the top left, white beside and below it.
    EXPECT_EQ(ScreenDiffers(Sized(inside.left, inside.top, 440, 330),
                            [](int x, int y) {
                                return x < 400 && y < 300 ? StartView().image.Colour(x, y) : kWhite;
                            }),
              "");
    Screenshot("full-screen");

    ASSERT_TRUE(Key("Escape"));
    const bool normal = WaitUntil([&] {
        return !IsZoomed(program.drawing()) && IsWindowVisible(program.toolbar()) &&
               IsWindowVisible(program.statusBar()) && GetMenu(main) != nullptr &&
               (Style(main) & WS_CAPTION) == WS_CAPTION && !IsZoomed(main);
    });
    ASSERT_TRUE(normal) << "Esc did not leave full screen";
    // Back at the size that shows the whole image.
    RECT client{}, drawing{};
    const bool restored = WaitUntil([&] {
        client = ClientRectOnScreen(main);
        drawing = WindowRectOf(program.drawing());
        return Width(client) == Width(normalClient) && Height(client) == Height(normalClient) &&
               Width(drawing) == 402 && Height(drawing) == 302;
    });
    EXPECT_TRUE(restored) << "client " << Width(client) << " x " << Height(client) << " instead of "
                          << Width(normalClient) << " x " << Height(normalClient) << ", drawing window "
                          << Width(drawing) << " x " << Height(drawing) << " instead of 402 x 302";
}

// Default Window Size brings a resized window back to the image's size, at
// the same client origin.
TEST_F(QuaxelReady, DefaultWindowSizeRestoresTheSizeOfTheImage) {
    HWND main = program.main();
    const RECT original = ClientRectOnScreen(main);
    SetWindowPos(main, nullptr, 0, 0, 640, 520, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] { return Width(WindowRectOf(main)) == 640 && Height(WindowRectOf(main)) == 520; }));
    // The drawing window follows the new client size.
    ASSERT_TRUE(WaitUntil([&] { return Width(WindowRectOf(program.drawing())) == Width(ClientRectOnScreen(main)); }));

    program.Command(CM_DEFAULT_SIZE);
    RECT client{};
    const bool restored = WaitUntil([&] {
        client = ClientRectOnScreen(main);
        return EqualRect(&client, &original);
    });
    EXPECT_TRUE(restored) << "client " << client.left << "," << client.top << " " << Width(client) << " x "
                          << Height(client) << " instead of " << original.left << "," << original.top << " "
                          << Width(original) << " x " << Height(original);
    // The drawing window follows the client a moment later (its own
    // WM_SIZE), which the slower 32-bit run shows.
    WaitUntil([&] {
        const RECT drawing = WindowRectOf(program.drawing());
        return Width(drawing) == 402 && Height(drawing) == 302;
    });
    EXPECT_EQ(Width(WindowRectOf(program.drawing())), 402);
    EXPECT_EQ(Height(WindowRectOf(program.drawing())), 302);
}

// A window smaller than the image gets scroll bars on the drawing window;
// scrolling moves the picture by the scrolled distance.
TEST_F(QuaxelReady, ScrollBarsScrollTheImageInASmallWindow) {
    HWND main = program.main();
    HWND drawing = program.drawing();
    SetWindowPos(main, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] {
        return Width(WindowRectOf(main)) == 320 && (Style(drawing) & (WS_HSCROLL | WS_VSCROLL)) == (WS_HSCROLL | WS_VSCROLL);
    })) << "no scroll bars, drawing window style 0x"
        << std::hex << Style(drawing);
    const RECT view = ClientRectOnScreen(drawing);
    const int cw = Width(view), ch = Height(view);
    ASSERT_LT(cw, 400);
    ASSERT_LT(ch, 300);

    auto expectBars = [&](int x, int y) {
        SCROLLINFO h{}, v{};
        ASSERT_TRUE(RemoteScrollInfo(program, drawing, SB_HORZ, h));
        ASSERT_TRUE(RemoteScrollInfo(program, drawing, SB_VERT, v));
        EXPECT_EQ(h.nMin, 0);
        EXPECT_EQ(h.nMax, 399);
        EXPECT_EQ(h.nPage, static_cast<UINT>(cw));
        EXPECT_EQ(h.nPos, x);
        EXPECT_EQ(v.nMin, 0);
        EXPECT_EQ(v.nMax, 299);
        EXPECT_EQ(v.nPage, static_cast<UINT>(ch));
        EXPECT_EQ(v.nPos, y);
    };
    auto shows = [&](int scrollX, int scrollY) {
        return ScreenDiffers(view, [&](int x, int y) { return StartView().image.Colour(x + scrollX, y + scrollY); });
    };
    expectBars(0, 0);
    EXPECT_EQ(shows(0, 0), "");

    PostMessageA(drawing, WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
    EXPECT_EQ(shows(50, 0), "") << "one page to the right";

    // A real click on the down arrow of the vertical bar: one line.
    const RECT frame = WindowRectOf(drawing);
    const int arrow = GetSystemMetrics(SM_CYVSCROLL);
    ASSERT_TRUE(MouseTo(view.right + GetSystemMetrics(SM_CXVSCROLL) / 2, view.bottom - arrow / 2));
    ASSERT_LT(view.right, frame.right);
    ASSERT_TRUE(Xdo("click 1"));
    EXPECT_EQ(shows(50, 1), "") << "one line down";
    expectBars(50, 1);

    // A thumb position beyond the end stops at the last column.
    PostMessageA(drawing, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 1000), 0);
    EXPECT_EQ(shows(400 - cw, 1), "") << "scrolled to the right end";
    expectBars(400 - cw, 1);
    Screenshot("scrolled-view");
}

// Dragging with the left button shows the XOR frame of the 4:3 selection on
// the image while the button is held; after release the picture is whole.
TEST_F(QuaxelReady, DraggingShowsTheSelectionFrameWhileTheButtonIsHeld) {
    const RECT view = ClientRectOnScreen(program.drawing());
    ASSERT_EQ(Width(view), 400);
    const RECT area = Sized(view.left, view.top, 400, 300);
    ASSERT_TRUE(MouseTo(view.left + 40, view.top + 30));
    ASSERT_TRUE(Xdo("mousedown 1"));
    bool released = false;
    struct Release {
        bool& done;
        ~Release() {
            if (!done) Xdo("mouseup 1");
        }
    } release{released};
    for (int step = 1; step <= 5; ++step)
        ASSERT_TRUE(MouseTo(view.left + 40 + step * 40, view.top + 30 + step * 20));

    // Dragged from (40, 30) to (240, 130): the 4:3 selection keeps the
    // height of 101 and is 134 wide, i.e. (40, 30) - (174, 131).
    const RECT frame{40, 30, 174, 131};
    auto onFrame = [&](int x, int y) {
        const bool column = (x == frame.left || x == frame.right - 1) && y >= frame.top && y < frame.bottom;
        const bool row = (y == frame.top || y == frame.bottom - 1) && x >= frame.left && x < frame.right;
        return column || row;
    };
    EXPECT_EQ(ScreenDiffers(area,
                            [&](int x, int y) {
                                const uint32_t colour = StartView().image.Colour(x, y);
                                return onFrame(x, y) ? colour ^ kWhite : colour;
                            }),
              "")
        << "the frame while the button is held";
    Screenshot("rubber-band");

    ASSERT_TRUE(Xdo("mouseup 1"));
    released = true;
    // The zoom proposal comes in the Range dialog; cancelled, it keeps the view.
    bool rangeDialog = false;
    std::string differs;
    WaitUntil([&] {
        HWND dialog = program.Dialog("Range", 0);
        if (dialog) {
            rangeDialog = true;
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        differs = ScreenDiffers(area, [](int x, int y) { return StartView().image.Colour(x, y); }, 0);
        return differs.empty();
    });
    if (!rangeDialog) std::printf("note: no Range dialog seen after the selection\n");
    EXPECT_EQ(differs, "") << "the picture after the release";
}

// Closing ends the process with exit code 0: in the middle of the first
// calculation, through Exit, and by Alt+F4 on the keyboard.
TEST(QuaxelClosing, CloseAndExitEndTheProcessWithExitCodeZero) {
    {
        Program program;
        ASSERT_TRUE(program.started()) << program.failure();
        std::string status;
        WaitUntil([&] {
            status = program.Status();
            return status == "Calculating ..." || status.rfind("Ready (", 0) == 0;
        });
        PostMessageA(program.main(), WM_CLOSE, 0, 0);
        if (status != "Calculating ...") std::printf("note: closed after the calculation: %s\n", status.c_str());
        DWORD exitCode = 12345;
        ASSERT_TRUE(program.WaitEnded(kDeadlineMs, exitCode)) << "did not end after WM_CLOSE";
        EXPECT_EQ(exitCode, 0u);
    }
    {
        Program program;
        ASSERT_TRUE(program.started()) << program.failure();
        ASSERT_FALSE(program.WaitReady().empty());
        program.Command(CM_EXIT);
        DWORD exitCode = 12345;
        ASSERT_TRUE(program.WaitEnded(kDeadlineMs, exitCode)) << "did not end after Exit";
        EXPECT_EQ(exitCode, 0u);
    }
    {
        Program program;
        ASSERT_TRUE(program.started()) << program.failure();
        ASSERT_FALSE(program.WaitReady().empty());
        ASSERT_TRUE(program.Activate());
        ASSERT_TRUE(Key("alt+F4"));
        DWORD exitCode = 12345;
        ASSERT_TRUE(program.WaitEnded(kDeadlineMs, exitCode)) << "did not end after Alt+F4";
        EXPECT_EQ(exitCode, 0u);
    }
    EXPECT_TRUE(WaitUntil([] { return ProcessesNamed("quaxel.exe").empty(); })) << "a quaxel.exe is still running";
}

}  // namespace
}  // namespace e2e
