// An MPFR number that frees itself. Every deep-zoom value of arbitrary
// precision (view centres, the reference orbit, the oracle's orbits) is one;
// MPFR rounds each operation correctly, so results are the same on every
// platform and never depend on the C library's mathematics.
#pragma once

#include <mpfr.h>

#include <string>
#include <utility>

class BigFloat {
public:
    explicit BigFloat(mpfr_prec_t precision = 64) {
        mpfr_init2(value_, precision);
        mpfr_set_zero(value_, 1);
    }
    ~BigFloat() { mpfr_clear(value_); }

    BigFloat(const BigFloat& other) {
        mpfr_init2(value_, mpfr_get_prec(other.value_));
        mpfr_set(value_, other.value_, MPFR_RNDN);
    }
    BigFloat& operator=(const BigFloat& other) {
        if (this != &other) {
            mpfr_set_prec(value_, mpfr_get_prec(other.value_));
            mpfr_set(value_, other.value_, MPFR_RNDN);
        }
        return *this;
    }
    BigFloat(BigFloat&& other) noexcept {
        mpfr_init2(value_, MPFR_PREC_MIN);
        mpfr_swap(value_, other.value_);
    }
    BigFloat& operator=(BigFloat&& other) noexcept {
        mpfr_swap(value_, other.value_);
        return *this;
    }

    mpfr_ptr get() { return value_; }
    mpfr_srcptr get() const { return value_; }
    mpfr_prec_t Precision() const { return mpfr_get_prec(value_); }

    // The value rounded to nearest at `precision` (the old value is lost).
    void SetPrecision(mpfr_prec_t precision) { mpfr_prec_round(value_, precision, MPFR_RNDN); }

    // Decimal scientific text with `digits` significant digits (0: as many
    // as the precision needs to read back exactly), e.g. "-1.25e-3".
    std::string Text(size_t digits = 0) const;

private:
    mpfr_t value_;
};
