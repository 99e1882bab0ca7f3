#include "Harness.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "HostPath.h"
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
// once by the environment below.
POINT desktopOrigin{0, 0};

}  // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
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
                                        SMTO_ABORTIFHUNG, 5000, &copied))
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
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                        &startup, &info_)) {
        failure_ = "cannot start " + exe;
        return;
    }
    WaitUntil([&] {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0) return true;  // ended early
        for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "Quaxel", nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == info_.dwProcessId && IsWindowVisible(w)) {
                main_ = w;
                return true;
            }
        }
        return false;
    });
    if (!main_) failure_ = "no visible window of class \"Quaxel\" appeared";
}

Program::~Program() {
    if (info_.hProcess) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, kDeadlineMs);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
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

HWND Program::FindWindowOfProcess(const char* windowClass,
                                  const std::function<bool(const std::string&)>& caption, DWORD ms) const {
    HWND result = nullptr;
    WaitUntil(
        [&] {
            for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, windowClass, nullptr)) != nullptr;) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == id() && IsWindowVisible(w) && caption(WindowText(w))) {
                    result = w;
                    return true;
                }
            }
            return false;
        },
        ms);
    return result;
}

bool Program::WaitEnded(DWORD ms, DWORD& exitCode) const {
    if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(info_.hProcess, &exitCode) != FALSE;
}

bool Program::Activate() const {
    const RECT frame = WindowRectOf(main_);
    const RECT client = ClientRectOnScreen(main_);
    // Frame and caption lie above the menu bar; aim at their middle, left of
    // the caption buttons.
    const int menu = GetMenu(main_) ? GetSystemMetrics(SM_CYMENU) : 0;
    const int y = (frame.top + client.top - menu) / 2;
    const int x = frame.left + 60;
    if (!MouseTo(x, y) || !Xdo("click 1")) return false;
    return WaitUntil([&] { return GetForegroundWindow() == main_; }, 5000);
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

struct ScrollQuery {
    HWND window;
    int32_t bar;
    int32_t pad;
    SCROLLINFO info;
};

}  // namespace

bool RemoteScrollInfo(const Program& program, HWND window, int bar, SCROLLINFO& info) {
    const uintptr_t localUser32 = reinterpret_cast<uintptr_t>(GetModuleHandleA("user32.dll"));
    const uintptr_t remoteUser32 = ModuleBase(program.id(), "user32.dll");
    const auto local = reinterpret_cast<uintptr_t>(
        reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(localUser32), "GetScrollInfo")));
    if (!localUser32 || !remoteUser32 || !local) return false;
    const uint64_t function = remoteUser32 + (local - localUser32);

    // x64: the thread's parameter (rcx) points to a ScrollQuery.
    //   push rbx; sub rsp, 32; mov rbx, rcx; mov rcx, [rbx]; mov edx, [rbx+8];
    //   lea r8, [rbx+16]; mov rax, function; call rax; add rsp, 32; pop rbx; ret
    uint8_t code[64] = {0x53, 0x48, 0x83, 0xEC, 0x20, 0x48, 0x89, 0xCB, 0x48, 0x8B, 0x0B, 0x8B, 0x53,
                        0x08, 0x4C, 0x8D, 0x43, 0x10, 0x48, 0xB8};
    std::memcpy(code + 20, &function, 8);
    const uint8_t tail[] = {0xFF, 0xD0, 0x48, 0x83, 0xC4, 0x20, 0x5B, 0xC3};
    std::memcpy(code + 28, tail, sizeof tail);

    ScrollQuery query{window, bar, 0, {}};
    query.info.cbSize = sizeof query.info;
    query.info.fMask = SIF_ALL;

    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                     PROCESS_VM_READ | PROCESS_VM_WRITE,
                                 FALSE, program.id());
    if (!process) return false;
    bool ok = false;
    auto* remote = static_cast<uint8_t*>(
        VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    SIZE_T moved = 0;
    if (remote && WriteProcessMemory(process, remote, code, sizeof code, &moved) &&
        WriteProcessMemory(process, remote + sizeof code, &query, sizeof query, &moved)) {
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(remote),
                                           remote + sizeof code, 0, nullptr);
        DWORD result = 0;
        if (thread && WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &result) &&
            result && ReadProcessMemory(process, remote + sizeof code, &query, sizeof query, &moved)) {
            info = query.info;
            ok = true;
        }
        if (thread) CloseHandle(thread);
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return ok;
}

// --- Unix side ------------------------------------------------------------------

bool RunUnix(const std::string& command, DWORD ms) {
    static int counter = 0;
    const std::string done = ScratchFolder() + "/done-" + std::to_string(++counter);
    // No double quotes inside `command`: the line goes through Windows
    // command-line parsing on its way to sh.
    std::string line = "/bin/sh -c \"(" + command + ") </dev/null >/dev/null 2>&1; echo $? >" + done +
                       ".tmp; mv " + done + ".tmp " + done + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start: " << line;
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
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

namespace {

// The program reads its Welcome setting from quaxel.ini in the Windows
// folder; the suite starts it without the dialog, which would cover the
// image. Also measures where the desktop lies on the X screen.
class Environment : public testing::Environment {
public:
    void SetUp() override {
        WritePrivateProfileStringA("Quaxel", "Welcome", "0", "quaxel.ini");
        GetDesktopWindow();
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

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new e2e::Environment);
    testing::UnitTest::GetInstance()->listeners().Append(new e2e::ScreenshotOnFailure);
    return RUN_ALL_TESTS();
}
