#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GdiTestSupport.h"
#include "image/DibSect.h"
#include "image/Palette.h"

namespace {


std::vector<uint8_t> SavedFile(const DibImage& image) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "quaxel-clipboard-" + std::to_string(GetCurrentProcessId()) + ".bmp";
    std::vector<uint8_t> bytes;
    if (!image.SaveAsBmp(path.c_str())) return bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(file);
    }
    DeleteFileA(path.c_str());
    return bytes;
}

// The CF_DIB block now on the clipboard.
std::vector<uint8_t> ClipboardDib(HWND owner) {
    std::vector<uint8_t> bytes;
    if (!OpenClipboard(owner)) return bytes;
    if (HANDLE block = GetClipboardData(CF_DIB)) {
        if (const auto* data = static_cast<const uint8_t*>(GlobalLock(block))) {
            bytes.assign(data, data + GlobalSize(block));
            GlobalUnlock(block);
        }
    }
    CloseClipboard();
    return bytes;
}

struct ClipboardHolder {
    HANDLE opened;
    HANDLE release;
};

// Holds the clipboard open from another thread until told to let go.
DWORD WINAPI HoldClipboard(LPVOID parameter) {
    auto* holder = static_cast<ClipboardHolder*>(parameter);
    const BOOL open = OpenClipboard(nullptr);
    SetEvent(holder->opened);
    WaitForSingleObject(holder->release, 10000);
    if (open) CloseClipboard();
    return 0;
}

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = CreateOwnerWindow();
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override {
        image.Release();
        DestroyWindow(owner);
    }
    void Paint(int32_t width, int32_t height) {
        uint8_t table[kColourTableBytes];
        ColourState palette;  // a depth of 0: no logical palette
        GeneratePalette(palette, 0, table, 3);
        image.Create(width, height, table);
        for (int32_t row = 0; row < height; ++row) {
            PixelCursor cursor;
            image.StartRow(cursor, row);
            for (int32_t x = 0; x < width; ++x) PutPixel(cursor, static_cast<uint8_t>((x * 3 + row) % 210));
        }
    }

    HWND owner = nullptr;
    DibImage image;
};

TEST_F(ClipboardTest, BlockIsTheBmpFileWithoutItsFileHeader) {
    for (int32_t width : {400, 401}) {
        SCOPED_TRACE(width);
        Paint(width, 300);
        ASSERT_TRUE(image.CopyToClipboard(owner));

        const std::vector<uint8_t> file = SavedFile(image);
        ASSERT_EQ(file.size(), 1078 + image.PixelBytes());
        const std::vector<uint8_t> dib = ClipboardDib(owner);
        ASSERT_EQ(dib.size(), 1064 + image.PixelBytes());
        EXPECT_EQ(dib.size(), width == 400 ? 121064u : 122264u);
        EXPECT_TRUE(std::equal(dib.begin(), dib.end(), file.begin() + 14));
        image.Release();
    }
}

TEST_F(ClipboardTest, ClipboardHeldByAnotherWindowIsReported) {
    Paint(8, 4);
    ASSERT_TRUE(image.CopyToClipboard(owner));
    const std::vector<uint8_t> before = ClipboardDib(owner);

    // Another thread holds the clipboard open: the copy is refused and the
    // clipboard keeps what it had.
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ClipboardHolder holder{opened, release};
    HANDLE thread = CreateThread(nullptr, 0, HoldClipboard, &holder, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(opened, 10000), WAIT_OBJECT_0);

    Paint(8, 4);
    EXPECT_FALSE(image.CopyToClipboard(owner));
    SetEvent(release);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(opened);
    CloseHandle(release);

    EXPECT_EQ(ClipboardDib(owner), before);
}

TEST_F(ClipboardTest, ImageWithoutPixelsIsNotCopied) {
    DibImage empty;
    EXPECT_FALSE(empty.CopyToClipboard(owner));
}

}  // namespace
