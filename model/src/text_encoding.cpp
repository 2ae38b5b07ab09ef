#include "text_encoding.hpp"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace tagsink::detail {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

/// Decodes one code point at text[pos]; advances pos. Invalid input yields U+FFFD and skips one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    std::size_t length;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    if (pos + length > text.size()) {
        ++pos;
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += length;
    return cp;
}

} // namespace

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();)
        AppendUtf8(out, DecodeUtf8(text, pos));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t cp = DecodeUtf8(text, pos);
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

#ifdef _WIN32
std::string Cp936ToUtf8(std::string_view text) {
    if (text.empty())
        return {};
    const int units = MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t*>(wide.data()), units);
    return Utf16ToUtf8(wide);
}
#else
std::string Cp936ToUtf8(std::string_view text) {
    if (IsAscii(text))
        return std::string(text);
    iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter on this system: keep ASCII, mark everything else as undecodable.
        std::string out;
        for (char c : text)
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                AppendUtf8(out, kReplacement);
        return out;
    }
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // EILSEQ or EINVAL: one undecodable byte; replace it and go on after it.
            AppendUtf8(out, kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}
#endif

} // namespace tagsink::detail
