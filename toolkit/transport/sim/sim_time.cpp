#include "sim_time.hpp"

#include "platform/civil_time.hpp"

#include <cmath>
#include <cstdio>

namespace tagclient::transport::sim {

namespace {

// 1899-12-30 relative to 1970-01-01.
constexpr std::int64_t kOleEpochFromUnixDays = -25569;

} // namespace

std::string FormatIsoDate(double ole_date) {
    if (!std::isfinite(ole_date) || std::fabs(ole_date) > 3e6)
        return "invalid date";
    const double total_ms = std::nearbyint(ole_date * 86400000.0);
    std::int64_t ms = static_cast<std::int64_t>(total_ms);
    std::int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    std::int64_t ms_of_day = ms - days * 86400000;
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    qz::CivilFromDays(days + kOleEpochFromUnixDays, y, m, d);
    return qz::FormatCivilTime("yyyy-mm-dd hh:nn:ss.zzz",
                               qz::CivilTime{y, m, d, ms_of_day / 3600000, ms_of_day / 60000 % 60,
                                             ms_of_day / 1000 % 60, ms_of_day % 1000});
}

bool ParseIsoDate(const std::string& text, double* ole_date) {
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
    if (!qz::IsValidCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)))
        return false; // 2023-02-30 and the like
    const std::int64_t days = qz::DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    *ole_date = static_cast<double>(days - kOleEpochFromUnixDays) +
                (h * 3600000.0 + mi * 60000.0 + s * 1000.0 + ms) / 86400000.0;
    return true;
}

} // namespace tagclient::transport::sim
