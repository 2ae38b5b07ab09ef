// Values, conversions, browse filters and signal generators of the simulated servers.
#include "sim_items.hpp"
#include "sim_time.hpp"
#include "sim_value.hpp"
#include "sim_variant.hpp"
#include "sim_wildcard.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace tagclient::transport::sim;

TEST(Values, ConvertsWrittenValuesWithRangeChecks) {
    Value out;
    EXPECT_EQ(ConvertValue(Value::Integer(VT_I4, 300), VT_I1, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertValue(Value::Integer(VT_I4, -128), VT_I1, &out), S_OK);
    EXPECT_EQ(out.type, VT_I1);
    EXPECT_EQ(out.integer, -128);
    // Reals round half to even, as the automation conversions do.
    ASSERT_EQ(ConvertValue(Value::Real(VT_R8, 2.5), VT_I4, &out), S_OK);
    EXPECT_EQ(out.integer, 2);
    ASSERT_EQ(ConvertValue(Value::Real(VT_R8, 3.5), VT_I4, &out), S_OK);
    EXPECT_EQ(out.integer, 4);
    ASSERT_EQ(ConvertValue(Value::Text(u" 12 "), VT_I4, &out), S_OK);
    EXPECT_EQ(out.integer, 12);
    EXPECT_EQ(ConvertValue(Value::Text(u"abc"), VT_I4, &out), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(ConvertValue(Value::Bool(true), VT_I2, &out), S_OK);
    EXPECT_EQ(out.integer, -1);
    EXPECT_EQ(ConvertValue(Value::Integer(VT_I4, -1), VT_UI4, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertValue(Value::Integer(VT_UI8, -1), VT_R8, &out), S_OK); // 2^64-1 stored bit for bit
    EXPECT_DOUBLE_EQ(out.real, 18446744073709551615.0);
    ASSERT_EQ(ConvertValue(Value::Text(u"12.25"), VT_CY, &out), S_OK);
    EXPECT_EQ(out.integer, 122500);
    ASSERT_EQ(ConvertValue(Value::Text(u"2024-02-29 12:00:00"), VT_DATE, &out), S_OK);
    EXPECT_EQ(FormatIsoDate(out.real), "2024-02-29 12:00:00.000");
    EXPECT_EQ(ConvertValue(Value::Text(u"2023-02-29"), VT_DATE, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertValue(Value::Real(VT_R8, 1e300), VT_R4, &out), DISP_E_OVERFLOW);
}

TEST(Values, IntegerLimitsOfEverySixtyFourBitType) {
    Value out;
    ASSERT_EQ(ConvertValue(Value::Integer(VT_I8, INT64_MIN), VT_I8, &out), S_OK);
    ASSERT_EQ(ConvertValue(Value::Integer(VT_I8, INT64_MIN), VT_R8, &out), S_OK);
    EXPECT_DOUBLE_EQ(out.real, -9223372036854775808.0);
    EXPECT_EQ(ConvertValue(Value::Integer(VT_UI8, -1), VT_I8, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertValue(Value::Integer(VT_I8, -1), VT_UI8, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertValue(Value::Text(u"18446744073709551615"), VT_UI8, &out), S_OK);
    EXPECT_EQ(static_cast<std::uint64_t>(out.integer), UINT64_MAX);
    ASSERT_EQ(ConvertValue(Value::Text(u"-9223372036854775808"), VT_I8, &out), S_OK);
    EXPECT_EQ(out.integer, INT64_MIN);
    EXPECT_EQ(ConvertValue(Value::Text(u"-9223372036854775809"), VT_I8, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertValue(Value::Real(VT_R8, -0.4), VT_UI4, &out), S_OK); // rounds to zero
    EXPECT_EQ(out.integer, 0);
    EXPECT_EQ(ConvertValue(Value::Real(VT_R8, 2e19), VT_UI8, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(ConvertValue(Value::Integer(VT_I8, INT64_MAX), VT_CY, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertValue(Value::Integer(VT_I4, -7), VT_CY, &out), S_OK);
    EXPECT_EQ(out.integer, -70000);
}

TEST(Values, ArraysConvertElementByElementAndNeverFromScalars) {
    Value out;
    Value a = Value::Array(VT_VARIANT, {Value::Integer(VT_I4, 1), Value::Text(u"2.5")});
    ASSERT_EQ(ConvertValue(a, VT_ARRAY | VT_R8, &out), S_OK);
    ASSERT_EQ(out.elements.size(), 2u);
    EXPECT_EQ(out.elements[1].type, VT_R8);
    EXPECT_DOUBLE_EQ(out.elements[1].real, 2.5);
    EXPECT_EQ(ConvertValue(Value::Integer(VT_I4, 1), VT_ARRAY | VT_I4, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(ConvertValue(a, VT_I4, &out), DISP_E_TYPEMISMATCH);
}

// Conversions the servers do not do differently are the platform's own.
TEST(Values, OrdinaryConversionsAreThePlatforms) {
    struct Case {
        Value from;
        VARTYPE to;
    };
    const Case cases[] = {
        {Value::Real(VT_R8, 2.675), VT_CY},
        {Value::Text(u"1e3"), VT_I4},
        {Value::Text(u" 2.5 "), VT_R8},
        {Value::Real(VT_R8, 1.0 / 3), VT_R4},
        {Value::Empty(), VT_I4},
        {Value::Real(VT_R8, 0.25), VT_BOOL},
        {Value::Date(36526.75), VT_R8},
        {Value::Currency(-15000), VT_I2},
        {Value::Real(VT_R8, -2.5), VT_I8},
        {Value::Text(u"x"), VT_R8},
        {Value::Real(VT_R8, 70000.0), VT_UI2},
        {Value::Bool(true), VT_R4},
        {Value::Integer(VT_UI8, -1), VT_R4},
        {Value::Text(u"12.34567"), VT_CY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "from " << c.from.type << " to " << c.to);
        VARIANT source;
        VariantInit(&source);
        ASSERT_EQ(ValueToVariant(c.from, &source), S_OK);
        VARIANT expected;
        VariantInit(&expected);
        const HRESULT platform = VariantChangeType(&expected, &source, 0, c.to);
        Value out;
        EXPECT_EQ(ConvertValue(c.from, c.to, &out), platform);
        if (SUCCEEDED(platform)) {
            Value want;
            ASSERT_EQ(VariantToValue(expected, &want), S_OK);
            EXPECT_EQ(out, want);
        }
        VariantClear(&expected);
        VariantClear(&source);
    }
}

// What the servers do on top of the platform: exact integers, booleans spelt out, VT_ERROR as a number.
TEST(Values, ServerRulesOnTopOfThePlatform) {
    Value out;
    ASSERT_EQ(ConvertValue(Value::Text(u"TRUE"), VT_I2, &out), S_OK);
    EXPECT_EQ(out.integer, -1);
    ASSERT_EQ(ConvertValue(Value::Text(u" false "), VT_R8, &out), S_OK);
    EXPECT_EQ(out.real, 0.0);
    ASSERT_EQ(ConvertValue(Value::Text(u"9007199254740993"), VT_I8, &out), S_OK);
    EXPECT_EQ(out.integer, 9007199254740993) << "exact beyond the 53 bits of a double";
    ASSERT_EQ(ConvertValue(Value::Integer(VT_I4, 5), VT_ERROR, &out), S_OK);
    EXPECT_EQ(out.type, VT_ERROR);
    EXPECT_EQ(out.integer, 5);
    ASSERT_EQ(ConvertValue(Value::Real(VT_R8, 6.5), VT_ERROR, &out), S_OK);
    EXPECT_EQ(out.integer, 6);
    ASSERT_EQ(ConvertValue(Value::Integer(VT_ERROR, 7), VT_R8, &out), S_OK);
    EXPECT_EQ(out.real, 7.0);
    Value null;
    null.type = VT_NULL;
    EXPECT_EQ(ConvertValue(null, VT_I4, &out), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(ConvertValue(Value::Date(36526.5), VT_BSTR, &out), S_OK);
    EXPECT_EQ(out.text, u"2000-01-01 12:00:00.000");
    ASSERT_EQ(ConvertValue(Value::Real(VT_R8, 0.1), VT_BSTR, &out), S_OK);
    EXPECT_EQ(out.text, u"0.1");
}

TEST(Values, TextOfValues) {
    EXPECT_EQ(ValueText(Value::Bool(true)), u"True");
    EXPECT_EQ(ValueText(Value::Real(VT_R8, 0.1)), u"0.1");
    EXPECT_EQ(ValueText(Value::Currency(125000)), u"12.5");
    EXPECT_EQ(ValueText(Value::Currency(-5000)), u"-0.5");
    EXPECT_EQ(ValueText(Value::Integer(VT_UI8, -1)), u"18446744073709551615");
    EXPECT_EQ(ValueText(Value::Date(36526.5)), u"2000-01-01 12:00:00.000");
    EXPECT_EQ(Utf8(Utf16("温度 Größe")), "温度 Größe");
    EXPECT_EQ(Utf16("\xff"), u"\uFFFD");
}

namespace {

struct FilterCase {
    const char16_t* name;
    const char16_t* filter;
    bool matches;
};

class Filters : public ::testing::TestWithParam<FilterCase> {};

} // namespace

TEST_P(Filters, MatchLikeOpcServers) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(MatchesFilter(c.name, c.filter), c.matches) << Utf8(c.name) << " / " << Utf8(c.filter);
}

INSTANTIATE_TEST_SUITE_P(
    Wildcards, Filters,
    ::testing::Values(FilterCase{u"Ramp", u"", true}, FilterCase{u"Ramp", u"*", true},
                      FilterCase{u"Ramp", u"R*", true}, FilterCase{u"Ramp", u"r*", false},
                      FilterCase{u"Ramp", u"?amp", true}, FilterCase{u"Ramp", u"?mp", false},
                      FilterCase{u"Int4", u"Int#", true}, FilterCase{u"IntX", u"Int#", false},
                      FilterCase{u"Real8", u"[A-S]*", true}, FilterCase{u"Real8", u"[!R]*", false},
                      FilterCase{u"a.b.c", u"*.*", true}, FilterCase{u"abc", u"a*c*", true},
                      FilterCase{u"abc", u"*b", false}, FilterCase{u"[x", u"[x", true},
                      FilterCase{u"温度", u"温?", true}));

namespace {

class Generators : public ::testing::Test {
protected:
    const ItemSpec& Item(const char16_t* id) {
        const ItemSpec* spec = catalogue_.Find(id);
        EXPECT_NE(spec, nullptr) << Utf8(id);
        return *spec;
    }
    Catalogue catalogue_;
};

} // namespace

TEST_F(Generators, RampRisesFromLowToHighAndStartsAgain) {
    const ItemSpec& ramp = Item(u"Ramp.Real8");
    EXPECT_DOUBLE_EQ(Generate(ramp, 0, 0).real, 0.0);
    EXPECT_DOUBLE_EQ(Generate(ramp, 99, 0).real, 1000.0);
    EXPECT_DOUBLE_EQ(Generate(ramp, 100, 0).real, 0.0);
    EXPECT_EQ(Generate(Item(u"Ramp.Int2"), 50, 0).type, VT_I2);
}

TEST_F(Generators, CountersWrapAtTheirTypesRange) {
    EXPECT_EQ(Generate(Item(u"Counter.Int1"), 127, 0).integer, 127);
    EXPECT_EQ(Generate(Item(u"Counter.Int1"), 128, 0).integer, -128);
    EXPECT_EQ(Generate(Item(u"Counter.UInt1"), 256, 0).integer, 0);
    EXPECT_EQ(Generate(Item(u"Counter.UInt4"), 7, 0).integer, 7);
}

TEST_F(Generators, RandomValuesAreDeterministicAndInRange) {
    const ItemSpec& r = Item(u"Random.Int2");
    bool varied = false;
    for (std::uint64_t step = 0; step < 200; ++step) {
        Value v = Generate(r, step, 0);
        ASSERT_EQ(v, Generate(r, step, 0));
        ASSERT_GE(v.integer, -1000);
        ASSERT_LE(v.integer, 1000);
        varied = varied || v != Generate(r, 0, 0);
    }
    EXPECT_TRUE(varied);
}

TEST_F(Generators, SineTogglesWordsClockAndArrays) {
    const ItemSpec& sine = Item(u"Sine.Real8");
    for (std::uint64_t step = 0; step < 100; ++step) {
        double v = Generate(sine, step, 0).real;
        ASSERT_GE(v, -100.0);
        ASSERT_LE(v, 100.0);
    }
    EXPECT_NEAR(Generate(sine, 25, 0).real, 100.0, 1e-9);
    EXPECT_EQ(Generate(Item(u"Toggle.Boolean"), 0, 0).integer, 0);
    EXPECT_EQ(Generate(Item(u"Toggle.Boolean"), 1, 0).integer, -1);
    EXPECT_EQ(Generate(Item(u"Text.Words"), 5, 0).text, u"温度");
    const std::uint64_t ticks = 133000000000000000ULL;
    EXPECT_DOUBLE_EQ(Generate(Item(u"Time.Now"), 3, ticks).real, TicksToOleDate(ticks));
    Value array = Generate(Item(u"Array.String"), 1, 0);
    ASSERT_EQ(array.type, VT_ARRAY | VT_BSTR);
    ASSERT_EQ(array.elements.size(), 10u);
    EXPECT_EQ(array.elements[0].text, u"Bravo");
    EXPECT_EQ(GeneratedQuality(Item(u"Quality.Cycling"), 2), quality::kBad);
    EXPECT_EQ(GeneratedQuality(Item(u"Quality.Uncertain"), 2), quality::kUncertain);
}

TEST_F(Generators, PeriodSuffixGivesTheSameSignalAtAnotherRate) {
    const ItemSpec* fast = catalogue_.Find(u"Counter.Int4@250");
    ASSERT_NE(fast, nullptr);
    EXPECT_EQ(fast->period_ms, 250u);
    EXPECT_EQ(catalogue_.Find(u"Counter.Int4@250"), fast);
    EXPECT_EQ(catalogue_.Find(u"Counter.Int4@5"), nullptr);
    EXPECT_EQ(catalogue_.Find(u"Counter.Int4@x"), nullptr);
    EXPECT_EQ(catalogue_.Find(u"Memory.Int4@100"), nullptr);
    EXPECT_EQ(catalogue_.Find(u"Nothing.Here"), nullptr);
}

TEST_F(Generators, CatalogueTreeHasBranchesWithoutLeavesAndALongId) {
    const auto* deep = catalogue_.FindBranch(u"Deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_TRUE(deep->leaves.empty());
    EXPECT_EQ(deep->branches, std::vector<std::u16string>{u"Level1"});
    bool long_found = false;
    for (const auto& item : catalogue_.Items())
        long_found = long_found || item->id.size() == 200;
    EXPECT_TRUE(long_found);
}
