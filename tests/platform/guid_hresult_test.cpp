// GUID text form and HRESULT texts.
#include "platform/guid.hpp"
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <string>

TEST(Guid, TextRoundTrip) {
    CLSID id{};
    ASSERT_EQ(CLSIDFromString(u"{6ab1d6c4-0b2a-4d6b-9f0e-1234567890aB}", &id), S_OK);
    EXPECT_EQ(id.Data1, 0x6AB1D6C4u);
    EXPECT_EQ(id.Data2, 0x0B2A);
    EXPECT_EQ(id.Data3, 0x4D6B);
    EXPECT_EQ(id.Data4[0], 0x9F);
    EXPECT_EQ(id.Data4[7], 0xAB);
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(&id, text, 39), 39);
    EXPECT_EQ(std::u16string_view(text), u"{6AB1D6C4-0B2A-4D6B-9F0E-1234567890AB}");
    EXPECT_EQ(StringFromGUID2(&id, text, 38), 0);
    CLSID again{};
    CLSIDFromString(text, &again);
    EXPECT_TRUE(IsEqualGUID(&id, &again));
    again.Data4[7] ^= 1;
    EXPECT_FALSE(IsEqualGUID(&id, &again));
}

TEST(Guid, MalformedTextIsClassStringError) {
    CLSID id{};
    for (const char16_t* bad :
         {u"", u"Vendor.Server.1", u"6AB1D6C4-0B2A-4D6B-9F0E-1234567890AB",
          u"{6AB1D6C4-0B2A-4D6B-9F0E-1234567890AG}", u"{6AB1D6C4-0B2A-4D6B-9F0E-1234567890AB}x",
          u"{6AB1D6C4-0B2A-4D6B-9F0E1234567890AB}"})
        EXPECT_EQ(CLSIDFromString(bad, &id), CO_E_CLASSSTRING) << std::u16string(bad).size();
    EXPECT_EQ(CLSIDFromString(u"{6AB1D6C4-0B2A-4D6B-9F0E-1234567890AB}", nullptr), E_INVALIDARG);
}

TEST(Guid, StringFormsForCpp) {
    const GUID id{0x6A2F5C1Bu, 0x0D3E, 0x4F7A, {0x9B, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}};
    EXPECT_EQ(qz::GuidText(id), u"{6A2F5C1B-0D3E-4F7A-9B01-23456789ABCD}");
    const auto lower = qz::ParseGuid(u"{6a2f5c1b-0d3e-4f7a-9b01-23456789abcd}");
    ASSERT_TRUE(lower.has_value());
    EXPECT_TRUE(qz::SameGuid(*lower, id));
    EXPECT_FALSE(qz::SameGuid(*lower, GUID{}));
    EXPECT_FALSE(qz::ParseGuid(u"{6A2F5C1B-0D3E-4F7A-9B01-23456789ABCD}x").has_value()) << "too long";
    EXPECT_FALSE(qz::ParseGuid(u"{6A2F5C1B-0D3E-4F7A-9B01-23456789ABC}").has_value()) << "too short";
    EXPECT_FALSE(qz::ParseGuid(u"{6A2F5C1B-0D3E-4F7A-9B01-23456789ABCG}").has_value()) << "not hex";
    EXPECT_FALSE(
        qz::ParseGuid(std::u16string(u"{6A2F5C1B-0D3E-4F7A-9B01\0\0\0\0\0\0\0\0\0\0\0\0}", 38)).has_value())
        << "an embedded NUL";
    EXPECT_FALSE(qz::ParseGuid(u"").has_value());
}

TEST(HResult, KnownSystemTexts) {
    char buf[256];
    auto text = [&](HRESULT hr) {
        const DWORD n = QzFormatHResult(hr, buf, sizeof buf);
        return std::string(buf, n);
    };
    EXPECT_EQ(text(E_FAIL), "Unspecified error");
    EXPECT_EQ(text(E_NOINTERFACE), "No such interface supported");
    EXPECT_EQ(text(E_ACCESSDENIED), "Access is denied.");
    EXPECT_EQ(text(REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(text(RPC_S_SERVER_UNAVAILABLE_HR), "The RPC server is unavailable.");
    EXPECT_EQ(text(E_INVALIDARG), "The parameter is incorrect.");
    EXPECT_EQ(text(DISP_E_TYPEMISMATCH), "Type mismatch.");
    EXPECT_EQ(text(DISP_E_OVERFLOW), "Overflow.");
    EXPECT_EQ(text(CO_E_CLASSSTRING), "Invalid class string");
    EXPECT_EQ(text(E_NOTIMPL), "Not implemented");
    EXPECT_EQ(text(E_UNEXPECTED), "Catastrophic failure");
    EXPECT_FALSE(text(E_OUTOFMEMORY).empty());
    EXPECT_FALSE(text(E_POINTER).empty());
    EXPECT_FALSE(text(E_HANDLE).empty());
}

TEST(HResult, UnknownCodeAndShortBuffer) {
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(QzFormatHResult(static_cast<HRESULT>(0xC0040004), buf, sizeof buf), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(QzFormatHResult(E_FAIL, buf, 5), 4u);
    EXPECT_STREQ(buf, "Unsp");
    EXPECT_EQ(QzFormatHResult(E_FAIL, nullptr, 5), 0u);
}
