// The modal dialogs and the saved views. Each dialog procedure keeps its
// caller's record in the dialog's user data, moves texts between the
// controls and the checks of PomeDlgLogic, and writes back only on OK.
// Everything a dialog shows comes from its caller, so nothing here knows the
// program's record. A DialogHost shows and closes them: modal in the
// program, modeless in the in-process tests.
#include "dialogs/PomeDlg.h"

#include <string>
#include <vector>

#include "image/Palette.h"
#include "resources/rcinc.h"
#include "shell/CallbackGuard.h"

namespace {

template <typename Record>
Record* RecordOf(HWND dialog) {
    return reinterpret_cast<Record*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

template <typename Record>
Record* KeepRecord(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return reinterpret_cast<Record*>(lParam);
}

std::string FieldText(HWND dialog, int id) {
    char text[kMaxNumberTextLength + 1] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void ShowHelp(HWND dialog, const char* keyword) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    WinHelpA(owner != nullptr ? owner : dialog, kHelpFile, HELP_KEY, reinterpret_cast<ULONG_PTR>(keyword));
}

// The templates and texts are linked into the program beside this code.
HINSTANCE ProgramModule() { return GetModuleHandleA(nullptr); }

struct ModalHost final : DialogHost {
    INT_PTR Show(HWND owner, int templateId, DLGPROC procedure, LPARAM record) override {
        return DialogBoxParamA(ProgramModule(), MAKEINTRESOURCEA(templateId), owner, procedure, record);
    }
    void End(HWND dialog, INT_PTR result) override { EndDialog(dialog, result); }
    int Ask(HWND owner, const char* text, const char* caption, UINT style) override {
        return MessageBoxA(owner, text, caption, style);
    }
};

INT_PTR RunDialog(DialogHost& host, HWND owner, int templateId, DLGPROC procedure, void* record) {
    return host.Show(owner, templateId, procedure, reinterpret_cast<LPARAM>(record));
}

// The host that showed the dialog: the one that marked it, else the modal one.
DialogHost& HostOf(HWND dialog) {
    auto* marked = static_cast<DialogHost*>(GetPropA(dialog, kDialogHostProperty));
    return marked != nullptr ? *marked : ModalDialogs();
}

// Every procedure closes its dialog here, never with EndDialog itself: a
// modeless dialog must be destroyed, which only its host knows how to do.
void CloseDialog(HWND dialog, INT_PTR result) { HostOf(dialog).End(dialog, result); }

// A dialog whose procedure failed closes as if cancelled: nothing is written
// back, and the program goes on.
INT_PTR EndDialogAfterFailure(HWND dialog) {
    CloseDialog(dialog, 0);
    return TRUE;
}

// Every dialog procedure is its body run under the callback guard.
template <INT_PTR (*Body)(HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK GuardedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedCallback([&] { return Body(dialog, message, wParam, lParam); },
                           [&] { return EndDialogAfterFailure(dialog); });
}

// --- Range ---------------------------------------------------------------------

constexpr int kCoordinateIds[kCoordinateFieldCount] = {IDC_RANGE_REAL_MIN, IDC_RANGE_REAL_MAX, IDC_RANGE_IMAG_MIN,
                                                       IDC_RANGE_IMAG_MAX, IDC_RANGE_CONST_REAL,
                                                       IDC_RANGE_CONST_IMAG};

long double& CoordinateOf(CoordinateSet& set, int field) {
    long double* fields[kCoordinateFieldCount] = {&set.RealMin,   &set.RealMax,   &set.ImagMin,
                                                  &set.ImagMax,   &set.ConstReal, &set.ConstImag};
    return *fields[field];
}

void OpenRange(HWND dialog, const CoordinateSet& set) {
    const auto texts = RangeFieldTexts(set);
    for (int i = 0; i < kCoordinateFieldCount; ++i) {
        SendDlgItemMessageA(dialog, kCoordinateIds[i], EM_LIMITTEXT, kMaxNumberTextLength, 0);
        SetDlgItemTextA(dialog, kCoordinateIds[i], texts[i].c_str());
        SendDlgItemMessageA(dialog, kCoordinateIds[i], EM_SETMODIFY, FALSE, 0);
    }
    SetDlgItemInt(dialog, IDC_RANGE_ITER_START, static_cast<UINT>(set.IterStart), FALSE);
    SetDlgItemInt(dialog, IDC_RANGE_ITER_INC, static_cast<UINT>(set.IterInc), FALSE);
    SetDlgItemInt(dialog, IDC_RANGE_ITER_END, static_cast<UINT>(set.IterEnd), FALSE);
    CheckRadioButton(dialog, IDC_RANGE_MANDELBROT, IDC_RANGE_JULIA,
                     set.Formula == FormulaKind::JuliaSet ? IDC_RANGE_JULIA : IDC_RANGE_MANDELBROT);
}

void ConfirmRange(HWND dialog) {
    const std::string iterStart = FieldText(dialog, IDC_RANGE_ITER_START);
    const std::string iterInc = FieldText(dialog, IDC_RANGE_ITER_INC);
    const std::string iterEnd = FieldText(dialog, IDC_RANGE_ITER_END);
    std::string texts[kCoordinateFieldCount];
    RangeDialogInput input{iterStart, iterInc, iterEnd, {}, IsDlgButtonChecked(dialog, IDC_RANGE_JULIA) == BST_CHECKED};
    CoordinateSet& caller = *RecordOf<CoordinateSet>(dialog);
    for (int i = 0; i < kCoordinateFieldCount; ++i) {
        texts[i] = FieldText(dialog, kCoordinateIds[i]);
        input.coordinates[i] = texts[i];
        if (SendDlgItemMessageA(dialog, kCoordinateIds[i], EM_GETMODIFY, 0, 0) == 0)
            input.untouched[i] = CoordinateOf(caller, i);
    }
    RangeDialogResult result = CheckRangeDialog(input);
    if (result.check == RangeCheck::IterationsInvalid) return;
    for (int i = 0; i < result.convertedFields && i < kCoordinateFieldCount; ++i)
        SendDlgItemMessageA(dialog, kCoordinateIds[i], EM_SETSEL, 0, 0);
    if (result.check == RangeCheck::CoordinateInvalid) {
        HWND field = GetDlgItem(dialog, kCoordinateIds[result.failedField]);
        SendMessageA(field, EM_SETSEL, result.selection.start, result.selection.end);
        // SetFocus and not WM_NEXTDLGCTL, which would select the whole text.
        if (GetFocus() != nullptr) SetFocus(field);
        return;
    }
    caller = result.set;
    CloseDialog(dialog, 1);
}

INT_PTR RangeProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OpenRange(dialog, *KeepRecord<CoordinateSet>(dialog, lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: ConfirmRange(dialog); break;
    case IDCANCEL: CloseDialog(dialog, 0); break;
    case CM_DIALOG_HELP: ShowHelp(dialog, kRangeHelpKeyword); break;
    default: break;
    }
    return FALSE;
}

// --- Iterations ----------------------------------------------------------------

INT_PTR IterationsProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const int32_t end = *KeepRecord<int32_t>(dialog, lParam);
        SetDlgItemInt(dialog, IDC_ITER_CURRENT_END, static_cast<UINT>(end), FALSE);
        SetDlgItemInt(dialog, IDC_ITER_NEW_END, static_cast<UINT>(end), FALSE);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        if (const auto end = CheckIterationsDialog(FieldText(dialog, IDC_ITER_NEW_END))) {
            *RecordOf<int32_t>(dialog) = *end;
            CloseDialog(dialog, 1);
        }
        break;
    case IDCANCEL: CloseDialog(dialog, 0); break;
    case CM_DIALOG_HELP: ShowHelp(dialog, kIterationsHelpKeyword); break;
    default: break;
    }
    return FALSE;
}

// --- Display -------------------------------------------------------------------

MemoryFigures CurrentMemory() {
    // The record of this build's own size: on 64-bit Windows it is larger.
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return MemoryFigures{status.dwTotalPhys, status.dwAvailPhys, status.dwAvailPageFile};
}

void UpdateEstimate(HWND dialog, int32_t choice) {
    const MemoryFigures memory = CurrentMemory();
    const ChoiceSize chosen =
        SizeOfChoice(choice, FieldText(dialog, IDC_DISPLAY_FREE_WIDTH), FieldText(dialog, IDC_DISPLAY_FREE_HEIGHT));
    if (chosen.rewriteWidth) SetDlgItemInt(dialog, IDC_DISPLAY_FREE_WIDTH, kMaxFreeSize, FALSE);
    if (chosen.rewriteHeight) SetDlgItemInt(dialog, IDC_DISPLAY_FREE_HEIGHT, kMaxFreeSize, FALSE);
    const bool free = choice == kFreeSizeChoice;
    for (int id : {IDC_DISPLAY_FREE_WIDTH, IDC_DISPLAY_FREE_HEIGHT, IDC_DISPLAY_FREE_TIMES, IDC_DISPLAY_FREE_PIXEL})
        EnableWindow(GetDlgItem(dialog, id), free);

    const DisplayRecord& record = *RecordOf<DisplayRecord>(dialog);
    const MemoryEstimate estimate = EstimateMemory(chosen.size, memory, record.memoryInUse);
    SetDlgItemTextA(dialog, IDC_DISPLAY_MEM_SINGLE, estimate.single.c_str());
    SetDlgItemTextA(dialog, IDC_DISPLAY_MEM_DOUBLE, estimate.dbl.c_str());
    SetDlgItemTextA(dialog, IDC_DISPLAY_MEM_EXTENDED, estimate.extended.c_str());
    SetDlgItemTextA(dialog, IDC_DISPLAY_WARNING, estimate.warning.text.c_str());
    if (estimate.warning.ok != OkButtonState::Unchanged)
        EnableWindow(GetDlgItem(dialog, IDOK), estimate.warning.ok == OkButtonState::Enabled);
    SetDlgItemTextA(dialog, IDC_DISPLAY_PHYS_MEMORY, estimate.physical.c_str());
}

int32_t SelectedSizeChoice(HWND dialog) {
    for (int32_t choice = 1; choice <= kFreeSizeChoice; ++choice)
        if (IsDlgButtonChecked(dialog, IDC_DISPLAY_SIZE_1 + choice - 1) == BST_CHECKED) return choice;
    return 0;
}

void ConfirmDisplay(HWND dialog) {
    DisplayRecord& record = *RecordOf<DisplayRecord>(dialog);
    record.scale = IsDlgButtonChecked(dialog, IDC_DISPLAY_DOUBLE_SIZE) == BST_CHECKED ? 2 : 1;
    record.choice = SelectedSizeChoice(dialog);
    const ChoiceSize chosen = SizeOfChoice(record.choice, FieldText(dialog, IDC_DISPLAY_FREE_WIDTH),
                                           FieldText(dialog, IDC_DISPLAY_FREE_HEIGHT));
    record.width = chosen.size.width;
    record.height = chosen.size.height;
    constexpr UINT kAttentionStyle = MB_OKCANCEL | MB_ICONHAND | MB_DEFBUTTON2;
    if (ImageLargerThanScreen(record) &&
        HostOf(dialog).Ask(dialog, kAttentionText, kAttentionCaption, kAttentionStyle) != IDOK)
        return;
    CloseDialog(dialog, 1);
}

INT_PTR DisplayProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const DisplayRecord& record = *KeepRecord<DisplayRecord>(dialog, lParam);
        CheckRadioButton(dialog, IDC_DISPLAY_SIZE_1, IDC_DISPLAY_SIZE_FREE, IDC_DISPLAY_SIZE_1 + record.choice - 1);
        CheckDlgButton(dialog, IDC_DISPLAY_DOUBLE_SIZE, record.scale == 2 ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemInt(dialog, IDC_DISPLAY_FREE_WIDTH, static_cast<UINT>(record.width), FALSE);
        SetDlgItemInt(dialog, IDC_DISPLAY_FREE_HEIGHT, static_cast<UINT>(record.height), FALSE);
        UpdateEstimate(dialog, record.choice);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    const int notification = HIWORD(wParam);
    if (id >= IDC_DISPLAY_SIZE_1 && id <= IDC_DISPLAY_SIZE_FREE && notification == BN_CLICKED) {
        UpdateEstimate(dialog, id - IDC_DISPLAY_SIZE_1 + 1);
    } else if ((id == IDC_DISPLAY_FREE_WIDTH || id == IDC_DISPLAY_FREE_HEIGHT) && notification == EN_CHANGE) {
        UpdateEstimate(dialog, kFreeSizeChoice);
    } else if (id == IDOK) {
        ConfirmDisplay(dialog);
    } else if (id == IDCANCEL) {
        CloseDialog(dialog, 0);
    } else if (id == CM_DIALOG_HELP) {
        ShowHelp(dialog, kDisplayHelpKeyword);
    }
    return FALSE;
}

// --- Colour Palette ------------------------------------------------------------

// The caller's settings, written on OK only, and where Apply sends the
// dialog's settings meanwhile.
struct PaletteRecord {
    PaletteSettings& settings;
    const PaletteApply& apply;
};

void ShowSetColourPosition(HWND dialog) {
    SetDlgItemInt(dialog, IDC_PALETTE_SET_COLOUR_TEXT,
                  static_cast<UINT>(GetScrollPos(GetDlgItem(dialog, IDC_PALETTE_SET_COLOUR_BAR), SB_CTL)), FALSE);
}

void SetScrollRanges(HWND dialog, int32_t palette) {
    for (int id : {IDC_PALETTE_SET_COLOUR_BAR, IDC_PALETTE_SHIFT_BAR}) {
        HWND bar = GetDlgItem(dialog, id);
        const ScrollState state = PaletteScrollRange(palette, GetScrollPos(bar, SB_CTL));
        SetScrollRange(bar, SB_CTL, 0, state.max, FALSE);
        SetScrollPos(bar, SB_CTL, state.position, TRUE);
    }
    ShowSetColourPosition(dialog);
}

int32_t FirstSelectedPalette(HWND dialog) {
    for (int32_t p = 1; p <= kPaletteCount; ++p)
        if (IsDlgButtonChecked(dialog, IDC_PALETTE_1 + p - 1) == BST_CHECKED) return p;
    return 0;
}

void OnPaletteScroll(HWND dialog, WPARAM wParam, HWND bar) {
    int minimum = 0;
    int maximum = 0;
    GetScrollRange(bar, SB_CTL, &minimum, &maximum);
    const int32_t position =
        PaletteScrolledPosition(LOWORD(wParam), HIWORD(wParam), GetScrollPos(bar, SB_CTL), maximum);
    SetScrollPos(bar, SB_CTL, position, TRUE);
    if (GetDlgCtrlID(bar) == IDC_PALETTE_SET_COLOUR_BAR) ShowSetColourPosition(dialog);
}

// The settings the controls show; the palette is `whenNone` if no palette
// button is selected.
PaletteSettings ShownPaletteSettings(HWND dialog, int32_t whenNone) {
    PaletteSettings shown;
    shown.palette = ChosenPalette(FirstSelectedPalette(dialog), whenNone);
    shown.colourMode = IsDlgButtonChecked(dialog, IDC_PALETTE_PERCENTAGE) == BST_CHECKED;
    shown.setColour = GetScrollPos(GetDlgItem(dialog, IDC_PALETTE_SET_COLOUR_BAR), SB_CTL);
    shown.setColourEnabled = IsDlgButtonChecked(dialog, IDC_PALETTE_SET_COLOUR) == BST_CHECKED;
    shown.shift = GetScrollPos(GetDlgItem(dialog, IDC_PALETTE_SHIFT_BAR), SB_CTL);
    return shown;
}

void ApplyPalette(HWND dialog) {
    SetDlgItemTextA(dialog, IDCANCEL, "Close");
    RecordOf<PaletteRecord>(dialog)->apply(ShownPaletteSettings(dialog, 1));
}

void ConfirmPalette(HWND dialog) {
    PaletteSettings& caller = RecordOf<PaletteRecord>(dialog)->settings;
    caller = ShownPaletteSettings(dialog, caller.palette);
    CloseDialog(dialog, 1);
}

INT_PTR PaletteProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const PaletteSettings& settings = KeepRecord<PaletteRecord>(dialog, lParam)->settings;
        CheckRadioButton(dialog, IDC_PALETTE_1, IDC_PALETTE_11, IDC_PALETTE_1 + settings.palette - 1);
        CheckRadioButton(dialog, IDC_PALETTE_MODULO, IDC_PALETTE_PERCENTAGE,
                         settings.colourMode ? IDC_PALETTE_PERCENTAGE : IDC_PALETTE_MODULO);
        CheckDlgButton(dialog, IDC_PALETTE_SET_COLOUR, settings.setColourEnabled ? BST_CHECKED : BST_UNCHECKED);
        SetScrollRanges(dialog, settings.palette);
        SetScrollPos(GetDlgItem(dialog, IDC_PALETTE_SET_COLOUR_BAR), SB_CTL, settings.setColour, TRUE);
        SetScrollPos(GetDlgItem(dialog, IDC_PALETTE_SHIFT_BAR), SB_CTL, settings.shift, TRUE);
        ShowSetColourPosition(dialog);
        return TRUE;
    }
    case WM_HSCROLL: OnPaletteScroll(dialog, wParam, reinterpret_cast<HWND>(lParam)); return FALSE;
    case WM_COMMAND: break;
    default: return FALSE;
    }
    const int id = LOWORD(wParam);
    if (id >= IDC_PALETTE_1 && id <= IDC_PALETTE_11) {
        SetScrollRanges(dialog, id - IDC_PALETTE_1 + 1);
    } else if (id == IDOK) {
        ConfirmPalette(dialog);
    } else if (id == IDCANCEL) {
        CloseDialog(dialog, 0);
    } else if (id == IDC_PALETTE_APPLY) {
        ApplyPalette(dialog);
    } else if (id == CM_DIALOG_HELP) {
        ShowHelp(dialog, kPaletteHelpKeyword);
    }
    return FALSE;
}

// --- About ---------------------------------------------------------------------

INT_PTR AboutProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL: CloseDialog(dialog, 0); break;
    case IDC_ABOUT_THANKS: {
        char thanks[512] = {};
        LoadStringA(ProgramModule(), IDS_ABOUT_THANKS, thanks, sizeof thanks);
        SetDlgItemTextA(dialog, IDC_ABOUT_TEXT, thanks);
        break;
    }
    default: break;
    }
    return FALSE;
}

// --- Save and Load -------------------------------------------------------------

struct IniProfile final : ProfileAccess {
    explicit IniProfile(std::string file) : path(std::move(file)) {}
    std::string ReadString(const std::string& section, const char* key, const char* defaultText) override {
        char text[kMaxNumberTextLength + 1] = {};
        GetPrivateProfileStringA(section.c_str(), key, defaultText, text, sizeof text, path.c_str());
        return text;
    }
    int32_t ReadInt(const std::string& section, const char* key, int32_t defaultValue) override {
        return static_cast<int32_t>(GetPrivateProfileIntA(section.c_str(), key, defaultValue, path.c_str()));
    }
    bool WriteString(const std::string& section, const char* key, const std::string& value) override {
        return WritePrivateProfileStringA(section.c_str(), key, value.c_str(), path.c_str()) != FALSE;
    }
    std::string path;
};

// The Save dialog offers `name` and hands back the typed one in it.
struct NameRecord {
    std::string name;
};

INT_PTR SaveProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const NameRecord& offered = *KeepRecord<NameRecord>(dialog, lParam);
        SendDlgItemMessageA(dialog, IDC_SAVE_NAME, EM_LIMITTEXT, kMaxSetNameLength, 0);
        SetDlgItemTextA(dialog, IDC_SAVE_NAME, offered.name.c_str());
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_SAVE_OK:
        RecordOf<NameRecord>(dialog)->name = FieldText(dialog, IDC_SAVE_NAME);
        CloseDialog(dialog, 1);
        break;
    case IDC_SAVE_CANCEL:
    case IDCANCEL: CloseDialog(dialog, 0); break;
    default: break;
    }
    return FALSE;
}

// The Load dialog lists the sets of `iniPath`, preselects `offered` and
// hands back the chosen name.
struct ChoiceRecord {
    const std::string& iniPath;
    const std::string& offered;
    std::string chosen;
};

// Every section name of the file; the buffer grows until the list fits.
std::vector<std::string> SavedSetNames(const std::string& path) {
    if (path.empty()) return {};
    for (size_t size = kSectionListBufferSize;; size *= 2) {
        std::vector<char> buffer(size, '\0');
        const DWORD length = GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(),
                                                      static_cast<DWORD>(size), path.c_str());
        if (length + 2 < size || size >= (size_t{1} << 26)) return SectionNamesFromBuffer(buffer.data(), length);
    }
}

void FillSetList(HWND dialog, const ChoiceRecord& record) {
    HWND list = GetDlgItem(dialog, IDC_LOAD_LIST);
    for (const std::string& name : SavedSetNames(record.iniPath))
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    if (!record.offered.empty())
        SendMessageA(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(record.offered.c_str()));
}

INT_PTR LoadProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        FillSetList(dialog, *KeepRecord<ChoiceRecord>(dialog, lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_LOAD_OK: {
        HWND list = GetDlgItem(dialog, IDC_LOAD_LIST);
        const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (selected == LB_ERR) break;
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, selected, 0);
        if (length == LB_ERR) break;
        std::string name(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(name.data()));
        name.resize(static_cast<size_t>(length));
        RecordOf<ChoiceRecord>(dialog)->chosen = name;
        CloseDialog(dialog, 1);
        break;
    }
    case IDC_LOAD_CANCEL:
    case IDCANCEL: CloseDialog(dialog, 0); break;
    default: break;
    }
    return FALSE;
}

}  // namespace

DialogHost& ModalDialogs() {
    static ModalHost host;
    return host;
}

bool RangeDialog(HWND owner, CoordinateSet& view, DialogHost& host) {
    return RunDialog(host, owner, IDD_RANGE, GuardedDialogProc<RangeProcBody>, &view) == 1;
}

bool IterationsDialog(HWND owner, int32_t& endValue, DialogHost& host) {
    return RunDialog(host, owner, IDD_ITERATIONS, GuardedDialogProc<IterationsProcBody>, &endValue) == 1;
}

bool DisplayDialog(HWND owner, int32_t& width, int32_t& height, int32_t& scale, uint32_t memoryInUse,
                   DialogHost& host) {
    DisplayRecord record = OpenDisplayRecord(width, height, scale, GetSystemMetrics(SM_CXSCREEN),
                                             GetSystemMetrics(SM_CYSCREEN), memoryInUse);
    scale = record.scale;
    if (RunDialog(host, owner, IDD_DISPLAY, GuardedDialogProc<DisplayProcBody>, &record) != 1) return false;
    const ImageSize size = ConfirmedImageSize(record);
    width = size.width;
    height = size.height;
    scale = record.scale;
    return true;
}

bool PaletteDialog(HWND owner, PaletteSettings& settings, const PaletteApply& apply, DialogHost& host) {
    PaletteRecord record{settings, apply};
    return RunDialog(host, owner, IDD_PALETTE, GuardedDialogProc<PaletteProcBody>, &record) == 1;
}

void AboutDialog(HWND owner, DialogHost& host) {
    RunDialog(host, owner, IDD_ABOUT, GuardedDialogProc<AboutProcBody>, nullptr);
}

void SaveCoordinates(HWND owner, const std::string& iniPath, std::string& setName, const CoordinateSet& view,
                     DialogHost& host) {
    NameRecord typed{setName};
    if (RunDialog(host, owner, IDD_SAVE_COORDS, GuardedDialogProc<SaveProcBody>, &typed) != 1) return;
    const bool havePath = !iniPath.empty();
    IniProfile profile(iniPath);
    SaveOutcome outcome = SaveOutcome::WriteFailed;
    if (havePath) {
        outcome = SaveCoordinateSet(profile, setName, typed.name, view, [owner, &host] {
            return host.Ask(owner, kSaveQuestionText, kSaveQuestionCaption, MB_YESNO | MB_ICONHAND) == IDYES;
        });
    } else if (typed.name.empty()) {
        outcome = SaveOutcome::NothingToSave;
    } else {
        setName = typed.name.substr(0, kMaxSetNameLength);
    }
    if (outcome == SaveOutcome::WriteFailed)
        host.Ask(owner, kWriteFailedText, havePath ? iniPath.c_str() : "quaxel.ini", MB_OK | MB_ICONHAND);
}

bool LoadCoordinates(HWND owner, const std::string& iniPath, std::string& setName, CoordinateSet& view,
                     DialogHost& host) {
    ChoiceRecord choice{iniPath, setName, {}};
    if (RunDialog(host, owner, IDD_LOAD_COORDS, GuardedDialogProc<LoadProcBody>, &choice) != 1) return false;
    if (iniPath.empty()) return false;
    IniProfile profile(iniPath);
    return LoadCoordinateSet(profile, setName, choice.chosen, view);
}
