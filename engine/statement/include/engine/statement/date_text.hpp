// Date-time values in the OLE Automation day convention, and their text in the fixed locale formats.
//
// A date-time is a double: whole days since 30 December 1899, the fraction being the time of day. For days
// before that the fraction still counts forward from midnight (-1.25 is 29 December 1899, 06:00).
#pragma once

#include <cstdint>
#include <string>

namespace tagsink {

// The calendar fields of one date-time, to the millisecond.
struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    // True when the time of day shows as 00:00:00 (milliseconds are not shown and do not count).
    bool isMidnight() const { return hour == 0 && minute == 0 && second == 0; }
};

// Splits a date-time into its fields (the time rounded to the millisecond). A NaN, an infinity or a value
// outside 1 January 100 .. 31 December 9999 fails with a ConversionError naming the value.
DateTimeParts DecodeDateTime(double date_time);

// The date-time of a calendar date and time of day (no range check).
double EncodeDateTime(const DateTimeParts& parts);

// Writes the fields through a format pattern, by the program's one date-pattern formatter
// (qz::FormatCivilTime, platform/civil_time.hpp). Letters, case-insensitive: y (yy: two digits, yyyy:
// four), m/mm month, d/dd day, h/hh hour (24-hour), n/nn minute, s/ss second, z/zzz millisecond; text in
// single or double quotes is copied without its quotes; every other character is copied as it stands.
std::string FormatDateTimeParts(const std::string& pattern, const DateTimeParts& parts);

// Text of a date-time in the fixed locale formats.
std::string FormatShortDate(double date_time); // short date
std::string FormatLongTime(double date_time);  // long time of the time of day
std::string FormatDateTime(double date_time);  // short date, one space, long time; only the date at midnight

// FILETIME ticks (100 ns since 1 January 1601, UTC) to a date-time, shifted by `offset_seconds`.
double FileTimeToDateTime(std::uint64_t file_time, std::int64_t offset_seconds);

// The local offset from UTC now, in seconds (the offset in force when called, not at any other time).
std::int64_t CurrentUtcOffsetSeconds();

// The current local date and time as a date-time.
double LocalNow();

} // namespace tagsink
