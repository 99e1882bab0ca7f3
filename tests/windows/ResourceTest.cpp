// Loads the real quaxel.exe as a data file and checks the resources it
// carries: the menus and accelerators the commands arrive through, the
// generated art, the manifest and the version.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "HostPath.h"
#include "resources/rcinc.h"

namespace {

std::string QuaxelExe() { return WindowsPathOf(QUAXEL_EXE_PATH); }

struct RawResource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

RawResource FindRaw(HMODULE module, LPCSTR name, LPCSTR type) {
    RawResource raw;
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return raw;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return raw;
    raw.data = static_cast<const BYTE*>(LockResource(loaded));
    raw.size = SizeofResource(module, found);
    return raw;
}

template <typename T>
T ReadAt(const RawResource& raw, size_t offset) {
    T value{};
    if (offset + sizeof value <= raw.size) std::memcpy(&value, raw.data + offset, sizeof value);
    return value;
}

class ResourceTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExA(QuaxelExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load " << QuaxelExe(); }

    static HMODULE module_;
};

HMODULE ResourceTest::module_ = nullptr;

// ---------------------------------------------------------------------------
// Menus

constexpr UINT kSeparator = 0;

struct ItemShape {
    UINT id;  // kSeparator for a separator
    const char* text;
};

struct PopupSpec {
    const char* name;
    std::vector<ItemShape> items;
};

const std::vector<PopupSpec> kMainMenu = {
    {"&File",
     {{CM_SAVE, "&Save as ...\bF2"},
      {CM_LOAD, "&Load ...\bF3"},
      {CM_EXPORT, "Bitmap Exp&ort ..."},
      {kSeparator, ""},
      {CM_WELCOME, "&Welcome"},
      {CM_EXIT, "Exit"}}},
    {"&Edit", {{CM_COPY, "&Copy"}}},
    {"&Range",
     {{CM_RANGE, "&Range ...\bF5"},
      {CM_ITERATIONS, "&Iterations ...\bF6"},
      {CM_RESET_RANGE, "Reset Initial Range ...\bF4"},
      {CM_AUTOZOOM, "Automatic &Zoom\bF12"},
      {kSeparator, ""},
      {CM_WIDEN_10, "Range + &10%"},
      {CM_WIDEN_25, "Range + &25%"},
      {CM_WIDEN_50, "Range + &50%"},
      {CM_WIDEN_100, "Range + 1&00%"},
      {kSeparator, ""},
      {CM_CPU_FIXED, "CPU Fi&xed"},
      {CM_FPU_SINGLE, "FPU Sin&gle"},
      {CM_FPU_DOUBLE, "FPU &Double"},
      {CM_FPU_EXTENDED, "FPU &Extended"}}},
    {"&Display",
     {{CM_DISPLAY, "&Display ...\bF11"},
      {CM_DEFAULT_SIZE, "Default &Window Size"},
      {CM_FULLSCREEN, "Full &Screen\bAlt+S"},
      {CM_PALETTE, "&Colour Palette ...\bF9"},
      {CM_PREV_PALETTE, "Previous Colour Palette\bF7"},
      {CM_NEXT_PALETTE, "Next Colour Palette\bF8"}}},
    {"&Help", {{CM_HELP_INDEX, "Inde&x\bF1"}, {CM_QUICKREF, "&Quick Reference"}, {CM_ABOUT, "&Info about ..."}}},
};

const std::vector<PopupSpec> kContextMenu = {
    {"Pop-up",
     {{CM_CENTRE, "Center This &Point"},
      {CM_TAKE_CONSTANT, "Use This as &Constant"},
      {kSeparator, ""},
      {CM_JULIA, "&Julia-Set With This Constant"},
      {CM_MANDELBROT, "Return to Basic &Mandelbrot-Set"},
      {kSeparator, ""},
      {CM_WIDEN_10, "Range + &10%"},
      {CM_WIDEN_25, "Range + &25%"},
      {CM_WIDEN_50, "Range + &50%"},
      {CM_WIDEN_100, "Range + 1&00%"}}},
};

struct MenuItem {
    UINT type = 0;
    UINT state = 0;
    UINT id = 0;
    HMENU subMenu = nullptr;
    std::string text;
};

std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        MenuItem item;
        if (GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) {
            item.type = info.fType;
            item.state = info.fState;
            item.id = info.wID;
            item.subMenu = info.hSubMenu;
            item.text = text;
        }
        items.push_back(item);
    }
    return items;
}

// Compares the whole menu; `checkedId` is the one item that starts checked
// (kSeparator: none).
void ExpectMenu(HMENU menu, const std::vector<PopupSpec>& expected, UINT checkedId) {
    const std::vector<MenuItem> bar = ReadMenu(menu);
    ASSERT_EQ(bar.size(), expected.size());
    for (size_t p = 0; p < expected.size(); ++p) {
        SCOPED_TRACE(expected[p].name);
        EXPECT_EQ(bar[p].text, expected[p].name);
        ASSERT_NE(bar[p].subMenu, nullptr);
        const std::vector<MenuItem> items = ReadMenu(bar[p].subMenu);
        ASSERT_EQ(items.size(), expected[p].items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            const ItemShape& item = expected[p].items[i];
            SCOPED_TRACE(testing::Message() << "item " << i << " " << item.text);
            EXPECT_EQ(items[i].subMenu, nullptr);
            if (item.id == kSeparator) {
                EXPECT_TRUE(items[i].type & MFT_SEPARATOR);
                continue;
            }
            EXPECT_FALSE(items[i].type & MFT_SEPARATOR);
            EXPECT_EQ(items[i].id, item.id);
            EXPECT_EQ(items[i].text, item.text);
            EXPECT_EQ((items[i].state & MFS_CHECKED) != 0, item.id == checkedId);
            EXPECT_FALSE(items[i].state & (MFS_DISABLED | MFS_GRAYED));
        }
    }
}

TEST_F(ResourceTest, MainMenuHasEveryItemInOrderWithCpuFixedChecked) {
    HMENU menu = LoadMenuA(module_, MAKEINTRESOURCEA(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    ExpectMenu(menu, kMainMenu, CM_CPU_FIXED);
    DestroyMenu(menu);
}

TEST_F(ResourceTest, ContextMenuIsOnePopupWithNothingChecked) {
    HMENU menu = LoadMenuA(module_, MAKEINTRESOURCEA(IDM_CONTEXT));
    ASSERT_NE(menu, nullptr);
    ExpectMenu(menu, kContextMenu, kSeparator);
    DestroyMenu(menu);
}

// ---------------------------------------------------------------------------
// Accelerators

struct AccelSpec {
    BYTE flags;
    WORD key;
    WORD command;
};

std::vector<AccelSpec> ExpectedAccelerators() {
    std::vector<AccelSpec> table = {
        {FVIRTKEY, VK_F1, CM_HELP_INDEX},
        {FVIRTKEY, VK_F2, CM_SAVE},
        {FVIRTKEY, VK_F3, CM_LOAD},
        {FVIRTKEY, VK_F4, CM_RESET_RANGE},
        {FVIRTKEY, VK_F5, CM_RANGE},
        {FVIRTKEY, VK_F6, CM_ITERATIONS},
        {FVIRTKEY, VK_F7, CM_PREV_PALETTE},
        {FVIRTKEY | FSHIFT, VK_F7, CM_SHIFT_PREV},
        {FVIRTKEY | FCONTROL, VK_F7, CM_SHIFT_BACK},
        {FVIRTKEY, VK_F8, CM_NEXT_PALETTE},
        {FVIRTKEY | FSHIFT, VK_F8, CM_SHIFT_NEXT},
        {FVIRTKEY | FCONTROL, VK_F8, CM_SHIFT_FORWARD},
        {FVIRTKEY, VK_F9, CM_PALETTE},
        {FVIRTKEY, VK_F11, CM_DISPLAY},
        {FVIRTKEY, VK_F12, CM_AUTOZOOM},
        {FVIRTKEY, VK_ESCAPE, CM_LEAVE_FULLSCREEN},
        {FVIRTKEY | FALT, 'S', CM_FULLSCREEN},
    };
    // Digits 1 to 9, then 0 for the tenth.
    auto digit = [](int n) { return static_cast<WORD>(n == 10 ? '0' : '0' + n); };
    for (int n = 1; n <= 10; ++n) table.push_back({FALT, digit(n), static_cast<WORD>(CM_SPREAD_1 + n - 1)});
    for (int n = 1; n <= 10; ++n) {
        table.push_back({FVIRTKEY | FCONTROL, digit(n), static_cast<WORD>(CM_FIT_1 + n - 1)});
    }
    return table;
}

std::vector<ACCEL> LoadAccelerators(HMODULE module) {
    std::vector<ACCEL> entries;
    HACCEL table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDA_MAIN));
    if (table == nullptr) return entries;
    entries.resize(static_cast<size_t>(CopyAcceleratorTableA(table, nullptr, 0)));
    CopyAcceleratorTableA(table, entries.data(), static_cast<int>(entries.size()));
    DestroyAcceleratorTable(table);
    return entries;
}

// The end-of-table bit of the resource is not part of the key's flags.
BYTE FlagsOf(const ACCEL& entry) { return static_cast<BYTE>(entry.fVirt & ~0x80); }

TEST_F(ResourceTest, AcceleratorTableHasAllEntriesInOrder) {
    const std::vector<ACCEL> actual = LoadAccelerators(module_);
    const std::vector<AccelSpec> expected = ExpectedAccelerators();
    ASSERT_EQ(expected.size(), 37u);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "entry " << i << ", command " << expected[i].command);
        EXPECT_EQ(FlagsOf(actual[i]), expected[i].flags);
        EXPECT_EQ(actual[i].key, expected[i].key);
        EXPECT_EQ(actual[i].cmd, expected[i].command);
    }
    for (const ACCEL& entry : actual) EXPECT_NE(entry.key, VK_F10) << "F10 belongs to the menu bar";
}

// "F7" -> VK_F7 as a virtual key, "Alt+S" -> virtual key S with Alt.
bool KeyOfLabel(const std::string& label, BYTE& flags, WORD& key) {
    if (label == "Alt+S") {
        flags = FVIRTKEY | FALT;
        key = 'S';
        return true;
    }
    if (label.size() >= 2 && label[0] == 'F') {
        const int n = std::atoi(label.c_str() + 1);
        if (n < 1 || n > 12) return false;
        flags = FVIRTKEY;
        key = static_cast<WORD>(VK_F1 + n - 1);
        return true;
    }
    return false;
}

TEST_F(ResourceTest, EveryKeyLabelInTheMenuSendsTheItemsCommand) {
    const std::vector<ACCEL> accelerators = LoadAccelerators(module_);
    HMENU menu = LoadMenuA(module_, MAKEINTRESOURCEA(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    int labels = 0;
    for (const MenuItem& popup : ReadMenu(menu)) {
        for (const MenuItem& item : ReadMenu(popup.subMenu)) {
            const size_t mark = item.text.find('\b');
            if (mark == std::string::npos) continue;
            ++labels;
            const std::string label = item.text.substr(mark + 1);
            SCOPED_TRACE(item.text);
            BYTE flags = 0;
            WORD key = 0;
            ASSERT_TRUE(KeyOfLabel(label, flags, key)) << "unknown key label " << label;
            const auto found = std::find_if(accelerators.begin(), accelerators.end(), [&](const ACCEL& a) {
                return FlagsOf(a) == flags && a.key == key;
            });
            ASSERT_NE(found, accelerators.end()) << "no accelerator for " << label;
            EXPECT_EQ(found->cmd, item.id);
        }
    }
    EXPECT_EQ(labels, 12);
    DestroyMenu(menu);
}

// ---------------------------------------------------------------------------
// Toolbar bitmap

constexpr COLORREF kVgaColours[16] = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

TEST_F(ResourceTest, ToolbarBitmapIsThirteen4BitPicturesOnTheKeyColour) {
    const RawResource raw = FindRaw(module_, MAKEINTRESOURCEA(IDB_TOOLBAR), RT_BITMAP);
    ASSERT_NE(raw.data, nullptr);
    const auto header = ReadAt<BITMAPINFOHEADER>(raw, 0);
    const LONG width = TOOLBAR_IMAGE_SIZE * TOOLBAR_IMAGE_COUNT;
    ASSERT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
    ASSERT_EQ(header.biWidth, width);
    ASSERT_EQ(header.biHeight, TOOLBAR_IMAGE_SIZE);  // positive: bottom-up rows
    ASSERT_EQ(header.biBitCount, 4);
    ASSERT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    ASSERT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 16);
    const size_t stride = (width * 4 + 31) / 32 * 4;
    const size_t pixelOffset = sizeof header + 16 * sizeof(RGBQUAD);
    ASSERT_EQ(raw.size, pixelOffset + stride * TOOLBAR_IMAGE_SIZE);

    for (int i = 0; i < 16; ++i) {
        const auto quad = ReadAt<RGBQUAD>(raw, sizeof header + i * sizeof(RGBQUAD));
        EXPECT_EQ(RGB(quad.rgbRed, quad.rgbGreen, quad.rgbBlue), kVgaColours[i]) << "entry " << i;
    }

    auto indexAt = [&](int x, int y) {  // y = 0 is the top row
        const BYTE pair = raw.data[pixelOffset + (TOOLBAR_IMAGE_SIZE - 1 - y) * stride + x / 2];
        return x % 2 == 0 ? pair >> 4 : pair & 0x0F;
    };
    for (int picture = 0; picture < TOOLBAR_IMAGE_COUNT; ++picture) {
        SCOPED_TRACE(testing::Message() << "picture " << picture);
        const int left = picture * TOOLBAR_IMAGE_SIZE;
        // Every picture stands on the light grey that the toolbar turns into
        // the button face, and has something drawn on it.
        EXPECT_EQ(kVgaColours[indexAt(left, 0)], RGB(192, 192, 192));
        std::set<int> used;
        for (int y = 0; y < TOOLBAR_IMAGE_SIZE; ++y) {
            for (int x = 0; x < TOOLBAR_IMAGE_SIZE; ++x) used.insert(indexAt(left + x, y));
        }
        EXPECT_GE(used.size(), 3u);
    }
}

TEST_F(ResourceTest, ToolbarMapsTheBackgroundToTheButtonFace) {
    // The colour mapping CreateToolbarEx applies to a bitmap resource.
    HBITMAP mapped = CreateMappedBitmap(module_, IDB_TOOLBAR, 0, nullptr, 0);
    ASSERT_NE(mapped, nullptr);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(dc, mapped);
    for (int picture = 0; picture < TOOLBAR_IMAGE_COUNT; ++picture) {
        EXPECT_EQ(GetPixel(dc, picture * TOOLBAR_IMAGE_SIZE, 0), GetSysColor(COLOR_BTNFACE)) << "picture " << picture;
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    DeleteObject(mapped);
}

// ---------------------------------------------------------------------------
// Icon

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;  // 1: icon
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;  // of the RT_ICON resource
};
#pragma pack(pop)

TEST_F(ResourceTest, IconHasA32And16PixelPicture) {
    const RawResource group = FindRaw(module_, MAKEINTRESOURCEA(IDI_QUAXEL), RT_GROUP_ICON);
    ASSERT_NE(group.data, nullptr);
    const auto header = ReadAt<GroupIconHeader>(group, 0);
    ASSERT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 2);
    ASSERT_EQ(group.size, sizeof header + header.count * sizeof(GroupIconEntry));

    for (const int size : {32, 16}) {
        SCOPED_TRACE(testing::Message() << size << " x " << size);
        // The entry the system itself picks for this size.
        const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data), TRUE, size, size, LR_DEFAULTCOLOR);
        const GroupIconEntry* entry = nullptr;
        for (int i = 0; i < header.count; ++i) {
            const auto* e = reinterpret_cast<const GroupIconEntry*>(group.data + sizeof header) + i;
            if (e->id == id) entry = e;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->width, size);
        EXPECT_EQ(entry->height, size);
        EXPECT_EQ(entry->bitCount, 8);

        const RawResource image = FindRaw(module_, MAKEINTRESOURCEA(id), RT_ICON);
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, entry->bytes);
        const auto info = ReadAt<BITMAPINFOHEADER>(image, 0);
        EXPECT_EQ(info.biWidth, size);
        EXPECT_EQ(info.biHeight, 2 * size);  // picture and mask
        EXPECT_EQ(info.biBitCount, 8);

        // A rendered set, not a flat square: many palette entries in use.
        const size_t pixels = sizeof info + 256 * sizeof(RGBQUAD);
        ASSERT_GE(image.size, pixels + static_cast<size_t>(size) * size);
        const std::set<BYTE> used(image.data + pixels, image.data + pixels + size * size);
        EXPECT_GE(used.size(), 8u);

        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE, 0x00030000, size,
                                              size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr);
        if (icon != nullptr) DestroyIcon(icon);
    }
}

// ---------------------------------------------------------------------------
// Manifest and version

std::string Lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

TEST_F(ResourceTest, ManifestAsksForCommonControls6AndNothingElse) {
    const RawResource raw = FindRaw(module_, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(raw.data, nullptr);
    const std::string text(reinterpret_cast<const char*>(raw.data), raw.size);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    // Scaling and elevation are left to the system's defaults.
    EXPECT_EQ(Lowercase(text).find("dpiaware"), std::string::npos);
    EXPECT_EQ(Lowercase(text).find("requestedexecutionlevel"), std::string::npos);
}

std::string VersionString(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0) {
        return "";
    }
    return std::string(value);
}

TEST_F(ResourceTest, VersionNamesTheProductAndTheProjectVersion) {
    const std::string exe = QuaxelExe();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(QUAXEL_PROJECT_VERSION_MINOR,
                                                                  QUAXEL_PROJECT_VERSION_MAJOR)));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(VersionString(block, "ProductName"), "Quaxel");
    EXPECT_EQ(VersionString(block, "FileDescription"), "Quaxel fractal explorer");
    EXPECT_EQ(VersionString(block, "CompanyName"), "The Quaxel authors");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "quaxel.exe");
    const std::string expectedVersion =
        std::to_string(QUAXEL_PROJECT_VERSION_MAJOR) + "." + std::to_string(QUAXEL_PROJECT_VERSION_MINOR) + ".";
    EXPECT_EQ(VersionString(block, "FileVersion").rfind(expectedVersion, 0), 0u);
}

}  // namespace
