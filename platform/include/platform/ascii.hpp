// ASCII letter case, independent of the C and C++ locales: identifiers, keywords and key texts compare
// the same on every machine (std::tolower would follow the global locale, and is undefined for negative
// chars). Bytes outside A-Z/a-z, UTF-8 sequences included, compare as they are.
#pragma once

#include <algorithm>
#include <string_view>

namespace qz {

constexpr char AsciiLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Equal without regard to ASCII case.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

/// Orders without regard to ASCII case (bytes compared unsigned, the shorter text first on a common prefix).
constexpr bool LessNoCase(std::string_view a, std::string_view b) noexcept {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(AsciiLower(x)) < static_cast<unsigned char>(AsciiLower(y));
    });
}

} // namespace qz
