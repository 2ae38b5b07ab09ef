// Calendar arithmetic between DATE, SYSTEMTIME and FILETIME, and the fixed-locale date texts.
#include "platform/civil_time.hpp"
#include "platform/locale_formats.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace qz {

namespace {

// Day numbers (from 1970-01-01) of the DATE epoch (1899-12-30) and the FILETIME epoch (1601-01-01).
constexpr std::int64_t kDateEpochDays = -25569;
constexpr std::int64_t kFileTimeEpochDays = -134774;
constexpr std::int64_t kTicksPerMs = 10000;
constexpr std::int64_t kMsPerDay = 86400000;

bool IsLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Splits a DATE into a signed day count and a non-negative fraction of a day: OLE keeps the time of day
// as the absolute value of the fraction, also before 1899-12-30 (-1.25 is 1899-12-29 06:00).
void SplitDate(double date, double& day, double& fraction) {
    day = std::trunc(date);
    fraction = std::fabs(date - day);
}

// A DATE as whole milliseconds since 1899-12-30 00:00 on a linear time axis.
std::int64_t DateToLinearMs(double date) {
    double day = 0, fraction = 0;
    SplitDate(date, day, fraction);
    return static_cast<std::int64_t>(day) * kMsPerDay + std::llround(fraction * kMsPerDay);
}

double LinearMsToDate(std::int64_t ms) {
    // Floor division: the day the instant falls on, and the time since its midnight.
    std::int64_t day = ms / kMsPerDay;
    std::int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    const double fraction = static_cast<double>(rest) / kMsPerDay;
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

bool InDateRange(double date) {
    return std::isfinite(date) && date >= kMinDate && date < kMaxDate + 0.00001;
}

} // namespace

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& year, unsigned& month, unsigned& day) noexcept {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
}

unsigned DaysInMonth(std::int64_t year, unsigned month) noexcept {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

std::optional<SYSTEMTIME> DateToSystemTime(double date, bool roundToSecond) noexcept {
    if (!InDateRange(date))
        return std::nullopt;
    std::int64_t ms = DateToLinearMs(date);
    if (roundToSecond) {
        // Round the time of day to the nearest second (halves up), carrying into the next day.
        std::int64_t day = ms / kMsPerDay;
        std::int64_t rest = ms % kMsPerDay;
        if (rest < 0) {
            rest += kMsPerDay;
            --day;
        }
        rest = (rest + 500) / 1000 * 1000;
        ms = day * kMsPerDay + rest;
    }
    std::int64_t dayNumber = ms / kMsPerDay;
    std::int64_t msOfDay = ms % kMsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMsPerDay;
        --dayNumber;
    }
    std::int64_t y = 0;
    unsigned mo = 0, d = 0;
    CivilFromDays(dayNumber + kDateEpochDays, y, mo, d);
    if (y < 100 || y > 9999)
        return std::nullopt;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    // 1970-01-01 was a Thursday (4).
    const std::int64_t unixDay = dayNumber + kDateEpochDays;
    st.wDayOfWeek = static_cast<WORD>(((unixDay % 7) + 7 + 4) % 7);
    st.wHour = static_cast<WORD>(msOfDay / 3600000);
    st.wMinute = static_cast<WORD>(msOfDay / 60000 % 60);
    st.wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
    st.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
    return st;
}

std::optional<double> SystemTimeToDate(const SYSTEMTIME& st) noexcept {
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
        return std::nullopt;
    const std::int64_t day = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kDateEpochDays;
    const std::int64_t msOfDay = ((st.wHour * 60 + st.wMinute) * 60 + st.wSecond) * 1000LL + st.wMilliseconds;
    return LinearMsToDate(day * kMsPerDay + msOfDay);
}

std::optional<double> FileTimeToDate(const FILETIME& ft) noexcept {
    const std::uint64_t ticks = FileTimeTicks(ft);
    if (ticks > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    // Milliseconds since 1601, rounded to the nearest millisecond, then moved to the DATE epoch.
    const std::int64_t ms = static_cast<std::int64_t>((ticks + kTicksPerMs / 2) / kTicksPerMs);
    const std::int64_t epochShift = (kDateEpochDays - kFileTimeEpochDays) * kMsPerDay;
    const double date = LinearMsToDate(ms - epochShift);
    if (!InDateRange(date))
        return std::nullopt;
    return date;
}

std::optional<FILETIME> DateToFileTime(double date) noexcept {
    if (!InDateRange(date))
        return std::nullopt;
    const std::int64_t epochShift = (kDateEpochDays - kFileTimeEpochDays) * kMsPerDay;
    const std::int64_t ms = DateToLinearMs(date) + epochShift;
    if (ms < 0)
        return std::nullopt; // before 1601
    return MakeFileTime(static_cast<std::uint64_t>(ms) * kTicksPerMs);
}

std::optional<double> FileTimeToLocalDate(const FILETIME& utc) noexcept {
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local))
        return std::nullopt;
    return FileTimeToDate(local);
}

std::string FormatSystemTime(std::string_view pattern, const SYSTEMTIME& st) {
    std::string out;
    char buf[16];
    auto put = [&](unsigned value, int width) {
        std::snprintf(buf, sizeof buf, "%0*u", width, value);
        out += buf;
    };
    std::size_t i = 0;
    while (i < pattern.size()) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("yyyy")) {
            put(st.wYear, 4);
            i += 4;
        } else if (rest.starts_with("mm")) {
            put(st.wMonth, 2);
            i += 2;
        } else if (rest.starts_with("dd")) {
            put(st.wDay, 2);
            i += 2;
        } else if (rest.starts_with("hh")) {
            put(st.wHour, 2);
            i += 2;
        } else if (rest.starts_with("nn")) {
            put(st.wMinute, 2);
            i += 2;
        } else if (rest.starts_with("ss")) {
            put(st.wSecond, 2);
            i += 2;
        } else if (rest.starts_with("zzz")) {
            put(st.wMilliseconds, 3);
            i += 3;
        } else {
            out += pattern[i];
            ++i;
        }
    }
    return out;
}

std::optional<std::string> FormatDate(double date) {
    const auto st = DateToSystemTime(date, true);
    if (!st)
        return std::nullopt;
    const bool hasTime = st->wHour != 0 || st->wMinute != 0 || st->wSecond != 0;
    const bool isDayZero = st->wYear == 1899 && st->wMonth == 12 && st->wDay == 30;
    if (isDayZero && hasTime)
        return FormatSystemTime(kLongTimeFormat, *st);
    std::string text = FormatSystemTime(kShortDateFormat, *st);
    if (hasTime) {
        text += kDateTimeSeparator;
        text += FormatSystemTime(kLongTimeFormat, *st);
    }
    return text;
}

namespace {

// A small cursor over text with the few readers the date parser needs.
struct Cursor {
    std::string_view s;
    std::size_t pos = 0;
    bool done() const { return pos >= s.size(); }
    char peek() const { return done() ? '\0' : s[pos]; }
    void skipBlanks() {
        while (!done() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
    }
    bool number(unsigned maxDigits, unsigned& value) {
        std::size_t start = pos;
        value = 0;
        while (!done() && std::isdigit(static_cast<unsigned char>(s[pos])) && pos - start < maxDigits)
            value = value * 10 + static_cast<unsigned>(s[pos++] - '0');
        return pos > start;
    }
    bool accept(char c) {
        if (peek() != c)
            return false;
        ++pos;
        return true;
    }
};

bool ParseTimePart(Cursor& c, unsigned& h, unsigned& mi, unsigned& sec, unsigned& ms) {
    if (!c.number(2, h) || !c.accept(':') || !c.number(2, mi))
        return false;
    sec = ms = 0;
    if (c.accept(':')) {
        if (!c.number(2, sec))
            return false;
        if (c.accept(kDecimalSeparator)) {
            unsigned digits = 0;
            const std::size_t start = c.pos;
            if (!c.number(3, digits))
                return false;
            for (std::size_t n = c.pos - start; n < 3; ++n)
                digits *= 10;
            ms = digits;
        }
    }
    c.skipBlanks();
    // 12-hour clock suffixes are accepted as well.
    const std::string_view rest = c.s.substr(c.pos);
    auto is = [&](std::string_view word) {
        if (rest.size() < word.size())
            return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if (std::toupper(static_cast<unsigned char>(rest[k])) != word[k])
                return false;
        return true;
    };
    if (is("AM") || is("PM")) {
        if (h < 1 || h > 12)
            return false;
        const bool pm = std::toupper(static_cast<unsigned char>(rest[0])) == 'P';
        h = (h % 12) + (pm ? 12 : 0);
        c.pos += 2;
    }
    return h < 24 && mi < 60 && sec < 60;
}

} // namespace

std::optional<double> ParseDate(std::string_view text) {
    Cursor c{text};
    c.skipBlanks();
    SYSTEMTIME st{};
    st.wYear = 1899;
    st.wMonth = 12;
    st.wDay = 30;
    const std::size_t start = c.pos;
    unsigned first = 0;
    if (!c.number(4, first))
        return std::nullopt;
    const char sep = c.peek();
    unsigned h = 0, mi = 0, sec = 0, ms = 0;
    if (sep == '-' || sep == '/') {
        unsigned month = 0, day = 0;
        ++c.pos;
        if (c.pos - start != 5 || !c.number(2, month) || !c.accept(sep) || !c.number(2, day))
            return std::nullopt;
        if (first < 100 || first > 9999 || month < 1 || month > 12 || day < 1 ||
            day > DaysInMonth(first, month))
            return std::nullopt;
        st.wYear = static_cast<WORD>(first);
        st.wMonth = static_cast<WORD>(month);
        st.wDay = static_cast<WORD>(day);
        const std::size_t afterDate = c.pos;
        c.skipBlanks();
        if (!c.done() && (c.pos > afterDate || c.peek() == 'T')) {
            c.accept('T');
            if (!ParseTimePart(c, h, mi, sec, ms))
                return std::nullopt;
        }
    } else if (sep == ':') {
        c.pos = start;
        if (!ParseTimePart(c, h, mi, sec, ms))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    c.skipBlanks();
    if (!c.done())
        return std::nullopt;
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(sec);
    st.wMilliseconds = static_cast<WORD>(ms);
    return SystemTimeToDate(st);
}

} // namespace qz
