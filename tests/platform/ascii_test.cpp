// ASCII case-insensitive comparison, the same whatever the locale.
#include "platform/ascii.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <set>
#include <string>
#include <unordered_set>

namespace {

TEST(AsciiNoCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(qz::AsciiLower('A'), 'a');
    EXPECT_EQ(qz::AsciiLower('Z'), 'z');
    EXPECT_EQ(qz::AsciiLower('@'), '@');
    EXPECT_EQ(qz::AsciiLower('['), '[');
    EXPECT_EQ(qz::AsciiLower('\xC4'), '\xC4') << "a byte of a UTF-8 sequence or Latin-1 letter stays";
    EXPECT_TRUE(qz::EqualsNoCase("Tag.Value", "tAG.vALUE"));
    EXPECT_FALSE(qz::EqualsNoCase("Tag", "Tags"));
    EXPECT_FALSE(qz::EqualsNoCase("\xC3\x84", "\xC3\xA4")) << "Ä and ä are not ASCII";
    EXPECT_TRUE(qz::EqualsNoCase("", ""));
}

TEST(AsciiNoCase, OrdersLikeLowerCaseBytes) {
    EXPECT_TRUE(qz::LessNoCase("abc", "ABD"));
    EXPECT_FALSE(qz::LessNoCase("ABC", "abc"));
    EXPECT_FALSE(qz::LessNoCase("abc", "ABC"));
    EXPECT_TRUE(qz::LessNoCase("ab", "ABC")) << "the shorter text first on a common prefix";
    EXPECT_TRUE(qz::LessNoCase("z", "\xC3\xA4")) << "bytes above 0x7F sort after ASCII";
    EXPECT_TRUE(qz::LessNoCase("_", "a")) << "'_' (0x5F) before 'a', as lower case orders it";
}

TEST(AsciiNoCase, KeysUnorderedSetsWithoutCase) {
    EXPECT_EQ(qz::AsciiLowerCopy("TGroup.\xC4x"), "tgroup.\xC4x") << "only A-Z fold";
    EXPECT_EQ(qz::AsciiCaseHash{}("Tag1"), qz::AsciiCaseHash{}("tAG1"));
    std::unordered_set<std::string, qz::AsciiCaseHash, qz::AsciiCaseEqual> names{"Tag1", "TAG1", "tag2",
                                                                                 "\xC4", "\xE4"};
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(names.count(std::string_view("TaG2")), 1u) << "found by a view, without a copy";
}

TEST(AsciiNoCase, IgnoresTheLocale) {
    // Under a Latin-1 locale std::tolower folds 0xC4 to 0xE4; the ASCII comparison must not.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const bool latin = std::setlocale(LC_ALL, "de_DE.ISO-8859-1") != nullptr ||
                       std::setlocale(LC_ALL, "en_US.ISO-8859-1") != nullptr;
    EXPECT_FALSE(qz::EqualsNoCase("\xC4", "\xE4"));
    std::set<std::string,
             decltype([](const std::string& a, const std::string& b) { return qz::LessNoCase(a, b); })>
        keys{"Key", "KEY", "key", "\xC4", "\xE4"};
    EXPECT_EQ(keys.size(), 3u);
    std::setlocale(LC_ALL, before.c_str());
    // (Where no Latin-1 locale is installed this runs under the C locale, where it must hold as well.)
    RecordProperty("latin1_locale", latin ? "yes" : "no");
}

} // namespace
