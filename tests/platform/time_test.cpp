// FILETIME / SYSTEMTIME / DATE conversions, local time and the tick counter.
#include "platform/civil_time.hpp"
#include "platform/oleauto.h"
#include "platform/tick_count.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {
// 2024-02-29 12:34:56.789 UTC, a Thursday.
constexpr std::uint64_t kKnownTicks = 133536836967890000ULL;
constexpr double kKnownDateWholeSeconds = 45351.524259259255; // 12:34:56 without the milliseconds
} // namespace

TEST(Time, FileTimeToSystemTimeKnownInstant) {
    const FILETIME ft = qz::MakeFileTime(kKnownTicks);
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wDayOfWeek, 4);
    EXPECT_EQ(st.wHour, 12);
    EXPECT_EQ(st.wMinute, 34);
    EXPECT_EQ(st.wSecond, 56);
    EXPECT_EQ(st.wMilliseconds, 789);
    FILETIME back{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    EXPECT_EQ(qz::FileTimeTicks(back), kKnownTicks);
}

TEST(Time, SystemTimeToVariantTimeDropsMilliseconds) {
    SYSTEMTIME st{2024, 2, 0, 29, 12, 34, 56, 789};
    double date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_DOUBLE_EQ(date, kKnownDateWholeSeconds);
    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4);
    EXPECT_EQ(back.wSecond, 56);
    EXPECT_EQ(back.wMilliseconds, 0);
}

TEST(Time, VariantTimeRoundsToTheNearestSecond) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 0.4 / 86400.0, &st)); // 23:59:59.6 on day 0
    EXPECT_EQ(st.wYear, 1899);
    EXPECT_EQ(st.wMonth, 12);
    EXPECT_EQ(st.wDay, 31);
    EXPECT_EQ(st.wHour, 0);
    EXPECT_EQ(st.wSecond, 0);
}

TEST(Time, NegativeDatesKeepTheTimeAsAbsoluteFraction) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(-1.25, &st));
    EXPECT_EQ(st.wYear, 1899);
    EXPECT_EQ(st.wMonth, 12);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wHour, 6);
    double date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_DOUBLE_EQ(date, -1.25);
}

TEST(Time, RangeLimitsAreRefused) {
    SYSTEMTIME st{};
    EXPECT_FALSE(VariantTimeToSystemTime(3e6, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(std::nan(""), &st));
    SYSTEMTIME bad{2023, 2, 0, 29, 0, 0, 0, 0};
    double date = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &date));
    FILETIME ft{};
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    const FILETIME huge = qz::MakeFileTime(0x8000000000000000ULL);
    EXPECT_FALSE(FileTimeToSystemTime(&huge, &st));
}

TEST(Time, FileTimeToDateKeepsMilliseconds) {
    const auto date = qz::FileTimeToDate(qz::MakeFileTime(kKnownTicks));
    ASSERT_TRUE(date.has_value());
    EXPECT_NEAR(*date, kKnownDateWholeSeconds + 0.789 / 86400.0, 1e-9);
    const auto back = qz::DateToFileTime(*date);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(qz::FileTimeTicks(*back), kKnownTicks);
    EXPECT_FALSE(qz::DateToFileTime(-200000.0).has_value()); // before 1601
}

TEST(Time, LocalFileTimeUsesTheCurrentZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "CST-8", 1); // UTC+8, no daylight saving
    tzset();
    const FILETIME utc = qz::MakeFileTime(kKnownTicks);
    FILETIME local{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(qz::FileTimeTicks(local) - kKnownTicks, 8ULL * 3600 * 10000000);
    const auto local_date = qz::FileTimeToLocalDate(utc);
    ASSERT_TRUE(local_date.has_value());
    EXPECT_EQ(*qz::FormatDate(*local_date), "2024-02-29 20:34:57"); // rounded to the second
    setenv("TZ", "EST5", 1);                                        // UTC-5
    tzset();
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(kKnownTicks - qz::FileTimeTicks(local), 5ULL * 3600 * 10000000);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Time, SystemClockIsNearNow) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto unix_seconds = static_cast<long long>(qz::FileTimeTicks(now) / 10000000ULL) - 11644473600LL;
    EXPECT_LE(std::llabs(unix_seconds - static_cast<long long>(std::time(nullptr))), 2);
}

TEST(Time, TickCountIsLowPartOfTheWideCounter) {
    const std::uint64_t wide = qz::TickCount64();
    const DWORD narrow = GetTickCount();
    EXPECT_LE(qz::TicksElapsed(static_cast<DWORD>(wide), narrow), 1000u);
    EXPECT_GE(qz::TickCount64(), wide);
}

TEST(Time, ElapsedTicksSurviveTheWrap) {
    EXPECT_EQ(qz::TicksElapsed(0xFFFFFF00u, 0x00000100u), 0x200u);
    EXPECT_EQ(qz::TicksElapsed(100u, 5100u), 5000u);
    EXPECT_EQ(qz::TicksElapsed(0xFFFFFFFFu, 0u), 1u);
}

TEST(Time, FixedLocaleDateTexts) {
    EXPECT_EQ(*qz::FormatDate(45351.5), "2024-02-29 12:00:00");
    EXPECT_EQ(*qz::FormatDate(45351.0), "2024-02-29");
    EXPECT_EQ(*qz::FormatDate(0.75), "18:00:00");
    EXPECT_EQ(*qz::FormatDate(0.0), "1899-12-30");
    EXPECT_FALSE(qz::FormatDate(1e7).has_value());
    EXPECT_DOUBLE_EQ(*qz::ParseDate("2024-02-29 12:00:00"), 45351.5);
    EXPECT_DOUBLE_EQ(*qz::ParseDate(" 2024/02/29 "), 45351.0);
    EXPECT_DOUBLE_EQ(*qz::ParseDate("18:00"), 0.75);
    EXPECT_DOUBLE_EQ(*qz::ParseDate("6:00 PM"), 0.75);
    EXPECT_FALSE(qz::ParseDate("2023-02-29").has_value());
    EXPECT_FALSE(qz::ParseDate("24:00:00").has_value());
    EXPECT_FALSE(qz::ParseDate("2024-02-29 x").has_value());
    SYSTEMTIME st{2024, 2, 4, 29, 7, 8, 9, 12};
    EXPECT_EQ(qz::FormatSystemTime("yyyy-mm-dd hh:nn:ss.zzz", st), "2024-02-29 07:08:09.012");
}
