// Harness of the end-to-end suite: starts the real quaxel.exe in a folder of
// its own, reads its windows from outside, drives it with posted commands and
// with real input through the X server (xdotool), and looks at the screen the
// way the user does (ImageMagick's import of the X root window).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

constexpr DWORD kDeadlineMs = 30000;

// Polls `done` until it holds or `ms` have passed; never waits longer.
bool WaitUntil(const std::function<bool()>& done, DWORD ms = kDeadlineMs);

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
RECT WindowRectOf(HWND window);
RECT ClientRectOnScreen(HWND window);
inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }

// One run of quaxel.exe, copied into a fresh folder and started there. The
// destructor ends it if a test leaves it running.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return main_ != nullptr; }
    const std::string& failure() const { return failure_; }
    DWORD id() const { return info_.dwProcessId; }
    const std::string& folder() const { return folder_; }

    HWND main() const { return main_; }
    HWND drawing() const;
    HWND toolbar() const;
    HWND statusBar() const;
    std::string Status() const { return WindowText(statusBar()); }

    void Command(int id) const;
    // Waits for the ready text; returns it (empty when the deadline passed).
    std::string WaitReady() const;
    // A visible top-level window of `windowClass` of this process whose
    // caption satisfies `caption`, or null when none appeared in time.
    HWND FindWindowOfProcess(const char* windowClass, const std::function<bool(const std::string&)>& caption,
                             DWORD ms = kDeadlineMs) const;
    bool WaitEnded(DWORD ms, DWORD& exitCode) const;

    // Makes the main window the active one with a real click on its caption.
    bool Activate() const;

private:
    PROCESS_INFORMATION info_{};
    HWND main_ = nullptr;
    std::string folder_;
    std::string failure_;
};

// Reads a standard scroll bar of another process's window (GetScrollInfo
// only sees the caller's own windows under Wine): runs GetScrollInfo on a
// thread in the target process.
bool RemoteScrollInfo(const Program& program, HWND window, int bar, SCROLLINFO& info);

// A block of memory in another process for messages that take a pointer.
class RemoteBuffer {
public:
    RemoteBuffer(DWORD processId, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool ok() const { return address_ != nullptr; }
    LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
    bool Read(void* target, size_t size) const;

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

// Unix programs, started from this Windows process. Wine starts them but
// cannot wait for them, so each command writes its exit status into a file
// that is polled. True when it finished in time with status 0.
bool RunUnix(const std::string& command, DWORD ms = kDeadlineMs);
// xdotool with the given arguments, on desktop co-ordinates.
bool Xdo(const std::string& arguments);
bool MouseTo(int x, int y);
bool Key(const std::string& keys);

// What the X server shows: a rectangle of the desktop, 24-bit.
struct Capture {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> rgb;
    // Colour at desktop position (x, y) as 0xRRGGBB.
    uint32_t At(int x, int y) const;
};
bool CaptureScreen(const RECT& area, Capture& capture);

// Saves a picture of the whole X screen under `name`.png in the screenshot
// folder and returns its host path (empty on failure).
std::string Screenshot(const std::string& name);

// An 8-bit BMP file as quaxel writes it.
struct Bmp {
    std::vector<uint8_t> bytes;
    int width() const;
    int height() const;
    int stride() const { return (width() + 3) & ~3; }
    uint8_t Index(int x, int y) const;  // row 0 at the top
    uint32_t Colour(int x, int y) const;  // 0xRRGGBB through the colour table
};

// The renderer's image of the start view and its minimum and maximum
// escape count; computed once.
struct Expected {
    Bmp image;
    int min = 0, max = 0;
};
const Expected& StartView();

std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace e2e
