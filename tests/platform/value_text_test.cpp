// Values, VARTYPEs and qualities as text for people (the command-line tool's output, the recorder's
// live-value views).
#include "platform/value_text.hpp"
#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(ValueText, ScalarsAsTheyAre) {
    EXPECT_EQ(qz::ValueText(qz::Variant(42).get()), "42");
    EXPECT_EQ(qz::ValueText(qz::Variant(2.5).get()), "2.5");
    EXPECT_EQ(qz::ValueText(qz::Variant(true).get()), "true");
    EXPECT_EQ(qz::ValueText(qz::Variant(false).get()), "false");
    EXPECT_EQ(qz::ValueText(qz::Variant("压力 ok").get()), "压力 ok") << "texts unquoted and in UTF-8";
    EXPECT_EQ(qz::ValueText(qz::Variant().get()), "(empty)");
    EXPECT_EQ(qz::ValueText(qz::Variant::Null().get()), "(null)");
    EXPECT_EQ(qz::ValueText(qz::Variant::Error(static_cast<SCODE>(0x80020004)).get()), "(error 0x80020004)");
}

TEST(ValueText, DatesWithMilliseconds) {
    EXPECT_EQ(qz::ValueText(qz::Variant::Date(45000.5).get()), "2023-03-15 12:00:00.000");
}

TEST(ValueText, ArraysInBracketsWithTextsQuoted) {
    const std::array<std::int32_t, 3> numbers{1, -2, 3};
    EXPECT_EQ(qz::ValueText(qz::Variant::Array(std::span<const std::int32_t>(numbers)).get()), "[1, -2, 3]");
    const std::array<std::string, 2> words{"a", "b c"};
    EXPECT_EQ(qz::ValueText(qz::Variant::Array(std::span<const std::string>(words)).get()),
              "[\"a\", \"b c\"]");
}

TEST(ValueText, TypeNamesBothWays) {
    EXPECT_EQ(qz::VarTypeName(VT_R8), "VT_R8");
    EXPECT_EQ(qz::VarTypeName(VT_ARRAY | VT_I4), "VT_ARRAY|VT_I4");
    EXPECT_EQ(qz::VarTypeName(0x0FF0), "VT_0x0FF0");
    EXPECT_EQ(qz::VarTypeFromName("vt_i4"), VARTYPE(VT_I4));
    EXPECT_EQ(qz::VarTypeFromName("Vt_R8"), VARTYPE(VT_R8));
    EXPECT_EQ(qz::VarTypeFromName("string"), VARTYPE(VT_BSTR));
    EXPECT_EQ(qz::VarTypeFromName("Boolean"), VARTYPE(VT_BOOL));
    EXPECT_EQ(qz::VarTypeFromName("ui8"), VARTYPE(VT_UI8));
    EXPECT_EQ(qz::VarTypeFromName("VT_"), std::nullopt);
    EXPECT_EQ(qz::VarTypeFromName("VT_VARIANT"), std::nullopt) << "not a type a value is written as";
    EXPECT_EQ(qz::VarTypeFromName("\xC4I4"), std::nullopt) << "type names are ASCII only";
}

TEST(ValueText, QualityCaptions) {
    EXPECT_EQ(qz::QualityCaption(0xC0), "Good");
    EXPECT_EQ(qz::QualityCaption(0xD8), "Good (local override)");
    EXPECT_EQ(qz::QualityCaption(0x00), "Bad");
    EXPECT_EQ(qz::QualityCaption(0x18), "Bad (comm failure)");
    EXPECT_EQ(qz::QualityCaption(0x14), "Bad (last known value)");
    EXPECT_EQ(qz::QualityCaption(0x1C), "Bad (out of service)");
    EXPECT_EQ(qz::QualityCaption(0x0C), "Bad (device failure)");
    EXPECT_EQ(qz::QualityCaption(0x44), "Uncertain (last usable value)");
    EXPECT_EQ(qz::QualityCaption(0x41), "Uncertain (low limited)");
    EXPECT_EQ(qz::QualityCaption(0x1B), "Bad (comm failure, constant)");
    EXPECT_EQ(qz::QualityCaption(0x80), "Invalid (substatus 0)");
}

} // namespace
