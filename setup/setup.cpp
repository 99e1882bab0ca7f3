// setup.exe: a GUI-subsystem program without a window of its own. All it
// decides lives in SetupLogic; this file only binds the platform calls.
#include <windows.h>
#include <shellapi.h>

#include "setup/SetupLogic.h"

static_assert(kKeyRead == static_cast<uint32_t>(KEY_READ));
static_assert(kErrorSuccess == ERROR_SUCCESS && kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
              kErrorMoreData == ERROR_MORE_DATA);
static_assert(kMbOk == MB_OK && kMbYesNo == MB_YESNO && kMbIconExclamation == MB_ICONEXCLAMATION &&
              kMbIconInformation == MB_ICONINFORMATION && kMbTaskModal == MB_TASKMODAL);
static_assert(kIdOk == IDOK && kIdYes == IDYES && kIdNo == IDNO && kSwShowNormal == SW_SHOWNORMAL);

namespace {

struct Win32Platform final : SetupPlatform {
    uint32_t ReadProfileString(const char* section, const char* key, const char* fallback, char* buffer,
                               uint32_t size, const char* file) override {
        return GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
    }

    int32_t OpenKey(RegistryHive hive, const char* subKey, uint32_t options, uint32_t access,
                    HKEY__** key) override {
        const HKEY root = hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        return RegOpenKeyExA(root, subKey, options, access, key);
    }

    int32_t QueryValue(HKEY__* key, const char* name, uint32_t* type, uint8_t* data,
                       uint32_t* size) override {
        DWORD valueType = 0;
        DWORD valueSize = *size;
        const LONG result = RegQueryValueExA(key, name, nullptr, type ? &valueType : nullptr, data, &valueSize);
        if (type) *type = valueType;
        *size = valueSize;
        return result;
    }

    int32_t CloseKey(HKEY__* key) override { return RegCloseKey(key); }

    int ShowMessage(HWND__* owner, const char* text, const char* caption, uint32_t style) override {
        return MessageBoxA(owner, text, caption, style);
    }

    intptr_t Execute(HWND__* owner, const char* verb, const char* file, const char* parameters,
                     const char* directory, int show) override {
        return reinterpret_cast<intptr_t>(ShellExecuteA(owner, verb, file, parameters, directory, show));
    }

    void Exit(uint32_t code) override { ExitProcess(code); }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Win32Platform platform;
    RunSetup(platform);
    return 0;
}
