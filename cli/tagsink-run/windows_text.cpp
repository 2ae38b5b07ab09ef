// Text between Windows and the program: wide and UTF-8 text, the program's wide arguments, the system's
// text of an error.
#include "windows_text.hpp"

#include "service_command_line.hpp"
#include "windows_service.hpp"

#include "platform/utf16.hpp"

namespace tagsink::service {

namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace

std::string SystemText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr)
        text = Trimmed(Utf8(std::wstring(buffer, length)));
    if (buffer != nullptr)
        LocalFree(buffer);
    if (text.empty())
        text = "system error";
    return text + " (error " + std::to_string(error) + ")";
}

// The platform's codecs: on Windows wchar_t is a UTF-16 unit.
std::string Utf8(const std::wstring& text) {
    return qz::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string wide = qz::Utf8ToUtf16(utf8);
    return std::wstring(wide.begin(), wide.end());
}

std::vector<std::wstring> WideArguments() {
    return SplitCommandLine(GetCommandLineW());
}

} // namespace tagsink::service
