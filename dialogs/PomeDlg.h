// The program's dialogs and the saved views. Windows only; the arithmetic
// and validation behind them is in PomeDlgLogic.h. Each dialog works on the
// record its caller hands it and writes it back only on OK; none of them
// reaches for the program's own state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "dialogs/PomeDlgLogic.h"
#include "engine/CoordinateSet.h"

// Where the dialogs below are shown and ended, and whom they ask their
// questions. The program's host is modal: DialogBoxParam, EndDialog and
// MessageBox. A test in the program's own process hands in a host of its own
// that creates the dialog modeless from the same template and procedure,
// drives it, and answers the questions instead of blocking in a message box.
class DialogHost {
public:
    // Shows the dialog and returns the result it ended with.
    virtual INT_PTR Show(HWND owner, int templateId, DLGPROC procedure, LPARAM record) = 0;
    // Called by the procedure of a dialog marked with kDialogHostProperty
    // (a modeless one must be destroyed, never ended).
    virtual void End(HWND dialog, INT_PTR result) = 0;
    // A message box's question: returns the button chosen (IDOK, IDYES, ...).
    virtual int Ask(HWND owner, const char* text, const char* caption, UINT style) = 0;

protected:
    ~DialogHost() = default;
};

// A host that shows its dialogs modeless sets this property of each dialog
// to itself, and removes it before the dialog is destroyed. An unmarked
// dialog is modal and ends with EndDialog.
constexpr char kDialogHostProperty[] = "QuaxelDialogHost";

// The program's host.
DialogHost& ModalDialogs();

// Range dialog on `view`: true after OK, with every field written back.
bool RangeDialog(HWND owner, CoordinateSet& view, DialogHost& host = ModalDialogs());

// Iterations dialog: true after OK with a valid number stored in `endValue`.
bool IterationsDialog(HWND owner, int32_t& endValue, DialogHost& host = ModalDialogs());

// Display dialog on the image size and display scale: true after OK, with
// all three written back (sides of at least 2 pixels). `memoryInUse` is what
// the current calculation holds (MemoryRequirement of its size and type, 0
// without buffers): it is given back before a new size is made, so it counts
// as available.
bool DisplayDialog(HWND owner, int32_t& width, int32_t& height, int32_t& scale, uint32_t memoryInUse,
                   DialogHost& host = ModalDialogs());

// Apply in the Colour Palette dialog hands the dialog's settings to this,
// which puts them into effect while the dialog stays open.
using PaletteApply = std::function<void(const PaletteSettings& applied)>;

// Colour Palette dialog on `settings`: true after OK, with all five written
// back. What Apply put into effect stays, whatever the dialog ends with.
bool PaletteDialog(HWND owner, PaletteSettings& settings, const PaletteApply& apply,
                   DialogHost& host = ModalDialogs());

void AboutDialog(HWND owner, DialogHost& host = ModalDialogs());

// The saved views live in the INI file `iniPath`; an empty path means the
// program's own path could not be had in full, and the file is then neither
// read nor written. `setName` is the name both dialogs offer; a confirmed
// dialog replaces it with the typed or chosen name.

// Asks for a name and saves `view` under it.
void SaveCoordinates(HWND owner, const std::string& iniPath, std::string& setName, const CoordinateSet& view,
                     DialogHost& host = ModalDialogs());

// Lets the user pick a saved view; true after OK with `view` overwritten.
bool LoadCoordinates(HWND owner, const std::string& iniPath, std::string& setName, CoordinateSet& view,
                     DialogHost& host = ModalDialogs());
