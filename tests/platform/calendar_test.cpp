// The one calendar and the one date-pattern formatter.
#include "platform/civil_time.hpp"
#include "platform/locale_formats.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Calendar, DayNumbersAroundTheEpochsAndLeapYears) {
    EXPECT_EQ(qz::DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(qz::DaysFromCivil(1899, 12, 30), -25569) << "the OLE date origin";
    EXPECT_EQ(qz::DaysFromCivil(1601, 1, 1), -134774) << "the FILETIME origin";
    EXPECT_EQ(qz::DaysFromCivil(2000, 3, 1) - qz::DaysFromCivil(2000, 2, 28), 2) << "2000 is a leap year";
    EXPECT_EQ(qz::DaysFromCivil(1900, 3, 1) - qz::DaysFromCivil(1900, 2, 28), 1) << "1900 is not";
    EXPECT_EQ(qz::DaysFromCivil(2023, 2, 30), qz::DaysFromCivil(2023, 3, 2))
        << "a day past the month counts on";
    for (std::int64_t day : {-657434LL - 25569, -134774LL, -1LL, 0LL, 19782LL, 2958465LL - 25569}) {
        std::int64_t y = 0;
        unsigned m = 0, d = 0;
        qz::CivilFromDays(day, y, m, d);
        EXPECT_EQ(qz::DaysFromCivil(y, m, d), day) << y << "-" << m << "-" << d;
        EXPECT_TRUE(qz::IsValidCivil(y, m, d));
    }
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    qz::CivilFromDays(-657434 - 25569, y, m, d);
    EXPECT_EQ(y, 100);
    EXPECT_EQ(m, 1u);
    EXPECT_EQ(d, 1u);
}

TEST(Calendar, MonthLengthsAndValidity) {
    EXPECT_EQ(qz::DaysInMonth(2024, 2), 29u);
    EXPECT_EQ(qz::DaysInMonth(2100, 2), 28u);
    EXPECT_EQ(qz::DaysInMonth(2400, 2), 29u);
    EXPECT_EQ(qz::DaysInMonth(2023, 4), 30u);
    EXPECT_EQ(qz::DaysInMonth(2023, 12), 31u);
    EXPECT_EQ(qz::DaysInMonth(2023, 0), 0u);
    EXPECT_EQ(qz::DaysInMonth(2023, 13), 0u);
    EXPECT_TRUE(qz::IsValidCivil(2024, 2, 29));
    EXPECT_FALSE(qz::IsValidCivil(2023, 2, 29));
    EXPECT_FALSE(qz::IsValidCivil(2023, 13, 1));
    EXPECT_FALSE(qz::IsValidCivil(2023, 1, 0));
    EXPECT_FALSE(qz::IsValidCivil(40000, 1, 1)) << "outside the calendar's years";
}

TEST(DatePattern, OneRuleSetForEveryPattern) {
    const qz::CivilTime t{2024, 3, 7, 9, 5, 4, 42};
    EXPECT_EQ(qz::FormatCivilTime("yyyy-mm-dd hh:nn:ss.zzz", t), "2024-03-07 09:05:04.042");
    EXPECT_EQ(qz::FormatCivilTime("d/m/yy h:n:s.z", t), "7/3/24 9:5:4.42");
    EXPECT_EQ(qz::FormatCivilTime("YYYY-MM-DD HH:NN:SS", t), "2024-03-07 09:05:04") << "letters in any case";
    EXPECT_EQ(qz::FormatCivilTime("y", t), "2024") << "a single y is the whole year";
    EXPECT_EQ(qz::FormatCivilTime("'at' hh\"h\"", t), "at 09h") << "quoted text without its quotes";
    EXPECT_EQ(qz::FormatCivilTime("'unclosed", t), "unclosed");
    EXPECT_EQ(qz::FormatCivilTime("hh-:-x", t), "09-:-x") << "other characters as they stand";
    EXPECT_EQ(qz::FormatCivilTime("", t), "");
}

TEST(DatePattern, TheFixedLocaleFormatsThroughBothEntryPoints) {
    // Variant-to-text (SYSTEMTIME) and SQL text (calendar fields) write the same text for the same value.
    const SYSTEMTIME st{2024, 2, 4, 29, 7, 8, 9, 12};
    const qz::CivilTime t{2024, 2, 29, 7, 8, 9, 12};
    for (std::string_view pattern : {qz::kShortDateFormat, qz::kLongTimeFormat}) {
        EXPECT_EQ(qz::FormatSystemTime(pattern, st), qz::FormatCivilTime(pattern, t)) << pattern;
    }
    EXPECT_EQ(qz::FormatSystemTime(qz::kShortDateFormat, st), "2024-02-29");
    EXPECT_EQ(qz::FormatSystemTime(qz::kLongTimeFormat, st), "07:08:09");
}

} // namespace
