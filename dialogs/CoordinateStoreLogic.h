// The co-ordinates store's decisions: which keys a saved set has, what their
// texts are, what a damaged or missing value reads as, when a save asks
// before overwriting. The INI file itself is reached through ProfileAccess,
// which the Windows side implements with the private-profile functions on
// quaxel.ini and the tests with a map.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CoordinateSet.h"

// Set names are read from a 254-character field; longer ones are cut.
constexpr size_t kMaxSetNameLength = 254;

// The Load dialog reads the section names into a buffer of this size.
constexpr size_t kSectionListBufferSize = 30720;

enum CoordinateKey : int32_t {
    kKeyRealMin,
    kKeyRealMax,
    kKeyImagMin,
    kKeyImagMax,
    kKeyConstReal,
    kKeyConstImag,
    kKeyIterStart,
    kKeyIterInc,
    kKeyIterEnd,
    kKeyFormula,
    kCoordinateKeyCount
};

struct CoordinateKeyInfo {
    const char* name;         // "RealMin" ...
    const char* defaultText;  // read when the key is missing: "-2" ... "256", "0"
    int32_t defaultInteger;   // the integer keys' default (0 for the floats)
};

// The ten keys in the order they are written.
extern const std::array<CoordinateKeyInfo, kCoordinateKeyCount> kCoordinateKeys;

struct KeyValueText {
    const char* key;
    std::string value;
};

// The ten key=value texts of a set, in writing order: the floats as
// CoordinateText, the integers in plain decimal, Formula "0" or "1".
std::array<KeyValueText, kCoordinateKeyCount> CoordinateSetTexts(const CoordinateSet& set);

// A stored float: empty (or blank) text gives 0; text that is no number,
// or a number beyond the extended range, gives the key's default value.
long double StoredCoordinate(std::string_view text, CoordinateKey key);

// A stored Formula: 0 and below are Mandelbrot-Set, 1 and above Julia-Set.
FormulaKind StoredFormula(int32_t value);

// The INI file as the store uses it; every call names the section.
struct ProfileAccess {
    // GetPrivateProfileStringA: the key's text, or defaultText when the
    // section or key is missing.
    virtual std::string ReadString(const std::string& section, const char* key, const char* defaultText) = 0;
    // GetPrivateProfileIntA: the key's value as an integer, or defaultValue
    // when the section or key is missing.
    virtual int32_t ReadInt(const std::string& section, const char* key, int32_t defaultValue) = 0;
    // WritePrivateProfileStringA: false when the write failed.
    virtual bool WriteString(const std::string& section, const char* key, const std::string& value) = 0;

protected:
    ~ProfileAccess() = default;
};

// Whether a set of that name exists: its RealMin text is not empty.
bool CoordinateSetExists(ProfileAccess& profile, const std::string& name);

// Writes the ten keys in order and stops at the first failed write (keys
// written before it stay). False when a write failed.
bool WriteCoordinateSet(ProfileAccess& profile, const std::string& name, const CoordinateSet& set);

// Reads every field; missing keys or a missing section give the defaults.
// The iteration values are taken as they are, Formula is clamped.
CoordinateSet ReadCoordinateSet(ProfileAccess& profile, const std::string& name);

enum class SaveOutcome : uint8_t {
    NothingToSave,  // the name is empty: no message
    Declined,       // the set exists and the overwrite question was not answered Yes
    Saved,
    WriteFailed,    // show the write failure message (the set may be partly written)
};

constexpr const char* kSaveQuestionCaption = "Saving co-ordinates";
constexpr const char* kSaveQuestionText = "Co-ordinates with this name already exist!\nDo you want to overwrite them?";
constexpr const char* kWriteFailedText =
    "Writing Co-ordinates to QUAXEL.INI failed.\nMake sure that neither file nor directory are write-protected.";

// The current set name is the name the Save and Load dialogs offer: empty at
// start, replaced by the name typed into a confirmed Save dialog and the one
// chosen in a confirmed Load dialog. Not persisted; the program holds it.

// After a confirmed Save dialog: the typed name (cut to 254 characters)
// becomes currentName even if nothing is saved; an existing set is
// overwritten only when confirmOverwrite answers true.
SaveOutcome SaveCoordinateSet(ProfileAccess& profile, std::string& currentName, std::string_view typedName,
                              const CoordinateSet& set, const std::function<bool()>& confirmOverwrite);

// After a confirmed Load dialog: the chosen name becomes currentName; an
// empty name loads nothing (false), any other fills `set` completely.
bool LoadCoordinateSet(ProfileAccess& profile, std::string& currentName, std::string_view chosenName,
                       CoordinateSet& set);

// The section names in the buffer GetPrivateProfileStringA fills when asked
// for no section: null-separated, ended by an empty name or by `length`
// characters (the count the call returned), whichever comes first.
std::vector<std::string> SectionNamesFromBuffer(const char* buffer, size_t length);
