// The conversions of odbc_text.hpp, kept apart from the ODBC headers (see there).
#include "platform/utf16.hpp"

#include <string>
#include <string_view>

namespace tagsink::db::detail {

std::u16string WideText(std::string_view utf8) {
    return qz::Utf8ToUtf16(utf8);
}

std::string Utf8Text(std::u16string_view wide) {
    return qz::Utf16ToUtf8(wide);
}

} // namespace tagsink::db::detail
