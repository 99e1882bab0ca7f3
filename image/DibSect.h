// The one 8-bit palettised image of the program and the row cursor through
// which the engine writes it. Portable: the bitmap section is the only
// platform dependency and lives in DibSectWin.cpp / DibSectNative.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Same layout as the platform's BITMAPINFOHEADER and RGBQUAD, declared here so
// that the portable units never need <windows.h>.
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RgbQuad) == 4);

constexpr int kColourTableEntries = 256;
constexpr size_t kColourTableBytes = kColourTableEntries * sizeof(RgbQuad);  // 1024

// Header and colour table back to back: the BITMAPINFO that files and the
// clipboard receive unchanged.
struct BitmapInfo256 {
    BitmapInfoHeader header;
    RgbQuad colours[kColourTableEntries];
};
static_assert(sizeof(BitmapInfo256) == 1064);
static_assert(offsetof(BitmapInfo256, colours) == 40);

// Matches the platform's STRICT handle types, so the Windows units use these
// members as HBITMAP / HWND without casts.
struct HBITMAP__;
struct HWND__;

struct PixelCursor {
    uint8_t* next = nullptr;  // the pixel the next PutPixel writes
    int32_t left = 0;         // pixels left in the row; 0 = exhausted
};

// The engine's inner loops call these once per pixel: one comparison, at most
// one store, nothing else. An exhausted cursor swallows writes, so no kernel
// can reach the next row or leave the pixel memory.
inline void PutPixel(PixelCursor& cursor, uint8_t index) {
    if (cursor.left > 0) {
        *cursor.next++ = index;
        --cursor.left;
    }
}

// PutPixel that also tells whether the pixel held another index before.
inline bool ReplacePixel(PixelCursor& cursor, uint8_t index) {
    if (cursor.left <= 0) return false;
    const bool changed = *cursor.next != index;
    *cursor.next++ = index;
    --cursor.left;
    return changed;
}

inline void SkipPixel(PixelCursor& cursor) {
    if (cursor.left > 0) {
        ++cursor.next;
        --cursor.left;
    }
}

// `count` (>= 0) pixels of one colour, as many PutPixel calls would.
inline void FillPixels(PixelCursor& cursor, int32_t count, uint8_t index) {
    const int32_t step = count < cursor.left ? count : cursor.left;
    if (step <= 0) return;
    std::memset(cursor.next, index, static_cast<size_t>(step));
    cursor.next += step;
    cursor.left -= step;
}

// `count` (>= 0) pixels at once, as many SkipPixel calls would.
inline void SkipPixels(PixelCursor& cursor, int32_t count) {
    const int32_t step = count < cursor.left ? count : cursor.left;
    cursor.next += step;
    cursor.left -= step;
}

struct DibImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;  // bytes per row: width rounded up to a multiple of 4
    uint8_t* pixels = nullptr;
    BitmapInfo256 info{};  // header and colour table, 1064 bytes
    HBITMAP__* bitmap = nullptr;

    // Creates the bitmap; on failure the program ends with exit code 1.
    void Create(int32_t newWidth, int32_t newHeight, const uint8_t colourTable[kColourTableBytes]);
    // Same, but reports failure (false, image left empty) instead of ending
    // the program. Sizes below 1 or pixel memory beyond 2 GiB fail.
    bool TryCreate(int32_t newWidth, int32_t newHeight, const uint8_t colourTable[kColourTableBytes]);
    void Release();

    // Row 0 is the top row on screen and the last row in memory.
    void StartRow(PixelCursor& cursor, int32_t row) const;

    // Bytes of pixel memory: stride * height.
    size_t PixelBytes() const { return static_cast<size_t>(stride) * static_cast<size_t>(height); }

    // Writes the image as an 8-bit BMP; true only if the whole file was
    // written and closed. An existing file of that name survives a failure.
    bool SaveAsBmp(const char* fileName) const;

#ifdef _WIN32
    // Puts the image on the clipboard as CF_DIB; true if the clipboard took it.
    bool CopyToClipboard(HWND__* ownerWindow) const;
#endif
};

// Diagonal bands of the whole palette: pixel (x, y), y counted from the top,
// gets (x + y / 2) mod colourCount. Rows the calculation has not reached yet
// keep showing it.
void FillTestPattern(DibImage& image, int32_t colourCount);

// width rounded up to a multiple of 4 (the DIB row alignment), for width >= 1.
constexpr int32_t DibStride(int32_t width) { return (width + 3) / 4 * 4; }
