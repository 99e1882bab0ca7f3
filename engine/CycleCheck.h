// Exact cycle detection. In every numeric type a step z <- z^2 + c is a fixed
// function of the stored values (Zr, Zi) and c, so an orbit whose stored
// value comes back exactly repeats for ever and never escapes: it is inside
// at every limit. Nothing is approximated: values are compared bit for bit.
//
// The rule every kernel path follows, so that every path, thread count and
// pass schedule stops a cycling orbit at the same step with the same value:
// after the step that leaves the orbit at step count n (not escaped),
//   1. if n > kFirstCheckpoint and z_n equals the checkpoint exactly, the
//      orbit is cycling: it stops here, at n, with z_n (= the checkpoint);
//   2. else, if n is a checkpoint step (a power of two from kFirstCheckpoint
//      on), the checkpoint becomes z_n.
// The checkpoint lives beside the pixel record, so the rule carries across
// passes. With checkpoints at doubling distances an orbit with period p is
// caught by the first checkpoint that is both on the cycle and at least p
// steps before the next one (Brent's scheme): within about twice the steps
// it took to settle.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "engine/PomeClc.h"

// No checkpoint before this step: most orbits that escape do so before it,
// and each checkpoint costs the vector kernels an event. Measured on views
// with much of the set: from 128 on, a quarter fewer checkpoints than from
// 64, and the steps saved within 6 %.
inline constexpr int32_t kFirstCheckpoint = 128;

inline bool IsCheckpointStep(int32_t n) { return n >= kFirstCheckpoint && (n & (n - 1)) == 0; }

// The first checkpoint step after step n (beyond INT32_MAX: INT32_MAX + 1 as
// a 64-bit value, which no limit reaches).
inline int64_t NextCheckpointAfter(int32_t n) {
    int64_t step = kFirstCheckpoint;
    while (step <= n) step *= 2;
    return step;
}

// A checkpoint value no orbit compares equal to before its first checkpoint
// step in the vector kernels (a NaN; CPU Fixed has none, and the step rule's
// n > kFirstCheckpoint is what guards it).
template <typename T>
constexpr T NoCheckpoint() {
    if constexpr (std::is_same_v<T, int32_t>) return INT32_MIN;
    else return std::numeric_limits<T>::quiet_NaN();
}

// Bit for bit, for long double the 80-bit value and never the padding bytes
// of its slot. +0 and -0 differ (the next steps may round them differently),
// and a NaN equals nothing: such an orbit escapes at its next step, and the
// vector kernels' comparison could never see it.
template <typename T>
inline bool SameStoredValue(const T& a, const T& b) {
    if constexpr (std::is_same_v<T, int32_t>) {
        return a == b;
    } else if constexpr (std::is_same_v<T, long double>) {
        static_assert(std::numeric_limits<long double>::digits == 64, "the x87 80-bit format");
        return a == b && std::memcmp(&a, &b, 10) == 0;
    } else {
        return a == b && std::memcmp(&a, &b, sizeof(T)) == 0;
    }
}

template <typename T>
inline bool IsNoCheckpoint(T value) {
    if constexpr (std::is_same_v<T, int32_t>) return value == INT32_MIN;
    else return value != value;
}

// A fresh orbit: no checkpoint yet, not cycling.
template <typename T>
inline void ClearCheckpoint(Checkpoint<T>& checkpoint) {
    checkpoint.R = NoCheckpoint<T>();
    checkpoint.I = NoCheckpoint<T>();
}

// An orbit that came back to its checkpoint stopped on it (its record holds
// the value), so the slot keeps only the mark: a real part that is no
// checkpoint beside an imaginary part that is one. A checkpoint is always an
// orbit value inside the disc of radius 2, so the mark is never a checkpoint.
template <typename T>
inline void MarkCycling(Checkpoint<T>& checkpoint) {
    checkpoint.R = NoCheckpoint<T>();
    checkpoint.I = T{};
}

template <typename T>
inline bool IsCycling(const Checkpoint<T>& checkpoint) {
    return IsNoCheckpoint(checkpoint.R) && !IsNoCheckpoint(checkpoint.I);
}

enum class OrbitEnd : uint8_t { Limit, Escaped, Cycling };

// Continues the orbit of `pixel`, whose checkpoint is `checkpoint`, from
// step `from` up to `limit` with the rule above; `step(zr, zi)` does one
// step and answers false when the orbit escapes (leaving the values as the
// type's step defines). Returns the step count reached: the escape count,
// `limit`, or the step the cycle was found.
template <typename T, typename Step>
int32_t CheckedOrbit(PixelRecord<T>& pixel, Checkpoint<T>& checkpoint, int32_t from, int32_t limit, OrbitEnd& end,
                     Step&& step) {
    T r = pixel.Zr;
    T i = pixel.Zi;
    T checkR = checkpoint.R;
    T checkI = checkpoint.I;
    int32_t n = from;
    end = OrbitEnd::Limit;
    while (n < limit) {
        if (!step(r, i)) {
            end = OrbitEnd::Escaped;
            break;
        }
        ++n;
        if (n > kFirstCheckpoint && SameStoredValue(r, checkR) && SameStoredValue(i, checkI)) {
            end = OrbitEnd::Cycling;
            break;
        }
        if (IsCheckpointStep(n)) {
            checkR = r;
            checkI = i;
        }
    }
    pixel.Zr = r;
    pixel.Zi = i;
    checkpoint.R = checkR;
    checkpoint.I = checkI;
    if (end == OrbitEnd::Cycling) MarkCycling(checkpoint);
    return n;
}

// Whether new calculations check for cycles: on unless the environment sets
// QUAXEL_CYCLE_CHECK=0 or SetCycleChecks(false) was called (the benchmark
// compares both in one run). A calculation keeps what it was set up with.
bool CycleChecks();
void SetCycleChecks(bool on);
