// UTF-8 <-> UTF-16 transcoding. Built on every platform: the C++ helpers use it, and where the system
// lacks the code-page services they are built on it too.
#include "platform/utf16.hpp"
#include "utf_codec.hpp"

namespace qz::detail {

namespace {
constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
} // namespace

bool DecodeUtf8(std::string_view in, std::u16string& out, bool strict) {
    const std::size_t n = in.size();
    std::size_t i = 0;
    out.reserve(out.size() + n);
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        // Length of the sequence and the allowed range of its second byte (excludes overlong forms,
        // UTF-16 surrogates and code points above U+10FFFF).
        int trail = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            trail = 1;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            trail = 2;
            cp = b0 & 0x0F;
            if (b0 == 0xE0)
                lo = 0xA0;
            else if (b0 == 0xED)
                hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            trail = 3;
            cp = b0 & 0x07;
            if (b0 == 0xF0)
                lo = 0x90;
            else if (b0 == 0xF4)
                hi = 0x8F;
        } else {
            if (strict)
                return false;
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < trail; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const auto b = static_cast<unsigned char>(in[j]);
            const unsigned char min = k == 0 ? lo : 0x80;
            const unsigned char max = k == 0 ? hi : 0xBF;
            if (b < min || b > max) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (!ok) {
            // The well-formed prefix [i, j) is one maximal subpart and gives one replacement character.
            if (strict)
                return false;
            out.push_back(kReplacement);
            i = j;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i = j;
    }
    return true;
}

bool EncodeUtf8(std::u16string_view in, std::string& out, bool strict, bool* replaced) {
    const std::size_t n = in.size();
    out.reserve(out.size() + n);
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict)
                return false;
            if (replaced)
                *replaced = true;
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return true;
}

} // namespace qz::detail

namespace qz {

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    detail::DecodeUtf8(utf8, out, false);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    detail::EncodeUtf8(utf16, out, false);
    return out;
}

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8) {
    std::u16string out;
    if (!detail::DecodeUtf8(utf8, out, true))
        return std::nullopt;
    return out;
}

std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view utf16) {
    std::string out;
    if (!detail::EncodeUtf8(utf16, out, true))
        return std::nullopt;
    return out;
}

std::u16string_view OleView(const char16_t* text) noexcept {
    if (!text)
        return {};
    return std::u16string_view(text);
}

} // namespace qz
