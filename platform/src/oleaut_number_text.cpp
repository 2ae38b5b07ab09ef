// Decimal numbers as text in the fixed locale (decimal separator from platform/locale_formats.h).
#include "oleaut_number_text.hpp"
#include "platform/locale_formats.hpp"

#include <charconv>
#include <cmath>

namespace qz::detail {

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0;
}

void Normalize(DecimalNumber& n) {
    std::size_t lead = 0;
    while (lead < n.digits.size() && n.digits[lead] == '0')
        ++lead;
    n.digits.erase(0, lead);
    while (!n.digits.empty() && n.digits.back() == '0') {
        n.digits.pop_back();
        ++n.exponent;
    }
    if (n.digits.empty()) {
        n.exponent = 0;
        n.negative = false;
    }
}

} // namespace

std::optional<DecimalNumber> ParseDecimal(std::u16string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    DecimalNumber result;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        result.negative = text[i] == u'-';
        ++i;
    }
    std::size_t mantissa_digits = 0;
    long long fraction_digits = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        result.digits.push_back(static_cast<char>(text[i++]));
        ++mantissa_digits;
    }
    if (i < n && text[i] == static_cast<char16_t>(kDecimalSeparator)) {
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            result.digits.push_back(static_cast<char>(text[i++]));
            ++mantissa_digits;
            ++fraction_digits;
        }
    }
    if (mantissa_digits == 0)
        return std::nullopt;
    long long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negative_exponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negative_exponent = text[i] == u'-';
            ++i;
        }
        std::size_t exp_digits = 0;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[i] - u'0');
            ++i;
            ++exp_digits;
        }
        if (exp_digits == 0)
            return std::nullopt;
        if (negative_exponent)
            exponent = -exponent;
    }
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return std::nullopt;
    exponent -= fraction_digits;
    // Beyond these bounds every target overflows or underflows anyway; keep the int exponent sane.
    if (exponent > 1000000)
        exponent = 1000000;
    if (exponent < -1000000)
        exponent = -1000000;
    result.exponent = static_cast<int>(exponent);
    Normalize(result);
    return result;
}

DecimalNumber MakeDecimal(bool negative, unsigned __int128 magnitude, int exponent) {
    DecimalNumber n;
    n.negative = negative;
    n.exponent = exponent;
    char buf[48];
    int len = 0;
    while (magnitude > 0) {
        buf[len++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    }
    for (int k = len - 1; k >= 0; --k)
        n.digits.push_back(buf[k]);
    Normalize(n);
    return n;
}

bool RoundDecimal(const DecimalNumber& n, int exponent, __int128& units) {
    units = 0;
    if (n.isZero())
        return true;
    // Digits that stay (count of the number's digits at or above 10^exponent).
    const long long keep = static_cast<long long>(n.digits.size()) + n.exponent - exponent;
    if (keep > 38)
        return false;
    unsigned __int128 value = 0;
    const long long whole = keep < 0 ? 0 : std::min<long long>(keep, static_cast<long long>(n.digits.size()));
    for (long long k = 0; k < whole; ++k)
        value = value * 10 + static_cast<unsigned>(n.digits[static_cast<std::size_t>(k)] - '0');
    for (long long k = static_cast<long long>(n.digits.size()); k < keep; ++k)
        value *= 10; // trailing zeros of a positive exponent
    // Rounding: look at the dropped digits.
    if (keep < static_cast<long long>(n.digits.size())) {
        const long long first = keep; // index of the first dropped digit (may be negative: implied zeros)
        int first_digit = 0;
        bool rest_non_zero = false;
        if (first >= 0) {
            first_digit = n.digits[static_cast<std::size_t>(first)] - '0';
            for (std::size_t k = static_cast<std::size_t>(first) + 1; k < n.digits.size(); ++k)
                rest_non_zero = rest_non_zero || n.digits[k] != '0';
        } else {
            rest_non_zero = true; // only implied zeros precede the digits: below one half
        }
        const bool up = first_digit > 5 || (first_digit == 5 && (rest_non_zero || (value & 1) != 0));
        if (up)
            ++value;
    }
    if (value > (static_cast<unsigned __int128>(1) << 126))
        return false;
    units = n.negative ? -static_cast<__int128>(value) : static_cast<__int128>(value);
    return true;
}

std::string DecimalToText(const DecimalNumber& n) {
    if (n.isZero())
        return "0";
    std::string out = n.negative ? "-" : "";
    const long long len = static_cast<long long>(n.digits.size());
    const long long point = len + n.exponent; // digits before the separator
    if (point <= 0) {
        out += '0';
        out += kDecimalSeparator;
        out.append(static_cast<std::size_t>(-point), '0');
        out += n.digits;
    } else if (point >= len) {
        out += n.digits;
        out.append(static_cast<std::size_t>(point - len), '0');
    } else {
        out.append(n.digits, 0, static_cast<std::size_t>(point));
        out += kDecimalSeparator;
        out.append(n.digits, static_cast<std::size_t>(point));
    }
    return out;
}

std::string DecimalToScientific(const DecimalNumber& n) {
    if (n.isZero())
        return "0";
    return (n.negative ? "-" : "") + n.digits + "e" + std::to_string(n.exponent);
}

std::string FormatReal(double value, int precision) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0"; // also for negative zero
    char buf[64];
    // to_chars with a precision writes exactly what printf("%.*G") writes in the C locale, whatever
    // locale the process has set.
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
    std::string out(buf, res.ptr);
    for (char& c : out) {
        if (c == 'e')
            c = 'E';
        else if (c == '.')
            c = kDecimalSeparator;
    }
    return out;
}

} // namespace qz::detail
