// The shell's services to the commands: the calculation's start and end as
// the status bar shows them, and where the program lives. Windows only.
#pragma once

#include <windows.h>

#include <string>

// Marks the calculation as running and shows "Calculating ...".
void BeginCalculating();

// Marks it as finished and shows the elapsed time and the escape counts.
void ShowReadyStatus();

void SetStatusText(const char* text);

// The program's (module == nullptr) or a module's path split into directory
// (with its separator), name and extension. False, with all three empty, if
// the path could not be had in full.
bool SplitModulePath(HMODULE module, std::string& directory, std::string& name, std::string& extension);
