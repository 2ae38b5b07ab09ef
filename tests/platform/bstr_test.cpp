// BSTR allocator and qz::Bstr.
#include "platform/bstr.hpp"
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(Bstr, LengthPrefixPrecedesTerminatedText) {
    BSTR s = SysAllocString(u"abc");
    ASSERT_NE(s, nullptr);
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(bytes, 6u);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[3], 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s) % 8, 0u);
    SysFreeString(s);
}

TEST(Bstr, NullStandsForEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(Bstr, EmbeddedNulAndOddByteLength) {
    BSTR s = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], u'b');
    SysFreeString(s);
    BSTR odd = SysAllocStringByteLen("xyz", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    EXPECT_EQ(reinterpret_cast<const char*>(odd)[3], 0);
    EXPECT_EQ(reinterpret_cast<const char*>(odd)[4], 0);
    SysFreeString(odd);
    BSTR blank = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(blank), 4u);
    SysFreeString(blank);
}

TEST(Bstr, ReAllocFromItsOwnText) {
    BSTR s = SysAllocString(u"hello world");
    ASSERT_TRUE(SysReAllocString(&s, s + 6));
    EXPECT_EQ(std::u16string_view(s, SysStringLen(s)), u"world");
    ASSERT_TRUE(SysReAllocString(&s, nullptr));
    EXPECT_EQ(SysStringLen(s), 0u);
    SysFreeString(s);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

TEST(Bstr, WrapperConvertsUtf8AndOwnsCopies) {
    qz::Bstr a("Grüße 温度");
    EXPECT_EQ(a.view(), u"Grüße 温度");
    qz::Bstr b = a;
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(b.toUtf8(), "Grüße 温度");
    qz::Bstr c = std::move(b);
    EXPECT_EQ(b.get(), nullptr);
    EXPECT_TRUE(b.empty());
    BSTR raw = c.release();
    qz::Bstr d = qz::Bstr::attach(raw);
    EXPECT_EQ(d.length(), 8u);
    *d.out() = SysAllocString(u"x");
    EXPECT_EQ(d.view(), u"x");
}
