/*
 * The fixed locale of this program: the formats used wherever a value becomes text for people or for SQL
 * (variant-to-text conversions, statement values, log time stamps) and wherever text becomes a value.
 *
 * The formats are fixed for the lifetime of the program so that the same value always gives the same text,
 * whatever regional settings the machine has. A later version may make them configurable; every user reads
 * them from here.
 *
 * Date and time patterns are written by the one formatter, qz::FormatCivilTime (platform/civil_time.hpp),
 * for variant texts and SQL texts alike; its tokens include:
 *   yyyy  four-digit year        mm  two-digit month        dd  two-digit day
 *   hh    two-digit hour (0-23)  nn  two-digit minute       ss  two-digit second
 *   zzz   three-digit millisecond
 */
#pragma once
#include <string_view>

namespace qz {

/// Short date format: the date part of a date-time value.
inline constexpr std::string_view kShortDateFormat = "yyyy-mm-dd";

/// Long time format: the time of day, 24-hour clock.
inline constexpr std::string_view kLongTimeFormat = "hh:nn:ss";

/// Separator between the date and the time when both are written.
inline constexpr std::string_view kDateTimeSeparator = " ";

/// Decimal separator of numbers written as text and expected when text is read as a number.
inline constexpr char kDecimalSeparator = '.';

/// Boolean texts written by conversions that spell booleans out (and accepted, in any letter case).
inline constexpr std::string_view kTrueText = "True";
inline constexpr std::string_view kFalseText = "False";

} // namespace qz
