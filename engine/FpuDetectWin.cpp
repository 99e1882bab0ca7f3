// Whether the machine has a floating-point processor, as the registry tells.
#include <windows.h>

#include "engine/PomeClc.h"

bool DetectFpu() {
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\FloatingPointProcessor", 0,
                                      KEY_READ, &key);
    // A failing call is no error: it only means there is no such processor.
    if (result != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}
