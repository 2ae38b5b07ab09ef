// What an OLE Automation type code holds, and reading through a VT_BYREF VARIANT.
#include "platform/var_type.hpp"
#include "platform/variant_reference.hpp"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

TEST(VarType, IntegerTypesAreTheTenIntegerCodes) {
    for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
                                                     VT_UINT, VT_I8, VT_UI8})
        EXPECT_TRUE(qz::IsIntegerVarType(vt)) << vt;
    for (VARTYPE vt : std::initializer_list<VARTYPE>{
             VT_EMPTY, VT_NULL, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_ERROR, VT_BOOL, VT_DECIMAL,
             static_cast<VARTYPE>(VT_ARRAY | VT_I4), static_cast<VARTYPE>(VT_BYREF | VT_I4)})
        EXPECT_FALSE(qz::IsIntegerVarType(vt)) << vt;
    EXPECT_TRUE(qz::HoldsIntegerValue(VT_ERROR)) << "an SCODE is a 32-bit integer value";
    EXPECT_TRUE(qz::HoldsIntegerValue(VT_UI8));
    EXPECT_FALSE(qz::HoldsIntegerValue(VT_R8));
}

TEST(VariantReference, ReadsTheReferencedScalar) {
    VARIANT ref;
    VARIANT value;
    SHORT small = -7;
    ref.vt = VT_BYREF | VT_I2;
    ref.piVal = &small;
    ASSERT_EQ(qz::ReadThroughReference(ref, value), S_OK);
    EXPECT_EQ(value.vt, VT_I2);
    EXPECT_EQ(value.iVal, -7);

    DECIMAL dec{};
    dec.Lo64 = 12345;
    dec.scale = 2;
    ref.vt = VT_BYREF | VT_DECIMAL;
    ref.pdecVal = &dec;
    ASSERT_EQ(qz::ReadThroughReference(ref, value), S_OK);
    EXPECT_EQ(value.vt, VT_DECIMAL);
    EXPECT_EQ(value.decVal.Lo64, 12345u);
    EXPECT_EQ(value.decVal.scale, 2);
}

TEST(VariantReference, ReadsThroughNestedVariants) {
    LONG number = 42;
    VARIANT inner;
    inner.vt = VT_BYREF | VT_I4;
    inner.plVal = &number;
    VARIANT outer;
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    VARIANT value;
    ASSERT_EQ(qz::ReadThroughReference(outer, value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 42);
}

TEST(VariantReference, RefusesNullReferencesAndTypesWithoutValue) {
    VARIANT ref;
    VARIANT value;
    ref.vt = VT_BYREF | VT_R8;
    ref.byref = nullptr;
    EXPECT_EQ(qz::ReadThroughReference(ref, value), E_INVALIDARG);
    EXPECT_EQ(value.vt, VT_EMPTY);
    int anything = 0;
    ref.vt = VT_BYREF | VT_EMPTY;
    ref.byref = &anything;
    EXPECT_EQ(qz::ReadThroughReference(ref, value), DISP_E_BADVARTYPE);
    EXPECT_EQ(value.vt, VT_EMPTY);
}

} // namespace
