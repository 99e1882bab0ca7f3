// quaxel.ini read without the platform's profile functions, for the tools
// that run beside the program (the headless renderer): the file is parsed
// once the way those functions read it, and the co-ordinates store reads
// the sets from it with the same rules and fallbacks as the Load command.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "dialogs/CoordinateStoreLogic.h"

class IniFileProfile final : public ProfileAccess {
public:
    // The text of an INI file. Sections and keys are found without regard to
    // case; of sections or keys of the same name the first one counts.
    explicit IniFileProfile(const std::string& text);

    // Reads the file; false (with the reason in `error`) when it cannot be
    // opened or read.
    static bool Load(const std::string& path, IniFileProfile& profile, std::string& error);
    IniFileProfile() = default;

    // Values are cut to the 254 characters the Load command's buffer holds
    // and lose one pair of enclosing quotes.
    std::string ReadString(const std::string& section, const char* key, const char* defaultText) override;
    // Leading blanks, an optional sign and the decimal digits up to the
    // first other character, in 32-bit arithmetic that wraps; an empty
    // value or a missing key gives defaultValue.
    int32_t ReadInt(const std::string& section, const char* key, int32_t defaultValue) override;
    // Read only: the tools never write the program's file.
    bool WriteString(const std::string& section, const char* key, const std::string& value) override;

    // Every section name in file order, as the Load dialog lists them.
    std::vector<std::string> SectionNames() const;
    // The first section whose name equals `name` without regard to case.
    bool HasSection(const std::string& name) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys;
    };
    const std::string* Find(const std::string& section, const char* key) const;
    std::vector<Section> sections_;
};
