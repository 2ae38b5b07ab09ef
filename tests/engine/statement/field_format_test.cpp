// FormatFieldValue: every field type, every kind of value an OPC server sends, and the failures.
#include "engine/statement/field_format.hpp"

#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <vector>

namespace tagsink {
namespace {

using T = TFieldType;

struct FormatCase {
    const char* name;
    std::function<qz::Variant()> value;
    TFieldType type;
    const char* text; // nullptr: the conversion fails
    const char* message_part = "";
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name << " as " << ToString(c.type);
}

qz::Variant Currency(std::int64_t times_ten_thousand) {
    return qz::Variant::Currency(times_ten_thousand);
}

class FieldValues : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FieldValues, FormatAsTheTableSays) {
    const FormatCase& c = GetParam();
    const qz::Variant value = c.value();
    if (c.text != nullptr) {
        EXPECT_EQ(FormatFieldValue(value, c.type), c.text);
        return;
    }
    try {
        const std::string text = FormatFieldValue(value, c.type);
        ADD_FAILURE() << "expected a conversion failure, got " << text;
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
}

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// clang-format off
INSTANTIATE_TEST_SUITE_P(Empty, FieldValues, ::testing::Values(
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftString, "''"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftWideString, "''"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftSmallint, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftInteger, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftWord, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftBoolean, "False"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftFloat, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftCurrency, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftBCD, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftFMTBcd, "0"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftDate, "'1899-12-30'"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftTime, "'00:00:00'"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftDateTime, "'1899-12-30'"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftTimeStamp, "'1899-12-30'"},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftUnknown, ""},
    FormatCase{"empty", [] { return qz::Variant(); }, T::ftBlob, ""}));

INSTANTIATE_TEST_SUITE_P(Null, FieldValues, ::testing::Values(
    FormatCase{"null", qz::Variant::Null, T::ftString, "''"},
    FormatCase{"null", qz::Variant::Null, T::ftInteger, nullptr, "Cannot convert a null value to ftInteger"},
    FormatCase{"null", qz::Variant::Null, T::ftBoolean, nullptr, "ftBoolean"},
    FormatCase{"null", qz::Variant::Null, T::ftFloat, nullptr, "ftFloat"},
    FormatCase{"null", qz::Variant::Null, T::ftBCD, nullptr, "ftBCD"},
    FormatCase{"null", qz::Variant::Null, T::ftDateTime, nullptr, "ftDateTime"},
    FormatCase{"null", qz::Variant::Null, T::ftGuid, ""}));

INSTANTIATE_TEST_SUITE_P(Integers, FieldValues, ::testing::Values(
    FormatCase{"2.5", [] { return qz::Variant(2.5); }, T::ftInteger, "2"},
    FormatCase{"3.5", [] { return qz::Variant(3.5); }, T::ftSmallint, "4"},
    FormatCase{"-2.5", [] { return qz::Variant(-2.5); }, T::ftWord, "-2"},
    FormatCase{"0.5 single", [] { return qz::Variant(0.5f); }, T::ftInteger, "0"},
    FormatCase{"currency 2.5", [] { return Currency(25000); }, T::ftInteger, "2"},
    FormatCase{"currency 3.5", [] { return Currency(35000); }, T::ftInteger, "4"},
    FormatCase{"int32 max", [] { return qz::Variant(std::int32_t{2147483647}); }, T::ftInteger, "2147483647"},
    FormatCase{"int32 min", [] { return qz::Variant(std::int32_t{-2147483647 - 1}); }, T::ftInteger, "-2147483648"},
    FormatCase{"2147483648.0", [] { return qz::Variant(2147483648.0); }, T::ftInteger, nullptr,
               "Cannot convert 2147483648 (double) to ftInteger"},
    FormatCase{"2147483647.5", [] { return qz::Variant(2147483647.5); }, T::ftInteger, nullptr, "outside"},
    FormatCase{"uint32 max", [] { return qz::Variant(std::uint32_t{4294967295u}); }, T::ftInteger, nullptr,
               "4294967295"},
    FormatCase{"int64 2^40", [] { return qz::Variant(std::int64_t{1} << 40); }, T::ftSmallint, nullptr,
               "1099511627776"},
    FormatCase{"int64 -5", [] { return qz::Variant(std::int64_t{-5}); }, T::ftInteger, "-5"},
    FormatCase{"uint8 200", [] { return qz::Variant(std::uint8_t{200}); }, T::ftWord, "200"},
    FormatCase{"true", [] { return qz::Variant(true); }, T::ftInteger, "-1"},
    FormatCase{"false", [] { return qz::Variant(false); }, T::ftInteger, "0"},
    FormatCase{"NaN", [] { return qz::Variant(kNan); }, T::ftInteger, nullptr, "not a number"},
    FormatCase{"text 12.5", [] { return qz::Variant("12.5"); }, T::ftInteger, "12"},
    FormatCase{"text 13.5", [] { return qz::Variant("13.5"); }, T::ftInteger, "14"},
    FormatCase{"text -42", [] { return qz::Variant("-42"); }, T::ftInteger, "-42"},
    FormatCase{"text abc", [] { return qz::Variant("abc"); }, T::ftInteger, nullptr,
               "Cannot convert the text \"abc\" to ftInteger"},
    FormatCase{"empty text", [] { return qz::Variant(""); }, T::ftInteger, nullptr, "ftInteger"},
    FormatCase{"date", [] { return qz::Variant::Date(45292.75); }, T::ftInteger, "45293"}));

INSTANTIATE_TEST_SUITE_P(Booleans, FieldValues, ::testing::Values(
    FormatCase{"2", [] { return qz::Variant(2); }, T::ftBoolean, "True"},
    FormatCase{"-1", [] { return qz::Variant(-1); }, T::ftBoolean, "True"},
    FormatCase{"0", [] { return qz::Variant(0); }, T::ftBoolean, "False"},
    FormatCase{"0.25", [] { return qz::Variant(0.25); }, T::ftBoolean, "True"},
    FormatCase{"true", [] { return qz::Variant(true); }, T::ftBoolean, "True"},
    FormatCase{"false", [] { return qz::Variant(false); }, T::ftBoolean, "False"},
    FormatCase{"text True", [] { return qz::Variant("True"); }, T::ftBoolean, "True"},
    FormatCase{"text false", [] { return qz::Variant("false"); }, T::ftBoolean, "False"},
    FormatCase{"text 0", [] { return qz::Variant("0"); }, T::ftBoolean, "False"},
    FormatCase{"text 3", [] { return qz::Variant("3"); }, T::ftBoolean, "True"},
    FormatCase{"text maybe", [] { return qz::Variant("maybe"); }, T::ftBoolean, nullptr,
               "Cannot convert the text \"maybe\" to ftBoolean"},
    FormatCase{"NaN", [] { return qz::Variant(kNan); }, T::ftBoolean, nullptr, "NaN"}));

INSTANTIATE_TEST_SUITE_P(Floats, FieldValues, ::testing::Values(
    FormatCase{"1.5", [] { return qz::Variant(1.5); }, T::ftFloat, "1.5"},
    FormatCase{"7", [] { return qz::Variant(7); }, T::ftFloat, "7"},
    FormatCase{"1.5E20", [] { return qz::Variant(1.5e20); }, T::ftFloat, "1.5E20"},
    FormatCase{"1E-6", [] { return qz::Variant(1e-6); }, T::ftCurrency, "1E-6"},
    FormatCase{"1/3", [] { return qz::Variant(1.0 / 3.0); }, T::ftFloat, "0.333333333333333"},
    FormatCase{"single 0.1", [] { return qz::Variant(0.1f); }, T::ftFloat, "0.1"},
    FormatCase{"currency 12.34", [] { return Currency(123400); }, T::ftCurrency, "12.34"},
    FormatCase{"uint64 max", [] { return qz::Variant(std::uint64_t{18446744073709551615u}); }, T::ftFloat,
               "1.84467440737096E19"},
    FormatCase{"true", [] { return qz::Variant(true); }, T::ftFloat, "-1"},
    FormatCase{"text 2.50", [] { return qz::Variant("2.50"); }, T::ftFloat, "2.5"},
    FormatCase{"text 1e3", [] { return qz::Variant("1e3"); }, T::ftFloat, "1000"},
    FormatCase{"text x", [] { return qz::Variant("x"); }, T::ftFloat, nullptr, "Cannot convert the text \"x\" to ftFloat"},
    FormatCase{"NaN", [] { return qz::Variant(kNan); }, T::ftFloat, nullptr, "NaN"},
    FormatCase{"infinity", [] { return qz::Variant(-kInf); }, T::ftCurrency, nullptr, "ftCurrency"},
    FormatCase{"error code", [] { return qz::Variant::Error(static_cast<SCODE>(0x80004005)); }, T::ftFloat, nullptr,
               "error code"},
    FormatCase{"array", [] { const double v[] = {1.0, 2.0}; return qz::Variant::Array(std::span<const double>(v)); },
               T::ftFloat, nullptr, "array"}));

INSTANTIATE_TEST_SUITE_P(Bcd, FieldValues, ::testing::Values(
    FormatCase{"1.23456", [] { return qz::Variant(1.23456); }, T::ftBCD, "1.2345"},
    FormatCase{"-1.99999", [] { return qz::Variant(-1.99999); }, T::ftFMTBcd, "-1.9999"},
    FormatCase{"2.00001", [] { return qz::Variant(2.00001); }, T::ftBCD, "2"},
    FormatCase{"1E-6", [] { return qz::Variant(1e-6); }, T::ftBCD, "0"},
    FormatCase{"1.5E17", [] { return qz::Variant(1.5e17); }, T::ftBCD, "150000000000000000"},
    FormatCase{"1E18", [] { return qz::Variant(1e18); }, T::ftBCD, nullptr, "BCD overflow"},
    FormatCase{"-1.5E20", [] { return qz::Variant(-1.5e20); }, T::ftFMTBcd, nullptr, "BCD overflow"},
    FormatCase{"currency", [] { return Currency(-12345); }, T::ftBCD, "-1.2345"},
    FormatCase{"text", [] { return qz::Variant("3.14159"); }, T::ftBCD, "3.1415"}));

INSTANTIATE_TEST_SUITE_P(Dates, FieldValues, ::testing::Values(
    FormatCase{"2024-01-01 18:00", [] { return qz::Variant::Date(45292.75); }, T::ftDate, "'2024-01-01'"},
    FormatCase{"2024-01-01 18:00", [] { return qz::Variant::Date(45292.75); }, T::ftTime, "'18:00:00'"},
    FormatCase{"2024-01-01 18:00", [] { return qz::Variant::Date(45292.75); }, T::ftDateTime, "'2024-01-01 18:00:00'"},
    FormatCase{"2024-01-01 18:00", [] { return qz::Variant::Date(45292.75); }, T::ftTimeStamp,
               "'2024-01-01 18:00:00'"},
    FormatCase{"midnight", [] { return qz::Variant::Date(45292.0); }, T::ftDateTime, "'2024-01-01'"},
    FormatCase{"midnight", [] { return qz::Variant::Date(45292.0); }, T::ftTimeStamp, "'2024-01-01'"},
    FormatCase{"number 7", [] { return qz::Variant(7); }, T::ftDate, "'1900-01-06'"},
    FormatCase{"number 2.5", [] { return qz::Variant(2.5); }, T::ftDateTime, "'1900-01-01 12:00:00'"},
    FormatCase{"negative", [] { return qz::Variant(-1.25); }, T::ftDateTime, "'1899-12-29 06:00:00'"},
    FormatCase{"text", [] { return qz::Variant("2024-01-01 08:30:00"); }, T::ftDateTime, "'2024-01-01 08:30:00'"},
    FormatCase{"text", [] { return qz::Variant("2024-01-01"); }, T::ftDate, "'2024-01-01'"},
    FormatCase{"text noon", [] { return qz::Variant("noon"); }, T::ftDate, nullptr,
               "Cannot convert the text \"noon\" to ftDate"},
    FormatCase{"NaN", [] { return qz::Variant::Date(kNan); }, T::ftDateTime, nullptr, "NaN"},
    FormatCase{"infinity", [] { return qz::Variant(kInf); }, T::ftDate, nullptr, "infinite"},
    FormatCase{"year 10000", [] { return qz::Variant::Date(2958466.0); }, T::ftDateTime, nullptr,
               "outside the years 100 to 9999 (ftDateTime)"},
    FormatCase{"1E300", [] { return qz::Variant(1e300); }, T::ftTime, nullptr, "ftTime"}));

INSTANTIATE_TEST_SUITE_P(Texts, FieldValues, ::testing::Values(
    FormatCase{"abc", [] { return qz::Variant("abc"); }, T::ftString, "'abc'"},
    FormatCase{"quote", [] { return qz::Variant("O'Brien"); }, T::ftWideString, "'O''Brien'"},
    FormatCase{"hostile", [] { return qz::Variant("x'); drop table T1; --"); }, T::ftString,
               "'x''); drop table T1; --'"},
    FormatCase{"chinese", [] { return qz::Variant(u"\u6e29\u5ea6"); }, T::ftString, "'\u6e29\u5ea6'"},
    FormatCase{"7", [] { return qz::Variant(7); }, T::ftString, "'7'"},
    FormatCase{"int64", [] { return qz::Variant(std::int64_t{-9007199254740993}); }, T::ftString,
               "'-9007199254740993'"},
    FormatCase{"1.5", [] { return qz::Variant(1.5); }, T::ftString, "'1.5'"},
    FormatCase{"1.5E20", [] { return qz::Variant(1.5e20); }, T::ftString, "'1.5E20'"},
    FormatCase{"single", [] { return qz::Variant(0.1f); }, T::ftString, "'0.1'"},
    FormatCase{"true", [] { return qz::Variant(true); }, T::ftString, "'True'"},
    FormatCase{"false", [] { return qz::Variant(false); }, T::ftWideString, "'False'"},
    FormatCase{"currency", [] { return Currency(123400); }, T::ftString, "'12.34'"},
    FormatCase{"currency", [] { return Currency(-5); }, T::ftString, "'-0.0005'"},
    FormatCase{"date", [] { return qz::Variant::Date(45292.75); }, T::ftString, "'2024-01-01 18:00:00'"},
    FormatCase{"midnight", [] { return qz::Variant::Date(45292.0); }, T::ftString, "'2024-01-01'"},
    FormatCase{"NaN", [] { return qz::Variant(kNan); }, T::ftString, "'NaN'"},
    FormatCase{"error code", [] { return qz::Variant::Error(static_cast<SCODE>(0x80004005)); }, T::ftString, nullptr,
               "error code"}));
// clang-format on

// One value through all 38 types: only the 14 types with a text write something.
class AllFieldTypes : public ::testing::TestWithParam<int> {};

TEST_P(AllFieldTypes, WriteTheirTextOrNothing) {
    const auto type = static_cast<TFieldType>(GetParam());
    const qz::Variant seven(7);
    std::string expected;
    switch (type) {
    case T::ftString:
    case T::ftWideString:
        expected = "'7'";
        break;
    case T::ftSmallint:
    case T::ftInteger:
    case T::ftWord:
    case T::ftFloat:
    case T::ftCurrency:
    case T::ftBCD:
    case T::ftFMTBcd:
        expected = "7";
        break;
    case T::ftBoolean:
        expected = "True";
        break;
    case T::ftDate:
    case T::ftDateTime:
    case T::ftTimeStamp:
        expected = "'1900-01-06'";
        break;
    case T::ftTime:
        expected = "'00:00:00'";
        break;
    default:
        break;
    }
    EXPECT_EQ(FormatFieldValue(seven, type), expected) << ToString(type);
    // The types without text never fail, whatever the value.
    if (expected.empty()) {
        EXPECT_EQ(FormatFieldValue(qz::Variant::Null(), type), "");
        EXPECT_EQ(FormatFieldValue(qz::Variant("abc"), type), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Ordinals, AllFieldTypes, ::testing::Range(0, 38));

TEST(FieldText, IsTheTextBeforeStringQuoting) {
    EXPECT_EQ(FormatFieldText(qz::Variant("O'Brien"), T::ftString), "O'Brien");
    EXPECT_EQ(FormatFieldText(qz::Variant("01"), T::ftInteger), "1");
    EXPECT_EQ(FormatFieldText(qz::Variant("2024-1-1"), T::ftDate), "2024-01-01");
    EXPECT_EQ(FormatFieldText(qz::Variant::Date(45292.75), T::ftDateTime), "2024-01-01 18:00:00");
    EXPECT_EQ(FormatFieldText(qz::Variant("x"), T::ftUnknown), "");
}

TEST(FieldDecimal, IsWrittenExactlyAsTextAndAsANumber) {
    VARIANT dec;
    VariantInit(&dec);
    dec.decVal.scale = 2;
    dec.decVal.sign = 0x80;
    dec.decVal.Hi32 = 0;
    dec.decVal.Lo64 = 12345;
    dec.vt = VT_DECIMAL;
    EXPECT_EQ(FormatFieldValue(dec, T::ftString), "'-123.45'");
    EXPECT_EQ(FormatFieldValue(dec, T::ftFloat), "-123.45");
    EXPECT_EQ(FormatFieldValue(dec, T::ftInteger), "-123");
    dec.decVal.Hi32 = 1; // 2^64 + 12345, scaled by 100
    dec.decVal.sign = 0;
    EXPECT_EQ(FormatFieldValue(dec, T::ftString), "'184467440737095639.61'");
}

TEST(FieldString, LeavesOutNulCharacters) {
    const qz::Variant with_nul(std::u16string_view(u"a\0b'", 4));
    EXPECT_EQ(FormatFieldValue(with_nul, T::ftString), "'ab'''");
}

TEST(FieldByReference, ReadsThroughTheReference) {
    double number = 2.5;
    VARIANT by_ref;
    VariantInit(&by_ref);
    by_ref.vt = VT_R8 | VT_BYREF;
    by_ref.pdblVal = &number;
    EXPECT_EQ(FormatFieldValue(by_ref, T::ftFloat), "2.5");
    EXPECT_EQ(FormatFieldValue(by_ref, T::ftInteger), "2");
}

} // namespace
} // namespace tagsink
