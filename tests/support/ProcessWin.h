// Programs started and watched from outside, for the Windows suites, the
// package test and the end-to-end driver: a process with a deadline on every
// wait, and its top-level windows found by class and caption.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "HostPath.h"

namespace testsupport {

// `ms` stretched by QUAXEL_TIME_FACTOR (1 to 20; tools/wine-env.sh measures
// it: the 32-bit build runs under emulation, several times slower).
DWORD Scaled(DWORD ms);

// Milliseconds left until `deadline` (a GetTickCount value); 0 once passed.
DWORD Remaining(DWORD deadline);

// The top-level windows of a process, of `windowClass` (any class when
// null), visible or not, front to back.
std::vector<HWND> WindowsOf(DWORD processId, const char* windowClass = nullptr);

// The caption of a top-level window as the system keeps it: read without a
// message to its process, so a busy program is neither slowed nor waited for.
std::string CaptionOf(HWND window);

// The visible dialog (class "#32770", message boxes included) of a process
// with exactly this caption, or null.
HWND DialogOf(DWORD processId, const std::string& caption);

// One started program. Whatever a failed assertion leaves running, the
// destructor ends.
class Process {
public:
    // Runs `commandLine` in `folder` (this process's folder when empty);
    // `application`, when given, is the executable, else the command line's
    // first word names it.
    explicit Process(std::string commandLine, const std::string& folder = {}, const std::string& application = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return started_; }
    DWORD id() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }

    // True once the process has ended, waiting up to `ms` for it.
    bool Ended(DWORD ms = 0) const;
    // The exit code once the process ends within `ms`; false while it runs.
    bool WaitEnded(DWORD ms, DWORD& exitCode) const;
    // The first top-level window of `windowClass` of this process that
    // `match` accepts, looked for until `ms` have passed or the process has
    // ended; null when none came.
    HWND WaitForWindow(const char* windowClass, const std::function<bool(HWND)>& match, DWORD ms) const;
    // DialogOf this process, waited for in the same way.
    HWND WaitForDialog(const std::string& caption, DWORD ms) const;

    // Ends the process now if it still runs, and waits until it has gone.
    void End();

private:
    PROCESS_INFORMATION info_{};  // no handles for a Unix program under Wine
    bool started_ = false;
};

// Starts a Unix program (the command line's first word a Unix path) and lets
// go of it at once. Under Wine such a start succeeds without handles, and
// what CreateProcess hands back in their place are stale values: often the
// handles of the program started before, which this process still uses, so
// they must never be closed. The program cannot be waited for.
bool StartUnix(std::string commandLine);

}  // namespace testsupport
