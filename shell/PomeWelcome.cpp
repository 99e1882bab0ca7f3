// The F1 key in the program's dialogs and message boxes, and the Welcome
// dialog that greets the user at start.
#include "shell/PomeWelcome.h"

#include <windows.h>

#include "dialogs/PomeDlgLogic.h"
#include "resources/rcinc.h"
#include "shell/CallbackGuard.h"
#include "shell/ProgramState.h"

namespace {

// Given without a directory, so the setting lives in the Windows directory,
// apart from the saved views beside the program.
constexpr char kSettingsFile[] = "quaxel.ini";

// Function keys inside a modal dialog or message box become commands posted
// to that dialog (F1 asks for its help topic); the key itself is consumed.
LRESULT HelpKeyHookBody(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && message != nullptr && message->message == WM_KEYDOWN &&
        message->wParam >= VK_F1 && message->wParam <= VK_F12) {
        HWND target = nullptr;
        for (HWND window = message->hwnd; window != nullptr;
             window = reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_HWNDPARENT))) {
            target = window;
            if ((GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD) == 0) break;
        }
        if (target != nullptr)
            PostMessageA(target, WM_COMMAND, CM_DIALOG_HELP + (message->wParam - VK_F1), 0);
        return 1;
    }
    return CallNextHookEx(Program.HelpHook, code, wParam, lParam);
}

LRESULT CALLBACK HelpKeyHook(int code, WPARAM wParam, LPARAM lParam) {
    return GuardedCallback([&] { return HelpKeyHookBody(code, wParam, lParam); },
                           [&] { return CallNextHookEx(Program.HelpHook, code, wParam, lParam); });
}

void CloseWelcome(HWND dialog) {
    DestroyWindow(dialog);
    Program.WelcomeDialog = nullptr;
}

// The dialog is handed the setting as read when it opens; from then on its
// check box holds it.
INT_PTR WelcomeProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CheckDlgButton(dialog, IDC_WELCOME_DONT_SHOW, lParam != 0 ? BST_UNCHECKED : BST_CHECKED);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: {
        const bool showAtStart = IsDlgButtonChecked(dialog, IDC_WELCOME_DONT_SHOW) != BST_CHECKED;
        // A setting that cannot be written is not worth a message.
        WritePrivateProfileStringA("Quaxel", "Welcome", showAtStart ? "1" : "0", kSettingsFile);
        CloseWelcome(dialog);
        return TRUE;
    }
    case IDCANCEL: CloseWelcome(dialog); return TRUE;
    case IDC_WELCOME_HELP_INDEX: WinHelpA(Program.MainWindow, kHelpFile, HELP_INDEX, 0); return TRUE;
    case IDC_WELCOME_QUICKREF:
        WinHelpA(Program.MainWindow, kHelpFile, HELP_INDEX, 0);
        WinHelpA(Program.MainWindow, kHelpFile, HELP_COMMAND, reinterpret_cast<ULONG_PTR>(kQuickReferenceMacro));
        return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK WelcomeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedCallback([&] { return WelcomeProcBody(dialog, message, wParam, lParam); }, [&] {
        CloseWelcome(dialog);
        return INT_PTR{TRUE};
    });
}

}  // namespace

// Only the program's own thread: its dialogs and message boxes are all there
// is to reach, and a hook for every thread would need its procedure in a DLL.
void InstallHelpKeyHook() {
    Program.HelpHook = SetWindowsHookExA(WH_MSGFILTER, HelpKeyHook, nullptr, GetCurrentThreadId());
}

void RemoveHelpKeyHook() {
    if (Program.HelpHook != nullptr) UnhookWindowsHookEx(Program.HelpHook);
    Program.HelpHook = nullptr;
}

void ShowWelcome(bool atStartup) {
    if (Program.WelcomeDialog != nullptr) return;
    const bool showAtStart = GetPrivateProfileIntA("Quaxel", "Welcome", 1, kSettingsFile) != 0;
    if (!showAtStart && atStartup) return;
    Program.WelcomeDialog = CreateDialogParamA(Program.Instance, MAKEINTRESOURCEA(IDD_WELCOME), Program.MainWindow,
                                               WelcomeProc, showAtStart ? 1 : 0);
    if (Program.WelcomeDialog == nullptr) return;
    ShowWindow(Program.WelcomeDialog, SW_SHOWNORMAL);
    UpdateWindow(Program.WelcomeDialog);
}
