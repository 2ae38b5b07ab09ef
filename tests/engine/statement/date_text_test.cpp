// Date-times in the OLE Automation day convention and their texts in the fixed formats.
#include "engine/statement/conversion_error.hpp"
#include "engine/statement/date_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tagsink {
namespace {

struct DateCase {
    double value;
    const char* date;
    const char* time;
    const char* date_time;
};

class DateTexts : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTexts, WriteTheFixedFormats) {
    const DateCase& c = GetParam();
    EXPECT_EQ(FormatShortDate(c.value), c.date);
    EXPECT_EQ(FormatLongTime(c.value), c.time);
    EXPECT_EQ(FormatDateTime(c.value), c.date_time);
}

INSTANTIATE_TEST_SUITE_P(
    OleDays, DateTexts,
    ::testing::Values(DateCase{0.0, "1899-12-30", "00:00:00", "1899-12-30"},
                      DateCase{1.0, "1899-12-31", "00:00:00", "1899-12-31"},
                      DateCase{2.5, "1900-01-01", "12:00:00", "1900-01-01 12:00:00"},
                      DateCase{-1.25, "1899-12-29", "06:00:00", "1899-12-29 06:00:00"},
                      DateCase{-0.5, "1899-12-30", "12:00:00", "1899-12-30 12:00:00"},
                      DateCase{36526.0, "2000-01-01", "00:00:00", "2000-01-01"}, // midnight drops the time
                      DateCase{45292.75, "2024-01-01", "18:00:00", "2024-01-01 18:00:00"},
                      DateCase{45351.0 + 1.0 / 86400.0, "2024-02-29", "00:00:01", "2024-02-29 00:00:01"},
                      DateCase{45292.0 + 0.4 / 86400.0, "2024-01-01", "00:00:00", "2024-01-01"}, // 400 ms
                      DateCase{45292.0 + 86399.9996 / 86400.0, "2024-01-02", "00:00:00", "2024-01-02"},
                      DateCase{-657434.0, "0100-01-01", "00:00:00", "0100-01-01"},
                      DateCase{2958465.5, "9999-12-31", "12:00:00", "9999-12-31 12:00:00"}));

TEST(DateRange, ValuesTheFormatsCannotShowFail) {
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), 2958466.0, -657435.0, 1e300}) {
        EXPECT_THROW(FormatDateTime(bad), ConversionError) << bad;
    }
    try {
        FormatShortDate(3e6);
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "Cannot write 3000000 as a date-time: it lies outside the years 100 to 9999");
    }
}

TEST(DateParts, EncodeIsTheInverseOfDecode) {
    for (double value : {0.0, 1.0, 2.5, -1.25, -700.75, 45292.75, 2958465.5}) {
        EXPECT_DOUBLE_EQ(EncodeDateTime(DecodeDateTime(value)), value) << value;
    }
}

TEST(DatePattern, ReadsTheLettersOfThePattern) {
    DateTimeParts p;
    p.year = 2024;
    p.month = 3;
    p.day = 7;
    p.hour = 9;
    p.minute = 5;
    p.second = 4;
    p.millisecond = 42;
    EXPECT_EQ(FormatDateTimeParts("yyyy-mm-dd hh:nn:ss.zzz", p), "2024-03-07 09:05:04.042");
    EXPECT_EQ(FormatDateTimeParts("d/m/yy h:n:s", p), "7/3/24 9:5:4");
    EXPECT_EQ(FormatDateTimeParts("'at' hh\"h\"", p), "at 09h");
}

TEST(FileTimes, ConvertWithTheGivenOffset) {
    // 2024-01-01 08:00:00 UTC in 100 ns ticks since 1601.
    const std::uint64_t eight_utc = 133485408000000000ULL + 8ULL * 3600ULL * 10000000ULL;
    EXPECT_EQ(FormatDateTime(FileTimeToDateTime(eight_utc, 0)), "2024-01-01 08:00:00");
    EXPECT_EQ(FormatDateTime(FileTimeToDateTime(eight_utc, 8 * 3600)), "2024-01-01 16:00:00");
    EXPECT_EQ(FormatDateTime(FileTimeToDateTime(eight_utc, -9 * 3600)), "2023-12-31 23:00:00");
    // Before 30 December 1899 the fraction still counts forward from midnight.
    EXPECT_EQ(FormatDateTime(FileTimeToDateTime(0, 0)), "1601-01-01");
    EXPECT_EQ(FormatDateTime(FileTimeToDateTime(6ULL * 3600ULL * 10000000ULL, 0)), "1601-01-01 06:00:00");
}

} // namespace
} // namespace tagsink
