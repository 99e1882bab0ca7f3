#include "image/DibSect.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/DibSectPlatform.h"

namespace {

// The DIB format stores the image size in 32 bits; beyond that the platform
// refuses the bitmap anyway, and the stride arithmetic would overflow.
constexpr int64_t kMaxPixelBytes = INT32_MAX;

}  // namespace

bool DibImage::TryCreate(int32_t newWidth, int32_t newHeight, const uint8_t colourTable[kColourTableBytes]) {
    width = 0;
    height = 0;
    stride = 0;
    pixels = nullptr;
    bitmap = nullptr;
    std::memset(&info, 0, sizeof info);

    if (newWidth < 1 || newHeight < 1 || newWidth > INT32_MAX - 3) return false;
    const int64_t newStride = DibStride(newWidth);
    if (newStride * newHeight > kMaxPixelBytes) return false;

    BitmapInfoHeader& h = info.header;
    h.biSize = sizeof(BitmapInfoHeader);
    h.biWidth = newWidth;
    h.biHeight = newHeight;  // positive: bottom-up rows
    h.biPlanes = 1;
    h.biBitCount = 8;
    h.biCompression = 0;  // BI_RGB
    std::memcpy(info.colours, colourTable, kColourTableBytes);

    uint8_t* newPixels = nullptr;
    HBITMAP__* newBitmap = nullptr;
    if (!CreateBitmapSection(info, static_cast<size_t>(newStride * newHeight), &newPixels, &newBitmap)) return false;

    width = newWidth;
    height = newHeight;
    stride = static_cast<int32_t>(newStride);
    pixels = newPixels;
    bitmap = newBitmap;
    return true;
}

void DibImage::Create(int32_t newWidth, int32_t newHeight, const uint8_t colourTable[kColourTableBytes]) {
    // Without its image the program has nothing to show or compute into.
    if (!TryCreate(newWidth, newHeight, colourTable)) std::exit(1);
}

void DibImage::Release() {
    DeleteBitmapSection(bitmap, pixels);
    bitmap = nullptr;
    pixels = nullptr;
}

void DibImage::StartRow(PixelCursor& cursor, int32_t row) const {
    if (row >= 0 && row < height) {
        cursor.next = pixels + static_cast<ptrdiff_t>(height - 1 - row) * stride;
        cursor.left = width;
    } else {
        cursor.next = pixels;
        cursor.left = 0;
    }
}

void FillTestPattern(DibImage& image, int32_t colourCount) {
    const int32_t count = colourCount < 1 ? 1 : colourCount;
    for (int32_t y = 0; y < image.height; ++y) {
        PixelCursor cursor;
        image.StartRow(cursor, y);
        for (int32_t x = 0; x < image.width; ++x) PutPixel(cursor, static_cast<uint8_t>((x + y / 2) % count));
    }
}
