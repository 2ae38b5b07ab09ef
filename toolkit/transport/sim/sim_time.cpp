#include "sim_time.hpp"

#include <cmath>
#include <cstdio>

namespace qz::sim {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

// 1899-12-30 relative to 1970-01-01.
constexpr std::int64_t kOleEpochFromUnixDays = -25569;

} // namespace

std::string FormatIsoDate(double oleDate) {
    if (!std::isfinite(oleDate) || std::fabs(oleDate) > 3e6)
        return "invalid date";
    const double totalMs = std::nearbyint(oleDate * 86400000.0);
    std::int64_t ms = static_cast<std::int64_t>(totalMs);
    std::int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    std::int64_t msOfDay = ms - days * 86400000;
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days + kOleEpochFromUnixDays, &y, &m, &d);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(y), m, d, static_cast<long long>(msOfDay / 3600000),
                  static_cast<long long>(msOfDay / 60000 % 60), static_cast<long long>(msOfDay / 1000 % 60),
                  static_cast<long long>(msOfDay % 1000));
    return buffer;
}

bool ParseIsoDate(const std::string& text, double* oleDate) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    char sep = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) != 3)
        return false;
    size_t pos = static_cast<size_t>(consumed);
    if (pos < text.size()) {
        sep = text[pos];
        if (sep != ' ' && sep != 'T')
            return false;
        const std::string rest = text.substr(pos + 1);
        int n = 0;
        int fields = std::sscanf(rest.c_str(), "%2d:%2d%n", &h, &mi, &n);
        if (fields != 2)
            return false;
        size_t p = static_cast<size_t>(n);
        if (p < rest.size()) {
            int n2 = 0;
            if (std::sscanf(rest.c_str() + p, ":%2d%n", &s, &n2) != 1)
                return false;
            p += static_cast<size_t>(n2);
            if (p < rest.size()) {
                int n3 = 0;
                if (std::sscanf(rest.c_str() + p, ".%3d%n", &ms, &n3) != 1)
                    return false;
                p += static_cast<size_t>(n3);
            }
            if (p != rest.size())
                return false;
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0 ||
        ms < 0)
        return false;
    std::int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    std::int64_t yy = 0;
    unsigned mm = 0, dd = 0;
    CivilFromDays(days, &yy, &mm, &dd);
    if (mm != static_cast<unsigned>(mo) || dd != static_cast<unsigned>(d))
        return false; // 2023-02-30 and the like
    *oleDate = static_cast<double>(days - kOleEpochFromUnixDays) +
               (h * 3600000.0 + mi * 60000.0 + s * 1000.0 + ms) / 86400000.0;
    return true;
}

} // namespace qz::sim
