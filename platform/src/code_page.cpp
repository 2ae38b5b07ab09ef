// std::string forms of the code-page services (the system's on Windows, ours elsewhere).
#include "platform/code_page.hpp"

#include "platform/utf16.hpp"

#include <climits>

namespace qz {

std::string CodePageToUtf8(UINT code_page, std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int size = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
    if (units <= 0)
        return {};
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(code_page, 0, text.data(), size, reinterpret_cast<WCHAR*>(wide.data()), units);
    return Utf16ToUtf8(wide);
}

std::string Utf8ToCodePage(UINT code_page, std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const auto* source = reinterpret_cast<const WCHAR*>(wide.data());
    const int units = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(code_page, 0, source, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(code_page, 0, source, units, out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace qz
