// The texts of an item's last value as the item list shows them while the project records: the value, the
// OPC quality with its sub-status and the local time of the stamp.
#pragma once

#include "platform/variant.hpp"

#include <QString>

#include <cstdint>

namespace tagsink::app {

/// How a quality reads at a glance.
enum class QualityClass { Good, Uncertain, Bad };

QualityClass ClassOfQuality(std::uint16_t quality);

/// "Good", "Uncertain" or "Bad", followed by the sub-status name in brackets unless it is non-specific,
/// and by the limit ("low limited", "high limited", "constant") when one is set; e.g. "Bad (comm failure)".
QString QualityText(std::uint16_t quality);

/// The value as text; an empty value gives an empty text, a value that has no text its description.
QString LiveValueText(const qz::Variant& value);

/// A UTC FILETIME (100 ns ticks) as local "yyyy-mm-dd hh:nn:ss.zzz"; 0 gives an empty text.
QString LocalTimeStampText(std::uint64_t file_time);

} // namespace tagsink::app
