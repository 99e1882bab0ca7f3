#include "engine/BigFloat.h"

#include <cstdio>
#include <cstdlib>

std::string BigFloat::Text(size_t digits) const {
    if (mpfr_nan_p(value_)) return "nan";
    if (mpfr_inf_p(value_)) return mpfr_signbit(value_) ? "-inf" : "inf";
    if (mpfr_zero_p(value_)) return mpfr_signbit(value_) ? "-0" : "0";
    mpfr_exp_t exponent = 0;
    char* raw = mpfr_get_str(nullptr, &exponent, 10, digits, value_, MPFR_RNDN);
    if (raw == nullptr) return "?";
    std::string mantissa(raw);
    mpfr_free_str(raw);
    // Assembled a character at a time: g++ 12 sees false overlaps in the
    // string concatenations this would naturally be (at -O2 under the
    // sanitizers, at -O3 without), and its warnings are errors here.
    std::string text;
    size_t at = 0;
    if (mantissa[0] == '-') {
        text.push_back('-');
        at = 1;
    }
    // mpfr_get_str gives 0.DDDD * 10^exponent.
    size_t end = mantissa.size();
    while (end > at + 1 && mantissa[end - 1] == '0') --end;
    text.push_back(mantissa[at]);
    if (end > at + 1) {
        text.push_back('.');
        for (size_t k = at + 1; k < end; ++k) text.push_back(mantissa[k]);
    }
    if (exponent - 1 != 0) {
        char exponentText[32];
        std::snprintf(exponentText, sizeof exponentText, "e%lld", static_cast<long long>(exponent) - 1);
        for (const char* c = exponentText; *c != 0; ++c) text.push_back(*c);
    }
    return text;
}
