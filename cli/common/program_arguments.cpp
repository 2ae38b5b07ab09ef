#include "program_arguments.hpp"

#include "platform/path_text.hpp"
#include "platform/utf16.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace tagsink {

std::vector<std::string> Utf8Arguments(const std::vector<std::u16string>& wide) {
    std::vector<std::string> text;
    text.reserve(wide.size());
    for (const auto& argument : wide)
        text.push_back(qz::Utf16ToUtf8(argument));
    return text;
}

namespace {

#ifdef _WIN32
// The wide command line split as the C runtime splits it; empty when Windows refuses.
std::vector<std::u16string> WideCommandLine() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::u16string> wide;
    if (words == nullptr)
        return wide;
    for (int i = 0; i < count; ++i)
        wide.emplace_back(qz::OleView(words[i]));
    LocalFree(words);
    return wide;
}
#endif

} // namespace

ProgramArguments::ProgramArguments(int argc, char** argv) {
#ifdef _WIN32
    text_ = Utf8Arguments(WideCommandLine());
#endif
    if (text_.empty())
        text_.assign(argv, argv + argc);
    for (auto& argument : text_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}

Utf8Console::Utf8Console() {
#ifdef _WIN32
    DWORD mode = 0;
    const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 ||
                         GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    const UINT before = GetConsoleOutputCP();
    if (console && before != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        previous_ = before;
#endif
}

Utf8Console::~Utf8Console() {
#ifdef _WIN32
    if (previous_ != 0) {
        std::fflush(stdout);
        std::fflush(stderr);
        SetConsoleOutputCP(previous_);
    }
#endif
}

const CLI::Validator& ExistingUtf8File() {
    static const CLI::Validator kValidator(
        [](std::string& name) -> std::string {
            std::error_code error;
            const auto status = std::filesystem::status(qz::Utf8Path(name), error);
            if (error || !std::filesystem::exists(status))
                return "File does not exist: " + name;
            if (std::filesystem::is_directory(status))
                return "File is actually a directory: " + name;
            return {};
        },
        "FILE");
    return kValidator;
}

} // namespace tagsink
