#include "utc_time_text.hpp"

#include "platform/civil_time.hpp"

#include <cstdio>

namespace tagsink::http {
namespace {

// Milliseconds since 1970-01-01 UTC as text.
std::string IsoTextOfUnixMillis(std::int64_t ms) {
    std::int64_t days = ms / 86'400'000;
    std::int64_t rest = ms % 86'400'000;
    if (rest < 0) {
        rest += 86'400'000;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    qz::CivilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<long long>(year),
                  month, day, static_cast<int>(rest / 3'600'000), static_cast<int>(rest / 60'000 % 60),
                  static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000));
    return text;
}

} // namespace

std::string IsoTextOfFileTime(std::uint64_t file_time) {
    if (file_time == 0)
        return {};
    constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000; // 1970-01-01 in FILETIME ticks
    return IsoTextOfUnixMillis((static_cast<std::int64_t>(file_time) - kUnixEpochTicks) / 10'000);
}

std::string IsoText(std::chrono::system_clock::time_point when) {
    if (when.time_since_epoch().count() == 0)
        return {};
    return IsoTextOfUnixMillis(
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count());
}

} // namespace tagsink::http
