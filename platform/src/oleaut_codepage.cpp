// Code-page conversions. The system ANSI code page (CP_ACP) is UTF-8 on this platform, and 936 is accepted
// as its alias so that code written for a Chinese Windows system runs unchanged. Ill-formed input gives
// 0 with MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS and U+FFFD otherwise; nothing is dropped.
#include "platform/oleauto.h"
#include "utf_codec.hpp"

#include <cstring>
#include <string>

namespace {

bool IsSupported(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8 || codePage == 936;
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
        std::u16string wide;
        if (!qz::detail::DecodeUtf8(std::string_view(lpMultiByteStr, bytes), wide,
                                    (dwFlags & MB_ERR_INVALID_CHARS) != 0))
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
        if (narrow.size() > 0x7FFFFFFF)
            return 0;
        // UTF-8 has no default character: an unpaired surrogate becomes U+FFFD, reported here.
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
