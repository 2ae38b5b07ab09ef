// Calendar arithmetic shared by the OLE time services and by whoever formats dates:
// DATE (days since 1899-12-30, fraction = time of day), SYSTEMTIME fields and FILETIME (100 ns since 1601).
#pragma once
#include "platform/oleauto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qz {

/// Smallest and largest DATE values OLE accepts: 0100-01-01 and 9999-12-31 23:59:59.
inline constexpr double kMinDate = -657434.0;
inline constexpr double kMaxDate = 2958465.99999;

/// The one calendar of the program (proleptic Gregorian, <chrono>'s civil dates), years -32767 to 32767.
/// Days from 1970-01-01 to the given date (negative before it); a day past the end of the month counts on
/// into the next month.
QZ_OLEAUT_API std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) noexcept;
/// The date of a day count from 1970-01-01.
QZ_OLEAUT_API void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month,
                                 unsigned& day) noexcept;
/// Number of days of a month (1-12) of a year; 0 for another month number.
QZ_OLEAUT_API unsigned DaysInMonth(std::int64_t year, unsigned month) noexcept;
/// Whether year, month and day name a day of the calendar.
QZ_OLEAUT_API bool IsValidCivil(std::int64_t year, unsigned month, unsigned day) noexcept;

/// Calendar fields to the millisecond, for formatting.
struct CivilTime {
    std::int64_t year = 1899;
    std::int64_t month = 12;
    std::int64_t day = 30;
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    std::int64_t millisecond = 0;
};

/// DATE to calendar fields. With `round_to_second` the time is rounded to the nearest second and
/// wMilliseconds is 0 (what VariantTimeToSystemTime does); otherwise it keeps milliseconds.
/// No value when the DATE is outside [kMinDate, kMaxDate] or not a number.
QZ_OLEAUT_API std::optional<SYSTEMTIME> DateToSystemTime(double date, bool round_to_second) noexcept;

/// Calendar fields to DATE, including milliseconds. No value when a field is out of range
/// (years 100 to 9999; wDayOfWeek is ignored).
QZ_OLEAUT_API std::optional<double> SystemTimeToDate(const SYSTEMTIME& st) noexcept;

/// FILETIME to DATE and back, exact to the millisecond (unlike the SYSTEMTIME path of OLE, which drops
/// milliseconds). No value when outside the DATE range.
QZ_OLEAUT_API std::optional<double> FileTimeToDate(const FILETIME& ft) noexcept;
QZ_OLEAUT_API std::optional<FILETIME> DateToFileTime(double date) noexcept;

/// A UTC FILETIME as a local DATE: shifted by the offset from UTC in force now (not the one in force at
/// the stamped time), exact to the millisecond. No value outside the DATE range.
QZ_OLEAUT_API std::optional<double> FileTimeToLocalDate(const FILETIME& utc) noexcept;

/// FILETIME as one 64-bit count of 100 ns ticks, and back.
constexpr std::uint64_t FileTimeTicks(const FILETIME& ft) noexcept {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
constexpr FILETIME MakeFileTime(std::uint64_t ticks) noexcept {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

/// The one date-pattern formatter, for every value that becomes text (variants, SQL, logs). Letters in
/// any case: y (yy: two digits, yyyy or a single y: four), m/mm month, d/dd day, h/hh hour (24-hour),
/// n/nn minute, s/ss second, z/zzz millisecond; one letter writes no leading zero, two pad to two digits.
/// Text in single or double quotes is copied without its quotes; every other character as it stands.
/// The patterns of platform/locale_formats.hpp use these tokens.
QZ_OLEAUT_API std::string FormatCivilTime(std::string_view pattern, const CivilTime& time);
/// FormatCivilTime of SYSTEMTIME fields.
QZ_OLEAUT_API std::string FormatSystemTime(std::string_view pattern, const SYSTEMTIME& st);

/// A DATE as text in the fixed locale: "date time", only the date when the time is midnight, only the
/// time when the date is day 0 (1899-12-30) and there is a time. No value outside the DATE range.
QZ_OLEAUT_API std::optional<std::string> FormatDate(double date);

/// Reads a date and/or time written in the fixed locale ("yyyy-mm-dd", "yyyy-mm-dd hh:nn[:ss]",
/// "hh:nn[:ss]"; '/' is accepted as date separator, surrounding blanks are ignored). No value when the
/// text is not such a date or names an impossible one.
QZ_OLEAUT_API std::optional<double> ParseDate(std::string_view text);

} // namespace qz
