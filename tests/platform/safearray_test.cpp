// SAFEARRAY services: element ownership, copies, locks and bounds. Leaks show up under ASan.
#include "platform/bstr.hpp"
#include "platform/element_size.hpp"
#include "platform/oleauto.h"

#include <gtest/gtest.h>

TEST(SafeArray, VectorOfBstrOwnsItsStrings) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, 3);
    ASSERT_NE(sa, nullptr);
    EXPECT_TRUE(sa->fFeatures & FADF_BSTR);
    EXPECT_EQ(SafeArrayGetElemsize(sa), sizeof(BSTR));
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(sa, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    BSTR text = SysAllocString(u"first");
    LONG i = 0;
    EXPECT_EQ(SafeArrayPutElement(sa, &i, text), S_OK); // the array stores a copy
    SysFreeString(text);
    i = 1;
    qz::Bstr second("x");
    EXPECT_EQ(SafeArrayPutElement(sa, &i, second.get()), S_OK);
    BSTR got = nullptr;
    i = 0;
    EXPECT_EQ(SafeArrayGetElement(sa, &i, &got), S_OK);
    EXPECT_EQ(std::u16string_view(got), u"first");
    SysFreeString(got);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(SafeArray, CopyOfVariantArrayIsDeep) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(sa, nullptr);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"inner");
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(sa, &i, &v), S_OK);
    VariantClear(&v);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
    auto* a = static_cast<VARIANT*>(sa->pvData);
    auto* b = static_cast<VARIANT*>(copy->pvData);
    EXPECT_NE(a[1].bstrVal, b[1].bstrVal);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
    EXPECT_EQ(std::u16string_view(b[1].bstrVal), u"inner");
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, VariantHoldingArrayOfArraysClearsEverything) {
    SAFEARRAY* inner = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 0;
    BSTR s = SysAllocString(u"deep");
    SafeArrayPutElement(inner, &i, s);
    SysFreeString(s);
    SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_ARRAY | VT_BSTR;
    element.parray = inner;
    SafeArrayPutElement(outer, &i, &element);
    VariantClear(&element); // destroys `inner`; the array holds its own copy
    VARIANT holder, copy;
    VariantInit(&holder);
    VariantInit(&copy);
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = outer;
    ASSERT_EQ(VariantCopy(&copy, &holder), S_OK);
    EXPECT_NE(copy.parray, holder.parray);
    EXPECT_EQ(VariantClear(&holder), S_OK);
    EXPECT_EQ(VariantClear(&copy), S_OK);
}

TEST(SafeArray, BoundsAreChecked) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_I4, 0, 2);
    LONG value = 5;
    LONG i = 2;
    EXPECT_EQ(SafeArrayPutElement(sa, &i, &value), DISP_E_BADINDEX);
    i = -1;
    EXPECT_EQ(SafeArrayGetElement(sa, &i, &value), DISP_E_BADINDEX);
    LONG ub = 0;
    EXPECT_EQ(SafeArrayGetUBound(sa, 1, &ub), S_OK);
    EXPECT_EQ(ub, 1);
    EXPECT_EQ(SafeArrayGetUBound(sa, 2, &ub), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(sa, 0, &ub), DISP_E_BADINDEX);
    i = 1;
    EXPECT_EQ(SafeArrayPutElement(sa, &i, &value), S_OK);
    EXPECT_EQ(static_cast<LONG*>(sa->pvData)[1], 5);
    SafeArrayDestroy(sa);
}

TEST(SafeArray, NonZeroLowerBound) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_I2, 10, 3);
    SHORT value = 7;
    LONG i = 12;
    EXPECT_EQ(SafeArrayPutElement(sa, &i, &value), S_OK);
    EXPECT_EQ(static_cast<SHORT*>(sa->pvData)[2], 7);
    i = 9;
    EXPECT_EQ(SafeArrayPutElement(sa, &i, &value), DISP_E_BADINDEX);
    LONG lb = 0, ub = 0;
    SafeArrayGetLBound(sa, 1, &lb);
    SafeArrayGetUBound(sa, 1, &ub);
    EXPECT_EQ(lb, 10);
    EXPECT_EQ(ub, 12);
    SafeArrayDestroy(sa);
}

TEST(SafeArray, LockedArrayIsNotDestroyed) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R8, 0, 1);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(sa, &data), S_OK);
    EXPECT_EQ(data, sa->pvData);
    EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = sa;
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(sa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(sa), E_UNEXPECTED);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(SafeArray, MultipleDimensionsIndexLeftmostFastest) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}}; // 2 x 3, second dimension from 1
    SAFEARRAY* sa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(sa), 2u);
    LONG lb = -1;
    SafeArrayGetLBound(sa, 2, &lb);
    EXPECT_EQ(lb, 1);
    LONG idx[2] = {1, 2};
    LONG value = 99;
    ASSERT_EQ(SafeArrayPutElement(sa, idx, &value), S_OK);
    EXPECT_EQ(static_cast<LONG*>(sa->pvData)[1 + 2 * 1], 99);
    SafeArrayDestroy(sa);
}

TEST(SafeArray, RefusesTypesWithoutElements) {
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    SAFEARRAY* out = reinterpret_cast<SAFEARRAY*>(1);
    EXPECT_EQ(SafeArrayCopy(nullptr, &out), S_OK);
    EXPECT_EQ(out, nullptr);
}

// The one element-size table: what the array services allocate, the stream readers and writers check.
TEST(SafeArray, ElementSizeIsWhatArraysAllocate) {
    struct Row {
        VARTYPE vt;
        ULONG size;
    };
    const Row rows[] = {{VT_I1, 1},
                        {VT_UI1, 1},
                        {VT_I2, 2},
                        {VT_UI2, 2},
                        {VT_BOOL, 2},
                        {VT_I4, 4},
                        {VT_UI4, 4},
                        {VT_INT, 4},
                        {VT_UINT, 4},
                        {VT_R4, 4},
                        {VT_ERROR, 4},
                        {VT_I8, 8},
                        {VT_UI8, 8},
                        {VT_R8, 8},
                        {VT_CY, 8},
                        {VT_DATE, 8},
                        {VT_BSTR, sizeof(BSTR)},
                        {VT_UNKNOWN, sizeof(void*)},
                        {VT_DISPATCH, sizeof(void*)},
                        {VT_VARIANT, sizeof(VARIANT)},
                        {VT_DECIMAL, sizeof(DECIMAL)}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vt);
        EXPECT_EQ(qz::ElementSize(row.vt), row.size);
        SAFEARRAY* sa = SafeArrayCreateVector(row.vt, 0, 2);
        ASSERT_NE(sa, nullptr);
        EXPECT_EQ(SafeArrayGetElemsize(sa), row.size);
        EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
    }
    for (VARTYPE none : {VARTYPE(VT_EMPTY), VARTYPE(VT_NULL), VARTYPE(VT_I4 | VT_ARRAY), VARTYPE(0x7ff)}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(qz::ElementSize(none), 0u);
    }
}
