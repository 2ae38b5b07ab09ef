// 8-bit text in a code page, for C++ code: the system's code-page services (MultiByteToWideChar,
// WideCharToMultiByte) with std::string. Code page 936 is the Chinese code page (GBK); see
// platform/src/oleaut_codepage.cpp for how this platform reads and writes it.
#pragma once
#include "platform/oleauto.h"

#include <string>
#include <string_view>

namespace qz {

/// The Chinese code page of project files and logs.
inline constexpr UINT kChineseCodePage = 936;

/// Text in a code page to UTF-8; what the code page cannot decode becomes U+FFFD.
QZ_OLEAUT_API std::string CodePageToUtf8(UINT code_page, std::string_view text);

/// UTF-8 to text in a code page; ill-formed UTF-8 is written as U+FFFD would be.
QZ_OLEAUT_API std::string Utf8ToCodePage(UINT code_page, std::string_view utf8);

/// The tagclient C API takes and gives 8-bit text in the system's ANSI code page: UTF-8 on Linux, the
/// ANSI code page of the Windows system (1252, 936, ...) there. Programs hold UTF-8 and convert at the
/// call; a character the ANSI code page lacks arrives as '?'.
inline std::string ToAnsi(std::string_view utf8) {
    return Utf8ToCodePage(CP_ACP, utf8);
}
inline std::string FromAnsi(std::string_view ansi) {
    return CodePageToUtf8(CP_ACP, ansi);
}

} // namespace qz
