// VariantInit / VariantClear / VariantCopy and qz::Variant.
#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <vector>

TEST(Variant, CopyIsDeepForStrings) {
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(u"text");
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(b.vt, VT_BSTR);
    EXPECT_NE(b.bstrVal, a.bstrVal);
    EXPECT_EQ(std::u16string_view(b.bstrVal), u"text");
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(std::u16string_view(b.bstrVal), u"text");
    EXPECT_EQ(VariantClear(&b), S_OK);
}

TEST(Variant, ByRefIsCopiedAsReference) {
    LONG target = 42;
    VARIANT ref, copy;
    VariantInit(&ref);
    VariantInit(&copy);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &target;
    ASSERT_EQ(VariantCopy(&copy, &ref), S_OK);
    EXPECT_EQ(copy.vt, VT_BYREF | VT_I4);
    EXPECT_EQ(copy.plVal, &target);
    EXPECT_EQ(VariantClear(&copy), S_OK); // does not free the target
    EXPECT_EQ(target, 42);
}

TEST(Variant, UnknownTypesAreRefused) {
    VARIANT bad, dest;
    VariantInit(&bad);
    VariantInit(&dest);
    bad.vt = 15; // no such type
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&dest, &bad), DISP_E_BADVARTYPE);
    bad.vt = VT_ARRAY | VT_EMPTY;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    bad.vt = VT_VARIANT;
    EXPECT_EQ(VariantCopy(&dest, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(dest.vt, VT_EMPTY);
}

TEST(Variant, ConstructorsPickTheCanonicalTypes) {
    EXPECT_EQ(qz::Variant(std::int8_t{1}).vt(), VT_I1);
    EXPECT_EQ(qz::Variant(std::uint8_t{1}).vt(), VT_UI1);
    EXPECT_EQ(qz::Variant(std::int16_t{1}).vt(), VT_I2);
    EXPECT_EQ(qz::Variant(std::uint16_t{1}).vt(), VT_UI2);
    EXPECT_EQ(qz::Variant(1).vt(), VT_I4);
    EXPECT_EQ(qz::Variant(1u).vt(), VT_UI4);
    EXPECT_EQ(qz::Variant(std::int64_t{1}).vt(), VT_I8);
    EXPECT_EQ(qz::Variant(1ull).vt(), VT_UI8);
    EXPECT_EQ(qz::Variant(1.5f).vt(), VT_R4);
    EXPECT_EQ(qz::Variant(1.5).vt(), VT_R8);
    EXPECT_EQ(qz::Variant(true).vt(), VT_BOOL);
    EXPECT_EQ(qz::Variant(true).get().boolVal, VARIANT_TRUE);
    EXPECT_EQ(qz::Variant("x").vt(), VT_BSTR);
    EXPECT_EQ(qz::Variant(u"x").vt(), VT_BSTR);
    EXPECT_EQ(qz::Variant::Currency(15000).vt(), VT_CY);
    EXPECT_EQ(qz::Variant::Date(1.0).vt(), VT_DATE);
    EXPECT_EQ(qz::Variant::Error(E_FAIL).get().scode, E_FAIL);
    EXPECT_TRUE(qz::Variant::Null().isNull());
    EXPECT_TRUE(qz::Variant().isEmpty());
    EXPECT_EQ(qz::Variant(std::int64_t{-5}).get().llVal, -5);
}

TEST(Variant, ArraysAreOneDimensionalFromZero) {
    const std::vector<double> values{1.5, 2.5, 3.5};
    qz::Variant a = qz::Variant::Array(std::span<const double>(values));
    EXPECT_EQ(a.vt(), VT_ARRAY | VT_R8);
    EXPECT_EQ(a.arrayLength(), 3u);
    LONG lower = -1;
    EXPECT_EQ(SafeArrayGetLBound(a.get().parray, 1, &lower), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(a.element(2).get().dblVal, 3.5);
    const std::vector<std::string> texts{"a", "温"};
    qz::Variant t = qz::Variant::Array(std::span<const std::string>(texts));
    EXPECT_EQ(t.vt(), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(t.element(1).toUtf8(), "温");
    const std::vector<qz::Variant> mixed{qz::Variant(1), qz::Variant("two"), qz::Variant::Null()};
    qz::Variant m = qz::Variant::Array(std::span<const qz::Variant>(mixed));
    EXPECT_EQ(m.vt(), VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(m.element(1).toUtf8(), "two");
    EXPECT_TRUE(m.element(2).isNull());
    EXPECT_THROW(m.element(3), qz::VariantError);
}

TEST(Variant, CopiesOfArraysAreIndependent) {
    const std::vector<qz::Variant> items{qz::Variant("one"), qz::Variant("two")};
    qz::Variant a = qz::Variant::Array(std::span<const qz::Variant>(items));
    qz::Variant b = a;
    EXPECT_NE(a.get().parray, b.get().parray);
    a.clear();
    EXPECT_EQ(b.element(0).toUtf8(), "one");
}

TEST(Variant, ReleaseAttachAndOut) {
    qz::Variant a("owned");
    VARIANT raw = a.release();
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(raw.vt, VT_BSTR);
    qz::Variant b;
    b.attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(b.toUtf8(), "owned");
    VARIANT* out = b.out();
    EXPECT_EQ(out->vt, VT_EMPTY);
    out->vt = VT_I4;
    out->lVal = 7;
    EXPECT_EQ(b.toUtf8(), "7");
}

TEST(Variant, ConversionFailureCarriesTheSystemText) {
    try {
        qz::Variant("abc").convertedTo(VT_I4);
        FAIL() << "no exception";
    } catch (const qz::VariantError& e) {
        EXPECT_EQ(e.code(), DISP_E_TYPEMISMATCH);
        EXPECT_STREQ(e.what(), "Type mismatch.");
    }
    EXPECT_EQ(qz::HResultText(static_cast<HRESULT>(0xC0040007)), "OLE error C0040007");
}

TEST(Variant, ArraysFromVectors) {
    qz::Variant ints = qz::Variant::Array(std::vector<std::uint16_t>{7, 8});
    EXPECT_EQ(ints.vt(), VT_ARRAY | VT_UI2);
    EXPECT_EQ(ints.element(1).get().uiVal, 8);
    qz::Variant flags = qz::Variant::Array(std::vector<bool>{true, false, true});
    EXPECT_EQ(flags.vt(), VT_ARRAY | VT_BOOL);
    EXPECT_EQ(flags.arrayLength(), 3u);
    EXPECT_EQ(flags.element(0).get().boolVal, VARIANT_TRUE);
    EXPECT_EQ(flags.element(1).get().boolVal, VARIANT_FALSE);
    qz::Variant texts = qz::Variant::Array(std::vector<std::string>{"a", "b"});
    EXPECT_EQ(texts.vt(), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(texts.element(1).toUtf8(), "b");
}

TEST(Variant, DescriptionsNameTypeAndValue) {
    EXPECT_EQ(qz::Describe(qz::Variant(42)), "VT_I4 42");
    EXPECT_EQ(qz::Describe(qz::Variant("温度")), "VT_BSTR \"温度\"");
    EXPECT_EQ(qz::Describe(qz::Variant()), "VT_EMPTY");
    EXPECT_EQ(qz::Describe(qz::Variant::Null()), "VT_NULL");
    EXPECT_EQ(qz::Describe(qz::Variant(true)), "VT_BOOL True");
    EXPECT_EQ(qz::Describe(qz::Variant::Error(E_FAIL)), "VT_ERROR 0x80004005");
    EXPECT_EQ(qz::Describe(qz::Variant::Array(std::vector<double>{1.5, 2})), "VT_ARRAY|VT_R8 [1.5, 2]");
    EXPECT_EQ(qz::Describe(qz::Variant::Array(std::vector<qz::Variant>{qz::Variant(1), qz::Variant("a")})),
              "VT_ARRAY|VT_VARIANT [VT_I4 1, VT_BSTR \"a\"]");
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 99;
    EXPECT_EQ(qz::Describe(bad), "VT_99 ?");
}
