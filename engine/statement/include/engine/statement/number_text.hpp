// Numbers as statement text: the general floating-point format, the cut BCD form and 32-bit rounding.
// Two number-to-text forms exist on purpose: this one writes statement values the way the recorder always
// has ("1.5E20", 15 integer digits before scientific notation, the project's decimal separator), while
// platform's FormatReal is VariantChangeType's text ("1.5E+20", exponent signed and of two digits at least,
// the fixed locale's separator); stored rows and OLE clients each rely on their own.
#pragma once

#include <cstdint>
#include <string>

namespace tagsink {

// A finite number as its significant decimal digits: value = (negative ? -1 : 1) * d1.d2d3... * 10^exponent.
// `digits` has no trailing zeros; zero is the empty digit string.
struct DecimalDigits {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool isZero() const { return digits.empty(); }
};

// The digits of a double rounded to `precision` significant digits (halves away from zero).
// Precondition: `value` is finite.
DecimalDigits DoubleDigits(double value, int precision = 15);

// The shortest digits that read back as the same single-precision number (a float written as 0.1 stays 0.1).
// Precondition: `value` is finite.
DecimalDigits FloatDigits(float value);

// The general format: no thousands separator, `decimal_separator` before the fraction, no trailing zeros;
// fixed notation while the number has at most 15 integer digits and is at least 0.00001 in magnitude (or is
// 0), otherwise scientific notation such as 1.5E20 or 1E-6 (no plus sign, no leading zeros in the exponent).
std::string FormatGeneral(const DecimalDigits& number, char decimal_separator);

// FormatGeneral(DoubleDigits(value, 15)). Precondition: `value` is finite.
std::string FormatGeneralFloat(double value, char decimal_separator);

// The BCD form of a number: cut (not rounded) to at most four decimal places within 18 digits in all, plain
// decimal notation without trailing zeros after the separator and without a trailing separator; zero is "0".
// More than 18 integer digits fail with ConversionError("BCD overflow").
std::string FormatBcd(const DecimalDigits& number, char decimal_separator);

// `value` rounded to the nearest integer (halves to even) as a 32-bit signed integer. A NaN, an infinity or a
// result outside the 32-bit range fails with a ConversionError naming `value_text` and `target_name`.
std::int32_t RoundToInt32(double value, const std::string& value_text,
                          const std::string& target_name = "a 32-bit integer");

} // namespace tagsink
