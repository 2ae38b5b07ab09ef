// The 16-bit OPC quality (QQSSSSLL: quality, sub-status, limit) as a short lower-case text, for values
// that are stored: "good", "uncertain", "bad: comm failure", "uncertain: last usable value",
// "good: local override", with the limit after a comma when one is set ("bad: sensor failure, low
// limited").
#pragma once

#include "platform/oleauto.h"

#include <cstdint>
#include <string>

namespace qz {

/// Qualities the program sets itself.
inline constexpr std::uint16_t kQualityGood = 0xC0;
inline constexpr std::uint16_t kQualityUncertain = 0x40;
inline constexpr std::uint16_t kQualityCommFailure = 0x18;

QZ_OLEAUT_API std::string OpcQualityText(std::uint16_t quality);

} // namespace qz
