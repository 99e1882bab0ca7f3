#include "engine/BigFloat.h"

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
    std::string text;
    if (mantissa[0] == '-') {
        text = "-";
        mantissa.erase(0, 1);
    }
    // mpfr_get_str gives 0.DDDD * 10^exponent.
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    text += mantissa.substr(0, 1);
    if (mantissa.size() > 1) text += "." + mantissa.substr(1);
    if (exponent - 1 != 0) text += "e" + std::to_string(static_cast<long long>(exponent) - 1);
    return text;
}
