// 80-bit extended-precision floats as the project file stores them (internal):
//   bytes 0..7  mantissa, little-endian, with the leading (integer) bit explicit in bit 63
//   bytes 8..9  bits 0..14 exponent with bias 16383, bit 15 the sign
// 1.0 is 00 00 00 00 00 00 00 80 FF 3F.
#pragma once

#include <array>
#include <cstdint>

namespace tagsink::detail {

/// Widens a float exactly (zeros, subnormals, infinities and NaNs included).
std::array<std::uint8_t, 10> FloatToExtended(float value);

/// Narrows to the nearest float; values beyond the float range become infinities.
float ExtendedToFloat(const std::array<std::uint8_t, 10>& bytes);

} // namespace tagsink::detail
