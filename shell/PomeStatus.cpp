// The status bar's texts of a calculation, and the program's own path.
#include "shell/PomeStatus.h"

#include <commctrl.h>

#include "shell/PomeWinLogic.h"
#include "shell/ProgramState.h"

void SetStatusText(const char* text) {
    if (Program.StatusBar != nullptr) SendMessageA(Program.StatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void BeginCalculating() {
    Program.Calculating = true;
    SetStatusText("Calculating ...");
    Program.CalcStartTick = GetTickCount();
}

void ShowReadyStatus() {
    Program.Calculating = false;
    const DWORD now = GetTickCount();
    const IterationStatistics stats =
        IterationStats(Program.Calc, PixelRect{0, 0, Program.Image.width - 1, Program.Image.height - 1});
    SetStatusText(ReadyStatusText(Program.CalcStartTick, now, stats.min, stats.max).c_str());
}

bool SplitModulePath(HMODULE module, std::string& directory, std::string& name, std::string& extension) {
    directory.clear();
    name.clear();
    extension.clear();
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH + 1);
    // A path that filled the buffer may have been cut; nothing may ever be
    // built from a cut path.
    if (length == 0 || length > MAX_PATH) return false;
    const PathParts parts = SplitPath(std::string(path, length));
    directory = parts.directory;
    name = parts.name;
    extension = parts.extension;
    return true;
}
