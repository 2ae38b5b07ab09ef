// Code-page conversions: exact round trips, surrogate pairs, invalid input never dropped silently.
#include "platform/code_page.hpp"
#include "platform/oleauto.h"
#include "platform/utf16.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {
std::u16string ToWide(UINT cp, DWORD flags, const std::string& s, int* result = nullptr) {
    const int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (result)
        *result = n;
    std::u16string out(static_cast<std::size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0) {
        EXPECT_EQ(MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), out.data(), n), n);
    }
    return out;
}

std::string ToNarrow(UINT cp, DWORD flags, const std::u16string& s, int* result = nullptr) {
    const int n =
        WideCharToMultiByte(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    if (result)
        *result = n;
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        EXPECT_EQ(WideCharToMultiByte(cp, flags, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                                      nullptr),
                  n);
    }
    return out;
}
} // namespace

TEST(CodePage, RoundTripsEveryPlaneExactly) {
    const std::string text = "A é 温度 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF end"; // U+1F600, U+10FFFF
    for (UINT cp : {static_cast<UINT>(CP_ACP), static_cast<UINT>(CP_UTF8)}) {
        const std::u16string wide = ToWide(cp, MB_ERR_INVALID_CHARS, text);
        EXPECT_EQ(wide, u"A é 温度 \U0001F600 \U0010FFFF end");
        EXPECT_EQ(ToNarrow(cp, WC_ERR_INVALID_CHARS, wide), text);
    }
    // 936 writes every plane too (as GB18030) and reads it back exactly.
    const std::u16string wide = u"A é 温度 \U0001F600 \U0010FFFF end";
    const std::string chinese = ToNarrow(936, WC_ERR_INVALID_CHARS, wide);
    EXPECT_NE(chinese, text) << "936 is not UTF-8";
    EXPECT_EQ(ToWide(936, MB_ERR_INVALID_CHARS, chinese), wide);
}

TEST(CodePage, CodePage936IsTheChineseCodePage) {
    // GBK bytes as Chinese Windows systems write them: "温度" and "你好", ASCII unchanged.
    EXPECT_EQ(ToWide(936, MB_ERR_INVALID_CHARS, "\xCE\xC2\xB6\xC8"), u"温度");
    EXPECT_EQ(ToWide(936, 0, "T=\xC4\xE3\xBA\xC3;"), u"T=你好;");
    EXPECT_EQ(ToNarrow(936, 0, u"温度"), "\xCE\xC2\xB6\xC8");
    EXPECT_EQ(ToNarrow(936, 0, u"plain"), "plain");
    // A lead byte without its trail byte, and a byte that starts nothing.
    int n = -1;
    ToWide(936, MB_ERR_INVALID_CHARS, "a\xC4", &n);
    EXPECT_EQ(n, 0);
    ToWide(936, MB_ERR_INVALID_CHARS, "\xFF", &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(ToWide(936, 0,
                     "a\xFF"
                     "b"),
              u"a\uFFFDb");
    EXPECT_EQ(ToWide(936, 0, "a\xC4"), u"a\uFFFD");
    // An unpaired surrogate is rejected with the flag, else written as U+FFFD would be.
    ToNarrow(936, WC_ERR_INVALID_CHARS, u"a\xD800", &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(ToWide(936, 0, ToNarrow(936, 0, u"a\xD800")), u"a\uFFFD");
}

TEST(CodePage, StringFormsOfTheCodePages) {
    EXPECT_EQ(qz::CodePageToUtf8(qz::kChineseCodePage, "\xCE\xC2\xB6\xC8 ok"), "温度 ok");
    EXPECT_EQ(qz::Utf8ToCodePage(qz::kChineseCodePage, "温度 ok"), "\xCE\xC2\xB6\xC8 ok");
    EXPECT_EQ(qz::CodePageToUtf8(CP_UTF8, "温度"), "温度");
    EXPECT_EQ(qz::Utf8ToCodePage(CP_ACP, "温度"), "温度") << "the ANSI code page is UTF-8 here";
    EXPECT_EQ(qz::CodePageToUtf8(qz::kChineseCodePage, ""), "");
    EXPECT_EQ(qz::CodePageToUtf8(qz::kChineseCodePage, "\xFF"), "\xEF\xBF\xBD");
}

TEST(CodePage, SurrogatePairsBecomeOneFourByteSequence) {
    const std::u16string wide = u"\xD83D\xDE00";
    EXPECT_EQ(ToNarrow(CP_UTF8, 0, wide), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToWide(CP_UTF8, 0, "\xF0\x9F\x98\x80"), wide);
}

TEST(CodePage, InvalidBytesAreRejectedWithTheFlag) {
    int n = -1;
    for (const std::string bad : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80"}) {
        ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, bad, &n);
        EXPECT_EQ(n, 0) << bad;
    }
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(ToWide(CP_ACP, 0,
                     "a\xFF"
                     "b"),
              u"a\uFFFDb");
    EXPECT_EQ(ToWide(CP_ACP, 0, "a\xC3"), u"a\uFFFD");                   // truncated sequence
    EXPECT_EQ(ToWide(CP_ACP, 0, "\xE6\xB8x"), u"\uFFFDx");               // maximal subpart: one U+FFFD
    EXPECT_EQ(ToWide(CP_ACP, 0, "\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong: each byte
    EXPECT_EQ(ToWide(CP_ACP, 0, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
}

TEST(CodePage, LoneSurrogatesRejectedOrReplaced) {
    int n = -1;
    ToNarrow(CP_UTF8, WC_ERR_INVALID_CHARS,
             u"a\xD800"
             u"b",
             &n);
    EXPECT_EQ(n, 0);
    ToNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xDC00", &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(ToNarrow(CP_UTF8, 0,
                       u"a\xD800"
                       u"b"),
              "a\xEF\xBF\xBD"
              "b");
    BOOL used = FALSE;
    const std::u16string lone = u"\xDBFF";
    char buf[8];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone.data(), 1, buf, sizeof buf, nullptr, &used), 3);
    EXPECT_TRUE(used);
}

TEST(CodePage, TerminatorCountedWithMinusOne) {
    WCHAR wide[8];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, wide, 8), 3);
    EXPECT_EQ(wide[2], 0);
    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"温", -1, narrow, 8, nullptr, nullptr), 4);
    EXPECT_EQ(narrow[3], '\0');
}

TEST(CodePage, SmallBufferAndBadArgumentsGiveZero) {
    WCHAR wide[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 2), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, wide, 2), 0); // unsupported code page
    char narrow[2];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"温", 1, narrow, 2, nullptr, nullptr), 0);
}

TEST(CodePage, CppHelpersReplaceOrRefuse) {
    EXPECT_EQ(qz::Utf8ToUtf16("x\xFFy"), u"x\uFFFDy");
    EXPECT_FALSE(qz::Utf8ToUtf16Strict("x\xFFy").has_value());
    EXPECT_EQ(qz::Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
    EXPECT_FALSE(qz::Utf16ToUtf8Strict(u"\xDC00").has_value());
    EXPECT_EQ(*qz::Utf16ToUtf8Strict(u"温度"), "温度");
}
