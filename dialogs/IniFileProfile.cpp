#include "dialogs/IniFileProfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dialogs/NumberTextLogic.h"

namespace {


bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string Trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

IniFileProfile::IniFileProfile(const std::string& text) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trimmed(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            sections_.push_back({Trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)), {}});
            continue;
        }
        // Keys before the first section belong to none that can be asked for.
        if (sections_.empty()) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            sections_.back().keys.emplace_back(line, std::string());
        } else {
            sections_.back().keys.emplace_back(Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)));
        }
    }
}

bool IniFileProfile::Load(const std::string& path, IniFileProfile& profile, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    profile = IniFileProfile(text);
    return true;
}

const std::string* IniFileProfile::Find(const std::string& section, const char* key) const {
    for (const Section& s : sections_) {
        if (!SameName(s.name, section)) continue;
        for (const auto& [name, value] : s.keys)
            if (SameName(name, key)) return &value;
        return nullptr;  // only the first section of that name is looked into
    }
    return nullptr;
}

std::string IniFileProfile::ReadString(const std::string& section, const char* key, const char* defaultText) {
    const std::string* found = Find(section, key);
    std::string value = found != nullptr ? *found : std::string(defaultText);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() > kMaxNumberTextLength) value.resize(kMaxNumberTextLength);  // the Load command's buffer
    return value;
}

int32_t IniFileProfile::ReadInt(const std::string& section, const char* key, int32_t defaultValue) {
    const std::string text = ReadString(section, key, "");
    if (text.empty()) return defaultValue;
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t total = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) total = total * 10u + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - total : total);
}

bool IniFileProfile::WriteString(const std::string&, const char*, const std::string&) { return false; }

std::vector<std::string> IniFileProfile::SectionNames() const {
    std::vector<std::string> names;
    for (const Section& s : sections_) names.push_back(s.name);
    return names;
}

bool IniFileProfile::HasSection(const std::string& name) const {
    for (const Section& s : sections_)
        if (SameName(s.name, name)) return true;
    return false;
}
