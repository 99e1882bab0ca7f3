#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "GdiTestSupport.h"
#include "image/DibSect.h"
#include "image/Palette.h"
#include "image/PaletteWin.h"

namespace {

class PaletteOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "palette", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        palette.AttachTo(window);
    }
    void TearDown() override {
        palette.Delete();
        DestroyWindow(window);
    }
    HWND window = nullptr;
    LogicalPalette palette;
    ColourState colours;
    uint8_t table[kColourTableBytes] = {};
};

TEST_F(PaletteOnWindows, EightBitScreenGetsALogicalPaletteOfTheColourCount) {
    GeneratePalette(colours, 8, table, 2, &palette);
    HPALETTE first = palette.Handle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetPaletteEntries(first, 0, 0, nullptr), 30u);
    PALETTEENTRY entries[30] = {};
    ASSERT_EQ(GetPaletteEntries(first, 0, 30, entries), 30u);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(entries[i].peRed, table[4 * i + 2]) << i;
        EXPECT_EQ(entries[i].peGreen, table[4 * i + 1]) << i;
        EXPECT_EQ(entries[i].peBlue, table[4 * i + 0]) << i;
        EXPECT_EQ(entries[i].peFlags, 0) << i;
    }
    EXPECT_EQ(entries[5].peRed, 255);  // (255, 0, 255)
    EXPECT_EQ(entries[5].peBlue, 255);

    // The next generation replaces it; the old one is gone.
    GeneratePalette(colours, 8, table, 11, &palette);
    HPALETTE second = palette.Handle();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetPaletteEntries(second, 0, 0, nullptr), 16u);
    if (second != first) {
        EXPECT_EQ(GetObjectType(first), 0u);
    }

    GeneratePalette(colours, 8, table, 1, &palette);
    EXPECT_EQ(GetPaletteEntries(palette.Handle(), 0, 0, nullptr), 256u);

    palette.Delete();
    EXPECT_EQ(palette.Handle(), nullptr);
}

TEST_F(PaletteOnWindows, OtherDepthsMakeNoLogicalPalette) {
    for (int32_t depth : {4, 16, 24, 32}) {
        GeneratePalette(colours, depth, table, 5, &palette);
        EXPECT_EQ(palette.Handle(), nullptr) << depth;
    }
}

TEST_F(PaletteOnWindows, ColourTableReachesTheBitmapSection) {
    GeneratePalette(colours, 32, table, 1, &palette);
    DibImage image;
    image.Create(5, 1, table);
    PixelCursor cursor;
    image.StartRow(cursor, 0);
    for (uint8_t index : {63, 64, 255, 0, 200}) PutPixel(cursor, index);

    PaintedImage painted(image);
    ASSERT_TRUE(painted.blitted());
    EXPECT_EQ(painted.Pixel(0, 0), RGB(252, 0, 0));
    EXPECT_EQ(painted.Pixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(painted.Pixel(2, 0), RGB(3, 3, 3));
    EXPECT_EQ(painted.Pixel(3, 0), RGB(0, 0, 0));
    EXPECT_EQ(painted.Pixel(4, 0), RGB(223, 223, 223));  // 255 - 4 * 8
    image.Release();
}

}  // namespace
