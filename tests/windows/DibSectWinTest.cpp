#include <windows.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <limits>
#include <vector>

#include "GdiTestSupport.h"
#include "image/DibSect.h"

namespace {

// Entry i of the table: blue i, green 255 - i, red 3i (mod 256).
std::vector<uint8_t> GradientTable() {
    std::vector<uint8_t> table(kColourTableBytes);
    for (int i = 0; i < 256; ++i) {
        table[4 * i + 0] = static_cast<uint8_t>(i);
        table[4 * i + 1] = static_cast<uint8_t>(255 - i);
        table[4 * i + 2] = static_cast<uint8_t>(3 * i);
    }
    return table;
}

COLORREF ExpectedColour(int index) {
    return RGB(static_cast<uint8_t>(3 * index), 255 - index, index);
}

TEST(DibSectionOnWindows, RowZeroIsPaintedAtTheTop) {
    const auto table = GradientTable();
    DibImage image;
    image.Create(7, 5, table.data());  // odd width: padded rows
    ASSERT_NE(image.bitmap, nullptr);
    for (int32_t row = 0; row < 5; ++row) {
        PixelCursor cursor;
        image.StartRow(cursor, row);
        for (int x = 0; x < 7; ++x) PutPixel(cursor, static_cast<uint8_t>(10 * row + x + 1));
    }

    PaintedImage painted(image);
    ASSERT_TRUE(painted.blitted());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(painted.Pixel(x, y), ExpectedColour(10 * y + x + 1)) << x << "," << y;
        }
    }
    image.Release();
}

TEST(DibSectionOnWindows, DibBitsReadBackTheColourTableAndRows) {
    const auto table = GradientTable();
    DibImage image;
    image.Create(4, 2, table.data());
    PixelCursor cursor;
    image.StartRow(cursor, 0);
    for (uint8_t v : {200, 201, 202, 203}) PutPixel(cursor, v);

    // The section reports our header and colour table.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, image.bitmap);
    RGBQUAD colours[256] = {};
    ASSERT_EQ(GetDIBColorTable(dc, 0, 256, colours), 256u);
    EXPECT_EQ(std::memcmp(colours, table.data(), sizeof colours), 0);
    SelectObject(dc, old);

    // GetDIBits in the bitmap's own format: the top row is the last in memory.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = 4;
    info.header.biHeight = 2;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    uint8_t bits[8] = {};
    ASSERT_EQ(GetDIBits(dc, image.bitmap, 0, 2, bits, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 2);
    const uint8_t expected[8] = {0, 0, 0, 0, 200, 201, 202, 203};
    EXPECT_EQ(std::memcmp(bits, expected, 8), 0);
    DeleteDC(dc);
    image.Release();
}

TEST(DibSectionOnWindows, RefusedBitmapIsReported) {
    const auto table = GradientTable();
    DibImage image;
    EXPECT_FALSE(image.TryCreate(65536, 65536, table.data()));
    EXPECT_EQ(image.bitmap, nullptr);
}

TEST(ExtendedPrecision, LongDoubleHasTheX87Significand) {
    // FPU Extended depends on the 80-bit format with a 64-bit significand.
    EXPECT_EQ(std::numeric_limits<long double>::digits, 64);
    EXPECT_EQ(LDBL_MANT_DIG, 64);
    // And the hardware really computes with it (not a 53-bit control word).
    volatile long double one = 1.0L;
    volatile long double tiny = 0x1p-63L;
    EXPECT_NE(one + tiny, one);
    volatile long double tinier = 0x1p-64L;
    EXPECT_EQ(one + tinier, one);
}

}  // namespace
