// The 16-bit OPC quality (QQSSSSLL: quality, sub-status, limit) in words. The short form is for values
// that are stored: "good", "uncertain", "bad: comm failure", "uncertain: last usable value",
// "good: local override", with the limit after a comma when one is set ("bad: sensor failure, low
// limited"). The long form spells out two abbreviations ("configuration error", "engineering units
// exceeded") for people reading a screen; stored texts keep the short form.
#pragma once

#include "platform/oleauto.h"

#include <cstdint>
#include <string>

namespace qz {

/// Qualities the program sets itself.
inline constexpr std::uint16_t kQualityGood = 0xC0;
inline constexpr std::uint16_t kQualityUncertain = 0x40;
inline constexpr std::uint16_t kQualityCommFailure = 0x18;

enum class QualityWording { Short, Long };

/// The words of a quality: `major` is "good", "uncertain", "bad" or "invalid" (0x80); `sub_status` is
/// null when the sub-status is the non-specific one (and for "invalid"), "unknown sub-status" for codes
/// the published OPC DA standard does not define; `limit` is "low limited", "high limited", "constant"
/// or null. The texts are static.
struct OpcQualityWords {
    const char* major;
    const char* sub_status;
    const char* limit;
};

QZ_OLEAUT_API OpcQualityWords OpcQualityWordsOf(std::uint16_t quality,
                                                QualityWording wording = QualityWording::Short);

/// The short stored text: major, then ": " and the sub-status and limit joined by ", ".
QZ_OLEAUT_API std::string OpcQualityText(std::uint16_t quality);

} // namespace qz
