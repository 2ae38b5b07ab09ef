// Calendar arithmetic between DATE, SYSTEMTIME and FILETIME, and the fixed-locale date texts.
#include "platform/civil_time.hpp"
#include "platform/ascii.hpp"
#include "platform/locale_formats.hpp"

#include <algorithm>
#include <chrono>

#include <cctype>
#include <cmath>

namespace qz {

namespace {

// Day numbers (from 1970-01-01) of the DATE epoch (1899-12-30) and the FILETIME epoch (1601-01-01).
constexpr std::int64_t kDateEpochDays = -25569;
constexpr std::int64_t kFileTimeEpochDays = -134774;
constexpr std::int64_t kTicksPerMs = 10000;
constexpr std::int64_t kMsPerDay = 86400000;

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

// The proleptic Gregorian calendar is <chrono>'s; years outside its range (-32767 to 32767) are clamped
// to it, which no caller reaches (OLE dates span the years 100 to 9999).
namespace {
std::chrono::year ChronoYear(std::int64_t year) {
    return std::chrono::year{static_cast<int>(std::clamp<std::int64_t>(year, -32767, 32767))};
}
} // namespace

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    // A day past the month's end counts on into the next month (2023-02-30 is 2023-03-02), as <chrono>
    // defines it for a valid year and month.
    using namespace std::chrono;
    const year_month_day date{ChronoYear(y), month{m}, day{d}};
    return sys_days{date}.time_since_epoch().count();
}

void CivilFromDays(std::int64_t z, std::int64_t& year, unsigned& month, unsigned& day) noexcept {
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{z}}};
    year = static_cast<int>(date.year());
    month = static_cast<unsigned>(date.month());
    day = static_cast<unsigned>(date.day());
}

unsigned DaysInMonth(std::int64_t year, unsigned month) noexcept {
    if (month < 1 || month > 12)
        return 0;
    using namespace std::chrono;
    return static_cast<unsigned>(
        year_month_day_last{ChronoYear(year), month_day_last{std::chrono::month{month}}}.day());
}

bool IsValidCivil(std::int64_t year, unsigned month, unsigned day) noexcept {
    return year >= -32767 && year <= 32767 &&
           std::chrono::year_month_day{ChronoYear(year), std::chrono::month{month}, std::chrono::day{day}}
               .ok();
}

std::optional<SYSTEMTIME> DateToSystemTime(double date, bool round_to_second) noexcept {
    if (!InDateRange(date))
        return std::nullopt;
    std::int64_t ms = DateToLinearMs(date);
    if (round_to_second) {
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
    std::int64_t day_number = ms / kMsPerDay;
    std::int64_t ms_of_day = ms % kMsPerDay;
    if (ms_of_day < 0) {
        ms_of_day += kMsPerDay;
        --day_number;
    }
    std::int64_t y = 0;
    unsigned mo = 0, d = 0;
    CivilFromDays(day_number + kDateEpochDays, y, mo, d);
    if (y < 100 || y > 9999)
        return std::nullopt;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    // 1970-01-01 was a Thursday (4).
    const std::int64_t unix_day = day_number + kDateEpochDays;
    st.wDayOfWeek = static_cast<WORD>(((unix_day % 7) + 7 + 4) % 7);
    st.wHour = static_cast<WORD>(ms_of_day / 3600000);
    st.wMinute = static_cast<WORD>(ms_of_day / 60000 % 60);
    st.wSecond = static_cast<WORD>(ms_of_day / 1000 % 60);
    st.wMilliseconds = static_cast<WORD>(ms_of_day % 1000);
    return st;
}

std::optional<double> SystemTimeToDate(const SYSTEMTIME& st) noexcept {
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
        return std::nullopt;
    const std::int64_t day = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kDateEpochDays;
    const std::int64_t ms_of_day =
        ((st.wHour * 60 + st.wMinute) * 60 + st.wSecond) * 1000LL + st.wMilliseconds;
    return LinearMsToDate(day * kMsPerDay + ms_of_day);
}

std::optional<double> FileTimeToDate(const FILETIME& ft) noexcept {
    const std::uint64_t ticks = FileTimeTicks(ft);
    if (ticks > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    // Milliseconds since 1601, rounded to the nearest millisecond, then moved to the DATE epoch.
    const std::int64_t ms = static_cast<std::int64_t>((ticks + kTicksPerMs / 2) / kTicksPerMs);
    const std::int64_t epoch_shift = (kDateEpochDays - kFileTimeEpochDays) * kMsPerDay;
    const double date = LinearMsToDate(ms - epoch_shift);
    if (!InDateRange(date))
        return std::nullopt;
    return date;
}

std::optional<FILETIME> DateToFileTime(double date) noexcept {
    if (!InDateRange(date))
        return std::nullopt;
    const std::int64_t epoch_shift = (kDateEpochDays - kFileTimeEpochDays) * kMsPerDay;
    const std::int64_t ms = DateToLinearMs(date) + epoch_shift;
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

std::string FormatCivilTime(std::string_view pattern, const CivilTime& t) {
    std::string out;
    auto put = [&out](std::int64_t value, std::size_t width) {
        std::string digits = std::to_string(value < 0 ? -value : value);
        if (value < 0)
            out += '-';
        if (digits.size() < width)
            out.append(width - digits.size(), '0');
        out += digits;
    };
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            out.append(pattern.substr(i + 1, end - i - 1));
            i = end == pattern.size() ? end : end + 1;
            continue;
        }
        const char letter = AsciiLower(c);
        std::size_t run = 1;
        while (i + run < pattern.size() && AsciiLower(pattern[i + run]) == letter)
            ++run;
        const std::size_t width = run >= 2 ? 2 : 1;
        switch (letter) {
        case 'y':
            if (run >= 2 && run < 4)
                put(t.year % 100 < 0 ? -(t.year % 100) : t.year % 100, 2);
            else
                put(t.year, 4);
            break;
        case 'm':
            put(t.month, width);
            break;
        case 'd':
            put(t.day, width);
            break;
        case 'h':
            put(t.hour, width);
            break;
        case 'n':
            put(t.minute, width);
            break;
        case 's':
            put(t.second, width);
            break;
        case 'z':
            put(t.millisecond, run >= 3 ? 3 : 1);
            break;
        default:
            out.append(pattern.substr(i, run));
            break;
        }
        i += run;
    }
    return out;
}

std::string FormatSystemTime(std::string_view pattern, const SYSTEMTIME& st) {
    return FormatCivilTime(
        pattern, CivilTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds});
}

std::optional<std::string> FormatDate(double date) {
    const auto st = DateToSystemTime(date, true);
    if (!st)
        return std::nullopt;
    const bool has_time = st->wHour != 0 || st->wMinute != 0 || st->wSecond != 0;
    const bool is_day_zero = st->wYear == 1899 && st->wMonth == 12 && st->wDay == 30;
    if (is_day_zero && has_time)
        return FormatSystemTime(kLongTimeFormat, *st);
    std::string text = FormatSystemTime(kShortDateFormat, *st);
    if (has_time) {
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
    bool number(unsigned max_digits, unsigned& value) {
        std::size_t start = pos;
        value = 0;
        while (!done() && std::isdigit(static_cast<unsigned char>(s[pos])) && pos - start < max_digits)
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
        return rest.size() >= word.size() && EqualsNoCase(rest.substr(0, word.size()), word);
    };
    if (is("AM") || is("PM")) {
        if (h < 1 || h > 12)
            return false;
        const bool pm = AsciiLower(rest[0]) == 'p';
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
        const std::size_t after_date = c.pos;
        c.skipBlanks();
        if (!c.done() && (c.pos > after_date || c.peek() == 'T')) {
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
