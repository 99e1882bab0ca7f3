// The decimal text of the six plane co-ordinates (80-bit extended values), as
// the Range dialog shows it and quaxel.ini stores it, and the reader for what
// the user types or the file holds.
//
// Both directions are exact and work on the bits of the value with integer
// arithmetic only: the text never depends on the C runtime's printf or strtold
// (mingw's cannot even print an 80-bit value), nor on the x87 or SSE control
// words, so the Linux and Windows builds write and read the same texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Edit fields and profile values are read into buffers of this size.
constexpr size_t kMaxNumberTextLength = 254;

// The stored form: fixed point, rounded to 17 decimal places when the
// magnitude is below 10 and to 18 significant digits otherwise, trailing zeros
// and a trailing point removed: "-2", "1.5", "0", "0.00000000000000001".
// Rounding goes half away from zero from the exact binary value. A set sign
// bit always writes "-", so negative zero and negative values too small for
// 17 places write "-0" (which reads back as negative zero). Values that round
// to 10^36 or more have no sensible fixed form and are written with an
// exponent: 18 significant digits, trailing zeros removed, "E", sign and
// exponent ("1E+36", "-2.25E+1000"); next to the largest finite value,
// where rounding up would leave the format, the digits are cut instead, so
// every finite value writes a text that reads back as finite. Non-finite
// values write "inf", "-inf" or "nan". At most 37 characters.
std::string CoordinateText(long double value);

// The Range dialog's form: the same rounding, but the fixed form keeps 21
// decimal places ("-2.000000000000000000000"); exponent forms and non-finite
// values as in CoordinateText. At most 59 characters.
std::string RangeFieldText(long double value);

enum class NumberSyntax : uint8_t {
    Valid,
    BadCharacter,  // position is the first character that does not fit
    EndsEarly,     // the text ends where more was needed; position is its length
    OutOfRange,    // the syntax holds but the magnitude exceeds the extended range
};

struct NumberReading {
    NumberSyntax syntax = NumberSyntax::Valid;
    long double value = 0.0L;  // the value when Valid, else 0
    size_t position = 0;       // see NumberSyntax; 0 when Valid or OutOfRange
};

// Reads a plane co-ordinate: optional leading blanks, optional "+" or "-",
// digits with an optional "." (at least one digit before or after it),
// optionally "E" or "e", an optional sign and at least one digit. Nothing may
// follow, not even a blank. The value is the long double nearest to the exact
// decimal value (ties to even); values too small for the format become a zero
// of the text's sign. Texts of any length are read, never beyond their end.
NumberReading ReadNumber(std::string_view text);

// What an edit field should select after a failed reading (EM_SETSEL):
// the offending character, the caret at the end for a text that ends early,
// the whole text for an out-of-range value; the caret at the start (0, 0) for
// a valid one.
struct TextSelection {
    int32_t start = 0;
    int32_t end = 0;
    bool operator==(const TextSelection&) const = default;
};
TextSelection SelectionAfterReading(const NumberReading& reading, size_t textLength);

// The 80-bit format: a 64-bit significand with an explicit integer bit, a
// 15-bit biased exponent and the sign, little-endian in the first ten bytes.
// Both conversions work on these fields; the tests build and take apart
// values with them too.
struct ExtendedBits {
    bool negative = false;
    int32_t biased = 0;
    uint64_t significand = 0;
    bool operator==(const ExtendedBits&) const = default;
};
ExtendedBits UnpackExtended(long double value);
long double PackExtended(bool negative, int32_t biased, uint64_t significand);
