// Starts the real quaxel.exe, waits for its main window and closes it again.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "HostPath.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

std::string QuaxelExe() { return WindowsPathOf(QUAXEL_EXE_PATH); }

// The running program; ended by force if a test leaves it behind.
class Program {
public:
    Program() {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + QuaxelExe() + "\"";
        started_ = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &info_) != FALSE;
    }
    ~Program() {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, kDeadlineMs);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }
    DWORD id() const { return info_.dwProcessId; }
    HANDLE process() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// The program's top-level window of class "Quaxel", polled until the deadline.
HWND FindMainWindow(const Program& program, DWORD deadline) {
    for (;;) {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "Quaxel", nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == program.id()) return window;
        }
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) return nullptr;
        if (WaitForSingleObject(program.process(), 50) == WAIT_OBJECT_0) return nullptr;  // ended early
    }
}

TEST(QuaxelProgram, OpensItsMainWindowAndEndsWhenClosed) {
    GetDesktopWindow();  // have wine's desktop up before the clock starts
    Program program;
    ASSERT_TRUE(program.started()) << "cannot start " << QuaxelExe();

    HWND window = FindMainWindow(program, GetTickCount() + kDeadlineMs);
    ASSERT_NE(window, nullptr) << "no window of class \"Quaxel\" appeared";
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Quaxel");
    // The window exists before the start-up has shown it.
    const DWORD shownBy = GetTickCount() + kDeadlineMs;
    while (!IsWindowVisible(window) && static_cast<LONG>(shownBy - GetTickCount()) > 0) Sleep(20);
    EXPECT_TRUE(IsWindowVisible(window));

    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(program.process(), kDeadlineMs), WAIT_OBJECT_0) << "did not end after WM_CLOSE";
    DWORD exitCode = 12345;
    GetExitCodeProcess(program.process(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
