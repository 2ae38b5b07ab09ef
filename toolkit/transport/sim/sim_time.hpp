// Time in the simulated servers: FILETIME ticks (100 ns since 1601-01-01, UTC) and OLE dates (days since
// 1899-12-30), with the conversions between them and ISO text.
#pragma once
#include <platform/oleauto.h>

#include <cstdint>
#include <string>

namespace tagclient::transport::sim {

constexpr std::uint64_t kTicksPerMs = 10000;
constexpr std::uint64_t kTicksPerDay = 864000000000ULL;
// Days from 1601-01-01 (FILETIME origin) to 1899-12-30 (OLE date origin).
constexpr double kOleEpochDays = 109205.0;

inline FILETIME ToFileTime(std::uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}
inline std::uint64_t FromFileTime(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline double TicksToOleDate(std::uint64_t ticks) {
    return static_cast<double>(ticks) / static_cast<double>(kTicksPerDay) - kOleEpochDays;
}

// "YYYY-MM-DD hh:mm:ss.mmm" of an OLE date (rounded to the millisecond).
std::string FormatIsoDate(double ole_date);
// Parses "YYYY-MM-DD", "YYYY-MM-DD hh:mm", "YYYY-MM-DD hh:mm:ss" or with ".mmm" (a 'T' may replace the
// space); false when the text is no such date.
bool ParseIsoDate(const std::string& text, double* ole_date);

} // namespace tagclient::transport::sim
