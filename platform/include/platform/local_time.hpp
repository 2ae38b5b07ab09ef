// The local time zone: the calendar fields of a moment in local time and the zone's offset from UTC.
// POSIX follows TZ and the zone database (localtime_r); Windows asks the system's time-zone settings.
#pragma once
#include "platform/oleauto.h"

#include <cstdint>
#include <ctime>

namespace qz {

/// The moment `when` in local time (tm_year from 1900, tm_mon 0-11, tm_isdst set).
QZ_OLEAUT_API std::tm LocalCalendar(std::time_t when) noexcept;
/// The local time zone's offset from UTC at the moment `when`, in seconds (east of Greenwich positive,
/// daylight saving time included).
QZ_OLEAUT_API std::int64_t UtcOffsetSeconds(std::time_t when) noexcept;

} // namespace qz
