// A minute of random input through the X server: every accelerator, Esc,
// Alt+S and Ctrl+C, right clicks with a context-menu choice, short drags in
// the drawing window, and each dialog or message box that opens answered
// with OK or Cancel. The program must answer within five seconds after every
// action and end cleanly afterwards. QUAXEL_SOAK_SEED replays a run,
// QUAXEL_SOAK_SECONDS sets its length.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Harness.h"
#include "resources/rcinc.h"

namespace e2e {
namespace {

const char* const kKeys[] = {
    "F1",       "F2",       "F3",       "F4",       "F5",       "F6",      "F7",      "shift+F7", "ctrl+F7",
    "F8",       "shift+F8", "ctrl+F8",  "F9",       "F11",      "F12",     "Escape",  "alt+s",    "ctrl+c",
    "alt+1",    "alt+2",    "alt+3",    "alt+4",    "alt+5",    "alt+6",   "alt+7",   "alt+8",    "alt+9",
    "alt+0",    "ctrl+1",   "ctrl+2",   "ctrl+3",   "ctrl+4",   "ctrl+5",  "ctrl+6",  "ctrl+7",   "ctrl+8",
    "ctrl+9",   "ctrl+0",
};

// The context menu's mnemonics, and Esc to close it without a choice.
const char* const kMenuChoices[] = {"p", "c", "j", "m", "1", "2", "5", "0", "Escape"};

unsigned SeedOfThisRun() {
    if (const char* given = std::getenv("QUAXEL_SOAK_SEED")) return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    return static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 16));
}

DWORD SecondsOfThisRun() {
    if (const char* given = std::getenv("QUAXEL_SOAK_SECONDS")) return std::strtoul(given, nullptr, 10);
    return 60;
}

class Soak : public ProgramScenario {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramScenario::SetUp());
        ASSERT_TRUE(help.ok()) << "no stand-in for the help viewer";
        std::printf("soak seed %u (QUAXEL_SOAK_SEED=%u replays it)\n", seed, seed);
        std::fflush(stdout);
    }

    // The seed, the last actions and the screen, for a failure.
    std::string Report(const std::string& what) {
        std::string text = what + "\nseed " + std::to_string(seed) + "; the last actions:\n";
        for (const std::string& action : recent) text += "  " + action + "\n";
        text += "screenshot: " + Screenshot("soak-failure");
        return text;
    }

    void Did(const std::string& action) {
        recent.push_back(action);
        if (recent.size() > 20) recent.pop_front();
    }

    bool Answers() const {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(program.main(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
    }

    // The dialog or message box that takes input now: of the program's
    // visible dialogs, the one that is enabled (a modal one disables its
    // owner).
    HWND OpenDialog() const {
        HWND found = nullptr;
        for (HWND w : testsupport::WindowsOf(program.id(), "#32770"))
            if (IsWindowVisible(w) && IsWindowEnabled(w)) found = w;
        return found;
    }

    // The buttons that answer a dialog: OK and Cancel (Close once Apply was
    // pressed), Yes and No in a question, whatever their ids.
    static std::vector<std::pair<std::string, HWND>> AnswerButtons(HWND dialog) {
        std::vector<std::pair<std::string, HWND>> buttons;
        for (HWND b = nullptr; (b = FindWindowExA(dialog, b, "Button", nullptr)) != nullptr;) {
            const LONG type = GetWindowLongA(b, GWL_STYLE) & BS_TYPEMASK;
            if (!IsWindowVisible(b) || !IsWindowEnabled(b) || (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON))
                continue;
            std::string text;
            for (char c : WindowText(b))
                if (c != '&') text += c;
            if (text == "OK" || text == "Cancel" || text == "Close" || text == "Yes" || text == "No")
                buttons.emplace_back(text, b);
        }
        return buttons;
    }

    // OK or Cancel (Yes or No), chosen by `answers`, to whatever dialog is
    // open, until none is; one that does not close (a Save without a name,
    // say) gets the refusing answer at the next tries.
    bool AnswerDialogs(std::mt19937& answers) {
        for (int round = 0; round < 20; ++round) {
            HWND dialog = OpenDialog();
            if (!dialog) return true;
            const auto buttons = AnswerButtons(dialog);
            std::string answer = "Esc";
            if (buttons.empty()) {
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            } else {
                size_t pick = answers() % buttons.size();
                if (round >= 2)
                    for (size_t i = 0; i < buttons.size(); ++i)
                        if (buttons[i].first == "Cancel" || buttons[i].first == "No" || buttons[i].first == "Close")
                            pick = i;
                answer = buttons[pick].first;
                PostMessageA(buttons[pick].second, BM_CLICK, 0, 0);
            }
            Did(answer + " in \"" + WindowText(dialog) + "\"");
            WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog) || OpenDialog() != dialog; }, 2000);
            if (!Answers()) return false;
        }
        return OpenDialog() == nullptr;
    }

    // Somewhere on the drawing window's client area.
    POINT PointInDrawing(std::mt19937& actions) const {
        const RECT view = ClientRectOnScreen(program.drawing());
        const int w = std::max(1, Width(view) - 20), h = std::max(1, Height(view) - 20);
        return POINT{view.left + 10 + static_cast<int>(actions() % w), view.top + 10 + static_cast<int>(actions() % h)};
    }

    // One random action; false when its input could not be given.
    bool Act(std::mt19937& actions) {
        const unsigned kind = actions() % 10;
        if (kind < 7) {
            const char* key = kKeys[actions() % std::size(kKeys)];
            Did(std::string("key ") + key);
            return Key(key);
        }
        const POINT at = PointInDrawing(actions);
        if (kind < 9) {
            const char* choice = kMenuChoices[actions() % std::size(kMenuChoices)];
            Did("right click at (" + std::to_string(at.x) + ", " + std::to_string(at.y) + "), then " + choice);
            return MouseTo(at.x, at.y) && Xdo("click 3") && Key(choice);
        }
        const int dx = 5 + static_cast<int>(actions() % 80), dy = 5 + static_cast<int>(actions() % 60);
        Did("drag from (" + std::to_string(at.x) + ", " + std::to_string(at.y) + ") by (" + std::to_string(dx) +
            ", " + std::to_string(dy) + ")");
        return MouseTo(at.x, at.y) && Xdo("mousedown 1") && Xdo("mousemove_relative -- " + std::to_string(dx) + " " +
                                                                std::to_string(dy)) &&
               Xdo("mouseup 1");
    }

    const unsigned seed = SeedOfThisRun();
    std::deque<std::string> recent;
    HelpViewerStandIn help;  // F1 must not start a help viewer
};

TEST_F(Soak, RandomInputForAMinuteNeitherHangsNorCrashes) {
    std::mt19937 actions(seed);
    std::mt19937 answers(seed ^ 0x9E3779B9u);
    ASSERT_TRUE(program.Activate());
    const DWORD start = GetTickCount();
    int count = 0;
    while (GetTickCount() - start < SecondsOfThisRun() * 1000) {
        const bool given = Act(actions);
        ++count;
        DWORD exitCode = 0;
        ASSERT_FALSE(program.WaitEnded(0, exitCode)) << Report("the program ended with code " + std::to_string(exitCode));
        ASSERT_TRUE(given) << Report("the input could not be given");
        ASSERT_TRUE(Answers()) << Report("no answer within 5 seconds");
        ASSERT_TRUE(AnswerDialogs(answers)) << Report("a dialog stayed open or the program stopped answering");
    }
    std::printf("soak: %d actions in %lu s\n", count, (GetTickCount() - start) / 1000);

    // Whatever the last action left: no dialog, no full screen, and the
    // calculation of the view it ended on runs to its end.
    ASSERT_TRUE(WaitUntil([&] { return AnswerDialogs(answers) && OpenDialog() == nullptr; }, 10000))
        << Report("dialogs kept opening");
    program.Command(CM_LEAVE_FULLSCREEN);
    ASSERT_TRUE(AnswerDialogs(answers));
    std::string status;
    ASSERT_TRUE(WaitUntil(
        [&] {
            AnswerDialogs(answers);
            status = program.Status();
            return status.rfind("Ready (", 0) == 0;
        },
        180000))
        << Report("no Ready text; status \"" + status + "\"");
    Screenshot("soak-end");

    program.Command(CM_EXIT);
    DWORD exitCode = 99;
    ASSERT_TRUE(program.WaitEnded(kDeadlineMs, exitCode)) << Report("Exit did not end the program");
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(WaitUntil([] { return ProcessesNamed("quaxel.exe").empty(); }, 10000))
        << "a quaxel.exe process is left";
}

}  // namespace
}  // namespace e2e
