// Installs and uninstalls an unpacked package folder (QUAXEL_PACKAGE_DIR, laid
// out by tools/package.sh --stage-only) the way a user does: setup.exe and
// its "Installation" question, the shell's Install action on install.inf, the
// refusal of a second run, and the Uninstall entry's command.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "ProcessWin.h"

namespace {

const std::string kVersion = PACKAGE_VERSION;
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quaxel";
// Stretched by QUAXEL_TIME_FACTOR: the 32-bit build runs under emulation.
const DWORD kDeadlineMs = testsupport::Scaled(30000);

bool Expired(DWORD deadline) { return testsupport::Remaining(deadline) == 0; }

constexpr char kMissing[] = "(no such value)";

std::string UninstallValue(const char* name) {
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    const LONG result = RegGetValueA(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, data, &size);
    return result == ERROR_SUCCESS ? data : kMissing;
}

bool UninstallKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string StartMenuFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::string(path) + "\\Quaxel";
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Whatever the test leaves behind in the shared prefix goes at the end.
struct Cleanup {
    ~Cleanup() {
        RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
        for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
            DeleteFileA((StartMenuFolder(csidl) + "\\Quaxel.lnk").c_str());
            RemoveDirectoryA(StartMenuFolder(csidl).c_str());
        }
    }
};

using testsupport::Process;

// The exit code, or STILL_ACTIVE when the process outlives the deadline.
DWORD WaitForExit(const Process& process) {
    DWORD code = STILL_ACTIVE;
    return process.WaitEnded(kDeadlineMs, code) ? code : STILL_ACTIVE;
}

HWND AnswerBox(const Process& process, const char* caption, int button, std::string* text = nullptr) {
    HWND box = process.WaitForDialog(caption, kDeadlineMs);
    if (!box) return nullptr;
    char buffer[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);  // the box's text control
    if (text) *text = buffer;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return box;
}

TEST(Package, SetupInstallsAndTheUninstallEntryRemovesIt) {
    char hostFolder[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA("QUAXEL_PACKAGE_DIR", hostFolder, MAX_PATH), 0u)
        << "run through tests/package/package-test.sh";
    const std::string folder = WindowsPathOf(hostFolder);
    const std::string setupExe = folder + "\\setup.exe";
    ASSERT_TRUE(FileExists(setupExe)) << setupExe;
    ASSERT_FALSE(UninstallKeyExists()) << "Quaxel is already installed in this prefix";
    Cleanup cleanup;

    // Wine's ProfileItems ignores the current-user flag (the shortcut goes to
    // the All Users menu), cannot resolve DIRID 1 in CmdLine and does not
    // delete profile items.
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    const std::string menuFolder = StartMenuFolder(wine ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
    const std::string link = menuFolder + "\\Quaxel.lnk";

    const DWORD deadline = GetTickCount() + kDeadlineMs;
    {
        Process setup("\"" + setupExe + "\"", folder);
        ASSERT_TRUE(setup.started());
        ASSERT_NE(AnswerBox(setup, "Installation", IDYES), nullptr) << "no \"Installation\" question";
        EXPECT_EQ(setup.WaitForDialog("Installation failed", kDeadlineMs), nullptr);
        EXPECT_EQ(WaitForExit(setup), 0u);
    }
    // The shell runs install.inf in a process of its own that outlives setup:
    // the registry entry comes first, the shortcut last.
    while ((UninstallValue("Version") == kMissing || !FileExists(link)) && !Expired(deadline)) Sleep(100);
    ASSERT_EQ(UninstallValue("Version"), kVersion);
    EXPECT_EQ(UninstallValue("DisplayVersion"), kVersion);
    EXPECT_EQ(UninstallValue("DisplayName"), "Quaxel");
    EXPECT_EQ(UninstallValue("Publisher"), "The Quaxel authors");
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const auto uninstall = UninstallValue("UninstallString");
    ASSERT_EQ(uninstall, std::string(system) + "\\rundll32.exe setupapi,InstallHinfSection DefaultUninstall 132 " +
                             folder + "\\install.inf");

    ASSERT_TRUE(FileExists(link)) << link;

    {
        Process again("\"" + setupExe + "\"", folder);
        ASSERT_TRUE(again.started());
        std::string text;
        ASSERT_NE(AnswerBox(again, "Program Quaxel already installed", IDOK, &text), nullptr)
            << "a second setup did not see the installed version";
        EXPECT_EQ(text, "Version " + kVersion + " is already installed.\nYou are attempting to install " + kVersion +
                            ".\nPlease remove the old version via Start / Control Panel / Add/Remove Programs.\n"
                            "Then run SETUP again to install the new version.");
        EXPECT_EQ(WaitForExit(again), 0u);
    }

    {
        Process remove(uninstall);
        ASSERT_TRUE(remove.started()) << uninstall;
        EXPECT_EQ(WaitForExit(remove), 0u);
    }
    EXPECT_FALSE(UninstallKeyExists());
    if (!wine) {
        EXPECT_FALSE(FileExists(link));
        EXPECT_FALSE(FileExists(menuFolder));
    }
}

}  // namespace
