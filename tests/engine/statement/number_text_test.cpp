// The general floating-point format, the BCD cut and 32-bit rounding.
#include "engine/statement/conversion_error.hpp"
#include "engine/statement/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace tagsink {
namespace {

struct GeneralCase {
    double value;
    const char* text;
};

class GeneralFormat : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralFormat, WritesFifteenSignificantDigits) {
    EXPECT_EQ(FormatGeneralFloat(GetParam().value, '.'), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, GeneralFormat,
    ::testing::Values(
        GeneralCase{0.0, "0"}, GeneralCase{-0.0, "0"}, GeneralCase{1.5, "1.5"}, GeneralCase{7.0, "7"},
        GeneralCase{-2.25, "-2.25"}, GeneralCase{0.1 + 0.2, "0.3"},
        GeneralCase{1.0 / 3.0, "0.333333333333333"}, GeneralCase{2.0 / 3.0, "0.666666666666667"},
        GeneralCase{123456789012345.0, "123456789012345"}, GeneralCase{999999999999999.0, "999999999999999"},
        GeneralCase{1234567890123456.0, "1.23456789012346E15"}, GeneralCase{9999999999999999.0, "1E16"},
        GeneralCase{1.5e20, "1.5E20"}, GeneralCase{-1.5e20, "-1.5E20"}, GeneralCase{1e-5, "0.00001"},
        GeneralCase{1.25e-5, "0.0000125"}, GeneralCase{1e-6, "1E-6"}, GeneralCase{-1.5e-7, "-1.5E-7"},
        GeneralCase{1e100, "1E100"}, GeneralCase{1e-300, "1E-300"},
        GeneralCase{100000000000000.5, "100000000000001"}, // halves away from zero
        GeneralCase{0.000009999999999999999, "0.00001"},   // rounding moves it into fixed notation
        GeneralCase{123.456, "123.456"}, GeneralCase{1e15, "1E15"}, GeneralCase{1e14, "100000000000000"},
        GeneralCase{std::numeric_limits<double>::max(), "1.79769313486232E308"},
        GeneralCase{std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"}));

TEST(GeneralFormatSeparator, UsesTheGivenDecimalSeparator) {
    EXPECT_EQ(FormatGeneralFloat(1.5, ','), "1,5");
    EXPECT_EQ(FormatGeneralFloat(1.5e-9, ','), "1,5E-9");
}

TEST(GeneralFormatFloat, KeepsTheDigitsASingleWasGiven) {
    EXPECT_EQ(FormatGeneral(FloatDigits(0.1f), '.'), "0.1");
    EXPECT_EQ(FormatGeneral(FloatDigits(16777216.0f), '.'), "16777216");
    EXPECT_EQ(FormatGeneral(FloatDigits(-3.4028235e38f), '.'), "-3.4028235E38");
    EXPECT_EQ(FormatGeneral(FloatDigits(1e-7f), '.'), "1E-7");
    EXPECT_EQ(FormatGeneral(FloatDigits(0.0f), '.'), "0");
}

// The digits from the full decimal expansion, rounded half away from zero: slow, but plainly right.
std::string ReferenceGeneral(double value) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.60e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p)
        if (*p != '.')
            digits.push_back(*p);
    int exponent = std::atoi(p + 1);
    bool up = digits[15] >= '5';
    digits.resize(15);
    if (up) {
        int i = 14;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[i];
        }
    }
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    return FormatGeneral(DecimalDigits{std::signbit(value), digits, exponent}, '.');
}

TEST(GeneralFormatDigits, AgreeWithTheFullExpansionForRandomDoubles) {
    std::mt19937_64 random(20240101);
    int checked = 0;
    for (int i = 0; i < 60000; ++i) {
        std::uint64_t bits = random();
        if (i % 2 == 0) // also plenty of everyday magnitudes
            bits = (bits & 0x800FFFFFFFFFFFFFULL) | (static_cast<std::uint64_t>(1000 + random() % 100) << 52);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value) || value == 0.0)
            continue;
        ASSERT_EQ(FormatGeneralFloat(value, '.'), ReferenceGeneral(value)) << std::hexfloat << value;
        ++checked;
    }
    EXPECT_GT(checked, 55000);
}

struct BcdCase {
    double value;
    const char* text;
};

class BcdFormat : public ::testing::TestWithParam<BcdCase> {};

TEST_P(BcdFormat, CutsToFourDecimals) {
    EXPECT_EQ(FormatBcd(DoubleDigits(GetParam().value), '.'), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Numbers, BcdFormat,
                         ::testing::Values(BcdCase{0.0, "0"}, BcdCase{1.5, "1.5"}, BcdCase{1.23456, "1.2345"},
                                           BcdCase{1.99999, "1.9999"}, BcdCase{-1.99999, "-1.9999"},
                                           BcdCase{2.00001, "2"}, BcdCase{0.00009, "0"},
                                           BcdCase{-0.00009, "0"}, BcdCase{1e-6, "0"},
                                           BcdCase{0.0001, "0.0001"}, BcdCase{12.3, "12.3"},
                                           BcdCase{100.0, "100"}, BcdCase{1.5e17, "150000000000000000"},
                                           BcdCase{9.99999999999999e17, "999999999999999000"},
                                           BcdCase{123456789012.34567, "123456789012.346"}));

TEST(BcdOverflow, MoreThanEighteenIntegerDigitsFail) {
    EXPECT_THROW(FormatBcd(DoubleDigits(1e18), '.'), ConversionError);
    EXPECT_THROW(FormatBcd(DoubleDigits(-1.5e20), '.'), ConversionError);
    try {
        FormatBcd(DoubleDigits(1e18), '.');
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "BCD overflow");
    }
}

struct RoundCase {
    double value;
    std::int32_t result;
};

class BankersRounding : public ::testing::TestWithParam<RoundCase> {};

TEST_P(BankersRounding, RoundsHalvesToEven) {
    EXPECT_EQ(RoundToInt32(GetParam().value, "v"), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, BankersRounding,
    ::testing::Values(RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.5, 2}, RoundCase{3.5, 4},
                      RoundCase{-0.5, 0}, RoundCase{-1.5, -2}, RoundCase{-2.5, -2}, RoundCase{2.4999999, 2},
                      RoundCase{2.5000001, 3}, RoundCase{-7.0, -7}, RoundCase{2147483647.0, 2147483647},
                      RoundCase{2147483647.4, 2147483647}, RoundCase{-2147483648.0, -2147483648},
                      RoundCase{-2147483648.5, -2147483648}));

TEST(Int32Range, ResultsOutsideTheRangeFailWithTheValue) {
    for (double bad : {2147483647.5, 2147483648.0, -2147483649.0, 1e300, std::nan(""),
                       std::numeric_limits<double>::infinity()}) {
        try {
            RoundToInt32(bad, "V", "ftInteger");
            ADD_FAILURE() << bad << " was accepted";
        } catch (const ConversionError& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot convert V to ftInteger"), std::string::npos)
                << e.what();
        }
    }
}

} // namespace
} // namespace tagsink
