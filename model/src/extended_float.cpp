#include "extended_float.hpp"

#include <bit>
#include <cmath>
#include <limits>

namespace tagsink::detail {

std::array<std::uint8_t, 10> FloatToExtended(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint16_t sign = (bits >> 31) ? 0x8000 : 0;
    const std::uint32_t exponent = (bits >> 23) & 0xFF;
    const std::uint32_t fraction = bits & 0x7FFFFF;

    std::uint64_t mantissa = 0;
    std::uint16_t exp80 = 0;
    if (exponent == 0xFF) { // infinity or NaN
        exp80 = 0x7FFF;
        mantissa = (1ull << 63) | (static_cast<std::uint64_t>(fraction) << 40);
    } else if (exponent != 0) { // normal
        exp80 = static_cast<std::uint16_t>(exponent - 127 + 16383);
        mantissa = (1ull << 63) | (static_cast<std::uint64_t>(fraction) << 40);
    } else if (fraction != 0) {                       // subnormal: value = fraction * 2^-149, normalised here
        const int top = std::bit_width(fraction) - 1; // highest set bit, 0..22
        exp80 = static_cast<std::uint16_t>(16383 - 149 + top);
        mantissa = static_cast<std::uint64_t>(fraction) << (63 - top);
    } // else zero: all bits clear but the sign

    std::array<std::uint8_t, 10> out{};
    for (int i = 0; i < 8; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mantissa >> (8 * i));
    const std::uint16_t top16 = sign | exp80;
    out[8] = static_cast<std::uint8_t>(top16 & 0xFF);
    out[9] = static_cast<std::uint8_t>(top16 >> 8);
    return out;
}

float ExtendedToFloat(const std::array<std::uint8_t, 10>& bytes) {
    std::uint64_t mantissa = 0;
    for (int i = 7; i >= 0; --i)
        mantissa = (mantissa << 8) | bytes[static_cast<std::size_t>(i)];
    const std::uint16_t top16 = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
    const bool negative = (top16 & 0x8000) != 0;
    const int exponent = top16 & 0x7FFF;

    float result;
    if (exponent == 0x7FFF) {
        result = (mantissa << 1) == 0 ? std::numeric_limits<float>::infinity()
                                      : std::numeric_limits<float>::quiet_NaN();
    } else if (mantissa == 0) {
        result = 0.0f;
    } else {
        // value = mantissa * 2^(exponent - 16383 - 63); exponent 0 is the denormal range (2^-16382).
        const int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        const double magnitude = std::ldexp(static_cast<double>(mantissa), scale);
        // Above the largest float: round to it below the half-way point, else to infinity.
        constexpr double kMax = static_cast<double>(std::numeric_limits<float>::max());
        const double halfway = std::ldexp(static_cast<double>((1 << 25) - 1), 103);
        if (magnitude >= halfway)
            result = std::numeric_limits<float>::infinity();
        else if (magnitude > kMax)
            result = std::numeric_limits<float>::max();
        else
            result = static_cast<float>(magnitude);
    }
    return negative ? -result : result;
}

} // namespace tagsink::detail
