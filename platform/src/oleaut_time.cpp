// Time services: FILETIME (UTC and local), SYSTEMTIME, DATE, and the 32-bit tick counter.
#include "platform/civil_time.hpp"
#include "platform/oleauto.h"
#include "platform/tick_count.hpp"

#include <ctime>
#include <sys/time.h>

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochSeconds = 11644473600ULL;
constexpr std::int64_t kFileTimeEpochDays = -134774; // 1601-01-01 relative to 1970-01-01
constexpr std::uint64_t kTicksPerDay = 864000000000ULL;

} // namespace

extern "C" {

void GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime) {
    if (!lpSystemTimeAsFileTime)
        return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(ts.tv_sec) + kUnixEpochSeconds) * kTicksPerSecond +
        static_cast<std::uint64_t>(ts.tv_nsec) / 100;
    *lpSystemTimeAsFileTime = qz::MakeFileTime(ticks);
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime) {
    if (!lpFileTime || !lpSystemTime)
        return FALSE;
    const std::uint64_t ticks = qz::FileTimeTicks(*lpFileTime);
    if (ticks > static_cast<std::uint64_t>(INT64_MAX))
        return FALSE;
    const std::int64_t days = static_cast<std::int64_t>(ticks / kTicksPerDay);
    const std::uint64_t rest = ticks % kTicksPerDay;
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    qz::CivilFromDays(days + kFileTimeEpochDays, y, m, d);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    st.wDayOfWeek = static_cast<WORD>((days + 1) % 7); // 1601-01-01 was a Monday
    const std::uint64_t ms = rest / 10000;
    st.wHour = static_cast<WORD>(ms / 3600000);
    st.wMinute = static_cast<WORD>(ms / 60000 % 60);
    st.wSecond = static_cast<WORD>(ms / 1000 % 60);
    st.wMilliseconds = static_cast<WORD>(ms % 1000);
    *lpSystemTime = st;
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, FILETIME* lpFileTime) {
    if (!lpSystemTime || !lpFileTime)
        return FALSE;
    const SYSTEMTIME& st = *lpSystemTime;
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > qz::DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999)
        return FALSE;
    const std::int64_t days = qz::DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kFileTimeEpochDays;
    const std::uint64_t ms =
        ((st.wHour * 60ULL + st.wMinute) * 60ULL + st.wSecond) * 1000ULL + st.wMilliseconds;
    *lpFileTime = qz::MakeFileTime(static_cast<std::uint64_t>(days) * kTicksPerDay + ms * 10000ULL);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime)
        return FALSE;
    // The offset in force now (not the one in force at the stamped time), as the system call does.
    tzset(); // pick up a changed TZ, as the system call follows time-zone changes
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return FALSE;
    const std::int64_t offset =
        static_cast<std::int64_t>(local.tm_gmtoff) * static_cast<std::int64_t>(kTicksPerSecond);
    const std::uint64_t ticks = qz::FileTimeTicks(*lpFileTime);
    if (offset < 0 && ticks < static_cast<std::uint64_t>(-offset))
        return FALSE;
    if (offset > 0 && ticks > UINT64_MAX - static_cast<std::uint64_t>(offset))
        return FALSE;
    *lpLocalFileTime = qz::MakeFileTime(ticks + static_cast<std::uint64_t>(offset));
    return TRUE;
}

INT SystemTimeToVariantTime(SYSTEMTIME* lpSystemTime, DOUBLE* pvtime) {
    if (!lpSystemTime || !pvtime)
        return FALSE;
    // OLE ignores the milliseconds here.
    SYSTEMTIME st = *lpSystemTime;
    st.wMilliseconds = 0;
    const auto date = qz::SystemTimeToDate(st);
    if (!date)
        return FALSE;
    *pvtime = *date;
    return TRUE;
}

INT VariantTimeToSystemTime(DOUBLE vtime, SYSTEMTIME* lpSystemTime) {
    if (!lpSystemTime)
        return FALSE;
    const auto st = qz::DateToSystemTime(vtime, true);
    if (!st)
        return FALSE;
    *lpSystemTime = *st;
    return TRUE;
}

DWORD GetTickCount(void) {
    return static_cast<DWORD>(qz::TickCount64());
}

} // extern "C"
