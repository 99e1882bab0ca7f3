// Reads the dialog templates out of the real quaxel.exe and compares them,
// record by record, with the layouts the dialog procedures are written
// against; then creates each dialog from the exe to prove it loads.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "HostPath.h"
#include "resources/rcinc.h"

namespace {

// ---------------------------------------------------------------------------
// Expected layouts, in template order

constexpr const char* kButton = "Button";
constexpr const char* kEdit = "Edit";
constexpr const char* kStatic = "Static";
constexpr const char* kListBox = "ListBox";
constexpr const char* kScrollBar = "ScrollBar";
constexpr const char* kProgramIcon = nullptr;  // text is the ordinal IDI_QUAXEL

struct ControlShape {
    int id;
    const char* cls;
    DWORD style;  // every control also has WS_CHILD, and WS_VISIBLE unless hidden
    const char* text;
    short x, y, cx, cy;
    bool hidden = false;
};

struct DialogShape {
    int id;
    const char* caption;
    short x, y, cx, cy;
    std::vector<ControlShape> controls;
};

// Names the dialog in gtest's messages instead of dumping its bytes.
void PrintTo(const DialogShape& shape, std::ostream* os) { *os << "dialog " << shape.id << " \"" << shape.caption << "\""; }

constexpr DWORD kDialogStyle = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

constexpr DWORD kGroupBox = BS_GROUPBOX;
constexpr DWORD kLabel = SS_LEFT;
constexpr DWORD kNumberEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kFloatEdit = kNumberEdit | ES_NOHIDESEL;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON | WS_TABSTOP;
constexpr DWORD kFirstRadio = kRadio | WS_GROUP;

const std::vector<DialogShape>& Dialogs() {
    static const std::vector<DialogShape> dialogs = {
        {IDD_RANGE, "Range", 18, 18, 168, 196,
         {{IDC_STATIC, kButton, kGroupBox, "&Iterations", 4, 136, 160, 26},
          {IDC_STATIC, kStatic, kLabel, "Start:", 8, 148, 18, 8},
          {IDC_RANGE_ITER_START, kEdit, kNumberEdit, "#9999", 28, 146, 28, 12},
          {IDC_STATIC, kStatic, kLabel, "Incr.:", 59, 148, 18, 8},
          {IDC_RANGE_ITER_INC, kEdit, kNumberEdit, "#9999", 79, 146, 28, 12},
          {IDC_STATIC, kStatic, kLabel, "End:", 110, 148, 18, 8},
          {IDC_RANGE_ITER_END, kEdit, kNumberEdit, "#9999", 130, 146, 28, 12},
          {IDC_RANGE_MANDELBROT, kButton, kFirstRadio, "Mandelbrot-Set", 4, 166, 68, 12},
          {IDC_RANGE_JULIA, kButton, BS_AUTORADIOBUTTON, "Julia-Set", 72, 166, 68, 12},
          {IDOK, kButton, BS_DEFPUSHBUTTON, "OK", 4, 180, 32, 12},
          {IDCANCEL, kButton, BS_PUSHBUTTON, "Cancel", 40, 180, 32, 12},
          {IDC_STATIC, kButton, kGroupBox, "Real Range (&X Axis)", 4, 4, 160, 40},
          {IDC_STATIC, kStatic, kLabel, "Min:", 8, 16, 20, 8},
          {IDC_RANGE_REAL_MIN, kEdit, kFloatEdit, "", 28, 14, 130, 12},
          {IDC_STATIC, kStatic, kLabel, "Max:", 8, 30, 20, 8},
          {IDC_RANGE_REAL_MAX, kEdit, kFloatEdit, "", 28, 28, 130, 12},
          {IDC_STATIC, kButton, kGroupBox, "Imaginary Range (&Y Axis)", 4, 48, 160, 40},
          {IDC_STATIC, kStatic, kLabel, "Min:", 8, 60, 20, 8},
          {IDC_RANGE_IMAG_MIN, kEdit, kFloatEdit, "", 28, 58, 130, 12},
          {IDC_STATIC, kStatic, kLabel, "Max:", 8, 74, 20, 8},
          {IDC_RANGE_IMAG_MAX, kEdit, kFloatEdit, "", 28, 72, 130, 12},
          {IDC_STATIC, kButton, kGroupBox, "&Constant", 4, 92, 160, 40},
          {IDC_STATIC, kStatic, kLabel, "Real:", 8, 104, 20, 8},
          {IDC_RANGE_CONST_REAL, kEdit, kFloatEdit, "", 28, 102, 130, 12},
          {IDC_STATIC, kStatic, kLabel, "Imag:", 8, 118, 20, 8},
          {IDC_RANGE_CONST_IMAG, kEdit, kFloatEdit, "", 28, 116, 130, 12}}},
        {IDD_ITERATIONS, "Iterations", 18, 18, 114, 68,
         {{IDC_STATIC, kButton, kGroupBox, "Iterations", 4, 4, 106, 42},
          {IDC_STATIC, kStatic, kLabel, "Current End Value:", 8, 16, 68, 8},
          {IDC_ITER_CURRENT_END, kEdit, ES_LEFT | WS_BORDER | WS_DISABLED, "#9999", 78, 14, 28, 12},
          {IDC_STATIC, kStatic, kLabel, "&New End Value:", 8, 30, 68, 8},
          {IDC_ITER_NEW_END, kEdit, kNumberEdit, "#9999", 78, 28, 28, 12},
          {IDOK, kButton, BS_DEFPUSHBUTTON, "OK", 4, 52, 32, 12},
          {IDCANCEL, kButton, BS_PUSHBUTTON, "Cancel", 40, 52, 32, 12}}},
        {IDD_PALETTE, "Colour Palette", 18, 18, 276, 156,
         {{IDC_STATIC, kButton, kGroupBox, "Colour Palette", 4, 4, 132, 148},
          {IDC_PALETTE_1, kButton, kFirstRadio, "&Fire", 8, 14, 124, 12},
          {IDC_PALETTE_1 + 1, kButton, kRadio, "Colour &Circle (30)", 8, 26, 124, 12},
          {IDC_PALETTE_1 + 2, kButton, kRadio, "C&olour Circle (210)", 8, 38, 124, 12},
          {IDC_PALETTE_1 + 3, kButton, kRadio, "Colour C&ircle (252)", 8, 50, 124, 12},
          {IDC_PALETTE_1 + 4, kButton, kRadio, "Colour &Scales (56)", 8, 62, 124, 12},
          {IDC_PALETTE_1 + 5, kButton, kRadio, "Colour Sc&ales (112)", 8, 74, 124, 12},
          {IDC_PALETTE_1 + 6, kButton, kRadio, "Colour Sca&les (252)", 8, 86, 124, 12},
          {IDC_PALETTE_1 + 7, kButton, kRadio, "Saw &Tooth (56)", 8, 98, 124, 12},
          {IDC_PALETTE_1 + 8, kButton, kRadio, "Saw Toot&h (252)", 8, 110, 124, 12},
          {IDC_PALETTE_1 + 9, kButton, kRadio, "&Black && White", 8, 122, 124, 12},
          {IDC_PALETTE_11, kButton, kRadio, "&VGA Standard (16)", 8, 134, 124, 12},
          {IDC_STATIC, kButton, kGroupBox, "Colour Determination", 140, 4, 132, 38},
          {IDC_PALETTE_MODULO, kButton, kFirstRadio, "Use &Modulo Function", 144, 14, 124, 12},
          {IDC_PALETTE_PERCENTAGE, kButton, kRadio, "Use Percenta&ge", 144, 26, 124, 12},
          {IDC_STATIC, kButton, kGroupBox, "Pome Set Colour", 140, 46, 132, 42},
          {IDC_PALETTE_SET_COLOUR, kButton, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, "Set Pome Set Colour:", 144, 56,
           88, 12},
          {IDC_PALETTE_SET_COLOUR_TEXT, kStatic, kLabel, "256", 232, 58, 18, 8},
          {IDC_PALETTE_SET_COLOUR_BAR, kScrollBar, SBS_HORZ | WS_TABSTOP, "", 144, 72, 124, 12},
          {IDC_STATIC, kButton, kGroupBox, "Palette Colo&ur Shift", 140, 92, 132, 28},
          {IDC_PALETTE_SHIFT_BAR, kScrollBar, SBS_HORZ | WS_TABSTOP, "", 144, 104, 124, 12},
          {IDOK, kButton, BS_DEFPUSHBUTTON, "OK", 140, 140, 32, 12},
          {IDCANCEL, kButton, BS_PUSHBUTTON, "Cancel", 176, 140, 32, 12},
          {IDC_PALETTE_APPLY, kButton, BS_PUSHBUTTON | WS_TABSTOP, "A&pply", 212, 140, 32, 12}}},
        {IDD_DISPLAY, "Display", 18, 18, 268, 118,
         {{IDC_STATIC, kButton, kGroupBox, "Image Size", 4, 4, 128, 110},
          {IDC_DISPLAY_SIZE_1, kButton, kFirstRadio, "&280 x 210 Pixel", 8, 14, 120, 12},
          {IDC_DISPLAY_SIZE_1 + 1, kButton, kRadio, "&320 x 240 Pixel", 8, 26, 120, 12},
          {IDC_DISPLAY_SIZE_1 + 2, kButton, kRadio, "&400 x 300 Pixel", 8, 38, 120, 12},
          {IDC_DISPLAY_SIZE_1 + 3, kButton, kRadio, "&512 x 384 Pixel", 8, 50, 120, 12},
          {IDC_DISPLAY_SIZE_1 + 4, kButton, kRadio, "&640 x 480 Pixel", 8, 62, 120, 12},
          {IDC_DISPLAY_SIZE_1 + 5, kButton, kRadio, "&800 x 600 Pixel", 8, 74, 120, 12},
          {IDC_DISPLAY_SIZE_7, kButton, kRadio, "&1024 x 768 Pixel", 8, 86, 120, 12},
          {IDC_DISPLAY_SIZE_FREE, kButton, kRadio, "&Free:", 8, 98, 28, 12},
          {IDC_DISPLAY_FREE_WIDTH, kEdit, kNumberEdit | WS_GROUP, "#9999", 36, 99, 24, 12},
          {IDC_DISPLAY_FREE_TIMES, kStatic, SS_CENTER, "x", 60, 100, 8, 8},
          {IDC_DISPLAY_FREE_HEIGHT, kEdit, kNumberEdit | WS_GROUP, "#9999", 68, 99, 24, 12},
          {IDC_DISPLAY_FREE_PIXEL, kStatic, kLabel, "Pixel", 94, 100, 34, 8},
          {IDC_STATIC, kButton, kGroupBox, "Memory Requirements (approx.)", 136, 4, 128, 52},
          {IDC_STATIC, kStatic, kLabel, "Fixed / Single:", 140, 14, 52, 8},
          {IDC_DISPLAY_MEM_SINGLE, kStatic, SS_RIGHT, "12.3 MB", 196, 14, 32, 8},
          {IDC_STATIC, kStatic, kLabel, "Double:", 140, 24, 52, 8},
          {IDC_DISPLAY_MEM_DOUBLE, kStatic, SS_RIGHT, "12.3 MB", 196, 24, 32, 8},
          {IDC_STATIC, kStatic, kLabel, "Extended:", 140, 34, 52, 8},
          {IDC_DISPLAY_MEM_EXTENDED, kStatic, SS_RIGHT, "12.3 MB", 196, 34, 32, 8},
          {IDC_DISPLAY_DOUBLE_SIZE, kButton, BS_AUTOCHECKBOX | WS_DISABLED | WS_GROUP | WS_TABSTOP,
           "Show image in &double size", 136, 86, 128, 12, true},
          {IDOK, kButton, BS_DEFPUSHBUTTON, "OK", 136, 102, 32, 12},
          {IDCANCEL, kButton, BS_PUSHBUTTON, "Cancel", 172, 102, 32, 12},
          {IDC_STATIC, kStatic, kLabel, "Phys. Memory:", 140, 70, 52, 8},
          {IDC_DISPLAY_PHYS_MEMORY, kStatic, SS_RIGHT, "12.3 MB", 196, 70, 32, 8},
          {IDC_DISPLAY_WARNING, kStatic, SS_CENTER | WS_GROUP, "", 140, 44, 120, 8},
          {IDC_STATIC, kButton, kGroupBox, "Available Memory", 136, 60, 128, 22}}},
        {IDD_SAVE_COORDS, "Save Co-ordinates", 10, 24, 175, 50,
         {{IDC_SAVE_LABEL, kStatic, SS_RIGHT, "Filename:", 10, 11, 50, 10},
          {IDC_SAVE_NAME, kEdit, ES_LEFT | WS_BORDER | WS_GROUP | WS_TABSTOP, "POME01", 65, 10, 100, 12},
          {IDC_SAVE_OK, kButton, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, "OK", 10, 30, 55, 14},
          {IDC_SAVE_CANCEL, kButton, BS_PUSHBUTTON | WS_TABSTOP, "Cancel", 110, 30, 55, 14}}},
        {IDD_LOAD_COORDS, "Load Co-ordinates", 10, 24, 136, 144,
         {{IDC_LOAD_LIST, kListBox, LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_GROUP | WS_TABSTOP, "", 8, 8,
           64, 130},
          {IDC_LOAD_OK, kButton, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, "OK", 80, 8, 48, 14},
          {IDC_LOAD_CANCEL, kButton, BS_PUSHBUTTON | WS_TABSTOP, "Cancel", 80, 28, 48, 14},
          {IDC_LOAD_ICON, kStatic, SS_ICON | WS_GROUP, kProgramIcon, 94, 54, 20, 20},
          {IDC_LOAD_CREDIT, kStatic, SS_CENTER, "Pome\nFractals\n\nby the Quaxel authors", 80, 85, 48, 51}}},
        {IDD_ABOUT, "Quaxel Fractal Explorer", 18, 18, 144, 118,
         {{IDC_STATIC, kStatic, SS_ICON | WS_GROUP, kProgramIcon, 4, 4, 18, 20},
          {IDC_ABOUT_TEXT, kStatic, SS_CENTER | WS_GROUP,
           "Quaxel 1.0\n\nCopyright \xA9 1996-2026\nThe Quaxel authors\nAll rights reserved.", 24, 4, 116, 48},
          {IDOK, kButton, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, "OK", 4, 102, 136, 12},
          {IDC_ABOUT_THANKS, kButton, BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, "&b", 149, 2, 8, 9},
          {IDC_STATIC, kStatic, SS_CENTER | WS_GROUP,
           "Visit our home page on the Internet:\nhttps://quaxel.example.org/\nor\nhttps://www.example.org/quaxel/", 4,
           56, 136, 42}}},
        {IDD_WELCOME, "Welcome", 18, 18, 224, 188,
         {{IDOK, kButton, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, "OK", 4, 172, 64, 12},
          {IDC_WELCOME_HELP_INDEX, kButton, BS_PUSHBUTTON | WS_TABSTOP, "&Help Index", 72, 172, 64, 12},
          {IDC_WELCOME_QUICKREF, kButton, BS_PUSHBUTTON | WS_TABSTOP, "&Quick Reference", 140, 172, 64, 12},
          {IDC_STATIC, kStatic, SS_ICON | WS_GROUP, kProgramIcon, 4, 4, 21, 20},
          {IDC_STATIC, kStatic, kLabel,
           "Welcome to Quaxel!\nThis program turns a simple mathematical formula into fascinating images!", 26, 4, 194,
           24},
          {IDC_STATIC, kButton, kGroupBox, "Super-Quick Reference", 4, 32, 216, 62},
          {IDC_STATIC, kStatic, kLabel,
           "If you don't like to read help files:\nClick the right mouse button on the image to open the context "
           "menu.\nHold down the left mouse button to select an area for zooming.\nEnjoy!",
           8, 42, 208, 48},
          {IDC_WELCOME_DONT_SHOW, kButton, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, "&Don't show this dialogue again!",
           4, 156, 216, 12},
          {IDC_STATIC, kButton, kGroupBox, "About Quaxel", 4, 98, 216, 54},
          {IDC_STATIC, kStatic, kLabel,
           "Quaxel is free software by the Quaxel authors. Your ideas and reports are welcome.", 8, 108, 208, 40}}},
    };
    return dialogs;
}

// ---------------------------------------------------------------------------
// Classic DLGTEMPLATE / DLGITEMTEMPLATE reader

struct Field {  // a class or text field: a string, or 0xFFFF and a number
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text;  // Windows Latin-1, like the program's ANSI calls
};

struct TemplateControl {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    Field cls, text;
    WORD creationBytes = 0;
};

struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    Field menu, cls;
    std::string caption;
    WORD pointSize = 0;
    std::string face;
    std::vector<TemplateControl> controls;
};

class TemplateReader {
public:
    TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}

    bool Failed() const { return failed_; }

    template <typename T>
    T Read() {
        T value{};
        if (offset_ + sizeof value > size_) {
            failed_ = true;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }

    std::string ReadString() {
        std::wstring wide;
        for (WCHAR c = Read<WCHAR>(); c != 0 && !failed_; c = Read<WCHAR>()) wide += c;
        if (wide.empty()) return "";
        std::string narrow(wide.size() * 2, '\0');
        const int n = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(),
                                          static_cast<int>(narrow.size()), nullptr, nullptr);
        narrow.resize(static_cast<size_t>(std::max(n, 0)));
        return narrow;
    }

    Field ReadField() {
        Field field;
        if (offset_ + sizeof(WORD) <= size_ && *reinterpret_cast<const WORD*>(data_ + offset_) == 0xFFFF) {
            Read<WORD>();
            field.isOrdinal = true;
            field.ordinal = Read<WORD>();
        } else {
            field.text = ReadString();
        }
        return field;
    }

    void Skip(size_t bytes) {
        offset_ += bytes;
        if (offset_ > size_) failed_ = true;
    }

    // Item records start on a DWORD boundary of the template.
    void AlignToDword() { Skip((4 - offset_ % 4) % 4); }

private:
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool failed_ = false;
};

bool ParseDialog(const BYTE* data, DWORD size, DialogTemplate& dialog) {
    TemplateReader reader(data, size);
    dialog.style = reader.Read<DWORD>();
    dialog.exStyle = reader.Read<DWORD>();
    const WORD count = reader.Read<WORD>();
    dialog.x = reader.Read<short>();
    dialog.y = reader.Read<short>();
    dialog.cx = reader.Read<short>();
    dialog.cy = reader.Read<short>();
    dialog.menu = reader.ReadField();
    dialog.cls = reader.ReadField();
    dialog.caption = reader.ReadString();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Read<WORD>();
        dialog.face = reader.ReadString();
    }
    for (WORD i = 0; i < count && !reader.Failed(); ++i) {
        reader.AlignToDword();
        TemplateControl control;
        control.style = reader.Read<DWORD>();
        control.exStyle = reader.Read<DWORD>();
        control.x = reader.Read<short>();
        control.y = reader.Read<short>();
        control.cx = reader.Read<short>();
        control.cy = reader.Read<short>();
        control.id = reader.Read<WORD>();
        control.cls = reader.ReadField();
        control.text = reader.ReadField();
        control.creationBytes = reader.Read<WORD>();
        reader.Skip(control.creationBytes);
        dialog.controls.push_back(control);
    }
    return !reader.Failed();
}

// The predefined classes a template may name by atom.
std::string ClassName(const Field& cls) {
    if (!cls.isOrdinal) return cls.text;
    switch (cls.ordinal) {
        case 0x0080: return "Button";
        case 0x0081: return "Edit";
        case 0x0082: return "Static";
        case 0x0083: return "ListBox";
        case 0x0084: return "ScrollBar";
        case 0x0085: return "ComboBox";
        default: return "#" + std::to_string(cls.ordinal);
    }
}

bool SameClass(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string NameOf(const DialogShape& shape) {
    std::string name;
    for (const char c : std::string(shape.caption)) {
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    }
    return name;
}

// ---------------------------------------------------------------------------

class DialogTemplateTest : public testing::TestWithParam<DialogShape> {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExA(WindowsPathOf(QUAXEL_EXE_PATH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load " << QUAXEL_EXE_PATH; }

    static HMODULE module_;
};

HMODULE DialogTemplateTest::module_ = nullptr;

TEST_P(DialogTemplateTest, TemplateMatchesTheLayoutControlByControl) {
    const DialogShape& shape = GetParam();
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(shape.id), RT_DIALOG);
    ASSERT_NE(found, nullptr) << "no dialog " << shape.id;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
    ASSERT_NE(data, nullptr);
    // An extended template starts with version 1 and signature 0xFFFF.
    ASSERT_NE(*reinterpret_cast<const DWORD*>(data), 0xFFFF0001u) << "expected a classic DLGTEMPLATE";

    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialog(data, SizeofResource(module_, found), dialog)) << "template runs past its resource";
    EXPECT_EQ(dialog.style, kDialogStyle);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, shape.x);
    EXPECT_EQ(dialog.y, shape.y);
    EXPECT_EQ(dialog.cx, shape.cx);
    EXPECT_EQ(dialog.cy, shape.cy);
    EXPECT_TRUE(!dialog.menu.isOrdinal && dialog.menu.text.empty()) << "no menu";
    EXPECT_TRUE(!dialog.cls.isOrdinal && dialog.cls.text.empty()) << "the system dialog class";
    EXPECT_EQ(dialog.caption, shape.caption);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.face, "Helv");

    ASSERT_EQ(dialog.controls.size(), shape.controls.size());
    for (size_t i = 0; i < shape.controls.size(); ++i) {
        const ControlShape& want = shape.controls[i];
        const TemplateControl& got = dialog.controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " (id " << want.id << ", "
                                        << (want.text ? want.text : "icon") << ")");
        EXPECT_EQ(got.id, static_cast<WORD>(want.id));
        EXPECT_TRUE(SameClass(ClassName(got.cls), want.cls)) << ClassName(got.cls);
        const DWORD visible = want.hidden ? 0 : WS_VISIBLE;
        EXPECT_EQ(got.style, WS_CHILD | visible | want.style) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, 0u);
        if (want.text == kProgramIcon) {
            EXPECT_TRUE(got.text.isOrdinal && got.text.ordinal == IDI_QUAXEL) << got.text.text;
        } else {
            EXPECT_FALSE(got.text.isOrdinal);
            EXPECT_EQ(got.text.text, want.text);
        }
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.creationBytes, 0);
    }
}

INT_PTR CALLBACK NoOpDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_P(DialogTemplateTest, CreatesFromTheExeWithEveryControlInOrder) {
    const DialogShape& shape = GetParam();
    HWND owner = CreateWindowExA(0, "Static", "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    HWND dialog = CreateDialogParamA(module_, MAKEINTRESOURCEA(shape.id), owner, NoOpDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();

    char caption[128] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, shape.caption);
    EXPECT_NE(SendMessageA(dialog, WM_GETFONT, 0, 0), 0) << "the template's font was not created";

    size_t i = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT), ++i) {
        if (i >= shape.controls.size()) continue;
        const ControlShape& want = shape.controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " (id " << want.id << ")");
        EXPECT_EQ(LOWORD(GetDlgCtrlID(child)), static_cast<WORD>(want.id));
        char cls[64] = {};
        GetClassNameA(child, cls, sizeof cls);
        EXPECT_TRUE(SameClass(cls, want.cls)) << cls;
        if (want.text == kProgramIcon) {
            EXPECT_NE(SendMessageA(child, STM_GETICON, 0, 0), 0) << "icon not loaded";
        }
    }
    EXPECT_EQ(i, shape.controls.size());

    DestroyWindow(dialog);
    DestroyWindow(owner);
}

INSTANTIATE_TEST_SUITE_P(Quaxel, DialogTemplateTest, testing::ValuesIn(Dialogs()),
                         [](const testing::TestParamInfo<DialogShape>& info) { return NameOf(info.param); });

// The thanks text replaces IDC_ABOUT_TEXT: a line of thanks, an empty line,
// then one indented line per tester.
TEST(AboutThanks, IsAThanksLineThenOneIndentedLinePerTester) {
    HMODULE module = LoadLibraryExA(WindowsPathOf(QUAXEL_EXE_PATH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    char text[512] = {};
    const int length = LoadStringA(module, IDS_ABOUT_THANKS, text, sizeof text);
    FreeLibrary(module);
    ASSERT_GT(length, 0);
    std::vector<std::string> lines(1);
    for (const char c : std::string(text)) {
        if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    ASSERT_EQ(lines.size(), 4u) << text;
    EXPECT_NE(lines[0].find("thank"), std::string::npos);
    EXPECT_TRUE(lines[1].empty());
    for (const size_t tester : {2u, 3u}) {
        EXPECT_EQ(lines[tester].rfind("    a tester in ", 0), 0u) << lines[tester];
    }
}

}  // namespace
