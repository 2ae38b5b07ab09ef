// Text conversions of the project file (internal). Text in memory is UTF-8; invalid sequences met on
// the way are replaced by U+FFFD so that every conversion succeeds and yields valid output. The codecs
// are the platform's (platform/utf16.hpp, platform/code_page.hpp); these are the project file's names
// for them.
#pragma once

#include <string>
#include <string_view>

namespace tagsink::detail {

bool IsAscii(std::string_view text);

/// The text as valid UTF-8: each maximal ill-formed part becomes U+FFFD.
std::string SanitizeUtf8(std::string_view text);

/// UTF-8 to UTF-16 (ill-formed parts become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);

/// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf16ToUtf8(std::u16string_view text);

/// 8-bit text in code page 936 (GBK) to UTF-8; undecodable bytes become U+FFFD.
std::string Cp936ToUtf8(std::string_view text);

} // namespace tagsink::detail
