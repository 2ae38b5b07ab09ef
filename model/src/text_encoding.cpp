#include "text_encoding.hpp"

#include "platform/code_page.hpp"
#include "platform/utf16.hpp"

namespace tagsink::detail {

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    if (IsAscii(text))
        return std::string(text);
    return qz::Utf16ToUtf8(qz::Utf8ToUtf16(text));
}

std::u16string Utf8ToUtf16(std::string_view text) {
    return qz::Utf8ToUtf16(text);
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return qz::Utf16ToUtf8(text);
}

std::string Cp936ToUtf8(std::string_view text) {
    if (IsAscii(text))
        return std::string(text);
    return qz::CodePageToUtf8(qz::kChineseCodePage, text);
}

} // namespace tagsink::detail
