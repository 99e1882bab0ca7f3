#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "setup/SetupLogic.h"
#include "tests/SetupExpectedTexts.h"

namespace {

constexpr char kInf[] = ".\\install.inf";
constexpr auto& kKeyPrefix = setuptest::kUninstallKeyPrefix;

using setuptest::kFailedText;
using setuptest::kInvalidText;
using setuptest::kQuestionText;

std::string Quoted(const char* text) { return text ? std::string("\"") + text + "\"" : "null"; }

std::string HiveName(RegistryHive hive) {
    return hive == RegistryHive::CurrentUser ? "HKCU" : hive == RegistryHive::LocalMachine ? "HKLM" : "?";
}

// Answers like the Win32 functions it stands for and records every call,
// with its arguments, as one line.
class FakePlatform : public SetupPlatform {
public:
    std::map<std::string, std::string> inf;  // "section/key" of ".\install.inf" -> value
    // Registry keys by hive and path, each with its values as raw bytes.
    std::map<std::pair<RegistryHive, std::string>, std::map<std::string, std::string>> registry;
    std::vector<int> answers;  // what the message boxes return, in order
    intptr_t shellResult = 42;
    std::vector<std::string> calls;
    int openKeys = 0;

    void WriteInf(const std::string& project, const std::string& version) {
        inf["Brelmor/Projekt"] = project;
        inf["Brelmor/Version"] = version;
    }
    void AddVersionValue(RegistryHive hive, const std::string& project, const std::string& bytes) {
        registry[{hive, kKeyPrefix + project}]["Version"] = bytes;
    }

    uint32_t ReadProfileString(const char* section, const char* key, const char* fallback, char* buffer,
                               uint32_t size, const char* file) override {
        Record("Profile " + Quoted(section) + " " + Quoted(key) + " " + Quoted(fallback) + " " +
               std::to_string(size) + " " + Quoted(file));
        std::string value = fallback;
        auto found = inf.find(std::string(section) + "/" + key);
        if (std::strcmp(file, kInf) == 0 && found != inf.end()) value = found->second;
        const size_t copied = std::min<size_t>(value.size(), size - 1);  // truncates as the platform does
        std::memcpy(buffer, value.data(), copied);
        buffer[copied] = '\0';
        return static_cast<uint32_t>(copied);
    }

    int32_t OpenKey(RegistryHive hive, const char* subKey, uint32_t options, uint32_t access,
                    HKEY__** key) override {
        Record("Open " + HiveName(hive) + " " + Quoted(subKey) + " " + std::to_string(options) + " " +
               std::to_string(access));
        auto found = registry.find({hive, subKey});
        if (found == registry.end()) return kErrorFileNotFound;
        opened.push_back(&found->second);
        ++openKeys;
        *key = reinterpret_cast<HKEY__*>(opened.size());
        return kErrorSuccess;
    }

    int32_t QueryValue(HKEY__* key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) override {
        Record("Query " + KeyName(key) + " " + Quoted(name) + " " + (type ? "type" : "null") + " " +
               std::to_string(*size));
        auto* values = Values(key);
        if (!values) return 6;  // ERROR_INVALID_HANDLE
        auto found = values->find(name);
        if (found == values->end()) return kErrorFileNotFound;
        const std::string& bytes = found->second;
        if (type) *type = 1;  // REG_SZ
        if (bytes.size() > *size) {
            std::memset(data, 'X', *size);  // contents are undefined after ERROR_MORE_DATA
            *size = static_cast<uint32_t>(bytes.size());
            return kErrorMoreData;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        *size = static_cast<uint32_t>(bytes.size());
        return kErrorSuccess;
    }

    int32_t CloseKey(HKEY__* key) override {
        Record("Close " + KeyName(key));
        if (!Values(key)) return 6;
        opened[reinterpret_cast<uintptr_t>(key) - 1] = nullptr;
        --openKeys;
        return kErrorSuccess;
    }

    int ShowMessage(HWND__* owner, const char* text, const char* caption, uint32_t style) override {
        Record(std::string("Box ") + (owner ? "owner" : "null") + " " + Quoted(caption) + " " +
               std::to_string(style));
        texts.push_back(text);
        if (answers.empty()) return kIdOk;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }

    intptr_t Execute(HWND__* owner, const char* verb, const char* file, const char* parameters,
                     const char* directory, int show) override {
        Record(std::string("Shell ") + (owner ? "owner" : "null") + " " + Quoted(verb) + " " + Quoted(file) +
               " " + Quoted(parameters) + " " + Quoted(directory) + " " + std::to_string(show));
        return shellResult;
    }

    void Exit(uint32_t code) override { Record("Exit " + std::to_string(code)); }

    std::vector<std::string> texts;  // message box texts, in order

private:
    void Record(std::string call) {
        // Nothing may happen after ExitProcess, which does not return.
        if (!calls.empty() && calls.back().rfind("Exit", 0) == 0) call = "AFTER EXIT: " + call;
        calls.push_back(std::move(call));
    }
    std::map<std::string, std::string>* Values(HKEY__* key) {
        const auto index = reinterpret_cast<uintptr_t>(key);
        return index >= 1 && index <= opened.size() ? opened[index - 1] : nullptr;
    }
    static std::string KeyName(HKEY__* key) { return "key" + std::to_string(reinterpret_cast<uintptr_t>(key)); }

    std::vector<std::map<std::string, std::string>*> opened;  // handle n is opened[n - 1]
};

// Message box styles as numbers: MB_TASKMODAL 0x2000 with MB_OK 0 and
// MB_ICONEXCLAMATION 0x30 (8240), or with MB_YESNO 4 and MB_ICONINFORMATION
// 0x40 (8260).
const std::string kReadProjekt = R"(Profile "Brelmor" "Projekt" "" 256 ".\install.inf")";
const std::string kReadVersion = R"(Profile "Brelmor" "Version" "" 256 ".\install.inf")";
const std::string kInvalidBox = R"(Box null "Invalid INSTALL.INF file" 8240)";
const std::string kQuestionBox = R"(Box null "Installation" 8260)";
const std::string kFailedBox = R"(Box null "Installation failed" 8240)";
const std::string kQueryVersion = R"(Query key1 "Version" null 255)";
const std::string kShell = R"(Shell null "Install" "install.inf" null null 1)";

std::string OpenCall(const std::string& project) {
    return "Open HKCU \"" + std::string(kKeyPrefix) + project + "\" 0 131097";  // KEY_READ 0x20019
}

std::string AlreadyInstalledText(const std::string& installed, const std::string& version) {
    return "Version " + installed + " is already installed.\nYou are attempting to install " + version +
           ".\nPlease remove the old version via Start / Control Panel / Add/Remove Programs.\n"
           "Then run SETUP again to install the new version.";
}

using Calls = std::vector<std::string>;
using Texts = std::vector<std::string>;

TEST(SetupLogic, AMissingOrIncompleteInfIsReportedAsInvalid) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> inf;
    };
    const Case cases[] = {
        {"no file", {}},
        {"empty Version", {{"Brelmor/Projekt", "Quaxel"}, {"Brelmor/Version", ""}}},
        {"no Version", {{"Brelmor/Projekt", "Quaxel"}}},
        {"empty Projekt", {{"Brelmor/Projekt", ""}, {"Brelmor/Version", "2.0"}}},
        {"keys in another section", {{"Quaxel/Projekt", "Quaxel"}, {"Quaxel/Version", "2.0"}}},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.inf = c.inf;
        RunSetup(platform);
        EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, kInvalidBox, "Exit 0"})) << c.what;
        EXPECT_EQ(platform.texts, (Texts{kInvalidText})) << c.what;
    }
}

TEST(SetupLogic, AnInstalledVersionIsRefusedEvenWhenItIsTheSameOne) {
    for (const char* installed : {"1.0", "2.0"}) {
        FakePlatform platform;
        platform.WriteInf("Quaxel", "2.0");
        platform.AddVersionValue(RegistryHive::CurrentUser, "Quaxel", std::string(installed) + '\0');
        RunSetup(platform);
        EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQueryVersion,
                                         "Close key1", R"(Box null "Program Quaxel already installed" 8240)",
                                         "Exit 0"}));
        EXPECT_EQ(platform.texts, (Texts{AlreadyInstalledText(installed, "2.0")}));
        EXPECT_EQ(platform.openKeys, 0);
    }
}

TEST(SetupLogic, NoInstalledVersionAsksAndNoEndsThere) {
    FakePlatform platform;
    platform.WriteInf("Quaxel", "2.0");
    platform.answers = {kIdNo};
    RunSetup(platform);
    EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQuestionBox, "Exit 0"}));
    EXPECT_EQ(platform.texts, (Texts{kQuestionText}));
}

TEST(SetupLogic, YesHandsTheInfToTheShellsInstallAction) {
    for (intptr_t result : {33, 42, 100000}) {
        FakePlatform platform;
        platform.WriteInf("Quaxel", "2.0");
        platform.answers = {kIdYes};
        platform.shellResult = result;
        RunSetup(platform);
        EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQuestionBox, kShell,
                                         "Exit 0"}))
            << result;
        EXPECT_EQ(platform.texts, (Texts{kQuestionText}));
    }
}

TEST(SetupLogic, AShellResultOf32OrLessIsReportedAsFailed) {
    for (intptr_t result : {32, 31, 2, 0}) {
        FakePlatform platform;
        platform.WriteInf("Quaxel", "2.0");
        platform.answers = {kIdYes, kIdOk};
        platform.shellResult = result;
        RunSetup(platform);
        EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQuestionBox, kShell,
                                         kFailedBox, "Exit 0"}))
            << result;
        EXPECT_EQ(platform.texts, (Texts{kQuestionText, kFailedText})) << result;
    }
}

TEST(SetupLogic, OnlyAnExplicitYesInstalls) {
    for (int answer : {0, 2, kIdOk}) {  // 0: the box could not be shown; 2: IDCANCEL
        FakePlatform platform;
        platform.WriteInf("Quaxel", "2.0");
        platform.answers = {answer};
        RunSetup(platform);
        EXPECT_EQ(platform.calls.size(), 5u) << answer;
        EXPECT_EQ(platform.calls.back(), "Exit 0") << answer;
    }
}

TEST(SetupLogic, AKeyWithoutAVersionValueLetsTheInstallationGoOn) {
    FakePlatform platform;
    platform.WriteInf("Quaxel", "2.0");
    platform.registry[{RegistryHive::CurrentUser, kKeyPrefix + std::string("Quaxel")}]["DisplayName"] =
        std::string("Quaxel") + '\0';
    platform.answers = {kIdNo};
    RunSetup(platform);
    EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQueryVersion, "Close key1",
                                     kQuestionBox, "Exit 0"}));
    EXPECT_EQ(platform.openKeys, 0);
}

TEST(SetupLogic, AnEntryInTheMachineHiveIsIgnored) {
    FakePlatform platform;
    platform.WriteInf("Quaxel", "2.0");
    platform.AddVersionValue(RegistryHive::LocalMachine, "Quaxel", std::string("1.0") + '\0');
    platform.answers = {kIdNo};
    RunSetup(platform);
    // The only key ever opened is the current user's.
    EXPECT_EQ(platform.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQuestionBox, "Exit 0"}));
}

TEST(SetupLogic, AVersionValueLongerThanTheBufferMeansNotInstalled) {
    // 254 characters and the terminator fill the 255 bytes exactly.
    const std::string fits(254, '7');
    FakePlatform installed;
    installed.WriteInf("Quaxel", "2.0");
    installed.AddVersionValue(RegistryHive::CurrentUser, "Quaxel", fits + '\0');
    RunSetup(installed);
    ASSERT_EQ(installed.texts.size(), 1u);
    EXPECT_EQ(installed.texts[0], AlreadyInstalledText(fits, "2.0"));

    FakePlatform tooLong;
    tooLong.WriteInf("Quaxel", "2.0");
    tooLong.AddVersionValue(RegistryHive::CurrentUser, "Quaxel", std::string(255, '7') + '\0');
    tooLong.answers = {kIdNo};
    RunSetup(tooLong);
    EXPECT_EQ(tooLong.calls, (Calls{kReadProjekt, kReadVersion, OpenCall("Quaxel"), kQueryVersion, "Close key1",
                                    kQuestionBox, "Exit 0"}));
    EXPECT_EQ(tooLong.openKeys, 0);
}

TEST(SetupLogic, AVersionValueWithoutTerminatorIsReadUpToItsSize) {
    for (const std::string& bytes : {std::string("1.5"), std::string(255, '8')}) {
        FakePlatform platform;
        platform.WriteInf("Quaxel", "2.0");
        platform.AddVersionValue(RegistryHive::CurrentUser, "Quaxel", bytes);
        RunSetup(platform);
        ASSERT_EQ(platform.texts.size(), 1u);
        EXPECT_EQ(platform.texts[0], AlreadyInstalledText(bytes, "2.0"));
    }
}

TEST(SetupLogic, AProjectNameMustFitTheKeyPath) {
    const std::string longest(203, 'p');
    FakePlatform fits;
    fits.WriteInf(longest, "2.0");
    fits.AddVersionValue(RegistryHive::CurrentUser, longest, std::string("1.0") + '\0');
    RunSetup(fits);
    EXPECT_EQ(fits.calls, (Calls{kReadProjekt, kReadVersion, OpenCall(longest), kQueryVersion, "Close key1",
                                 "Box null \"Program " + longest + " already installed\" 8240", "Exit 0"}));
    EXPECT_EQ(OpenCall(longest).size(), std::string("Open HKCU \"\" 0 131097").size() + 255);

    // One more character, or a name the profile read had to cut at 255, is
    // refused like a damaged file: no truncated key is ever looked up.
    for (size_t length : {204, 255, 300}) {
        FakePlatform tooLong;
        tooLong.WriteInf(std::string(length, 'p'), "2.0");
        tooLong.AddVersionValue(RegistryHive::CurrentUser, std::string(203, 'p'), std::string("1.0") + '\0');
        RunSetup(tooLong);
        EXPECT_EQ(tooLong.calls, (Calls{kReadProjekt, kReadVersion, kInvalidBox, "Exit 0"})) << length;
        EXPECT_EQ(tooLong.texts, (Texts{kInvalidText})) << length;
    }
}

TEST(SetupLogic, AVersionUpToTheProfileBufferIsShownWhole) {
    const std::string version(255, '9');
    FakePlatform platform;
    platform.WriteInf("Quaxel", version);
    platform.AddVersionValue(RegistryHive::CurrentUser, "Quaxel", std::string("1.0") + '\0');
    RunSetup(platform);
    ASSERT_EQ(platform.texts.size(), 1u);
    EXPECT_EQ(platform.texts[0], AlreadyInstalledText("1.0", version));
}

}  // namespace
