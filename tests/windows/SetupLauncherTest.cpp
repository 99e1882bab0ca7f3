// Drives the real setup.exe: runs it in a fresh folder, finds the message box
// it shows by its caption, reads the text, presses a button and checks that
// the program ends with exit code 0.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ProcessWin.h"
#include "tests/SetupExpectedTexts.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;
constexpr int kMessageTextId = 0xFFFF;  // the static control holding a message box's text
constexpr auto& kUninstallKey = setuptest::kUninstallKeyPrefix;

using setuptest::kFailedText;
using setuptest::kInvalidText;
using setuptest::kQuestionText;

using testsupport::Process;
using testsupport::Remaining;
using testsupport::WindowsOf;

std::string SetupExe() { return WindowsPathOf(SETUP_EXE_PATH); }

// A unique project name per test, so no two runs share an Uninstall key.
std::string ProjectName(const char* tag) {
    return std::string("QuaxelSetupTest-") + tag + "-" + std::to_string(GetCurrentProcessId());
}

// An empty folder under the prefix's temp folder, removed with what it holds.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "setup-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const auto& file : files_) DeleteFileA(file.c_str());
        RemoveDirectoryA(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

    void WriteInstallInf(const std::string& project, const std::string& version) {
        const std::string text = "[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n[Brelmor]\r\nProjekt=" +
                                 project + "\r\nVersion=" + version + "\r\n";
        const std::string file = path_ + "\\install.inf";
        HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        files_.push_back(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        CloseHandle(handle);
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

// An Uninstall entry with a "Version" value, deleted again at the end.
class UninstallEntry {
public:
    UninstallEntry(HKEY hive, const std::string& project, const char* version)
        : hive_(hive), path_(kUninstallKey + project) {
        HKEY key = nullptr;
        created_ = RegCreateKeyExA(hive_, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                   nullptr) == ERROR_SUCCESS;
        if (!created_) return;
        written_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                  static_cast<DWORD>(strlen(version) + 1)) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~UninstallEntry() {
        if (created_) RegDeleteKeyA(hive_, path_.c_str());
    }
    UninstallEntry(const UninstallEntry&) = delete;
    UninstallEntry& operator=(const UninstallEntry&) = delete;

    bool ok() const { return created_ && written_; }

private:
    HKEY hive_;
    std::string path_;
    bool created_ = false;
    bool written_ = false;
};

uint64_t CreationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

// One run of setup.exe, every wait of it against one deadline from its
// start. Whatever a failed assertion leaves running, the destructor ends:
// the program and anything it started.
class SetupRun {
public:
    explicit SetupRun(const std::string& folder) : process_(Start(folder)), deadline_(GetTickCount() + kDeadlineMs) {}
    ~SetupRun() {
        if (!started()) return;
        process_.End();
        EndChildren();
    }
    SetupRun(const SetupRun&) = delete;
    SetupRun& operator=(const SetupRun&) = delete;

    bool started() const { return process_.started(); }

    // The dialog of class "#32770" with this caption that the program shows,
    // or nullptr when the deadline passes or the program ends first.
    HWND WaitForBox(const char* caption) const { return process_.WaitForDialog(caption, Remaining(deadline_)); }

    // Exit code once the program has ended; STILL_ACTIVE on timeout.
    DWORD WaitForExit() const {
        DWORD code = STILL_ACTIVE;
        if (!process_.WaitEnded(Remaining(deadline_), code)) return STILL_ACTIVE;
        return code;
    }

    // Processes the program started (the shell's "Install" action), given
    // until the deadline to finish, then ended. Returns how many had to be ended.
    int EndChildren() {
        int ended = 0;
        for (HANDLE handle : Children()) {
            if (WaitForSingleObject(handle, Remaining(deadline_)) == WAIT_TIMEOUT) {
                TerminateProcess(handle, 1);
                WaitForSingleObject(handle, kDeadlineMs);
                ++ended;
            }
            CloseHandle(handle);
        }
        return ended;
    }

    // Processes the program started that are still running. Wine reuses
    // process ids at once, so a process that merely names our id as its
    // parent counts only if it was created after the program. Wine's
    // desktop (explorer.exe) belongs to the session, whoever started it.
    std::vector<HANDLE> Children() const {
        std::vector<HANDLE> children;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return children;
        const uint64_t parentCreated = CreationTime(process_.handle());
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (entry.th32ParentProcessID != process_.id() || entry.th32ProcessID == process_.id() ||
                lstrcmpiA(entry.szExeFile, "explorer.exe") == 0) {
                continue;
            }
            constexpr DWORD kAccess = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE;
            HANDLE handle = OpenProcess(kAccess, FALSE, entry.th32ProcessID);
            if (!handle) continue;
            if (parentCreated != 0 && CreationTime(handle) >= parentCreated) {
                children.push_back(handle);
            } else {
                CloseHandle(handle);
            }
        }
        CloseHandle(snapshot);
        return children;
    }

    // Visible top-level windows of the program.
    int VisibleWindows() const {
        const std::vector<HWND> windows = WindowsOf(process_.id());
        return static_cast<int>(std::count_if(windows.begin(), windows.end(), IsWindowVisible));
    }

    size_t ChildCount() const {
        const auto children = Children();
        for (HANDLE handle : children) CloseHandle(handle);
        return children.size();
    }

private:
    static Process Start(const std::string& folder) {
        // Brings up Wine's desktop process here rather than in the program.
        GetDesktopWindow();
        return Process("\"" + SetupExe() + "\"", folder, SetupExe());
    }

    Process process_;
    DWORD deadline_;
};

std::string TextOf(HWND box) {
    char text[2048] = {};
    GetDlgItemTextA(box, kMessageTextId, text, sizeof text);
    return text;
}

bool HasButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

void Press(HWND box, int id) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

// A box with only an OK button and no owner window.
void ExpectWarningBox(HWND box) {
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    EXPECT_TRUE(HasButton(box, IDOK));
    EXPECT_FALSE(HasButton(box, IDYES));
    EXPECT_FALSE(HasButton(box, IDNO));
    EXPECT_FALSE(HasButton(box, IDCANCEL));
}

// The question with Yes and No, pressed with `answer`.
void AnswerQuestion(SetupRun& run, int answer) {
    HWND box = run.WaitForBox("Installation");
    ASSERT_NE(box, nullptr) << "no \"Installation\" question";
    EXPECT_EQ(TextOf(box), kQuestionText);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    EXPECT_TRUE(HasButton(box, IDYES));
    EXPECT_TRUE(HasButton(box, IDNO));
    EXPECT_FALSE(HasButton(box, IDOK));
    EXPECT_FALSE(HasButton(box, IDCANCEL));
    Press(box, answer);
}

TEST(SetupLauncher, WithoutInstallInfItReportsAnInvalidFile) {
    TempFolder folder;
    SetupRun run(folder.path());
    ASSERT_TRUE(run.started()) << SetupExe();

    HWND box = run.WaitForBox("Invalid INSTALL.INF file");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), kInvalidText);
    ExpectWarningBox(box);
    EXPECT_EQ(run.VisibleWindows(), 1) << "the program has no window of its own";
    Press(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
}

TEST(SetupLauncher, AnInstalledVersionOfTheCurrentUserIsRefused) {
    const std::string project = ProjectName("installed");
    UninstallEntry entry(HKEY_CURRENT_USER, project, "1.0");
    ASSERT_TRUE(entry.ok());
    TempFolder folder;
    folder.WriteInstallInf(project, "2.0");
    SetupRun run(folder.path());
    ASSERT_TRUE(run.started());

    const std::string caption = "Program " + project + " already installed";
    HWND box = run.WaitForBox(caption.c_str());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box),
              "Version 1.0 is already installed.\nYou are attempting to install 2.0.\n"
              "Please remove the old version via Start / Control Panel / Add/Remove Programs.\n"
              "Then run SETUP again to install the new version.");
    ExpectWarningBox(box);
    Press(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(run.ChildCount(), 0u) << "the program started a process";
}

TEST(SetupLauncher, NoEndsWithoutStartingTheInstallation) {
    const std::string project = ProjectName("no");
    TempFolder folder;
    folder.WriteInstallInf(project, "2.0");
    SetupRun run(folder.path());
    ASSERT_TRUE(run.started());

    AnswerQuestion(run, IDNO);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(run.ChildCount(), 0u) << "the program started a process";
}

TEST(SetupLauncher, AnEntryInTheMachineHiveDoesNotBlock) {
    const std::string project = ProjectName("machine");
    UninstallEntry entry(HKEY_LOCAL_MACHINE, project, "1.0");
    ASSERT_TRUE(entry.ok());
    TempFolder folder;
    folder.WriteInstallInf(project, "2.0");
    SetupRun run(folder.path());
    ASSERT_TRUE(run.started());

    AnswerQuestion(run, IDNO);
    EXPECT_EQ(run.WaitForExit(), 0u);
}

// Wine hands the INF to rundll32 setupapi,InstallHinfSection; whether that
// counts as launched or failed, the program ends with 0 and leaves nothing behind.
TEST(SetupLauncher, YesHandsInstallInfToTheShell) {
    const std::string project = ProjectName("yes");
    TempFolder folder;
    folder.WriteInstallInf(project, "2.0");
    SetupRun run(folder.path());
    ASSERT_TRUE(run.started());

    AnswerQuestion(run, IDYES);
    HWND failed = run.WaitForBox("Installation failed");
    if (failed) {
        EXPECT_EQ(TextOf(failed), kFailedText);
        ExpectWarningBox(failed);
        Press(failed, IDOK);
    }
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(run.EndChildren(), 0) << "the shell's Install action was still running at the deadline";
}

}  // namespace
