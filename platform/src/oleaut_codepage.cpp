// Code-page conversions. The system ANSI code page (CP_ACP) is UTF-8 on this platform. Code page 936 is
// the Chinese code page (GBK) of the project files and logs that Chinese Windows systems write; it is read
// and written here as GB18030, its superset: every GBK text decodes to the same characters, and every
// Unicode character can be written, so nothing is lost on the way out either. This is the one meaning of
// 936 in the program. Ill-formed input gives 0 with MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS and
// U+FFFD otherwise; nothing is dropped.
#include "platform/oleauto.h"
#include "utf_codec.hpp"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <string>
#include <utility>

namespace {

constexpr UINT kChinese = 936;

bool IsSupported(UINT code_page) {
    return code_page == CP_ACP || code_page == CP_UTF8 || code_page == kChinese;
}

// One iconv conversion over the whole input. A byte the source encoding cannot take: with `strict` the
// conversion fails, otherwise `replacement` is written for it and the conversion goes on after it.
bool Iconv(const char* to, const char* from, std::string_view in, std::string& out, bool strict,
           std::string_view replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char buffer[512];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    bool ok = true;
    while (left > 0) {
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            if (strict) {
                ok = false;
                break;
            }
            out += replacement;
            ++src;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    if (ok) {
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(cd, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
    }
    iconv_close(cd);
    return ok;
}

std::size_t OleLength(const WCHAR* s) {
    std::size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

} // namespace

extern "C" {

INT MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, INT cbMultiByte,
                        WCHAR* lpWideCharStr, INT cchWideChar) {
    if (!IsSupported(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0)
        return 0;
    try {
        // With -1 the terminating NUL is part of the input and of the output.
        const std::size_t bytes =
            cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
        const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
        std::string_view input(lpMultiByteStr, bytes);
        std::string utf8;
        if (CodePage == kChinese) {
            if (!Iconv("UTF-8", "GB18030", input, utf8, strict, "\xEF\xBF\xBD"))
                return 0;
            input = utf8;
        }
        std::u16string wide;
        if (!qz::detail::DecodeUtf8(input, wide, strict))
            return 0;
        if (wide.size() > 0x7FFFFFFF)
            return 0;
        const INT needed = static_cast<INT>(wide.size());
        if (cchWideChar == 0)
            return needed;
        if (!lpWideCharStr || cchWideChar < needed)
            return 0; // buffer too small
        std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
        return needed;
    } catch (...) {
        return 0;
    }
}

INT WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const WCHAR* lpWideCharStr, INT cchWideChar,
                        LPSTR lpMultiByteStr, INT cbMultiByte, LPCSTR /*lpDefaultChar*/,
                        BOOL* lpUsedDefaultChar) {
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = FALSE;
    if (!IsSupported(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0)
        return 0;
    try {
        const std::size_t units =
            cchWideChar == -1 ? OleLength(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
        std::string narrow;
        bool replaced = false;
        if (!qz::detail::EncodeUtf8(
                std::u16string_view(reinterpret_cast<const char16_t*>(lpWideCharStr), units), narrow,
                (dwFlags & WC_ERR_INVALID_CHARS) != 0, &replaced))
            return 0;
        if (CodePage == kChinese) {
            // GB18030 writes every character; only an unpaired surrogate (already U+FFFD) is replaced.
            std::string chinese;
            if (!Iconv("GB18030", "UTF-8", narrow, chinese, true, {}))
                return 0;
            narrow = std::move(chinese);
        }
        if (narrow.size() > 0x7FFFFFFF)
            return 0;
        // Neither UTF-8 nor GB18030 needs a default character: an unpaired surrogate becomes U+FFFD, reported
        // here.
        if (lpUsedDefaultChar)
            *lpUsedDefaultChar = replaced ? TRUE : FALSE;
        const INT needed = static_cast<INT>(narrow.size());
        if (cbMultiByte == 0)
            return needed;
        if (!lpMultiByteStr || cbMultiByte < needed)
            return 0; // buffer too small
        std::memcpy(lpMultiByteStr, narrow.data(), narrow.size());
        return needed;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
