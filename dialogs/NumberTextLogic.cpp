#include "dialogs/NumberTextLogic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/FpEnvironment.h"

static_assert(std::numeric_limits<long double>::digits == 64 && std::numeric_limits<long double>::max_exponent == 16384,
              "the plane co-ordinates are x87 80-bit extended values");

ExtendedBits UnpackExtended(long double value) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &value, sizeof bytes);
    ExtendedBits bits;
    std::memcpy(&bits.significand, bytes, 8);
    uint16_t signAndExponent = 0;
    std::memcpy(&signAndExponent, bytes + 8, 2);
    bits.negative = (signAndExponent & 0x8000) != 0;
    bits.biased = signAndExponent & 0x7FFF;
    return bits;
}

long double PackExtended(bool negative, int32_t biased, uint64_t significand) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &significand, 8);
    const uint16_t signAndExponent = static_cast<uint16_t>((negative ? 0x8000 : 0) | biased);
    std::memcpy(bytes + 8, &signAndExponent, 2);
    long double value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

namespace {

// ---------------------------------------------------------------------------
// The 80-bit format's limits (the layout is in the header).

constexpr int32_t kExponentBias = 16383;
constexpr int32_t kMaxBiased = 0x7FFF;
constexpr int32_t kMinNormalExponent = 1 - kExponentBias;  // -16382
// Value of the significand's lowest bit for denormals: 2^-16445.
constexpr int32_t kDenormalLsbExponent = kMinNormalExponent - 63;

int BitLength64(uint64_t v) { return v == 0 ? 0 : 64 - __builtin_clzll(v); }

// ---------------------------------------------------------------------------
// Unsigned integers with just the operations the two conversions need. The
// largest met is a 12,000-digit mantissa read with a very small exponent,
// about 40,000 bits; the limbs live inside the object, so no conversion ever
// allocates (which also keeps the common short texts fast).

class BigUint {
public:
    static constexpr size_t kCapacity = 1400;  // 32-bit limbs: 44,800 bits

    BigUint() = default;
    explicit BigUint(uint64_t v) {
        limbs_[0] = static_cast<uint32_t>(v);
        limbs_[1] = static_cast<uint32_t>(v >> 32);
        size_ = 2;
        Trim();
    }
    BigUint(const BigUint& other) : size_(other.size_) { std::copy_n(other.limbs_, size_, limbs_); }
    BigUint& operator=(const BigUint& other) {
        size_ = other.size_;
        std::copy_n(other.limbs_, size_, limbs_);
        return *this;
    }

    bool IsZero() const { return size_ == 0; }

    size_t BitLength() const {
        if (size_ == 0) return 0;
        return 32 * (size_ - 1) + static_cast<size_t>(32 - __builtin_clz(limbs_[size_ - 1]));
    }

    bool Bit(size_t i) const {
        const size_t word = i / 32;
        return word < size_ && ((limbs_[word] >> (i % 32)) & 1u) != 0;
    }

    // Whether any of the lowest `count` bits is set.
    bool AnyBitBelow(size_t count) const {
        const size_t whole = count / 32;
        for (size_t w = 0; w < whole && w < size_; ++w) {
            if (limbs_[w] != 0) return true;
        }
        const unsigned rest = count % 32;
        return rest != 0 && whole < size_ && (limbs_[whole] & ((1u << rest) - 1u)) != 0;
    }

    uint64_t Low64() const {
        uint64_t v = size_ > 0 ? limbs_[0] : 0;
        if (size_ > 1) v |= static_cast<uint64_t>(limbs_[1]) << 32;
        return v;
    }

    void SetBit(size_t i) {
        const size_t word = i / 32;
        if (word >= size_) {
            Reserve(word + 1);
            std::fill(limbs_ + size_, limbs_ + word + 1, 0u);
            size_ = word + 1;
        }
        limbs_[word] |= 1u << (i % 32);
    }

    void MulAddSmall(uint32_t factor, uint32_t addend) {
        uint64_t carry = addend;
        for (size_t i = 0; i < size_; ++i) {
            const uint64_t p = static_cast<uint64_t>(limbs_[i]) * factor + carry;
            limbs_[i] = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
        if (carry != 0) {
            Reserve(size_ + 1);
            limbs_[size_++] = static_cast<uint32_t>(carry);
        }
        Trim();
    }

    // Divides in place (rounding down) and returns the remainder.
    uint32_t DivSmall(uint32_t divisor) {
        uint64_t remainder = 0;
        for (size_t i = size_; i-- > 0;) {
            const uint64_t current = (remainder << 32) | limbs_[i];
            limbs_[i] = static_cast<uint32_t>(current / divisor);
            remainder = current % divisor;
        }
        Trim();
        return static_cast<uint32_t>(remainder);
    }

    std::vector<uint32_t> Limbs() const { return std::vector<uint32_t>(limbs_, limbs_ + size_); }

    static BigUint FromLimbs(const std::vector<uint32_t>& limbs) {
        BigUint v;
        Reserve(limbs.size());
        std::copy(limbs.begin(), limbs.end(), v.limbs_);
        v.size_ = limbs.size();
        v.Trim();
        return v;
    }

    friend BigUint Multiply(const BigUint& a, const BigUint& b) {
        BigUint product;
        if (a.IsZero() || b.IsZero()) return product;
        Reserve(a.size_ + b.size_);
        std::fill(product.limbs_, product.limbs_ + a.size_ + b.size_, 0u);
        for (size_t i = 0; i < a.size_; ++i) {
            uint64_t carry = 0;
            for (size_t j = 0; j < b.size_; ++j) {
                const uint64_t t = static_cast<uint64_t>(a.limbs_[i]) * b.limbs_[j] + product.limbs_[i + j] + carry;
                product.limbs_[i + j] = static_cast<uint32_t>(t);
                carry = t >> 32;
            }
            product.limbs_[i + b.size_] = static_cast<uint32_t>(carry);
        }
        product.size_ = a.size_ + b.size_;
        product.Trim();
        return product;
    }

    // floor(u / v) by long division in 32-bit digits (Knuth's algorithm D);
    // `inexact` tells whether a remainder is left. v must not be zero.
    friend BigUint DivideFloor(const BigUint& u, const BigUint& v, bool& inexact) {
        BigUint quotient;
        if (u.Compare(v) < 0) {
            inexact = !u.IsZero();
            return quotient;
        }
        if (v.size_ == 1) {
            quotient = u;
            inexact = quotient.DivSmall(v.limbs_[0]) != 0;
            return quotient;
        }
        const size_t n = v.size_;
        const size_t m = u.size_;
        // Normalise so that the divisor's top digit has its high bit set;
        // then each estimated quotient digit is at most two too large.
        const unsigned shift = static_cast<unsigned>(__builtin_clz(v.limbs_[n - 1]));
        BigUint vn;
        BigUint un;
        Reserve(m + 1);
        // The bits a limb passes up to the next; 64-bit so that a shift of 0 works.
        const auto carried = [shift](uint32_t limb) {
            return static_cast<uint32_t>(static_cast<uint64_t>(limb) >> (32 - shift));
        };
        for (size_t i = n - 1; i > 0; --i) vn.limbs_[i] = (v.limbs_[i] << shift) | carried(v.limbs_[i - 1]);
        vn.limbs_[0] = v.limbs_[0] << shift;
        un.limbs_[m] = carried(u.limbs_[m - 1]);
        for (size_t i = m - 1; i > 0; --i) un.limbs_[i] = (u.limbs_[i] << shift) | carried(u.limbs_[i - 1]);
        un.limbs_[0] = u.limbs_[0] << shift;

        constexpr uint64_t kBase = uint64_t{1} << 32;
        quotient.size_ = m - n + 1;
        for (size_t j = m - n + 1; j-- > 0;) {
            const uint64_t top = (static_cast<uint64_t>(un.limbs_[j + n]) << 32) | un.limbs_[j + n - 1];
            uint64_t qhat = top / vn.limbs_[n - 1];
            uint64_t rhat = top % vn.limbs_[n - 1];
            while (qhat >= kBase || qhat * vn.limbs_[n - 2] > ((rhat << 32) | un.limbs_[j + n - 2])) {
                --qhat;
                rhat += vn.limbs_[n - 1];
                if (rhat >= kBase) break;
            }
            // Multiply and subtract; add back once if qhat was still one too large.
            int64_t borrow = 0;
            for (size_t i = 0; i < n; ++i) {
                const uint64_t p = qhat * vn.limbs_[i];
                const int64_t t =
                    static_cast<int64_t>(un.limbs_[i + j]) - borrow - static_cast<int64_t>(p & 0xFFFFFFFFu);
                un.limbs_[i + j] = static_cast<uint32_t>(t);
                borrow = static_cast<int64_t>(p >> 32) - (t >> 32);
            }
            const int64_t t = static_cast<int64_t>(un.limbs_[j + n]) - borrow;
            un.limbs_[j + n] = static_cast<uint32_t>(t);
            if (t < 0) {
                --qhat;
                uint64_t carry = 0;
                for (size_t i = 0; i < n; ++i) {
                    const uint64_t sum = static_cast<uint64_t>(un.limbs_[i + j]) + vn.limbs_[i] + carry;
                    un.limbs_[i + j] = static_cast<uint32_t>(sum);
                    carry = sum >> 32;
                }
                un.limbs_[j + n] += static_cast<uint32_t>(carry);
            }
            quotient.limbs_[j] = static_cast<uint32_t>(qhat);
        }
        quotient.Trim();
        inexact = false;
        for (size_t i = 0; i < n && !inexact; ++i) inexact = un.limbs_[i] != 0;
        return quotient;
    }

    void MulPow5(uint64_t n) {
        for (; n >= 13; n -= 13) MulAddSmall(kPow5[13], 0);
        if (n > 0) MulAddSmall(kPow5[n], 0);
    }

    void ShiftLeft(size_t bits) {
        if (size_ == 0 || bits == 0) return;
        const size_t words = bits / 32;
        const unsigned rest = bits % 32;
        const size_t newSize = size_ + words + 1;
        Reserve(newSize);
        // From the top down, so that no limb is overwritten before it is read.
        limbs_[size_ + words] = rest != 0 ? limbs_[size_ - 1] >> (32 - rest) : 0u;
        for (size_t i = size_; i-- > 1;) {
            limbs_[i + words] = rest != 0 ? (limbs_[i] << rest) | (limbs_[i - 1] >> (32 - rest)) : limbs_[i];
        }
        limbs_[words] = limbs_[0] << rest;
        std::fill(limbs_, limbs_ + words, 0u);
        size_ = newSize;
        Trim();
    }

    // Rounds down.
    void ShiftRight(size_t bits) {
        const size_t words = bits / 32;
        if (words >= size_) {
            size_ = 0;
            return;
        }
        const unsigned rest = bits % 32;
        const size_t newSize = size_ - words;
        for (size_t i = 0; i < newSize; ++i) {
            const uint32_t high = rest != 0 && i + words + 1 < size_ ? limbs_[i + words + 1] << (32 - rest) : 0u;
            limbs_[i] = (limbs_[i + words] >> rest) | high;
        }
        size_ = newSize;
        Trim();
    }

    void ShiftBy(int64_t bits) {
        if (bits >= 0) {
            ShiftLeft(static_cast<size_t>(bits));
        } else {
            ShiftRight(static_cast<size_t>(-bits));
        }
    }

    int Compare(const BigUint& other) const {
        if (size_ != other.size_) return size_ < other.size_ ? -1 : 1;
        for (size_t i = size_; i-- > 0;) {
            if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
        }
        return 0;
    }

    // *this -= other; requires *this >= other.
    void Subtract(const BigUint& other) {
        uint32_t borrow = 0;
        for (size_t i = 0; i < size_; ++i) {
            const uint64_t sub = static_cast<uint64_t>(i < other.size_ ? other.limbs_[i] : 0u) + borrow;
            borrow = limbs_[i] < sub ? 1u : 0u;
            limbs_[i] = static_cast<uint32_t>(static_cast<uint64_t>(limbs_[i]) - sub);
            if (borrow == 0 && i >= other.size_) break;
        }
        Trim();
    }

private:
    static constexpr uint32_t kPow5[14] = {1,       5,        25,        125,        625,        3125,      15625,
                                           78125,   390625,   1953125,   9765625,    48828125,   244140625, 1220703125};

    // The bounds above are what the readers and writers can reach; beyond
    // them memory would be overwritten, so stop instead.
    static void Reserve(size_t size) {
        if (size > kCapacity) std::abort();
    }

    void Trim() {
        while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
    }

    size_t size_ = 0;
    uint32_t limbs_[kCapacity];  // least significant first; only the first size_ are meaningful
};

// 5^n. The powers 5^(256 i) are made once and kept, so that a large power
// costs a copy and at most twenty small multiplications.
BigUint PowerOfFive(uint64_t n) {
    constexpr uint64_t kStep = 256;
    // Enough for the largest power the conversions ask for (about 5^17000);
    // larger ones still come out right, only slower.
    constexpr size_t kKept = 67;
    static const std::vector<std::vector<uint32_t>> kTable = [] {
        std::vector<std::vector<uint32_t>> table;
        BigUint power(1);
        for (size_t i = 0; i < kKept; ++i) {
            table.push_back(power.Limbs());
            power.MulPow5(kStep);
        }
        return table;
    }();
    const size_t index = static_cast<size_t>(std::min<uint64_t>(n / kStep, kKept - 1));
    BigUint power = BigUint::FromLimbs(kTable[index]);
    power.MulPow5(n - index * kStep);
    return power;
}

// v * 5^n; small powers directly, large ones from the table.
void MultiplyByPowerOfFive(BigUint& v, uint64_t n) {
    if (n < 256) {
        v.MulPow5(n);
    } else {
        v = Multiply(v, PowerOfFive(n));
    }
}

// ---------------------------------------------------------------------------
// Writing

constexpr uint64_t kTen17 = 100000000000000000ull;
constexpr uint64_t kTen18 = 1000000000000000000ull;
constexpr uint64_t kTen19 = 10000000000000000000ull;

// The largest finite value, 1.18973149535723176502E+4932, cut to 18
// significant digits: every value at or below it cuts to no more.
constexpr uint64_t kLargestDigits18 = 118973149535723176ull;
constexpr int32_t kLargestExponent = 4932;

// Values that round to 10^36 or more are written with an exponent.
constexpr int32_t kExponentFormFrom = 36;

// Half away from zero, from the value truncated to one more digit.
uint64_t DropDigitRounding(uint64_t withExtraDigit) { return withExtraDigit / 10 + (withExtraDigit % 10 >= 5 ? 1 : 0); }

// Writes v with exactly `width` digits, leading zeros included.
void PutDigits(char* out, uint64_t v, int32_t width) {
    for (int32_t i = width; i-- > 0; v /= 10) out[i] = static_cast<char>('0' + v % 10);
}

struct RoundedDecimal {
    enum Kind { Finite, Infinite, NotANumber } kind = Finite;
    bool negative = false;
    bool exponentForm = false;
    // Fixed form: integerDigits digits before the point, then exactly the
    // places the rounding kept (17 below 10, else 17 - exponent, or none).
    // Exponent form: the 18 significant digits, the first before the point.
    char digits[40] = {};
    int32_t integerDigits = 0;
    int32_t places = 0;
    int32_t exponent = 0;  // exponent form: the decimal exponent of the first digit
};

RoundedDecimal RoundForText(long double value) {
    const ExtendedBits bits = UnpackExtended(value);
    RoundedDecimal d;
    d.negative = bits.negative;
    // Unnormals and pseudo-infinities are invalid operands to the FPU as well.
    const bool integerBit = (bits.significand >> 63) != 0;
    if (bits.biased == kMaxBiased || (bits.biased != 0 && !integerBit)) {
        d.kind = (bits.biased == kMaxBiased && bits.significand == (uint64_t{1} << 63)) ? RoundedDecimal::Infinite
                                                                                       : RoundedDecimal::NotANumber;
        return d;
    }
    const uint64_t m = bits.significand;
    // value = m * 2^e exactly.
    const int32_t e = (bits.biased == 0 ? kMinNormalExponent : bits.biased - kExponentBias) - 63;
    const int32_t topExponent = BitLength64(m) - 1 + e;  // value < 2^(topExponent + 1)

    if (m == 0 || topExponent <= 3) {
        // Below 16: floor(value * 10^18) decides whether it is below 10 and
        // gives the digit that rounds the 17th place.
        BigUint scaled(m);
        scaled.MulPow5(18);
        scaled.ShiftBy(static_cast<int64_t>(e) + 18);
        if (scaled.Compare(BigUint(kTen19)) < 0) {
            const uint64_t places17 = DropDigitRounding(scaled.Low64());
            d.integerDigits = places17 >= 10 * kTen17 ? 2 : 1;
            d.places = 17;
            PutDigits(d.digits, places17, d.integerDigits + d.places);
            return d;
        }
    }

    // 18 significant digits. Start from an exponent that is never too large
    // (log10(2) > 0.30102) and take off digits until 19 remain.
    int32_t exponent = topExponent * 30102 / 100000;
    const int64_t scale = static_cast<int64_t>(exponent) - 18;  // value / 10^scale
    // floor(m * 2^e / 10^scale) = floor(m * 2^(e - scale) / 5^scale)
    BigUint q(m);
    if (scale <= 0) {
        MultiplyByPowerOfFive(q, static_cast<uint64_t>(-scale));
        q.ShiftBy(e - scale);
    } else {
        // Rounding down before the division leaves its floor unchanged.
        q.ShiftBy(e - scale);
        bool inexact = false;
        q = DivideFloor(q, PowerOfFive(static_cast<uint64_t>(scale)), inexact);
    }
    const BigUint limit(kTen19);
    while (q.Compare(limit) >= 0) {
        q.DivSmall(10);
        ++exponent;
    }
    uint64_t digits18 = DropDigitRounding(q.Low64());
    // Rounding up next to the largest finite value would write a text that
    // reads back as out of range; a text the program writes must read back.
    if (exponent == kLargestExponent && digits18 > kLargestDigits18) digits18 = kLargestDigits18;
    if (digits18 == kTen18) {
        digits18 = kTen17;
        ++exponent;
    }
    PutDigits(d.digits, digits18, 18);
    if (exponent >= kExponentFormFrom) {
        d.exponentForm = true;
        d.exponent = exponent;
    } else if (exponent >= 17) {
        std::fill(d.digits + 18, d.digits + exponent + 1, '0');
        d.integerDigits = exponent + 1;
    } else {
        d.integerDigits = exponent + 1;
        d.places = 17 - exponent;
    }
    return d;
}

// Builds the text in a buffer and makes one string of it.
class TextBuilder {
public:
    void Put(char c) { text_[length_++] = c; }
    void Put(const char* chars, size_t count) {
        std::memcpy(text_ + length_, chars, count);
        length_ += count;
    }
    void Put(const char* chars) { Put(chars, std::strlen(chars)); }
    std::string Text() const { return std::string(text_, length_); }

private:
    char text_[80];  // the longest text, a Range field, has 59 characters
    size_t length_ = 0;
};

std::string SpecialOrExponentText(const RoundedDecimal& d) {
    if (d.kind == RoundedDecimal::NotANumber) return "nan";
    TextBuilder text;
    if (d.negative) text.Put('-');
    if (d.kind == RoundedDecimal::Infinite) {
        text.Put("inf");
        return text.Text();
    }
    int32_t last = 17;
    while (last > 0 && d.digits[last] == '0') --last;
    text.Put(d.digits[0]);
    if (last > 0) {
        text.Put('.');
        text.Put(d.digits + 1, static_cast<size_t>(last));
    }
    char exponent[8];
    const int n = std::snprintf(exponent, sizeof exponent, "E+%d", static_cast<int>(d.exponent));
    text.Put(exponent, static_cast<size_t>(n));
    return text.Text();
}

}  // namespace

std::string CoordinateText(long double value) {
    const RoundedDecimal d = RoundForText(value);
    if (d.kind != RoundedDecimal::Finite || d.exponentForm) return SpecialOrExponentText(d);
    TextBuilder text;
    if (d.negative) text.Put('-');
    text.Put(d.digits, static_cast<size_t>(d.integerDigits));
    int32_t places = d.places;
    while (places > 0 && d.digits[d.integerDigits + places - 1] == '0') --places;
    if (places > 0) {
        text.Put('.');
        text.Put(d.digits + d.integerDigits, static_cast<size_t>(places));
    }
    return text.Text();
}

std::string RangeFieldText(long double value) {
    constexpr int32_t kRangePlaces = 21;
    const RoundedDecimal d = RoundForText(value);
    if (d.kind != RoundedDecimal::Finite || d.exponentForm) return SpecialOrExponentText(d);
    TextBuilder text;
    if (d.negative) text.Put('-');
    text.Put(d.digits, static_cast<size_t>(d.integerDigits));
    text.Put('.');
    text.Put(d.digits + d.integerDigits, static_cast<size_t>(d.places));
    for (int32_t i = d.places; i < kRangePlaces; ++i) text.Put('0');
    return text.Text();
}

// ---------------------------------------------------------------------------
// Reading

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// More significant digits than any value halfway between two neighbouring
// long doubles has (about 11,520 for the smallest denormals): beyond these,
// digits only tell whether the value lies above the kept ones.
constexpr size_t kKeptDigits = 12000;

// Decimal exponents beyond this are out of any range however many digits
// precede them; saturating here keeps the arithmetic in 64 bits.
constexpr int64_t kExponentSaturation = int64_t{1} << 40;

// Whatever the digits, 10^4933 exceeds the largest long double (1.19e4932)
// and 10^-4951 is below half the smallest denormal (3.6e-4951 / 2).
constexpr int64_t kOverflowDecade = 4933;
constexpr int64_t kUnderflowDecade = -4951;

// Rounds (q + f) * 2^binaryExponent, 0 <= f < 1 and f > 0 exactly when
// `above`, to the nearest long double, ties to even. q must carry at least
// two bits below the format's precision whenever `above` is set.
NumberReading RoundToExtended(const BigUint& q, int64_t binaryExponent, bool above, bool negative) {
    NumberReading reading;
    const int64_t length = static_cast<int64_t>(q.BitLength());
    if (length == 0) {
        reading.value = PackExtended(negative, 0, 0);
        return reading;
    }
    const int64_t top = binaryExponent + length - 1;
    if (top > kExponentBias) {
        reading.syntax = NumberSyntax::OutOfRange;
        return reading;
    }
    // Denormals keep fewer bits: their lowest bit is worth 2^-16445.
    const int64_t lowestKept = top >= kMinNormalExponent ? top - 63 : kDenormalLsbExponent;
    const int64_t dropped = lowestKept - binaryExponent;
    uint64_t significand = 0;
    if (dropped <= 0) {
        BigUint exact = q;
        exact.ShiftLeft(static_cast<size_t>(-dropped));
        significand = exact.Low64();
    } else {
        BigUint kept = q;
        kept.ShiftRight(static_cast<size_t>(dropped));
        significand = kept.Low64();
        const bool half = q.Bit(static_cast<size_t>(dropped - 1));
        const bool rest = above || q.AnyBitBelow(static_cast<size_t>(dropped - 1));
        if (half && (rest || (significand & 1) != 0)) {
            ++significand;
            if (significand == 0) {  // carried out of 64 bits: the next binade
                significand = uint64_t{1} << 63;
                if (lowestKept + 64 > kExponentBias) {
                    reading.syntax = NumberSyntax::OutOfRange;
                    return reading;
                }
                reading.value =
                    PackExtended(negative, static_cast<int32_t>(lowestKept + 64 + kExponentBias), significand);
                return reading;
            }
        }
    }
    if (significand == 0) {
        reading.value = PackExtended(negative, 0, 0);
    } else if ((significand >> 63) == 0) {
        reading.value = PackExtended(negative, 0, significand);  // denormal
    } else {
        // A denormal that rounded up to 2^63 units is the smallest normal.
        const int64_t exponent = lowestKept + 63;
        reading.value = PackExtended(negative, static_cast<int32_t>(exponent + kExponentBias), significand);
    }
    return reading;
}

// 10^0 to 10^27: every one has a significand of at most 64 bits (5^27 < 2^63).
constexpr int64_t kExactPowerOfTenCount = 28;
constexpr long double kExactPowersOfTen[kExactPowerOfTenCount] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
    1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L,
};

// Without -frounding-math the compiler may move arithmetic across the
// guard's calls; a value that passes through memory here cannot be computed
// before this point nor used as computed after it.
template <typename T>
void StayAfterGuard(T& value) {
    __asm__ __volatile__("" : "+m"(value));
}

NumberReading SyntaxError(size_t position, size_t length) {
    NumberReading reading;
    reading.syntax = position < length ? NumberSyntax::BadCharacter : NumberSyntax::EndsEarly;
    reading.position = position;
    return reading;
}

}  // namespace

NumberReading ReadNumber(std::string_view text) {
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
    if (integerEnd == integerStart && fractionEnd == fractionStart) return SyntaxError(i, n);

    int64_t exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        const size_t exponentStart = i;
        while (i < n && IsDigit(text[i])) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), kExponentSaturation);
            ++i;
        }
        if (i == exponentStart) return SyntaxError(i, n);
        if (negativeExponent) exponent = -exponent;
    }
    if (i < n) return SyntaxError(i, n);

    // The significant digits, integer and fraction part as one run. The first
    // non-zero one is worth 10^leadingPower.
    const size_t integerDigits = integerEnd - integerStart;
    const size_t totalDigits = integerDigits + (fractionEnd - fractionStart);
    auto digitAt = [&](size_t k) {
        return k < integerDigits ? text[integerStart + k] : text[fractionStart + k - integerDigits];
    };
    size_t first = 0;
    while (first < totalDigits && digitAt(first) == '0') ++first;
    if (first == totalDigits) {
        NumberReading zero;
        zero.value = PackExtended(negative, 0, 0);
        return zero;
    }
    const int64_t leadingPower = static_cast<int64_t>(integerDigits) - 1 - static_cast<int64_t>(first);

    // The kept digits D: at most kKeptDigits, then a 1 for whatever non-zero
    // digit was dropped (the value lies strictly above the kept ones), else
    // without trailing zeros.
    const size_t keptEnd = std::min(totalDigits, first + kKeptDigits);
    bool droppedNonZero = false;
    for (size_t k = keptEnd; k < totalDigits && !droppedNonZero; ++k) droppedNonZero = digitAt(k) != '0';
    size_t last = keptEnd;
    if (!droppedNonZero) {
        while (digitAt(last - 1) == '0') --last;
    }
    const size_t count = last - first + (droppedNonZero ? 1 : 0);
    auto keptDigit = [&](size_t k) -> uint32_t {
        return first + k < last ? static_cast<uint32_t>(digitAt(first + k) - '0') : 1u;
    };

    // value = D * 10^power
    const int64_t power = exponent + leadingPower - (static_cast<int64_t>(count) - 1);
    const int64_t decade = exponent + leadingPower;  // 10^decade <= value < 10^(decade + 1)
    if (decade >= kOverflowDecade) {
        NumberReading overflow;
        overflow.syntax = NumberSyntax::OutOfRange;
        return overflow;
    }
    if (decade < kUnderflowDecade) {
        NumberReading zero;
        zero.value = PackExtended(negative, 0, 0);
        return zero;
    }

    if (count <= 19 && power >= -kExactPowerOfTenCount + 1 && power < kExactPowerOfTenCount) {
        // D and 10^|power| are both exact long doubles, so one multiplication
        // or division rounds the exact value once, to nearest even.
        uint64_t digits = 0;
        for (size_t k = 0; k < count; ++k) digits = digits * 10 + keptDigit(k);
        NumberReading reading;
        FpEnvironmentGuard exact;
        StayAfterGuard(digits);
        long double v = static_cast<long double>(digits);
        v = power >= 0 ? v * kExactPowersOfTen[power] : v / kExactPowersOfTen[-power];
        StayAfterGuard(v);
        reading.value = negative ? -v : v;
        return reading;
    }

    BigUint d;
    for (size_t k = 0; k < count; k += 9) {
        uint32_t chunk = 0;
        uint32_t factor = 1;
        for (size_t j = k; j < count && j < k + 9; ++j) {
            chunk = chunk * 10 + keptDigit(j);
            factor *= 10;
        }
        d.MulAddSmall(factor, chunk);
    }

    if (power >= 0) {
        // An integer: D * 5^power * 2^power, exact.
        MultiplyByPowerOfFive(d, static_cast<uint64_t>(power));
        return RoundToExtended(d, power, false, negative);
    }
    // D / 10^j = D / 5^j * 2^-j: divide with enough quotient bits to round.
    const uint64_t j = static_cast<uint64_t>(-power);
    const BigUint divisor = PowerOfFive(j);
    const int64_t extra = std::max<int64_t>(
        0, 66 + static_cast<int64_t>(divisor.BitLength()) - static_cast<int64_t>(d.BitLength()) + 1);
    d.ShiftLeft(static_cast<size_t>(extra));
    bool inexact = false;
    const BigUint q = DivideFloor(d, divisor, inexact);
    return RoundToExtended(q, -extra - static_cast<int64_t>(j), inexact, negative);
}

TextSelection SelectionAfterReading(const NumberReading& reading, size_t textLength) {
    // Edit controls count characters in an int.
    const auto at = [](size_t p) {
        return static_cast<int32_t>(std::min<size_t>(p, std::numeric_limits<int32_t>::max()));
    };
    switch (reading.syntax) {
    case NumberSyntax::BadCharacter: return TextSelection{at(reading.position), at(reading.position + 1)};
    case NumberSyntax::EndsEarly: return TextSelection{at(textLength), at(textLength)};
    case NumberSyntax::OutOfRange: return TextSelection{0, at(textLength)};
    case NumberSyntax::Valid: break;
    }
    return TextSelection{};
}
