// UTF-8 <-> UTF-16 conversions used wherever 8-bit text meets OLE text (BSTRs, server strings).
#pragma once
#include "platform/oleauto.h"

#include <optional>
#include <string>
#include <string_view>

namespace qz {

/// UTF-8 to UTF-16. Every ill-formed sequence becomes U+FFFD (one per maximal ill-formed subpart, as
/// Unicode recommends), so nothing is dropped silently.
QZ_OLEAUT_API std::u16string Utf8ToUtf16(std::string_view utf8);

/// UTF-16 to UTF-8. Every unpaired surrogate becomes U+FFFD.
QZ_OLEAUT_API std::string Utf16ToUtf8(std::u16string_view utf16);

/// Strict forms: no value when the input is not well-formed.
QZ_OLEAUT_API std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8);
QZ_OLEAUT_API std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view utf16);

/// OLECHAR is char16_t here and wchar_t (also UTF-16) on Windows: these view one as the other.
inline const char16_t* AsU16(const OLECHAR* p) noexcept {
    return reinterpret_cast<const char16_t*>(p);
}
inline const OLECHAR* AsOle(const char16_t* p) noexcept {
    return reinterpret_cast<const OLECHAR*>(p);
}

/// The text of a NUL-terminated UTF-16 string (nullptr gives an empty view).
QZ_OLEAUT_API std::u16string_view OleView(const char16_t* text) noexcept;
#ifdef _WIN32
inline std::u16string_view OleView(const OLECHAR* text) noexcept {
    return OleView(AsU16(text));
}
#endif

} // namespace qz
