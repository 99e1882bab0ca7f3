// What setup must show, written down once for its native and its Wine
// suites; deliberately not taken from the program's own constants.
#pragma once

namespace setuptest {

constexpr char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

constexpr char kInvalidText[] =
    "The file INSTALL.INF could not be found in the current directory or it is damaged!";
constexpr char kQuestionText[] =
    "Choose YES to create a new folder in the START-Menu with shortcuts for this application; "
    "files will *not* be copied.\n"
    "Please copy or move all files to a folder of your choice before running SETUP if you do not "
    "want to keep the files at their current location.\n\n"
    "Shortcuts can be removed using Control Panel / Add/Remove Programs.\n\n"
    "Create shortcuts for this application?";
constexpr char kFailedText[] =
    "Executing INSTALL.INF failed.\n"
    "You can start installation manually by clicking the right mouse button on INSTALL.INF and "
    "selecting INSTALL.";

}  // namespace setuptest
