// End-to-end scenarios of the dialogs: each opens from its command and its
// key; the Range dialog shows the view and refuses bad fields in place; help
// on F1; saved views in quaxel.ini; the Display, Colour Palette, About and
// Welcome dialogs. Each starts the real quaxel.exe and checks what the user
// gets: the dialogs' texts, the status bar, the image and the files.
// The Range, Display and Colour Palette dialogs are also driven in process
// (tests/windows/DialogProcedureTest.cpp): what such a scenario checks only
// of the dialog itself is marked below; it stays here as the proof through
// the real program, its commands and its state.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Harness.h"
#include "resources/rcinc.h"

namespace e2e {
namespace {

constexpr char kStartReal[] = "-2.000000000000000000000";

class Dialogs : public ProgramScenario {
protected:
    // Opens a dialog by its command.
    HWND Open(int command, const std::string& caption) const {
        program.Command(command);
        return program.Dialog(caption);
    }

    void ExpectStartViewFields(HWND range) const {
        EXPECT_EQ(ItemText(range, IDC_RANGE_REAL_MIN), kStartReal);
        EXPECT_EQ(ItemText(range, IDC_RANGE_REAL_MAX), "1.000000000000000000000");
        EXPECT_EQ(ItemText(range, IDC_RANGE_IMAG_MIN), "-1.500000000000000000000");
        EXPECT_EQ(ItemText(range, IDC_RANGE_IMAG_MAX), "1.500000000000000000000");
        EXPECT_EQ(ItemText(range, IDC_RANGE_CONST_REAL), "0.000000000000000000000");
        EXPECT_EQ(ItemText(range, IDC_RANGE_CONST_IMAG), "0.000000000000000000000");
    }

    std::string IniPath() const { return program.folder() + "\\quaxel.ini"; }
};

std::string SettingsIniPath() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\quaxel.ini";
}

// The text of an INI file with its lines ended by "\n" alone.
std::string IniLines(const std::string& path) {
    std::string text;
    for (char c : ReadFileText(path))
        if (c != '\r') text += c;
    return text;
}

// The file once the program has finished the command (its dialog destroyed,
// see WaitDestroyed): it answers the status bar's question only after its
// writes. Reading while it writes
// would make its writes fail (the profile functions open the file without
// sharing), so the file is never polled.
std::string SettledIni(const Program& program, const std::string& path) {
    program.Status();
    return IniLines(path);
}

struct DialogEntry {
    int command;
    const char* key;
    const char* caption;
    int cancel;
    int ok;
};

// Every modal dialog of the menus opens from its command and from its key,
// owned by the main window, and closes with Cancel and with OK.
TEST_F(Dialogs, EachDialogOpensFromItsCommandAndItsKeyAndCloses) {
    const DialogEntry dialogs[] = {
        {CM_RANGE, "F5", "Range", IDCANCEL, IDOK},
        {CM_ITERATIONS, "F6", "Iterations", IDCANCEL, IDOK},
        {CM_DISPLAY, "F11", "Display", IDCANCEL, IDOK},
        {CM_PALETTE, "F9", "Colour Palette", IDCANCEL, IDOK},
        {CM_SAVE, "F2", "Save Co-ordinates", IDC_SAVE_CANCEL, IDC_SAVE_OK},
        {CM_LOAD, "F3", "Load Co-ordinates", IDC_LOAD_CANCEL, IDC_LOAD_OK},
    };
    ASSERT_TRUE(program.Activate());
    for (const DialogEntry& entry : dialogs) {
        SCOPED_TRACE(entry.caption);
        HWND dialog = Open(entry.command, entry.caption);
        ASSERT_NE(dialog, nullptr) << "no dialog after command " << entry.command;
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), program.main());
        ASSERT_TRUE(Press(dialog, entry.cancel));
        ASSERT_TRUE(WaitClosed(dialog)) << "Cancel did not close it";

        ASSERT_TRUE(program.Foreground());
        ASSERT_TRUE(Key(entry.key));
        dialog = program.Dialog(entry.caption);
        ASSERT_NE(dialog, nullptr) << "no dialog after " << entry.key;
        switch (entry.command) {
        case CM_ITERATIONS:
            EXPECT_EQ(ItemText(dialog, IDC_ITER_CURRENT_END), "256");
            EXPECT_EQ(ItemText(dialog, IDC_ITER_NEW_END), "256");
            break;
        case CM_DISPLAY:
            // The current size is a preset: the free fields offer the screen.
            EXPECT_TRUE(IsChecked(dialog, IDC_DISPLAY_SIZE_1 + 2)) << "400 x 300 not chosen";
            EXPECT_EQ(ItemText(dialog, IDC_DISPLAY_FREE_WIDTH), std::to_string(ScreenSize().cx));
            EXPECT_EQ(ItemText(dialog, IDC_DISPLAY_FREE_HEIGHT), std::to_string(ScreenSize().cy));
            break;
        case CM_PALETTE: EXPECT_TRUE(IsChecked(dialog, IDC_PALETTE_1)); break;
        case CM_SAVE: EXPECT_EQ(ItemText(dialog, IDC_SAVE_NAME), "") << "the first save of a run offers no name"; break;
        case CM_LOAD:
            // No saved view: OK has nothing to load and the dialog stays.
            ASSERT_TRUE(Press(dialog, IDC_LOAD_OK));
            EXPECT_TRUE(IsWindowVisible(dialog)) << "OK closed the Load dialog without a saved view";
            ASSERT_TRUE(Press(dialog, IDC_LOAD_CANCEL));
            EXPECT_TRUE(WaitClosed(dialog));
            continue;
        default: break;
        }
        ASSERT_TRUE(Press(dialog, entry.ok));
        ASSERT_TRUE(WaitClosed(dialog)) << "OK did not close it";
        ASSERT_TRUE(program.Foreground());
    }
    // OK with an empty name saves nothing.
    EXPECT_EQ(GetFileAttributesA(IniPath().c_str()), INVALID_FILE_ATTRIBUTES) << "quaxel.ini was written";

    // About: its caption names the program; it is the dialog with the
    // hidden thanks button.
    program.Command(CM_ABOUT);
    HWND about = program.FindWindowOfProcess(
        "#32770", [](const std::string& caption) { return !caption.empty(); });
    ASSERT_NE(about, nullptr) << "no About dialog";
    EXPECT_NE(GetDlgItem(about, IDC_ABOUT_THANKS), nullptr);
    EXPECT_NE(ItemText(about, IDC_ABOUT_TEXT), "");
    EXPECT_EQ(GetWindow(about, GW_OWNER), program.main());
    ASSERT_TRUE(Press(about, IDOK));
    ASSERT_TRUE(WaitClosed(about));

    // Welcome, from the File menu while the setting says "0": the box is
    // ticked, and OK keeps the setting.
    HWND welcome = Open(CM_WELCOME, "Welcome");
    ASSERT_NE(welcome, nullptr) << "no Welcome dialog";
    EXPECT_TRUE(IsChecked(welcome, IDC_WELCOME_DONT_SHOW));
    ASSERT_TRUE(Press(welcome, IDOK));
    ASSERT_TRUE(WaitClosed(welcome));
    EXPECT_NE(SettledIni(program, SettingsIniPath()).find("\nWelcome=0\n"), std::string::npos)
        << IniLines(SettingsIniPath());
    EXPECT_FALSE(program.WaitReady().empty());
}

// The Range dialog shows the view with 21 decimals and refuses a bad field
// in place: the offending character is selected and the field has the focus.
// Cancel after a refused OK keeps the view; 0/0/0 iterations become 1/1/1.
// In process too: the refused field's focus and selection, Cancel keeping
// the view.
TEST_F(Dialogs, RangeDialogShowsTheViewAndRefusesBadFieldsInPlace) {
    ASSERT_TRUE(program.Activate());
    HWND range = Open(CM_RANGE, "Range");
    ASSERT_NE(range, nullptr);
    ExpectStartViewFields(range);
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_START), "64");
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_INC), "64");
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_END), "256");
    EXPECT_TRUE(IsChecked(range, IDC_RANGE_MANDELBROT));
    EXPECT_FALSE(IsChecked(range, IDC_RANGE_JULIA));
    EXPECT_TRUE(WaitUntil([&] { return program.Focus() == GetDlgItem(range, IDC_RANGE_ITER_START); }, 5000))
        << "the focus is not on the first field";

    auto refused = [&](int id, const std::string& text, TextRange selected) {
        SCOPED_TRACE("\"" + text + "\"");
        ASSERT_TRUE(TypeInto(range, id, text));
        ASSERT_TRUE(Press(range, IDOK));
        EXPECT_TRUE(IsWindowVisible(range)) << "OK closed the dialog";
        EXPECT_EQ(SelectionOf(range, id), selected);
        EXPECT_EQ(program.Focus(), GetDlgItem(range, id)) << "the refused field has not the focus";
    };
    refused(IDC_RANGE_REAL_MIN, "-2.5 ", TextRange{4, 5});  // exactly the trailing blank
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, "-2.5"));
    SendMessageA(GetDlgItem(range, IDC_RANGE_REAL_MIN), EM_SETSEL, 0, 3);
    refused(IDC_RANGE_REAL_MAX, "1,5", TextRange{1, 2});  // the comma
    EXPECT_EQ(SelectionOf(range, IDC_RANGE_REAL_MIN), (TextRange{0, 0})) << "a read field keeps its selection";
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "1.5"));
    refused(IDC_RANGE_IMAG_MIN, "", TextRange{0, 0});  // empty: caret at the end
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "-1.25"));
    refused(IDC_RANGE_IMAG_MAX, "-", TextRange{1, 1});  // a lone sign: caret at the end
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "1.25"));

    // A bad iteration field wins over a bad float field: nothing happens.
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_START, "6x4"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_CONST_REAL, "1x"));
    SendMessageA(GetDlgItem(range, IDC_RANGE_REAL_MIN), EM_SETSEL, 0, 2);
    ASSERT_TRUE(Press(range, IDOK));
    EXPECT_TRUE(IsWindowVisible(range)) << "OK closed the dialog with a bad iteration field";
    EXPECT_EQ(SelectionOf(range, IDC_RANGE_CONST_REAL), (TextRange{0, 0})) << "the float field was checked";
    EXPECT_EQ(SelectionOf(range, IDC_RANGE_REAL_MIN), (TextRange{0, 2})) << "a float field was read";
    EXPECT_NE(program.Focus(), GetDlgItem(range, IDC_RANGE_CONST_REAL));

    // Cancel after the refused OKs: the view stays, nothing is computed.
    {
        StatusWatch watch(program);
        ASSERT_TRUE(Press(range, IDCANCEL));
        ASSERT_TRUE(WaitClosed(range));
        EXPECT_EQ(program.Status(), ready);
        EXPECT_FALSE(watch.SawCalculating()) << "Cancel started a calculation";
    }
    range = Open(CM_RANGE, "Range");
    ASSERT_NE(range, nullptr);
    ExpectStartViewFields(range);
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_START), "64");

    // 0/0/0 iterations are taken as 1/1/1.
    for (int id : {IDC_RANGE_ITER_START, IDC_RANGE_ITER_INC, IDC_RANGE_ITER_END}) ASSERT_TRUE(TypeInto(range, id, "0"));
    ASSERT_TRUE(Press(range, IDOK));
    ASSERT_TRUE(WaitClosed(range)) << "OK with 0/0/0 was refused";
    EXPECT_FALSE(program.WaitRecalculated().empty()) << "no new calculation; status: " << program.Status();
    range = Open(CM_RANGE, "Range");
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_START), "1");
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_INC), "1");
    EXPECT_EQ(ItemText(range, IDC_RANGE_ITER_END), "1");
    ExpectStartViewFields(range);
    ASSERT_TRUE(Press(range, IDCANCEL));
    EXPECT_TRUE(WaitClosed(range));
}

// OK with a typed view computes it: "Calculating ...", then the ready text
// with the view's escape counts, and the image is the renderer's.
TEST_F(Dialogs, RangeDialogOkComputesTheTypedView) {
    HWND range = Open(CM_RANGE, "Range");
    ASSERT_NE(range, nullptr);
    // A leading blank and an exponent are part of the number syntax.
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MIN, " -0.7485"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_REAL_MAX, "-0.7445"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MIN, "1e-1"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_IMAG_MAX, "0.103"));
    // Few iterations: the program and the renderer each compute the view,
    // and under the 32-bit emulation every hundred more of its escape
    // counts cost seconds; from 33 to 95 they still make a full picture.
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_START, "32"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_INC, "32"));
    ASSERT_TRUE(TypeInto(range, IDC_RANGE_ITER_END, "96"));
    ASSERT_TRUE(Press(range, IDOK));
    ASSERT_TRUE(WaitClosed(range)) << "OK was refused";
    const std::string done = program.WaitRecalculated();
    ASSERT_FALSE(done.empty()) << "no new calculation seen; status: " << program.Status();

    RenderOptions view;
    view.realMin = -0.7485L;
    view.realMax = -0.7445L;
    view.imagMin = 0.1L;
    view.imagMax = 0.103L;
    view.iterStart = 32;
    view.iterInc = 32;
    view.iterEnd = 96;
    const Rendered expected = RenderView(view);
    int min = 0, max = 0;
    ASSERT_TRUE(ReadyCounts(done, min, max)) << done;
    EXPECT_EQ(min, expected.result.stats.min) << done;
    EXPECT_EQ(max, expected.result.stats.max) << done;
    EXPECT_EQ(ClipboardDiffers(program, expected.image), "");
}

// F5 in the Range dialog is swallowed by the help hook; F1 asks the help
// viewer for the keyword "Range" of QUAXEL.HLP.
TEST_F(Dialogs, FunctionKeysInTheRangeDialogGoToItsHelpOnly) {
    ASSERT_TRUE(program.Activate());
    ASSERT_TRUE(Key("F5"));
    HWND range = program.Dialog("Range");
    ASSERT_NE(range, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == range; }, 5000) || ClickCaption(range));
    ASSERT_TRUE(WaitUntil([&] { return program.Focus() == GetDlgItem(range, IDC_RANGE_ITER_START); }, 5000));

    // F5, then a digit typed into the focused field (which holds "64" all
    // selected): once the digit is there, F5 has been handled before it.
    ASSERT_TRUE(Xdo("key F5 9"));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(range, IDC_RANGE_ITER_START) == "9"; }, 10000))
        << "the digit did not reach the field: " << ItemText(range, IDC_RANGE_ITER_START);
    int rangeDialogs = 0;
    for (HWND w : testsupport::WindowsOf(program.id(), "#32770")) {
        if (IsWindowVisible(w)) {
            ++rangeDialogs;
            EXPECT_EQ(w, range) << "another dialog opened: \"" << WindowText(w) << "\"";
        }
    }
    EXPECT_EQ(rangeDialogs, 1);
    EXPECT_EQ(program.Focus(), GetDlgItem(range, IDC_RANGE_ITER_START));
    EXPECT_EQ(ItemText(range, IDC_RANGE_REAL_MIN), kStartReal);
    EXPECT_EQ(program.Status(), ready);

    // F1: the help call for the keyword "Range" on the dialog's owner.
    ASSERT_EQ(FindWindowA("MS_WINHELP", nullptr), nullptr) << "a help viewer is running already";
    HelpViewerStandIn viewer;
    ASSERT_TRUE(viewer.ok());
    ASSERT_TRUE(Key("F1"));
    std::vector<HelpViewerStandIn::Request> requests;
    EXPECT_TRUE(WaitUntil([&] { return !(requests = viewer.Requests()).empty(); }, 10000)) << "no help call";
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, static_cast<unsigned>(HELP_KEY));
    EXPECT_EQ(requests[0].file, "QUAXEL.HLP");
    EXPECT_EQ(requests[0].keyword, "Range");
    EXPECT_EQ(requests[0].caller, program.main());
    EXPECT_TRUE(ProcessesNamed("winhlp32.exe").empty());

    // The dialog is still there and still works.
    ASSERT_TRUE(IsWindowVisible(range));
    ASSERT_TRUE(Press(range, IDCANCEL));
    EXPECT_TRUE(WaitClosed(range));
    EXPECT_EQ(program.Status(), ready);
}

// Save writes the view into quaxel.ini beside the program, asks before it
// overwrites a set and reports a file it cannot write; Load computes the set
// it reads, one written by hand as well as one saved before.
TEST_F(Dialogs, SavedViewsGoThroughQuaxelIni) {
    const std::string ini = IniPath();
    HWND save = Open(CM_SAVE, "Save Co-ordinates");
    ASSERT_NE(save, nullptr);
    ASSERT_TRUE(TypeInto(save, IDC_SAVE_NAME, "POME01"));
    ASSERT_TRUE(Press(save, IDC_SAVE_OK));
    ASSERT_TRUE(WaitDestroyed(save));
    const std::string startSet =
        "[POME01]\nRealMin=-2\nRealMax=1\nImagMin=-1.5\nImagMax=1.5\nConstReal=0\nConstImag=0\n"
        "IterStart=64\nIterInc=64\nIterEnd=256\nFormula=0\n";
    EXPECT_EQ(SettledIni(program, ini), startSet);

    // Another view under the same name: the question, and No keeps the file.
    program.Command(CM_WIDEN_100);
    ASSERT_FALSE(program.WaitRecalculated().empty());
    save = Open(CM_SAVE, "Save Co-ordinates");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(ItemText(save, IDC_SAVE_NAME), "POME01") << "the name of the last save is not offered";
    ASSERT_TRUE(Press(save, IDC_SAVE_OK));
    HWND question = program.Dialog("Saving co-ordinates");
    ASSERT_NE(question, nullptr) << "no overwrite question";
    EXPECT_EQ(MessageText(question), "Co-ordinates with this name already exist!\nDo you want to overwrite them?");
    EXPECT_EQ(GetWindow(question, GW_OWNER), program.main());
    ASSERT_TRUE(Press(question, IDNO));
    ASSERT_TRUE(WaitClosed(question));
    program.Status();  // the program has finished the command when it answers
    EXPECT_EQ(IniLines(ini), startSet);

    save = Open(CM_SAVE, "Save Co-ordinates");
    ASSERT_NE(save, nullptr);
    ASSERT_TRUE(Press(save, IDC_SAVE_OK));
    question = program.Dialog("Saving co-ordinates");
    ASSERT_NE(question, nullptr) << "no overwrite question";
    ASSERT_TRUE(Press(question, IDYES));
    ASSERT_TRUE(WaitDestroyed(question));
    const std::string widenedSet =
        "[POME01]\nRealMin=-3.5\nRealMax=2.5\nImagMin=-3\nImagMax=3\nConstReal=0\nConstImag=0\n"
        "IterStart=64\nIterInc=64\nIterEnd=256\nFormula=0\n";
    EXPECT_EQ(SettledIni(program, ini), widenedSet);

    // A set written by hand, loaded: the image of the values in the file
    // (iterations kept low for the 32-bit emulation, as in the Range
    // dialog's scenario; escape counts 37 to 99).
    const std::string handmade =
        "[HANDMADE]\r\nRealMin=-0.7475\r\nRealMax=-0.7425\r\nImagMin=0.1\r\nImagMax=0.10375\r\nConstReal=0\r\n"
        "ConstImag=0\r\nIterStart=40\r\nIterInc=20\r\nIterEnd=100\r\nFormula=0\r\n";
    ASSERT_TRUE(WriteFileText(ini, ReadFileText(ini) + "\r\n" + handmade));
    HWND load = Open(CM_LOAD, "Load Co-ordinates");
    ASSERT_NE(load, nullptr);
    HWND list = GetDlgItem(load, IDC_LOAD_LIST);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1) << "the last saved set is not chosen";
    EXPECT_EQ(SendMessageA(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("HANDMADE")), 0);
    ASSERT_TRUE(Press(load, IDC_LOAD_OK));
    ASSERT_TRUE(WaitClosed(load));
    const std::string done = program.WaitRecalculated();
    ASSERT_FALSE(done.empty()) << "no new calculation; status: " << program.Status();
    RenderOptions view;
    view.realMin = -0.7475L;
    view.realMax = -0.7425L;
    view.imagMin = 0.1L;
    view.imagMax = 0.10375L;
    view.iterStart = 40;
    view.iterInc = 20;
    view.iterEnd = 100;
    const Rendered expected = RenderView(view);
    int min = 0, max = 0;
    ASSERT_TRUE(ReadyCounts(done, min, max)) << done;
    EXPECT_EQ(min, expected.result.stats.min) << done;
    EXPECT_EQ(max, expected.result.stats.max) << done;
    EXPECT_EQ(ClipboardDiffers(program, expected.image), "");

    // Saved again under another name, the set's texts are those it was
    // read from; and the first set loads back as it was saved.
    save = Open(CM_SAVE, "Save Co-ordinates");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(ItemText(save, IDC_SAVE_NAME), "HANDMADE") << "the name of the last load is not offered";
    ASSERT_TRUE(TypeInto(save, IDC_SAVE_NAME, "POME02"));
    ASSERT_TRUE(Press(save, IDC_SAVE_OK));
    ASSERT_TRUE(WaitDestroyed(save));
    std::string resaved = handmade;
    resaved.replace(1, 8, "POME02");
    for (size_t at; (at = resaved.find('\r')) != std::string::npos;) resaved.erase(at, 1);
    EXPECT_NE(SettledIni(program, ini).find(resaved), std::string::npos) << IniLines(ini);

    load = Open(CM_LOAD, "Load Co-ordinates");
    ASSERT_NE(load, nullptr);
    list = GetDlgItem(load, IDC_LOAD_LIST);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2) << "the last saved set is not chosen";
    EXPECT_EQ(SendMessageA(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("POME01")), 1);
    ASSERT_TRUE(Press(load, IDC_LOAD_OK));
    ASSERT_TRUE(WaitClosed(load));
    const std::string reloaded = program.WaitRecalculated();
    ASSERT_FALSE(reloaded.empty()) << "no new calculation; status: " << program.Status();
    RenderOptions widened;
    widened.realMin = -3.5L;
    widened.realMax = 2.5L;
    widened.imagMin = -3.0L;
    widened.imagMax = 3.0L;
    EXPECT_EQ(ClipboardDiffers(program, RenderView(widened).image), "");

    // A write-protected file: the message names the file.
    // (Run as root, Wine lets the read-only attribute pass; a reader that
    // denies writing protects the file all the same.)
    const std::string before = ReadFileText(ini);
    ASSERT_TRUE(SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE reader = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    struct Writable {
        const std::string& path;
        HANDLE reader;
        ~Writable() {
            CloseHandle(reader);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    } writable{ini, reader};
    save = Open(CM_SAVE, "Save Co-ordinates");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(ItemText(save, IDC_SAVE_NAME), "POME01") << "the name of the last load is not offered";
    ASSERT_TRUE(TypeInto(save, IDC_SAVE_NAME, "POME03"));
    ASSERT_TRUE(Press(save, IDC_SAVE_OK));
    HWND failure = program.FindWindowOfProcess("#32770", [&](const std::string& caption) {
        return lstrcmpiA(caption.c_str(), ini.c_str()) == 0;
    });
    ASSERT_NE(failure, nullptr) << "no message captioned " << ini << "; quaxel.ini:\n" << IniLines(ini);
    EXPECT_EQ(WindowText(failure), ini);
    EXPECT_EQ(MessageText(failure),
              "Writing Co-ordinates to QUAXEL.INI failed.\nMake sure that neither file nor directory are "
              "write-protected.");
    EXPECT_EQ(GetWindow(failure, GW_OWNER), program.main());
    EXPECT_EQ(GetDlgItem(failure, IDCANCEL), nullptr) << "more than an OK button";
    ASSERT_TRUE(Press(failure, IDOK));
    ASSERT_TRUE(WaitClosed(failure));
    EXPECT_EQ(ReadFileText(ini), before);
}

// The Display dialog: the free width is cut to 4095 at once; a size larger
// than the screen is questioned and Cancel stays in the dialog; a preset
// rebuilds image and window at that size. In process too: the question and
// its Cancel staying in the dialog.
TEST_F(Dialogs, DisplayDialogSetsTheImageSize) {
    ASSERT_LT(ScreenSize().cx, 1100) << "the screen is too wide for this scenario";
    HWND display = Open(CM_DISPLAY, "Display");
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(Press(display, IDC_DISPLAY_SIZE_FREE));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(display, IDC_DISPLAY_FREE_WIDTH)));
    ASSERT_TRUE(TypeInto(display, IDC_DISPLAY_FREE_WIDTH, "5000"));
    EXPECT_EQ(ItemText(display, IDC_DISPLAY_FREE_WIDTH), "4095");
    for (int id : {IDC_DISPLAY_MEM_SINGLE, IDC_DISPLAY_MEM_DOUBLE, IDC_DISPLAY_MEM_EXTENDED, IDC_DISPLAY_PHYS_MEMORY}) {
        const std::string text = ItemText(display, id);
        EXPECT_TRUE(text.size() > 5 && text.compare(text.size() - 3, 3, " MB") == 0 && text[text.size() - 5] == '.')
            << "memory figure \"" << text << "\"";
    }

    ASSERT_TRUE(TypeInto(display, IDC_DISPLAY_FREE_WIDTH, "1100"));
    ASSERT_TRUE(TypeInto(display, IDC_DISPLAY_FREE_HEIGHT, "500"));
    PressLater(display, IDOK);
    HWND attention = program.Dialog("Attention");
    ASSERT_NE(attention, nullptr) << "no question for an image wider than the screen";
    EXPECT_EQ(MessageText(attention), "The image is larger than the screen; the image will only be partially visible!");
    EXPECT_EQ(GetWindow(attention, GW_OWNER), display);
    EXPECT_EQ(DefaultButtonOf(attention), IDCANCEL) << "Cancel is not the default button";
    ASSERT_TRUE(Press(attention, IDCANCEL));
    ASSERT_TRUE(WaitClosed(attention));
    EXPECT_TRUE(IsWindowVisible(display)) << "Cancel in the question closed the dialog";
    EXPECT_EQ(program.Status(), ready);

    // The start view at 320 x 240 may show the same ready text as at 400 x 300.
    StatusWatch watch(program);
    ASSERT_TRUE(Press(display, IDC_DISPLAY_SIZE_1 + 1));  // 320 x 240
    ASSERT_TRUE(Press(display, IDOK));
    ASSERT_TRUE(WaitClosed(display)) << "OK did not close the dialog";
    EXPECT_FALSE(program.WaitRecalculated(watch).empty()) << "no new calculation; status: " << program.Status();
    RECT drawing{};
    EXPECT_TRUE(WaitUntil([&] {
        drawing = WindowRectOf(program.drawing());
        return Width(drawing) == 322 && Height(drawing) == 242;
    })) << "drawing window " << Width(drawing) << " x " << Height(drawing);
    RenderOptions small;
    small.width = 320;
    small.height = 240;
    EXPECT_EQ(ClipboardDiffers(program, RenderView(small).image), "");
}

// Apply in the Colour Palette dialog recolours the image with the chosen
// palette at once, without computing anything, and Cancel becomes Close.
// In process too: Apply's settings and "Close".
TEST_F(Dialogs, PaletteApplyRecoloursWhileTheDialogStaysOpen) {
    StatusWatch watch(program);
    HWND palette = Open(CM_PALETTE, "Colour Palette");
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(ItemText(palette, IDCANCEL), "Cancel");
    ASSERT_TRUE(Press(palette, IDC_PALETTE_1 + 3));  // Colour Circle (252)
    EXPECT_TRUE(IsChecked(palette, IDC_PALETTE_1 + 3));
    ASSERT_TRUE(Press(palette, IDC_PALETTE_APPLY));
    EXPECT_EQ(ItemText(palette, IDCANCEL), "Close");
    RenderOptions circle;
    circle.palette = 4;
    const Rendered expected = RenderView(circle);
    EXPECT_EQ(ClipboardDiffers(program, expected.image), "");
    EXPECT_TRUE(IsWindowVisible(palette)) << "Apply closed the dialog";
    EXPECT_EQ(program.Status(), ready) << "Apply started a calculation";

    ASSERT_TRUE(Press(palette, IDCANCEL));
    ASSERT_TRUE(WaitClosed(palette));
    EXPECT_EQ(ClipboardDiffers(program, expected.image), "") << "Close took back what Apply did";
    EXPECT_EQ(program.Status(), ready);
    EXPECT_FALSE(watch.SawCalculating()) << "the image was computed again";
}

// About: Alt+B, typed, presses the hidden button, which puts the thanks in
// place of the notice; OK closes.
TEST_F(Dialogs, AboutAltBShowsTheThanks) {
    HMODULE exe = LoadLibraryExA((program.folder() + "\\quaxel.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    char thanks[512] = {};
    const int length = LoadStringA(exe, IDS_ABOUT_THANKS, thanks, sizeof thanks);
    FreeLibrary(exe);
    ASSERT_GT(length, 0) << "no thanks text in the program";

    ASSERT_TRUE(program.Activate());
    program.Command(CM_ABOUT);
    HWND about = program.FindWindowOfProcess("#32770", [](const std::string& caption) { return !caption.empty(); });
    ASSERT_NE(about, nullptr) << "no About dialog";
    const std::string notice = ItemText(about, IDC_ABOUT_TEXT);
    ASSERT_NE(notice, thanks);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == about; }, 5000) || ClickCaption(about));
    ASSERT_TRUE(Xdo("keydown alt key b keyup alt"));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(about, IDC_ABOUT_TEXT) == thanks; }, 10000))
        << "text after Alt+B: " << ItemText(about, IDC_ABOUT_TEXT);
    EXPECT_TRUE(IsWindowVisible(about));
    ASSERT_TRUE(Press(about, IDOK));
    EXPECT_TRUE(WaitClosed(about));
}

// Without a Welcome setting the Welcome dialog greets at start; ticking
// "Don't show this dialogue again!" and OK write Welcome=0, and the next
// start has no Welcome dialog.
TEST(DialogsWelcome, WelcomeAtStartUntilSwitchedOff) {
    const std::string ini = SettingsIniPath();
    struct Restore {
        ~Restore() { WritePrivateProfileStringA("Quaxel", "Welcome", "0", "quaxel.ini"); }
    } restore;
    WritePrivateProfileStringA("Quaxel", "Welcome", nullptr, "quaxel.ini");
    ASSERT_EQ(IniLines(ini).find("Welcome="), std::string::npos) << IniLines(ini);
    {
        Program program;
        ASSERT_TRUE(program.started()) << program.failure();
        HWND welcome = program.Dialog("Welcome");
        ASSERT_NE(welcome, nullptr) << "no Welcome dialog at start";
        EXPECT_EQ(GetWindow(welcome, GW_OWNER), program.main());
        EXPECT_EQ(ItemText(welcome, IDC_WELCOME_DONT_SHOW), "&Don't show this dialogue again!");
        EXPECT_FALSE(IsChecked(welcome, IDC_WELCOME_DONT_SHOW));
        ASSERT_TRUE(Press(welcome, IDC_WELCOME_DONT_SHOW));
        EXPECT_TRUE(IsChecked(welcome, IDC_WELCOME_DONT_SHOW));
        ASSERT_TRUE(Press(welcome, IDOK));
        ASSERT_TRUE(WaitClosed(welcome));
        EXPECT_NE(SettledIni(program, ini).find("[Quaxel]\nWelcome=0\n"), std::string::npos) << IniLines(ini);
        EXPECT_FALSE(program.WaitReady().empty());
    }
    {
        Program program;
        ASSERT_TRUE(program.started()) << program.failure();
        // The dialog would open before the first calculation starts.
        ASSERT_FALSE(program.WaitReady().empty());
        EXPECT_EQ(program.Dialog("Welcome", 0), nullptr) << "the Welcome dialog opened again";
    }
}

}  // namespace
}  // namespace e2e
