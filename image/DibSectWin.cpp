#include <windows.h>

#include "image/DibSectPlatform.h"

bool CreateBitmapSection(const BitmapInfo256& info, size_t, uint8_t** pixels, HBITMAP__** bitmap) {
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                       &bits, nullptr, 0);
    if (section == nullptr || bits == nullptr) {
        if (section != nullptr) DeleteObject(section);
        *pixels = nullptr;
        *bitmap = nullptr;
        return false;
    }
    *pixels = static_cast<uint8_t*>(bits);
    *bitmap = section;
    return true;
}

void DeleteBitmapSection(HBITMAP__* bitmap, uint8_t*) {
    if (bitmap != nullptr) DeleteObject(bitmap);
}

static_assert(sizeof(BITMAPINFOHEADER) == sizeof(BitmapInfoHeader));
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == offsetof(BitmapInfoHeader, biClrImportant));
static_assert(sizeof(RGBQUAD) == sizeof(RgbQuad));
static_assert(offsetof(RGBQUAD, rgbRed) == offsetof(RgbQuad, rgbRed));
