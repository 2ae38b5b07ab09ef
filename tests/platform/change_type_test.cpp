// VariantChangeType: one table of conversions with their expected value or failure.
#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using qz::Variant;

struct Conversion {
    std::string name;
    Variant from;
    VARTYPE to;
    USHORT flags;
    HRESULT hr;
    Variant expected; // the exact result when hr is S_OK
};

void PrintTo(const Conversion& c, std::ostream* os) {
    *os << c.name;
}

Variant Text(const char* s) {
    return Variant(s);
}
Variant Cy(std::int64_t units) {
    return Variant::Currency(units);
}
Variant Dec(const char* text) {
    return Variant(text).convertedTo(VT_DECIMAL);
}
Variant I4(std::int32_t v) {
    return Variant(v);
}

// Exact sameness: same type and the same bits of the value (texts compared as texts).
::testing::AssertionResult Same(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt)
        return ::testing::AssertionFailure() << "type " << a.vt << " != " << b.vt;
    bool same = true;
    switch (a.vt) {
    case VT_BSTR:
        same = std::u16string_view(a.bstrVal ? a.bstrVal : u"", SysStringLen(a.bstrVal)) ==
               std::u16string_view(b.bstrVal ? b.bstrVal : u"", SysStringLen(b.bstrVal));
        if (!same)
            return ::testing::AssertionFailure()
                   << "text '" << qz::Utf16ToUtf8(a.bstrVal ? a.bstrVal : u"") << "' != '"
                   << qz::Utf16ToUtf8(b.bstrVal ? b.bstrVal : u"") << "'";
        break;
    case VT_DECIMAL:
        same = a.decVal.scale == b.decVal.scale && a.decVal.sign == b.decVal.sign &&
               a.decVal.Hi32 == b.decVal.Hi32 && a.decVal.Lo64 == b.decVal.Lo64;
        break;
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_R4:
        same = a.fltVal == b.fltVal;
        break;
    case VT_R8:
    case VT_DATE:
        same = a.dblVal == b.dblVal;
        if (!same)
            return ::testing::AssertionFailure() << a.dblVal << " != " << b.dblVal;
        break;
    case VT_I1:
    case VT_UI1:
        same = a.bVal == b.bVal;
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        same = a.iVal == b.iVal;
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
        same = a.lVal == b.lVal;
        break;
    default:
        same = (a.vt & VT_ARRAY) ? qz::VariantEquals(a, b) : a.llVal == b.llVal;
        break;
    }
    if (!same)
        return ::testing::AssertionFailure() << "value " << a.llVal << " != " << b.llVal;
    return same ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "values differ";
}

constexpr HRESULT kOk = S_OK;
constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT OVERFLOW_ = DISP_E_OVERFLOW;

std::vector<Conversion> Table() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::int32_t> ints{1, 2, 3};
    const Variant int_array = Variant::Array(std::span<const std::int32_t>(ints));
    VARIANT by_ref;
    static LONG referenced = 42;
    VariantInit(&by_ref);
    by_ref.vt = VT_BYREF | VT_I4;
    by_ref.plVal = &referenced;
    return {
        // Integer targets round halves to even.
        {"R8_2_5_to_I4", Variant(2.5), VT_I4, 0, kOk, I4(2)},
        {"R8_3_5_to_I4", Variant(3.5), VT_I4, 0, kOk, I4(4)},
        {"R8_minus2_5_to_I4", Variant(-2.5), VT_I4, 0, kOk, I4(-2)},
        {"R8_minus3_5_to_I4", Variant(-3.5), VT_I4, 0, kOk, I4(-4)},
        {"R8_2_4999_to_I4", Variant(2.4999), VT_I4, 0, kOk, I4(2)},
        {"R8_2_5000001_to_I4", Variant(2.5000001), VT_I4, 0, kOk, I4(3)},
        {"R8_I4_max_rounds_down", Variant(2147483647.4), VT_I4, 0, kOk, I4(2147483647)},
        {"R8_I4_max_half_overflows", Variant(2147483647.5), VT_I4, 0, OVERFLOW_, {}},
        {"R8_I4_min_half_is_even", Variant(-2147483648.5), VT_I4, 0, kOk, I4(-2147483647 - 1)},
        {"R8_below_I4_min", Variant(-2147483649.0), VT_I4, 0, OVERFLOW_, {}},
        {"R8_255_5_to_UI1_overflows", Variant(255.5), VT_UI1, 0, OVERFLOW_, {}},
        {"R8_255_49_to_UI1", Variant(255.49), VT_UI1, 0, kOk, Variant(std::uint8_t{255})},
        {"R8_minus0_4_to_UI1", Variant(-0.4), VT_UI1, 0, kOk, Variant(std::uint8_t{0})},
        {"R8_minus0_6_to_UI1", Variant(-0.6), VT_UI1, 0, OVERFLOW_, {}},
        {"R8_NaN_to_I4", Variant(nan), VT_I4, 0, OVERFLOW_, {}},
        {"R8_1e19_to_UI8", Variant(1e19), VT_UI8, 0, kOk, Variant(std::uint64_t{10000000000000000000ULL})},
        {"R8_2e19_to_UI8", Variant(2e19), VT_UI8, 0, OVERFLOW_, {}},
        {"I4_128_to_I1", I4(128), VT_I1, 0, OVERFLOW_, {}},
        {"I4_minus129_to_I1", I4(-129), VT_I1, 0, OVERFLOW_, {}},
        {"I4_127_to_I1", I4(127), VT_I1, 0, kOk, Variant(std::int8_t{127})},
        {"I4_minus1_to_UI4", I4(-1), VT_UI4, 0, OVERFLOW_, {}},
        {"I4_70000_to_UI2", I4(70000), VT_UI2, 0, OVERFLOW_, {}},
        {"I4_70000_to_I2", I4(70000), VT_I2, 0, OVERFLOW_, {}},
        {"UI8_max_to_I8", Variant(std::numeric_limits<std::uint64_t>::max()), VT_I8, 0, OVERFLOW_, {}},
        {"I8_minus1_to_UI8", Variant(std::int64_t{-1}), VT_UI8, 0, OVERFLOW_, {}},
        {"I8_to_R8", Variant(std::int64_t{1} << 53), VT_R8, 0, kOk, Variant(9007199254740992.0)},
        {"I4_to_INT", I4(5), VT_INT, 0, kOk,
         [] {
             Variant v = I4(5);
             VARIANT r = v.release();
             r.vt = VT_INT;
             Variant w;
             w.attach(r);
             return w;
         }()},
        // Text to numbers: fixed locale, blanks allowed, no thousand separators.
        {"text_42_blanks", Text(" 42 "), VT_I4, 0, kOk, I4(42)},
        {"text_1_5_to_I4", Text("1.5"), VT_I4, 0, kOk, I4(2)},
        {"text_2_5_to_I4", Text("2.5"), VT_I4, 0, kOk, I4(2)},
        {"text_2_50001_to_I4", Text("2.50001"), VT_I4, 0, kOk, I4(3)},
        {"text_minus7_to_I2", Text("-7"), VT_I2, 0, kOk, Variant(std::int16_t{-7})},
        {"text_exponent_to_I4", Text("1e3"), VT_I4, 0, kOk, I4(1000)},
        {"text_word_to_I4", Text("abc"), VT_I4, 0, kMismatch, {}},
        {"text_empty_to_I4", Text(""), VT_I4, 0, kMismatch, {}},
        {"text_thousands_to_I4", Text("1,000"), VT_I4, 0, kMismatch, {}},
        {"text_comma_decimal_to_R8", Text("1,5"), VT_R8, 0, kMismatch, {}},
        {"text_trailing_letter", Text("12a"), VT_I4, 0, kMismatch, {}},
        {"text_sign_only", Text("+"), VT_R8, 0, kMismatch, {}},
        {"text_bare_exponent", Text("1e"), VT_R8, 0, kMismatch, {}},
        {"text_I8_max", Text("9223372036854775807"), VT_I8, 0, kOk,
         Variant(std::int64_t{9223372036854775807LL})},
        {"text_I8_overflow", Text("9223372036854775808"), VT_I8, 0, OVERFLOW_, {}},
        {"text_UI8_max", Text("18446744073709551615"), VT_UI8, 0, kOk,
         Variant(std::numeric_limits<std::uint64_t>::max())},
        {"text_huge_to_I4", Text("1e30"), VT_I4, 0, OVERFLOW_, {}},
        {"text_1_5_to_R8", Text("1.5"), VT_R8, 0, kOk, Variant(1.5)},
        {"text_scientific_to_R8", Text(" -0.25E-2 "), VT_R8, 0, kOk, Variant(-0.0025)},
        {"text_point_5", Text(".5"), VT_R8, 0, kOk, Variant(0.5)},
        {"text_5_point", Text("5."), VT_R8, 0, kOk, Variant(5.0)},
        {"text_1e400_to_R8", Text("1e400"), VT_R8, 0, OVERFLOW_, {}},
        {"text_1e_minus400_to_R8", Text("1e-400"), VT_R8, 0, kOk, Variant(0.0)},
        {"text_to_R4_overflow", Text("3.5e38"), VT_R4, 0, OVERFLOW_, {}},
        {"text_0_1_to_R4", Text("0.1"), VT_R4, 0, kOk, Variant(0.1f)},
        {"R8_to_R4_overflow", Variant(1e39), VT_R4, 0, OVERFLOW_, {}},
        // Numbers to text: shortest general form, 15 digits for R8, 7 for R4.
        {"R8_1_5_text", Variant(1.5), VT_BSTR, 0, kOk, Text("1.5")},
        {"R8_1e20_text", Variant(1e20), VT_BSTR, 0, kOk, Text("1E+20")},
        {"R8_0_0001_text", Variant(0.0001), VT_BSTR, 0, kOk, Text("0.0001")},
        {"R8_0_00001_text", Variant(0.00001), VT_BSTR, 0, kOk, Text("1E-05")},
        {"R8_100_text", Variant(100.0), VT_BSTR, 0, kOk, Text("100")},
        {"R8_negative_zero_text", Variant(-0.0), VT_BSTR, 0, kOk, Text("0")},
        {"R8_third_text", Variant(1.0 / 3.0), VT_BSTR, 0, kOk, Text("0.333333333333333")},
        {"R8_15_digits_text", Variant(123456789012345.0), VT_BSTR, 0, kOk, Text("123456789012345")},
        {"R8_1e15_text", Variant(1e15), VT_BSTR, 0, kOk, Text("1E+15")},
        {"R8_18_digits_text", Variant(123456789012345678.0), VT_BSTR, 0, kOk, Text("1.23456789012346E+17")},
        {"R8_negative_text", Variant(-2.75), VT_BSTR, 0, kOk, Text("-2.75")},
        {"R4_0_1_text", Variant(0.1f), VT_BSTR, 0, kOk, Text("0.1")},
        {"R4_third_text", Variant(1.0f / 3.0f), VT_BSTR, 0, kOk, Text("0.3333333")},
        {"R4_2pow24_text", Variant(16777216.0f), VT_BSTR, 0, kOk, Text("1.677722E+07")},
        {"I4_text", I4(-5), VT_BSTR, 0, kOk, Text("-5")},
        {"UI8_max_text", Variant(std::numeric_limits<std::uint64_t>::max()), VT_BSTR, 0, kOk,
         Text("18446744073709551615")},
        {"I1_text", Variant(std::int8_t{-128}), VT_BSTR, 0, kOk, Text("-128")},
        // Currency: value * 10000, halves to even.
        {"CY_text", Cy(15000), VT_BSTR, 0, kOk, Text("1.5")},
        {"CY_negative_text", Cy(-12345678), VT_BSTR, 0, kOk, Text("-1234.5678")},
        {"CY_whole_text", Cy(1000000), VT_BSTR, 0, kOk, Text("100")},
        {"CY_zero_text", Cy(0), VT_BSTR, 0, kOk, Text("0")},
        {"text_to_CY_half_even_down", Text("0.00005"), VT_CY, 0, kOk, Cy(0)},
        {"text_to_CY_half_even_up", Text("0.00015"), VT_CY, 0, kOk, Cy(2)},
        {"text_to_CY_1_23455", Text("1.23455"), VT_CY, 0, kOk, Cy(12346)},
        {"text_to_CY_1_23445", Text("1.23445"), VT_CY, 0, kOk, Cy(12344)},
        {"R8_to_CY", Variant(1.23456), VT_CY, 0, kOk, Cy(12346)},
        {"R8_to_CY_overflow", Variant(1e15), VT_CY, 0, OVERFLOW_, {}},
        {"I8_max_to_CY", Variant(std::int64_t{9223372036854775807LL}), VT_CY, 0, OVERFLOW_, {}},
        {"CY_2_5_to_I4", Cy(25000), VT_I4, 0, kOk, I4(2)},
        {"CY_3_5_to_I4", Cy(35000), VT_I4, 0, kOk, I4(4)},
        {"CY_1_5001_to_I4", Cy(15001), VT_I4, 0, kOk, I4(2)},
        {"CY_to_R8", Cy(-15000), VT_R8, 0, kOk, Variant(-1.5)},
        // Booleans.
        {"BOOL_true_text_numeric", Variant(true), VT_BSTR, 0, kOk, Text("-1")},
        {"BOOL_false_text_numeric", Variant(false), VT_BSTR, 0, kOk, Text("0")},
        {"BOOL_true_text_alpha", Variant(true), VT_BSTR, VARIANT_ALPHABOOL, kOk, Text("True")},
        {"BOOL_false_text_alpha", Variant(false), VT_BSTR, VARIANT_ALPHABOOL, kOk, Text("False")},
        {"text_True_to_BOOL", Text("True"), VT_BOOL, 0, kOk, Variant(true)},
        {"text_false_to_BOOL", Text("false"), VT_BOOL, 0, kOk, Variant(false)},
        {"text_TRUE_blanks_to_BOOL", Text(" TRUE "), VT_BOOL, 0, kOk, Variant(true)},
        {"text_0_to_BOOL", Text("0"), VT_BOOL, 0, kOk, Variant(false)},
        {"text_2_5_to_BOOL", Text("2.5"), VT_BOOL, 0, kOk, Variant(true)},
        {"text_yes_to_BOOL", Text("yes"), VT_BOOL, 0, kMismatch, {}},
        {"I4_0_to_BOOL", I4(0), VT_BOOL, 0, kOk, Variant(false)},
        {"R8_0_1_to_BOOL", Variant(0.1), VT_BOOL, 0, kOk, Variant(true)},
        {"BOOL_to_I4", Variant(true), VT_I4, 0, kOk, I4(-1)},
        {"BOOL_to_UI1", Variant(true), VT_UI1, 0, kOk, Variant(std::uint8_t{255})},
        {"BOOL_to_R8", Variant(true), VT_R8, 0, kOk, Variant(-1.0)},
        // Empty converts to zero, empty text and false; null only to itself.
        {"EMPTY_to_I4", Variant(), VT_I4, 0, kOk, I4(0)},
        {"EMPTY_to_R8", Variant(), VT_R8, 0, kOk, Variant(0.0)},
        {"EMPTY_to_BOOL", Variant(), VT_BOOL, 0, kOk, Variant(false)},
        {"EMPTY_to_BSTR", Variant(), VT_BSTR, 0, kOk, Text("")},
        {"EMPTY_to_DATE", Variant(), VT_DATE, 0, kOk, Variant::Date(0)},
        {"EMPTY_to_CY", Variant(), VT_CY, 0, kOk, Cy(0)},
        {"EMPTY_to_ERROR", Variant(), VT_ERROR, 0, kMismatch, {}},
        {"NULL_to_I4", Variant::Null(), VT_I4, 0, kMismatch, {}},
        {"NULL_to_BSTR", Variant::Null(), VT_BSTR, 0, kMismatch, {}},
        {"NULL_to_EMPTY", Variant::Null(), VT_EMPTY, 0, kMismatch, {}},
        {"NULL_to_NULL", Variant::Null(), VT_NULL, 0, kOk, Variant::Null()},
        {"I4_to_EMPTY", I4(3), VT_EMPTY, 0, kOk, Variant()},
        {"I4_to_NULL", I4(3), VT_NULL, 0, kMismatch, {}},
        // Errors convert only to themselves, VT_I4 and VT_UI4.
        {"ERROR_to_I4", Variant::Error(E_FAIL), VT_I4, 0, kOk, I4(static_cast<std::int32_t>(E_FAIL))},
        {"ERROR_to_UI4", Variant::Error(E_FAIL), VT_UI4, 0, kOk, Variant(std::uint32_t{0x80004005u})},
        {"ERROR_to_I2", Variant::Error(E_FAIL), VT_I2, 0, kMismatch, {}},
        {"ERROR_to_R8", Variant::Error(E_FAIL), VT_R8, 0, kMismatch, {}},
        {"ERROR_to_BOOL", Variant::Error(E_FAIL), VT_BOOL, 0, kMismatch, {}},
        {"ERROR_to_BSTR", Variant::Error(E_FAIL), VT_BSTR, 0, kMismatch, {}},
        {"ERROR_to_ERROR", Variant::Error(E_FAIL), VT_ERROR, 0, kOk, Variant::Error(E_FAIL)},
        {"I4_to_ERROR", I4(5), VT_ERROR, 0, kOk, Variant::Error(5)},
        {"R8_to_ERROR", Variant(5.0), VT_ERROR, 0, kMismatch, {}},
        // Dates.
        {"DATE_text", Variant::Date(45351.5), VT_BSTR, 0, kOk, Text("2024-02-29 12:00:00")},
        {"DATE_midnight_text", Variant::Date(45351.0), VT_BSTR, 0, kOk, Text("2024-02-29")},
        {"DATE_time_only_text", Variant::Date(0.5), VT_BSTR, 0, kOk, Text("12:00:00")},
        {"DATE_out_of_range_text", Variant::Date(1e7), VT_BSTR, 0, OVERFLOW_, {}},
        {"text_to_DATE", Text("2024-02-29 12:00:00"), VT_DATE, 0, kOk, Variant::Date(45351.5)},
        {"text_date_only_to_DATE", Text("2024-02-29"), VT_DATE, 0, kOk, Variant::Date(45351.0)},
        {"text_time_only_to_DATE", Text("06:00:00"), VT_DATE, 0, kOk, Variant::Date(0.25)},
        {"garbage_to_DATE", Text("yesterday"), VT_DATE, 0, kMismatch, {}},
        {"R8_to_DATE_overflow", Variant(1e7), VT_DATE, 0, OVERFLOW_, {}},
        {"R8_to_DATE", Variant(45351.5), VT_DATE, 0, kOk, Variant::Date(45351.5)},
        {"DATE_to_R8", Variant::Date(45351.5), VT_R8, 0, kOk, Variant(45351.5)},
        {"DATE_to_I4_half_even", Variant::Date(2.5), VT_I4, 0, kOk, I4(2)},
        // Arrays convert only to the same array type.
        {"array_same_type", int_array, VT_ARRAY | VT_I4, 0, kOk, int_array},
        {"array_other_type", int_array, VT_ARRAY | VT_R8, 0, kMismatch, {}},
        {"array_to_BSTR", int_array, VT_BSTR, 0, kMismatch, {}},
        {"scalar_to_array", I4(1), VT_ARRAY | VT_I4, 0, kMismatch, {}},
        // Decimals.
        {"text_to_DECIMAL_to_text", Dec("-123.45"), VT_BSTR, 0, kOk, Text("-123.45")},
        {"DECIMAL_to_I4", Dec("123.5"), VT_I4, 0, kOk, I4(124)},
        {"DECIMAL_to_R8", Dec("0.125"), VT_R8, 0, kOk, Variant(0.125)},
        {"DECIMAL_to_CY", Dec("1.23456"), VT_CY, 0, kOk, Cy(12346)},
        {"DECIMAL_too_big", Text("1e30"), VT_DECIMAL, 0, OVERFLOW_, {}},
        // References are read through.
        {"BYREF_I4_to_text", Variant(by_ref), VT_BSTR, 0, kOk, Text("42")},
        // Bad target types.
        {"to_unknown_type", I4(1), 15, 0, DISP_E_BADVARTYPE, {}},
        {"to_BYREF", I4(1), VT_BYREF | VT_I4, 0, kMismatch, {}},
    };
}

class ChangeType : public ::testing::TestWithParam<Conversion> {};

TEST_P(ChangeType, GivesTheExpectedValueOrFailure) {
    const Conversion& c = GetParam();
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = VariantChangeType(&result, &c.from.get(), c.flags, c.to);
    EXPECT_EQ(hr, c.hr) << std::hex << "got 0x" << static_cast<unsigned>(hr);
    if (hr == S_OK && c.hr == S_OK) {
        EXPECT_TRUE(Same(result, c.expected.get()));
    }
    if (FAILED(hr)) {
        EXPECT_EQ(result.vt, VT_EMPTY) << "a failed conversion must leave the destination alone";
    }
    VariantClear(&result);
}

INSTANTIATE_TEST_SUITE_P(Table, ChangeType, ::testing::ValuesIn(Table()),
                         [](const ::testing::TestParamInfo<Conversion>& info) { return info.param.name; });

} // namespace

TEST(ChangeTypeInPlace, ConvertsTheSourceItself) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 17);
}

TEST(ChangeTypeInPlace, FailureKeepsTheSource) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"x");
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string_view(v.bstrVal), u"x");
    VariantClear(&v);
}

TEST(ChangeTypeInPlace, DestinationValueIsReleased) {
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = VT_R8;
    src.dblVal = 2.0;
    dst.vt = VT_BSTR;
    dst.bstrVal = SysAllocString(u"old value freed"); // a leak here shows under ASan
    ASSERT_EQ(VariantChangeTypeEx(&dst, &src, 0x0804, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string_view(dst.bstrVal), u"2");
    VariantClear(&dst);
}

TEST(ChangeTypeLocale, ProcessLocaleDoesNotChangeTheDecimalSeparator) {
    const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (!set)
        set = std::setlocale(LC_ALL, "fr_FR.UTF-8");
    qz::Variant text = qz::Variant(1.5).convertedTo(VT_BSTR);
    EXPECT_EQ(text.toUtf8(), "1.5");
    EXPECT_EQ(qz::Variant("2.25").convertedTo(VT_R8).get().dblVal, 2.25);
    std::setlocale(LC_ALL, "C");
}
