// Harness of the end-to-end suite: starts the real quaxel.exe in a folder of
// its own, reads its windows from outside, drives it with posted commands and
// with real input through the X server (xdotool), and looks at the screen the
// way the user does (ImageMagick's import of the X root window).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ProcessWin.h"
#include "tools/render/Render.h"

namespace e2e {

constexpr DWORD kDeadlineMs = 30000;

// A deadline stretched by QUAXEL_TIME_FACTOR (run-e2e.sh measures it: the
// 32-bit build runs under emulation, several times slower). Every wait of
// the harness goes through it.
using testsupport::Scaled;

// Polls `done` until it holds or Scaled(ms) have passed; never waits longer.
bool WaitUntil(const std::function<bool()>& done, DWORD ms = kDeadlineMs);

// The screen and its work area as this process saw them before the suite
// started any program. Asked later, the 32-bit Wine can answer 0: a process
// start there can leave this process's copy of the monitor list empty.
SIZE ScreenSize();
RECT WorkArea();

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
RECT WindowRectOf(HWND window);
RECT ClientRectOnScreen(HWND window);
inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }

class StatusWatch;

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
    DWORD id() const { return process_ ? process_->id() : 0; }
    const std::string& folder() const { return folder_; }

    HWND main() const { return main_; }
    HWND drawing() const;
    HWND toolbar() const;
    HWND statusBar() const;
    // The status text; a ready text read here is remembered as the last one.
    std::string Status() const;

    void Command(int id) const;
    // Waits for the ready text; returns it (empty when the deadline passed).
    std::string WaitReady() const;
    // A visible top-level window of `windowClass` of this process whose
    // caption satisfies `caption`, or null when none appeared in time.
    HWND FindWindowOfProcess(const char* windowClass, const std::function<bool(const std::string&)>& caption,
                             DWORD ms = kDeadlineMs) const;
    bool WaitEnded(DWORD ms, DWORD& exitCode) const;

    // Makes the main window the active one with a real click on its caption.
    // Before the first key of a scenario: on a bare X server the keys reach
    // Wine's desktop only once it has been clicked.
    bool Activate() const;

    // A visible dialog (class "#32770", message boxes included) of this
    // process with exactly this caption, or null when none appeared in time.
    HWND Dialog(const std::string& caption, DWORD ms = kDeadlineMs) const;
    // The window that has the keyboard focus in the program's thread.
    HWND Focus() const;
    // Watches the status bar closely until a calculation has been seen
    // running ("Calculating ...") and has ended; returns the ready text, or
    // an empty string when that did not happen in time. `giveUp` is asked on
    // the way and ends the watch early when it holds.
    std::string WaitRecalculated(DWORD ms = kDeadlineMs, const std::function<bool()>& giveUp = {}) const;
    // The same, for a calculation that may be over before this is called
    // and end with the ready text it started from (a view as quick and as
    // deep as the last one): a calculation `watch` saw, since it was made
    // before the action, counts as seen running.
    std::string WaitRecalculated(const StatusWatch& watch, DWORD ms = kDeadlineMs) const;
    // Waits for the main window to be the active one again (after a dialog
    // closed), and clicks its caption when it does not become so.
    bool Foreground() const;

private:
    std::string WaitRecalculated(DWORD ms, const std::function<bool()>& giveUp, const StatusWatch* watch) const;
    std::optional<testsupport::Process> process_;
    HWND main_ = nullptr;
    std::string folder_;
    std::string failure_;
    mutable std::string lastReady_;  // the ready text last read through Status()
};

// A scenario on one run of quaxel.exe, started as the fixture is made.
// SetUp wants the renderer's start image and the program's main window, and
// by default the ready text of the first calculation. TearDown, after a
// scenario that passed, closes the program and checks that it ends with exit
// code 0; after a failure the program is left showing what failed to the
// screenshot, and ended by force.
class ProgramScenario : public testing::Test {
protected:
    enum class Start { Shown, Ready };
    explicit ProgramScenario(Start start = Start::Ready) : start_(start) {}
    void SetUp() override;
    void TearDown() override;

    Program program;
    std::string ready;  // the ready text of the first calculation, when waited for

private:
    Start start_;
};

// Watches the status bar from a thread of its own for as long as it lives,
// so closely that no calculation can pass unseen: while it computes, the
// program answers about once a millisecond (or after one long row).
class StatusWatch {
public:
    explicit StatusWatch(const Program& program);
    ~StatusWatch();
    StatusWatch(const StatusWatch&) = delete;
    StatusWatch& operator=(const StatusWatch&) = delete;
    bool SawCalculating() const { return sawCalculating_ != 0; }

private:
    static DWORD WINAPI Run(void* self);
    HWND statusBar_;
    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
    volatile LONG sawCalculating_ = 0;
};

// Calls a function of user32.dll on a thread in the program's process, for
// what Wine answers only to the window's own process (scroll bars, menus).
// An argument equal to kRemoteData stands for the address of a copy of
// `data` in that process, which is copied back afterwards.
constexpr uint64_t kRemoteData = ~uint64_t{0};
bool RemoteCall(const Program& program, const char* function, const std::vector<uint64_t>& arguments,
                uint64_t& result, void* data = nullptr, size_t size = 0);

// Reads a standard scroll bar of another process's window (GetScrollInfo
// only sees the caller's own windows under Wine).
bool RemoteScrollInfo(const Program& program, HWND window, int bar, SCROLLINFO& info);

// The numeric type (0 CPU Fixed ... 3 FPU Extended) whose item on the main
// window's Range menu carries the check mark; -1 when none or several do,
// -2 when the menu could not be read.
int CheckedNumericType(const Program& program);

// Stands in for the help viewer: a hidden window of the class "MS_WINHELP",
// which WinHelpA looks for before it starts one, on a thread of its own.
// Records each request it receives. (Wine's own viewer ignores keyword
// requests, so it would show nothing for them.)
class HelpViewerStandIn {
public:
    struct Request {
        HWND caller = nullptr;
        unsigned command = 0;
        std::string file;
        std::string keyword;  // HELP_KEY, HELP_PARTIALKEY, HELP_COMMAND: the text
    };
    HelpViewerStandIn();
    ~HelpViewerStandIn();
    HelpViewerStandIn(const HelpViewerStandIn&) = delete;
    HelpViewerStandIn& operator=(const HelpViewerStandIn&) = delete;
    bool ok() const { return window_ != nullptr; }
    std::vector<Request> Requests() const;

private:
    static DWORD WINAPI Run(void* self);
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HANDLE thread_ = nullptr;
    HANDLE created_ = nullptr;
    HWND window_ = nullptr;
    mutable CRITICAL_SECTION lock_;
    std::vector<Request> requests_;
};

// --- dialogs and message boxes of another process ----------------------------

std::string ItemText(HWND dialog, int id);
// Puts `text` into an edit field the way typing does: the text, and the
// field marked as changed by the user.
bool TypeInto(HWND dialog, int id, const std::string& text);
// Presses a push button, radio button or check box and returns once the
// dialog has handled it.
bool Press(HWND dialog, int id);
// Presses it without waiting, for buttons that open a modal message box.
void PressLater(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// EM_GETSEL of an edit field: first selected character and the one after
// the selection.
struct TextRange {
    int start = -1, end = -1;
    bool operator==(const TextRange&) const = default;
};
TextRange SelectionOf(HWND dialog, int id);
// The text of a message box.
std::string MessageText(HWND box);
// The id of the dialog's default push button (0 when none is).
int DefaultButtonOf(HWND dialog);
bool WaitClosed(HWND window, DWORD ms = kDeadlineMs);
// A modal dialog is destroyed only once its loop has ended: from then on the
// program answers a question only after the command that opened the dialog
// has finished (a hidden dialog may still answer from its loop's last turn).
bool WaitDestroyed(HWND window, DWORD ms = kDeadlineMs);
// Makes a top-level window the active one with a real click on its caption.
bool ClickCaption(HWND window);

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
// Nanoseconds of the Unix real-time clock, which Wine's precise system time
// follows: a clock this process and the Unix programs it starts share.
int64_t UnixNanoseconds();
// Presses `keys` through xdotool and tells when, on that clock, xdotool was
// about to send them: a latency measured from there is never less than the
// true one.
bool KeyTimed(const std::string& keys, int64_t& sentNs);

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

// The renderer's image of any view (the BMP that Bitmap Export would write),
// with the type it settled on and the escape counts of the whole image.
struct Rendered {
    Bmp image;
    RenderResult result;
};
Rendered RenderView(const RenderOptions& options);
// The escape counts of a rectangle of that view, as the engine keeps them
// once the view is computed.
IterationStatistics EscapeCounts(const RenderOptions& options, const PixelRect& rect);

// Empties the clipboard; false while another process holds it open.
bool EmptyClipboardNow();
// The packed DIB on the clipboard (empty when there is none).
std::vector<uint8_t> ClipboardDib();

// The image as the program hands it to the clipboard (Edit, Copy), compared
// with the renderer's file until they agree or the deadline passes. Returns
// an empty string on agreement, else what differed.
std::string ClipboardDiffers(const Program& program, const Bmp& expected, DWORD ms = 10000);

// "Ready (... Iterations: Min.: a, Max.: b)": a and b, or false.
bool ReadyCounts(const std::string& ready, int& min, int& max);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
// The ids of the running processes of this executable name.
std::vector<DWORD> ProcessesNamed(const char* exeName);

}  // namespace e2e
