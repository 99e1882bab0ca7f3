#include "engine/Location.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Values quoted in messages are cut here: a message stays one short line
// even for a garbage line of a megabyte.
constexpr size_t kShownChars = 40;

std::string Shown(std::string_view text) {
    std::string shown = "\"";
    for (size_t i = 0; i < text.size() && i < kShownChars; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        shown += (byte >= 0x20 && byte < 0x7f) ? text[i] : '?';
    }
    if (text.size() > kShownChars) shown += "...";
    return shown + "\"";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Key-value files name their keys in words ("Re", "IterDiv", "Smooth
// Method"); TOML bare keys and dotted table names use the same characters.
bool IsName(std::string_view s, bool blanksAndDots) {
    if (s.empty()) return false;
    for (const char c : s)
        if (!IsKeyChar(c) && !(blanksAndDots && (c == ' ' || c == '.'))) return false;
    return true;
}

// TOML keys and table names: bare keys joined by dots (blanks around the
// dots allowed, as TOML does, and removed here).
bool IsDotted(std::string_view s) {
    size_t start = 0;
    while (true) {
        const size_t dot = s.find('.', start);
        if (!IsName(Trim(s.substr(start, dot - start)), false)) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

std::string WithoutBlanks(std::string_view s) {
    std::string joined;
    for (const char c : s)
        if (!IsBlank(c)) joined += c;
    return joined;
}

enum Field { kRe, kIm, kZoom, kIterations, kFieldCount };

// Accepts "60000", "+60000" and TOML's "60_000".
bool ReadCount(std::string_view text, int64_t& count) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '_' || text.back() == '_') return false;
    int64_t value = 0;
    char previous = ' ';
    for (const char c : text) {
        if (c == '_' && previous != '_') {
            previous = c;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (value <= INT32_MAX) value = value * 10 + (c - '0');
        previous = c;
    }
    count = value;
    return value >= 1 && value <= INT32_MAX - 1;
}

class Reader {
public:
    Reader(Location& out, std::string& error) : out_(out), error_(error) {}

    bool Read(std::string_view text) {
        if (text.size() >= 2 && ((text[0] == '\xff' && text[1] == '\xfe') || (text[0] == '\xfe' && text[1] == '\xff')))
            return Fail("the text is UTF-16; locations are read as UTF-8 or ASCII");
        if (text.substr(0, 3) == "\xef\xbb\xbf") text.remove_prefix(3);
        while (!text.empty()) {
            const size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            ++line_;
            if (!ReadLine(line)) return false;
        }
        if (format_ == Format::Unknown) return Fail("the text holds no location");
        if (!continuation_.empty())
            return Fail("the value begun on line " + std::to_string(continuedFrom_) + " never ends");
        const bool toml = format_ == Format::Toml;
        static const char* const kKeyValueNames[] = {"Re", "Im", "Zoom"};
        static const char* const kTomlNames[] = {"real", "imag", "zoom"};
        static const char* const kMeaning[] = {"the centre's real part", "the centre's imaginary part", "the zoom"};
        for (int f = kRe; f <= kZoom; ++f)
            if (firstLine_[f] == 0)
                return Fail(std::string("missing \"") + (toml ? kTomlNames[f] : kKeyValueNames[f]) + "\" (" +
                            kMeaning[f] + ")");
        return true;
    }

private:
    enum class Format { Unknown, KeyValue, Toml };

    bool Fail(const std::string& reason) {
        error_ = reason;
        return false;
    }
    bool FailHere(const std::string& reason) { return Fail("line " + std::to_string(line_) + ": " + reason); }

    bool ReadLine(std::string_view line) {
        if (!continuation_.empty()) return Continue(line);
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#') return true;
        if (format_ == Format::Unknown) {
            const size_t colon = trimmed.find(':');
            const size_t equals = trimmed.find('=');
            format_ = (trimmed.front() == '[' || equals < colon) ? Format::Toml : Format::KeyValue;
        }
        return format_ == Format::Toml ? TomlLine(trimmed) : KeyValueLine(trimmed);
    }

    bool KeyValueLine(std::string_view line) {
        const size_t colon = line.find(':');
        const std::string_view key = Trim(line.substr(0, colon));
        if (colon == std::string_view::npos || !IsName(key, true))
            return FailHere("not a \"Key: value\" line: " + Shown(line));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (key == "Re") return Set(kRe, key, value);
        if (key == "Im") return Set(kIm, key, value);
        if (key == "Zoom") return Set(kZoom, key, value);
        if (key == "Iterations") return Set(kIterations, key, value);
        Ignore(std::string(key));
        return true;
    }

    bool TomlLine(std::string_view line) {
        if (line.front() == '[') return TableLine(line);
        const size_t equals = line.find('=');
        const std::string_view dotted = Trim(line.substr(0, equals));
        if (equals == std::string_view::npos || !IsDotted(dotted))
            return FailHere("not a \"key = value\" line: " + Shown(line));
        // "location.real = 1" is "real = 1" in the table [location].
        const std::string name = table_.empty() ? WithoutBlanks(dotted) : table_ + "." + WithoutBlanks(dotted);
        const size_t lastDot = name.rfind('.');
        const std::string table = lastDot == std::string::npos ? std::string() : name.substr(0, lastDot);
        const std::string_view key = std::string_view(name).substr(lastDot + 1);
        Field field = kFieldCount;
        if (table.empty() || table == "location") {
            if (key == "real") field = kRe;
            if (key == "imag") field = kIm;
            if (key == "zoom") field = kZoom;
            if (key == "iterations" || (key == "depth" && !table.empty())) field = kIterations;
        } else if (table == "bailout" && key == "iterations") {
            field = kIterations;
        }

        std::string_view value;
        bool single = true;
        if (!TomlValue(Trim(line.substr(equals + 1)), value, single)) return false;
        if (field == kFieldCount) {
            Ignore(name);
            return true;
        }
        if (!single) return FailHere(name + " is not a single number");
        return Set(field, name, value);
    }

    bool TableLine(std::string_view line) {
        const bool array = line.substr(0, 2) == "[[";
        const std::string_view close = array ? "]]" : "]";
        const size_t start = array ? 2 : 1;
        const size_t end = line.find(close, start);
        if (end == std::string_view::npos) return FailHere("not a table name: " + Shown(line));
        const std::string_view name = Trim(line.substr(start, end - start));
        const std::string_view rest = Trim(line.substr(end + close.size()));
        if (!IsDotted(name) || (!rest.empty() && rest.front() != '#'))
            return FailHere("not a table name: " + Shown(line));
        table_ = WithoutBlanks(name);
        return true;
    }

    // The value after "=": a string in quotes (its text), a bare word (up to
    // a comment), or an array, inline table or triple-quoted string that may
    // go on over the next lines (`single` false; only skipped).
    bool TomlValue(std::string_view text, std::string_view& value, bool& single) {
        if (text.empty() || text.front() == '#') return FailHere("the value is missing");
        if (text.substr(0, 3) == "\"\"\"" || text.substr(0, 3) == "'''") {
            single = false;
            const std::string_view delimiter = text.substr(0, 3);
            if (text.find(delimiter, 3) == std::string_view::npos) Open(std::string(delimiter));
            return true;
        }
        if (text.front() == '"' || text.front() == '\'') {
            const char quote = text.front();
            size_t i = 1;
            while (i < text.size() && text[i] != quote) i += (quote == '"' && text[i] == '\\') ? 2 : 1;
            if (i >= text.size()) return FailHere("the quoted value does not end: " + Shown(text));
            const std::string_view rest = Trim(text.substr(i + 1));
            if (!rest.empty() && rest.front() != '#') return FailHere("text after the quoted value: " + Shown(rest));
            value = Trim(text.substr(1, i - 1));
            return true;
        }
        if (text.front() == '[' || text.front() == '{') {
            single = false;
            depth_ = 0;
            Scan(text);
            if (depth_ > 0) Open("]");
            return true;
        }
        value = Trim(text.substr(0, text.find('#')));
        return true;
    }

    void Open(std::string closing) {
        continuation_ = std::move(closing);
        continuedFrom_ = line_;
    }

    // Brackets of an array or inline table, outside its strings and comments.
    void Scan(std::string_view text) {
        char quote = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (quote != 0) {
                if (c == '\\' && quote == '"') ++i;
                else if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '#') {
                return;
            } else if (c == '[' || c == '{') {
                ++depth_;
            } else if ((c == ']' || c == '}') && depth_ > 0) {
                --depth_;
            }
        }
    }

    bool Continue(std::string_view line) {
        if (continuation_ == "]") {
            Scan(line);
            if (depth_ == 0) continuation_.clear();
        } else if (line.find(continuation_) != std::string_view::npos) {
            continuation_.clear();
        }
        return true;
    }

    bool Set(Field field, std::string_view key, std::string_view value) {
        const std::string name(key);
        if (firstLine_[field] != 0)
            return FailHere(name + " given twice (first on line " + std::to_string(firstLine_[field]) + ")");
        firstLine_[field] = line_;
        if (value.empty()) return FailHere(name + " has an empty value");
        switch (field) {
        case kRe: out_.re = value; break;
        case kIm: out_.im = value; break;
        case kZoom: out_.zoom = value; break;
        default:
            if (!ReadCount(value, out_.iterations))
                return FailHere(name + " must be a whole number from 1 to " + std::to_string(INT32_MAX - 1) +
                                ", not " + Shown(value));
        }
        return true;
    }

    void Ignore(std::string name) {
        for (const std::string& known : out_.ignoredKeys)
            if (known == name) return;
        out_.ignoredKeys.push_back(std::move(name));
    }

    Location& out_;
    std::string& error_;
    Format format_ = Format::Unknown;
    size_t line_ = 0;
    size_t firstLine_[kFieldCount] = {};
    std::string table_;
    std::string continuation_;  // what ends the value going on over lines; empty when none
    size_t continuedFrom_ = 0;
    int depth_ = 0;
};

}  // namespace

bool ReadLocation(const std::string& text, Location& out, std::string& error) {
    out = Location();
    return Reader(out, error).Read(text);
}

bool ReadLocationFile(const std::string& path, Location& out, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    // One byte past the limit tells a file at the limit from a larger one
    // without trusting a size the system reports for pipes or devices.
    std::string text(kMaxLocationFileBytes + 1, '\0');
    const size_t got = std::fread(text.data(), 1, text.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        error = path + ": cannot read: " + std::strerror(readErrno);
        return false;
    }
    if (got > kMaxLocationFileBytes) {
        error = path + ": larger than " + std::to_string(kMaxLocationFileBytes / 1024) +
                " KB, which no location file is";
        return false;
    }
    text.resize(got);
    if (!ReadLocation(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
