#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/DibSect.h"

namespace {

std::vector<uint8_t> TestColourTable() {
    std::vector<uint8_t> table(kColourTableBytes);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 7 + 3);
    return table;
}

class DibImageTest : public ::testing::Test {
protected:
    void TearDown() override { image.Release(); }
    DibImage image;
};

TEST_F(DibImageTest, HeaderBlockHoldsTheBitmapDescription) {
    const auto table = TestColourTable();
    image.Create(400, 300, table.data());

    EXPECT_EQ(image.width, 400);
    EXPECT_EQ(image.height, 300);
    EXPECT_EQ(image.stride, 400);
    ASSERT_NE(image.pixels, nullptr);

    // The 1064 bytes as files and the clipboard receive them.
    const auto* block = reinterpret_cast<const uint8_t*>(&image.info);
    auto u32 = [&](int at) { uint32_t v; std::memcpy(&v, block + at, 4); return v; };
    auto u16 = [&](int at) { uint16_t v; std::memcpy(&v, block + at, 2); return v; };
    EXPECT_EQ(u32(0), 40u);    // biSize
    EXPECT_EQ(u32(4), 400u);   // biWidth
    EXPECT_EQ(u32(8), 300u);   // biHeight, positive: bottom-up
    EXPECT_EQ(u16(12), 1u);    // biPlanes
    EXPECT_EQ(u16(14), 8u);    // biBitCount
    for (int at = 16; at < 40; at += 4) EXPECT_EQ(u32(at), 0u) << "offset " << at;
    EXPECT_EQ(std::memcmp(block + 40, table.data(), kColourTableBytes), 0);
}

TEST_F(DibImageTest, StrideRoundsUpToFourAndPixelsStartZeroed) {
    const auto table = TestColourTable();
    const int32_t widths[] = {1, 2, 3, 4, 5, 399, 401, 402, 403};
    const int32_t strides[] = {4, 4, 4, 4, 8, 400, 404, 404, 404};
    for (size_t i = 0; i < std::size(widths); ++i) {
        image.Create(widths[i], 3, table.data());
        EXPECT_EQ(image.stride, strides[i]) << "width " << widths[i];
        EXPECT_EQ(image.PixelBytes(), static_cast<size_t>(strides[i]) * 3);
        for (size_t b = 0; b < image.PixelBytes(); ++b) ASSERT_EQ(image.pixels[b], 0);
        image.Release();
    }
}

TEST_F(DibImageTest, RowZeroIsTheLastRowInMemory) {
    const auto table = TestColourTable();
    image.Create(5, 3, table.data());
    for (int32_t row = 0; row < 3; ++row) {
        PixelCursor cursor;
        image.StartRow(cursor, row);
        for (int x = 0; x < 5; ++x) PutPixel(cursor, static_cast<uint8_t>(10 * (row + 1) + x));
    }
    const uint8_t expected[] = {
        30, 31, 32, 33, 34, 0, 0, 0,  // memory row 0: image row 2 (bottom)
        20, 21, 22, 23, 24, 0, 0, 0,
        10, 11, 12, 13, 14, 0, 0, 0,  // memory row 2: image row 0 (top)
    };
    ASSERT_EQ(image.PixelBytes(), sizeof expected);
    EXPECT_EQ(std::memcmp(image.pixels, expected, sizeof expected), 0);
}

TEST_F(DibImageTest, CursorNeverWritesPaddingOrPastItsRow) {
    const auto table = TestColourTable();
    image.Create(401, 4, table.data());
    std::memset(image.pixels, 0xEE, image.PixelBytes());

    PixelCursor cursor;
    image.StartRow(cursor, 1);
    for (int x = 0; x < 401 + 50; ++x) PutPixel(cursor, 7);  // 50 too many
    EXPECT_EQ(cursor.left, 0);

    for (int32_t memRow = 0; memRow < 4; ++memRow) {
        const uint8_t* p = image.pixels + memRow * image.stride;
        const bool written = memRow == 4 - 1 - 1;
        for (int x = 0; x < 401; ++x) ASSERT_EQ(p[x], written ? 7 : 0xEE) << memRow << "," << x;
        for (int x = 401; x < 404; ++x) ASSERT_EQ(p[x], 0xEE) << "padding " << memRow << "," << x;
    }
}

TEST_F(DibImageTest, SkipPixelLeavesPixelsAndAdvances) {
    const auto table = TestColourTable();
    image.Create(4, 1, table.data());
    std::memset(image.pixels, 9, image.PixelBytes());
    PixelCursor cursor;
    image.StartRow(cursor, 0);
    PutPixel(cursor, 1);
    SkipPixel(cursor);
    PutPixel(cursor, 3);
    SkipPixel(cursor);
    EXPECT_EQ(cursor.left, 0);
    SkipPixel(cursor);  // exhausted: nothing moves
    PutPixel(cursor, 5);
    const uint8_t expected[] = {1, 9, 3, 9};
    EXPECT_EQ(std::memcmp(image.pixels, expected, 4), 0);
}

TEST_F(DibImageTest, RunsOfPixelsStopAtTheEndOfTheRow) {
    const auto table = TestColourTable();
    image.Create(10, 2, table.data());
    std::memset(image.pixels, 9, image.PixelBytes());
    PixelCursor cursor;
    image.StartRow(cursor, 1);
    FillPixels(cursor, 3, 4);
    SkipPixels(cursor, 2);
    FillPixels(cursor, 0, 5);
    FillPixels(cursor, -2, 5);  // nothing
    PutPixel(cursor, 6);
    FillPixels(cursor, 100, 7);  // only to the end of the row
    EXPECT_EQ(cursor.left, 0);
    SkipPixels(cursor, 5);
    FillPixels(cursor, 5, 8);
    const uint8_t expected[] = {4, 4, 4, 9, 9, 6, 7, 7, 7, 7};
    EXPECT_EQ(std::memcmp(image.pixels, expected, 10), 0);  // row 1 is the first in memory (bottom-up)
    for (size_t b = static_cast<size_t>(image.stride); b < image.PixelBytes(); ++b) ASSERT_EQ(image.pixels[b], 9);
    image.StartRow(cursor, 0);
    SkipPixels(cursor, 12);
    EXPECT_EQ(cursor.left, 0);
    EXPECT_EQ(cursor.next, image.pixels + image.stride + 10);
}

TEST_F(DibImageTest, OutOfRangeRowsGiveAnExhaustedCursor) {
    const auto table = TestColourTable();
    image.Create(8, 6, table.data());
    for (int32_t row : {-1, 6, 7, -1000, INT32_MAX, INT32_MIN}) {
        PixelCursor cursor;
        image.StartRow(cursor, row);
        EXPECT_EQ(cursor.left, 0) << row;
        EXPECT_EQ(cursor.next, image.pixels) << row;
        PutPixel(cursor, 99);
        SkipPixel(cursor);
        PutPixel(cursor, 99);
    }
    for (size_t b = 0; b < image.PixelBytes(); ++b) ASSERT_EQ(image.pixels[b], 0);
}

TEST_F(DibImageTest, ImpossibleSizesAreRefusedWithoutTouchingMemory) {
    const auto table = TestColourTable();
    EXPECT_FALSE(image.TryCreate(0, 10, table.data()));
    EXPECT_FALSE(image.TryCreate(10, 0, table.data()));
    EXPECT_FALSE(image.TryCreate(-4, 10, table.data()));
    EXPECT_FALSE(image.TryCreate(INT32_MAX, 1, table.data()));
    EXPECT_FALSE(image.TryCreate(65536, 65536, table.data()));
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
    PixelCursor cursor;
    image.StartRow(cursor, 0);
    EXPECT_EQ(cursor.left, 0);
}

TEST(DibImageDeathTest, CreateEndsTheProgramWithExitCodeOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto table = TestColourTable();
    DibImage image;
    EXPECT_EXIT(image.Create(0, 0, table.data()), ::testing::ExitedWithCode(1), "");
}

TEST_F(DibImageTest, RecreationTakesNewSizeAndColours) {
    auto table = TestColourTable();
    image.Create(10, 10, table.data());
    image.Release();
    table[0] = 0xAB;
    image.Create(3, 7, table.data());
    EXPECT_EQ(image.info.header.biWidth, 3);
    EXPECT_EQ(image.info.header.biHeight, 7);
    EXPECT_EQ(image.info.colours[0].rgbBlue, 0xAB);
    EXPECT_EQ(image.stride, 4);
}

TEST(TestPattern, DiagonalBandsOfThePaletteCountedFromTheTop) {
    DibImage image;
    const uint8_t table[kColourTableBytes] = {};
    ASSERT_TRUE(image.TryCreate(400, 300, table));
    FillTestPattern(image, 256);
    auto at = [&image](int32_t x, int32_t y) {
        return image.pixels[static_cast<size_t>(image.height - 1 - y) * image.stride + x];
    };
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_EQ(at(5, 0), 5);
    EXPECT_EQ(at(0, 3), 1);
    EXPECT_EQ(at(300, 0), 44);  // 300 mod 256
    EXPECT_EQ(at(399, 299), (399 + 149) % 256);
    FillTestPattern(image, 30);
    EXPECT_EQ(at(31, 4), (31 + 2) % 30);
    image.Release();
}

}  // namespace
