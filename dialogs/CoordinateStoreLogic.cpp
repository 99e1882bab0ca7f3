#include "dialogs/CoordinateStoreLogic.h"

#include "dialogs/NumberTextLogic.h"


const std::array<CoordinateKeyInfo, kCoordinateKeyCount> kCoordinateKeys = {{
    {"RealMin", "-2", 0},
    {"RealMax", "1", 0},
    {"ImagMin", "-1.5", 0},
    {"ImagMax", "1.5", 0},
    {"ConstReal", "0", 0},
    {"ConstImag", "0", 0},
    {"IterStart", "64", 64},
    {"IterInc", "64", 64},
    {"IterEnd", "256", 256},
    {"Formula", "0", 0},
}};

namespace {

long double CoordinateSet::*const kFloatMembers[kKeyIterStart] = {
    &CoordinateSet::RealMin, &CoordinateSet::RealMax,   &CoordinateSet::ImagMin,
    &CoordinateSet::ImagMax, &CoordinateSet::ConstReal, &CoordinateSet::ConstImag,
};

int32_t CoordinateSet::*const kIntegerMembers[3] = {
    &CoordinateSet::IterStart,
    &CoordinateSet::IterInc,
    &CoordinateSet::IterEnd,
};

std::string LimitedName(std::string_view name) { return std::string(name.substr(0, kMaxSetNameLength)); }

}  // namespace

std::array<KeyValueText, kCoordinateKeyCount> CoordinateSetTexts(const CoordinateSet& set) {
    std::array<KeyValueText, kCoordinateKeyCount> texts;
    for (int32_t k = 0; k < kCoordinateKeyCount; ++k) texts[k].key = kCoordinateKeys[k].name;
    for (int32_t k = kKeyRealMin; k < kKeyIterStart; ++k) texts[k].value = CoordinateText(set.*kFloatMembers[k]);
    for (int32_t k = kKeyIterStart; k < kKeyFormula; ++k) {
        texts[k].value = std::to_string(set.*kIntegerMembers[k - kKeyIterStart]);
    }
    texts[kKeyFormula].value = std::to_string(set.Formula == FormulaKind::JuliaSet ? 1 : 0);
    return texts;
}

long double StoredCoordinate(std::string_view text, CoordinateKey key) {
    if (text.find_first_not_of(' ') == std::string_view::npos) return 0.0L;
    const NumberReading reading = ReadNumber(text);
    if (reading.syntax == NumberSyntax::Valid) return reading.value;
    // The program writes only numbers; whatever else is found there (a hand
    // edit, "nan", "inf", an exponent beyond the range) falls back as if the
    // key were missing.
    return ReadNumber(kCoordinateKeys[key].defaultText).value;
}

FormulaKind StoredFormula(int32_t value) { return value >= 1 ? FormulaKind::JuliaSet : FormulaKind::MandelbrotSet; }

bool CoordinateSetExists(ProfileAccess& profile, const std::string& name) {
    return !profile.ReadString(name, kCoordinateKeys[kKeyRealMin].name, "").empty();
}

bool WriteCoordinateSet(ProfileAccess& profile, const std::string& name, const CoordinateSet& set) {
    for (const KeyValueText& entry : CoordinateSetTexts(set)) {
        if (!profile.WriteString(name, entry.key, entry.value)) return false;
    }
    return true;
}

CoordinateSet ReadCoordinateSet(ProfileAccess& profile, const std::string& name) {
    CoordinateSet set;
    for (int32_t k = kKeyRealMin; k < kKeyIterStart; ++k) {
        const CoordinateKeyInfo& info = kCoordinateKeys[k];
        set.*kFloatMembers[k] = StoredCoordinate(profile.ReadString(name, info.name, info.defaultText),
                                                 static_cast<CoordinateKey>(k));
    }
    for (int32_t k = kKeyIterStart; k < kKeyFormula; ++k) {
        const CoordinateKeyInfo& info = kCoordinateKeys[k];
        set.*kIntegerMembers[k - kKeyIterStart] = profile.ReadInt(name, info.name, info.defaultInteger);
    }
    const CoordinateKeyInfo& formula = kCoordinateKeys[kKeyFormula];
    set.Formula = StoredFormula(profile.ReadInt(name, formula.name, formula.defaultInteger));
    return set;
}

SaveOutcome SaveCoordinateSet(ProfileAccess& profile, std::string& currentName, std::string_view typedName,
                              const CoordinateSet& set, const std::function<bool()>& confirmOverwrite) {
    currentName = LimitedName(typedName);
    if (currentName.empty()) return SaveOutcome::NothingToSave;
    if (CoordinateSetExists(profile, currentName) && !confirmOverwrite()) return SaveOutcome::Declined;
    return WriteCoordinateSet(profile, currentName, set) ? SaveOutcome::Saved : SaveOutcome::WriteFailed;
}

bool LoadCoordinateSet(ProfileAccess& profile, std::string& currentName, std::string_view chosenName,
                       CoordinateSet& set) {
    currentName = LimitedName(chosenName);
    if (currentName.empty()) return false;
    set = ReadCoordinateSet(profile, currentName);
    return true;
}

std::vector<std::string> SectionNamesFromBuffer(const char* buffer, size_t length) {
    std::vector<std::string> names;
    size_t i = 0;
    while (i < length && buffer[i] != '\0') {
        const size_t start = i;
        while (i < length && buffer[i] != '\0') ++i;
        names.emplace_back(buffer + start, i - start);
        ++i;  // past the separator
    }
    return names;
}
