// What a quality or time-stamp item writes, and the record time in the project's time choices.
//
// The project root chooses local time or UTC (TimeZone) and whole seconds or milliseconds
// (TimePrecision) for the record time and for gtTimeStamp items. With the first values (tzLocal,
// tpSeconds) every text is exactly what FormatFieldValue writes for a local date-time, as it always was.
// With milliseconds the date-time types always carry the full time:
//   ftDateTime, ftTimeStamp, ftString, ftWideString  'yyyy-mm-dd hh:nn:ss.zzz'
//   ftTime                                           'hh:nn:ss.zzz'
//   ftDate and every other type                      as FormatFieldValue writes the date-time
#pragma once

#include "model/enumerations.hpp"

#include <cstdint>
#include <string>

namespace tagsink {

class TServer;
class TItem;

struct TimeStyle {
    bool utc = false;
    bool milliseconds = false;

    bool IsLegacy() const { return !utc && !milliseconds; }
};

// The time choices of a project.
TimeStyle TimeStyleOf(const TServer& server);

// A date-time (days since 1899-12-30) formatted for a column of `field_type` in the style's precision.
// Throws ConversionError.
std::string FormatTimeValue(double date_time, TFieldType field_type, TimeStyle style);

// A UTC FILETIME as a date-time in the style's zone (local: shifted by the offset in force now).
double FileTimeInStyle(std::uint64_t file_time, TimeStyle style);

// The current time as a UTC FILETIME, to the millisecond.
std::uint64_t FileTimeNow();

// The current time as a date-time in the style's zone, to the millisecond.
double NowInStyle(TimeStyle style);

// The value text of a gtQuality item: the 16-bit quality as a number for the number types, as a short
// text ("good", "uncertain", "bad: comm failure") for the text types.
std::string QualityValueText(const TItem& item);

// The value text of a gtTimeStamp item: the server's time stamp of its last value, in the project's
// time choices, formatted with its FieldType.
std::string TimeStampValueText(const TItem& item);

} // namespace tagsink
