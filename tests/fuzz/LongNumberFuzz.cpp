// Any bytes as a long number (the first byte picks the precision): never a
// crash or a hang; a refusal is one line naming its cause; an accepted text is
// finite and, when short, the very number MPFR's own reader makes of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/DeepView.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const mpfr_prec_t precision = 2 + static_cast<mpfr_prec_t>(data[0]) * 4;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    BigFloat value(precision);
    std::string error;
    if (!ReadLongNumber(text, "Re", value, error)) {
        Check(error.rfind("Re: ", 0) == 0 && error.find('\n') == std::string::npos);
        Check(error.find("position") != std::string::npos || error.find("range") != std::string::npos);
        return 0;
    }
    Check(mpfr_number_p(value.get()) != 0);
    // MPFR reads every text of this syntax too; with a short exponent it
    // needs no protection, and must round to the same number.
    const size_t e = text.find_first_of("eE");
    if (text.size() < 200 && (e == std::string::npos || text.size() - e < 8)) {
        BigFloat direct(precision);
        char* end = nullptr;
        mpfr_strtofr(direct.get(), text.c_str(), &end, 10, MPFR_RNDN);
        Check(end == text.c_str() + text.size());
        Check(mpfr_equal_p(value.get(), direct.get()) != 0);
        Check(mpfr_signbit(value.get()) == mpfr_signbit(direct.get()));
    }
    return 0;
}
