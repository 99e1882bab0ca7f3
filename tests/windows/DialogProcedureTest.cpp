// The real dialogs in this process, the way Wine's conformance tests work a
// dialog: each is created modeless from the template linked into this test,
// activated, and driven with clicks and keys; then the test reads the record
// its caller handed in. Questions come to the test's host instead of a
// message box that would block the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/PomeDlg.h"
#include "resources/rcinc.h"

namespace {

// Shows each dialog modeless and runs the test's script on it; the script
// must leave it closed. Questions are answered from `answers`, in turn.
class ModelessHost final : public DialogHost {
public:
    using Script = std::function<void(HWND dialog)>;
    explicit ModelessHost(Script script) : script_(std::move(script)) {}

    INT_PTR Show(HWND owner, int templateId, DLGPROC procedure, LPARAM record) override {
        HWND dialog =
            CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, procedure, record);
        if (dialog == nullptr) {
            ADD_FAILURE() << "dialog " << templateId << " was not created";
            return -1;
        }
        shown = dialog;
        SetPropA(dialog, kDialogHostProperty, this);
        ShowWindow(dialog, SW_SHOW);
        // A click on a button of an inactive dialog may be lost, and without
        // an active window nothing has the focus.
        SetActiveWindow(dialog);
        script_(dialog);
        if (IsWindow(dialog)) {
            ADD_FAILURE() << "the script left the dialog open";
            End(dialog, -1);
        }
        return result_;
    }

    void End(HWND dialog, INT_PTR result) override {
        result_ = result;
        RemovePropA(dialog, kDialogHostProperty);
        DestroyWindow(dialog);
    }

    struct Question {
        HWND owner;
        std::string text;
        std::string caption;
        UINT style;
    };
    int Ask(HWND owner, const char* text, const char* caption, UINT style) override {
        questions.push_back(Question{owner, text, caption, style});
        if (questions.size() > answers.size()) {
            ADD_FAILURE() << "unexpected question \"" << text << "\"";
            return IDCANCEL;
        }
        return answers[questions.size() - 1];
    }

    std::vector<int> answers;
    std::vector<Question> questions;
    HWND shown = nullptr;

private:
    Script script_;
    INT_PTR result_ = -1;
};

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Replaces the field's text as typing would, so the field counts as changed.
void Type(HWND dialog, int id, const std::string& text) {
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, WM_CHAR, '\b', 1);
    for (char c : text) SendMessageA(field, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
}

// A key pressed in the focused control, through the dialog manager's
// keyboard handling as a modeless dialog's message loop gives it.
void Press(HWND dialog, UINT key) {
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(dialog) && IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string Text(HWND dialog, int id) {
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The record's bytes, padding included: "nothing written" means none of
// them changed (a copy would not keep the padding).
template <typename Record>
std::vector<unsigned char> BytesOf(const Record& record) {
    std::vector<unsigned char> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

CoordinateSet View() {
    CoordinateSet view;
    view.RealMin = -2.0L;
    view.RealMax = 1.0L;
    view.ImagMin = -1.25L;
    view.ImagMax = 1.25L;
    view.ConstReal = 0.25L;
    // Below the 21 decimals the field shows ("0.000..."): kept only as long
    // as the field is left untouched.
    view.ConstImag = 1e-25L;
    view.IterStart = 64;
    view.IterInc = 64;
    view.IterEnd = 256;
    return view;
}

// --- Range -----------------------------------------------------------------

TEST(RangeDialogInProcess, EnterTakesTheTypedFieldsAndKeepsTheUntouchedExactly) {
    CoordinateSet view = View();
    ModelessHost host([](HWND dialog) {
        Type(dialog, IDC_RANGE_REAL_MAX, "-1.5");
        Type(dialog, IDC_RANGE_ITER_END, "300");
        Click(dialog, IDC_RANGE_JULIA);
        Press(dialog, VK_RETURN);
    });
    ASSERT_TRUE(RangeDialog(nullptr, view, host));
    EXPECT_EQ(view.RealMax, -1.5L);
    EXPECT_EQ(view.IterEnd, 300);
    EXPECT_EQ(view.Formula, FormulaKind::JuliaSet);
    EXPECT_EQ(view.RealMin, -2.0L);
    EXPECT_EQ(view.ConstImag, 1e-25L) << "an untouched field was read back from its text";
    EXPECT_TRUE(host.questions.empty());
}

TEST(RangeDialogInProcess, RefusesABadFieldInPlaceAndCancelWritesNothing) {
    CoordinateSet view = View();
    const std::vector<unsigned char> before = BytesOf(view);
    ModelessHost host([&](HWND dialog) {
        Type(dialog, IDC_RANGE_IMAG_MIN, "-1,25");
        Click(dialog, IDOK);
        ASSERT_TRUE(IsWindow(dialog)) << "OK took a bad field";
        HWND field = GetDlgItem(dialog, IDC_RANGE_IMAG_MIN);
        EXPECT_EQ(GetFocus(), field) << "the refused field has not the focus";
        DWORD start = 0;
        DWORD end = 0;
        SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 2u) << "the comma is not selected";
        EXPECT_EQ(end, 3u);
        EXPECT_EQ(BytesOf(view), before) << "a refused OK wrote the view";

        // Corrected, then cancelled: still nothing written.
        Type(dialog, IDC_RANGE_IMAG_MIN, "-1.5");
        Press(dialog, VK_ESCAPE);
    });
    EXPECT_FALSE(RangeDialog(nullptr, view, host));
    EXPECT_EQ(BytesOf(view), before);
}

// --- Display ---------------------------------------------------------------

TEST(DisplayDialogInProcess, APresetAndDoubleSizeAreTakenOnOk) {
    ASSERT_GE(GetSystemMetrics(SM_CXSCREEN), 800);
    ASSERT_GE(GetSystemMetrics(SM_CYSCREEN), 600);
    int32_t width = 320;
    int32_t height = 240;
    int32_t scale = 1;
    ModelessHost host([](HWND dialog) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_DISPLAY_FREE_WIDTH))) << "a preset left the free size on";
        Click(dialog, IDC_DISPLAY_SIZE_1 + 2);  // 400 x 300
        Click(dialog, IDC_DISPLAY_DOUBLE_SIZE);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(DisplayDialog(nullptr, width, height, scale, 0, host));
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
    EXPECT_EQ(scale, 2);
    EXPECT_TRUE(host.questions.empty()) << "asked about an image that fits the screen";
}

// An image wider than the screen is questioned; "Cancel" to the question
// keeps the dialog open and writes nothing, "OK" takes the size.
TEST(DisplayDialogInProcess, AnImageLargerThanTheScreenIsTakenOnlyAfterTheQuestion) {
    const int wider = GetSystemMetrics(SM_CXSCREEN) + 1;
    ASSERT_LE(wider, kMaxFreeSize);
    int32_t width = 320;
    int32_t height = 240;
    int32_t scale = 1;
    ModelessHost host([&](HWND dialog) {
        Click(dialog, IDC_DISPLAY_SIZE_FREE);
        Type(dialog, IDC_DISPLAY_FREE_WIDTH, std::to_string(wider));
        Type(dialog, IDC_DISPLAY_FREE_HEIGHT, "100");
        Click(dialog, IDOK);
        ASSERT_TRUE(IsWindow(dialog)) << "closed although the question was cancelled";
        EXPECT_EQ(width, 320) << "written before the dialog was confirmed";
        Click(dialog, IDOK);
    });
    host.answers = {IDCANCEL, IDOK};
    ASSERT_TRUE(DisplayDialog(nullptr, width, height, scale, 0, host));
    ASSERT_EQ(host.questions.size(), 2u);
    for (const ModelessHost::Question& question : host.questions) {
        EXPECT_EQ(question.owner, host.shown);
        EXPECT_EQ(question.caption, kAttentionCaption);
        EXPECT_EQ(question.text, kAttentionText);
        EXPECT_EQ(question.style, UINT{MB_OKCANCEL | MB_ICONHAND | MB_DEFBUTTON2});
    }
    EXPECT_EQ(width, wider);
    EXPECT_EQ(height, 100);
    EXPECT_EQ(scale, 1);
}

TEST(DisplayDialogInProcess, CancelWritesNothing) {
    int32_t width = 320;
    int32_t height = 240;
    int32_t scale = 2;
    ModelessHost host([](HWND dialog) {
        Click(dialog, IDC_DISPLAY_SIZE_1);
        Click(dialog, IDC_DISPLAY_DOUBLE_SIZE);
        Click(dialog, IDCANCEL);
    });
    EXPECT_FALSE(DisplayDialog(nullptr, width, height, scale, 0, host));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(scale, 2);
}

// --- Colour Palette --------------------------------------------------------

TEST(PaletteDialogInProcess, OkTakesEveryControl) {
    PaletteSettings settings;
    int applied = 0;
    ModelessHost host([](HWND dialog) {
        Click(dialog, IDC_PALETTE_1 + 3);
        Click(dialog, IDC_PALETTE_PERCENTAGE);
        Click(dialog, IDC_PALETTE_SET_COLOUR);
        // Two steps right on the shift bar, by its keyboard.
        SetFocus(GetDlgItem(dialog, IDC_PALETTE_SHIFT_BAR));
        Press(dialog, VK_RIGHT);
        Press(dialog, VK_RIGHT);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(PaletteDialog(nullptr, settings, [&](const PaletteSettings&) { ++applied; }, host));
    EXPECT_EQ(settings.palette, 4);
    EXPECT_TRUE(settings.colourMode);
    EXPECT_TRUE(settings.setColourEnabled);
    EXPECT_EQ(settings.setColour, 0);
    EXPECT_EQ(settings.shift, 2);
    EXPECT_EQ(applied, 0) << "OK went through Apply";
}

// Apply hands over the shown settings at once; the Cancel button, now
// "Close", writes nothing into the caller's record.
TEST(PaletteDialogInProcess, CloseAfterApplyWritesNothing) {
    PaletteSettings settings;
    settings.palette = 2;
    settings.shift = 7;
    const std::vector<unsigned char> before = BytesOf(settings);
    std::vector<int32_t> applied;
    ModelessHost host([](HWND dialog) {
        Click(dialog, IDC_PALETTE_1 + 10);
        Click(dialog, IDC_PALETTE_APPLY);
        EXPECT_EQ(Text(dialog, IDCANCEL), "Close");
        Click(dialog, IDCANCEL);
    });
    EXPECT_FALSE(PaletteDialog(
        nullptr, settings, [&](const PaletteSettings& shown) { applied.push_back(shown.palette); }, host));
    EXPECT_EQ(applied, std::vector<int32_t>{11});
    EXPECT_EQ(BytesOf(settings), before);
}

}  // namespace
