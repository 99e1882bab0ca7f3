#include "engine/DeepBla.h"

#include <cmath>

namespace bla_detail {

WideDouble Magnitude(WideDouble re, WideDouble im) {
    WideDouble square = re * re + im * im;
    if (square.m == 0.0) return square;
    // sqrt(m 2^e) with e even: the mantissa's root, and half the exponent.
    if (square.e % 2 != 0) {
        square.m *= 2.0;
        square.e -= 1;
    }
    return Normalised(std::sqrt(square.m), square.e / 2);
}

bool Narrowed(WideDouble value, double& out) {
    if (value.m == 0.0) {
        out = 0.0;
        return true;
    }
    if (value.e < -1021 || value.e > 1024) return false;
    out = (value.m * 2.0) * wide_detail::PowerOfTwo(value.e - 1);
    return true;
}

bool Narrowed(WideDouble value, long double& out) {
    if (value.m == 0.0) {
        out = 0.0L;
        return true;
    }
    if (value.e < -16381 || value.e > 16384) return false;
    out = __builtin_ldexpl(static_cast<long double>(value.m), static_cast<int>(value.e));
    return true;
}

}  // namespace bla_detail

using bla_detail::Divided;
using bla_detail::Magnitude;

BlaTable::BlaTable(double tolerance, WideDouble largestOffset)
    : tolerance_(tolerance), largestOffset_(largestOffset), levels_(1) {
    // |Z + z| <= |Z| (1 + 2 tolerance) inside an entry: steps with
    // |Z|^2 (1 + 2 tolerance)^2 > 4 might escape there.
    const WideDouble grow = Wide(1.0) + Wide(2.0) * Wide(tolerance);
    escapeMargin_ = Divided(Wide(4.0), grow * grow);
}

BlaWideEntry BlaTable::Single(WideDouble re, WideDouble im) const {
    const WideDouble two = Wide(2.0);
    BlaWideEntry entry;
    entry.ar = two * re;
    entry.ai = two * im;
    entry.br = Wide(1.0);
    entry.bi = WideDouble{};
    entry.radius = Wide(tolerance_) * Magnitude(entry.ar, entry.ai);
    return entry;
}

BlaWideEntry BlaTable::Merged(const BlaWideEntry& x, const BlaWideEntry& y, WideDouble re, WideDouble im) const {
    BlaWideEntry entry;
    entry.ar = y.ar * x.ar - y.ai * x.ai;
    entry.ai = y.ar * x.ai + y.ai * x.ar;
    entry.br = (y.ar * x.br - y.ai * x.bi) + y.br;
    entry.bi = (y.ar * x.bi + y.ai * x.br) + y.bi;
    const WideDouble spare = y.radius - Magnitude(x.br, x.bi) * largestOffset_;
    const WideDouble carried = spare.m > 0.0 ? Divided(spare, Magnitude(x.ar, x.ai)) : WideDouble{};
    entry.radius = carried < x.radius ? carried : x.radius;
    if (escapeMargin_ < re * re + im * im) entry.radius = WideDouble{};
    return entry;
}

int64_t BlaTable::Entries() const {
    int64_t total = 0;
    for (const auto& level : levels_) total += static_cast<int64_t>(level.size());
    return total;
}

bool BlaTable::Extend(int32_t last, const ReferenceValue& Z) {
    if (last <= last_) return true;
    try {
        // Level k holds the entries j with 1 + (j + 1) 2^k <= last.
        for (int32_t k = 1; k < 31 && ((last - 1) >> k) >= 1; ++k) {
            if (static_cast<int32_t>(levels_.size()) <= k) levels_.emplace_back();
            std::vector<BlaWideEntry>& level = levels_[static_cast<size_t>(k)];
            const size_t count = static_cast<size_t>((last - 1) >> k);
            level.reserve(count);
            const int32_t half = int32_t{1} << (k - 1);
            for (size_t j = level.size(); j < count; ++j) {
                const int32_t m = 1 + static_cast<int32_t>(j) * (int32_t{1} << k);
                WideDouble re, im;
                BlaWideEntry x, y;
                if (k == 1) {
                    Z(m, re, im);
                    x = Single(re, im);
                    Z(m + 1, re, im);
                    y = Single(re, im);
                } else {
                    const std::vector<BlaWideEntry>& lower = levels_[static_cast<size_t>(k - 1)];
                    x = lower[2 * j];
                    y = lower[2 * j + 1];
                    Z(m + half, re, im);
                }
                level.push_back(Merged(x, y, re, im));
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    last_ = last;
    return true;
}
