// The local time zone.
#include "platform/local_time.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qz {

#ifdef _WIN32

namespace {

constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL; // 1970-01-01 in 100 ns units since 1601

std::int64_t Ticks(const FILETIME& time) noexcept {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

// The moment in UTC and in local time, by the system's time-zone rules for that moment.
bool Convert(std::time_t when, SYSTEMTIME& utc, SYSTEMTIME& local) noexcept {
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(when) * 10000000LL + kUnixEpochTicks);
    FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    return FileTimeToSystemTime(&time, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
}

std::int64_t Difference(const SYSTEMTIME& local, const SYSTEMTIME& utc) noexcept {
    FILETIME a{}, b{};
    if (!SystemTimeToFileTime(&local, &a) || !SystemTimeToFileTime(&utc, &b))
        return 0;
    return (Ticks(a) - Ticks(b)) / 10000000LL;
}

} // namespace

std::tm LocalCalendar(std::time_t when) noexcept {
    std::tm fields{};
    SYSTEMTIME utc{}, local{};
    if (!Convert(when, utc, local))
        return fields;
    fields.tm_year = local.wYear - 1900;
    fields.tm_mon = local.wMonth - 1;
    fields.tm_mday = local.wDay;
    fields.tm_hour = local.wHour;
    fields.tm_min = local.wMinute;
    fields.tm_sec = local.wSecond;
    fields.tm_wday = local.wDayOfWeek;
    static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int year = local.wYear;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    fields.tm_yday = kDaysBefore[fields.tm_mon] + local.wDay - 1 + (leap && fields.tm_mon > 1 ? 1 : 0);
    TIME_ZONE_INFORMATION zone{};
    const DWORD id = GetTimeZoneInformation(&zone);
    if (id == TIME_ZONE_ID_INVALID || id == TIME_ZONE_ID_UNKNOWN)
        fields.tm_isdst = 0;
    else // daylight saving time when the offset at that moment is not the standard one
        fields.tm_isdst =
            Difference(local, utc) != -static_cast<std::int64_t>(zone.Bias + zone.StandardBias) * 60;
    return fields;
}

std::int64_t UtcOffsetSeconds(std::time_t when) noexcept {
    SYSTEMTIME utc{}, local{};
    if (!Convert(when, utc, local))
        return 0;
    return Difference(local, utc);
}

#else

std::tm LocalCalendar(std::time_t when) noexcept {
    std::tm fields{};
    localtime_r(&when, &fields);
    return fields;
}

std::int64_t UtcOffsetSeconds(std::time_t when) noexcept {
    std::tm fields{};
    localtime_r(&when, &fields);
    return fields.tm_gmtoff;
}

#endif

} // namespace qz
