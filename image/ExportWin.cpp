#include "image/ExportWin.h"

#include <cstddef>
#include <cstring>

#include "image/DibSect.h"

#ifndef _WIN64
// OPENFILENAME_SIZE_VERSION_400 ends at lpTemplateName: 76 bytes on 32-bit Windows.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76);
#endif

void FillExportDialog(OPENFILENAMEA& dialog, HWND owner, char (&fileName)[MAX_PATH]) {
    std::memset(&dialog, 0, sizeof dialog);
    std::memset(fileName, 0, sizeof fileName);
    // The record without the later extension fields, as every Windows
    // version accepts it.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "Bitmap Files\0*.bmp\0";  // the literal adds the closing terminator
    dialog.lpstrFile = fileName;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_OVERWRITEPROMPT;
    dialog.lpstrDefExt = "BMP";
}

bool ExportBitmapTo(HWND owner, const DibImage& image, const char* path, MessageBoxProc showMessage) {
    if (image.SaveAsBmp(path)) return true;
    showMessage(owner, kBitmapExportFailed, path, MB_ICONHAND | MB_OK);
    return false;
}

void BitmapExportCommand(HWND owner, const DibImage& image) {
    OPENFILENAMEA dialog;
    char fileName[MAX_PATH];
    FillExportDialog(dialog, owner, fileName);
    if (!GetSaveFileNameA(&dialog)) return;
    ExportBitmapTo(owner, image, fileName);
}
