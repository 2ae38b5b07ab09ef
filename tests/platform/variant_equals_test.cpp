// The value equality that decides whether a received value is new.
#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using qz::Variant;

struct EqualityCase {
    std::string name;
    Variant a;
    Variant b;
    bool equal;
};

void PrintTo(const EqualityCase& c, std::ostream* os) {
    *os << c.name;
}

Variant IntArray(std::vector<std::int32_t> v) {
    return Variant::Array(std::span<const std::int32_t>(v));
}

std::vector<EqualityCase> Cases() {
    const std::vector<Variant> mixed{Variant(1), Variant("two")};
    const std::vector<Variant> mixed_text{Variant("1"), Variant("two")};
    const std::vector<std::string> texts{"1", "2", "3"};
    return {
        {"empty_empty", Variant(), Variant(), true},
        {"null_null", Variant::Null(), Variant::Null(), true},
        {"empty_null", Variant(), Variant::Null(), false},
        {"empty_zero", Variant(), Variant(0), false},
        {"empty_empty_text", Variant(), Variant(""), false},
        {"null_zero", Variant::Null(), Variant(0), false},
        {"zero_null", Variant(0.0), Variant::Null(), false},
        {"I4_I4", Variant(5), Variant(5), true},
        {"I4_I4_differ", Variant(5), Variant(6), false},
        {"I2_I8", Variant(std::int16_t{-3}), Variant(std::int64_t{-3}), true},
        {"I4_minus1_UI4_max", Variant(-1), Variant(std::uint32_t{0xFFFFFFFF}), false},
        {"I8_UI8_large", Variant(std::int64_t{9223372036854775807LL}),
         Variant(std::uint64_t{9223372036854775807ULL}), true},
        {"I8_neighbours_not_rounded_equal", Variant(std::int64_t{9007199254740993LL}),
         Variant(std::int64_t{9007199254740992LL}), false},
        {"I8_vs_R8_exact", Variant(std::int64_t{9007199254740993LL}), Variant(9007199254740992.0), false},
        {"I4_R8", Variant(2), Variant(2.0), true},
        {"I4_R8_fraction", Variant(2), Variant(2.5), false},
        {"R4_R8_same_value", Variant(0.5f), Variant(0.5), true},
        {"R4_R8_inexact", Variant(0.1f), Variant(0.1), false},
        {"R8_R8_nan", Variant(std::numeric_limits<double>::quiet_NaN()),
         Variant(std::numeric_limits<double>::quiet_NaN()), true},
        {"R4_R8_nan", Variant(std::numeric_limits<float>::quiet_NaN()),
         Variant(std::numeric_limits<double>::quiet_NaN()), true},
        {"R8_nan_number", Variant(std::numeric_limits<double>::quiet_NaN()), Variant(0.0), false},
        {"R8_nan_text", Variant(std::numeric_limits<double>::quiet_NaN()), Variant("NaN"), false},
        {"negative_zero", Variant(-0.0), Variant(0), true},
        {"CY_R8", Variant::Currency(15000), Variant(1.5), true},
        {"CY_R8_tenth", Variant::Currency(1000), Variant(0.1), true},
        {"CY_I4", Variant::Currency(20000), Variant(2), true},
        {"CY_I4_fraction", Variant::Currency(20001), Variant(2), false},
        {"BOOL_BOOL", Variant(true), Variant(true), true},
        {"BOOL_minus1", Variant(true), Variant(-1), true},
        {"BOOL_1", Variant(true), Variant(1), false},
        {"DATE_R8", Variant::Date(45351.5), Variant(45351.5), true},
        {"DATE_DATE_differ", Variant::Date(45351.5), Variant::Date(45351.25), false},
        {"text_text", Variant("abc"), Variant("abc"), true},
        {"text_text_case", Variant("abc"), Variant("ABC"), false},
        {"text_text_numeric_forms", Variant("1.0"), Variant("1"), false},
        {"text_number", Variant("42"), Variant(42), true},
        {"number_text", Variant(42), Variant(" 42 "), true},
        {"text_number_rounded_to_integer_type", Variant("42.4"), Variant(42), true},
        {"text_R8", Variant("1.5"), Variant(1.5), true},
        {"text_not_a_number", Variant("abc"), Variant(0), false},
        {"text_overflow", Variant("300"), Variant(std::uint8_t{44}), false},
        {"text_bool", Variant("True"), Variant(true), true},
        {"text_bool_false", Variant("False"), Variant(true), false},
        {"text_date", Variant("2024-02-29 12:00:00"), Variant::Date(45351.5), true},
        {"error_error", Variant::Error(E_FAIL), Variant::Error(E_FAIL), true},
        {"error_other_code", Variant::Error(E_FAIL), Variant::Error(E_ABORT), false},
        {"error_number", Variant::Error(5), Variant(5), false},
        {"arrays_equal", IntArray({1, 2, 3}), IntArray({1, 2, 3}), true},
        {"arrays_differ", IntArray({1, 2, 3}), IntArray({1, 2, 4}), false},
        {"arrays_length", IntArray({1, 2}), IntArray({1, 2, 3}), false},
        {"arrays_empty", IntArray({}), IntArray({}), true},
        {"array_vs_scalar", IntArray({1}), Variant(1), false},
        {"arrays_of_text_vs_numbers", Variant::Array(std::span<const std::string>(texts)),
         IntArray({1, 2, 3}), true},
        {"arrays_of_variants", Variant::Array(std::span<const Variant>(mixed)),
         Variant::Array(std::span<const Variant>(mixed_text)), true},
    };
}

class Equality : public ::testing::TestWithParam<EqualityCase> {};

TEST_P(Equality, FollowsTheRule) {
    const EqualityCase& c = GetParam();
    EXPECT_EQ(qz::VariantEquals(c.a, c.b), c.equal);
    EXPECT_EQ(qz::VariantEquals(c.b, c.a), c.equal) << "not symmetric";
}

INSTANTIATE_TEST_SUITE_P(Cases, Equality, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<EqualityCase>& info) { return info.param.name; });

} // namespace

TEST(EqualityByRef, ReferencedValuesAreCompared) {
    LONG target = 7;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &target;
    EXPECT_TRUE(qz::VariantEquals(ref, qz::Variant(7)));
    target = 8;
    EXPECT_FALSE(qz::VariantEquals(ref, qz::Variant(7)));
}

TEST(EqualityBadInput, UnknownTypeIsNeverEqual) {
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 15;
    EXPECT_FALSE(qz::VariantEquals(bad, bad));
    EXPECT_FALSE(qz::VariantEquals(bad, qz::Variant(0)));
}
