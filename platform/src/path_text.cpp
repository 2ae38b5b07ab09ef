#include "platform/path_text.hpp"

#include "platform/utf16.hpp"

namespace qz {

std::filesystem::path Utf8Path(std::string_view utf8) {
#ifdef _WIN32
    const std::u16string wide = Utf8ToUtf16(utf8);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    return std::filesystem::path(std::string(utf8));
#endif
}

std::string PathUtf8(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::wstring& wide = path.native();
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
#else
    return path.native();
#endif
}

} // namespace qz
