// Exact decimal numbers read from text and written as text, in the fixed locale. Internal to the
// conversion services.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qz::detail {

/// A decimal number: (negative ? -1 : 1) * digits * 10^exponent. `digits` has no leading or trailing
/// zeros; the empty string is zero.
struct DecimalNumber {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool isZero() const { return digits.empty(); }
};

/// Reads a number: optional blanks, optional sign, digits with an optional decimal separator, an optional
/// exponent ("E" or "e", optional sign, digits), optional blanks. No value for anything else.
std::optional<DecimalNumber> ParseDecimal(std::u16string_view text);

/// The number from an unsigned magnitude and a power of ten.
DecimalNumber MakeDecimal(bool negative, unsigned __int128 magnitude, int exponent);

/// The number rounded to a multiple of 10^exponent, halves to even, as a signed 128-bit count of such
/// units. False when the result does not fit in 127 bits.
bool RoundDecimal(const DecimalNumber& n, int exponent, __int128& units);

/// Plain decimal text (no exponent), e.g. "-12.5", "0.0001", "0".
std::string DecimalToText(const DecimalNumber& n);

/// Text that std::from_chars reads as a double ("123e-2").
std::string DecimalToScientific(const DecimalNumber& n);

/// A floating-point number in the shortest general form with at most `precision` significant digits:
/// scientific ("1E+20", "1E-05") when the exponent is below -4 or not below the precision, fixed
/// otherwise, no trailing zeros, "0" for either zero. (Statement text has its own form on purpose: see
/// engine/statement/number_text.hpp.)
std::string FormatReal(double value, int precision);

} // namespace qz::detail
