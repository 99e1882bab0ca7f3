// The setup launcher's decisions: read install.inf, look for an installed
// version, ask, hand the INF to the shell. Portable: every platform call goes
// through SetupPlatform, which setup.cpp implements with Win32 and the tests
// with a recording fake.
#pragma once

#include <cstddef>
#include <cstdint>

// Match the platform's STRICT handle types, so the Win32 side passes its
// HKEY / HWND through without casts.
struct HKEY__;
struct HWND__;

// The predefined registry roots, with the platform's numbers.
enum class RegistryHive : uint32_t {
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};

// The platform's own constants, repeated so this unit needs no <windows.h>;
// setup.cpp checks them against the real ones at compile time.
constexpr uint32_t kKeyRead = 0x20019;
constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorMoreData = 234;
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbTaskModal = 0x2000;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kSwShowNormal = 1;

// Sizes the platform calls are given.
constexpr uint32_t kProfileBufferSize = 256;   // "Projekt" and "Version" from the INF
constexpr uint32_t kVersionValueBytes = 255;   // the installed "Version" value
constexpr size_t kKeyPathBufferSize = 256;
constexpr char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr size_t kUninstallKeyPrefixLength = sizeof kUninstallKeyPrefix - 1;  // 52
// The longest project name whose key path still fits the buffer: 203.
constexpr size_t kMaxProjectNameLength = kKeyPathBufferSize - 1 - kUninstallKeyPrefixLength;

// One method per platform call, with the same arguments and results as the
// Win32 function named in its comment.
struct SetupPlatform {
    virtual ~SetupPlatform() = default;
    // GetPrivateProfileStringA
    virtual uint32_t ReadProfileString(const char* section, const char* key, const char* fallback,
                                       char* buffer, uint32_t size, const char* file) = 0;
    // RegOpenKeyExA
    virtual int32_t OpenKey(RegistryHive hive, const char* subKey, uint32_t options, uint32_t access,
                            HKEY__** key) = 0;
    // RegQueryValueExA; `size` is in/out as there.
    virtual int32_t QueryValue(HKEY__* key, const char* name, uint32_t* type, uint8_t* data,
                               uint32_t* size) = 0;
    // RegCloseKey
    virtual int32_t CloseKey(HKEY__* key) = 0;
    // MessageBoxA
    virtual int ShowMessage(HWND__* owner, const char* text, const char* caption, uint32_t style) = 0;
    // ShellExecuteA; the HINSTANCE it returns, as a number.
    virtual intptr_t Execute(HWND__* owner, const char* verb, const char* file, const char* parameters,
                             const char* directory, int show) = 0;
    // ExitProcess. The real one does not return; RunSetup returns right after.
    virtual void Exit(uint32_t code) = 0;
};

// The whole program: every path shows one or two message boxes and ends with
// Exit(0).
void RunSetup(SetupPlatform& platform);
