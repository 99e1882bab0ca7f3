// Starts the real quaxel.exe, waits for its main window and closes it again.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ProcessWin.h"

namespace {

using testsupport::Process;

constexpr DWORD kDeadlineMs = 20000;

std::string QuaxelExe() { return WindowsPathOf(QUAXEL_EXE_PATH); }

TEST(QuaxelProgram, OpensItsMainWindowAndEndsWhenClosed) {
    GetDesktopWindow();  // have wine's desktop up before the clock starts
    Process program("\"" + QuaxelExe() + "\"");
    ASSERT_TRUE(program.started()) << "cannot start " << QuaxelExe();

    HWND window = program.WaitForWindow("Quaxel", [](HWND) { return true; }, kDeadlineMs);
    ASSERT_NE(window, nullptr) << "no window of class \"Quaxel\" appeared";
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Quaxel");
    // The window exists before the start-up has shown it.
    const DWORD shownBy = GetTickCount() + kDeadlineMs;
    while (!IsWindowVisible(window) && static_cast<LONG>(shownBy - GetTickCount()) > 0) Sleep(20);
    EXPECT_TRUE(IsWindowVisible(window));

    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD exitCode = 12345;
    ASSERT_TRUE(program.WaitEnded(kDeadlineMs, exitCode)) << "did not end after WM_CLOSE";
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
