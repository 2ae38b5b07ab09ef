// ASCII letter case, independent of the C and C++ locales: identifiers, keywords and key texts compare
// the same on every machine (std::tolower would follow the global locale, and is undefined for negative
// chars). Bytes outside A-Z/a-z, UTF-8 sequences included, compare as they are.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
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

/// A copy with A-Z folded to a-z (a key for sets and maps of case-insensitive names).
inline std::string AsciiLowerCopy(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = AsciiLower(c);
    return result;
}

/// Hash and equality for unordered containers keyed by case-insensitive names.
struct AsciiCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        std::uint64_t h = 14695981039346656037ull; // FNV-1a over the folded bytes
        for (char c : text) {
            h ^= static_cast<unsigned char>(AsciiLower(c));
            h *= 1099511628211ull;
        }
        return static_cast<std::size_t>(h);
    }
};
struct AsciiCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return EqualsNoCase(a, b); }
};

} // namespace qz
