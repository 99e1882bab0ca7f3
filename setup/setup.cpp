// Placeholder until the launcher is built: a GUI-subsystem program that
// does nothing and exits with 0.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
