// The deep type's orbits in a difference number of any kind, one pixel at a
// time: the same step, in the same order of operations, as the double lanes
// of DeepZoom.cpp (see FullStep there), with the number's own arithmetic.
// Used below double's range, in long double (x87) and WideDouble.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include <mpfr.h>

#include "engine/BigFloat.h"
#include "engine/WideDouble.h"

// One pixel's difference orbit: its value is Z_m + (zr, zi).
template <typename T>
struct PixelOf {
    T zr;
    T zi;
    int32_t m;            // index into the reference
    int32_t escapeCount;  // NotEscaped while inside
    // Steps taken, kept by the approximated loop only: an entry that would
    // pass the limit leaves the pixel short of it (the other loops keep
    // every inside pixel of a row at the row's limit).
    int32_t n = 0;
};

// The reference orbit in the difference's number: Z_m rounded, and the
// remainder Z_m - re[m] rounded (read only when a pixel rebases).
template <typename T>
struct ReferenceOf {
    std::unique_ptr<T[]> re, im, reLow, imLow;

    bool Grow(int64_t wanted, int32_t last, bool keep) {
        std::unique_ptr<T[]>* tables[4] = {&re, &im, &reLow, &imLow};
        std::unique_ptr<T[]> grown[4];
        for (auto& table : grown) {
            table.reset(new (std::nothrow) T[static_cast<size_t>(wanted)]);
            if (!table) return false;
        }
        for (int k = 0; k < 4; ++k) {
            if (keep)
                for (int32_t i = 0; i <= last; ++i) grown[k][i] = (*tables[k])[i];
            *tables[k] = std::move(grown[k]);
        }
        return true;
    }
};

// The number's conversions: from a scaled offset (exact), from an MPFR
// value (rounded to nearest) and back (exact).
template <typename T>
struct DifferenceNumber;

template <>
struct DifferenceNumber<double> {
    static double FromScaled(double offset, int64_t) { return offset; }
    static double Round(mpfr_srcptr value) { return mpfr_get_d(value, MPFR_RNDN); }
    static void Exact(double value, BigFloat& out) { mpfr_set_d(out.get(), value, MPFR_RNDN); }
    static constexpr double Four() { return 4.0; }
};

template <>
struct DifferenceNumber<long double> {
    static long double FromScaled(double offset, int64_t exponent) {
        // Exact: the view gives this type only spacings whose offsets are
        // normal long doubles.
        return __builtin_ldexpl(static_cast<long double>(offset), static_cast<int>(exponent));
    }
    static long double Round(mpfr_srcptr value) { return mpfr_get_ld(value, MPFR_RNDN); }
    static void Exact(long double value, BigFloat& out) { mpfr_set_ld(out.get(), value, MPFR_RNDN); }
    static constexpr long double Four() { return 4.0L; }
};

template <>
struct DifferenceNumber<WideDouble> {
    static WideDouble FromScaled(double offset, int64_t exponent) { return Normalised(offset, exponent); }
    static WideDouble Round(mpfr_srcptr value) {
        long exponent = 0;
        const double m = mpfr_get_d_2exp(&exponent, value, MPFR_RNDN);
        return Normalised(m, exponent);  // m is already in [0.5, 1): only zero changes
    }
    static void Exact(WideDouble value, BigFloat& out) {
        mpfr_set_d(out.get(), value.m, MPFR_RNDN);
        if (value.m != 0.0) mpfr_mul_2si(out.get(), out.get(), static_cast<long>(value.e), MPFR_RNDN);
    }
    static WideDouble Four() { return Wide(4.0); }
};

// Stores Z at index i: rounded, and its remainder (scratch: a register of
// the reference's precision).
template <typename T>
void StoreReference(ReferenceOf<T>& ref, int32_t i, mpfr_srcptr re, mpfr_srcptr im, BigFloat& scratch) {
    ref.re[i] = DifferenceNumber<T>::Round(re);
    ref.im[i] = DifferenceNumber<T>::Round(im);
    DifferenceNumber<T>::Exact(ref.re[i], scratch);
    mpfr_sub(scratch.get(), re, scratch.get(), MPFR_RNDN);
    ref.reLow[i] = DifferenceNumber<T>::Round(scratch.get());
    DifferenceNumber<T>::Exact(ref.im[i], scratch);
    mpfr_sub(scratch.get(), im, scratch.get(), MPFR_RNDN);
    ref.imLow[i] = DifferenceNumber<T>::Round(scratch.get());
}

// The step's first half at (z, m): false when the orbit's value w = Z_m + z
// escaped; else the difference to step from, (tr, ti) at tm (rebased when
// |w| < |z| or m is the last index: then w + Zlow_m at 0, and w = it).
template <typename T>
inline bool CheckStep(const ReferenceOf<T>& ref, int32_t last, const T& zr, const T& zi, int32_t m, T& wr, T& wi,
                      T& tr, T& ti, int32_t& tm, bool& rebased) {
    wr = ref.re[m] + zr;
    wi = ref.im[m] + zi;
    const T wMagnitude = wr * wr + wi * wi;
    if (!(wMagnitude <= DifferenceNumber<T>::Four())) return false;
    const T zMagnitude = zr * zr + zi * zi;
    tr = zr, ti = zi, tm = m;
    rebased = wMagnitude < zMagnitude || m == last;
    if (rebased) {
        tr = wr + ref.reLow[m];
        ti = wi + ref.imLow[m];
        tm = 0;
        wr = tr;
        wi = ti;
    }
    return true;
}

// The step's second half: z' = (Z_tm + w) t + dc.
template <typename T>
inline void FinishStep(const ReferenceOf<T>& ref, int32_t tm, const T& wr, const T& wi, const T& tr, const T& ti,
                       const T& cr, const T& ci, T& zr, T& zi) {
    const T ar = ref.re[tm] + wr;
    const T ai = ref.im[tm] + wi;
    zr = (ar * tr - ai * ti) + cr;
    zi = (ar * ti + ai * tr) + ci;
}
