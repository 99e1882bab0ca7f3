// The continuous escape value of smooth colouring. An orbit that left the
// disc of radius 2 at count n is taken a few steps further, up to the first
// m with |z_m| > R = 2^kSmoothLog2Radius, and
//
//     v = m + 1 - log2(log2 |z_m|),
//
// which for large |z| equals n + 1 - log2(log2 |z_n|): v lies about in
// [n, n + 1), so the count's own colour rules (per colour, shift) keep their
// meaning. Each further step squares |z| up to the addition of c, so where m
// steps up by one between neighbouring points v jumps by at most
// SmoothJumpBound (about 4e-6 for R = 256 and |c| <= 2), not by a whole
// colour; the count n itself is as the engine found it.
#pragma once

#include <cstdint>

#include "engine/PomeClc.h"

constexpr int kSmoothLog2Radius = 8;  // R = 256
// An orbit near a parabolic point (c = -2) grows slowly; after this many
// steps beyond n the value is taken where the orbit is.
constexpr int32_t kSmoothMaxExtraSteps = 64;

// The bound of v's jump where m changes: |c| / (R^2 2 ln R ln 2), from
// log|z^2 + c| = 2 log|z| + log|1 + c / z^2| and |z| > R.
double SmoothJumpBound(int log2Radius, double cMagnitude);

// v from |z_m|^2 (above 4) and m.
double SmoothValueFromMagnitude(int32_t m, double magnitude);

// Continues in double from z_n, an escaped value, with c: v.
double SmoothValueInDouble(double zr, double zi, double cr, double ci, int32_t n,
                           int log2Radius = kSmoothLog2Radius);

// One point computed alone, as the engine's reference kernel defines it:
// the count under `limit` (limit itself when still inside) and v (0 inside).
// T: int32_t (CPU Fixed, raw 8.24 values; the steps beyond n in double),
// float, double or long double (the steps beyond n in T). z0 and c as the
// set-up gives them for the pixel (CPU Fixed starts at c).
struct SmoothSample {
    int32_t count = 0;
    double value = 0.0;
    int32_t step = 0;  // m, the first step beyond R (0 inside)
};
template <typename T>
SmoothSample SmoothPoint(T z0r, T z0i, T cr, T ci, int32_t limit, int log2Radius = kSmoothLog2Radius);

// v of an escaped orbit from its record as the kernels leave it (z0, the
// orbit's start, is needed by CPU Fixed only).
template <typename T>
double RecordValue(const PixelRecord<T>& pixel, T z0r, T z0i, T cr, T ci);

// v of every escaped pixel of a finished calculation, from the stored
// records (they hold z_n, the escaped value; CPU Fixed's hold the step after,
// so its orbit is taken again from the start to n), into `values` (width x
// height, row 0 at the top); inside pixels get -1. Rows are shared by the
// row threads; the values do not depend on their number. False when the
// state has no buffers.
bool SmoothValues(const CalcState& state, double* values);

// Runs body(first, last) on [0, count) split into contiguous parts, one per
// row thread, each in the kernels' floating-point environment.
void ParallelParts(int64_t count, void (*body)(void*, int64_t, int64_t), void* context);
