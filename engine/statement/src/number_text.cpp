#include "engine/statement/number_text.hpp"

#include "engine/statement/conversion_error.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace tagsink {

namespace {

void StripTrailingZeros(std::string& digits) {
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
}

// Reads "d.ddddde[+-]xx" (the form printf's %e and to_chars' scientific form share) into digits and exponent.
DecimalDigits ParseScientific(const char* text, bool negative) {
    DecimalDigits result;
    result.negative = negative;
    const char* p = text;
    for (; *p != '\0' && *p != 'e' && *p != 'E'; ++p) {
        if (*p >= '0' && *p <= '9')
            result.digits.push_back(*p);
    }
    if (*p == 'e' || *p == 'E')
        result.exponent = std::atoi(p + 1);
    return result;
}

// Rounds the digit string to `precision` digits, halves away from zero; may carry into a new leading digit.
void RoundDigits(DecimalDigits& number, int precision) {
    if (static_cast<int>(number.digits.size()) <= precision)
        return;
    const bool up = number.digits[precision] >= '5';
    number.digits.resize(precision);
    if (up) {
        int i = precision - 1;
        for (; i >= 0; --i) {
            if (number.digits[i] == '9') {
                number.digits[i] = '0';
            } else {
                ++number.digits[i];
                break;
            }
        }
        if (i < 0) {
            number.digits.insert(number.digits.begin(), '1');
            number.digits.pop_back();
            ++number.exponent;
        }
    }
}

void Normalise(DecimalDigits& number) {
    // Leading zeros only occur for zero itself.
    std::size_t first = number.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        number.digits.clear();
        number.exponent = 0;
        number.negative = false;
        return;
    }
    number.digits.erase(0, first);
    number.exponent -= static_cast<int>(first);
    StripTrailingZeros(number.digits);
}

} // namespace

DecimalDigits DoubleDigits(double value, int precision) {
    if (value == 0.0)
        return {};
    const double magnitude = std::fabs(value);
    const bool negative = std::signbit(value);
    char buffer[80];
    // The shortest digits that read back as the same double: when there are at most 15 of them they are also
    // the value rounded to 15 digits (every 15-digit decimal survives the trip through a normal double;
    // subnormal numbers have fewer digits of precision and take the long way).
    std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::scientific);
    if (written.ec == std::errc() && precision <= 15 && magnitude >= std::numeric_limits<double>::min()) {
        *written.ptr = '\0';
        DecimalDigits shortest = ParseScientific(buffer, negative);
        if (static_cast<int>(shortest.digits.size()) <= precision) {
            Normalise(shortest);
            return shortest;
        }
    }
    // Two more digits than wanted, correctly rounded, decide the rounding unless they read exactly "50": then
    // the exact value may lie on either side of the half, and its full expansion decides.
    written = std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::scientific,
                            precision + 1);
    *written.ptr = '\0';
    DecimalDigits number = ParseScientific(buffer, negative);
    if (written.ec != std::errc() ||
        (static_cast<int>(number.digits.size()) == precision + 2 && number.digits[precision] == '5' &&
         number.digits[precision + 1] == '0')) {
        std::snprintf(buffer, sizeof buffer, "%.40e", magnitude);
        number = ParseScientific(buffer, negative);
    }
    RoundDigits(number, precision);
    Normalise(number);
    return number;
}

DecimalDigits FloatDigits(float value) {
    if (value == 0.0f)
        return {};
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(value), std::chars_format::scientific);
    if (ec != std::errc())
        return DoubleDigits(value, 9);
    *end = '\0';
    DecimalDigits number = ParseScientific(buffer, std::signbit(value));
    Normalise(number);
    return number;
}

std::string FormatGeneral(const DecimalDigits& number, char decimal_separator) {
    if (number.isZero())
        return "0";
    std::string text;
    if (number.negative)
        text.push_back('-');
    const std::string& d = number.digits;
    const int e = number.exponent;
    if (e < 15 && e >= -5) {
        if (e >= 0) {
            const std::size_t integer_digits = static_cast<std::size_t>(e) + 1;
            if (d.size() <= integer_digits) {
                text += d;
                text.append(integer_digits - d.size(), '0');
            } else {
                text.append(d, 0, integer_digits);
                text.push_back(decimal_separator);
                text.append(d, integer_digits, std::string::npos);
            }
        } else {
            text.push_back('0');
            text.push_back(decimal_separator);
            text.append(static_cast<std::size_t>(-e - 1), '0');
            text += d;
        }
        return text;
    }
    text.push_back(d[0]);
    if (d.size() > 1) {
        text.push_back(decimal_separator);
        text.append(d, 1, std::string::npos);
    }
    text.push_back('E');
    text += std::to_string(e);
    return text;
}

std::string FormatGeneralFloat(double value, char decimal_separator) {
    return FormatGeneral(DoubleDigits(value, 15), decimal_separator);
}

std::string FormatBcd(const DecimalDigits& number, char decimal_separator) {
    constexpr int kMaxDigits = 18;
    constexpr int kMaxDecimals = 4;
    if (number.isZero())
        return "0";
    const int integer_digits = number.exponent >= 0 ? number.exponent + 1 : 0;
    if (integer_digits > kMaxDigits)
        throw ConversionError("BCD overflow");
    const int decimals = std::min(kMaxDecimals, kMaxDigits - integer_digits);

    // Plain decimal text of the integer part and of the kept decimals.
    std::string integer_part;
    std::string fraction;
    const std::string& d = number.digits;
    const int e = number.exponent;
    for (int position = std::max(e, 0); position >= -decimals; --position) {
        // The digit at 10^position is d[e - position] when that index exists.
        const int index = e - position;
        const char digit = (index >= 0 && index < static_cast<int>(d.size())) ? d[index] : '0';
        if (position >= 0)
            integer_part.push_back(digit);
        else
            fraction.push_back(digit);
    }
    StripTrailingZeros(fraction);
    const std::size_t first_non_zero = integer_part.find_first_not_of('0');
    integer_part = first_non_zero == std::string::npos ? "0" : integer_part.substr(first_non_zero);
    if (integer_part == "0" && fraction.empty())
        return "0"; // everything was cut away: no "-0"
    std::string text;
    if (number.negative)
        text.push_back('-');
    text += integer_part;
    if (!fraction.empty()) {
        text.push_back(decimal_separator);
        text += fraction;
    }
    return text;
}

std::int32_t RoundToInt32(double value, const std::string& value_text, const std::string& target_name) {
    if (std::isnan(value))
        throw ConversionError("Cannot convert " + value_text + " to " + target_name +
                              ": the value is not a number");
    // Nearest integer, ties to even, independent of the floating-point environment's rounding mode.
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0))
        rounded += 1.0;
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        throw ConversionError("Cannot convert " + value_text + " to " + target_name +
                              ": the value is outside -2147483648..2147483647");
    return static_cast<std::int32_t>(rounded);
}

} // namespace tagsink
