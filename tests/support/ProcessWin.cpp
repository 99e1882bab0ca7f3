#include "ProcessWin.h"

#include <algorithm>
#include <cstdlib>

namespace testsupport {

DWORD Scaled(DWORD ms) {
    static const DWORD factor = [] {
        char value[16] = {};
        const DWORD length = GetEnvironmentVariableA("QUAXEL_TIME_FACTOR", value, sizeof value);
        const unsigned long f = length > 0 && length < sizeof value ? std::strtoul(value, nullptr, 10) : 1;
        return static_cast<DWORD>(std::clamp(f, 1ul, 20ul));
    }();
    return ms * factor;
}

DWORD Remaining(DWORD deadline) {
    const DWORD now = GetTickCount();
    return static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
}

std::vector<HWND> WindowsOf(DWORD processId, const char* windowClass) {
    std::vector<HWND> windows;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, windowClass, nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == processId) windows.push_back(w);
    }
    return windows;
}

std::string CaptionOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

HWND DialogOf(DWORD processId, const std::string& caption) {
    for (HWND w : WindowsOf(processId, "#32770"))
        if (IsWindowVisible(w) && CaptionOf(w) == caption) return w;
    return nullptr;
}

Process::Process(std::string commandLine, const std::string& folder, const std::string& application) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(application.empty() ? nullptr : application.c_str(), commandLine.data(), nullptr,
                              nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                              &info_) != FALSE;
    // Handles that are not of the process reported are left-overs (a Unix
    // program under Wine): kept, they would be waited on and closed.
    if (!started_ || info_.dwProcessId == 0 || GetProcessId(info_.hProcess) != info_.dwProcessId)
        info_ = PROCESS_INFORMATION{};
}

Process::~Process() {
    End();
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) CloseHandle(info_.hProcess);
}

void Process::End() {
    if (info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, Scaled(30000));
    }
}

bool Process::Ended(DWORD ms) const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0;
}

bool Process::WaitEnded(DWORD ms, DWORD& exitCode) const {
    return Ended(ms) && GetExitCodeProcess(info_.hProcess, &exitCode);
}

HWND Process::WaitForWindow(const char* windowClass, const std::function<bool(HWND)>& match, DWORD ms) const {
    const DWORD deadline = GetTickCount() + ms;
    for (;;) {
        const bool last = Remaining(deadline) == 0 || Ended();
        for (HWND w : WindowsOf(id(), windowClass))
            if (match(w)) return w;
        if (last) return nullptr;
        Ended(std::min<DWORD>(20, Remaining(deadline)));
    }
}

bool StartUnix(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION ignored{};
    return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &ignored) != FALSE;
}

HWND Process::WaitForDialog(const std::string& caption, DWORD ms) const {
    return WaitForWindow("#32770", [&](HWND w) { return IsWindowVisible(w) && CaptionOf(w) == caption; }, ms);
}

}  // namespace testsupport
