// Stand-in until the full reader lands: the syntax check of the header's
// grammar and MPFR's own decimal conversion, rounded to nearest.
#include <cctype>

#include "engine/DeepView.h"

bool ReadLongNumber(const std::string& text, const char* what, BigFloat& value, std::string& error) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    const size_t start = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    size_t digits = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at, ++digits;
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at, ++digits;
    }
    bool good = digits > 0;
    if (good && at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        size_t exponentDigits = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at, ++exponentDigits;
        good = exponentDigits > 0;
    }
    if (!good || at != text.size()) {
        error = std::string(what) + ": \"" + text + "\" is not a number (at character " + std::to_string(at + 1) + ")";
        return false;
    }
    mpfr_strtofr(value.get(), text.c_str() + start, nullptr, 10, MPFR_RNDN);
    if (!mpfr_number_p(value.get())) {
        error = std::string(what) + ": the exponent of \"" + text + "\" is out of range";
        return false;
    }
    return true;
}
