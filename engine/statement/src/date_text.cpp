#include "engine/statement/date_text.hpp"

#include "engine/statement/conversion_error.hpp"
#include "engine/statement/number_text.hpp"
#include "locale_text.hpp"
#include "platform/civil_time.hpp"
#include "platform/local_time.hpp"

#include <chrono>
#include <cmath>
#include <ctime>

namespace tagsink {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Day numbers of 1 January 100 and 31 December 9999 counted from 30 December 1899.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958465.0;

bool InRange(double date_time) {
    // A negative value keeps its time of day as a positive fraction: -657434.5 is noon of the first day.
    return date_time > kFirstDay - 1.0 && date_time < kLastDay + 1.0;
}
// Days from 30 December 1899 to 1 January 1970.
constexpr std::int64_t kUnixEpochDay = 25569;
// FILETIME ticks from 1 January 1601 to 30 December 1899.
constexpr std::uint64_t kFileTimeAtDayZero = 94353120000000000ULL;
constexpr double kTicksPerDay = 864000000000.0;

qz::CivilTime CivilOf(const DateTimeParts& parts) {
    return {parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second, parts.millisecond};
}

} // namespace

DateTimeParts DecodeDateTime(double date_time) {
    if (!std::isfinite(date_time))
        throw ConversionError("Cannot write " +
                              std::string(std::isnan(date_time) ? "NaN" : "an infinite value") +
                              " as a date-time");
    if (!InRange(date_time))
        throw ConversionError("Cannot write " + FormatGeneralFloat(date_time, '.') +
                              " as a date-time: it lies outside the years 100 to 9999");
    std::int64_t day_number = static_cast<std::int64_t>(std::trunc(date_time));
    std::int64_t ms = std::llround(std::fabs(date_time - static_cast<double>(day_number)) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ++day_number;
        ms = 0;
    }
    if (static_cast<double>(day_number) > kLastDay)
        throw ConversionError("Cannot write " + FormatGeneralFloat(date_time, '.') +
                              " as a date-time: it lies outside the years 100 to 9999");
    DateTimeParts parts;
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    qz::CivilFromDays(day_number - kUnixEpochDay, year, month, day);
    parts.year = static_cast<int>(year);
    parts.month = static_cast<int>(month);
    parts.day = static_cast<int>(day);
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    return parts;
}

double EncodeDateTime(const DateTimeParts& parts) {
    // The month and day are those of a calendar date (1-12, 1-31): no range check, as documented.
    const double day = static_cast<double>(
        qz::DaysFromCivil(parts.year, static_cast<unsigned>(parts.month), static_cast<unsigned>(parts.day)) +
        kUnixEpochDay);
    const double time =
        ((parts.hour * 60.0 + parts.minute) * 60.0 + parts.second + parts.millisecond / 1000.0) / 86400.0;
    // Before day 0 the time of day still counts forward from midnight: -1.25 is day -1 at 06:00.
    return day >= 0 ? day + time : day - time;
}

std::string FormatDateTimeParts(const std::string& pattern, const DateTimeParts& parts) {
    return qz::FormatCivilTime(pattern, CivilOf(parts));
}

std::string FormatShortDate(double date_time) {
    return FormatDateTimeParts(ShortDateFormat(), DecodeDateTime(date_time));
}

std::string FormatLongTime(double date_time) {
    return FormatDateTimeParts(LongTimeFormat(), DecodeDateTime(date_time));
}

std::string FormatDateTime(double date_time) {
    const DateTimeParts parts = DecodeDateTime(date_time);
    std::string text = FormatDateTimeParts(ShortDateFormat(), parts);
    if (!parts.isMidnight()) {
        text += DateTimeSeparator();
        text += FormatDateTimeParts(LongTimeFormat(), parts);
    }
    return text;
}

double FileTimeToDateTime(std::uint64_t file_time, std::int64_t offset_seconds) {
    // Whole days and the rest are taken apart in integers so that the time of day keeps its precision.
    const std::int64_t ticks = static_cast<std::int64_t>(file_time - kFileTimeAtDayZero) +
                               offset_seconds * 10000000LL; // may be negative
    const std::int64_t per_day = static_cast<std::int64_t>(kTicksPerDay);
    std::int64_t day = ticks / per_day;
    std::int64_t rest = ticks % per_day;
    if (rest < 0) {
        --day;
        rest += per_day;
    }
    const double time = static_cast<double>(rest) / kTicksPerDay;
    return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

std::int64_t CurrentUtcOffsetSeconds() {
    return qz::UtcOffsetSeconds(std::time(nullptr));
}

double LocalNow() {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() +
        CurrentUtcOffsetSeconds() * 1000;
    // Unix milliseconds to FILETIME ticks.
    const std::uint64_t file_time = static_cast<std::uint64_t>(ms) * 10000ULL + 116444736000000000ULL;
    return FileTimeToDateTime(file_time, 0);
}

} // namespace tagsink
