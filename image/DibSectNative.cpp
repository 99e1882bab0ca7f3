#include <cstdlib>

#include "image/DibSectPlatform.h"

bool CreateBitmapSection(const BitmapInfo256&, size_t bytes, uint8_t** pixels, HBITMAP__** bitmap) {
    *bitmap = nullptr;
    *pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
    return *pixels != nullptr;
}

void DeleteBitmapSection(HBITMAP__*, uint8_t* pixels) { std::free(pixels); }
