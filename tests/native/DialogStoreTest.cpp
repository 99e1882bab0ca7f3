// The co-ordinates store against an in-memory INI file that behaves like the
// private-profile functions: section names without regard to case, defaults
// for missing keys, integers read up to the first non-digit.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dialogs/CoordinateStoreLogic.h"
#include "dialogs/NumberTextLogic.h"

namespace {

// The program's current set name, as the Save and Load dialogs hand it in.
std::string CurrentSetName;

class FakeProfile : public ProfileAccess {
public:
    std::string ReadString(const std::string& section, const char* key, const char* defaultText) override {
        const auto s = sections_.find(Folded(section));
        if (s == sections_.end()) return defaultText;
        const auto k = s->second.find(key);
        return k == s->second.end() ? std::string(defaultText) : k->second;
    }

    int32_t ReadInt(const std::string& section, const char* key, int32_t defaultValue) override {
        const auto s = sections_.find(Folded(section));
        if (s == sections_.end()) return defaultValue;
        const auto k = s->second.find(key);
        if (k == s->second.end()) return defaultValue;
        return static_cast<int32_t>(std::strtol(k->second.c_str(), nullptr, 10));
    }

    bool WriteString(const std::string& section, const char* key, const std::string& value) override {
        if (writesLeft_ == 0) return false;
        --writesLeft_;
        auto& keys = sections_[Folded(section)];
        if (keys.find(key) == keys.end()) order_[Folded(section)].push_back(key);
        keys[key] = value;
        return true;
    }

    void Set(const std::string& section, const std::string& key, const std::string& value) {
        sections_[Folded(section)][key] = value;
    }
    void FailAfter(int writes) { writesLeft_ = writes; }

    // The section as the file would list it, key=value a line, in write order.
    std::string Listing(const std::string& section) {
        std::ostringstream out;
        out << '[' << section << "]\n";
        const std::string folded = Folded(section);
        for (const std::string& key : order_[folded]) out << key << '=' << sections_[folded][key] << '\n';
        return out.str();
    }
    size_t KeyCount(const std::string& section) { return sections_[Folded(section)].size(); }

private:
    static std::string Folded(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::map<std::string, std::map<std::string, std::string>> sections_;
    std::map<std::string, std::vector<std::string>> order_;
    int writesLeft_ = 1 << 30;
};

CoordinateSet DefaultSet() {
    CoordinateSet set;
    set.RealMin = -2.0L;
    set.RealMax = 1.0L;
    set.ImagMin = -1.5L;
    set.ImagMax = 1.5L;
    set.IterStart = 64;
    set.IterInc = 64;
    set.IterEnd = 256;
    return set;
}

bool SameSet(const CoordinateSet& a, const CoordinateSet& b) {
    return a.RealMin == b.RealMin && a.RealMax == b.RealMax && a.ImagMin == b.ImagMin && a.ImagMax == b.ImagMax &&
           a.ConstReal == b.ConstReal && a.ConstImag == b.ConstImag && a.Formula == b.Formula &&
           a.IterStart == b.IterStart && a.IterInc == b.IterInc && a.IterEnd == b.IterEnd;
}

class CoordinateStore : public ::testing::Test {
protected:
    void SetUp() override { CurrentSetName.clear(); }
    void TearDown() override { CurrentSetName.clear(); }
    FakeProfile ini;
    int questions = 0;
    std::function<bool()> answer(bool yes) {
        return [this, yes] {
            ++questions;
            return yes;
        };
    }
};

TEST_F(CoordinateStore, TheDefaultSetIsStoredAsShown) {
    ASSERT_EQ(SaveCoordinateSet(ini, CurrentSetName, "POME01", DefaultSet(), answer(true)), SaveOutcome::Saved);
    EXPECT_EQ(ini.Listing("POME01"),
              "[POME01]\nRealMin=-2\nRealMax=1\nImagMin=-1.5\nImagMax=1.5\nConstReal=0\nConstImag=0\n"
              "IterStart=64\nIterInc=64\nIterEnd=256\nFormula=0\n");
    EXPECT_EQ(questions, 0);
    EXPECT_EQ(CurrentSetName, "POME01");
    // The same values are what a missing section reads as.
    EXPECT_TRUE(SameSet(ReadCoordinateSet(ini, "missing"), DefaultSet()));
}

TEST_F(CoordinateStore, SavedSetsReadBackRoundedToTheirText) {
    CoordinateSet set = DefaultSet();
    set.RealMin = ReadNumber("-0.74853125000000000001234").value;  // needs more than 17 places
    set.RealMax = ReadNumber("1.5e40").value;
    set.ImagMin = -0.0L;
    set.ImagMax = ReadNumber("-3e-30").value;
    set.ConstReal = ReadNumber("0.285").value;
    set.ConstImag = ReadNumber("0.01").value;
    set.IterStart = -5;
    set.IterInc = 100000;
    set.IterEnd = INT32_MAX;
    set.Formula = FormulaKind::JuliaSet;
    ASSERT_TRUE(WriteCoordinateSet(ini, "Seahorse", set));
    EXPECT_EQ(ini.ReadString("seahorse", "RealMin", ""), "-0.74853125");
    EXPECT_EQ(ini.ReadString("seahorse", "ImagMax", ""), "-0");
    EXPECT_EQ(ini.ReadString("seahorse", "IterEnd", ""), "2147483647");

    CoordinateSet back;
    ASSERT_TRUE(LoadCoordinateSet(ini, CurrentSetName, "Seahorse", back));
    EXPECT_EQ(back.RealMin, ReadNumber("-0.74853125").value);
    EXPECT_EQ(back.RealMax, set.RealMax);
    EXPECT_TRUE(std::signbit(back.ImagMin));
    EXPECT_EQ(back.ImagMax, 0.0L);
    EXPECT_TRUE(std::signbit(back.ImagMax));
    EXPECT_EQ(back.ConstReal, set.ConstReal);
    EXPECT_EQ(back.IterStart, -5);
    EXPECT_EQ(back.IterInc, 100000);
    EXPECT_EQ(back.IterEnd, INT32_MAX);
    EXPECT_EQ(back.Formula, FormulaKind::JuliaSet);
    EXPECT_EQ(CurrentSetName, "Seahorse");
}

TEST_F(CoordinateStore, DamagedValuesFallBackToTheKeysDefaultAndEmptyOnesToZero) {
    ini.Set("x", "RealMin", "nan");
    ini.Set("x", "RealMax", "inf");
    ini.Set("x", "ImagMin", "1e99999");
    ini.Set("x", "ImagMax", "");
    ini.Set("x", "ConstReal", "1,5");
    ini.Set("x", "ConstImag", "  0.25");
    ini.Set("x", "IterStart", "12abc");
    ini.Set("x", "Formula", "7");
    const CoordinateSet set = ReadCoordinateSet(ini, "X");
    EXPECT_EQ(set.RealMin, -2.0L);
    EXPECT_EQ(set.RealMax, 1.0L);
    EXPECT_EQ(set.ImagMin, -1.5L);
    EXPECT_EQ(set.ImagMax, 0.0L);
    EXPECT_EQ(set.ConstReal, 0.0L);
    EXPECT_EQ(set.ConstImag, 0.25L);
    EXPECT_EQ(set.IterStart, 12);
    EXPECT_EQ(set.IterInc, 64);
    EXPECT_EQ(set.IterEnd, 256);
    EXPECT_EQ(set.Formula, FormulaKind::JuliaSet);

    EXPECT_EQ(StoredCoordinate("   ", kKeyRealMin), 0.0L);
    EXPECT_EQ(StoredCoordinate("-1e", kKeyImagMax), 1.5L);
    EXPECT_EQ(StoredFormula(-3), FormulaKind::MandelbrotSet);
    EXPECT_EQ(StoredFormula(0), FormulaKind::MandelbrotSet);
    EXPECT_EQ(StoredFormula(1), FormulaKind::JuliaSet);
}

TEST_F(CoordinateStore, OverwritingAsksFirstAndSectionNamesIgnoreCase) {
    ASSERT_EQ(SaveCoordinateSet(ini, CurrentSetName, "Spiral", DefaultSet(), answer(true)), SaveOutcome::Saved);
    CoordinateSet other = DefaultSet();
    other.IterEnd = 999;
    EXPECT_EQ(SaveCoordinateSet(ini, CurrentSetName, "SPIRAL", other, answer(false)), SaveOutcome::Declined);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(CurrentSetName, "SPIRAL");  // the typed name is kept even without saving
    EXPECT_EQ(ReadCoordinateSet(ini, "spiral").IterEnd, 256);
    EXPECT_EQ(SaveCoordinateSet(ini, CurrentSetName, "SPIRAL", other, answer(true)), SaveOutcome::Saved);
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(ReadCoordinateSet(ini, "Spiral").IterEnd, 999);

    // Only a non-empty RealMin makes a set exist.
    ini.Set("Hollow", "RealMin", "");
    ini.Set("Hollow", "IterEnd", "5");
    EXPECT_EQ(SaveCoordinateSet(ini, CurrentSetName, "Hollow", DefaultSet(), answer(false)), SaveOutcome::Saved);
    EXPECT_EQ(questions, 2);
}

TEST_F(CoordinateStore, EmptyNamesSaveAndLoadNothing) {
    CurrentSetName = "before";
    EXPECT_EQ(SaveCoordinateSet(ini, CurrentSetName, "", DefaultSet(), answer(true)), SaveOutcome::NothingToSave);
    EXPECT_EQ(CurrentSetName, "");
    EXPECT_EQ(ini.KeyCount(""), 0u);
    CoordinateSet untouched;
    untouched.IterEnd = 77;
    EXPECT_FALSE(LoadCoordinateSet(ini, CurrentSetName, "", untouched));
    EXPECT_EQ(untouched.IterEnd, 77);
    // Names are cut to what the field holds.
    EXPECT_EQ(SaveCoordinateSet(ini, CurrentSetName, std::string(300, 'n'), DefaultSet(), answer(true)),
              SaveOutcome::Saved);
    EXPECT_EQ(CurrentSetName.size(), kMaxSetNameLength);
}

TEST_F(CoordinateStore, AFailedWriteStopsTheRestAndIsReported) {
    ini.FailAfter(3);
    EXPECT_EQ(SaveCoordinateSet(ini, CurrentSetName, "Partial", DefaultSet(), answer(true)), SaveOutcome::WriteFailed);
    EXPECT_EQ(ini.KeyCount("Partial"), 3u);
    EXPECT_EQ(ini.Listing("Partial"), "[Partial]\nRealMin=-2\nRealMax=1\nImagMin=-1.5\n");
}

TEST(SectionList, NamesFromTheProfileBuffer) {
    const char list[] = "POME01\0Seahorse\0a b\0\0junk";
    EXPECT_EQ(SectionNamesFromBuffer(list, sizeof list - 1), (std::vector<std::string>{"POME01", "Seahorse", "a b"}));
    EXPECT_TRUE(SectionNamesFromBuffer("\0\0", 0).empty());
    EXPECT_TRUE(SectionNamesFromBuffer("\0\0", 2).empty());
    // A list cut by a full buffer ends where the returned count says.
    EXPECT_EQ(SectionNamesFromBuffer("One\0Tw", 6), (std::vector<std::string>{"One", "Tw"}));
}

}  // namespace
