// Bilinear approximation of the deep type's difference orbits: while a
// pixel's difference z is small against the reference, l steps of
//   z <- (2 Z_m + z) z + dc
// are close to one linear map z_{m+l} = A z_m + B dc. One entry per step
// (A = 2 Z_m, B = 1) holds while |z| < tolerance * |A|, where the dropped
// z^2 is that small against the kept 2 Z_m z; two entries in a row merge
// into one (A = A_y A_x, B = A_y B_x + B_y) that holds while the first holds
// and carries every z it takes into the second's radius, for the largest
// offset of the view:
//   r = min(r_x, max(0, (r_y - |B_x| |dc|max) / |A_x|)).
// Merging level after level gives entries of 2, 4, 8, ... steps starting at
// m = 1 + j 2^k (Z_0 = 0 makes A = 0 at m = 0: no entry starts there). A
// pixel takes the longest entry at its m whose radius holds its z.
//
// Every entry is a function of the reference values it spans, the view's
// largest offset and the tolerance, computed in WideDouble in one fixed
// order: tables built at once or extended as the reference grows hold the
// same bits, on any platform.
//
// Escapes and rebases are checked only between entries. Inside one, |z| stays
// below tolerance * 2 |Z_j| at each step j, so |Z_j + z_j| cannot fall below
// |z_j| (no rebase is missed); an escape could hide only where |Z_j| is within
// that share of 2, and no entry merges across such a step.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <vector>

#include "engine/WideDouble.h"

// The tolerance the renderer uses unless told otherwise: chosen by
// measurement against the oracle (docs/deepzoom.md).
inline constexpr double kBlaDefaultTolerance = 0x1p-40;

// One entry in the number of the pixels' differences: z' = A z + B dc for
// `length` steps, valid where |Re z| and |Im z| are both below `rho` (the
// radius over the square root of two, so that the test needs no squares,
// whose range double views would leave).
template <typename T>
struct BlaEntryOf {
    T ar, ai, br, bi;
    T rho;  // zero: never valid
};

// The entries as built, in WideDouble.
struct BlaWideEntry {
    WideDouble ar, ai, br, bi, radius;
};

namespace bla_detail {

inline WideDouble Divided(WideDouble a, WideDouble b) {
    if (a.m == 0.0) return a;
    return Normalised(a.m / b.m, a.e - b.e);
}

// sqrt(re^2 + im^2), each operation rounded once.
WideDouble Magnitude(WideDouble re, WideDouble im);

// The conversions to the pixels' numbers; false where the value is outside
// the number's normal range (the entry is then never valid).
bool Narrowed(WideDouble value, double& out);
bool Narrowed(WideDouble value, long double& out);
inline bool Narrowed(WideDouble value, WideDouble& out) {
    out = value;
    return true;
}

}  // namespace bla_detail

// The table in WideDouble: levels[k][j] spans 2^k steps from m = 1 + j 2^k,
// for k >= 1 (single steps are cheap to make again when merging).
class BlaTable {
public:
    // Z(m, re, im) gives the reference's value at m as WideDouble.
    using ReferenceValue = std::function<void(int32_t, WideDouble&, WideDouble&)>;

    BlaTable(double tolerance, WideDouble largestOffset);

    // Adds every entry that ends at or before `last` (the index of the
    // reference's last value) and is not there yet. False (the table as it
    // was) when there is no memory.
    bool Extend(int32_t last, const ReferenceValue& Z);

    int32_t Last() const { return last_; }
    int32_t Levels() const { return static_cast<int32_t>(levels_.size()); }
    const std::vector<BlaWideEntry>& Level(int32_t k) const { return levels_[static_cast<size_t>(k)]; }
    int64_t Entries() const;
    double Tolerance() const { return tolerance_; }

    // The one-step entry at m (A = 2 Z_m, B = 1), with its radius.
    BlaWideEntry Single(WideDouble re, WideDouble im) const;
    // x then y, joined at the reference value (re, im).
    BlaWideEntry Merged(const BlaWideEntry& x, const BlaWideEntry& y, WideDouble re, WideDouble im) const;

private:
    double tolerance_;
    WideDouble largestOffset_;
    WideDouble escapeMargin_;  // |Z|^2 above this: no entry merges across it
    std::vector<std::vector<BlaWideEntry>> levels_;  // [0] stays empty
    int32_t last_ = 0;
};

// The table in the pixels' number, and the search for a pixel's entry.
template <typename T>
class BlaLevelsOf {
public:
    // Converts the entries of `table` not converted yet.
    bool Update(const BlaTable& table) {
        try {
            levels_.resize(static_cast<size_t>(table.Levels()));
            for (int32_t k = 1; k < table.Levels(); ++k) {
                const std::vector<BlaWideEntry>& from = table.Level(k);
                std::vector<BlaEntryOf<T>>& to = levels_[static_cast<size_t>(k)];
                to.reserve(from.size());
                for (size_t j = to.size(); j < from.size(); ++j) to.push_back(Convert(from[j]));
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // The longest entry at m valid for a difference whose parts have the
    // magnitudes (absR, absI), with its length; null where none is (always
    // so while the table is empty).
    const BlaEntryOf<T>* Find(int32_t m, const T& absR, const T& absI, int32_t& length) const {
        if (m < 1) return nullptr;
        const uint32_t j = static_cast<uint32_t>(m - 1);
        const int32_t top = static_cast<int32_t>(levels_.size()) - 1;
        int32_t k = j == 0 ? top : std::min<int32_t>(top, __builtin_ctz(j));
        for (; k >= 1; --k) {
            const std::vector<BlaEntryOf<T>>& level = levels_[static_cast<size_t>(k)];
            const size_t index = j >> k;
            if (index >= level.size()) continue;
            const BlaEntryOf<T>& entry = level[index];
            if (absR < entry.rho && absI < entry.rho) {
                length = int32_t{1} << k;
                return &entry;
            }
            // Shorter entries have radii at least as large: the test goes
            // on with them.
        }
        return nullptr;
    }

    int64_t Bytes() const {
        int64_t total = 0;
        for (const auto& level : levels_) total += static_cast<int64_t>(level.capacity() * sizeof(BlaEntryOf<T>));
        return total;
    }

private:
    static BlaEntryOf<T> Convert(const BlaWideEntry& from) {
        using bla_detail::Narrowed;
        BlaEntryOf<T> to{};
        const WideDouble rho = from.radius * Wide(0x1.6a09e667f3bccp-1);  // 1/sqrt(2), rounded down
        if (!(Narrowed(from.ar, to.ar) && Narrowed(from.ai, to.ai) && Narrowed(from.br, to.br) &&
              Narrowed(from.bi, to.bi) && Narrowed(rho, to.rho)))
            to = BlaEntryOf<T>{};
        return to;
    }

    std::vector<std::vector<BlaEntryOf<T>>> levels_;
};
