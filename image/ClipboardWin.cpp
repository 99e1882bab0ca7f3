#include <windows.h>

#include <cstring>

#include "image/DibSect.h"

bool DibImage::CopyToClipboard(HWND ownerWindow) const {
    if (pixels == nullptr) return false;
    if (!OpenClipboard(ownerWindow)) return false;
    if (!EmptyClipboard()) {
        CloseClipboard();
        return false;
    }

    // A packed DIB: the BITMAPINFO as held, then the pixel rows.
    const size_t pixelBytes = PixelBytes();
    bool placed = false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof info + pixelBytes);
    if (block != nullptr) {
        if (auto* data = static_cast<uint8_t*>(GlobalLock(block))) {
            std::memcpy(data, &info, sizeof info);
            std::memcpy(data + sizeof info, pixels, pixelBytes);
            GlobalUnlock(block);
            // From here on the clipboard owns the block.
            placed = SetClipboardData(CF_DIB, block) != nullptr;
        }
        if (!placed) GlobalFree(block);
    }
    CloseClipboard();
    return placed;
}
