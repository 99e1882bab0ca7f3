#include "Harness.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "HostPath.h"
#include "image/Palette.h"
#include "resources/rcinc.h"
#include "tools/render/Render.h"

namespace e2e {

namespace {

std::string HostFolder(const char* variable, const char* fallback) {
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    std::string folder = length > 0 && length < sizeof value ? value : fallback;
    CreateDirectoryA(WindowsPathOf(folder.c_str()).c_str(), nullptr);
    return folder;
}

// Host folders from run-e2e.sh: Unix programs write there, this process reads
// the same files through their DOS paths.
const std::string& ScratchFolder() {
    static const std::string folder = HostFolder("QUAXEL_E2E_SCRATCH", "/tmp/quaxel-e2e-scratch");
    return folder;
}
const std::string& ScreenshotFolder() {
    static const std::string folder = HostFolder("QUAXEL_E2E_SCREENSHOTS", "/tmp/quaxel-e2e-screenshots");
    return folder;
}

std::string DosPath(const std::string& hostPath) { return WindowsPathOf(hostPath.c_str()); }

// Desktop co-ordinates plus this offset are X root co-ordinates; measured
// once by the environment below, as are the screen and the work area.
POINT desktopOrigin{0, 0};
SIZE screenSize{0, 0};
RECT workArea{};

}  // namespace

SIZE ScreenSize() { return screenSize; }
RECT WorkArea() { return workArea; }

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
    ms = Scaled(ms);
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= ms) return done();
        Sleep(20);
    }
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR copied = 0;
    if (!window || !SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                        SMTO_ABORTIFHUNG, Scaled(5000), &copied))
        return {};
    return text;
}

std::string ClassOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

RECT WindowRectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT ClientRectOnScreen(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    const DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size == INVALID_FILE_SIZE || !ReadFile(file, bytes.data(), size, &read, nullptr) || read != size)
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

// --- Program -----------------------------------------------------------------

Program::Program() {
    static int counter = 0;
    GetDesktopWindow();  // the desktop is up before the clock starts
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "quaxel-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter);
    CreateDirectoryA(folder_.c_str(), nullptr);
    const std::string exe = folder_ + "\\quaxel.exe";
    if (!CopyFileA(WindowsPathOf(QUAXEL_EXE_PATH).c_str(), exe.c_str(), FALSE)) {
        failure_ = "cannot copy " + WindowsPathOf(QUAXEL_EXE_PATH) + " to " + exe;
        return;
    }
    process_.emplace("\"" + exe + "\"", folder_, exe);
    if (!process_->started()) {
        failure_ = "cannot start " + exe;
        return;
    }
    main_ = process_->WaitForWindow("Quaxel", IsWindowVisible, Scaled(kDeadlineMs));
    if (!main_) failure_ = "no visible window of class \"Quaxel\" appeared";
}

Program::~Program() {
    process_.reset();  // ended before its folder goes
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA((folder_ + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder_.c_str());
}

HWND Program::drawing() const { return FindWindowExA(main_, nullptr, "QuaxelDraw", nullptr); }
HWND Program::toolbar() const { return GetDlgItem(main_, ID_TOOLBAR); }
HWND Program::statusBar() const { return GetDlgItem(main_, ID_STATUSBAR); }

void Program::Command(int id) const { PostMessageA(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

std::string Program::WaitReady() const {
    std::string text;
    WaitUntil([&] {
        text = Status();
        return text.rfind("Ready (", 0) == 0;
    });
    return text.rfind("Ready (", 0) == 0 ? text : std::string();
}

std::string Program::Status() const {
    std::string text = WindowText(statusBar());
    if (text.rfind("Ready (", 0) == 0) lastReady_ = text;
    return text;
}

HWND Program::FindWindowOfProcess(const char* windowClass,
                                  const std::function<bool(const std::string&)>& caption, DWORD ms) const {
    if (!process_) return nullptr;
    return process_->WaitForWindow(
        windowClass, [&](HWND w) { return IsWindowVisible(w) && caption(WindowText(w)); }, Scaled(ms));
}

bool Program::WaitEnded(DWORD ms, DWORD& exitCode) const {
    return process_ && process_->WaitEnded(Scaled(ms), exitCode);
}

bool Program::Activate() const { return ClickCaption(main_); }

HWND Program::Dialog(const std::string& caption, DWORD ms) const {
    // The caption is asked of the dialog itself: one that answers is in its
    // message loop, ready for what the scenario sends it next.
    return FindWindowOfProcess("#32770", [&](const std::string& text) { return text == caption; }, ms);
}

HWND Program::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

bool Program::Foreground() const {
    if (WaitUntil([&] { return GetForegroundWindow() == main_; }, 3000)) return true;
    return Activate();
}

std::string Program::WaitRecalculated(const StatusWatch& watch, DWORD ms) const {
    return WaitRecalculated(ms, {}, &watch);
}

std::string Program::WaitRecalculated(DWORD ms, const std::function<bool()>& giveUp) const {
    return WaitRecalculated(ms, giveUp, nullptr);
}

std::string Program::WaitRecalculated(DWORD ms, const std::function<bool()>& giveUp,
                                      const StatusWatch* watch) const {
    bool running = false;
    std::string text;
    const std::string previous = lastReady_;
    ms = Scaled(ms);
    const DWORD start = GetTickCount();
    // Closely: a small image may be done within a few milliseconds, and the
    // computing program answers about once a millisecond.
    while (GetTickCount() - start < ms) {
        text = Status();
        if (text == "Calculating ..." || (watch && watch->SawCalculating())) running = true;
        // A calculation shorter than the way here (a key through xdotool
        // takes longer than a small image) is over before it can be seen; a
        // ready text other than the last one read before says it ran all
        // the same.
        const bool ready = text.rfind("Ready (", 0) == 0;
        if (ready && (running || (!previous.empty() && text != previous))) return text;
        if (giveUp && giveUp()) break;
        Sleep(1);
    }
    return {};
}

void ProgramScenario::SetUp() {
    ASSERT_FALSE(StartView().image.bytes.empty()) << "no expected image";
    ASSERT_TRUE(program.started()) << program.failure();
    if (start_ == Start::Shown) return;
    ready = program.WaitReady();
    ASSERT_FALSE(ready.empty()) << "status: " << program.Status();
}

void ProgramScenario::TearDown() {
    DWORD exitCode = 12345;
    // A scenario may end the program itself, and check how.
    if (HasFailure() || IsSkipped() || !program.started() || program.WaitEnded(0, exitCode)) return;
    PostMessageA(program.main(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitEnded(kDeadlineMs, exitCode)) << "did not end after WM_CLOSE";
    EXPECT_EQ(exitCode, 0u);
}

StatusWatch::StatusWatch(const Program& program) : statusBar_(program.statusBar()) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

StatusWatch::~StatusWatch() {
    InterlockedExchange(&stop_, 1);
    if (thread_) {
        WaitForSingleObject(thread_, kDeadlineMs);
        CloseHandle(thread_);
    }
}

DWORD WINAPI StatusWatch::Run(void* parameter) {
    auto* self = static_cast<StatusWatch*>(parameter);
    while (!self->stop_) {
        if (WindowText(self->statusBar_) == "Calculating ...") InterlockedExchange(&self->sawCalculating_, 1);
        Sleep(1);
    }
    return 0;
}

// --- Memory and scroll bars of another process --------------------------------

RemoteBuffer::RemoteBuffer(DWORD processId, size_t size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

bool RemoteBuffer::Read(void* target, size_t size) const {
    SIZE_T read = 0;
    return ReadProcessMemory(process_, address_, target, size, &read) && read == size;
}

namespace {

uintptr_t ModuleBase(DWORD processId, const char* name) {
    uintptr_t base = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
        if (_stricmp(module.szModule, name) == 0) {
            base = reinterpret_cast<uintptr_t>(module.modBaseAddr);
            break;
        }
    }
    CloseHandle(snapshot);
    return base;
}

}  // namespace

bool RemoteCall(const Program& program, const char* function, const std::vector<uint64_t>& arguments,
                uint64_t& result, void* data, size_t size) {
    if (arguments.size() > 4) return false;
    const uintptr_t localUser32 = reinterpret_cast<uintptr_t>(GetModuleHandleA("user32.dll"));
    const uintptr_t remoteUser32 = ModuleBase(program.id(), "user32.dll");
    const auto local = reinterpret_cast<uintptr_t>(
        reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(localUser32), function)));
    if (!localUser32 || !remoteUser32 || !local) return false;

    // The thread's parameter points to a block of 64-bit slots: the
    // function's address, four arguments and the result. The program has
    // this driver's bitness, so the stub is for the same processor.
#if defined(__x86_64__)
    // x64 (parameter in rcx):
    //   push rbx; sub rsp, 32; mov rbx, rcx; mov rcx, [rbx+8]; mov rdx, [rbx+16];
    //   mov r8, [rbx+24]; mov r9, [rbx+32]; call [rbx]; mov [rbx+40], rax;
    //   mov eax, 1; add rsp, 32; pop rbx; ret
    const uint8_t code[64] = {0x53, 0x48, 0x83, 0xEC, 0x20, 0x48, 0x89, 0xCB, 0x48, 0x8B, 0x4B, 0x08,
                              0x48, 0x8B, 0x53, 0x10, 0x4C, 0x8B, 0x43, 0x18, 0x4C, 0x8B, 0x4B, 0x20,
                              0xFF, 0x13, 0x48, 0x89, 0x43, 0x28, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x48,
                              0x83, 0xC4, 0x20, 0x5B, 0xC3};
#else
    // x86 (stdcall, parameter on the stack; esi restores the stack whatever
    // number of arguments the function pops):
    //   push ebx; push esi; mov esi, esp; mov ebx, [esp+12]; push dword [ebx+32];
    //   push dword [ebx+24]; push dword [ebx+16]; push dword [ebx+8]; call [ebx];
    //   mov [ebx+40], eax; mov dword [ebx+44], 0; mov eax, 1; mov esp, esi;
    //   pop esi; pop ebx; ret 4
    const uint8_t code[64] = {0x53, 0x56, 0x89, 0xE6, 0x8B, 0x5C, 0x24, 0x0C, 0xFF, 0x73, 0x20, 0xFF,
                              0x73, 0x18, 0xFF, 0x73, 0x10, 0xFF, 0x73, 0x08, 0xFF, 0x13, 0x89, 0x43,
                              0x28, 0xC7, 0x43, 0x2C, 0x00, 0x00, 0x00, 0x00, 0xB8, 0x01, 0x00, 0x00,
                              0x00, 0x89, 0xF4, 0x5E, 0x5B, 0xC2, 0x04, 0x00};
#endif
    constexpr size_t kBlock = sizeof code;  // the call block follows the code
    constexpr size_t kData = kBlock + 6 * 8;

    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                     PROCESS_VM_READ | PROCESS_VM_WRITE,
                                 FALSE, program.id());
    if (!process) return false;
    bool ok = false;
    auto* remote = static_cast<uint8_t*>(
        VirtualAllocEx(process, nullptr, kData + size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    uint64_t block[6] = {remoteUser32 + (local - localUser32), 0, 0, 0, 0, 0};
    for (size_t i = 0; i < arguments.size(); ++i)
        block[1 + i] = arguments[i] == kRemoteData ? reinterpret_cast<uintptr_t>(remote + kData) : arguments[i];
    SIZE_T moved = 0;
    if (remote && WriteProcessMemory(process, remote, code, sizeof code, &moved) &&
        WriteProcessMemory(process, remote + kBlock, block, sizeof block, &moved) &&
        (size == 0 || WriteProcessMemory(process, remote + kData, data, size, &moved))) {
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(remote),
                                           remote + kBlock, 0, nullptr);
        DWORD exitCode = 0;
        if (thread && WaitForSingleObject(thread, Scaled(10000)) == WAIT_OBJECT_0 &&
            GetExitCodeThread(thread, &exitCode) && exitCode == 1 && ReadProcessMemory(process, remote + kBlock, block, sizeof block, &moved) &&
            (size == 0 || ReadProcessMemory(process, remote + kData, data, size, &moved))) {
            result = block[5];
            ok = true;
        }
        if (thread) CloseHandle(thread);
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return ok;
}

bool RemoteScrollInfo(const Program& program, HWND window, int bar, SCROLLINFO& info) {
    SCROLLINFO query{};
    query.cbSize = sizeof query;
    query.fMask = SIF_ALL;
    uint64_t result = 0;
    if (!RemoteCall(program, "GetScrollInfo",
                    {reinterpret_cast<uint64_t>(window), static_cast<uint64_t>(bar), kRemoteData}, result, &query,
                    sizeof query) ||
        static_cast<uint32_t>(result) == 0)
        return false;
    info = query;
    return true;
}

int CheckedNumericType(const Program& program) {
    const auto menu = reinterpret_cast<uint64_t>(GetMenu(program.main()));
    if (!menu) return -2;
    int checked = -1;
    for (int type = 0; type < 4; ++type) {
        uint64_t state = 0;
        if (!RemoteCall(program, "GetMenuState", {menu, static_cast<uint64_t>(CM_CPU_FIXED + type), MF_BYCOMMAND},
                        state))
            return -2;
        const auto flags = static_cast<uint32_t>(state);
        if (flags == 0xFFFFFFFFu) return -2;  // no such item
        if (flags & MF_CHECKED) checked = checked == -1 ? type : 4;
    }
    return checked == 4 ? -1 : checked;
}

// --- Help requests ---------------------------------------------------------------

HelpViewerStandIn::HelpViewerStandIn() {
    InitializeCriticalSection(&lock_);
    created_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    if (thread_) WaitForSingleObject(created_, kDeadlineMs);
}

HelpViewerStandIn::~HelpViewerStandIn() {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    if (thread_) {
        WaitForSingleObject(thread_, kDeadlineMs);
        CloseHandle(thread_);
    }
    if (created_) CloseHandle(created_);
    DeleteCriticalSection(&lock_);
}

std::vector<HelpViewerStandIn::Request> HelpViewerStandIn::Requests() const {
    EnterCriticalSection(&lock_);
    std::vector<Request> copy = requests_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI HelpViewerStandIn::Run(void* parameter) {
    auto* self = static_cast<HelpViewerStandIn*>(parameter);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MS_WINHELP";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "MS_WINHELP", "Help stand-in", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
    SetEvent(self->created_);
    if (!window) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

LRESULT CALLBACK HelpViewerStandIn::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HelpViewerStandIn*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && self) {
        // WinHelpA's record: size, command (16 bits each), data, reserved
        // (32 bits each), then the offsets of the file name and of the text.
        const auto* copied = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* bytes = static_cast<const uint8_t*>(copied->lpData);
        Request request;
        request.caller = reinterpret_cast<HWND>(wParam);
        if (bytes && copied->cbData >= 16) {
            uint16_t command = 0, ofsFile = 0, ofsData = 0;
            std::memcpy(&command, bytes + 2, 2);
            std::memcpy(&ofsFile, bytes + 12, 2);
            std::memcpy(&ofsData, bytes + 14, 2);
            request.command = command;
            auto text = [&](uint16_t at) {
                std::string t;
                for (size_t i = at; at && i < copied->cbData && bytes[i]; ++i) t += static_cast<char>(bytes[i]);
                return t;
            };
            request.file = text(ofsFile);
            request.keyword = text(ofsData);
        }
        EnterCriticalSection(&self->lock_);
        self->requests_.push_back(request);
        LeaveCriticalSection(&self->lock_);
        return TRUE;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// --- Dialogs of another process -------------------------------------------------

namespace {

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& ok) {
    DWORD_PTR result = 0;
    ok = window && SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, Scaled(5000), &result);
    return static_cast<LRESULT>(result);
}

}  // namespace

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

bool TypeInto(HWND dialog, int id, const std::string& text) {
    HWND field = GetDlgItem(dialog, id);
    bool ok = false;
    SendTo(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), ok);
    if (!ok) return false;
    SendTo(field, EM_SETMODIFY, TRUE, 0, ok);
    return ok;
}

bool Press(HWND dialog, int id) {
    bool ok = false;
    SendTo(GetDlgItem(dialog, id), BM_CLICK, 0, 0, ok);
    return ok;
}

void PressLater(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool IsChecked(HWND dialog, int id) {
    bool ok = false;
    return SendTo(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, ok) == BST_CHECKED && ok;
}

TextRange SelectionOf(HWND dialog, int id) {
    bool ok = false;
    const LRESULT both = SendTo(GetDlgItem(dialog, id), EM_GETSEL, 0, 0, ok);
    if (!ok) return {};
    return TextRange{LOWORD(both), HIWORD(both)};
}

std::string MessageText(HWND box) { return ItemText(box, 0xFFFF); }

int DefaultButtonOf(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == "Button" && (GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return GetDlgCtrlID(child);
    return 0;
}

bool WaitClosed(HWND window, DWORD ms) {
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
}

bool WaitDestroyed(HWND window, DWORD ms) {
    return WaitUntil([&] { return !IsWindow(window); }, ms);
}

bool ClickCaption(HWND window) {
    const RECT frame = WindowRectOf(window);
    const RECT client = ClientRectOnScreen(window);
    // Frame and caption lie above the menu bar; aim at their middle, left of
    // the caption buttons.
    const int menu = GetMenu(window) ? GetSystemMetrics(SM_CYMENU) : 0;
    const int y = (frame.top + client.top - menu) / 2;
    const int x = frame.left + 60;
    if (!MouseTo(x, y) || !Xdo("click 1")) return false;
    return WaitUntil([&] { return GetForegroundWindow() == window; }, 5000);
}

// --- Unix side ------------------------------------------------------------------

bool RunUnix(const std::string& command, DWORD ms) {
    static int counter = 0;
    const std::string done = ScratchFolder() + "/done-" + std::to_string(++counter);
    // No double quotes inside `command`: the line goes through Windows
    // command-line parsing on its way to sh.
    std::string line = "/bin/sh -c \"(" + command + ") </dev/null >/dev/null 2>&1; echo $? >" + done +
                       ".tmp; mv " + done + ".tmp " + done + "\"";
    if (!testsupport::StartUnix(line)) {
        ADD_FAILURE() << "cannot start: " << line;
        return false;
    }
    const std::string donePath = DosPath(done);
    std::vector<uint8_t> status;
    WaitUntil(
        [&] {
            status = ReadFileBytes(donePath);
            return !status.empty();
        },
        ms);
    DeleteFileA(donePath.c_str());
    if (status.empty()) {
        ADD_FAILURE() << "did not finish in time: " << command;
        return false;
    }
    if (status[0] != '0') {
        ADD_FAILURE() << "failed with status " << std::string(status.begin(), status.end()) << ": " << command;
        return false;
    }
    return true;
}

bool Xdo(const std::string& arguments) { return RunUnix("xdotool " + arguments); }

bool MouseTo(int x, int y) {
    if (!Xdo("mousemove " + std::to_string(x + desktopOrigin.x) + " " + std::to_string(y + desktopOrigin.y)))
        return false;
    // Wine sees the pointer once the X event has been processed.
    return WaitUntil(
        [&] {
            POINT p{};
            GetCursorPos(&p);
            return p.x == x && p.y == y;
        },
        5000);
}

bool Key(const std::string& keys) { return Xdo("key " + keys); }

int64_t UnixNanoseconds() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const int64_t ticks = static_cast<int64_t>((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    return (ticks - 116444736000000000LL) * 100;  // from 1601 in 100 ns to 1970 in ns
}

bool KeyTimed(const std::string& keys, int64_t& sentNs) {
    static int counter = 0;
    const std::string stamp = ScratchFolder() + "/key-" + std::to_string(++counter);
    // The stamp is taken by xdotool itself, once it is connected, right
    // before the key: its own start is not what is measured.
    if (!RunUnix("xdotool exec --sync --args 3 sh -c 'date +%s%N >" + stamp + "' key --delay 0 " + keys)) return false;
    const std::string text = ReadFileText(DosPath(stamp));
    DeleteFileA(DosPath(stamp).c_str());
    sentNs = std::strtoll(text.c_str(), nullptr, 10);
    return sentNs > 0;
}

uint32_t Capture::At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y - top) * width + (x - left)) * 3;
    return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
}

bool CaptureScreen(const RECT& area, Capture& capture) {
    static int counter = 0;
    capture.left = area.left;
    capture.top = area.top;
    capture.width = Width(area);
    capture.height = Height(area);
    const std::string file = ScratchFolder() + "/capture-" + std::to_string(++counter) + ".rgb";
    const std::string geometry = std::to_string(capture.width) + "x" + std::to_string(capture.height) + "+" +
                                 std::to_string(area.left + desktopOrigin.x) + "+" +
                                 std::to_string(area.top + desktopOrigin.y);
    if (!RunUnix("import -window root -crop " + geometry + " +repage -depth 8 rgb:" + file)) return false;
    capture.rgb = ReadFileBytes(DosPath(file));
    DeleteFileA(DosPath(file).c_str());
    return capture.rgb.size() == static_cast<size_t>(capture.width) * capture.height * 3;
}

std::string Screenshot(const std::string& name) {
    std::string safe;
    for (char c : name) safe += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ? c : '_';
    const std::string file = ScreenshotFolder() + "/" + safe + ".png";
    return RunUnix("import -window root " + file) ? file : std::string();
}

// --- Images -------------------------------------------------------------------

namespace {
int32_t Int32At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
                                uint32_t{b[at + 3]} << 24);
}
}  // namespace

int Bmp::width() const { return bytes.size() >= 54 ? Int32At(bytes, 18) : 0; }
int Bmp::height() const { return bytes.size() >= 54 ? Int32At(bytes, 22) : 0; }

uint8_t Bmp::Index(int x, int y) const {
    return bytes[static_cast<size_t>(Int32At(bytes, 10)) + static_cast<size_t>(height() - 1 - y) * stride() + x];
}

uint32_t Bmp::Colour(int x, int y) const {
    const size_t entry = 54 + 4 * size_t{Index(x, y)};
    return (uint32_t{bytes[entry + 2]} << 16) | (uint32_t{bytes[entry + 1]} << 8) | bytes[entry];
}

const Expected& StartView() {
    static const Expected expected = [] {
        Expected e;
        RenderOptions options;  // the defaults are the program's start view
        options.output = DosPath(ScratchFolder() + "/start-view.bmp");
        RenderResult result;
        std::string error;
        if (!Render(options, result, error)) {
            ADD_FAILURE() << "renderer: " << error;
            return e;
        }
        e.image.bytes = ReadFileBytes(options.output);
        e.min = result.stats.min;
        e.max = result.stats.max;
        return e;
    }();
    return expected;
}

Rendered RenderView(const RenderOptions& options) {
    static int counter = 0;
    Rendered rendered;
    RenderOptions o = options;
    o.output = DosPath(ScratchFolder() + "/view-" + std::to_string(++counter) + ".bmp");
    std::string error;
    if (!Render(o, rendered.result, error)) {
        ADD_FAILURE() << "renderer: " << error;
        return rendered;
    }
    rendered.image.bytes = ReadFileBytes(o.output);
    DeleteFileA(o.output.c_str());
    return rendered;
}

IterationStatistics EscapeCounts(const RenderOptions& o, const PixelRect& rect) {
    // The renderer's calculation, kept for the question instead of written.
    ColourState palette;
    uint8_t table[kColourTableBytes] = {};
    GeneratePalette(palette, 32, table, o.palette);
    DibImage image;
    IterationStatistics stats{};
    if (!image.TryCreate(o.width, o.height, table)) {
        ADD_FAILURE() << "cannot create an image of " << o.width << " x " << o.height;
        return stats;
    }
    CalcState state;
    CreateCalcState(state, &image);
    ColourParams colours;
    colours.ColourCount = palette.ColourCount;
    const CoordinateSet view = OptionsView(o);
    struct Silent : PrecisionPrompt {
        bool Confirm(NumericType, bool, const char*, unsigned) override { return true; }
    } prompt;
    RunSetUp(state, SetUpContext{prompt, true}, view, colours, static_cast<NumericType>(o.numericType));
    if (state.Status == SetUpStatus::Ready) {
        CalculateToEnd(state);
        stats = IterationStats(state, rect);
    } else {
        ADD_FAILURE() << "the engine could not set up the view";
    }
    ReleaseWorkBuffers(state);
    image.Release();
    return stats;
}

bool EmptyClipboardNow() {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    CloseClipboard();
    return true;
}

std::vector<uint8_t> ClipboardDib() {
    std::vector<uint8_t> dib;
    if (!IsClipboardFormatAvailable(CF_DIB) || !OpenClipboard(nullptr)) return dib;
    if (HANDLE block = GetClipboardData(CF_DIB)) {
        if (const void* bytes = GlobalLock(block)) {
            dib.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + GlobalSize(block));
            GlobalUnlock(block);
        }
    }
    CloseClipboard();
    return dib;
}

namespace {

// "" when the packed DIB holds the file's header, colour table and rows.
std::string DibDiffers(const std::vector<uint8_t>& dib, const Bmp& expected) {
    const std::vector<uint8_t>& file = expected.bytes;
    if (file.size() < 54 + 1024) return "no expected image";
    const size_t size = file.size() - 14;
    if (dib.size() < size) return "clipboard DIB of " + std::to_string(dib.size()) + " bytes, " +
                                  std::to_string(size) + " expected";
    if (!std::equal(file.begin() + 14, file.begin() + 54, dib.begin()))
        return "other bitmap header: " + std::to_string(Int32At(dib, 4)) + " x " + std::to_string(Int32At(dib, 8)) +
               " instead of " + std::to_string(expected.width()) + " x " + std::to_string(expected.height());
    if (!std::equal(file.begin() + 54, file.begin() + 54 + 1024, dib.begin() + 40)) return "other colour table";
    const size_t rows = static_cast<size_t>(Int32At(file, 10)) - 14;
    int wrong = 0;
    std::string first;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const size_t at = static_cast<size_t>(expected.height() - 1 - y) * expected.stride() + x;
            const uint8_t got = dib[rows + at];
            const uint8_t want = file[rows + 14 + at];
            if (got != want && wrong++ == 0)
                first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + "): index " +
                        std::to_string(got) + " instead of " + std::to_string(want);
        }
    return wrong ? std::to_string(wrong) + " pixels differ, " + first : std::string();
}

}  // namespace

std::string ClipboardDiffers(const Program& program, const Bmp& expected, DWORD ms) {
    std::string why = "nothing on the clipboard";
    WaitUntil(
        [&] {
            if (!EmptyClipboardNow()) return false;
            program.Command(CM_COPY);
            std::vector<uint8_t> dib;
            if (!WaitUntil(
                    [&] {
                        dib = ClipboardDib();
                        return !dib.empty();
                    },
                    5000))
                return false;
            why = DibDiffers(dib, expected);
            return why.empty();
        },
        ms);
    return why;
}

bool ReadyCounts(const std::string& ready, int& min, int& max) {
    const size_t at = ready.find("Iterations: Min.: ");
    if (ready.rfind("Ready (", 0) != 0 || at == std::string::npos) return false;
    return std::sscanf(ready.c_str() + at, "Iterations: Min.: %d, Max.: %d)", &min, &max) == 2;
}

std::string ReadFileText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteFileText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    CloseHandle(file);
    return ok;
}

std::vector<DWORD> ProcessesNamed(const char* exeName) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (_stricmp(entry.szExeFile, exeName) == 0) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

namespace {

// The program reads its Welcome setting from quaxel.ini in the Windows
// folder; the suite starts it without the dialog, which would cover the
// image. Also measures where the desktop lies on the X screen.
class Environment : public testing::Environment {
public:
    void SetUp() override {
        WritePrivateProfileStringA("Quaxel", "Welcome", "0", "quaxel.ini");
        GetDesktopWindow();
        screenSize = SIZE{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
        ASSERT_GT(screenSize.cx, 0) << "no screen size";
        POINT before{}, p{};
        GetCursorPos(&before);
        const int x = 517, y = 389;
        ASSERT_TRUE(Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)));
        ASSERT_TRUE(WaitUntil(
            [&] {
                GetCursorPos(&p);
                return p.x != before.x || p.y != before.y;
            },
            5000))
            << "the pointer moved by xdotool never reached Wine";
        desktopOrigin = POINT{x - p.x, y - p.y};
        ASSERT_TRUE(MouseTo(p.x + 10, p.y + 10)) << "X and desktop co-ordinates do not map by an offset";
    }
};

// A picture of the screen at a test's first failure, while its program still
// shows the state that failed.
class ScreenshotOnFailure : public testing::EmptyTestEventListener {
    bool taken_ = false;
    bool taking_ = false;
    void OnTestStart(const testing::TestInfo&) override { taken_ = false; }
    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (!result.failed() || taken_ || taking_) return;
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        if (!test) return;
        taken_ = taking_ = true;
        const std::string file = Screenshot(std::string("FAILED-") + test->test_suite_name() + "." + test->name());
        taking_ = false;
        std::printf("[ screenshot ] %s\n", file.empty() ? "(could not be taken)" : file.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

}  // namespace e2e

// The program benchmark brings its own.
#ifndef QUAXEL_E2E_NO_MAIN
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new e2e::Environment);
    testing::UnitTest::GetInstance()->listeners().Append(new e2e::ScreenshotOnFailure);
    return RUN_ALL_TESTS();
}
#endif
