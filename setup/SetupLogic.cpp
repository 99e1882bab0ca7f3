#include "setup/SetupLogic.h"

#include <cstring>
#include <string>

namespace {

constexpr char kInfFile[] = ".\\install.inf";
constexpr char kInfSection[] = "Brelmor";

constexpr char kInvalidCaption[] = "Invalid INSTALL.INF file";
constexpr char kInvalidText[] =
    "The file INSTALL.INF could not be found in the current directory or it is damaged!";
constexpr char kQuestionCaption[] = "Installation";
constexpr char kQuestionText[] =
    "Choose YES to create a new folder in the START-Menu with shortcuts for this application; "
    "files will *not* be copied.\n"
    "Please copy or move all files to a folder of your choice before running SETUP if you do not "
    "want to keep the files at their current location.\n\n"
    "Shortcuts can be removed using Control Panel / Add/Remove Programs.\n\n"
    "Create shortcuts for this application?";
constexpr char kFailedCaption[] = "Installation failed";
constexpr char kFailedText[] =
    "Executing INSTALL.INF failed.\n"
    "You can start installation manually by clicking the right mouse button on INSTALL.INF and "
    "selecting INSTALL.";

constexpr uint32_t kWarning = kMbOk | kMbIconExclamation | kMbTaskModal;
constexpr uint32_t kQuestion = kMbYesNo | kMbIconInformation | kMbTaskModal;

// ShellExecuteA reports failure as a value of 32 or less.
constexpr intptr_t kLastShellError = 32;

void ReadInfValue(SetupPlatform& platform, const char* key, char (&value)[kProfileBufferSize]) {
    value[0] = '\0';
    platform.ReadProfileString(kInfSection, key, "", value, kProfileBufferSize, kInfFile);
    value[kProfileBufferSize - 1] = '\0';
}

// False when the project name does not fit: a truncated name would look up
// some other project's key.
bool BuildUninstallKeyPath(const char* project, char (&path)[kKeyPathBufferSize]) {
    const size_t length = std::strlen(project);
    if (length > kMaxProjectNameLength) return false;
    std::memcpy(path, kUninstallKeyPrefix, kUninstallKeyPrefixLength);
    std::memcpy(path + kUninstallKeyPrefixLength, project, length + 1);
    return true;
}

// The current user's record of an installed copy. A key or value that cannot
// be read, or a value that does not fit, means not installed.
bool ReadInstalledVersion(SetupPlatform& platform, const char* keyPath,
                          char (&version)[kVersionValueBytes + 1]) {
    HKEY__* key = nullptr;
    if (platform.OpenKey(RegistryHive::CurrentUser, keyPath, 0, kKeyRead, &key) != kErrorSuccess) {
        return false;
    }
    uint32_t size = kVersionValueBytes;
    const int32_t result =
        platform.QueryValue(key, "Version", nullptr, reinterpret_cast<uint8_t*>(version), &size);
    platform.CloseKey(key);
    if (result != kErrorSuccess) return false;
    // The registry does not promise a terminator; the extra byte holds one.
    version[size <= kVersionValueBytes ? size : kVersionValueBytes] = '\0';
    return true;
}

void Warn(SetupPlatform& platform, const char* text, const char* caption) {
    platform.ShowMessage(nullptr, text, caption, kWarning);
}

}  // namespace

void RunSetup(SetupPlatform& platform) {
    char project[kProfileBufferSize];
    char version[kProfileBufferSize];
    ReadInfValue(platform, "Projekt", project);
    ReadInfValue(platform, "Version", version);

    char keyPath[kKeyPathBufferSize];
    if (project[0] == '\0' || version[0] == '\0' || !BuildUninstallKeyPath(project, keyPath)) {
        Warn(platform, kInvalidText, kInvalidCaption);
        platform.Exit(0);
        return;
    }

    char installed[kVersionValueBytes + 1];
    if (ReadInstalledVersion(platform, keyPath, installed)) {
        const std::string caption = std::string("Program ") + project + " already installed";
        const std::string text = std::string("Version ") + installed +
                                 " is already installed.\nYou are attempting to install " + version +
                                 ".\nPlease remove the old version via Start / Control Panel / "
                                 "Add/Remove Programs.\nThen run SETUP again to install the new version.";
        Warn(platform, text.c_str(), caption.c_str());
        platform.Exit(0);
        return;
    }

    // Anything but an explicit Yes (also a box that could not be shown) installs nothing.
    if (platform.ShowMessage(nullptr, kQuestionText, kQuestionCaption, kQuestion) != kIdYes) {
        platform.Exit(0);
        return;
    }

    const intptr_t result =
        platform.Execute(nullptr, "Install", "install.inf", nullptr, nullptr, kSwShowNormal);
    if (result <= kLastShellError) Warn(platform, kFailedText, kFailedCaption);
    platform.Exit(0);
}
