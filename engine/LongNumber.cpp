// Decimal texts of any length into MPFR numbers. The syntax is checked here,
// character by character, before MPFR sees anything: mpfr_strtofr accepts far
// more than the Range dialog does (hexadecimal, "inf", "nan", "@" exponents,
// trailing text), and a location file must mean the same number to every
// reader. MPFR then only rounds a text this function has rebuilt itself, with
// an exponent it has already checked against MPFR's range, so a file's
// "1e99999999999999999999" can neither wrap nor make MPFR work on it.
#include <cstdint>
#include <string>

#include "engine/DeepView.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exponent digits beyond these (leading zeros aside) are far outside any
// exponent range MPFR can be built with, and would overflow int64 below.
constexpr size_t kMaxExponentDigits = 15;

std::string Shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) return std::string("'") + c + "'";
    static const char kHex[] = "0123456789abcdef";
    return std::string("byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
}

bool Refuse(std::string& error, const char* what, const std::string& reason) {
    error = std::string(what) + ": " + reason;
    return false;
}

// Positions in messages count from 1, as an editor's column does.
bool SyntaxError(std::string& error, const char* what, const std::string& text, size_t at, const char* needed) {
    if (at >= text.size())
        return Refuse(error, what, "the number ends early: " + std::string(needed) + " expected at position " +
                                       std::to_string(text.size() + 1));
    return Refuse(error, what, "unexpected " + Shown(text[at]) + " at position " + std::to_string(at + 1));
}

// The largest power of ten an MPFR number of exponent `binary` can hold,
// rounded outwards: a decimal magnitude beyond it overflows or underflows for
// certain, one within it is left to MPFR to decide.
int64_t DecimalBound(mpfr_exp_t binary) {
    // log10(2) < 0.30103; the +2 covers the rounding of the product and the
    // leading digit's own worth.
    return static_cast<int64_t>(static_cast<double>(binary) * 0.30103) + (binary < 0 ? -2 : 2);
}

}  // namespace

bool ReadLongNumber(const std::string& text, const char* what, BigFloat& value, std::string& error) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t integerStart = i;
    while (i < n && IsDigit(text[i])) ++i;
    const size_t integerEnd = i;
    size_t fractionStart = i;
    size_t fractionEnd = i;
    if (i < n && text[i] == '.') {
        fractionStart = ++i;
        while (i < n && IsDigit(text[i])) ++i;
        fractionEnd = i;
    }
    if (integerEnd == integerStart && fractionEnd == fractionStart)
        return SyntaxError(error, what, text, i, "a digit");

    int64_t exponent = 0;
    bool exponentTooLong = false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        const size_t exponentStart = i;
        size_t significant = 0;
        while (i < n && IsDigit(text[i])) {
            if (significant > 0 || text[i] != '0') ++significant;
            if (significant > kMaxExponentDigits)
                exponentTooLong = true;
            else
                exponent = exponent * 10 + (text[i] - '0');
            ++i;
        }
        if (i == exponentStart) return SyntaxError(error, what, text, i, "an exponent digit");
        if (negativeExponent) exponent = -exponent;
    }
    if (i < n) return SyntaxError(error, what, text, i, "");

    // The significant digits as one run, without the leading zeros.
    std::string digits;
    digits.reserve(fractionEnd - integerStart);
    digits.append(text, integerStart, integerEnd - integerStart);
    digits.append(text, fractionStart, fractionEnd - fractionStart);
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        mpfr_set_zero(value.get(), negative ? -1 : 1);
        return true;
    }
    digits.erase(0, first);

    // The text's value is 0.digits * 10^magnitude.
    const int64_t integerDigits = static_cast<int64_t>(integerEnd - integerStart);
    const int64_t magnitude = exponent + integerDigits - static_cast<int64_t>(first);
    if (exponentTooLong || magnitude > DecimalBound(mpfr_get_emax()) || magnitude < DecimalBound(mpfr_get_emin()))
        return Refuse(error, what, "the exponent is beyond the range of long numbers");

    // MPFR reads "digits e (magnitude - count)": the same value, with an
    // exponent that fits and no syntax of the text's own left to interpret.
    std::string rebuilt;
    rebuilt.reserve(digits.size() + 24);
    if (negative) rebuilt += '-';
    rebuilt += digits;
    rebuilt += 'e';
    rebuilt += std::to_string(magnitude - static_cast<int64_t>(digits.size()));
    mpfr_clear_flags();
    char* end = nullptr;
    mpfr_strtofr(value.get(), rebuilt.c_str(), &end, 10, MPFR_RNDN);
    if (end == nullptr || *end != '\0') return Refuse(error, what, "not read as a number");
    if (mpfr_inf_p(value.get()) || mpfr_zero_p(value.get()) || mpfr_overflow_p() || mpfr_underflow_p()) {
        mpfr_clear_flags();
        return Refuse(error, what, "the exponent is beyond the range of long numbers");
    }
    return true;
}
