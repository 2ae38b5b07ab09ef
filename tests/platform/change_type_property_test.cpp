// Properties of the conversions over many generated values: text round trips lose nothing that the
// format keeps, and arbitrary text never breaks a conversion.
#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {
const VARTYPE kTargets[] = {VT_I1,   VT_UI1, VT_I2, VT_UI2, VT_I4,   VT_UI4,  VT_I8,   VT_UI8,   VT_INT,
                            VT_UINT, VT_R4,  VT_R8, VT_CY,  VT_DATE, VT_BOOL, VT_BSTR, VT_ERROR, VT_DECIMAL};
} // namespace

TEST(ChangeTypeProperties, IntegersRoundTripThroughText) {
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 20000; ++i) {
        const auto value = static_cast<std::int64_t>(rng());
        const qz::Variant text = qz::Variant(value).convertedTo(VT_BSTR);
        const qz::Variant back = text.convertedTo(VT_I8);
        ASSERT_EQ(back.get().llVal, value) << text.toUtf8();
    }
}

TEST(ChangeTypeProperties, DoublesRoundTripToFifteenDigits) {
    std::mt19937_64 rng(777);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::ldexp(mantissa(rng), exponent(rng));
        const qz::Variant text = qz::Variant(value).convertedTo(VT_BSTR);
        const double back = text.convertedTo(VT_R8).get().dblVal;
        ASSERT_NEAR(back, value, std::fabs(value) * 1e-14) << text.toUtf8();
        const std::string s = text.toUtf8();
        ASSERT_EQ(s.find(','), std::string::npos);
        ASSERT_EQ(s.find('e'), std::string::npos);
    }
}

TEST(ChangeTypeProperties, DatesRoundTripToTheSecond) {
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> days(-657434.0, 2958465.0);
    for (int i = 0; i < 20000; ++i) {
        const double date = days(rng);
        const qz::Variant text = qz::Variant::Date(date).convertedTo(VT_BSTR);
        const double back = text.convertedTo(VT_DATE).get().date;
        // Compare on a linear time axis (before day 0 the fraction counts backwards).
        auto linear = [](double d) {
            const double day = std::trunc(d);
            return day + std::fabs(d - day);
        };
        ASSERT_NEAR(linear(back) * 86400.0, linear(date) * 86400.0, 0.5 + 1e-3) << text.toUtf8();
    }
}

TEST(ChangeTypeProperties, CurrencyRoundTripsExactly) {
    std::mt19937_64 rng(4242);
    for (int i = 0; i < 20000; ++i) {
        const auto units = static_cast<std::int64_t>(rng());
        const qz::Variant text = qz::Variant::Currency(units).convertedTo(VT_BSTR);
        ASSERT_EQ(text.convertedTo(VT_CY).get().cyVal.int64, units) << text.toUtf8();
    }
}

TEST(ChangeTypeProperties, ArbitraryTextNeverBreaksAConversion) {
    static const char kAlphabet[] = "0123456789..--++eEE  \t:/TAPMx,9";
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 2);
    int converted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        const int n = length(rng);
        for (int k = 0; k < n; ++k)
            s.push_back(kAlphabet[pick(rng)]);
        const qz::Variant text(s);
        for (VARTYPE vt : kTargets) {
            qz::Variant out;
            const HRESULT hr = text.tryConvert(vt, out);
            if (SUCCEEDED(hr)) {
                ASSERT_EQ(out.vt(), vt) << s;
                ++converted;
            } else {
                ASSERT_TRUE(hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) << s << " " << std::hex << hr;
                ASSERT_TRUE(out.isEmpty());
            }
        }
    }
    EXPECT_GT(converted, 0);
}
