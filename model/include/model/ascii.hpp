// ASCII-only letter case rules: names, property names, class names and enumeration identifiers are
// compared without regard to the case of A-Z and a-z; other characters compare as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tagsink {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

/// Orders like CompareText: A-Z fold to a-z, then byte order; on a common prefix the shorter comes first.
constexpr int CompareTextAscii(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

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
    bool operator()(std::string_view a, std::string_view b) const noexcept { return SameTextAscii(a, b); }
};

} // namespace tagsink
