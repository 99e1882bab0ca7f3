// The Bitmap Export command: the Save dialog, then the BMP file. Windows only.
#pragma once

#include <windows.h>

#include <commdlg.h>

struct DibImage;

constexpr char kBitmapExportFailed[] = "An error occured during the bitmap export!";

// Runs the Save dialog owned by `owner` and exports the image to the chosen
// file; failure is reported in a message box owned by `owner`.
void BitmapExportCommand(HWND owner, const DibImage& image);

// The dialog record: a single "*.bmp" filter, the overwrite prompt, and the
// default extension BMP. `fileName` receives the chosen path.
void FillExportDialog(OPENFILENAMEA& dialog, HWND owner, char (&fileName)[MAX_PATH]);

using MessageBoxProc = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// Writes the image to `path`; on failure shows the export message with the
// path as caption through `showMessage`. True if the file was written.
bool ExportBitmapTo(HWND owner, const DibImage& image, const char* path, MessageBoxProc showMessage = MessageBoxA);
