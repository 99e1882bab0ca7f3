// The F1 hook and the Welcome dialog. Windows only.
#pragma once

void InstallHelpKeyHook();
void RemoveHelpKeyHook();

// Opens the Welcome dialog, at start only when its setting asks for it.
void ShowWelcome(bool atStartup);
