#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "GdiTestSupport.h"
#include "image/DibSect.h"
#include "image/ExportWin.h"
#include "image/Palette.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const fs::path& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}


// What the export showed in place of a message box.
struct ShownMessage {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};
std::vector<ShownMessage> g_messages;

int WINAPI RecordMessage(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    g_messages.push_back({owner, text, caption, style});
    return IDOK;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages.clear();
        folder = fs::temp_directory_path() / ("quaxel-export-" + std::to_string(GetCurrentProcessId()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        owner = CreateOwnerWindow();
        ASSERT_NE(owner, nullptr);
        uint8_t table[kColourTableBytes];
        ColourState palette;  // a depth of 0: no logical palette
        GeneratePalette(palette, 0, table, 1);
        image.Create(401, 30, table);
        for (int32_t row = 0; row < 30; ++row) {
            PixelCursor cursor;
            image.StartRow(cursor, row);
            for (int32_t x = 0; x < 401; ++x) PutPixel(cursor, static_cast<uint8_t>(x + row));
        }
    }
    void TearDown() override {
        image.Release();
        DestroyWindow(owner);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    static constexpr size_t kFileBytes = 1078 + 404 * 30;

    fs::path folder;
    HWND owner = nullptr;
    DibImage image;
};

TEST_F(ExportTest, DialogRecordAsTheCommandFillsIt) {
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0xCD, sizeof dialog);
    char fileName[MAX_PATH];
    std::memset(fileName, 'x', sizeof fileName);
    FillExportDialog(dialog, owner, fileName);

    // The record without the extension fields: 76 bytes in the 32-bit program.
    EXPECT_EQ(dialog.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400));
#ifdef _WIN64
    EXPECT_EQ(dialog.lStructSize, 136u);
#else
    EXPECT_EQ(dialog.lStructSize, 76u);
#endif
    EXPECT_LT(dialog.lStructSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(dialog.hwndOwner, owner);
    ASSERT_NE(dialog.lpstrFilter, nullptr);
    // One filter pair and the closing double terminator: 20 bytes.
    EXPECT_EQ(std::memcmp(dialog.lpstrFilter, "Bitmap Files\0*.bmp\0", 20), 0);
    EXPECT_EQ(dialog.lpstrFile, fileName);
    EXPECT_EQ(fileName[0], '\0');
    EXPECT_EQ(dialog.nMaxFile, 260u);
    EXPECT_EQ(dialog.Flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
    ASSERT_NE(dialog.lpstrDefExt, nullptr);
    EXPECT_STREQ(dialog.lpstrDefExt, "BMP");
    // Nothing else is set: no title, folder, filter index or hook.
    EXPECT_EQ(dialog.hInstance, nullptr);
    EXPECT_EQ(dialog.lpstrCustomFilter, nullptr);
    EXPECT_EQ(dialog.nMaxCustFilter, 0u);
    EXPECT_EQ(dialog.nFilterIndex, 0u);
    EXPECT_EQ(dialog.lpstrFileTitle, nullptr);
    EXPECT_EQ(dialog.lpstrInitialDir, nullptr);
    EXPECT_EQ(dialog.lpstrTitle, nullptr);
    EXPECT_EQ(dialog.nFileOffset, 0);
    EXPECT_EQ(dialog.nFileExtension, 0);
    EXPECT_EQ(dialog.lCustData, 0);
    EXPECT_EQ(dialog.lpfnHook, nullptr);
    EXPECT_EQ(dialog.lpTemplateName, nullptr);
}

TEST_F(ExportTest, FailureShowsTheMessageWithThePathAsCaption) {
    const std::string missing = (folder / "missing" / "out.bmp").string();
    EXPECT_FALSE(ExportBitmapTo(owner, image, missing.c_str(), RecordMessage));
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].owner, owner);
    EXPECT_EQ(g_messages[0].text, "An error occured during the bitmap export!");
    EXPECT_EQ(g_messages[0].caption, missing);
    EXPECT_EQ(g_messages[0].style, static_cast<UINT>(MB_ICONHAND | MB_OK));

    // A folder of that name.
    fs::create_directory(folder / "sub.bmp");
    const std::string directory = (folder / "sub.bmp").string();
    EXPECT_FALSE(ExportBitmapTo(owner, image, directory.c_str(), RecordMessage));
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[1].caption, directory);
    EXPECT_TRUE(fs::is_directory(folder / "sub.bmp"));
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"sub.bmp"});
}

TEST_F(ExportTest, ReadOnlyFileIsNeitherReplacedNorDamaged) {
    const fs::path file = folder / "locked.bmp";
    WriteFile(file, "the previous export");
    ASSERT_TRUE(SetFileAttributesA(file.string().c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(ExportBitmapTo(owner, image, file.string().c_str(), RecordMessage));
    EXPECT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(ReadText(file), "the previous export");
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"locked.bmp"});
    SetFileAttributesA(file.string().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ExportTest, SuccessReplacesAnExistingFileSilently) {
    const fs::path file = folder / "image.bmp";
    WriteFile(file, "the previous export");
    EXPECT_TRUE(ExportBitmapTo(owner, image, file.string().c_str(), RecordMessage));
    EXPECT_TRUE(g_messages.empty());
    const auto bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), kFileBytes);
    EXPECT_EQ(std::memcmp(bytes.data() + 14, &image.info, 1064), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 1078, image.pixels, 404 * 30), 0);
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"image.bmp"});
}

// ---------------------------------------------------------------------------
// The whole command, with its dialogs answered from a timer: each dialog that
// waits for input (visible and enabled, not the one just answered) gets the
// next answer, text for the file name box and a button.

struct Answer {
    std::string fileName;  // typed into the Save dialog's name box when not empty
    int button;
};
std::vector<Answer> g_answers;
std::vector<HWND> g_dialogsSeen;  // one per answer given

BOOL CALLBACK FindWaitingDialog(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindWaitingDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr || (!g_dialogsSeen.empty() && g_dialogsSeen.back() == dialog)) return;
    const size_t index = g_dialogsSeen.size();
    g_dialogsSeen.push_back(dialog);
    // Anything beyond the script is cancelled, and counted in g_dialogsSeen.
    const Answer answer = index < g_answers.size() ? g_answers[index] : Answer{"", IDCANCEL};
    if (!answer.fileName.empty()) {
        // The name box: a combo box (cmb13) in newer dialogs, an edit (edt1) in older ones.
        HWND name = GetDlgItem(dialog, cmb13);
        if (name == nullptr) name = GetDlgItem(dialog, edt1);
        SetWindowTextA(name, answer.fileName.c_str());
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer.button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer.button)));
}

void RunCommandAnswering(HWND owner, const DibImage& image, std::vector<Answer> answers) {
    g_answers = std::move(answers);
    g_dialogsSeen.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerDialogs);
    BitmapExportCommand(owner, image);
    KillTimer(nullptr, timer);
}

TEST_F(ExportTest, CommandExportsToTheChosenFileWithTheDefaultExtension) {
    RunCommandAnswering(owner, image, {{(folder / "typed").string(), IDOK}});
    EXPECT_EQ(g_dialogsSeen.size(), 1u);
    ASSERT_EQ(NamesIn(folder).size(), 1u);
    const std::string name = *NamesIn(folder).begin();
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), -1, "typed.bmp", -1), CSTR_EQUAL)
        << name;
    EXPECT_EQ(ReadFile(folder / name).size(), kFileBytes);
}

TEST_F(ExportTest, CommandAsksBeforeReplacingAnExistingFile) {
    const fs::path file = folder / "existing.bmp";
    WriteFile(file, "the previous export");
    // The prompt comes before anything is written: answered No, then the
    // dialog cancelled, the file stays.
    RunCommandAnswering(owner, image, {{file.string(), IDOK}, {"", IDNO}, {"", IDCANCEL}});
    EXPECT_EQ(g_dialogsSeen.size(), 3u);
    EXPECT_EQ(ReadText(file), "the previous export");

    RunCommandAnswering(owner, image, {{file.string(), IDOK}, {"", IDYES}});
    EXPECT_EQ(g_dialogsSeen.size(), 2u);
    EXPECT_EQ(ReadFile(file).size(), kFileBytes);
    EXPECT_EQ(NamesIn(folder), std::set<std::string>{"existing.bmp"});
}

TEST_F(ExportTest, CancelledCommandWritesNothing) {
    RunCommandAnswering(owner, image, {{"", IDCANCEL}});
    EXPECT_EQ(g_dialogsSeen.size(), 1u);
    EXPECT_TRUE(NamesIn(folder).empty());
}

}  // namespace
