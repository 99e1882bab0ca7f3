// Paths the build hands to the Windows tests are host paths; under Wine a
// Unix path must become the DOS path of the same file before CreateProcess.
#pragma once

#include <windows.h>

#include <string>

inline std::string WindowsPathOf(const char* hostPath) {
    using ToDos = WCHAR*(CDECL*)(const char*);
    const auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos || hostPath[0] != '/') return hostPath;
    WCHAR* wide = toDos(hostPath);
    if (!wide) return hostPath;
    char path[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr);
    HeapFree(GetProcessHeap(), 0, wide);
    return path;
}
